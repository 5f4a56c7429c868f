#pragma once
// The files around the database. The key is inside the program, so the mode is the only
// protection: files that hold the user's data are made 0600 and the directories made for
// them 0700, whatever the umask. Temporary files carry the number of the process that
// writes them, so that what a killed process left behind is found and removed. Failures
// of the system are told in Chinese, its own words in brackets.

#include <QString>
#include <QStringList>
#include <QStringView>

class QFile;

namespace safefiles {

// Creates a new file only its owner may read and write (0600 whatever the umask) and
// opens it for writing; fails when the name is taken, also by a symbolic link. The
// descriptor, or -1 with errno set.
int createPrivate(const QString& file);
// The same, opened into `f` (write only); false with errno set.
bool createPrivate(QFile& f, const QString& file);

// Makes a directory and the missing ones above it, each made 0700; directories that
// exist are left as they are. False with errno set when it cannot be had.
bool makePrivateDirs(const QString& dir);

// The name of a temporary file of this process beside `file`: ".NAME.ct-KIND-PID".
QString tempBeside(const QString& file, QStringView kind);
// Removes from `dir` the temporary files that processes no longer running left there
// (with the journals the engine made beside them). Returns the names removed.
QStringList sweepLeftovers(const QString& dir);

// The file a path names once every symbolic link is followed, also when the last link
// points to a file that does not exist (yet); the path itself when it is no link.
QString realFile(const QString& path);

// A failure of the system (an errno value) as the user reads it: what happened, in
// Chinese, with the system's own text after it in brackets.
QString systemError(int err);

// Makes the entries of a directory (a rename, a new or removed file) durable.
void syncDir(const QString& dir);

} // namespace safefiles
