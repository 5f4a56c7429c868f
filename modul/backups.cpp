#include "modul/backups.h"

#include "modul/dbfile.h"
#include "modul/filecheck.h"
#include "modul/tables.h"
#include "modul/uids.h"
#include "platform/clock.h"
#include "platform/safefiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace Qt::StringLiterals;

namespace backups {

namespace {

const QString kPrefix = u"ctsource-"_s;
const QString kMadeKey = u"backup-made"_s; // in ct_meta: when the backup was made (UTC)
constexpr int kLowPriority = 10;
constexpr qint64 kClockSlackSecs = 60; // a clock set back a little is no clock gone wrong

bool isBackupName(const QString& name)
{
    static const QRegularExpression re(u"^ctsource-\\d{8}-\\d{6}\\.mdb$"_s);
    return re.match(name).hasMatch();
}

// The time in a backup's name (local time), null when it is no time.
QDateTime nameTime(const QString& name)
{
    return QDateTime::fromString(name.mid(kPrefix.size(), 15), u"yyyyMMdd-HHmmss"_s);
}

QString shownName(const QString& file, const QString& shownAs)
{
    return QDir::toNativeSeparators(shownAs.isEmpty() ? file : shownAs);
}

// What a failure to open or read a file means for a file that is to be a backup: what
// is wrong with it, never what to do with the database (the user is dealing with backups
// already). The engine's words follow in brackets.
adodb::Error asBackupFailure(const adodb::Error& e, const QString& file, const QString& shown)
{
    const int code = e.number() & 0xff;
    QString what;
    if (e.number() == adodb::ErrFileMissing)
        what = u"“%1”不存在"_s;
    else if (e.number() == adodb::ErrNotEncrypted)
        what = u"“%1”是未加密的 SQLite 文件，不是本程序带密码的数据库"_s;
    else if (code == 26) // not a database: another key, or no database at all
        what = u"“%1”不是本程序的数据库：用本程序的密码打不开，或者根本不是数据库文件"_s;
    else if (code == 11) // damaged
        what = u"“%1”已损坏或不完整（也许被截断了）"_s;
    else if (code == 5 || code == 6)
        what = u"“%1”正被另一个程序锁定，请稍后再试"_s;
    else
        return adodb::Error(e.number(),
                            QString(e.description())
                                .replace(QDir::toNativeSeparators(file), shown)
                                .replace(u"请用 ctdb restore 从备份恢复"_s, QString()),
                            e.detail());
    if (e.description().contains(u"空文件"_s))
        what = u"“%1”是空文件（0 字节），不是数据库"_s;
    const QString detail = e.detail();
    return adodb::Error(
        e.number(), what.arg(shown) + (detail.isEmpty() ? u"。"_s : u"（"_s + detail + u"）。"_s),
        detail);
}

// The program's tables and their columns, as a new file has them.
const QHash<QString, QStringList>& programTables()
{
    static const QHash<QString, QStringList> t =
        adodb::Connection::columnsOf(tables::schemaStatements());
    return t;
}

// The three tables every file of the program has (the others came later).
const QStringList kRequired = {u"cardtab"_s, u"meet_tab"_s, u"daily_tab"_s};

// Every table of the program's that the file holds has the program's columns, and the
// three tables are there. Tables the program does not know are left to those who made them.
void checkLayout(adodb::Connection& c, const QString& shown)
{
    const QHash<QString, QStringList> found = c.tableColumns();
    for (const QString& t : kRequired)
        if (!found.contains(t))
            throw adodb::Error(adodb::ErrDamaged,
                               u"“%1”不是本程序的数据库：没有表 %2。"_s.arg(shown, t));
    const QHash<QString, QStringList>& ours = programTables();
    for (auto it = ours.cbegin(); it != ours.cend(); ++it) {
        const auto there = found.constFind(it.key());
        if (there == found.cend())
            continue;
        bool same = there->size() == it->size();
        for (qsizetype i = 0; same && i < it->size(); ++i)
            same = there->at(i).compare(it->at(i), Qt::CaseInsensitive) == 0;
        if (!same)
            throw adodb::Error(
                adodb::ErrDamaged,
                u"“%1”不是本程序的数据库：表 %2 的列是（%3），本程序的是（%4）。"_s.arg(
                    shown, it.key(), there->join(u", "_s), it->join(u", "_s)));
    }
}

// Whether a file opens as a database of the program (its key, its three tables); the
// time recorded in it, or null, through `made`.
bool opensAsOurs(const QString& file, QDateTime* made)
{
    try {
        adodb::Connection c;
        c.Open(cardmodul::connectionText(file));
        adodb::Recordset rs;
        rs.Open(u"select count(*) from sqlite_master where type = 'table' and name in "
                "('cardtab', 'meet_tab', 'daily_tab')"_s,
                c);
        if (rs.Fields(0).text() != u"3")
            return false;
        *made = madeAt(c);
        return true;
    } catch (const adodb::Error&) {
        return false;
    }
}

// A regular file, not a symbolic link (a link is nobody's backup, whatever it points to).
bool isRegularFile(const QString& path)
{
    struct stat st = {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode);
}

class DailyWorker {
public:
    ~DailyWorker() { stop(); }

