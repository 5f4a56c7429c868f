#include "help/frmabout.h"

#include "platform/appinfo.h"
#include "widgets/bus.h"
#include "widgets/form.h"
#include "widgets/msgbox.h"
#include "widgets/twips.h"

#include <QFont>
#include <QFrame>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace {
const QString kAuthor = u"作者：澄桐工作管理开发组"_s;
const QString kContact = u"联系：ctwork@chengtong.example"_s;
} // namespace

frmAbout::frmAbout(QWidget* parent) : QDialog(parent)
{
    setObjectName(u"frmAbout"_s);
    twips::resizeClient(this, 5730, 3165);
    setFixedSize(size());

    lblTitle = new QLabel(this);
    lblTitle->setObjectName(u"lblTitle"_s);
    QFont big = lblTitle->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    lblTitle->setFont(big);
    twips::place(lblTitle, 240, 200, 5250, 480);

    lblVersion = new QLabel(this);
    lblVersion->setObjectName(u"lblVersion"_s);
    twips::place(lblVersion, 240, 780, 5250, 285);

    lblDescription = new QLabel(this);
    lblDescription->setObjectName(u"lblDescription"_s);
    lblDescription->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblDescription->setTextInteractionFlags(Qt::TextSelectableByMouse);
    twips::place(lblDescription, 240, 1170, 5250, 900);

    // The etched line: a grey line with a white one below it.
    Line1 = new QFrame(this);
    Line1->setObjectName(u"Line1"_s);
    Line1->setFrameShape(QFrame::HLine);
    Line1->setFrameShadow(QFrame::Sunken);
    twips::place(Line1, 120, 2340, 5490, 30);

    cmdSysInfo = new QPushButton(u"系统信息(&S)..."_s, this);
    cmdSysInfo->setObjectName(u"cmdSysInfo"_s);
    cmdSysInfo->setAutoDefault(false);
    twips::place(cmdSysInfo, 240, 2625, 1500, 345);
    connect(cmdSysInfo, &QPushButton::clicked, this, &frmAbout::cmdSysInfo_Click);

    cmdOK = new QPushButton(u"确定"_s, this);
    cmdOK->setObjectName(u"cmdOK"_s);
    cmdOK->setDefault(true);
    twips::place(cmdOK, 3990, 2625, 1500, 345);
    connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);

    form::useDesignedKeys(this);
    Form_Load();
}

void frmAbout::Form_Load()
{
    setWindowTitle(u"关于 "_s + appinfo::title());
    lblVersion->setText(u"版本 "_s + QString::number(appinfo::versionMajor()) + u'.' +
                        QString::number(appinfo::versionMinor()) + u'.' +
                        QString::number(appinfo::versionRevision()));
    lblTitle->setText(appinfo::title());
    lblDescription->setText(kAuthor + u"\r\n"_s + kContact);
}

void frmAbout::cmdOK_Click()
{
    accept();
}

void frmAbout::cmdSysInfo_Click()
{
    StartSysInfo();
}

QStringList frmAbout::sysInfoCandidates(const QString& desktop)
{
    QStringList tools{u"kinfocenter"_s, u"gnome-system-monitor"_s, u"mate-system-monitor"_s,
                      u"hardinfo2"_s, u"hardinfo"_s};
    // The desktop's own tool first.
    const QString d = desktop.toUpper();
    QString own;
    if (d.contains(u"KDE"_s))
        own = u"kinfocenter"_s;
    else if (d.contains(u"GNOME"_s) || d.contains(u"UNITY"_s) || d.contains(u"CINNAMON"_s))
        own = u"gnome-system-monitor"_s;
    else if (d.contains(u"MATE"_s))
        own = u"mate-system-monitor"_s;
    if (!own.isEmpty())
        tools.move(tools.indexOf(own), 0);
    return tools;
}

QString frmAbout::sysInfoTool()
{
    const QStringList tools = sysInfoCandidates(qEnvironmentVariable("XDG_CURRENT_DESKTOP"));
    for (const QString& t : tools) {
        const QString path = QStandardPaths::findExecutable(t);
        if (!path.isEmpty())
            return path;
    }
    return {};
}

void frmAbout::StartSysInfo()
{
    const QString tool = sysInfoTool();
    // The tool runs on its own; the About box stays open.
    QProcess p;
    p.setProgram(tool);
    p.setProcessEnvironment(bus::childEnvironment());
    if (tool.isEmpty() || !p.startDetached())
        msgbox::show(u"此时系统信息不可用"_s);
}
