// The data-access connection: runs T-SQL text on one provider session, keeps the
// Errors collection of the last operation and raises the first error as ComError.
// Also a late-bound object (Execute, Errors, CommandTimeout, Close, State).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ado/provider.h"
#include "platform/ado/types.h"
#include "platform/automation/dispatch_object.h"

namespace morvesk::ado {

class Recordset;

class Connection : public automation::DispatchObject<Connection> {
 public:
  static std::shared_ptr<Connection> Create(std::shared_ptr<ProviderSession> session);
  explicit Connection(std::shared_ptr<ProviderSession> session);
  static const automation::DispatchTable<Connection>& Table();
  std::string ErrorSource() const override;

  // Runs a batch. The result is a Recordset open on the batch's first result set
  // (later ones through NextRecordset), or a closed Recordset when the batch returned
  // no rows; never null. Every error and warning of the batch is listed in Errors();
  // when there is an error, ComError is raised with the first error's number and
  // description. `options` is accepted as the library passes it (-1) and not used.
  std::shared_ptr<Recordset> Execute(std::string_view text, int64_t* records_affected = nullptr,
                                     int32_t options = kOptionUnspecified);

  // Runs a procedure for Command: same Errors and raising rules as Execute.
  ProviderResult CallProcedure(std::string_view name, std::vector<ProviderParam>& params);

  // Errors and warnings of the last Execute / CallProcedure (cleared at their start).
  const std::vector<ErrorRecord>& Errors() const { return errors_; }

  // Seconds a statement may run (0: no limit), handed to the provider with each batch or
  // call; the embedded engine runs every statement to its end.
  int32_t CommandTimeout() const { return command_timeout_; }
  void SetCommandTimeout(int32_t seconds) { command_timeout_ = seconds; }

  bool IsOpen() const { return session_ != nullptr; }
  // Drops this object's hold on the session; the session's owner (the host's unit of
  // work) still decides its transaction.
  void Close();
  // Throws ComError kErrObjectClosed when closed.
  ProviderSession& Session() const;

  // Shared pointer to this connection (Dispatch and Connection share one object).
  std::shared_ptr<Connection> Self();

 private:
  ProviderResult Check(ProviderResult result);
  std::shared_ptr<ProviderSession> session_;
  std::vector<ErrorRecord> errors_;
  int32_t command_timeout_ = 30;
};

}  // namespace morvesk::ado
