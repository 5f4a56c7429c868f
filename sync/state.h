#pragma once
// What the sync keeps in the database: the account (never its password), the
// collections with their sync tokens, one row per synced record (its href, ETag, the
// text last seen on the server and a hash of the local row at that time), the server
// items passed over, and a log of the syncs.

#include "platform/adodb.h"
#include "sync/mapping.h"

#include <QDateTime>
#include <QHash>
#include <QString>

#include <optional>
#include <vector>

namespace ctsync::state {

void ensureTables(adodb::Connection& db);

struct Account {
    QString url;
    QString user;
    QString caFile;
    bool allowHttp = false;
    QString created;
    bool firstDone = false; // a sync has completed once
};
std::optional<Account> account(adodb::Connection& db);
void saveAccount(adodb::Connection& db, const Account& a);
void markFirstDone(adodb::Connection& db);

struct Collection {
    QString url;
    QString token;
    bool syncReport = false;
};
std::optional<Collection> collection(adodb::Connection& db, Kind kind);
void saveCollection(adodb::Connection& db, Kind kind, const Collection& c);
void saveToken(adodb::Connection& db, Kind kind, const QString& token);

struct Item {
    QString rec;
    QString href;
    QString etag;
    QByteArray server; // the text last seen on (or sent to) the server
    QByteArray hash;   // rowHash of the local row then; empty: count as changed
    // An upload under way: its text and the local row's hash. A sync stopped after the
    // server took it knows the text as its own (no conflict with itself).
    QByteArray sent;
    QByteArray sentHash;
};
// The ETag of every item of a kind, by href (no texts: small for any collection).
QHash<QString, QString> etags(adodb::Connection& db, Kind kind);
std::optional<Item> itemAt(adodb::Connection& db, Kind kind, const QString& href);
std::optional<Item> itemOf(adodb::Connection& db, Kind kind, const QString& rec);
// An item without its texts.
struct Meta {
    QString rec;
    QString href;
    QString etag;
    QByteArray hash;
};
// The items of these records, by rec.
QHash<QString, Meta> metasOf(adodb::Connection& db, Kind kind, const QStringList& recs);
// Up to `limit` items, ordered by rec after `after`, whose record is no longer in its
// table (`table`.`column` holds the records' keys).
std::vector<Meta> orphans(adodb::Connection& db, Kind kind, const QString& table,
                          const QString& column, const QString& after, int limit);
qint64 count(adodb::Connection& db, Kind kind);
void putItem(adodb::Connection& db, Kind kind, const Item& item); // by rec, replacing
// Notes an upload about to be sent (a new record gets its row, with no ETag yet).
void markSent(adodb::Connection& db, Kind kind, const QString& rec, const QString& href,
              const QByteArray& text, const QByteArray& hash);
void dropItem(adodb::Connection& db, Kind kind, const QString& href);

// Server items passed over (another component, a recurring event): href -> etag.
QHash<QString, QString> skipped(adodb::Connection& db, Kind kind);
void putSkip(adodb::Connection& db, Kind kind, const QString& href, const QString& etag,
             const QString& reason);
void dropSkip(adodb::Connection& db, Kind kind, const QString& href);

struct LogEntry {
    QString started;
    QString finished;
    bool ok = false;
    QString summary;
};
void log(adodb::Connection& db, const LogEntry& e);
std::vector<LogEntry> lastLogs(adodb::Connection& db, int n);

// Small values of the sync's own (the day a long failure was told).
QString note(adodb::Connection& db, const QString& key);
void setNote(adodb::Connection& db, const QString& key, const QString& value);

// Drops the account and every sync table's rows.
void forget(adodb::Connection& db);

} // namespace ctsync::state
