#include "exchange/vcard.h"

#include "exchange/contentline.h"
#include "exchange/textcodec.h"
#include "modul/tables.h"
#include "platform/utf8.h"

#include <QIODevice>
#include <QSet>
#include <QStringDecoder>
#include <QVarLengthArray>

#include <algorithm>
#include <array>
#include <cstring>
#include <exception>
#include <optional>
#include <span>
#include <string_view>

using namespace Qt::StringLiterals;

namespace exchange::vcard {

namespace {

// The card columns by name, from the one column list.
struct Columns {
    int name = tables::card::full_nam;
    int org = tables::card::off_nam;
    int title = tables::card::Status;
    int gender = tables::card::glender;
    int nation = tables::card::nation;
    int age = tables::card::age;
    int blood = tables::card::blood_typ;
    int offAddr = tables::card::off_addr;
    int offPhone = tables::card::o_phone;
    int fax = tables::card::fax_code;
    int offZip = tables::card::off_zip;
    int web = tables::card::web_addr;
    int mail = tables::card::mail_addr;
    int mobile = tables::card::mobile;
    int pager = tables::card::call_code;
    int homeAddr = tables::card::home_addr;
    int homePhone = tables::card::h_phone;
    int homeZip = tables::card::home_zip;
    int qq = tables::card::qq_code;
    int nick = tables::card::web_nam;
    int note = tables::card::note;
};
const Columns& col()
{
    static const Columns c;
    return c;
}

// Properties of the columns vCard has no property for.
constexpr char kNation[] = "X-CTWORK-NATION";
constexpr char kAge[] = "X-CTWORK-AGE";
constexpr char kBlood[] = "X-CTWORK-BLOOD-TYPE";
constexpr char kQq[] = "X-QQ";

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

// ---- writing ------------------------------------------------------------------------

class CardWriter {
public:
    explicit CardWriter(QByteArray& out) : m_out(out) {}
    // A property whose value has these components (left out when all are empty).
    void prop(const char* head, std::initializer_list<QStringView> parts)
    {
        bool any = false;
        for (QStringView p : parts)
            any = any || !p.isEmpty();
        if (!any)
            return;
        m_line.resize(0); // keeps its room from the last property
        m_line.append(head);
        m_line.append(':');
        bool first = true;
        for (QStringView p : parts) {
            if (!first)
                m_line.append(';');
            first = false;
            appendEscaped(m_line, p);
        }
        appendFolded(m_out, m_line);
    }
    void raw(QByteArrayView line) { appendFolded(m_out, line); }

private:
    QByteArray& m_out;
    QByteArray m_line;
};

void writeCard(QByteArray& out, const ct::CellTable& cards, int r)
{
    const Columns& c = col();
    auto v = [&](int column) { return cards.view(r, column); };
    CardWriter w(out);
    w.raw("BEGIN:VCARD");
    w.raw("VERSION:4.0");
    const QString name = v(c.name).toString();
    // FN is required, even for a card without a name.
    QByteArray fn = "FN:";
    appendEscaped(fn, name);
    w.raw(fn);
    const auto [family, given] = splitName(name);
    w.prop("N", {family, given, {}, {}, {}});
    w.prop("NICKNAME", {v(c.nick)});
    const QStringView gender = v(c.gender);
    if (gender == u"男")
        w.raw("GENDER:M");
    else if (gender == u"女")
        w.raw("GENDER:F");
    else
        w.prop("GENDER", {{}, gender});
    w.prop("ORG", {v(c.org)});
    w.prop("TITLE", {v(c.title)});
    w.prop("ADR;TYPE=work", {{}, {}, v(c.offAddr), {}, {}, v(c.offZip), {}});
    w.prop("ADR;TYPE=home", {{}, {}, v(c.homeAddr), {}, {}, v(c.homeZip), {}});
    w.prop("TEL;TYPE=work", {v(c.offPhone)});
    w.prop("TEL;TYPE=work,fax", {v(c.fax)});
    w.prop("TEL;TYPE=cell", {v(c.mobile)});
    w.prop("TEL;TYPE=pager", {v(c.pager)});
    w.prop("TEL;TYPE=home", {v(c.homePhone)});
    w.prop("EMAIL", {v(c.mail)});
    w.prop("URL", {v(c.web)});
    w.prop("NOTE", {v(c.note)});
    w.prop(kNation, {v(c.nation)});
    w.prop(kAge, {v(c.age)});
    w.prop(kBlood, {v(c.blood)});
    w.prop(kQq, {v(c.qq)});
    w.raw("END:VCARD");
}

// Equal but for the case of ASCII letters (names and parameters of content lines).
bool is(QByteArrayView a, QByteArrayView b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        const char x = a[i];
        const char y = b[i];
        if (x != y && ((x | 0x20) != (y | 0x20) || (x | 0x20) < 'a' || (x | 0x20) > 'z'))
            return false;
    }
    return true;
}

// ---- reading ------------------------------------------------------------------------

struct Physical {
    QByteArrayView text;
    int line = 0;
};

// Logical content lines: folded lines joined (CRLF and one blank removed), soft line
// breaks of quoted-printable values joined, blank lines passed over.
class LineReader {
public:
    explicit LineReader(QByteArrayView bytes) : m_bytes(bytes) {}

