// The database layer and the shared connection: opening, failing to open, counting,
// bound parameters, and writes that survive a kill.

#include "modul/cardmodul.h"
#include "modul/tables.h"
#include "platform/adodb.h"
#include "platform/clock.h"
#include "tests/support/testsupport.h"
#include "widgets/modulboxes.h"

#define SQLITE_HAS_CODEC 1
#include <sqlcipher/sqlite3.h>

#include <QCryptographicHash>
#include <QFile>
#include <QStringDecoder>
#include <QTest>

#include <csignal>
#include <unistd.h>

using namespace Qt::StringLiterals;
using testsupport::box;
using testsupport::TempDb;

namespace {

QByteArray digest(const QString& file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return "absent";
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

msgbox::Box connectionError(const QString& text)
{
    return box(text, msgbox::Buttons::OK, msgbox::Icon::Exclamation, false, u"Connection Error"_s);
}

void writeFile(const QString& file, const QByteArray& bytes)
{
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

} // namespace

class tst_adodb : public testsupport::BoxTest {
    Q_OBJECT
    void initTest() override { adodb::Connection::setBusyTimeout(200); }
    void cleanupTest() override { adodb::Connection::setBusyTimeout(3000); }

private Q_SLOTS:
    void connectionText_isBuiltBesideTheExecutable()
    {
        TempDb db(false);
        QCOMPARE(cardmodul::connectionText(),
                 u"Provider=Microsoft.Jet.OLEDB.4.0;Persist Security Info=false;Data Source="_s +
                     db.dir() + u"/ctsource.mdb;Jet OLEDB:Database password = q4u4-b7d7-h252;"_s);
        const auto ct = adodb::ConnectionText::parse(
            u"Provider=Microsoft.Jet.OLEDB.4.0;Persist Security Info=false;Data Source=D:\\work\\ctsource.mdb;Jet OLEDB:Database password = q4u4-b7d7-h252;"_s);
        QCOMPARE(ct.dataSource, u"D:\\work\\ctsource.mdb"_s);
        QCOMPARE(ct.password, u"q4u4-b7d7-h252"_s);
        // A directory with ';' in its name is still one data source.
        QCOMPARE(adodb::ConnectionText::parse(
                     u"Data Source=/a;b/ctsource.mdb;Jet OLEDB:Database password = x;"_s)
                     .dataSource,
                 u"/a;b/ctsource.mdb"_s);
    }

    void opendb_succeedsSilentlyOnAFreshFile()
    {
        TempDb db;
        QVERIFY(cardmodul::opendb());
        QVERIFY(cardmodul::dbconn().isOpen());
        CT_VERIFY_BOXES(boxes());
    }

    void opendb_failures_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("expected"); // %1 = the file
        QTest::newRow("missing") << u"missing"_s
                                 << u"找不到数据库文件“%1”。还没有数据库时，可以运行“ctdb init”"
                                    "在程序所在的目录里创建一个空数据库。"_s;
        QTest::newRow("wrong password")
            << u"wrongkey"_s
            << u"数据库密码不正确，或“%1”不是本程序的数据库文件（file is encrypted or is not a database）。"_s;
        QTest::newRow("foreign file")
            << u"foreign"_s
            << u"数据库密码不正确，或“%1”不是本程序的数据库文件（file is encrypted or is not a database）。"_s;
        QTest::newRow("zero length")
            << u"empty"_s << u"数据库文件“%1”是空文件（0 字节），不是数据库。"_s;
        QTest::newRow("plain sqlite")
            << u"plain"_s << u"“%1”是未加密的 SQLite 文件，不是本程序带密码的数据库。"_s;
        QTest::newRow("directory")
            << u"directory"_s << u"“%1”不是数据库文件，而是一个目录或设备。"_s;
        QTest::newRow("locked")
            << u"locked"_s
            << u"数据库文件“%1”正被另一个程序锁定，请稍后再试（database is locked）。"_s;
    }

    // Each failure: one Connection Error box naming the file and the cause, false, and the
    // file exactly as it was (or still absent).
    void opendb_failures()
    {
        QFETCH(QString, kind);
        QFETCH(QString, expected);
        TempDb db(false);
        const QString file = db.file();
        sqlite3* holder = nullptr;
        if (kind == u"wrongkey") {
            adodb::Connection::create(file, u"another-password"_s, tables::schemaStatements());
        } else if (kind == u"foreign") {
            QByteArray junk(8192, '\0');
            for (int i = 0; i < junk.size(); ++i)
                junk[i] = char((i * 7919) % 251);
            writeFile(file, junk);
        } else if (kind == u"empty") {
            writeFile(file, {});
        } else if (kind == u"plain") {
            sqlite3* p = nullptr;
            QCOMPARE(sqlite3_open(QFile::encodeName(file).constData(), &p), SQLITE_OK);
            QCOMPARE(sqlite3_exec(p, "create table t(x)", nullptr, nullptr, nullptr), SQLITE_OK);
            sqlite3_close(p);
        } else if (kind == u"directory") {
            QVERIFY(QDir().mkdir(file));
        } else if (kind == u"locked") {
            cardmodul::createDatabase(file);
            QCOMPARE(sqlite3_open(QFile::encodeName(file).constData(), &holder), SQLITE_OK);
            sqlite3_key(holder, "q4u4-b7d7-h252", 14);
            sqlite3_exec(holder, "PRAGMA cipher_page_size = 4096", nullptr, nullptr, nullptr);
            QCOMPARE(sqlite3_exec(holder, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
        }
        const QByteArray before = kind == u"directory" ? QByteArray("dir") : digest(file);

        boxes().expect(connectionError(expected.arg(file)));
        QVERIFY(!cardmodul::opendb());
        QVERIFY(!cardmodul::dbconn().isOpen());
        CT_VERIFY_BOXES(boxes());
        if (holder) {
            sqlite3_exec(holder, "ROLLBACK", nullptr, nullptr, nullptr);
            sqlite3_close(holder);
        }
        if (kind != u"directory")
            QCOMPARE(digest(file), before);
        if (kind == u"missing")
            QVERIFY(!QFile::exists(file));
    }

    // Damage inside a file that still opens is found by the check after start-up, on
    // another thread, and told once; a sound file tells nothing.
    void startupCheck_tellsOfDamageOnce_data()
    {
        QTest::addColumn<bool>("damaged");
        QTest::newRow("sound") << false;
        QTest::newRow("last page overwritten") << true;
    }
    void startupCheck_tellsOfDamageOnce()
    {
        QFETCH(bool, damaged);
        TempDb db;
        auto& c = db.check();
        c.Execute(u"BEGIN"_s);
        for (int i = 0; i < 400; ++i)
            c.Execute(u"insert into cardtab (full_nam, note) values (?, ?)"_s,
                      {QString::number(i), QString(200, QChar(u'注'))});
        c.Execute(u"COMMIT"_s);
        if (damaged) {
            QFile f(db.file());
            QVERIFY(f.open(QIODevice::ReadWrite));
            QVERIFY(f.seek(f.size() - 2000));
            f.write(QByteArray(100, '\x5a'));
        }
        if (damaged)
            boxes().expectBeginning(
                box(u"数据库文件“%1”已经损坏：检查时发现了问题。请不要继续在里面写入："
                    "退出程序，用“ctdb restore”从程序目录下 backups 里最近的备份恢复，"
                    "或者找人帮忙。\n（"_s.arg(db.file()),
                    msgbox::Buttons::OK, msgbox::Icon::Critical));
        cardmodul::preopen(cardmodul::tellDamage);
        QVERIFY(cardmodul::opendb());         // the file still opens
        QVERIFY(cardmodul::earlyDone(60000)); // the check is over, a damage it found posted
        QCoreApplication::sendPostedEvents();
        QCOMPARE(boxes().seen().size(), damaged ? 1 : 0);
        cardmodul::resetdb();
        QCoreApplication::processEvents();
        QCOMPARE(boxes().seen().size(), damaged ? 1 : 0);
    }

    void opendb_refusesAFileItCannotWrite()
    {
        if (::geteuid() == 0)
            QSKIP("file permissions do not bind root");
        TempDb db;
        QFile::setPermissions(db.file(), QFile::ReadOwner);
        boxes().expect(connectionError(
            u"没有读写数据库文件“%1”的权限（Permission denied）。"_s.arg(db.file())));
        QVERIFY(!cardmodul::opendb());
        CT_VERIFY_BOXES(boxes());
    }

    void reccount_countsAndLeavesTheSetAfterItsEnd()
    {
        TempDb db;
        db.openShared();
        adodb::Recordset rs;
        rs.Open(u"select * from daily_tab"_s, cardmodul::dbconn());
        QCOMPARE(cardmodul::reccount(rs), 0);
        for (const char* d : {"2026-01-01", "2026-01-02", "2026-01-03"})
            cardmodul::dbconn().Execute(u"insert into daily_tab values(?, 'x')"_s,
                                        {QString::fromLatin1(d)});
        rs.Open(u"select * from daily_tab"_s, cardmodul::dbconn());
        QCOMPARE(cardmodul::reccount(rs), 3);
        QVERIFY(rs.eof());
        QCOMPARE(cardmodul::reccount(rs), 0); // already past the end
        rs.MoveFirst();
        QCOMPARE(rs.Fields(u"daily_date"_s).text(), u"2026-01-01"_s);
    }

    // Counts are not 16-bit: 40,000 rows count as 40,000.
    void reccount_holdsMoreThan32767Rows()
    {
        TempDb db;
        db.openShared();
        auto& c = cardmodul::dbconn();
        c.Execute(u"BEGIN"_s);
        for (int i = 0; i < 40000; ++i)
            c.Execute(u"insert into meet_tab (meet_cont, go_hour, go_second) values (?, 9, 30)"_s,
                      {QString::number(i)});
        c.Execute(u"COMMIT"_s);
        adodb::Recordset rs;
        rs.Open(u"select * from meet_tab"_s, c);
        QCOMPARE(cardmodul::reccount(rs), 40000);
    }

    void dateTexts_data()
    {
        QTest::addColumn<QDate>("today");
        QTest::addColumn<QString>("todayText");
        QTest::addColumn<QString>("yesterdayText");
        QTest::newRow("1 March, leap year")
            << QDate(2024, 3, 1) << u"2024-03-01"_s << u"2024-02-29"_s;
        QTest::newRow("1 March") << QDate(2026, 3, 1) << u"2026-03-01"_s << u"2026-02-28"_s;
        QTest::newRow("1 January") << QDate(2027, 1, 1) << u"2027-01-01"_s << u"2026-12-31"_s;
    }

    void dateTexts()
    {
        QFETCH(QDate, today);
        QFETCH(QString, todayText);
        QFETCH(QString, yesterdayText);
        QCOMPARE(cardmodul::datetext(today), todayText);
        QCOMPARE(cardmodul::datetext(today.addDays(-1)), yesterdayText);

        // The diary checks look for exactly these texts.
        TempDb db;
        db.openShared();
        ctclock::FixedClock clock(QDateTime(today, QTime(10, 0)));
        QVERIFY(!cardmodul::yestexist());
        QVERIFY(!cardmodul::todayexist());
        db.exec(u"insert into daily_tab values(?, 'y')"_s, {yesterdayText});
        QVERIFY(cardmodul::yestexist());
        QVERIFY(!cardmodul::todayexist());
        db.exec(u"insert into daily_tab values(?, 't')"_s, {todayText});
        QVERIFY(cardmodul::todayexist());
    }

    void typedDates_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored");
        QTest::newRow("short month and day") << u"2026-12-8"_s << u"2026-12-08"_s;
        QTest::newRow("slashes") << u"2026/12/08"_s << u"2026-12-08"_s;
        QTest::newRow("already a date text") << u"2026-12-08"_s << u"2026-12-08"_s;
        QTest::newRow("blanks around") << u" 2026-1-2 "_s << u"2026-01-02"_s;
        QTest::newRow("no such day") << u"2026-02-30"_s << u"2026-02-30"_s;
        QTest::newRow("mixed separators") << u"2026-12/08"_s << u"2026-12/08"_s;
        QTest::newRow("two-digit year") << u"26-12-08"_s << u"26-12-08"_s;
        QTest::newRow("words") << u"明天"_s << u"明天"_s;
        QTest::newRow("empty") << QString() << QString();
    }

    void typedDates()
    {
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        QCOMPARE(cardmodul::normdate(typed), stored);
    }

    // Any character goes in and comes back exactly, and never alters the statement.
    void boundParameters_roundTripAnyText()
    {
        TempDb db;
        db.openShared();
        const QStringList texts = {u"O'Brien"_s,     u"100%_done"_s,
                                   u"a;b\"c"_s,      u"'); drop table daily_tab; --"_s,
                                   u"笑😀\u0000尾"_s, u"line1\nline2\r\n"_s};
        int i = 0;
        for (const QString& t : texts)
            cardmodul::dbconn().Execute(u"insert into daily_tab values(?, ?)"_s,
                                        {QString::number(i++), t});
        QCOMPARE(db.count(u"daily_tab"_s), texts.size());
        for (int k = 0; k < texts.size(); ++k)
            QCOMPARE(db.rows(u"select daily_desc from daily_tab where daily_date=?"_s,
                             {QString::number(k)})
                         .value(0)
                         .value(0),
                     texts[k]);
    }

    // Texts go to the engine as UTF-8: a leading U+FEFF or U+FFFE is text like any other,
    // never taken for a byte-order mark, and nothing is swapped, lost or added.
    void boundText_isStoredExactly_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("U+FEFF first") << QString(u"\uFEFF日记"_s);
        QTest::newRow("U+FFFE first") << QString(u"\uFFFE日记"_s);
        QTest::newRow("U+FFFE alone") << QString(QChar(0xFFFE));
        QTest::newRow("U+FEFF in the middle") << QString(u"前\uFEFF后"_s);
        QTest::newRow("U+0000 inside") << QString(u"a"_s + QChar(0) + u"b"_s);
        QTest::newRow("emoji with skin tone") << u"👍🏽👩🏿‍💻"_s;
        QTest::newRow("right to left") << u"שלום مرحبا"_s;
    }
    void boundText_isStoredExactly()
    {
        QFETCH(QString, text);
        TempDb db;
        db.openShared();
        cardmodul::dbconn().Execute(u"insert into daily_tab values('d', ?)"_s, {text});
        QCOMPARE(db.rows(u"select daily_desc from daily_tab"_s).value(0).value(0), text);
        QCOMPARE(db.rows(u"select count(*) from daily_tab where daily_desc = ?"_s, {text})
                     .value(0)
                     .value(0),
                 u"1"_s);
    }

    // A lone surrogate cannot be stored as it is: refused with its own number and a
    // description that says which character, nothing written.
    void boundText_loneSurrogateIsRefused()
    {
        TempDb db;
        db.openShared();
        const QString text = u"前"_s + QChar(0xD83D) + u"后"_s;
        try {
            cardmodul::dbconn().Execute(u"insert into daily_tab values('d', ?)"_s, {text});
            QFAIL("stored");
        } catch (const adodb::Error& e) {
            QCOMPARE(e.number(), int(adodb::ErrUnstorableText));
            QCOMPARE(e.description(),
                     u"文本中第 2 个字符（U+D83D）是不成对的代理码元，无法按原样保存，"
                     "什么也没有写入。请删去这个字符后再试。"_s);
        }
        QCOMPARE(db.count(u"daily_tab"_s), 0);
    }

    void recordset_nullsAndMoves()
    {
        TempDb db;
        db.openShared();
        auto& c = cardmodul::dbconn();
        adodb::Recordset rs;
        rs.Open(u"select * from meet_tab"_s, c);
        QVERIFY(rs.eof() && rs.bof());
        QVERIFY_THROWS_EXCEPTION(adodb::Error, rs.MoveFirst());
        QCOMPARE(c.Execute(u"insert into meet_tab (meet_cont) values (?)"_s, {u"例会"_s}), 1);
        rs.Open(u"select * from meet_tab"_s, c);
        QCOMPARE(rs.fieldCount(), 7);
        QVERIFY(!rs.eof() && !rs.bof());
        QCOMPARE(rs.Fields(2).text(), u"例会"_s);
        QVERIFY(rs.Fields(u"meet_addr"_s).isNull());
        QVERIFY(!rs.Fields(u"meet_addr"_s).Value().isValid());
        QVERIFY_THROWS_EXCEPTION(adodb::Error, rs.Fields(u"meet_addr"_s).text());
        rs.MoveNext();
        QVERIFY(rs.eof());
        QVERIFY_THROWS_EXCEPTION(adodb::Error, rs.Fields(0).text());
        // A statement the engine refuses carries its number and description.
        try {
            c.Execute(u"insert into nowhere values(1)"_s);
            QFAIL("no error");
        } catch (const adodb::Error& e) {
            QCOMPARE(e.number(), SQLITE_ERROR);
            QVERIFY(e.description().contains(u"nowhere"_s));
        }
    }

    // Bytes that are not UTF-8 (written by another program) are read as the standard
    // decoder reads them: every malformed sequence becomes U+FFFD, never a surrogate or
    // a character that was not there; well-formed text around it, a leading U+FEFF
    // included, comes back as it was.
    void recordset_readsMalformedUtf8AsReplacementCharacters_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("expected");
        const QString r(QChar(0xFFFD));
        QTest::newRow("well formed") << QByteArray("a\xe5\xbc\xa0\xf0\x9f\x98\x80") << u"a张😀"_s;
        QTest::newRow("leading BOM kept") << QByteArray("\xef\xbb\xbfx") << QString(u"\uFEFFx"_s);
        QTest::newRow("encoded surrogate") << QByteArray("a\xed\xa0\x80"
                                                         "b")
                                           << u"a"_s + r + r + r + u"b"_s;
        QTest::newRow("overlong slash") << QByteArray("\xc0\xafz") << r + r + u"z"_s;
        QTest::newRow("past U+10FFFF") << QByteArray("\xf4\x90\x80\x80") << r + r + r + r;
        QTest::newRow("lone continuation") << QByteArray("\x80\xe5\xbc\xa0") << r + u"张"_s;
        QTest::newRow("cut at the end") << QByteArray("\xe5\xbc") << r + r;
    }
    void recordset_readsMalformedUtf8AsReplacementCharacters()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, expected);
        TempDb db;
        db.openShared();
        auto& c = cardmodul::dbconn();
        // The bytes go in as a blob literal cast to text: no decoding on the way in.
        c.Execute(u"insert into daily_tab values('d', cast(x'%1' as text))"_s.arg(
            QString::fromLatin1(bytes.toHex())));
        adodb::Recordset rs;
        rs.Open(u"select daily_desc from daily_tab"_s, c);
        QCOMPARE(rs.Fields(0).text(), expected);
        // The same as the standard decoder given the text alone, unit for unit.
        QStringDecoder reference(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless |
                                                           QStringDecoder::Flag::ConvertInitialBom);
        QCOMPARE(rs.Fields(0).text(), QString(reference.decode(bytes)));
    }

    // A result too large for one piece is decoded beside the stepping; every row comes
    // back whole and in order, Null cells included.
    void recordset_largeResultComesBackWhole()
    {
        TempDb db;
        db.openShared();
        auto& c = cardmodul::dbconn();
        c.Execute(u"BEGIN"_s);
        const int n = 6000;
        for (int i = 0; i < n; ++i)
            c.Execute(u"insert into meet_tab (meet_cont, meet_addr) values (?, ?)"_s,
                      {QString(u"第%1次会议"_s.arg(i) + QString(60, QChar(u'议'))),
                       i % 7 == 0 ? QVariant() : QVariant(u"会议室%1"_s.arg(i))});
        c.Execute(u"COMMIT"_s);
        adodb::Recordset rs;
        rs.Open(u"select meet_serno, meet_cont, meet_addr from meet_tab order by meet_serno"_s, c);
        QCOMPARE(rs.recordCount(), n);
        for (int i = 0; i < n; ++i, rs.MoveNext()) {
            QCOMPARE(rs.Fields(1).text(), u"第%1次会议"_s.arg(i) + QString(60, QChar(u'议')));
            QCOMPARE(rs.Fields(2).isNull(), i % 7 == 0);
            if (i % 7 != 0)
                QCOMPARE(rs.Fields(2).text(), u"会议室%1"_s.arg(i));
        }
    }

    // A table read in batches: every row once, in order and whole, Null cells and
    // malformed bytes as the record set has them; a fault of the statement is thrown.
    void batchReader_givesEveryRowOnceInBatches()
    {
        TempDb db;
        db.openShared();
        auto& c = cardmodul::dbconn();
        c.Execute(u"BEGIN"_s);
        const int n = 2500;
        for (int i = 0; i < n; ++i)
            c.Execute(
                u"insert into meet_tab (meet_cont, meet_addr) values (?, ?)"_s,
                {u"第%1次会议"_s.arg(i), i % 7 == 0 ? QVariant() : QVariant(u"室%1"_s.arg(i))});
        c.Execute(
            u"update meet_tab set meet_addr = cast(x'80e5bca0' as text) where meet_serno = 5"_s);
        c.Execute(u"COMMIT"_s);
        adodb::BatchReader reader(
            c, u"select meet_cont, meet_addr from meet_tab order by meet_serno"_s);
        int row = 0;
        std::vector<int> sizes;
        while (true) {
            const ct::CellTable batch = reader.next(1000);
            if (batch.rowCount() == 0)
                break;
            sizes.push_back(batch.rowCount());
            QCOMPARE(batch.columnCount(), 2);
            for (int r = 0; r < batch.rowCount(); ++r, ++row) {
                QCOMPARE(batch.view(r, 0), u"第%1次会议"_s.arg(row));
                QCOMPARE(batch.isNull(r, 1), row % 7 == 0);
                if (row == 4)
                    QCOMPARE(batch.text(r, 1), QString(QChar(0xFFFD)) + u"张"_s);
                else if (row % 7 != 0)
                    QCOMPARE(batch.view(r, 1), u"室%1"_s.arg(row));
            }
        }
        QCOMPARE(sizes, (std::vector<int>{1000, 1000, 500}));
        QCOMPARE(reader.next(1000).rowCount(), 0); // and stays done

        adodb::BatchReader failing(
            c, u"select abs(-9223372036854775807 - meet_serno) from meet_tab"_s);
        QVERIFY_THROWS_EXCEPTION(adodb::Error, failing.next(10));
        QVERIFY_THROWS_EXCEPTION(adodb::Error, adodb::BatchReader(c, u"select * from nowhere"_s));
    }

    void closedConnection_failsEveryStatement()
    {
        TempDb db;
        adodb::Connection c;
        QVERIFY_THROWS_EXCEPTION(adodb::Error, c.Execute(u"select 1"_s));
        adodb::Recordset rs;
        QVERIFY_THROWS_EXCEPTION(adodb::Error, rs.Open(u"select 1"_s, c));
    }

    void create_refusesToOverwrite()
    {
        TempDb db;
        const QByteArray before = digest(db.file());
        QVERIFY_THROWS_EXCEPTION(adodb::Error, cardmodul::createDatabase(db.file()));
        QCOMPARE(digest(db.file()), before);
        QFile f(db.file());
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY(!f.read(16).startsWith("SQLite format 3"));
    }

    // A write that returned is on disk: a kill right after it loses nothing.
    void acknowledgedWrite_survivesAKill()
    {
        TempDb db;
        int fds[2];
        QCOMPARE(::pipe(fds), 0);
        testsupport::Forked child([&fds] {
            ::close(fds[0]);
            adodb::Connection c;
            c.Open(cardmodul::connectionText());
            c.Execute(u"insert into daily_tab values('2026-12-08', '写完即存')"_s);
            [[maybe_unused]] const auto n = ::write(fds[1], "w", 1);
            ::pause();
            return 0;
        });
        ::close(fds[1]);
        char c = 0;
        const ssize_t n = ::read(fds[0], &c, 1);
        ::close(fds[0]);
        QCOMPARE(n, ssize_t(1));
        ::kill(child.pid(), SIGKILL);
        QCOMPARE(child.wait(), -1);
        QCOMPARE(db.rows(u"select daily_desc from daily_tab"_s),
                 (QList<QStringList>{{u"写完即存"_s}}));
    }
};

QTEST_GUILESS_MAIN(tst_adodb)
#include "tst_adodb.moc"
