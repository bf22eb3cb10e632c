// The built `morvesk` binary run as a person runs it: a folder of its own per
// test, standard input from a text, standard output and error and the exit code
// read back.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace morvesk::test {

struct Outcome {
  int exit_code = -1;
  std::string out;
  std::string err;
};

inline std::string ReadFile(const std::filesystem::path &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class ToolFixture : public ::testing::Test {
protected:
  void SetUp() override {
    const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
    // The process id too: two test runs at once (two build trees) must not share it.
    dir_ = std::filesystem::path(::testing::TempDir()) /
           ("morvesk_" + std::string(info->test_suite_name()) + "_" + info->name() + "_" +
            std::to_string(::getpid()));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string Path(const std::string &name) const {
    return (dir_ / name).string();
  }

  // Runs `morvesk ARGS` (ARGS already quoted for the shell), feeding `input` on
  // stdin.
  Outcome Run(const std::string &args, const std::string &input = "") const {
    const std::string in = Path("stdin.txt"), out = Path("stdout.txt"),
                      err = Path("stderr.txt");
    std::ofstream(in, std::ios::binary) << input;
    const std::string cmd = std::string(MORVESK_BINARY_DIR) + "/bin/morvesk " +
                            args + " < '" + in + "' > '" + out + "' 2> '" +
                            err + "'";
    const int status = std::system(cmd.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(out),
            ReadFile(err)};
  }

  // A demo company in the test's folder.
  std::string Demo() const {
    const std::string db = Path("demo.db");
    Outcome o = Run("init --db '" + db + "'");
    EXPECT_EQ(o.exit_code, 0) << o.err;
    return db;
  }

  std::filesystem::path dir_;
};

} // namespace morvesk::test
