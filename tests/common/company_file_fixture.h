// A company database file of its own for each test: the schema loaded, named after the
// test, removed afterwards; setup SQL runs through Run and fails the test at its first error.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "company/company.h"
#include "engine/engine.h"

namespace morvesk::test {

class CompanyFileFixture : public ::testing::Test {
 protected:
  // `kind` tells the suites' files apart in the temporary directory.
  void OpenCompany(const std::string& kind) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    path_ = (std::filesystem::temp_directory_path() /
             ("morvesk-" + kind + "-" + std::string(info->test_suite_name()) + "-" + info->name() +
              ".db"))
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

  std::string path_;
  std::shared_ptr<engine::Database> db_;
  std::unique_ptr<engine::Connection> sql_;
};

}  // namespace morvesk::test
