// One running copy per user; stale locks of killed copies do not block.

#include "platform/instance.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

class tst_instance : public QObject {
    Q_OBJECT
    QTemporaryDir m_runtime;
private Q_SLOTS:
    void init() { qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime.path())); }

    void secondStartFindsTheFirstAndRaisesIt()
    {
        ct::SingleInstance first;
        QVERIFY(!first.previousRunning());
        QVERIFY(first.lockPath().startsWith(m_runtime.path()));
        QSignalSpy raised(&first, &ct::SingleInstance::raiseRequested);
        // The second copy runs in another process, as it does in life.
        const pid_t child = ::fork();
        if (child == 0) {
            ct::SingleInstance second;
            ::_exit(second.previousRunning() ? 0 : 1);
        }
        QTRY_COMPARE_WITH_TIMEOUT(raised.size(), 1, 5000);
        int status = 0;
        ::waitpid(child, &status, 0);
        QVERIFY(WIFEXITED(status));
        QCOMPARE(WEXITSTATUS(status), 0);
    }

    void staleLockOfAKilledCopyIsTakenOver()
    {
        {
            const pid_t child = ::fork();
            if (child == 0) {
                ct::SingleInstance holder;
                holder.previousRunning();
                ::raise(SIGKILL);
            }
            ::waitpid(child, nullptr, 0);
        }
        ct::SingleInstance next;
        QVERIFY(QFile::exists(next.lockPath()));
        QVERIFY(!next.previousRunning());
    }
};

QTEST_MAIN(tst_instance)
#include "tst_instance.moc"
