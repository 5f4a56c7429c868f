// ctdb restore as a careless user meets it: the database's name never vanishes (the old
// file is linked aside before the new one is renamed onto the name, and a kill between
// any two steps leaves a sound ctsource.mdb), only a database of the program's own
// layout is put in place, a ctsource.mdb that is a symbolic link is restored through
// the link, and the copies of replaced files are bounded.

#include "modul/backups.h"
#include "modul/tables.h"
#include "tests/faults/faultkit.h"
#include "tests/support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

void addCards(const QString& file, int n, const QString& name)
{
    adodb::Connection c;
    c.Open(cardmodul::connectionText(file));
    adodb::Transaction t(c);
    for (int i = 0; i < n; ++i)
        c.Execute(
            u"insert into cardtab (full_nam, note) values (?, ?)"_s,
            {cardmodul::namcode(QString(name + QString::number(i))), QString(200, QChar(u'注'))});
    t.commit();
}

int cards(const QString& file)
{
    adodb::Connection c;
    c.Open(cardmodul::connectionText(file));
    adodb::Recordset rs;
    rs.Open(u"select count(*) from cardtab"_s, c);
    return rs.Fields(0).text().toInt();
}

bool writeFile(const QString& file, const QByteArray& bytes)
{
    QFile f(file);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// Names in the directory that are not the database or a kept copy of a replaced one.
QStringList strays(const QString& dir)
{
    static const QRegularExpression kept(u"^ctsource\\.mdb(\\.before-restore(\\.\\d+)?)?$"_s);
    QStringList out;
    for (const QString& n : faults::filesIn(dir))
        if (!kept.match(n).hasMatch())
            out << n;
    return out;
}

constexpr int kOld = 30; // cards in the database replaced
constexpr int kNew = 7;  // cards in the backup

} // namespace

