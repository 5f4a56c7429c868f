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

// A recurring event gives at most this many meetings.
inline constexpr int kMaxOccurrences = 500;

// Every meeting (rows in meet_tab's columns) as one VEVENT: UID from `uidOf` (given the
// serial number), SUMMARY the topic, LOCATION the place, DTSTART the meeting date at the
// departure time in `zone` (a DATE when the hour or minute is missing), a VALARM at the
// departure, CREATED and DTSTAMP the record date (`stamp` when that is no date). A meeting
// whose date is no date is left out; the remarks name each row left out.
// Returns the number of events written and the remarks.
struct Written {
    int events = 0;
    std::vector<Note> notes;
};
Written write(const ct::CellTable& meetings, QIODevice& out, const UidOf& uidOf,
              const QTimeZone& zone, const QDateTime& stamp, const Progress& progress = {});
// The same for meetings that come in batches.
Written writeBatches(const RowBatches& next, QIODevice& out, const UidOf& uidOf,
                     const QTimeZone& zone, const QDateTime& stamp, const Progress& progress = {});
// One meeting (row `row`) with its UID as a calendar of its own (a CalDAV resource);
// empty when its date is no date.
QByteArray calendarOf(const ct::CellTable& meetings, int row, const QString& uid,
                      const QTimeZone& zone, const QDateTime& stamp);

// Every VEVENT as a meeting: the date and the hour and minute of DTSTART in `zone` (no
// hour and minute for a DATE), the topic from SUMMARY, the place from LOCATION, the
// record date from CREATED (`today` without it), and its UID. A recurring event (RRULE,
// RDATE, EXDATE) gives a meeting for each occurrence from its start to a year after
// `today`, at most kMaxOccurrences, each with the UID "<UID>/<start of the occurrence>"; an
// occurrence moved by an event with its RECURRENCE-ID is that event's meeting, one called
// off (STATUS:CANCELLED) none. An event that cannot be read (no usable DTSTART, a value
// libical cannot read, bytes in no encoding) is passed over with a remark naming its line;
// a file that is no calendar, or ends inside a component, is a DataError.
Records read(QByteArrayView bytes, const QTimeZone& zone, const QDate& today);

} // namespace exchange::ical
