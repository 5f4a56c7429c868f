#include "exchange/csv.h"

#include "exchange/headings.h"
#include "modul/cardmodul.h"
#include "modul/meettab.h"
#include "modul/tables.h"

#include <QIODevice>
#include <QStringDecoder>

using namespace Qt::StringLiterals;

namespace exchange::csv {

namespace {

constexpr int kRowsPerPiece = 2000;

bool needsQuotes(QStringView f)
{
    for (QChar c : f)
        if (c == u',' || c == u'"' || c == u'\n' || c == u'\r')
            return true;
    return false;
}

// The fields of row r of a table; `scratch` holds a text made for them.
using RowFields =
    std::function<void(const ct::CellTable&, int r, std::vector<QStringView>&, QString& scratch)>;

// Writes the heading and a record made by `row` for every row of the batches, in pieces,
// in the encoding.
void writeRows(QIODevice& out, Encoding e, const std::vector<QStringView>& heading,
               const RowBatches& next, const RowFields& row, const Progress& progress)
{
    Sink sink(out);
    if (e == Encoding::Utf8)
        sink.append("\xEF\xBB\xBF");
    QString piece;
    appendRecord(piece, heading);
    std::vector<QStringView> fields;
    QString scratch;
    auto emit = [&] {
        sink.append(encode(piece, e));
        piece.resize(0); // keeps its room for the next piece
    };
    qint64 done = 0;
    while (const ct::CellTable* rows = next()) {
        for (int r = 0, n = rows->rowCount(); r < n; ++r) {
            fields.clear();
            scratch.clear();
            row(*rows, r, fields, scratch);
            appendRecord(piece, fields);
            ++done;
            if (done % kRowsPerPiece == 0)
                emit();
            if (progress && done % kProgressStep == 0)
                progress(done);
        }
    }
    emit();
    sink.flush();
}

// Finds the columns of a heading row among the list headings; -1 for 序号.
std::vector<int> headingColumns(int line, std::span<const QString> fields,
                                const QStringList& headings, const QString& what)
{
    std::vector<int> cols;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const QString h = fields[i].trimmed();
        if (h.isEmpty()) { // a spreadsheet's empty cell after the last heading
            cols.push_back(-1);
            continue;
        }
        const qsizetype at = headings.indexOf(h);
        if (at < 0)
            throw DataError(line, u"第 %1 列的标题“%2”不是%3的列；可用的标题是：%4"_s.arg(
                                      QString::number(i + 1), h, what, headings.join(u'，')));
        for (std::size_t j = 0; j < i; ++j)
            if (fields[j].trimmed() == h)
                throw DataError(line, u"标题“%1”出现了两次。"_s.arg(h));
        cols.push_back(at == 0 ? -1 : int(at));
    }
    return cols;
}

// No text in any column that is read (序号 alone makes no record).
bool allEmpty(std::span<const QString> fields, const std::vector<int>& cols)
{
    for (std::size_t i = 0; i < fields.size(); ++i) {
        // Beyond the headings only text counts (rowFault lets blanks there pass).
        const bool text =
            i < cols.size() ? cols[i] > 0 && !fields[i].isEmpty() : !fields[i].trimmed().isEmpty();
        if (text)
            return false;
    }
    return true;
}

// A line in no encoding (decodeFile), and the remark of a row without a name of any kind.
constexpr QChar kBadText(0xFFFF);
const QString kNoName = u"这一行没有姓名，也没有单位、网名、EMAIL 或电话，没有导入。"_s;

// Why a row cannot be read: text in no encoding, or fields that do not fit the heading row
// (fewer fields are fine when those missing have no heading, more when they are empty).
QString rowFault(std::span<const QString> fields, const std::vector<QString>& heading)
{
    for (const QString& f : fields)
        if (f.contains(kBadText))
            return u"这一行的文字既不是 UTF-8 也不是 GB18030 编码，没有导入。"_s;
    bool fits = true;
    for (std::size_t i = fields.size(); i < heading.size(); ++i)
        fits = fits && heading[i].trimmed().isEmpty();
    for (std::size_t i = heading.size(); i < fields.size(); ++i)
        fits = fits && fields[i].trimmed().isEmpty();
    if (!fits)
        return u"这一行有 %1 个字段，标题行有 %2 个，没有导入。"_s.arg(fields.size())
            .arg(heading.size());
    return {};
}

struct MeetColumns {
    int recordDate = tables::meet::record_date;
    int topic = tables::meet::meet_cont;
    int place = tables::meet::meet_addr;
    int meetDate = tables::meet::meet_date;
    int hour = tables::meet::go_hour;
    int minute = tables::meet::go_second;
};
const MeetColumns& columns()
{
    static const MeetColumns c;
    return c;
}

template <std::size_t N> QStringList listOf(const std::array<QString, N>& a)
{
    QStringList l;
    for (const QString& s : a)
        l << s;
    return l;
}

} // namespace

