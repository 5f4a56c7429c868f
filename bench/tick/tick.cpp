// The reminder tick on a large table: one meetremind run with nothing to show, the two
// diary checks and a whole tick, beside the sqlcipher command line for the same
// statements on the same file.
//
//   build/bench/tick [RUNS]
//
// The database (1,000,000 meetings, 20 of them today) is made once and kept under
// build/bench/tick-data/.

#include "app/cardmodul.h"
#include "app/mainfrm.h"
#include "platform/appinfo.h"
#include "platform/clock.h"
#include "platform/msgbox.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

const QDate kToday(2026, 12, 8);
// 03:10: a checking minute, and no meeting of today is near.
const QDateTime kNow(kToday, QTime(3, 10, 5));
constexpr int kMeetings = 1000000;
constexpr int kToday20 = 20;

void makeData(const QString& dir, const QString& file)
{
    // Made in a directory of its own and moved when finished: a half-made file is never
    // taken for a finished one.
    const QString part = dir + u"/making"_s;
    QDir(part).removeRecursively();
    QDir().mkpath(part);
    appinfo::setExeDir(part);
    cardmodul::createDatabase(cardmodul::dbFilePath());
    {
        adodb::Connection c;
        c.Open(cardmodul::connectionText());
        // Ten years of other days, about 274 meetings a day, none of them today.
        c.Execute(u"with recursive n(x) as (select 0 union all select x + 1 from n where x < ?) "
                  "insert into meet_tab(record_date, meet_cont, meet_addr, meet_date, go_hour, "
                  "go_second) select date('2016-12-09', '+' || (x % 3650) || ' days'), "
                  "'项目例会第' || x || '次', '三楼会议室', "
                  "date('2016-12-09', '+' || (x % 3650) || ' days'), 8 + x % 10, (x * 7) % 60 "
                  "from n"_s,
                  {kMeetings - kToday20 - 1});
        // Today's twenty, all in the afternoon and evening.
        c.Execute(u"with recursive n(x) as (select 0 union all select x + 1 from n where x < ?) "
                  "insert into meet_tab(record_date, meet_cont, meet_addr, meet_date, go_hour, "
                  "go_second) select '2026-12-01', '今天的会' || x, '二楼', ?, 13 + x % 10, "
                  "(x * 13) % 60 from n"_s,
                  {kToday20 - 1, cardmodul::datetext(kToday)});
        c.Execute(u"insert into daily_tab values(?, '昨天的日记')"_s,
                  {cardmodul::datetext(kToday.addDays(-1))});
        c.Execute(u"insert into daily_tab values(?, '今天的日记')"_s,
                  {cardmodul::datetext(kToday)});
        c.Execute(u"analyze"_s);
    }
    if (!QFile::rename(cardmodul::dbFilePath(), file))
        qFatal("cannot move the generated file");
    QDir(part).removeRecursively();
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Each sample is the mean of a batch of calls, as the command line's figure is.
std::vector<double> timeIt(int runs, const std::function<void()>& f)
{
    constexpr int batch = 200;
    f(); // warm
    std::vector<double> out;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        for (int j = 0; j < batch; ++j)
            f();
        out.push_back(double(t.nsecsElapsed()) / 1e6 / batch);
    }
    return out;
}

// The command line's time for one statement: a session that keys the file and runs the
// statement k times, less one that only keys it, divided by k.
double cliMs(const QString& file, const QString& statement, int runs)
{
    constexpr int k = 5000;
    auto session = [&](int times) {
        QString script = u"PRAGMA key='"_s + cardmodul::kPassword +
                         u"';\nPRAGMA cipher_page_size=4096;\n.output /dev/null\n"
                         "select count(*) from sqlite_master;\n"_s;
        for (int i = 0; i < times; ++i)
            script += statement + u";\n"_s;
        QProcess p;
        QElapsedTimer t;
        t.start();
        p.start(u"sqlcipher"_s, {u"-batch"_s, file});
        p.write(script.toUtf8());
        p.closeWriteChannel();
        if (!p.waitForFinished(120000) || p.exitCode() != 0)
            qFatal("sqlcipher failed: %s", p.readAllStandardError().constData());
        return double(t.nsecsElapsed()) / 1e6;
    };
    std::vector<double> with;
    std::vector<double> without;
    for (int i = 0; i < runs; ++i) {
        without.push_back(session(0));
        with.push_back(session(k));
    }
    return (median(with) - median(without)) / k;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(5, atoi(argv[1])) : 51;

    const QString dir = QCoreApplication::applicationDirPath() + u"/tick-data"_s;
    QDir().mkpath(dir);
    const QString file = dir + u"/"_s + cardmodul::kDbFileName;
    if (!QFile::exists(file)) {
        std::printf("making %d meetings in %s ...\n", kMeetings, qPrintable(file));
        std::fflush(stdout);
        makeData(dir, file);
    }
    appinfo::setExeDir(dir);
    if (!cardmodul::opendb())
        return 1;
    cardmodul::dbopen = true;
    ctclock::FixedClock clock(kNow);
    int shown = 0;
    msgbox::setResponder([&](const msgbox::Box&) {
        ++shown;
        return msgbox::Result::OK;
    });

    mainfrm w;
    int diaryOpened = 0;
    w.setOpener(mainfrm::Window::Log, [&](QWidget*) { ++diaryOpened; });

    const double remind = median(timeIt(runs, [] { cardmodul::meetremind(); }));
    const double yest = median(timeIt(runs, [] { (void)cardmodul::yestexist(); }));
    const double today = median(timeIt(runs, [] { (void)cardmodul::todayexist(); }));
    const double tick = median(timeIt(runs, [&] { w.Timer1_Timer(); }));
    if (shown || diaryOpened)
        qFatal("the bench tick showed something (%d boxes, %d diary windows)", shown, diaryOpened);

    const int cliRuns = std::max(7, runs / 5);
    const double cliMeet = cliMs(
        file, u"select * from meet_tab where meet_date='"_s + cardmodul::datetext(kToday) + u"'"_s,
        cliRuns);
    const double cliDaily = cliMs(file,
                                  u"select * from daily_tab where daily_date='"_s +
                                      cardmodul::datetext(kToday.addDays(-1)) + u"'"_s,
                                  cliRuns);

    std::printf("meetings %d (%d today), median of %d runs, ms\n", kMeetings, kToday20, runs);
    std::printf("meetremind, nothing due   %8.3f   sqlcipher CLI %8.3f   ratio %.2f\n", remind,
                cliMeet, remind / cliMeet);
    std::printf("yestexist                 %8.3f   sqlcipher CLI %8.3f   ratio %.2f\n", yest,
                cliDaily, yest / cliDaily);
    std::printf("todayexist                %8.3f   sqlcipher CLI %8.3f   ratio %.2f\n", today,
                cliDaily, today / cliDaily);
    std::printf("whole tick (Timer1_Timer) %8.3f   CLI sum       %8.3f   ratio %.2f\n", tick,
                cliMeet + cliDaily, tick / (cliMeet + cliDaily));
    return 0;
}
