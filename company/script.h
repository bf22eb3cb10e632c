// Splits a T-SQL script into batches at GO lines, as sqlcmd does: a line holding
// only GO (any case, optional blanks, optional repeat count) ends a batch. Used
// for the embedded schema scripts and by `morvesk sql`.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace morvesk::company {

struct ScriptBatch {
  std::string text;
  int first_line = 1;  // line of the script on which the batch starts (1-based)
  int repeat = 1;      // GO n runs the batch n times
};

// Batches holding nothing but blanks are dropped.
std::vector<ScriptBatch> SplitBatches(std::string_view script);

}  // namespace morvesk::company