void parse(QStringView text, const RecordFn& f, QChar delimiter, const BrokenFn& broken)
{
    std::vector<QString> fields;
    std::size_t used = 0; // fields of the record being read
    auto field = [&]() -> QString& {
        if (used == fields.size())
            fields.emplace_back();
        QString& s = fields[used++];
        s.resize(0);
        return s;
    };
    const qsizetype n = text.size();
    qsizetype i = 0;
    int line = 1;
    while (i < n) {
        const int recordLine = line;
        used = 0;
        std::optional<QString> fault;
        while (true) { // one field
            QString& s = field();
            if (i < n && text[i] == u'"') {
                const int quoteLine = line;
                ++i;
                while (true) {
                    if (i >= n)
                        throw DataError(
                            quoteLine,
                            u"引号没有结束：从这一行开始的引号直到文件末尾都没有配对的引号。"_s);
                    const QChar c = text[i];
                    if (c == u'"') {
                        if (i + 1 < n && text[i + 1] == u'"') {
                            s += u'"';
                            i += 2;
                            continue;
                        }
                        ++i;
                        break;
                    }
                    if (c == u'\n')
                        ++line;
                    s += c;
                    ++i;
                }
                if (i < n && text[i] != delimiter && text[i] != u'\n' && text[i] != u'\r') {
                    const QString why =
                        u"引号后面的“%1”：带引号的字段在结束引号之后只能是分隔符或行尾。"_s.arg(
                            text[i]);
                    if (!broken)
                        throw DataError(line, why);
                    fault = why;
                    while (i < n && text[i] != u'\n' && text[i] != u'\r') // the rest of the line
                        ++i;
                }
            } else {
                const qsizetype b = i;
                while (i < n && text[i] != delimiter && text[i] != u'\n' && text[i] != u'\r')
                    ++i;
                s.append(text.sliced(b, i - b));
            }
            if (i < n && text[i] == delimiter) {
                ++i;
                continue;
            }
            break;
        }
        // End of the record: CRLF, LF, a lone CR, or the end of the text.
        if (i < n && text[i] == u'\r')
            ++i;
        if (i < n && text[i] == u'\n')
            ++i;
        ++line;
        if (fault) {
            broken(recordLine, *fault);
            continue;
        }
        if (used == 1 && fields[0].isEmpty())
            continue; // an empty line
        f(recordLine, std::span<const QString>(fields.data(), used));
    }
}

QChar delimiterOf(QStringView text)
{
    int comma = 0, semicolon = 0, tab = 0;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'"')
            quoted = !quoted;
        else if (quoted)
            continue;
        else if (c == u'\n' || c == u'\r')
            break;
        else if (c == u',')
            ++comma;
        else if (c == u';')
            ++semicolon;
        else if (c == u'\t')
            ++tab;
    }
    if (tab > comma && tab >= semicolon)
        return u'\t';
    if (semicolon > comma)
        return u';';
    return u',';
}

