#include "exchange/csv.h"

#include "modul/meettab.h"
#include "modul/tables.h"

#include <QIODevice>

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

// The first line whose bytes are not valid in the encoding.
int firstBadLine(QByteArrayView bytes, Encoding e)
{
    int line = 1;
    qsizetype start = 0;
    while (start <= bytes.size()) {
        qsizetype end = bytes.indexOf('\n', start);
        if (end < 0)
            end = bytes.size();
        if (!decode(bytes.sliced(start, end - start), e))
            return line;
        ++line;
        start = end + 1;
    }
    return 1;
}

// Finds the columns of a heading row among the list headings; -1 for 序号.
std::vector<int> headingColumns(int line, std::span<const QString> fields,
                                const QStringList& headings, const QString& what)
{
    std::vector<int> cols;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const QString h = fields[i].trimmed();
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
    for (std::size_t i = 0; i < fields.size(); ++i)
        if (cols[i] > 0 && !fields[i].isEmpty())
            return false;
    return true;
}

template <std::size_t N> QStringList listOf(const std::array<QString, N>& a)
{
    QStringList l;
    for (const QString& s : a)
        l << s;
    return l;
}

} // namespace

void parse(QStringView text, const RecordFn& f)
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
                if (i < n && text[i] != u',' && text[i] != u'\n' && text[i] != u'\r')
                    throw DataError(
                        line, u"引号后面的“%1”：带引号的字段在结束引号之后只能是逗号或行尾。"_s.arg(
                                  text[i]));
            } else {
                const qsizetype b = i;
                while (i < n && text[i] != u',' && text[i] != u'\n' && text[i] != u'\r')
                    ++i;
                s.append(text.sliced(b, i - b));
            }
            if (i < n && text[i] == u',') {
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
        if (used == 1 && fields[0].isEmpty())
            continue; // an empty line
        f(recordLine, std::span<const QString>(fields.data(), used));
    }
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
    Encoding e = told.value_or(Encoding::Utf8);
    if (hasUtf8Bom(bytes)) {
        e = Encoding::Utf8;
        bytes = withoutUtf8Bom(bytes);
    } else if (!told && !bytes.isValidUtf8()) {
        e = Encoding::Gb18030;
    }
    if (auto text = decode(bytes, e))
        return *text;
    if (!told && e == Encoding::Gb18030)
        throw DataError(firstBadLine(bytes, Encoding::Utf8),
                        u"文字既不是 UTF-8 也不是 GB18030 编码，无法读取。"_s);
    throw DataError(firstBadLine(bytes, e), e == Encoding::Utf8
                                                ? u"这一行的文字不是有效的 UTF-8 编码。"_s
                                                : u"这一行的文字不是有效的 GB18030 编码。"_s);
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
    const QStringList headings = listOf(tables::cardHeadings());
    Batcher out(tables::kCardColumns, emit);
    std::vector<int> cols;
    int nameAt = -1;
    std::vector<QStringView> row(tables::kCardColumns);
    parse(text, [&](int line, std::span<const QString> fields) {
        if (cols.empty()) {
            cols = headingColumns(line, fields, headings, u"名片列表"_s);
            for (std::size_t i = 0; i < cols.size(); ++i)
                if (cols[i] == tables::kCardNameColumn)
                    nameAt = int(i);
            if (nameAt < 0)
                throw DataError(line, u"标题行没有“姓名”列。"_s);
            return;
        }
        if (fields.size() != cols.size())
            throw DataError(
                line,
                u"这一行有 %1 个字段，标题行有 %2 个。"_s.arg(fields.size()).arg(cols.size()));
        if (allEmpty(fields, cols))
            return;
        if (fields[std::size_t(nameAt)].trimmed().isEmpty())
            throw DataError(line, u"这张名片没有姓名。"_s);
        std::fill(row.begin(), row.end(), QStringView());
        for (std::size_t i = 0; i < cols.size(); ++i)
            if (cols[i] > 0)
                row[std::size_t(cols[i])] = fields[i];
        ct::CellTable& t = out.rows();
        t.appendNullCell();
        for (int c = 1; c < tables::kCardColumns; ++c)
            t.appendCell(row[std::size_t(c)]);
        out.rowDone(line);
    });
    if (cols.empty())
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

void readMeetingBatches(QByteArrayView bytes, std::optional<Encoding> told, const Batches& emit)
{
    const QString text = decodeFile(bytes, told);
    const QStringList headings = listOf(tables::meetHeadings());
    const int hour = tables::meet::go_hour;
    Batcher out(tables::kMeetColumns, emit);
    std::vector<int> cols;
    parse(text, [&](int line, std::span<const QString> fields) {
        if (cols.empty()) {
            cols = headingColumns(line, fields, headings, u"会议列表"_s);
            return;
        }
        if (fields.size() != cols.size())
            throw DataError(
                line,
                u"这一行有 %1 个字段，标题行有 %2 个。"_s.arg(fields.size()).arg(cols.size()));
        if (allEmpty(fields, cols))
            return;
        std::array<QStringView, tables::kMeetListColumns> row{};
        for (std::size_t i = 0; i < cols.size(); ++i)
            if (cols[i] > 0)
                row[std::size_t(cols[i])] = fields[i];
        // The departure column (the last heading) holds hour and minute.
        QVariant h, m;
        const QString time = row[tables::kMeetListColumns - 1].trimmed().toString();
        if (!time.isEmpty() && time != u"：" && time != u":") {
            qsizetype sep = time.indexOf(u'：');
            if (sep < 0)
                sep = time.indexOf(u':');
            if (sep < 0)
                throw DataError(line, u"出发时间“%1”应写成“时：分”，例如 8：30。"_s.arg(time));
            try {
                h = meettab::timeValue(time.left(sep), 23, u"时"_s);
                m = meettab::timeValue(time.mid(sep + 1), 59, u"分"_s);
            } catch (const adodb::Error& e) {
                throw DataError(line, e.description());
            }
        }
        ct::CellTable& t = out.rows();
        t.appendNullCell();
        for (int c = 1; c < hour; ++c)
            t.appendCell(row[std::size_t(c)]);
        for (const QVariant& v : {h, m}) {
            if (v.isNull())
                t.appendNullCell();
            else
                t.appendCell(QString::number(v.toInt()));
        }
        out.rowDone(line);
    });
    if (cols.empty())
        throw DataError(1, u"文件是空的，没有标题行。"_s);
    out.finish();
}

Records readMeetings(QByteArrayView bytes, std::optional<Encoding> told)
{
    return collect([&](const Batches& emit) { readMeetingBatches(bytes, told, emit); });
}

} // namespace exchange::csv
