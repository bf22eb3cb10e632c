#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>

#include "base/connection_secrets.h"
#include "engine/exec/company_vfs.h"
#include "engine/exec/connection_impl.h"
#include "engine/exec/database_impl.h"
#include "engine/exec/sqlite_catalog.h"
#include "engine/exec/sqlite_util.h"
#include "engine/value/sqlfunc.h"

namespace morvesk::engine {

std::shared_ptr<Database> Database::Open(const std::string& path, bool must_exist) {
  return std::make_shared<exec::DatabaseImpl>(path, must_exist);
}

std::vector<const Result*> BatchResult::ResultSets() const {
  std::vector<const Result*> out;
  for (const auto& r : results) {
    if (r.kind == Result::Kind::kRows) out.push_back(&r);
  }
  return out;
}

}  // namespace morvesk::engine

namespace morvesk::engine::exec {
namespace {

std::atomic<int> memory_counter{0};

// MORVESK_SQL_PROFILE=FILE appends every SQLite statement that ran longer than 20 ms (or
// MORVESK_SQL_PROFILE_MS), with its time, to FILE: the statements the translator made, for
// finding slow plans.
FILE* profile_file = nullptr;
sqlite3_int64 profile_threshold_ns = 20'000'000;
std::mutex profile_mutex;

int ProfileStatement(unsigned, void*, void* stmt, void* nanoseconds) {
  const auto ns = *static_cast<const sqlite3_int64*>(nanoseconds);
  if (ns < profile_threshold_ns) return 0;
  const char* sql = sqlite3_sql(static_cast<sqlite3_stmt*>(stmt));
  // The plan below is a statement too, and would come back here under the lock.
  if (sql == nullptr || std::strncmp(sql, "EXPLAIN ", 8) == 0) return 0;
  std::lock_guard lock(profile_mutex);
  std::fprintf(profile_file, "%.3f s\t%s\n", static_cast<double>(ns) / 1e9, sql);
  // Its plan, as SQLite would choose it now.
  sqlite3_stmt* plan = nullptr;
  if (sqlite3_prepare_v2(sqlite3_db_handle(static_cast<sqlite3_stmt*>(stmt)),
                         (std::string("EXPLAIN QUERY PLAN ") + sql).c_str(), -1, &plan,
                         nullptr) == SQLITE_OK) {
    while (sqlite3_step(plan) == SQLITE_ROW) {
      std::fprintf(profile_file, "\t\t%d %d %s\n", sqlite3_column_int(plan, 0),
                   sqlite3_column_int(plan, 1),
                   reinterpret_cast<const char*>(sqlite3_column_text(plan, 3)));
    }
  }
  sqlite3_finalize(plan);
  std::fflush(profile_file);
  return 0;
}

void MaybeProfile(sqlite3* db) {
  static std::once_flag once;
  std::call_once(once, [] {
    if (const char* path = std::getenv("MORVESK_SQL_PROFILE")) profile_file = std::fopen(path, "a");
    if (const char* ms = std::getenv("MORVESK_SQL_PROFILE_MS")) {
      profile_threshold_ns = static_cast<sqlite3_int64>(std::atof(ms) * 1e6);
    }
  });
  if (profile_file) sqlite3_trace_v2(db, SQLITE_TRACE_PROFILE, ProfileStatement, nullptr);
}

// SQLite's Bloom filters let a join skip its look-up when a value's bytes hash to nothing
// the other side holds. The hash is blind to the TSQL collation, under which 'a1  ' and
// 'A1' are one value, so with them a join on text loses the rows whose keys differ only
// in case or trailing blanks. The flags are SQLite's own numbers for the two uses of the
// filters; the library offers no other switch for them.
void DisableCollationBlindFilters(sqlite3* db) {
  constexpr int kBloomFilter = 0x00080000, kBloomPulldown = 0x00100000;
  sqlite3_test_control(SQLITE_TESTCTRL_OPTIMIZATIONS, db, kBloomFilter | kBloomPulldown);
}

// The server's number for a database that cannot be opened, with the reason in words: a file
// that is missing or is no company database has nothing to do with a login. A path that came
// from a connection description is shown without its password.
SqlError CannotOpen(const std::string& path, const std::string& why) {
  return SqlError(4060, 11,
                  "Cannot open database \"" + base::MaskPasswords(path) + "\": " + why);
}

// An existing database is opened only from a file that can hold one: SQLite would take an
// empty file as a new database and write its catalog into it.
void RefuseWhatIsNoCompanyFile(const std::string& path) {
  std::error_code ec;
  const auto status = std::filesystem::status(path, ec);
  if (!std::filesystem::exists(status)) throw CannotOpen(path, "the file does not exist");
  if (std::filesystem::is_directory(status)) throw CannotOpen(path, "it is a directory");
  if (std::filesystem::is_regular_file(status) && std::filesystem::file_size(path, ec) == 0 &&
      !ec) {
    throw CannotOpen(path, "the file is empty, not a company database");
  }
}

// Whether this process can change the file in WAL mode: the file itself, and the folder that
// must take its -wal and -shm files (or those files, already there and writable).
bool CanWrite(const std::string& path) {
  if (access(path.c_str(), W_OK) != 0) return false;
  std::filesystem::path folder = std::filesystem::path(path).parent_path();
  if (folder.empty()) folder = ".";
  if (access(folder.c_str(), W_OK) == 0) return true;
  return access((path + "-wal").c_str(), W_OK) == 0 && access((path + "-shm").c_str(), W_OK) == 0;
}

// A file this process cannot write is opened for reading only. With no log of changes
// waiting beside it, it is read as immutable: SQLite then needs no -shm file, which a
// read-only folder could not take. Otherwise the log is read through its existing -shm.
std::string ReadOnlyUri(const std::string& path) {
  std::string uri = "file:";
  for (char c : std::filesystem::absolute(path).string()) {
    if (c == '%' || c == '?' || c == '#') {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", static_cast<unsigned char>(c));
      uri += hex;
    } else {
      uri += c;
    }
  }
  std::error_code ec;
  const auto wal = std::filesystem::file_size(path + "-wal", ec);
  return uri + (!ec && wal > 0 ? "?mode=ro" : "?mode=ro&immutable=1");
}

// How long a connection waits for another's write lock before Msg 1222: ten seconds, or
// MORVESK_LOCK_TIMEOUT milliseconds.
int LockTimeoutMs() {
  if (const char* v = std::getenv("MORVESK_LOCK_TIMEOUT")) {
    char* end = nullptr;
    const long ms = std::strtol(v, &end, 10);
    if (end != v && *end == 0 && ms >= 0 && ms <= 3'600'000) return static_cast<int>(ms);
  }
  return 10000;
}

}  // namespace

DatabaseImpl::DatabaseImpl(std::string path, bool must_exist) : path_(std::move(path)) {
  memory_ = path_ == ":memory:" || path_.empty();
  if (memory_) {
    // A named shared-cache memory database: every connection of this Database sees it,
    // and it lives as long as the anchor connection. Its readers do not take table
    // locks (read_uncommitted), so a reader never fails on another connection's open
    // transaction; writers on two connections at once still exclude each other.
    uri_ = "file:morvesk_memory_" + std::to_string(++memory_counter) + "?mode=memory&cache=shared";
    name_ = "memory";
  } else {
    if (must_exist) RefuseWhatIsNoCompanyFile(path_);
    read_only_ = must_exist && !CanWrite(path_);
    uri_ = read_only_ ? ReadOnlyUri(path_) : path_;
    name_ = std::filesystem::path(path_).stem().string();
  }
  anchor_ = OpenHandle(!must_exist);
  try {
    if (!memory_ && !read_only_) ExecSql(anchor_, "PRAGMA journal_mode=WAL");
    SqliteCatalog::EnsureMetadata(anchor_);
  } catch (const SqlError& e) {
    sqlite3_close_v2(anchor_);
    anchor_ = nullptr;
    throw CannotOpen(path_, e.message);
  }
}

DatabaseImpl::~DatabaseImpl() {
  if (anchor_) sqlite3_close_v2(anchor_);
}

sqlite3* DatabaseImpl::OpenHandle(bool create) {
  // SQLite's memory statistics take a global lock on every allocation, and nothing here
  // reads them. The setting is only possible before SQLite's first use in the process.
  static std::once_flag configured;
  std::call_once(configured, [] { sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0); });
  sqlite3* db = nullptr;
  int flags = (read_only_ ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) | SQLITE_OPEN_URI |
              SQLITE_OPEN_NOMUTEX;
  if (create && !read_only_) flags |= SQLITE_OPEN_CREATE;
  if (!memory_) RegisterCompanyVfs();
  int rc = sqlite3_open_v2(uri_.c_str(), &db, flags, memory_ ? nullptr : kCompanyVfs);
  if (rc != SQLITE_OK) {
    std::string why = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    sqlite3_close_v2(db);
    throw CannotOpen(path_, why);
  }
  sqlite3_extended_result_codes(db, 1);
  sqlite3_busy_timeout(db, LockTimeoutMs());
  try {
    // Every commit reaches the disk before it returns (synchronous=FULL syncs the log at each
    // commit): a period close reported as committed survives a power loss.
    // A page cache of up to 512 MiB: a period close writes balance tables of hundreds of
    // thousands of rows in one transaction, and a smaller cache spills them to the log
    // mid-way and reads them back. The cache grows only as pages are touched.
    ExecSql(db,
            "PRAGMA synchronous=FULL; PRAGMA temp_store=MEMORY; PRAGMA cache_size=-524288; "
            "PRAGMA secure_delete=OFF");
  } catch (const SqlError& e) {
    sqlite3_close_v2(db);
    throw CannotOpen(path_, e.message);
  }
  if (memory_) sqlite3_exec(db, "PRAGMA read_uncommitted=1", nullptr, nullptr, nullptr);
  // A large company file read through a memory map: index lookups spread over the whole
  // file cost no system call each (SQLite caps the map at what it was built to allow).
  if (!memory_) sqlite3_exec(db, "PRAGMA mmap_size=2147418112", nullptr, nullptr, nullptr);
  // Every name the translator writes is double-quoted; SQLite would take a quoted name it
  // does not know for a text constant (an index on the text 'nosuch') instead of failing.
  sqlite3_db_config(db, SQLITE_DBCONFIG_DQS_DDL, 0, nullptr);
  sqlite3_db_config(db, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
  RegisterSqlFunctions(db);
  DisableCollationBlindFilters(db);
  MaybeProfile(db);
  return db;
}

std::unique_ptr<Connection> DatabaseImpl::Connect() {
  sqlite3* db = OpenHandle(true);
  auto c = std::make_unique<ConnectionImpl>(shared_from_this(), db);
  // Views keep the translation of the engine that wrote them; this one may translate
  // them otherwise (a mended conversion, a cheaper form). Without waiting: while another
  // connection writes the file, its views serve as they are until a later connection
  // finds it free. Any other failure is the connection's.
  if (!memory_ && !read_only_ && !views_current_.load()) {
    std::lock_guard lock(views_mutex_);
    if (!views_current_.load()) {
      sqlite3_busy_timeout(db, 0);
      views_current_ = c->RefreshViews();
      sqlite3_busy_timeout(db, LockTimeoutMs());
    }
  }
  return c;
}

}  // namespace morvesk::engine::exec
