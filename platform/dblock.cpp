#include "platform/dblock.h"

#include "platform/safefiles.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace ct {

DatabaseLock::~DatabaseLock()
{
    release();
}

void DatabaseLock::release()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_file.clear();
}

DatabaseLock::State DatabaseLock::hold(const QString& file)
{
    m_problem.clear();
    const QByteArray name = QFile::encodeName(file);
    if (m_fd >= 0) {
        struct stat held = {};
        struct stat named = {};
        if (::fstat(m_fd, &held) == 0 && ::stat(name.constData(), &named) == 0 &&
            held.st_dev == named.st_dev && held.st_ino == named.st_ino)
            return State::Held;
        release();
    }
    // The lock is flock(2)'s: apart from the engine's own fcntl locks on the same file,
    // and never let go by another descriptor of the file being closed.
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        if (errno == ENOENT)
            return State::Missing;
        m_problem = safefiles::systemError(errno);
        return State::Failed;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int e = errno;
        ::close(fd);
        if (e == EWOULDBLOCK)
            return State::Busy;
        m_problem = safefiles::systemError(e);
        return State::Failed;
    }
    m_fd = fd;
    m_file = file;
    return State::Held;
}

} // namespace ct
