#include "tools/transfer.h"

#include "exchange/csv.h"
#include "exchange/ical.h"
#include "exchange/input.h"
#include "exchange/markdown.h"
#include "exchange/vcard.h"
#include "modul/cardmodul.h"
#include "modul/cardtab.h"
#include "modul/dailytab.h"
#include "modul/meettab.h"
#include "modul/tables.h"
#include "modul/uids.h"
#include "platform/clock.h"
#include "platform/safefiles.h"
#include "tools/console.h"
#include "tools/stores.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QTimeZone>

#include <array>
#include <cerrno>
#include <cstdio>
#include <new>
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

QList<Format> formatsOf(Table t)
{
    switch (t) {
    case Table::Cards:
        return {Format::Vcf, Format::Csv};
    case Table::Meetings:
        return {Format::Ics, Format::Csv};
    case Table::Diary:
        return {Format::Md};
    }
    return {};
}

// What standard input holds, from its first bytes: vCard or iCalendar by their BEGIN
// line, Markdown by its title, vCard or iCalendar (by the table) by a first line that is
// a content line ("NAME:value", "NAME;PARAM=x:value"); anything else is taken for CSV.
Format formatOfContent(QByteArrayView bytes, Table table)
{
    const QByteArray head = exchange::withoutUtf8Bom(bytes)
                                .first(qMin<qsizetype>(bytes.size(), 256))
                                .toByteArray()
                                .trimmed()
                                .toUpper();
    if (head.startsWith("BEGIN:VCARD"))
        return Format::Vcf;
    if (head.startsWith("BEGIN:VCALENDAR"))
        return Format::Ics;
    if (head.startsWith("# "))
        return Format::Md;
    static const QRegularExpression contentLine(u"^[A-Z][A-Z0-9-]*(;[^:\\r\\n,]*)?:"_s);
    if (contentLine.match(QString::fromLatin1(head.left(80))).hasMatch())
        return table == Table::Meetings ? Format::Ics : Format::Vcf;
    return Format::Csv;
}

// The format of a request, or the UsageError that says why there is none.
Format resolve(const Request& r, bool forImport, QByteArrayView input = {})
{
    const QList<Format> allowed = formatsOf(r.table);
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
        f = formatOfContent(input, r.table);
    }
    if (!f || !allowed.contains(*f))
        throw UsageError(u"%1只能%2 %3 文件；“%4”不是。也可以用 --format 指定格式。"_s.arg(
            tableWord(r.table), forImport ? u"从"_s : u"导出为"_s, words.join(u" 或 "_s),
            console::shown(r.file)));
    if (r.encoding && *f != Format::Csv)
        throw UsageError(u"--encoding 只用于 CSV 文件。"_s);
    if ((r.allowDuplicates || r.strict || r.update || r.verbose) && !forImport)
        throw UsageError(u"--allow-duplicates、--strict、--update 和 --verbose 只用于导入。"_s);
    if (r.allowDuplicates && r.table == Table::Diary)
        throw UsageError(u"--allow-duplicates 只用于导入名片和会议。"_s);
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

// Reads a file (after the bytes read from it already) for a BatchThread, within the
// bounds of a line and a record.
std::function<void(const exchange::Batches&)> fileReading(Format f, const Request& r,
                                                          QIODevice* source, QByteArray head)
{
    return [f, &r, source, head = std::move(head), zone = QTimeZone::systemTimeZone(),
            today = ctclock::today()](const exchange::Batches& emit) mutable {
        const exchange::Framing framing = f == Format::Csv  ? exchange::Framing::Csv
                                          : f == Format::Md ? exchange::Framing::Sections
                                                            : exchange::Framing::Components;
        const QByteArray bytes = exchange::readBounded(*source, framing, std::move(head));
        switch (f) {
        case Format::Vcf:
            exchange::vcard::readBatches(bytes, emit);
            break;
        case Format::Csv:
            if (r.table == Table::Cards)
                exchange::csv::readCardBatches(bytes, r.encoding, emit);
            else
                exchange::csv::readMeetingBatches(bytes, r.encoding, today, emit);
            break;
        case Format::Ics:
            emit(exchange::ical::read(bytes, zone, today));
            break;
        case Format::Md:
            emit(exchange::markdown::readDiary(bytes));
            break;
        }
    };
}

