// The files that hold the user's data are private whatever the umask: the key is inside
// the program, so the mode is the only protection. Under a lax and a strict umask every
// file ctdb and the program make is 0600 and every directory they make 0700, the
// journal included; a restore never widens the mode of the file it replaces.

#include "modul/backups.h"
#include "platform/appinfo.h"
#include "tests/faults/faultkit.h"
#include "tests/support/testsupport.h"

#include <QDir>
#include <QTest>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

// The process's umask for a while.
class Umask {
public:
    explicit Umask(int mask) : m_old(::umask(mode_t(mask))) {}
    ~Umask() { ::umask(m_old); }
    Umask(const Umask&) = delete;
    Umask& operator=(const Umask&) = delete;

private:
    mode_t m_old;
};

QString octal(int mode)
{
    return mode < 0 ? u"absent"_s : u"0%1"_s.arg(mode, 3, 8, QChar(u'0'));
}

} // namespace

class tst_privatefiles : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void everyFileIsPrivate_data()
    {
        QTest::addColumn<int>("umask");
        QTest::newRow("umask 022") << 0022;
        QTest::newRow("umask 077") << 0077;
        QTest::newRow("umask 002") << 0002;
    }
    void everyFileIsPrivate()
    {
        QFETCH(int, umask);
        QTemporaryDir top;
        const QString dir = top.path() + u"/new/program"_s;
        faults::Options o;
        o.umask = umask;
        o.env = {u"TZ=Asia/Shanghai"_s};
        auto ctdb = [&](const QStringList& args) {
            const faults::Run r = faults::run(faults::ctdbProgram(), args, o);
            if (r.code != 0)
                qWarning("ctdb %s: %s", qPrintable(args.join(u' ')), qPrintable(r.err));
            return r.code == 0;
        };
        QVERIFY(ctdb({u"init"_s, dir}));
        {
            adodb::Connection c;
            c.Open(cardmodul::connectionText(dir + u"/ctsource.mdb"_s));
            c.Execute(u"insert into cardtab (full_nam) values ('x')"_s);
            c.Execute(u"insert into meet_tab (meet_date, meet_cont) values ('2026-12-09', 'm')"_s);
            c.Execute(u"insert into daily_tab values ('2026-12-09', 'd')"_s);
        }
        const QString named = top.path() + u"/copy.mdb"_s;
        QVERIFY(ctdb({u"backup"_s, u"--dir"_s, dir}));
        QVERIFY(ctdb({u"backup"_s, named, dir}));
        const QStringList exports = {u"cards.vcf"_s, u"cards.csv"_s, u"meetings.ics"_s,
                                     u"meetings.csv"_s, u"diary.md"_s};
        for (const QString& e : exports) {
            const QString table = e.startsWith(u"cards"_s)      ? u"cards"_s
                                  : e.startsWith(u"meetings"_s) ? u"meetings"_s
                                                                : u"diary"_s;
            QVERIFY(ctdb({u"export"_s, table, top.path() + u'/' + e, dir}));
        }
        QVERIFY(ctdb({u"restore"_s, named, dir}));

        // What each file and directory must be, and what it is.
        QList<std::pair<QString, int>> expected = {
            {top.path() + u"/new"_s, 0700},   {dir, 0700},
            {dir + u"/ctsource.mdb"_s, 0600}, {dir + u"/ctsource.mdb.before-restore"_s, 0600},
            {dir + u"/backups"_s, 0700},      {named, 0600},
        };
        const QStringList made = backups::list(dir + u"/backups"_s);
        QCOMPARE(made.size(), 1);
        expected.append({made.first(), 0600});
        for (const QString& e : exports)
            expected.append({top.path() + u'/' + e, 0600});

        // The journal of a write, and the program's own daily backup, made in this process
        // under the same umask.
        {
            const Umask mask(umask);
            adodb::Connection c;
            c.Open(cardmodul::connectionText(dir + u"/ctsource.mdb"_s));
            c.Execute(u"BEGIN IMMEDIATE"_s);
            c.Execute(u"insert into cardtab (full_nam) values ('y')"_s);
            const QString journal = dir + u"/ctsource.mdb-journal"_s;
            QVERIFY2(QFileInfo::exists(journal), "a write in a transaction makes the journal");
            QCOMPARE(octal(faults::modeOf(journal)), octal(0600));
            c.Execute(u"ROLLBACK"_s);

            appinfo::setExeDir(top.path() + u"/daily"_s);
            QVERIFY(ctdb({u"init"_s, top.path() + u"/daily"_s}));
            backups::daily(cardmodul::connectionText());
            QTRY_VERIFY_WITH_TIMEOUT(!backups::list(top.path() + u"/daily/backups"_s).isEmpty(),
                                     20000);
            backups::stopDaily();
            appinfo::setExeDir({});
            expected.append({top.path() + u"/daily/backups"_s, 0700});
            expected.append({backups::list(top.path() + u"/daily/backups"_s).first(), 0600});
        }

        QStringList wrong;
        for (const auto& [path, mode] : std::as_const(expected))
            if (faults::modeOf(path) != mode)
                wrong << u"%1 is %2, not %3"_s.arg(path, octal(faults::modeOf(path)), octal(mode));
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(u"\n"_s)));
    }

    // The restored file takes the narrower of its replaced file's mode and 0600; the
    // copy of the replaced file is no wider either.
    void restoreNeverWidensTheMode_data()
    {
        QTest::addColumn<int>("before");
        QTest::addColumn<int>("after");
        QTest::newRow("0600 stays") << 0600 << 0600;
        QTest::newRow("0644 of an earlier version narrows") << 0644 << 0600;
        QTest::newRow("0640 narrows") << 0640 << 0600;
        QTest::newRow("0400 read-only stays") << 0400 << 0400;
    }
    void restoreNeverWidensTheMode()
    {
        QFETCH(int, before);
        QFETCH(int, after);
        QTemporaryDir top;
        const QString db = top.path() + u"/ctsource.mdb"_s;
        const QString backup = top.path() + u"/b.mdb"_s;
        cardmodul::createDatabase(db);
        cardmodul::createDatabase(backup);
        QCOMPARE(::chmod(QFile::encodeName(db).constData(), mode_t(before)), 0);
        faults::Options o;
        o.umask = 0;
        const faults::Run r =
            faults::run(faults::ctdbProgram(), {u"restore"_s, backup, top.path()}, o);
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QCOMPARE(octal(faults::modeOf(db)), octal(after));
        QCOMPARE(octal(faults::modeOf(db + u".before-restore"_s)), octal(before & 0600));
    }
};

QTEST_GUILESS_MAIN(tst_privatefiles)
#include "tst_privatefiles.moc"
