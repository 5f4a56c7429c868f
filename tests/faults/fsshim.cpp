// A library the fault suite preloads into ctdb and ctwork (LD_PRELOAD): it writes every
// file operation on a chosen directory to a log, and kills its own process just before
// the n-th one, so that a test sees the order of a command's renames and links and stops
// it between any two of them at a moment the process itself gives.
//   CT_FSSHIM_DIR=/abs/dir     only paths below it count (needed)
//   CT_FSSHIM_LOG=/abs/file    one line per operation: "link A B", "rename A B",
//                              "unlink A", "create A", "write A", "fsync A"
//   CT_FSSHIM_OPS=a,b          the operations that count (default: all but write)
//   CT_FSSHIM_KILL=n           SIGKILL before the n-th counted operation (logged as
//                              "kill OP ...")

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <unistd.h>

namespace {

std::atomic<long> g_count{0};

const char* env(const char* name)
{
    const char* v = std::getenv(name);
    return v && *v ? v : nullptr;
}

bool below(const char* path)
{
    const char* dir = env("CT_FSSHIM_DIR");
    if (!dir || !path)
        return false;
    const std::size_t n = std::strlen(dir);
    return std::strncmp(path, dir, n) == 0 && (path[n] == '/' || path[n] == '\0');
}

bool counts(const char* op)
{
    const char* ops = env("CT_FSSHIM_OPS");
    if (!ops)
        return std::strcmp(op, "write") != 0;
    const std::size_t n = std::strlen(op);
    for (const char* p = ops; *p;) {
        const char* end = std::strchr(p, ',');
        const std::size_t len = end ? std::size_t(end - p) : std::strlen(p);
        if (len == n && std::strncmp(p, op, n) == 0)
            return true;
        if (!end)
            break;
        p = end + 1;
    }
    return false;
}

// The path of an open descriptor, or nothing.
bool pathOf(int fd, char* out, std::size_t size)
{
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = ::readlink(link, out, size - 1);
    if (n <= 0)
        return false;
    out[n] = '\0';
    return true;
}

// Logs an operation on paths below the directory and kills the process before the n-th.
void seen(const char* op, const char* a, const char* b = nullptr)
{
    if (!below(a) && !below(b))
        return;
    if (!counts(op))
        return;
    const int saved = errno;
    const long n = ++g_count;
    const char* kill = env("CT_FSSHIM_KILL");
    const bool killing = kill && std::atol(kill) == n;
    if (const char* log = env("CT_FSSHIM_LOG")) {
        // The operation it is killed before is logged as "kill OP ...": it did not happen.
        const char* mark = killing ? "kill " : "";
        char line[8300];
        const int len = b ? std::snprintf(line, sizeof line, "%s%s %s %s\n", mark, op, a, b)
                          : std::snprintf(line, sizeof line, "%s%s %s\n", mark, op, a);
        const int fd =
            ::syscall(SYS_openat, AT_FDCWD, log, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
        if (fd >= 0 && len > 0) {
            [[maybe_unused]] const ssize_t w = ::syscall(SYS_write, fd, line, std::size_t(len));
            ::syscall(SYS_close, fd);
        }
    }
    if (killing)
        ::kill(::getpid(), SIGKILL);
    errno = saved;
}

void seenFd(const char* op, int fd)
{
    char path[4096];
    if (env("CT_FSSHIM_DIR") && pathOf(fd, path, sizeof path))
        seen(op, path);
}

template <typename F> F real(const char* name)
{
    return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

} // namespace

extern "C" {

int link(const char* from, const char* to)
{
    seen("link", from, to);
    static const auto f = real<int (*)(const char*, const char*)>("link");
    return f(from, to);
}

int linkat(int fd1, const char* from, int fd2, const char* to, int flags)
{
    seen("link", from, to);
    static const auto f = real<int (*)(int, const char*, int, const char*, int)>("linkat");
    return f(fd1, from, fd2, to, flags);
}

int rename(const char* from, const char* to)
{
    seen("rename", from, to);
    static const auto f = real<int (*)(const char*, const char*)>("rename");
    return f(from, to);
}

int renameat(int fd1, const char* from, int fd2, const char* to)
{
    seen("rename", from, to);
    static const auto f = real<int (*)(int, const char*, int, const char*)>("renameat");
    return f(fd1, from, fd2, to);
}

int renameat2(int fd1, const char* from, int fd2, const char* to, unsigned flags)
{
    seen("rename", from, to);
    static const auto f = real<int (*)(int, const char*, int, const char*, unsigned)>("renameat2");
    return f(fd1, from, fd2, to, flags);
}

int unlink(const char* path)
{
    seen("unlink", path);
    static const auto f = real<int (*)(const char*)>("unlink");
    return f(path);
}

int unlinkat(int fd, const char* path, int flags)
{
    seen("unlink", path);
    static const auto f = real<int (*)(int, const char*, int)>("unlinkat");
    return f(fd, path, flags);
}

int open(const char* path, int flags, ...)
{
    mode_t mode = 0;
    if (flags & (O_CREAT | O_TMPFILE)) {
        va_list ap;
        va_start(ap, flags);
        mode = mode_t(va_arg(ap, int));
        va_end(ap);
    }
    if ((flags & O_CREAT) && ::access(path, F_OK) != 0)
        seen("create", path);
    static const auto f = real<int (*)(const char*, int, ...)>("open");
    return f(path, flags, mode);
}

int open64(const char* path, int flags, ...)
{
    mode_t mode = 0;
    if (flags & (O_CREAT | O_TMPFILE)) {
        va_list ap;
        va_start(ap, flags);
        mode = mode_t(va_arg(ap, int));
        va_end(ap);
    }
    if ((flags & O_CREAT) && ::access(path, F_OK) != 0)
        seen("create", path);
    static const auto f = real<int (*)(const char*, int, ...)>("open64");
    return f(path, flags, mode);
}

int openat(int dirfd, const char* path, int flags, ...)
{
    mode_t mode = 0;
    if (flags & (O_CREAT | O_TMPFILE)) {
        va_list ap;
        va_start(ap, flags);
        mode = mode_t(va_arg(ap, int));
        va_end(ap);
    }
    if ((flags & O_CREAT) && path[0] == '/' && ::access(path, F_OK) != 0)
        seen("create", path);
    static const auto f = real<int (*)(int, const char*, int, ...)>("openat");
    return f(dirfd, path, flags, mode);
}

ssize_t pwrite(int fd, const void* buf, size_t n, off_t at)
{
    seenFd("write", fd);
    static const auto f = real<ssize_t (*)(int, const void*, size_t, off_t)>("pwrite");
    return f(fd, buf, n, at);
}

ssize_t pwrite64(int fd, const void* buf, size_t n, off64_t at)
{
    seenFd("write", fd);
    static const auto f = real<ssize_t (*)(int, const void*, size_t, off64_t)>("pwrite64");
    return f(fd, buf, n, at);
}

ssize_t write(int fd, const void* buf, size_t n)
{
    if (fd > 2)
        seenFd("write", fd);
    static const auto f = real<ssize_t (*)(int, const void*, size_t)>("write");
    return f(fd, buf, n);
}

int fsync(int fd)
{
    seenFd("fsync", fd);
    static const auto f = real<int (*)(int)>("fsync");
    return f(fd);
}

int fdatasync(int fd)
{
    seenFd("fsync", fd);
    static const auto f = real<int (*)(int)>("fdatasync");
    return f(fd);
}

} // extern "C"
