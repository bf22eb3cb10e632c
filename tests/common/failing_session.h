// Fault injection through the data provider: the engine's session, except that a chosen
// batch fails as a database error would, without running. Installed for every session the
// host opens from then on, so that an operation's own failure path can be watched.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/ado/engine_provider.h"
#include "platform/ado/forwarding_session.h"
#include "platform/automation/com_error.h"
#include "platform/host/unit_of_work.h"

namespace morvesk::test {

class FailingSession : public ado::ForwardingSession {
 public:
  // Fails the nth batch containing `marker`; with nth 0, every one.
  FailingSession(std::unique_ptr<ado::ProviderSession> inner, std::string marker, int nth)
      : ForwardingSession(std::move(inner)), marker_(std::move(marker)), nth_(nth) {}
  ado::ProviderResult Execute(std::string_view text) override {
    if (text.find(marker_) != std::string_view::npos && (nth_ == 0 || --nth_ == 0)) {
      ado::ProviderResult r;
      r.failed = true;
      r.errors.push_back({.number = automation::kErrCommand,
                          .description = "injected failure",
                          .source = "test provider",
                          .native_error = 50000,
                          .sql_state = "42000"});
      return r;
    }
    return ForwardingSession::Execute(text);
  }

 private:
  std::string marker_;
  int nth_;
};

// Sessions opened from now on fail as FailingSession says; host::SetSessionOpener(nullptr)
// ends it.
inline void FailSessionsOn(const std::string& marker, int nth) {
  host::SetSessionOpener([marker, nth](const host::ConnectionDescription& d) {
    return std::make_unique<FailingSession>(ado::OpenEngineSession(d.data_source), marker, nth);
  });
}

}  // namespace morvesk::test
