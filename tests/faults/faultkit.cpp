#include "tests/faults/faultkit.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>

#include <cerrno>
#include <cstring>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace faults {

QByteArray digest(const QString& file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return "absent";
    QCryptographicHash h(QCryptographicHash::Sha256);
    h.addData(&f);
    return h.result().toHex();
}

QStringList filesIn(const QString& dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

Run run(const QString& program, const QStringList& args, int timeoutMs, const QStringList& env)
{
    Options o;
    o.env = env;
    o.timeoutMs = timeoutMs;
    return run(program, args, o);
}

Run run(const QString& program, const QStringList& args, const Options& o)
{
    QProcess p;
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    QTemporaryDir logDir;
    const QString log = logDir.path() + u"/ops"_s;
    QStringList env = o.env;
    if (o.shim) {
        env << u"LD_PRELOAD="_s + QStringLiteral(CT_FSSHIM) << u"CT_FSSHIM_DIR="_s + o.shim->dir
            << u"CT_FSSHIM_LOG="_s + log << u"CT_FSSHIM_OPS="_s + o.shim->ops.join(u',')
            << u"CT_FSSHIM_KILL="_s + QString::number(o.shim->killAt);
    }
    // An instrumented build: a preloaded library (the shim, libfaketime) may come before the
    // sanitizers' runtime.
    const QString asan = e.value(u"ASAN_OPTIONS"_s);
    e.insert(u"ASAN_OPTIONS"_s,
             (asan.isEmpty() ? QString() : asan + u':') + u"verify_asan_link_order=0"_s);
    for (const QString& kv : std::as_const(env)) {
        const qsizetype eq = kv.indexOf(u'=');
        if (eq < 0)
            e.remove(kv);
        else
            e.insert(kv.left(eq), kv.mid(eq + 1));
    }
    p.setProcessEnvironment(e);
    const int mask = o.umask;
    const rlim_t limit = kAddressSanitizer ? 0 : rlim_t(o.memoryLimit);
    p.setChildProcessModifier([mask, limit] {
        if (mask >= 0)
            ::umask(mode_t(mask));
        if (limit > 0) {
            const struct rlimit rl = {limit, limit};
            ::setrlimit(RLIMIT_AS, &rl);
        }
    });
    p.start(program, args);
    Run r;
    if (!p.waitForStarted(o.timeoutMs)) {
        r.err = p.errorString();
        return r;
    }
    if (!o.input.isEmpty())
        p.write(o.input);
    p.closeWriteChannel();
    r.finished = p.waitForFinished(o.timeoutMs);
    if (!r.finished) {
        p.kill();
        p.waitForFinished(5000);
    }
    r.killed = p.exitStatus() == QProcess::CrashExit;
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    QFile ops(log);
    if (ops.open(QIODevice::ReadOnly))
        r.ops = QString::fromUtf8(ops.readAll()).split(u'\n', Qt::SkipEmptyParts);
    return r;
}

QString ctdbProgram()
{
    return QStringLiteral(CT_CTDB);
}

int modeOf(const QString& path)
{
    struct stat st = {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return -1;
    return int(st.st_mode & 07777);
}

Run ctdbCheck(const QString& dir)
{
    return run(QStringLiteral(CT_CTDB), {u"check"_s, dir});
}

QString childProgram()
{
    return QStringLiteral(CT_FAULTCHILD);
}

QString ctworkProgram()
{
    return QStringLiteral(CT_CTWORK);
}

bool overwrite(const QString& file, qint64 offset, qint64 n, char byte)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadWrite) || !f.seek(offset))
        return false;
    return f.write(QByteArray(n, byte)) == n;
}

bool isRoot()
{
    return ::geteuid() == 0;
}

std::unique_ptr<QTemporaryDir> reachableDir()
{
    auto d = std::make_unique<QTemporaryDir>(u"/tmp/ctfaults-XXXXXX"_s);
    if (d->isValid())
        ::chmod(QFile::encodeName(d->path()).constData(), 0755);
    return d;
}

QStringList asUnprivileged(const QStringList& command)
{
    if (!isRoot())
        return command;
    const QString id = QString::number(kNobody);
    return QStringList{u"setpriv"_s, u"--reuid="_s + id, u"--regid="_s + id, u"--clear-groups"_s,
                       u"--"_s} +
           command;
}

QString copyProgram(const QString& program, const QString& dir)
{
    const QString to = dir + u"/"_s + QFileInfo(program).fileName();
    QFile::remove(to);
    if (!QFile::copy(program, to))
        return {};
    ::chmod(QFile::encodeName(to).constData(), 0755);
    return to;
}

bool chownTo(const QString& path, unsigned uid)
{
    return ::chown(QFile::encodeName(path).constData(), uid, uid) == 0;
}

LockHolder::LockHolder(const QString& file, Kind kind)
{
    m_p.start(childProgram(),
              {u"hold"_s, file, kind == Kind::Exclusive ? u"exclusive"_s : u"shared"_s});
    if (!m_p.waitForStarted(10000)) {
        m_problem = m_p.errorString();
        return;
    }
    while (!m_p.canReadLine()) {
        if (!m_p.waitForReadyRead(20000))
            break;
    }
    const QByteArray line = m_p.readLine().trimmed();
    m_holding = line == "holding";
    if (!m_holding)
        m_problem = QString::fromUtf8(line + m_p.readAllStandardError());
}

LockHolder::~LockHolder()
{
    release();
}

void LockHolder::release()
{
    if (m_p.state() == QProcess::NotRunning)
        return;
    m_p.closeWriteChannel(); // end of its input: it lets go and ends
    if (!m_p.waitForFinished(10000)) {
        m_p.kill();
        m_p.waitForFinished(5000);
    }
    m_holding = false;
}

Tmpfs::Tmpfs(qint64 bytes)
{
    if (!m_dir.isValid()) {
        m_why = u"no temporary directory"_s;
        return;
    }
    if (!isRoot()) {
        m_why = u"mounting a tmpfs needs root; the tests run as uid %1"_s.arg(::geteuid());
        return;
    }
    QDir().mkpath(path());
    const QByteArray opts = "size=" + QByteArray::number(bytes) + ",mode=0755";
    if (::mount("tmpfs", QFile::encodeName(path()).constData(), "tmpfs", 0, opts.constData()) !=
        0) {
        m_why = u"mount -t tmpfs failed: %1"_s.arg(QString::fromLocal8Bit(std::strerror(errno)));
        return;
    }
    m_mounted = true;
}

Tmpfs::~Tmpfs()
{
    if (m_mounted)
        ::umount2(QFile::encodeName(path()).constData(), MNT_DETACH);
}

bool Tmpfs::fill(qint64 spare)
{
    struct statvfs st = {};
    if (::statvfs(QFile::encodeName(path()).constData(), &st) != 0)
        return false;
    const qint64 unit = qint64(st.f_frsize);
    const qint64 free = qint64(st.f_bavail) * unit;
    const qint64 want = (free - spare) / unit * unit;
    QFile f(path() + u"/filler"_s);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    const QByteArray block(int(unit), 'f');
    for (qint64 done = 0; done < want; done += unit)
        if (f.write(block) != unit || !f.flush())
            break;
    f.close();
    if (::statvfs(QFile::encodeName(path()).constData(), &st) != 0)
        return false;
    return qint64(st.f_bavail) * unit <= spare + unit;
}

void Tmpfs::unfill()
{
    QFile::remove(path() + u"/filler"_s);
}

} // namespace faults
