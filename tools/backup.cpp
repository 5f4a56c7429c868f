#include "tools/backup.h"

#include "modul/backups.h"
#include "modul/cardmodul.h"
#include "platform/appinfo.h"
#include "platform/clock.h"
#include "platform/instance.h"
#include "tools/console.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <future>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace backup {

namespace {

QString errnoText()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// Copies a file (or standard input, "-") to a new file and makes it durable.
void copyDurably(const QString& from, const QString& to)
{
    QFile in;
    const bool opened = from == u"-" ? in.open(stdin, QIODevice::ReadOnly)
                                     : (in.setFileName(from), in.open(QIODevice::ReadOnly));
    if (!opened)
        throw adodb::Error(adodb::ErrFileMissing,
                           u"无法读取“%1”：%2"_s.arg(console::shown(from), in.errorString()));
    QFile out(to);
    if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        throw adodb::Error(adodb::ErrExists, u"无法写入“%1”：%2"_s.arg(QDir::toNativeSeparators(to),
                                                                       out.errorString()));
    QByteArray chunk;
    while (!(chunk = in.read(1 << 20)).isEmpty()) {
        if (out.write(chunk) != chunk.size())
            throw adodb::Error(
                adodb::ErrDamaged,
                u"写入“%1”失败：%2"_s.arg(QDir::toNativeSeparators(to), out.errorString()));
    }
    if (!out.flush() || ::fsync(out.handle()) != 0)
        throw adodb::Error(adodb::ErrDamaged,
                           u"写入“%1”失败：%2"_s.arg(QDir::toNativeSeparators(to), errnoText()));
}

void syncDir(const QString& dir)
{
    const int fd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

bool exists(const QString& f)
{
    return QFileInfo::exists(f) || QFileInfo(f).isSymLink();
}

void renameOrThrow(const QString& from, const QString& to)
{
    if (::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0)
        throw adodb::Error(adodb::ErrDamaged, u"无法把“%1”改名为“%2”：%3"_s.arg(
                                                  QDir::toNativeSeparators(from),
                                                  QDir::toNativeSeparators(to), errnoText()));
}

struct Outcome {
    int code = console::Ok;
    QStringList out;
    QStringList err;
};

// The steps of a restore, run while the main thread answers a program that starts.
Outcome restoreSteps(const QString& source)
{
    Outcome o;
    const QString db = cardmodul::dbFilePath();
    const QString journal = db + u"-journal"_s;
    const QString dir = QFileInfo(db).absolutePath();
    const QString incoming =
        dir + u"/."_s + cardmodul::kDbFileName + u".restoring-"_s + QString::number(::getpid());
    QFile::remove(incoming);
    try {
        copyDurably(source, incoming);
        backups::verify(incoming);
    } catch (const adodb::Error& e) {
        QFile::remove(incoming);
        o.code = console::Failed;
        o.err << u"备份“%1”不能用来恢复：%2"_s.arg(console::shown(source), e.description())
              << u"数据库没有改动。"_s;
        return o;
    }

    // The replaced file goes aside with its journal, so that journal is never played into
    // the restored copy; an earlier file kept this way is kept too, under a number.
    const QString before = db + u".before-restore"_s;
    QStringList moved; // pairs from, to: undone when a later step fails
    auto move = [&moved](const QString& from, const QString& to) {
        renameOrThrow(from, to);
        moved << from << to;
    };
    try {
        if (exists(before) || exists(before + u"-journal"_s)) {
            int n = 1;
            while (exists(before + u'.' + QString::number(n)) ||
                   exists(before + u'.' + QString::number(n) + u"-journal"_s))
                ++n;
            const QString older = before + u'.' + QString::number(n);
            if (exists(before))
                move(before, older);
            if (exists(before + u"-journal"_s))
                move(before + u"-journal"_s, older + u"-journal"_s);
            o.out << u"早先保留的“%1”改名为“%2”。"_s.arg(QDir::toNativeSeparators(before),
                                                         QDir::toNativeSeparators(older));
        }
        const bool hadDb = exists(db);
        const bool hadJournal = exists(journal);
        if (hadDb)
            move(db, before);
        if (hadJournal)
            move(journal, before + u"-journal"_s);
        renameOrThrow(incoming, db);
        syncDir(dir);
        o.out << u"已用“%1”恢复数据库“%2”。"_s.arg(console::shown(source),
                                                   QDir::toNativeSeparators(db));
        if (hadDb)
            o.out << u"原来的数据库保存为“%1”%2。"_s.arg(
                QDir::toNativeSeparators(before),
                hadJournal
                    ? u"（它的日志文件保存为“%1-journal”）"_s.arg(QDir::toNativeSeparators(before))
                    : QString());
    } catch (const adodb::Error& e) {
        for (qsizetype i = moved.size() - 2; i >= 0; i -= 2)
            ::rename(QFile::encodeName(moved[i + 1]).constData(),
                     QFile::encodeName(moved[i]).constData());
        QFile::remove(incoming);
        syncDir(dir);
        o.code = console::Failed;
        o.err << e.description() << u"数据库没有改动。"_s;
    }
    return o;
}

} // namespace

int toFile(const QString& file)
{
    adodb::Connection c;
    try {
        c.Open(cardmodul::connectionText());
        if (file != u"-") {
            backups::copyChecked(c, file);
            console::out(u"已备份到：%1"_s.arg(QDir::toNativeSeparators(file)));
            return console::Ok;
        }
        QTemporaryDir tmp;
        const QString copy = tmp.path() + u"/"_s + cardmodul::kDbFileName;
        backups::copyChecked(c, copy);
        QFile in(copy);
        QFile out;
        if (!in.open(QIODevice::ReadOnly) || !out.open(stdout, QIODevice::WriteOnly) ||
            out.write(in.readAll()) != in.size() || !out.flush()) {
            console::err(u"无法把备份写到标准输出。"_s);
            return console::Failed;
        }
        console::err(u"已备份到标准输出。"_s);
        return console::Ok;
    } catch (const adodb::Error& e) {
        return console::failed(e);
    }
}

int rotating()
{
    adodb::Connection c;
    try {
        c.Open(cardmodul::connectionText());
        const QString file = backups::rotate(c, ctclock::now());
        console::out(u"已备份到：%1（保留最新的 %2 个备份）"_s.arg(QDir::toNativeSeparators(file))
                         .arg(backups::kKeep));
        return console::Ok;
    } catch (const adodb::Error& e) {
        return console::failed(e);
    }
}

int restore(const QString& file)
{
    if (file != u"-" && !QFileInfo(file).isFile())
        throw console::UsageError(u"找不到备份文件“%1”。"_s.arg(console::shown(file)));
    if (!QFileInfo(appinfo::exeDir()).isDir())
        throw console::UsageError(
            u"目录“%1”不存在。"_s.arg(QDir::toNativeSeparators(appinfo::exeDir())));
    // Held until the end: a copy of the program that starts meanwhile finds it.
    ct::SingleInstance instance;
    switch (instance.claim()) {
    case ct::SingleInstance::Claim::Raised:
        console::err(u"澄桐工作管理正在运行，不能恢复数据库。请先结束程序（例如 pkill -x ctwork，"
                     "程序会正常退出），再运行 ctdb restore。数据库没有改动。"_s);
        return console::Failed;
    case ct::SingleInstance::Claim::Unchecked:
        console::err(
            u"无法确认澄桐工作管理没有在运行（%1），为安全起见没有恢复。数据库没有改动。"_s.arg(
                instance.problem()));
        return console::Failed;
    case ct::SingleInstance::Claim::First:
        break;
    }
    auto work = std::async(std::launch::async, [file] { return restoreSteps(file); });
    while (work.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    const Outcome o = work.get();
    for (const QString& s : o.out)
        console::out(s);
    for (const QString& s : o.err)
        console::err(s);
    return o.code;
}

} // namespace backup
