#include "tools/backup.h"

#include "modul/backups.h"
#include "modul/cardmodul.h"
#include "platform/appinfo.h"
#include "platform/clock.h"
#include "platform/dblock.h"
#include "platform/instance.h"
#include "platform/safefiles.h"
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
#include <fcntl.h>
#include <future>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace backup {

namespace {

// The newest copies of replaced databases kept: .before-restore and .1 to .4.
constexpr int kCopies = 5;

int failed(const adodb::Error& e)
{
    console::err(u"错误 %1：%2"_s.arg(e.number()).arg(e.description()));
    return console::Failed;
}

QString shown(const QString& file)
{
    return QDir::toNativeSeparators(file);
}

adodb::Error systemFailure(const QString& what, int err)
{
    return adodb::Error(err == EEXIST ? adodb::ErrExists : adodb::ErrDamaged,
                        what + safefiles::systemError(err));
}

bool exists(const QString& f)
{
    struct stat st = {};
    return ::lstat(QFile::encodeName(f).constData(), &st) == 0;
}

// Writes all of a buffer to a descriptor; errno set when it fails.
bool writeAll(int fd, const char* p, qint64 n)
{
    while (n > 0) {
        const ssize_t w = ::write(fd, p, std::size_t(n));
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return false;
        p += w;
        n -= w;
    }
    return true;
}

// Copies a file (or standard input, "-") to a new private file and makes it durable.
// Failures name the source as the user named it, never the copy.
void copyDurably(const QString& from, const QString& to)
{
    QFile in;
    const bool opened = from == u"-" ? in.open(stdin, QIODevice::ReadOnly)
                                     : (in.setFileName(from), in.open(QIODevice::ReadOnly));
    if (!opened)
        throw systemFailure(u"无法读取“%1”："_s.arg(console::shown(from)), errno ? errno : EIO);
    const int fd = safefiles::createPrivate(to);
    if (fd < 0)
        throw systemFailure(
            u"无法在“%1”里放恢复用的副本："_s.arg(shown(QFileInfo(to).absolutePath())), errno);
    QByteArray chunk;
    bool ok = true;
    int err = 0;
    while (ok && !(chunk = in.read(1 << 20)).isEmpty()) {
        ok = writeAll(fd, chunk.constData(), chunk.size());
        err = errno;
    }
    if (ok && in.error() != QFileDevice::NoError) {
        ::close(fd);
        throw adodb::Error(adodb::ErrDamaged,
                           u"读取“%1”时出错（%2）。"_s.arg(console::shown(from), in.errorString()));
    }
    if (ok) {
        ok = ::fsync(fd) == 0;
        err = errno;
    }
    ::close(fd);
    if (!ok)
        throw systemFailure(
            u"无法在“%1”里写恢复用的副本："_s.arg(shown(QFileInfo(to).absolutePath())), err);
}

void renameOrThrow(const QString& from, const QString& to)
{
    if (::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0)
        throw systemFailure(u"无法把“%1”改名为“%2”："_s.arg(shown(from), shown(to)), errno);
}

void removeWithJournal(const QString& f)
{
    ::unlink(QFile::encodeName(f).constData());
    ::unlink(QFile::encodeName(f + u"-journal"_s).constData());
}

// The numbers of the kept copies "<before>.N" there are, highest first.
QList<int> numberedCopies(const QString& before)
{
    QList<int> out;
    const QFileInfo fi(before);
    const QString stem = fi.fileName() + u'.';
    for (const QString& n :
         QDir(fi.absolutePath())
             .entryList({stem + u'*'}, QDir::Files | QDir::System | QDir::Hidden)) {
        bool number = false;
        const int k = n.mid(stem.size()).toInt(&number);
        if (number && k > 0)
            out << k;
    }
    std::sort(out.begin(), out.end(), std::greater<>());
    return out;
}

struct Outcome {
    int code = console::Ok;
    QStringList out;
    QStringList err;
};

// The steps of a restore. `db` is the database's name (it may be a link); `target` the
// file it names, which is replaced: the old file is first given a second name (the kept
// copy), then the checked copy of the backup is renamed onto the name, so the name never
// vanishes.
Outcome restoreSteps(const QString& source, const QString& db, const QString& target)
{
    Outcome o;
    const QString dir = QFileInfo(target).absolutePath();
    const QString incoming = safefiles::tempBeside(target, u"restoring");
    removeWithJournal(incoming);
    try {
        copyDurably(source, incoming);
        backups::verify(incoming, source == u"-" ? u"标准输入"_s : source);
    } catch (const adodb::Error& e) {
        removeWithJournal(incoming);
        o.code = console::Failed;
        o.err << u"不能用来恢复：%1"_s.arg(e.description()) << u"数据库没有改动。"_s;
        return o;
    }
    const QString journal = target + u"-journal"_s;
    const QString before = target + u".before-restore"_s;
    struct stat old = {};
    const bool hadDb = ::stat(QFile::encodeName(target).constData(), &old) == 0;
    QStringList moved; // pairs from, to: undone when a later step fails
    auto move = [&moved](const QString& from, const QString& to) {
        renameOrThrow(from, to);
        moved << from << to;
    };
    bool linked = false;
    try {
        // Open on the replaced file while it is replaced: a journal a killed program left
        // is played back into it (its last committed state), and no other program is in
        // the middle of a write or a read of it meanwhile.
        std::optional<adodb::Connection> holding;
        if (hadDb) {
            try {
                holding.emplace();
                holding->Open(cardmodul::connectionText(target));
                holding->Execute(u"BEGIN EXCLUSIVE"_s);
            } catch (const adodb::Error& e) {
                holding.reset();
                const int code = e.number() & 0xff;
                if (code == 5 || code == 6) // another program reads or writes it
                    throw adodb::Error(
                        e.number(),
                        u"数据库文件“%1”正被另一个程序读写（例如 ctdb import 或 ctdb backup），"
                        "请等它结束后再恢复（%2）。"_s.arg(shown(db), e.detail()));
                // A file that does not open is replaced as it is, its journal kept with it.
            }
        }
        // The restored file is never more open to others than the file it replaces, and
        // belongs to the same user (a restore run by root for another user, say).
        const int fd = ::open(QFile::encodeName(incoming).constData(), O_RDONLY | O_CLOEXEC);
        if (fd >= 0) {
            if (hadDb) {
                ::fchmod(fd, old.st_mode & 0600);
                if (::geteuid() == 0) [[maybe_unused]]
                    const int r = ::fchown(fd, old.st_uid, old.st_gid);
            }
            ::close(fd);
        }

        // The copies kept of earlier restores move one place on.
        for (const int n : numberedCopies(before)) {
            const QString from = before + u'.' + QString::number(n);
            const QString to = before + u'.' + QString::number(n + 1);
            if (exists(to) || exists(to + u"-journal"_s))
                continue; // a gap left by a killed restore: the name is taken
            move(from, to);
            if (exists(from + u"-journal"_s))
                move(from + u"-journal"_s, to + u"-journal"_s);
        }
        if (exists(before) || exists(before + u"-journal"_s)) {
            if (exists(before))
                move(before, before + u".1"_s);
            if (exists(before + u"-journal"_s))
                move(before + u"-journal"_s, before + u".1-journal"_s);
        }
        const bool hadJournal = exists(journal);
        if (hadJournal)
            move(journal, before + u"-journal"_s);
        if (hadDb) {
            linked = true;
            if (::link(QFile::encodeName(target).constData(),
                       QFile::encodeName(before).constData()) != 0) {
                // A file system without hard links: a copy of the old file instead.
                const int e = errno;
                if (e != EPERM && e != EOPNOTSUPP && e != EXDEV && e != EMLINK)
                    throw systemFailure(u"无法保留原来的数据库（“%1”）："_s.arg(shown(before)), e);
                copyDurably(target, before);
            }
        }
        renameOrThrow(incoming, target);
        safefiles::syncDir(dir);
        holding.reset();
        if (hadDb)
            ::chmod(QFile::encodeName(before).constData(), old.st_mode & 0600);

        o.out << u"已用“%1”恢复数据库“%2”。"_s.arg(console::shown(source), shown(db));
        if (target != QFileInfo(db).absoluteFilePath())
            o.out << u"“%1”是链接，恢复的是它指向的文件“%2”，链接没有变。"_s.arg(shown(db),
                                                                                 shown(target));
        if (hadDb)
            o.out << u"原来的数据库保存为“%1”%2。"_s.arg(
                shown(before), hadJournal
                                   ? u"（它没有写完的日志保存为“%1-journal”）"_s.arg(shown(before))
                                   : QString());
        // The newest copies are kept, the others go.
        QStringList dropped;
        for (const int n : numberedCopies(before)) {
            if (n < kCopies)
                continue;
            const QString gone = before + u'.' + QString::number(n);
            removeWithJournal(gone);
            dropped << shown(gone);
        }
        if (!dropped.isEmpty()) {
            safefiles::syncDir(dir);
            o.out << u"只保留最近被替换的 %1 个数据库，删除了 %2。"_s.arg(kCopies).arg(
                dropped.join(u"、"_s));
        }
    } catch (const adodb::Error& e) {
        if (linked && exists(target))
            ::unlink(QFile::encodeName(before).constData());
        for (qsizetype i = moved.size() - 2; i >= 0; i -= 2)
            ::rename(QFile::encodeName(moved[i + 1]).constData(),
                     QFile::encodeName(moved[i]).constData());
        removeWithJournal(incoming);
        safefiles::syncDir(dir);
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
        backups::sweep(c.fileName());
        if (file != u"-") {
            safefiles::sweepLeftovers(QFileInfo(file).absolutePath());
            backups::copyChecked(c, file, ctclock::now());
            console::out(u"已备份到：%1"_s.arg(shown(file)));
            return console::Ok;
        }
        QTemporaryDir tmp;
        const QString copy = tmp.path() + u"/"_s + cardmodul::kDbFileName;
        backups::copyChecked(c, copy, ctclock::now());
        QFile in(copy);
        if (!in.open(QIODevice::ReadOnly)) {
            console::err(u"无法读取备份的副本：%1"_s.arg(safefiles::systemError(errno)));
            return console::Failed;
        }
        QByteArray chunk;
        while (!(chunk = in.read(1 << 20)).isEmpty()) {
            if (!writeAll(STDOUT_FILENO, chunk.constData(), chunk.size())) {
                console::err(u"无法把备份写到标准输出：%1"_s.arg(safefiles::systemError(errno)));
                return console::Failed;
            }
        }
        console::err(u"已备份到标准输出。"_s);
        return console::Ok;
    } catch (const adodb::Error& e) {
        return failed(e);
    }
}

int rotating()
{
    adodb::Connection c;
    try {
        c.Open(cardmodul::connectionText());
        const QString file = backups::rotate(c, ctclock::now());
        console::out(
            u"已备份到：%1（保留最新的 %2 个备份）"_s.arg(shown(file)).arg(backups::kKeep));
        return console::Ok;
    } catch (const adodb::Error& e) {
        return failed(e);
    }
}

int restore(const QString& file)
{
    if (file != u"-" && !QFileInfo(file).isFile())
        throw console::UsageError(u"找不到备份文件“%1”。"_s.arg(console::shown(file)));
    if (!QFileInfo(appinfo::exeDir()).isDir())
        throw console::UsageError(u"目录“%1”不存在。"_s.arg(shown(appinfo::exeDir())));
    const QString db = cardmodul::dbFilePath();
    const QString target = safefiles::realFile(db);
    backups::sweep(db);
    // The running program holds a lock on its database file, whatever its environment.
    // Held here until the end: a program that starts meanwhile finds it too.
    ct::DatabaseLock lock;
    ct::SingleInstance instance;
    switch (lock.hold(target)) {
    case ct::DatabaseLock::State::Busy:
        console::err(
            u"澄桐工作管理正在运行（它打开着数据库“%1”），不能恢复数据库。请先结束程序"
            "（例如 pkill -x ctwork，程序会正常退出），再运行 ctdb restore。数据库没有改动。"_s.arg(
                shown(db)));
        return console::Failed;
    case ct::DatabaseLock::State::Failed:
        // A file system without locks: the program is looked for as a second start would.
        switch (instance.claim()) {
        case ct::SingleInstance::Claim::Raised:
            console::err(u"澄桐工作管理正在运行，不能恢复数据库。请先结束程序，再运行 ctdb "
                         "restore。数据库没有改动。"_s);
            return console::Failed;
        case ct::SingleInstance::Claim::Unchecked:
            console::err(u"无法确认澄桐工作管理没有在运行（%1；%2），为安全起见没有恢复。"
                         "数据库没有改动。"_s.arg(lock.problem(), instance.problem()));
            return console::Failed;
        case ct::SingleInstance::Claim::First:
            break;
        }
        break;
    case ct::DatabaseLock::State::Held:
    case ct::DatabaseLock::State::Missing:
        break;
    }
    // Run while the main thread answers a program that asks the single-instance socket.
    auto work = std::async(std::launch::async,
                           [file, db, target] { return restoreSteps(file, db, target); });
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
