#include "modul/uids.h"

#include <QUuid>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace uids {

QString kindName(Kind kind)
{
    switch (kind) {
    case Kind::Card:
        return u"card"_s;
    case Kind::Meeting:
        return u"meet"_s;
    case Kind::Diary:
        return u"diary"_s;
    }
    return {};
}

QStringList schemaStatements()
{
    return {u"CREATE TABLE IF NOT EXISTS uid_tab (kind TEXT NOT NULL, rec TEXT NOT NULL, "
            "uid TEXT NOT NULL, PRIMARY KEY (kind, rec), UNIQUE (kind, uid))"_s,
            u"CREATE TABLE IF NOT EXISTS ct_meta (key TEXT PRIMARY KEY, value TEXT)"_s,
            u"CREATE TABLE IF NOT EXISTS uid_origin (id INTEGER PRIMARY KEY, "
            "dbid TEXT NOT NULL UNIQUE)"_s,
            u"CREATE TABLE IF NOT EXISTS uid_run (kind TEXT NOT NULL, origin INTEGER NOT NULL, "
            "num INTEGER NOT NULL, rec INTEGER NOT NULL, count INTEGER NOT NULL, "
            "PRIMARY KEY (kind, origin, num)) WITHOUT ROWID"_s,
            u"CREATE INDEX IF NOT EXISTS uid_run_rec ON uid_run (kind, rec)"_s};
}

void ensureTables(adodb::Connection& conn)
{
    adodb::Recordset rs;
    rs.Open(u"select count(*) from sqlite_master where type = 'table' and "
            "name in ('uid_tab', 'ct_meta', 'uid_origin', 'uid_run')"_s,
            conn);
    if (rs.Fields(0).text() == u"4")
        return;
    for (const QString& s : schemaStatements())
        conn.Execute(s);
}

QString databaseId(adodb::Connection& conn)
{
    ensureTables(conn);
    adodb::Recordset rs;
    rs.Open(u"select value from ct_meta where key = 'dbid'"_s, conn);
    if (!rs.eof() && !rs.Fields(0).isNull() && !rs.Fields(0).view().isEmpty())
        return rs.Fields(0).text();
    const QString id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    conn.Execute(u"insert or replace into ct_meta (key, value) values ('dbid', ?)"_s, {id});
    return id;
}

QString derived(const QString& dbid, Kind kind, const QString& rec)
{
    return dbid + u'-' + kindName(kind) + u'-' + rec;
}

QString recOf(qint64 serno)
{
    return QString::number(serno);
}

namespace {

constexpr qsizetype kIdLength = 36; // a UUID without braces
constexpr qsizetype kMaxDigits = 15;

// A serial number as derived UIDs and record keys write it: digits, no leading zero.
std::optional<qint64> numberOf(QStringView digits)
{
    if (digits.isEmpty() || digits.size() > kMaxDigits || (digits[0] == u'0' && digits.size() > 1))
        return std::nullopt;
    qint64 n = 0;
    for (const QChar c : digits) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        n = n * 10 + (c.unicode() - u'0');
    }
    return n;
}

} // namespace

