// The built `morvesk` binary started without waiting for it, for tests of two commands at
// once: its output goes to files of its own, and Wait gives the outcome.
#pragma once

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "tests/tools/tool_fixture.h"

extern char** environ;

namespace morvesk::test {

class BackgroundRun {
 public:
  // Runs `morvesk ARGS` (quoted for the shell) with stdout and stderr in `stem`.out/.err.
  BackgroundRun(const std::string& args, const std::string& stem) : stem_(stem) {
    const std::string cmd = "exec " + std::string(MORVESK_BINARY_DIR) + "/bin/morvesk " + args +
                            " < /dev/null > '" + stem + ".out' 2> '" + stem + ".err'";
    const char* argv[] = {"/bin/sh", "-c", cmd.c_str(), nullptr};
    if (posix_spawn(&pid_, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ) != 0) {
      pid_ = -1;
    }
  }
  ~BackgroundRun() {
    if (pid_ > 0 && !done_) {
      kill(pid_, SIGKILL);
      Wait();
    }
  }

  // True while the command runs.
  bool Running() {
    if (done_ || pid_ <= 0) return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) Finish(status);
    return !done_;
  }

  Outcome Wait() {
    if (!done_ && pid_ > 0) {
      int status = 0;
      while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
      }
      Finish(status);
    }
    return outcome_;
  }

 private:
  void Finish(int status) {
    done_ = true;
    outcome_ = {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(stem_ + ".out"),
                ReadFile(stem_ + ".err")};
  }

  std::string stem_;
  pid_t pid_ = -1;
  bool done_ = false;
  Outcome outcome_;
};

inline void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace morvesk::test
