// A company database served over TDS for the suite: a copy of the demo company, a login in
// the users file beside it, and `morvesk serve` started on a free loopback port in a child
// process, stopped (SIGTERM, then waited for) when the object goes. The ODBC description
// that reaches it goes through the Debian-packaged FreeTDS driver.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>

#include "company/company.h"

namespace morvesk::test {

inline constexpr char kLogin[] = "closer";
inline constexpr char kPassword[] = "Pa55-word-7";

// The tool of the same build: tests know the build folder; a benchmark, which lives in
// <build>/bench, finds it beside its own folder.
// A file in the temporary folder named for this process, so that the suites' tests, which
// ctest runs side by side, each work on companies of their own.
inline std::string TempCompany(const std::string& name) {
  return (std::filesystem::temp_directory_path() /
          ("morvesk-odbc-" + name + "-" + std::to_string(getpid()) + ".db"))
      .string();
}

inline std::string MorveskBinary() {
#ifdef MORVESK_BINARY_DIR
  return std::string(MORVESK_BINARY_DIR) + "/bin/morvesk";
#else
  return (std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() / "bin" /
          "morvesk")
      .string();
#endif
}

// A port nobody listens on now: one the kernel hands out for a socket bound to port 0.
inline int FreeLoopbackPort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = 0;
  socklen_t len = sizeof a;
  if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    close(fd);
    throw std::runtime_error("no free loopback port");
  }
  close(fd);
  return ntohs(a.sin_port);
}

inline bool Accepts(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<uint16_t>(port));
  const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  close(fd);
  return ok;
}

// A company file with the journals and lock file the engine and the tool keep beside it.
inline void RemoveCompanyFiles(const std::string& path) {
  for (const char* suffix : {"", "-journal", "-wal", "-shm", "-hold"}) {
    std::filesystem::remove(path + suffix);
  }
}

// The demo company at `path`, made afresh.
inline void MakeDemoCompany(const std::string& path) {
  company::GenerateOptions demo;
  company::CreateCompany(path, demo, /*force=*/true);
}

class ServeProcess {
 public:
  // Serves `company` (which must exist) with the suite's login.
  explicit ServeProcess(std::string company) : company_(std::move(company)) {
    users_ = company_ + ".users";
    std::filesystem::remove(users_);
    const std::string add = "printf '%s\\n' '" + std::string(kPassword) + "' | '" +
                            MorveskBinary() + "' user add " + kLogin + " --users '" + users_ +
                            "' >/dev/null 2>&1";
    if (std::system(add.c_str()) != 0) throw std::runtime_error("morvesk user add failed");
    port_ = FreeLoopbackPort();
    log_ = company_ + ".serve.log";
    pid_ = fork();
    if (pid_ == 0) {
      FILE* out = std::freopen(log_.c_str(), "w", stderr);
      (void)out;
      const std::string listen = "127.0.0.1:" + std::to_string(port_);
      const std::string binary = MorveskBinary();
      execl(binary.c_str(), binary.c_str(), "serve", "--db", company_.c_str(), "--listen",
            listen.c_str(), "--users", users_.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    for (int i = 0; i < 200 && !Accepts(port_); ++i) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        throw std::runtime_error("morvesk serve ended at start; see " + log_);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (!Accepts(port_)) throw std::runtime_error("morvesk serve does not listen; see " + log_);
  }

  ~ServeProcess() { Stop(); }
  ServeProcess(const ServeProcess&) = delete;
  ServeProcess& operator=(const ServeProcess&) = delete;

  // Ends the server and waits for it, so that the company file is no longer in use.
  void Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    int status = 0;
    for (int i = 0; i < 100; ++i) {
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
      pid_ = -1;
    }
    std::filesystem::remove(users_);
    std::filesystem::remove(log_);
  }

  int port() const { return port_; }
  const std::string& log() const { return log_; }

  // The description a client passes: the FreeTDS driver by its registered name.
  std::string Description(const std::string& password = kPassword) const {
    return "Driver={FreeTDS};Server=127.0.0.1;Port=" + std::to_string(port_) +
           ";TDS_Version=7.4;UID=" + kLogin + ";PWD=" + password + ";ClientCharset=UTF-8";
  }

 private:
  std::string company_;
  std::string users_;
  std::string log_;
  int port_ = 0;
  pid_t pid_ = -1;
};

}  // namespace morvesk::test
