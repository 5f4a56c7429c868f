#include "cards/cardtab.h"

#include "app/cardmodul.h"

using namespace Qt::StringLiterals;

namespace cardmodul {

QString namcode(QStringView text)
{
    QString out(text.size(), Qt::Uninitialized);
    char16_t* d = reinterpret_cast<char16_t*>(out.data());
    for (qsizetype i = 0; i < text.size(); ++i)
        d[i] = char16_t(text[i].unicode() ^ 0x3B);
    return out;
}

bool namexist(const QString& coded)
{
    adodb::Recordset rs;
    rs.Open(u"select serno from cardtab where full_nam = ? limit 1"_s, dbconn(), {coded});
    return !(rs.bof() && rs.eof());
}

} // namespace cardmodul

namespace cardtab {

const std::array<QString, kColumns>& columnNames()
{
    static const std::array<QString, kColumns> names = {
        u"serno"_s,    u"full_nam"_s,  u"off_nam"_s,  u"Status"_s,    u"glender"_s,   u"nation"_s,
        u"age"_s,      u"blood_typ"_s, u"off_addr"_s, u"o_phone"_s,   u"fax_code"_s,  u"off_zip"_s,
        u"web_addr"_s, u"mail_addr"_s, u"mobile"_s,   u"call_code"_s, u"home_addr"_s, u"h_phone"_s,
        u"home_zip"_s, u"qq_code"_s,   u"web_nam"_s,  u"note"_s};
    return names;
}

const std::array<QString, kColumns>& headings()
{
    static const std::array<QString, kColumns> h = {
        u"序号"_s,     u"姓名"_s,      u"单位"_s,     u"职称"_s,       u"性别"_s,     u"民族"_s,
        u"年龄"_s,     u"血型"_s,      u"单位地址"_s, u"办公室电话"_s, u"传真号码"_s, u"单位邮编"_s,
        u"单位网址"_s, u"EMAIL地址"_s, u"手机"_s,     u"呼机"_s,       u"家庭地址"_s, u"家庭电话"_s,
        u"家庭邮编"_s, u"QQ号"_s,      u"网名"_s,     u"说明"_s};
    return h;
}

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
    if (rows.columnCount() > kNameColumn)
        rows.transformColumn(kNameColumn, [](char16_t u) { return char16_t(u ^ 0x3B); });
}

void openAll(adodb::Recordset& rs)
{
    rs.Open(u"select * from cardtab"_s, cardmodul::dbconn(), 1, 3);
}

void openByName(adodb::Recordset& rs, const QString& codedPart)
{
    // Literal containment: no pattern characters, so nothing in the text widens the match.
    // Coding is per character, so containment of the coded texts is that of the names.
    rs.Open(u"select * from cardtab where instr(full_nam, ?) > 0"_s, cardmodul::dbconn(),
            {codedPart});
}

void add(const QStringList& values)
{
    Q_ASSERT(values.size() == kColumns - 1);
    QStringList cols;
    QStringList marks;
    QVariantList params;
    for (int c = 1; c < kColumns; ++c) {
        cols << columnNames()[c];
        marks << u"?"_s;
        params << QVariant(values[c - 1]);
    }
    cardmodul::dbconn().Execute(
        u"insert into cardtab (%1) values (%2)"_s.arg(cols.join(u", "_s), marks.join(u", "_s)),
        params);
}

qint64 serialNumber(const QString& text)
{
    bool ok = false;
    const qint64 n = text.toLongLong(&ok);
    if (!ok)
        throw adodb::Error(13, u"类型不匹配：序号“%1”不是整数。"_s.arg(text));
    return n;
}

int change(qint64 serno, const QStringList& contacts)
{
    Q_ASSERT(contacts.size() == 13);
    QStringList sets;
    QVariantList params;
    for (std::size_t i = 0; i < contactColumns().size(); ++i) {
        sets << contactColumns()[i] + u" = ?"_s;
        params << QVariant(contacts[qsizetype(i)]);
    }
    params << QVariant(serno);
    return cardmodul::dbconn().Execute(
        u"update cardtab set %1 where serno = ?"_s.arg(sets.join(u", "_s)), params);
}

void remove(qint64 serno)
{
    cardmodul::dbconn().Execute(u"delete from cardtab where serno = ?"_s, {QVariant(serno)});
}

} // namespace cardtab
