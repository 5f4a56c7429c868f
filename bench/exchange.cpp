// ctdb's export and import beside the sqlcipher command line's full read of the same
// table: 100,000 cards out to vCard and CSV and back into an empty database, and
// 1,000,000 meetings out to iCalendar and CSV. Each figure is the median of three runs.
//
//   build/bench/exchange
//
// Both sides are timed without their start: the command line's "select count(*) from
// sqlite_master" run is taken from its full read, and the time of opening the database
// (the key derivation) from ctdb's exports. An import opens the database while it reads
// the file, so its figure keeps the open. The meetings are made once and kept in
// build/bench-data/.

#include "bench/benchkit.h"
#include "modul/cardmodul.h"
#include "modul/cardtab.h"
#include "modul/meettab.h"
#include "modul/tables.h"
#include "platform/appinfo.h"
#include "tools/transfer.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

using namespace Qt::StringLiterals;

using benchkit::cli;
using benchkit::digits;
using benchkit::pick;

namespace {

constexpr int kCards = 100000;
constexpr int kMeetings = 1000000;
const QString kHan = u"伟芳娜秀英敏静丽强磊军洋勇艳杰娟涛明超兰霞平刚桂华建国志红玉梅林春晓"
                     "东海波宁辉鹏飞云雪琳婷慧颖佳欣怡晨宇浩然子轩梓涵思远嘉豪博文俊宏凯"_s;
const QString kSurnames = u"王李张刘陈杨黄赵吴周徐孙马朱胡郭何高林罗郑梁谢宋唐许韩冯邓曹"_s;

void makeCards(const QString& file)
{
    cardmodul::createDatabase(file);
    adodb::Connection c;
    c.Open(cardmodul::connectionText(file));
    QRandomGenerator g(20261208);
    c.Execute(u"begin"_s);
    adodb::Command insert(c, cardtab::insertStatement());
    for (int i = 0; i < kCards; ++i) {
        const QString name = kSurnames[i % kSurnames.size()] + pick(g, kHan, 1 + int(g.bounded(2)));
        insert.Execute({cardmodul::namcode(name),
                        QString(pick(g, kHan, 4) + u"科技有限公司"_s),
                        u"工程师"_s,
                        g.bounded(2) ? u"男"_s : u"女"_s,
                        u"汉族"_s,
                        QString::number(22 + g.bounded(40)),
                        u"O"_s,
                        QString(pick(g, kHan, 2) + u"市"_s + pick(g, kHan, 2) + u"路"_s +
                                QString::number(g.bounded(900)) + u"号"_s),
                        QString(u"0"_s + digits(g, 2) + u"-"_s + digits(g, 8)),
                        QString(u"0"_s + digits(g, 2) + u"-"_s + digits(g, 8)),
                        digits(g, 6),
                        u"www.example.com.cn"_s,
                        QString(u"user"_s + digits(g, 6) + u"@example.com"_s),
                        QString(u"13"_s + digits(g, 9)),
                        QString(),
                        QString(pick(g, kHan, 2) + u"市"_s + pick(g, kHan, 2) + u"小区"_s),
                        QString(u"0"_s + digits(g, 2) + u"-"_s + digits(g, 8)),
                        digits(g, 6),
                        digits(g, 9),
                        pick(g, kHan, 3),
                        u"会上认识，常联系。"_s});
    }
    c.Execute(u"commit"_s);
}

void makeMeetings(const QString& file)
{
    const QString part = file + u".making"_s;
    QFile::remove(part);
    cardmodul::createDatabase(part);
    {
        adodb::Connection c;
        c.Open(cardmodul::connectionText(part));
        QRandomGenerator g(20261209);
        c.Execute(u"begin"_s);
        adodb::Command insert(c, meettab::insertStatement());
        const QDate first(2020, 1, 1);
        for (int i = 0; i < kMeetings; ++i) {
            const QDate day = first.addDays(g.bounded(2500));
            const bool timed = g.bounded(10) != 0;
            insert.Execute({cardmodul::datetext(day.addDays(-int(g.bounded(30)))),
                            QString(pick(g, kHan, 4 + int(g.bounded(8))) + u"会议"_s),
                            QString(pick(g, kHan, 3) + u"会议室"_s), cardmodul::datetext(day),
                            timed ? QVariant(6 + int(g.bounded(16))) : QVariant(),
                            timed ? QVariant(5 * int(g.bounded(12))) : QVariant()});
        }
        c.Execute(u"commit"_s);
    }
    QFile::rename(part, file);
}

double ms(const std::function<void()>& f)
{
    QElapsedTimer t;
    t.start();
    f();
    return double(t.nsecsElapsed()) / 1e6;
}

constexpr int kRuns = 3; // each figure is the median of this many runs

double median(std::vector<double> t)
{
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

// The command line's full read of a table, less its start and key derivation.
double cliRead(const QString& file, const QString& table)
{
    cli(file, u"select * from "_s + table + u';'); // the file into the cache
    std::vector<double> t;
    for (int i = 0; i < kRuns; ++i) {
        const double start = cli(file, u"select count(*) from sqlite_master;"_s);
        t.push_back(cli(file, u"select * from "_s + table + u';') - start);
    }
    return median(t);
}

// Opening the database (the key derivation), which every ctdb command does first.
double openTime(const QString& file)
{
    std::vector<double> t;
    for (int i = 0; i < kRuns; ++i)
        t.push_back(ms([&] {
            adodb::Connection c;
            c.Open(cardmodul::connectionText(file));
        }));
    return median(t);
}

// A ctdb command's time less the open; `before` runs untimed ahead of each run.
double run(const std::function<void()>& before, const std::function<int()>& command, double open)
{
    std::vector<double> t;
    for (int i = 0; i < kRuns; ++i) {
        before();
        int code = 0;
        t.push_back(ms([&] { code = command(); }) - open);
        if (code != 0) {
            std::fprintf(stderr, "a ctdb command failed\n");
            std::exit(1);
        }
    }
    return median(t);
}

void line(const char* what, double t, double cliMs)
{
    std::printf("%-38s %9.1f ms   CLI read %8.1f ms   ratio %.2f (target <= 3)\n", what, t, cliMs,
                t / cliMs);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir tmp;
    const QString cardsDir = tmp.path() + u"/cards"_s;
    QDir().mkpath(cardsDir);
    const QString cards = cardsDir + u"/ctsource.mdb"_s;
    std::printf("making %d cards ...\n", kCards);
    std::fflush(stdout);
    makeCards(cards);

    const QString dataDir = QStringLiteral(CT_BENCH_DATA_DIR);
    QDir().mkpath(dataDir);
    const QString meetingsDir = dataDir + u"/exchange"_s;
    QDir().mkpath(meetingsDir);
    const QString meetings = meetingsDir + u"/ctsource.mdb"_s;
    if (!QFileInfo::exists(meetings)) {
        std::printf("making %d meetings (kept in %s) ...\n", kMeetings, qPrintable(meetingsDir));
        std::fflush(stdout);
        makeMeetings(meetings);
    }

    // Cards: out to vCard and CSV, then each back into an empty database.
    const double cardsCli = cliRead(cards, u"cardtab"_s);
    double open = openTime(cards);
    appinfo::setExeDir(cardsDir);
    auto exportTo = [](transfer::Table t, const QString& file) {
        transfer::Request r;
        r.table = t;
        r.file = file;
        return transfer::exportTable(r);
    };
    const QString vcf = tmp.path() + u"/cards.vcf"_s;
    const QString csv = tmp.path() + u"/cards.csv"_s;
    auto removing = [](const QString& file) { return [file] { QFile::remove(file); }; };
    const double exportVcf = run(
        removing(vcf), [&] { return exportTo(transfer::Table::Cards, vcf); }, open);
    const double exportCsv = run(
        removing(csv), [&] { return exportTo(transfer::Table::Cards, csv); }, open);
    std::vector<std::pair<QString, double>> imports;
    for (const QString& file : {vcf, csv}) {
        const QString dir = tmp.path() + u"/in-"_s + QFileInfo(file).suffix();
        QDir().mkpath(dir);
        transfer::Request r;
        r.table = transfer::Table::Cards;
        r.file = file;
        r.allowDuplicates = true; // the made names repeat: every card goes in
        auto empty = [dir] {      // each import into an empty database
            QFile::remove(dir + u"/ctsource.mdb"_s);
            cardmodul::createDatabase(dir + u"/ctsource.mdb"_s);
            appinfo::setExeDir(dir);
        };
        imports.push_back({file, run(
                                     empty, [&] { return transfer::importTable(r); }, 0.0)});
    }

    // Meetings: out to iCalendar and CSV.
    const double meetingsCli = cliRead(meetings, u"meet_tab"_s);
    open = openTime(meetings);
    appinfo::setExeDir(meetingsDir);
    const QString ics = tmp.path() + u"/m.ics"_s;
    const QString meetCsv = tmp.path() + u"/m.csv"_s;
    const double exportIcs = run(
        removing(ics), [&] { return exportTo(transfer::Table::Meetings, ics); }, open);
    const double exportMeetCsv = run(
        removing(meetCsv), [&] { return exportTo(transfer::Table::Meetings, meetCsv); }, open);

    std::printf("\n%d cards (%.1f MB), %d meetings (%.1f MB); medians of %d runs, times without "
                "start (and for the exports without the key derivation)\n",
                kCards, double(QFileInfo(cards).size()) / 1e6, kMeetings,
                double(QFileInfo(meetings).size()) / 1e6, kRuns);
    line("export cards to vCard", exportVcf, cardsCli);
    line("export cards to CSV", exportCsv, cardsCli);
    line("import cards from vCard", imports[0].second, cardsCli);
    line("import cards from CSV", imports[1].second, cardsCli);
    line("export meetings to iCalendar", exportIcs, meetingsCli);
    line("export meetings to CSV", exportMeetCsv, meetingsCli);
    return 0;
}
