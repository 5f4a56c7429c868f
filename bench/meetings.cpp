// Meeting search on a large table: the window's date and topic searches (statement, row
// count, grid rows) against the sqlcipher command line running the same statements on
// the same file.
//
//     bench/meetings [RUNS]
//
// The 1,000,000-meeting file is made once and kept under the build directory.

#include "modul/cardmodul.h"
#include "modul/meettab.h"
#include "modul/tables.h"
#include "platform/appinfo.h"
#include "widgets/grid.h"
#include "widgets/modulboxes.h"
#include "widgets/msgbox.h"

#include <sqlcipher/sqlite3.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

constexpr int kMeetings = 1'000'000;
const QDate kFirstDay(2017, 1, 1);
const int kDays = int(kFirstDay.daysTo(QDate(2026, 12, 31))) + 1; // ten years
const QString kMarker = u"紧急"_s;                                // in 1% of topics

void must(int rc, sqlite3* db, const char* what)
{
    if (rc != SQLITE_OK && rc != SQLITE_DONE) {
        std::fprintf(stderr, "%s: %s\n", what, sqlite3_errmsg(db));
        std::exit(1);
    }
}

void generate(const QString& dir)
{
    QDir().mkpath(dir);
    const QString part = dir + u"/making.mdb"_s;
    QFile::remove(part);
    cardmodul::createDatabase(part);
    adodb::Connection c;
    c.Open(u"Provider=Microsoft.Jet.OLEDB.4.0;Data Source="_s + part +
           u";Jet OLEDB:Database password = "_s + cardmodul::kPassword + u";"_s);
    sqlite3* db = c.handle();
    must(sqlite3_exec(db, "DROP INDEX meet_tab_meet_date; BEGIN", nullptr, nullptr, nullptr), db,
         "begin");
    sqlite3_stmt* st = nullptr;
    must(sqlite3_prepare_v2(db,
                            "insert into meet_tab (record_date,meet_cont,meet_addr,meet_date,"
                            "go_hour,go_second) values(?,?,?,?,?,?)",
                            -1, &st, nullptr),
         db, "prepare");
    QRandomGenerator rng(20261208);
    const QString words[] = {u"周例会"_s, u"项目评审"_s, u"客户拜访"_s,   u"预算讨论"_s,
                             u"培训"_s,   u"招聘面试"_s, u"供应商洽谈"_s, u"年度总结"_s};
    for (int i = 0; i < kMeetings; ++i) {
        const QDate day = kFirstDay.addDays(rng.bounded(kDays));
        const QByteArray meet = cardmodul::datetext(day).toUtf8();
        const QByteArray record = cardmodul::datetext(day.addDays(-rng.bounded(30))).toUtf8();
        QString topic = words[rng.bounded(8)] + u" 第"_s + QString::number(i) + u"次"_s;
        if (i % 100 == 7)
            topic += kMarker;
        const QByteArray t = topic.toUtf8();
        const QByteArray place = (u"会议室"_s + QString::number(rng.bounded(500))).toUtf8();
        sqlite3_bind_text(st, 1, record.constData(), int(record.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 2, t.constData(), int(t.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 3, place.constData(), int(place.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 4, meet.constData(), int(meet.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int(st, 5, 6 + rng.bounded(15));
        sqlite3_bind_int(st, 6, 5 * rng.bounded(12));
        must(sqlite3_step(st), db, "insert");
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    must(sqlite3_exec(db, "COMMIT; CREATE INDEX meet_tab_meet_date ON meet_tab (meet_date)",
                      nullptr, nullptr, nullptr),
         db, "commit");
    c.Execute(u"select 1"_s); // keeps the connection proven before closing
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// Runs the statements in one sqlcipher process; returns the wall time in milliseconds.
double cli(const QString& file, const QStringList& statements, QByteArray* out = nullptr)
{
    QByteArray script =
        "PRAGMA key='" + cardmodul::kPassword.toUtf8() + "';\nPRAGMA cipher_page_size=4096;\n";
    if (!out)
        script += ".output /dev/null\n";
    for (const QString& s : statements)
        script += s.toUtf8() + ";\n";
    QProcess p;
    QElapsedTimer t;
    t.start();
    p.start(u"sqlcipher"_s, {u"-batch"_s, file});
    p.write(script);
    p.closeWriteChannel();
    p.waitForFinished(-1);
    const double ms = double(t.nsecsElapsed()) / 1e6;
    if (out)
        *out = p.readAllStandardOutput();
    return ms;
}

// Our search: statement, row count, the six grid columns into a grid model.
int ours(void (*open)(adodb::Connection&, adodb::Recordset&, const QString&), const QString& text)
{
    adodb::Recordset rs;
    open(cardmodul::dbconn(), rs, text);
    const int n = cardmodul::reccount(rs);
    ct::GridModel g(2, tables::kMeetListColumns);
    if (n > 0)
        g.setBody(meettab::gridRows(rs.rows()));
    rs.Close();
    return n;
}

struct Result {
    double oursMs, cliMs;
    long rows;
};

// Mean time per statement over the batch, median over the runs, for both sides.
Result compare(const QString& file,
               void (*open)(adodb::Connection&, adodb::Recordset&, const QString&),
               const QString& sqlHead, const QStringList& texts, int runs)
{
    QStringList statements;
    for (const QString& t : texts)
        statements << sqlHead.arg(t);
    const QStringList baseline{u"select count(*) from sqlite_master"_s};
    std::vector<double> o, c;
    long rows = 0;
    for (int r = 0; r < runs; ++r) {
        QElapsedTimer t;
        t.start();
        rows = 0;
        for (const QString& text : texts)
            rows += ours(open, text);
        o.push_back(double(t.nsecsElapsed()) / 1e6 / double(texts.size()));
        const double base = cli(file, baseline);
        c.push_back((cli(file, statements) - base) / double(texts.size()));
    }
    return {median(o), median(c), rows / long(texts.size())};
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    msgbox::setResponder([](const msgbox::Box& b) {
        std::fprintf(stderr, "%s\n", qPrintable(msgbox::describe(b)));
        return msgbox::Result::OK;
    });
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const QString dir = QStringLiteral(CT_BENCH_DATA_DIR) + u"/meetings"_s;
    const QString file = dir + u"/"_s + cardmodul::kDbFileName;
    if (!QFile::exists(file)) {
        QElapsedTimer t;
        t.start();
        generate(dir);
        QFile::rename(dir + u"/making.mdb"_s, file);
        std::printf("made %s: %d meetings in %.1f s\n", qPrintable(file), kMeetings,
                    double(t.elapsed()) / 1000.0);
    }
    appinfo::setExeDir(dir);
    if (!cardmodul::opendb())
        return 1;

    QByteArray plan;
    cli(file, {u"explain query plan select * from meet_tab where meet_date='2021-06-15'"_s}, &plan);
    std::printf("query plan (sqlcipher): %s", plan.constData());
    adodb::Recordset rs;
    rs.Open(u"explain query plan select * from meet_tab where meet_date=?"_s, cardmodul::dbconn(),
            {u"2021-06-15"_s});
    std::printf("query plan (ours):      %s\n", qPrintable(rs.Fields(rs.fieldCount() - 1).text()));
    rs.Close();

    QStringList dates;
    QRandomGenerator rng(7);
    for (int i = 0; i < 100; ++i)
        dates << cardmodul::datetext(kFirstDay.addDays(rng.bounded(kDays)));
    ours(meettab::openByDate, dates.first()); // warm the cache
    const Result d = compare(file, meettab::openByDate,
                             u"select * from meet_tab where meet_date='%1'"_s, dates, runs);
    std::printf("date search  (%ld rows): ours %.3f ms, sqlcipher %.3f ms, ratio %.2f\n", d.rows,
                d.oursMs, d.cliMs, d.oursMs / d.cliMs);
    const Result t =
        compare(file, meettab::openByTopic,
                u"select * from meet_tab where instr(meet_cont, '%1') > 0"_s, {kMarker}, runs);
    std::printf("topic search (%ld rows): ours %.1f ms, sqlcipher %.1f ms, ratio %.2f\n", t.rows,
                t.oursMs, t.cliMs, t.oursMs / t.cliMs);
    return 0;
}
