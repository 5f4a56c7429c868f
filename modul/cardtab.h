#pragma once
// The card table cardtab: every statement the card window sends, and the decoding of
// the names in rows read from it. Its columns are those of tables::cardColumns().

#include "platform/adodb.h"
#include "platform/celltable.h"

#include <QString>
#include <QStringList>

#include <array>
#include <optional>
#include <span>

namespace cardtab {

// Leading and trailing blanks (U+0020 only) removed.
QString trimBlanks(const QString& s);

// Codes (or decodes) the name column of rows read from cardtab in place.
void decodeNames(ct::CellTable& rows);

// Every card, in the order the database returns them.
void openAll(adodb::Connection& conn, adodb::Recordset& rs);
// The cards whose stored (coded) name contains the coded text literally.
void openByName(adodb::Connection& conn, adodb::Recordset& rs, const QString& codedPart);

// The statement of every card in the order of its serial number.
QString allBySerialQuery();
// Every stored (coded) name.
void openNames(adodb::Connection& conn, adodb::Recordset& rs);

// Stores a new card: values[0] is the coded name, values[1..20] the columns 2..21.
void add(adodb::Connection& conn, const QStringList& values);
// The statement add() sends, with one parameter per column 1..21 (for prepared imports).
const QString& insertStatement();
// The same for this many cards in one statement (imports).
QString insertStatement(int rows);

// The 13 contact columns a change writes, in statement order.
const std::array<QString, 13>& contactColumns();
// A serial number as typed: a whole number, or the run-error failure (number 13).
qint64 serialNumber(const QString& text);
// Writes every column of a card (values as for add()); the number of cards changed.
int replace(adodb::Connection& conn, qint64 serno,
            std::span<const std::optional<QStringView>> values);
// The number of cards changed (0 when no card has that serial number).
int change(adodb::Connection& conn, qint64 serno, const QStringList& contacts);
void remove(adodb::Connection& conn, qint64 serno);

} // namespace cardtab