    void start(const QString& connectionText)
    {
        std::lock_guard lock(m_mutex);
        if (m_thread.joinable()) {
            if (!m_done)
                return; // one at a time
            m_thread.join();
        }
        m_stopping = false;
        m_done = false;
        m_thread = std::thread([this, connectionText] { run(connectionText); });
        if (!m_hooked) { // stop before the application's objects go
            qAddPostRoutine(&stopDaily);
            m_hooked = true;
        }
    }

    void setPause(std::chrono::milliseconds pause)
    {
        {
            std::lock_guard lock(m_mutex);
            m_pause = pause;
        }
        m_wake.notify_all();
    }

    bool waitEnded(std::chrono::milliseconds timeout)
    {
        std::unique_lock lock(m_mutex);
        return m_ended.wait_for(lock, timeout, [this] { return !m_thread.joinable() || m_done; });
    }

    void stop()
    {
        {
            std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_wake.notify_all();
        std::thread t;
        {
            std::lock_guard lock(m_mutex);
            t.swap(m_thread);
        }
        if (t.joinable())
            t.join();
    }

private:
    bool stopping()
    {
        std::lock_guard lock(m_mutex);
        return m_stopping;
    }

    void run(const QString& connectionText)
    {
        ::setpriority(PRIO_PROCESS, id_t(::gettid()), kLowPriority);
        {
            std::unique_lock lock(m_mutex);
            const auto begun = std::chrono::steady_clock::now();
            // The pause may change meanwhile (a test seam): its end is read anew on each wake.
            while (!m_stopping && std::chrono::steady_clock::now() < begun + m_pause)
                m_wake.wait_until(lock, begun + m_pause);
            if (m_stopping) {
                end(lock);
                return;
            }
        }
        try {
            adodb::Connection c;
            c.Open(connectionText);
            if (!stopping() && !madeOn(folderFor(c.fileName()), ctclock::today()))
                rotate(c, ctclock::now());
        } catch (...) {
            // silent: the program goes on without today's backup
        }
        std::unique_lock lock(m_mutex);
        end(lock);
    }

    void end(std::unique_lock<std::mutex>& lock)
    {
        m_done = true;
        lock.unlock();
        m_ended.notify_all();
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_ended;
    std::chrono::steady_clock::duration m_pause = kDailyPause;
    std::thread m_thread;
    bool m_stopping = false;
    bool m_done = false;
    bool m_hooked = false;
};

DailyWorker& worker()
{
    static DailyWorker w;
    return w;
}

} // namespace

QString folderFor(const QString& dbFile)
{
    return QFileInfo(dbFile).absolutePath() + u"/backups"_s;
}

QDateTime madeAt(adodb::Connection& backup)
{
    try {
        adodb::Recordset rs;
        rs.Open(u"select count(*) from sqlite_master where type = 'table' and name = 'ct_meta'"_s,
                backup);
        if (rs.Fields(0).text() != u"1")
            return {};
        rs.Open(u"select value from ct_meta where key = ?"_s, backup, {kMadeKey});
        if (rs.eof() || rs.Fields(0).isNull())
            return {};
        QDateTime t = QDateTime::fromString(rs.Fields(0).text(), Qt::ISODateWithMs);
        return t.isValid() ? t.toUTC() : QDateTime();
    } catch (const adodb::Error&) {
        return {};
    }
}

QStringList list(const QString& folder, const QDateTime& now)
{
    struct Ranked {
        bool believable; // not in the future
        QDateTime at;
        QString file;
    };
    const QDateTime latest = now.toUTC().addSecs(kClockSlackSecs);
    std::vector<Ranked> found;
    const QStringList names =
        QDir(folder).entryList({kPrefix + u"*.mdb"_s}, QDir::Files | QDir::System, QDir::Name);
    for (const QString& n : names) {
        const QString file = folder + u'/' + n;
        if (!isBackupName(n) || !isRegularFile(file))
            continue;
        QDateTime made;
        if (!opensAsOurs(file, &made))
            continue;
        if (!made.isValid())
            made = nameTime(n).toUTC(); // a backup of an earlier version: its name's time
        found.push_back({made.isValid() && made <= latest, made, file});
    }
    std::stable_sort(found.begin(), found.end(), [](const Ranked& a, const Ranked& b) {
        if (a.believable != b.believable)
            return !a.believable;
        if (a.at != b.at)
            return !a.at.isValid() || (b.at.isValid() && a.at < b.at);
        return a.file < b.file;
    });
    QStringList out;
    for (const Ranked& r : found)
        out << r.file;
    return out;
}

QStringList list(const QString& folder)
{
    return list(folder, ctclock::now());
}

bool madeOn(const QString& folder, const QDate& day)
{
    const QString stem = kPrefix + day.toString(u"yyyyMMdd"_s) + u'-';
    const QStringList names = QDir(folder).entryList({stem + u"*.mdb"_s}, QDir::Files, QDir::Name);
    for (const QString& n : names) {
        QDateTime made;
        if (isBackupName(n) && isRegularFile(folder + u'/' + n) &&
            opensAsOurs(folder + u'/' + n, &made))
            return true;
    }
    return false;
}

void verify(const QString& file, const QString& shownAs)
{
    const QString shown = shownName(file, shownAs);
    try {
        adodb::Connection c;
        c.Open(cardmodul::connectionText(file));
        const QStringList problems = cardmodul::integrityProblems(c);
        if (!problems.isEmpty())
            throw adodb::Error(adodb::ErrDamaged, u"“%1”已损坏（完整性检查：%2）。"_s.arg(
                                                      shown, problems.mid(0, 3).join(u"；"_s)));
        checkLayout(c, shown);
    } catch (const adodb::Error& e) {
        if (e.number() == adodb::ErrDamaged)
            throw;
        throw asBackupFailure(e, file, shown);
    }
}

void copyChecked(adodb::Connection& conn, const QString& file, const QDateTime& made)
{
    // Written and checked under a temporary name: a file with the final name is always a
    // good copy. The check names the copy as the user named it.
    conn.backupTo(file, cardmodul::kPassword, [&](const QString& written) {
        {
            adodb::Connection c;
            c.Open(cardmodul::connectionText(written));
            uids::ensureTables(c);
            c.Execute(u"insert or replace into ct_meta (key, value) values (?, ?)"_s,
                      {kMadeKey, made.toUTC().toString(Qt::ISODateWithMs)});
        }
        verify(written, file);
    });
}

QString rotate(adodb::Connection& conn, const QDateTime& when)
{
    sweep(conn.fileName());
    const QString folder = folderFor(conn.fileName());
    if (!safefiles::makePrivateDirs(folder))
        throw adodb::Error(adodb::ErrDamaged,
                           u"无法建立备份目录“%1”：%2"_s.arg(QDir::toNativeSeparators(folder),
                                                             safefiles::systemError(errno)));
    QDateTime t = when;
    QString file;
    do { // two backups within one second get the next free second's name
        file = folder + u'/' + kPrefix + t.toString(u"yyyyMMdd-HHmmss"_s) + u".mdb"_s;
        t = t.addSecs(1);
    } while (QFileInfo::exists(file) || QFileInfo(file).isSymLink());
    copyChecked(conn, file, when);
    // Only files that open as backups are counted and removed; never the copy just made,
    // whatever the clock said.
    QStringList all = list(folder, when);
    all.removeAll(file);
    for (qsizetype i = 0; i + kKeep - 1 < all.size(); ++i)
        QFile::remove(all[i]);
    return file;
}

int sweep(const QString& dbFile)
{
    const QString dir = QFileInfo(dbFile).absolutePath();
    QStringList dirs{dir, folderFor(dbFile)};
    const QString real = QFileInfo(safefiles::realFile(dbFile)).absolutePath();
    if (real != dir)
        dirs << real;
    int removed = 0;
    for (const QString& d : std::as_const(dirs))
        if (QFileInfo(d).isDir())
            removed += int(safefiles::sweepLeftovers(d).size());
    return removed;
}

void daily(const QString& connectionText)
{
    try {
        const QString file = adodb::ConnectionText::parse(connectionText).dataSource;
        if (madeOn(folderFor(file), ctclock::today()))
            return;
        worker().start(connectionText);
    } catch (...) {
        // silent, as the whole daily backup
    }
}

void stopDaily()
{
    worker().stop();
}

void setDailyPause(std::chrono::milliseconds pause)
{
    worker().setPause(pause);
}

bool waitDaily(std::chrono::milliseconds timeout)
{
    return worker().waitEnded(timeout);
}

} // namespace backups
