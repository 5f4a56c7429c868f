#include "modul/cardtab.h"

#include "modul/tables.h"

using namespace Qt::StringLiterals;

namespace cardtab {

const std::array<QString, 13>& contactColumns()
{
    static const std::array<QString, 13> c = {
        u"off_addr"_s,  u"o_phone"_s, u"fax_code"_s,  u"off_zip"_s,   u"web_addr"_s,
        u"mail_addr"_s, u"mobile"_s,  u"call_code"_s, u"home_addr"_s, u"h_phone"_s,
        u"home_zip"_s,  u"qq_code"_s, u"web_nam"_s};
    return c;
}

QString trimBlanks(const QString& s)
{
    qsizetype b = 0;
    qsizetype e = s.size();
    while (b < e && s[b] == u' ')
        ++b;
    while (e > b && s[e - 1] == u' ')
        --e;
    return s.mid(b, e - b);
}

void decodeNames(ct::CellTable& rows)
{
    if (rows.columnCount() > tables::kCardNameColumn)
        rows.transformColumn(tables::kCardNameColumn,
                             [](char16_t u) { return char16_t(u ^ 0x3B); });
}

void openAll(adodb::Connection& conn, adodb::Recordset& rs)
{
    rs.Open(u"select * from cardtab"_s, conn);
}

void openByName(adodb::Connection& conn, adodb::Recordset& rs, const QString& codedPart)
{
    // Literal containment: no pattern characters, so nothing in the text widens the match.
    // Coding is per character, so containment of the coded texts is that of the names.
    rs.Open(u"select * from cardtab where instr(full_nam, ?) > 0"_s, conn, {codedPart});
}

QString allBySerialQuery()
{
    return u"select * from cardtab order by serno"_s;
}

void openNames(adodb::Connection& conn, adodb::Recordset& rs)
{
    rs.Open(u"select full_nam from cardtab"_s, conn);
}

const QString& insertStatement()
{
    static const QString sql = [] {
        QStringList cols;
        QStringList marks;
        for (int c = 1; c < tables::kCardColumns; ++c) {
            cols << tables::cardColumns()[std::size_t(c)];
            marks << u"?"_s;
        }
        return u"insert into cardtab (%1) values (%2)"_s.arg(cols.join(u", "_s),
                                                             marks.join(u", "_s));
    }();
    return sql;
}

QString insertStatement(int rows)
{
    const QString& one = insertStatement();
    const QString marks = one.mid(one.lastIndexOf(u'('));
    QStringList all;
    for (int i = 0; i < rows; ++i)
        all << marks;
    return one.left(one.lastIndexOf(u'(')) + all.join(u", "_s);
}

void add(adodb::Connection& conn, const QStringList& values)
{
    Q_ASSERT(values.size() == tables::kCardColumns - 1);
    QVariantList params;
    for (const QString& v : values)
        params << QVariant(v);
    conn.Execute(insertStatement(), params);
}

qint64 serialNumber(const QString& text)
{
    bool ok = false;
    const qint64 n = text.toLongLong(&ok);
    if (!ok)
        throw adodb::Error(13, u"类型不匹配：序号“%1”不是整数。"_s.arg(text));
    return n;
}

int replace(adodb::Connection& conn, qint64 serno,
            std::span<const std::optional<QStringView>> values)
{
    Q_ASSERT(values.size() == std::size_t(tables::kCardColumns - 1));
    static const QString sql = [] {
        QStringList sets;
        for (int c = 1; c < tables::kCardColumns; ++c)
            sets << tables::cardColumns()[std::size_t(c)] + u" = ?"_s;
        return u"update cardtab set %1 where serno = ?"_s.arg(sets.join(u", "_s));
    }();
    const QString key = QString::number(serno);
    std::vector<std::optional<QStringView>> params(values.begin(), values.end());
    params.push_back(QStringView(key));
    adodb::Command update(conn, sql);
    return update.Execute(params);
}

int change(adodb::Connection& conn, qint64 serno, const QStringList& contacts)
{
    Q_ASSERT(contacts.size() == 13);
    QStringList sets;
    QVariantList params;
    for (std::size_t i = 0; i < contactColumns().size(); ++i) {
        sets << contactColumns()[i] + u" = ?"_s;
        params << QVariant(contacts[qsizetype(i)]);
    }
    params << QVariant(serno);
    return conn.Execute(u"update cardtab set %1 where serno = ?"_s.arg(sets.join(u", "_s)), params);
}

void remove(adodb::Connection& conn, qint64 serno)
{
    conn.Execute(u"delete from cardtab where serno = ?"_s, {QVariant(serno)});
}

} // namespace cardtab