class tst_restores : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_db;
    QString m_backup;

    faults::Run restore(const QString& backup, const std::optional<faults::Shim>& shim = {})
    {
        faults::Options o;
        o.shim = shim;
        return faults::run(faults::ctdbProgram(), {u"restore"_s, backup, m_dir->path()}, o);
    }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_db = m_dir->path() + u"/ctsource.mdb"_s;
        cardmodul::createDatabase(m_db);
        addCards(m_db, kOld, u"旧"_s);
        m_backup = m_dir->path() + u"-backup.mdb"_s;
        QFile::remove(m_backup);
        cardmodul::createDatabase(m_backup);
        addCards(m_backup, kNew, u"新"_s);
    }
    void cleanup() { QFile::remove(m_backup); }

    // The order of the steps, as the process made them: the old file gets a second name
    // first, then the new one is renamed onto the database's name; the name is never
    // renamed away or removed.
    void renameOrder_linksTheOldFileAsideFirst()
    {
        const faults::Run r = restore(
            m_backup, faults::Shim{m_dir->path(), {u"link"_s, u"rename"_s, u"unlink"_s}, 0});
        QVERIFY2(r.code == 0, qPrintable(r.err));
        const QString before = m_db + u".before-restore"_s;
        qsizetype linked = -1;
        qsizetype placed = -1;
        for (qsizetype i = 0; i < r.ops.size(); ++i) {
            const QStringList w = r.ops[i].split(u' ');
            QVERIFY2(!(w.value(0) == u"unlink" && w.value(1) == m_db), qPrintable(r.ops[i]));
            QVERIFY2(!(w.value(0) == u"rename" && w.value(1) == m_db), qPrintable(r.ops[i]));
            if (w.value(0) == u"link" && w.value(1) == m_db && w.value(2) == before)
                linked = i;
            if (w.value(0) == u"rename" && w.value(2) == m_db)
                placed = i;
        }
        QVERIFY2(linked >= 0 && placed > linked, qPrintable(r.ops.join(u'\n')));
        QCOMPARE(cards(m_db), kNew);
        QCOMPARE(cards(before), kOld);
    }

    // Killed before each of its steps in turn, each time on the same database, then run
    // to its end: after every kill the database is there and sound, old or new; the run
    // that completes leaves nothing of the killed one behind.
    void killedAtEveryStep_leavesASoundDatabase()
    {
        const faults::Shim all{
            m_dir->path(), {u"create"_s, u"link"_s, u"rename"_s, u"unlink"_s, u"fsync"_s}, 0};
        int kills = 0;
        for (int n = 1;; ++n) {
            QVERIFY2(n < 100, "the restore never completed");
            for (const QString& f : faults::filesIn(m_dir->path()))
                QVERIFY(QFile::remove(m_dir->path() + u'/' + f));
            cardmodul::createDatabase(m_db);
            addCards(m_db, kOld, u"旧"_s);
            faults::Shim shim = all;
            shim.killAt = n;
            const faults::Run r = restore(m_backup, shim);
            if (!r.killed) {
                QVERIFY2(r.code == 0, qPrintable(r.err));
                break;
            }
            ++kills;
            const QString step = r.ops.value(r.ops.size() - 1);
            const faults::Run check = faults::ctdbCheck(m_dir->path());
            QVERIFY2(check.code == 0, qPrintable(u"killed before %1: %2"_s.arg(step, check.err)));
            const int there = cards(m_db);
            QVERIFY2(there == kOld || there == kNew, qPrintable(step));
            const faults::Run done = restore(m_backup);
            QVERIFY2(done.code == 0, qPrintable(step + u": "_s + done.err));
            QCOMPARE(cards(m_db), kNew);
            QVERIFY2(strays(m_dir->path()).isEmpty(),
                     qPrintable(step + u": "_s + strays(m_dir->path()).join(u' ')));
        }
        QVERIFY2(kills >= 5, "too few steps to kill between");
    }

    // Only a database of the program's layout goes in: tables with other columns are
    // refused, the database untouched; the tables of record UIDs and sync may be there.
    void schema_data()
    {
        QTest::addColumn<QStringList>("statements"); // run on the backup
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("says");
        QTest::newRow("a column more in cardtab")
            << QStringList{u"alter table cardtab add column extra TEXT"_s} << false << u"cardtab"_s;
        QTest::newRow("meet_tab with other columns")
            << QStringList{u"drop table meet_tab"_s,
                           u"create table meet_tab (id INTEGER PRIMARY KEY, what TEXT)"_s}
            << false << u"meet_tab"_s;
        QTest::newRow("daily_tab missing")
            << QStringList{u"drop table daily_tab"_s} << false << u"daily_tab"_s;
        QTest::newRow("an older file, without record UIDs")
            << QStringList{u"drop table uid_tab"_s, u"drop table ct_meta"_s} << true << QString();
        QTest::newRow("uid_tab with other columns")
            << QStringList{u"drop table uid_tab"_s,
                           u"create table uid_tab (uid TEXT, card INTEGER)"_s}
            << false << u"uid_tab"_s;
        QTest::newRow("a table of sync state")
            << QStringList{u"create table sync_state (account TEXT, href TEXT, etag TEXT)"_s}
            << true << QString();
    }
    void schema()
    {
        QFETCH(QStringList, statements);
        QFETCH(bool, accepted);
        QFETCH(QString, says);
        {
            adodb::Connection c;
            c.Open(cardmodul::connectionText(m_backup));
            for (const QString& s : std::as_const(statements))
                c.Execute(s);
        }
        const QByteArray before = faults::digest(m_db);
        const faults::Run r = restore(m_backup);
        if (accepted) {
            QVERIFY2(r.code == 0, qPrintable(r.err));
            QCOMPARE(cards(m_db), kNew);
            return;
        }
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains(says) && r.err.contains(m_backup) &&
                     r.err.contains(u"数据库没有改动"_s),
                 qPrintable(r.err));
        QCOMPARE(faults::digest(m_db), before);
        QCOMPARE(faults::filesIn(m_dir->path()), QStringList{u"ctsource.mdb"_s});
    }

    // A refused backup is named as the user named it, never by a temporary copy, and the
    // user who is restoring is not told to restore.
    void refusal_namesTheUsersFile_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("says");
        QTest::newRow("cut short") << u"short"_s << u"损坏"_s;
        QTest::newRow("text") << u"text"_s << u"不是本程序的数据库"_s;
        QTest::newRow("empty") << u"empty"_s << u"空文件"_s;
        QTest::newRow("standard input, cut short") << u"stdin"_s << u"损坏"_s;
    }
    void refusal_namesTheUsersFile()
    {
        QFETCH(QString, kind);
        QFETCH(QString, says);
        addCards(m_backup, 300, u"多"_s);
        QFile f(m_backup);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QByteArray bytes = f.readAll();
        f.close();
        if (kind == u"text")
            bytes = "这不是数据库\n";
        else if (kind == u"empty")
            bytes.clear();
        else
            bytes.truncate(bytes.size() / 2);
        QVERIFY(writeFile(m_backup, bytes));
        const QByteArray before = faults::digest(m_db);
        faults::Options o;
        QString source = m_backup;
        if (kind == u"stdin") {
            o.input = bytes;
            source = u"-"_s;
        }
        const faults::Run r =
            faults::run(faults::ctdbProgram(), {u"restore"_s, source, m_dir->path()}, o);
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains(kind == u"stdin" ? u"标准输入"_s : m_backup), qPrintable(r.err));
        QVERIFY2(r.err.contains(says), qPrintable(r.err));
        QVERIFY2(!r.err.contains(u".ct-"_s) && !r.err.contains(u"restoring"_s), qPrintable(r.err));
        QVERIFY2(!r.err.contains(u"ctdb restore"_s), qPrintable(r.err));
        QCOMPARE(faults::digest(m_db), before);
        QCOMPARE(faults::filesIn(m_dir->path()), QStringList{u"ctsource.mdb"_s});
    }

    // ctsource.mdb a symbolic link into another folder (a synced one, say): the file it
    // points to is replaced, the link stays, the copy of the replaced file lies beside it.
    void symlinkedDatabase_isRestoredThroughTheLink()
    {
        QTemporaryDir synced;
        const QString real = synced.path() + u"/work.mdb"_s;
        QVERIFY(QFile::rename(m_db, real));
        QVERIFY(QFile::link(real, m_db));
        const faults::Run r = restore(m_backup);
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QVERIFY(QFileInfo(m_db).isSymLink());
        QCOMPARE(QFileInfo(m_db).symLinkTarget(), real);
        QCOMPARE(cards(real), kNew);
        QCOMPARE(cards(real + u".before-restore"_s), kOld);
        QCOMPARE(faults::filesIn(m_dir->path()), QStringList{u"ctsource.mdb"_s});
        QCOMPARE(strays(synced.path()), (QStringList{u"work.mdb"_s, u"work.mdb.before-restore"_s}));
    }

    // Seven restores keep the copies of the five files replaced last, newest first.
    void copiesOfReplacedFiles_theNewestFive()
    {
        QStringList made; // what each restore replaced, by its card count
        int count = kOld;
        for (int i = 0; i < 7; ++i) {
            const faults::Run r = restore(m_backup);
            QVERIFY2(r.code == 0, qPrintable(r.err));
            made.prepend(QString::number(count));
            addCards(m_db, i + 1, u"又%1-"_s.arg(i)); // each replaced file differs
            count = cards(m_db);
        }
        const QString before = m_db + u".before-restore"_s;
        QStringList kept{QString::number(cards(before))};
        for (int n = 1; n <= 4; ++n)
            kept << QString::number(cards(before + u'.' + QString::number(n)));
        QCOMPARE(kept, made.mid(0, 5));
        QVERIFY(!QFile::exists(before + u".5"_s));
        QCOMPARE(strays(m_dir->path()), QStringList());
    }
};

QTEST_GUILESS_MAIN(tst_restores)
#include "tst_restores.moc"
