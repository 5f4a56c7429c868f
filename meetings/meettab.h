#pragma once
// The meeting table meet_tab: the grid layout of found meetings, the departure time text,
// and every statement the meeting window sends.

#include "platform/adodb.h"
#include "platform/celltable.h"

#include <QString>
#include <QVariant>

#include <array>

namespace meettab {

inline constexpr int kGridColumns = 6;

// Grid headings and widths (twips), column j for grid column j.
const std::array<QString, kGridColumns>& headings();
const std::array<int, kGridColumns>& widthsTwips();

// Hour, full-width colon, minute; a one-character minute gets a leading 0.
QString departure(QStringView hour, QStringView minute);

// The rows of "select * from meet_tab" turned into the six grid columns; a Null cell
// shows as an empty text.
ct::CellTable gridRows(const ct::CellTable& rows);

// The meetings on one meeting date (a typed valid date is compared as its date text).
void openByDate(adodb::Recordset& rs, const QString& date);
// The meetings whose topic / place contains the text literally.
void openByTopic(adodb::Recordset& rs, const QString& part);
void openByPlace(adodb::Recordset& rs, const QString& part);

// An hour or minute as typed: Null when empty, else a whole number in 0 .. max;
// anything else is the run-error failure (number 3464).
QVariant timeValue(const QString& typed, int max, const QString& what);

struct Meeting {
    QString recordDate, topic, place, meetDate, hour, minute;
};
// Stores a new meeting; returns its serial number.
qint64 add(const Meeting& m);
// Changes place, date and time of every meeting with this record date and topic;
// returns the number of rows changed.
int change(const Meeting& m);

} // namespace meettab
