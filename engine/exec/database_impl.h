// The engine's database: the SQLite file (or a named shared in-memory database, so
// every connection of one Database sees the same tables) and how its connections
// are opened and set up.
#pragma once

#include <sqlite3.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "engine/engine.h"

namespace morvesk::engine::exec {

class DatabaseImpl : public Database, public std::enable_shared_from_this<DatabaseImpl> {
 public:
  DatabaseImpl(std::string path, bool must_exist);
  ~DatabaseImpl() override;

  std::unique_ptr<Connection> Connect() override;
  const std::string& path() const override { return path_; }
  // The database name T-SQL messages show ('company' for company.db).
  const std::string& name() const { return name_; }
  bool in_memory() const { return memory_; }
  // A company file this process cannot write (a read-only file or folder): opened for
  // reading, and any change fails with the server's read-only database error.
  bool read_only() const { return read_only_; }

 private:
  sqlite3* OpenHandle(bool create);

  std::string path_;
  std::string uri_;
  std::string name_;
  bool memory_ = false;
  bool read_only_ = false;
  sqlite3* anchor_ = nullptr;  // keeps a memory database alive; checks a file opens
  // A writable file's views translated by this engine (by its first connection that
  // found the file free to write).
  std::atomic<bool> views_current_{false};
  std::mutex views_mutex_;
};

}  // namespace morvesk::engine::exec
