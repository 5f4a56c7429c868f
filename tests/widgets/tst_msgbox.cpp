// The message box as the program shows it (no scripted responder here): which window it
// belongs to and stands in front of, whether it stays on top, and its width.

#include "widgets/msgbox.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QMainWindow>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

using namespace Qt::StringLiterals;

namespace {
struct Seen {
    QWidget* parent = nullptr;
    bool staysOnTop = false;
    Qt::WindowModality modality = Qt::NonModal;
    int width = 0;
    int titleWidth = 0;
};

// Shows a box and reports how it stood, closing it with its first button.
Seen showAndLook(const msgbox::Box& b)
{
    Seen seen;
    bool looked = false;
    auto* t = new QTimer;
    QObject::connect(t, &QTimer::timeout, t, [&, t] {
        auto* mb = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!mb || !mb->isVisible())
            return;
        t->stop();
        t->deleteLater();
        seen = {mb->parentWidget(), mb->windowFlags().testFlag(Qt::WindowStaysOnTopHint),
                mb->windowModality(), mb->width(),
                mb->fontMetrics().horizontalAdvance(mb->windowTitle())};
        looked = true;
        mb->buttons().constFirst()->click();
    });
    t->start(10);
    msgbox::show(b);
    if (!looked)
        qWarning("the box was not seen");
    return seen;
}

msgbox::Box plain(const QString& text)
{
    return {text, msgbox::Buttons::OK, u"澄桐工作管理"_s, msgbox::Icon::None, false};
}
} // namespace

class tst_msgbox : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cleanup()
    {
        for (QWidget* w : QApplication::topLevelWidgets())
            w->hide();
    }

    void owner_noWindowShown_noParent()
    {
        QMainWindow main; // never shown
        QCOMPARE(msgbox::owner(), nullptr);
        const Seen s = showAndLook(plain(u"数据连接错误"_s));
        QCOMPARE(s.parent, nullptr);
        QVERIFY(!s.staysOnTop);
    }

    void owner_theShownMainWindow()
    {
        QMainWindow main;
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        const Seen s = showAndLook(plain(u"一"_s));
        QCOMPARE(s.parent, &main);
        QVERIFY(!s.staysOnTop);

        main.showMinimized();
        QTRY_VERIFY(main.isMinimized());
        QCOMPARE(msgbox::owner(), nullptr);
    }

    // Each box of one handler of a top-most modal window belongs to that window and
    // stays on top with it, the second as much as the first; so does a system-modal box.
    void owner_theTopMostModalWindow_forEveryBoxOfAHandler()
    {
        QMainWindow main;
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        QDialog card(nullptr, Qt::WindowStaysOnTopHint);
        QList<Seen> seen;
        QTimer::singleShot(0, &card, [&] {
            seen << showAndLook(plain(u"姓名不能为空"_s));
            seen << showAndLook(plain(u"单位联系电话不能为空！"_s));
            seen << showAndLook({u"请写今天工作日记"_s, msgbox::Buttons::OK, u"澄桐工作管理"_s,
                                 msgbox::Icon::None, true});
            card.reject();
        });
        card.exec();
        QCOMPARE(seen.size(), 3);
        for (const Seen& s : seen) {
            QCOMPARE(s.parent, &card);
            QVERIFY(s.staysOnTop);
        }
        QCOMPARE(seen[0].modality, Qt::ApplicationModal);
        QCOMPARE(seen[2].modality, Qt::ApplicationModal);
    }

    void owner_aShownTopMostWindowBeforeTheMainWindow()
    {
        QMainWindow main;
        main.show();
        QDialog top(nullptr, Qt::WindowStaysOnTopHint);
        top.show();
        QVERIFY(QTest::qWaitForWindowExposed(&top));
        QApplication::setActiveWindow(nullptr);
        QCOMPARE(msgbox::owner(), &top);
    }

    void systemModal_withoutAWindow_staysOnTop()
    {
        const Seen s = showAndLook({u"请记昨天的工作日记！"_s, msgbox::Buttons::OK,
                                    u"澄桐工作管理"_s, msgbox::Icon::None, true});
        QCOMPARE(s.parent, nullptr);
        QVERIFY(s.staysOnTop);
        QCOMPARE(s.modality, Qt::ApplicationModal);
    }

    // A short text does not make a box too narrow for its title.
    void width_leavesRoomForTheWholeTitle_data()
    {
        QTest::addColumn<QString>("title");
        QTest::newRow("default") << u"澄桐工作管理"_s;
        QTest::newRow("Database not found!") << u"Database not found!"_s;
        QTest::newRow("Connection Error") << u"Connection Error"_s;
    }
    void width_leavesRoomForTheWholeTitle()
    {
        QFETCH(QString, title);
        const Seen s =
            showAndLook({u"是"_s, msgbox::Buttons::OK, title, msgbox::Icon::None, false});
        QVERIFY2(s.width >= s.titleWidth + 100,
                 qPrintable(u"%1 px for a title of %2 px"_s.arg(s.width).arg(s.titleWidth)));
    }
};

QTEST_MAIN(tst_msgbox)
#include "tst_msgbox.moc"
