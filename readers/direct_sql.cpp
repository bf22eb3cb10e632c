#include "readers/direct_sql.h"

#include "frame/conventions.h"
#include "platform/ado/command.h"
#include "platform/ado/connection.h"
#include "platform/automation/com_error.h"

namespace morvesk::readers {

using automation::ComError;
using automation::Variant;

int32_t GetBillID(frame::ServiceFrame& self, const std::string& sCnn, const std::string& sTable) {
  self.SetComplete();
  self.BindSession(sCnn);
  std::shared_ptr<ado::Connection> cnn = self.Connection();
  auto cmd = ado::Command::Create();
  cmd->SetActiveConnection(cnn);
  cmd->SetCommandType(ado::CommandType::kStoredProc);
  cmd->SetCommandText("GetICMaxNum");
  ado::ParameterCollection& p = cmd->Parameters();
  p.Append(cmd->CreateParameter("@TableName", ado::DataType::kVarChar,
                                ado::ParameterDirection::kInput, 50, Variant(sTable)));
  p.Append(cmd->CreateParameter("@FInterID", ado::DataType::kInteger,
                                ado::ParameterDirection::kOutput, 0, Variant(int32_t{0})));
  cmd->Execute();
  return p.Item(Variant(int32_t{1}))->value.ToLong();
}

std::shared_ptr<ado::Recordset> ExecuteSQL(frame::ServiceFrame& self, const std::string& sDsn,
                                           const std::string& SQLStr) {
  self.BindSession(sDsn);
  std::shared_ptr<ado::Connection> cnn = self.Connection();
  self.SetComplete();
  auto rs = ado::Recordset::Create();
  rs->SetCursorLocation(ado::CursorLocation::kClient);
  rs->Open(SQLStr, cnn, ado::CursorType::kDynamic, ado::LockType::kOptimistic);
  return rs;
}

void UpdateDB(frame::ServiceFrame& self, const std::string& oDsN, const std::string& SQLStr) {
  frame::TrapAndRaise(self, frame::CompletionAtStart::kNo, [&] {
    self.BindSession(oDsN);
    std::shared_ptr<ado::Connection> cnn = self.Connection();
    cnn->SetCommandTimeout(0);
    cnn->Execute(SQLStr);
    if (!cnn->Errors().empty()) {
      const ado::ErrorRecord& first = cnn->Errors().front();
      throw ComError(first.number, self.source(), first.description);
    }
    self.SetComplete();
  });
}

}  // namespace morvesk::readers
