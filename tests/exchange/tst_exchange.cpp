// The file formats of ctdb on their own: what is written, what is read back, what phones
// and mail programs write, and the line every fault is reported on.

#include "exchange/cardparts.h"
#include "exchange/csv.h"
#include "exchange/headings.h"
#include "exchange/ical.h"
#include "exchange/input.h"
#include "exchange/markdown.h"
#include "exchange/textcodec.h"
#include "exchange/vcard.h"
#include "modul/tables.h"

#include <QBuffer>
#include <QFile>
#include <QTest>
#include <QTimeZone>

using namespace Qt::StringLiterals;
using exchange::DataError;

namespace {

const QString kNull = u"<NULL>"_s;
using Values = QHash<QString, QString>;

ct::CellTable table(int columns, const QList<QStringList>& rows)
{
    ct::CellTable t(columns);
    for (const QStringList& r : rows) {
        Q_ASSERT(r.size() == columns);
        for (const QString& v : r) {
            if (v == kNull)
                t.appendNullCell();
            else
                t.appendCell(v);
        }
    }
    return t;
}

QList<QStringList> rowsOf(const ct::CellTable& t)
{
    QList<QStringList> out;
    for (int r = 0; r < t.rowCount(); ++r) {
        QStringList row;
        for (int c = 0; c < t.columnCount(); ++c)
            row << (t.isNull(r, c) ? kNull : t.text(r, c));
        out << row;
    }
    return out;
}

// A card of 22 columns: serial number, then the given columns by name.
QStringList card(const QString& serno, const QHash<QString, QString>& values)
{
    QStringList row;
    for (const QString& c : tables::cardColumns())
        row << values.value(c);
    row[0] = serno;
    return row;
}

// The cards used for round trips: every character the formats must escape, a line
// break, an emoji, empty columns, a name of 10 characters and one of 12.
QList<QStringList> trickyCards()
{
    QList<QStringList> all;
    all << card(u"1"_s, {{u"full_nam"_s, u"O'Brien, \"Bob\"; 测试"_s},
                         {u"off_nam"_s, u"公司;部门,分部\\反斜杠"_s},
                         {u"note"_s, u"第一行\n第二行\n\n空行之后"_s},
                         {u"web_nam"_s, u"😀网名, 二"_s}});
    QHash<QString, QString> full;
    int i = 0;
    for (const QString& c : tables::cardColumns())
        full.insert(c, u"%1值%2"_s.arg(c).arg(++i));
    full[u"full_nam"_s] = u"一二三四五六七八九十"_s;
    full[u"glender"_s] = u"男"_s;
    all << card(u"2"_s, full);
    all << card(u"3"_s, {{u"full_nam"_s, u"欧阳一二三四五六七八九十"_s},
                         {u"glender"_s, u"不愿透露"_s},
                         {u"home_addr"_s, QString(u"很长的地址😀"_s).repeated(20)},
                         {u"mail_addr"_s, u"a@example.com"_s}});
    all << card(u"4"_s, {{u"full_nam"_s, u"a"_s}, {u"glender"_s, u"女"_s}});
    return all;
}

QByteArray writeVcards(const ct::CellTable& t)
{
    QBuffer b;
    b.open(QIODevice::WriteOnly);
    exchange::vcard::write(t, b);
    return b.data();
}

QByteArray writeCardsCsv(const ct::CellTable& t, exchange::Encoding e)
{
    QBuffer b;
    b.open(QIODevice::WriteOnly);
    exchange::csv::writeCards(t, b, e);
    return b.data();
}

QByteArray writeIcs(const ct::CellTable& t, const QTimeZone& zone,
                    std::vector<exchange::Note>* notes = nullptr)
{
    QBuffer b;
    b.open(QIODevice::WriteOnly);
    auto done = exchange::ical::write(
        t, b, [](QStringView serno) -> QString { return u"uid-"_s + serno; }, zone,
        QDateTime(QDate(2030, 1, 2), QTime(3, 4), QTimeZone::utc()));
    if (notes)
        *notes = done.notes;
    return b.data();
}

QByteArray data(const char* name)
{
    QFile f(QStringLiteral(CT_TEST_DATA) + u'/' + QString::fromLatin1(name));
    if (!f.open(QIODevice::ReadOnly))
        qFatal("missing test data %s", name);
    return f.readAll();
}

// Columns 1..21 of every row (what a file carries; the serial number is the database's).
QList<QStringList> withoutSerno(QList<QStringList> rows)
{
    for (QStringList& r : rows)
        r.removeFirst();
    return rows;
}

int lineOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const DataError& e) {
        return e.line();
    }
    return -1;
}

const QTimeZone kShanghai("Asia/Shanghai");
const QDate kToday(2030, 1, 2);

} // namespace

// Input that never ends: `head`, then `unit` again and again.
class Endless : public QIODevice {
public:
    Endless(QByteArray head, QByteArray unit) : m_head(std::move(head)), m_unit(std::move(unit))
    {
        open(QIODevice::ReadOnly);
    }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* data, qint64 max) override
    {
        for (qint64 i = 0; i < max; ++i, ++m_at)
            data[i] = m_at < m_head.size() ? m_head[m_at]
                                           : m_unit[(m_at - m_head.size()) % m_unit.size()];
        return max;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArray m_head;
    QByteArray m_unit;
    qint64 m_at = 0;
};

const exchange::Limits kSmall{64, 256, 4096};

QByteArray utf16(const char* ascii, bool bigEndian = false)
{
    QByteArray out;
    for (const char* c = ascii; *c; ++c)
        out += bigEndian ? QByteArray(1, 0) + *c : QByteArray(1, *c) + '\0';
    return out;
}

