// The company database: creates a company database file (tables, views, stored
// procedures and data), or loads the schema and generates a company on an open
// connection. Used by the `morvesk` tool, the tests and the benchmarks.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "engine/engine.h"

namespace morvesk::company {

// What a generator reports while it works (for a progress line on a terminal).
struct Progress {
  std::string_view stage;  // "schema", "master data", "openings", "bills 2025/3", "finishing"
  int64_t done = 0;        // bill lines written so far (0 outside the bill stages)
  int64_t total = 0;       // bill lines to write in all
};
using ProgressFn = std::function<void(const Progress&)>;

struct GenerateOptions {
  // 0: the demo company (small, hand-made, every case of the costing once).
  // N > 0: a generated company with N stock bill lines in each bill period.
  int64_t lines_per_period = 0;
  uint64_t seed = 1;      // the same seed gives the same company
  int bill_periods = 2;   // generated companies: periods with bills, from the start period on
  ProgressFn progress;    // optional
};

// Runs the schema scripts (tables, views, procedures) on a connection to an empty
// database. Throws engine::SqlError when a script fails.
void LoadSchema(engine::Connection& connection);

// Fills a database that holds the schema (and nothing else) with a company.
// Throws engine::SqlError when a statement fails.
void GenerateCompany(engine::Connection& connection, const GenerateOptions& options);

// Creates the company database file `path`: schema plus GenerateCompany, in one
// transaction. An existing file is replaced only when `force` is set; otherwise
// SqlError 1801 ("Database '...' already exists ..."). On failure no file is left
// behind (and an existing file survives unless `force` had it removed).
void CreateCompany(const std::string& path, const GenerateOptions& options, bool force);

// The demo company's start period (the inventory's current period when created).
inline constexpr int kStartYear = 2025;
inline constexpr int kStartPeriod = 3;

}  // namespace morvesk::company
