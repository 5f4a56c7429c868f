// The help viewer, the About box with its system information tool, and the manual's
// images and links.

#include "help/frmabout.h"
#include "help/helpfrm.h"
#include "platform/appinfo.h"
#include "tests/support/testsupport.h"
#include "widgets/twips.h"

#include <QDir>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTextDocument>
#include <QUrl>

using namespace Qt::StringLiterals;
using testsupport::box;

namespace {

void write(const QString& file, const QByteArray& bytes)
{
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// A program on the PATH that leaves a mark when it runs.
void fakeTool(const QString& dir, const QString& name)
{
    const QString file = dir + u'/' + name;
    write(file, "#!/bin/sh\necho \"$0\" > \"${0%/*}/ran-" + name.toUtf8() + "\"\n");
    QFile::setPermissions(file, QFile::permissions(file) | QFile::ExeOwner);
}

// True while a process runs a program of the directory (a started tool that has not ended).
bool toolRunning(const QString& dir)
{
    const QByteArray prefix = QFile::encodeName(dir) + '/';
    for (const QString& pid : QDir(u"/proc"_s).entryList(QDir::Dirs)) {
        QFile cmdline(u"/proc/"_s + pid + u"/cmdline"_s);
        if (pid.front().isDigit() && cmdline.open(QIODevice::ReadOnly) &&
            cmdline.readAll().contains(prefix))
            return true;
    }
    return false;
}

} // namespace

class tst_help : public testsupport::BoxTest {
    Q_OBJECT
    QByteArray m_path;
    QByteArray m_desktop;
    void cleanupTest() override
    {
        qputenv("PATH", m_path);
        qputenv("XDG_CURRENT_DESKTOP", m_desktop);
        appinfo::setExeDir({});
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_path = qgetenv("PATH");
        m_desktop = qgetenv("XDG_CURRENT_DESKTOP");
    }
    void about_captionAndLabels()
    {
        frmAbout about;
        QCOMPARE(about.windowTitle(), u"关于 澄桐工作管理"_s);
        QCOMPARE(about.lblTitle->text(), u"澄桐工作管理"_s);
        // The version is the project's version in CMake.
        QCOMPARE(about.lblVersion->text(), u"版本 "_s + QLatin1StringView(CT_PROJECT_VERSION));
        QCOMPARE(about.lblVersion->text(), u"版本 1.0.0"_s);
        const QStringList desc = about.lblDescription->text().split(u"\r\n"_s);
        QCOMPARE(desc.size(), 2);
        QVERIFY(desc[0].startsWith(u"作者"_s));
        QVERIFY(QRegularExpression(u"\\S+@\\S+\\.\\S+"_s).match(desc[1]).hasMatch());
        QCOMPARE(about.cmdOK->text(), u"确定"_s);
        QCOMPARE(about.cmdSysInfo->text(), u"系统信息(&S)..."_s);
        QCOMPARE(about.Line1->frameShape(), QFrame::HLine);
        QCOMPARE(about.Line1->frameShadow(), QFrame::Sunken);
        QCOMPARE(about.size(), QSize(twips::toPx(5730), twips::toPx(3165)));
        QCOMPARE(about.cmdOK->size(), QSize(twips::toPx(1500), twips::toPx(345)));
        // 确定 at the bottom right, the system information at the bottom left.
        QVERIFY(about.cmdOK->x() > about.width() / 2);
        QVERIFY(about.cmdSysInfo->x() < about.width() / 2);
        QVERIFY(about.cmdSysInfo->y() > about.Line1->y());
        CT_VERIFY_BOXES(boxes());
    }

    void about_okCloses()
    {
        frmAbout about;
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        QTest::mouseClick(about.cmdOK, Qt::LeftButton);
        QVERIFY(!about.isVisible());
        QCOMPARE(about.result(), int(QDialog::Accepted));
    }

