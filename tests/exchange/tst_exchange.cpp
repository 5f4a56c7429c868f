// The file formats of ctdb on their own: what is written, what is read back, what phones
// and mail programs write, and the line every fault is reported on.

#include "exchange/csv.h"
#include "exchange/ical.h"
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
    auto done = exchange::ical::write(t, b, zone,
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

} // namespace

class tst_exchange : public QObject {
    Q_OBJECT
private Q_SLOTS:
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

    // A large file: every card on its own line number, also after a card inside a card a
    // third into the file, and the first fault in the file is the one told.
    void vcard_largeFileCardsLinesAndFirstFault()
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

        for (const QByteArray& middle : {QByteArray(), outer}) {
            const QByteArray file = side + middle + side + side;
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

        // A fault late in the file, and two faults: the first in the file is told.
        const QByteArray broken = "BEGIN:VCARD\r\nno colon\r\nEND:VCARD\r\n";
        const QByteArray late = side + side + broken + side;
        QCOMPARE(lineOf([&] { exchange::vcard::read(late); }), 2 * sideLines + 2);
        const QByteArray twice = broken + side + side + broken + side;
        QCOMPARE(lineOf([&] { exchange::vcard::read(twice); }), 2);
    }

    void vcard_utf16FileIsRead()
    {
        const QString text = u"BEGIN:VCARD\r\nVERSION:3.0\r\nFN:钱七\r\nEND:VCARD\r\n"_s;
        QByteArray bytes("\xFF\xFE");
        bytes.append(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
        QCOMPARE(exchange::vcard::read(bytes).rows.text(0, tables::kCardNameColumn), u"钱七"_s);
    }

    void vcard_faultsNameTheirLine_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("line");
        const QByteArray good = "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:甲\r\nEND:VCARD\r\n";
        QTest::newRow("no END") << good + "BEGIN:VCARD\r\nFN:乙\r\n" << 5;
        QTest::newRow("no name")
            << good + "BEGIN:VCARD\r\nVERSION:4.0\r\nFN:\r\nTEL:1\r\nEND:VCARD\r\n" + good << 5;
        QTest::newRow("line without colon") << good + "BEGIN:VCARD\r\nFN 乙\r\nEND:VCARD\r\n" << 6;
        QTest::newRow("END without BEGIN") << good + "END:VCARD\r\n" << 5;
        QTest::newRow("text outside a card") << good + "hello\r\n" << 5;
        QTest::newRow("version 5") << good + "BEGIN:VCARD\r\nVERSION:5.0\r\nFN:乙\r\nEND:VCARD\r\n"
                                   << 6;
        QTest::newRow("unknown charset")
            << good + "BEGIN:VCARD\r\nVERSION:2.1\r\nFN;CHARSET=X-NOPE:abc\r\nEND:VCARD\r\n"
            << 7;
        QTest::newRow("bytes in no encoding")
            << good + "BEGIN:VCARD\r\nFN:\xFF\xFF\xFF\r\nEND:VCARD\r\n"
            << 6;
        QTest::newRow("not a vCard") << QByteArray("name,phone\r\n") << 1;
    }
    void vcard_faultsNameTheirLine()
    {
        QFETCH(QByteArray, file);
        QFETCH(int, line);
        QCOMPARE(lineOf([&] { exchange::vcard::read(file); }), line);
    }

