#include "tools/morvesk/company_hold.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <iostream>

namespace morvesk::cli {
namespace {

// What the lock file says about its holder: "a close (process 123, started 2026-12-06 19:20:01)".
// A holder writes its note just after it takes the lock, so a note still empty is read again
// for a moment before the holder goes unnamed.
std::string Holder(int fd) {
  for (int attempt = 0; attempt < 10; ++attempt) {
    char buf[256];
    const ssize_t n = pread(fd, buf, sizeof buf - 1, 0);
    std::string text(buf, n > 0 ? static_cast<size_t>(n) : 0);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    if (!text.empty()) return text;
    usleep(20'000);
  }
  return "another command";
}

void WriteHolder(int fd, const std::string& command) {
  char when[32] = "";
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  if (localtime_r(&now, &local)) std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &local);
  const std::string text =
      "a " + command + " (process " + std::to_string(getpid()) + ", started " + when + ")\n";
  // Only a note for the message of the next command: a failure to write it changes nothing.
  if (ftruncate(fd, 0) == 0) {
    [[maybe_unused]] ssize_t n = pwrite(fd, text.data(), text.size(), 0);
  }
}

int FlockRetrying(int fd, int operation) {
  int rc;
  do {
    rc = flock(fd, operation);
  } while (rc != 0 && errno == EINTR);
  return rc;
}

}  // namespace

std::unique_ptr<CompanyHold> CompanyHold::Take(const std::string& path, const std::string& command,
                                               bool wait, bool* waited) {
  if (waited) *waited = false;
  if (access(path.c_str(), F_OK) != 0) return nullptr;
  const std::string lock_path = path + "-hold";
  int fd = open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) fd = open(lock_path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  if (FlockRetrying(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno != EWOULDBLOCK) {
      close(fd);
      return nullptr;
    }
    const std::string holder = Holder(fd);
    if (!wait) {
      close(fd);
      throw CompanyBusy(holder + " is running on this company");
    }
    std::cerr << "morvesk " << command << ": waiting for " << holder << " to end\n";
    if (FlockRetrying(fd, LOCK_EX) != 0) {
      close(fd);
      return nullptr;
    }
    if (waited) *waited = true;
  }
  WriteHolder(fd, command);
  return std::unique_ptr<CompanyHold>(new CompanyHold(fd));
}

CompanyHold::~CompanyHold() {
  // The note goes with the hold; the file stays, since removing it would let a command that
  // opened it a moment before hold a file no other command sees.
  if (ftruncate(fd_, 0) != 0) {
    // Nothing to do: a stale note only words the next message.
  }
  close(fd_);
}

}  // namespace morvesk::cli
