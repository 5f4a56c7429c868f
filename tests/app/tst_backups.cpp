// Rotating backups of the shared module: names, the newest 14 kept, the copy checked, and
// the program's one backup a day made in the background after the early open.

#include "modul/backups.h"
#include "modul/cardmodul.h"
#include "tests/support/testsupport.h"
#include "widgets/modulboxes.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using testsupport::TempDb;

namespace {
QString folderOf(const TempDb& db)
{
    return db.dir() + u"/backups"_s;
}

QStringList namesIn(const QString& folder)
{
    QStringList out;
    for (const QString& f : backups::list(folder))
        out << QFileInfo(f).fileName();
    return out;
}

const QDateTime kStart(QDate(2026, 3, 1), QTime(8, 30, 5));
} // namespace

class tst_backups : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void rotate_keepsTheNewest14()
    {
        TempDb db;
        db.exec(u"insert into daily_tab values ('2026-03-01', '今天')"_s);
        QStringList made;
        for (int i = 0; i < 16; ++i)
            made << QFileInfo(backups::rotate(db.check(), kStart.addDays(i))).fileName();
        QCOMPARE(made.first(), u"ctsource-20260301-083005.mdb"_s);
        QCOMPARE(namesIn(folderOf(db)), made.mid(2));
        backups::verify(folderOf(db) + u'/' + made.last());
    }

    void rotate_twoInOneSecondBothKept()
    {
        TempDb db;
        const QString a = backups::rotate(db.check(), kStart);
        const QString b = backups::rotate(db.check(), kStart);
        QVERIFY(a != b);
        QCOMPARE(namesIn(folderOf(db)), (QStringList{u"ctsource-20260301-083005.mdb"_s,
                                                     u"ctsource-20260301-083006.mdb"_s}));
    }

    // A clock set back never costs the backup just made.
    void rotate_neverRemovesTheNewCopy()
    {
        TempDb db;
        for (int i = 0; i < 14; ++i)
            backups::rotate(db.check(), kStart.addYears(5).addDays(i));
        const QString made = backups::rotate(db.check(), kStart);
        const QStringList now = backups::list(folderOf(db));
        QCOMPARE(now.size(), 14);
        QVERIFY(now.contains(made));
    }

    void madeOn_looksAtTheDateInTheName_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<bool>("real"); // copies of a backup, else empty files
        QTest::addColumn<bool>("made");
        QTest::newRow("none") << QStringList() << true << false;
        QTest::newRow("that day") << QStringList{u"ctsource-20260301-235959.mdb"_s} << true << true;
        QTest::newRow("the day before")
            << QStringList{u"ctsource-20260228-235959.mdb"_s} << true << false;
        QTest::newRow("not a backup's name")
            << QStringList{u"ctsource-20260301.mdb"_s, u".ctsource-20260301-083005.mdb.partial"_s,
                           u"ctsource-20260301-083005.mdb.txt"_s}
            << true << false;
        QTest::newRow("that day's name, not a backup")
            << QStringList{u"ctsource-20260301-235959.mdb"_s} << false << false;
    }
    void madeOn_looksAtTheDateInTheName()
    {
        QFETCH(QStringList, files);
        QFETCH(bool, real);
        QFETCH(bool, made);
        TempDb db;
        QTemporaryDir dir;
        const QString model = backups::rotate(db.check(), kStart);
        for (const QString& f : files) {
            if (real) {
                QVERIFY(QFile::copy(model, dir.path() + u'/' + f));
            } else {
                QFile file(dir.path() + u'/' + f);
                QVERIFY(file.open(QIODevice::WriteOnly));
            }
        }
        QCOMPARE(backups::madeOn(dir.path(), QDate(2026, 3, 1)), made);
    }

    // The early open of the program's start makes today's backup, after its pause and
    // beside the file; a second start the same day makes none.
    void daily_oneBackupADayAfterTheEarlyOpen()
    {
        TempDb db;
        backups::setDailyPause(24h); // held until the window is made
        cardmodul::preopen(cardmodul::tellDamage);
        QVERIFY(cardmodul::opendb());
        QVERIFY(cardmodul::earlyDone(30000));
        QVERIFY(!backups::waitDaily(0ms)); // pausing
        QVERIFY(backups::list(folderOf(db)).isEmpty());
        backups::setDailyPause(0ms);
        QTRY_COMPARE_WITH_TIMEOUT(backups::list(folderOf(db)).size(), 1, 30000);
        QVERIFY(backups::madeOn(folderOf(db), QDate::currentDate()));
        QVERIFY(backups::waitDaily(30s));
        backups::verify(backups::list(folderOf(db)).first());

        cardmodul::resetdb();
        cardmodul::preopen(cardmodul::tellDamage);
        QVERIFY(cardmodul::opendb());
        QVERIFY(cardmodul::earlyDone(30000)); // past the point where it begins one
        QVERIFY(backups::waitDaily(30s));
        QCOMPARE(backups::list(folderOf(db)).size(), 1);
    }

    void daily_failuresAreSilent()
    {
        QTemporaryDir dir;
        backups::setDailyPause(0ms);
        backups::daily(u"not a connection text"_s);
        QVERIFY(backups::waitDaily(30s));
        backups::daily(cardmodul::connectionText(dir.path() + u"/missing.mdb"_s));
        QVERIFY(backups::waitDaily(30s));
        QVERIFY(!QFileInfo::exists(dir.path() + u"/backups"_s));
    }

    void stopDaily_endsAWaitingBackupAtOnce()
    {
        TempDb db;
        backups::setDailyPause(2min);
        backups::daily(cardmodul::connectionText());
        QVERIFY(!backups::waitDaily(0ms));
        QElapsedTimer t;
        t.start();
        backups::stopDaily();
        QVERIFY(t.elapsed() < 60000); // not at the end of its pause
        QVERIFY(!QFileInfo::exists(folderOf(db)));
    }

    void cleanup()
    {
        cardmodul::resetdb();
        backups::setDailyPause(backups::kDailyPause);
    }
};

QTEST_GUILESS_MAIN(tst_backups)
#include "tst_backups.moc"
