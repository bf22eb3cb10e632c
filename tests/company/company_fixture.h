// Helpers of the company database tests: a fresh company in memory, and query
// results as canonical text (decimals without trailing zeros, dates as
// yyyy-mm-dd) so that whole result sets compare with one EXPECT_EQ.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "company/company.h"
#include "engine/engine.h"

namespace morvesk::company::testing {

using Rows = std::vector<std::vector<std::string>>;

struct TestCompany {
  std::shared_ptr<engine::Database> db;
  std::unique_ptr<engine::Connection> conn;
};

// The schema only, or the schema plus a generated company (lines_per_period 0:
// the demo), in a private in-memory database.
TestCompany NewSchema();
TestCompany NewCompany(int64_t lines_per_period = 0, uint64_t seed = 1);

std::string Canon(const engine::Value& v);
// Every row of the last result set of the batch.
Rows Query(engine::Connection& conn, const std::string& sql);
// The first column of the first row.
std::string Scalar(engine::Connection& conn, const std::string& sql);

// The references a company must keep: every bill line's bill, item and stocks
// exist, every bill's class is catalogued, every item's costing method, unit and
// auxiliary properties exist. Reports each kind of dangling reference found.
void ExpectConsistent(engine::Connection& conn);

}  // namespace morvesk::company::testing
