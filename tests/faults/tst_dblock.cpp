// The running program holds a lock on its database file for its whole run. ctdb restore
// run from another environment (cron, ssh, su, another terminal: another or no
// XDG_RUNTIME_DIR, another TMPDIR) finds it and refuses, the file untouched; a second
// program started in another environment refuses too, and one started in the same
// environment still brings the first to the front.

#include "tests/faults/faultkit.h"
#include "tests/support/testsupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <QThread>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// Whether the process holds a flock(2) lock on the file (from /proc/locks: nothing is
// taken to look).
bool holdsLock(qint64 pid, const QString& file)
{
    struct stat st = {};
    if (::stat(QFile::encodeName(file).constData(), &st) != 0)
        return false;
    QFile locks(u"/proc/locks"_s);
    if (!locks.open(QIODevice::ReadOnly))
        return false;
    const QByteArray inode = ":" + QByteArray::number(qulonglong(st.st_ino)) + ' ';
    for (const QByteArray& line : locks.readAll().split('\n')) {
        const QList<QByteArray> w = line.simplified().split(' ');
        // "1: FLOCK  ADVISORY  WRITE 4242 08:01:1234 0 EOF"
        if (w.size() >= 6 && w[1] == "FLOCK" && w[4] == QByteArray::number(pid) &&
            QByteArray(w[5] + ' ').endsWith(inode))
            return true;
    }
    return false;
}

bool hasOpen(qint64 pid, const QString& file)
{
    const QString fds = u"/proc/%1/fd"_s.arg(pid);
    const QByteArray wanted = QFile::encodeName(file);
    for (const QString& fd : QDir(fds).entryList(QDir::AllEntries | QDir::System)) {
        char target[4096];
        const ssize_t n =
            ::readlink(QFile::encodeName(fds + u"/"_s + fd).constData(), target, sizeof target);
        if (n > 0 && QByteArray(target, n) == wanted)
            return true;
    }
    return false;
}

} // namespace

class tst_dblock : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_program;
    QString m_db;
    QString m_backup;

    QString path(const QString& rel) const { return m_dir->path() + u"/"_s + rel; }
    bool privateDir(const QString& rel)
    {
        return QDir().mkpath(path(rel)) &&
               ::chmod(QFile::encodeName(path(rel)).constData(), 0700) == 0;
    }
    QStringList env(const QString& kind) const
    {
        if (kind == u"program")
            return {u"XDG_RUNTIME_DIR="_s + path(u"run1"_s), u"TMPDIR="_s + path(u"tmp1"_s)};
        if (kind == u"other runtime dir")
            return {u"XDG_RUNTIME_DIR="_s + path(u"run2"_s), u"TMPDIR="_s + path(u"tmp1"_s)};
        if (kind == u"no runtime dir")
            return {u"XDG_RUNTIME_DIR"_s, u"TMPDIR="_s + path(u"tmp1"_s)};
        if (kind == u"no runtime dir, other TMPDIR")
            return {u"XDG_RUNTIME_DIR"_s, u"TMPDIR="_s + path(u"tmp2"_s)};
        return {u"XDG_RUNTIME_DIR"_s,
                u"TMPDIR"_s,
                u"HOME"_s,
                u"DISPLAY"_s,
                u"WAYLAND_DISPLAY"_s,
                u"DBUS_SESSION_BUS_ADDRESS"_s}; // as cron has it
    }
    void start(QProcess& p, const QStringList& vars)
    {
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        for (const QString& kv : vars) {
            const qsizetype eq = kv.indexOf(u'=');
            if (eq < 0)
                e.remove(kv);
            else
                e.insert(kv.left(eq), kv.mid(eq + 1));
        }
        p.setProcessEnvironment(e);
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p.start(m_program, {});
        QVERIFY(p.waitForStarted(10000));
    }
    static void stop(QProcess& p)
    {
        if (p.state() == QProcess::NotRunning)
            return;
        ::kill(pid_t(p.processId()), SIGTERM);
        if (!p.waitForFinished(10000)) {
            p.kill();
            p.waitForFinished(5000);
        }
    }
    // Waits (bounded) until the program holds its database's lock and has it open.
    bool running(QProcess& p)
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 20000) {
            if (p.state() == QProcess::NotRunning)
                return false;
            if (holdsLock(p.processId(), m_db))
                return true;
            p.waitForFinished(50);
        }
        return false;
    }

