#pragma once
// Record UIDs: every card, meeting and diary entry has one, which exports carry and imports
// and sync match on. A UID read from another program's file is kept in uid_tab for the
// record it became; a record without one there has the UID derived from the database's
// own random id, its kind and its key (serials are never reused), so exports write
// nothing and two databases never give out the same UID. The card, meeting and diary
// tables keep their layout.
//
// UIDs that another database of this program derived for its cards and meetings come in
// by the hundred thousand (one export imported elsewhere) and in order: they are kept as
// runs in uid_run (that database's id once in uid_origin; numbers n..n+count-1 held by
// records rec..rec+count-1), all others as text in uid_tab. Callers see only UIDs.

#include "platform/adodb.h"

#include <QHash>
#include <QSet>
#include <QString>

#include <map>
#include <memory>
#include <optional>
#include <vector>

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
// Every stored UID of a kind, record -> UID, in one read (exports of whole tables).
QHash<QString, QString> all(adodb::Connection& conn, Kind kind);

// A UID as a database of this program derives one for a numbered record: that database's
// id and the number.
struct Derived {
    QString dbid;
    qint64 num;
};
std::optional<Derived> derivedParts(QStringView uid, Kind kind);

// The UIDs of one kind that the database knows, read once, for matching a whole file
// (imports). UIDs of new records are held and written by flush().
class Index {
public:
    Index(adodb::Connection& conn, Kind kind);
    ~Index();
    Index(const Index&) = delete;
    Index& operator=(const Index&) = delete;

    // The record a UID names: the one it is stored for, else the record of this database
    // it was derived from (while no other UID is stored for that record).
    std::optional<QString> recordOf(const QString& uid) const;
    // The line of the file that gave this UID before, or none (and the UID is noted as
    // given by `line`).
    std::optional<int> earlierLine(const QString& uid, int line);
    // The UID of a record added since this index was read (serial numbers rise); a UID
    // stored for another record moves to this one.
    void remember(qint64 rec, const QString& uid);
    void flush();

private:
    struct Run {
        qint64 num;
        qint64 rec;
        qint64 count;
    };
    bool holdsUid(qint64 rec) const;
    std::optional<QString> storedRecordOf(const QString& uid,
                                          const std::optional<Derived>& d) const;

    adodb::Connection& m_conn;
    Kind m_kind;
    QString m_dbid;
    QHash<QString, QString> m_recByUid; // from uid_tab
    QSet<QString> m_textRecs;
    std::map<QString, std::vector<Run>> m_runs; // database id -> its runs by number
    std::map<qint64, qint64> m_runRecs;         // first record of a run -> its length
    std::map<QString, std::vector<Run>> m_newRuns;
    std::vector<std::pair<qint64, QString>> m_newText;
    std::vector<std::pair<qint64, QString>> m_moved; // UIDs stored for another record
    QHash<QString, int> m_fileText;                  // UID -> line, for this file
    // Derived UIDs of this file: database id -> first number of a run of numbers -> the
    // line of each (a file gives them in order: a few runs).
    std::map<QString, std::map<qint64, std::vector<int>>> m_fileNums;
};

} // namespace uids
