// ctdb as a user runs it: init, check, backup, restore, export and import, and its
// refusals. Each case runs the real program on databases of its own.

#include "modul/backups.h"
#include "modul/cardmodul.h"
#include "modul/cardtab.h"
#include "modul/dailytab.h"
#include "modul/meettab.h"
#include "modul/tables.h"
#include "platform/dblock.h"
#include "tests/support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {
struct Run {
    int code;
    QString out;
    QString err;
    QByteArray bytes; // standard output as written
};

// Runs ctdb to its end; `at` sets the wall clock it sees (libfaketime).
Run ctdb(const QStringList& args, const QByteArray& input = {}, const QString& at = {})
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"TZ"_s, u"Asia/Shanghai"_s);
    if (!at.isEmpty()) {
        env.insert(u"LD_PRELOAD"_s, u"/usr/lib/x86_64-linux-gnu/faketime/libfaketimeMT.so.1"_s);
        env.insert(u"FAKETIME"_s, u'@' + at);
        // Under AddressSanitizer its runtime need not come first when libfaketime is preloaded.
        const QString asan = env.value(u"ASAN_OPTIONS"_s);
        env.insert(u"ASAN_OPTIONS"_s,
                   (asan.isEmpty() ? QString() : asan + u':') + u"verify_asan_link_order=0"_s);
    }
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(CT_CTDB), args);
    if (!p.waitForStarted(10000))
        qFatal("ctdb did not start");
    p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(60000))
        qFatal("ctdb hung");
    const QByteArray out = p.readAllStandardOutput();
    return {p.exitCode(), QString::fromUtf8(out), QString::fromUtf8(p.readAllStandardError()), out};
}

QByteArray bytesOf(const QString& file)
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString& file, const QByteArray& bytes)
{
    QFile f(file);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(file));
}

// A database of its own in a folder of its own (not the one appinfo points at).
struct Db {
    QTemporaryDir dir;
    Db() { cardmodul::createDatabase(file()); }
    adodb::Connection& conn()
    {
        if (!m_conn) {
            m_conn = std::make_unique<adodb::Connection>();
            m_conn->Open(cardmodul::connectionText(file()));
        }
        return *m_conn;
    }
    void close() { m_conn.reset(); }
    QString path() const { return dir.path(); }
    QString file() const { return dir.path() + u"/ctsource.mdb"_s; }
    QList<QStringList> rows(const QString& sql)
    {
        adodb::Recordset rs;
        rs.Open(sql, conn());
        QList<QStringList> out;
        for (; !rs.eof(); rs.MoveNext()) {
            QStringList row;
            for (int c = 0; c < rs.fieldCount(); ++c)
                row << (rs.Fields(c).isNull() ? u"<NULL>"_s : rs.Fields(c).text());
            out << row;
        }
        return out;
    }
    QStringList names()
    {
        QStringList out;
        for (const QStringList& r : rows(u"select full_nam from cardtab order by serno"_s))
            out << cardmodul::namcode(r[0]);
        return out;
    }
    void addCard(const QString& name, const QString& note = {})
    {
        QStringList values{cardmodul::namcode(name)};
        for (int c = 2; c < tables::kCardColumns; ++c)
            values << (c == tables::card::note ? note : QString());
        cardtab::add(conn(), values);
    }

private:
    std::unique_ptr<adodb::Connection> m_conn;
};

// Cards and meetings with every character the formats must carry.
void fillTricky(Db& db)
{
    QStringList values{cardmodul::namcode(u"O'Brien, \"Bob\"; 测试"_s)};
    for (int c = 2; c < tables::kCardColumns; ++c)
        values << u"列%1：逗号, 引号\" 分号; 反斜杠\\ 😀"_s.arg(c);
    values[tables::card::note - 1] = u"第一行\n第二行\n"_s;
    values[tables::card::glender - 1] = u"女"_s;
    cardtab::add(db.conn(), values);
    db.addCard(u"一二三四五六七八九十"_s);                  // ten characters
    db.addCard(u"欧阳一二三四五六七八九十"_s, u"长名字"_s); // longer, from a file
    db.addCard(u"空"_s);                                    // empty columns
    meettab::add(db.conn(), {u"2024-03-01"_s, u"周会, \"全体\"; 总结\n第二行😀"_s, u"三楼;会议室"_s,
                             u"2024-03-05"_s, u"9"_s, u"5"_s});
    meettab::add(db.conn(),
                 {u"2024-03-01"_s, u"全天"_s, QString(), u"2024-03-06"_s, QString(), QString()});
    meettab::add(db.conn(),
                 {u"2024-03-02"_s, QString(), u"O'Hare"_s, u"2024-12-31"_s, u"23"_s, u"59"_s});
}

const QString kCardsAll = u"select * from cardtab order by serno"_s;
// The wall clock of the producers' scenarios (expected.json).
const QString kProducersToday = u"2024-06-01 12:00:00"_s;
const QString kMeetingsAll = u"select * from meet_tab order by meet_serno"_s;

// A record as a person reads it: "heading：value" of its non-empty columns, by the list
// headings (a meeting's departure as the meeting list shows it).
QString rowText(const QList<std::pair<QString, QString>>& columns)
{
    QStringList parts;
    for (const auto& [heading, value] : columns)
        if (!value.isEmpty())
            parts << heading + u"："_s + value;
    return parts.join(u" | "_s);
}

QStringList storedCards(Db& db)
{
    QStringList out;
    for (const QStringList& r : db.rows(kCardsAll)) {
        QList<std::pair<QString, QString>> columns;
        for (int c = 1; c < tables::kCardColumns; ++c) {
            QString v = r[c] == u"<NULL>" ? QString() : r[c];
            if (c == tables::kCardNameColumn)
                v = cardmodul::namcode(v);
            columns.push_back({tables::cardHeadings()[std::size_t(c)], v});
        }
        out << rowText(columns);
    }
    return out;
}

const std::array<QString, 5> kMeetingHeadings = {u"纪录日期"_s, u"会议主题"_s, u"会议地址"_s,
                                                 u"会议日期"_s, u"出发时间"_s};

QStringList storedMeetings(Db& db)
{
    QStringList out;
    for (const QStringList& r : db.rows(kMeetingsAll)) {
        auto v = [&](int c) { return r[c] == u"<NULL>" ? QString() : r[c]; };
        using namespace tables::meet;
        const QString departure =
            r[go_hour] == u"<NULL>" ? QString() : meettab::departure(v(go_hour), v(go_second));
        out << rowText({{kMeetingHeadings[0], v(record_date)},
                        {kMeetingHeadings[1], v(meet_cont)},
                        {kMeetingHeadings[2], v(meet_addr)},
                        {kMeetingHeadings[3], v(meet_date)},
                        {kMeetingHeadings[4], departure}});
    }
    return out;
}