void appendRecord(QString& out, const std::vector<QStringView>& fields)
{
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i)
            out += u',';
        const QStringView f = fields[i];
        if (!needsQuotes(f)) {
            out += f;
            continue;
        }
        out += u'"';
        for (QChar c : f) {
            if (c == u'"')
                out += u'"';
            out += c;
        }
        out += u'"';
    }
    out += u"\r\n"_s;
}

QString decodeFile(QByteArrayView bytes, std::optional<Encoding> told)
{
    if (!told) {
        if (const auto e = utf16Of(bytes)) { // Excel's "Unicode text"
            QStringDecoder d(*e, QStringDecoder::Flag::Stateless);
            QString text = d.decode(bytes);
            if (d.hasError())
                throw DataError(1, u"文件是 UTF-16 编码的，但内容不是有效的 UTF-16。"_s);
            if (text.startsWith(QChar(0xFEFF)))
                text.remove(0, 1);
            return text;
        }
    }
    const bool bom = hasUtf8Bom(bytes);
    bytes = withoutUtf8Bom(bytes);
    std::optional<Encoding> whole = told;
    if (!whole && (bom || bytes.isValidUtf8()))
        whole = Encoding::Utf8;
    if (!whole && decode(bytes, Encoding::Gb18030))
        whole = Encoding::Gb18030;
    if (whole)
        if (auto text = decode(bytes, *whole))
            return *text;
    // Line by line: the told encoding (or UTF-8, then GB18030); a line in none of them
    // becomes kBadText, and the record it belongs to is passed over.
    QString text;
    qsizetype start = 0;
    while (start <= bytes.size()) {
        qsizetype end = bytes.indexOf('\n', start);
        const bool last = end < 0;
        if (last)
            end = bytes.size();
        const QByteArrayView line = bytes.sliced(start, end - start);
        std::optional<QString> t;
        if (told)
            t = decode(line, *told);
        if (!t && told != Encoding::Gb18030)
            t = decodeGuess(line);
        text += t ? *t : QString(kBadText);
        if (!last)
            text += u'\n';
        start = end + 1;
    }
    return text;
}

void writeCardBatches(const RowBatches& next, QIODevice& out, Encoding e, const Progress& progress)
{
    const auto& headings = tables::cardHeadings();
    const std::vector<QStringView> heading(headings.begin(), headings.end());
    writeRows(
        out, e, heading, next,
        [](const ct::CellTable& cards, int r, std::vector<QStringView>& fields, QString&) {
            for (int c = 0, cols = cards.columnCount(); c < cols; ++c)
                fields.push_back(cards.view(r, c));
        },
        progress);
}

void writeCards(const ct::CellTable& cards, QIODevice& out, Encoding e, const Progress& progress)
{
    writeCardBatches(onlyTable(cards), out, e, progress);
}

