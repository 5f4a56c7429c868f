#include "tests/support/testsupport.h"

#include "platform/appinfo.h"

#include <QApplication>
#include <QProcess>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace testsupport {

Notes::Notes(const QString& platformName)
{
    notify::setSender([this](const notify::Note& n) { seen << n; }, platformName);
}

Notes::~Notes()
{
    notify::setSender({});
}

QStringList Notes::texts() const
{
    QStringList out;
    for (const notify::Note& n : seen)
        out << (n.urgent ? u"!"_s : QString()) + n.body;
    return out;
}

TempDb::TempDb(bool create)
{
    if (!m_dir.isValid())
        qFatal("no temporary directory");
    appinfo::setExeDir(m_dir.path());
    cardmodul::dbopen = false;
    cardmodul::resetdb();
    if (create)
        cardmodul::createDatabase(file());
}

TempDb::~TempDb()
{
    m_check.reset();
    cardmodul::resetdb();
    appinfo::setExeDir({});
    cardmodul::dbopen = false;
}

QString TempDb::file() const
{
    return m_dir.path() + u"/"_s + cardmodul::kDbFileName;
}

void TempDb::openShared()
{
    if (!cardmodul::opendb())
        qFatal("opendb failed on a fresh database");
    cardmodul::dbopen = true;
}

adodb::Connection& TempDb::check()
{
    if (!m_check) {
        m_check = std::make_unique<adodb::Connection>();
        m_check->Open(cardmodul::connectionText());
    }
    return *m_check;
}

void TempDb::exec(const QString& sql, const QVariantList& params)
{
    check().Execute(sql, params);
}

QList<QStringList> TempDb::rows(const QString& sql, const QVariantList& params)
{
    adodb::Recordset rs;
    rs.Open(sql, check(), params);
    QList<QStringList> out;
    for (; !rs.eof(); rs.MoveNext()) {
        QStringList row;
        for (int c = 0; c < rs.fieldCount(); ++c)
            row << (rs.Fields(c).isNull() ? u"<NULL>"_s : rs.Fields(c).text());
        out << row;
    }
    return out;
}

int TempDb::count(const QString& table)
{
    return rows(u"select count(*) from "_s + table).value(0).value(0).toInt();
}

msgbox::Box box(const QString& text, msgbox::Buttons buttons, msgbox::Icon icon, bool systemModal,
                const QString& title)
{
    return msgbox::Box{text, buttons, title.isEmpty() ? appinfo::kTitle : title, icon, systemModal};
}

msgbox::Box missingDatabase(const QString& file)
{
    return box(u"找不到数据库文件“%1”。还没有数据库时，可以运行“ctdb init”在程序所在的目录里"
               "创建一个空数据库。"_s.arg(file),
               msgbox::Buttons::OK, msgbox::Icon::Exclamation, false, u"Connection Error"_s);
}

Boxes::Boxes()
{
    msgbox::setResponder([this](const msgbox::Box& b) {
        m_seen << b;
        if (m_queue.isEmpty()) {
            m_problems << u"unexpected box: "_s + msgbox::describe(b);
            return b.buttons == msgbox::Buttons::YesNo      ? msgbox::Result::No
                   : b.buttons == msgbox::Buttons::OKCancel ? msgbox::Result::Cancel
                                                            : msgbox::Result::OK;
        }
        Expected e = m_queue.takeFirst();
        msgbox::Box compared = b;
        if (e.beginning && b.text.startsWith(e.box.text))
            compared.text = e.box.text;
        if (!(e.box == compared))
            m_problems << u"box %1: expected %2, shown %3"_s.arg(m_seen.size())
                              .arg(msgbox::describe(e.box), msgbox::describe(b));
        if (e.whileShown)
            e.whileShown();
        return e.answer;
    });
}

Boxes::~Boxes()
{
    msgbox::setResponder({});
}

void Boxes::expect(const msgbox::Box& b, msgbox::Result answer)
{
    m_queue << Expected{b, answer, {}};
}

void Boxes::expect(const msgbox::Box& b, msgbox::Result answer, std::function<void()> whileShown)
{
    m_queue << Expected{b, answer, std::move(whileShown)};
}

void Boxes::expectBeginning(const msgbox::Box& b, msgbox::Result answer)
{
    m_queue << Expected{b, answer, {}, true};
}

QString Boxes::problems() const
{
    QStringList p = m_problems;
    for (const Expected& e : m_queue)
        p << u"expected box never shown: "_s + msgbox::describe(e.box);
    return p.join(u'\n');
}

void Boxes::reset()
{
    m_queue.clear();
    m_seen.clear();
    m_problems.clear();
}

BoxTest::BoxTest() = default;

BoxTest::~BoxTest() = default;

void BoxTest::expectBox(const QString& text, msgbox::Buttons buttons, msgbox::Result answer)
{
    m_boxes.expect(box(text, buttons), answer);
}

void BoxTest::init()
{
    m_boxes.reset();
    initTest();
}

void BoxTest::cleanup()
{
    cleanupTest();
    const QString problems = m_boxes.problems();
    m_boxes.reset();
    QVERIFY2(problems.isEmpty(), qPrintable(problems));
}

namespace {
// In a child just forked: it gets SIGKILL when the parent dies (also before this runs).
void dieWithParent(pid_t parent)
{
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent)
        ::_exit(127);
}
} // namespace

void endsWithThisProcess(QProcess& p)
{
    const pid_t parent = ::getpid();
    p.setChildProcessModifier([parent] { dieWithParent(parent); });
}

Forked::Forked(const std::function<int()>& f)
{
    const pid_t parent = ::getpid();
    m_pid = ::fork();
    if (m_pid == 0) {
        dieWithParent(parent);
        ::_exit(f());
    }
    if (m_pid < 0)
        qFatal("fork failed");
}

Forked::~Forked()
{
    if (!m_reaped) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
}

int Forked::wait(int timeoutMs)
{
    if (!m_reaped) {
        int status = 0;
        const auto reaped = [&] { return ::waitpid(m_pid, &status, WNOHANG) == m_pid; };
        if (!reaped() && !QTest::qWaitFor(reaped, timeoutMs)) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
            status = -1;
        }
        m_reaped = true;
        m_code = status >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    return m_code;
}

void whenModal(std::function<void(QWidget*)> f, int timeoutMs)
{
    auto* t = new QTimer;
    auto left = std::make_shared<int>(timeoutMs / 10);
    QObject::connect(t, &QTimer::timeout, t, [t, f, left] {
        if (QWidget* w = QApplication::activeModalWidget()) {
            t->stop();
            t->deleteLater();
            f(w);
        } else if (--*left <= 0) {
            t->stop();
            t->deleteLater();
            qWarning("whenModal: no modal window appeared");
        }
    });
    t->start(10);
}

} // namespace testsupport
