// ctdb: makes and checks the database file of 澄桐工作管理.
//   ctdb init [DIR]    create DIR/ctsource.mdb (refuses to overwrite)
//   ctdb check [DIR]   open it as the program does, check integrity, count rows
//   ctdb backup FILE [DIR]  write a consistent encrypted copy to FILE (never overwrites)
// DIR defaults to the directory of ctdb itself.

#include "app/modul/cardmodul.h"
#include "platform/appinfo.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

void out(FILE* f, const QString& s)
{
    std::fputs(s.toUtf8().constData(), f);
    std::fputc('\n', f);
}

int usage()
{
    out(stderr, u"用法：ctdb init [目录] | ctdb check [目录] | ctdb backup 备份文件 [目录]"_s);
    return 2;
}

int init()
{
    const QString file = cardmodul::dbFilePath();
    if (!QDir().mkpath(appinfo::exeDir())) {
        out(stderr, u"无法创建目录：%1"_s.arg(appinfo::exeDir()));
        return 1;
    }
    try {
        cardmodul::createDatabase(file);
    } catch (const adodb::Error& e) {
        out(stderr, e.description());
        return 1;
    }
    out(stdout, u"已创建空数据库：%1"_s.arg(QDir::toNativeSeparators(file)));
    return 0;
}

QStringList problemsOf(adodb::Connection& c, const QString& pragma)
{
    adodb::Recordset rs;
    rs.Open(pragma, c);
    QStringList problems;
    for (; !rs.eof(); rs.MoveNext())
        if (rs.Fields(0).text() != u"ok")
            problems << rs.Fields(0).text();
    return problems;
}

// The problems the integrity check finds. A page whose check sum fails ends the full
// check with an error; the quick check still lists what it finds, and the error itself
// is a problem of the file.
QStringList integrityProblems(adodb::Connection& c)
{
    try {
        return problemsOf(c, u"PRAGMA integrity_check"_s);
    } catch (const adodb::Error& full) {
        QStringList problems;
        try {
            problems = problemsOf(c, u"PRAGMA quick_check"_s);
        } catch (const adodb::Error&) {
        }
        problems << u"检查无法读完整个文件：%1"_s.arg(full.description());
        return problems;
    }
}

int check()
{
    adodb::Connection c;
    try {
        c.Open(cardmodul::connectionText());
        const QStringList problems = integrityProblems(c);
        if (!problems.isEmpty()) {
            out(stderr, u"数据库文件损坏：\n"_s + problems.join(u'\n') +
                            u"\n请用“ctdb restore”从程序目录下 backups 里最近的备份恢复。"_s);
            return 1;
        }
        out(stdout, u"文件：%1"_s.arg(QDir::toNativeSeparators(c.fileName())));
        adodb::Recordset rs;
        for (const QString& t : {u"cardtab"_s, u"meet_tab"_s, u"daily_tab"_s}) {
            rs.Open(u"select count(*) from "_s + t, c);
            out(stdout, t + u": "_s + rs.Fields(0).text());
        }
        out(stdout, u"完整性检查：ok"_s);
        return 0;
    } catch (const adodb::Error& e) {
        out(stderr, u"错误 %1：%2"_s.arg(e.number()).arg(e.description()));
        return 1;
    }
}

int backup(const QString& file)
{
    adodb::Connection c;
    try {
        c.Open(cardmodul::connectionText());
        c.backupTo(file, cardmodul::kPassword);
    } catch (const adodb::Error& e) {
        out(stderr, u"错误 %1：%2"_s.arg(e.number()).arg(e.description()));
        return 1;
    }
    out(stdout, u"已备份到：%1"_s.arg(QDir::toNativeSeparators(file)));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (!args.isEmpty() && args[0] == u"backup") {
        if (args.size() < 2 || args.size() > 3)
            return usage();
        const QString file = QFileInfo(args[1]).absoluteFilePath();
        if (args.size() == 3)
            appinfo::setExeDir(QFileInfo(args[2]).absoluteFilePath());
        return backup(file);
    }
    if (args.isEmpty() || args.size() > 2)
        return usage();
    if (args.size() == 2)
        appinfo::setExeDir(QFileInfo(args[1]).absoluteFilePath());
    if (args[0] == u"init")
        return init();
    if (args[0] == u"check")
        return check();
    return usage();
}