    void sysInfo_desktopsOwnToolFirst_data()
    {
        QTest::addColumn<QString>("desktop");
        QTest::addColumn<QString>("started");
        QTest::newRow("KDE") << u"KDE"_s << u"kinfocenter"_s;
        QTest::newRow("GNOME") << u"GNOME"_s << u"gnome-system-monitor"_s;
        QTest::newRow("ubuntu:GNOME") << u"ubuntu:GNOME"_s << u"gnome-system-monitor"_s;
        QTest::newRow("XFCE") << u"XFCE"_s << u"kinfocenter"_s;
        QTest::newRow("none") << QString() << u"kinfocenter"_s;
    }
    void sysInfo_desktopsOwnToolFirst()
    {
        QFETCH(QString, desktop);
        QFETCH(QString, started);
        QTemporaryDir bin;
        fakeTool(bin.path(), u"kinfocenter"_s);
        fakeTool(bin.path(), u"gnome-system-monitor"_s);
        qputenv("PATH", QFile::encodeName(bin.path()));
        qputenv("XDG_CURRENT_DESKTOP", desktop.toUtf8());
        frmAbout about;
        about.show();
        QTest::mouseClick(about.cmdSysInfo, Qt::LeftButton);
        // Every tool the click started has run (they are all running before it returns).
        QTRY_VERIFY(QFile::exists(bin.filePath(u"ran-"_s + started)) && !toolRunning(bin.path()));
        QCOMPARE(QDir(bin.path()).entryList({u"ran-*"_s}).size(), 1);
        QVERIFY(about.isVisible()); // the About box stays open
        CT_VERIFY_BOXES(boxes());
    }

    void sysInfo_anyKnownToolIsFound()
    {
        QTemporaryDir bin;
        fakeTool(bin.path(), u"hardinfo"_s);
        qputenv("PATH", QFile::encodeName(bin.path()));
        qputenv("XDG_CURRENT_DESKTOP", "KDE");
        frmAbout::StartSysInfo();
        QTRY_VERIFY(QFile::exists(bin.filePath(u"ran-hardinfo"_s)));
        CT_VERIFY_BOXES(boxes());
    }

