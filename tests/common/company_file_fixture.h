// A company database file of its own for each test: the schema loaded, named after the
// test, removed afterwards; setup SQL runs through Run and fails the test at its first error,
// and Dump prints what a query returns.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include <unistd.h>

#include "company/company.h"
#include "engine/engine.h"
#include "tests/common/table_text.h"

namespace morvesk::test {

class CompanyFileFixture : public ::testing::Test {
 protected:
  // `kind` tells the suites' files apart in the temporary directory; the process id keeps
  // two runs of the same suite at once apart.
  void OpenCompany(const std::string& kind) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    path_ = (std::filesystem::temp_directory_path() /
             ("morvesk-" + kind + "-" + std::string(info->test_suite_name()) + "-" + info->name() +
              "-" + std::to_string(getpid()) + ".db"))
                .string();
    std::filesystem::remove(path_);
    db_ = engine::Database::Open(path_);
    sql_ = db_->Connect();
    company::LoadSchema(*sql_);
  }

  void TearDown() override {
    sql_.reset();
    db_.reset();
    std::filesystem::remove(path_);
  }

  void Run(const std::string& text) {
    engine::BatchResult r = sql_->Execute(text);
    ASSERT_TRUE(r.ok()) << r.errors.front().message << "\n" << text;
  }

  // The rows of a query's result sets, one line each, cells printed canonically; an error
  // prints as "error: " and its message.
  std::string Dump(const std::string& query) {
    engine::BatchResult r = sql_->Execute(query);
    if (!r.ok()) return "error: " + r.errors.front().message;
    std::string out;
    for (const engine::Result* rs : r.ResultSets()) {
      out += TableText(*rs, CellStyle::kCanonical);
    }
    return out;
  }

  std::string path_;
  std::shared_ptr<engine::Database> db_;
  std::unique_ptr<engine::Connection> sql_;
};

}  // namespace morvesk::test
