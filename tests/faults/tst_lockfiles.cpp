// The real program started over single-instance lock files it did not make: empty,
// garbage, another user's, one left by a killed copy, and with XDG_RUNTIME_DIR unset or
// unwritable. It must start and show its window, or refuse with a message; a second start
// must find the first. It never ends silently with nothing shown.
//
// On the offscreen platform a started copy is seen from outside: the main window opens
// the database before it shows, so a copy with the file open shows its window; a copy
// that runs without the file open waits on a message box.

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

enum class State { Window, Box, Ended };

const char* name(State s)
{
    return s == State::Window ? "window" : s == State::Box ? "box" : "ended";
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

// What a started copy does within the time: ends, shows its window, or waits on a box.
State watch(QProcess& p, const QString& db, int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        if (p.state() == QProcess::NotRunning || p.waitForFinished(100))
            return State::Ended;
        if (hasOpen(p.processId(), db))
            return State::Window;
    }
    return State::Box;
}

} // namespace

class tst_lockfiles : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_dir; // the program, its database, the runtime places
    QString m_program;
    QString m_db;
    bool m_unprivileged = false; // the copies run as the unprivileged user
    QStringList m_env;

    QString path(const QString& rel) const { return m_dir->path() + u"/"_s + rel; }
    bool ownDir(const QString& rel, int mode)
    {
        const QString d = path(rel);
        if (!QDir().mkpath(d) || ::chmod(QFile::encodeName(d).constData(), mode) != 0)
            return false;
        return !m_unprivileged || faults::chownTo(d, faults::kNobody);
    }
    void start(QProcess& p)
    {
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        for (const QString& kv : std::as_const(m_env)) {
            const qsizetype eq = kv.indexOf(u'=');
            if (eq < 0)
                e.remove(kv);
            else
                e.insert(kv.left(eq), kv.mid(eq + 1));
        }
        p.setProcessEnvironment(e);
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        testsupport::endsWithThisProcess(p);
        const QStringList cmd =
            m_unprivileged ? faults::asUnprivileged({m_program}) : QStringList{m_program};
        p.start(cmd.first(), cmd.mid(1));
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

private Q_SLOTS:
    void lockFile_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("unprivileged");
        QTest::addColumn<bool>("secondFindsFirst"); // else the second refuses with a box
        QTest::newRow("empty lock file") << u"empty"_s << false << true;
        QTest::newRow("garbage lock file") << u"garbage"_s << false << true;
        QTest::newRow("another user's lock file") << u"foreign"_s << true << false;
        QTest::newRow("another user's directory in TMPDIR") << u"planted"_s << false << false;
        QTest::newRow("stale lock of a killed copy") << u"killed"_s << false << true;
        QTest::newRow("XDG_RUNTIME_DIR unset") << u"unset"_s << false << true;
        QTest::newRow("XDG_RUNTIME_DIR unwritable") << u"unwritable"_s << true << true;
    }
    void lockFile()
    {
        QFETCH(QString, kind);
        QFETCH(bool, unprivileged);
        QFETCH(bool, secondFindsFirst);
        const bool root = faults::isRoot();
        if ((kind == u"foreign" || kind == u"planted") && !root)
            QSKIP("making another user's file needs root");
        m_unprivileged = unprivileged && root;
        m_dir = faults::reachableDir();
        QVERIFY(m_dir->isValid());
        m_program = faults::copyProgram(faults::ctworkProgram(), m_dir->path());
        QVERIFY(!m_program.isEmpty());
        m_db = path(u"ctsource.mdb"_s);
        cardmodul::createDatabase(m_db);
        if (m_unprivileged) {
            QVERIFY(faults::chownTo(m_dir->path(), faults::kNobody));
            QVERIFY(faults::chownTo(m_db, faults::kNobody));
        }
        QVERIFY(ownDir(u"run"_s, 0700));
        QVERIFY(ownDir(u"tmp"_s, 0700));
        m_env = QStringList{u"XDG_RUNTIME_DIR="_s + path(u"run"_s), u"TMPDIR="_s + path(u"tmp"_s)};
        const QString lock = path(u"run/ctwork.lock"_s);
        auto write = [](const QString& file, const QByteArray& bytes) {
            QFile f(file);
            return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
        };
        if (kind == u"empty") {
            QVERIFY(write(lock, {}));
        } else if (kind == u"garbage") {
            QVERIFY(write(lock, QByteArray("\xff\xfe garbage\n-1\n\0\x01", 16)));
        } else if (kind == u"foreign") {
            // root's, unreadable to the user the copies run as
            QVERIFY(write(lock, "4242\n"));
            ::chmod(QFile::encodeName(lock).constData(), 0600);
        } else if (kind == u"planted") {
            // Another user made the fallback directory first, and put a lock in it.
            m_env[0] = u"XDG_RUNTIME_DIR"_s;
            const QString planted = path(u"tmp/ctwork-%1"_s.arg(::geteuid()));
            QVERIFY(ownDir(u"tmp/ctwork-%1"_s.arg(::geteuid()), 0777));
            QVERIFY(write(planted + u"/ctwork.lock"_s, "1\n"));
            QVERIFY(faults::chownTo(planted, faults::kNobody));
            QVERIFY(faults::chownTo(planted + u"/ctwork.lock"_s, faults::kNobody));
        } else if (kind == u"killed") {
            QProcess killed;
            start(killed);
            QCOMPARE(watch(killed, m_db, 20000), State::Window);
            ::kill(pid_t(killed.processId()), SIGKILL);
            QVERIFY(killed.waitForFinished(10000));
            QVERIFY(QFile::exists(lock));
        } else if (kind == u"unset") {
            m_env[0] = u"XDG_RUNTIME_DIR"_s;
        } else if (kind == u"unwritable") {
            QVERIFY(ownDir(u"run"_s, 0500));
            if (!root && ::access(QFile::encodeName(path(u"run"_s)).constData(), W_OK) == 0)
                QSKIP("the directory stays writable for this user");
        }

        QProcess first;
        start(first);
        const State s1 = watch(first, m_db, 20000);
        QVERIFY2(s1 == State::Window, name(s1));
        QProcess second;
        start(second);
        const State s2 = watch(second, m_db, secondFindsFirst ? 10000 : 4000);
        stop(second);
        if (secondFindsFirst) {
            // It asked the first to come to the front and ended.
            QVERIFY2(s2 == State::Ended, name(s2));
            QCOMPARE(second.exitStatus(), QProcess::NormalExit);
            QCOMPARE(second.exitCode(), 0);
        } else {
            // No lock could be had: it sees the first running and says so.
            QVERIFY2(s2 == State::Box, name(s2));
        }
        QVERIFY2(first.state() == QProcess::Running, "the first copy ended");
        if (kind == u"unset" || kind == u"unwritable") {
            const QString fallback =
                path(u"tmp/ctwork-%1"_s.arg(m_unprivileged ? faults::kNobody : ::geteuid()));
            struct stat st = {};
            QCOMPARE(::stat(QFile::encodeName(fallback).constData(), &st), 0);
            QCOMPARE(st.st_mode & 0777, 0700u);
        }
        stop(first);
        QCOMPARE(first.exitStatus(), QProcess::NormalExit);
        QCOMPARE(first.exitCode(), 0);
        const faults::Run check = faults::ctdbCheck(m_dir->path());
        QVERIFY2(check.code == 0, qPrintable(check.err));
    }
};

QTEST_GUILESS_MAIN(tst_lockfiles)
#include "tst_lockfiles.moc"
