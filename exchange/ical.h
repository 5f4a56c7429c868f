#pragma once
// iCalendar (RFC 5545): meetings written as events for other calendars (the time zone's
// rules from libical), and events of other calendars read as meetings through libical.

#include "exchange/records.h"

#include <QDate>
#include <QDateTime>
#include <QTimeZone>

#include <vector>

class QIODevice;

namespace exchange::ical {

// Every meeting (rows in meet_tab's columns) as one VEVENT: SUMMARY the topic, LOCATION
// the place, DTSTART the meeting date at the departure time in `zone` (a DATE when the
// hour or minute is missing), a VALARM at the departure, UID meet-<serial>@ctwork,
// CREATED and DTSTAMP the record date (`stamp` when that is no date). A meeting whose
// date is no date is left out; the remarks name each row left out.
// Returns the number of events written and the remarks.
struct Written {
    int events = 0;
    std::vector<Note> notes;
};
Written write(const ct::CellTable& meetings, QIODevice& out, const QTimeZone& zone,
              const QDateTime& stamp, const Progress& progress = {});
// The same for meetings that come in batches.
Written writeBatches(const RowBatches& next, QIODevice& out, const QTimeZone& zone,
                     const QDateTime& stamp, const Progress& progress = {});

// Every VEVENT as a meeting: the date and the hour and minute of DTSTART in `zone` (no
// hour and minute for a DATE), the topic from SUMMARY, the place from LOCATION, the
// record date from CREATED (`today` without it). An event without a usable DTSTART, or
// with a value libical cannot read, is a DataError naming its line.
Records read(QByteArrayView bytes, const QTimeZone& zone, const QDate& today);

} // namespace exchange::ical
