// A session that passes every call to another one: the base of sessions that watch or
// change only some calls (the unit of work's guard, the close's progress report, faults
// injected by tests), so that a call none of them overrides still reaches the database.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/ado/provider.h"

namespace morvesk::ado {

class ForwardingSession : public ProviderSession {
 public:
  explicit ForwardingSession(std::shared_ptr<ProviderSession> inner) : inner_(std::move(inner)) {}

  ProviderResult Execute(std::string_view text) override { return inner_->Execute(text); }
  ProviderResult CallProcedure(std::string_view name, std::vector<ProviderParam>& params) override {
    return inner_->CallProcedure(name, params);
  }
  void BeginTransaction() override { inner_->BeginTransaction(); }
  void Commit() override { inner_->Commit(); }
  void Rollback() override { inner_->Rollback(); }
  bool InTransaction() const override { return inner_->InTransaction(); }
  std::string DataSource() const override { return inner_->DataSource(); }
  std::optional<TableShape> DescribeTable(std::string_view name) override {
    return inner_->DescribeTable(name);
  }
  void SetCommandTimeout(int32_t seconds) override { inner_->SetCommandTimeout(seconds); }

 protected:
  ProviderSession& inner() { return *inner_; }

 private:
  std::shared_ptr<ProviderSession> inner_;
};

}  // namespace morvesk::ado
