#include "readers/unit_cost.h"

#include <memory>

#include "frame/conventions.h"
#include "platform/ado/command.h"
#include "platform/ado/connection.h"

namespace morvesk::readers {

using automation::Variant;
using automation::VarType;

bool Calcualte(frame::ServiceFrame& self, const std::string& oDsN, int32_t CalculateType,
               int32_t StockID, int32_t ItemID, int32_t PriceDeciaml, const std::string& BatchNo,
               int32_t CalcPeriod) {
  return frame::TrapAndRaise(self, frame::CompletionAtStart::kNo, [&] {
    self.BindSession(oDsN);
    std::shared_ptr<ado::Connection> cnn = self.Connection();
    const bool calc_period = CalcPeriod != 0;
    const bool by_batch = !BatchNo.empty();

    auto cmd = ado::Command::Create();
    cmd->SetActiveConnection(cnn);
    cmd->SetCommandType(ado::CommandType::kStoredProc);
    cmd->SetCommandText(by_batch ? "sp_calculate80" : "sp_calculate76");
    cmd->SetCommandTimeout(0);
    ado::ParameterCollection& p = cmd->Parameters();
    using ado::DataType;
    using ado::ParameterDirection;
    p.Append(cmd->CreateParameter("@StockID", DataType::kInteger, ParameterDirection::kInputOutput,
                                  0, Variant(StockID)));
    p.Append(cmd->CreateParameter("@ItemID", DataType::kInteger, ParameterDirection::kInput, 0,
                                  Variant(ItemID)));
    if (by_batch) {
      p.Append(cmd->CreateParameter("@BatchNo", DataType::kVarChar, ParameterDirection::kInput, 80,
                                    Variant(BatchNo)));
    }
    p.Append(cmd->CreateParameter("@CalculateType", DataType::kBoolean, ParameterDirection::kInput,
                                  0, Variant(CalculateType != 0)));
    // smallint: a digit count beyond its range is an overflow, as the server
    // would report.
    p.Append(cmd->CreateParameter("@Decimal", DataType::kSmallInt, ParameterDirection::kInput, 0,
                                  Variant(PriceDeciaml).ChangeType(VarType::kShort)));
    p.Append(cmd->CreateParameter("@CalcPeriod", DataType::kBoolean, ParameterDirection::kInput, 0,
                                  Variant(calc_period)));
    cmd->Execute();

    const Variant status = p.Item(Variant(int32_t{0}))->value;
    const bool ok = status.is_null() || status.is_empty() || status.ToLong() != -1;
    self.SetComplete();
    return ok;
  });
}

}  // namespace morvesk::readers
