// The hold a command keeps on a company while it changes its periods (close, reopen, maintain):
// from its first check to its summary, no second such command works on the same company, so
// none of them acts on a current period that another is about to move.
//
// The hold is an exclusive flock() on a lock file beside the company file ("FILE-hold"). The
// kernel drops it when the process ends however it ends, so a killed command never leaves the
// company held. The file keeps the holder's command, process id and start time, for the
// message the next command prints while it is refused or waits.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>

namespace morvesk::cli {

// Another command holds the company and the caller did not ask to wait.
struct CompanyBusy : std::runtime_error {
  using std::runtime_error::runtime_error;
};

class CompanyHold {
 public:
  // Holds the company file `path` for `command` ("close", "reopen", "maintain"). When another
  // holds it: waits for it to end if `wait` (telling so on stderr, and setting `*waited`), or
  // throws CompanyBusy naming the holder. A company whose folder cannot take the lock file
  // (a read-only folder, a missing file) is not held: what the command then writes fails on
  // its own, with its own message.
  static std::unique_ptr<CompanyHold> Take(const std::string& path, const std::string& command,
                                           bool wait, bool* waited = nullptr);
  ~CompanyHold();
  CompanyHold(const CompanyHold&) = delete;
  CompanyHold& operator=(const CompanyHold&) = delete;

 private:
  explicit CompanyHold(int fd) : fd_(fd) {}
  int fd_;
};

}  // namespace morvesk::cli
