// The host's unit of work: one per top-level call on a service object, on the
// caller's thread. It holds the call's connection description, its one connection
// (opened on first request, inside a transaction) and the vote. A nested public call
// on the same thread joins it and so shares the connection, temporary tables and
// transaction. At the end of the top-level call the last vote decides: completion
// commits, abort rolls back; with no vote, a normal return commits and an error
// leaving the call rolls back. The connection is then closed.
//
// Service classes wrap each public call in a CallScope:
//   Variant Invoke...(...) { host::CallScope scope; return RunOperation(...); }
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/ado/connection.h"
#include "platform/ado/provider.h"
#include "platform/host/connection_description.h"

namespace morvesk::host {

enum class Vote : uint8_t { kNone, kComplete, kAbort };

class UnitOfWork {
 public:
  // The unit of work of this thread's running call, or null outside any CallScope.
  static UnitOfWork* Current();

  // Names the database of this unit of work. Throws ComError when the description
  // names nothing usable (no data source, a file that does not exist) or when a
  // connection to another database is already open in this unit of work.
  void Bind(std::string_view description);
  // The unit of work's connection, opened (and its transaction begun) on first call.
  // Throws ComError when nothing was bound or the database cannot be opened.
  std::shared_ptr<ado::Connection> Connection();
  void SetComplete() { vote_ = Vote::kComplete; }
  void SetAbort() { vote_ = Vote::kAbort; }
  Vote vote() const { return vote_; }
  bool has_connection() const { return session_ != nullptr; }

 private:
  friend class CallScope;
  // Commits or rolls back and closes the session. Returns normally or throws ComError
  // when a commit fails (the session is closed either way).
  void Finish(bool error_leaving);

  std::optional<ConnectionDescription> description_;
  std::string resolved_source_;  // the absolute path (or ":memory:") of the open session
  std::shared_ptr<ado::ProviderSession> session_;
  std::shared_ptr<ado::Connection> connection_;
  Vote vote_ = Vote::kNone;
};

class CallScope {
 public:
  CallScope();
  // Top level: ends the unit of work (see above). A commit failure is raised when no
  // other exception is leaving the call.
  ~CallScope() noexcept(false);
  CallScope(const CallScope&) = delete;
  CallScope& operator=(const CallScope&) = delete;

  bool is_top_level() const { return owned_ != nullptr; }
  UnitOfWork& unit() const { return *unit_; }

 private:
  std::unique_ptr<UnitOfWork> owned_;
  UnitOfWork* unit_;
  int uncaught_at_start_;
};

// How a unit of work opens a session for a description. The default opens the
// provider the description names (provider_choice.h). Tests and fault injection
// replace it; null restores the default. Process-wide.
using SessionOpener =
    std::function<std::unique_ptr<ado::ProviderSession>(const ConnectionDescription&)>;
void SetSessionOpener(SessionOpener opener);

}  // namespace morvesk::host
