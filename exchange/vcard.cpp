#include "exchange/vcard.h"

#include "exchange/cardparts.h"
#include "exchange/contentline.h"
#include "exchange/textcodec.h"
#include "modul/tables.h"
#include "platform/utf8.h"

#include <QBuffer>
#include <QIODevice>
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

void writeCard(QByteArray& out, const ct::CellTable& cards, int r, QStringView uid)
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
    const cardparts::Name n = cardparts::splitName(name);
    w.prop("N", {n.family, n.given, n.additional, n.prefix, n.suffix});
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
    w.prop("UID", {uid});
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
    // `before`: the lines of the file that come before these bytes.
    explicit LineReader(QByteArrayView bytes, int before = 0)
        : m_bytes(bytes), m_line(before),
          m_eol(!bytes.isEmpty() && !std::memchr(bytes.data(), '\n', std::size_t(bytes.size())) &&
                        std::memchr(bytes.data(), '\r', std::size_t(bytes.size()))
                    ? '\r' // lines ended by a lone CR (old Macs)
                    : '\n')
    {
    }

    // The next logical line: a view into the bytes, or into a buffer of the reader when
    // it was joined from several; it holds until the next call.
    bool next(QByteArrayView& out, int& line)
    {
        while (auto p = take()) {
            if (p->text.isEmpty() || p->text[0] == '#') // an empty line, a comment
                continue;
            out = p->text;
            line = p->line;
            m_start = p->text.data() - m_bytes.data();
            const bool qp = isQuotedPrintable(p->text);
            bool joined = false;
            while (auto n = take()) {
                const bool soft = qp && out.endsWith('=');
                const bool folded = !n->text.isEmpty() && (n->text[0] == ' ' || n->text[0] == '\t');
                // Old Android: a line break in a value written as a backslash at the end.
                const bool escaped =
                    !qp && !soft && !folded && endsInEscape(out) && continues(n->text);
                if (!soft && !folded && !escaped) {
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
                } else if (escaped) {
                    m_joined.append('n'); // "\" + "n": the escaped line break
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
    // Where the line next() gave last begins in the bytes.
    qsizetype start() const { return m_start; }

private:
    // An odd number of backslashes at the end: the last escapes the line break.
    static bool endsInEscape(QByteArrayView text)
    {
        qsizetype n = 0;
        while (n < text.size() && text[text.size() - 1 - n] == '\\')
            ++n;
        return n % 2 == 1;
    }
    // A line that carries on a value rather than beginning a property: empty lines, and
    // lines of a name (letters, digits, "-", a group's ".") and ":" or ";", begin anew.
    static bool continues(QByteArrayView next)
    {
        if (next.isEmpty())
            return false;
        qsizetype i = 0;
        while (i < next.size() &&
               ((next[i] >= 'A' && next[i] <= 'Z') || (next[i] >= 'a' && next[i] <= 'z') ||
                (next[i] >= '0' && next[i] <= '9') || next[i] == '-' || next[i] == '.'))
            ++i;
        return !(i > 0 && i < next.size() && (next[i] == ':' || next[i] == ';'));
    }

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
            std::memchr(m_bytes.data() + m_pos, m_eol, std::size_t(m_bytes.size() - m_pos));
        const qsizetype end = lf ? static_cast<const char*>(lf) - m_bytes.data() : m_bytes.size();
        QByteArrayView text = m_bytes.sliced(m_pos, end - m_pos);
        while (text.endsWith('\r')) // CRLF, and iOS 6's CR CR LF
            text.chop(1);
        m_pos = end + 1;
        return Physical{text, ++m_line};
    }

    QByteArrayView m_bytes;
    QByteArray m_joined;
    qsizetype m_pos = 0;
    qsizetype m_start = 0;
    int m_line;
    char m_eol;
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
    QByteArrayView service; // X-SERVICE-TYPE of an IMPP
    QByteArrayView label;   // the first TYPE that is no phone or address type (a network)
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
                const QByteArrayView t = value.sliced(from, i - from).trimmed();
                const unsigned bit = typeBit(t);
                cl.types |= bit;
                if (!bit && cl.label.isEmpty() && !is(t, "pref") && !is(t, "voice") &&
                    !is(t, "internet"))
                    cl.label = t;
                from = i + 1;
            }
    } else if (is(key, "X-SERVICE-TYPE")) {
        cl.service = value;
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

// Undoes the escapes of a text value: \\ \, \; \n \N, and the \: and \" that Apple and
// Google write (others are kept as written).
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
            if (n == u'\\' || n == u',' || n == u';' || n == u':' || n == u'"') {
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
    Qq,
    Uid,
    Impp,        // IMPP: QQ to its column, other networks to 说明
    Im,          // X-MS-IMADDRESS, X-AIM, X-SKYPE, ...
    Android,     // X-ANDROID-CUSTOM: nickname and relation
    Related,     // X-ABRELATEDNAMES, RELATED
    Social,      // X-SOCIALPROFILE
    Anniversary, // ANNIVERSARY, X-ANNIVERSARY
    Role
};

// The property of a name, in any case.
Prop propertyOf(QByteArrayView name)
{
    static constexpr std::pair<std::string_view, Prop> props[] = {
        {"VERSION", Prop::Version},
        {"FN", Prop::Fn},
        {"N", Prop::N},
        {"ORG", Prop::Org},
        {"TITLE", Prop::Title},
        {"GENDER", Prop::Gender},
        {"X-GENDER", Prop::Gender},
        {"ADR", Prop::Adr},
        {"TEL", Prop::Tel},
        {"EMAIL", Prop::Email},
        {"URL", Prop::Url},
        {"NICKNAME", Prop::Nickname},
        {"NOTE", Prop::Note},
        {"BDAY", Prop::Bday},
        {kNation, Prop::Nation},
        {kAge, Prop::Age},
        {kBlood, Prop::Blood},
        {kQq, Prop::Qq},
        {"UID", Prop::Uid},
        {"IMPP", Prop::Impp},
        {"X-MS-IMADDRESS", Prop::Im},
        {"X-AIM", Prop::Im},
        {"X-ICQ", Prop::Im},
        {"X-JABBER", Prop::Im},
        {"X-MSN", Prop::Im},
        {"X-YAHOO", Prop::Im},
        {"X-SKYPE", Prop::Im},
        {"X-SKYPE-USERNAME", Prop::Im},
        {"X-GOOGLE-TALK", Prop::Im},
        {"X-GTALK", Prop::Im},
        {"X-WECHAT", Prop::Im},
        {"X-ANDROID-CUSTOM", Prop::Android},
        {"X-ABRELATEDNAMES", Prop::Related},
        {"RELATED", Prop::Related},
        {"X-SOCIALPROFILE", Prop::Social},
        {"ANNIVERSARY", Prop::Anniversary},
        {"X-ANNIVERSARY", Prop::Anniversary},
        {"X-MS-ANNIVERSARY", Prop::Anniversary},
        {"ROLE", Prop::Role}};
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
        m_uid.resize(0);
        m_firstPhone.resize(0);
        m_notes = 0;
        m_extra.clear();
    }
    int line() const { return m_line; }

    void add(const ContentLine& cl)
    {
        const Columns& c = col();
        switch (propertyOf(cl.name)) {
        case Prop::Other: // PHOTO, REV, CATEGORIES, X-...: no column
            break;
        case Prop::Uid:
            valueInto(cl, m_uid);
            trimInPlace(m_uid);
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
        case Prop::Gender: {
            const QStringList g = components(valueText(cl));
            put(c.gender, cardparts::genderText(g.value(0), g.value(1)), u"性别"_s);
            break;
        }
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
            m_extra << u"生日："_s + cardparts::dateText(unescape(valueText(cl)));
            break;
        case Prop::Anniversary:
            m_extra << u"纪念日："_s + cardparts::dateText(unescape(valueText(cl)));
            break;
        case Prop::Role:
            valueInto(cl, m_value);
            extra(u"角色"_s, m_value);
            break;
        case Prop::Impp:
            instantMessaging(cl);
            break;
        case Prop::Im: { // X-AIM and the like: the network in the name
            valueInto(cl, m_value);
            const QByteArrayView n = cl.name;
            const bool named = !is(n, "X-MS-IMADDRESS");
            extra(named ? u"即时通讯（%1）"_s.arg(QString::fromLatin1(n.sliced(2))) : u"即时通讯"_s,
                  cardparts::withoutScheme(m_value));
            break;
        }
        case Prop::Android: { // vnd.android.cursor.item/KIND;DATA1;TYPE;...
            const QStringList parts = components(valueText(cl));
            const QString kind = parts.value(0).trimmed();
            if (kind == u"vnd.android.cursor.item/nickname")
                put(c.nick, parts.value(1).trimmed(), u"其他网名"_s);
            else if (kind == u"vnd.android.cursor.item/relation")
                extra(u"相关的人"_s, parts.value(1));
            break;
        }
        case Prop::Related:
            valueInto(cl, m_value);
            if (!m_value.startsWith(u"urn:"_s, Qt::CaseInsensitive))
                extra(u"相关的人"_s, m_value);
            break;
        case Prop::Social:
            valueInto(cl, m_value);
            extra(cl.label.isEmpty() ? u"社交账号"_s
                                     : u"社交账号（%1）"_s.arg(QString::fromUtf8(cl.label)),
                  m_value);
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

    // The card's columns. Its name is FN, else N, else ORG, NICKNAME, EMAIL or TEL, as
    // phones show such contacts; a card with none of them is passed over.
    void finish(Batcher& out)
    {
        const Columns& c = col();
        QString& name = m_f[std::size_t(c.name)];
        name.append(m_fn);
        if (name.trimmed().isEmpty() && !m_n.isEmpty()) {
            const QStringList n = components(m_n);
            name =
                cardparts::joinName({n.value(0), n.value(1), n.value(2), n.value(3), n.value(4)});
        }
        for (const QString* other : {&m_f[std::size_t(c.org)], &m_f[std::size_t(c.nick)],
                                     &m_f[std::size_t(c.mail)], &m_firstPhone})
            if (name.trimmed().isEmpty())
                name = *other;
        if (name.trimmed().isEmpty()) {
            out.skip(m_line, u"这张名片没有姓名，也没有单位、网名、EMAIL 或电话，没有导入。"_s);
            return;
        }
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
        out.rowDone(m_line, m_uid);
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

    // A line of 说明 for what has no column.
    void extra(const QString& label, QStringView v)
    {
        v = v.trimmed();
        if (!v.isEmpty())
            m_extra << label + u"："_s + v;
    }

    // IMPP: QQ (X-SERVICE-TYPE=QQ, or a qq: URI) to its column, other networks to 说明.
    void instantMessaging(const ContentLine& cl)
    {
        valueInto(cl, m_value);
        trimInPlace(m_value);
        const qsizetype colon = m_value.indexOf(u':');
        const QString scheme = colon > 0 ? m_value.left(colon) : QString();
        const QString handle = cardparts::withoutScheme(m_value);
        QString service = QString::fromUtf8(cl.service);
        if (service.isEmpty() && scheme.compare(u"x-apple"_s, Qt::CaseInsensitive) != 0)
            service = scheme;
        if (service.compare(u"QQ"_s, Qt::CaseInsensitive) == 0 ||
            service.compare(u"tencent"_s, Qt::CaseInsensitive) == 0)
            put(col().qq, handle, u"其他QQ号"_s);
        else
            extra(service.isEmpty() ? u"即时通讯"_s : u"即时通讯（%1）"_s.arg(service), handle);
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
        if (m_firstPhone.isEmpty())
            m_firstPhone = m_value;
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
        const QString text = cardparts::addressText(m_views);
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
    QString m_n; // N as written, its escapes kept
    QString m_uid;
    QString m_firstPhone;
    QString m_value; // the value being read
    QStringList m_parts;
    QVarLengthArray<QStringView, 8> m_views; // its components
    int m_notes = 0;                         // the lines in 说明 so far
    QStringList m_extra;
};

// A file in UTF-16 (as some mail programs save vCards) as UTF-8; a UTF-8 file as it is.
QByteArray asUtf8(QByteArrayView bytes)
{
    const std::optional<QStringConverter::Encoding> e = utf16Of(bytes);
    if (!e) { // the caller's bytes, not a copy: they outlive the reading
        const QByteArrayView v = withoutUtf8Bom(bytes);
        return QByteArray::fromRawData(v.data(), v.size());
    }
    QStringDecoder d(*e);
    const QString text = d.decode(bytes);
    if (d.hasError())
        throw DataError(1, u"文件是 UTF-16 编码的，但内容不是有效的 UTF-16。"_s);
    return text.toUtf8();
}

// Files this large are read in two parts at once. The thread that reads the first part
// hands its cards on as it goes and shares its core with the one that stores them; the
// second part, read alone on the other core, is the larger.
constexpr qsizetype kPartedBytes = 1 << 20;

// Where the second part begins: a BEGIN:VCARD line right after an END:VCARD line, a
// third into the file or later; -1 when there is none.
qsizetype cardBoundary(QByteArrayView utf8)
{
    const qsizetype from = utf8.size() / 3;
    const qsizetype at = utf8.sliced(from).indexOf("\nEND:VCARD\r\nBEGIN:VCARD");
    if (at >= 0)
        return from + at + qsizetype(std::string_view("\nEND:VCARD\r\n").size());
    const qsizetype lf = utf8.sliced(from).indexOf("\nEND:VCARD\nBEGIN:VCARD");
    if (lf >= 0)
        return from + lf + qsizetype(std::string_view("\nEND:VCARD\n").size());
    return -1;
}

// How a part of a file ended.
struct PartEnd {
    std::optional<int> open; // the line of a card left open at its end
    qsizetype openAt = 0;    // and where that line begins
    bool sawCard = false;
};

// Reads the cards of these bytes (`before` lines of the file come before them) into `out`.
PartEnd readCards(QByteArrayView utf8, int before, Batcher& out)
{
    PartEnd end;
    LineReader lines(utf8, before);
    QByteArrayView text;
    int line = 0;
    CardBuilder builder;
    CardBuilder* card = nullptr;    // the card being read, if any
    qsizetype openAt = 0;           // and where it begins
    int nested = 0;                 // depth of cards inside a card (vCard 2.1 AGENT)
    int passedOver = 0;             // the cards inside the card being read
    bool binary = false;            // the last property was base64 data
    std::optional<DataError> fault; // the first fault of the card being read
    int outside = 0;                // the first of the lines outside a card before this one
    auto endOutside = [&] {
        if (outside)
            out.note(outside, u"这一行不在任何名片（BEGIN:VCARD … END:VCARD）之内，没有读。"_s);
        outside = 0;
    };
    while (lines.next(text, line)) {
        // Only a line that begins with B, E or a blank can be BEGIN:VCARD or END:VCARD.
        const char head = text.front();
        const bool marker = head == 'B' || head == 'b' || head == 'E' || head == 'e' ||
                            head == ' ' || (head >= '\t' && head <= '\r');
        const QByteArrayView bare = marker ? text.trimmed() : QByteArrayView();
        if (is(bare, "BEGIN:VCARD")) {
            if (card) {
                ++nested;
                ++passedOver;
            } else {
                endOutside();
                builder.start(line);
                card = &builder;
                openAt = lines.start();
                fault.reset();
            }
            end.sawCard = true;
            continue;
        }
        if (is(bare, "END:VCARD")) {
            if (nested > 0) {
                --nested;
            } else if (!card) {
                endOutside();
                out.note(line, u"END:VCARD 前面没有 BEGIN:VCARD，没有读这一行。"_s);
            } else {
                if (fault) { // passed over whole: nothing of it is stored
                    out.skip(fault->line(),
                             fault->message() +
                                 (fault->message().endsWith(u'。') ? u""_s : u"。"_s) +
                                 u"从第 %1 行开始的这张名片没有导入。"_s.arg(card->line()));
                } else {
                    card->finish(out);
                    if (passedOver > 0)
                        out.note(card->line(),
                                 u"这张名片里套着 %1 张名片（vCard 2.1 的 AGENT 这样写），"
                                 "只导入了外面这张，里面的没有导入。"_s.arg(passedOver));
                }
                passedOver = 0;
                card = nullptr;
            }
            binary = false;
            continue;
        }
        if (!card) {
            if (!outside)
                outside = line;
            continue;
        }
        if (nested > 0 || fault)
            continue;
        if (binary && !text.contains(':'))
            continue; // base64 data of a photo written without folding blanks
        try {
            const ContentLine cl = parseLine(text, line);
            binary = cl.encoding == Encoding8::Base64;
            if (binary && propertyOf(cl.name) == Prop::Other)
                continue; // a photo, logo, sound or key
            card->add(cl);
        } catch (const DataError& e) {
            fault = e;
        }
    }
    endOutside();
    if (card) {
        end.open = card->line();
        end.openAt = openAt;
    }
    return end;
}

} // namespace

void writeBatches(const RowBatches& next, QIODevice& out, const UidOf& uidOf,
                  const Progress& progress)
{
    Sink sink(out);
    qint64 done = 0;
    QString uid;
    while (const ct::CellTable* cards = next()) {
        for (int r = 0, n = cards->rowCount(); r < n; ++r) {
            if (uidOf)
                uid = uidOf(cards->view(r, 0));
            writeCard(sink.buffer(), *cards, r, uid);
            sink.flushWhenFull();
            if (progress && ++done % kProgressStep == 0)
                progress(done);
        }
    }
    sink.flush();
}

void write(const ct::CellTable& cards, QIODevice& out, const UidOf& uidOf, const Progress& progress)
{
    writeBatches(onlyTable(cards), out, uidOf, progress);
}

QByteArray cardOf(const ct::CellTable& cards, int row, const QString& uid)
{
    QByteArray out;
    writeCard(out, cards, row, uid);
    return out;
}

void readBatches(QByteArrayView bytes, const Batches& emit)
{
    const QByteArray utf8 = asUtf8(bytes);
    Batcher out(tables::kCardColumns, emit);
    PartEnd end;
    if (const qsizetype cut = utf8.size() >= kPartedBytes ? cardBoundary(utf8) : -1; cut > 0) {
        // The second part's cards are handed on once the first part is read. They are
        // right only when the first part ends outside any card; otherwise (a card inside
        // a card) what follows the card left open is read again.
        const QByteArrayView first = QByteArrayView(utf8).first(cut);
        BatchThread second([&](const Batches& emit) {
            Batcher keep(tables::kCardColumns, emit);
            end = readCards(QByteArrayView(utf8).sliced(cut),
                            int(std::count(first.begin(), first.end(), '\n')), keep);
            keep.finish();
        });
        PartEnd firstEnd = readCards(first, 0, out); // a fault here is the file's first
        if (!firstEnd.open) {
            out.finish();
            while (std::optional<Records> b = second.pipe().take()) // rethrows its fault
                emit(std::move(*b));
            second.join();
        } else {
            second.pipe().stop();
            second.join();
            end = readCards(QByteArrayView(utf8).sliced(firstEnd.openAt), *firstEnd.open - 1, out);
            out.finish();
        }
    } else {
        end = readCards(utf8, 0, out);
        out.finish();
    }
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
