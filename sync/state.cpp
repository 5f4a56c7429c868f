#include "sync/state.h"

using namespace Qt::StringLiterals;

namespace ctsync::state {

namespace {

QString text(const adodb::Recordset& rs, int c)
{
    const adodb::Field f = rs.Fields(c);
    return f.isNull() ? QString() : f.text();
}

} // namespace

void ensureTables(adodb::Connection& db)
{
    for (const QString& sql :
         {u"CREATE TABLE IF NOT EXISTS sync_account (id INTEGER PRIMARY KEY CHECK (id = 1), "
          "url TEXT NOT NULL, user TEXT NOT NULL, ca_file TEXT, allow_http INTEGER NOT NULL "
          "DEFAULT 0, created TEXT, first_done INTEGER NOT NULL DEFAULT 0)"_s,
          u"CREATE TABLE IF NOT EXISTS sync_coll (kind TEXT PRIMARY KEY, url TEXT NOT NULL, "
          "token TEXT, sync_report INTEGER NOT NULL DEFAULT 0)"_s,
          u"CREATE TABLE IF NOT EXISTS sync_item (kind TEXT NOT NULL, rec TEXT NOT NULL, "
          "href TEXT NOT NULL, etag TEXT, server TEXT, hash TEXT, sent TEXT, sent_hash TEXT, "
          "PRIMARY KEY (kind, rec), "
          "UNIQUE (kind, href))"_s,
          u"CREATE TABLE IF NOT EXISTS sync_skip (kind TEXT NOT NULL, href TEXT NOT NULL, "
          "etag TEXT, reason TEXT, PRIMARY KEY (kind, href))"_s,
          u"CREATE TABLE IF NOT EXISTS sync_log (log_serno INTEGER PRIMARY KEY "
          "AUTOINCREMENT, started TEXT, finished TEXT, ok INTEGER, summary TEXT)"_s,
          u"CREATE TABLE IF NOT EXISTS sync_meta (key TEXT PRIMARY KEY, value TEXT)"_s})
        db.Execute(sql);
}

std::optional<Account> account(adodb::Connection& db)
{
    adodb::Recordset rs;
    rs.Open(u"select url, user, ca_file, allow_http, created, first_done from sync_account"_s, db);
    if (rs.eof())
        return std::nullopt;
    return Account{text(rs, 0),         text(rs, 1), text(rs, 2),
                   text(rs, 3) == u"1", text(rs, 4), text(rs, 5) == u"1"};
}

void saveAccount(adodb::Connection& db, const Account& a)
{
    db.Execute(u"insert or replace into sync_account (id, url, user, ca_file, allow_http, "
               "created, first_done) values (1, ?, ?, ?, ?, ?, ?)"_s,
               {a.url, a.user, a.caFile, a.allowHttp ? 1 : 0, a.created, a.firstDone ? 1 : 0});
}

void markFirstDone(adodb::Connection& db)
{
    db.Execute(u"update sync_account set first_done = 1"_s);
}

std::optional<Collection> collection(adodb::Connection& db, Kind kind)
{
    adodb::Recordset rs;
    rs.Open(u"select url, token, sync_report from sync_coll where kind = ?"_s, db,
            {kindName(kind)});
    if (rs.eof())
        return std::nullopt;
    return Collection{text(rs, 0), text(rs, 1), text(rs, 2) == u"1"};
}

void saveCollection(adodb::Connection& db, Kind kind, const Collection& c)
{
    db.Execute(u"insert or replace into sync_coll (kind, url, token, sync_report) "
               "values (?, ?, ?, ?)"_s,
               {kindName(kind), c.url, c.token, c.syncReport ? 1 : 0});
}

void saveToken(adodb::Connection& db, Kind kind, const QString& token)
{
    db.Execute(u"update sync_coll set token = ? where kind = ?"_s, {token, kindName(kind)});
}

namespace {

constexpr auto kItemColumns = "rec, href, etag, server, hash, sent, sent_hash"_L1;

Item itemFrom(const adodb::Recordset& rs)
{
    return {text(rs, 0),
            text(rs, 1),
            text(rs, 2),
            text(rs, 3).toUtf8(),
            text(rs, 4).toLatin1(),
            text(rs, 5).toUtf8(),
            text(rs, 6).toLatin1()};
}

std::optional<Item> itemWhere(adodb::Connection& db, Kind kind, const QString& column,
                              const QString& value)
{
    adodb::Recordset rs;
    rs.Open(u"select "_s + kItemColumns + u" from sync_item where kind = ? and "_s + column +
                u" = ?"_s,
            db, {kindName(kind), value});
    if (rs.eof())
        return std::nullopt;
    return itemFrom(rs);
}

Meta metaFrom(const adodb::Recordset& rs)
{
    return {text(rs, 0), text(rs, 1), text(rs, 2), text(rs, 3).toLatin1()};
}

} // namespace

QHash<QString, QString> etags(adodb::Connection& db, Kind kind)
{
    adodb::Recordset rs;
    rs.Open(u"select href, etag from sync_item where kind = ?"_s, db, {kindName(kind)});
    QHash<QString, QString> out;
    out.reserve(rs.recordCount());
    for (; !rs.eof(); rs.MoveNext())
        out.insert(text(rs, 0), text(rs, 1));
    return out;
}

std::optional<Item> itemAt(adodb::Connection& db, Kind kind, const QString& href)
{
    return itemWhere(db, kind, u"href"_s, href);
}

std::optional<Item> itemOf(adodb::Connection& db, Kind kind, const QString& rec)
{
    return itemWhere(db, kind, u"rec"_s, rec);
}

QHash<QString, Meta> metasOf(adodb::Connection& db, Kind kind, const QStringList& recs)
{
    QHash<QString, Meta> out;
    // In parts: a statement takes at most 999 parameters.
    for (qsizetype from = 0; from < recs.size(); from += 500) {
        const QStringList part = recs.mid(from, 500);
        QVariantList params{kindName(kind)};
        for (const QString& r : part)
            params << r;
        QStringList marks(part.size(), u"?"_s);
        adodb::Recordset rs;
        rs.Open(u"select rec, href, etag, hash from sync_item where kind = ? and rec in ("_s +
                    marks.join(u',') + u')',
                db, params);
        for (; !rs.eof(); rs.MoveNext()) {
            Meta m = metaFrom(rs);
            out.insert(m.rec, std::move(m));
        }
    }
    return out;
}

std::vector<Meta> orphans(adodb::Connection& db, Kind kind, const QString& table,
                          const QString& column, const QString& after, int limit)
{
    adodb::Recordset rs;
    rs.Open(u"select rec, href, etag, hash from sync_item where kind = ? and rec > ? and not "
            "exists (select 1 from "_s +
                table + u" where "_s + column + u" = sync_item.rec) order by rec limit ?"_s,
            db, {kindName(kind), after, limit});
    std::vector<Meta> out;
    for (; !rs.eof(); rs.MoveNext())
        out.push_back(metaFrom(rs));
    return out;
}

qint64 count(adodb::Connection& db, Kind kind)
{
    adodb::Recordset rs;
    rs.Open(u"select count(*) from sync_item where kind = ?"_s, db, {kindName(kind)});
    return rs.Fields(0).text().toLongLong();
}

void putItem(adodb::Connection& db, Kind kind, const Item& item)
{
    // One row per record and one per href: a href that moves to another record leaves
    // the old one.
    db.Execute(u"delete from sync_item where kind = ? and href = ? and rec <> ?"_s,
               {kindName(kind), item.href, item.rec});
    db.Execute(u"insert or replace into sync_item (kind, rec, href, etag, server, hash) "
               "values (?, ?, ?, ?, ?, ?)"_s,
               {kindName(kind), item.rec, item.href, item.etag, QString::fromUtf8(item.server),
                QString::fromLatin1(item.hash)});
    dropSkip(db, kind, item.href);
}

void markSent(adodb::Connection& db, Kind kind, const QString& rec, const QString& href,
              const QByteArray& text, const QByteArray& hash)
{
    const int changed =
        db.Execute(u"update sync_item set sent = ?, sent_hash = ? where kind = ? and rec = ?"_s,
                   {QString::fromUtf8(text), QString::fromLatin1(hash), kindName(kind), rec});
    if (changed == 0)
        db.Execute(u"insert or replace into sync_item (kind, rec, href, etag, server, hash, sent, "
                   "sent_hash) values (?, ?, ?, '', '', '', ?, ?)"_s,
                   {kindName(kind), rec, href, QString::fromUtf8(text), QString::fromLatin1(hash)});
}

void dropItem(adodb::Connection& db, Kind kind, const QString& href)
{
    db.Execute(u"delete from sync_item where kind = ? and href = ?"_s, {kindName(kind), href});
}

QHash<QString, QString> skipped(adodb::Connection& db, Kind kind)
{
    adodb::Recordset rs;
    rs.Open(u"select href, etag from sync_skip where kind = ?"_s, db, {kindName(kind)});
    QHash<QString, QString> out;
    for (; !rs.eof(); rs.MoveNext())
        out.insert(text(rs, 0), text(rs, 1));
    return out;
}

void putSkip(adodb::Connection& db, Kind kind, const QString& href, const QString& etag,
             const QString& reason)
{
    db.Execute(u"insert or replace into sync_skip (kind, href, etag, reason) values (?, ?, ?, ?)"_s,
               {kindName(kind), href, etag, reason});
}

void dropSkip(adodb::Connection& db, Kind kind, const QString& href)
{
    db.Execute(u"delete from sync_skip where kind = ? and href = ?"_s, {kindName(kind), href});
}

void log(adodb::Connection& db, const LogEntry& e)
{
    db.Execute(u"insert into sync_log (started, finished, ok, summary) values (?, ?, ?, ?)"_s,
               {e.started, e.finished, e.ok ? 1 : 0, e.summary});
    db.Execute(u"delete from sync_log where log_serno <= (select max(log_serno) - 200 from "
               "sync_log)"_s);
}

std::vector<LogEntry> lastLogs(adodb::Connection& db, int n)
{
    adodb::Recordset rs;
    rs.Open(u"select started, finished, ok, summary from sync_log order by log_serno desc "
            "limit ?"_s,
            db, {n});
    std::vector<LogEntry> out;
    for (; !rs.eof(); rs.MoveNext())
        out.push_back({text(rs, 0), text(rs, 1), text(rs, 2) == u"1", text(rs, 3)});
    return out;
}

QString note(adodb::Connection& db, const QString& key)
{
    adodb::Recordset rs;
    rs.Open(u"select value from sync_meta where key = ?"_s, db, {key});
    return rs.eof() ? QString() : text(rs, 0);
}

void setNote(adodb::Connection& db, const QString& key, const QString& value)
{
    db.Execute(u"insert or replace into sync_meta (key, value) values (?, ?)"_s, {key, value});
}

void forget(adodb::Connection& db)
{
    for (const char* t : {"sync_account", "sync_coll", "sync_item", "sync_skip", "sync_meta"})
        db.Execute(u"delete from "_s + QLatin1StringView(t));
}

} // namespace ctsync::state
