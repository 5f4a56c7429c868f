#include "tools/transfer.h"

#include "exchange/csv.h"
#include "exchange/ical.h"
#include "exchange/markdown.h"
#include "exchange/vcard.h"
#include "modul/cardmodul.h"
#include "modul/cardtab.h"
#include "modul/dailytab.h"
#include "modul/meettab.h"
#include "modul/tables.h"
#include "platform/clock.h"
#include "tools/console.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QTimeZone>

#include <array>
#include <cstdio>
#include <unistd.h>

using namespace Qt::StringLiterals;
using console::UsageError;

namespace transfer {

namespace {

QString tableWord(Table t)
{
    switch (t) {
    case Table::Cards:
        return u"名片"_s;
    case Table::Meetings:
        return u"会议"_s;
    case Table::Diary:
        return u"日记"_s;
    }
    return {};
}

QString formatWord(Format f)
{
    switch (f) {
    case Format::Vcf:
        return u".vcf（vCard）"_s;
    case Format::Csv:
        return u".csv"_s;
    case Format::Ics:
        return u".ics（iCalendar）"_s;
    case Format::Md:
        return u".md（Markdown）"_s;
    }
    return {};
}

QList<Format> formatsOf(Table t, bool forImport)
{
    switch (t) {
    case Table::Cards:
        return {Format::Vcf, Format::Csv};
    case Table::Meetings:
        return {Format::Ics, Format::Csv};
    case Table::Diary:
        return forImport ? QList<Format>{} : QList<Format>{Format::Md};
    }
    return {};
}

// What standard input holds, from its first bytes.
Format formatOfContent(QByteArrayView bytes)
{
    const QByteArray head = exchange::withoutUtf8Bom(bytes)
                                .first(qMin<qsizetype>(bytes.size(), 64))
                                .toByteArray()
                                .trimmed()
                                .toUpper();
    if (head.startsWith("BEGIN:VCARD"))
        return Format::Vcf;
    if (head.startsWith("BEGIN:VCALENDAR"))
        return Format::Ics;
    return Format::Csv;
}

// The format of a request, or the UsageError that says why there is none.
Format resolve(const Request& r, bool forImport, QByteArrayView input = {})
{
    const QList<Format> allowed = formatsOf(r.table, forImport);
    QStringList words;
    for (Format f : allowed)
        words << formatWord(f);
    std::optional<Format> f = r.format;
    if (!f && r.file != u"-")
        f = formatNamed(QFileInfo(r.file).suffix());
    if (!f && r.file == u"-") {
        if (!forImport)
            throw UsageError(
                u"输出到标准输出时要用 --format 指定格式（%1）。"_s.arg(words.join(u'、')));
        f = formatOfContent(input);
    }
    if (!f || !allowed.contains(*f))
        throw UsageError(u"%1只能%2 %3 文件；“%4”不是。也可以用 --format 指定格式。"_s.arg(
            tableWord(r.table), forImport ? u"从"_s : u"导出为"_s, words.join(u" 或 "_s),
            console::shown(r.file)));
    if (r.encoding && *f != Format::Csv)
        throw UsageError(u"--encoding 只用于 CSV 文件。"_s);
    if (r.allowDuplicates && !(forImport && r.table == Table::Cards))
        throw UsageError(u"--allow-duplicates 只用于导入名片。"_s);
    return *f;
}

bool openDatabase(adodb::Connection& c)
{
    try {
        c.Open(cardmodul::connectionText());
        return true;
    } catch (const adodb::Error& e) {
        console::failed(e);
        return false;
    }
}

// Reads a whole table in batches (card names decoded), for a BatchThread. The connection
// is the thread's until it is done.
std::function<void(const exchange::Batches&)> tableReading(adodb::Connection& c, Table t)
{
    return [&c, t](const exchange::Batches& emit) {
        adodb::BatchReader rows(c, t == Table::Cards      ? cardtab::allBySerialQuery()
                                   : t == Table::Meetings ? meettab::allQuery()
                                                          : dailytab::allQuery());
        while (true) {
            exchange::Records batch;
            batch.rows = rows.next(exchange::kBatchRows);
            if (batch.rows.rowCount() == 0)
                return;
            if (t == Table::Cards)
                cardtab::decodeNames(batch.rows);
            emit(std::move(batch));
        }
    };
}

// Stores the batches of an import, one after another, in the transaction of the import.
// Its remarks (duplicates passed over) are kept to be told when the import is done.
class CardStore {
public:
    CardStore(adodb::Connection& c, const Request& r)
        : m_insert(c, cardtab::insertStatement()),
          m_insertMany(c, cardtab::insertStatement(kRowsPerInsert)), m_request(r)
    {
        if (r.allowDuplicates)
            return;
        adodb::Recordset rs;
        cardtab::openNames(c, rs);
        const ct::CellTable stored = rs.takeRows();
        for (int i = 0; i < stored.rowCount(); ++i)
            if (!stored.isNull(i, 0))
                m_names.insert(stored.text(i, 0), 0);
    }

