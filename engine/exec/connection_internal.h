// Counters of a connection's work, for tests that check the statement cache does its
// job (a loop of batches that differ only in literals parses and prepares once).
#pragma once

#include <cstdint>
#include <string_view>

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
  uint64_t temp_reuses = 0;   // #temp tables made again from a dropped one kept for reuse
  uint64_t groupings = 0;     // grouped queries whose rows the runtime folded in a hash table
};

// The counters of a connection made by Database::Connect().
const ConnectionStats& StatsOf(const Connection& c);

// A clock on the work of every connection in the process, for benchmarks that ask where
// the time of an operation goes. Each set-based statement reports its line in its batch
// and its time (translation included) before the batch that ran it reports its text and
// its time; a procedure call reports as "exec <name>". Off unless set: the runtime then
// only tests a pointer.
class WorkClock {
 public:
  virtual ~WorkClock() = default;
  virtual void Statement(int line, double seconds) = 0;
  virtual void Batch(std::string_view text, double seconds) = 0;
};

// Installs `clock` for all connections (nullptr turns it off). The clock must outlive its
// use; calls come from whichever thread runs a batch.
void SetWorkClock(WorkClock* clock);
WorkClock* CurrentWorkClock();

// The shape cache: a batch that differs from a recent one only in literal values of the
// same types reuses its parse and plans. It is a pure optimisation: every batch gives the
// same output with it off. On unless the environment sets MORVESK_PLAN_CACHE=off; tests and
// diagnosis turn it off and on for the whole process (connections keep what they cached,
// unused while it is off).
void SetShapeCache(bool on);
bool ShapeCacheOn();

}  // namespace morvesk::engine::exec
