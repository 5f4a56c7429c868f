// Backups and restores killed part way: what the killed process left (a partial copy, a
// journal, a copy being restored) is removed at the next backup, restore or start of the
// program, and only when its process is gone. Each kill comes at a moment the process
// itself gives: just before its n-th file operation.

#include "modul/backups.h"
#include "tests/faults/faultkit.h"
#include "tests/support/testsupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

QStringList hidden(const QString& dir)
{
    QStringList out;
    for (const QString& n : faults::filesIn(dir))
        if (n.startsWith(u'.'))
            out << n;
    return out;
}

const QStringList kOps = {u"create"_s, u"write"_s, u"fsync"_s, u"link"_s, u"unlink"_s, u"rename"_s};

} // namespace

class tst_interrupted : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_db;

    faults::Run ctdb(const QStringList& args, int killAt = 0, const QString& below = {})
    {
        faults::Options o;
        o.shim = faults::Shim{below.isEmpty() ? m_dir->path() : below, kOps, killAt};
        return faults::run(faults::ctdbProgram(), args + QStringList{m_dir->path()}, o);
    }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_db = m_dir->path() + u"/ctsource.mdb"_s;
        cardmodul::createDatabase(m_db);
        adodb::Connection c;
        c.Open(cardmodul::connectionText(m_db));
        adodb::Transaction t(c);
        for (int i = 0; i < 400; ++i) // some hundred pages to copy
            c.Execute(u"insert into cardtab (full_nam, note) values (?, ?)"_s,
                      {cardmodul::namcode(u"人%1"_s.arg(i)), QString(1500, QChar(u'注'))});
        t.commit();
    }

    // A backup killed at a moment of its run, then one that runs to its end: what is
    // left is the database and real backups, nothing hidden.
    void killedBackup_thenOneThatCompletes_data()
    {
        QTest::addColumn<QString>("kind");  // rotating or named
        QTest::addColumn<double>("moment"); // the share of its operations done when killed
        for (const QString& kind : {u"rotating"_s, u"named"_s})
            for (const double m : {0.0, 0.25, 0.5, 0.75, 0.95, 1.0})
                QTest::addRow("%s, killed at %d%%", qPrintable(kind), int(m * 100)) << kind << m;
    }
    void killedBackup_thenOneThatCompletes()
    {
        QFETCH(QString, kind);
        QFETCH(double, moment);
        const bool named = kind == u"named";
        QTemporaryDir target;
        auto args = [&](int i) {
            return named ? QStringList{u"backup"_s, target.path() + u"/copy%1.mdb"_s.arg(i)}
                         : QStringList{u"backup"_s, u"--dir"_s};
        };
        const QString watched = named ? target.path() : m_dir->path();
        // How many operations a whole backup makes, counted by the process itself.
        const faults::Run whole = ctdb(args(0), 0, watched);
        QVERIFY2(whole.code == 0, qPrintable(whole.err));
        const int total = int(whole.ops.size());
        QVERIFY2(total > 20, qPrintable(whole.ops.join(u'\n')));
        const int at = std::clamp(int(total * moment), 1, total);

        const faults::Run killed = ctdb(args(1), at, watched);
        QVERIFY2(killed.killed, qPrintable(u"not killed at %1 of %2"_s.arg(at).arg(total)));
        const faults::Run done = ctdb(args(2), 0, watched);
        QVERIFY2(done.code == 0, qPrintable(done.err));

        QCOMPARE(hidden(m_dir->path()), QStringList());
        QCOMPARE(hidden(m_dir->path() + u"/backups"_s), QStringList());
        QCOMPARE(hidden(target.path()), QStringList());
        if (!named) {
            // Every backup there is real; the killed one is there only if it was complete.
            for (const QString& f : backups::list(m_dir->path() + u"/backups"_s))
                backups::verify(f);
            QCOMPARE(faults::filesIn(m_dir->path() + u"/backups"_s).size(),
                     backups::list(m_dir->path() + u"/backups"_s).size());
        } else {
            for (const QString& f : faults::filesIn(target.path()))
                backups::verify(target.path() + u'/' + f);
        }
        QCOMPARE(faults::ctdbCheck(m_dir->path()).code, 0);
    }

    // What a killed backup and a killed restore left goes at the next start of the
    // program; a temporary file of a process that still runs stays.
    void leftovers_goAtTheProgramsStart()
    {
        // Every backup and restore clears what killed ones left, so the leftovers are
        // made beside a copy of the database and brought over.
        const QString folder = m_dir->path() + u"/backups"_s;
        QTemporaryDir other;
        QVERIFY(QFile::copy(m_db, other.path() + u"/ctsource.mdb"_s));
        auto inOther = [&](const QStringList& args, int killAt, const QStringList& ops) {
            faults::Options o;
            o.shim = faults::Shim{other.path(), ops, killAt};
            return faults::run(faults::ctdbProgram(), args + QStringList{other.path()}, o);
        };
        const faults::Run whole = inOther({u"backup"_s, u"--dir"_s}, 0, kOps);
        QVERIFY(whole.code == 0);
        const QString copy = backups::list(other.path() + u"/backups"_s).first();
        QVERIFY(inOther({u"backup"_s, u"--dir"_s}, int(whole.ops.size() / 2), kOps).killed);
        QVERIFY(QDir().mkpath(folder));
        for (const QString& n : hidden(other.path() + u"/backups"_s))
            QVERIFY(QFile::rename(other.path() + u"/backups/"_s + n, folder + u'/' + n));
        // Killed at its first sync: the copy to restore is written, not yet in place.
        QVERIFY(inOther({u"restore"_s, copy}, 1, {u"fsync"_s}).killed);
        for (const QString& n : hidden(other.path()))
            QVERIFY(QFile::rename(other.path() + u'/' + n, m_dir->path() + u'/' + n));
        QVERIFY2(!hidden(folder).isEmpty(), "the killed backup left nothing to remove");
        QVERIFY2(!hidden(m_dir->path()).isEmpty(), "the killed restore left nothing to remove");
        // A process that runs: this test.
        const QString live = m_dir->path() + u"/.ctsource.mdb.ct-new-%1"_s.arg(::getpid());
        QFile f(live);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();

        const auto programs = faults::reachableDir();
        QDir().mkpath(programs->path() + u"/run"_s);
        ::chmod(QFile::encodeName(programs->path() + u"/run"_s).constData(), 0700);
        const QString program = faults::copyProgram(faults::ctworkProgram(), m_dir->path());
        QProcess p;
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        e.insert(u"XDG_RUNTIME_DIR"_s, programs->path() + u"/run"_s);
        p.setProcessEnvironment(e);
        p.start(program, {});
        QVERIFY(p.waitForStarted(10000));
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 20000 && (hidden(folder).size() + hidden(m_dir->path()).size() > 1))
            p.waitForFinished(100);
        ::kill(pid_t(p.processId()), SIGTERM);
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(hidden(folder), QStringList());
        QCOMPARE(hidden(m_dir->path()), QStringList{QFileInfo(live).fileName()});
        QCOMPARE(faults::ctdbCheck(m_dir->path()).code, 0);
    }
};

QTEST_GUILESS_MAIN(tst_interrupted)
#include "tst_interrupted.moc"
