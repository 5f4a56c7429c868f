#pragma once
// vCard: cards written as vCard 4.0 (RFC 6350), read from vCard 2.1, 3.0 (RFC 2426) and
// 4.0 as phones and mail programs write them.

#include "exchange/records.h"

#include <QString>

class QIODevice;

namespace exchange::vcard {

// Every card (rows in cardtab's columns, names decoded) as a vCard 4.0: FN and N (an
// honorific and a suffix of a western name kept apart), ORG, TITLE, GENDER, work and home
// ADR with their postcodes, TEL of type work, fax, cell, pager and home, EMAIL, URL,
// NICKNAME, NOTE, X-CTWORK-NATION, X-CTWORK-AGE, X-CTWORK-BLOOD-TYPE and X-QQ for the
// columns vCard has no property for, and UID from `uidOf` (given the serial number; none
// without it). Empty columns are left out. Lines end in CRLF and are folded at 75 octets
// between characters.
void write(const ct::CellTable& cards, QIODevice& out, const UidOf& uidOf = {},
           const Progress& progress = {});
// The same for cards that come in batches.
void writeBatches(const RowBatches& next, QIODevice& out, const UidOf& uidOf = {},
                  const Progress& progress = {});
// One card (row `row`) with this UID (a CardDAV resource).
QByteArray cardOf(const ct::CellTable& cards, int row, const QString& uid);

// The cards of a file, in cardtab's columns (the name as written, not coded), with the
// UID each carried. A card's name is FN, else N, else ORG, NICKNAME, EMAIL or TEL. Phones
// go to the column of their type (a TEL without a type to 办公室电话 while that is empty,
// else 手机); QQ (IMPP with X-SERVICE-TYPE=QQ, X-QQ) to QQ号, a nickname (NICKNAME,
// Android's X-ANDROID-CUSTOM) to 网名; a value whose column is taken, and what has no
// column (birthday, anniversary, other instant messengers, related names, social
// profiles, role), goes to 说明 with a label, so nothing read is lost. Photos and sounds
// are passed over. Line ends CRLF, LF, CR CR LF or a lone CR; UTF-8, UTF-16 (with or
// without a byte-order mark); a value in GB18030 under CHARSET=UTF-8 is read as GB18030.
// `#` comment lines and lines outside the cards are left out (with a remark). A card that
// cannot be read (no name of any kind, a line that is no property, a value in no
// encoding, an unknown version) is passed over whole with a remark naming its line
// (Records::skipped). A file without any card, or one that ends inside a card, is a
// DataError.
Records read(QByteArrayView bytes);
// The same, the cards handed on in batches while the file is read.
void readBatches(QByteArrayView bytes, const Batches& emit);

} // namespace exchange::vcard
