// The windowing platform the program asks Qt for: X through XWayland where a Wayland
// desktop has it, whatever the user chose where they chose.

#include "platform/windowing.h"

#include <QTest>

using namespace Qt::StringLiterals;

class tst_windowing : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void choice_data()
    {
        QTest::addColumn<QStringList>("env");
        QTest::addColumn<QByteArrayList>("args");
        QTest::addColumn<QByteArray>("platform");
        const QStringList both{u"DISPLAY=:1"_s, u"WAYLAND_DISPLAY=wayland-0"_s};
        const QByteArrayList none{"ctwork"};
        const QByteArray qts; // Qt's own choice
        QTest::newRow("X alone") << QStringList{u"DISPLAY=:1"_s} << none << qts;
        QTest::newRow("Wayland alone")
            << QStringList{u"WAYLAND_DISPLAY=wayland-0"_s} << none << qts;
        QTest::newRow("both") << both << none << "xcb;wayland"_ba;
        QTest::newRow("X in a Wayland session")
            << QStringList{u"DISPLAY=:1"_s, u"XDG_SESSION_TYPE=wayland"_s} << none
            << "xcb;wayland"_ba;
        QTest::newRow("both, an empty DISPLAY")
            << QStringList{u"DISPLAY="_s, u"WAYLAND_DISPLAY=wayland-0"_s} << none << qts;
        QTest::newRow("both, QT_QPA_PLATFORM chosen")
            << (both + QStringList{u"QT_QPA_PLATFORM=wayland"_s}) << none << qts;
        QTest::newRow("both, QT_QPA_PLATFORM empty")
            << (both + QStringList{u"QT_QPA_PLATFORM="_s}) << none << "xcb;wayland"_ba;
        QTest::newRow("both, -platform chosen")
            << both << QByteArrayList{"ctwork", "-platform", "wayland"} << qts;
        QTest::newRow("both, --platform chosen")
            << both << QByteArrayList{"ctwork", "--platform", "wayland"} << qts;
        QTest::newRow("both, -platform without a name")
            << both << QByteArrayList{"ctwork", "-platform"} << "xcb;wayland"_ba;
        QTest::newRow("both, another option")
            << both << QByteArrayList{"ctwork", "-platformtheme", "gtk3"} << "xcb;wayland"_ba;
    }
    void choice()
    {
        QFETCH(QStringList, env);
        QFETCH(QByteArrayList, args);
        QFETCH(QByteArray, platform);
        QProcessEnvironment e;
        for (const QString& kv : std::as_const(env))
            e.insert(kv.section(u'=', 0, 0), kv.section(u'=', 1));
        QCOMPARE(windowing::choose(args, e), platform);

        // What the application object is given: the program's arguments, then the choice.
        QList<QByteArray> storage = args;
        QList<char*> argv;
        for (QByteArray& a : storage)
            argv << a.data();
        windowing::Arguments made(int(argv.size()), argv.data(), e);
        QByteArrayList given;
        for (int i = 0; i < made.argc; ++i)
            given << made.argv()[i];
        QCOMPARE(made.argv()[made.argc], nullptr);
        const QByteArrayList expected =
            platform.isEmpty() ? args : args + QByteArrayList{"-platform", platform};
        QCOMPARE(given, expected);
    }
};

QTEST_GUILESS_MAIN(tst_windowing)
#include "tst_windowing.moc"
