#pragma once
// An SQLite VFS of the tests that wraps the default one and fails one chosen call: the
// n-th write or the n-th sync from the moment it is armed. Installed as the default VFS,
// so the database layer opens through it unchanged.

namespace faultvfs {

enum class Op { Write, Sync };

// Registers the wrapper and makes it the default (once; later calls only make it the
// default again).
void install();
// Makes the wrapped VFS the default again: connections opened from now on go past the
// wrapper. Connections already open keep it, passing every call through.
void uninstall();

// From now on the n-th call of op fails (n >= 1); the counts start again at zero.
void failNth(Op op, int n);
void disarm();
// Calls of op since the last failNth.
int calls(Op op);
// Whether the armed failure has happened.
bool failed();

} // namespace faultvfs
