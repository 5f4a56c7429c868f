#pragma once
// The check of the database file once after start-up: it is read through on a connection
// of its own, on another thread, so the main window does not wait for it. Damage inside
// a file that still opens (a page near its end overwritten) is told once, clearly.

#include <QString>

#include <atomic>
#include <optional>

namespace adodb {
class Connection;
}

namespace cardmodul {

// Reads the whole file; the problems found, or nothing when it is sound or could not be
// read through for another reason (a lock, an interruption). `current` holds the
// connection while it reads, so that another thread may interrupt it.
std::optional<QString> damageOf(const QString& connectionText,
                                std::atomic<adodb::Connection*>& current);

// The box that tells of the damage (shown through the message-box seam).
void tellDamage(const QString& file, const QString& problems);

} // namespace cardmodul