    void add(const exchange::Records& in)
    {
        // Views into the records: the texts go to the engine without being copied first,
        // kRowsPerInsert cards to a statement.
        for (int i = 0; i < in.rows.rowCount(); ++i) {
            const QString name = cardtab::trimBlanks(in.rows.text(i, tables::kCardNameColumn));
            QString& coded = m_coded[std::size_t(m_pending)];
            coded = cardmodul::namcode(name);
            if (!m_request.allowDuplicates && seenBefore(name, coded, in.lines[std::size_t(i)]))
                continue;
            auto* values = &m_values[std::size_t(m_pending) * kValues];
            values[0] = QStringView(coded);
            for (int col = tables::kCardNameColumn + 1; col < tables::kCardColumns; ++col)
                values[col - tables::kCardNameColumn] = in.rows.view(i, col);
            if (++m_pending == kRowsPerInsert) {
                m_insertMany.Execute(m_values);
                added += m_pending;
                m_pending = 0;
            }
        }
        // The views are into this batch: the cards left go in before it goes.
        for (int p = 0; p < m_pending; ++p)
            m_insert.Execute(std::span(m_values).subspan(std::size_t(p) * kValues, kValues));
        added += m_pending;
        m_pending = 0;
    }

    int added = 0;
    int skipped = 0;
    std::vector<QString> remarks;

private:
    static constexpr int kRowsPerInsert = 32;
    static constexpr std::size_t kValues = tables::kCardColumns - 1; // all but the serial

    bool seenBefore(const QString& name, const QString& coded, int line)
    {
        const auto seen = m_names.constFind(coded);
        if (seen == m_names.cend()) {
            m_names.insert(coded, line);
            return false;
        }
        ++skipped;
        remarks.push_back(
            console::at(m_request.file, line) +
            (*seen == 0 ? u"数据库里已有姓名为“%1”的名片，没有导入。"_s.arg(name)
                        : u"姓名“%1”与第 %2 行的名片相同，没有导入。"_s.arg(name).arg(*seen)));
        return true;
    }

    adodb::Command m_insert;
    adodb::Command m_insertMany;
    const Request& m_request;
    QHash<QString, int> m_names; // coded name -> the line it came from (0: stored)
    std::array<QString, kRowsPerInsert> m_coded;
    std::array<std::optional<QStringView>, kRowsPerInsert * kValues> m_values;
    int m_pending = 0;
};

class MeetingStore {
public:
    explicit MeetingStore(adodb::Connection& c) : m_insert(c, meettab::insertStatement()) {}

    void add(const exchange::Records& in)
    {
        const ct::CellTable& t = in.rows;
        for (int i = 0; i < t.rowCount(); ++i) {
            m_insert.Execute(meettab::insertValues({t.text(i, m_recordDate), t.text(i, m_topic),
                                                    t.text(i, m_place), t.text(i, m_meetDate),
                                                    t.text(i, m_hour), t.text(i, m_minute)}));
            ++added;
        }
    }

