#include <memory>
#include <string>

#include "closing/bill_checks.h"
#include "closing/period_end_checks.h"
#include "frame/batch_text.h"
#include "frame/conventions.h"
#include "platform/ado/connection.h"
#include "platform/ado/recordset.h"
#include "platform/automation/com_error.h"

namespace morvesk::closing {

namespace {

using frame::Lines;
using frame::Num;

// The closing balance per item and batch (and stock, unless lCalType is 0): the period's opening
// rows plus the audited receipts minus the audited issues of the date window. The final select
// lists the groups whose amount does not fit their quantity. Batch numbers count only for
// batch-costed items; every other item's batches are summed as one line.
std::string EndDataBatch(int32_t lPeriod, int32_t lYear, const std::string& sStartDate,
                         const std::string& sEndDate, int32_t lCalType) {
  const std::string joins =
      "Inner Join t_Stock s On s.FItemID=u.FStockID And s.FTypeID<>502 Inner Join t_ICItem t ON "
      "u.FItemID=t.FItemID  And t.FTrack<>78";
  const std::string window =
      "where u.FStatus<>0 And u.FDate>='" + sStartDate + "' And u.FDate<'" + sEndDate + "'";
  const std::string by_stock = lCalType != 0 ? "FStockID," : "";
  return Lines({
      "Set NoCount On ",
      "If Object_ID('Tempdb..#TempCheckEndData') Is Not Null Drop Table #TempCheckEndData ",
      "",
      "select u.FItemID,u.FStockID,u.FbatchNo,FBegQty,FbegBal,0 as FReceive,0 as Fdebit,0 as "
      "FSend,0 as FCredit ",
      "into #TempCheckEndData",
      "from t_cc_bal u",
      joins,
      "where u.FYear=" + Num(lYear) + " and u.FPeriod=" + Num(lPeriod),
      "",
      "Union all ",
      "",
      "select u.FItemID,u.FStockID,u.FbatchNo,0 as FBegQty,0 as FbegBal,FQty as FReceive,FAmount "
      "as Fdebit,0 as FSend,0 as FCredit",
      "from vw_cc_Receive u",
      joins,
      window,
      "",
      "Union all ",
      "",
      "select u.FItemID,u.FStockID,u.FbatchNo,0 as FBegQty,0 as FbegBal,0 as FReceive,0 as "
      "Fdebit,FQty as FSend,FAmount as FCredit",
      "from vw_cc_Send u",
      "Inner Join t_Stock s On s.FItemID=u.FStockID And s.FTypeID<>502 Inner Join t_ICItem t ON "
      "u.FItemID=t.FItemID And t.FTrack<>78",
      window,
      "",
      "Update #TempCheckEndData Set FBatchNo = ''",
      "From #TempCheckEndData a",
      "Inner Join dbo.t_ICItem b On a.FItemID = b.FItemID",
      "Where b.FTrack <> 80 ",
      "",
      "Set NoCount Off",
      "select * from (",
      "  select FItemID," + by_stock +
          "FbatchNo,sum(FBegQty)+sum(FReceive)-sum(FSend) as "
          "FBegQty,sum(FbegBal)+sum(Fdebit)-sum(FCredit) as FBegBal",
      "  from",
      "  #TempCheckEndData t",
      "  group by FItemID," + by_stock + "FbatchNo",
      ")t where (FBegQty=0 and FBegBal<>0) or (FBegQty>0 and FBegBal<=0) or (FBegQty<0 and "
      "FBegBal>=0)",
      "",
      "If Object_ID('Tempdb..#TempCheckEndData') Is Not Null Drop Table #TempCheckEndData ",
      "",
  });
}

}  // namespace

bool CheckEndData(frame::ServiceFrame& self, const std::string& sCnn, int32_t lPeriod,
                  int32_t lYear, const std::string& sStartDate, const std::string& sEndDate,
                  std::string& strErr, int32_t lCalType) {
  return frame::TrapToMessage(self, strErr, [&]() -> bool {
    self.BindSession(sCnn);
    std::shared_ptr<ado::Connection> cnn = self.Connection();
    std::shared_ptr<ado::Recordset> rs =
        cnn->Execute(EndDataBatch(lPeriod, lYear, sStartDate, sEndDate, lCalType), nullptr,
                     ado::kOptionUnspecified);
    // Only whether a group is abnormal matters; the rows themselves are not handed out.
    const bool abnormal = rs->IsOpen() && !rs->Eof();
    if (rs->IsOpen()) rs->Close();
    if (abnormal) {
      throw automation::ComError(automation::kErrFail, kPreCloseCheckSource,
                                 kAbnormalEndBalanceMessage);
    }
    self.SetComplete();
    return true;
  });
}

}  // namespace morvesk::closing
