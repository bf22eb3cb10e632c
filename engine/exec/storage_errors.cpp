// Failures of the storage layer that no T-SQL error stands for. A user sees the server's
// error where one means the same thing (a statement nested too deeply, a statement too
// large to compile, memory exhausted); anything else gets the engine's own number and a
// plain message. The storage layer's text never reaches the user: it is appended to the
// engine log, the file named by the MORVESK_LOG environment variable ("stderr" writes to
// the standard error stream), or morvesk-engine.log in the temporary directory when it is
// not set.
#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <string>

#include "engine/exec/sqlite_util.h"

namespace morvesk::engine::exec {
namespace {

bool Contains(const std::string& text, const char* part) {
  return text.find(part) != std::string::npos;
}

void WriteLog(int rc, const std::string& text) {
  static std::mutex mu;
  std::lock_guard<std::mutex> lock(mu);
  const char* target = std::getenv("MORVESK_LOG");
  std::FILE* out = nullptr;
  bool close = false;
  if (target && std::string(target) == "stderr") {
    out = stderr;
  } else {
    std::error_code ec;
    std::string path =
        target && *target
            ? std::string(target)
            : (std::filesystem::temp_directory_path(ec) / "morvesk-engine.log").string();
    out = std::fopen(path.c_str(), "a");
    close = out != nullptr;
  }
  if (!out) return;
  const std::time_t now = std::time(nullptr);
  char stamp[32] = "";
  std::tm tm_utc{};
  if (gmtime_r(&now, &tm_utc)) std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &tm_utc);
  std::fprintf(out, "%s storage failure %d (%s): %s\n", stamp, rc, sqlite3_errstr(rc),
               text.c_str());
  if (close) std::fclose(out);
}

}  // namespace

SqlError StorageFailure(int rc, const std::string& text) {
  WriteLog(rc, text);
  if (Contains(text, "parser stack overflow") || Contains(text, "Expression tree is too large") ||
      Contains(text, "too many levels of trigger recursion")) {
    return SqlError(191, 15,
                    "Some part of your SQL statement is nested too deeply. Rewrite the query or "
                    "break it up into smaller queries.");
  }
  if (Contains(text, "too many SQL variables") || Contains(text, "too many terms in compound") ||
      Contains(text, "too many arguments on function") || Contains(text, "too many columns") ||
      Contains(text, "at most 64 tables in a join")) {
    return SqlError(8623, 16,
                    "The query processor ran out of internal resources and could not produce a "
                    "query plan. This is a rare event and only expected for extremely complex "
                    "queries or queries that reference a very large number of tables or "
                    "partitions. Please simplify the query. If you believe you have received this "
                    "message in error, contact Customer Support Services for more information.");
  }
  if (Contains(text, "cannot reference objects in database temp")) {
    return SqlError(4508, 16,
                    "Views or functions are not allowed on temporary tables. Table names that "
                    "begin with '#' denote temporary tables.");
  }
  // A view whose base table was dropped since: the server names the missing object.
  if (const size_t at = text.find("no such table: "); at != std::string::npos) {
    std::string name = text.substr(at + 15);
    if (name.rfind("main.", 0) == 0) name.erase(0, 5);
    return SqlError(208, 16, "Invalid object name '" + name + "'.");
  }
  // SQLite's own sum of 64-bit integers (SUM and AVG of bigint) ran past the range.
  if (Contains(text, "integer overflow")) {
    return SqlError(8115, 16,
                    "Arithmetic overflow error converting expression to data type bigint.");
  }
  if (const size_t at = text.find("object name reserved for internal use: ");
      at != std::string::npos) {
    return SqlError(kStorageFailureError, 16,
                    "The name '" + text.substr(at + 39) +
                        "' is reserved by the database's storage. Choose another name.");
  }
  if ((rc & 0xff) == SQLITE_NOMEM) {
    return SqlError(701, 17,
                    "There is insufficient system memory in resource pool 'default' to run this "
                    "query.");
  }
  if ((rc & 0xff) == SQLITE_TOOBIG) {
    return SqlError(kStorageFailureError, 16,
                    "A value or statement is larger than the database can hold.");
  }
  return SqlError(kStorageFailureError, 16,
                  "The database could not carry out the statement (storage code " +
                      std::to_string(rc) + "). The details are in the engine log.");
}

}  // namespace morvesk::engine::exec
