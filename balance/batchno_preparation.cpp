// The batch rows of the period before any price adjustment: stored openings of
// t_CC_Stock_BatchNo, audited receipts and issues of the date window, one row per source row
// in #TmpBal_2_2, then summed by balance key (stock, item, batch, auxiliary property, shelf
// life, expiry date) into #t_CC_Stock_BatchNo, with a copy kept in #T_CC_InventoryAll.
#include <memory>
#include <string>
#include <string_view>

#include "frame/batch_text.h"
#include "balance/batchno_stages.h"
#include "platform/ado/connection.h"
#include "platform/automation/registry.h"
#include "platform/plexo/string_builder.h"

namespace morvesk::balance {

using frame::Lines;
using frame::Num;
using frame::DateWindow;

namespace {

using automation::Variant;

// The preparation command is long; it is accumulated piece by piece, each piece a line of its
// own, in the application's text accumulator.
class PieceText {
 public:
  PieceText() : sb_(automation::CreateObject(plexo::kStringBuilderClsid)) {}
  void Add(std::string_view piece) { sb_->Call("Append", {Variant(std::string(piece) + "\r\n")}); }
  std::string Text() { return sb_->Call("ToString").ToString(); }

 private:
  std::shared_ptr<automation::Dispatch> sb_;
};

// Adjustment and amount-rebate entries take the largest shelf-life data of all receipts ever
// made of the same stock, item, batch and auxiliary property. Every period's bills are
// written, not only the calculated one's.
void AddShelfLifeCopy(PieceText& s) {
  s.Add("Update t Set t.FKFDate=b.FKFDate,t.FKFPeriod=b.FKFPeriod,t.FPeriodDate=b.FPeriodDate");
  s.Add("From T_CC_StockBillEntry t Inner Join T_CC_StockBill a On t.FID=a.FID");
  s.Add(
      "Inner Join (Select c.FStockID,c.FItemID,c.FBatchNo,c.FAuxPropID,"
      "Max(IsNull(FKFDate,'1900-01-01')) As FKFDate,Max(FKFPeriod) As FKFPeriod,"
      "Max(IsNull(FPeriodDate,'1900-01-01')) As FPeriodDate");
  s.Add(
      "From vw_cc_Receive c Where c.FClassTypeID<>1040008 and c.FClassTypeID<>1020004 and "
      "c.FBillTypeID<>2041 and IsNull(FBatchNo,'') <> ''");
  s.Add("Group By c.FStockID,c.FItemID,c.FBatchNo,c.FAuxPropID) b");
  s.Add("On t.FItemID=b.FItemID And t.FBatchNo=b.FBatchNo And t.FAuxPropID=b.FAuxPropID");
  s.Add(
      "Where ((a.FClassTypeID=1020004 and a.FBillTypeID=2041) Or (a.FClassTypeID=1040008)) And "
      "(t.FDCStockID=b.FStockID Or t.FSCStockID=b.FStockID)");
}

void AddCreateTmpBal22(PieceText& s) {
  s.Add("If Object_ID('tempdb..#TmpBal_2_2') Is Not Null Drop Table #TmpBal_2_2 ");
  s.Add("Create Table #TmpBal_2_2(");
  s.Add("FClassTypeID int not null,");
  s.Add("FBillTypeID int not null,");
  s.Add("FItemID int not null,");
  s.Add("FStockID int not null,");
  s.Add("FBatchNo varchar(255) not null default '',");
  s.Add("FAuxPropID int not null default 0,");
  s.Add("FBegQty decimal(28,10) not null default 0,");
  s.Add("FSecBegQty decimal(28,10) not null default 0,");
  s.Add("FBegBal decimal(28,10) not null default 0,");
  s.Add("FReceive decimal(28,10) not null default 0,");
  s.Add("FSecReceive decimal(28,10) not null default 0,");
  s.Add("FDebit decimal(28,10) not null default 0,");
  s.Add("FSend decimal(28,10) not null default 0,");
  s.Add("FSecSend decimal(28,10) not null default 0,");
  s.Add("FCredit decimal(28,10) not null default 0,");
  s.Add("FKFDate DateTime null default '',");
  s.Add("FKFPeriod int null default 0,");
  s.Add("FPeriodDate DateTime null default '')");
}

// Openings are what the previous run carried into this period; rows with neither quantity
// nor amount (a secondary quantity alone included) are left out.
void AddOpenings(PieceText& s, const BatchNoArgs& a) {
  s.Add("--插入期初数据");
  s.Add(
      "Insert Into #TmpBal_2_2(FClassTypeID,FBillTypeID,FItemID,FStockID,FBatchNo,FAuxPropID,"
      "FBegQty,FSecBegQty,FBegBal,FKFDate,FKFPeriod,FPeriodDate)");
  s.Add(
      "Select 0,0,FItemID,FStockID,FBatchNo,FAuxPropID,FBegQty,FSecBegQty,FBegBal,FKFDate,"
      "FKFPeriod,FPeriodDate From t_cc_Stock_batchno");
  s.Add("Where FPeriod=" + Num(a.lPeriod) + " And FYear=" + Num(a.lYear) +
        " And (FBegQty<>0 Or FBegBal<>0 )");
}

// Opening rows that cannot stand: an item kept by auxiliary property without one, and an
// item whose shelf life is 1 without an expiry date. Runs before the movements enter, so a
// movement with auxiliary property 0 stays. The batch-managed groups are pruned first, as
// the pruning has always been issued; the last pair alone decides the outcome.
void AddOpeningPruning(PieceText& s) {
  constexpr std::string_view kGroups[] = {
      " and di.FISBatchManager = 1 and di.FBatchManager = 1 AND di.FTrack = 80",
      " and di.FISBatchManager = 1 and di.FBatchManager = 0 AND di.FTrack <> 80",
      "",
  };
  for (std::string_view group : kGroups) {
    s.Add("delete oi from  #TmpBal_2_2 oi, t_ICItem di");
    s.Add("Where oi.FItemID=di.FItemID" + std::string(group) +
          " and di.FISAuxi = 1 and oi.FAuxPropID = 0");
    s.Add("delete oi from  #TmpBal_2_2 oi, t_ICItem di");
    s.Add("Where oi.FItemID=di.FItemID" + std::string(group) +
          " and di.FKFPeriod = 1 and (oi.FPeriodDate Is Null Or oi.FPeriodDate = "
          "'1900-01-01 00:00:00.000')");
  }
}

// The audited movements of the window with their own amounts. Price adjustments and amount
// rebates (2040, 2041) are spread later instead; sales rebates 3020 and 3021 are no issues.
void AddMovements(PieceText& s, const BatchNoArgs& a) {
  const std::string window = "Where " + DateWindow("c", a.start_date, a.end_date) +
                             " And IsNull(c.FStatus,0)<>0";
  s.Add("--插入本期收入");
  s.Add(
      "Insert Into #TmpBal_2_2(FClassTypeID,FBillTypeID,FItemID,FStockID,FBatchNo,FAuxPropID,"
      "FReceive,FSecReceive,FDebit,FKFDate,FKFPeriod,FPeriodDate)");
  s.Add(
      "Select c.FClassTypeID,c.FBillTypeID,c.FItemID,c.FStockID,c.FBatchNo,c.FAuxPropID,c.FQty,"
      "c.FSecQty,c.FAmount,c.FKFDate,c.FKFPeriod,c.FPeriodDate");
  s.Add("From vw_cc_Receive c Inner Join t_ICItem i On c.FItemID=i.FItemID");
  s.Add(window);
  s.Add(
      "And not(FClassTypeID = 1020004 and (FbillTypeID = 2040 or FbillTypeID = 2041)) and "
      "not(FClassTypeID =  1040008)");
  s.Add("--插入本期发出");
  s.Add(
      "Insert Into #TmpBal_2_2(FClassTypeID,FBillTypeID,FItemID,FStockID,FBatchNo,FAuxPropID,"
      "FSend,FSecSend,FCredit,FKFDate,FKFPeriod,FPeriodDate)");
  s.Add(
      "Select c.FClassTypeID,c.FBillTypeID,c.FItemID,c.FStockID,c.FBatchNo,c.FAuxPropID,c.FQty,"
      "c.FSecQty,c.FAmount,c.FKFDate,c.FKFPeriod,c.FPeriodDate");
  s.Add("From vw_cc_Send c Inner Join t_ICItem i On c.FItemID=i.FItemID");
  s.Add(window);
  s.Add(
      "And not(FClassTypeID = 1030004 and (FbillTypeID = 3020 or FbillTypeID = 3021)) and "
      "not(FClassTypeID =  1040008)");
}

void AddDatingDefaults(PieceText& s) {
  s.Add("--更新FKFDate，FKFPeriod,FPeriodDate");
  s.Add("Update #TmpBal_2_2 Set FKFDate='1900-01-01' Where FKFDate Is Null");
  s.Add("Update #TmpBal_2_2 Set FKFPeriod=0 Where FKFPeriod Is Null");
  s.Add("Update #TmpBal_2_2 Set FPeriodDate='1900-01-01' Where FPeriodDate Is Null");
}

std::string BuildPreparationBatch(const BatchNoArgs& a) {
  PieceText s;
  s.Add("Set NoCount On");
  AddShelfLifeCopy(s);
  AddCreateTmpBal22(s);
  AddOpenings(s, a);
  AddOpeningPruning(s);
  AddMovements(s, a);
  AddDatingDefaults(s);
  return s.Text();
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
