// Every call goes to the VFS underneath; only the main database file's first sixteen bytes
// are translated: the company header on disk, SQLite's header in memory.
#include "engine/exec/company_vfs.h"

#include <sqlite3.h>

#include <cstring>
#include <mutex>
#include <vector>

namespace morvesk::engine::exec {
namespace {

constexpr char kSqliteHeader[16] = {'S', 'Q', 'L', 'i', 't', 'e', ' ', 'f',
                                    'o', 'r', 'm', 'a', 't', ' ', '3', '\0'};
constexpr char kCompanyHeader[16] = {'M', 'o', 'r', 'v', 'e', 's', 'k', ' ',
                                     'c', 'o', 'm', 'p', 'a', 'n', 'y', '\0'};

// The file handle SQLite sees; the underlying VFS's handle follows it in the same block.
struct CompanyFile {
  sqlite3_file base;
  bool main_db;
  sqlite3_file* Real() { return reinterpret_cast<sqlite3_file*>(this + 1); }
};

CompanyFile* Of(sqlite3_file* f) { return reinterpret_cast<CompanyFile*>(f); }
sqlite3_file* Real(sqlite3_file* f) { return Of(f)->Real(); }
const sqlite3_io_methods& M(sqlite3_file* f) { return *Real(f)->pMethods; }

bool CoversHeader(sqlite3_int64 offset, int amount) { return offset == 0 && amount >= 16; }

int Close(sqlite3_file* f) { return M(f).xClose(Real(f)); }

int Read(sqlite3_file* f, void* buf, int amount, sqlite3_int64 offset) {
  const int rc = M(f).xRead(Real(f), buf, amount, offset);
  if (rc == SQLITE_OK && Of(f)->main_db && CoversHeader(offset, amount) &&
      std::memcmp(buf, kCompanyHeader, 16) == 0) {
    std::memcpy(buf, kSqliteHeader, 16);
  }
  return rc;
}

int Write(sqlite3_file* f, const void* buf, int amount, sqlite3_int64 offset) {
  if (Of(f)->main_db && CoversHeader(offset, amount) && std::memcmp(buf, kSqliteHeader, 16) == 0) {
    std::vector<char> page(static_cast<const char*>(buf), static_cast<const char*>(buf) + amount);
    std::memcpy(page.data(), kCompanyHeader, 16);
    return M(f).xWrite(Real(f), page.data(), amount, offset);
  }
  return M(f).xWrite(Real(f), buf, amount, offset);
}

int Truncate(sqlite3_file* f, sqlite3_int64 size) { return M(f).xTruncate(Real(f), size); }
int Sync(sqlite3_file* f, int flags) { return M(f).xSync(Real(f), flags); }
int FileSize(sqlite3_file* f, sqlite3_int64* size) { return M(f).xFileSize(Real(f), size); }
int Lock(sqlite3_file* f, int level) { return M(f).xLock(Real(f), level); }
int Unlock(sqlite3_file* f, int level) { return M(f).xUnlock(Real(f), level); }
int CheckReservedLock(sqlite3_file* f, int* out) { return M(f).xCheckReservedLock(Real(f), out); }
int FileControl(sqlite3_file* f, int op, void* arg) { return M(f).xFileControl(Real(f), op, arg); }
int SectorSize(sqlite3_file* f) { return M(f).xSectorSize(Real(f)); }
int DeviceCharacteristics(sqlite3_file* f) { return M(f).xDeviceCharacteristics(Real(f)); }

int ShmMap(sqlite3_file* f, int region, int size, int extend, void volatile** pp) {
  if (M(f).iVersion < 2) return SQLITE_IOERR_SHMMAP;
  return M(f).xShmMap(Real(f), region, size, extend, pp);
}
int ShmLock(sqlite3_file* f, int offset, int n, int flags) {
  if (M(f).iVersion < 2) return SQLITE_IOERR_SHMLOCK;
  return M(f).xShmLock(Real(f), offset, n, flags);
}
void ShmBarrier(sqlite3_file* f) {
  if (M(f).iVersion >= 2) M(f).xShmBarrier(Real(f));
}
int ShmUnmap(sqlite3_file* f, int remove) {
  return M(f).iVersion >= 2 ? M(f).xShmUnmap(Real(f), remove) : SQLITE_OK;
}

// A memory-mapped first page would show the company header; SQLite reads it instead.
int Fetch(sqlite3_file* f, sqlite3_int64 offset, int amount, void** pp) {
  if (M(f).iVersion < 3 || (Of(f)->main_db && offset < 16)) {
    *pp = nullptr;
    return SQLITE_OK;
  }
  return M(f).xFetch(Real(f), offset, amount, pp);
}
int Unfetch(sqlite3_file* f, sqlite3_int64 offset, void* p) {
  return M(f).iVersion >= 3 ? M(f).xUnfetch(Real(f), offset, p) : SQLITE_OK;
}

const sqlite3_io_methods kMethods = {3,
                                     Close,
                                     Read,
                                     Write,
                                     Truncate,
                                     Sync,
                                     FileSize,
                                     Lock,
                                     Unlock,
                                     CheckReservedLock,
                                     FileControl,
                                     SectorSize,
                                     DeviceCharacteristics,
                                     ShmMap,
                                     ShmLock,
                                     ShmBarrier,
                                     ShmUnmap,
                                     Fetch,
                                     Unfetch};

sqlite3_vfs* Parent(sqlite3_vfs* vfs) { return static_cast<sqlite3_vfs*>(vfs->pAppData); }

int Open(sqlite3_vfs* vfs, sqlite3_filename name, sqlite3_file* file, int flags, int* out) {
  CompanyFile* f = Of(file);
  f->base.pMethods = nullptr;
  f->main_db = (flags & SQLITE_OPEN_MAIN_DB) != 0;
  f->Real()->pMethods = nullptr;
  const int rc = Parent(vfs)->xOpen(Parent(vfs), name, f->Real(), flags, out);
  // SQLite closes a handle whose methods are set, even after a failed open.
  if (f->Real()->pMethods) f->base.pMethods = &kMethods;
  return rc;
}

int Delete(sqlite3_vfs* v, const char* name, int sync) {
  return Parent(v)->xDelete(Parent(v), name, sync);
}
int Access(sqlite3_vfs* v, const char* name, int flags, int* out) {
  return Parent(v)->xAccess(Parent(v), name, flags, out);
}
int FullPathname(sqlite3_vfs* v, const char* name, int n, char* out) {
  return Parent(v)->xFullPathname(Parent(v), name, n, out);
}
void* DlOpen(sqlite3_vfs* v, const char* name) { return Parent(v)->xDlOpen(Parent(v), name); }
void DlError(sqlite3_vfs* v, int n, char* out) { Parent(v)->xDlError(Parent(v), n, out); }
void (*DlSym(sqlite3_vfs* v, void* h, const char* sym))(void) {
  return Parent(v)->xDlSym(Parent(v), h, sym);
}
void DlClose(sqlite3_vfs* v, void* h) { Parent(v)->xDlClose(Parent(v), h); }
int Randomness(sqlite3_vfs* v, int n, char* out) {
  return Parent(v)->xRandomness(Parent(v), n, out);
}
int Sleep(sqlite3_vfs* v, int us) { return Parent(v)->xSleep(Parent(v), us); }
int CurrentTime(sqlite3_vfs* v, double* out) { return Parent(v)->xCurrentTime(Parent(v), out); }
int GetLastError(sqlite3_vfs* v, int n, char* out) {
  return Parent(v)->xGetLastError ? Parent(v)->xGetLastError(Parent(v), n, out) : 0;
}
int CurrentTimeInt64(sqlite3_vfs* v, sqlite3_int64* out) {
  if (Parent(v)->iVersion >= 2 && Parent(v)->xCurrentTimeInt64) {
    return Parent(v)->xCurrentTimeInt64(Parent(v), out);
  }
  double day = 0;
  const int rc = Parent(v)->xCurrentTime(Parent(v), &day);
  *out = static_cast<sqlite3_int64>(day * 86400000.0);
  return rc;
}

}  // namespace

void RegisterCompanyVfs(bool as_default) {
  static sqlite3_vfs vfs;
  static std::once_flag once;
  std::call_once(once, [] {
    sqlite3_vfs* parent = sqlite3_vfs_find(nullptr);
    vfs.iVersion = 2;
    vfs.szOsFile = static_cast<int>(sizeof(CompanyFile)) + parent->szOsFile;
    vfs.mxPathname = parent->mxPathname;
    vfs.zName = kCompanyVfs;
    vfs.pAppData = parent;
    vfs.xOpen = Open;
    vfs.xDelete = Delete;
    vfs.xAccess = Access;
    vfs.xFullPathname = FullPathname;
    vfs.xDlOpen = DlOpen;
    vfs.xDlError = DlError;
    vfs.xDlSym = DlSym;
    vfs.xDlClose = DlClose;
    vfs.xRandomness = Randomness;
    vfs.xSleep = Sleep;
    vfs.xCurrentTime = CurrentTime;
    vfs.xGetLastError = GetLastError;
    vfs.xCurrentTimeInt64 = CurrentTimeInt64;
    sqlite3_vfs_register(&vfs, 0);
  });
  if (as_default) sqlite3_vfs_register(&vfs, 1);
}

}  // namespace morvesk::engine::exec
