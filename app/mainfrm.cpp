#include "app/mainfrm.h"

#include "app/shutdown.h"
#include "modul/cardmodul.h"
#include "modul/schedule.h"
#include "platform/appinfo.h"
#include "platform/clock.h"
#include "widgets/form.h"
#include "widgets/modulboxes.h"
#include "widgets/msgbox.h"
#include "widgets/notify.h"
#include "widgets/twips.h"

#include <QAction>
#include <QCloseEvent>
#include <QMenuBar>
#include <QScopedValueRollback>
#include <QTimer>
#include <QToolButton>

using namespace Qt::StringLiterals;

static void initResources()
{
    Q_INIT_RESOURCE(images); // the images live in a static library
}

// An image at its designed size and drawn at twice it, whatever the screens at start.
static QIcon picture(const QString& name)
{
    QIcon icon(u":/images/%1.png"_s.arg(name));
    icon.addFile(u":/images/%1@2x.png"_s.arg(name));
    return icon;
}

mainfrm::mainfrm(QWidget* parent) : QMainWindow(parent)
{
    initResources();
    setObjectName(u"mainfrm"_s);
    setWindowTitle(u"澄桐工作管理"_s);
    setWindowIcon(picture(u"ctwork"_s));

    auto* central = new QWidget(this);
    central->setObjectName(u"client"_s);
    setCentralWidget(central);
    // From left to right: cards, meetings, diary.
    shortcut("Picture1", "Label1", u"名片管理"_s, u"card"_s, 960);
    shortcut("Picture2", "Label3", u"约会会议"_s, u"meeting"_s, 3000);
    shortcut("Picture3", "Label2", u"工作日记"_s, u"diary"_s, 4800);

    QMenuBar* bar = menuBar();
    auto item = [this](QMenu* m, const char* name, const QString& caption) {
        QAction* a = m->addAction(caption);
        a->setObjectName(QString::fromLatin1(name));
        return a;
    };
    QMenu* file = bar->addMenu(u"File"_s);
    file->setObjectName(u"MnFile"_s);
    // The first three File items do nothing; they are shown greyed so nobody waits on them.
    item(file, "Mnopen", u"Open"_s)->setEnabled(false);
    item(file, "Mnprint", u"Print"_s)->setEnabled(false);
    item(file, "mnno", u"---------"_s)->setEnabled(false);
    MnExit = item(file, "MnExit", u"退出"_s);
    connect(MnExit, &QAction::triggered, this, &mainfrm::MnExit_Click);

    QMenu* fun = bar->addMenu(u"功能模块"_s);
    fun->setObjectName(u"MnFun"_s);
    connect(item(fun, "MnCard", u"名片管理"_s), &QAction::triggered, this, &mainfrm::MnCard_Click);
    connect(item(fun, "MnMeet", u"会议约会"_s), &QAction::triggered, this, &mainfrm::MnMeet_Click);
    connect(item(fun, "MnLog", u"日志纪录"_s), &QAction::triggered, this, &mainfrm::MnLog_Click);

    QMenu* help = bar->addMenu(u"帮助"_s);
    help->setObjectName(u"MnHelp"_s);
    connect(item(help, "MnHelpCont", u"操作指南"_s), &QAction::triggered, this,
            &mainfrm::MnHelpCont_Click);
    connect(item(help, "MnVer", u"版本信息"_s), &QAction::triggered, this, &mainfrm::MnVer_Click);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(u"Timer1"_s);
    Timer1->setInterval(30000);
    connect(Timer1, &QTimer::timeout, this, &mainfrm::Timer1_Timer);

    // Client area 7185 x 4875 twips, centred on the screen.
    central->setFixedSize(twips::toPx(7185), twips::toPx(4875));
    adjustSize();
    form::centre(this);
    form::useDesignedKeys(this);
}

mainfrm::~mainfrm() = default;

