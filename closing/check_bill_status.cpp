#include <string>

#include "closing/bill_checks.h"
#include "closing/bill_tables.h"
#include "frame/batch_text.h"
#include "frame/conventions.h"
#include "platform/ado/connection.h"
#include "platform/automation/com_error.h"

namespace morvesk::closing {

namespace {

using automation::ComError;
using automation::Variant;
using frame::Lines;
using frame::Num;

std::string FirstUnauditedBillQuery(const std::string& sStartDate, const std::string& sEndDate) {
  return UnionOverCheckedBills([&](const char* table) {
    return std::string("Select Top 1 FBillNo From ") + table +
           " Where IsNull(FStatus,0)=0 And FDate>='" + sStartDate + "' And FDate<'" + sEndDate +
           "'";
  });
}

// Closing quantity per item, stock, batch and auxiliary property: the period's opening
// quantity plus its audited receipts minus its audited issues. Lines are grouped by names,
// so two stocks of one name make one line.
std::string NegativeStockBatch(int32_t lPeriod, int32_t lYear, const std::string& sStartDate,
                               const std::string& sEndDate) {
  const std::string window = "FDate>='" + sStartDate + "' And FDate<'" + sEndDate + "'";
  return Lines({
      "Set NoCount On ",
      "If object_ID('tempdb..#tempNegBill') Is Not Null Drop Table #tempNegBill",
      "Create Table #tempNegBill(",
      "   FItemNumber varchar(80),",
      "   FItemName varchar(80),",
      "   FStockName varchar(80),",
      "   FBatchNo varchar(80) Not Null Default(''),",
      "   FQty decimal(28,10),",
      "   FAuxName varchar(80) Default('')",
      ")",
      "",
      "Insert Into #tempNegBill",
      "Select FNumber,FItemName,FStockName,FBatchNo,Sum(FQty),FAuxName",
      "From (",
      "   Select i.FNumber,i.FName As FItemName,s.FName As FStockName,b.FBatchNo,"
      "FBegQty As FQty,IsNull(m.Fname,'') as FAuxName",
      "   From t_CC_Stock_batchno b",
      "   Inner Join t_ICItem i On b.FItemID=i.FItemID ",
      "   Inner Join t_Stock s On b.FStockID=s.FItemID ",
      "   Left join t_auxItem m on b.FAuxPropID=m.FitemID",
      "   Where FYear=" + Num(lYear) + " And FPeriod=" + Num(lPeriod),
      "   Union All ",
      "",
      "   Select ItemNumber,ItemName As FItemName,FStockName,FBatchNo,FQty,Isnull(AuxName,'') ",
      "   From vw_cc_Receive ",
      "   Where  Isnull(FStatus,0)<>0 and " + window,
      "   Union All ",
      "",
      "   Select ItemNumber,ItemName As FItemName,FStockName,FBatchNo,-FQty,Isnull(AuxName,'') ",
      "   From vw_cc_Send ",
      "   Where Isnull(FStatus,0)<>0 and " + window,
      ") As a ",
      "Group By FNumber,FItemName,FStockName,FBatchNo,FAuxName ",
      "Set NoCount Off",
      "",
      "Select * from #tempNegBill Where FQty<0 Order By FItemNumber",
      "If object_ID('tempdb..#tempNegBill') Is Not Null Drop Table #tempNegBill",
      "",
  });
}

// The profile value compared with the number 0 as the client's script compares: a numeric
// text equals its number, Null equals nothing, any other text is a type mismatch.
bool IsZero(const Variant& value) {
  if (value.is_null()) return false;
  return value.ToDouble() == 0;
}

}  // namespace

bool CheckBillStatus(frame::ServiceFrame& self, const std::string& sCnn, int32_t lPeriod,
                     int32_t lYear, const std::string& sStartDate, const std::string& sEndDate,
                     Variant& oRs, std::string& strErr) {
  return frame::TrapToMessage(self, strErr, [&]() -> bool {
    self.BindSession(sCnn);
    std::shared_ptr<ado::Connection> cnn = self.Connection();

    std::shared_ptr<ado::Recordset> bills = cnn->Execute(
        FirstUnauditedBillQuery(sStartDate, sEndDate), nullptr, ado::kOptionUnspecified);
    const bool unaudited = bills->IsOpen() && !bills->Eof();
    if (bills->IsOpen()) bills->Close();
    if (unaudited)
      throw ComError(automation::kErrFail, kPreCloseCheckSource, kUnauditedBillsMessage);

    std::shared_ptr<ado::Recordset> option = cnn->Execute(
        "Select FValue From t_SystemProFile where  FCategory='IC' And FKey='UnderStockClose'",
        nullptr, ado::kOptionUnspecified);
    const bool negative_forbidden = IsZero(option->FieldAt(0).Value());
    option->Close();

    if (negative_forbidden) {
      auto rs = ado::Recordset::Create();
      oRs.Assign(Variant(rs));
      rs->SetActiveConnection(cnn);
      rs->SetCursorLocation(ado::CursorLocation::kClient);
      rs->SetLockType(ado::LockType::kOptimistic);
      rs->SetCursorType(ado::CursorType::kDynamic);
      rs->Open(NegativeStockBatch(lPeriod, lYear, sStartDate, sEndDate), cnn,
               ado::CursorType::kDynamic, ado::LockType::kOptimistic);
      // The client lists the negative lines from oRs; the message stays empty.
      if (rs->IsOpen() && !rs->Eof())
        throw ComError(automation::kErrFail, kPreCloseCheckSource, "");
    }
    self.SetComplete();
    return true;
  });
}

}  // namespace morvesk::closing
