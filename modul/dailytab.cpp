#include "modul/dailytab.h"

#include "modul/tables.h"

using namespace Qt::StringLiterals;

namespace dailytab {

namespace {

QString stamp(const QDateTime& t)
{
    return t.toString(u"yyyy-MM-dd HH:mm:ss"_s);
}

QVariant value(const std::optional<QString>& text)
{
    return text ? QVariant(*text) : QVariant();
}

// Writes the entry of a date inside an open transaction, keeping what it replaces.
void put(adodb::Connection& conn, const QString& date, const std::optional<QString>& desc,
         const QDateTime& now)
{
    conn.Execute(tables::diaryHistorySchema());
    const std::optional<Entry> old = find(conn, date);
    if (!old) {
        conn.Execute(u"insert into daily_tab(daily_date, daily_desc) values(?, ?)"_s,
                     {date, value(desc)});
        return;
    }
    if (old->desc == desc)
        return;
    if (old->desc && !old->desc->isEmpty())
        conn.Execute(u"insert into daily_hist(daily_date, daily_desc, replaced_at) "
                     "values(?, ?, ?)"_s,
                     {date, *old->desc, stamp(now)});
    conn.Execute(u"update daily_tab set daily_desc = ? where daily_date = ?"_s,
                 {value(desc), date});
}

} // namespace

void save(adodb::Connection& conn, const QString& date, const QString& desc, Save how,
          const QDateTime& now)
{
    adodb::Transaction t(conn);
    QString text = desc;
    if (how == Save::Append) {
        const std::optional<Entry> old = find(conn, date);
        if (old && old->desc && !old->desc->isEmpty())
            text = *old->desc + u"\n\n"_s + desc;
    }
    put(conn, date, text, now);
    t.commit();
}

void saveIn(adodb::Connection& conn, const QString& date, const std::optional<QString>& desc,
            const QDateTime& now)
{
    put(conn, date, desc, now);
}

std::optional<Entry> find(adodb::Connection& conn, const QString& date)
{
    adodb::Recordset rs;
    rs.Open(u"select daily_date, daily_desc from daily_tab where daily_date = ?"_s, conn, {date});
    if (rs.eof() && rs.bof())
        return std::nullopt;
    rs.MoveFirst();
    Entry e;
    e.date = rs.Fields(0).view().toString();
    if (!rs.Fields(1).isNull())
        e.desc = rs.Fields(1).view().toString();
    return e;
}

QString allQuery()
{
    return u"select daily_date, daily_desc from daily_tab order by daily_date"_s;
}

QList<Version> history(adodb::Connection& conn, const QString& date)
{
    QList<Version> out;
    adodb::Recordset rs;
    try {
        rs.Open(u"select hist_serno, daily_date, daily_desc, replaced_at from daily_hist "
                "where daily_date = ? order by hist_serno"_s,
                conn, {date});
    } catch (const adodb::Error&) {
        // A file made before the history existed has none yet.
        adodb::Recordset t;
        t.Open(u"select count(*) from sqlite_master where name = 'daily_hist'"_s, conn);
        if (t.Fields(0).text() == u"0")
            return out;
        throw;
    }
    for (; !rs.eof(); rs.MoveNext()) {
        Version v;
        v.serno = rs.Fields(0).view().toLongLong();
        v.date = rs.Fields(1).text();
        if (!rs.Fields(2).isNull())
            v.desc = rs.Fields(2).text();
        v.replacedAt = rs.Fields(3).isNull() ? QString() : rs.Fields(3).text();
        out << v;
    }
    return out;
}

bool restore(adodb::Connection& conn, qint64 serno, const QDateTime& now)
{
    adodb::Transaction t(conn);
    conn.Execute(tables::diaryHistorySchema());
    adodb::Recordset rs;
    rs.Open(u"select daily_date, daily_desc from daily_hist where hist_serno = ?"_s, conn, {serno});
    if (rs.eof())
        return false;
    const QString date = rs.Fields(0).text();
    std::optional<QString> desc;
    if (!rs.Fields(1).isNull())
        desc = rs.Fields(1).text();
    rs.Close();
    put(conn, date, desc, now);
    t.commit();
    return true;
}

} // namespace dailytab
