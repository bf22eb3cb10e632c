// A demo company served by the built `morvesk serve` on a free loopback port, with one
// login, for tests that drive it with the real clients: FreeTDS's `tsql` and Python's
// pyodbc through the FreeTDS ODBC driver (clients.py). The engine opened directly on the
// same file gives the answers the clients must see. A missing client program fails the
// test; nothing is skipped.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/engine.h"

extern char** environ;

namespace morvesk::test {

struct Outcome {
  int exit_code = -1;
  std::string out;
  std::string err;
};

inline std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Quotes a word for /bin/sh.
inline std::string Sh(const std::string& word) {
  std::string out = "'";
  for (char c : word) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out += c;
    }
  }
  return out + "'";
}

inline constexpr char kUser[] = "tester";
inline constexpr char kPassword[] = "Correct horse 7";

class ServedCompany : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = std::filesystem::temp_directory_path() /
           ("morvesk-serve-" + std::string(info->test_suite_name()) + "-" + info->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    db_ = (dir_ / "shop.db").string();
    ASSERT_EQ(Tool("init --db " + Sh(db_)).exit_code, 0);
    {
      auto db = engine::Database::Open(db_, true);
      auto c = db->Connect();
      c->Execute(
          "CREATE TABLE t_ServeProbe (FID int NOT NULL PRIMARY KEY, FAmount decimal(28,10) NULL,"
          " FDate datetime NULL, FNote nvarchar(255) NULL)");
      c->Execute("INSERT INTO t_ICMaxNum (FTableName, FMaxNum) VALUES ('t_ServeProbe', 0)");
    }
    Outcome added =
        Tool("user add " + std::string(kUser) + " --db " + Sh(db_), std::string(kPassword) + "\n");
    ASSERT_EQ(added.exit_code, 0) << added.err;
    StartServer("");
  }

  void TearDown() override {
    StopServer();
    std::filesystem::remove_all(dir_);
  }

  // Starts `morvesk serve` on the company with `extra` options; waits for its
  // "listening on" line and reads the port from it.
  void StartServer(const std::string& extra) {
    const std::string out = (dir_ / "serve.out").string();
    std::filesystem::remove(out);  // a stopped server's line must not be read as this one's
    const std::string cmd = "exec " + Binary() + " serve --db " + Sh(db_) +
                            " --listen 127.0.0.1:0 " + extra + " > " + Sh(out) + " 2> " +
                            Sh((dir_ / "serve.err").string());
    const char* argv[] = {"/bin/sh", "-c", cmd.c_str(), nullptr};
    ASSERT_EQ(posix_spawn(&pid_, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ),
              0);
    const std::regex listening("listening on 127\\.0\\.0\\.1:([0-9]+)");
    for (int i = 0; i < 300 && port_ == 0; ++i) {
      std::smatch m;
      const std::string text = ReadAll(out);
      if (std::regex_search(text, m, listening)) port_ = std::stoi(m[1]);
      if (port_ == 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_NE(port_, 0) << ReadAll(dir_ / "serve.err");
  }

  void StopServer() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      int status = 0;
      waitpid(pid_, &status, 0);
      pid_ = -1;
      port_ = 0;
    }
  }

  // The server process is still there (it did not fall over on bad input).
  bool ServerAlive() const { return pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == 0; }

  static std::string Binary() { return std::string(MORVESK_BINARY_DIR) + "/bin/morvesk"; }

  Outcome Shell(const std::string& cmd, const std::string& input = "") const {
    const std::string in = (dir_ / "stdin.txt").string(), out = (dir_ / "stdout.txt").string(),
                      err = (dir_ / "stderr.txt").string();
    std::ofstream(in, std::ios::binary) << input;
    const int status =
        std::system((cmd + " < " + Sh(in) + " > " + Sh(out) + " 2> " + Sh(err)).c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadAll(out), ReadAll(err)};
  }

  Outcome Tool(const std::string& args, const std::string& input = "") const {
    return Shell(Binary() + " " + args, input);
  }

  std::string ConnectionString(const std::string& user = kUser,
                               const std::string& password = kPassword) const {
    return "Driver={FreeTDS};Server=127.0.0.1;Port=" + std::to_string(port_) +
           ";TDS_Version=7.4;ClientCharset=UTF-8;UID=" + user + ";PWD=" + password;
  }

  // clients.py COMMAND with the connection string and `args`, under the system's Python
  // (the one the distribution's pyodbc belongs to).
  Outcome Python(const std::string& command, const std::vector<std::string>& args = {},
                 const std::string& cs = "") const {
    std::string cmd = "/usr/bin/python3 " + Sh(std::string(MORVESK_TEST_DIR) + "/clients.py") +
                      " " + command + " " + Sh(cs.empty() ? ConnectionString() : cs);
    for (const std::string& a : args) cmd += " " + Sh(a);
    return Shell(cmd);
  }

  // `tsql` with the script on its standard input; TDS 7.4 unless the environment says.
  Outcome Tsql(const std::string& script, const std::string& user = kUser,
               const std::string& password = kPassword) const {
    return Shell("TDSVER=7.4 tsql -H 127.0.0.1 -p " + std::to_string(port_) + " -U " + Sh(user) +
                     " -P " + Sh(password),
                 script);
  }

  // What the engine itself returns for `sql` on the company file, in the clients' text
  // form: one line per row, fields joined by '|'.
  std::string EngineRows(const std::string& sql) const {
    auto db = engine::Database::Open(db_, true);
    auto c = db->Connect();
    std::string out;
    const engine::BatchResult result = c->Execute(sql);
    for (const engine::Result* r : result.ResultSets()) {
      for (const auto& row : r->rows) {
        for (size_t i = 0; i < row.size(); ++i) out += (i ? "|" : "") + row[i].ToString();
        out += "\n";
      }
    }
    return out;
  }

  // The error the engine itself raises for `sql` (number and text).
  engine::SqlError EngineError(const std::string& sql) const {
    auto db = engine::Database::Open(db_, true);
    auto c = db->Connect();
    try {
      engine::BatchResult r = c->Execute(sql);
      if (!r.errors.empty()) return r.errors.front();
    } catch (const engine::SqlError& e) {
      return e;
    }
    return engine::SqlError(0, 0, "no error");
  }

  std::filesystem::path dir_;
  std::string db_;
  pid_t pid_ = -1;
  int port_ = 0;
};

}  // namespace morvesk::test
