#include "sync/local.h"

#include "modul/cardmodul.h"
#include "modul/cardtab.h"
#include "modul/meettab.h"
#include "modul/tables.h"

using namespace Qt::StringLiterals;

namespace ctsync::local {

namespace {

QString stamp(const QDateTime& t)
{
    return t.toString(u"yyyy-MM-dd HH:mm:ss"_s);
}

Row rowOf(const ct::CellTable& t, int r, int from)
{
    Row row;
    for (int c = from; c < t.columnCount(); ++c)
        row << (t.isNull(r, c) ? QString() : t.text(r, c));
    return row;
}

bool isDateText(const QString& s)
{
    return s.size() == 10 && QDate::fromString(s, u"yyyy-MM-dd"_s).isValid();
}

QHash<QString, Row> select(adodb::Connection& db, Kind kind, const QString& where,
                           const QVariantList& params)
{
    adodb::Recordset rs;
    QHash<QString, Row> out;
    if (kind == Kind::Diary) {
        rs.Open(u"select daily_date, daily_desc from daily_tab"_s + where, db, params);
        ct::CellTable t = rs.takeRows();
        for (int r = 0; r < t.rowCount(); ++r) {
            const QString date = t.isNull(r, 0) ? QString() : t.text(r, 0);
            if (isDateText(date))
                out.insert(date, rowOf(t, r, 0));
        }
        return out;
    }
    if (kind == Kind::Card) {
        rs.Open(u"select * from cardtab"_s + where, db, params);
        ct::CellTable t = rs.takeRows();
        cardtab::decodeNames(t);
        for (int r = 0; r < t.rowCount(); ++r)
            out.insert(t.text(r, 0), rowOf(t, r, 1));
        return out;
    }
    rs.Open(u"select * from meet_tab"_s + where, db, params);
    ct::CellTable t = rs.takeRows();
    for (int r = 0; r < t.rowCount(); ++r)
        out.insert(t.text(r, 0), rowOf(t, r, 1));
    return out;
}

meettab::Meeting meetingOf(const Row& row)
{
    return {row.value(0), row.value(1), row.value(2), row.value(3), row.value(4), row.value(5)};
}

void putDiary(adodb::Connection& db, const QString& date, const QString& text, const QDateTime& now)
{
    const std::optional<Row> old = find(db, Kind::Diary, date);
    if (!old) {
        db.Execute(u"insert into daily_tab(daily_date, daily_desc) values(?, ?)"_s, {date, text});
        return;
    }
    if (old->value(1) == text)
        return;
    keepInHistory(db, date, old->value(1), now);
    db.Execute(u"update daily_tab set daily_desc = ? where daily_date = ?"_s, {text, date});
}

} // namespace

QHash<QString, Row> all(adodb::Connection& db, Kind kind)
{
    return select(db, kind, {}, {});
}

std::pair<QString, QString> keyColumn(Kind kind)
{
    switch (kind) {
    case Kind::Card:
        return {u"cardtab"_s, u"serno"_s};
    case Kind::Meeting:
        return {u"meet_tab"_s, u"meet_serno"_s};
    case Kind::Diary:
        break;
    }
    return {u"daily_tab"_s, u"daily_date"_s};
}

std::vector<Record> next(adodb::Connection& db, Kind kind, QString& after, int limit)
{
    const auto [table, key] = keyColumn(kind);
    const QString columns = kind == Kind::Diary ? u"daily_date, daily_desc"_s : u"*"_s;
    std::vector<Record> out;
    // A batch of diary entries whose dates are all no dates is not the end.
    for (bool more = true; out.empty() && more;) {
        QVariant from = after;
        if (kind != Kind::Diary)
            from = after.isEmpty() ? qint64(-1) : after.toLongLong();
        adodb::Recordset rs;
        rs.Open(u"select %1 from %2 where %3 > ? order by %3 limit ?"_s.arg(columns, table, key),
                db, {from, limit});
        ct::CellTable t = rs.takeRows();
        if (kind == Kind::Card)
            cardtab::decodeNames(t);
        more = t.rowCount() == limit;
        out.reserve(std::size_t(t.rowCount()));
        for (int r = 0; r < t.rowCount(); ++r) {
            const QString rec = t.isNull(r, 0) ? QString() : t.text(r, 0);
            after = rec;
            if (kind != Kind::Diary)
                out.push_back({rec, rowOf(t, r, 1)});
            else if (isDateText(rec))
                out.push_back({rec, rowOf(t, r, 0)});
        }
    }
    return out;
}

qint64 count(adodb::Connection& db, Kind kind)
{
    adodb::Recordset rs;
    rs.Open(u"select count(*) from "_s + keyColumn(kind).first, db);
    return rs.Fields(0).text().toLongLong();
}

std::optional<Row> find(adodb::Connection& db, Kind kind, const QString& rec)
{
    const QString where = kind == Kind::Diary  ? u" where daily_date = ?"_s
                          : kind == Kind::Card ? u" where serno = ?"_s
                                               : u" where meet_serno = ?"_s;
    QVariant key = rec;
    if (kind != Kind::Diary)
        key = rec.toLongLong();
    QHash<QString, Row> got = select(db, kind, where, {key});
    if (got.isEmpty())
        return std::nullopt;
    return got.begin().value();
}

QString insert(adodb::Connection& db, Kind kind, const Row& row, const QDateTime& now)
{
    if (kind == Kind::Diary) {
        putDiary(db, row.value(0), row.value(1), now);
        return row.value(0);
    }
    if (kind == Kind::Card) {
        QStringList values;
        values << cardmodul::namcode(cardtab::trimBlanks(row.value(0)));
        for (int c = 1; c < tables::kCardColumns - 1; ++c)
            values << row.value(c);
        cardtab::add(db, values);
        return QString::number(db.lastInsertId());
    }
    return QString::number(meettab::add(db, meetingOf(row)));
}

void update(adodb::Connection& db, Kind kind, const QString& rec, const Row& row,
            const QDateTime& now)
{
    if (kind == Kind::Diary) {
        putDiary(db, rec, row.value(1), now);
        return;
    }
    if (kind == Kind::Card) {
        QStringList sets;
        QVariantList values;
        const auto& cols = tables::cardColumns();
        for (int c = 1; c < tables::kCardColumns; ++c) {
            sets << cols[std::size_t(c)] + u" = ?"_s;
            values << (c == tables::kCardNameColumn
                           ? cardmodul::namcode(cardtab::trimBlanks(row.value(0)))
                           : row.value(c - 1));
        }
        values << rec.toLongLong();
        db.Execute(u"update cardtab set "_s + sets.join(u", "_s) + u" where serno = ?"_s, values);
        return;
    }
    QVariantList values = meettab::insertValues(meetingOf(row));
    values << rec.toLongLong();
    db.Execute(u"update meet_tab set record_date = ?, meet_cont = ?, meet_addr = ?, "
               "meet_date = ?, go_hour = ?, go_second = ? where meet_serno = ?"_s,
               values);
}

void remove(adodb::Connection& db, Kind kind, const QString& rec, const QDateTime& now)
{
    if (kind == Kind::Diary) {
        if (const auto old = find(db, kind, rec))
            keepInHistory(db, rec, old->value(1), now);
        db.Execute(u"delete from daily_tab where daily_date = ?"_s, {rec});
    } else if (kind == Kind::Card) {
        db.Execute(u"delete from cardtab where serno = ?"_s, {rec.toLongLong()});
    } else {
        db.Execute(u"delete from meet_tab where meet_serno = ?"_s, {rec.toLongLong()});
    }
}

void keepInHistory(adodb::Connection& db, const QString& date, const QString& text,
                   const QDateTime& now)
{
    if (text.isEmpty())
        return;
    db.Execute(tables::diaryHistorySchema());
    db.Execute(u"insert into daily_hist(daily_date, daily_desc, replaced_at) values(?, ?, ?)"_s,
               {date, text, stamp(now)});
}

QString label(Kind kind, const Row& row)
{
    switch (kind) {
    case Kind::Card:
        return u"名片“%1”"_s.arg(row.value(0));
    case Kind::Meeting:
        return u"会议“%1 %2”"_s.arg(row.value(3), row.value(1));
    case Kind::Diary:
        break;
    }
    return u"%1 的日记"_s.arg(row.value(0));
}

} // namespace ctsync::local
