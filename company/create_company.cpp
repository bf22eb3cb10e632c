#include <filesystem>
#include <system_error>

#include "company/company.h"

namespace morvesk::company {
namespace {

// SQLite keeps a journal (or write-ahead log) beside the file while it works.
void RemoveWithSideFiles(const std::string& path) {
  std::error_code ignored;
  for (const char* suffix : {"", "-journal", "-wal", "-shm"}) {
    std::filesystem::remove(path + suffix, ignored);
  }
}

}  // namespace

void CreateCompany(const std::string& path, const GenerateOptions& options, bool force) {
  if (path != ":memory:" && std::filesystem::exists(path) && !force) {
    throw engine::SqlError(1801, 16,
                           "Database '" + path +
                               "' already exists. Choose a different database name.");
  }
  // The company is built in a file beside the target and moved over it at the end,
  // so that a failure leaves an existing database as it was.
  const std::string building = path == ":memory:" ? path : path + ".creating";
  if (building != ":memory:") RemoveWithSideFiles(building);
  try {
    std::shared_ptr<engine::Database> db = engine::Database::Open(building);
    std::unique_ptr<engine::Connection> connection = db->Connect();
    connection->BeginTransaction();
    if (options.progress) options.progress(Progress{"schema", 0, 0});
    LoadSchema(*connection);
    GenerateCompany(*connection, options);
    connection->Commit();
  } catch (...) {
    if (building != ":memory:") RemoveWithSideFiles(building);
    throw;
  }
  if (building == ":memory:") return;
  RemoveWithSideFiles(path);
  std::filesystem::rename(building, path);
}

}  // namespace morvesk::company
