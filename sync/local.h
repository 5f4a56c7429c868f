#pragma once
// The records of the three tables as the sync sees them: rows of texts keyed by the
// record text of the UID table (a serial number, or the diary's date). Writes are
// meant to run inside the caller's transaction.

#include "platform/adodb.h"
#include "sync/mapping.h"

#include <QHash>

#include <optional>

namespace ctsync::local {

// Every record of a kind: rec -> row. Diary entries whose date is no date are left out.
QHash<QString, Row> all(adodb::Connection& db, Kind kind);
struct Record {
    QString rec;
    Row row;
};
// Up to `limit` records in the order of their keys, from the one after `after` (empty:
// from the first); `after` is moved on to the last key read. Empty at the end.
std::vector<Record> next(adodb::Connection& db, Kind kind, QString& after, int limit);
qint64 count(adodb::Connection& db, Kind kind);
// The table of a kind and its key column (the record texts of the UID table).
std::pair<QString, QString> keyColumn(Kind kind);
std::optional<Row> find(adodb::Connection& db, Kind kind, const QString& rec);
// A new record from a server's row; returns its rec. A diary row replaces the entry of
// its date (the text it had goes to the history).
QString insert(adodb::Connection& db, Kind kind, const Row& row, const QDateTime& now);
// Overwrites a record (a diary entry keeps the text it had in the history).
void update(adodb::Connection& db, Kind kind, const QString& rec, const Row& row,
            const QDateTime& now);
// A removed diary entry's text is kept in the history.
void remove(adodb::Connection& db, Kind kind, const QString& rec, const QDateTime& now);
// Keeps a text in the diary's history (a conflict's other version).
void keepInHistory(adodb::Connection& db, const QString& date, const QString& text,
                   const QDateTime& now);
// Chinese name of a record for reports: the card's name, the meeting's date and topic,
// the diary's date.
QString label(Kind kind, const Row& row);

} // namespace ctsync::local
