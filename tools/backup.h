#pragma once
// ctdb backup and restore: checked copies of the database file, and putting one back.

#include <QString>

namespace backup {

// A checked copy of the database at `file` (never replacing one; "-" writes it to
// standard output).
int toFile(const QString& file);
// A rotating backup in backups/ beside the database; the newest backups::kKeep are kept.
int rotating();
// Puts a backup in place of the database: refused while the program runs; the backup is
// checked first; the replaced file (and a journal left beside it) is kept as
// ctsource.mdb.before-restore.
int restore(const QString& file);

} // namespace backup
