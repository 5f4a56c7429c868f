// The text grid: heading row, numbering, clearing, fast fills.

#include "platform/celltable.h"
#include "widgets/grid.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

#include <stdexcept>

using namespace Qt::StringLiterals;

class tst_grid : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void startsWithHeadingAndOneEmptyRow()
    {
        ct::GridModel g(2, 22);
        QAbstractItemModelTester t(&g);
        QCOMPARE(g.Rows(), 2);
        QCOMPARE(g.Cols(), 22);
        QCOMPARE(g.rowCount(), 1);
        QCOMPARE(g.TextMatrix(1, 21), QString());
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, g.TextMatrix(2, 0));
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, g.TextMatrix(0, 22));
    }

    void headingRowIsTheViewsHeader()
    {
        ct::GridModel g(3, 2);
        QAbstractItemModelTester t(&g);
        g.setTextMatrix(0, 1, u"姓名"_s);
        g.setTextMatrix(2, 1, u"张三"_s);
        QCOMPARE(g.headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), u"姓名"_s);
        QCOMPARE(g.data(g.index(1, 1), Qt::DisplayRole).toString(), u"张三"_s);
        g.setTextMatrix(2, 1, u"李"_s); // shorter text reuses its place
        QCOMPARE(g.TextMatrix(2, 1), u"李"_s);
        g.setTextMatrix(2, 1, u"欧阳修远"_s);
        QCOMPARE(g.TextMatrix(2, 1), u"欧阳修远"_s);
        g.clearTexts();
        QCOMPARE(g.Rows(), 3);
        QCOMPARE(g.TextMatrix(0, 1), QString());
        QCOMPARE(g.TextMatrix(2, 1), QString());
    }

    void fillFromATableAndResize()
    {
        ct::GridModel g(2, 2);
        QAbstractItemModelTester t(&g);
        g.setTextMatrix(0, 0, u"序号"_s);
        ct::CellTable body(3);
        for (int r = 0; r < 4; ++r) {
            body.appendCell(QString::number(r + 1));
            body.appendCell(u"名%1"_s.arg(r));
            body.appendNullCell();
        }
        body.transformColumn(1, [](char16_t c) { return char16_t(c ^ 0x3B); });
        body.transformColumn(1, [](char16_t c) { return char16_t(c ^ 0x3B); });
        body.transformColumn(2, [](char16_t) { return u'x'; }); // null cells stay null
        g.setBody(std::move(body));
        QCOMPARE(g.Rows(), 5);
        QCOMPARE(g.Cols(), 3);
        QCOMPARE(g.TextMatrix(0, 0), u"序号"_s); // headings stay
        QCOMPARE(g.TextMatrix(4, 1), u"名3"_s);
        QCOMPARE(g.TextMatrix(4, 2), QString());
        QVERIFY(g.body().isNull(3, 2));
        g.setRows(3);
        QCOMPARE(g.rowCount(), 2);
        g.setRows(6);
        QCOMPARE(g.TextMatrix(5, 1), QString());
        QCOMPARE(g.TextMatrix(2, 1), u"名1"_s);
        g.setCols(2);
        QCOMPARE(g.TextMatrix(2, 1), u"名1"_s);
    }

    // Rows of another table come over whole: texts, empty and null cells, a row rewritten
    // in place or moved by a longer text.
    void cellTable_appendRows()
    {
        ct::CellTable first(2);
        first.appendCell(u"甲"_s);
        first.appendNullCell();
        ct::CellTable more(2);
        for (int r = 0; r < 3; ++r) {
            more.appendCell(u"乙%1"_s.arg(r));
            more.appendCell(QString());
        }
        more.set(0, 1, u"一段更长的文字"_s); // moves the row to the pool's end
        more.setNull(2, 0);
        first.appendRows(more);
        QCOMPARE(first.rowCount(), 4);
        QCOMPARE(first.view(0, 0), u"甲");
        QVERIFY(first.isNull(0, 1));
        QCOMPARE(first.view(1, 0), u"乙0");
        QCOMPARE(first.view(1, 1), u"一段更长的文字");
        QCOMPARE(first.view(2, 0), u"乙1");
        QVERIFY(!first.isNull(2, 1) && first.view(2, 1).isEmpty());
        QVERIFY(first.isNull(3, 0));
        QCOMPARE(first.view(3, 1), u"");
        first.appendCell(u"丙"_s); // the table goes on as before
        first.appendCell(u"丁"_s);
        QCOMPARE(first.view(4, 1), u"丁");
        ct::CellTable other(3);
        QVERIFY_THROWS_EXCEPTION(std::logic_error, first.appendRows(other));
    }

    void viewRowAndClick()
    {
        ct::GridView v;
        v.grid()->setRows(4);
        QCOMPARE(v.Row(), 1);
        v.setRow(3);
        QCOMPARE(v.Row(), 3);
        QSignalSpy clicks(&v, &ct::GridView::Click);
        QTest::keyClick(&v, Qt::Key_Return);
        QCOMPARE(clicks.size(), 1);
    }
};

QTEST_MAIN(tst_grid)
#include "tst_grid.moc"
