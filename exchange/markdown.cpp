#include "exchange/markdown.h"

#include "modul/cardmodul.h"

#include <QIODevice>

#include <algorithm>
#include <optional>

using namespace Qt::StringLiterals;

namespace exchange::markdown {

namespace {

const QString kTitle = u"# 工作日记"_s;

// Characters CommonMark may read as markup anywhere in a line.
bool isInlineMarkup(QChar c)
{
    switch (c.unicode()) {
    case u'\\':
    case u'*':
    case u'_':
    case u'`':
    case u'[':
    case u']':
    case u'<':
    case u'>':
    case u'&':
    case u'~':
    case u'|':
    case u'#':
    case u'!':
        return true;
    default:
        return false;
    }
}

// A blank, tab or CR written as a character reference (kept where Markdown drops it).
QString reference(QChar c)
{
    return u"&#%1;"_s.arg(c.unicode());
}

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\r';
}

} // namespace

QString escapeLine(QStringView line)
{
    qsizetype lead = 0;
    while (lead < line.size() && isBlank(line[lead]))
        ++lead;
    qsizetype end = line.size();
    while (end > lead && isBlank(line[end - 1]))
        --end;
    QString out;
    out.reserve(line.size() + 8);
    for (qsizetype i = 0; i < lead; ++i)
        out += reference(line[i]);
    for (qsizetype i = lead; i < end; ++i) {
        const QChar c = line[i];
        const bool first = i == lead;
        if (c == u'\r') {
            out += reference(c);
            continue;
        }
        // A list marker, a heading underline, a block quote or an ordered list's "1." / "1)".
        bool escape =
            isInlineMarkup(c) || (first && (c == u'-' || c == u'+' || c == u'=' || c == u'>'));
        if (!escape && (c == u'.' || c == u')') && i > lead) {
            qsizetype d = lead;
            while (d < i && line[d].isDigit() && line[d].unicode() < 0x80)
                ++d;
            escape = d == i && i - lead <= 9; // only digits before it
        }
        if (escape)
            out += u'\\';
        out += c;
    }
    for (qsizetype i = end; i < line.size(); ++i)
        out += reference(line[i]);
    return out;
}

QString unescapeLine(QStringView line)
{
    QString out;
    out.reserve(line.size());
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (c == u'\\' && i + 1 < line.size() && line[i + 1].unicode() < 0x80 &&
            line[i + 1].isPunct()) {
            out += line[++i];
            continue;
        }
        if (c == u'\\' && i + 1 < line.size() && line[i + 1].unicode() < 0x80 &&
            line[i + 1].isSymbol()) { // ` ^ | ~ < > = + are symbols to Qt
            out += line[++i];
            continue;
        }
        if (c == u'&' && line.mid(i).startsWith(u"&#")) {
            const qsizetype semi = line.indexOf(u';', i);
            bool ok = false;
            const uint code = semi > i + 2 ? line.sliced(i + 2, semi - i - 2).toUInt(&ok) : 0;
            if (ok && code > 0 && code < 0x10000) {
                out += QChar(char16_t(code));
                i = semi;
                continue;
            }
        }
        out += c;
    }
    return out;
}

void writeDiary(const ct::CellTable& entries, QIODevice& out, const Progress& progress)
{
    struct Entry {
        std::optional<QDate> date;
        QString heading;
        int row;
    };
    std::vector<Entry> order;
    for (int r = 0, n = entries.rowCount(); r < n; ++r) {
        const auto d = cardmodul::parseDate(entries.text(r, 0));
        order.push_back({d, d ? cardmodul::datetext(*d) : entries.text(r, 0), r});
    }
    std::stable_sort(order.begin(), order.end(), [](const Entry& a, const Entry& b) {
        if (a.date && b.date)
            return *a.date < *b.date;
        if (a.date != b.date)
            return bool(a.date); // dates first
        return a.heading < b.heading;
    });
    Sink sink(out);
    sink.append((kTitle + u'\n').toUtf8());
    qint64 done = 0;
    QString section;
    for (const Entry& e : order) {
        section = u"\n## "_s + escapeLine(e.heading) + u"\n\n"_s;
        if (!entries.isNull(e.row, 1)) {
            const QStringView text = entries.view(e.row, 1);
            const QList<QStringView> lines = text.split(u'\n');
            for (qsizetype i = 0; i < lines.size(); ++i) {
                section += escapeLine(lines[i]);
                if (i + 1 < lines.size())
                    section += u"\\"_s; // a hard line break
                section += u'\n';
            }
        }
        sink.append(section.toUtf8());
        if (progress && ++done % kProgressStep == 0)
            progress(done);
    }
    sink.flush();
}

Records readDiary(QByteArrayView bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes = bytes.sliced(3);
    const QString text = QString::fromUtf8(bytes);
    Records out;
    out.rows = ct::CellTable(2);
    QList<QStringView> lines = QStringView(text).split(u'\n');
    for (QStringView& l : lines)
        if (l.endsWith(u'\r'))
            l.chop(1);
    if (lines.isEmpty() || lines[0].trimmed() != kTitle)
        throw DataError(1, u"这不是导出的日记文件：第一行应是“# 工作日记”。"_s);
    // Sections: "## heading", an empty line, the text's lines, an empty line before the next.
    qsizetype i = 1;
    while (i < lines.size() && lines[i].isEmpty())
        ++i;
    while (i < lines.size()) {
        if (!lines[i].startsWith(u"## "))
            throw DataError(int(i + 1), u"这一行不在任何日期（“## 日期”）之下。"_s);
        const int headingLine = int(i + 1);
        const QString date = unescapeLine(lines[i].sliced(3));
        qsizetype next = i + 1;
        while (next < lines.size() && !lines[next].startsWith(u"## "))
            ++next;
        // The text lies between the empty line after the heading and the one before the
        // next heading (the file's end has its line end only).
        qsizetype from = i + 2;
        qsizetype to = next;
        if (next < lines.size())
            --to; // the empty line before the next heading
        else if (to > from && lines[to - 1].isEmpty())
            --to; // the file's final line end
        QString body;
        bool any = false;
        for (qsizetype k = from; k < to; ++k) {
            QStringView l = lines[k];
            qsizetype slashes = 0;
            while (slashes < l.size() && l[l.size() - 1 - slashes] == u'\\')
                ++slashes;
            if (slashes % 2 == 1)
                l.chop(1); // the hard break
            if (any)
                body += u'\n';
            body += unescapeLine(l);
            any = true;
        }
        out.rows.appendCell(date);
        if (any)
            out.rows.appendCell(body);
        else
            out.rows.appendNullCell();
        out.lines.push_back(headingLine);
        out.uids.emplace_back();
        i = next;
    }
    return out;
}

} // namespace exchange::markdown
