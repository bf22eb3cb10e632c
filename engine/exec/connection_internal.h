// Counters of a connection's work, for tests that check the statement cache does its
// job (a loop of batches that differ only in literals parses and prepares once).
#pragma once

#include <cstdint>

namespace morvesk::engine {
class Connection;
}

namespace morvesk::engine::exec {

struct ConnectionStats {
  uint64_t batches = 0;       // Execute / CallProcedure calls
  uint64_t parses = 0;        // batches and procedure bodies parsed
  uint64_t translations = 0;  // statements and expressions handed to the binder
  uint64_t prepares = 0;      // SQLite statements prepared
  uint64_t cache_hits = 0;    // batches served from the shape cache
  uint64_t auto_indexes = 0;  // indexes created on #temp tables without being asked
};

// The counters of a connection made by Database::Connect().
const ConnectionStats& StatsOf(const Connection& c);

}  // namespace morvesk::engine::exec
