// Name coding and the cardtab statements against a real database file.

#include "modul/cardtab.h"
#include "modul/tables.h"
#include "tests/support/testsupport.h"

#include <QTest>

using namespace Qt::StringLiterals;
using cardmodul::namcode;
using testsupport::TempDb;

class tst_cardtab : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void namcode_codesEachUnit_data()
    {
        QTest::addColumn<QString>("plain");
        QTest::addColumn<QString>("coded");
        QTest::newRow("empty") << QString() << QString();
        QTest::newRow("d to underscore") << u"d"_s << u"_"_s;
        QTest::newRow("semicolon to U+0000") << u";"_s << QString(QChar(0));
        QTest::newRow("ascii") << u"Ab1"_s << u"zY\n"_s;
        QTest::newRow("chinese") << u"张"_s << QString(QChar(0x5F20 ^ 0x3B));
    }
    void namcode_codesEachUnit()
    {
        QFETCH(QString, plain);
        QFETCH(QString, coded);
        QCOMPARE(namcode(plain), coded);
        QCOMPARE(namcode(coded), plain);
    }

    void namcode_isItsOwnInverse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("name") << u"欧阳 明远"_s;
        QTest::newRow("specials") << u"a'b%c_d;e\"f"_s;
        QTest::newRow("emoji") << u"王😀五"_s;
    }
    void namcode_isItsOwnInverse()
    {
        QFETCH(QString, text);
        const QString once = namcode(text);
        QCOMPARE(once.size(), text.size());
        QCOMPARE(namcode(once), text);
    }

    // A coded ';' is U+0000: it must survive the database and count in comparisons.
    // Names whose coding begins with U+FFFE or U+FEFF (from U+FFC5 and U+FEC4) are stored
    // as coded and found like any other: nothing read as a byte-order mark.
    void namesCodingToByteOrderMarks_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("U+FFC5 codes to U+FFFE") << u"\uFFC5李四"_s;
        QTest::newRow("U+FEC4 codes to U+FEFF") << u"\uFEC4张三"_s;
    }
    void namesCodingToByteOrderMarks()
    {
        QFETCH(QString, name);
        TempDb db;
        db.openShared();
        const QString coded = namcode(name);
        QVERIFY(coded.startsWith(QChar(0xFFFE)) || coded.startsWith(QChar(0xFEFF)));
        QStringList values{coded};
        for (int c = 2; c < tables::kCardColumns; ++c)
            values << QString();
        cardtab::add(cardmodul::dbconn(), values);
        QCOMPARE(db.rows(u"select full_nam from cardtab"_s).value(0).value(0), coded);
        QVERIFY(cardmodul::namexist(coded));
        adodb::Recordset rs;
        for (const QString& part : {name, name.left(1), name.mid(1)}) {
            cardtab::openByName(cardmodul::dbconn(), rs, namcode(part));
            QCOMPARE(rs.recordCount(), 1);
        }
        cardtab::openAll(cardmodul::dbconn(), rs);
        ct::CellTable rows = rs.takeRows();
        cardtab::decodeNames(rows);
        QCOMPARE(rows.text(0, tables::kCardNameColumn), name);
    }

    void codedNul_roundTripsAndMatches()
    {
        TempDb db;
        db.openShared();
        const QString coded = namcode(u"李;四"_s);
        QVERIFY(coded.contains(QChar(0)));
        QStringList values{coded};
        for (int c = 2; c < tables::kCardColumns; ++c)
            values << u"v%1"_s.arg(c);
        cardtab::add(cardmodul::dbconn(), values);

        adodb::Recordset rs;
        cardtab::openAll(cardmodul::dbconn(), rs);
        QCOMPARE(rs.recordCount(), 1);
        QCOMPARE(rs.Fields(u"full_nam"_s).text(), coded);

        // Exact comparison sees past the U+0000: "李" alone is not this name.
        QVERIFY(cardmodul::namexist(coded));
        QVERIFY(!cardmodul::namexist(namcode(u"李"_s)));

        for (const QString& part : {u";"_s, u"李;"_s, u";四"_s, u"李;四"_s, u"四"_s}) {
            cardtab::openByName(cardmodul::dbconn(), rs, namcode(part));
            QVERIFY2(rs.recordCount() == 1, qPrintable(part));
        }
        for (const QString& part : {u"李四"_s, u";;"_s, u"%"_s}) {
            cardtab::openByName(cardmodul::dbconn(), rs, namcode(part));
            QVERIFY2(rs.recordCount() == 0, qPrintable(part));
        }
    }

    // Every kind of character comes back from the table as it was stored.
    void storedTexts_readBackExactly_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << QString();
        QTest::newRow("long ascii") << u"0123456789abcdefghij; 'x' %_\"q\""_s;
        QTest::newRow("latin") << u"Müller é ß"_s;
        QTest::newRow("chinese and ascii") << u"北京市海淀区abc中关村12345678号"_s;
        QTest::newRow("emoji") << u"😀a😀"_s;
        QTest::newRow("U+0000 inside") << QString(u"a"_s + QChar(0) + u"b"_s);
        QTest::newRow("line breaks") << u"一\r\n二\n"_s;
    }
    void storedTexts_readBackExactly()
    {
        QFETCH(QString, text);
        TempDb db;
        db.openShared();
        QStringList values;
        for (int c = 1; c < tables::kCardColumns; ++c)
            values << text;
        cardtab::add(cardmodul::dbconn(), values);
        adodb::Recordset rs;
        cardtab::openAll(cardmodul::dbconn(), rs);
        for (int c = 1; c < tables::kCardColumns; ++c)
            QCOMPARE(rs.Fields(c).text(), text);
    }

    void serialNumber_acceptsOnlyWholeNumbers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::newRow("number") << u"42"_s << true;
        QTest::newRow("empty") << QString() << false;
        QTest::newRow("letters") << u"abc"_s << false;
        QTest::newRow("fraction") << u"1.5"_s << false;
        QTest::newRow("injection") << u"1 or 1=1"_s << false;
    }
    void serialNumber_acceptsOnlyWholeNumbers()
    {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        try {
            QCOMPARE(cardtab::serialNumber(text), text.toLongLong());
            QVERIFY(ok);
        } catch (const adodb::Error& e) {
            QVERIFY(!ok);
            QCOMPARE(e.number(), 13);
        }
    }
};

QTEST_MAIN(tst_cardtab)
#include "tst_cardtab.moc"
