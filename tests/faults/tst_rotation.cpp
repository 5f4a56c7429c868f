// The rotation of backups/ counts only real backups: files that open as backups of the
// program, ranked by the time recorded in them when they were made. A clock that was
// set a year ahead, a planted file with a backup's name, and a backups/ folder that is a
// symbolic link into another folder never cost a real backup, and rotation never
// deletes a file that is not one.

#include "modul/backups.h"
#include "tests/faults/faultkit.h"
#include "tests/support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

bool writeFile(const QString& file, const QByteArray& bytes)
{
    QFile f(file);
    return f.open(QIODevice::WriteOnly | QIODevice::NewOnly) && f.write(bytes) == bytes.size();
}

QStringList names(const QStringList& files)
{
    QStringList out;
    for (const QString& f : files)
        out << QFileInfo(f).fileName();
    return out;
}

} // namespace

class tst_rotation : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_folder; // backups/ (or where its link points)

    // A rotating backup by ctdb, the clock moved by `shift` (a faketime offset, "" for
    // none); the name of the backup made.
    QString backup(const QString& shift = {})
    {
        QStringList cmd{faults::ctdbProgram(), u"backup"_s, u"--dir"_s, m_dir->path()};
        if (!shift.isEmpty())
            cmd = QStringList{u"faketime"_s, u"-f"_s, shift} + cmd;
        const faults::Run r = faults::run(cmd.first(), cmd.mid(1), 60000, {u"TZ=UTC"_s});
        if (r.code != 0) {
            qWarning("backup failed: %s", qPrintable(r.err));
            return {};
        }
        const qsizetype at = r.out.indexOf(u"ctsource-"_s);
        return at < 0 ? QString() : r.out.mid(at, 28);
    }
    QStringList present() const
    {
        return QDir(m_folder).entryList(QDir::Files | QDir::System | QDir::Hidden, QDir::Name);
    }
    // Backups made at these times (UTC), as a copy of a real one with the time recorded in
    // it and its name; their names, oldest first.
    QStringList plant(const QList<QDateTime>& times)
    {
        const QString made = backup();
        const QString model = m_dir->path() + u"/model.mdb"_s;
        if (made.isEmpty() || !QFile::rename(m_folder + u'/' + made, model))
            return {};
        QStringList out;
        for (const QDateTime& t : times) {
            const QString name =
                u"ctsource-"_s + t.toLocalTime().toString(u"yyyyMMdd-HHmmss"_s) + u".mdb"_s;
            if (!QFile::copy(model, m_folder + u'/' + name))
                return {};
            adodb::Connection c;
            c.Open(cardmodul::connectionText(m_folder + u'/' + name));
            c.Execute(u"update ct_meta set value = ? where key = 'backup-made'"_s,
                      {t.toUTC().toString(Qt::ISODateWithMs)});
            out << name;
        }
        QFile::remove(model);
        return out;
    }
    // Fourteen backups of the past fortnight, one a day.
    QStringList fortnight()
    {
        QList<QDateTime> times;
        for (int d = 14; d >= 1; --d)
            times << QDateTime::currentDateTimeUtc().addDays(-d);
        return plant(times);
    }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        cardmodul::createDatabase(m_dir->path() + u"/ctsource.mdb"_s);
        m_folder = m_dir->path() + u"/backups"_s;
    }

    // Fourteen backups made while the clock was a year ahead (one by ctdb under that
    // clock, the others with such times recorded): every later real backup is kept; the
    // future ones go first, one for each real one beyond the fourteen.
    void clockAYearAhead_costsNoRealBackup()
    {
        QStringList future{backup(u"+365d"_s)};
        QVERIFY(!future.first().isEmpty());
        QList<QDateTime> times;
        for (int i = 1; i < 14; ++i)
            times << QDateTime::currentDateTimeUtc().addDays(366).addSecs(i * 60);
        future += plant(times);
        QCOMPARE(future.size(), 14);
        QStringList real;
        for (int i = 0; i < 3; ++i) {
            real << backup();
            QVERIFY(!real.last().isEmpty());
            for (const QString& r : std::as_const(real))
                QVERIFY2(present().contains(r), qPrintable(r + u" was removed"_s));
            QCOMPARE(backups::list(m_folder).size(), 14);
        }
        // The oldest of the future ones (by the time recorded in them) went.
        QCOMPARE(names(backups::list(m_folder)), future.mid(3) + real);
    }

    // The other way round: the clock now a year behind the backups made. Each new backup
    // is kept, and the earlier ones, whose times lie in the future now, go first.
    void clockNowAYearBehind_keepsTheNewestMade()
    {
        const QStringList earlier = fortnight();
        QCOMPARE(earlier.size(), 14);
        const QString made = backup(u"-365d"_s);
        QVERIFY(present().contains(made));
        // Ranked as that clock has it (the real one ranks the new backup oldest).
        const QDateTime then = QDateTime::currentDateTimeUtc().addDays(-365);
        QCOMPARE(names(backups::list(m_folder, then)), earlier.mid(1) + QStringList{made});
    }

    // Files with backups' names that are not backups are neither counted nor removed; a
    // real backup under an impossible name counts as the oldest. All planted beside one
    // fortnight of real backups (each real one opened costs a key derivation).
    void plantedFiles()
    {
        const QStringList older = fortnight();
        QCOMPARE(older.size(), 14);
        struct Planted {
            QString name;
            QString content; // text, backup or link (to the database)
            bool stays;      // after two more real backups
        };
        const QList<Planted> planted = {
            {u"ctsource-99999999-999998.mdb"_s, u"text"_s, true},    // impossible date
            {u"ctsource-99999999-999999.mdb"_s, u"backup"_s, false}, // impossible date
            {u"ctsource-20000101-000000.mdb"_s, u"text"_s, true},    // old date
            {u"ctsource-20000101-000001.mdb"_s, u"link"_s, true},
            {u"ctsource-old.mdb"_s, u"backup"_s, true}, // not a backup's name
        };
        QHash<QString, QByteArray> digests;
        for (const Planted& p : planted) {
            const QString file = m_folder + u'/' + p.name;
            if (p.content == u"text")
                QVERIFY(writeFile(file, "my notes, not a backup\n"));
            else if (p.content == u"backup")
                QVERIFY(QFile::copy(m_folder + u'/' + older.first(), file));
            else
                QVERIFY(QFile::link(m_dir->path() + u"/ctsource.mdb"_s, file));
            digests.insert(p.name, faults::digest(file));
        }
        const QStringList real{backup(), backup()};
        QStringList kept = names(backups::list(m_folder));
        for (const Planted& p : planted) {
            QVERIFY2(present().contains(p.name) == p.stays, qPrintable(p.name));
            if (p.stays)
                QCOMPARE(faults::digest(m_folder + u'/' + p.name), digests.value(p.name));
            kept.removeAll(p.name);
        }
        QCOMPARE(kept, older.mid(2) + real); // the fourteen newest real ones, oldest first
        QVERIFY(QFileInfo::exists(m_dir->path() + u"/ctsource.mdb"_s));
    }

    // backups/ a symbolic link into a folder of other files: those stay, whatever their
    // names; the backups in it rotate.
    void symlinkedFolder_keepsOtherFiles()
    {
        QTemporaryDir elsewhere;
        QVERIFY(QFile::link(elsewhere.path(), m_folder));
        const QStringList older = fortnight();
        QCOMPARE(older.size(), 14);
        const QStringList others = {u"ctsource-20010101-010101.mdb"_s, u"ctsource-x.mdb"_s,
                                    u"notes.txt"_s, u"ctsource-20010101-010102.mdb.txt"_s};
        QVERIFY(writeFile(m_dir->path() + u"/keep"_s, "keep me"));
        for (const QString& o : others)
            QVERIFY(writeFile(elsewhere.path() + u'/' + o, "keep me"));
        const QStringList real{backup(), backup()};
        for (const QString& o : others)
            QCOMPARE(faults::digest(elsewhere.path() + u'/' + o),
                     faults::digest(m_dir->path() + u"/keep"_s));
        QVERIFY(QFileInfo(m_folder).isSymLink());
        QCOMPARE(names(backups::list(m_folder)), older.mid(2) + real);
    }
};

QTEST_GUILESS_MAIN(tst_rotation)
#include "tst_rotation.moc"
