// The session a unit of work hands out. A batch-aborting error (a failed conversion, a
// deadlock) rolls the open transaction back, as the server does; the unit of work's
// transaction is then gone while its call goes on. Without a guard, the statements that
// follow in the same call would commit one by one, and the call's abort could no longer
// undo them. The guard notices the loss after each statement, runs what follows in a fresh
// transaction, and tells the unit of work that it can only roll back.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ado/forwarding_session.h"

namespace morvesk::host {

class TransactionGuard : public ado::ForwardingSession {
 public:
  // `inner` has its transaction begun.
  explicit TransactionGuard(std::shared_ptr<ado::ProviderSession> inner)
      : ForwardingSession(std::move(inner)) {}

  ado::ProviderResult Execute(std::string_view text) override;
  ado::ProviderResult CallProcedure(std::string_view name,
                                    std::vector<ado::ProviderParam>& params) override;

  // Whether the database rolled the unit of work's transaction back during the call.
  bool lost() const { return lost_; }
  // At the end of the call: a connection the caller keeps afterwards runs each statement on
  // its own, so no transaction is begun for it any more.
  void Disarm() { armed_ = false; }

 private:
  void Check();

  bool lost_ = false;
  bool armed_ = true;
};

}  // namespace morvesk::host
