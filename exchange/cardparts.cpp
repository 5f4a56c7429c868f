#include "exchange/cardparts.h"

#include <QSet>

#include <array>

using namespace Qt::StringLiterals;

namespace exchange::cardparts {

namespace {

const QSet<QString>& compoundSurnames()
{
    static const QSet<QString> s = {
        u"欧阳"_s, u"太史"_s, u"端木"_s, u"上官"_s, u"司马"_s, u"东方"_s, u"独孤"_s, u"南宫"_s,
        u"万俟"_s, u"闻人"_s, u"夏侯"_s, u"诸葛"_s, u"尉迟"_s, u"公羊"_s, u"赫连"_s, u"澹台"_s,
        u"皇甫"_s, u"宗政"_s, u"濮阳"_s, u"公冶"_s, u"太叔"_s, u"申屠"_s, u"公孙"_s, u"慕容"_s,
        u"仲孙"_s, u"钟离"_s, u"长孙"_s, u"宇文"_s, u"司徒"_s, u"鲜于"_s, u"司空"_s, u"闾丘"_s,
        u"子车"_s, u"亓官"_s, u"司寇"_s, u"巫马"_s, u"公西"_s, u"颛孙"_s, u"壤驷"_s, u"公良"_s,
        u"漆雕"_s, u"乐正"_s, u"宰父"_s, u"谷梁"_s, u"拓跋"_s, u"夹谷"_s, u"轩辕"_s, u"令狐"_s,
        u"段干"_s, u"百里"_s, u"呼延"_s, u"东郭"_s, u"南门"_s, u"羊舌"_s, u"微生"_s, u"梁丘"_s,
        u"左丘"_s, u"东门"_s, u"西门"_s, u"第五"_s};
    return s;
}

bool isHan(char32_t c)
{
    return (c >= 0x3400 && c <= 0x9FFF) || (c >= 0xF900 && c <= 0xFAFF) ||
           (c >= 0x20000 && c <= 0x3134F);
}

// A word compared without its case and a final full stop ("Mr." and "mr" alike).
QString wordKey(QStringView w)
{
    if (w.endsWith(u'.'))
        w.chop(1);
    if (w.endsWith(u','))
        w.chop(1);
    QString k = w.toString().toLower();
    k.remove(u'.');
    return k;
}

bool isPrefix(QStringView w)
{
    static const QSet<QString> p = {u"mr"_s,   u"mrs"_s,  u"ms"_s,   u"miss"_s, u"mx"_s,
                                    u"dr"_s,   u"prof"_s, u"sir"_s,  u"dame"_s, u"rev"_s,
                                    u"fr"_s,   u"hon"_s,  u"mme"_s,  u"mlle"_s, u"herr"_s,
                                    u"frau"_s, u"lady"_s, u"lord"_s, u"capt"_s, u"col"_s};
    return p.contains(wordKey(w));
}

bool isSuffix(QStringView w)
{
    static const QSet<QString> s = {u"jr"_s,  u"sr"_s,  u"ii"_s,  u"iii"_s, u"iv"_s,
                                    u"phd"_s, u"md"_s,  u"esq"_s, u"dds"_s, u"jd"_s,
                                    u"mba"_s, u"cpa"_s, u"rn"_s,  u"dvm"_s, u"obe"_s};
    return s.contains(wordKey(w));
}

QString joined(std::span<const QStringView> words)
{
    QString out;
    for (QStringView w : words) {
        if (!out.isEmpty())
            out += u' ';
        out += w;
    }
    return out;
}

} // namespace

bool hasHan(QStringView s)
{
    for (qsizetype i = 0; i < s.size(); ++i) {
        char32_t c = s[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < s.size() && s[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(s[i].unicode(), s[i + 1].unicode());
            ++i;
        }
        if (isHan(c))
            return true;
    }
    return false;
}

bool Name::isEmpty() const
{
    return family.trimmed().isEmpty() && given.trimmed().isEmpty() &&
           additional.trimmed().isEmpty() && prefix.trimmed().isEmpty() &&
           suffix.trimmed().isEmpty();
}

Name splitName(QStringView full)
{
    const QStringView n = full.trimmed();
    Name out;
    if (n.isEmpty())
        return out;
    if (hasHan(n)) {
        // The compound surnames are all two characters long.
        if (n.size() > 2 && compoundSurnames().contains(n.left(2).toString())) {
            out.family = n.left(2).toString();
            out.given = n.mid(2).toString();
            return out;
        }
        const qsizetype first = n[0].isHighSurrogate() && n.size() > 1 ? 2 : 1;
        out.family = n.left(first).toString();
        out.given = n.mid(first).toString();
        return out;
    }
    QList<QStringView> words = n.split(u' ', Qt::SkipEmptyParts);
    qsizetype lead = 0;
    while (lead + 1 < words.size() && isPrefix(words[lead]))
        ++lead;
    qsizetype tail = words.size();
    while (tail - 1 > lead && isSuffix(words[tail - 1]))
        --tail;
    out.prefix = joined(std::span(words).subspan(0, std::size_t(lead)));
    out.suffix = joined(std::span(words).subspan(std::size_t(tail)));
    QList<QStringView> core = words.mid(lead, tail - lead);
    if (!out.suffix.isEmpty() && core.last().endsWith(u','))
        core.last().chop(1); // "Smith, Jr."
    out.family = core.size() > 1 ? core.last().toString() : QString();
    out.given = joined(std::span(core).first(std::size_t(core.size() > 1 ? core.size() - 1 : 1)));
    return out;
}

QString joinName(const Name& n)
{
    const std::array<QString, 5> parts = {n.prefix.trimmed(), n.family.trimmed(), n.given.trimmed(),
                                          n.additional.trimmed(), n.suffix.trimmed()};
    if (hasHan(QString(parts[1] + parts[2] + parts[3])))
        return parts[0] + parts[1] + parts[2] + parts[3] + parts[4];
    QString out;
    for (std::size_t i : {0, 2, 3, 1, 4}) {
        if (parts[i].isEmpty())
            continue;
        if (!out.isEmpty())
            out += u' ';
        out += parts[i];
    }
    return out;
}

QString addressText(std::span<const QStringView> c)
{
    auto raw = [&](std::size_t i) { return i < c.size() ? c[i].trimmed() : QStringView(); };
    bool onlyStreet = true;
    bool lines = false;
    bool chinese = false;
    for (std::size_t i = 0; i < c.size(); ++i) {
        if (i != 2 && i != 5)
            onlyStreet = onlyStreet && c[i].trimmed().isEmpty();
        if (i != 5) {
            lines = lines || c[i].contains(u'\n');
            chinese = chinese || hasHan(c[i]);
        }
    }
    if (onlyStreet && !lines)
        return raw(2).toString();
    const QString between = chinese ? QString() : u", "_s;
    static constexpr std::array<std::size_t, 6> big = {6, 4, 3, 2, 1, 0};
    static constexpr std::array<std::size_t, 6> small = {0, 2, 1, 3, 4, 6};
    QString text;
    QStringView before;
    for (std::size_t i : chinese ? big : small) {
        const QStringView part = raw(i);
        if (part.isEmpty() || part == before)
            continue;
        before = part;
        if (!lines) {
            if (!text.isEmpty())
                text += between;
            text += part;
            continue;
        }
        for (QStringView line : part.split(u'\n')) {
            line = line.trimmed();
            if (line.isEmpty())
                continue;
            if (!text.isEmpty())
                text += between;
            text += line;
        }
    }
    return text;
}

QString genderText(QStringView sex, QStringView identity)
{
    identity = identity.trimmed();
    if (!identity.isEmpty())
        return identity.toString();
    const QString s = sex.trimmed().toString();
    const QString up = s.toUpper();
    if (up == u"M" || up == u"MALE" || s == u"男")
        return u"男"_s;
    if (up == u"F" || up == u"FEMALE" || s == u"女")
        return u"女"_s;
    if (up == u"O")
        return u"其他"_s;
    if (up == u"N")
        return u"无"_s;
    if (up == u"U")
        return u"未知"_s;
    if (up == u"UNSPECIFIED" || s == u"未指定")
        return {};
    return s;
}

QString dateText(QStringView d)
{
    d = d.trimmed();
    if (d.size() == 8) {
        bool digits = true;
        for (QChar ch : d)
            digits = digits && ch >= u'0' && ch <= u'9';
        if (digits)
            return d.left(4) + u'-' + d.mid(4, 2) + u'-' + d.mid(6, 2);
    }
    return d.toString();
}

QString withoutScheme(QStringView v)
{
    v = v.trimmed();
    const qsizetype colon = v.indexOf(u':');
    if (colon <= 0 || v.mid(colon + 1).startsWith(u"//"))
        return v.toString();
    for (qsizetype i = 0; i < colon; ++i) {
        const QChar ch = v[i];
        if (!(ch.isLetterOrNumber() && ch.unicode() < 0x80) && ch != u'-' && ch != u'+' &&
            ch != u'.')
            return v.toString();
    }
    return v.mid(colon + 1).trimmed().toString();
}

} // namespace exchange::cardparts
