// ctdb: the companion program of 澄桐工作管理 for its database file.
//   ctdb init [DIR]                       create DIR/ctsource.mdb (refuses to overwrite)
//   ctdb check [DIR]                      open it as the program does, check it, count rows
//   ctdb backup [FILE] [DIR]              a checked copy; without FILE a rotating backup
//   ctdb restore FILE [DIR]               put a backup in place (not while ctwork runs)
//   ctdb export cards|meetings|diary FILE [DIR]
//   ctdb import cards|meetings|diary FILE [DIR]
//   ctdb history DATE [--restore N] [DIR]   earlier texts of a diary entry
//   ctdb sync [setup URL --user NAME|status|forget] [DIR]   CardDAV/CalDAV sync
// DIR defaults to the directory of ctdb itself (also --dir DIR).

#include "modul/cardmodul.h"
#include "modul/filecheck.h"
#include "platform/appinfo.h"
#include "platform/safefiles.h"
#include "tools/backup.h"
#include "tools/console.h"
#include "tools/history.h"
#include "tools/synccmd.h"
#include "tools/transfer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include <cerrno>

using namespace Qt::StringLiterals;
using console::UsageError;

namespace {

const QString kDirNote =
    u"目录是程序所在的目录（放 ctsource.mdb 的地方），不写时是 ctdb 所在的目录；也可以写成 --dir 目录。"_s;

const QString kUsage =
    u"用法：ctdb 命令 [参数] [目录]\n"
    "  init [目录]                          建立空的数据库 ctsource.mdb\n"
    "  check [目录]                         检查数据库，列出各表的记录数\n"
    "  backup [备份文件] [目录]             备份；不写备份文件时在 backups/ 里轮换备份\n"
    "  restore 备份文件 [目录]              用备份恢复数据库（程序须已退出）\n"
    "  export cards|meetings|diary 文件 [目录]   导出名片、会议或日记\n"
    "  import cards|meetings|diary 文件 [目录]   导入名片、会议或日记\n"
    "  history 日期 [--restore 号码] [目录] 日记被替换前的文字；恢复其中一个\n"
    "  sync [setup|status|forget] [目录]    和 CardDAV/CalDAV 服务器同步名片、会议和日记\n"
    "“ctdb 命令 --help”显示这个命令的说明。\n"
    "退出码：0 成功；1 数据有错或操作失败（什么也没有写入）；2 命令行有错。"_s;

QString helpOf(const QString& command)
{
    if (command == u"init")
        return u"用法：ctdb init [目录]\n在目录里建立一个空的数据库 ctsource.mdb；已有的文件不会被覆盖。\n"_s +
               kDirNote;
    if (command == u"check")
        return u"用法：ctdb check [目录]\n像程序一样打开数据库，做完整性检查，列出每个表的记录数；"
               "有任何问题时退出码为 1。\n"_s +
               kDirNote;
    if (command == u"backup")
        return u"用法：ctdb backup [备份文件] [目录]\n"
               "给出备份文件时，把数据库的一致、加密的副本写到这个文件（不覆盖已有文件；- "
               "表示标准输出）。\n"
               "不给备份文件时，在数据库旁边的 backups/ 目录里写 ctsource-年月日-时分秒.mdb，"
               "只保留最新的 14 个（按备份里记下的制作时间排，时间在将来的排在最前；只算能用本程序"
               "的密码打开的备份，别的文件一概不删）；新备份失败时不删除任何旧备份。\n"
               "备份文件只有所有者能读写（0600），目录是 0700。\n"
               "每个备份写完后都会打开检查（完整性检查）。程序运行时也可以备份。\n"
               "要给另一个目录做轮换备份：ctdb backup --dir 目录\n"_s +
               kDirNote;
    if (command == u"restore")
        return u"用法：ctdb restore 备份文件 [目录]\n"
               "用备份文件替换数据库 ctsource.mdb。澄桐工作管理正在运行时拒绝恢复。\n"
               "先检查备份（用程序的密码打开并做完整性检查），不合格就不动数据库。\n"
               "备份还必须是本程序的数据库：表的列和本程序的不同，也不恢复。\n"
               "被替换的数据库保留为 ctsource.mdb.before-restore（先给它这个名字，再把备份改名为 "
               "ctsource.mdb，所以数据库的名字任何时候都在）；早先保留的依次改为 .1、.2……，"
               "只保留最近被替换的 5 个。\n"
               "ctsource.mdb 是符号链接时，恢复的是它指向的文件，链接不变。恢复后的文件不会比原来的"
               "更开放（最多 0600）。\n"_s +
               kDirNote;
    if (command == u"export")
        return u"用法：ctdb export cards|meetings|diary 文件 [目录]\n"
               "  cards     名片：.vcf（vCard 4.0）或 .csv\n"
               "  meetings  会议：.ics（iCalendar）或 .csv\n"
               "  diary     日记：.md（Markdown）\n"
               "选项：\n"
               "  --encoding gb18030   CSV 用 GB18030 编码（默认 UTF-8，带 BOM）\n"
               "  --format 格式        vcf、csv、ics 或 md；文件是 - （标准输出）时必须写\n"
               "已有的文件不会被覆盖。\n"_s +
               kDirNote;
    if (command == u"import")
        return u"用法：ctdb import cards|meetings|diary 文件 [目录]\n"
               "  cards     名片：.vcf（vCard 2.1、3.0、4.0）或 .csv（本程序的，或 "
               "Google、Outlook、"
               "Thunderbird 导出的）\n"
               "  meetings  "
               "会议：.ics（iCalendar，重复的事件按每一次导入，到一年以后为止，每个最多 "
               "500 次）或 .csv（本程序的，或 Outlook 日历导出的）\n"
               "  diary     日记：ctdb export diary 导出的 .md\n"
               "文件是 - 时读标准输入。读不了的记录（例如没有任何姓名、单位、EMAIL 或电话的名片）"
               "整条略过并指出行号，其余照常导入；文件根本不是这种格式、或在一条记录中间断掉时，"
               "什么也不写。\n"
               "文件里的 UID 会记住：再次导入同一个文件不会重复添加；UID 相同而内容不同的记录"
               "不改动，只计数。\n"
               "选项：\n"
               "  --strict             有任何一条记录读不了，就什么也不导入\n"
               "  --update             UID 相同而内容不同时，用文件里的内容替换数据库里的\n"
               "  --allow-duplicates   "
               "导入与已有名片重名（或与已有会议相同）的记录（默认跳过并报告）\n"
               "  --verbose            列出全部提示（默认每类只列前 10 条）\n"
               "  --encoding 编码      CSV 按这种编码读：utf-8 或 gb18030（默认自动识别 UTF-8、"
               "GB18030 和 UTF-16）\n"
               "  --format 格式        vcf、csv、ics 或 md（不按扩展名判断时）\n"_s +
               kDirNote;
    if (command == u"history")
        return u"用法：ctdb history 日期 [--restore 号码] [目录]\n"
               "日记每次被改写时，原来的文字都留在数据库里（窗口里不显示）。\n"
               "不加 --restore 时列出这个日期现在的日记和以前的每一段文字，各有一个号码；\n"
               "加 --restore 号码时把那一段恢复成这个日期的日记，现在的文字也留在历史里。\n"
               "日期写成 2026-12-08 这样。\n"_s +
               kDirNote;
    return kUsage;
}

struct Args {
    QStringList positional;
    bool help = false;
    bool allowDuplicates = false;
    bool strict = false;
    bool update = false;
    bool verbose = false;
    std::optional<QString> encoding;
    std::optional<QString> format;
    std::optional<QString> dir;
    std::optional<QString> restore;
};

Args parse(const QStringList& in)
{
    Args a;
    console::scanOptions(
        in,
        [&a](const QString& w, bool afterDashes) {
            if (!afterDashes && w == u"-h")
                a.help = true;
            else
                a.positional << w;
        },
        [&a](const console::Option& o) {
            if (o.is(u"--help"))
                a.help = true;
            else if (o.is(u"--allow-duplicates"))
                a.allowDuplicates = true;
            else if (o.is(u"--strict"))
                a.strict = true;
            else if (o.is(u"--update"))
                a.update = true;
            else if (o.is(u"--verbose"))
                a.verbose = true;
            else if (o.name() == u"--encoding")
                a.encoding = o.value();
            else if (o.name() == u"--format")
                a.format = o.value();
            else if (o.name() == u"--dir")
                a.dir = o.value();
            else if (o.name() == u"--restore")
                a.restore = o.value();
            else
                return false;
            return true;
        });
    return a;
}

void noTransferOptions(const Args& a, const QString& command)
{
    if (a.allowDuplicates || a.strict || a.update || a.verbose || a.encoding || a.format)
        throw UsageError(u"ctdb %1 不接受 --allow-duplicates、--strict、--update、--verbose、"
                         "--encoding 或 --format。"_s.arg(command));
}

QString fileArg(const QString& f)
{
    return f == u"-" ? f : QFileInfo(f).absoluteFilePath();
}

int init()
{
    const QString file = cardmodul::dbFilePath();
    if (!safefiles::makePrivateDirs(appinfo::exeDir())) {
        console::err(u"无法创建目录“%1”：%2"_s.arg(QDir::toNativeSeparators(appinfo::exeDir()),
                                                   safefiles::systemError(errno)));
        return console::Failed;
    }
    try {
        cardmodul::createDatabase(file);
    } catch (const adodb::Error& e) {
        console::err(e.description());
        return console::Failed;
    }
    console::out(u"已创建空数据库：%1"_s.arg(QDir::toNativeSeparators(file)));
    return console::Ok;
}

int check()
{
    adodb::Connection c;
    try {
        c.Open(cardmodul::connectionText());
        const QStringList problems = cardmodul::integrityProblems(c);
        if (!problems.isEmpty()) {
            console::err(u"数据库文件损坏：\n"_s + problems.join(u'\n') +
                         u"\n请用“ctdb restore”从程序目录下 backups 里最近的备份恢复。"_s);
            return console::Failed;
        }
        console::out(u"文件：%1"_s.arg(QDir::toNativeSeparators(c.fileName())));
        adodb::Recordset rs;
        for (const QString& t : {u"cardtab"_s, u"meet_tab"_s, u"daily_tab"_s}) {
            rs.Open(u"select count(*) from "_s + t, c);
            console::out(t + u": "_s + rs.Fields(0).text());
        }
        console::out(u"完整性检查：ok"_s);
        return console::Ok;
    } catch (const adodb::Error& e) {
        return console::failed(e);
    }
}

int transferCommand(const QString& command, const Args& a)
{
    const bool isImport = command == u"import";
    if (a.positional.size() < 3)
        throw UsageError(u"缺少参数：ctdb %1 cards|meetings|diary 文件 [目录]"_s.arg(command));
    transfer::Request r;
    const auto table = transfer::tableNamed(a.positional[1]);
    if (!table)
        throw UsageError(u"不认识的表“%1”：应为 cards、meetings 或 diary。"_s.arg(a.positional[1]));
    r.table = *table;
    r.file = fileArg(a.positional[2]);
    r.allowDuplicates = a.allowDuplicates;
    r.strict = a.strict;
    r.update = a.update;
    r.verbose = a.verbose;
    if (a.format) {
        r.format = transfer::formatNamed(*a.format);
        if (!r.format)
            throw UsageError(u"不认识的格式“%1”：应为 vcf、csv、ics 或 md。"_s.arg(*a.format));
    }
    if (a.encoding) {
        r.encoding = exchange::encodingNamed(*a.encoding);
        if (!r.encoding)
            throw UsageError(u"不认识的编码“%1”：应为 utf-8 或 gb18030。"_s.arg(*a.encoding));
    }
    console::takeDir(a.positional, a.dir, 3);
    return isImport ? transfer::importTable(r) : transfer::exportTable(r);
}

int run(const QStringList& arguments)
{
    if (!arguments.isEmpty() && arguments[0] == u"sync")
        return synccmd::run(arguments.mid(1));
    const Args a = parse(arguments);
    if (a.positional.isEmpty()) {
        if (a.help) {
            console::out(kUsage);
            return console::Ok;
        }
        throw UsageError(u"缺少命令。"_s);
    }
    const QString command = a.positional[0];
    static const QStringList commands = {u"init"_s,   u"check"_s,  u"backup"_s, u"restore"_s,
                                         u"export"_s, u"import"_s, u"history"_s};
    if (!commands.contains(command))
        throw UsageError(u"不认识的命令：%1"_s.arg(command));
    if (a.help) {
        console::out(helpOf(command));
        return console::Ok;
    }
    if (command == u"export" || command == u"import")
        return transferCommand(command, a);
    noTransferOptions(a, command);
    if (a.restore && command != u"history")
        throw UsageError(u"只有 ctdb history 接受 --restore。"_s);
    if (command == u"history") {
        if (a.positional.size() < 2)
            throw UsageError(u"缺少参数：ctdb history 日期 [--restore 号码] [目录]"_s);
        const QString date = a.positional[1];
        // Diary entries are kept under real dates: anything else names none.
        if (!cardmodul::parseDate(date))
            throw UsageError(u"“%1”不是有效的日期：日期写成 2026-12-08 这样。"_s.arg(date));
        console::takeDir(a.positional, a.dir, 2);
        if (!a.restore)
            return history::list(date);
        bool ok = false;
        const qint64 n = a.restore->toLongLong(&ok);
        if (!ok)
            throw UsageError(u"--restore 后面应是号码：%1"_s.arg(*a.restore));
        return history::bringBack(date, n);
    }
    if (command == u"init") {
        console::takeDir(a.positional, a.dir, 1);
        return init();
    }
    if (command == u"check") {
        console::takeDir(a.positional, a.dir, 1);
        return check();
    }
    if (command == u"backup") {
        if (a.positional.size() == 1) {
            console::takeDir(a.positional, a.dir, 1);
            return backup::rotating();
        }
        const QString file = fileArg(a.positional[1]);
        console::takeDir(a.positional, a.dir, 2);
        return backup::toFile(file);
    }
    // restore
    if (a.positional.size() < 2)
        throw UsageError(u"缺少参数：ctdb restore 备份文件 [目录]"_s);
    const QString file = fileArg(a.positional[1]);
    console::takeDir(a.positional, a.dir, 2);
    return backup::restore(file);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    try {
        return run(QCoreApplication::arguments().mid(1));
    } catch (const UsageError& e) {
        console::err(e.message());
        console::err(u"用“ctdb --help”或“ctdb 命令 --help”查看用法。"_s);
        return console::BadArguments;
    }
}
