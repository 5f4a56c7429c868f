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

    void olderFilesGetTheTablesOnFirstNeed()
    {
        TempDb db;
        db.exec(u"drop table uid_tab"_s);
        db.exec(u"drop table ct_meta"_s);
        const QString uid = uids::uidOf(db.check(), Kind::Card, u"1"_s);
        QVERIFY(!uid.isEmpty());
        QCOMPARE(uids::uidOf(db.check(), Kind::Card, u"1"_s), uid);
        QCOMPARE(db.count(u"ct_meta"_s), 1);
    }
};

QTEST_GUILESS_MAIN(tst_uids)
#include "tst_uids.moc"
