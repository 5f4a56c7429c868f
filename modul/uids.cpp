#include "modul/uids.h"

#include <QUuid>

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
            u"CREATE TABLE IF NOT EXISTS ct_meta (key TEXT PRIMARY KEY, value TEXT)"_s};
}

void ensureTables(adodb::Connection& conn)
{
    adodb::Recordset rs;
    rs.Open(u"select count(*) from sqlite_master where type = 'table' and "
            "name in ('uid_tab', 'ct_meta')"_s,
            conn);
    if (rs.Fields(0).text() == u"2")
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

QString uidOf(adodb::Connection& conn, Kind kind, const QString& rec)
{
    ensureTables(conn);
    adodb::Recordset rs;
    rs.Open(u"select uid from uid_tab where kind = ? and rec = ?"_s, conn, {kindName(kind), rec});
    if (!rs.eof())
        return rs.Fields(0).text();
    return derived(databaseId(conn), kind, rec);
}

std::optional<QString> recordOf(adodb::Connection& conn, Kind kind, const QString& uid)
{
    ensureTables(conn);
    adodb::Recordset rs;
    rs.Open(u"select rec from uid_tab where kind = ? and uid = ?"_s, conn, {kindName(kind), uid});
    if (!rs.eof())
        return rs.Fields(0).text();
    const QString prefix = derived(databaseId(conn), kind, QString());
    if (uid.startsWith(prefix) && uid.size() > prefix.size()) {
        const QString rec = uid.mid(prefix.size());
        // A derived UID stays the record's only while no other UID is stored for it.
        rs.Open(u"select 1 from uid_tab where kind = ? and rec = ?"_s, conn, {kindName(kind), rec});
        if (rs.eof())
            return rec;
    }
    return std::nullopt;
}

void remember(adodb::Connection& conn, Kind kind, const QString& rec, const QString& uid)
{
    ensureTables(conn);
    conn.Execute(u"delete from uid_tab where kind = ? and uid = ? and rec <> ?"_s,
                 {kindName(kind), uid, rec});
    conn.Execute(u"insert or replace into uid_tab (kind, rec, uid) values (?, ?, ?)"_s,
                 {kindName(kind), rec, uid});
}

QString rememberStatement(int rows)
{
    QStringList marks;
    for (int i = 0; i < rows; ++i)
        marks << u"(?, ?, ?)"_s;
    // REPLACE removes the row of the same record, and the row of another record that holds
    // the same UID.
    return u"insert or replace into uid_tab (kind, rec, uid) values "_s + marks.join(u", "_s);
}

void forget(adodb::Connection& conn, Kind kind, const QString& rec)
{
    ensureTables(conn);
    conn.Execute(u"delete from uid_tab where kind = ? and rec = ?"_s, {kindName(kind), rec});
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
    return out;
}

} // namespace uids
