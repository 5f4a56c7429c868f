#include "modul/meettab.h"

#include "modul/cardmodul.h"

using namespace Qt::StringLiterals;

namespace meettab {

namespace {
const QString kSelect = u"select * from meet_tab where "_s;
constexpr int kHourField = 5;
constexpr int kMinuteField = 6;
} // namespace

QString departure(QStringView hour, QStringView minute)
{
    return hour.toString() + (minute.size() == 1 ? u"：0"_s : u"："_s) + minute.toString();
}

ct::CellTable gridRows(const ct::CellTable& rows)
{
    const int fields = rows.columnCount();
    const int cols = fields - 1;
    ct::CellTable out(cols > 0 ? cols : 0);
    if (cols <= 0)
        return out;
    const int n = rows.rowCount();
    out.reserve(n, 0);
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < cols; ++j) {
            if (j == kHourField && fields > kMinuteField)
                out.appendCell(departure(rows.view(i, kHourField), rows.view(i, kMinuteField)));
            else
                out.appendCell(rows.view(i, j)); // a Null cell reads as empty
        }
    }
    return out;
}

void openByDate(adodb::Connection& conn, adodb::Recordset& rs, const QString& date)
{
    rs.Open(kSelect + u"meet_date=?"_s, conn, {cardmodul::normdate(date)});
}

void openByTopic(adodb::Connection& conn, adodb::Recordset& rs, const QString& part)
{
    rs.Open(kSelect + u"instr(meet_cont, ?) > 0"_s, conn, {part});
}

void openByPlace(adodb::Connection& conn, adodb::Recordset& rs, const QString& part)
{
    rs.Open(kSelect + u"instr(meet_addr, ?) > 0"_s, conn, {part});
}

QVariant timeValue(const QString& typed, int max, const QString& what)
{
    const QString t = typed.trimmed();
    if (t.isEmpty())
        return QVariant(); // no departure time: stored as Null, never reminded
    bool ok = false;
    const int v = t.toInt(&ok, 10);
    if (!ok || v < 0 || v > max)
        throw adodb::Error(3464, u"数据类型不匹配：出发时间的%1“%2”不是 0 到 %3 的整数。"_s.arg(
                                     what, typed, QString::number(max)));
    return v;
}

namespace {
QVariantList timeValues(const Meeting& m)
{
    return {timeValue(m.hour, 23, u"时"_s), timeValue(m.minute, 59, u"分"_s)};
}
} // namespace

const QString& insertStatement()
{
    static const QString sql = u"insert into meet_tab (record_date,meet_cont,meet_addr,meet_date,"
                               "go_hour,go_second) values(?,?,?,?,?,?)"_s;
    return sql;
}

QVariantList insertValues(const Meeting& m)
{
    const QVariantList time = timeValues(m);
    return {cardmodul::normdate(m.recordDate), m.topic, m.place,
            cardmodul::normdate(m.meetDate),   time[0], time[1]};
}

qint64 add(adodb::Connection& conn, const Meeting& m)
{
    conn.Execute(insertStatement(), insertValues(m));
    return conn.lastInsertId();
}

int replace(adodb::Connection& conn, qint64 serno, const QVariantList& values)
{
    return conn.Execute(u"update meet_tab set record_date=?,meet_cont=?,meet_addr=?,meet_date=?,"
                        "go_hour=?,go_second=? where meet_serno=?"_s,
                        QVariantList(values) << QVariant(serno));
}

QString allQuery()
{
    return u"select * from meet_tab order by meet_serno"_s;
}

int change(adodb::Connection& conn, const Meeting& m)
{
    const QVariantList time = timeValues(m);
    return conn.Execute(u"update meet_tab set meet_addr=?,meet_date=?,go_hour=?,go_second=? "
                        "where record_date=? and meet_cont=?"_s,
                        {m.place, cardmodul::normdate(m.meetDate), time[0], time[1],
                         cardmodul::normdate(m.recordDate), m.topic});
}

} // namespace meettab
