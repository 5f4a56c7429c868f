#pragma once
// The checks of a database file. The integrity check is one rule for every caller (ctdb
// check, a backup's check, the check after start-up). After start-up the file is read
// through on a connection of its own, on another thread, so the main window does not wait
// for it; damage inside a file that still opens (a page near its end overwritten) is told
// once, clearly (widgets/modulboxes.h).

#include <QString>
#include <QStringList>

#include <atomic>
#include <optional>

namespace adodb {
class Connection;
}

namespace cardmodul {

// How deep the check reads: the full check (every index against its table) or the quick
// one (every page, which is what start-up can afford).
enum class Depth { Full, Quick };

// The problems an integrity check of an open file finds; empty when it is sound. A check
// that ends with an error (a page that cannot be read) has found a problem: the quick
// check then still lists what it finds, and the error itself is a problem of the file.
// A check stopped by another program's lock or by an interruption is thrown.
QStringList integrityProblems(adodb::Connection& c, Depth depth = Depth::Full);

// True for the engine's result codes that mean a damaged file or not a database at all.
bool isDamage(int code);

// Reads the whole file; the problems found, or nothing when it is sound or could not be
// read through for another reason (a lock, an interruption). `current` holds the
// connection while it reads, so that another thread may interrupt it.
std::optional<QString> damageOf(const QString& connectionText,
                                std::atomic<adodb::Connection*>& current);

} // namespace cardmodul