void readCardBatches(QByteArrayView bytes, std::optional<Encoding> told, const Batches& emit)
{
    const QString text = decodeFile(bytes, told);
    Batcher out(tables::kCardColumns, emit);
    std::optional<headings::CardLayout> layout;
    std::vector<int> cols; // our layout: the column of each field, -1 for none
    std::vector<QString> heading;
    bool headed = false;
    std::vector<QStringView> row(tables::kCardColumns);
    headings::CardTexts texts;
    static const std::array<int, 6> fallback = {tables::card::off_nam,   tables::card::web_nam,
                                                tables::card::mail_addr, tables::card::mobile,
                                                tables::card::o_phone,   tables::card::h_phone};
    parse(
        text,
        [&](int line, std::span<const QString> fields) {
            if (!headed) {
                headed = true;
                layout = headings::CardLayout::of(fields);
                if (!layout)
                    throw DataError(line,
                                    u"标题行里没有姓名、名、姓、单位、网名、EMAIL 或电话的列："
                                    "这不是名片的 CSV 文件。"_s);
                heading.assign(fields.begin(), fields.end());
                cols = layout->ourColumns();
                return;
            }
            if (!layout->isOurs()
                    ? std::all_of(fields.begin(), fields.end(),
                                  [](const QString& f) { return f.trimmed().isEmpty(); })
                    : allEmpty(fields, cols))
                return;
            if (const QString why = rowFault(fields, heading); !why.isEmpty()) {
                out.skip(line, why);
                return;
            }
            ct::CellTable& t = out.rows();
            if (layout->isOurs()) {
                std::fill(row.begin(), row.end(), QStringView());
                for (std::size_t i = 0; i < cols.size() && i < fields.size(); ++i)
                    if (cols[i] > 0)
                        row[std::size_t(cols[i])] = fields[i];
                QStringView& name = row[tables::kCardNameColumn];
                for (int other : fallback)
                    if (name.trimmed().isEmpty())
                        name = row[std::size_t(other)];
                if (name.trimmed().isEmpty()) {
                    out.skip(line, kNoName);
                    return;
                }
                t.appendNullCell();
                for (int c = 1; c < tables::kCardColumns; ++c)
                    t.appendCell(row[std::size_t(c)]);
            } else {
                if (!layout->card(fields, texts)) {
                    out.skip(line, kNoName);
                    return;
                }
                t.appendNullCell();
                for (int c = 1; c < tables::kCardColumns; ++c)
                    t.appendCell(texts[std::size_t(c)]);
            }
            out.rowDone(line);
        },
        delimiterOf(text),
        [&](int line, const QString& why) { out.skip(line, why + u"这一行没有导入。"_s); });
    if (!headed)
        throw DataError(1, u"文件是空的，没有标题行。"_s);
    out.finish();
}

Records readCards(QByteArrayView bytes, std::optional<Encoding> told)
{
    return collect([&](const Batches& emit) { readCardBatches(bytes, told, emit); });
}

void writeMeetingBatches(const RowBatches& next, QIODevice& out, Encoding e,
                         const Progress& progress)
{
    const auto& headings = tables::meetHeadings();
    const std::vector<QStringView> heading(headings.begin(), headings.end());
    constexpr int hour = tables::meet::go_hour;
    constexpr int minute = tables::meet::go_second;
    writeRows(
        out, e, heading, next,
        [](const ct::CellTable& meetings, int r, std::vector<QStringView>& fields,
           QString& scratch) {
            for (int c = 0; c < hour; ++c)
                fields.push_back(meetings.view(r, c));
            if (!meetings.isNull(r, hour) || !meetings.isNull(r, minute))
                scratch = meettab::departure(meetings.view(r, hour), meetings.view(r, minute));
            fields.push_back(scratch);
        },
        progress);
}

void writeMeetings(const ct::CellTable& meetings, QIODevice& out, Encoding e,
                   const Progress& progress)
{
    writeMeetingBatches(onlyTable(meetings), out, e, progress);
}