class tst_exchange : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // ---- bounded input ---------------------------------------------------------------

    // Endless input ends in a fault naming the line where its bound was passed.
    void input_endlessInputIsRefused_data()
    {
        QTest::addColumn<int>("framing");
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<QByteArray>("unit");
        QTest::addColumn<int>("line"); // -1: past the head
        QTest::addColumn<QString>("says");
        const int parts = int(exchange::Framing::Components), csv = int(exchange::Framing::Csv),
                  md = int(exchange::Framing::Sections);
        const QString tooLong = u"一行最多"_s, record = u"一条记录最多"_s,
                      total = u"一次最多导入"_s;
        QTest::newRow("a line without end")
            << parts << QByteArray() << QByteArray(1, 0) << 1 << u"一行最多"_s;
        QTest::newRow("a card without end")
            << parts << QByteArray("VERSION:3.0\nBEGIN:VCARD\nFN:a\n") << QByteArray("NOTE:x\n")
            << 2 << record;
        QTest::newRow("lines after the last card")
            << parts << QByteArray("BEGIN:VCARD\nFN:a\n  end:vcard\n") << QByteArray("junk\n") << 3
            << record;
        QTest::newRow("cards without end")
            << parts << QByteArray() << QByteArray("BEGIN:VCARD\nFN:a\nEND:VCARD\n") << -1 << total;
        QTest::newRow("a CSV quote that never closes")
            << csv << QByteArray("a,b\n1,\"") << QByteArray("x\n") << 2 << record;
        QTest::newRow("CSV rows without end")
            << csv << QByteArray("a,b\n") << QByteArray("1,\"2\n3\"\n") << -1 << total;
        QTest::newRow("a diary entry without end")
            << md << QByteArray("# t\n\n## 2026-01-01\n\n") << QByteArray("x\n") << 3 << record;
        QTest::newRow("diary entries without end")
            << md << QByteArray("# t\n") << QByteArray("## d\n\nx\n\n") << -1 << total;
        QTest::newRow("a UTF-16 line without end")
            << parts << QByteArray("\xFF\xFE", 2) << QByteArray("x\0", 2) << 1 << tooLong;
        QTest::newRow("a UTF-16 card without end, no byte-order mark")
            << parts << utf16("BEGIN:VCARD\nEND:VCARD\nBEGIN:VCARD\n") << utf16("N:x\n") << 3
            << record;
        QTest::newRow("a UTF-16 card without end, big-endian with its mark")
            << parts << QByteArray("\xFE\xFF", 2) + utf16("BEGIN:VCARD\nEND:VCARD\n", true)
            << utf16("N:x\n", true) << 2 << record;
    }
    void input_endlessInputIsRefused()
    {
        QFETCH(int, framing);
        QFETCH(QByteArray, head);
        QFETCH(QByteArray, unit);
        QFETCH(int, line);
        QFETCH(QString, says);
        Endless in(head, unit);
        try {
            exchange::readBounded(in, exchange::Framing(framing), {}, kSmall);
            QFAIL("endless input read to its end");
        } catch (const DataError& e) {
            if (line >= 0)
                QCOMPARE(e.line(), line);
            else
                QVERIFY2(e.line() > head.count('\n') + 1, qPrintable(QString::number(e.line())));
            QVERIFY2(e.message().contains(says), qPrintable(e.message()));
        }
    }

    // Within the bounds everything is read, the bytes read before first; a file larger
    // than the whole bound is refused before it is read.
    void input_withinBoundsReadWhole()
    {
        const QByteArray card = "BEGIN:VCARD\nFN:" + QByteArray(40, 'a') + "\nEND:VCARD\n";
        QByteArray file;
        while (file.size() + card.size() <= kSmall.total)
            file += card;
        QBuffer b(&file);
        b.open(QIODevice::ReadOnly);
        b.seek(10);
        QCOMPARE(exchange::readBounded(b, exchange::Framing::Components, file.left(10), kSmall),
                 file);
        QByteArray more = file + card;
        QBuffer big(&more);
        big.open(QIODevice::ReadOnly);
        try {
            exchange::readBounded(big, exchange::Framing::Components, {}, kSmall);
            QFAIL("a file past the bound was read");
        } catch (const DataError& e) {
            QCOMPARE(e.line(), 0);
            QVERIFY2(e.message().contains(u"一次最多导入"_s), qPrintable(e.message()));
        }
    }

    // ---- vCard -----------------------------------------------------------------------

    void vcard_roundTripKeepsEveryColumn()
    {
        const ct::CellTable cards = table(tables::kCardColumns, trickyCards());
        const QByteArray first = writeVcards(cards);
        const exchange::Records back = exchange::vcard::read(first);
        QCOMPARE(withoutSerno(rowsOf(back.rows)), withoutSerno(rowsOf(cards)));
        QVERIFY(back.notes.empty());
        QCOMPARE(writeVcards(back.rows), first);
    }

    void vcard_linesAreFoldedCrLfAndWholeCharacters()
    {
        const QByteArray out = writeVcards(table(tables::kCardColumns, trickyCards()));
        QVERIFY(out.endsWith("\r\n"));
        QVERIFY(!out.contains("\r\n\r\n"));
        int folded = 0;
        for (const QByteArray& line : out.split('\n')) {
            if (line.isEmpty())
                continue;
            QVERIFY2(line.endsWith('\r'), line.constData());
            const QByteArray body = line.chopped(1);
            QVERIFY2(body.size() <= 75, body.constData());
            QVERIFY2(body.isValidUtf8(), body.toHex().constData()); // no character cut apart
            folded += body.startsWith(' ');
        }
        QVERIFY(folded > 0);
        QVERIFY(out.contains("BEGIN:VCARD\r\nVERSION:4.0\r\n"));
        QVERIFY(out.contains("ORG:公司\\;部门\\,分部\\\\反斜杠\r\n"));
        QVERIFY(out.contains("NOTE:第一行\\n第二行\\n\\n空行之后\r\n"));
        QVERIFY(out.contains("GENDER:M\r\n"));
        QVERIFY(out.contains("GENDER:F\r\n"));
        QVERIFY(out.contains("GENDER:;不愿透露\r\n"));
        QVERIFY(out.contains("N:欧阳;一二三四五六七八九十;;;\r\n")); // a compound surname
        QVERIFY(out.contains("X-CTWORK-NATION:nation值6\r\n"));
        QVERIFY(out.contains("X-QQ:qq_code值20\r\n"));
        QVERIFY(out.contains("TEL;TYPE=work,fax:fax_code值11\r\n"));
        QVERIFY(out.contains("ADR;TYPE=home:;;home_addr值17;;;home_zip值19;\r\n"));
    }

    // Samples written as phones and mail programs write them; the expected columns are
    // what a person reading the sample finds in it.
    void vcard_readsWhatPhonesAndMailProgramsWrite_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("index");
        QTest::addColumn<Values>("expected");
        QTest::addColumn<int>("line");
        QTest::newRow("2.1 quoted-printable, soft break, photo")
            << data("phone-2.1.vcf") << 0
            << Values{{u"full_nam"_s, u"王小明"_s},
                      {u"mobile"_s, u"138-0013-8000"_s},
                      {u"o_phone"_s, u"010-6552-1234"_s},
                      {u"h_phone"_s, u"010-8888-0000"_s},
                      {u"fax_code"_s, u"010-6552-1235"_s},
                      {u"mail_addr"_s, u"wang@example.cn"_s},
                      {u"off_nam"_s, u"澄桐科技"_s},
                      {u"Status"_s, u"工程师"_s},
                      {u"off_addr"_s, u"中国北京中关村大街1号"_s},
                      {u"off_zip"_s, u"100080"_s},
                      {u"note"_s, u"第一行\n第二行很长的备注"_s}}
            << 1;
        QTest::newRow("2.1 without FN, phones without type")
            << data("phone-2.1.vcf") << 1
            << Values{{u"full_nam"_s, u"John Smith"_s},
                      {u"o_phone"_s, u"555-0100"_s},
                      {u"mobile"_s, u"555-0199"_s},
                      {u"mail_addr"_s, u"john@example.com"_s}}
            << 19;
        QTest::newRow("2.1 in GBK")
            << data("phone-2.1.vcf") << 2
            << Values{{u"full_nam"_s, u"张三"_s}, {u"mobile"_s, u"13912345678"_s}} << 26;
        QTest::newRow("3.0 groups, folded base64 photo")
            << data("mail-3.0.vcf") << 0
            << Values{{u"full_nam"_s, u"李四"_s},
                      {u"off_nam"_s, u"澄桐贸易 销售部"_s},
                      {u"Status"_s, u"经理"_s},
                      {u"mail_addr"_s, u"li.si@example.com"_s},
                      {u"mobile"_s, u"+86 139 0000 1111"_s},
                      {u"o_phone"_s, u"+86 20 8765 4321"_s},
                      {u"home_addr"_s, u"中国广东广州天河路100号"_s},
                      {u"home_zip"_s, u"510000"_s},
                      {u"web_addr"_s, u"https://example.com/li"_s},
                      {u"note"_s, u"第一行\n带逗号, 和分号; 的备注\n生日：1980-05-06"_s}}
            << 1;
        QTest::newRow("3.0 empty FN, name from N; folded note")
            << data("mail-3.0.vcf") << 1
            << Values{{u"full_nam"_s, u"欧阳娜娜"_s},
                      {u"call_code"_s, u"95555-1234"_s},
                      {u"fax_code"_s, u"010-1111-2222"_s},
                      {u"note"_s, u"这是一段很长的备注，邮件程序会在七十五个八位组处把它折行，"
                                  "续行以一个空格开头，读的时候要把它接回去。"_s}}
            << 22;
        QTest::newRow("4.0 TYPE lists, VALUE=uri")
            << data("mail-4.0.vcf") << 0
            << Values{{u"full_nam"_s, u"Simon Perreault"_s},
                      {u"glender"_s, u"男"_s},
                      {u"off_nam"_s, u"Viagenie"_s},
                      {u"off_addr"_s, u"2875 Laurier, Suite D2-630, Quebec, QC, Canada"_s},
                      {u"off_zip"_s, u"G1V 2M2"_s},
                      {u"o_phone"_s, u"+1-418-656-9254;ext=102"_s},
                      {u"mobile"_s, u"+1-418-262-6501"_s},
                      {u"mail_addr"_s, u"simon.perreault@viagenie.ca"_s},
                      {u"web_addr"_s, u"http://nomis80.org"_s},
                      {u"note"_s, u"Line one\nLine two, with comma\n生日：--0203"_s}}
            << 1;
        QTest::newRow("4.0 taken columns go to the note")
            << data("mail-4.0.vcf") << 1
            << Values{{u"full_nam"_s, u"赵 六"_s},
                      {u"glender"_s, u"女"_s},
                      {u"home_addr"_s, u"上海淮海路5号"_s},
                      {u"home_zip"_s, u"200020"_s},
                      {u"mobile"_s, u"13600001111"_s},
                      {u"o_phone"_s, u"021-5555-6666"_s},
                      {u"mail_addr"_s, u"zhao@example.cn"_s},
                      {u"qq_code"_s, u"123456789"_s},
                      {u"note"_s, u"其他电话：021-7777-8888\n其他EMAIL：liu@example.cn"_s}}
            << 16;
    }
    void vcard_readsWhatPhonesAndMailProgramsWrite()
    {
        QFETCH(QByteArray, file);
        QFETCH(int, index);
        QFETCH(Values, expected);
        QFETCH(int, line);
        const exchange::Records r = exchange::vcard::read(file);
        QVERIFY(index < r.rows.rowCount());
        QCOMPARE(r.lines[std::size_t(index)], line);
        QStringList want = card(kNull, expected);
        QCOMPARE(rowsOf(r.rows)[index], want);
    }

    // What the reader gives back is what the writer writes: a lone CR is a line break on
    // both sides, and a tel: URI loses the blanks after its scheme.
    // Addresses go to the columns of their type, an untyped one to the office's while they
    // are free; one more is kept in 说明. Chinese addresses read big to small without
    // blanks, others street first with commas; escaped parts are undone.
    void vcard_addressesGoToTheirColumns()
    {
        const QByteArray file = "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:甲\r\n"
                                "ADR;TYPE=home:;;家路1号;;;100001;\r\n"
                                "ADR:;;办公路2号;;;100002;\r\n"
                                "ADR:;;第三处;;;;\r\n"
                                "END:VCARD\r\n"
                                "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:乙\r\n"
                                "ADR;TYPE=work:;;街道 5 号;城市;省;200002;中国\r\n"
                                "ADR;TYPE=HOME:;;1 Main St\\, Apt 2;Springfield;IL;62701;USA\r\n"
                                "END:VCARD\r\n";
        const exchange::Records r = exchange::vcard::read(file);
        QCOMPARE(r.rows.rowCount(), 2);
        auto at = [&](int row, tables::card::Column column) { return r.rows.text(row, column); };
        QCOMPARE(at(0, tables::card::home_addr), u"家路1号"_s);
        QCOMPARE(at(0, tables::card::home_zip), u"100001"_s);
        QCOMPARE(at(0, tables::card::off_addr), u"办公路2号"_s);
        QCOMPARE(at(0, tables::card::off_zip), u"100002"_s);
        QCOMPARE(at(0, tables::card::note), u"其他地址：第三处"_s);
        QCOMPARE(at(1, tables::card::off_addr), u"中国省城市街道 5 号"_s);
        QCOMPARE(at(1, tables::card::off_zip), u"200002"_s);
        QCOMPARE(at(1, tables::card::home_addr), u"1 Main St, Apt 2, Springfield, IL, USA"_s);
        QCOMPARE(at(1, tables::card::home_zip), u"62701"_s);
    }

    void vcard_readValuesSurviveWritingAgain()
    {
        const QByteArray file = "BEGIN:VCARD\r\nVERSION:4.0\r\nFN:甲\r\n"
                                "TEL;VALUE=uri;TYPE=work:tel: 010-1234\r\n"
                                "NOTE:一\r二\r\nEND:VCARD\r\n";
        const exchange::Records first = exchange::vcard::read(file);
        QCOMPARE(rowsOf(first.rows), (QList<QStringList>{card(kNull, {{u"full_nam"_s, u"甲"_s},
                                                                      {u"o_phone"_s, u"010-1234"_s},
                                                                      {u"note"_s, u"一\n二"_s}})}));
        QBuffer b;
        b.open(QIODevice::WriteOnly);
        exchange::vcard::write(first.rows, b);
        QCOMPARE(rowsOf(exchange::vcard::read(b.data()).rows), rowsOf(first.rows));
    }

    // A large file is read in two parts at once: the cards, their lines and the first
    // fault are those of one reading, also when a card inside a card spans the cut.
    void vcard_largeFileReadInParts()
    {
        const int n = 40000; // about 1.4 MB on each side
        QByteArray side;
        for (int i = 0; i < n / 2; ++i)
            side += "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:卡" + QByteArray::number(i) +
                    "\r\nTEL;TYPE=cell:139\r\nEND:VCARD\r\n";
        const int sideLines = int(side.count('\n'));
        const QByteArray outer =
            "BEGIN:VCARD\r\nVERSION:2.1\r\nFN:外层\r\nNOTE:" + QByteArray(2000, 'x') +
            "\r\nAGENT:\r\nBEGIN:VCARD\r\nFN:甲\r\nEND:VCARD\r\n"
            "BEGIN:VCARD\r\nFN:乙\r\nEND:VCARD\r\nTITLE:尾\r\nEND:VCARD\r\n";

        // The second part begins a third into the file: there, or in the card around it.
        for (const QByteArray& middle : {QByteArray(), outer}) {
            const QByteArray file = side + middle + side + side;
            QVERIFY(file.size() > 2 << 20); // large enough to be read in parts
            const exchange::Records r = exchange::vcard::read(file);
            const int cards = 3 * n / 2 + (middle.isEmpty() ? 0 : 1);
            QCOMPARE(r.rows.rowCount(), cards);
            QCOMPARE(r.lines.size(), std::size_t(cards));
            for (int i = 0; i < cards; ++i) {
                const bool isOuter = !middle.isEmpty() && i == n / 2;
                const int k = i < n / 2 || middle.isEmpty() ? i : i - 1;
                const QString name = isOuter ? u"外层"_s : u"卡"_s + QString::number(k % (n / 2));
                QCOMPARE(r.rows.view(i, tables::kCardNameColumn), name);
                const int line = isOuter ? sideLines + 1
                                         : 1 + 5 * k + (k >= n / 2 ? int(middle.count('\n')) : 0);
                QCOMPARE(r.lines[std::size_t(i)], line);
            }
            if (!middle.isEmpty())
                QCOMPARE(r.rows.view(n / 2, tables::card::Status), u"尾");
        }

        // A card passed over in the second half, and one in each half: the remarks name
        // their lines in the file's order, the other cards are read.
        const QByteArray broken = "BEGIN:VCARD\r\nno colon\r\nEND:VCARD\r\n";
        auto skippedLines = [](const exchange::Records& r) {
            QList<int> l;
            for (const exchange::Note& n : r.skipped)
                l << n.line;
            return l;
        };
        const exchange::Records late =
            exchange::vcard::read(QByteArray(side + side + broken + side));
        QCOMPARE(late.rows.rowCount(), 3 * n / 2);
        QCOMPARE(skippedLines(late), QList<int>{2 * sideLines + 2});
        const exchange::Records twice =
            exchange::vcard::read(QByteArray(broken + side + side + broken + side));
        QCOMPARE(twice.rows.rowCount(), 3 * n / 2);
        QCOMPARE(skippedLines(twice), (QList<int>{2, 2 * sideLines + 5}));
        // A file cut off inside a card, after both parts: refused at that card's line.
        QCOMPARE(lineOf([&] {
                     exchange::vcard::read(
                         QByteArray(side + side + side + "BEGIN:VCARD\r\nFN:x\r\n"));
                 }),
                 3 * sideLines + 1);
    }

    // A card that cannot be read is passed over whole with a remark naming its line, the
    // others are read; a file that holds no card, or ends inside one, is refused.
    void vcard_unreadableCardsArePassedOver_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("names");  // the cards read
        QTest::addColumn<QList<int>>("skipped"); // the lines of the remarks on cards passed over
        QTest::addColumn<int>("refused");        // the line of the file's fault, or -1
        const QByteArray good = "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:甲\r\nEND:VCARD\r\n";
        const QByteArray last = "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:丁\r\nEND:VCARD\r\n";
        const QStringList both{u"甲"_s, u"丁"_s};
        QTest::newRow("no name of any kind")
            << good + "BEGIN:VCARD\r\nVERSION:4.0\r\nFN:\r\nN:;;;;\r\nNOTE:x\r\nEND:VCARD\r\n" +
                   last
            << both << QList<int>{5} << -1;
        QTest::newRow("line without colon")
            << good + "BEGIN:VCARD\r\nFN 乙\r\nTEL:1\r\nEND:VCARD\r\n" + last << both
            << QList<int>{6} << -1;
        QTest::newRow("version 5")
            << good + "BEGIN:VCARD\r\nVERSION:5.0\r\nFN:乙\r\nEND:VCARD\r\n" + last << both
            << QList<int>{6} << -1;
        QTest::newRow("unknown charset")
            << good + "BEGIN:VCARD\r\nVERSION:2.1\r\nFN;CHARSET=X-NOPE:abc\r\nEND:VCARD\r\n" + last
            << both << QList<int>{7} << -1;
        QTest::newRow("bytes in no encoding")
            << good + "BEGIN:VCARD\r\nFN:\xFF\xFF\xFF\r\nEND:VCARD\r\n" + last << both
            << QList<int>{6} << -1;
        QTest::newRow("END without BEGIN, text outside cards: left out")
            << good + "END:VCARD\r\nhello\r\n" + last << both << QList<int>{} << -1;
        QTest::newRow("no END: cut off") << good + "BEGIN:VCARD\r\nFN:乙\r\n"
                                         << QStringList() << QList<int>{} << 5;
        QTest::newRow("not a vCard")
            << QByteArray("name,phone\r\n") << QStringList() << QList<int>{} << 1;
    }
    void vcard_unreadableCardsArePassedOver()
    {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, names);
        QFETCH(QList<int>, skipped);
        QFETCH(int, refused);
        if (refused >= 0) {
            QCOMPARE(lineOf([&] { exchange::vcard::read(file); }), refused);
            return;
        }
        const exchange::Records r = exchange::vcard::read(file);
        QStringList read;
        for (int i = 0; i < r.rows.rowCount(); ++i)
            read << r.rows.text(i, tables::kCardNameColumn);
        QCOMPARE(read, names);
        QList<int> lines;
        for (const exchange::Note& n : r.skipped)
            lines << n.line;
        QCOMPARE(lines, skipped);
    }

    // How phones and mail programs write what they write: each snippet gives the same card.
    void vcard_producerHabits_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<Values>("expected");
        const Values plain{{u"full_nam"_s, u"王芳"_s}, {u"Status"_s, u"主管"_s}};
        const QByteArray body = "BEGIN:VCARD|VERSION:3.0|FN:王芳|TITLE:主管|END:VCARD|";
        auto ends = [&](const char* eol) {
            QByteArray b = body;
            return b.replace("|", eol);
        };
        QTest::newRow("CRLF") << ends("\r\n") << plain;
        QTest::newRow("CR CR LF (iOS 6)") << ends("\r\r\n") << plain;
        QTest::newRow("LF") << ends("\n") << plain;
        QTest::newRow("lone CR") << ends("\r") << plain;
        QTest::newRow("comments and a line after END")
            << "# exported\r\n" + ends("\r\n") + "# end\r\ntrailing text\r\n"
            << plain;
        auto utf16 = [&](QStringConverter::Encoding e, bool mark) {
            QStringEncoder enc(e, mark ? QStringEncoder::Flag::WriteBom
                                       : QStringEncoder::Flag::Default);
            return QByteArray(enc.encode(QString::fromUtf8(ends("\r\n"))));
        };
        QTest::newRow("UTF-16 LE, no mark") << utf16(QStringConverter::Utf16LE, false) << plain;
        QTest::newRow("UTF-16 BE, no mark") << utf16(QStringConverter::Utf16BE, false) << plain;
        QTest::newRow("UTF-16 LE, mark") << utf16(QStringConverter::Utf16LE, true) << plain;
        QTest::newRow("GB18030 under CHARSET=UTF-8")
            << "BEGIN:VCARD\r\nVERSION:2.1\r\nFN;CHARSET=UTF-8:" +
                   exchange::encode(u"王芳", exchange::Encoding::Gb18030) +
                   "\r\nTITLE:主管\r\nEND:VCARD\r\n"
            << plain;
        QTest::newRow("GB2312 that is GBK (Outlook)")
            << "BEGIN:VCARD\r\nVERSION:2.1\r\nFN;CHARSET=gb2312:" +
                   exchange::encode(u"朱镕基", exchange::Encoding::Gb18030) + "\r\nEND:VCARD\r\n"
            << Values{{u"full_nam"_s, u"朱镕基"_s}};
        QTest::newRow("escaped colon and quote (Apple, Google)")
            << QByteArray("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:A\r\nitem1.URL:http\\://a.example/x\r\n"
                          "NOTE:say \\\"hi\\\" at 10\\:30\\, ok\\; \\\\ \\n2\r\nEND:VCARD\r\n")
            << Values{{u"full_nam"_s, u"A"_s},
                      {u"web_addr"_s, u"http://a.example/x"_s},
                      {u"note"_s, u"say \"hi\" at 10:30, ok; \\ \n2"_s}};
        QTest::newRow("address continued after a backslash (old Android)")
            << QByteArray("BEGIN:VCARD\r\nVERSION:2.1\r\nFN:A\r\nADR;HOME:;;200 Park Ave\\\r\n"
                          "Suite 1700;New York;NY;10166;USA\r\nTEL;CELL:1\r\nEND:VCARD\r\n")
            << Values{{u"full_nam"_s, u"A"_s},
                      {u"home_addr"_s, u"200 Park Ave, Suite 1700, New York, NY, USA"_s},
                      {u"home_zip"_s, u"10166"_s},
                      {u"mobile"_s, u"1"_s}};
        QTest::newRow("a value ending in an escaped backslash is no continuation")
            << QByteArray(
                   "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:A\r\nNOTE:C:\\\\\r\nTITLE:x\r\nEND:VCARD\r\n")
            << Values{{u"full_nam"_s, u"A"_s}, {u"note"_s, u"C:\\"_s}, {u"Status"_s, u"x"_s}};
        QTest::newRow("QQ, nickname, gender, things without a column")
            << QByteArray(
                   "BEGIN:VCARD\r\nVERSION:4.0\r\nFN:A\r\n"
                   "IMPP;X-SERVICE-TYPE=QQ;type=HOME:x-apple:123\r\n"
                   "IMPP;X-SERVICE-TYPE=QQ:qq:456\r\n"
                   "X-ANDROID-CUSTOM:vnd.android.cursor.item/nickname;小A;1;;;;;;;;;;;;;\r\n"
                   "GENDER:F\r\nIMPP:skype:a.b\r\nBDAY:19800102\r\nANNIVERSARY:2005-06-07\r\n"
                   "ROLE:组长\r\nRELATED;TYPE=spouse:乙\r\nEND:VCARD\r\n")
            << Values{{u"full_nam"_s, u"A"_s},
                      {u"qq_code"_s, u"123"_s},
                      {u"web_nam"_s, u"小A"_s},
                      {u"glender"_s, u"女"_s},
                      {u"note"_s, u"其他QQ号：456\n即时通讯（skype）：a.b\n生日：1980-01-02\n"
                                  "纪念日：2005-06-07\n角色：组长\n相关的人：乙"_s}};
    }
    void vcard_producerHabits()
    {
        QFETCH(QByteArray, file);
        QFETCH(Values, expected);
        const exchange::Records r = exchange::vcard::read(file);
        QCOMPARE(r.skipped.size(), std::size_t(0));
        QCOMPARE(r.rows.rowCount(), 1);
        QCOMPARE(rowsOf(r.rows)[0], card(kNull, expected));
    }

    // A card's name: FN, else N, else ORG, NICKNAME, EMAIL, TEL (as phones show contacts).
    void vcard_nameFallsBack_data()
    {
        QTest::addColumn<QByteArray>("properties");
        QTest::addColumn<QString>("name");
        QTest::newRow("FN") << QByteArray("FN:甲\r\nN:乙;;;;\r\nORG:丙\r\n") << u"甲"_s;
        QTest::newRow("N, western, prefix and suffix")
            << QByteArray("FN:\r\nN:Angstadt;Michael;;Mr.;Jr.\r\nORG:丙\r\n")
            << u"Mr. Michael Angstadt Jr."_s;
        QTest::newRow("N, Chinese") << QByteArray("N:诸葛;亮;;;\r\nORG:丙\r\n") << u"诸葛亮"_s;
        QTest::newRow("ORG") << QByteArray("FN:\r\nN:;;;;\r\nORG:丙公司;部\r\nNICKNAME:丁\r\n")
                             << u"丙公司 部"_s;
        QTest::newRow("NICKNAME") << QByteArray("NICKNAME:丁\r\nEMAIL:e@x.cn\r\n") << u"丁"_s;
        QTest::newRow("EMAIL") << QByteArray("EMAIL:e@x.cn\r\nTEL:1\r\n") << u"e@x.cn"_s;
        QTest::newRow("TEL, the first of the file")
            << QByteArray("TEL;TYPE=HOME:2\r\nTEL;TYPE=CELL:1\r\n") << u"2"_s;
    }
    void vcard_nameFallsBack()
    {
        QFETCH(QByteArray, properties);
        QFETCH(QString, name);
        const exchange::Records r = exchange::vcard::read(
            QByteArray("BEGIN:VCARD\r\nVERSION:3.0\r\n" + properties + "END:VCARD\r\n"));
        QCOMPARE(r.rows.rowCount(), 1);
        QCOMPARE(r.rows.text(0, tables::kCardNameColumn), name);
    }

    // UIDs go out with every card and come back with it.
    void vcard_uidsOutAndBack()
    {
        const ct::CellTable cards = table(tables::kCardColumns, trickyCards());
        QBuffer b;
        b.open(QIODevice::WriteOnly);
        exchange::vcard::write(cards, b,
                               [](QStringView serno) -> QString { return u"db-card-"_s + serno; });
        QCOMPARE(b.data().count("\r\nUID:"), cards.rowCount());
        const exchange::Records back = exchange::vcard::read(b.data());
        QCOMPARE(back.uids, (std::vector<QString>{u"db-card-1"_s, u"db-card-2"_s, u"db-card-3"_s,
                                                  u"db-card-4"_s}));
        QCOMPARE(
            exchange::vcard::cardOf(cards, 3, u"x;y"_s),
            QByteArray("BEGIN:VCARD\r\nVERSION:4.0\r\nFN:a\r\nN:;a;;;\r\nGENDER:F\r\nUID:x\\;y\r\n"
                       "END:VCARD\r\n"));
        QCOMPARE(exchange::vcard::read(exchange::vcard::cardOf(cards, 3, u"x;y"_s)).uids,
                 std::vector<QString>{u"x;y"_s});
    }

    // Names taken apart for N and put together again from N.
    void vcard_names_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("n"); // family, given, additional, prefix, suffix
        QTest::newRow("Chinese") << u"张三丰"_s << QStringList{u"张"_s, u"三丰"_s, {}, {}, {}};
        QTest::newRow("compound surname")
            << u"司马光"_s << QStringList{u"司马"_s, u"光"_s, {}, {}, {}};
        QTest::newRow("one character") << u"张"_s << QStringList{u"张"_s, {}, {}, {}, {}};
        QTest::newRow("western") << u"John Ronald Smith"_s
                                 << QStringList{u"Smith"_s, u"John Ronald"_s, {}, {}, {}};
        QTest::newRow("one word") << u"Madonna"_s << QStringList{{}, u"Madonna"_s, {}, {}, {}};
        QTest::newRow("honorific and suffix")
            << u"Mr. Michael Angstadt Jr."_s
            << QStringList{u"Angstadt"_s, u"Michael"_s, {}, u"Mr."_s, u"Jr."_s};
        QTest::newRow("two honorifics, academic suffix")
            << u"Prof. Dr. Emily Chen PhD"_s
            << QStringList{u"Chen"_s, u"Emily"_s, {}, u"Prof. Dr."_s, u"PhD"_s};
        QTest::newRow("a word like an honorific alone")
            << u"Dr."_s << QStringList{{}, u"Dr."_s, {}, {}, {}};
    }
    void vcard_names()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, n);
        const exchange::cardparts::Name parts = exchange::cardparts::splitName(name);
        QCOMPARE(
            (QStringList{parts.family, parts.given, parts.additional, parts.prefix, parts.suffix}),
            n);
        QCOMPARE(exchange::cardparts::joinName(parts), name);
        QBuffer b;
        b.open(QIODevice::WriteOnly);
        exchange::vcard::write(table(tables::kCardColumns, {card(u"1"_s, {{u"full_nam"_s, name}})}),
                               b);
        QVERIFY2(b.data().contains(QByteArray("\r\nN:" + n.join(u';').toUtf8() + "\r\n")),
                 b.data().constData());
    }

    // ---- CSV -------------------------------------------------------------------------

    void csv_parsesRfc4180_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<QStringList>>("records");
        QTest::addColumn<QList<int>>("lines");
        QTest::newRow("plain, CRLF")
            << u"a,b\r\nc,d\r\n"_s << QList<QStringList>{{u"a"_s, u"b"_s}, {u"c"_s, u"d"_s}}
            << QList<int>{1, 2};
        QTest::newRow("LF, no last line end")
            << u"a,b\nc,d"_s << QList<QStringList>{{u"a"_s, u"b"_s}, {u"c"_s, u"d"_s}}
            << QList<int>{1, 2};
        QTest::newRow("quoted comma, quote, line break")
            << u"\"x,y\",\"say \"\"hi\"\"\",\"1\r\n2\"\r\nnext,\r\n"_s
            << QList<QStringList>{{u"x,y"_s, u"say \"hi\""_s, u"1\r\n2"_s}, {u"next"_s, QString()}}
            << QList<int>{1, 3};
        QTest::newRow("empty fields and lines")
            << u",,\r\n\r\n\"\",a,\r\n"_s
            << QList<QStringList>{{QString(), QString(), QString()}, {QString(), u"a"_s, QString()}}
            << QList<int>{1, 3};
    }
    void csv_parsesRfc4180()
    {
        QFETCH(QString, text);
        QFETCH(QList<QStringList>, records);
        QFETCH(QList<int>, lines);
        QList<QStringList> got;
        QList<int> at;
        exchange::csv::parse(text, [&](int line, std::span<const QString> f) {
            got << QStringList(f.begin(), f.end());
            at << line;
        });
        QCOMPARE(got, records);
        QCOMPARE(at, lines);
    }

    void csv_quotingFaultsNameTheirLine_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("line");
        QTest::newRow("quote left open") << u"a,b\r\nc,\"d\r\ne\r\n"_s << 2;
        QTest::newRow("text after a closing quote") << u"a,b\r\n\"c\"x,d\r\n"_s << 2;
    }
    void csv_quotingFaultsNameTheirLine()
    {
        QFETCH(QString, text);
        QFETCH(int, line);
        QCOMPARE(lineOf([&] { exchange::csv::parse(text, [](int, std::span<const QString>) {}); }),
                 line);
    }

    void csv_cardsRoundTrip_data()
    {
        QTest::addColumn<exchange::Encoding>("encoding");
        QTest::addColumn<bool>("told");
        QTest::newRow("UTF-8 with BOM") << exchange::Encoding::Utf8 << false;
        QTest::newRow("GB18030 told") << exchange::Encoding::Gb18030 << true;
        QTest::newRow("GB18030 found") << exchange::Encoding::Gb18030 << false;
    }
    void csv_cardsRoundTrip()
    {
        QFETCH(exchange::Encoding, encoding);
        QFETCH(bool, told);
        const ct::CellTable cards = table(tables::kCardColumns, trickyCards());
        const QByteArray out = writeCardsCsv(cards, encoding);
        QCOMPARE(out.startsWith("\xEF\xBB\xBF"), encoding == exchange::Encoding::Utf8);
        QVERIFY(out.contains(encoding == exchange::Encoding::Utf8
                                 ? QByteArray("序号,姓名,单位,职称")
                                 : exchange::encode(u"序号,姓名,单位,职称", encoding)));
        const exchange::Records back =
            exchange::csv::readCards(out, told ? std::optional(encoding) : std::nullopt);
        QCOMPARE(withoutSerno(rowsOf(back.rows)), withoutSerno(rowsOf(cards)));
        QCOMPARE(back.lines, (std::vector<int>{2, 6, 7, 8})); // the note of card 1 spans 4 lines
    }

    void csv_cardHeadingsInAnyOrder()
    {
        const QByteArray file = "手机,姓名,说明\r\n139,王五,\"备注\"\r\n";
        const exchange::Records r = exchange::csv::readCards(file, std::nullopt);
        QCOMPARE(rowsOf(r.rows), (QList<QStringList>{card(kNull, {{u"full_nam"_s, u"王五"_s},
                                                                  {u"mobile"_s, u"139"_s},
                                                                  {u"note"_s, u"备注"_s}})}));
    }

    // A row with nothing but its 序号 is no record: passed over, as an empty row is.
    void csv_rowWithOnlyItsNumberIsPassedOver()
    {
        const exchange::Records cards =
            exchange::csv::readCards("序号,姓名,手机\r\n7,,\r\n8,王五,139\r\n", std::nullopt);
        QCOMPARE(rowsOf(cards.rows), (QList<QStringList>{card(kNull, {{u"full_nam"_s, u"王五"_s},
                                                                      {u"mobile"_s, u"139"_s}})}));
        QCOMPARE(cards.lines, std::vector<int>{3});
        const exchange::Records meetings =
            exchange::csv::readMeetings("序号,会议主题\r\n7,\r\n8,周会\r\n", std::nullopt, kToday);
        QCOMPARE(meetings.rows.rowCount(), 1);
        QCOMPARE(meetings.rows.view(0, tables::meet::meet_cont), u"周会");
    }

    // A row that cannot be read is passed over with a remark, the others are read; a file
    // without a heading a card could be named by, or cut off inside a quote, is refused.
    void csv_unreadableRowsArePassedOver_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QList<QStringList>>("cards"); // name, 说明
        QTest::addColumn<QList<int>>("skipped");
        QTest::addColumn<int>("refused");
        using Cards = QList<QStringList>;
        QTest::newRow("a heading not of the list goes to 说明")
            << QByteArray("姓名,生日\r\n甲,1\r\n") << Cards{{u"甲"_s, u"生日：1"_s}} << QList<int>{}
            << -1;
        QTest::newRow("a heading twice: the second value to 说明")
            << QByteArray("姓名,姓名\r\n甲,乙\r\n") << Cards{{u"甲"_s, u"姓名：乙"_s}}
            << QList<int>{} << -1;
        QTest::newRow("no name column: named by the phone")
            << QByteArray("手机\r\n1\r\n") << Cards{{u"1"_s, QString()}} << QList<int>{} << -1;
        QTest::newRow("too few fields")
            << QByteArray("姓名,手机\r\n甲,1\r\n乙\r\n丙,3\r\n")
            << Cards{{u"甲"_s, QString()}, {u"丙"_s, QString()}} << QList<int>{3} << -1;
        QTest::newRow("more fields, all empty")
            << QByteArray("姓名,手机\r\n甲,1,,\r\n") << Cards{{u"甲"_s, QString()}} << QList<int>{}
            << -1;
        QTest::newRow("more fields with text")
            << QByteArray("姓名,手机\r\n甲,1,x\r\n乙,2\r\n") << Cards{{u"乙"_s, QString()}}
            << QList<int>{2} << -1;
        QTest::newRow("no name of any kind") << QByteArray("姓名,手机,说明\r\n甲,1,\r\n ,,x\r\n")
                                             << Cards{{u"甲"_s, QString()}} << QList<int>{3} << -1;
        QTest::newRow("a line in no encoding after a BOM")
            << QByteArray("\xEF\xBB\xBF姓名\r\n甲\r\n\xFF\xFE\r\n乙\r\n")
            << Cards{{u"甲"_s, QString()}, {u"乙"_s, QString()}} << QList<int>{3} << -1;
        QTest::newRow("text after a closing quote")
            << QByteArray("姓名,说明\r\n\"甲\"x,1\r\n乙,2\r\n") << Cards{{u"乙"_s, u"2"_s}}
            << QList<int>{2} << -1;
        QTest::newRow("quote left open: cut off")
            << QByteArray("姓名\r\n甲\r\n\"乙\r\n") << Cards{} << QList<int>{} << 3;
        QTest::newRow("no heading a card is named by")
            << QByteArray("生日,血型\r\n1,O\r\n") << Cards{} << QList<int>{} << 1;
        QTest::newRow("empty file") << QByteArray() << Cards{} << QList<int>{} << 1;
    }
    void csv_unreadableRowsArePassedOver()
    {
        QFETCH(QByteArray, file);
        QFETCH(QList<QStringList>, cards);
        QFETCH(QList<int>, skipped);
        QFETCH(int, refused);
        if (refused >= 0) {
            QCOMPARE(lineOf([&] { exchange::csv::readCards(file, std::nullopt); }), refused);
            return;
        }
        const exchange::Records r = exchange::csv::readCards(file, std::nullopt);
        QList<QStringList> read;
        for (int i = 0; i < r.rows.rowCount(); ++i)
            read << QStringList{r.rows.text(i, tables::kCardNameColumn),
                                r.rows.text(i, tables::card::note)};
        QCOMPARE(read, cards);
        QList<int> lines;
        for (const exchange::Note& n : r.skipped)
            lines << n.line;
        QCOMPARE(lines, skipped);
    }

    // The encoding and the delimiter are found from the file; a told encoding holds.
    void csv_encodingAndDelimiterFound_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("toldGb18030");
        const QString text = u"姓名|手机|说明\r\n王五|139|\"a;b,\tc\"\r\n"_s;
        auto with = [&](QChar d) { return QString(text).replace(u'|', d); };
        auto utf16 = [](const QString& t, QStringConverter::Encoding e, bool mark) {
            QStringEncoder enc(e, mark ? QStringEncoder::Flag::WriteBom
                                       : QStringEncoder::Flag::Default);
            return QByteArray(enc.encode(t));
        };
        QTest::newRow("UTF-8, mark, commas") << "\xEF\xBB\xBF" + with(u',').toUtf8() << false;
        QTest::newRow("UTF-8, semicolons") << with(u';').toUtf8() << false;
        QTest::newRow("GB18030, tabs")
            << exchange::encode(with(u'\t'), exchange::Encoding::Gb18030) << false;
        QTest::newRow("GB18030 told")
            << exchange::encode(with(u','), exchange::Encoding::Gb18030) << true;
        QTest::newRow("UTF-16 LE, mark, tabs (Excel's Unicode text)")
            << utf16(with(u'\t'), QStringConverter::Utf16LE, true) << false;
        QTest::newRow("UTF-16 LE, no mark")
            << utf16(with(u','), QStringConverter::Utf16LE, false) << false;
        QTest::newRow("UTF-16 BE, mark")
            << utf16(with(u';'), QStringConverter::Utf16BE, true) << false;
    }
    void csv_encodingAndDelimiterFound()
    {
        QFETCH(QByteArray, file);
        QFETCH(bool, toldGb18030);
        const exchange::Records r = exchange::csv::readCards(
            file, toldGb18030 ? std::optional(exchange::Encoding::Gb18030) : std::nullopt);
        QCOMPARE(rowsOf(r.rows), (QList<QStringList>{card(kNull, {{u"full_nam"_s, u"王五"_s},
                                                                  {u"mobile"_s, u"139"_s},
                                                                  {u"note"_s, u"a;b,\tc"_s}})}));
    }

    // Dates and times as calendars and spreadsheets write them.
    void csv_datesAndTimesOfOtherPrograms_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("monthFirst");
        QTest::addColumn<QString>("date"); // yyyy-MM-dd, empty when no date
        QTest::newRow("US") << u"6/12/2024"_s << true << u"2024-06-12"_s;
        QTest::newRow("US, day past 12") << u"13/6/2024"_s << true << u"2024-06-13"_s;
        QTest::newRow("d/M") << u"6/12/2024"_s << false << u"2024-12-06"_s;
        QTest::newRow("Chinese") << u"2024/6/12"_s << false << u"2024-06-12"_s;
        QTest::newRow("ISO") << u"2024-06-12"_s << true << u"2024-06-12"_s;
        QTest::newRow("German") << u"12.06.2024"_s << false << u"2024-06-12"_s;
        QTest::newRow("two-digit year") << u"6/12/24"_s << true << u"2024-06-12"_s;
        QTest::newRow("no such day") << u"2/30/2024"_s << true << QString();
        QTest::newRow("words") << u"tomorrow"_s << true << QString();
    }
    void csv_datesAndTimesOfOtherPrograms()
    {
        QFETCH(QString, text);
        QFETCH(bool, monthFirst);
        QFETCH(QString, date);
        const auto d = exchange::headings::dateOf(text, monthFirst);
        QCOMPARE(d ? d->toString(Qt::ISODate) : QString(), date);
    }
    void csv_timesOfOtherPrograms_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("hour"); // -1: no time
        QTest::addColumn<int>("minute");
        QTest::newRow("12-hour PM") << u"2:30:00 PM"_s << 14 << 30;
        QTest::newRow("noon") << u"12:00:00 PM"_s << 12 << 0;
        QTest::newRow("midnight") << u"12:00:00 AM"_s << 0 << 0;
        QTest::newRow("24-hour") << u"14:05"_s << 14 << 5;
        QTest::newRow("下午") << u"下午 02:30:00"_s << 14 << 30;
        QTest::newRow("上午") << u"上午 9:05:00"_s << 9 << 5;
        QTest::newRow("full-width colon") << u"8：30"_s << 8 << 30;
        QTest::newRow("hour 24") << u"24:00"_s << -1 << -1;
        QTest::newRow("13 PM") << u"13:00 PM"_s << -1 << -1;
        QTest::newRow("no colon") << u"930"_s << -1 << -1;
    }
    void csv_timesOfOtherPrograms()
    {
        QFETCH(QString, text);
        QFETCH(int, hour);
        QFETCH(int, minute);
        const auto t = exchange::headings::timeOf(text);
        QCOMPARE(t ? t->first : -1, hour);
        QCOMPARE(t ? t->second : -1, minute);
    }

    void csv_meetingsRoundTrip()
    {
        const ct::CellTable meetings =
            table(tables::kMeetColumns,
                  {{u"1"_s, u"2024-03-01"_s, u"周会, \"全体\""_s, u"三楼;会议室"_s, u"2024-03-05"_s,
                    u"9"_s, u"5"_s},
                   {u"2"_s, u"2024-03-01"_s, u"全天"_s, QString(), u"2024-03-06"_s, kNull, kNull},
                   {u"3"_s, u"2024-03-02"_s, u"只有时"_s, u"😀"_s, u"明天"_s, u"23"_s, kNull}});
        QBuffer b;
        b.open(QIODevice::WriteOnly);
        exchange::csv::writeMeetings(meetings, b, exchange::Encoding::Utf8);
        QVERIFY(b.data().contains("序号,纪录日期,会议主题,会议地址,会议日期,出发时间\r\n"));
        QVERIFY(b.data().contains(",9：05\r\n"));
        const exchange::Records back = exchange::csv::readMeetings(b.data(), std::nullopt, kToday);
        QCOMPARE(withoutSerno(rowsOf(back.rows)), withoutSerno(rowsOf(meetings)));
    }

    void csv_departureTimes_data()
    {
        QTest::addColumn<QString>("time");
        QTest::addColumn<QString>("hour");
        QTest::addColumn<QString>("minute");
        QTest::newRow("full-width colon") << u"8：30"_s << u"8"_s << u"30"_s;
        QTest::newRow("ASCII colon") << u"08:05"_s << u"8"_s << u"5"_s;
        QTest::newRow("empty") << QString() << kNull << kNull;
        QTest::newRow("colon only") << u"："_s << kNull << kNull;
        QTest::newRow("hour only") << u"7："_s << u"7"_s << kNull;
        QTest::newRow("hour 24") << u"24：00"_s << QString() << QString();
        QTest::newRow("minute 60") << u"8：60"_s << QString() << QString();
        QTest::newRow("no colon") << u"830"_s << QString() << QString();
        QTest::newRow("words") << u"八点：半"_s << QString() << QString();
    }
    void csv_departureTimes()
    {
        QFETCH(QString, time);
        QFETCH(QString, hour);
        QFETCH(QString, minute);
        const QByteArray file =
            (u"会议主题,会议日期,出发时间\r\n首,2024-01-01,1：00\r\n会,2024-01-02,"_s + time +
             u"\r\n"_s)
                .toUtf8();
        const exchange::Records r = exchange::csv::readMeetings(file, std::nullopt, kToday);
        if (hour.isEmpty()) { // passed over with a remark on its line
            QCOMPARE(r.rows.rowCount(), 1);
            QCOMPARE(r.skipped.size(), std::size_t(1));
            QCOMPARE(r.skipped[0].line, 3);
            return;
        }
        const auto rows = rowsOf(r.rows);
        QCOMPARE(rows[1].mid(5), (QStringList{hour, minute}));
    }

    // ---- iCalendar -------------------------------------------------------------------

    void ical_roundTripAndWhatIsWritten()
    {
        const ct::CellTable meetings = table(
            tables::kMeetColumns,
            {{u"1"_s, u"2024-03-01"_s, u"周会, \"全体\"; 总结\n第二行😀"_s, u"三楼;会议室"_s,
              u"2024-03-05"_s, u"9"_s, u"5"_s},
             {u"2"_s, u"2024-03-01"_s, u"全天"_s, QString(), u"2024-3-6"_s, kNull, kNull},
             {u"3"_s, u"不是日期"_s, QString(), u"地点"_s, u"2024-12-31"_s, u"23"_s, u"59"_s}});
        const QByteArray out = writeIcs(meetings, kShanghai);
        QVERIFY(out.startsWith("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:"));
        QVERIFY(out.contains("TZID:Asia/Shanghai\r\n"));
        QVERIFY(out.contains("UID:uid-1\r\n"));
        QVERIFY(out.contains("DTSTART;TZID=Asia/Shanghai:20240305T090500\r\n"));
        QVERIFY(out.contains("DTSTART;VALUE=DATE:20240306\r\n"));
        QVERIFY(out.contains("CREATED:20240229T160000Z\r\n")); // 2024-03-01 00:00 in Shanghai
        QVERIFY(out.contains("DTSTAMP:20300102T030400Z\r\n")); // no record date: the stamp
        QCOMPARE(out.count("BEGIN:VALARM"), 2);                // timed meetings only
        QVERIFY(out.contains("TRIGGER:PT0S\r\n"));

        const exchange::Records back = exchange::ical::read(out, kShanghai, QDate(2030, 1, 2));
        QCOMPARE(withoutSerno(rowsOf(back.rows)),
                 (QList<QStringList>{
                     {u"2024-03-01"_s, u"周会, \"全体\"; 总结\n第二行😀"_s, u"三楼;会议室"_s,
                      u"2024-03-05"_s, u"9"_s, u"5"_s},
                     {u"2024-03-01"_s, u"全天"_s, QString(), u"2024-03-06"_s, kNull, kNull},
                     {u"2030-01-02"_s, QString(), u"地点"_s, u"2024-12-31"_s, u"23"_s, u"59"_s}}));
        QCOMPARE(back.uids, (std::vector<QString>{u"uid-1"_s, u"uid-2"_s, u"uid-3"_s}));
        ct::CellTable again = back.rows;
        for (int r = 0; r < again.rowCount(); ++r)
            again.set(r, 0, QString::number(r + 1));
        const QByteArray second = writeIcs(again, kShanghai);
        // Everything but the row whose record date was no date comes back byte for byte.
        QCOMPARE(second.left(second.indexOf("UID:uid-3")), out.left(out.indexOf("UID:uid-3")));
    }

    void ical_meetingsWithoutADateAreReportedAndLeftOut()
    {
        std::vector<exchange::Note> notes;
        const QByteArray out = writeIcs(
            table(tables::kMeetColumns,
                  {{u"7"_s, u"2024-03-01"_s, u"甲"_s, QString(), u"明天"_s, u"9"_s, u"0"_s},
                   {u"8"_s, u"2024-03-01"_s, u"乙"_s, QString(), u"2024-02-30"_s, u"9"_s, u"0"_s},
                   {u"9"_s, u"2024-03-01"_s, u"丙"_s, QString(), u"2024-02-29"_s, u"9"_s, u"0"_s}}),
            kShanghai, &notes);
        QCOMPARE(out.count("BEGIN:VEVENT"), 1);
        QCOMPARE(notes.size(), std::size_t(2));
        QVERIFY(notes[0].text.contains(u"序号 7"_s));
        QVERIFY(notes[1].text.contains(u"序号 8"_s));
    }

    void ical_utcZoneWritesUtcTimes()
    {
        const QByteArray out = writeIcs(
            table(tables::kMeetColumns,
                  {{u"1"_s, u"2024-03-01"_s, u"甲"_s, QString(), u"2024-03-05"_s, u"9"_s, u"5"_s}}),
            QTimeZone::utc());
        QVERIFY(out.contains("DTSTART:20240305T090500Z\r\n"));
        QVERIFY(!out.contains("VTIMEZONE"));
    }

    // Events as other calendars write them: times in UTC, in a zone given by a
    // VTIMEZONE, floating, and whole days; all read in the local zone.
    void ical_readsOtherCalendars()
    {
        const QByteArray file =
            "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Example//Cal//EN\r\n"
            "BEGIN:VTIMEZONE\r\nTZID:Eastern\r\nBEGIN:STANDARD\r\nDTSTART:19701101T020000\r\n"
            "TZOFFSETFROM:-0400\r\nTZOFFSETTO:-0500\r\nRRULE:FREQ=YEARLY;BYMONTH=11;BYDAY=1SU\r\n"
            "END:STANDARD\r\nBEGIN:DAYLIGHT\r\nDTSTART:19700308T020000\r\nTZOFFSETFROM:-0500\r\n"
            "TZOFFSETTO:-0400\r\nRRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=2SU\r\nEND:DAYLIGHT\r\n"
            "END:VTIMEZONE\r\n"
            "BEGIN:VEVENT\r\nUID:a\r\nDTSTAMP:20240101T000000Z\r\nDTSTART:20240305T013000Z\r\n"
            "SUMMARY:UTC\r\nEND:VEVENT\r\n"
            "BEGIN:VEVENT\r\nUID:b\r\nDTSTAMP:20240101T000000Z\r\n"
            "DTSTART;TZID=Eastern:20240704T200000\r\nSUMMARY:Eastern summer\r\n"
            "LOCATION:Park\\, north\r\nCREATED:20240620T120000Z\r\nEND:VEVENT\r\n"
            "BEGIN:VEVENT\r\nUID:c\r\nDTSTAMP:20240101T000000Z\r\nDTSTART:20240306T140000\r\n"
            "SUMMARY:Floating\r\nRRULE:FREQ=WEEKLY;COUNT=2\r\nEND:VEVENT\r\n"
            "BEGIN:VEVENT\r\nUID:d\r\nDTSTAMP:20240101T000000Z\r\nDTSTART;VALUE=DATE:20240307\r\n"
            "SUMMARY:All day\r\nEND:VEVENT\r\n"
            "BEGIN:VTODO\r\nUID:e\r\nDTSTAMP:20240101T000000Z\r\nSUMMARY:not a "
            "meeting\r\nEND:VTODO\r\n"
            "END:VCALENDAR\r\n";
        const exchange::Records r = exchange::ical::read(file, kShanghai, QDate(2030, 1, 2));
        QCOMPARE(withoutSerno(rowsOf(r.rows)),
                 (QList<QStringList>{
                     {u"2030-01-02"_s, u"UTC"_s, QString(), u"2024-03-05"_s, u"9"_s, u"30"_s},
                     {u"2024-06-20"_s, u"Eastern summer"_s, u"Park, north"_s, u"2024-07-05"_s,
                      u"8"_s, u"0"_s},
                     {u"2030-01-02"_s, u"Floating"_s, QString(), u"2024-03-06"_s, u"14"_s, u"0"_s},
                     {u"2030-01-02"_s, u"Floating"_s, QString(), u"2024-03-13"_s, u"14"_s, u"0"_s},
                     {u"2030-01-02"_s, u"All day"_s, QString(), u"2024-03-07"_s, kNull, kNull}}));
        QCOMPARE(r.lines, (std::vector<int>{19, 25, 33, 33, 40}));
        QCOMPARE(r.uids, (std::vector<QString>{u"a"_s, u"b"_s, u"c/20240306T140000"_s,
                                               u"c/20240313T140000"_s, u"d"_s}));
        QVERIFY(r.notes.empty());
        QCOMPARE(r.recurringEvents, 1);
        QCOMPARE(r.fromRecurring, 2);
    }

    // A recurring event gives a meeting for each occurrence: RRULE (COUNT, UNTIL, no end),
    // RDATE, EXDATE, an occurrence moved (RECURRENCE-ID) or called off, from its start to a
    // year after today, at most 500.
    void ical_recurringEventsGiveAMeetingEach_data()
    {
        QTest::addColumn<QByteArray>("events");
        QTest::addColumn<QStringList>("meetings"); // date hour:minute topic
        QTest::addColumn<QStringList>("uids");
        QTest::addColumn<int>("count"); // when more than listed: the first and last listed
        const QByteArray weekly = "BEGIN:VEVENT\r\nUID:w\r\nSUMMARY:周会\r\n"
                                  "DTSTART;TZID=Asia/Shanghai:20240506T093000\r\n";
        QTest::newRow("COUNT with EXDATE")
            << weekly + "RRULE:FREQ=WEEKLY;COUNT=3\r\n"
                        "EXDATE;TZID=Asia/Shanghai:20240513T093000\r\nEND:VEVENT\r\n"
            << QStringList{u"2024-05-06 9:30 周会"_s, u"2024-05-20 9:30 周会"_s}
            << QStringList{u"w/20240506T013000Z"_s, u"w/20240520T013000Z"_s} << 2;
        QTest::newRow("UNTIL, RDATE, an EXDATE in UTC")
            << weekly + "RRULE:FREQ=WEEKLY;UNTIL=20240520T013000Z\r\n"
                        "RDATE;TZID=Asia/Shanghai:20240508T150000\r\n"
                        "EXDATE:20240513T013000Z\r\nEND:VEVENT\r\n"
            << QStringList{u"2024-05-06 9:30 周会"_s, u"2024-05-08 15:00 周会"_s,
                           u"2024-05-20 9:30 周会"_s}
            << QStringList{u"w/20240506T013000Z"_s, u"w/20240508T070000Z"_s,
                           u"w/20240520T013000Z"_s}
            << 3;
        QTest::newRow("moved and called off")
            << weekly + "RRULE:FREQ=WEEKLY;COUNT=3\r\nEND:VEVENT\r\n"
                        "BEGIN:VEVENT\r\nUID:w\r\nSUMMARY:周会（下午）\r\n"
                        "RECURRENCE-ID;TZID=Asia/Shanghai:20240513T093000\r\n"
                        "DTSTART;TZID=Asia/Shanghai:20240513T140000\r\nEND:VEVENT\r\n"
                        "BEGIN:VEVENT\r\nUID:w\r\nSTATUS:CANCELLED\r\n"
                        "RECURRENCE-ID;TZID=Asia/Shanghai:20240520T093000\r\n"
                        "DTSTART;TZID=Asia/Shanghai:20240520T093000\r\nEND:VEVENT\r\n"
            << QStringList{u"2024-05-06 9:30 周会"_s, u"2024-05-13 14:00 周会（下午）"_s}
            << QStringList{u"w/20240506T013000Z"_s, u"w/20240513T013000Z"_s} << 2;
        QTest::newRow("whole days, no end: to a year after today")
            << QByteArray("BEGIN:VEVENT\r\nUID:y\r\nSUMMARY:生日\r\nDTSTART;VALUE=DATE:20280315\r\n"
                          "RRULE:FREQ=YEARLY\r\nEND:VEVENT\r\n")
            << QStringList{u"2028-03-15 生日"_s, u"2029-03-15 生日"_s, u"2030-03-15 生日"_s}
            << QStringList{u"y/20280315"_s, u"y/20290315"_s, u"y/20300315"_s} << 3;
        QTest::newRow("daily without end: 500 at most")
            << QByteArray("BEGIN:VEVENT\r\nUID:d\r\nSUMMARY:药\r\nDTSTART:20280101T080000\r\n"
                          "RRULE:FREQ=DAILY\r\nEND:VEVENT\r\n")
            << QStringList{u"2028-01-01 8:00 药"_s, u"2029-05-14 8:00 药"_s}
            << QStringList{u"d/20280101T080000"_s, u"d/20290514T080000"_s} << 500;
    }
    void ical_recurringEventsGiveAMeetingEach()
    {
        QFETCH(QByteArray, events);
        QFETCH(QStringList, meetings);
        QFETCH(QStringList, uids);
        QFETCH(int, count);
        const QByteArray file = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\n" + events + "END:VCALENDAR\r\n";
        const exchange::Records r = exchange::ical::read(file, kShanghai, kToday);
        using namespace tables::meet;
        QStringList got;
        QStringList gotUids;
        for (int i = 0; i < r.rows.rowCount(); ++i) {
            if (count > meetings.size() && i != 0 && i != r.rows.rowCount() - 1)
                continue;
            QString m = r.rows.text(i, meet_date);
            if (!r.rows.isNull(i, go_hour))
                m += u' ' + r.rows.text(i, go_hour) + u':' +
                     r.rows.text(i, go_second).rightJustified(2, u'0');
            got << m + u' ' + r.rows.text(i, meet_cont);
            gotUids << r.uids[std::size_t(i)];
        }
        QCOMPARE(r.rows.rowCount(), count);
        QCOMPARE(got, meetings);
        QCOMPARE(gotUids, uids);
        QCOMPARE(r.fromRecurring, count);
        QVERIFY(r.skipped.empty());
    }

    // An event that cannot be read is passed over with a remark on its line, the others are
    // read; a file that is no calendar, or ends inside a component, is refused.
    void ical_unreadableEventsArePassedOver_data()
    {
        QTest::addColumn<QByteArray>("events");
        QTest::addColumn<int>("read");
        QTest::addColumn<int>("line"); // of the remark, or of the refusal (read -1)
        const QByteArray good =
            "BEGIN:VEVENT\r\nUID:a\r\nDTSTART:20240305T013000Z\r\nEND:VEVENT\r\n";
        QTest::newRow("no DTSTART")
            << good + "BEGIN:VEVENT\r\nUID:b\r\nSUMMARY:x\r\nEND:VEVENT\r\n" + good << 2 << 7;
        QTest::newRow("no such day")
            << good +
                   "BEGIN:VEVENT\r\nUID:b\r\nSUMMARY:x\r\nDTSTART:20240230T090000\r\nEND:VEVENT\r\n"
            << 1 << 10;
        QTest::newRow("hour 25") << good +
                                        "BEGIN:VEVENT\r\nDTSTART:20240301T250000\r\nEND:VEVENT\r\n"
                                 << 1 << 8;
        QTest::newRow("unreadable DTSTART")
            << good + "BEGIN:VEVENT\r\nUID:b\r\nDTSTART:tomorrow\r\nEND:VEVENT\r\n"
            << 1 << 9;
        QTest::newRow("in no encoding")
            << good + "BEGIN:VEVENT\r\nSUMMARY:\xFF\xFF\xFF\r\nDTSTART:20240301\r\nEND:VEVENT\r\n"
            << 1 << 8;
        QTest::newRow("an END too many inside an event")
            << good + "BEGIN:VEVENT\r\nDTSTART:20240301\r\nEND:VALARM\r\nEND:VEVENT\r\n" + good << 2
            << 9;
        QTest::newRow("an event nested elsewhere is no event, the next is told at its line")
            << "BEGIN:VTODO\r\nBEGIN:VEVENT\r\nDTSTART:20240301\r\nEND:VEVENT\r\nEND:VTODO\r\n" +
                   good + "BEGIN:VEVENT\r\nUID:b\r\nDTSTART:tomorrow\r\nEND:VEVENT\r\n"
            << 1 << 14;
        QTest::newRow("event not ended: cut off") << good + "BEGIN:VEVENT\r\nDTSTART:20240301\r\n"
                                                  << -1 << 7;
    }
    void ical_unreadableEventsArePassedOver()
    {
        QFETCH(QByteArray, events);
        QFETCH(int, read);
        QFETCH(int, line);
        const QByteArray file = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\n" + events +
                                (read < 0 ? QByteArray() : "END:VCALENDAR\r\n");
        if (read < 0) {
            QCOMPARE(lineOf([&] { exchange::ical::read(file, kShanghai, kToday); }), line);
            return;
        }
        const exchange::Records r = exchange::ical::read(file, kShanghai, kToday);
        QCOMPARE(r.rows.rowCount(), read);
        QCOMPARE(r.skipped.size(), std::size_t(1));
        QCOMPARE(r.skipped[0].line, line);
    }

    // Line ends and comments as calendars write them, and lines after the calendar.
    void ical_producerHabits()
    {
        const QByteArray body = "BEGIN:VCALENDAR|VERSION:2.0|BEGIN:VEVENT|UID:a|"
                                "DTSTART:20240305T013000Z|SUMMARY:x|END:VEVENT|END:VCALENDAR|";
        for (const char* eol : {"\r\n", "\r\r\n", "\n", "\r"}) {
            QByteArray file = "# made by hand|" + body + "trailing text|";
            file.replace("|", eol);
            const exchange::Records r = exchange::ical::read(file, kShanghai, kToday);
            QCOMPARE(r.rows.rowCount(), 1);
            QCOMPARE(r.rows.text(0, tables::meet::meet_date), u"2024-03-05"_s);
            QCOMPARE(r.notes.size(), std::size_t(1)); // the line after the calendar
        }
        QStringEncoder utf16(QStringConverter::Utf16LE);
        QByteArray file = body;
        file.replace("|", "\r\n");
        QCOMPARE(exchange::ical::read(QByteArray(utf16.encode(QString::fromUtf8(file))), kShanghai,
                                      kToday)
                     .rows.rowCount(),
                 1);
    }

    // ---- Markdown --------------------------------------------------------------------

    void markdown_sectionsInDateOrder()
    {
        QBuffer b;
        b.open(QIODevice::WriteOnly);
        exchange::markdown::writeDiary(table(2, {{u"2024-03-10"_s, u"十日\n# 不是标题的井号"_s},
                                                 {u"某天"_s, u"无日期"_s},
                                                 {u"2024-3-9"_s, u"九日"_s},
                                                 {u"2023-12-31"_s, kNull}}),
                                       b);
        QCOMPARE(QString::fromUtf8(b.data()),
                 u"# 工作日记\n\n## 2023-12-31\n\n\n## 2024-03-09\n\n九日\n\n## 2024-03-10\n\n"
                 "十日\\\n\\# 不是标题的井号\n\n## 某天\n\n无日期\n"_s);
    }

    // What Markdown would read as markup stays text, every line break is a hard break, and
    // the file reads back to the same texts.
    void markdown_textStaysTextAndReadsBack_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("written"); // the lines as written, "" when not checked
        QTest::newRow("heading, quote, lists")
            << u"# 一\n> 二\n- 三\n* 四\n+ 五\n1. 六\n2) 七"_s
            << u"\\# 一\\\n\\> 二\\\n\\- 三\\\n\\* 四\\\n\\+ 五\\\n"
               "1\\. 六\\\n2\\) 七"_s;
        QTest::newRow("setext underline and a rule")
            << u"标题\n===\n---\n***"_s << u"标题\\\n\\===\\\n\\---\\\n\\*\\*\\*"_s;
        QTest::newRow("inline markup and entities")
            << u"*强调* _下划线_ `代码` [链接](x) <b>html</b> &amp; \\反斜杠 ~~删~~ | 表"_s
            << u"\\*强调\\* \\_下划线\\_ \\`代码\\` \\[链接\\](x) \\<b\\>html\\</b\\> \\&amp; "
               "\\\\反斜杠 \\~\\~删\\~\\~ \\| 表"_s;
        QTest::newRow("blanks at the ends, an indented code line")
            << u"    四个空格\n行尾空格  \n\t制表"_s
            << u"&#32;&#32;&#32;&#32;四个空格\\\n行尾空格&#32;&#32;\\\n&#9;制表"_s;
        QTest::newRow("empty lines, a text ending in a line break")
            << u"\n甲\n\n乙\n"_s << QString();
        QTest::newRow("a backslash at a line end") << u"C:\\\n下一行\\"_s << QString();
        QTest::newRow("a character reference as text")
            << u"&#32; 与 &lt;"_s << u"\\&\\#32; 与 \\&lt;"_s;
        QTest::newRow("CR inside") << u"一\r\n二"_s << QString();
        QTest::newRow("empty") << QString() << QString();
    }
    void markdown_textStaysTextAndReadsBack()
    {
        QFETCH(QString, text);
        QFETCH(QString, written);
        QBuffer b;
        b.open(QIODevice::WriteOnly);
        exchange::markdown::writeDiary(
            table(2, {{u"2024-03-10"_s, text}, {u"2024-03-11"_s, u"后一天"_s}}), b);
        if (!written.isEmpty())
            QVERIFY2(QString::fromUtf8(b.data()).contains(u"\n\n"_s + written + u"\n\n## "_s),
                     b.data().constData());
        const exchange::Records back = exchange::markdown::readDiary(b.data());
        QCOMPARE(rowsOf(back.rows),
                 (QList<QStringList>{{u"2024-03-10"_s, text}, {u"2024-03-11"_s, u"后一天"_s}}));
        QCOMPARE(back.lines,
                 (std::vector<int>{
                     3, int(b.data().left(b.data().indexOf("## 2024-03-11")).count('\n')) + 1}));
    }
};

QTEST_GUILESS_MAIN(tst_exchange)
#include "tst_exchange.moc"
