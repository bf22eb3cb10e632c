#include "engine/exec/sqlite_util.h"

#include <filesystem>

#include "engine/bind/binder.h"
#include "engine/value/sqlfunc.h"

namespace morvesk::engine::exec {

SqlError ErrorFromSqlite(sqlite3* db, int rc) {
  const char* msg = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
  std::string text = msg ? msg : "unknown SQLite error";
  if (auto e = ParseFunctionError(text)) return *e;
  if ((rc & 0xff) == SQLITE_INTERRUPT) return BatchCancelled();
  // An interrupted or busy database is reported as a timeout-like server error.
  if ((rc & 0xff) == SQLITE_BUSY || (rc & 0xff) == SQLITE_LOCKED) {
    return SqlError(1222, 16, "Lock request time out period exceeded.");
  }
  if ((rc & 0xff) == SQLITE_READONLY) return ReadOnlyDatabaseError(db);
  return StorageFailure(rc, text);
}

SqlError ReadOnlyDatabaseError(sqlite3* db) {
  const char* file = db ? sqlite3_db_filename(db, "main") : nullptr;
  const std::string name = file && *file ? std::filesystem::path(file).stem().string() : "";
  return SqlError(3906, 16,
                  "Failed to update database \"" + name + "\" because the database is read-only.");
}

Stmt Prepare(sqlite3* db, std::string_view sql) {
  sqlite3_stmt* s = nullptr;
  int rc = sqlite3_prepare_v3(db, sql.data(), static_cast<int>(sql.size()),
                              SQLITE_PREPARE_PERSISTENT, &s, nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_finalize(s);
    throw ErrorFromSqlite(db, rc);
  }
  return Stmt(s);
}

void ExecSql(sqlite3* db, const std::string& sql) {
  char* err = nullptr;
  int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err);
  if (rc != SQLITE_OK) {
    sqlite3_free(err);
    throw ErrorFromSqlite(db, rc);
  }
}

std::string ColumnText(sqlite3_stmt* s, int i) {
  const unsigned char* p = sqlite3_column_text(s, i);
  return p ? std::string(reinterpret_cast<const char*>(p),
                         static_cast<size_t>(sqlite3_column_bytes(s, i)))
           : std::string();
}

std::string QuoteName(std::string_view name) {
  // The storage keeps names as C strings: a name holding NUL could not be read back.
  if (name.find('\0') != std::string_view::npos) {
    std::string shown;
    for (char c : name) shown += c ? std::string(1, c) : "\\0";
    throw SqlError(1055, 16,
                   "'" + shown +
                       "' is an invalid name because it contains a NULL character or an invalid "
                       "unicode character.");
  }
  std::string out = "\"";
  for (char c : name) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
  return out;
}

std::string QuoteText(std::string_view text) { return bind::QuoteText(text); }

}  // namespace morvesk::engine::exec
