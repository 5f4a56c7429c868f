#include "tests/faults/faultvfs.h"

#define SQLITE_HAS_CODEC 1
#include <sqlcipher/sqlite3.h>

#include <atomic>
#include <cstring>

namespace faultvfs {

namespace {

sqlite3_vfs* g_real = nullptr;
sqlite3_vfs g_vfs;
std::atomic<int> g_writes = 0;
std::atomic<int> g_syncs = 0;
std::atomic<int> g_failAt = 0;
std::atomic<Op> g_op = Op::Write;
std::atomic<bool> g_failed = false;

// Our file: the method table first, then the wrapped file's own storage.
struct File {
    sqlite3_file base;
    sqlite3_file* real() { return reinterpret_cast<sqlite3_file*>(this + 1); }
};

File* self(sqlite3_file* f)
{
    return reinterpret_cast<File*>(f);
}

// True when this call is the one to fail.
bool strike(Op op)
{
    const int n = op == Op::Write ? ++g_writes : ++g_syncs;
    if (g_failAt > 0 && g_op == op && n == g_failAt) {
        g_failed = true;
        return true;
    }
    return false;
}

int xClose(sqlite3_file* f)
{
    return self(f)->real()->pMethods->xClose(self(f)->real());
}
int xRead(sqlite3_file* f, void* p, int n, sqlite3_int64 off)
{
    return self(f)->real()->pMethods->xRead(self(f)->real(), p, n, off);
}
int xWrite(sqlite3_file* f, const void* p, int n, sqlite3_int64 off)
{
    if (strike(Op::Write))
        return SQLITE_IOERR_WRITE;
    return self(f)->real()->pMethods->xWrite(self(f)->real(), p, n, off);
}
int xTruncate(sqlite3_file* f, sqlite3_int64 size)
{
    return self(f)->real()->pMethods->xTruncate(self(f)->real(), size);
}
int xSync(sqlite3_file* f, int flags)
{
    if (strike(Op::Sync))
        return SQLITE_IOERR_FSYNC;
    return self(f)->real()->pMethods->xSync(self(f)->real(), flags);
}
int xFileSize(sqlite3_file* f, sqlite3_int64* size)
{
    return self(f)->real()->pMethods->xFileSize(self(f)->real(), size);
}
int xLock(sqlite3_file* f, int lock)
{
    return self(f)->real()->pMethods->xLock(self(f)->real(), lock);
}
int xUnlock(sqlite3_file* f, int lock)
{
    return self(f)->real()->pMethods->xUnlock(self(f)->real(), lock);
}
int xCheckReservedLock(sqlite3_file* f, int* out)
{
    return self(f)->real()->pMethods->xCheckReservedLock(self(f)->real(), out);
}
int xFileControl(sqlite3_file* f, int op, void* arg)
{
    return self(f)->real()->pMethods->xFileControl(self(f)->real(), op, arg);
}
int xSectorSize(sqlite3_file* f)
{
    return self(f)->real()->pMethods->xSectorSize(self(f)->real());
}
int xDeviceCharacteristics(sqlite3_file* f)
{
    return self(f)->real()->pMethods->xDeviceCharacteristics(self(f)->real());
}
int xShmMap(sqlite3_file* f, int page, int size, int extend, void volatile** p)
{
    return self(f)->real()->pMethods->xShmMap(self(f)->real(), page, size, extend, p);
}
int xShmLock(sqlite3_file* f, int offset, int n, int flags)
{
    return self(f)->real()->pMethods->xShmLock(self(f)->real(), offset, n, flags);
}
void xShmBarrier(sqlite3_file* f)
{
    self(f)->real()->pMethods->xShmBarrier(self(f)->real());
}
int xShmUnmap(sqlite3_file* f, int deleteFlag)
{
    return self(f)->real()->pMethods->xShmUnmap(self(f)->real(), deleteFlag);
}
int xFetch(sqlite3_file* f, sqlite3_int64 off, int n, void** p)
{
    return self(f)->real()->pMethods->xFetch(self(f)->real(), off, n, p);
}
int xUnfetch(sqlite3_file* f, sqlite3_int64 off, void* p)
{
    return self(f)->real()->pMethods->xUnfetch(self(f)->real(), off, p);
}

const sqlite3_io_methods kMethods = {3,
                                     xClose,
                                     xRead,
                                     xWrite,
                                     xTruncate,
                                     xSync,
                                     xFileSize,
                                     xLock,
                                     xUnlock,
                                     xCheckReservedLock,
                                     xFileControl,
                                     xSectorSize,
                                     xDeviceCharacteristics,
                                     xShmMap,
                                     xShmLock,
                                     xShmBarrier,
                                     xShmUnmap,
                                     xFetch,
                                     xUnfetch};

int xOpen(sqlite3_vfs*, const char* name, sqlite3_file* f, int flags, int* outFlags)
{
    File* file = self(f);
    const int rc = g_real->xOpen(g_real, name, file->real(), flags, outFlags);
    // A file the wrapped VFS did not open has no methods: SQLite calls nothing on it.
    file->base.pMethods = file->real()->pMethods ? &kMethods : nullptr;
    return rc;
}

int xDelete(sqlite3_vfs*, const char* name, int syncDir)
{
    return g_real->xDelete(g_real, name, syncDir);
}
int xAccess(sqlite3_vfs*, const char* name, int flags, int* out)
{
    return g_real->xAccess(g_real, name, flags, out);
}
int xFullPathname(sqlite3_vfs*, const char* name, int n, char* out)
{
    return g_real->xFullPathname(g_real, name, n, out);
}
void* xDlOpen(sqlite3_vfs*, const char* name)
{
    return g_real->xDlOpen(g_real, name);
}
void xDlError(sqlite3_vfs*, int n, char* out)
{
    g_real->xDlError(g_real, n, out);
}
void (*xDlSym(sqlite3_vfs*, void* h, const char* sym))(void)
{
    return g_real->xDlSym(g_real, h, sym);
}
void xDlClose(sqlite3_vfs*, void* h)
{
    g_real->xDlClose(g_real, h);
}
int xRandomness(sqlite3_vfs*, int n, char* out)
{
    return g_real->xRandomness(g_real, n, out);
}
int xSleep(sqlite3_vfs*, int us)
{
    return g_real->xSleep(g_real, us);
}
int xCurrentTime(sqlite3_vfs*, double* t)
{
    return g_real->xCurrentTime(g_real, t);
}
int xGetLastError(sqlite3_vfs*, int n, char* out)
{
    return g_real->xGetLastError(g_real, n, out);
}
int xCurrentTimeInt64(sqlite3_vfs*, sqlite3_int64* t)
{
    return g_real->xCurrentTimeInt64(g_real, t);
}

} // namespace

void install()
{
    if (!g_real) {
        g_real = sqlite3_vfs_find(nullptr);
        std::memset(&g_vfs, 0, sizeof g_vfs);
        g_vfs.iVersion = 2;
        g_vfs.szOsFile = int(sizeof(File)) + g_real->szOsFile;
        g_vfs.mxPathname = g_real->mxPathname;
        g_vfs.zName = "ctfault";
        g_vfs.xOpen = xOpen;
        g_vfs.xDelete = xDelete;
        g_vfs.xAccess = xAccess;
        g_vfs.xFullPathname = xFullPathname;
        g_vfs.xDlOpen = xDlOpen;
        g_vfs.xDlError = xDlError;
        g_vfs.xDlSym = xDlSym;
        g_vfs.xDlClose = xDlClose;
        g_vfs.xRandomness = xRandomness;
        g_vfs.xSleep = xSleep;
        g_vfs.xCurrentTime = xCurrentTime;
        g_vfs.xGetLastError = xGetLastError;
        g_vfs.xCurrentTimeInt64 = xCurrentTimeInt64;
    }
    sqlite3_vfs_register(&g_vfs, 1);
}

void uninstall()
{
    if (g_real)
        sqlite3_vfs_register(g_real, 1);
}

void failNth(Op op, int n)
{
    g_writes = 0;
    g_syncs = 0;
    g_failed = false;
    g_op = op;
    g_failAt = n;
}

void disarm()
{
    g_failAt = 0;
}

int calls(Op op)
{
    return op == Op::Write ? g_writes : g_syncs;
}

bool failed()
{
    return g_failed;
}

} // namespace faultvfs
