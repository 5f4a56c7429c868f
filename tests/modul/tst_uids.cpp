// Record UIDs: stable in one database, different between two, kept for foreign records.

#include "modul/uids.h"
#include "tests/support/testsupport.h"

#include <QTest>

using namespace Qt::StringLiterals;
using testsupport::TempDb;
using uids::Kind;

class tst_uids : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void derivedUidsAreStableAndOwnedByOneDatabase()
    {
        TempDb a;
        const QString first = uids::uidOf(a.check(), Kind::Card, uids::recOf(7));
        QCOMPARE(uids::uidOf(a.check(), Kind::Card, uids::recOf(7)), first);
        QVERIFY(uids::uidOf(a.check(), Kind::Meeting, uids::recOf(7)) != first);
        QCOMPARE(uids::recordOf(a.check(), Kind::Card, first), std::optional<QString>(u"7"_s));
        QVERIFY(!uids::recordOf(a.check(), Kind::Meeting, first));
        TempDb b;
        QVERIFY(uids::uidOf(b.check(), Kind::Card, uids::recOf(7)) != first);
        QVERIFY(!uids::recordOf(b.check(), Kind::Card, first));
    }

    void foreignUidsAreRememberedAndMove()
    {
        TempDb db;
        adodb::Connection& c = db.check();
        const QString derived = uids::uidOf(c, Kind::Diary, u"2026-12-08"_s);
        uids::remember(c, Kind::Diary, u"2026-12-08"_s, u"phone-1"_s);
        QCOMPARE(uids::uidOf(c, Kind::Diary, u"2026-12-08"_s), u"phone-1"_s);
        QCOMPARE(uids::recordOf(c, Kind::Diary, u"phone-1"_s),
                 std::optional<QString>(u"2026-12-08"_s));
        // The derived UID no longer names the entry once another is stored for it.
        QVERIFY(!uids::recordOf(c, Kind::Diary, derived));
        // One UID belongs to one record of a kind: remembered again, it moves.
        uids::remember(c, Kind::Diary, u"2026-12-09"_s, u"phone-1"_s);
        QCOMPARE(uids::all(c, Kind::Diary),
                 (QHash<QString, QString>{{u"2026-12-09"_s, u"phone-1"_s}}));
        uids::forget(c, Kind::Diary, u"2026-12-09"_s);
        QVERIFY(uids::all(c, Kind::Diary).isEmpty());
    }

    // UIDs another database derived are kept as runs: every way in and out of a run must
    // give the same answers as one row per record would.
    void derivedUidsOfAnotherDatabaseKeptAsRuns()
    {
        TempDb db;
        adodb::Connection& c = db.check();
        const QString other = u"0c4a5d2e-8d7b-4bbd-9c1e-2f7a1c3b9e11"_s;
        auto theirs = [&](int n) { return uids::derived(other, Kind::Card, uids::recOf(n)); };
        {
            uids::Index index(c, Kind::Card);
            for (int i = 0; i < 5; ++i) // their 11..15 become our 101..105: one run
                index.remember(101 + i, theirs(11 + i));
            index.remember(106, u"phone-9"_s); // a text UID among them
            index.remember(107, theirs(17));   // a gap: a run of its own
            QCOMPARE(index.earlierLine(theirs(11), 3), std::nullopt);
            QCOMPARE(index.earlierLine(theirs(11), 9), std::optional<int>(3));
            QCOMPARE(index.earlierLine(theirs(11).toUpper(), 10), std::nullopt);
            index.flush();
        }
        QCOMPARE(db.rows(u"select num, rec, count from uid_run order by num"_s),
                 (QList<QStringList>{{u"11"_s, u"101"_s, u"5"_s}, {u"17"_s, u"107"_s, u"1"_s}}));
        QCOMPARE(uids::uidOf(c, Kind::Card, u"103"_s), theirs(13));
        QCOMPARE(uids::recordOf(c, Kind::Card, theirs(15)), std::optional<QString>(u"105"_s));
        QVERIFY(!uids::recordOf(c, Kind::Card, theirs(16)));
        QVERIFY(!uids::recordOf(c, Kind::Meeting, theirs(13)));
        QVERIFY(!uids::recordOf(c, Kind::Card, theirs(13).toUpper()));
        // Forgetting a record in the middle splits its run.
        uids::forget(c, Kind::Card, u"103"_s);
        QCOMPARE(uids::uidOf(c, Kind::Card, u"103"_s),
                 uids::derived(uids::databaseId(c), Kind::Card, u"103"_s));
        QVERIFY(!uids::recordOf(c, Kind::Card, theirs(13)));
        QCOMPARE(uids::recordOf(c, Kind::Card, theirs(14)), std::optional<QString>(u"104"_s));
        // A UID moves to the record it is remembered for; a record holds one UID.
        uids::remember(c, Kind::Card, u"200"_s, theirs(12));
        uids::remember(c, Kind::Card, u"104"_s, u"phone-9"_s);
        // Our own derived UID names its record only while nothing else is stored for it.
        const QString ours104 = uids::derived(uids::databaseId(c), Kind::Card, u"104"_s);
        QVERIFY(!uids::recordOf(c, Kind::Card, ours104));
        QCOMPARE(uids::all(c, Kind::Card), (QHash<QString, QString>{{u"101"_s, theirs(11)},
                                                                    {u"104"_s, u"phone-9"_s},
                                                                    {u"105"_s, theirs(15)},
                                                                    {u"107"_s, theirs(17)},
                                                                    {u"200"_s, theirs(12)}}));
        // Remembering the next number after a run's end carries the run on.
        uids::remember(c, Kind::Card, u"108"_s, theirs(18));
        QCOMPARE(db.rows(u"select count from uid_run where num = 17"_s),
                 (QList<QStringList>{{u"2"_s}}));
        // An index read now sees the runs; a UID it holds for a record since gone moves.
        uids::Index index(c, Kind::Card);
        QCOMPARE(index.recordOf(theirs(18)), std::optional<QString>(u"108"_s));
        QCOMPARE(index.recordOf(ours104), std::nullopt);
        QCOMPARE(index.recordOf(uids::derived(uids::databaseId(c), Kind::Card, u"101"_s)),
                 std::nullopt);
        QCOMPARE(index.recordOf(uids::derived(uids::databaseId(c), Kind::Card, u"102"_s)),
                 std::optional<QString>(u"102"_s)); // its UID moved to 200
        QCOMPARE(index.recordOf(uids::derived(uids::databaseId(c), Kind::Card, u"103"_s)),
                 std::optional<QString>(u"103"_s));
        index.remember(300, theirs(18));
        index.flush();
        QCOMPARE(uids::recordOf(c, Kind::Card, theirs(18)), std::optional<QString>(u"300"_s));
        QCOMPARE(uids::uidOf(c, Kind::Card, u"108"_s),
                 uids::derived(uids::databaseId(c), Kind::Card, u"108"_s));
    }

    void olderFilesGetTheTablesOnFirstNeed()
    {
        TempDb db;
        db.exec(u"drop table uid_tab"_s);
        db.exec(u"drop table ct_meta"_s);
        db.exec(u"drop table uid_run"_s);
        db.exec(u"drop table uid_origin"_s);
        const QString uid = uids::uidOf(db.check(), Kind::Card, u"1"_s);
        QVERIFY(!uid.isEmpty());
        QCOMPARE(uids::uidOf(db.check(), Kind::Card, u"1"_s), uid);
        QCOMPARE(db.count(u"ct_meta"_s), 1);
    }
};

QTEST_GUILESS_MAIN(tst_uids)
#include "tst_uids.moc"
