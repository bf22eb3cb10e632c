// The batch rows of the period before any price adjustment: stored openings of
// t_CC_Stock_BatchNo, audited receipts and issues of the date window, one row per source row
// in #TmpBal_2_2, then summed by balance key (stock, item, batch, auxiliary property, shelf
// life, expiry date) into #t_CC_Stock_BatchNo, with a copy kept in #T_CC_InventoryAll.
#include <string>
#include <string_view>

#include "balance/batchno_stages.h"
#include "balance/shelf_life_copy.h"
#include "frame/batch_text.h"
#include "platform/ado/connection.h"

namespace morvesk::balance {

using frame::DateWindow;
using frame::Lines;
using frame::Num;

namespace {

// Openings are what the previous run carried into this period; rows with neither quantity
// nor amount (a secondary quantity alone included) are left out.
std::string Openings(const BatchNoArgs& a) {
  return Lines({
      "--插入期初数据",
      "Insert Into #TmpBal_2_2(FClassTypeID,FBillTypeID,FItemID,FStockID,FBatchNo,FAuxPropID,"
      "FBegQty,FSecBegQty,FBegBal,FKFDate,FKFPeriod,FPeriodDate)",
      "Select 0,0,FItemID,FStockID,FBatchNo,FAuxPropID,FBegQty,FSecBegQty,FBegBal,FKFDate,"
      "FKFPeriod,FPeriodDate From t_cc_Stock_batchno",
      "Where FPeriod=" + Num(a.lPeriod) + " And FYear=" + Num(a.lYear) +
          " And (FBegQty<>0 Or FBegBal<>0 )",
  });
}

// Opening rows that cannot stand, in one item group (`group` restricts t_ICItem di): an item
// kept by auxiliary property without one, and an item whose shelf life is 1 without an
// expiry date.
std::string OpeningPruning(std::string_view group) {
  const std::string items = "Where oi.FItemID=di.FItemID" + std::string(group);
  return Lines({
      "delete oi from  #TmpBal_2_2 oi, t_ICItem di",
      items + " and di.FISAuxi = 1 and oi.FAuxPropID = 0",
      "delete oi from  #TmpBal_2_2 oi, t_ICItem di",
      items + " and di.FKFPeriod = 1 and (oi.FPeriodDate Is Null Or oi.FPeriodDate = "
              "'1900-01-01 00:00:00.000')",
  });
}

// The audited movements of the window with their own amounts. Price adjustments and amount
// rebates (2040, 2041) are spread later instead; sales rebates 3020 and 3021 are no issues.
std::string Movements(const BatchNoArgs& a) {
  const std::string window =
      "Where " + DateWindow("c", a.start_date, a.end_date) + " And IsNull(c.FStatus,0)<>0";
  return Lines({
      "--插入本期收入",
      "Insert Into #TmpBal_2_2(FClassTypeID,FBillTypeID,FItemID,FStockID,FBatchNo,FAuxPropID,"
      "FReceive,FSecReceive,FDebit,FKFDate,FKFPeriod,FPeriodDate)",
      "Select c.FClassTypeID,c.FBillTypeID,c.FItemID,c.FStockID,c.FBatchNo,c.FAuxPropID,c.FQty,"
      "c.FSecQty,c.FAmount,c.FKFDate,c.FKFPeriod,c.FPeriodDate",
      "From vw_cc_Receive c Inner Join t_ICItem i On c.FItemID=i.FItemID",
      window,
      "And not(FClassTypeID = 1020004 and (FbillTypeID = 2040 or FbillTypeID = 2041)) and "
      "not(FClassTypeID =  1040008)",
      "--插入本期发出",
      "Insert Into #TmpBal_2_2(FClassTypeID,FBillTypeID,FItemID,FStockID,FBatchNo,FAuxPropID,"
      "FSend,FSecSend,FCredit,FKFDate,FKFPeriod,FPeriodDate)",
      "Select c.FClassTypeID,c.FBillTypeID,c.FItemID,c.FStockID,c.FBatchNo,c.FAuxPropID,c.FQty,"
      "c.FSecQty,c.FAmount,c.FKFDate,c.FKFPeriod,c.FPeriodDate",
      "From vw_cc_Send c Inner Join t_ICItem i On c.FItemID=i.FItemID",
      window,
      "And not(FClassTypeID = 1030004 and (FbillTypeID = 3020 or FbillTypeID = 3021)) and "
      "not(FClassTypeID =  1040008)",
  });
}

// One command, every line ending in a line break. The openings are pruned before the
// movements enter, so a movement with auxiliary property 0 stays. The batch-managed groups
// are pruned first, as the pruning has always been issued; the last pair alone decides the
// outcome.
std::string BuildPreparationBatch(const BatchNoArgs& a) {
  return Lines({
      "Set NoCount On",
      ShelfLifeCopy(),
      "If Object_ID('tempdb..#TmpBal_2_2') Is Not Null Drop Table #TmpBal_2_2 ",
      "Create Table #TmpBal_2_2(",
      "FClassTypeID int not null,",
      "FBillTypeID int not null,",
      "FItemID int not null,",
      "FStockID int not null,",
      "FBatchNo varchar(255) not null default '',",
      "FAuxPropID int not null default 0,",
      "FBegQty decimal(28,10) not null default 0,",
      "FSecBegQty decimal(28,10) not null default 0,",
      "FBegBal decimal(28,10) not null default 0,",
      "FReceive decimal(28,10) not null default 0,",
      "FSecReceive decimal(28,10) not null default 0,",
      "FDebit decimal(28,10) not null default 0,",
      "FSend decimal(28,10) not null default 0,",
      "FSecSend decimal(28,10) not null default 0,",
      "FCredit decimal(28,10) not null default 0,",
      "FKFDate DateTime null default '',",
      "FKFPeriod int null default 0,",
      "FPeriodDate DateTime null default '')",
      Openings(a),
      OpeningPruning(" and di.FISBatchManager = 1 and di.FBatchManager = 1 AND di.FTrack = 80"),
      OpeningPruning(" and di.FISBatchManager = 1 and di.FBatchManager = 0 AND di.FTrack <> 80"),
      OpeningPruning(""),
      Movements(a),
      "--更新FKFDate，FKFPeriod,FPeriodDate",
      "Update #TmpBal_2_2 Set FKFDate='1900-01-01' Where FKFDate Is Null",
      "Update #TmpBal_2_2 Set FKFPeriod=0 Where FKFPeriod Is Null",
      "Update #TmpBal_2_2 Set FPeriodDate='1900-01-01' Where FPeriodDate Is Null",
      "",
  });
}

// The production date is not part of the key: it is the expiry date less the shelf life, so
// rows of a batch that differ only in their recorded production date fall together.
std::string BuildAggregation(const BatchNoArgs& a) {
  return Lines({
      "Select " + Num(a.lYear) + " as FYear," + Num(a.lPeriod) +
          " as FPeriod,FStockID,FItemID,FBatchNo,FAuxPropID,Sum(FBegQty) as FBegQty,"
          "Sum(FSecBegQty) as FSecBegQty,Sum(FBegBal) as FBegBal,Sum(FReceive) as FReceive,"
          "Sum(FSecReceive) as FSecReceive,Sum(FDebit) as FDebit,Sum(FSend) as FSend,"
          "Sum(FSecSend) as FSecSend,Sum(FCredit) as FCredit,",
      "(FPeriodDate-FKFPeriod) as FKFDate,FKFPeriod,FPeriodDate",
      "into #t_CC_Stock_BatchNo",
      "From #TmpBal_2_2 Group By FStockID,FItemID,FBatchNo,FAuxPropID,FKFPeriod,FPeriodDate",
  });
}

// Created without an existence test: a session still holding it from an interrupted run
// fails here.
std::string BuildSnapshot() {
  return Lines({"select *  ", "  into #T_CC_InventoryAll ", "  From  #t_CC_Stock_BatchNo t "});
}

}  // namespace

void RunBatchNoPreparation(ado::Connection& cnn, const BatchNoArgs& args) {
  cnn.Execute(BuildPreparationBatch(args), nullptr, -1);
  cnn.Execute(BuildAggregation(args), nullptr, -1);
  cnn.Execute(BuildSnapshot(), nullptr, -1);
}

}  // namespace morvesk::balance
