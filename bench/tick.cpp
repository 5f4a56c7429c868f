// One reminder tick on a large table: meetmessage with nothing due and the two diary
// checks, each the median of many runs, beside the sqlcipher command line's own timing
// (".timer on") of the same statements on the same file.
//
//   bench/tick [DIR]   (DIR keeps the generated database for later runs; default: bench/)

#include "modul/cardmodul.h"
#include "platform/appinfo.h"
#include "platform/clock.h"
#include "widgets/modulboxes.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

constexpr int kRuns = 101;
const QDate kToday(2026, 12, 8);

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double timeMs(const std::function<void()>& f)
{
    std::vector<double> t;
    for (int i = 0; i < kRuns; ++i) {
        const auto a = std::chrono::steady_clock::now();
        f();
        const auto b = std::chrono::steady_clock::now();
        t.push_back(std::chrono::duration<double, std::milli>(b - a).count());
    }
    return median(t);
}

void makeDatabase(const QString& file)
{
    std::printf("making %s: 1,000,000 meetings before today, 20 today ...\n", qPrintable(file));
    std::fflush(stdout);
    cardmodul::createDatabase(file);
    adodb::Connection c;
    c.Open(u"Provider=Microsoft.Jet.OLEDB.4.0;Data Source="_s + file +
           u";Jet OLEDB:Database password = "_s + cardmodul::kPassword + u";"_s);
    c.Execute(u"begin"_s);
    // About 274 meetings a day over the ten years before today.
    c.Execute(
        u"with recursive n(x) as (select 0 union all select x + 1 from n where x < 999999) "
        "insert into meet_tab(record_date, meet_cont, meet_addr, meet_date, go_hour, go_second) "
        "select date(?, '-' || (1 + x % 3650) || ' days'), '项目会议第' || x || '次', "
        "'北京市海淀区中关村大街' || (x % 97) || '号', "
        "date(?, '-' || (1 + x % 3650) || ' days'), 8 + x % 10, (x * 7) % 60 from n"_s,
        {cardmodul::datetext(kToday), cardmodul::datetext(kToday)});
    c.Execute(
        u"with recursive n(x) as (select 0 union all select x + 1 from n where x < 19) "
        "insert into meet_tab(record_date, meet_cont, meet_addr, meet_date, go_hour, go_second) "
        "select ?, '今天的会' || x, '三楼会议室', ?, 9 + x / 2, (x * 13) % 60 from n"_s,
        {cardmodul::datetext(kToday.addDays(-3)), cardmodul::datetext(kToday)});
    c.Execute(u"insert into daily_tab values(?, '昨天')"_s,
              {cardmodul::datetext(kToday.addDays(-1))});
    c.Execute(u"commit"_s);
}

// The command line's time per statement: a run of kRepeat statements less a run of none
// (which costs the start and the key derivation), each the median of 5 runs.
constexpr int kRepeat = 2000;

double cliRunMs(const QString& file, const QString& statement, int repeat)
{
    QString script = u"PRAGMA key='"_s + cardmodul::kPassword +
                     u"';\nPRAGMA cipher_page_size=4096;\n.output /dev/null\n"_s
                     u"select count(*) from sqlite_master;\n"_s;
    for (int i = 0; i < repeat; ++i)
        script += statement + u";\n"_s;
    const QByteArray input = script.toUtf8();
    std::vector<double> t;
    for (int i = 0; i < 5; ++i) {
        QProcess p;
        const auto a = std::chrono::steady_clock::now();
        p.start(u"sqlcipher"_s, {u"-batch"_s, file});
        p.write(input);
        p.closeWriteChannel();
        p.waitForFinished(-1);
        const auto b = std::chrono::steady_clock::now();
        t.push_back(std::chrono::duration<double, std::milli>(b - a).count());
    }
    return median(t);
}

double cliMs(const QString& file, const QString& statement)
{
    return (cliRunMs(file, statement, kRepeat) - cliRunMs(file, statement, 0)) / kRepeat;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString dir =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : QCoreApplication::applicationDirPath();
    QDir().mkpath(dir);
    const QString file = QDir(dir).filePath(u"tick-ctsource.mdb"_s);
    if (!QFileInfo::exists(file))
        makeDatabase(file);
    appinfo::setExeDir(dir);
    QFile::remove(QDir(dir).filePath(cardmodul::kDbFileName));
    QFile::link(file, QDir(dir).filePath(cardmodul::kDbFileName));
    if (!cardmodul::opendb())
        return 1;

    // 03:00: today's 20 meetings lie between 9:00 and 18:59, so nothing is due.
    ctclock::FixedClock clock(QDateTime(kToday, QTime(3, 0)));
    const QDateTime now = ctclock::now();
    if (!cardmodul::meetmessage(now).isEmpty())
        return 1;
    const double meet = timeMs([&] { (void)cardmodul::meetmessage(now); });
    const double yest = timeMs([] { (void)cardmodul::yestexist(kToday); });
    const double today = timeMs([] { (void)cardmodul::todayexist(kToday); });
    const double tick = timeMs([&] {
        (void)cardmodul::meetmessage(now);
        (void)cardmodul::yestexist(kToday);
        (void)cardmodul::todayexist(kToday);
    });

    const QString d = cardmodul::datetext(kToday);
    const double cliMeet = cliMs(file, u"select * from meet_tab where meet_date='"_s + d + u"'"_s);
    const double cliYest = cliMs(file, u"select * from daily_tab where daily_date='"_s +
                                           cardmodul::datetext(kToday.addDays(-1)) + u"'"_s);
    const double cliToday =
        cliMs(file, u"select * from daily_tab where daily_date='"_s + d + u"'"_s);

    std::printf("milliseconds per run (ours: median of %d)  ours   sqlcipher CLI\n", kRuns);
    std::printf("meetmessage, 20 rows today, none due %7.3f  %7.3f\n", meet, cliMeet);
    std::printf("yestexist                            %7.3f  %7.3f\n", yest, cliYest);
    std::printf("todayexist                           %7.3f  %7.3f\n", today, cliToday);
    std::printf("whole tick (all three)               %7.3f  %7.3f\n", tick,
                cliMeet + cliYest + cliToday);
    return 0;
}