// A UID exactly as a database of this program derives one for a numbered record.
std::optional<Derived> derivedParts(QStringView uid, Kind kind)
{
    const QString k = kindName(kind);
    if (uid.size() < kIdLength + k.size() + 3)
        return std::nullopt;
    for (qsizetype i = 0; i < kIdLength; ++i) {
        const QChar c = uid[i];
        const bool ok = (i == 8 || i == 13 || i == 18 || i == 23)
                            ? c == u'-'
                            : (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f');
        if (!ok)
            return std::nullopt;
    }
    if (uid[kIdLength] != u'-' || uid.mid(kIdLength + 1, k.size()) != k ||
        uid[kIdLength + 1 + k.size()] != u'-')
        return std::nullopt;
    const std::optional<qint64> num = numberOf(uid.mid(kIdLength + k.size() + 2));
    if (!num)
        return std::nullopt;
    return Derived{uid.first(kIdLength).toString(), *num};
}

namespace {

struct StoredRun {
    qint64 origin;
    qint64 num;
    qint64 rec;
    qint64 count;
};

std::optional<qint64> originOf(adodb::Connection& conn, const QString& dbid)
{
    adodb::Recordset rs;
    rs.Open(u"select id from uid_origin where dbid = ?"_s, conn, {dbid});
    if (rs.eof())
        return std::nullopt;
    return rs.Fields(0).text().toLongLong();
}

qint64 madeOrigin(adodb::Connection& conn, const QString& dbid)
{
    if (const auto id = originOf(conn, dbid))
        return *id;
    conn.Execute(u"insert into uid_origin (dbid) values (?)"_s, {dbid});
    return conn.lastInsertId();
}

std::optional<StoredRun> runFrom(adodb::Recordset& rs)
{
    if (rs.eof())
        return std::nullopt;
    return StoredRun{rs.Fields(0).text().toLongLong(), rs.Fields(1).text().toLongLong(),
                     rs.Fields(2).text().toLongLong(), rs.Fields(3).text().toLongLong()};
}

// The run that holds a derived UID of another database.
std::optional<StoredRun> runWithUid(adodb::Connection& conn, Kind kind, const Derived& d)
{
    const auto origin = originOf(conn, d.dbid);
    if (!origin)
        return std::nullopt;
    adodb::Recordset rs;
    rs.Open(u"select origin, num, rec, count from uid_run where kind = ? and origin = ? and "
            "num <= ? order by num desc limit 1"_s,
            conn, {kindName(kind), *origin, d.num});
    auto run = runFrom(rs);
    if (run && d.num < run->num + run->count)
        return run;
    return std::nullopt;
}

std::optional<StoredRun> runWithRec(adodb::Connection& conn, Kind kind, qint64 rec)
{
    adodb::Recordset rs;
    rs.Open(u"select origin, num, rec, count from uid_run where kind = ? and rec <= ? "
            "order by rec desc limit 1"_s,
            conn, {kindName(kind), rec});
    auto run = runFrom(rs);
    if (run && rec < run->rec + run->count)
        return run;
    return std::nullopt;
}

void insertRun(adodb::Connection& conn, Kind kind, const StoredRun& r)
{
    conn.Execute(u"insert into uid_run (kind, origin, num, rec, count) values (?, ?, ?, ?, ?)"_s,
                 {kindName(kind), r.origin, r.num, r.rec, r.count});
}

// Takes the record at `rec` out of its run: the run is split around it.
void cut(adodb::Connection& conn, Kind kind, const StoredRun& r, qint64 rec)
{
    conn.Execute(u"delete from uid_run where kind = ? and origin = ? and num = ?"_s,
                 {kindName(kind), r.origin, r.num});
    const qint64 at = rec - r.rec;
    if (at > 0)
        insertRun(conn, kind, {r.origin, r.num, r.rec, at});
    if (r.count - at - 1 > 0)
        insertRun(conn, kind, {r.origin, r.num + at + 1, rec + 1, r.count - at - 1});
}

QString dbidOf(adodb::Connection& conn, qint64 origin)
{
    adodb::Recordset rs;
    rs.Open(u"select dbid from uid_origin where id = ?"_s, conn, {origin});
    return rs.eof() ? QString() : rs.Fields(0).text();
}

// The UID stored for a record, if any.
std::optional<QString> storedUid(adodb::Connection& conn, Kind kind, const QString& rec)
{
    adodb::Recordset rs;
    rs.Open(u"select uid from uid_tab where kind = ? and rec = ?"_s, conn, {kindName(kind), rec});
    if (!rs.eof())
        return rs.Fields(0).text();
    if (const auto n = numberOf(rec))
        if (const auto run = runWithRec(conn, kind, *n))
            return derived(dbidOf(conn, run->origin), kind, recOf(run->num + (*n - run->rec)));
    return std::nullopt;
}

} // namespace

QString uidOf(adodb::Connection& conn, Kind kind, const QString& rec)
{
    ensureTables(conn);
    if (auto uid = storedUid(conn, kind, rec))
        return *uid;
    return derived(databaseId(conn), kind, rec);
}

std::optional<QString> recordOf(adodb::Connection& conn, Kind kind, const QString& uid)
{
    ensureTables(conn);
    adodb::Recordset rs;
    rs.Open(u"select rec from uid_tab where kind = ? and uid = ?"_s, conn, {kindName(kind), uid});
    if (!rs.eof())
        return rs.Fields(0).text();
    const auto d = derivedParts(uid, kind);
    if (!d)
        return std::nullopt;
    if (const auto run = runWithUid(conn, kind, *d))
        return recOf(run->rec + (d->num - run->num));
    // A derived UID stays the record's only while no other UID is stored for it.
    if (d->dbid == databaseId(conn) && !storedUid(conn, kind, recOf(d->num)))
        return recOf(d->num);
    return std::nullopt;
}

void forget(adodb::Connection& conn, Kind kind, const QString& rec)
{
    ensureTables(conn);
    conn.Execute(u"delete from uid_tab where kind = ? and rec = ?"_s, {kindName(kind), rec});
    if (const auto n = numberOf(rec))
        if (const auto run = runWithRec(conn, kind, *n))
            cut(conn, kind, *run, *n);
}

void remember(adodb::Connection& conn, Kind kind, const QString& rec, const QString& uid)
{
    forget(conn, kind, rec);
    // One UID belongs to one record of a kind: its earlier record lets it go.
    conn.Execute(u"delete from uid_tab where kind = ? and uid = ?"_s, {kindName(kind), uid});
    const auto d = derivedParts(uid, kind);
    if (d)
        if (const auto run = runWithUid(conn, kind, *d))
            cut(conn, kind, *run, run->rec + (d->num - run->num));
    const auto n = numberOf(rec);
    if (!d || !n) {
        conn.Execute(u"insert into uid_tab (kind, rec, uid) values (?, ?, ?)"_s,
                     {kindName(kind), rec, uid});
        return;
    }
    const qint64 origin = madeOrigin(conn, d->dbid);
    // The run just before, when this continues it.
    adodb::Recordset rs;
    rs.Open(u"select origin, num, rec, count from uid_run where kind = ? and origin = ? and "
            "num < ? order by num desc limit 1"_s,
            conn, {kindName(kind), origin, d->num});
    if (const auto before = runFrom(rs);
        before && before->num + before->count == d->num && before->rec + before->count == *n) {
        conn.Execute(u"update uid_run set count = count + 1 where kind = ? and origin = ? and "
                     "num = ?"_s,
                     {kindName(kind), origin, before->num});
        return;
    }
    insertRun(conn, kind, {origin, d->num, *n, 1});
}

QHash<QString, QString> all(adodb::Connection& conn, Kind kind)
{
    ensureTables(conn);
    adodb::Recordset rs;
    rs.Open(u"select rec, uid from uid_tab where kind = ?"_s, conn, {kindName(kind)});
    QHash<QString, QString> out;
    out.reserve(rs.recordCount());
    for (; !rs.eof(); rs.MoveNext())
        out.insert(rs.Fields(0).text(), rs.Fields(1).text());
    rs.Open(u"select o.dbid, r.num, r.rec, r.count from uid_run r join uid_origin o on "
            "o.id = r.origin where r.kind = ?"_s,
            conn, {kindName(kind)});
    for (; !rs.eof(); rs.MoveNext()) {
        const QString prefix = derived(rs.Fields(0).text(), kind, QString());
        const qint64 num = rs.Fields(1).text().toLongLong();
        const qint64 rec = rs.Fields(2).text().toLongLong();
        const qint64 count = rs.Fields(3).text().toLongLong();
        for (qint64 i = 0; i < count; ++i)
            out.insert(recOf(rec + i), prefix + QString::number(num + i));
    }
    return out;
}

// ---- Index ----------------------------------------------------------------------------

Index::Index(adodb::Connection& conn, Kind kind)
    : m_conn(conn), m_kind(kind), m_dbid(databaseId(conn))
{
    adodb::Recordset rs;
    rs.Open(u"select rec, uid from uid_tab where kind = ?"_s, conn, {kindName(kind)});
    m_recByUid.reserve(rs.recordCount());
    for (; !rs.eof(); rs.MoveNext()) {
        m_recByUid.insert(rs.Fields(1).text(), rs.Fields(0).text());
        m_textRecs.insert(rs.Fields(0).text());
    }
    rs.Open(u"select o.dbid, r.num, r.rec, r.count from uid_run r join uid_origin o on "
            "o.id = r.origin where r.kind = ? order by r.origin, r.num"_s,
            conn, {kindName(kind)});
    for (; !rs.eof(); rs.MoveNext()) {
        const Run run{rs.Fields(1).text().toLongLong(), rs.Fields(2).text().toLongLong(),
                      rs.Fields(3).text().toLongLong()};
        m_runs[rs.Fields(0).text()].push_back(run);
        m_runRecs.emplace(run.rec, run.count);
    }
}

Index::~Index() = default;

bool Index::holdsUid(qint64 rec) const
{
    if (m_textRecs.contains(recOf(rec)))
        return true;
    auto it = m_runRecs.upper_bound(rec);
    if (it == m_runRecs.begin())
        return false;
    --it;
    return rec < it->first + it->second;
}

std::optional<QString> Index::storedRecordOf(const QString& uid,
                                             const std::optional<Derived>& d) const
{
    if (const auto it = m_recByUid.constFind(uid); it != m_recByUid.cend())
        return *it;
    if (!d)
        return std::nullopt;
    if (const auto runs = m_runs.find(d->dbid); runs != m_runs.end()) {
        const std::vector<Run>& v = runs->second;
        auto it = std::upper_bound(v.begin(), v.end(), d->num,
                                   [](qint64 n, const Run& r) { return n < r.num; });
        if (it != v.begin() && d->num < (it - 1)->num + (it - 1)->count)
            return recOf((it - 1)->rec + (d->num - (it - 1)->num));
    }
    return std::nullopt;
}

std::optional<QString> Index::recordOf(const QString& uid) const
{
    const auto d = derivedParts(uid, m_kind);
    if (auto rec = storedRecordOf(uid, d))
        return rec;
    if (d && d->dbid == m_dbid && !holdsUid(d->num))
        return recOf(d->num);
    return std::nullopt;
}

std::optional<int> Index::earlierLine(const QString& uid, int line)
{
    if (const auto d = derivedParts(uid, m_kind)) {
        std::map<qint64, std::vector<int>>& runs = m_fileNums[d->dbid];
        auto after = runs.upper_bound(d->num);
        if (after != runs.begin()) {
            auto run = std::prev(after);
            const qint64 at = d->num - run->first;
            if (at < qint64(run->second.size()))
                return run->second[std::size_t(at)];
            if (at == qint64(run->second.size())) {
                run->second.push_back(line);
                return std::nullopt;
            }
        }
        runs.emplace_hint(after, d->num, std::vector<int>{line});
        return std::nullopt;
    }
    if (const auto it = m_fileText.constFind(uid); it != m_fileText.cend())
        return *it;
    m_fileText.insert(uid, line);
    return std::nullopt;
}

void Index::remember(qint64 rec, const QString& uid)
{
    const auto d = derivedParts(uid, m_kind);
    if (storedRecordOf(uid, d)) { // held by a record since deleted: it moves, one at a time
        m_moved.emplace_back(rec, uid);
        return;
    }
    if (!d) {
        m_newText.emplace_back(rec, uid);
        return;
    }
    std::vector<Run>& runs = m_newRuns[d->dbid];
    if (!runs.empty()) {
        Run& last = runs.back();
        if (last.num + last.count == d->num && last.rec + last.count == rec) {
            ++last.count;
            return;
        }
    }
    runs.push_back({d->num, rec, 1});
}

void Index::flush()
{
    constexpr int kPerStatement = 32;
    auto many = [](const QString& head, const QString& marks, int rows) -> QString {
        QStringList all;
        for (int i = 0; i < rows; ++i)
            all << marks;
        return head + all.join(u", "_s);
    };
    const QString kind = kindName(m_kind);
    // Text UIDs, many to a statement.
    const QString textHead = u"insert into uid_tab (kind, rec, uid) values "_s;
    for (std::size_t i = 0; i < m_newText.size(); i += kPerStatement) {
        const int rows = int(std::min<std::size_t>(kPerStatement, m_newText.size() - i));
        QVariantList params;
        for (int r = 0; r < rows; ++r)
            params << kind << recOf(m_newText[i + std::size_t(r)].first)
                   << m_newText[i + std::size_t(r)].second;
        m_conn.Execute(many(textHead, u"(?, ?, ?)"_s, rows), params);
    }
    m_newText.clear();
    for (const auto& [dbid, runs] : m_newRuns) {
        const qint64 origin = madeOrigin(m_conn, dbid);
        for (const Run& r : runs)
            insertRun(m_conn, m_kind, {origin, r.num, r.rec, r.count});
    }
    m_newRuns.clear();
    for (const auto& [rec, uid] : m_moved)
        uids::remember(m_conn, m_kind, recOf(rec), uid);
    m_moved.clear();
}

} // namespace uids
