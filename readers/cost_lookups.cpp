#include "readers/cost_lookups.h"

#include <vector>

#include "frame/batch_text.h"
#include "frame/conventions.h"
#include "frame/sql_text.h"
#include "platform/ado/command.h"
#include "platform/ado/connection.h"
#include "platform/ado/recordset.h"
#include "platform/automation/com_error.h"

namespace morvesk::readers {
namespace {

using ado::DataType;
using ado::ParameterDirection;
using automation::ComError;
using automation::Variant;

// Items costed batch by batch carry costing method 80.
bool IsBatchCosted(ado::Connection& cnn, int32_t item_id) {
  std::shared_ptr<ado::Recordset> rs = cnn.Execute(
      "SELECT 'X' FROM dbo.t_ICItem WHERE FTrack = 80 and FItemID = " + frame::Num(item_id));
  return rs->IsOpen() && !rs->Eof();
}

std::shared_ptr<ado::Command> CostCommand(const std::shared_ptr<ado::Connection>& cnn,
                                          const char* procedure, int32_t stock_id, int32_t item_id,
                                          const std::string& batch_no) {
  auto cmd = ado::Command::Create();
  cmd->SetActiveConnection(cnn);
  cmd->SetCommandType(ado::CommandType::kStoredProc);
  cmd->SetCommandText(procedure);
  ado::ParameterCollection& p = cmd->Parameters();
  p.Append(cmd->CreateParameter("@StockID", DataType::kInteger, ParameterDirection::kInput, 0,
                                Variant(stock_id)));
  p.Append(cmd->CreateParameter("@ItemID", DataType::kInteger, ParameterDirection::kInput, 0,
                                Variant(item_id)));
  p.Append(cmd->CreateParameter("@BatchNo", DataType::kVarChar, ParameterDirection::kInput, 80,
                                Variant(batch_no)));
  p.Append(cmd->CreateParameter("@LastCost", DataType::kDouble, ParameterDirection::kOutput, 0,
                                Variant(0.0)));
  return cmd;
}

// The output unit cost; a Null or non-number raises, which the callers turn
// into 0.
double LastCost(ado::Command& cmd) {
  return cmd.Parameters().Item(Variant(int32_t{3}))->value.ToDouble();
}

// A value of the caller's dictionary, read as any dictionary-like object offers
// it.
Variant Setting(automation::Dispatch& dict, const char* key) {
  std::vector<Variant> args{Variant(key)};
  return dict.Invoke(dict.GetIdsOfNames("Item"), args, automation::InvokeKind::kPropertyGet);
}

}  // namespace

double GetCost(frame::ServiceFrame& self, const std::string& sDsn, int32_t StockID, int32_t ItemID,
               const std::string& BatchNo, bool IsBill, automation::DateValue dDate) {
  try {
    self.BindSession(sDsn);
    std::shared_ptr<ado::Connection> cnn = self.Connection();
    self.SetComplete();
    // Only a batch-costed item has a cost per batch; any other is asked for as
    // a whole.
    const std::string batch = IsBatchCosted(*cnn, ItemID) ? BatchNo : std::string();
    std::shared_ptr<ado::Command> cmd = CostCommand(cnn, "sp_GetCostPrice", StockID, ItemID, batch);
    ado::ParameterCollection& p = cmd->Parameters();
    p.Append(cmd->CreateParameter("@IsBill", DataType::kBoolean, ParameterDirection::kInput, 0,
                                  Variant(IsBill)));
    p.Append(cmd->CreateParameter("@Date", DataType::kDate, ParameterDirection::kInput, 0,
                                  Variant(dDate)));
    cmd->Execute();
    return LastCost(*cmd);
  } catch (const ComError&) {
    return 0;
  }
}

double GetCost80(frame::ServiceFrame& self, const std::string& sDsn, int32_t StockID,
                 int32_t ItemID, const std::string& BatchNo) {
  try {
    self.BindSession(sDsn);
    std::shared_ptr<ado::Connection> cnn = self.Connection();
    self.SetComplete();
    if (!IsBatchCosted(*cnn, ItemID)) {
      // The object's own GetCost, late-bound so that it joins this unit of
      // work; IsBill and dDate take their defaults.
      automation::Dispatch& owner = self.Owner();
      std::vector<Variant> args{Variant(sDsn), Variant(StockID), Variant(ItemID),
                                Variant(std::string())};
      return owner.Invoke(owner.GetIdsOfNames("GetCost"), args).ToDouble();
    }
    std::shared_ptr<ado::Command> cmd =
        CostCommand(cnn, "sp_GetCostPrice80", StockID, ItemID, BatchNo);
    cmd->Execute();
    return LastCost(*cmd);
  } catch (const ComError&) {
    return 0;
  }
}

double GetMultiPrice(frame::ServiceFrame& self, const std::string& sDsn,
                     const std::shared_ptr<automation::Dispatch>& dictmpt, int32_t FItemID,
                     const std::string& BatchNo) {
  return frame::TrapAndRaise(self, frame::CompletionAtStart::kYes, [&] {
    self.SetComplete();
    self.BindSession(sDsn);
    std::shared_ptr<ado::Connection> cnn = self.Connection();
    if (!dictmpt) {
      throw ComError(automation::kErrTypeMismatch, self.source(),
                     "GetMultiPrice needs a settings dictionary (dictmpt is Nothing)");
    }
    const std::string item = frame::Num(FItemID);
    std::string sql;
    if (Setting(*dictmpt, "ReproducePrice").ToDouble() == 0) {
      sql = frame::Lines({
          "SELECT top 1 isnull(t2.FPrice,0) FROM icstockbill t1",
          "INNER JOIN icstockbillentry t2 ON t1.FInterID=t2.FInterID",
          "WHERE t1.FTranType=2 AND t1.FDate<'" + Setting(*dictmpt, "BDate").ToString() + "'",
          "AND t1.FStatus>0 AND t1.FCancellation=0 AND t2.FItemID=" + item,
          "Order By t1.FDate DESC,t1.FinterID DESC,t2.FEntryID DESC",
      });
    } else if (BatchNo.empty()) {
      // The year, period and item extend the join condition: for an inner join
      // that selects the rows a WHERE would.
      sql = frame::Lines({
          "SELECT "
          "CONVERT(Float(10),sum(t1.Fbegbal))/"
          "CONVERT(Float(10),sum(t1.fbegqty)) FROM "
          "icbal t1 ",
          "INNER JOIN t_icitem t2 on t1.fitemid=t2.fitemid",
          "AND t1.FYear=" + Setting(*dictmpt, "CurrentYear").ToString(),
          "AND t1.FPeriod=" + Setting(*dictmpt, "CurrentPeriod").ToString(),
          "AND t1.FItemID=" + item,
          "GROUP BY t1.FitemID HAVING sum(t1.Fbegbal)>0 AND sum(t1.fbegqty)>0",
      });
    } else {
      sql = frame::Lines({
          "SELECT CONVERT(Float(10),t1.Fbegbal)/CONVERT(Float(10),t1.fbegqty) "
          "FROM icbal t1 ",
          "INNER JOIN t_icitem t2 on t1.fitemid=t2.fitemid",
          "WHERE t1.FYear=" + Setting(*dictmpt, "CurrentYear").ToString(),
          "AND t1.FPeriod=" + Setting(*dictmpt, "CurrentPeriod").ToString(),
          "AND t1.FItemID=" + item + "AND t1.FBatchNO=" + frame::QuoteSQL(Variant(BatchNo)),
          "AND t1.Fbegbal>0 AND t1.fbegqty>0",
      });
    }
    std::shared_ptr<ado::Recordset> rs = cnn->Execute(sql);
    if (!rs->IsOpen() || rs->Eof()) return 0.0;
    return rs->FieldAt(0).Value().ToDouble();
  });
}

}  // namespace morvesk::readers
