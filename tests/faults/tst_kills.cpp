// A process that saves cards, meetings and diary entries through the program's own code,
// killed with SIGKILL at random moments after it began to write: after each kill the file passes
// the integrity check and holds every write the process had acknowledged.

#include "tests/faults/faultkit.h"
#include "tests/faults/writes.h"
#include "tests/support/testsupport.h"

#include <QDeadlineTimer>
#include <QMap>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QTest>

#include <csignal>

using namespace Qt::StringLiterals;
using testsupport::TempDb;

namespace {

constexpr int kKills = 50;

// What the killed processes said: the writes they acknowledged, and those they had begun
// without acknowledging (they may or may not have reached the file).
struct Told {
    QSet<qint64> acked;
    QSet<qint64> unacked;
    qint64 next = 0; // the first number the next process writes
};

// Reads the lines of one process; false with the reason on a line that is no report.
bool take(const QByteArray& output, Told& told, QString* why)
{
    QSet<qint64> begun;
    const QList<QByteArray> lines = output.split('\n');
    // The last piece is empty or a line the kill cut short: not a report.
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        const QList<QByteArray> w = lines[i].split(' ');
        if (w.size() != 3 || (w[0] != "try" && w[0] != "ok")) {
            *why = QString::fromUtf8(lines[i]);
            return false;
        }
        const qint64 id = w[2].toLongLong();
        told.next = std::max(told.next, id + 1);
        if (w[0] == "try") {
            begun.insert(id);
        } else {
            told.acked.insert(id);
            begun.remove(id);
        }
    }
    told.unacked += begun;
    return true;
}

} // namespace

class tst_kills : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void killedWriter_losesNoAcknowledgedWrite()
    {
        const quint32 seed = qEnvironmentVariableIsSet("CT_FAULT_SEED")
                                 ? quint32(qEnvironmentVariableIntValue("CT_FAULT_SEED"))
                                 : QRandomGenerator::global()->generate();
        qInfo("seed %u (CT_FAULT_SEED=%u repeats this run)", seed, seed);
        QRandomGenerator random(seed);
        TempDb db;
        Told told;
        QSet<qint64> landed; // unacknowledged writes found in the file: they must stay
        int midWrite = 0;
        for (int kill = 0; kill < kKills; ++kill) {
            QProcess child;
            child.start(faults::childProgram(),
                        {u"writer"_s, db.dir(), QString::number(told.next)});
            QVERIFY(child.waitForStarted(30000));
            // The moment is measured from the writer's own signal: its first "try" line.
            QDeadlineTimer begun(120000);
            while (!child.canReadLine() && child.waitForReadyRead(int(begun.remainingTime()))) {
            }
            QVERIFY2(child.canReadLine(), "the writer did not begin to write");
            const int after = int(random.bounded(600));
            QVERIFY2(!child.waitForFinished(after), "the writer ended by itself");
            ::kill(pid_t(child.processId()), SIGKILL);
            QVERIFY(child.waitForFinished(10000));
            const qsizetype unackedBefore = told.unacked.size();
            QString why;
            QVERIFY2(take(child.readAllStandardOutput(), told, &why), qPrintable(why));
            midWrite += told.unacked.size() > unackedBefore ? 1 : 0;

            const faults::Run check = faults::ctdbCheck(db.dir());
            QVERIFY2(check.code == 0 && check.out.contains(u"完整性检查：ok"_s),
                     qPrintable(u"kill %1 after %2 ms: %3"_s.arg(kill).arg(after).arg(check.err)));

            // Every acknowledged write is there, once; nothing is there that was not begun.
            QSet<qint64> there;
            QMap<QString, QString> diary;
            for (const QStringList& r : db.rows(u"select note from cardtab"_s)) {
                QVERIFY2(!there.contains(r[0].toLongLong()), "a card stored twice");
                there.insert(r[0].toLongLong());
            }
            for (const QStringList& r : db.rows(u"select meet_cont from meet_tab"_s))
                there.insert(r[0].mid(1).toLongLong());
            for (const QStringList& r : db.rows(u"select daily_date, daily_desc from daily_tab"_s))
                diary.insert(r[0], r[1]);
            QSet<QString> history;
            for (const QStringList& r : db.rows(u"select daily_desc from daily_hist"_s))
                history.insert(r[0]);
            for (qint64 id = 0; id < told.next; ++id) {
                if (writes::kindOf(id) != writes::Kind::Diary)
                    continue;
                const QString text = writes::diaryText(id);
                const QString date = writes::diaryDate(id);
                // A diary text is the date's entry, or kept in the history when a later
                // save replaced it.
                if (diary.value(date) == text || history.contains(text))
                    there.insert(id);
            }
            for (const qint64 id : std::as_const(told.acked))
                QVERIFY2(there.contains(id),
                         qPrintable(u"kill %1 after %2 ms: acknowledged write %3 lost"_s.arg(kill)
                                        .arg(after)
                                        .arg(id)));
            for (const qint64 id : std::as_const(there))
                QVERIFY2(told.acked.contains(id) || told.unacked.contains(id),
                         qPrintable(u"write %1 stored but never begun"_s.arg(id)));
            for (const qint64 id : std::as_const(landed))
                QVERIFY2(there.contains(id), qPrintable(u"write %1 vanished"_s.arg(id)));
            landed += there - told.acked;
        }
        qInfo("%d kills, %d of them during a write; %lld writes acknowledged, all kept; %lld "
              "writes cut short, %lld of them in the file",
              kKills, midWrite, qint64(told.acked.size()), qint64(told.unacked.size()),
              qint64(landed.size()));
        QVERIFY2(told.acked.size() > kKills, "the writer wrote too little to test anything");
    }
};

QTEST_GUILESS_MAIN(tst_kills)
#include "tst_kills.moc"
