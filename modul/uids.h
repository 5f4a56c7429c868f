#pragma once
// Record UIDs: every card, meeting and diary entry has one, which exports carry and imports
// and sync match on. A UID read from another program's file is kept in uid_tab for the
// record it became; a record without one there has the UID derived from the database's
// own random id, its kind and its key (serials are never reused), so exports write
// nothing and two databases never give out the same UID. The card, meeting and diary
// tables keep their layout.

#include "platform/adodb.h"

#include <QHash>
#include <QString>

#include <optional>

namespace uids {

enum class Kind { Card, Meeting, Diary };

// "card", "meet", "diary": the kind as stored in uid_tab and in derived UIDs.
QString kindName(Kind kind);

// The statements that make the UID tables (IF NOT EXISTS: also for older files).
QStringList schemaStatements();
// Makes the UID tables of an older file; cheap when they are there.
void ensureTables(adodb::Connection& conn);

// The database's own id, a random UUID made on first need.
QString databaseId(adodb::Connection& conn);
// The UID a record of this database has when none is stored for it.
QString derived(const QString& dbid, Kind kind, const QString& rec);

// A record's key in uid_tab: its serial number, or the diary entry's date text.
QString recOf(qint64 serno);

// The UID of a record: the stored one, else the derived one.
QString uidOf(adodb::Connection& conn, Kind kind, const QString& rec);
// The record that holds a UID: the stored one, else the record a UID derived by this
// database names (whether or not it still exists; the caller checks).
std::optional<QString> recordOf(adodb::Connection& conn, Kind kind, const QString& uid);
// Stores the UID of a record (replacing an earlier one of the record; a UID held by
// another record of the kind moves to this one).
void remember(adodb::Connection& conn, Kind kind, const QString& rec, const QString& uid);
void forget(adodb::Connection& conn, Kind kind, const QString& rec);
// The statement that stores this many (kind, rec, uid) at once, a UID held by another
// record of the kind moving to its new one (imports of many records).
QString rememberStatement(int rows);
// Every stored UID of a kind, record -> UID, in one read (exports of whole tables).
QHash<QString, QString> all(adodb::Connection& conn, Kind kind);

} // namespace uids
