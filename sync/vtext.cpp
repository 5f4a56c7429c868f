#include "sync/vtext.h"

#include "exchange/contentline.h"

using namespace Qt::StringLiterals;

namespace vtext {

QStringList unfold(const QByteArray& text)
{
    QStringList out;
    const QString s = QString::fromUtf8(text);
    QString current;
    bool have = false;
    for (QStringView line : QStringView(s).split(u'\n')) {
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (!line.isEmpty() && (line[0] == u' ' || line[0] == u'\t')) {
            current += line.mid(1);
            continue;
        }
        if (have && !current.isEmpty())
            out << current;
        current = line.toString();
        have = true;
    }
    if (have && !current.isEmpty())
        out << current;
    return out;
}

QByteArray join(const QStringList& lines)
{
    QByteArray out;
    for (const QString& l : lines)
        exchange::appendFolded(out, l.toUtf8());
    return out;
}

namespace {

// The index of the ':' that ends the name and parameters (-1 when none).
qsizetype colonOf(const QString& line)
{
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i] == u'"')
            quoted = !quoted;
        else if (line[i] == u':' && !quoted)
            return i;
    }
    return -1;
}

} // namespace

QString nameOf(const QString& line)
{
    qsizetype end = 0;
    while (end < line.size() && line[end] != u';' && line[end] != u':')
        ++end;
    QString name = line.left(end).toUpper();
    // "item1.TEL" (Apple's groups) is a TEL.
    const qsizetype dot = name.indexOf(u'.');
    return dot >= 0 ? name.mid(dot + 1) : name;
}

QString valueOf(const QString& line)
{
    const qsizetype c = colonOf(line);
    return c < 0 ? QString() : line.mid(c + 1);
}

QStringList typesOf(const QString& line)
{
    const qsizetype c = colonOf(line);
    const QString head = c < 0 ? line : line.left(c);
    QStringList out;
    const QStringList params = head.split(u';');
    for (qsizetype i = 1; i < params.size(); ++i) {
        const QString& p = params[i];
        const qsizetype eq = p.indexOf(u'=');
        if (eq < 0) {
            out << p.toLower(); // vCard 2.1: TEL;CELL
            continue;
        }
        if (p.left(eq).compare(u"TYPE"_s, Qt::CaseInsensitive) != 0)
            continue;
        QString v = p.mid(eq + 1);
        v.remove(u'"');
        for (const QString& t : v.split(u','))
            out << t.toLower();
    }
    return out;
}

QString unescape(QStringView value)
{
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] == u'\\' && i + 1 < value.size()) {
            const QChar n = value[++i];
            out += (n == u'n' || n == u'N') ? QChar(u'\n') : n;
        } else {
            out += value[i];
        }
    }
    return out;
}

QString escape(QStringView value)
{
    QByteArray utf8;
    exchange::appendEscaped(utf8, value);
    return QString::fromUtf8(utf8);
}

Span component(const QStringList& lines, const QString& name, int from)
{
    const QString begin = u"BEGIN:"_s + name;
    const QString end = u"END:"_s + name;
    for (int i = from; i < lines.size(); ++i) {
        if (lines[i].compare(begin, Qt::CaseInsensitive) != 0)
            continue;
        for (int j = i + 1; j < lines.size(); ++j)
            if (lines[j].compare(end, Qt::CaseInsensitive) == 0)
                return {i, j + 1};
        return {i, int(lines.size())};
    }
    return {0, 0};
}

QList<int> ownLines(const QStringList& lines, Span s)
{
    QList<int> out;
    int depth = 0;
    for (int i = s.begin + 1; i < s.end - 1; ++i) {
        const QString n = nameOf(lines[i]);
        if (n == u"BEGIN")
            ++depth;
        else if (n == u"END")
            --depth;
        else if (depth == 0)
            out << i;
    }
    return out;
}

} // namespace vtext