QToolButton* mainfrm::shortcut(const char* name, const char* labelName, const QString& caption,
                               const QString& image, int left)
{
    auto* b = new QToolButton(centralWidget());
    b->setObjectName(QString::fromLatin1(name));
    b->setProperty("label", QString::fromLatin1(labelName));
    b->setText(caption);
    b->setAccessibleName(caption);
    b->setIcon(picture(image));
    b->setIconSize(QSize(twips::toPx(660), twips::toPx(480)));
    b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    b->setAutoRaise(true);
    b->setFocusPolicy(Qt::StrongFocus);
    twips::place(b, left, 1800, 975, 855);
    if (name == QByteArrayView("Picture1"))
        connect(b, &QToolButton::clicked, this, &mainfrm::MnCard_Click);
    else if (name == QByteArrayView("Picture2"))
        connect(b, &QToolButton::clicked, this, &mainfrm::MnMeet_Click);
    else
        connect(b, &QToolButton::clicked, this, &mainfrm::MnLog_Click);
    return b;
}

void mainfrm::setOpener(Window w, Opener opener)
{
    m_openers[std::size_t(w)] = std::move(opener);
}

void mainfrm::Form_Load()
{
    shutdown::canexit = false;
    if (cardmodul::opendb())
        cardmodul::dbopen = true;
    else
        msgbox::show(u"数据连接错误"_s);
    shutdown::winhook(this);
    MnExit->setEnabled(false);
    Timer1->start();
}

void mainfrm::bringToFront(const QString& activationToken)
{
    const bool wayland = notify::onWayland();
    if (wayland && activationToken.isEmpty())
        notify::send({notify::kAlreadyRunning});
    else if (wayland) // Qt's Wayland activation takes the token from there
        qputenv("XDG_ACTIVATION_TOKEN", activationToken.toLatin1());
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    show();
    raise();
    activateWindow();
    qunsetenv("XDG_ACTIVATION_TOKEN"); // used or refused: never handed on to a child
}

void mainfrm::open(Window w, bool minimise)
{
    if (minimise)
        setWindowState(windowState() | Qt::WindowMinimized);
    const std::size_t i = std::size_t(w);
    // Each window exists at most once; a tick never opens a second diary window.
    if (!m_openers[i] || m_isOpen[i])
        return;
    m_isOpen[i] = true;
    try {
        m_openers[i](this);
    } catch (...) {
        m_isOpen[i] = false;
        throw;
    }
    m_isOpen[i] = false;
    // The diary may have been written; within a tick the tick's time holds.
    shutdown::holdLogout(m_tickTime.value_or(ctclock::now()));
}

void mainfrm::MnCard_Click()
{
    open(Window::Card, true);
}

void mainfrm::MnMeet_Click()
{
    open(Window::Meet, true);
}

void mainfrm::MnLog_Click()
{
    open(Window::Log, true);
}

void mainfrm::MnHelpCont_Click()
{
    open(Window::Help, false);
}

void mainfrm::MnVer_Click()
{
    open(Window::About, false);
}

void mainfrm::MnExit_Click()
{
    close();
}

void mainfrm::closeEvent(QCloseEvent* e)
{
    if (!shutdown::canexit) {
        e->ignore();
        setWindowState(windowState() | Qt::WindowMinimized);
        return;
    }
    e->accept();
}

void mainfrm::Timer1_Timer()
{
    const QDateTime now = ctclock::now();
    shutdown::holdLogout(now);
    // A tick that comes while the box or the diary window of an earlier tick is still
    // open starts nothing: no stacked reminders.
    if (m_tickTime)
        return;
    const QScopedValueRollback<std::optional<QDateTime>> busy(m_tickTime, now);

    if (schedule::isReminderMinute(now.time()))
        cardmodul::meetremind(now);

    bool yest = false;
    try {
        yest = cardmodul::yestexist(now.date());
    } catch (const adodb::Error&) {
        yest = false;
    }
    if (!yest)
        open(Window::Log, true);

    if (schedule::isEveningPromptMinute(now.time())) {
        bool today = false;
        try {
            today = cardmodul::todayexist(now.date());
        } catch (const adodb::Error&) {
            today = false;
        }
        if (!today)
            notify::remind(schedule::kDiaryPrompt);
    }
}
