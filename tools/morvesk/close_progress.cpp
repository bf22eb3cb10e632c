#include "tools/morvesk/close_progress.h"

#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "platform/ado/forwarding_session.h"
#include "platform/host/provider_choice.h"
#include "platform/host/step_progress.h"
#include "platform/host/unit_of_work.h"

namespace morvesk::cli {
namespace {

// The steps of the period close in the order it runs them (the batch-level ones are its
// batch-tracked stage's): the share done is counted against them.
constexpr const char* kCloseSteps[] = {
    "shelf-life dates",     "period balances",       "spreading price adjustments",
    "stock balances",       "carry-forward",         "clean-up",
    "batch-level balances", "batch-level spreading", "batch-level write-back"};
constexpr int kStepCount = static_cast<int>(std::size(kCloseSteps));

double SecondsSince(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

// What a batch does, in a few words: its first line that is not a session setting, a
// declaration or a comment.
std::string BatchLabel(std::string_view text) {
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string line(text.substr(pos, end - pos));
    pos = end + 1;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    size_t first = line.find_first_not_of(' ');
    if (first == std::string::npos) continue;
    line.erase(0, first);
    std::string folded;
    for (char c : line.substr(0, 14)) folded += static_cast<char>(std::tolower(c));
    if (folded.rfind("set nocount on", 0) == 0 && line.size() <= 15) continue;
    if (folded.rfind("declare", 0) == 0 || folded.rfind("--", 0) == 0) continue;
    if (folded.rfind("set nocount on", 0) == 0) line.erase(0, 15);
    if (line.size() > 72) line = line.substr(0, 69) + "...";
    return line;
  }
  return "(empty batch)";
}

// The engine's session with every batch timed and reported.
class ReportingSession : public ado::ForwardingSession {
 public:
  ReportingSession(std::unique_ptr<ado::ProviderSession> inner,
                   std::shared_ptr<CloseProgress> progress)
      : ForwardingSession(std::move(inner)), progress_(std::move(progress)) {}

  ado::ProviderResult Execute(std::string_view text) override {
    // MORVESK_CLOSE_TRACE=FILE keeps every batch the close sends, GO-separated, for replay
    // with `morvesk sql -f FILE`.
    if (const char* trace = std::getenv("MORVESK_CLOSE_TRACE")) {
      if (FILE* f = std::fopen(trace, "a")) {
        std::fwrite(text.data(), 1, text.size(), f);
        std::fputs("\r\nGO\r\n", f);
        std::fclose(f);
      }
    }
    const Clock::time_point t0 = Clock::now();
    ado::ProviderResult r = ForwardingSession::Execute(text);
    progress_->Batch(text, SecondsSince(t0), r.failed);
    return r;
  }
  ado::ProviderResult CallProcedure(std::string_view name,
                                    std::vector<ado::ProviderParam>& params) override {
    const Clock::time_point t0 = Clock::now();
    ado::ProviderResult r = ForwardingSession::CallProcedure(name, params);
    progress_->Batch("Exec " + std::string(name), SecondsSince(t0), r.failed);
    return r;
  }

