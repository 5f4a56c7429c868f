#include "modul/cardmodul.h"

#include "modul/backups.h"
#include "modul/filecheck.h"
#include "modul/schedule.h"
#include "modul/tables.h"

#include "platform/clock.h"
#include "platform/dblock.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTimer>
#include <QUuid>

#include <atomic>
#include <future>
#include <memory>
#include <optional>
#include <thread>

namespace cardmodul {

namespace {
// The lock of the database file, made before the shared connection and so let go after it
// (its descriptor, closed, would end the engine's own locks on the file in this process).
ct::DatabaseLock g_lock;
std::unique_ptr<adodb::Connection> g_conn;

// An open begun by preopen(): the connection, or why it failed.
struct Opened {
    std::unique_ptr<adodb::Connection> conn;
    std::optional<adodb::Error> error;
};

Opened openShared(const QString& text)
{
    Opened r;
    r.conn = std::make_unique<adodb::Connection>();
    try {
        r.conn->Open(text);
    } catch (const adodb::Error& e) {
        r.error = e;
    }
    return r;
}

// The thread that opens the database at start-up and then, the connection handed over,
// checks the file through on a connection of its own.
struct EarlyOpen {
    std::promise<Opened> opened;
    std::future<Opened> result = opened.get_future();
    std::atomic<adodb::Connection*> checking = nullptr;
    std::atomic<bool> leaving = false; // the program ends: nothing more to tell
    QString text;                      // the connection text it opens
    std::promise<void> ended;          // set when the thread is done
    std::future<void> over = ended.get_future();
    std::thread thread;