    // The next logical line: a view into the bytes, or into a buffer of the reader when
    // it was joined from several; it holds until the next call.
    bool next(QByteArrayView& out, int& line)
    {
        while (auto p = take()) {
            if (p->text.isEmpty())
                continue;
            out = p->text;
            line = p->line;
            const bool qp = isQuotedPrintable(p->text);
            bool joined = false;
            while (auto n = take()) {
                const bool soft = qp && out.endsWith('=');
                if (!soft && (n->text.isEmpty() || (n->text[0] != ' ' && n->text[0] != '\t'))) {
                    m_peeked = n;
                    break;
                }
                if (!joined) {
                    m_joined.resize(0); // keeps its room from the last line
                    m_joined.append(out);
                    joined = true;
                }
                if (soft) {
                    m_joined.chop(1);
                    m_joined.append(n->text);
                } else {
                    m_joined.append(n->text.sliced(1));
                }
                out = m_joined;
            }
            return true;
        }
        return false;
    }

private:
    static bool isQuotedPrintable(QByteArrayView first)
    {
        const void* const c = std::memchr(first.data(), ':', std::size_t(first.size()));
        const qsizetype colon = c ? static_cast<const char*>(c) - first.data() : -1;
        const QByteArrayView head = colon < 0 ? first : first.first(colon);
        constexpr QByteArrayView qp("QUOTED-PRINTABLE");
        for (qsizetype i = 0; i + qp.size() <= head.size(); ++i)
            if ((head[i] == 'Q' || head[i] == 'q') && is(head.sliced(i, qp.size()), qp))
                return true;
        return false;
    }

    std::optional<Physical> take()
    {
        if (m_peeked) {
            auto p = m_peeked;
            m_peeked.reset();
            return p;
        }
        if (m_pos >= m_bytes.size())
            return std::nullopt;
        const void* const lf =
            std::memchr(m_bytes.data() + m_pos, '\n', std::size_t(m_bytes.size() - m_pos));
        const qsizetype end = lf ? static_cast<const char*>(lf) - m_bytes.data() : m_bytes.size();
        QByteArrayView text = m_bytes.sliced(m_pos, end - m_pos);
        if (text.endsWith('\r'))
            text.chop(1);
        m_pos = end + 1;
        return Physical{text, ++m_line};
    }