 private:
  std::shared_ptr<CloseProgress> progress_;
};

}  // namespace

CloseProgress::CloseProgress(Clock::time_point start, bool verbose)
    : start_(start), verbose_(verbose), live_(!verbose && isatty(STDERR_FILENO) != 0) {}

double CloseProgress::Elapsed() const { return SecondsSince(start_); }

void CloseProgress::Step(std::string_view name) {
  EndStep();
  int done = 0;
  while (done < kStepCount && name != kCloseSteps[done]) ++done;
  char share[8] = "    ";
  if (done < kStepCount) std::snprintf(share, sizeof share, "%3d%%", done * 100 / kStepCount);
  std::fprintf(stderr, "[%8.2fs] %s  %.*s", Elapsed(), share, static_cast<int>(name.size()),
               name.data());
  steps_.push_back({std::string(name), Clock::now(), share});
  // On a terminal the line stays open, and the step's batches are counted on it as they go.
  if (live_) {
    std::fflush(stderr);
    line_open_ = true;
    last_draw_ = Clock::now();
  } else {
    std::fputc('\n', stderr);
  }
}

void CloseProgress::Redraw() {
  // The step's line keeps the time it began; what it has done so far follows its name.
  const StepRun& s = steps_.back();
  std::fprintf(stderr, "\r[%8.2fs] %s  %s: %ld batch(es), %.2f s\033[K",
               std::chrono::duration<double>(s.began - start_).count(), s.share.c_str(),
               s.name.c_str(), static_cast<long>(s.batches), SecondsSince(s.began));
  std::fflush(stderr);
  last_draw_ = Clock::now();
}

void CloseProgress::CloseLine() {
  if (!line_open_) return;
  Redraw();
  std::fputc('\n', stderr);
  line_open_ = false;
}

void CloseProgress::Batch(std::string_view text, double seconds, bool failed) {
  if (!steps_.empty()) ++steps_.back().batches;
  if (line_open_ && Clock::now() - last_draw_ > std::chrono::milliseconds(200)) Redraw();
  std::string label = BatchLabel(text);
  if (failed) failed_label_ = label;
  if (!verbose_) return;
  CloseLine();
  if (label == last_label_ && !failed) {
    ++repeats_;
    repeat_seconds_ += seconds;
    return;
  }
  FlushRepeats();
  std::fprintf(stderr, "[%8.2fs]       %-72s %8.3fs%s\n", Elapsed(), label.c_str(), seconds,
               failed ? "  FAILED" : "");
  // The whole text of a failing batch, so that the failure can be run again by hand.
  if (failed) std::cerr << "---- failing batch ----\n" << text << "\n-----------------------\n";
  last_label_ = failed ? std::string() : label;
}

void CloseProgress::FlushRepeats() {
  if (repeats_ > 0) {
    std::fprintf(stderr, "[%8.2fs]         ... %ld more like it %47s %8.3fs\n", Elapsed(),
                 static_cast<long>(repeats_), "", repeat_seconds_);
  }
  repeats_ = 0;
  repeat_seconds_ = 0;
}

void CloseProgress::EndStep() {
  CloseLine();
  FlushRepeats();
  if (!steps_.empty() && steps_.back().running) {
    steps_.back().seconds = SecondsSince(steps_.back().began);
    steps_.back().running = false;
  }
}

void CloseProgress::Finish(bool ok) {
  EndStep();
  if (ok) {
    std::fprintf(stderr, "[%8.2fs] 100%%  closed\n", Elapsed());
  } else if (!steps_.empty()) {
    std::fprintf(stderr, "[%8.2fs]       failed in step \"%s\"%s%s\n", Elapsed(),
                 steps_.back().name.c_str(),
                 failed_label_.empty() ? "" : ", at: ", failed_label_.c_str());
  }
}

Table CloseProgress::StepTimes() const {
  Table t;
  t.columns = {"step", "batches", "seconds"};
  for (const StepRun& s : steps_) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.2f", s.seconds);
    t.rows.push_back(
        {Cell::Text(s.name), Cell::Number(std::to_string(s.batches)), Cell::Number(seconds)});
  }
  return t;
}

CloseProgressScope::CloseProgressScope(std::shared_ptr<CloseProgress> progress) {
  host::SetSessionOpener([progress](const host::ConnectionDescription& desc) {
    return std::make_unique<ReportingSession>(host::OpenProviderSession(desc), progress);
  });
  host::SetStepListener([progress](std::string_view step) { progress->Step(step); });
}

CloseProgressScope::~CloseProgressScope() {
  host::SetStepListener(nullptr);
  host::SetSessionOpener(nullptr);
}

}  // namespace morvesk::cli