// NUL characters cannot be part of a stored text (a name's code would turn one into a
// ';'): they are taken out of every value, and the record's line is told.
void passOverNuls(exchange::Records& batch)
{
    ct::CellTable& t = batch.rows;
    if (!t.anyCellHas(QChar(0)))
        return;
    for (int row = 0; row < t.rowCount(); ++row) {
        qsizetype removed = 0;
        for (int col = 0; col < t.columnCount(); ++col) {
            const QStringView v = t.view(row, col);
            if (t.isNull(row, col) || !v.contains(QChar(0)))
                continue;
            QString clean = v.toString();
            removed += clean.count(QChar(0));
            clean.remove(QChar(0));
            t.set(row, col, clean);
        }
        if (removed > 0)
            batch.notes.push_back(
                {batch.lines[std::size_t(row)],
                 u"去掉了 %1 个 NUL 字符（\\0，文本里不能有它），其余照常导入。"_s.arg(removed)});
    }
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
    // An export holds the user's data: only its owner may read it.
    const bool opened =
        toStdout ? out.open(stdout, QIODevice::WriteOnly) : safefiles::createPrivate(out, r.file);
    if (!opened) {
        console::err(
            u"无法写入“%1”：%2"_s.arg(console::shown(r.file, true), safefiles::systemError(errno)));
        return console::Failed;
    }
    auto giveUp = [&] {
        out.close();
        if (!toStdout)
            QFile::remove(r.file); // a file cut short is no export
    };

    // Every card and meeting carries its UID: the one stored for it, else the one this
    // database derives (read before the table's reading takes the connection).
    exchange::UidOf uidOf;
    try {
        if (r.table != Table::Diary && f != Format::Csv) {
            const uids::Kind kind =
                r.table == Table::Cards ? uids::Kind::Card : uids::Kind::Meeting;
            uidOf = [stored = uids::all(c, kind), dbid = uids::databaseId(c),
                     kind](QStringView serno) {
                const QString rec = serno.toString();
                const auto it = stored.constFind(rec);
                return it != stored.cend() ? *it : uids::derived(dbid, kind, rec);
            };
        }
    } catch (const adodb::Error& e) {
        giveUp();
        return console::failed(e);
    }

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
            exchange::vcard::writeBatches(next, out, uidOf, step);
            break;
        case Format::Csv:
            if (r.table == Table::Cards)
                exchange::csv::writeCardBatches(next, out, enc, step);
            else
                exchange::csv::writeMeetingBatches(next, out, enc, step);
            break;
        case Format::Ics: {
            auto done = exchange::ical::writeBatches(next, out, uidOf, QTimeZone::systemTimeZone(),
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
            throw exchange::WriteError(u"写入失败：%1"_s.arg(safefiles::systemError(errno)));
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

namespace {

// Remarks of one kind: the first kShown, and how many more there are, unless all are wanted.
void tellSome(const std::vector<QString>& remarks, bool all)
{
    constexpr std::size_t kShown = 10;
    const std::size_t n = all ? remarks.size() : std::min(remarks.size(), kShown);
    for (std::size_t i = 0; i < n; ++i)
        console::err(remarks[i]);
    if (n < remarks.size())
        console::err(
            u"……同类的提示还有 %1 条（加 --verbose 全部显示）。"_s.arg(remarks.size() - n));
}

std::vector<QString> remarksOf(const QString& file, const std::vector<exchange::Note>& notes)
{
    std::vector<QString> out;
    out.reserve(notes.size());
    for (const exchange::Note& n : notes)
        out.push_back(console::at(file, n.line) + n.text);
    return out;
}

} // namespace

int importTable(const Request& r)
{
    QFile in;
    QByteArray head; // of standard input, whose format may lie in its content
    if (r.file == u"-") {
        if (!in.open(stdin, QIODevice::ReadOnly)) {
            console::err(u"无法读取标准输入：%1"_s.arg(safefiles::systemError(errno)));
            return console::Failed;
        }
        head = in.read(4096);
    } else {
        if (!QFileInfo::exists(r.file))
            throw UsageError(u"找不到文件“%1”。"_s.arg(console::shown(r.file)));
        if (QFileInfo(r.file).isDir())
            throw UsageError(u"“%1”是一个目录，不是文件。"_s.arg(console::shown(r.file)));
        in.setFileName(r.file);
        if (!in.open(QIODevice::ReadOnly)) {
            console::err(
                u"无法读取“%1”：%2"_s.arg(console::shown(r.file), safefiles::systemError(errno)));
            return console::Failed;
        }
    }
    const Format f = resolve(r, true, head);

    // The file is read on another thread while the database opens and the rows read so
    // far are stored; a fault in the file ends the transaction, and nothing is written.
    exchange::BatchThread reading(fileReading(f, r, &in, std::move(head)));
    exchange::BatchPipe& pipe = reading.pipe();
    auto dataFault = [&r](const exchange::DataError& e) {
        console::err(console::at(r.file, e.line()) + e.message());
        console::err(u"没有导入任何记录。"_s);
        return console::Failed;
    };
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
    std::vector<exchange::Note> notes;   // remarks on the file
    std::vector<exchange::Note> skipped; // records passed over
    qint64 recurringEvents = 0, fromRecurring = 0;
    std::unique_ptr<Store> store;
    // What was remarked, once the progress line is done: the first ten of each kind.
    auto tell = [&] {
        tellSome(remarksOf(r.file, notes), r.verbose);
        tellSome(remarksOf(r.file, skipped), r.verbose);
        if (store) {
            tellSome(store->tally().duplicateRemarks, r.verbose);
            tellSome(store->tally().changedRemarks, r.verbose);
        }
    };
    const ImportOptions options{r.allowDuplicates, r.update};
    try {
        // The whole import is one transaction. Past a cache of 8 MB the new pages go to
        // the file (encrypted) while the import runs, not all at the commit; the journal
        // keeps the pages the file had, so a rollback leaves it as it was.
        c.Execute(u"PRAGMA cache_size = -8192"_s);
        adodb::Transaction t(c);
        switch (r.table) {
        case Table::Cards:
            store = cardStore(c, r.file, options);
            break;
        case Table::Meetings:
            store = meetingStore(c, r.file, options);
            break;
        case Table::Diary:
            store = diaryStore(c, r.file, options, ctclock::now());
            break;
        }
        console::ProgressLine progress(u"正在导入"_s + tableWord(r.table),
                                       console::ProgressLine::kUnknown);
        qint64 done = 0;
        while (std::optional<exchange::Records> batch = pipe.take()) {
            passOverNuls(*batch);
            // --strict: a record that cannot be read refuses the whole file, as a fault.
            if (r.strict && !batch->skipped.empty())
                throw exchange::DataError(batch->skipped.front().line, batch->skipped.front().text);
            notes.insert(notes.end(), batch->notes.begin(), batch->notes.end());
            skipped.insert(skipped.end(), batch->skipped.begin(), batch->skipped.end());
            recurringEvents += batch->recurringEvents;
            fromRecurring += batch->fromRecurring;
            store->add(*batch);
            done += batch->rows.rowCount();
            if (const std::optional<qint64> total = pipe.total())
                progress.setTotal(*total);
            progress.update(done);
        }
        store->finish();
        progress.setTotal(done);
        t.commit();
    } catch (const exchange::DataError& e) {
        return dataFault(e);
    } catch (const std::bad_alloc&) {
        console::err(console::shown(r.file) + u"：内存不足，文件太大，无法读完。"_s);
        console::err(u"没有导入任何记录。"_s);
        return console::Failed;
    } catch (const adodb::Error& e) {
        tell();
        console::failed(e);
        console::err(u"没有导入任何记录。"_s);
        return console::Failed;
    }
    tell();
    const Tally& n = store->tally();
    QString report =
        u"已从 %1 导入 %2 条%3"_s.arg(console::shown(r.file)).arg(n.added).arg(tableWord(r.table));
    if (recurringEvents > 0)
        report += u"（其中 %1 条来自 %2 个重复的事件）"_s.arg(fromRecurring).arg(recurringEvents);
    if (r.table == Table::Cards)
        report += u"，因重名跳过 %1 条"_s.arg(n.duplicates);
    else if (n.duplicates > 0)
        report += u"，因重复跳过 %1 条"_s.arg(n.duplicates);
    if (n.same > 0)
        report += u"，%1 条已在数据库里"_s.arg(n.same);
    if (n.updated > 0)
        report += u"，更新 %1 条"_s.arg(n.updated);
    if (n.changed > 0)
        report += u"，%1 条与数据库里的不同而没有改动（加 --update 更新）"_s.arg(n.changed);
    if (!skipped.empty())
        report += u"，%1 条无法读取而略过"_s.arg(skipped.size());
    console::out(report + u"。"_s);
    return console::Ok;
}

} // namespace transfer
