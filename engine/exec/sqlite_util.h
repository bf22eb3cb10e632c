// Thin RAII wrappers over SQLite handles for the runtime, and the conversion of a
// SQLite failure into the engine's SqlError.
#pragma once

#include <sqlite3.h>

#include <string>
#include <string_view>
#include <utility>

#include "engine/error.h"

namespace morvesk::engine::exec {

// A prepared statement owned by its holder; finalized on destruction.
class Stmt {
 public:
  Stmt() = default;
  explicit Stmt(sqlite3_stmt* s) : s_(s) {}
  Stmt(Stmt&& o) noexcept : s_(std::exchange(o.s_, nullptr)) {}
  Stmt& operator=(Stmt&& o) noexcept {
    if (this != &o) {
      Reset(std::exchange(o.s_, nullptr));
    }
    return *this;
  }
  Stmt(const Stmt&) = delete;
  Stmt& operator=(const Stmt&) = delete;
  ~Stmt() { Reset(nullptr); }

  sqlite3_stmt* get() const { return s_; }
  explicit operator bool() const { return s_ != nullptr; }
  void Reset(sqlite3_stmt* s) {
    if (s_) sqlite3_finalize(s_);
    s_ = s;
  }

 private:
  sqlite3_stmt* s_ = nullptr;
};

// Converts the connection's last error into a SqlError. Function errors raised by the
// T-SQL function library keep their number; SQLite's own errors become 50000-range
// free of meaning, so they carry number 0 unless mapped by the caller.
SqlError ErrorFromSqlite(sqlite3* db, int rc);
// The number of a storage failure that no T-SQL error stands for (the engine's own).
constexpr int kStorageFailureError = 50900;
// A storage failure with SQLite's result code and text as the user sees it: the server's
// error where one means the same, otherwise kStorageFailureError with a plain message. The
// text goes to the engine log (storage_errors.cpp says where).
SqlError StorageFailure(int rc, const std::string& text);
// The server's error for a change to a database opened read-only (Msg 3906, naming it).
SqlError ReadOnlyDatabaseError(sqlite3* db);

// Prepares `sql`; throws SqlError on failure.
Stmt Prepare(sqlite3* db, std::string_view sql);

// Runs SQL text with no parameters and no result (DDL, PRAGMA, SAVEPOINT); throws on failure.
void ExecSql(sqlite3* db, const std::string& sql);

// A text column of the current row, whole (it may hold NUL); empty for NULL.
std::string ColumnText(sqlite3_stmt* s, int i);

// Quotes a name for SQLite text: "name" with embedded quotes doubled. A name holding NUL
// is refused (1055).
std::string QuoteName(std::string_view name);
// Quotes a text literal for SQLite: 'text' with embedded quotes doubled.
std::string QuoteText(std::string_view text);

}  // namespace morvesk::engine::exec
