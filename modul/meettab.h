#pragma once
// The meeting table meet_tab: the rows of found meetings as the grid shows them, the
// departure time text, and every statement the meeting window sends.

#include "platform/adodb.h"
#include "platform/celltable.h"

#include <QString>
#include <QVariant>

namespace meettab {

// Hour, full-width colon, minute; a one-character minute gets a leading 0.
QString departure(QStringView hour, QStringView minute);

// The rows of "select * from meet_tab" turned into the six grid columns; a Null cell
// shows as an empty text.
ct::CellTable gridRows(const ct::CellTable& rows);

// The meetings on one meeting date (a typed valid date is compared as its date text).
void openByDate(adodb::Connection& conn, adodb::Recordset& rs, const QString& date);
// The meetings whose topic / place contains the text literally.
void openByTopic(adodb::Connection& conn, adodb::Recordset& rs, const QString& part);
void openByPlace(adodb::Connection& conn, adodb::Recordset& rs, const QString& part);

// An hour or minute as typed: Null when empty, else a whole number in 0 .. max;
// anything else is the run-error failure (number 3464).
QVariant timeValue(const QString& typed, int max, const QString& what);

struct Meeting {
    QString recordDate, topic, place, meetDate, hour, minute;
};
// Stores a new meeting; returns its serial number.
qint64 add(adodb::Connection& conn, const Meeting& m);
// The statement add() sends and the values it binds: dates as date text when they are
// dates, hour and minute checked (the run-error failure when they are not usable).
const QString& insertStatement();
QVariantList insertValues(const Meeting& m);
// Writes every column of a meeting (values as insertValues gives them); the number of
// meetings changed.
int replace(adodb::Connection& conn, qint64 serno, const QVariantList& values);
// The statement of every meeting in the order of its serial number.
QString allQuery();
// Changes place, date and time of every meeting with this record date and topic;
// returns the number of rows changed.
int change(adodb::Connection& conn, const Meeting& m);

} // namespace meettab
