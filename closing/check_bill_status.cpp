#include <string>

#include "closing/bill_checks.h"
#include "closing/bill_tables.h"
#include "frame/conventions.h"
#include "platform/ado/connection.h"
#include "platform/automation/com_error.h"

namespace morvesk::closing {

namespace {

using automation::ComError;
using automation::Variant;

constexpr char kCrLf[] = "\r\n";

std::string FirstUnauditedBillQuery(const std::string& sStartDate, const std::string& sEndDate) {
  return UnionOverCheckedBills([&](const char* table) {
    return std::string("Select Top 1 FBillNo From ") + table +
           " Where IsNull(FStatus,0)=0 And FDate>='" + sStartDate + "' And FDate<'" + sEndDate +
           "'" + kCrLf;
  });
}

// Closing quantity per item, stock, batch and auxiliary property: the period's opening
// quantity plus its audited receipts minus its audited issues. Lines are grouped by names,
// so two stocks of one name make one line.
std::string NegativeStockBatch(int32_t lPeriod, int32_t lYear, const std::string& sStartDate,
                               const std::string& sEndDate) {
  std::string s;
  auto line = [&s](const std::string& text) {
    s += text;
    s += kCrLf;
  };
  line("Set NoCount On ");
  line("If object_ID('tempdb..#tempNegBill') Is Not Null Drop Table #tempNegBill");
  line("Create Table #tempNegBill(");
  line("   FItemNumber varchar(80),");
  line("   FItemName varchar(80),");
  line("   FStockName varchar(80),");
  line("   FBatchNo varchar(80) Not Null Default(''),");
  line("   FQty decimal(28,10),");
  line("   FAuxName varchar(80) Default('')");
  line(")");
  line("");
  line("Insert Into #tempNegBill");
  line("Select FNumber,FItemName,FStockName,FBatchNo,Sum(FQty),FAuxName");
  line("From (");
  line("   Select i.FNumber,i.FName As FItemName,s.FName As FStockName,b.FBatchNo,"
       "FBegQty As FQty,IsNull(m.Fname,'') as FAuxName");
  line("   From t_CC_Stock_batchno b");
  line("   Inner Join t_ICItem i On b.FItemID=i.FItemID ");
  line("   Inner Join t_Stock s On b.FStockID=s.FItemID ");
  line("   Left join t_auxItem m on b.FAuxPropID=m.FitemID");
  line("   Where FYear=" + std::to_string(lYear) + " And FPeriod=" + std::to_string(lPeriod));
  line("   Union All ");
  line("");
  line("   Select ItemNumber,ItemName As FItemName,FStockName,FBatchNo,FQty,Isnull(AuxName,'') ");
  line("   From vw_cc_Receive ");
  line("   Where  Isnull(FStatus,0)<>0 and FDate>='" + sStartDate + "' And FDate<'" + sEndDate +
       "'");
  line("   Union All ");
  line("");
  line("   Select ItemNumber,ItemName As FItemName,FStockName,FBatchNo,-FQty,Isnull(AuxName,'') ");
  line("   From vw_cc_Send ");
  line("   Where Isnull(FStatus,0)<>0 and FDate>='" + sStartDate + "' And FDate<'" + sEndDate +
       "'");
  line(") As a ");
  line("Group By FNumber,FItemName,FStockName,FBatchNo,FAuxName ");
  line("Set NoCount Off");
  line("");
  line("Select * from #tempNegBill Where FQty<0 Order By FItemNumber");
  line("If object_ID('tempdb..#tempNegBill') Is Not Null Drop Table #tempNegBill");
  return s;
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

    std::shared_ptr<ado::Recordset> bills =
        cnn->Execute(FirstUnauditedBillQuery(sStartDate, sEndDate), nullptr,
                     ado::kOptionUnspecified);
    const bool unaudited = bills->IsOpen() && !bills->Eof();
    if (bills->IsOpen()) bills->Close();
    if (unaudited) throw ComError(automation::kErrFail, kPreCloseCheckSource, kUnauditedBillsMessage);

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
      if (rs->IsOpen() && !rs->Eof()) throw ComError(automation::kErrFail, kPreCloseCheckSource, "");
    }
    self.SetComplete();
    return true;
  });
}

}  // namespace morvesk::closing
