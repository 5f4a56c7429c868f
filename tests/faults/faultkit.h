#pragma once
// Tools of the fault suite: digests of files, the integrity check as ctdb runs it, damage
// to pages, another process that holds the database file's lock, commands run as an
// unprivileged user, and a small tmpfs for a full disk.

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <optional>

namespace faults {

// The cipher page of the files ctdb init makes.
inline constexpr qint64 kPage = 4096;
// The unprivileged user the tests run commands as when they run as root.
inline constexpr unsigned kNobody = 65534;

// SHA-256 of a file's bytes, or "absent".
QByteArray digest(const QString& file);
// Names of the files in a directory (a journal left beside the database shows here).
QStringList filesIn(const QString& dir);

struct Run {
    bool finished = false; // false: it was killed when the time was up
    bool killed = false;   // it ended by a signal (the shim's SIGKILL)
    int code = -1;
    QString out;
    QString err;
    QStringList ops; // what the shim saw, one operation a line ("rename A B")
};
// Runs a program to its end (killed after timeoutMs) with extra environment entries
// ("NAME=value" sets, "NAME" removes).
Run run(const QString& program, const QStringList& args, int timeoutMs = 60000,
        const QStringList& env = {});

// The file-operation shim preloaded into the program run (tests/faults/fsshim.cpp).
struct Shim {
    QString dir;     // operations on paths below it count
    QStringList ops; // the kinds that count: link, rename, unlink, create, write, fsync
                     // (none named: all but write)
    int killAt = 0;  // SIGKILL just before the n-th counted operation; 0: never
};
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kAddressSanitizer = true;
#else
inline constexpr bool kAddressSanitizer = false;
#endif

struct Options {
    QStringList env;
    int umask = -1; // the child's umask; -1: this process's
    // the child's address space (RLIMIT_AS) in bytes; 0: none. Not set in an AddressSanitizer
    // build, whose shadow memory needs terabytes of address space.
    qint64 memoryLimit = 0;
    std::optional<Shim> shim;
    QByteArray input; // written to its standard input, which is then closed
    int timeoutMs = 60000;
};
Run run(const QString& program, const QStringList& args, const Options& options);
QString ctdbProgram();
// The mode bits of a file (not following a last symbolic link), or -1.
int modeOf(const QString& path);
// `ctdb check DIR`: opens the file as the program does and runs the integrity check.
Run ctdbCheck(const QString& dir);
// The helper program of the suite (lock holder, writer, opener).
QString childProgram();
QString ctworkProgram();

// Writes n copies of a byte at an offset (the file keeps its size unless it grows).
bool overwrite(const QString& file, qint64 offset, qint64 n, char byte);

bool isRoot();
// A directory under /tmp that the unprivileged user may enter (0755): what it runs must
// lie where it can reach it.
std::unique_ptr<QTemporaryDir> reachableDir();
// The command, run as the unprivileged user when the tests run as root; as it is
// otherwise (permissions bind an ordinary user already).
QStringList asUnprivileged(const QStringList& command);
// Copies a program into dir (for the unprivileged user, who may not reach the build).
QString copyProgram(const QString& program, const QString& dir);
bool chownTo(const QString& path, unsigned uid);

// Another process that holds the database file's lock until released: Exclusive as a
// program that writes, Shared as one that reads it (a backup) does.
class LockHolder {
public:
    enum class Kind { Exclusive, Shared };
    LockHolder(const QString& file, Kind kind);
    ~LockHolder();
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;
    bool holding() const { return m_holding; }
    QString problem() const { return m_problem; }
    void release();

private:
    QProcess m_p;
    bool m_holding = false;
    QString m_problem;
};

// A tmpfs of the given size mounted on a new directory, unmounted when it ends.
class Tmpfs {
public:
    explicit Tmpfs(qint64 bytes);
    ~Tmpfs();
    Tmpfs(const Tmpfs&) = delete;
    Tmpfs& operator=(const Tmpfs&) = delete;
    bool mounted() const { return m_mounted; }
    QString why() const { return m_why; } // why it could not be mounted
    QString path() const { return m_dir.path() + QStringLiteral("/mnt"); }
    // Fills the free space but `spare` bytes with a file; false when it could not.
    bool fill(qint64 spare);
    void unfill();

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
    QString m_why;
};

} // namespace faults
