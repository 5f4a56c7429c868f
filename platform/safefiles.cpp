#include "platform/safefiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace safefiles {

namespace {

QByteArray native(const QString& path)
{
    return QFile::encodeName(path);
}

// Whether the process of that number still runs (one of another user's counts).
bool running(qint64 pid)
{
    if (pid <= 0 || pid > 0x7fffffff)
        return false;
    if (pid == qint64(::getpid()))
        return true;
    return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
}

} // namespace

int createPrivate(const QString& file)
{
    const int fd = ::open(native(file).constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return -1;
    // The umask may have taken the owner's bits too (umask 0277): set exactly.
    if (::fchmod(fd, 0600) != 0) {
        const int e = errno;
        ::close(fd);
        ::unlink(native(file).constData());
        errno = e;
        return -1;
    }
    return fd;
}

bool createPrivate(QFile& f, const QString& file)
{
    const int fd = createPrivate(file);
    if (fd < 0)
        return false;
    f.setFileName(file);
    if (!f.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        ::unlink(native(file).constData());
        errno = EIO;
        return false;
    }
    return true;
}

bool makePrivateDirs(const QString& dir)
{
    const QString clean = QDir::cleanPath(QFileInfo(dir).absoluteFilePath());
    if (QFileInfo(clean).isDir())
        return true;
    const QString parent = QFileInfo(clean).path();
    if (parent != clean && !makePrivateDirs(parent))
        return false;
    if (::mkdir(native(clean).constData(), 0700) != 0) {
        if (errno == EEXIST && QFileInfo(clean).isDir())
            return true; // made meanwhile by another process
        return false;
    }
    return ::chmod(native(clean).constData(), 0700) == 0 || errno == EPERM;
}

QString tempBeside(const QString& file, QStringView kind)
{
    const QFileInfo fi(file);
    return fi.absolutePath() + u"/."_s + fi.fileName() + u".ct-"_s + kind + u'-' +
           QString::number(::getpid());
}

QStringList sweepLeftovers(const QString& dir)
{
    // Ours: .NAME.ct-KIND-PID; and the names earlier versions gave them.
    static const QRegularExpression ours(u"^\\..+\\.ct-[a-z]+-(\\d+)(-journal)?$"_s);
    static const QRegularExpression restoring(u"^\\.ctsource\\.mdb\\.restoring-(\\d+)$"_s);
    static const QRegularExpression partial(
        u"^\\..+\\.mdb\\.partial(?:\\.tmp-(\\d+))?(-journal)?$"_s);
    QStringList removed;
    const QStringList names =
        QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks);
    for (const QString& name : names) {
        if (!name.startsWith(u'.'))
            continue;
        QRegularExpressionMatch m = ours.match(name);
        if (!m.hasMatch())
            m = restoring.match(name);
        if (!m.hasMatch())
            m = partial.match(name);
        if (!m.hasMatch())
            continue;
        // A name without a number is an earlier version's: nothing makes it any longer.
        if (!m.captured(1).isEmpty() && running(m.captured(1).toLongLong()))
            continue;
        const QString path = dir + u'/' + name;
        struct stat st = {};
        if (::lstat(native(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        if (::unlink(native(path).constData()) == 0)
            removed << name;
    }
    if (!removed.isEmpty())
        syncDir(dir);
    return removed;
}

QString realFile(const QString& path)
{
    QString p = QFileInfo(path).absoluteFilePath();
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st = {};
        if (::lstat(native(p).constData(), &st) != 0 || !S_ISLNK(st.st_mode))
            return QDir::cleanPath(p);
        char target[4096];
        const ssize_t n = ::readlink(native(p).constData(), target, sizeof target - 1);
        if (n <= 0)
            return QDir::cleanPath(p);
        const QString t = QFile::decodeName(QByteArray(target, n));
        p = QDir::isAbsolutePath(t) ? t : QFileInfo(p).absolutePath() + u'/' + t;
    }
    return QDir::cleanPath(p);
}

QString systemError(int err)
{
    QString what;
    switch (err) {
    case EEXIST:
        what = u"文件已经存在"_s;
        break;
    case ENOENT:
        what = u"文件或目录不存在"_s;
        break;
    case EACCES:
    case EPERM:
        what = u"没有权限"_s;
        break;
    case ENOSPC:
        what = u"磁盘已满"_s;
        break;
    case EDQUOT:
        what = u"超出了磁盘配额"_s;
        break;
    case EROFS:
        what = u"文件系统只能读取"_s;
        break;
    case EISDIR:
        what = u"这是一个目录"_s;
        break;
    case ENOTDIR:
        what = u"路径中有一部分不是目录"_s;
        break;
    case ELOOP:
        what = u"符号链接太多或形成了循环"_s;
        break;
    case ENAMETOOLONG:
        what = u"文件名太长"_s;
        break;
    case EXDEV:
        what = u"不在同一个文件系统上"_s;
        break;
    case EIO:
        what = u"读写出错（磁盘或设备故障）"_s;
        break;
    case EFBIG:
        what = u"文件太大"_s;
        break;
    case EBUSY:
    case ETXTBSY:
        what = u"文件正被使用"_s;
        break;
    case EMLINK:
        what = u"链接太多"_s;
        break;
    case ENOLCK:
    case EOPNOTSUPP:
        what = u"文件系统不支持这个操作"_s;
        break;
    case ENOMEM:
        what = u"内存不足"_s;
        break;
    default:
        what = u"系统操作失败"_s;
        break;
    }
    return what + u"（"_s + QString::fromLocal8Bit(std::strerror(err)) + u"）"_s;
}

void syncDir(const QString& dir)
{
    const int fd = ::open(native(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace safefiles
