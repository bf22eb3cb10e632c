// The single value, or all the rows, a batch returns last, for tests that check results
// as text.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "engine/engine.h"
#include "tests/common/table_text.h"

namespace morvesk::engine::test {

// The first column of the first row of the batch's last result set; fails the test when
// there is none.
inline Value Scalar(Connection& c, const std::string& sql) {
  BatchResult r = c.Execute(sql);
  auto sets = r.ResultSets();
  if (sets.empty() || sets.back()->rows.empty() || sets.back()->rows[0].empty()) {
    ADD_FAILURE() << "no value from: " << sql;
    return Value();
  }
  return sets.back()->rows[0][0];
}

// The first error of a batch (one that ended it, or one it went on after); number 0 when
// it ran without any.
inline SqlError Outcome(Connection& c, const std::string& batch) {
  try {
    BatchResult r = c.Execute(batch);
    if (!r.errors.empty()) return r.errors.front();
  } catch (const SqlError& e) {
    return e;
  }
  return SqlError(0, 0, "");
}

// The rows of the batch's last result set, one line each, values separated by '|'.
inline std::string Rows(Connection& c, const std::string& sql) {
  BatchResult r = c.Execute(sql);
  auto sets = r.ResultSets();
  if (sets.empty()) {
    ADD_FAILURE() << "no rows from: " << sql;
    return "";
  }
  return morvesk::test::TableText(*sets.back());
}

}  // namespace morvesk::engine::test