    QByteArrayView m_bytes;
    QByteArray m_joined;
    qsizetype m_pos = 0;
    int m_line = 0;
    std::optional<Physical> m_peeked;
};

// The types of a TEL or ADR that choose its column.
enum TypeBit : unsigned { Work = 1, Home = 2, Cell = 4, Fax = 8, Pager = 16 };
enum class Encoding8 { Plain, QuotedPrintable, Base64 };

struct ContentLine {
    int line = 0;
    QByteArrayView name; // without its group, as written
    unsigned types = 0;  // TypeBit: from TYPE= and the bare parameters of vCard 2.1
    Encoding8 encoding = Encoding8::Plain;
    QByteArrayView charset;
    QByteArrayView value;
};

unsigned typeBit(QByteArrayView t)
{
    t = t.trimmed();
    if (is(t, "work"))
        return Work;
    if (is(t, "home"))
        return Home;
    if (is(t, "cell") || is(t, "mobile") || is(t, "iphone"))
        return Cell;
    if (is(t, "fax"))
        return Fax;
    if (is(t, "pager"))
        return Pager;
    return 0;
}

QByteArrayView unquoted(QByteArrayView v)
{
    v = v.trimmed();
    if (v.size() >= 2 && v.startsWith('"') && v.endsWith('"'))
        return v.sliced(1, v.size() - 2);
    return v;
}

// One parameter: TYPE=a,b  ENCODING=x  CHARSET=x, or a bare 2.1 one (WORK, QUOTED-PRINTABLE).
void parameter(ContentLine& cl, QByteArrayView p)
{
    p = p.trimmed();
    const qsizetype eq = p.indexOf('=');
    if (eq < 0) {
        if (is(p, "QUOTED-PRINTABLE"))
            cl.encoding = Encoding8::QuotedPrintable;
        else if (is(p, "BASE64"))
            cl.encoding = Encoding8::Base64;
        else
            cl.types |= typeBit(p);
        return;
    }
    const QByteArrayView key = p.first(eq).trimmed();
    const QByteArrayView value = unquoted(p.sliced(eq + 1));
    if (is(key, "TYPE")) {
        qsizetype from = 0;
        for (qsizetype i = 0; i <= value.size(); ++i)
            if (i == value.size() || value[i] == ',') {
                cl.types |= typeBit(value.sliced(from, i - from));
                from = i + 1;
            }
    } else if (is(key, "ENCODING")) {
        if (is(value, "QUOTED-PRINTABLE"))
            cl.encoding = Encoding8::QuotedPrintable;
        else if (is(value, "B") || is(value, "BASE64"))
            cl.encoding = Encoding8::Base64;
    } else if (is(key, "CHARSET")) {
        cl.charset = value;
    }
}

// Splits group.name;param;param:value (a colon or semicolon in quotes is a parameter's).
ContentLine parseLine(QByteArrayView text, int line)
{
    const QByteArrayView t(text);
    qsizetype colon = -1;
    bool quoted = false;
    for (qsizetype i = 0; i < t.size(); ++i) {
        if (t[i] == '"')
            quoted = !quoted;
        else if (t[i] == ':' && !quoted) {
            colon = i;
            break;
        }
    }
    if (colon <= 0)
        throw DataError(line, u"这一行不是“名称:值”的形式：%1"_s.arg(
                                  QString::fromUtf8(text.first(qMin<qsizetype>(60, text.size())))));
    ContentLine cl;
    cl.line = line;
    cl.value = t.sliced(colon + 1);
    qsizetype from = 0;
    bool first = true;
    quoted = false;
    for (qsizetype i = 0; i <= colon; ++i) {
        if (i < colon && t[i] == '"')
            quoted = !quoted;
        if (i < colon && (t[i] != ';' || quoted))
            continue;
        const QByteArrayView piece = t.sliced(from, i - from);
        if (first) {
            QByteArrayView name = piece.trimmed();
            for (qsizetype d = name.size() - 1; d >= 0; --d)
                if (name[d] == '.') {
                    name = name.sliced(d + 1); // item1.TEL: the group does not matter
                    break;
                }
            cl.name = name;
            first = false;
        } else {
            parameter(cl, piece);
        }
        from = i + 1;
    }
    return cl;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

QByteArray fromQuotedPrintable(QByteArrayView v)
{
    QByteArray out;
    out.reserve(v.size());
    for (qsizetype i = 0; i < v.size(); ++i) {
        if (v[i] == '=' && i + 2 < v.size() && hexDigit(v[i + 1]) >= 0 && hexDigit(v[i + 2]) >= 0) {
            out += char(hexDigit(v[i + 1]) * 16 + hexDigit(v[i + 2]));
            i += 2;
        } else {
            out += v[i]; // a lone '=' is kept as written
        }
    }
    return out;
}

QString withoutCr(QString t)
{
    if (t.contains(u'\r')) {
        t.replace(u"\r\n"_s, u"\n"_s);
        t.replace(u'\r', u'\n'); // a lone CR is a line break too, as the writer has it
    }
    return t;
}

// The value as text: quoted-printable or base64 undone, then decoded in its charset
// (UTF-8 when none is named; GB18030 when the bytes are not UTF-8); CRLF and CR become LF.
QString valueText(const ContentLine& cl)
{
    if (cl.encoding == Encoding8::Plain && cl.charset.isEmpty())
        if (auto t = utf8::strict(cl.value))
            return cl.value.contains('\r') ? withoutCr(std::move(*t)) : std::move(*t);
    QByteArray bytes = cl.value.toByteArray();
    if (cl.encoding == Encoding8::QuotedPrintable)
        bytes = fromQuotedPrintable(bytes);
    else if (cl.encoding == Encoding8::Base64)
        bytes = QByteArray::fromBase64(bytes);
    if (!cl.charset.isEmpty()) {
        bool known = true;
        if (auto t = decodeCharset(bytes, cl.charset, &known))
            return withoutCr(std::move(*t));
        if (!known)
            throw DataError(cl.line,
                            u"不认识的字符集“%1”。"_s.arg(QString::fromLatin1(cl.charset)));
        throw DataError(cl.line,
                        u"这一行的文字不是有效的 %1 编码。"_s.arg(QString::fromLatin1(cl.charset)));
    }
    if (auto t = decodeGuess(bytes))
        return withoutCr(std::move(*t));
    throw DataError(cl.line, u"这一行的文字编码无法识别（既不是 UTF-8 也不是 GB18030）。"_s);
}

// Undoes the escapes of a text value: \\ \, \; \n \N (others are kept as written).
QString unescape(QStringView v)
{
    if (!v.contains(u'\\'))
        return v.toString();
    QString out;
    out.reserve(v.size());
    for (qsizetype i = 0; i < v.size(); ++i) {
        const QChar c = v[i];
        if (c == u'\\' && i + 1 < v.size()) {
            const QChar n = v[i + 1];
            if (n == u'n' || n == u'N') {
                out += u'\n';
                ++i;
                continue;
            }
            if (n == u'\\' || n == u',' || n == u';') {
                out += n;
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

// The same for a text of its own, kept as it is when it has no escapes.
QString unescape(QString&& v)
{
    if (!v.contains(u'\\'))
        return std::move(v);
    return unescape(QStringView(v));
}

// The components of a structured value (N, ADR, ORG, GENDER), each unescaped.
QStringList components(QStringView v)
{
    QStringList parts;
    parts.reserve(v.count(u';') + 1);
    auto add = [&parts](QStringView p) {
        if (p.isEmpty())
            parts.emplace_back();
        else
            parts.emplace_back(unescape(p));
    };
    qsizetype start = 0;
    for (qsizetype i = 0; i < v.size(); ++i) {
        if (v[i] == u'\\') {
            ++i;
        } else if (v[i] == u';') {
            add(v.sliced(start, i - start));
            start = i + 1;
        }
    }
    add(v.sliced(start));
    return parts;
}

// The components of a structured value as views: into `v` when it has no escapes (the
// common case, nothing copied), else into `store`, which holds them unescaped.
void componentViews(QStringView v, QStringList& store, QVarLengthArray<QStringView, 8>& out)
{
    out.clear();
    if (v.contains(u'\\')) {
        store = components(v);
        for (const QString& c : std::as_const(store))
            out.append(c);
        return;
    }
    qsizetype start = 0;
    for (qsizetype i = 0; i < v.size(); ++i)
        if (v[i] == u';') {
            out.append(v.sliced(start, i - start));
            start = i + 1;
        }
    out.append(v.sliced(start));
}

// An address of ADR's components: big to small without blanks when it is Chinese,
// street first with commas otherwise. The postcode (component 5) is kept apart.
QString addressText(std::span<const QStringView> c)
{
    auto raw = [&](std::size_t i) { return i < c.size() ? c[i] : QStringView(); };
    bool onlyStreet = true;
    for (std::size_t i : {0, 1, 3, 4, 6})
        onlyStreet = onlyStreet && raw(i).isEmpty();
    if (onlyStreet)
        return raw(2).trimmed().toString();
    bool chinese = false;
    for (const QStringView part : c)
        chinese = chinese || hasHan(part);
    const std::array<std::size_t, 6> order = chinese ? std::array<std::size_t, 6>{6, 4, 3, 2, 1, 0}
                                                     : std::array<std::size_t, 6>{0, 2, 1, 3, 4, 6};
    QString text;
    for (std::size_t i : order) {
        const QStringView part = raw(i).trimmed();
        if (part.isEmpty())
            continue;
        if (!text.isEmpty() && !chinese)
            text += u", "_s;
        text += part;
    }
    return text;
}

QString genderText(const QStringList& c)
{
    const QString identity = c.value(1).trimmed();
    if (!identity.isEmpty())
        return identity;
    const QString sex = c.value(0).trimmed();
    const QString up = sex.toUpper();
    if (up == u"M" || up == u"MALE")
        return u"男"_s;
    if (up == u"F" || up == u"FEMALE")
        return u"女"_s;
    if (up == u"O")
        return u"其他"_s;
    if (up == u"N")
        return u"无"_s;
    if (up == u"U")
        return u"未知"_s;
    return sex;
}

bool hasType(const ContentLine& cl, unsigned bits)
{
    return (cl.types & bits) != 0;
}

enum class Prop {
    Other,
    Version,
    Fn,
    N,
    Org,
    Title,
    Gender,
    Adr,
    Tel,
    Email,
    Url,
    Nickname,
    Note,
    Bday,
    Nation,
    Age,
    Blood,
    Qq
};

// The property of a name, in any case.
Prop propertyOf(QByteArrayView name)
{
    static constexpr std::pair<std::string_view, Prop> props[] = {
        {"VERSION", Prop::Version}, {"FN", Prop::Fn},       {"N", Prop::N},
        {"ORG", Prop::Org},         {"TITLE", Prop::Title}, {"GENDER", Prop::Gender},
        {"X-GENDER", Prop::Gender}, {"ADR", Prop::Adr},     {"TEL", Prop::Tel},
        {"EMAIL", Prop::Email},     {"URL", Prop::Url},     {"NICKNAME", Prop::Nickname},
        {"NOTE", Prop::Note},       {"BDAY", Prop::Bday},   {kNation, Prop::Nation},
        {kAge, Prop::Age},          {kBlood, Prop::Blood},  {kQq, Prop::Qq}};
    for (const auto& [known, prop] : props)
        if (is(name, QByteArrayView(known.data(), qsizetype(known.size()))))
            return prop;
    return Prop::Other;
}

// Whether any of these bytes is in the value (values are short: one pass over them).
template <typename... C> bool hasAnyOf(QByteArrayView v, C... c)
{
    for (const char x : v)
        if (((x == c) || ...))
            return true;
    return false;
}

// Blanks at both ends taken off in place.
void trimInPlace(QString& s)
{
    qsizetype end = s.size();
    while (end > 0 && s.at(end - 1).isSpace())
        --end;
    s.truncate(end);
    qsizetype lead = 0;
    while (lead < s.size() && s.at(lead).isSpace())
        ++lead;
    if (lead > 0)
        s.remove(0, lead);
}

// A value's text as valueText has it, its escapes undone (unless `raw`), decoded into
// `out`, whose room is kept from the values before: a plain UTF-8 value is the common
// case, read without a text of its own.
void valueInto(const ContentLine& cl, QString& out, bool raw = false)
{
    const QByteArrayView v = cl.value;
    if (cl.encoding == Encoding8::Plain && cl.charset.isEmpty() &&
        !(raw ? hasAnyOf(v, '\r') : hasAnyOf(v, '\r', '\\'))) {
        out.resize(v.size());
        auto* const d = reinterpret_cast<char16_t*>(out.data());
        const auto* const p = reinterpret_cast<const unsigned char*>(v.data());
        if (char16_t* const end = utf8::decode(p, p + v.size(), d)) {
            out.truncate(end - d);
            return;
        }
    }
    out = raw ? valueText(cl) : unescape(valueText(cl));
}

// One card being read; one builder reads card after card, keeping the room of its texts.
class CardBuilder {
public:
    // Begins a card on this line.
    void start(int line)
    {
        m_line = line;
        for (QString& f : m_f)
            if (!f.isEmpty())
                f.truncate(0); // keeps its room
        m_fn.resize(0);
        m_n.resize(0);
        m_notes = 0;
        m_extra.clear();
    }
    int line() const { return m_line; }

    void add(const ContentLine& cl)
    {
        const Columns& c = col();
        switch (propertyOf(cl.name)) {
        case Prop::Other: // PHOTO, UID, REV, CATEGORIES, X-...: no column
            break;
        case Prop::Version: {
            const QByteArrayView v = cl.value.trimmed();
            if (v != "2.1" && v != "3.0" && v != "4.0")
                throw DataError(cl.line, u"不支持的 vCard 版本“%1”（能读 2.1、3.0 和 4.0）。"_s.arg(
                                             QString::fromUtf8(v)));
            break;
        }
        case Prop::Fn:
            valueInto(cl, m_fn);
            break;
        case Prop::N: // its components only matter for a card without FN
            valueInto(cl, m_n, true);
            break;
        case Prop::Org:
            if (!hasAnyOf(cl.value, ';', '\\')) {
                valueInto(cl, m_value);
                put(c.org, m_value, u"其他单位"_s);
            } else {
                QStringList units = components(valueText(cl));
                units.removeAll(QString());
                put(c.org, units.join(u' '), u"其他单位"_s);
            }
            break;
        case Prop::Title:
            putValue(c.title, cl, u"其他职务"_s);
            break;
        case Prop::Gender:
            put(c.gender, genderText(components(valueText(cl))), u"性别"_s);
            break;
        case Prop::Adr:
            address(cl);
            break;
        case Prop::Tel:
            phone(cl);
            break;
        case Prop::Email:
            putValue(c.mail, cl, u"其他EMAIL"_s, true);
            break;
        case Prop::Url:
            putValue(c.web, cl, u"其他网址"_s, true);
            break;
        case Prop::Nickname:
            putValue(c.nick, cl, u"其他网名"_s);
            break;
        case Prop::Note: { // every NOTE, one line after another
            valueInto(cl, m_value);
            QString& note = m_f[std::size_t(c.note)];
            if (m_notes++ > 0)
                note += u'\n';
            note += m_value;
            break;
        }
        case Prop::Bday:
            m_extra << u"生日："_s + unescape(valueText(cl));
            break;
        case Prop::Nation:
            putValue(c.nation, cl, u"民族"_s);
            break;
        case Prop::Age:
            putValue(c.age, cl, u"年龄"_s);
            break;
        case Prop::Blood:
            putValue(c.blood, cl, u"血型"_s);
            break;
        case Prop::Qq:
            putValue(c.qq, cl, u"其他QQ号"_s, true);
            break;
        }
    }

    // The card's columns; throws when it has no name.
    void finish(Batcher& out)
    {
        QString& name = m_f[std::size_t(col().name)];
        name.append(m_fn);
        if (name.trimmed().isEmpty())
            name = nameFromN(components(m_n));
        if (name.trimmed().isEmpty())
            throw DataError(m_line, u"这张名片没有姓名（FN 和 N 都是空的）。"_s);
        QString& note = m_f[std::size_t(col().note)]; // the notes, then what had no column
        for (const QString& e : std::as_const(m_extra)) {
            if (m_notes++ > 0)
                note += u'\n';
            note += e;
        }
        ct::CellTable& rows = out.rows();
        rows.appendNullCell();
        for (int i = 1; i < tables::kCardColumns; ++i)
            rows.appendCell(m_f[std::size_t(i)]);
        out.rowDone(m_line);
    }

private:
    // Puts a value into its column, or, when the column is taken, into 说明 with a label.
    // The column's text is a copy in its own room, not shared with `v`.
    void put(int column, const QString& v, const QString& label)
    {
        if (v.isEmpty())
            return;
        QString& slot = m_f[std::size_t(column)];
        if (slot.isEmpty()) {
            slot.resize(0);
            slot.append(QStringView(v));
        } else if (slot != v) {
            m_extra << label + u"："_s + v;
        }
    }

    void putValue(int column, const ContentLine& cl, const QString& label, bool trim = false)
    {
        valueInto(cl, m_value);
        if (trim)
            trimInPlace(m_value);
        put(column, m_value, label);
    }

    void phone(const ContentLine& cl)
    {
        const Columns& c = col();
        valueInto(cl, m_value);
        trimInPlace(m_value);
        if (m_value.startsWith(u"tel:"_s, Qt::CaseInsensitive)) { // VALUE=uri
            m_value.remove(0, 4);
            trimInPlace(m_value);
        }
        int column;
        if (hasType(cl, Fax))
            column = c.fax;
        else if (hasType(cl, Pager))
            column = c.pager;
        else if (hasType(cl, Cell))
            column = c.mobile;
        else if (hasType(cl, Home))
            column = c.homePhone;
        else if (hasType(cl, Work))
            column = c.offPhone;
        else
            column = m_f[std::size_t(c.offPhone)].isEmpty() ? c.offPhone : c.mobile;
        put(column, m_value, u"其他电话"_s);
    }

    void address(const ContentLine& cl)
    {
        const Columns& c = col();
        valueInto(cl, m_value, true);
        componentViews(m_value, m_parts, m_views);
        const QString text = addressText(m_views);
        const QString zip = (m_views.size() > 5 ? m_views[5] : QStringView()).trimmed().toString();
        if (text.isEmpty() && zip.isEmpty())
            return;
        auto isFree = [&](int a, int z) {
            return m_f[std::size_t(a)].isEmpty() && m_f[std::size_t(z)].isEmpty();
        };
        // Its type's columns; without a type the office's while they are free.
        const bool office =
            hasType(cl, Work) || (!hasType(cl, Home) && isFree(c.offAddr, c.offZip));
        const int a = office ? c.offAddr : c.homeAddr;
        const int z = office ? c.offZip : c.homeZip;
        if (isFree(a, z)) {
            m_f[std::size_t(a)].append(text);
            m_f[std::size_t(z)].append(zip);
        } else {
            m_extra << u"其他地址："_s + text +
                           (zip.isEmpty() ? QString() : u"（邮编 "_s + zip + u"）"_s);
        }
    }

    int m_line = 0;
    std::array<QString, tables::kCardColumns> m_f;
    QString m_fn;
    QString m_n;     // N as written, its escapes kept
    QString m_value; // the value being read
    QStringList m_parts;
    QVarLengthArray<QStringView, 8> m_views; // its components
    int m_notes = 0;                         // the lines in 说明 so far
    QStringList m_extra;
};

// A file in UTF-16 (as some mail programs save vCards) as UTF-8; a UTF-8 file as it is.
QByteArray asUtf8(QByteArrayView bytes)
{
    std::optional<QStringConverter::Encoding> e;
    if (bytes.startsWith("\xFF\xFE"))
        e = QStringConverter::Utf16LE;
    else if (bytes.startsWith("\xFE\xFF"))
        e = QStringConverter::Utf16BE;
    if (!e) { // the caller's bytes, not a copy: they outlive the reading
        const QByteArrayView v = withoutUtf8Bom(bytes);
        return QByteArray::fromRawData(v.data(), v.size());
    }
    QStringDecoder d(*e);
    const QString text = d.decode(bytes);
    if (d.hasError())
        throw DataError(1, u"文件以 UTF-16 标记开头，但内容不是有效的 UTF-16。"_s);
    return text.toUtf8();
}

// How the file ended.
struct FileEnd {
    std::optional<int> open; // the line of a card left open at its end
    bool sawCard = false;
};

// Reads the cards of these bytes into `out`.
FileEnd readCards(QByteArrayView utf8, Batcher& out)
{
    FileEnd end;
    LineReader lines(utf8);
    QByteArrayView text;
    int line = 0;
    CardBuilder builder;
    CardBuilder* card = nullptr; // the card being read, if any
    int nested = 0;              // depth of cards inside a card (vCard 2.1 AGENT)
    bool binary = false;         // the last property was base64 data
    while (lines.next(text, line)) {
        // Only a line that begins with B, E or a blank can be BEGIN:VCARD or END:VCARD.
        const char head = text.front();
        const bool marker = head == 'B' || head == 'b' || head == 'E' || head == 'e' ||
                            head == ' ' || (head >= '\t' && head <= '\r');
        const QByteArrayView bare = marker ? text.trimmed() : QByteArrayView();
        if (is(bare, "BEGIN:VCARD")) {
            if (card) {
                ++nested;
            } else {
                builder.start(line);
                card = &builder;
            }
            end.sawCard = true;
            continue;
        }
        if (is(bare, "END:VCARD")) {
            if (nested > 0) {
                --nested;
            } else if (!card) {
                throw DataError(line, u"END:VCARD 前面没有 BEGIN:VCARD。"_s);
            } else {
                card->finish(out);
                card = nullptr;
            }
            binary = false;
            continue;
        }
        if (!card)
            throw DataError(line, u"这一行不在任何名片（BEGIN:VCARD … END:VCARD）之内。"_s);
        if (nested > 0)
            continue;
        if (binary && !text.contains(':'))
            continue; // base64 data of a photo written without folding blanks
        const ContentLine cl = parseLine(text, line);
        binary = cl.encoding == Encoding8::Base64;
        if (binary && propertyOf(cl.name) == Prop::Other)
            continue; // a photo, logo, sound or key
        card->add(cl);
    }
    if (card)
        end.open = card->line();
    return end;
}

} // namespace

std::pair<QString, QString> splitName(const QString& name)
{
    const QString n = name.trimmed();
    if (n.isEmpty())
        return {};
    if (hasHan(n)) {
        // The compound surnames are all two characters long.
        if (n.size() > 2 && compoundSurnames().contains(n.left(2)))
            return {n.left(2), n.mid(2)};
        const qsizetype first = n[0].isHighSurrogate() && n.size() > 1 ? 2 : 1;
        return {n.left(first), n.mid(first)};
    }
    const qsizetype blank = n.lastIndexOf(u' ');
    if (blank < 0)
        return {QString(), n};
    return {n.mid(blank + 1), n.left(blank).trimmed()};
}

QString nameFromN(const QStringList& c)
{
    const QString family = c.value(0).trimmed();
    const QString given = c.value(1).trimmed();
    const QString more = c.value(2).trimmed();
    const QString joined = family + given + more;
    if (hasHan(joined))
        return joined;
    QStringList parts;
    for (const QString& p : {given, more, family})
        if (!p.isEmpty())
            parts << p;
    return parts.join(u' ');
}

void writeBatches(const RowBatches& next, QIODevice& out, const Progress& progress)
{
    Sink sink(out);
    qint64 done = 0;
    while (const ct::CellTable* cards = next()) {
        for (int r = 0, n = cards->rowCount(); r < n; ++r) {
            writeCard(sink.buffer(), *cards, r);
            sink.flushWhenFull();
            if (progress && ++done % kProgressStep == 0)
                progress(done);
        }
    }
    sink.flush();
}

void write(const ct::CellTable& cards, QIODevice& out, const Progress& progress)
{
    writeBatches(onlyTable(cards), out, progress);
}

void readBatches(QByteArrayView bytes, const Batches& emit)
{
    const QByteArray utf8 = asUtf8(bytes);
    Batcher out(tables::kCardColumns, emit);
    const FileEnd end = readCards(utf8, out);
    out.finish();
    if (end.open)
        throw DataError(*end.open, u"从这一行开始的名片没有结束（缺少 END:VCARD）。"_s);
    if (!end.sawCard && !utf8.trimmed().isEmpty())
        throw DataError(1, u"这不是 vCard 文件：没有 BEGIN:VCARD。"_s);
}

Records read(QByteArrayView bytes)
{
    return collect([&](const Batches& emit) { readBatches(bytes, emit); });
}

} // namespace exchange::vcard
