// A provider session for data-access and host tests: answers batches from a script,
// records what it was asked and what happened to its transaction, and can be told
// to fail. Stands in for the engine where a test is about the layer above it.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/ado/provider.h"

namespace morvesk::testing {

struct FakeLog {
  std::vector<std::string> batches;
  int begins = 0;
  int commits = 0;
  int rollbacks = 0;
  int opened = 0;
};

class FakeSession : public ado::ProviderSession {
 public:
  using ProcHandler = std::function<ado::ProviderResult(std::vector<ado::ProviderParam>&)>;

  explicit FakeSession(std::shared_ptr<FakeLog> log, std::string source = "fake.db")
      : log_(std::move(log)), source_(std::move(source)) {
    ++log_->opened;
  }

  // Scripted answer for a batch text; unknown texts answer with no rows.
  std::map<std::string, ado::ProviderResult> answers;
  std::map<std::string, ProcHandler> procedures;

  ado::ProviderResult Execute(std::string_view text) override {
    log_->batches.emplace_back(text);
    auto it = answers.find(std::string(text));
    return it == answers.end() ? ado::ProviderResult{} : it->second;
  }
  ado::ProviderResult CallProcedure(std::string_view name,
                                    std::vector<ado::ProviderParam>& params) override {
    log_->batches.push_back("EXEC " + std::string(name));
    auto it = procedures.find(std::string(name));
    if (it == procedures.end()) {
      ado::ProviderResult r;
      r.errors.push_back({static_cast<int32_t>(0x80040E14),
                          "Could not find stored procedure '" + std::string(name) + "'.",
                          "fake", 2812, "42000", false});
      r.failed = true;
      return r;
    }
    return it->second(params);
  }
  void BeginTransaction() override {
    ++log_->begins;
    in_tx_ = true;
  }
  void Commit() override {
    ++log_->commits;
    in_tx_ = false;
  }
  void Rollback() override {
    ++log_->rollbacks;
    in_tx_ = false;
  }
  bool InTransaction() const override { return in_tx_; }
  std::string DataSource() const override { return source_; }

 private:
  std::shared_ptr<FakeLog> log_;
  std::string source_;
  bool in_tx_ = false;
};

inline ado::Rowset MakeRowset(std::vector<ado::ColumnInfo> columns,
                              std::vector<std::vector<automation::Variant>> rows) {
  return ado::Rowset{std::move(columns), std::move(rows)};
}

}  // namespace morvesk::testing
