// Rebuild of the closed period's balances: t_CC_Bal per stock, item and batch (per lot for
// lot-by-lot items) and t_CC_Stock per stock, item, batch and auxiliary property, from the
// period's opening rows and the receipts and issues of its date window. Price adjustments of
// items kept by auxiliary property are spread over the t_CC_Stock rows one adjustment at a
// time, each seeing the ones booked before it.
#include <memory>
#include <string>

#include "balance/close_stages.h"
#include "balance/working_tables.h"
#include "frame/batch_text.h"
#include "frame/sql_text.h"
#include "platform/ado/connection.h"
#include "platform/ado/recordset.h"
#include "platform/host/step_progress.h"

namespace morvesk::balance {

using frame::DateWindow;
using frame::Lines;
using frame::Num;

namespace {

// The receipts that enter #TmpBal_2 row by row. Price adjustments and amount-only rebates
// enter directly only for items without auxiliary properties; the others are spread later.
constexpr std::string_view kStockReceiptFilter =
    " And Isnull(c.FStatus,0)<>0 and ((c.FClassTypeID<>1040008 and c.FClassTypeID<>1020004) or "
    "(c.FClassTypeID=1020004 and c.FBillTypeID=2042) or ((c.FClassTypeID=1040008 or "
    "(c.FClassTypeID=1020004 and c.FBillTypeID<>2042)) and s.FISAuxi=0))";

// Batch 2: working tables, then the period's openings, receipts and issues by stock, item
// and batch, and the lots of lot-by-lot items with their issues from the quick balance.
// The t_CC_Bal side counts every view row (no status filter) but skips stocks of type 502.
std::string BuildBalWorkBatch(const CloseArgs& a) {
  const std::string y = Num(a.lYear), p = Num(a.lPeriod);
  const std::string window = DateWindow("u", a.start_date, a.end_date);
  return Lines({
      "Set NoCount On ",
      CreateTmpBal1(),
      CreateTmpBal2(),
      "Insert Into #TmpBal_1(FInterID,FItemID,FStockID,FBatchNo,FBegQty,FBegBal,FReceive,FDebit,"
      "FSend,FCredit,FEndQty,FEndBal)",
      "Select b.FinterID,b.FItemID,b.FStockID,b.FBatchNo,b.FBegQty,b.FBegBal,0,0,0,0,0,0",
      "From t_CC_Bal b Inner Join t_ICItem t On b.FItemID=t.FItemID",
      "Where t.FTrack<>78 And FPeriod=" + p + " And FYear=" + y + " And (FBegQty<>0 Or FBegBal<>0)",
      "Insert Into #TmpBal_1(FInterID,FItemID,FStockID,FBatchNo,FReceive,FDebit)",
      "Select '100000000000000000000000' as FInterID,u.FItemID,u.FStockID,u.FBatchNo,"
      "Sum(u.FQty),Sum(u.FAmount)",
      "From vw_CC_Receive u Inner Join t_ICItem t On u.FItemID=t.FItemID",
      "Inner Join t_Stock s On u.FStockID=s.FItemID And s.FTypeID<>502",
      "Where t.FTrack<>78 and t.FTrack=80 And " + window,
      "Group By u.FStockID,u.FItemID,u.FBatchNo",
      "Insert Into #TmpBal_1(FInterID,FItemID,FStockID,FBatchNo,FReceive,FDebit)",
      "Select '100000000000000000000000' as FInterID,u.FItemID,u.FStockID,'' as FBatchNo,"
      "Sum(u.FQty),Sum(u.FAmount)",
      "From vw_CC_Receive u Inner Join t_ICItem t On u.FItemID=t.FItemID",
      "Inner Join t_Stock s On u.FStockID=s.FItemID And s.FTypeID<>502",
      "Where t.FTrack<>78 and t.FTrack<>80 And " + window,
      "Group By u.FStockID,u.FItemID",
      "Insert Into #TmpBal_1(FItemID,FStockID,FBatchNo,FSend,FCredit)",
      "Select u.FItemID,u.FStockID,u.FBatchNo,Sum(u.FQty),Sum(u.FAmount)",
      "From vw_CC_Send u Inner Join t_ICItem t On u.FItemID=t.FItemID",
      "Inner Join t_Stock s On u.FStockID=s.FItemID And s.FTypeID<>502",
      "Where t.FTrack<>78 and t.FTrack=80 And " + window,
      "Group By u.FStockID,u.FItemID,u.FBatchNo",
      "Insert Into #TmpBal_1(FItemID,FStockID,FBatchNo,FSend,FCredit)",
      "Select u.FItemID,u.FStockID,'' as FBatchNo,Sum(u.FQty),Sum(u.FAmount)",
      "From vw_CC_Send u Inner Join t_ICItem t On u.FItemID=t.FItemID",
      "Inner Join t_Stock s On u.FStockID=s.FItemID And s.FTypeID<>502",
      "Where t.FTrack<>78 and t.FTrack<>80 And " + window,
      "Group By u.FStockID,u.FItemID",
      "Insert Into #TmpBal_1(FInterID,FItemID,FStockID,FBatchNo,FBegQty,FBegBal,FReceive,FDebit,"
      "FSend,FCredit,FEndQty,FEndBal,FStockInDate,FID,FEntryID,FClassTypeID)",
      "Select b.FInterID,b.FItemID,b.FStockID,b.FBatchNo,b.FBegQty,b.FBegBal,b.FReceive,b.FDebit,"
      "b.FSend,b.FCredit,b.FEndQty,b.FEndBal,b.FStockInDate,b.FID,b.FEntryID,b.FClassTypeID",
      "From t_CC_Bal b Inner Join t_ICItem t On b.FItemID=t.FItemID",
      "Where t.FTrack=78 And FPeriod=" + p + " And FYear=" + y +
          " And (FBegQty<>0 Or FBegBal<>0 or FReceive<>0 or FDebit<>0 )",
      "update a set a.FSend=t.FSendQty,a.FCredit=t.FSendAmount",
      " from #TmpBal_1 a ",
      "Inner Join (Select u.FStockID,u.FItemID,u.FInterID,sum(u.FQty) as FSendQty,"
      "sum(u.FAmount) as FSendAmount",
      "From icspeedbal u Inner Join t_ICItem t On u.FItemID=t.FItemID",
      "Inner Join t_Stock s On u.FStockID=s.FItemID And s.FTypeID<>502",
      "Where t.FTrack=78 And " + window,
      "Group By u.FStockID,u.FItemID,u.FInterID) t",
      "on a.FItemID=t.FItemID and a.FStockID=t.FStockID and a.FinterID=t.FInterID",
  });
}

// Batch 3: the period's t_CC_Bal rows written again, one summary row per stock, item and
// batch for ordinary items and one row per lot for lot-by-lot items. #TmpBal_1 stays,
// empty, for the lot consolidation of the carry-forward.
std::string BuildBalWriteBatch(const CloseArgs& a) {
  const std::string y = Num(a.lYear), p = Num(a.lPeriod);
  return Lines({
      "Delete From t_CC_Bal Where FYear=" + y + " And FPeriod=" + p,
      "Insert Into t_CC_Bal(FInterID,FYear,FPeriod,FStockID,FItemID,FBatchNo,FBegQty,FBegBal,"
      "FReceive,FDebit,FSend,FCredit,FStockInDate,FID,FEntryID,FClassTypeID)",
      "Select '100000000000000000000000'," + y + "," + p +
          ",u.FStockID,u.FItemID,u.FBatchNo,Sum(u.FBegQty),Sum(u.FBegBal),Sum(u.FReceive),"
          "Sum(u.FDebit),Sum(u.FSend),Sum(u.FCredit),'1900-01-01',0,0,0",
      "From #TmpBal_1 u Inner Join t_ICItem ic On u.FItemID=ic.FItemID",
      "Where not ic.FTrack=78",
      "Group By u.FStockID,u.FItemID,u.FBatchNo",
      "Insert Into t_CC_Bal(FInterID,FYear,FPeriod,FStockID,FItemID,FBatchNo,FBegQty,FBegBal,"
      "FReceive,FDebit,FSend,FCredit,FStockInDate,FID,FEntryID,FClassTypeID)",
      "Select u.FInterID," + y + "," + p +
          ",u.FStockID,u.FItemID,u.FBatchNo,u.FBegQty,u.FBegBal,u.FReceive,u.FDebit,u.FSend,"
          "u.FCredit,u.FStockInDate,u.FID,u.FEntryID,u.FClassTypeID",
      "From #TmpBal_1 u Inner Join t_ICItem ic On u.FItemID=ic.FItemID",
      "Where ic.FTrack=78",
      "delete from #TmpBal_1 ",
  });
}

// Batch 4: rows without any value disappear; closings of the rest.
std::string BuildBalCloseBatch(const CloseArgs& a) {
  const std::string y = Num(a.lYear), p = Num(a.lPeriod);
  return Lines({
      "Delete From t_CC_Bal Where FYear=" + y + " And FPeriod=" + p +
          " And FBegQty=0 And FBegBal=0 And FReceive=0 And FDebit=0 And FSend=0 And FCredit=0 ",
      "Update t_CC_Bal Set FEndQty=FBegQty+FReceive-FSend,",
      "FEndBal=FBegBal+FDebit-FCredit",
      "Where FYear=" + y + " And FPeriod=" + p,
  });
}

// Batch 5: #TmpBal_2 from the period's t_CC_Stock openings (every costing code) and, row by
// row, the audited receipts and issues of batch-costed items (with their batch and dating)
// and of items 76, 77, 78 (no batch, no dating). Other codes keep only their openings.
// Stock type plays no part here.
std::string BuildStockWorkBatch(const CloseArgs& a) {
  const std::string y = Num(a.lYear), p = Num(a.lPeriod);
  const std::string window = DateWindow("c", a.start_date, a.end_date);
  return Lines({
      "Insert Into #TmpBal_2(FItemID,FStockID,FBatchNo,FAuxPropID,FBegQty,FSecBegQty,FBegBal,"
      "FKFDate,FKFPeriod,FPeriodDate)",
      "Select FItemID,FStockID,FBatchNo,FAuxPropID,FBegQty,FSecBegQty,FBegBal,FKFDate,FKFPeriod,"
      "FPeriodDate",
      "From t_cc_Stock",
      "Where FPeriod=" + p + " And FYear=" + y +
          " And (FBegQty<>0 Or FSecBegQty<>0 Or FBegBal<>0 )",
      "Insert Into #TmpBal_2(FItemID,FStockID,FBatchNo,FAuxPropID,FReceive,FSecReceive,FDebit,"
      "FKFDate,FKFPeriod,FPeriodDate)",
      "Select c.FItemID,c.FStockID,c.FBatchNo,c.FAuxPropID,c.FQty,c.FSecQty,c.FAmount,c.FKFDate,"
      "c.FKFPeriod,c.FPeriodDate",
      "From vw_cc_Receive c Inner Join t_ICItem s On c.FItemID=s.FItemID",
      "Where (s.FTrack = 80) And " + window,
      kStockReceiptFilter,
      "Insert Into #TmpBal_2(FItemID,FStockID,FBatchNo,FAuxPropID,FReceive,FSecReceive,FDebit,"
      "FKFDate,FKFPeriod,FPeriodDate)",
      "Select c.FItemID,c.FStockID,'' as FBatchNo,c.FAuxPropID,c.FQty,c.FSecQty,c.FAmount,'','',''",
      "From vw_cc_Receive c Inner Join t_ICItem s On c.FItemID=s.FItemID",
      "Where (s.FTrack = 76 OR s.FTrack = 77 OR s.FTrack = 78) And " + window,
      kStockReceiptFilter,
      "Insert Into #TmpBal_2(FItemID,FStockID,FBatchNo,FAuxPropID,FSend,FSecSend,FCredit,"
      "FKFDate,FKFPeriod,FPeriodDate)",
      "Select c.FItemID,c.FStockID,c.FBatchNo,c.FAuxPropID,c.FQty,c.FSecQty,c.FAmount,c.FKFDate,"
      "c.FKFPeriod,c.FPeriodDate",
      "From vw_cc_Send c Inner Join t_ICItem s On c.FItemID=s.FItemID",
      "Where (s.FTrack = 80) And " + window + " And Isnull(c.FStatus,0)<>0",
      "Insert Into #TmpBal_2(FItemID,FStockID,FBatchNo,FAuxPropID,FSend,FSecSend,FCredit,"
      "FKFDate,FKFPeriod,FPeriodDate)",
      "Select c.FItemID,c.FStockID,'' as FBatchNo,c.FAuxPropID,c.FQty,c.FSecQty,c.FAmount,'','',''",
      "From vw_cc_Send c Inner Join t_ICItem s On c.FItemID=s.FItemID",
      "Where (s.FTrack = 76 OR s.FTrack = 77 OR s.FTrack = 78) And " + window +
          " And Isnull(c.FStatus,0)<>0",
  });
}

// Batch 6: rows without any dating count as dated 1900-01-01.
std::string BuildStockDatingBatch() {
  return "update #TmpBal_2 set FKFDate='1900-01-01',FPeriodDate='1900-01-01' where FKFDate is "
         "null  and FPeriodDate is null";
}

// The adjustments to spread: audited price adjustments and amount-only rebates of items kept
// by auxiliary property, batch-costed items (batch_items) or items 76, 77, 78.
std::string BuildAdjustmentQuery(const CloseArgs& a, bool batch_items) {
  return Lines({
      "select c.* from vw_cc_Receive c inner join t_ICItem b on c.FItemID=b.FItemID",
      std::string(batch_items ? "Where (b.FTrack = 80)"
                              : "Where (b.FTrack = 76 OR b.FTrack = 77 OR b.FTrack = 78)") +
          " And " + DateWindow("c", a.start_date, a.end_date) +
          " And Isnull(c.FStatus,0)<>0 and ((c.FClassTypeID=1040008 or (c.FClassTypeID=1020004 "
          "and c.FBillTypeID<>2042)) and b.FISAuxi=1) ",
  });
}

// One adjustment booked into FDebit of the #TmpBal_2 rows of its stock, item and batch: by
// each row's share of the current closing amount, or of the closing quantity when the
// amounts sum to 0; nothing when both sum to 0. Shares are rounded to cents per row and the
// rounding difference stays unbooked. `batch_no` is already quoted SQL text.
std::string BuildSpreadBatch(const std::string& stock_id, const std::string& item_id,
                             const std::string& batch_no, const std::string& amount) {
  const std::string key =
      " Where FStockID=" + stock_id + " and FItemID=" + item_id + " and FBatchNo=" + batch_no;
  return Lines({
      "Declare @Amount decimal(28,10)",
      " Declare @Qty decimal(28,10)",
      " select @Amount=sum(FBegBal+FDebit-FCredit),@Qty=sum(FBegQty+FReceive-FSend)",
      " from #TmpBal_2 ",
      key,
      " if @Amount<>0 ",
      " update #TmpBal_2 set FDebit=FDebit+round(((FBegBal+FDebit-FCredit)/@Amount)*" + amount +
          ",2)",
      key,
      " else",
      " begin",
      " if @Qty<>0 ",
      " update #TmpBal_2 set FDebit=FDebit+round(((FBegQty+FReceive-FSend)/@Qty)*" + amount + ",2)",
      key,
      " end ",
  });
}

// Batch 7: one dating per key, the period's t_CC_Stock rows written again, working table
// dropped. The production date is recomputed as expiry date less shelf-life days.
std::string BuildStockWriteBatch(const CloseArgs& a) {
  const std::string y = Num(a.lYear), p = Num(a.lPeriod);
  return Lines({
      "Update #TmpBal_2 set FKFPeriod=A.FKFPeriod,FPeriodDate=A.FPeriodDate from",
      "(Select FStockID,FItemID,FBatchNo,FAuxPropID,min(FKFPeriod) as FKFPeriod,"
      "min(FPeriodDate) as FPeriodDate From #TmpBal_2",
      "Group By FStockID,FItemID,FBatchNo,FAuxPropID) A",
      "Inner Join #TmpBal_2 B On A.FStockID=B.FStockID And A.FItemID=B.FItemID And "
      "A.FBatchNo=B.FBatchNo And A.FAuxPropID=B.FAuxPropID",
      "Delete From t_CC_Stock Where FYear=" + y + " And FPeriod=" + p,
      "Insert Into t_CC_Stock(FYear,FPeriod,FStockID,FItemID,FBatchNo,FAuxPropID,FBegQty,"
      "FSecBegQty,FBegBal,FReceive,FSecReceive,FDebit,FSend,FSecSend,FCredit,FKFDate,FKFPeriod,"
      "FPeriodDate)",
      "Select " + y + "," + p +
          ",FStockID,FItemID,FBatchNo,FAuxPropID,Sum(FBegQty),Sum(FSecBegQty),Sum(FBegBal),"
          "Sum(FReceive),Sum(FSecReceive),Sum(FDebit),Sum(FSend),Sum(FSecSend),Sum(FCredit),"
          "FPeriodDate-FKFPeriod,FKFPeriod,FPeriodDate",
      "From #TmpBal_2 Group By FStockID,FItemID,FBatchNo,FAuxPropID,FKFPeriod,FPeriodDate ",
      "Drop Table #TmpBal_2 ",
  });
}

// Batch 8: closings of the period's t_CC_Stock rows.
std::string BuildStockCloseBatch(const CloseArgs& a) {
  return Lines({
      "Update t_CC_Stock Set FEndQty=FBegQty+FReceive-FSend,FSecEndQty=FSecBegQty+FSecReceive-"
      "FSecSend,",
      "FEndBal=FBegBal+FDebit-FCredit",
      "Where FYear=" + Num(a.lYear) + " And FPeriod=" + Num(a.lPeriod),
  });
}

// Spreads every adjustment the query returns, in the record set's order, one batch each.
void SpreadAdjustments(ado::Connection& cnn, const CloseArgs& a, bool batch_items) {
  std::shared_ptr<ado::Recordset> rs =
      cnn.Execute(BuildAdjustmentQuery(a, batch_items), nullptr, -1);
  const ado::Field stock_id = rs->Fields(automation::Variant("FStockID"));
  const ado::Field item_id = rs->Fields(automation::Variant("FItemID"));
  const ado::Field batch = rs->Fields(automation::Variant("FBatchNo"));
  const ado::Field amount = rs->Fields(automation::Variant("FAmount"));
  while (!rs->Eof()) {
    const std::string batch_no = batch_items ? frame::QuoteSQL(batch.Value(), true, true) : "''";
    cnn.Execute(BuildSpreadBatch(stock_id.Value().ToString(), item_id.Value().ToString(), batch_no,
                                 amount.Value().ToString()),
                nullptr, -1);
    rs->MoveNext();
  }
  rs->Close();
}

}  // namespace

void RunPeriodBalances(ado::Connection& cnn, const CloseArgs& args) {
  host::EnterStep("period balances");
  cnn.Execute(BuildBalWorkBatch(args), nullptr, -1);
  cnn.Execute(BuildBalWriteBatch(args), nullptr, -1);
  cnn.Execute(BuildBalCloseBatch(args), nullptr, -1);
  cnn.Execute(BuildStockWorkBatch(args), nullptr, -1);
  cnn.Execute(BuildStockDatingBatch(), nullptr, -1);
  host::EnterStep("spreading price adjustments");
  SpreadAdjustments(cnn, args, /*batch_items=*/true);
  SpreadAdjustments(cnn, args, /*batch_items=*/false);
  host::EnterStep("stock balances");
  cnn.Execute(BuildStockWriteBatch(args), nullptr, -1);
  cnn.Execute(BuildStockCloseBatch(args), nullptr, -1);
}

}  // namespace morvesk::balance