    void sysInfo_absentOrBroken_saysUnavailable_data()
    {
        QTest::addColumn<QByteArray>("content"); // empty: no tool at all
        QTest::addColumn<bool>("executable");
        QTest::newRow("no tool") << QByteArray() << false;
        QTest::newRow("not executable") << QByteArray("#!/bin/sh\ntrue\n") << false;
        QTest::newRow("cannot start") << QByteArray("\x7f"
                                                    "ELF broken")
                                      << true;
    }
    void sysInfo_absentOrBroken_saysUnavailable()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, executable);
        QTemporaryDir bin;
        if (!content.isEmpty()) {
            const QString file = bin.filePath(u"kinfocenter"_s);
            write(file, content);
            if (executable)
                QFile::setPermissions(file, QFile::permissions(file) | QFile::ExeOwner);
        }
        qputenv("PATH", QFile::encodeName(bin.path()));
        boxes().expect(box(u"此时系统信息不可用"_s));
        frmAbout about;
        about.show();
        QTest::mouseClick(about.cmdSysInfo, Qt::LeftButton);
        QVERIFY(about.isVisible());
        CT_VERIFY_BOXES(boxes());
    }

    void help_showsTheManualBesideTheProgram_andItsLinksWork()
    {
        QTemporaryDir dir;
        write(dir.filePath(u"help.htm"_s),
              u"<html><head><meta charset=\"utf-8\"></head><body><h1>使用说明</h1>"
              "<p><a href=\"more.htm\">下一页</a></p></body></html>"_s.toUtf8());
        write(dir.filePath(u"more.htm"_s),
              u"<html><head><meta charset=\"utf-8\"></head><body><p>第二页内容</p></body></html>"_s
                  .toUtf8());
        appinfo::setExeDir(dir.path());
        helpfrm f;
        QCOMPARE(f.windowTitle(), u"澄桐工作管理软件使用说明书"_s);
        QCOMPARE(f.WebBrowser1->source(), QUrl::fromLocalFile(dir.filePath(u"help.htm"_s)));
        QVERIFY(f.WebBrowser1->toPlainText().contains(u"使用说明"_s));
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        // Follow the link as a keyboard user would.
        f.WebBrowser1->setFocus();
        QTest::keyClick(f.WebBrowser1, Qt::Key_Tab);
        QTest::keyClick(f.WebBrowser1, Qt::Key_Return);
        QTRY_VERIFY(f.WebBrowser1->toPlainText().contains(u"第二页内容"_s));
        CT_VERIFY_BOXES(boxes());
    }

    void help_missingManual_showsNotFoundPageWithoutBox()
    {
        QTemporaryDir dir;
        appinfo::setExeDir(dir.path());
        helpfrm f;
        f.show();
        const QString text = f.WebBrowser1->toPlainText();
        QVERIFY2(text.contains(u"找不到"_s), qPrintable(text));
        QVERIFY(text.contains(QDir::toNativeSeparators(dir.filePath(u"help.htm"_s))));
        CT_VERIFY_BOXES(boxes());
    }

    void help_geometry()
    {
        QTemporaryDir dir;
        appinfo::setExeDir(dir.path());
        helpfrm f;
        QCOMPARE(f.size(), QSize(twips::toPx(10485), twips::toPx(5550)));
        QCOMPARE(f.WebBrowser1->x(), twips::toPx(-120));
        QCOMPARE(f.WebBrowser1->y(), 0);
    }

    void help_viewerFollowsTheWindow_data()
    {
        QTest::addColumn<QSize>("outer");
        QTest::addColumn<QSize>("client");
        QTest::addColumn<QSize>("viewer");
        const int t10 = twips::toPx(10), t100 = twips::toPx(100), t120 = twips::toPx(120);
        // Thin frame: 10 twips narrower and 100 twips lower than the outer size.
        QTest::newRow("thin frame")
            << QSize(800, 600) << QSize(796, 596) << QSize(800 - t10, 600 - t100);
        // A title bar taller than 100 twips: the viewer ends at the client area's bottom,
        // so the end of the page and the scroll bar stay in view.
        QTest::newRow("title bar") << QSize(800, 640) << QSize(796, 600) << QSize(800 - t10, 600);
        QTest::newRow("wide frame")
            << QSize(900, 600) << QSize(700, 596) << QSize(700 + t120, 600 - t100);
        QTest::newRow("tiny") << QSize(20, 5) << QSize(16, 1) << QSize(20 - t10, 0);
    }
    void help_viewerFollowsTheWindow()
    {
        QFETCH(QSize, outer);
        QFETCH(QSize, client);
        QFETCH(QSize, viewer);
        QCOMPARE(helpfrm::viewerSize(outer, client), viewer);
    }

    void help_resizeMovesOnlyTheSize()
    {
        QTemporaryDir dir;
        appinfo::setExeDir(dir.path());
        helpfrm f;
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        const QPoint pos = f.WebBrowser1->pos();
        f.resize(900, 500);
        // The viewer is 10 twips narrower and 100 twips lower than the window's outer size.
        const QSize outer = f.frameGeometry().size();
        QTRY_COMPARE(f.WebBrowser1->size(),
                     QSize(outer.width() - twips::toPx(10), outer.height() - twips::toPx(100)));
        QCOMPARE(f.WebBrowser1->pos(), pos);
    }

    // Every image the manual shows is there, and every link leads somewhere.
    void manual_imagesAndLinksResolve()
    {
        const QDir src(QStringLiteral(CT_HELP_SOURCE_DIR));
        QFile f(src.filePath(u"help.htm"_s));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString html = QString::fromUtf8(f.readAll());
        QVERIFY(html.contains(u"charset=\"utf-8\""_s));

        QSet<QString> anchors;
        QRegularExpression idRe(u"\\b(?:id|name)\\s*=\\s*\"([^\"]+)\""_s);
        for (auto it = idRe.globalMatch(html); it.hasNext();)
            anchors.insert(it.next().captured(1));

        QRegularExpression refRe(u"<(a|img)\\b[^>]*?\\b(href|src)\\s*=\\s*\"([^\"]*)\""_s);
        int images = 0, links = 0;
        for (auto it = refRe.globalMatch(html); it.hasNext();) {
            const auto m = it.next();
            const QString ref = m.captured(3);
            const QUrl url(ref);
            if (url.scheme() == u"mailto" || url.scheme() == u"http" || url.scheme() == u"https")
                continue;
            QVERIFY2(url.scheme().isEmpty(), qPrintable(u"unexpected link "_s + ref));
            if (m.captured(1) == u"img")
                ++images;
            else
                ++links;
            if (ref.startsWith(u'#')) {
                QVERIFY2(anchors.contains(ref.mid(1)), qPrintable(u"no anchor "_s + ref));
                continue;
            }
            QVERIFY2(!url.path().isEmpty(), qPrintable(ref));
            QVERIFY2(QFileInfo(src.filePath(url.path())).isFile(),
                     qPrintable(u"missing file "_s + ref));
        }
        QVERIFY(images >= 3);
        QVERIFY(links >= 5);

        // The viewer loads every image of the manual.
        appinfo::setExeDir(src.path());
        helpfrm h;
        QTextDocument* doc = h.WebBrowser1->document();
        QRegularExpression imgRe(u"<img\\b[^>]*?\\bsrc\\s*=\\s*\"([^\"]*)\""_s);
        for (auto it = imgRe.globalMatch(html); it.hasNext();) {
            const QString ref = it.next().captured(1);
            const QVariant img = doc->resource(QTextDocument::ImageResource, QUrl(ref));
            QVERIFY2(img.isValid() && !img.isNull(), qPrintable(u"viewer cannot show "_s + ref));
        }
    }
};

QTEST_MAIN(tst_help)
#include "tst_help.moc"
