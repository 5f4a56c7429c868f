#pragma once
// ctdb sync: setup, one two-way sync, status and forget.

#include <QStringList>

namespace synccmd {

// The arguments after "sync"; returns the exit code (usage errors are thrown as
// console::UsageError).
int run(const QStringList& arguments);

} // namespace synccmd
