// The single value a batch returns last, for tests that check one figure at a time.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "engine/engine.h"

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

}  // namespace morvesk::engine::test
