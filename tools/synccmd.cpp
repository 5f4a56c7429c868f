#include "tools/synccmd.h"

#include "modul/backups.h"
#include "modul/cardmodul.h"
#include "platform/appinfo.h"
#include "platform/clock.h"
#include "sync/engine.h"
#include "sync/keyring.h"
#include "sync/local.h"
#include "sync/state.h"
#include "tools/console.h"

#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <cstdio>
#include <termios.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using console::UsageError;

namespace synccmd {

namespace {

const QString kDirNote =
    u"目录是放 ctsource.mdb 的目录，不写时是 ctdb 所在的目录；也可以写成 --dir 目录。"_s;

const QString kConnNote =
    u"  --ca-file 文件       另外信任这个文件里的证书（PEM；服务器用自己签发的证书时）\n"
    "  --allow-http         允许不加密的 http:// 连接别的机器（本机的服务器总是允许）\n"
    "  --timeout 秒         服务器这么久没有回答就放弃（默认 30）\n"_s;

QString helpOf(const QString& sub)
{
    if (sub == u"setup")
        return u"用法：ctdb sync setup 网址 --user 用户名 [--password-file 文件] "
               "[--addressbook 名称|网址] [--calendar 名称|网址] [--journal 名称|网址] [目录]\n"
               "找到账户的通讯录和日历（/.well-known/carddav、/.well-known/caldav 等标准方法），"
               "用给出的集合，否则用名为“澄桐名片”“澄桐会议”“澄桐日记”的集合（第二台电脑设置同一账"
               "户时就共用它们），"
               "没有时新建；检查能读能写，然后把账户记在数据库里，密码放进桌面的密钥环。\n"
               "没有密钥环时密码不保存，以后每次同步都要用 --password-file 给出。\n"
               "不给 --password-file "
               "时从标准输入读密码（终端上不回显）。密码不会写进数据库、日志或输出。\n"
               "选项：\n"_s +
               kConnNote + kDirNote;
    if (sub == u"status")
        return u"用法：ctdb sync status [目录]\n显示同步账户、集合、最近几次同步的时间和结果，"
               "以及等着上传的记录数。\n"_s +
               kDirNote;
    if (sub == u"forget")
        return u"用法：ctdb sync forget [目录]\n删除同步账户和同步状态（以及密钥环里的密码）；"
               "服务器上的数据和本机的记录都不删除。\n"_s +
               kDirNote;
    return u"用法：ctdb sync [--password-file 文件] [--allow-mass-delete] [目录]\n"
           "      ctdb sync setup|status|forget ...（“ctdb sync setup --help”等显示说明）\n"
           "和服务器双向同步一次名片、会议和日记，列出做了什么（上传、下载、修改、删除、冲突、跳过"
           "及原因）。\n"
           "两边都改了同一条记录时，两个版本都留下：日记把另一段文字放进历史（ctdb history），"
           "名片和会议把另一个版本存成一条新记录。\n"
           "一次同步要删除本机某类记录的一半以上（或全部）时拒绝同步，退出码 1；"
           "确实要删除时加 --allow-mass-delete。第一次同步前和删除本机记录前都先做轮换备份。\n"
           "选项：\n"
           "  --password-file 文件  从文件的第一行读密码（没有密钥环时必须给）\n"
           "  --allow-mass-delete   允许大量删除本机记录\n"_s +
           kConnNote + u"退出码：0 成功；1 同步失败；2 命令行有错。\n"_s + kDirNote;
}

struct Args {
    QString sub; // "", setup, status, forget
    QStringList positional;
    bool help = false;
    std::optional<QString> user, passwordFile, addressBook, calendar, journal, caFile, dir, timeout;
    bool allowHttp = false, allowMassDelete = false;
};

Args parse(const QStringList& in)
{
    Args a;
    console::scanOptions(
        in,
        [&a](const QString& w, bool afterDashes) {
            if (!afterDashes && w == u"-h")
                a.help = true;
            else if (!afterDashes && a.positional.isEmpty() && a.sub.isEmpty() &&
                     (w == u"setup" || w == u"status" || w == u"forget"))
                a.sub = w;
            else
                a.positional << w;
        },
        [&a](const console::Option& o) {
            if (o.is(u"--help"))
                a.help = true;
            else if (o.is(u"--allow-http"))
                a.allowHttp = true;
            else if (o.is(u"--allow-mass-delete"))
                a.allowMassDelete = true;
            else if (o.name() == u"--user")
                a.user = o.value();
            else if (o.name() == u"--password-file")
                a.passwordFile = o.value();
            else if (o.name() == u"--addressbook")
                a.addressBook = o.value();
            else if (o.name() == u"--calendar")
                a.calendar = o.value();
            else if (o.name() == u"--journal")
                a.journal = o.value();
            else if (o.name() == u"--ca-file")
                a.caFile = o.value();
            else if (o.name() == u"--timeout")
                a.timeout = o.value();
            else if (o.name() == u"--dir")
                a.dir = o.value();
            else
                return false;
            return true;
        });
    return a;
}

void only(const Args& a, bool setupOptions, bool syncOptions)
{
    if (!setupOptions && (a.user || a.addressBook || a.calendar || a.journal))
        throw UsageError(
            u"--user、--addressbook、--calendar、--journal 只用于 ctdb sync setup。"_s);
    if (!syncOptions && (a.passwordFile || a.caFile || a.allowHttp || a.timeout))
        throw UsageError(u"ctdb sync %1 不接受连接选项。"_s.arg(a.sub));
    if (a.allowMassDelete && !a.sub.isEmpty())
        throw UsageError(u"--allow-mass-delete 只用于 ctdb sync。"_s);
}

// Thrown for a failure already explained to the user.
struct Failed {
    QString message;
};

QString readPasswordFile(const QString& file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        throw Failed{u"无法读密码文件“%1”：%2"_s.arg(file, f.errorString())};
    QString line = QString::fromUtf8(f.readLine());
    while (line.endsWith(u'\n') || line.endsWith(u'\r'))
        line.chop(1);
    return line;
}

QString readPasswordFromInput()
{
    const bool tty = isatty(STDIN_FILENO);
    termios old{};
    if (tty) {
        std::fputs("密码：", stderr);
        std::fflush(stderr);
        tcgetattr(STDIN_FILENO, &old);
        termios quiet = old;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
    }
    QTextStream in(stdin);
    QString line = in.readLine();
    if (tty) {
        tcsetattr(STDIN_FILENO, TCSANOW, &old);
        std::fputs("\n", stderr);
    }
    return line;
}

dav::Options connection(const Args& a)
{
    dav::Options o;
    if (a.caFile) {
        if (!QFileInfo(*a.caFile).isReadable())
            throw Failed{u"无法读证书文件“%1”。"_s.arg(*a.caFile)};
        o.caFile = QFileInfo(*a.caFile).absoluteFilePath();
    }
    o.allowHttp = a.allowHttp;
    if (a.timeout) {
        bool ok = false;
        const double s = a.timeout->toDouble(&ok);
        if (!ok || s <= 0)
            throw UsageError(u"--timeout 后面应是秒数：%1"_s.arg(*a.timeout));
        o.timeoutMs = int(s * 1000);
    }
    return o;
}

ctsync::Context context()
{
    const QDateTime now = ctclock::now();
    return {QTimeZone::systemTimeZone(), now.date(), now};
}

void openDb(adodb::Connection& c)
{
    c.Open(cardmodul::connectionText());
}

// A progress line on a terminal, rewritten in place.
class Progress {
public:
    Progress() : m_tty(isatty(STDERR_FILENO)) {}
    ~Progress() { clear(); }
    void show(const QString& what, qint64 done, qint64 total)
    {
        if (!m_tty)
            return;
        const QString line =
            total > 0 ? u"%1 %2/%3"_s.arg(what).arg(done).arg(total) : u"%1……"_s.arg(what);
        std::fprintf(stderr, "\r\x1b[K%s", line.toUtf8().constData());
        std::fflush(stderr);
        m_shown = true;
    }
    void clear()
    {
        if (m_shown)
            std::fputs("\r\x1b[K", stderr);
        m_shown = false;
    }

private:
    bool m_tty;
    bool m_shown = false;
};

int setup(const Args& a)
{
    only(a, true, true);
    if (a.positional.isEmpty())
        throw UsageError(u"缺少参数：ctdb sync setup 网址 --user 用户名 [目录]"_s);
    if (!a.user)
        throw UsageError(u"缺少 --user 用户名。"_s);
    const QUrl url = QUrl::fromUserInput(a.positional[0]);
    if (!url.isValid() || url.host().isEmpty())
        throw UsageError(u"网址不对：%1"_s.arg(a.positional[0]));
    // A password on the command line is seen by every user of the machine (ps), and the
    // URL is stored with the account.
    if (!url.userInfo().isEmpty())
        throw UsageError(u"网址里不要写用户名或密码：用 --user 和 --password-file 给出。"_s);
    console::takeDir(a.positional, a.dir, 1);
    ctsync::SetupRequest r;
    r.url = url;
    r.options = connection(a);
    r.options.user = *a.user;
    r.options.password =
        a.passwordFile ? readPasswordFile(*a.passwordFile) : readPasswordFromInput();
    r.addressBook = a.addressBook.value_or(QString());
    r.calendar = a.calendar.value_or(QString());
    r.journal = a.journal.value_or(QString());
    adodb::Connection c;
    openDb(c);
    const ctsync::RunLock lock(c.fileName(), 0);
    const ctsync::SetupResult s = ctsync::setup(c, r, context());
    console::out(
        u"同步账户：%1（用户 %2）"_s.arg(url.toDisplayString(QUrl::RemoveUserInfo), *a.user));
    console::out(u"名片：%1"_s.arg(s.cards));
    console::out(u"会议：%1"_s.arg(s.meetings));
    console::out(
        u"日记：%1%2"_s.arg(s.diary, s.journalShared ? u"（和会议同一个日历）"_s : QString()));
    if (!s.made.isEmpty())
        console::out(u"新建了：%1"_s.arg(s.made.join(u"、"_s)));
    const keyring::Result k =
        keyring::write(keyring::keyOf(url.toString(), *a.user), r.options.password);
    if (k.ok)
        console::out(u"密码已存入桌面的密钥环。"_s);
    else
        console::err(
            u"%1，密码没有保存：以后每次同步请用 --password-file 给出密码。"_s.arg(k.error));
    console::out(u"设置完成。用“ctdb sync”同步。"_s);
    return console::Ok;
}

int sync(const Args& a)
{
    only(a, false, true);
    console::takeDir(a.positional, a.dir, 0);
    dav::Options o = connection(a);
    adodb::Connection c;
    openDb(c);
    ctsync::state::ensureTables(c);
    const auto acc = ctsync::state::account(c);
    if (!acc)
        throw Failed{u"还没有设置同步账户：请先运行“ctdb sync setup 网址 --user 用户名”。"_s};
    if (a.passwordFile) {
        o.password = readPasswordFile(*a.passwordFile);
    } else {
        const keyring::Result k = keyring::read(keyring::keyOf(acc->url, acc->user));
        if (!k.ok)
            throw Failed{u"%1：请用 --password-file 给出密码。"_s.arg(k.error)};
        o.password = k.password;
    }
    o.user = acc->user;
    ctsync::RunOptions ro;
    ro.dav = o;
    ro.allowMassDelete = a.allowMassDelete;
    // The program's background sync may be at it: waited for, within reason.
    ro.lockWaitMs = 120000;
    ro.waiting = [] { console::err(u"另一个同步正在进行，等它结束……"_s); };
    ro.backup = [&c] { backups::rotate(c, ctclock::now()); };
    Progress progress;
    ro.progress = [&](const QString& what, qint64 done, qint64 total) {
        progress.show(what, done, total);
    };
    const QString started = ctclock::now().toString(u"yyyy-MM-dd HH:mm:ss"_s);
    auto logged = [&](bool ok, const QString& summary) {
        try {
            ctsync::state::log(
                c, {started, ctclock::now().toString(u"yyyy-MM-dd HH:mm:ss"_s), ok, summary});
        } catch (const adodb::Error&) {
        }
    };
    try {
        const ctsync::Report r = ctsync::run(c, ro, context());
        progress.clear();
        if (r.backedUp)
            console::out(u"同步前已做轮换备份（backups/）。"_s);
        for (const QString& t : r.conflictTexts)
            console::out(u"冲突：%1"_s.arg(t));
        for (const QString& t : r.skipped)
            console::out(u"跳过：%1"_s.arg(t));
        console::out(r.summary());
        logged(true, r.summary());
        return console::Ok;
    } catch (const dav::Error& e) {
        progress.clear();
        logged(false, e.message());
        throw Failed{u"同步失败：%1"_s.arg(e.message())};
    } catch (const ctsync::MassDelete& e) {
        progress.clear();
        logged(false, e.message());
        throw Failed{e.message()};
    } catch (const ctsync::Busy&) {
        progress.clear();
        throw Failed{ctsync::Busy::message()};
    }
}

int status(const Args& a)
{
    only(a, false, false);
    console::takeDir(a.positional, a.dir, 0);
    adodb::Connection c;
    openDb(c);
    ctsync::state::ensureTables(c);
    const auto acc = ctsync::state::account(c);
    if (!acc) {
        console::out(u"没有设置同步账户。"_s);
        return console::Ok;
    }
    console::out(u"账户：%1（用户 %2），设置于 %3"_s.arg(acc->url, acc->user, acc->created));
    const QDateTime now = ctclock::now();
    const ctsync::Context cx{QTimeZone::systemTimeZone(), now.date(), now};
    for (ctsync::Kind k : {ctsync::Kind::Card, ctsync::Kind::Meeting, ctsync::Kind::Diary}) {
        const auto col = ctsync::state::collection(c, k);
        const ctsync::Pending p = ctsync::pending(c, k);
        const QString what = k == ctsync::Kind::Card      ? u"名片"_s
                             : k == ctsync::Kind::Meeting ? u"会议"_s
                                                          : u"日记"_s;
        console::out(u"%1：%2；已同步 %3 条，等着上传 %4 条，等着在服务器上删除 %5 条"_s
                         .arg(what, col ? col->url : u"（无）"_s)
                         .arg(p.synced)
                         .arg(p.up)
                         .arg(p.deletes));
    }
    const auto logs = ctsync::state::lastLogs(c, 5);
    if (logs.empty())
        console::out(u"还没有同步过。"_s);
    for (const auto& l : logs)
        console::out(u"%1 %2：%3"_s.arg(l.finished, l.ok ? u"成功"_s : u"失败"_s, l.summary));
    return console::Ok;
}

int forget(const Args& a)
{
    only(a, false, false);
    console::takeDir(a.positional, a.dir, 0);
    adodb::Connection c;
    openDb(c);
    const ctsync::RunLock lock(c.fileName(), 0);
    ctsync::state::ensureTables(c);
    const auto acc = ctsync::state::account(c);
    {
        adodb::Transaction t(c);
        ctsync::state::forget(c);
        t.commit();
    }
    if (acc)
        keyring::remove(keyring::keyOf(acc->url, acc->user));
    console::out(acc ? u"已删除同步账户和同步状态；服务器上的数据和本机的记录都没有改动。"_s
                     : u"没有设置同步账户。"_s);
    return console::Ok;
}

} // namespace

int run(const QStringList& arguments)
{
    const Args a = parse(arguments);
    if (a.help) {
        console::out(helpOf(a.sub));
        return console::Ok;
    }
    try {
        if (a.sub == u"setup")
            return setup(a);
        if (a.sub == u"status")
            return status(a);
        if (a.sub == u"forget")
            return forget(a);
        return sync(a);
    } catch (const Failed& f) {
        console::err(f.message);
    } catch (const ctsync::Busy&) {
        console::err(ctsync::Busy::message());
    } catch (const dav::Error& e) {
        console::err(e.message());
    } catch (const adodb::Error& e) {
        console::err(u"错误 %1：%2"_s.arg(e.number()).arg(e.description()));
    }
    return console::Failed;
}

} // namespace synccmd
