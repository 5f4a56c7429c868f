#include "diary/dailytab.h"

using namespace Qt::StringLiterals;

namespace dailytab {

void save(adodb::Connection& conn, const QString& date, const QString& desc)
{
    // The unique index on daily_date turns a second save of a date into a replacement.
    conn.Execute(u"insert or replace into daily_tab(daily_date, daily_desc) values(?, ?)"_s,
                 {date, desc});
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

void openAll(adodb::Connection& conn, adodb::Recordset& rs)
{
    rs.Open(u"select daily_date, daily_desc from daily_tab order by daily_date"_s, conn);
}

} // namespace dailytab
