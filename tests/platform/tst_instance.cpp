// One running copy per user: a second start raises the first; lock files that no running
// copy answers for never keep the program from starting.

#include "platform/instance.h"
#include "tests/support/testsupport.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using Claim = ct::SingleInstance::Claim;

namespace {

// Runs f in a child process and returns its exit status.
int inChild(const std::function<int()>& f)
{
    return testsupport::Forked(f).wait();
}

} // namespace

class tst_instance : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_runtime;
    QByteArray m_tmpdir;
private Q_SLOTS:
    void initTestCase() { m_tmpdir = qgetenv("TMPDIR"); }
    void init()
    {
        // Each case gets a directory of its own, made where temporary files normally go.
        qputenv("TMPDIR", m_tmpdir);
        m_runtime.reset();
        m_runtime = std::make_unique<QTemporaryDir>();
        QFile::setPermissions(m_runtime->path(),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime->path()));
        qputenv("TMPDIR", QFile::encodeName(m_runtime->path()));
    }

    // The second start hands on its launcher's activation token, when it is one.
    void secondStartFindsTheFirstAndRaisesIt_data()
    {
        QTest::addColumn<QByteArray>("token");
        QTest::addColumn<QString>("received");
        QTest::newRow("no token") << QByteArray() << QString();
        QTest::newRow("a token") << "kwin-4f2a_1:9"_ba << u"kwin-4f2a_1:9"_s;
        QTest::newRow("a line break") << "abc\nraise"_ba << QString();
        QTest::newRow("a space") << "a b"_ba << QString();
        QTest::newRow("too long") << QByteArray(4000, 'x') << QString();
    }
    void secondStartFindsTheFirstAndRaisesIt()
    {
        QFETCH(QByteArray, token);
        QFETCH(QString, received);
        ct::SingleInstance first;
        QCOMPARE(first.claim(), Claim::First);
        QVERIFY(first.lockPath().startsWith(m_runtime->path()));
        QSignalSpy raised(&first, &ct::SingleInstance::raiseRequested);
        // The second copy runs in another process, as it does in life; the first answers
        // while the second waits, so the child runs while this process serves events.
        testsupport::Forked child([&token] {
            ct::SingleInstance second;
            second.setActivationToken(token);
            return second.claim() == Claim::Raised ? 0 : 1;
        });
        QTRY_COMPARE_WITH_TIMEOUT(raised.size(), 1, 30000);
        QCOMPARE(raised.constFirst().constFirst().toString(), received);
        QCOMPARE(child.wait(), 0);
    }

    // What a lock file holds never counts: empty, garbage, or left by a killed copy.
    void lockFilesWithoutARunningCopyAreTakenOver_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("killedCopy");
        QTest::newRow("empty") << QByteArray() << false;
        QTest::newRow("garbage") << QByteArray("\x01\xff garbage\n12\n") << false;
        QTest::newRow("another program's") << QByteArray("4242\nhost\nother\n") << false;
        QTest::newRow("killed copy") << QByteArray() << true;
    }
    void lockFilesWithoutARunningCopyAreTakenOver()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, killedCopy);
        ct::SingleInstance probe;
        const QString lock = m_runtime->path() + u"/ctwork.lock"_s;
        if (killedCopy) {
            QCOMPARE(inChild([] {
                         ct::SingleInstance holder;
                         holder.claim();
                         ::raise(SIGKILL);
                         return 0;
                     }),
                     -1);
            QVERIFY(QFile::exists(lock));
        } else {
            QFile f(lock);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(content);
        }
        ct::SingleInstance next;
        QCOMPARE(next.claim(), Claim::First);
    }

    // Without XDG_RUNTIME_DIR, or with one that cannot be written, the lock lies in a
    // 0700 directory of the user's, and two starts still find each other.
    void fallbackDirectoryIsPrivate_data()
    {
        QTest::addColumn<QString>("xdg");
        QTest::newRow("unset") << QString();
        QTest::newRow("unwritable") << u"read-only"_s;
        QTest::newRow("shared") << u"shared"_s;
    }
    void fallbackDirectoryIsPrivate()
    {
        QFETCH(QString, xdg);
        const QString tmp = m_runtime->path() + u"/tmp"_s;
        QVERIFY(QDir().mkpath(tmp));
        qputenv("TMPDIR", QFile::encodeName(tmp));
        if (xdg.isEmpty()) {
            qunsetenv("XDG_RUNTIME_DIR");
        } else {
            const QString d = m_runtime->path() + u"/"_s + xdg;
            QVERIFY(QDir().mkpath(d));
            ::chmod(QFile::encodeName(d).constData(), xdg == u"shared" ? 01777 : 0500);
            qputenv("XDG_RUNTIME_DIR", QFile::encodeName(d));
        }
        if (xdg == u"read-only" && ::geteuid() == 0)
            QSKIP("permissions do not bind root");
        const QString expected = tmp + u"/ctwork-"_s + QString::number(::geteuid());
        QCOMPARE(ct::SingleInstance::privateDir(), expected);
        struct stat st = {};
        QCOMPARE(::stat(QFile::encodeName(expected).constData(), &st), 0);
        QCOMPARE(st.st_mode & 0777, 0700u);

        ct::SingleInstance first;
        QCOMPARE(first.claim(), Claim::First);
        QSignalSpy raised(&first, &ct::SingleInstance::raiseRequested);
        testsupport::Forked child([] {
            ct::SingleInstance second;
            return second.claim() == Claim::Raised ? 0 : 1;
        });
        QTRY_COMPARE_WITH_TIMEOUT(raised.size(), 1, 30000);
        QCOMPARE(child.wait(), 0);
    }

    // A directory in the fallback's place that others may write is never used.
    void plantedDirectoryIsRefused()
    {
        qunsetenv("XDG_RUNTIME_DIR");
        const QString tmp = m_runtime->path() + u"/tmp"_s;
        const QString planted = tmp + u"/ctwork-"_s + QString::number(::geteuid());
        QVERIFY(QDir().mkpath(planted));
        ::chmod(QFile::encodeName(planted).constData(), 0777);
        qputenv("TMPDIR", QFile::encodeName(tmp));
        QString why;
        QVERIFY(ct::SingleInstance::privateDir(&why).isEmpty());
        QVERIFY2(why.contains(planted), qPrintable(why));
        ct::SingleInstance s;
        QCOMPARE(s.claim(), Claim::Unchecked);
        QVERIFY(!s.problem().isEmpty());
        QVERIFY(!ct::SingleInstance::otherCopyRunning());
    }
};

QTEST_MAIN(tst_instance)
#include "tst_instance.moc"