private Q_SLOTS:
    void init()
    {
        m_dir = faults::reachableDir();
        QVERIFY(m_dir->isValid());
        m_program = faults::copyProgram(faults::ctworkProgram(), m_dir->path());
        QVERIFY(!m_program.isEmpty());
        m_db = path(u"ctsource.mdb"_s);
        m_backup = path(u"b.mdb"_s);
        cardmodul::createDatabase(m_db);
        cardmodul::createDatabase(m_backup);
        for (const QString& d : {u"run1"_s, u"run2"_s, u"tmp1"_s, u"tmp2"_s})
            QVERIFY(privateDir(d));
    }

    void restore_refusedWhileTheProgramRuns_data()
    {
        QTest::addColumn<QString>("kind");
        for (const char* k :
             {"other runtime dir", "no runtime dir", "no runtime dir, other TMPDIR", "cron"})
            QTest::newRow(k) << QString::fromLatin1(k);
    }
    void restore_refusedWhileTheProgramRuns()
    {
        QFETCH(QString, kind);
        QProcess program;
        start(program, env(u"program"_s));
        QVERIFY2(running(program), "the program did not take its database's lock");
        const QByteArray before = faults::digest(m_db);
        const QStringList files = faults::filesIn(m_dir->path());

        const faults::Run r = faults::run(
            faults::ctdbProgram(), {u"restore"_s, m_backup, m_dir->path()}, 60000, env(kind));
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains(u"正在运行"_s) && r.err.contains(m_db) &&
                     r.err.contains(u"数据库没有改动"_s),
                 qPrintable(r.err));
        QCOMPARE(faults::digest(m_db), before);
        QCOMPARE(faults::filesIn(m_dir->path()), files);
        QVERIFY2(program.state() == QProcess::Running, "the program ended");

        // Once the program has ended the same restore goes through. (Ended early in its
        // start, before it watches for the signal, it ends by the signal itself.)
        stop(program);
        QCOMPARE(program.state(), QProcess::NotRunning);
        const faults::Run again = faults::run(
            faults::ctdbProgram(), {u"restore"_s, m_backup, m_dir->path()}, 60000, env(kind));
        QVERIFY2(again.code == 0, qPrintable(again.err));
        QCOMPARE(faults::digest(m_db), faults::digest(m_backup));
    }

    // A second program: in another environment it cannot ask the first to come to the
    // front; it finds the database's lock, does not open the file and waits on its box.
    // In the same environment it brings the first to the front and ends.
    void secondProgram_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("ends");
        QTest::newRow("same environment") << u"program"_s << true;
        QTest::newRow("other runtime dir") << u"other runtime dir"_s << false;
        QTest::newRow("no runtime dir, other TMPDIR") << u"no runtime dir, other TMPDIR"_s << false;
    }
    void secondProgram()
    {
        QFETCH(QString, kind);
        QFETCH(bool, ends);
        QProcess first;
        start(first, env(u"program"_s));
        QVERIFY2(running(first), "the program did not take its database's lock");
        QProcess second;
        start(second, env(kind));
        if (ends) {
            QVERIFY(second.waitForFinished(20000));
            QCOMPARE(second.exitStatus(), QProcess::NormalExit);
            QCOMPARE(second.exitCode(), 0);
        } else {
            // Still there after the first's start-up time, without the file open: a box.
            QVERIFY(!second.waitForFinished(4000));
            QVERIFY(!hasOpen(second.processId(), m_db));
            QVERIFY(!holdsLock(second.processId(), m_db));
            stop(second);
        }
        QVERIFY2(first.state() == QProcess::Running, "the first program ended");
        QVERIFY(holdsLock(first.processId(), m_db));
        stop(first);
        QCOMPARE(first.exitCode(), 0);
    }

    // The data layer's open refuses a file another program holds, with one clear box.
    void sharedOpen_refusedWhileAnotherProgramHoldsTheFile()
    {
        QProcess program;
        start(program, env(u"program"_s));
        QVERIFY2(running(program), "the program did not take its database's lock");
        const faults::Run r = faults::run(faults::childProgram(), {u"open"_s, m_dir->path()});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.out.startsWith(u"box\t"_s) && r.out.contains(m_db) &&
                     r.out.contains(u"正在使用"_s),
                 qPrintable(r.out));
        stop(program);
    }
};

QTEST_GUILESS_MAIN(tst_dblock)
#include "tst_dblock.moc"
