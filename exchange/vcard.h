#pragma once
// vCard: cards written as vCard 4.0 (RFC 6350), read from vCard 2.1, 3.0 (RFC 2426) and
// 4.0 as phones and mail programs write them.

#include "exchange/records.h"

#include <QString>
#include <QStringList>

#include <utility>

class QIODevice;

namespace exchange::vcard {

// Every card (rows in cardtab's columns, names decoded) as a vCard 4.0: FN and N, ORG,
// TITLE, GENDER, work and home ADR with their postcodes, TEL of type work, fax, cell,
// pager and home, EMAIL, URL, NICKNAME, NOTE, and X-CTWORK-NATION, X-CTWORK-AGE,
// X-CTWORK-BLOOD-TYPE and X-QQ for the columns vCard has no property for. Empty columns
// are left out. Lines end in CRLF and are folded at 75 octets between characters.
void write(const ct::CellTable& cards, QIODevice& out, const Progress& progress = {});
// The same for cards that come in batches.
void writeBatches(const RowBatches& next, QIODevice& out, const Progress& progress = {});

// The cards of a file, in cardtab's columns (the name as written, not coded). A card
// without FN takes its name from N. Phones go to the column of their type (a TEL without
// a type to 办公室电话 while that is empty, else 手机); a value whose column is taken is
// added to 说明 with a label, so nothing read is lost. Photos and sounds are passed over.
// A card that cannot be read (no name, no END, text in an unknown encoding) is a DataError.
Records read(QByteArrayView bytes);
// The same, the cards handed on in batches while the file is read.
void readBatches(QByteArrayView bytes, const Batches& emit);

// The family and given name of a full name, for N: a Chinese name is family name first
// (one character, or a two-character compound surname), others end in the family name.
std::pair<QString, QString> splitName(const QString& name);
// The full name of N's components (family; given; additional; ...): family name first
// without blanks for Chinese names, given name first with blanks otherwise.
QString nameFromN(const QStringList& components);

} // namespace exchange::vcard