    int added = 0;

private:
    adodb::Command m_insert;
    static constexpr int m_recordDate = tables::meet::record_date,
                         m_topic = tables::meet::meet_cont, m_place = tables::meet::meet_addr,
                         m_meetDate = tables::meet::meet_date, m_hour = tables::meet::go_hour,
                         m_minute = tables::meet::go_second;
};

// Reads a file (its bytes too, unless they were read already) for a BatchThread.
std::function<void(const exchange::Batches&)> fileReading(Format f, const Request& r,
                                                          QIODevice* source, QByteArray bytes)
{
    return [f, &r, source, bytes = std::move(bytes), zone = QTimeZone::systemTimeZone(),
            today = ctclock::today()](const exchange::Batches& emit) mutable {
        if (source)
            bytes = source->readAll();
        switch (f) {
        case Format::Vcf:
            exchange::vcard::readBatches(bytes, emit);
            break;
        case Format::Csv:
            if (r.table == Table::Cards)
                exchange::csv::readCardBatches(bytes, r.encoding, emit);
            else
                exchange::csv::readMeetingBatches(bytes, r.encoding, emit);
            break;
        case Format::Ics:
            emit(exchange::ical::read(bytes, zone, today));
            break;
        case Format::Md:
            break;
        }
    };
}

} // namespace

std::optional<Table> tableNamed(QStringView name)
{
    if (name == u"cards")
        return Table::Cards;
    if (name == u"meetings")
        return Table::Meetings;
    if (name == u"diary")
        return Table::Diary;
    return std::nullopt;
}

// A format by its name or a file's extension.
std::optional<Format> formatNamed(QStringView name)
{
    const QString n = name.toString().toLower();
    if (n == u"vcf" || n == u"vcard")
        return Format::Vcf;
    if (n == u"csv")
        return Format::Csv;
    if (n == u"ics" || n == u"ical" || n == u"icalendar")
        return Format::Ics;
    if (n == u"md" || n == u"markdown")
        return Format::Md;
    return std::nullopt;
}

int exportTable(const Request& r)
{
    const Format f = resolve(r, false);
    const bool toStdout = r.file == u"-";
    if (!toStdout && QFileInfo::exists(r.file))
        throw UsageError(u"文件“%1”已经存在，不会覆盖。请换一个文件名，或先把它移走。"_s.arg(
            console::shown(r.file)));
    adodb::Connection c;
    if (!openDatabase(c))
        return console::Failed;
    QFile out;
    const bool opened =
        toStdout ? out.open(stdout, QIODevice::WriteOnly)
                 : (out.setFileName(r.file), out.open(QIODevice::WriteOnly | QIODevice::NewOnly));
    if (!opened) {
        console::err(u"无法写入“%1”：%2"_s.arg(console::shown(r.file, true), out.errorString()));
        return console::Failed;
    }
    auto giveUp = [&] {
        out.close();
        if (!toStdout)
            QFile::remove(r.file); // a file cut short is no export
    };

    // The table is read on another thread while what was read is written.
    exchange::BatchThread reading(tableReading(c, r.table));
    exchange::BatchPipe& pipe = reading.pipe();
    std::optional<exchange::Records> batch;
    qint64 read = 0;
    const exchange::RowBatches next = [&]() -> const ct::CellTable* {
        batch = pipe.take(); // a failure of the reading comes out here
        if (!batch)
            return nullptr;
        read += batch->rows.rowCount();
        return &batch->rows;
    };
    const exchange::Encoding enc = r.encoding.value_or(exchange::Encoding::Utf8);
    std::vector<exchange::Note> notes;
    std::optional<qint64> written;
    try {
        console::ProgressLine progress(u"正在导出"_s + tableWord(r.table),
                                       console::ProgressLine::kUnknown);
        const exchange::Progress step = [&progress, &pipe](qint64 n) {
            if (const std::optional<qint64> total = pipe.total())
                progress.setTotal(*total);
            progress.update(n);
        };
        switch (f) {
        case Format::Vcf:
            exchange::vcard::writeBatches(next, out, step);
            break;
        case Format::Csv:
            if (r.table == Table::Cards)
                exchange::csv::writeCardBatches(next, out, enc, step);
            else
                exchange::csv::writeMeetingBatches(next, out, enc, step);
            break;
        case Format::Ics: {
            auto done = exchange::ical::writeBatches(next, out, QTimeZone::systemTimeZone(),
                                                     ctclock::now().toUTC(), step);
            written = done.events;
            notes = std::move(done.notes);
            break;
        }
        case Format::Md: {            // in date order: every entry first
            ct::CellTable entries(2); // date, text
            while (const ct::CellTable* rows = next())
                entries.appendRows(*rows);
            exchange::markdown::writeDiary(entries, out, step);
            break;
        }
        }
        progress.setTotal(read);
        if (!out.flush())
            throw exchange::WriteError(u"写入失败：%1"_s.arg(out.errorString()));
        if (!toStdout && ::fsync(out.handle()) != 0)
            throw exchange::WriteError(u"写入失败：无法把文件写到磁盘上。"_s);
    } catch (const exchange::WriteError& e) {
        giveUp();
        console::err(console::shown(r.file, true) + u"："_s + e.message());
        return console::Failed;
    } catch (const adodb::Error& e) {
        giveUp();
        return console::failed(e);
    }
    out.close();
    for (const exchange::Note& n : notes)
        console::err(u"注意："_s + n.text);
    const QString report = u"已导出 %1 条%2到 %3。"_s.arg(written.value_or(read))
                               .arg(tableWord(r.table), console::shown(r.file, true));
    if (toStdout)
        console::err(report);
    else
        console::out(report);
    return console::Ok;
}

int importTable(const Request& r)
{
    if (r.table == Table::Diary)
        throw UsageError(u"日记只能导出（ctdb export diary 文件.md），不能导入。"_s);
    QFile in;
    QByteArray bytes; // standard input, read at once: its format may lie in its content
    if (r.file == u"-") {
        if (!in.open(stdin, QIODevice::ReadOnly)) {
            console::err(u"无法读取标准输入：%1"_s.arg(in.errorString()));
            return console::Failed;
        }
        bytes = in.readAll();
    } else {
        if (!QFileInfo::exists(r.file))
            throw UsageError(u"找不到文件“%1”。"_s.arg(console::shown(r.file)));
        in.setFileName(r.file);
        if (!in.open(QIODevice::ReadOnly)) {
            console::err(u"无法读取“%1”：%2"_s.arg(console::shown(r.file), in.errorString()));
            return console::Failed;
        }
    }
    const Format f = resolve(r, true, bytes);

    // The file is read on another thread while the database opens and the rows read so
    // far are stored; a fault in the file ends the transaction, and nothing is written.
    exchange::BatchThread reading(
        fileReading(f, r, r.file == u"-" ? nullptr : &in, std::move(bytes)));
    exchange::BatchPipe& pipe = reading.pipe();
    auto dataFault = [&r](const exchange::DataError& e) {
        console::err(console::at(r.file, e.line()) + e.message());
        console::err(u"没有导入任何记录。"_s);
        return console::Failed;
    };
    std::vector<exchange::Note> notes;
    adodb::Connection c;
    try {
        c.Open(cardmodul::connectionText());
    } catch (const adodb::Error& e) {
        try { // a fault in the file is told first, as when nothing is opened
            while (pipe.take()) {
            }
        } catch (const exchange::DataError& d) {
            return dataFault(d);
        }
        return console::failed(e);
    }
    std::optional<CardStore> cards;
    std::optional<MeetingStore> meetings;
    // Remarks on the file, then the duplicates passed over, once the progress line is done.
    auto tell = [&] {
        for (const exchange::Note& n : notes)
            console::err(console::at(r.file, n.line) + n.text);
        if (cards)
            for (const QString& remark : cards->remarks)
                console::err(remark);
    };
    try {
        // The whole import is one transaction. Past a cache of 8 MB the new pages go to
        // the file (encrypted) while the import runs, not all at the commit; the journal
        // keeps the pages the file had, so a rollback leaves it as it was.
        c.Execute(u"PRAGMA cache_size = -8192"_s);
        adodb::Transaction t(c);
        if (r.table == Table::Cards)
            cards.emplace(c, r);
        else
            meetings.emplace(c);
        console::ProgressLine progress(r.table == Table::Cards ? u"正在导入名片"_s
                                                               : u"正在导入会议"_s,
                                       console::ProgressLine::kUnknown);
        qint64 done = 0;
        while (std::optional<exchange::Records> batch = pipe.take()) {
            notes.insert(notes.end(), batch->notes.begin(), batch->notes.end());
            if (cards)
                cards->add(*batch);
            else
                meetings->add(*batch);
            done += batch->rows.rowCount();
            if (const std::optional<qint64> total = pipe.total())
                progress.setTotal(*total);
            progress.update(done);
        }
        progress.setTotal(done);
        t.commit();
    } catch (const exchange::DataError& e) {
        return dataFault(e);
    } catch (const adodb::Error& e) {
        tell();
        console::failed(e);
        console::err(u"没有导入任何记录。"_s);
        return console::Failed;
    }
    tell();
    const int added = cards ? cards->added : meetings->added;
    QString report =
        u"已从 %1 导入 %2 条%3"_s.arg(console::shown(r.file)).arg(added).arg(tableWord(r.table));
    if (cards)
        report += u"，因重名跳过 %1 条"_s.arg(cards->skipped);
    console::out(report + u"。"_s);
    return console::Ok;
}

} // namespace transfer
