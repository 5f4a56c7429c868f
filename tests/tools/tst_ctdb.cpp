// ctdb as a user runs it: init, check, backup, and its refusals.

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {
struct Run {
    int code;
    QString out;
    QString err;
};

Run ctdb(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral(CT_CTDB), args);
    if (!p.waitForFinished(30000))
        qFatal("ctdb hung");
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}
} // namespace

class tst_ctdb : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initCheckBackup()
    {
        QTemporaryDir dir;
        const QString d = dir.path() + u"/data"_s; // made when missing
        Run r = ctdb({u"init"_s, d});
        QCOMPARE(r.code, 0);
        QVERIFY(QFile::exists(d + u"/ctsource.mdb"_s));

        r = ctdb({u"init"_s, d});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains(u"已经存在"_s), qPrintable(r.err));

        r = ctdb({u"check"_s, d});
        QCOMPARE(r.code, 0);
        QVERIFY(r.out.contains(u"cardtab: 0\nmeet_tab: 0\ndaily_tab: 0\n"_s));

        const QString copy = dir.path() + u"/copy/ctsource.mdb"_s;
        QVERIFY(QDir().mkpath(dir.path() + u"/copy"_s));
        QCOMPARE(ctdb({u"backup"_s, copy, d}).code, 0);
        QCOMPARE(ctdb({u"check"_s, dir.path() + u"/copy"_s}).code, 0);
        QCOMPARE(ctdb({u"backup"_s, copy, d}).code, 1); // never overwrites
    }

    void check_failsOnMissingOrDamagedFiles()
    {
        QTemporaryDir dir;
        Run r = ctdb({u"check"_s, dir.path()});
        QCOMPARE(r.code, 1);
        QVERIFY(r.err.contains(u"找不到数据库文件"_s));

        QCOMPARE(ctdb({u"init"_s, dir.path()}).code, 0);
        QFile f(dir.path() + u"/ctsource.mdb"_s);
        QVERIFY(f.open(QIODevice::ReadWrite));
        f.seek(5000);
        f.write(QByteArray(300, 'x')); // damage a page
        f.close();
        QCOMPARE(ctdb({u"check"_s, dir.path()}).code, 1);

        QCOMPARE(ctdb({u"frobnicate"_s}).code, 2);
    }
};

QTEST_GUILESS_MAIN(tst_ctdb)
#include "tst_ctdb.moc"
