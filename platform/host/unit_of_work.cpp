#include "platform/host/unit_of_work.h"

#include <exception>
#include <filesystem>
#include <mutex>

#include "base/connection_secrets.h"
#include "platform/automation/com_error.h"
#include "platform/host/app_connection.h"
#include "platform/host/provider_choice.h"
#include "platform/host/transaction_guard.h"

namespace morvesk::host {
namespace {

using automation::ComError;

thread_local UnitOfWork* t_current = nullptr;

std::mutex g_opener_mu;
SessionOpener g_opener;

std::unique_ptr<ado::ProviderSession> OpenSession(const ConnectionDescription& d) {
  SessionOpener opener;
  {
    std::lock_guard lock(g_opener_mu);
    opener = g_opener;
  }
  if (opener) return opener(d);
  return OpenProviderSession(d);
}

// Where a description's database lives, to tell two descriptions of one file apart
// from two databases.
std::string Resolve(const ConnectionDescription& d) {
  if (d.data_source == ":memory:" || d.is_odbc()) return d.data_source;
  std::error_code ec;
  auto p = std::filesystem::weakly_canonical(d.data_source, ec);
  return ec ? d.data_source : p.string();
}

}  // namespace

void SetSessionOpener(SessionOpener opener) {
  std::lock_guard lock(g_opener_mu);
  g_opener = std::move(opener);
}

UnitOfWork* UnitOfWork::Current() { return t_current; }

void UnitOfWork::Bind(std::string_view description) {
  ConnectionDescription d = ParseConnectionDescription(description);
  std::string resolved = Resolve(d);
  if (session_) {
    if (resolved != resolved_source_) {
      throw ComError(automation::kErrFail, kAppConnectionProgId,
                     "This call already works on \"" + resolved_source_ +
                         "\"; one call cannot bind a second database \"" +
                         base::MaskPasswords(d.data_source) + "\"");
    }
    return;
  }
  description_ = std::move(d);
}

std::shared_ptr<ado::Connection> UnitOfWork::Connection() {
  if (connection_) return connection_;
  if (!description_) {
    throw ComError(automation::kErrFail, kAppConnectionProgId,
                   "No connection description was bound before the connection was asked for");
  }
  std::shared_ptr<ado::ProviderSession> session = OpenSession(*description_);
  session->BeginTransaction();
  session_ = std::make_shared<TransactionGuard>(std::move(session));
  resolved_source_ = Resolve(*description_);
  connection_ = ado::Connection::Create(session_);
  return connection_;
}

void UnitOfWork::Finish(bool error_leaving) {
  if (!session_) return;
  std::shared_ptr<ado::ProviderSession> session = std::move(session_);
  session_.reset();
  // A record set handed to the caller still attached (direct SQL) keeps the connection
  // after the call, as a pooled connection outlives the host's transaction: it then
  // runs each statement on its own, outside any transaction.
  const bool kept_by_caller = connection_ && connection_.use_count() > 1;
  if (connection_ && !kept_by_caller) connection_->Close();
  connection_.reset();
  // The last vote decides; without one, the way the call ends does.
  bool commit = vote_ == Vote::kComplete || (vote_ == Vote::kNone && !error_leaving);
  // A transaction the database rolled back during the call cannot be completed.
  if (auto* guard = dynamic_cast<TransactionGuard*>(session.get())) {
    guard->Disarm();
    if (guard->lost()) commit = false;
  }
  if (!session->InTransaction()) return;
  if (commit) {
    session->Commit();
  } else {
    session->Rollback();
  }
}

CallScope::CallScope() : uncaught_at_start_(std::uncaught_exceptions()) {
  if (t_current == nullptr) {
    owned_ = std::make_unique<UnitOfWork>();
    t_current = owned_.get();
  }
  unit_ = t_current;
}

CallScope::~CallScope() noexcept(false) {
  if (!owned_) return;
  t_current = nullptr;
  const bool error_leaving = std::uncaught_exceptions() > uncaught_at_start_;
  if (error_leaving) {
    try {
      owned_->Finish(true);
    } catch (const ComError&) {
      // The call is already failing with its own error; a failed rollback loses
      // nothing more, since closing the session discards the open transaction.
    }
    return;
  }
  owned_->Finish(false);
}

}  // namespace morvesk::host
