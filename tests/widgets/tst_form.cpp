// What the windows share: the keys as on the designed desktop, the place and size on the
// screen, the typing limit of a box, and the typeface.

#include "widgets/form.h"

#include <QApplication>
#include <QDialog>
#include <QFontInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>

#include <memory>

using namespace Qt::StringLiterals;

namespace {
// A dialog as Qt would make it by itself: a line edit and push buttons that press for
// Enter in the line edit (the first one is the dialog's default).
struct Dialog {
    std::unique_ptr<QDialog> d = std::make_unique<QDialog>();
    QLineEdit* edit = new QLineEdit(d.get());
    QPushButton* first = new QPushButton(u"一"_s, d.get());
    QPushButton* second = new QPushButton(u"二"_s, d.get());
    QToolButton* tool = new QToolButton(d.get());
    Dialog()
    {
        auto* l = new QVBoxLayout(d.get());
        l->addWidget(edit);
        l->addWidget(first);
        l->addWidget(second);
        l->addWidget(tool);
        tool->setFocusPolicy(Qt::StrongFocus);
        form::useDesignedKeys(d.get());
    }
    bool show()
    {
        d->show();
        return QTest::qWaitForWindowActive(d.get());
    }
};
} // namespace

class tst_form : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void escape_closesNoWindow()
    {
        Dialog w;
        QVERIFY(w.show());
        w.edit->setFocus();
        QTest::keyClick(w.edit, Qt::Key_Escape);
        QVERIFY(w.d->isVisible());
        QCOMPARE(w.d->result(), 0);
        // Other keys still reach the controls.
        QTest::keyClicks(w.edit, u"ab"_s);
        QCOMPARE(w.edit->text(), u"ab"_s);
    }

    void enter_pressesTheFocusedButtonOnly_data()
    {
        QTest::addColumn<int>("key");
        QTest::newRow("Return") << int(Qt::Key_Return);
        QTest::newRow("keypad Enter") << int(Qt::Key_Enter);
    }
    void enter_pressesTheFocusedButtonOnly()
    {
        QFETCH(int, key);
        const Qt::KeyboardModifiers mods =
            key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier;
        Dialog w;
        QSignalSpy first(w.first, &QPushButton::clicked);
        QSignalSpy second(w.second, &QPushButton::clicked);
        QSignalSpy tool(w.tool, &QToolButton::clicked);
        QVERIFY(w.show());

        w.edit->setFocus();
        QTest::keyClick(w.edit, Qt::Key(key), mods);
        QCOMPARE(first.count() + second.count() + tool.count(), 0);

        w.second->setFocus();
        QTest::keyClick(w.second, Qt::Key(key), mods);
        QCOMPARE(second.count(), 1);
        QCOMPARE(first.count(), 0);

        w.tool->setFocus();
        QTest::keyClick(w.tool, Qt::Key(key), mods);
        QCOMPARE(tool.count(), 1);

        w.second->setEnabled(false);
        w.first->setFocus();
        QTest::keyClick(w.first, Qt::Key(key), mods);
        QCOMPARE(first.count(), 1);
        QCOMPARE(second.count(), 1);
        QVERIFY(w.d->isVisible());
    }

    void centre_shrinksToTheScreenAndCentres()
    {
        const QRect free = QGuiApplication::primaryScreen()->availableGeometry();
        QWidget big;
        big.resize(free.width() * 2, free.height() + 300);
        form::centre(&big);
        QVERIFY(big.width() < free.width());
        QVERIFY(big.height() < free.height());
        QVERIFY(free.contains(big.frameGeometry()));

        QWidget small;
        small.resize(200, 100);
        form::centre(&small);
        QCOMPARE(small.size(), QSize(200, 100));
        QVERIFY(std::abs(small.geometry().center().x() - free.center().x()) <= 20);
        QVERIFY(std::abs(small.geometry().center().y() - free.center().y()) <= 30);
    }

    void limitTyping_stopsTypedTextNotTheProgramsText()
    {
        QLineEdit e;
        form::limitTyping(&e, 4);
        e.show();
        QVERIFY(QTest::qWaitForWindowExposed(&e));
        QTest::keyClicks(&e, u"abcdef"_s);
        QCOMPARE(e.text(), u"abcd"_s);
        e.selectAll();
        e.insert(u"123456"_s); // a paste over the whole text
        QCOMPARE(e.text(), u"1234"_s);

        form::setText(&e, u"abcdefg"_s);
        QCOMPARE(e.text(), u"abcdefg"_s);
        e.setCursorPosition(2);
        e.insert(u"x"_s);
        QCOMPARE(e.text(), u"abcdefg"_s);
        e.setSelection(1, 3); // "bcd" becomes "XY": shorter, so it is taken
        e.insert(u"XY"_s);
        QCOMPARE(e.text(), u"aXYefg"_s);
        e.insert(u"Z"_s);
        QCOMPARE(e.text(), u"aXYefg"_s);

        form::setText(&e, u"ab"_s);
        QTest::keyClicks(&e, u"cdef"_s);
        QCOMPARE(e.text(), u"abcd"_s);
    }

    void songFont_isOneSongFaceAtNinePoints()
    {
        form::useSongFont();
        const QFontInfo app(QApplication::font());
        QCOMPARE(app.family(), u"Noto Serif CJK SC"_s);
        QCOMPARE(app.pointSize(), 9);
        // A window that names 宋体 itself finds the same face.
        QWidget w;
        w.setFont(QFont(u"宋体"_s, 9));
        QCOMPARE(QFontInfo(w.font()).family(), app.family());
        QLineEdit child;
        QCOMPARE(QFontInfo(child.font()).family(), app.family());
    }
};

QTEST_MAIN(tst_form)
#include "tst_form.moc"
