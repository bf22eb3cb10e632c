#include <memory>
#include <string>

#include "closing/period_return.h"
#include "frame/batch_text.h"
#include "frame/conventions.h"
#include "platform/ado/command.h"
#include "platform/ado/connection.h"
#include "platform/automation/com_error.h"

namespace morvesk::closing {

namespace {

using automation::ComError;
using automation::Variant;
using frame::Lines;
using frame::Num;

std::string PeriodFilter(int32_t year, int32_t period) {
  return "Where FYear=" + Num(year) + " And FPeriod=" + Num(period);
}

// The current period's balance rows go; the target keeps its openings and receipts while its issues
// and closings wait for the next close.
std::string BalanceBatch(int32_t lPeriod, int32_t lYear, int32_t targetYear, int32_t targetPeriod) {
  return Lines({
      "Delete From t_CC_Bal " + PeriodFilter(lYear, lPeriod),
      "",
      "Update t_CC_Bal Set FSend=0,FEndQty=0,FCredit=0,FEndBal=0 ",
      "",
      PeriodFilter(targetYear, targetPeriod),
      "",
      "",
  });
}

// The adjustments the costing generated (bill type 1) in the target period, lines first. The
// calendar's end date is the period's last day, so both bounds are inclusive.
std::string GeneratedAdjustmentBatch(int32_t targetYear, int32_t targetPeriod) {
  return Lines({
      " Declare @BegDate DateTime,@EndDate DateTime ",
      " SELECT @BegDate=CONVERT(DATETIME, FStartDate),@EndDate=CONVERT(DATETIME, FEndDate) ",
      " FROM t_PeriodDate WHERE FYear =" + Num(targetYear) + " AND FPeriod =" + Num(targetPeriod),
      " delete from t_CC_StockBillentry",
      " Where FID IN (Select Distinct FID From t_CC_StockBill",
      " Where FClassTypeID=1040008 And FBillTypeID=1 And FDate>=@BegDate And FDate<=@EndDate)",
      " Delete From t_CC_StockBill",
      " Where FClassTypeID=1040008 And FBillTypeID=1 And FDate>=@BegDate And FDate<=@EndDate",
      "",
  });
}

// The running balances of moving-average items start again from the target's openings: per item
// over all stocks (stock 0) when costing does not tell stocks apart, else per stock and item.
// Stocks held for others are not valued.
std::string QuickBalanceBatch(int32_t targetYear, int32_t targetPeriod) {
  const std::string where = "   " + PeriodFilter(targetYear, targetPeriod);
  return Lines({
      "Delete From ICSpeedBal",
      "Declare @CalType int",
      "SELECT @CalType =CONVERT(int,Fvalue) FROM t_SystemProfile WHERE FCategory='IC' AND "
      "FKey='CalculateType'",
      "If @CalType = 0 ",
      "Begin ",
      "   Insert Into ICSpeedBal ",
      "   Select 0,'',0,0,0,0,0,b.FItemID,Sum(b.FBegQty),Sum(b.FBegBal)",
      "   From t_CC_Bal b Inner Join t_ICItem i On b.FItemID=i.FItemID And i.FTrack=77 ",
      "   Inner Join t_Stock s On b.FStockID=s.FItemID And s.FTypeID<>502",
      where,
      "   Group By b.FItemID ",
      "End",
      "Else",
      "Begin",
      "   Insert Into ICSpeedBal ",
      "   Select 0,'',0,0,0,0,b.FStockID,b.FItemID,b.FBegQty,b.FBegBal",
      "   From t_CC_Bal b Inner Join t_ICItem i On b.FItemID=i.FItemID And i.FTrack=77 ",
      "   Inner Join t_Stock s On b.FStockID=s.FItemID And s.FTypeID<>502",
      where,
      "End",
  });
}

// t_cc_Stock and t_cc_Stock_batchno alike: the current period's rows go, the target's closings are
// zeroed.
std::string StockTableBatch(const char* table, int32_t lPeriod, int32_t lYear, int32_t targetYear,
                            int32_t targetPeriod) {
  return Lines({
      std::string("Delete From ") + table + " " + PeriodFilter(lYear, lPeriod),
      "",
      std::string("Update ") + table + " Set FEndQty=0,FSecEndQty=0,FEndBal=0",
      PeriodFilter(targetYear, targetPeriod),
      "",
  });
}

// The numbers go unquoted into the text column, as the close writes them.
std::string ProfileBatch(int32_t targetYear, int32_t targetPeriod) {
  return Lines({
      "UPDATE t_systemprofile SET FValue=" + Num(targetYear) +
          " WHERE FCateGory='IC' AND FKey='CurrentYear'",
      "UPDATE t_systemprofile SET FValue=" + Num(targetPeriod),
      " WHERE FCateGory='IC' AND FKey='CurrentPeriod'",
      " update t_SystemProfile set FValue = '0' WHERE FCategory = 'Base' and FKey = "
      "'AcctountingClosed' ",
      "",
  });
}

// An informational message the statement left on the connection fails the return as an error would.
void FailOnAnyMessage(const ado::Connection& cnn) {
  if (cnn.Errors().empty()) return;
  const ado::ErrorRecord& first = cnn.Errors().front();
  throw ComError(first.number, first.source, first.description);
}

void DropCostVouchers(const std::shared_ptr<ado::Connection>& cnn, int32_t targetYear,
                      int32_t targetPeriod) {
  auto cmd = ado::Command::Create();
  cmd->SetActiveConnection(cnn);
  cmd->SetCommandText("sp_DropCostVCH");
  cmd->SetCommandType(ado::CommandType::kStoredProc);
  cmd->SetCommandTimeout(0);
  ado::ParameterCollection& p = cmd->Parameters();
  p.Append(cmd->CreateParameter("@Year", ado::DataType::kInteger, ado::ParameterDirection::kInput,
                                0, Variant(targetYear)));
  p.Append(cmd->CreateParameter("@Period", ado::DataType::kInteger, ado::ParameterDirection::kInput,
                                0, Variant(targetPeriod)));
  cmd->Execute();
}

}  // namespace

bool ReturnDataProcess(frame::ServiceFrame& self, const std::string& sCnn, int32_t lPeriod,
                       int32_t lYear, int32_t targetYear, int32_t targetPeriod, bool bDropVch,
                       std::string& sErrInfo) {
  return frame::TrapToMessage(self, sErrInfo, [&]() -> bool {
    self.BindSession(sCnn);
    std::shared_ptr<ado::Connection> cnn = self.Connection();
    if (bDropVch) {
      DropCostVouchers(cnn, targetYear, targetPeriod);
      FailOnAnyMessage(*cnn);
    }
    cnn->Execute(BalanceBatch(lPeriod, lYear, targetYear, targetPeriod), nullptr,
                 ado::kOptionUnspecified);
    FailOnAnyMessage(*cnn);
    cnn->Execute(GeneratedAdjustmentBatch(targetYear, targetPeriod), nullptr,
                 ado::kOptionUnspecified);
    cnn->Execute(QuickBalanceBatch(targetYear, targetPeriod), nullptr, ado::kOptionUnspecified);
    cnn->Execute(StockTableBatch("t_cc_Stock", lPeriod, lYear, targetYear, targetPeriod), nullptr,
                 ado::kOptionUnspecified);
    cnn->Execute(StockTableBatch("t_cc_Stock_batchno", lPeriod, lYear, targetYear, targetPeriod),
                 nullptr, ado::kOptionUnspecified);
    cnn->Execute(Lines({"Delete From TempWriteBack ", "Delete From CalculateLog ", ""}), nullptr,
                 ado::kOptionUnspecified);
    cnn->Execute(ProfileBatch(targetYear, targetPeriod), nullptr, ado::kOptionUnspecified);
    self.SetComplete();

    // Settlement balances are the ledger side's; a company may not keep them at all.
    try {
      cnn->Execute("Delete from t_SettleAcctBalance where FYear=" + Num(targetYear) +
                       " and FPeriod=" + Num(targetPeriod) + "\r\n",
                   nullptr, ado::kOptionUnspecified);
    } catch (const ComError&) {
    }
    return true;
  });
}

}  // namespace morvesk::closing
