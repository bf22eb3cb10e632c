// How `morvesk close` shows its progress on standard error: each step of the close by name as it
// begins, with the time since the command started and the share of the close's steps done
// before it (on a terminal, the line counts the step's batches as they go); with --verbose,
// also every batch the close sends (batches of one shape that follow each other on one line)
// and the whole text of a failing batch. The time and batches of each step are kept for the
// summary.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tools/morvesk/result_format.h"

namespace morvesk::cli {

using Clock = std::chrono::steady_clock;

class CloseProgress {
 public:
  CloseProgress(Clock::time_point start, bool verbose);

  void Step(std::string_view name);
  void Batch(std::string_view text, double seconds, bool failed);
  // Ends the last step: "100% closed", or where the close failed.
  void Finish(bool ok);
  // step, batches, seconds: one row per step run.
  Table StepTimes() const;

 private:
  void FlushRepeats();
  void EndStep();
  void Redraw();
  void CloseLine();
  double Elapsed() const;

  Clock::time_point start_;
  bool verbose_;
  bool live_;  // a terminal, without --verbose
  bool line_open_ = false;
  Clock::time_point last_draw_;
  struct StepRun {
    std::string name;
    Clock::time_point began;
    std::string share;
    double seconds = 0;
    int64_t batches = 0;
    bool running = true;
  };
  std::vector<StepRun> steps_;
  std::string last_label_;
  int64_t repeats_ = 0;
  double repeat_seconds_ = 0;
  std::string failed_label_;
};

// While it lives, the steps of the operations and the batches of the sessions that units of
// work open reach `progress`.
class CloseProgressScope {
 public:
  explicit CloseProgressScope(std::shared_ptr<CloseProgress> progress);
  ~CloseProgressScope();
  CloseProgressScope(const CloseProgressScope&) = delete;
  CloseProgressScope& operator=(const CloseProgressScope&) = delete;
};

}  // namespace morvesk::cli
