#include "modul/backups.h"

#include "modul/dbfile.h"
#include "modul/filecheck.h"
#include "platform/clock.h"

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
#include <thread>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace backups {

namespace {

const QString kPrefix = u"ctsource-"_s;
constexpr int kLowPriority = 10;

bool isBackupName(const QString& name)
{
    static const QRegularExpression re(u"^ctsource-\\d{8}-\\d{6}\\.mdb$"_s);
    return re.match(name).hasMatch();
}

QString partialName(const QString& file)
{
    const QFileInfo fi(file);
    return fi.absolutePath() + u"/."_s + fi.fileName() + u".partial"_s;
}

// Partial copies left by a backup that was killed: gone after a day.
void removeStalePartials(const QString& folder)
{
    const QFileInfoList stale =
        QDir(folder).entryInfoList({u".ctsource-*.partial*"_s}, QDir::Files | QDir::Hidden);
    const QDateTime dayAgo = ctclock::now().addDays(-1);
    for (const QFileInfo& fi : stale)
        if (fi.lastModified() < dayAgo)
            QFile::remove(fi.absoluteFilePath());
}

// Gives a file its final name without ever replacing another file.
void placeFile(const QString& from, const QString& to)
{
    const QByteArray f = QFile::encodeName(from);
    const QByteArray t = QFile::encodeName(to);
    if (::link(f.constData(), t.constData()) == 0) {
        ::unlink(f.constData());
        return;
    }
    const int e = errno;
    if (e != EEXIST && !QFileInfo::exists(to) && ::rename(f.constData(), t.constData()) == 0)
        return; // a file system without hard links
    throw adodb::Error(e == EEXIST ? adodb::ErrExists : adodb::ErrDamaged,
                       u"无法把备份命名为“%1”：%2"_s.arg(QDir::toNativeSeparators(to),
                                                         QString::fromLocal8Bit(std::strerror(e))));
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

QStringList list(const QString& folder)
{
    QStringList out;
    const QStringList names =
        QDir(folder).entryList({kPrefix + u"*.mdb"_s}, QDir::Files, QDir::Name);
    for (const QString& n : names)
        if (isBackupName(n))
            out << folder + u'/' + n;
    return out;
}

bool madeOn(const QString& folder, const QDate& day)
{
    const QString stem = kPrefix + day.toString(u"yyyyMMdd"_s) + u'-';
    for (const QString& f : list(folder))
        if (QFileInfo(f).fileName().startsWith(stem))
            return true;
    return false;
}

void verify(const QString& file)
{
    const QString shown = QDir::toNativeSeparators(file);
    adodb::Connection c;
    c.Open(cardmodul::connectionText(file));
    const QStringList problems = cardmodul::integrityProblems(c);
    if (!problems.isEmpty())
        throw adodb::Error(adodb::ErrDamaged, u"数据库文件“%1”已损坏（完整性检查：%2）。"_s.arg(
                                                  shown, problems.mid(0, 3).join(u"；"_s)));
    adodb::Recordset rs;
    rs.Open(u"select name from sqlite_master where type = 'table'"_s, c);
    QStringList tablesFound;
    for (; !rs.eof(); rs.MoveNext())
        tablesFound << rs.Fields(0).text();
    for (const QString& t : {u"cardtab"_s, u"meet_tab"_s, u"daily_tab"_s})
        if (!tablesFound.contains(t))
            throw adodb::Error(adodb::ErrDamaged,
                               u"“%1”不是本程序的数据库：没有表 %2。"_s.arg(shown, t));
}

void copyChecked(adodb::Connection& conn, const QString& file)
{
    if (QFileInfo::exists(file))
        throw adodb::Error(adodb::ErrExists,
                           u"文件“%1”已经存在，不会覆盖。"_s.arg(QDir::toNativeSeparators(file)));
    // Checked under another name first: a file with the final name is always a good copy.
    const QString partial = partialName(file);
    QFile::remove(partial);
    conn.backupTo(partial, cardmodul::kPassword);
    try {
        verify(partial);
        placeFile(partial, file);
    } catch (...) {
        QFile::remove(partial);
        throw;
    }
}

QString rotate(adodb::Connection& conn, const QDateTime& when)
{
    const QString folder = folderFor(conn.fileName());
    if (!QDir().mkpath(folder))
        throw adodb::Error(adodb::ErrDamaged,
                           u"无法建立备份目录“%1”。"_s.arg(QDir::toNativeSeparators(folder)));
    QDateTime t = when;
    QString file;
    do { // two backups within one second get the next free second's name
        file = folder + u'/' + kPrefix + t.toString(u"yyyyMMdd-HHmmss"_s) + u".mdb"_s;
        t = t.addSecs(1);
    } while (QFileInfo::exists(file));
    copyChecked(conn, file);
    QStringList all = list(folder);
    all.removeAll(file); // never the copy just made, whatever the clock said
    for (qsizetype i = 0; i + kKeep - 1 < all.size(); ++i)
        QFile::remove(all[i]);
    removeStalePartials(folder);
    return file;
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
