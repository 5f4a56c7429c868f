// Damaged and foreign database files: the program says once, clearly, what is wrong,
// ctdb check fails with its reason, and neither changes a byte of the file.

#include "modul/tables.h"
#include "tests/faults/faultkit.h"
#include "tests/support/testsupport.h"

#define SQLITE_HAS_CODEC 1
#include <sqlcipher/sqlite3.h>

#include <QFile>
#include <QTest>

using namespace Qt::StringLiterals;
using testsupport::box;
using testsupport::TempDb;

namespace {

// A database with enough cards for several pages, as a user's file after some use.
void fillWithCards(const QString& file)
{
    cardmodul::createDatabase(file);
    adodb::Connection c;
    c.Open(cardmodul::connectionText());
    adodb::Transaction t(c);
    for (int i = 0; i < 300; ++i)
        c.Execute(u"insert into cardtab (full_nam, note) values (?, ?)"_s,
                  {cardmodul::namcode(u"人%1"_s.arg(i)), QString(100, QChar(u'注'))});
    t.commit();
}

bool writeFile(const QString& file, const QByteArray& bytes)
{
    QFile f(file);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

} // namespace

class tst_damagedfile : public testsupport::BoxTest {
    Q_OBJECT
private Q_SLOTS:
    void damagedFile_isToldOnceAndLeftAsItWas_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("opens");      // refused at open, or opened and the damage told
        QTest::addColumn<QString>("message"); // %1: the file; its beginning when it opens
        QTest::addColumn<QString>("ctdbSays");
        const QString notOurs = u"数据库密码不正确，或“%1”不是本程序的数据库文件（file is "
                                "encrypted or is not a database）。"_s;
        const QString damage = u"数据库文件“%1”已经损坏：检查时发现了问题。请不要继续在里面写入："
                               "退出程序，用“ctdb restore”从程序目录下 backups 里最近的备份恢复，"
                               "或者找人帮忙。\n（"_s;
        QTest::newRow("missing") << u"missing"_s << false
                                 << u"找不到数据库文件“%1”。还没有数据库时，可以运行“ctdb init”"
                                    "在程序所在的目录里创建一个空数据库。"_s
                                 << u"找不到数据库文件"_s;
        QTest::newRow("zero-length")
            << u"empty"_s << false << u"数据库文件“%1”是空文件（0 字节），不是数据库。"_s
            << u"空文件"_s;
        QTest::newRow("truncated")
            << u"truncated"_s << false
            << u"无法读取数据库文件“%1”，它可能已经损坏。请用 ctdb restore 从备份恢复（database "
               "disk image is malformed）。"_s
            << u"可能已经损坏"_s;
        QTest::newRow("a text file") << u"text"_s << false << notOurs << u"密码不正确"_s;
        QTest::newRow("plain SQLite")
            << u"plain"_s << false << u"“%1”是未加密的 SQLite 文件，不是本程序带密码的数据库。"_s
            << u"未加密"_s;
        QTest::newRow("page 1 overwritten") << u"page1"_s << false << notOurs << u"密码不正确"_s;
        QTest::newRow("page 2 overwritten") << u"page2"_s << true << damage << u"数据库文件损坏"_s;
        QTest::newRow("last page overwritten")
            << u"lastpage"_s << true << damage << u"数据库文件损坏"_s;
        QTest::newRow("wrong key") << u"wrongkey"_s << false << notOurs << u"密码不正确"_s;
    }
    void damagedFile_isToldOnceAndLeftAsItWas()
    {
        QFETCH(QString, kind);
        QFETCH(bool, opens);
        QFETCH(QString, message);
        QFETCH(QString, ctdbSays);
        TempDb db(false);
        const QString file = db.file();
        if (kind == u"empty") {
            QVERIFY(writeFile(file, {}));
        } else if (kind == u"text") {
            QVERIFY(writeFile(file, u"会议记录：明天上午九点开会。\n"_s.repeated(200).toUtf8()));
        } else if (kind == u"plain") {
            sqlite3* p = nullptr;
            QCOMPARE(sqlite3_open(QFile::encodeName(file).constData(), &p), SQLITE_OK);
            QCOMPARE(
                sqlite3_exec(p, "create table cardtab(serno, full_nam)", nullptr, nullptr, nullptr),
                SQLITE_OK);
            sqlite3_close(p);
        } else if (kind == u"wrongkey") {
            adodb::Connection::create(file, u"另一个密码"_s, tables::schemaStatements());
        } else if (kind != u"missing") {
            fillWithCards(file);
            const qint64 size = QFileInfo(file).size();
            QVERIFY(size >= 8 * faults::kPage);
            if (kind == u"truncated")
                QVERIFY(QFile::resize(file, size / 2 + 100));
            else if (kind == u"page1")
                QVERIFY(faults::overwrite(file, 0, faults::kPage, '\x5a'));
            else if (kind == u"page2")
                QVERIFY(faults::overwrite(file, faults::kPage, faults::kPage, '\x5a'));
            else if (kind == u"lastpage")
                QVERIFY(faults::overwrite(file, size - faults::kPage, faults::kPage, '\x5a'));
        }
        const QByteArray before = faults::digest(file);
        const QStringList filesBefore = faults::filesIn(db.dir());

        // Start-up: the open begun early, then the check of the file after it.
        if (!opens)
            boxes().expect(box(message.arg(file), msgbox::Buttons::OK, msgbox::Icon::Exclamation,
                               false, u"Connection Error"_s));
        else
            boxes().expectBeginning(
                box(message.arg(file), msgbox::Buttons::OK, msgbox::Icon::Critical));
        cardmodul::preopen(cardmodul::tellDamage);
        QCOMPARE(cardmodul::opendb(), opens);
        if (opens)
            QTRY_COMPARE_WITH_TIMEOUT(boxes().seen().size(), 1, 20000);
        cardmodul::resetdb();
        QCoreApplication::processEvents();
        QCOMPARE(boxes().seen().size(), 1); // told once
        CT_VERIFY_BOXES(boxes());

        const faults::Run check = faults::ctdbCheck(db.dir());
        QVERIFY(check.finished);
        QCOMPARE(check.code, 1);
        QVERIFY2(check.err.contains(ctdbSays), qPrintable(check.err));
        QVERIFY2(check.out.isEmpty(), qPrintable(check.out));

        QCOMPARE(faults::digest(file), before);
        QCOMPARE(faults::filesIn(db.dir()), filesBefore); // no journal, nothing made
    }
};

QTEST_MAIN(tst_damagedfile)
#include "tst_damagedfile.moc"
