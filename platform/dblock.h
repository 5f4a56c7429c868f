#pragma once
// The lock of a database file that the running program holds for its whole run: a
// kernel lock on the file itself (through symbolic links), so that ctdb restore and a
// second program on the same file find it whatever their environment (no runtime
// directory, another TMPDIR, cron, su). It goes with its process: a killed program
// leaves nothing that counts.

#include <QString>

namespace ct {

class DatabaseLock {
public:
    enum class State {
        Held,    // this process holds it
        Busy,    // another process holds it
        Missing, // there is no such file: nothing to hold
        Failed,  // the file cannot be opened or the file system has no locks (problem())
    };

    DatabaseLock() = default;
    ~DatabaseLock();
    DatabaseLock(const DatabaseLock&) = delete;
    DatabaseLock& operator=(const DatabaseLock&) = delete;

    // Takes the lock of the file without waiting. Holding the lock of another file, it
    // lets that go first; holding this one, it keeps it.
    State hold(const QString& file);
    void release();
    bool held() const { return m_fd >= 0; }
    // The file held, as it was named.
    QString file() const { return m_file; }
    // Why the last hold() failed.
    QString problem() const { return m_problem; }

private:
    int m_fd = -1;
    QString m_file;
    QString m_problem;
};

} // namespace ct
