#pragma once
// The card table cardtab: its 22 columns in their fixed order, the coding of stored
// names, and every statement the card window sends.

#include "platform/adodb.h"
#include "platform/celltable.h"

#include <QString>
#include <QStringList>
#include <QStringView>

#include <array>

namespace cardmodul {

// Codes a name character by character (UTF-16 unit xor 0x3B); its own inverse.
QString namcode(QStringView text);
// True when at least one stored card has exactly this coded name.
bool namexist(const QString& coded);

} // namespace cardmodul

namespace cardtab {

inline constexpr int kColumns = 22;
inline constexpr int kNameColumn = 1;

// Column names of "select * from cardtab", in table order.
const std::array<QString, kColumns>& columnNames();
// The card list headings, heading j for column j.
const std::array<QString, kColumns>& headings();

// Leading and trailing blanks (U+0020 only) removed.
QString trimBlanks(const QString& s);

// Codes (or decodes) the name column of rows read from cardtab in place.
void decodeNames(ct::CellTable& rows);

// Every card, in the order the database returns them.
void openAll(adodb::Recordset& rs);
// The cards whose stored (coded) name contains the coded text literally.
void openByName(adodb::Recordset& rs, const QString& codedPart);

// Stores a new card: values[0] is the coded name, values[1..20] the columns 2..21.
void add(const QStringList& values);

// The 13 contact columns a change writes, in statement order.
const std::array<QString, 13>& contactColumns();
// A serial number as typed: a whole number, or the run-error failure (number 13).
qint64 serialNumber(const QString& text);
// The number of cards changed (0 when no card has that serial number).
int change(qint64 serno, const QStringList& contacts);
void remove(qint64 serno);

} // namespace cardtab