    void vcard_names_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("family");
        QTest::addColumn<QString>("given");
        QTest::newRow("Chinese") << u"张三丰"_s << u"张"_s << u"三丰"_s;
        QTest::newRow("compound surname") << u"司马光"_s << u"司马"_s << u"光"_s;
        QTest::newRow("one character") << u"张"_s << u"张"_s << QString();
        QTest::newRow("western") << u"John Ronald Smith"_s << u"Smith"_s << u"John Ronald"_s;
        QTest::newRow("one word") << u"Madonna"_s << QString() << u"Madonna"_s;
    }
    void vcard_names()
    {
        QFETCH(QString, name);
        QFETCH(QString, family);
        QFETCH(QString, given);
        const auto [f, g] = exchange::vcard::splitName(name);
        QCOMPARE(f, family);
        QCOMPARE(g, given);
        QCOMPARE(exchange::vcard::nameFromN({f, g}), name);
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
            exchange::csv::readMeetings("序号,会议主题\r\n7,\r\n8,周会\r\n", std::nullopt);
        QCOMPARE(meetings.rows.rowCount(), 1);
        QCOMPARE(meetings.rows.view(0, tables::meet::meet_cont), u"周会");
    }

    void csv_cardFaultsNameTheirLine_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("line");
        QTest::newRow("unknown heading") << QByteArray("姓名,生日\r\n甲,1\r\n") << 1;
        QTest::newRow("no name column") << QByteArray("手机\r\n1\r\n") << 1;
        QTest::newRow("heading twice") << QByteArray("姓名,姓名\r\n甲,乙\r\n") << 1;
        QTest::newRow("too few fields") << QByteArray("姓名,手机\r\n甲,1\r\n乙\r\n丙,3\r\n") << 3;
        QTest::newRow("no name") << QByteArray("姓名,手机\r\n甲,1\r\n ,2\r\n") << 3;
        QTest::newRow("bad UTF-8 after a BOM")
            << QByteArray("\xEF\xBB\xBF姓名\r\n甲\r\n\xFF\xFE\r\n") << 3;
        QTest::newRow("empty file") << QByteArray() << 1;
    }
    void csv_cardFaultsNameTheirLine()
    {
        QFETCH(QByteArray, file);
        QFETCH(int, line);
        QCOMPARE(lineOf([&] { exchange::csv::readCards(file, std::nullopt); }), line);
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
        const exchange::Records back = exchange::csv::readMeetings(b.data(), std::nullopt);
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
        if (hour.isEmpty()) {
            QCOMPARE(lineOf([&] { exchange::csv::readMeetings(file, std::nullopt); }), 3);
            return;
        }
        const auto rows = rowsOf(exchange::csv::readMeetings(file, std::nullopt).rows);
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
        QVERIFY(out.contains("UID:meet-1@ctwork\r\n"));
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
        ct::CellTable again = back.rows;
        for (int r = 0; r < again.rowCount(); ++r)
            again.set(r, 0, QString::number(r + 1));
        const QByteArray second = writeIcs(again, kShanghai);
        // Everything but the row whose record date was no date comes back byte for byte.
        QCOMPARE(second.left(second.indexOf("UID:meet-3")), out.left(out.indexOf("UID:meet-3")));
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
            "SUMMARY:Floating\r\nRRULE:FREQ=WEEKLY\r\nEND:VEVENT\r\n"
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
                     {u"2030-01-02"_s, u"All day"_s, QString(), u"2024-03-07"_s, kNull, kNull}}));
        QCOMPARE(r.lines, (std::vector<int>{19, 25, 33, 40}));
        QCOMPARE(r.notes.size(), std::size_t(1)); // the repeated event
        QCOMPARE(r.notes[0].line, 33);
    }

    void ical_faultsNameTheirLine_data()
    {
        QTest::addColumn<QByteArray>("events");
        QTest::addColumn<int>("line");
        const QByteArray good =
            "BEGIN:VEVENT\r\nUID:a\r\nDTSTART:20240305T013000Z\r\nEND:VEVENT\r\n";
        QTest::newRow("no DTSTART")
            << good + "BEGIN:VEVENT\r\nUID:b\r\nSUMMARY:x\r\nEND:VEVENT\r\n" + good << 7;
        QTest::newRow("no such day")
            << good +
                   "BEGIN:VEVENT\r\nUID:b\r\nSUMMARY:x\r\nDTSTART:20240230T090000\r\nEND:VEVENT\r\n"
            << 10;
        QTest::newRow("hour 25") << good +
                                        "BEGIN:VEVENT\r\nDTSTART:20240301T250000\r\nEND:VEVENT\r\n"
                                 << 8;
        QTest::newRow("unreadable DTSTART")
            << good + "BEGIN:VEVENT\r\nUID:b\r\nDTSTART:tomorrow\r\nEND:VEVENT\r\n"
            << 9;
        QTest::newRow("not UTF-8") << good + "BEGIN:VEVENT\r\nSUMMARY:\xFF\xFE\r\nEND:VEVENT\r\n"
                                   << 8;
        QTest::newRow("END without BEGIN") << good + "END:VEVENT\r\n" << 7;
        QTest::newRow("event not ended") << good + "BEGIN:VEVENT\r\nDTSTART:20240301\r\n" << 7;
        // An event nested in another component is not one of the calendar's events: the
        // next event's fault is still told at its own line.
        QTest::newRow("after a nested event")
            << "BEGIN:VTODO\r\nBEGIN:VEVENT\r\nDTSTART:20240301\r\nEND:VEVENT\r\nEND:VTODO\r\n" +
                   good + "BEGIN:VEVENT\r\nUID:b\r\nDTSTART:tomorrow\r\nEND:VEVENT\r\n"
            << 14;
    }
    void ical_faultsNameTheirLine()
    {
        QFETCH(QByteArray, events);
        QFETCH(int, line);
        const QByteArray file = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\n" + events + "END:VCALENDAR\r\n";
        QCOMPARE(lineOf([&] { exchange::ical::read(file, kShanghai, QDate(2030, 1, 2)); }), line);
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
                 "十日\n# 不是标题的井号\n\n## 某天\n\n无日期\n"_s);
    }
};

QTEST_GUILESS_MAIN(tst_exchange)
#include "tst_exchange.moc"