void readMeetingBatches(QByteArrayView bytes, std::optional<Encoding> told, const QDate& today,
                        const Batches& emit)
{
    const QString text = decodeFile(bytes, told);
    const QStringList headings = listOf(tables::meetHeadings());
    const int hour = tables::meet::go_hour;
    Batcher out(tables::kMeetColumns, emit);
    std::vector<int> cols;
    std::vector<QString> heading;
    std::optional<headings::MeetingLayout> outlook;
    bool headed = false;
    auto append = [&](const std::array<QString, tables::kMeetColumns>& m, int line) {
        ct::CellTable& t = out.rows();
        t.appendNullCell();
        for (int c = 1; c < tables::kMeetColumns; ++c) {
            if (c >= hour && m[std::size_t(c)].isNull())
                t.appendNullCell();
            else
                t.appendCell(m[std::size_t(c)]);
        }
        out.rowDone(line);
    };
    parse(
        text,
        [&](int line, std::span<const QString> fields) {
            if (!headed) {
                headed = true;
                heading.assign(fields.begin(), fields.end());
                bool ours = true;
                for (const QString& h : fields)
                    ours = ours && (h.trimmed().isEmpty() || headings.contains(h.trimmed()));
                if (ours) {
                    cols = headingColumns(line, fields, headings, u"会议列表"_s);
                    return;
                }
                outlook = headings::MeetingLayout::of(fields);
                if (!outlook)
                    throw DataError(line,
                                    u"标题行既不是会议列表的标题（%1），也不是 Outlook 日历的"
                                    "标题（Subject、Start Date……）：这不是会议的 CSV 文件。"_s.arg(
                                        headings.join(u'，')));
                return;
            }
            if (outlook ? std::all_of(fields.begin(), fields.end(),
                                      [](const QString& f) { return f.trimmed().isEmpty(); })
                        : allEmpty(fields, cols))
                return;
            if (const QString why = rowFault(fields, heading); !why.isEmpty()) {
                out.skip(line, why);
                return;
            }
            std::array<QString, tables::kMeetColumns> m{};
            const auto& c = columns();
            if (outlook) {
                QString why;
                const auto parts = outlook->meeting(fields, &why);
                if (!parts) {
                    out.skip(line, why + u"这一行没有导入。"_s);
                    return;
                }
                m[std::size_t(c.recordDate)] = cardmodul::datetext(today);
                m[std::size_t(c.topic)] = parts->topic;
                m[std::size_t(c.place)] = parts->place;
                m[std::size_t(c.meetDate)] = cardmodul::datetext(parts->date);
                if (parts->hour) {
                    m[std::size_t(c.hour)] = QString::number(*parts->hour);
                    m[std::size_t(c.minute)] = QString::number(*parts->minute);
                }
                append(m, line);
                return;
            }
            std::array<QStringView, tables::kMeetListColumns> row{};
            for (std::size_t i = 0; i < cols.size() && i < fields.size(); ++i)
                if (cols[i] > 0)
                    row[std::size_t(cols[i])] = fields[i];
            for (int k = 1; k < hour; ++k)
                m[std::size_t(k)] = row[std::size_t(k)].toString();
            // The departure column (the last heading) holds hour and minute.
            const QString time = row[tables::kMeetListColumns - 1].trimmed().toString();
            if (!time.isEmpty() && time != u"：" && time != u":") {
                qsizetype sep = time.indexOf(u'：');
                if (sep < 0)
                    sep = time.indexOf(u':');
                if (sep < 0) {
                    out.skip(
                        line,
                        u"出发时间“%1”应写成“时：分”，例如 8：30；这一行没有导入。"_s.arg(time));
                    return;
                }
                try {
                    const QVariant h = meettab::timeValue(time.left(sep), 23, u"时"_s);
                    const QVariant mi = meettab::timeValue(time.mid(sep + 1), 59, u"分"_s);
                    if (!h.isNull())
                        m[std::size_t(c.hour)] = QString::number(h.toInt());
                    if (!mi.isNull())
                        m[std::size_t(c.minute)] = QString::number(mi.toInt());
                } catch (const adodb::Error& e) {
                    out.skip(line, e.description() + u"这一行没有导入。"_s);
                    return;
                }
            }
            append(m, line);
        },
        delimiterOf(text),
        [&](int line, const QString& why) { out.skip(line, why + u"这一行没有导入。"_s); });
    if (!headed)
        throw DataError(1, u"文件是空的，没有标题行。"_s);
    out.finish();
}

Records readMeetings(QByteArrayView bytes, std::optional<Encoding> told, const QDate& today)
{
    return collect([&](const Batches& emit) { readMeetingBatches(bytes, told, today, emit); });
}

} // namespace exchange::csv