// A row of expected.json in the same form.
QString expectedRow(const QJsonObject& o, bool cards)
{
    QList<std::pair<QString, QString>> columns;
    if (cards) {
        for (int c = 1; c < tables::kCardColumns; ++c) {
            const QString& h = tables::cardHeadings()[std::size_t(c)];
            columns.push_back({h, o.value(h).toString()});
        }
    } else {
        for (const QString& h : kMeetingHeadings)
            columns.push_back({h, o.value(h).toString()});
    }
    return rowText(columns);
}

} // namespace

class tst_ctdb : public QObject {
    Q_OBJECT
    QTemporaryDir m_runtime; // the single-instance lock of these runs

private Q_SLOTS:
    void initTestCase()
    {
        QFile::setPermissions(m_runtime.path(),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime.path()));
    }

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

    // ---- export and import ----------------------------------------------------------

    // Export, import into an empty database, export again: the same file, the same rows.
    void roundTrip_exportImportExportGivesTheSameFile_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("options");
        QTest::newRow("cards vCard") << u"cards"_s << u"c.vcf"_s << QStringList();
        QTest::newRow("cards CSV") << u"cards"_s << u"c.csv"_s << QStringList();
        QTest::newRow("cards CSV GB18030")
            << u"cards"_s << u"c.csv"_s << QStringList{u"--encoding"_s, u"gb18030"_s};
        QTest::newRow("meetings iCalendar") << u"meetings"_s << u"m.ics"_s << QStringList();
        QTest::newRow("meetings CSV") << u"meetings"_s << u"m.csv"_s << QStringList();
        QTest::newRow("diary Markdown") << u"diary"_s << u"d.md"_s << QStringList();
    }
    void roundTrip_exportImportExportGivesTheSameFile()
    {
        QFETCH(QString, table);
        QFETCH(QString, name);
        QFETCH(QStringList, options);
        Db a;
        fillTricky(a);
        const QDateTime now(QDate(2024, 3, 2), QTime(9, 0));
        for (const auto& [date, text] :
             {std::pair{u"2024-03-01"_s,
                        u"# 标题？\n> 引用\n- 列表\n1. 编号\n  缩进 *强调* `代码` <b>&amp;\\"_s},
              std::pair{u"2024-03-02"_s, u"\n空行开头\n\n结尾换行\n"_s}})
            dailytab::save(a.conn(), date, text, dailytab::Save::Replace, now);
        Db b;
        QTemporaryDir files;
        const QString first = files.path() + u"/1-"_s + name;
        const QString second = files.path() + u"/2-"_s + name;
        Run r = ctdb(QStringList{u"export"_s, table, first, a.path()} + options);
        QVERIFY2(r.code == 0, qPrintable(r.err));
        r = ctdb(QStringList{u"import"_s, table, first, b.path()} + options);
        QVERIFY2(r.code == 0, qPrintable(r.err));
        r = ctdb(QStringList{u"export"_s, table, second, b.path()} + options);
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QCOMPARE(bytesOf(second), bytesOf(first));
        const QString all = table == u"cards" ? kCardsAll
                            : table == u"meetings"
                                ? kMeetingsAll
                                : u"select * from daily_tab order by daily_date"_s;
        QCOMPARE(b.rows(all), a.rows(all));
    }

    // Every exported card and meeting carries a UID: the same for a record in every export,
    // another in another database. An import remembers the UIDs it read: importing the file
    // again adds nothing; a record whose UID is known but whose content differs is passed
    // over and counted, and replaces the stored one only with --update; a record deleted
    // since comes in anew.
    void uids_matchRecordsAcrossImports_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("change"); // a statement that changes the first record
        QTest::addColumn<QString>("remove"); // one that deletes the first record
        QTest::newRow("cards") << u"cards"_s << u"c.vcf"_s
                               << u"update cardtab set Status = '新职称' where serno = 1"_s
                               << u"delete from cardtab where serno = 1"_s;
        QTest::newRow("meetings")
            << u"meetings"_s << u"m.ics"_s
            << u"update meet_tab set meet_addr = '新地点' where meet_serno = 1"_s
            << u"delete from meet_tab where meet_serno = 1"_s;
    }
    void uids_matchRecordsAcrossImports()
    {
        QFETCH(QString, table);
        QFETCH(QString, name);
        QFETCH(QString, change);
        QFETCH(QString, remove);
        const QString all = table == u"cards" ? kCardsAll : kMeetingsAll;
        Db a;
        fillTricky(a);
        Db other;
        fillTricky(other);
        QTemporaryDir files;
        auto exported = [&](Db& db, const QString& file) {
            const Run r = ctdb({u"export"_s, table, file, db.path()});
            if (r.code != 0)
                qFatal("export failed: %s", qPrintable(r.err));
            QByteArrayList uids;
            for (const QByteArray& line : bytesOf(file).split('\n'))
                if (line.startsWith("UID:"))
                    uids << line.trimmed();
            return uids;
        };
        const QString first = files.path() + u"/1-"_s + name;
        const QByteArrayList uids = exported(a, first);
        QCOMPARE(uids.size(), table == u"cards" ? 4 : 3);
        QCOMPARE(exported(a, files.path() + u"/again-"_s + name), uids); // stable
        const QByteArrayList others = exported(other, files.path() + u"/other-"_s + name);
        for (const QByteArray& u : others)
            QVERIFY2(!uids.contains(u), u.constData()); // two databases never share one

        Db b;
        auto import = [&](const QString& file, const QStringList& options = {}) {
            const Run r = ctdb(QStringList{u"import"_s, table, file, b.path()} + options);
            if (r.code != 0)
                qFatal("import failed: %s", qPrintable(r.err));
            return r;
        };
        QVERIFY(import(first).out.contains(u"导入 %1 条"_s.arg(uids.size())));
        const QList<QStringList> stored = b.rows(all);
        Run r = import(first);
        QVERIFY2(r.out.contains(u"导入 0 条"_s) &&
                     r.out.contains(u"%1 条已在数据库里"_s.arg(uids.size())),
                 qPrintable(r.out));
        QCOMPARE(b.rows(all), stored);
        // Imported back into the database it came from: the records are there already.
        r = ctdb({u"import"_s, table, first, a.path()});
        QVERIFY2(r.out.contains(u"导入 0 条"_s), qPrintable(r.out));

        // A newer file: its first record differs from the stored one.
        a.conn().Execute(change);
        const QString newer = files.path() + u"/2-"_s + name;
        QCOMPARE(exported(a, newer), uids);
        r = import(newer);
        QVERIFY2(r.out.contains(u"导入 0 条"_s) &&
                     r.out.contains(u"1 条与数据库里的不同而没有改动（加 --update 更新）"_s),
                 qPrintable(r.out));
        QVERIFY2(r.err.contains(u"--update"_s), qPrintable(r.err));
        QCOMPARE(b.rows(all), stored);
        r = import(newer, {u"--update"_s});
        QVERIFY2(r.out.contains(u"更新 1 条"_s), qPrintable(r.out));
        QCOMPARE(b.rows(all).mid(1), stored.mid(1));
        QCOMPARE(b.rows(all)[0].mid(1), a.rows(all)[0].mid(1));
        // The old file once more: the newer edits stay.
        r = import(first);
        QVERIFY(r.out.contains(u"1 条与数据库里的不同"_s));
        QCOMPARE(b.rows(all)[0].mid(1), a.rows(all)[0].mid(1));

        // A record deleted since comes in again, and keeps its UID.
        b.conn().Execute(remove);
        QVERIFY(import(newer).out.contains(u"导入 1 条"_s));
        const QString again = files.path() + u"/3-"_s + name;
        QByteArrayList back = exported(b, again);
        std::sort(back.begin(), back.end());
        QByteArrayList want = uids;
        std::sort(want.begin(), want.end());
        QCOMPARE(back, want);
    }

    // The diary read back: a date that has no entry is added, the same text is nothing to
    // do, another text is passed over unless --update, which keeps the replaced text in
    // the diary's history.
    void import_diaryFromItsMarkdown()
    {
        Db db;
        const QDateTime now(QDate(2024, 3, 2), QTime(9, 0));
        dailytab::save(db.conn(), u"2024-03-01"_s, u"第一天"_s, dailytab::Save::Replace, now);
        QTemporaryDir files;
        const QString md = files.path() + u"/d.md"_s;
        writeFile(md,
                  "# 工作日记\n\n## 2024-03-01\n\n第一天\n\n## 2024-03-02\n\n\\# 第二天\\\n两行\n");
        Run r = ctdb({u"import"_s, u"diary"_s, md, db.path()});
        QVERIFY2(r.code == 0 && r.out.contains(u"导入 1 条日记，1 条已在数据库里"_s),
                 qPrintable(r.out + r.err));
        QCOMPARE(dailytab::find(db.conn(), u"2024-03-02"_s)->desc,
                 std::optional(u"# 第二天\n两行"_s));
        writeFile(md, "# 工作日记\n\n## 2024-03-01\n\n改过的第一天\n");
        r = ctdb({u"import"_s, u"diary"_s, md, db.path()});
        QVERIFY2(r.out.contains(u"1 条与数据库里的不同"_s), qPrintable(r.out));
        QCOMPARE(dailytab::find(db.conn(), u"2024-03-01"_s)->desc, std::optional(u"第一天"_s));
        r = ctdb({u"import"_s, u"diary"_s, md, u"--update"_s, db.path()});
        QVERIFY2(r.out.contains(u"更新 1 条"_s), qPrintable(r.out));
        QCOMPARE(dailytab::find(db.conn(), u"2024-03-01"_s)->desc,
                 std::optional(u"改过的第一天"_s));
        QCOMPARE(dailytab::history(db.conn(), u"2024-03-01"_s).size(), 1);
    }

    // Many remarks of one kind: the first ten and how many more, all with --verbose.
    void import_manyRemarksAreCountedNotAllShown()
    {
        Db db;
        QTemporaryDir files;
        const QString file = files.path() + u"/dup.csv"_s;
        QByteArray csv = "姓名\r\n";
        for (int i = 0; i < 25; ++i)
            csv += "重名\r\n";
        writeFile(file, csv);
        Run r = ctdb({u"import"_s, u"cards"_s, file, db.path()});
        QVERIFY2(r.out.contains(u"导入 1 条名片，因重名跳过 24 条"_s), qPrintable(r.out));
        QCOMPARE(r.err.count(u"与第 2 行的名片相同"_s), 10);
        QVERIFY2(r.err.contains(u"还有 14 条"_s), qPrintable(r.err));
        Db other;
        r = ctdb({u"import"_s, u"cards"_s, file, u"--verbose"_s, other.path()});
        QCOMPARE(r.err.count(u"与第 2 行的名片相同"_s), 24);
        QVERIFY(!r.err.contains(u"还有"_s));
    }

    // The table is read while the file is written: a page that cannot be read, late in
    // the table, ends the export with the engine's error, and no file cut short is left.
    void export_unreadablePageLeavesNoFile()
    {
        Db db;
        for (int i = 0; i < 3000; ++i)
            db.addCard(u"人%1"_s.arg(i), QString(100, QChar(u'记')));
        db.close();
        QByteArray bytes = bytesOf(db.file());
        QVERIFY(bytes.size() > 100 * 4096);
        bytes.replace(bytes.size() - 4096, 4096, QByteArray(4096, 'Z')); // the newest rows
        writeFile(db.file(), bytes);
        QTemporaryDir files;
        for (const QString& name : {u"x.vcf"_s, u"x.csv"_s}) {
            const QString file = files.path() + u'/' + name;
            const Run r = ctdb({u"export"_s, u"cards"_s, file, db.path()});
            QCOMPARE(r.code, 1);
            QVERIFY2(r.err.contains(u"错误"_s), qPrintable(r.err));
            QVERIFY(!QFile::exists(file));
        }
    }

    void export_diaryAsMarkdown()
    {
        Db db;
        db.conn().Execute(u"insert into daily_tab values ('2024-03-02', '第二天'), ('2024-03-01', "
                          "'第一天\n两行')"_s);
        QTemporaryDir files;
        const QString md = files.path() + u"/d.md"_s;
        QCOMPARE(ctdb({u"export"_s, u"diary"_s, md, db.path()}).code, 0);
        QCOMPARE(QString::fromUtf8(bytesOf(md)),
                 u"# 工作日记\n\n## 2024-03-01\n\n第一天\\\n两行\n\n## 2024-03-02\n\n第二天\n"_s);
    }

    // A broken record in the middle with --strict, or a file cut off inside a record: exit
    // 1, its file and line on standard error, and the database file not changed by a single
    // byte. Without --strict the broken record alone is passed over, its line named.
    void import_brokenRecordInTheMiddleWritesNothing_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("line");
        QTest::newRow("vCard without END")
            << u"cards"_s << u"x.vcf"_s
            << QByteArray("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:甲\r\nEND:VCARD\r\n"
                          "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:乙\r\n"
                          "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:丙\r\nEND:VCARD\r\n")
            << 5;
        QTest::newRow("CSV row with a field missing")
            << u"cards"_s << u"x.csv"_s << QByteArray("姓名,手机\r\n甲,1\r\n乙\r\n丙,3\r\n") << 3;
        QTest::newRow("CSV meeting at 25 o'clock")
            << u"meetings"_s << u"x.csv"_s
            << QByteArray(
                   "会议主题,会议日期,出发时间\r\n甲,2024-01-01,8：00\r\n乙,2024-01-02,25：00\r\n"
                   "丙,2024-01-03,9：00\r\n")
            << 3;
        QTest::newRow("iCalendar event without a start")
            << u"meetings"_s << u"x.ics"_s
            << QByteArray("BEGIN:VCALENDAR\r\nVERSION:2.0\r\n"
                          "BEGIN:VEVENT\r\nUID:1\r\nDTSTART:20240101T080000\r\nEND:VEVENT\r\n"
                          "BEGIN:VEVENT\r\nUID:2\r\nSUMMARY:乙\r\nEND:VEVENT\r\n"
                          "BEGIN:VEVENT\r\nUID:3\r\nDTSTART:20240103T080000\r\nEND:VEVENT\r\n"
                          "END:VCALENDAR\r\n")
            << 7;
        // Faults after batches of rows were stored already (the file is read while the
        // rows go in), in either part of a large vCard file, with a duplicate before them.
        // 12 MB of cards: more than the import keeps in memory, so that pages went to the
        // file before the fault.
        QByteArray csv = "姓名,手机,说明\r\n空,0,\r\n";
        const QByteArray note = QByteArray("说明").repeated(50);
        for (int i = 0; i < 40000; ++i)
            csv += "人" + QByteArray::number(i) +
                   (i == 39000 ? QByteArray("\r\n") : ",1," + note + "\r\n");
        QTest::newRow("CSV fault after 39,000 rows") << u"cards"_s << u"x.csv"_s << csv << 39003;
        auto vcards = [](int cards, int broken) {
            QByteArray v;
            for (int i = 0; i < cards; ++i)
                v += "BEGIN:VCARD\r\nVERSION:4.0\r\nFN:" +
                     (i == 0 ? QByteArray("空") : "人" + QByteArray::number(i)) +
                     "\r\nNOTE:" + QByteArray(200, 'x') + "\r\n" +
                     (i == broken ? "VERSION:9.9\r\n" : "") + "END:VCARD\r\n";
            return v;
        };
        QTest::newRow("vCard fault a third in")
            << u"cards"_s << u"x.vcf"_s << vcards(8000, 2500) << 2500 * 5 + 5;
        QTest::newRow("vCard fault near the end")
            << u"cards"_s << u"x.vcf"_s << vcards(8000, 7000) << 7000 * 5 + 5;
    }
    void import_brokenRecordInTheMiddleWritesNothing()
    {
        QFETCH(QString, table);
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(int, line);
        Db db;
        fillTricky(db);
        QTemporaryDir files;
        const QString file = files.path() + u'/' + name;
        writeFile(file, content);
        const QList<QStringList> cards = db.rows(kCardsAll);
        const QList<QStringList> meetings = db.rows(kMeetingsAll);
        db.close();
        const QByteArray before = bytesOf(db.file());
        const Run r = ctdb({u"import"_s, table, file, u"--strict"_s, db.path()});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains(file + u" 第 %1 行："_s.arg(line)), qPrintable(r.err));
        QVERIFY(r.err.contains(u"没有导入任何记录"_s));
        QVERIFY2(!r.err.contains(u"已有姓名"_s),
                 qPrintable(r.err)); // nothing said of rows not done
        QVERIFY(!QFile::exists(db.file() + u"-journal"_s));
        // Unchanged; a page written and put back by the rollback is encrypted anew, so
        // only an import that kept every page in memory leaves the very same bytes.
        if (content.size() < 4 << 20)
            QCOMPARE(bytesOf(db.file()), before);
        QCOMPARE(QFileInfo(db.file()).size(), before.size());
        QCOMPARE(db.rows(u"PRAGMA integrity_check"_s), QList<QStringList>{{u"ok"_s}});
        QCOMPARE(db.rows(kCardsAll), cards);
        QCOMPARE(db.rows(kMeetingsAll), meetings);

        if (name == u"x.vcf" && line == 5) // cut off: refused with or without --strict
            return;
        if (content.size() >= 4 << 20)
            return;
        const Run forgiving = ctdb({u"import"_s, table, file, db.path()});
        QCOMPARE(forgiving.code, 0);
        QVERIFY2(forgiving.err.contains(file + u" 第 %1 行："_s.arg(line)),
                 qPrintable(forgiving.err));
        QVERIFY2(forgiving.out.contains(u"1 条无法读取而略过"_s), qPrintable(forgiving.out));
    }

    // Files as phones and mail programs write them (tests/tools/data/producers): what is
    // stored is what a person reading the file finds in it; the summary counts what was
    // stored, passed over and expanded; importing the file again adds nothing; --strict
    // refuses a file with a record that cannot be read, writing nothing.
    void producers_storeWhatAPersonFindsInTheFile_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("table");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<bool>("complete"); // rows are all rows, in order (cards)
        QTest::addColumn<int>("added");
        QTest::addColumn<QStringList>("said"); // in the summary or the remarks
        QTest::addColumn<bool>("strictFails");
        QFile f(QStringLiteral(CT_TEST_DATA) + u"/producers/expected.json"_s);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QJsonObject doc = QJsonDocument::fromJson(f.readAll()).object();
        QCOMPARE(doc.value(u"today"_s).toString(), kProducersToday);
        for (const QJsonValue& v : doc.value(u"files"_s).toArray()) {
            const QJsonObject e = v.toObject();
            const bool cards = e.value(u"table"_s).toString() == u"cards";
            const bool complete = e.contains(u"rows"_s);
            QStringList rows;
            for (const QJsonValue& r : e.value(complete ? u"rows"_s : u"rowsInclude"_s).toArray())
                rows << expectedRow(r.toObject(), cards);
            QStringList options;
            for (const QJsonValue& o : e.value(u"options"_s).toArray())
                options << o.toString();
            const int added = e.value(u"added"_s).toInt();
            QStringList said{u"导入 %1 条%2"_s.arg(added).arg(cards ? u"名片"_s : u"会议"_s)};
            if (const int passed = e.value(u"passedOver"_s).toInt())
                said << u"%1 条无法读取而略过"_s.arg(passed);
            if (e.contains(u"recurring"_s)) {
                const QJsonObject rec = e.value(u"recurring"_s).toObject();
                said << u"（其中 %1 条来自 %2 个重复的事件）"_s
                            .arg(rec.value(u"meetings"_s).toInt())
                            .arg(rec.value(u"events"_s).toInt());
            }
            for (const QJsonValue& r : e.value(u"remarks"_s).toArray())
                said << r.toString();
            const QString file = e.value(u"file"_s).toString();
            QTest::newRow(qPrintable(file))
                << file << e.value(u"table"_s).toString() << options << rows << (complete && cards)
                << added << said << (e.value(u"strict"_s).toString() == u"fails");
        }
    }
    void producers_storeWhatAPersonFindsInTheFile()
    {
        QFETCH(QString, file);
        QFETCH(QString, table);
        QFETCH(QStringList, options);
        QFETCH(QStringList, rows);
        QFETCH(bool, complete);
        QFETCH(int, added);
        QFETCH(QStringList, said);
        QFETCH(bool, strictFails);
        const QString path = QStringLiteral(CT_TEST_DATA) + u"/producers/"_s + file;
        const QStringList args = QStringList{u"import"_s, table, path} + options;
        Db db;
        const Run r = ctdb(args + QStringList{db.path()}, {}, kProducersToday);
        QVERIFY2(r.code == 0, qPrintable(r.err));
        for (const QString& s : said)
            QVERIFY2(QString(r.out + r.err).contains(s), qPrintable(s + u"\n"_s + r.out + r.err));
        const QStringList stored = table == u"cards" ? storedCards(db) : storedMeetings(db);
        QCOMPARE(stored.size(), added);
        if (complete) {
            QCOMPARE(stored, rows);
        } else if (table == u"meetings" && rows.size() == added) {
            QStringList a = stored, b = rows;
            a.sort();
            b.sort();
            QCOMPARE(a, b);
        } else {
            for (const QString& row : rows)
                QVERIFY2(stored.contains(row), qPrintable(row));
        }

        // Again: the file's records are there already.
        const Run again = ctdb(args + QStringList{db.path()}, {}, kProducersToday);
        QCOMPARE(again.code, 0);
        QVERIFY2(again.out.contains(u"导入 0 条"_s), qPrintable(again.out + again.err));
        QCOMPARE(table == u"cards" ? storedCards(db) : storedMeetings(db), stored);

        if (strictFails) {
            Db strict;
            const Run s =
                ctdb(args + QStringList{u"--strict"_s, strict.path()}, {}, kProducersToday);
            QCOMPARE(s.code, 1);
            QVERIFY2(s.err.contains(u"没有导入任何记录"_s), qPrintable(s.err));
            QCOMPARE(strict.rows(kCardsAll), QList<QStringList>());
        }
    }

    // The fault in the file is told, not the missing database it would have gone into.
    void import_faultInTheFileIsToldBeforeAMissingDatabase()
    {
        QTemporaryDir nowhere;
        const QString file = nowhere.path() + u"/x.csv"_s;
        writeFile(file, "姓名,手机\r\n甲,1\r\n\"乙,2\r\n"); // cut off inside a quote
        Run r = ctdb({u"import"_s, u"cards"_s, file, nowhere.path()});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains(file + u" 第 3 行："_s), qPrintable(r.err));
        writeFile(file, "姓名,手机\r\n甲,1\r\n");
        r = ctdb({u"import"_s, u"cards"_s, file, nowhere.path()});
        QCOMPARE(r.code, 1);
        QVERIFY2(!r.err.contains(u"第"_s) && r.err.contains(u"错误"_s), qPrintable(r.err));
        QVERIFY(!QFile::exists(nowhere.path() + u"/ctsource.mdb"_s));
    }

    void import_duplicateNamesAreReportedAndSkipped_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<int>("skipped");
        QTest::newRow("skipped") << QStringList() << QStringList{u"张三"_s, u"李四"_s, u"王五"_s}
                                 << 2;
        QTest::newRow("allowed") << QStringList{u"--allow-duplicates"_s}
                                 << QStringList{u"张三"_s, u"张三"_s, u"李四"_s, u"李四"_s,
                                                u"王五"_s}
                                 << 0;
    }
    void import_duplicateNamesAreReportedAndSkipped()
    {
        QFETCH(QStringList, options);
        QFETCH(QStringList, names);
        QFETCH(int, skipped);
        Db db;
        db.addCard(u"张三"_s);
        QTemporaryDir files;
        const QString file = files.path() + u"/dup.csv"_s;
        // Blanks around a name go, as in the card window; the name is compared decoded.
        writeFile(file, "姓名,手机\r\n  张三 ,1\r\n李四,2\r\n李四,3\r\n王五,4\r\n");
        const Run r = ctdb(QStringList{u"import"_s, u"cards"_s, file, db.path()} + options);
        QCOMPARE(r.code, 0);
        QCOMPARE(db.names(), names);
        QVERIFY(
            r.out.contains(u"导入 %1 条名片，因重名跳过 %2 条"_s.arg(4 - skipped).arg(skipped)));
        if (skipped) {
            QVERIFY2(r.err.contains(file + u" 第 2 行：数据库里已有姓名为“张三”的名片"_s),
                     qPrintable(r.err));
            QVERIFY2(r.err.contains(file + u" 第 4 行：姓名“李四”与第 3 行的名片相同"_s),
                     qPrintable(r.err));
        }
    }

    // Cards go in many to a statement: each keeps its values, its column and its place in
    // the file, with duplicates passed over on the way and a remainder at the end.
    void import_manyCardsKeepOrderAndColumns()
    {
        Db db;
        db.addCard(u"人7"_s);
        QTemporaryDir files;
        const QString file = files.path() + u"/many.csv"_s;
        QByteArray csv;
        const auto& headings = tables::cardHeadings();
        for (std::size_t c = 0; c < headings.size(); ++c)
            csv += (c ? "," : "") + headings[c].toUtf8();
        csv += "\r\n";
        QList<QStringList> expected;
        for (int i = 0; i < 100; ++i) {
            const int n = i == 60 ? 3 : i; // 人7 is stored, 人3 comes twice
            QStringList row{QString::number(i), u"人%1"_s.arg(n)};
            for (int c = 2; c < tables::kCardColumns; ++c)
                row << u"%1列%2"_s.arg(i).arg(c);
            csv += row.join(u',').toUtf8() + "\r\n";
            if (n != 7 && i != 60)
                expected << row.mid(1);
        }
        writeFile(file, csv);
        const Run r = ctdb({u"import"_s, u"cards"_s, file, db.path()});
        QCOMPARE(r.code, 0);
        QVERIFY2(r.out.contains(u"导入 98 条名片，因重名跳过 2 条"_s), qPrintable(r.out));
        QList<QStringList> stored = db.rows(kCardsAll).mid(1);
        for (QStringList& row : stored) {
            row.removeFirst(); // the serial number
            row[0] = cardmodul::namcode(row[0]);
        }
        QCOMPARE(stored, expected);
    }

    void import_waitsForAWriterThenFailsWithoutWriting()
    {
        Db db;
        db.addCard(u"甲"_s);
        db.conn().Execute(u"BEGIN IMMEDIATE"_s); // another program is writing
        QTemporaryDir files;
        const QString file = files.path() + u"/x.csv"_s;
        writeFile(file, "姓名\r\n乙\r\n");
        const Run r = ctdb({u"import"_s, u"cards"_s, file, db.path()});
        db.conn().Execute(u"ROLLBACK"_s);
        QCOMPARE(r.code, 1);
        QVERIFY2(
            r.err.contains(u"数据库文件正被另一个程序锁定，请稍后再试（database is locked）"_s),
            qPrintable(r.err));
        QCOMPARE(db.names(), QStringList{u"甲"_s});
    }

    // More than 10,000 records on a terminal: a line that counts; elsewhere none.
    void import_showsProgressOnATerminalOnly()
    {
        Db db;
        QTemporaryDir files;
        const QString file = files.path() + u"/many.csv"_s;
        QByteArray csv = "姓名\r\n";
        for (int i = 0; i < 10001; ++i)
            csv += "人" + QByteArray::number(i) + "\r\n";
        writeFile(file, csv);
        QProcess p; // `script` gives ctdb a terminal
        p.start(u"script"_s, {u"-qec"_s,
                              QStringLiteral(CT_CTDB) + u" import cards --allow-duplicates "_s +
                                  file + u' ' + db.path(),
                              u"/dev/null"_s});
        QVERIFY(p.waitForFinished(60000));
        const QString screen = QString::fromUtf8(p.readAllStandardOutput());
        QCOMPARE(p.exitCode(), 0);
        QVERIFY2(screen.contains(u"正在导入名片：10001 / 10001"_s), qPrintable(screen));
        const Run piped = ctdb({u"export"_s, u"cards"_s, files.path() + u"/out.csv"_s, db.path()});
        QCOMPARE(piped.code, 0);
        QVERIFY(!piped.err.contains(u"正在导出"_s));
        QVERIFY(piped.out.contains(u"已导出 10001 条名片"_s));
    }

    void standardInputAndOutput()
    {
        Db db;
        fillTricky(db);
        Run r = ctdb({u"export"_s, u"cards"_s, u"-"_s, db.path(), u"--format"_s, u"csv"_s});
        QCOMPARE(r.code, 0);
        QVERIFY(r.bytes.startsWith("\xEF\xBB\xBF序号,姓名"));
        QVERIFY(r.err.contains(u"已导出 4 条名片到 标准输出"_s));
        const QByteArray vcards =
            ctdb({u"export"_s, u"cards"_s, u"-"_s, u"--dir"_s, db.path(), u"--format=vcf"_s}).bytes;
        QVERIFY(vcards.startsWith("BEGIN:VCARD\r\n"));
        Db other;
        r = ctdb({u"import"_s, u"cards"_s, u"-"_s, other.path()}, vcards); // found by its content
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QCOMPARE(other.rows(kCardsAll), db.rows(kCardsAll));
    }

    void arguments_wrongOnesExitWith2_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("says");
        QTest::newRow("no command") << QStringList() << u"缺少命令"_s;
        QTest::newRow("unknown option") << QStringList{u"check"_s, u"--fast"_s} << u"--fast"_s;
        QTest::newRow("unknown table")
            << QStringList{u"export"_s, u"notes"_s, u"x.csv"_s} << u"notes"_s;
        QTest::newRow("diary as CSV")
            << QStringList{u"export"_s, u"diary"_s, u"x.csv"_s} << u".md"_s;
        QTest::newRow("--update on export")
            << QStringList{u"export"_s, u"cards"_s, u"x.vcf"_s, u"--update"_s} << u"--update"_s;
        QTest::newRow("--strict on check")
            << QStringList{u"check"_s, u"--strict"_s} << u"--strict"_s;
        QTest::newRow("wrong extension")
            << QStringList{u"export"_s, u"cards"_s, u"x.ics"_s} << u".vcf"_s;
        QTest::newRow("encoding of a vCard")
            << QStringList{u"export"_s, u"cards"_s, u"x.vcf"_s, u"--encoding"_s, u"gb18030"_s}
            << u"--encoding"_s;
        QTest::newRow("unknown encoding")
            << QStringList{u"export"_s, u"cards"_s, u"x.csv"_s, u"--encoding"_s, u"big5"_s}
            << u"big5"_s;
        QTest::newRow("duplicates on export")
            << QStringList{u"export"_s, u"cards"_s, u"x.csv"_s, u"--allow-duplicates"_s}
            << u"--allow-duplicates"_s;
        QTest::newRow("standard output without a format")
            << QStringList{u"export"_s, u"meetings"_s, u"-"_s} << u"--format"_s;
        QTest::newRow("missing input")
            << QStringList{u"import"_s, u"cards"_s, u"/nonexistent/x.vcf"_s} << u"找不到文件"_s;
        QTest::newRow("missing backup")
            << QStringList{u"restore"_s, u"/nonexistent/b.mdb"_s} << u"找不到备份文件"_s;
        QTest::newRow("too many") << QStringList{u"check"_s, u"a"_s, u"b"_s} << u"参数太多"_s;
        QTest::newRow("option without value")
            << QStringList{u"export"_s, u"--format"_s} << u"缺少值"_s;
        QTest::newRow("a month 13")
            << QStringList{u"history"_s, u"2026-13-01"_s} << u"“2026-13-01”不是有效的日期"_s;
        QTest::newRow("a date without dashes")
            << QStringList{u"history"_s, u"20261208"_s} << u"不是有效的日期"_s;
        QTest::newRow("a format given twice")
            << QStringList{u"export"_s,   u"cards"_s, u"x.vcf"_s,
                           u"--format"_s, u"vcf"_s,   u"--format=csv"_s}
            << u"选项 --format 只能给一次"_s;
        QTest::newRow("a directory given twice")
            << QStringList{u"check"_s, u"--dir"_s, u"/a"_s, u"--dir"_s, u"/b"_s}
            << u"选项 --dir 只能给一次"_s;
        QTest::newRow("a flag given twice")
            << QStringList{u"import"_s, u"cards"_s, u"x.vcf"_s, u"--allow-duplicates"_s,
                           u"--allow-duplicates"_s}
            << u"只能给一次"_s;
        QTest::newRow("a sync option given twice")
            << QStringList{u"sync"_s, u"--timeout"_s, u"5"_s, u"--timeout=9"_s}
            << u"选项 --timeout 只能给一次"_s;
        QTest::newRow("a sync option without value")
            << QStringList{u"sync"_s, u"setup"_s, u"--user"_s} << u"--user 后面缺少值"_s;
        QTest::newRow("a directory to import")
            << QStringList{u"import"_s, u"cards"_s, u"/tmp"_s} << u"是一个目录"_s;
    }

    // What the system says is told in Chinese first, its own words in brackets.
    void messages_tellTheSystemsWordsInChinese_data()
    {
        QTest::addColumn<QStringList>("args"); // %1: the database's directory, %2: a free one
        QTest::addColumn<QString>("says");
        QTest::newRow("export into a folder that is not there")
            << QStringList{u"export"_s, u"cards"_s, u"%2/no/x.vcf"_s, u"%1"_s}
            << u"文件或目录不存在（No such file or directory）"_s;
        QTest::newRow("backup onto a dangling link")
            << QStringList{u"backup"_s, u"%2/link.mdb"_s, u"%1"_s} << u"已经存在，不会覆盖"_s;
        QTest::newRow("export onto a dangling link")
            << QStringList{u"export"_s, u"cards"_s, u"%2/link.vcf"_s, u"%1"_s}
            << u"文件已经存在（File exists）"_s;
    }
    void messages_tellTheSystemsWordsInChinese()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, says);
        Db db;
        QTemporaryDir free;
        QVERIFY(QFile::link(free.path() + u"/nowhere"_s, free.path() + u"/link.mdb"_s));
        QVERIFY(QFile::link(free.path() + u"/nowhere"_s, free.path() + u"/link.vcf"_s));
        for (QString& a : args)
            a.replace(u"%1"_s, db.path()).replace(u"%2"_s, free.path());
        const Run r = ctdb(args);
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains(says), qPrintable(r.err));
        QVERIFY(!QFile::exists(free.path() + u"/nowhere"_s));
    }
    void arguments_wrongOnesExitWith2()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, says);
        const Run r = ctdb(args);
        QCOMPARE(r.code, 2);
        QVERIFY2(r.err.contains(says), qPrintable(r.err));
        QVERIFY(r.err.contains(u"--help"_s));
        QVERIFY(r.out.isEmpty());
    }

    void arguments_existingOutputIsNeverReplaced()
    {
        Db db;
        QTemporaryDir files;
        const QString file = files.path() + u"/keep.vcf"_s;
        writeFile(file, "precious");
        const Run r = ctdb({u"export"_s, u"cards"_s, file, db.path()});
        QCOMPARE(r.code, 2);
        QVERIFY(r.err.contains(u"已经存在"_s));
        QCOMPARE(bytesOf(file), QByteArray("precious"));
    }

    void help_onEveryCommand_data()
    {
        QTest::addColumn<QString>("command");
        for (const char* c : {"init", "check", "backup", "restore", "export", "import", "history"})
            QTest::newRow(c) << QString::fromLatin1(c);
    }
    void help_onEveryCommand()
    {
        QFETCH(QString, command);
        const Run r = ctdb({command, u"--help"_s});
        QCOMPARE(r.code, 0);
        QVERIFY2(r.out.startsWith(u"用法：ctdb "_s + command), qPrintable(r.out));
        QVERIFY(r.err.isEmpty());
        const Run all = ctdb({u"--help"_s});
        QCOMPARE(all.code, 0);
        QVERIFY(all.out.contains(u"  "_s + command));
    }

    // ---- the diary's history -------------------------------------------------------

    // Every text a save replaced is listed with its number and time, and can be brought
    // back; the text it replaces stays in the history in turn.
    void history_listsAndBringsBackEarlierTexts()
    {
        Db db;
        const QDateTime at(QDate(2026, 12, 8), QTime(9, 30));
        dailytab::save(db.conn(), u"2026-12-08"_s, u"上午写的"_s, dailytab::Save::Replace, at);
        dailytab::save(db.conn(), u"2026-12-08"_s, u"下午改的"_s, dailytab::Save::Replace,
                       at.addSecs(6 * 3600));
        db.close();
        Run r = ctdb({u"history"_s, u"2026-12-8"_s, db.path()});
        QCOMPARE(r.code, 0);
        QVERIFY2(r.out.startsWith(u"2026-12-08 现在的日记：\n下午改的\n\n"
                                  "第 1 号，2026-12-08 15:30:00 被替换：\n上午写的\n"_s),
                 qPrintable(r.out));

        r = ctdb({u"history"_s, u"2026-12-08"_s, u"--restore"_s, u"1"_s, db.path()});
        QCOMPARE(r.code, 0);
        QCOMPARE(db.rows(u"select daily_desc from daily_tab"_s),
                 (QList<QStringList>{{u"上午写的"_s}}));
        QCOMPARE(db.rows(u"select daily_desc from daily_hist order by hist_serno"_s),
                 (QList<QStringList>{{u"上午写的"_s}, {u"下午改的"_s}}));
        db.close();

        r = ctdb({u"history"_s, u"2026-12-08"_s, u"--restore"_s, u"7"_s, db.path()});
        QCOMPARE(r.code, 1);
        QVERIFY(r.err.contains(u"没有第 7 号"_s));
        r = ctdb({u"history"_s, u"2026-12-09"_s, db.path()});
        QCOMPARE(r.code, 1);
        r = ctdb({u"history"_s, u"2026-12-08"_s, u"--restore"_s, u"x"_s, db.path()});
        QCOMPARE(r.code, 2);
    }

    // ---- backups ----------------------------------------------------------------------

    void backup_rotatingKeepsTheNewest14AndChecksTheCopy()
    {
        Db db;
        db.addCard(u"备份中的人"_s);
        const QString folder = db.path() + u"/backups"_s;
        QVERIFY(QDir().mkpath(folder));
        // Fifteen older backups, one a day.
        const QString good = db.path() + u"/good.mdb"_s;
        QCOMPARE(ctdb({u"backup"_s, good, db.path()}).code, 0);
        QStringList older;
        for (int d = 1; d <= 15; ++d) {
            older << folder + u"/ctsource-202001%1-120000.mdb"_s.arg(d, 2, 10, QChar(u'0'));
            QVERIFY(QFile::copy(good, older.last()));
        }
        writeFile(folder + u"/notes.txt"_s, "not a backup"); // left alone
        const Run r = ctdb({u"backup"_s, u"--dir"_s, db.path()});
        QVERIFY2(r.code == 0, qPrintable(r.err));
        const QStringList now = backups::list(folder);
        QCOMPARE(now.size(), 14);
        QCOMPARE(now.mid(0, 13), older.mid(2)); // the two oldest went
        const QDate today =                     // in ctdb's zone
            QDateTime::currentDateTimeUtc().toTimeZone(QTimeZone("Asia/Shanghai")).date();
        QVERIFY2(now.last().contains(today.toString(u"yyyyMMdd"_s)), qPrintable(now.last()));
        QVERIFY(r.out.contains(QDir::toNativeSeparators(now.last())));
        backups::verify(now.last());
        adodb::Connection copy;
        copy.Open(cardmodul::connectionText(now.last()));
        adodb::Recordset rs;
        rs.Open(u"select full_nam from cardtab"_s, copy);
        QCOMPARE(cardmodul::namcode(rs.Fields(0).text()), u"备份中的人"_s);
        QVERIFY(QFile::exists(folder + u"/notes.txt"_s));
    }

    void backup_failedCopyRemovesNoOlderOne()
    {
        Db db;
        for (int i = 0; i < 200; ++i)
            db.addCard(u"人%1"_s.arg(i), QString(u"备注"_s).repeated(100));
        db.close();
        const QString folder = db.path() + u"/backups"_s;
        QVERIFY(QDir().mkpath(folder));
        for (int d = 1; d <= 14; ++d)
            writeFile(folder + u"/ctsource-202001%1-120000.mdb"_s.arg(d, 2, 10, QChar(u'0')),
                      "old");
        const QStringList before = backups::list(folder);
        QFile f(db.file()); // a damaged page deep inside: the copy fails its check
        QVERIFY(f.open(QIODevice::ReadWrite));
        f.seek(f.size() / 2);
        f.write(QByteArray(4096, 'x'));
        f.close();
        const Run r = ctdb({u"backup"_s, u"--dir"_s, db.path()});
        QCOMPARE(r.code, 1);
        QCOMPARE(backups::list(folder), before);
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 14); // no partial copy
    }

    void backup_whileAnotherConnectionReads()
    {
        Db db;
        db.addCard(u"读着的"_s);
        db.conn().Execute(u"BEGIN"_s);
        adodb::Recordset rs;
        rs.Open(u"select * from cardtab"_s, db.conn()); // a shared lock held meanwhile
        const Run r = ctdb({u"backup"_s, u"--dir"_s, db.path()});
        QVERIFY2(r.code == 0, qPrintable(r.err));
        db.conn().Execute(u"COMMIT"_s);
        QCOMPARE(backups::list(db.path() + u"/backups"_s).size(), 1);
    }

    // ---- restore ----------------------------------------------------------------------

    void restore_putsTheBackupInPlaceAndKeepsTheReplacedFile()
    {
        Db db;
        db.addCard(u"备份里的"_s);
        QTemporaryDir files;
        const QString backup = files.path() + u"/b.mdb"_s;
        QCOMPARE(ctdb({u"backup"_s, backup, db.path()}).code, 0);
        db.addCard(u"后来加的"_s);
        db.close();
        const QByteArray replaced = bytesOf(db.file());

        Run r = ctdb({u"restore"_s, backup, db.path()});
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QVERIFY(r.out.contains(u"ctsource.mdb.before-restore"_s));
        QCOMPARE(bytesOf(db.file()), bytesOf(backup));
        QCOMPARE(bytesOf(db.file() + u".before-restore"_s), replaced);

        // Again: the file kept the first time is kept under a number.
        r = ctdb({u"restore"_s, backup, db.path()});
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QCOMPARE(bytesOf(db.file() + u".before-restore.1"_s), replaced);
        QCOMPARE(bytesOf(db.file() + u".before-restore"_s), bytesOf(backup));
        QCOMPARE(ctdb({u"check"_s, db.path()}).code, 0);
    }

    void restore_refusesABackupThatIsNotSound_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("text") << u"text"_s;
        QTest::newRow("plain SQLite header") << u"plain"_s;
        QTest::newRow("another password") << u"password"_s;
        QTest::newRow("cut short") << u"short"_s;
        QTest::newRow("damaged page") << u"damaged"_s;
        QTest::newRow("without the tables") << u"tables"_s;
    }
    void restore_refusesABackupThatIsNotSound()
    {
        QFETCH(QString, kind);
        Db db;
        for (int i = 0; i < 100; ++i)
            db.addCard(u"人%1"_s.arg(i), QString(u"备注"_s).repeated(50));
        QTemporaryDir files;
        const QString backup = files.path() + u"/b.mdb"_s;
        if (kind == u"password") {
            adodb::Connection::create(backup, u"another"_s, tables::schemaStatements());
        } else if (kind == u"tables") {
            adodb::Connection::create(backup, cardmodul::kPassword, {u"create table t (a)"_s});
        } else {
            QCOMPARE(ctdb({u"backup"_s, backup, db.path()}).code, 0);
            QByteArray b = bytesOf(backup);
            if (kind == u"text")
                b = "这不是数据库";
            else if (kind == u"plain")
                b.replace(0, 16, QByteArray("SQLite format 3\0", 16));
            else if (kind == u"short")
                b.truncate(b.size() / 2);
            else
                b.replace(b.size() / 2, 4096, QByteArray(4096, 'x'));
            writeFile(backup, b);
        }
        db.close();
        const QByteArray before = bytesOf(db.file());
        const Run r = ctdb({u"restore"_s, backup, db.path()});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains(u"不能用来恢复"_s) && r.err.contains(u"数据库没有改动"_s),
                 qPrintable(r.err));
        QCOMPARE(bytesOf(db.file()), before);
        QCOMPARE(QDir(db.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{u"ctsource.mdb"_s});
    }

    // The database file's lock is held here, as a running program holds it: restore is
    // refused and the database left as it was.
    void restore_refusedWhileTheProgramRuns()
    {
        Db db;
        QTemporaryDir files;
        const QString backup = files.path() + u"/b.mdb"_s;
        QCOMPARE(ctdb({u"backup"_s, backup, db.path()}).code, 0);
        db.close();
        const QByteArray before = bytesOf(db.file());
        ct::DatabaseLock program;
        QCOMPARE(program.hold(db.file()), ct::DatabaseLock::State::Held);
        const Run r = ctdb({u"restore"_s, backup, db.path()});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains(u"正在运行"_s), qPrintable(r.err));
        QCOMPARE(bytesOf(db.file()), before);
        QVERIFY(!QFile::exists(db.file() + u".before-restore"_s));
        program.release();
        QCOMPARE(ctdb({u"restore"_s, backup, db.path()}).code, 0);
    }

    // A journal left by a program that died mid-write belongs to the replaced file: it is
    // played back into that file (its last committed state, kept as the copy) and never
    // into the restored one.
    void restore_playsALeftoverJournalBackIntoTheReplacedFile()
    {
        Db db;
        db.addCard(u"原有的"_s);
        QTemporaryDir files;
        const QString backup = files.path() + u"/b.mdb"_s;
        Db source;
        source.addCard(u"备份里的"_s);
        QCOMPARE(ctdb({u"backup"_s, backup, source.path()}).code, 0);
        db.close();

        testsupport::Forked child([&db] { // writes past its cache, then dies before the commit
            adodb::Connection c;
            c.Open(cardmodul::connectionText(db.file()));
            c.Execute(u"PRAGMA cache_size = 10"_s);
            c.Execute(u"BEGIN"_s);
            c.Execute(u"update cardtab set note = 'changed'"_s);
            for (int i = 0; i < 300; ++i)
                c.Execute(u"insert into cardtab (full_nam, note) values (?, ?)"_s,
                          {u"x"_s, QString(u"未提交"_s).repeated(400)});
            ::_exit(0);
            return 0;
        });
        QCOMPARE(child.wait(60000), 0);
        QVERIFY(QFile::exists(db.file() + u"-journal"_s));
        QVERIFY(QFileInfo(db.file() + u"-journal"_s).size() > 0);

        const Run r = ctdb({u"restore"_s, backup, db.path()});
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QVERIFY(!QFile::exists(db.file() + u"-journal"_s));
        QVERIFY(!QFile::exists(db.file() + u".before-restore-journal"_s));
        backups::verify(db.file());
        QCOMPARE(ctdb({u"check"_s, db.path()}).out.contains(u"cardtab: 1\n"_s), true);
        adodb::Connection restored;
        restored.Open(cardmodul::connectionText(db.file()));
        adodb::Recordset rs;
        rs.Open(u"select full_nam from cardtab"_s, restored);
        QCOMPARE(cardmodul::namcode(rs.Fields(0).text()), u"备份里的"_s);

        // The replaced file: rolled back to what was committed.
        backups::verify(db.file() + u".before-restore"_s);
        adodb::Connection old;
        old.Open(cardmodul::connectionText(db.file() + u".before-restore"_s));
        rs.Open(u"select full_nam, note from cardtab"_s, old);
        QCOMPARE(rs.recordCount(), 1);
        QCOMPARE(cardmodul::namcode(rs.Fields(0).text()), u"原有的"_s);
        QCOMPARE(rs.Fields(1).text(), QString());
    }
};

QTEST_GUILESS_MAIN(tst_ctdb)
#include "tst_ctdb.moc"
