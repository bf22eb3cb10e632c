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

// The same split fed one line at a time, for a shell reading what a person types or a
// script too large to hold its batches all at once.
class BatchLines {
 public:
  // Adds one line (without its line break). Returns the repeat count when the line is a
  // GO line that ends the batch (the batch is then in batch() until Clear()), else 0.
  int Add(std::string_view line);
  // The batch so far; its text holds nothing but blanks when empty() is true.
  const ScriptBatch& batch() const { return current_; }
  bool empty() const;
  int lines() const { return lines_; }  // lines added since the last Clear()
  // Starts the next batch, which begins on the line after the last one added.
  void Clear();

 private:
  ScriptBatch current_;
  int line_no_ = 0;
  int lines_ = 0;
  bool in_block_comment_ = false;
  bool in_string_ = false;
};

}  // namespace morvesk::company
