// Endless and hostile input to ctdb import, under a memory limit: a line or a record past
// its bound is refused with exit 1, the file and line named, nothing written; cards
// nested in a card and NUL bytes are said to be passed over.

#include "tests/faults/faultkit.h"
#include "tests/support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

constexpr qint64 kMemory = qint64(1) << 30; // the address space ctdb may use

bool writeFile(const QString& file, const QByteArray& bytes)
{
    QFile f(file);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

} // namespace

class tst_endless : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_db;

    QList<QStringList> cardNames()
    {
        adodb::Connection c;
        c.Open(cardmodul::connectionText(m_db));
        adodb::Recordset rs;
        rs.Open(u"select full_nam from cardtab order by serno"_s, c);
        QList<QStringList> out;
        for (; !rs.eof(); rs.MoveNext())
            out << QStringList{cardmodul::namcode(rs.Fields(0).text())};
        return out;
    }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_db = m_dir->path() + u"/ctsource.mdb"_s;
        cardmodul::createDatabase(m_db);
    }

    void refusedPastItsBound_data()
    {
        QTest::addColumn<QString>("command"); // run by sh; %1 the directory, %2 ctdb
        QTest::addColumn<QString>("file");    // as the message names it
        QTest::addColumn<int>("line");        // 0: any, -1: the whole file
        QTest::addColumn<QString>("says");
        QTest::addColumn<qint64>("memory"); // the address space ctdb may use
        QTest::newRow("/dev/zero as vCard") << u"%2 import cards /dev/zero --format vcf %1"_s
                                            << u"/dev/zero"_s << 1 << u"16 MB"_s << kMemory;
        QTest::newRow("/dev/zero as CSV") << u"%2 import cards /dev/zero --format csv %1"_s
                                          << u"/dev/zero"_s << 1 << u"16 MB"_s << kMemory;
        QTest::newRow("/dev/zero as iCalendar") << u"%2 import meetings /dev/zero --format ics %1"_s
                                                << u"/dev/zero"_s << 1 << u"16 MB"_s << kMemory;
        QTest::newRow("yes NOTE:x on standard input")
            << u"yes NOTE:x | %2 import cards - %1"_s << u"标准输入"_s << 1 << u"64 MB"_s
            << kMemory;
        QTest::newRow("a card that never ends")
            << u"{ printf 'BEGIN:VCARD\\nVERSION:3.0\\nFN:a\\n'; yes NOTE:x; } | %2 import cards - %1"_s
            << u"标准输入"_s << 1 << u"64 MB"_s << kMemory;
        QTest::newRow("a CSV quote that never closes")
            << u"{ printf '姓名,说明\\n甲,\"'; yes 说明; } | %2 import cards - --format csv %1"_s
            << u"标准输入"_s << 2 << u"64 MB"_s << kMemory;
        QTest::newRow("an event that never ends")
            << u"{ printf 'BEGIN:VCALENDAR\\r\\nBEGIN:VEVENT\\r\\n'; yes 'DESCRIPTION:x'; } | "
               "%2 import meetings - %1"_s
            << u"标准输入"_s << 2 << u"64 MB"_s << kMemory;
        QTest::newRow("a diary entry that never ends")
            << u"{ printf '# 工作日记\\n\\n## 2026-01-01\\n\\n'; yes 说明; } | %2 import diary - %1"_s
            << u"标准输入"_s << 3 << u"64 MB"_s << kMemory;
        // Endless rows that each are fine: the memory runs out, and that is said too.
        QTest::newRow("endless CSV rows") << u"yes '甲,乙' | %2 import cards - --format csv %1"_s
                                          << u"标准输入"_s << 0 << u"内存不足"_s << kMemory;
        // With room enough, the bound of a whole file ends them.
        QTest::newRow("endless cards")
            << u"yes 'BEGIN:VCARD\nFN:甲\nEND:VCARD' | %2 import cards - %1"_s << u"标准输入"_s << 0
            << u"一次最多导入 1 GB"_s << 4 * kMemory;
        QTest::newRow("a file larger than the bound")
            << u"truncate -s 1025M %1/big.vcf && %2 import cards %1/big.vcf %1; "
               "s=$?; rm %1/big.vcf; exit $s"_s
            << u"%1/big.vcf"_s << -1 << u"一次最多导入 1 GB"_s << kMemory;
    }
    void refusedPastItsBound()
    {
        QFETCH(QString, command);
        QFETCH(QString, file);
        QFETCH(int, line);
        QFETCH(QString, says);
        QFETCH(qint64, memory);
        if (faults::kAddressSanitizer && (memory > kMemory || says == u"内存不足"))
            QSKIP("these rows end by the memory bound, which an AddressSanitizer build cannot set");
        const QByteArray before = faults::digest(m_db);
        faults::Options o;
        o.memoryLimit = memory;
        o.timeoutMs = 120000;
        const faults::Run r = faults::run(
            u"/bin/sh"_s, {u"-c"_s, command.arg(m_dir->path(), faults::ctdbProgram())}, o);
        QVERIFY2(r.finished, "ctdb did not end");
        QCOMPARE(r.code, 1);
        if (file.contains(u"%1"_s))
            file = file.arg(m_dir->path());
        const QString at = line > 0    ? u"%1 第 %2 行："_s.arg(file).arg(line)
                           : line == 0 ? file + u" 第 "_s
                                       : file + u"："_s;
        QVERIFY2(r.err.contains(at), qPrintable(r.err));
        QVERIFY2(r.err.contains(says), qPrintable(r.err));
        QVERIFY2(r.err.contains(u"没有导入任何记录"_s), qPrintable(r.err));
        QVERIFY(!r.err.contains(u"bad_alloc"_s));
        QCOMPARE(faults::digest(m_db), before);
        QCOMPARE(faults::filesIn(m_dir->path()), QStringList{u"ctsource.mdb"_s});
    }

    // What is passed over is said, with its line; what is read is stored.
    void passedOverIsSaid_data()
    {
        QTest::addColumn<QByteArray>("vcf");
        QTest::addColumn<QStringList>("stored");
        QTest::addColumn<QString>("says");
        QByteArray storm = "BEGIN:VCARD\nVERSION:3.0\nFN:外\n";
        for (int i = 0; i < 100000; ++i)
            storm += "BEGIN:VCARD\nFN:内\n";
        for (int i = 0; i < 100001; ++i)
            storm += "END:VCARD\n";
        QTest::newRow("100,000 cards nested in a card")
            << storm << QStringList{u"外"_s} << u"第 1 行：这张名片里套着 100000 张名片"_s;
        QTest::newRow("NUL bytes in a name")
            << QByteArray("BEGIN:VCARD\nVERSION:3.0\nFN:a\0b\0\0c\nNOTE:n\0\nEND:VCARD\n", 52)
            << QStringList{u"abc"_s} << u"第 1 行：去掉了 4 个 NUL 字符"_s;
    }
    void passedOverIsSaid()
    {
        QFETCH(QByteArray, vcf);
        QFETCH(QStringList, stored);
        QFETCH(QString, says);
        const QString file = m_dir->path() + u"/in.vcf"_s;
        QVERIFY(writeFile(file, vcf));
        faults::Options o;
        o.memoryLimit = kMemory;
        const faults::Run r =
            faults::run(faults::ctdbProgram(), {u"import"_s, u"cards"_s, file, m_dir->path()}, o);
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QVERIFY2(r.err.contains(file + u' ' + says), qPrintable(r.err));
        QList<QStringList> expected;
        for (const QString& s : stored)
            expected << QStringList{s};
        QCOMPARE(cardNames(), expected);
    }
};

QTEST_GUILESS_MAIN(tst_endless)
#include "tst_endless.moc"