    ~EarlyOpen()
    {
        leaving = true;
        if (adodb::Connection* c = checking)
            c->interrupt();
        if (thread.joinable())
            thread.join();
    }
};
std::unique_ptr<EarlyOpen> g_early;

void runEarly(EarlyOpen* e, const QString& text, const QString& file, DamageTeller tell)
{
    const auto ended = qScopeGuard([e] { e->ended.set_value(); });
    Opened r = openShared(text);
    const bool ok = !r.error;
    e->opened.set_value(std::move(r));
    if (!ok || e->leaving)
        return;
    backups::sweep(file); // what killed backups and restores left
    backups::daily(text); // today's backup, on a thread of its own
    const std::optional<QString> damage = damageOf(text, e->checking);
    if (!damage || e->leaving || !tell)
        return;
    // Told on the main thread, once.
    QCoreApplication* app = QCoreApplication::instance();
    if (app)
        QMetaObject::invokeMethod(
            app, [file, d = *damage, tell] { tell(file, d); }, Qt::QueuedConnection);
}
} // namespace

bool dbopen = false;

adodb::Connection& dbconn()
{
    if (!g_conn)
        g_conn = std::make_unique<adodb::Connection>();
    return *g_conn;
}

void preopen(DamageTeller tell)
{
    // Read here: the thread never touches the application.
    const QString text = connectionText();
    const QString file = dbFilePath();
    if (g_early && g_early->text == text && g_early->result.valid())
        return; // one is under way for this file
    g_early.reset();
    g_early = std::make_unique<EarlyOpen>();
    g_early->text = text;
    g_early->thread = std::thread(runEarly, g_early.get(), text, file, std::move(tell));
}

void finishEarly()
{
    g_early.reset();
    backups::stopDaily();
}

std::optional<adodb::Error> holdDatabase()
{
    const QString file = dbFilePath();
    if (g_lock.hold(file) != ct::DatabaseLock::State::Busy)
        return std::nullopt;
    return adodb::Error(
        adodb::ErrInUse,
        u"数据库文件“%1”正在使用：另一个澄桐工作管理打开着它（也许是在另一个终端、另一个会话里"
        "启动的），或者 ctdb restore 正在恢复它。一个数据库只能由一个程序使用，请使用已经打开的"
        "窗口。"_s.arg(QDir::toNativeSeparators(file)));
}

bool earlyDone(int timeoutMs)
{
    return !g_early || !g_early->over.valid() ||
           g_early->over.wait_for(std::chrono::milliseconds(timeoutMs)) ==
               std::future_status::ready;
}

std::optional<adodb::Error> connectShared()
{
    Opened r =
        g_early && g_early->result.valid() ? g_early->result.get() : openShared(connectionText());
    if (!r.error) {
        if (std::optional<adodb::Error> busy = holdDatabase()) {
            g_conn.reset();
            return busy;
        }
    }
    g_conn = std::move(r.conn);
    return std::move(r.error);
}

void resetdb()
{
    finishEarly();
    g_conn.reset();
    dbopen = false;
}

void createDatabase(const QString& file)
{
    // The database's own id is made with it, so that its records' UIDs are its own.
    adodb::Connection::create(
        file, kPassword,
        tables::schemaStatements()
            << u"insert into ct_meta (key, value) values ('dbid', '%1')"_s.arg(
                   QUuid::createUuid().toString(QUuid::WithoutBraces)));
}

int reccount(adodb::Recordset& rs)
{
    if (rs.eof())
        return 0;
    int n = 0;
    rs.MoveFirst();
    while (!rs.eof()) {
        ++n;
        rs.MoveNext();
    }
    return n;
}

QString datetext(const QDate& d)
{
    return d.toString(u"yyyy-MM-dd"_s);
}

std::optional<QDate> parseDate(const QString& typed)
{
    static const QRegularExpression re(u"^\\s*(\\d{4})([-/])(\\d{1,2})\\2(\\d{1,2})\\s*$"_s);
    const auto m = re.match(typed);
    if (!m.hasMatch())
        return std::nullopt;
    const QDate d(m.captured(1).toInt(), m.captured(3).toInt(), m.captured(4).toInt());
    if (!d.isValid())
        return std::nullopt;
    return d;
}

QString normdate(const QString& typed)
{
    const auto d = parseDate(typed);
    return d ? datetext(*d) : typed;
}

namespace {
bool dailyExists(const QDate& d)
{
    adodb::Recordset rs;
    rs.Open(u"select * from daily_tab where daily_date=?"_s, dbconn(), {datetext(d)});
    const bool found = !(rs.eof() && rs.bof());
    rs.Close();
    return found;
}

QString blankNumber(int v)
{
    return v < 0 ? QString::number(v) : u" "_s + QString::number(v);
}
} // namespace

bool yestexist(const QDate& today)
{
    return dailyExists(today.addDays(-1));
}

bool todayexist(const QDate& today)
{
    return dailyExists(today);
}

bool yestexist()
{
    return yestexist(ctclock::today());
}

namespace {
int g_patienceMs = 30000;
constexpr int kTryWaitMs = 100; // the engine's own wait during one try
constexpr int kBetweenTriesMs = 150;

bool isBusy(const adodb::Error& e)
{
    const int code = e.number() & 0xff;
    return code == 5 || code == 6; // the engine's busy and locked codes
}
} // namespace

int patienceMs()
{
    return g_patienceMs;
}

void setPatienceMs(int ms)
{
    g_patienceMs = ms;
}

bool patiently(const std::function<bool()>& check)
{
    QElapsedTimer waited;
    waited.start();
    adodb::Connection& c = dbconn();
    c.setBusyWait(kTryWaitMs);
    const QScopeGuard restore([&c] { c.setBusyWait(adodb::Connection::busyTimeout()); });
    for (;;) {
        try {
            return check();
        } catch (const adodb::Error& e) {
            if (!isBusy(e) || waited.elapsed() >= g_patienceMs)
                throw;
        }
        QEventLoop loop;
        QTimer::singleShot(kBetweenTriesMs, &loop, &QEventLoop::quit);
        loop.exec();
    }
}

bool todayexist()
{
    return todayexist(ctclock::today());
}

QString meetmessage(const QDateTime& now)
{
    adodb::Recordset rs;
    rs.Open(u"select * from meet_tab where meet_date=?"_s, dbconn(), {datetext(now.date())});
    QString message;
    if (rs.eof())
        return message;
    rs.MoveFirst();
    // The columns are looked up once, not on every row.
    const adodb::Field hour = rs.Fields(u"go_hour"_s);
    const adodb::Field minute = rs.Fields(u"go_second"_s);
    const adodb::Field topic = rs.Fields(u"meet_cont"_s);
    qint64 n = 1;
    for (; !rs.eof(); rs.MoveNext(), ++n) {
        bool okh = false;
        bool okm = false;
        const int gh = hour.toInt(&okh);
        const int gm = minute.toInt(&okm);
        if (!okh || !okm)
            continue; // a row without a usable time is skipped
        if (!schedule::isDue(now.time(), gh, gm))
            continue;
        if (topic.isNull())
            continue;
        message += u'\n' + QString::number(n) + u"、"_s + u"请您在"_s + blankNumber(gh) + u"："_s +
                   blankNumber(gm) + u"分钟，参加"_s + topic.text() + u"！"_s;
    }
    rs.Close();
    return message;
}

QString namcode(QStringView text)
{
    QString out(text.size(), Qt::Uninitialized);
    auto* d = reinterpret_cast<char16_t*>(out.data());
    for (qsizetype i = 0; i < text.size(); ++i)
        d[i] = char16_t(text[i].unicode() ^ 0x3B);
    return out;
}

bool namexist(adodb::Connection& conn, const QString& coded)
{
    adodb::Recordset rs;
    rs.Open(u"select serno from cardtab where full_nam = ? limit 1"_s, conn, {coded});
    return !(rs.bof() && rs.eof());
}

bool namexist(const QString& coded)
{
    return namexist(dbconn(), coded);
}

} // namespace cardmodul
