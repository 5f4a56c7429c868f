#include "help/helpfrm.h"

#include "platform/appinfo.h"
#include "widgets/form.h"
#include "widgets/twips.h"

#include <QDir>
#include <QFileInfo>
#include <QResizeEvent>
#include <QTextBrowser>
#include <QUrl>

using namespace Qt::StringLiterals;

helpfrm::helpfrm(QWidget* parent) : QDialog(parent)
{
    setObjectName(u"helpfrm"_s);
    setWindowTitle(u"澄桐工作管理软件使用说明书"_s);
    setSizeGripEnabled(true);

    WebBrowser1 = new QTextBrowser(this);
    WebBrowser1->setObjectName(u"WebBrowser1"_s);
    WebBrowser1->setAccessibleName(u"使用说明书"_s);
    WebBrowser1->setOpenExternalLinks(true); // mail and web links go to the desktop's programs
    // Its left border lies out of view, 120 twips left of the client area.
    twips::place(WebBrowser1, -120, 0, 10455, 5535);
    twips::resizeClient(this, 10485, 5550);
    form::centre(this); // on a small or magnified screen, no larger than the screen
    form::useDesignedKeys(this);
    Form_Load();
}

void helpfrm::Form_Load()
{
    const QString file = QDir(appinfo::exeDir()).filePath(u"help.htm"_s);
    if (QFileInfo(file).isFile()) {
        WebBrowser1->setSource(QUrl::fromLocalFile(file));
    } else {
        WebBrowser1->clearHistory();
        WebBrowser1->setHtml(notFoundPage(file));
    }
}

QString helpfrm::notFoundPage(const QString& file)
{
    return u"<html><body><h3>找不到网页</h3><p>文件“%1”不存在。</p></body></html>"_s.arg(
        QDir::toNativeSeparators(file).toHtmlEscaped());
}

QSize helpfrm::viewerSize(QSize outer, QSize client)
{
    // The viewer starts 120 twips left of the client area; beyond the client area its
    // scroll bars and the end of the page would be hidden behind the window frame.
    const int w = std::min(outer.width() - twips::toPx(10), client.width() + twips::toPx(120));
    const int h = std::min(outer.height() - twips::toPx(100), client.height());
    return QSize(std::max(w, 0), std::max(h, 0));
}

void helpfrm::Form_Resize()
{
    WebBrowser1->resize(viewerSize(frameGeometry().size(), size()));
}

void helpfrm::resizeEvent(QResizeEvent* e)
{
    QDialog::resizeEvent(e);
    Form_Resize();
}
