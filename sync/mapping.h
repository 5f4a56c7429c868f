#pragma once
// Records and the texts a DAV server keeps for them: a card as a vCard 4.0, a meeting
// as a VEVENT, a diary entry as a VJOURNAL on its date. Cards and meetings go through
// the exchange readers and writers; what the table has no column for is kept, because
// an upload patches only the properties of the columns that changed into the text last
// seen on the server.

#include <QByteArray>
#include <QDate>
#include <QString>
#include <QStringList>
#include <QTimeZone>

namespace ctsync {

enum class Kind { Card, Meeting, Diary };
QString kindName(Kind k); // card, meet, diary (as the UID table names them)
// The component a calendar item of the kind has; empty for cards.
QString componentOf(Kind k);

// A record in its table's columns after the serial number (cards: 21 texts, the name
// decoded; meetings: record date, topic, place, date, hour, minute), a Null as an empty
// text. A diary entry: its date and its text.
using Row = QStringList;

// A hash of a row, to tell later whether the record changed since.
QByteArray rowHash(const Row& row);

struct Parsed {
    enum State {
        Ok,
        Other, // not of this kind (a VTODO, or a VJOURNAL in the meetings' calendar)
        Skip,  // of this kind but not one row of the table: reason says why
    } state = Other;
    QString uid; // empty when the text has none
    Row row;
    QString reason;
};

struct Context {
    QTimeZone zone = QTimeZone::systemTimeZone();
    QDate today;
    QDateTime now;
};

// The record a server text stands for.
Parsed parse(Kind kind, const QByteArray& text, const Context& cx);

// The text to upload for a row: a new text when `last` is empty, else `last` with the
// properties of the columns that differ from `lastRow` (the row `last` was read as)
// replaced, everything else kept. The UID is set to `uid` only in a new text or where
// `last` has none.
QByteArray build(Kind kind, const Row& row, const QString& uid, const QByteArray& last,
                 const Row& lastRow, const Context& cx);

// A file name for a UID on the server: the UID when it is plain, else a hash of it.
QString hrefName(Kind kind, const QString& uid);

} // namespace ctsync
