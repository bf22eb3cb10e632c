// Spreading of the period's price adjustments (class 1040008, amount rebates 2040 and 2041)
// over the batch rows of #t_CC_Stock_BatchNo. Each adjustment total of an item and stock
// (and batch, for items costed by batch) goes to the rows of that item and stock in
// proportion to their closing amounts; a pair whose rows hold no closing amount at all takes
// it in proportion to closing quantities, but only until the pair has once taken an
// amount-proportional share (it then leaves #T_CC_InventoryAll). Shares are rounded per row;
// the residue is left for the reconciliation with t_CC_Stock.
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "balance/batchno_stages.h"
#include "frame/batch_text.h"
#include "frame/sql_text.h"
#include "platform/ado/connection.h"
#include "platform/ado/recordset.h"

namespace morvesk::balance {

using frame::LineIf;
using frame::Lines;

namespace {

using automation::Variant;

struct ItemGroup {
  std::string_view item_condition;  // on t_ICItem s, for the totals
  std::string_view row_condition;   // on t_ICItem s and the balance row t
  bool by_batch;                    // totals and shares keyed by batch number too
  bool match_batch;                 // a row meets its closing figures on the batch number too
};

// In the order they are spread. Batch-managed items that fit neither of the first two groups
// (managed by batch but not costed by batch, or the reverse) take no share.
constexpr ItemGroup kGroups[] = {
    {"s.FISBatchManager=1 and s.FBatchManager = 1 AND s.FTrack = 80 AND t.FBatchNo <> ''",
     "s.FISBatchManager=1 and s.FBatchManager = 1 AND s.FTrack = 80 AND t.FBatchNo <> ''", true,
     true},
    {"s.FISBatchManager=1 and s.FBatchManager = 0 AND s.FTrack <> 80",
     "s.FISBatchManager=1 and s.FBatchManager = 0 AND s.FTrack <> 80 AND t.FBatchNo <> ''", false,
     true},
    {"s.FISBatchManager=0 and s.FISAuxi = 1", "s.FISBatchManager=0 and s.FISAuxi = 1", false,
     false},
    {"s.FISBatchManager=0 and s.FISAuxi = 0 AND s.FISKFPeriod = 1",
     "s.FISBatchManager=0 and s.FISAuxi = 0 AND s.FISKFPeriod = 1", false, false},
    {"s.FISBatchManager=0 and s.FISAuxi = 0 AND s.FISKFPeriod = 0",
     "s.FISBatchManager=0 and s.FISAuxi = 0 AND s.FISKFPeriod = 0", false, false},
};

// With the option CalculateType 0 every total is keyed to stock 0.
std::string BuildTotalsQuery(const ItemGroup& g, const BatchNoArgs& a) {
  const std::string stock = "(case when @CalculateType = 0 then 0 else t.FStockID end)";
  return Lines({
      "SET NOCOUNT ON Declare @CalculateType int ",
      "select @CalculateType=isnull(FValue,1) from t_systemprofile where FCategory = 'IC' and "
      "FKey = 'CalculateType' ",
      "select t.fitemid," + std::string(g.by_batch ? "t.FBatchNo," : "") + stock +
          " as FStockID,sum(FQty) as FQty,sum(FSecQty) as FSecQty,sum(FAmount) as FBal  ",
      "  from vw_cc_Receive t ",
      "  inner join t_ICItem s on t.FItemID=s.FItemID and " + std::string(g.item_condition),
      "Where t.FDate>='" + a.start_date + "'",
      "  And t.FDate<'" + a.end_date + "'",
      "  And Isnull(t.FStatus,0)<>0 and (t.FClassTypeID=1040008 or (t.FClassTypeID=1020004 and "
      "(FbillTypeID = 2040 or FbillTypeID = 2041))) ",
      "group by t.fitemid," + stock + std::string(g.by_batch ? ",t.FBatchNo " : " "),
  });
}

struct Total {
  std::string stock_id;
  std::string item_id;
  std::string batch_no;  // QuoteSQL'd, group 1 only
  std::string bal;       // the total as a plain numeral; empty when Null
};

// One command per total, every line ending in a line break.
std::string BuildSpreadCommand(const ItemGroup& g, const Total& t) {
  // The balance rows the total reaches.
  const std::string rows_of_total = Lines({
      " from #t_CC_Stock_BatchNo t",
      "   inner join t_ICItem s on t.FItemID=s.FItemID and " + std::string(g.row_condition),
      " Where ",
      "   t.FStockID=" + t.stock_id,
      "   and t.FItemID=" + t.item_id,
      LineIf(g.by_batch, "   and t.FBatchNo=" + t.batch_no),
  });
  // A row meets its key's closing figures.
  const std::string key_match =
      "oi.fitemid = duai.fitemid and oi.FAuxPropID = duai.FAuxPropID and oi.FStockID = "
      "duai.FStockID and oi.FKfPeriod= duai.FKfPeriod ";
  const std::string second_match =
      "     and oi.FPeriodDate= duai.FPeriodDate " +
      std::string(g.match_batch ? "and oi.FBatchNo= duai.FBatchNo " : "");
  // The rows of the total's own pair (and batch).
  const std::string of_pair = Lines({
      "     and oi.FStockID=@FStockID",
      "     and oi.FItemID=@fitemid",
      LineIf(g.by_batch, "     and oi.FBatchNo=@FBatchNo"),
  });
  return Lines({
      "Declare @Amount decimal(28,10)",
      " Declare @Qty decimal(28,10)",
      " Declare @fitemid int",
      " Declare @FBatchNo varchar(255)",
      " Declare @FStockID int",
      // Closing figures of every balance key the total reaches.
      " select sum(FBegBal+FDebit-FCredit) AS FAmount,",
      " sum(FBegQty+FReceive-FSend) as FQty,",
      " t.fitemid,",
      " t.FAuxPropID,",
      " t.FBatchNo,",
      " t.FStockID,",
      " t.FKfPeriod,",
      " t.FPeriodDate",
      " into #DUAT_CC_Bal",
      rows_of_total,
      " group by t.fitemid,t.FAuxPropID,t.FBatchNo,t.FStockID,t.FKfPeriod,t.FPeriodDate  ",
      // Their sums; no row leaves the variables Null and the rest of the command idle.
      " select @Amount=sum(FBegBal+FDebit-FCredit),",
      " @Qty=sum(FBegQty+FReceive-FSend), ",
      " @fitemid=t.fitemid,",
      LineIf(g.by_batch, " @FBatchNo=t.FBatchNo,"),
      " @FStockID=t.FStockID",
      rows_of_total,
      g.by_batch ? " group by t.fitemid,t.FBatchNo,t.FStockID" : " group by t.fitemid,t.FStockID  ",
      // The pairs whose rows take an amount share.
      " select distinct oi.fitemid,oi.FStockID",
      "   into #exp_CC_Bal ",
      "   from #t_CC_Stock_BatchNo oi, #DUAT_CC_Bal duai ",
      "   Where (oi.FBegBal+oi.FDebit-oi.FCredit) <> 0 and " + key_match,
      second_match,
      of_pair,
      "   update oi set oi.FDebit = oi.FDebit + round(((" + t.bal +
          ") * (duai.FAmount) / (@Amount)),2)",
      "   from #t_CC_Stock_BatchNo oi, #DUAT_CC_Bal duai ",
      "   Where (oi.FBegBal+oi.FDebit-oi.FCredit) <> 0 and " + key_match,
      second_match,
      of_pair,
      "     and @Amount <> 0 ",
      // A pair that took an amount share takes no quantity share for the rest of the run.
      "   delete  oi ",
      "   from #T_CC_InventoryAll oi, #exp_CC_Bal doi ",
      "   Where oi.fitemid = doi.fitemid and oi.FStockID = doi.FStockID ",
      "     and oi.FStockID=@FStockID",
      "     and oi.FItemID=@fitemid",
      "   update oi set oi.FDebit = oi.FDebit + round(((" + t.bal + ") * (duai.FQty) / (@qty)),10)",
      "   from #t_CC_Stock_BatchNo oi, #DUAT_CC_Bal duai, #T_CC_InventoryAll aoi ",
      "   Where (oi.FBegBal+oi.FDebit-oi.FCredit) = 0 and (oi.FBegQty+oi.FReceive-oi.FSend) <> 0 "
      "and " +
          key_match,
      second_match,
      "     and oi.fitemid = aoi.fitemid and oi.FStockID = aoi.FStockID ",
      of_pair,
      "     and @qty <> 0 ",
      " drop table #DUAT_CC_Bal ",
      " drop table #exp_CC_Bal ",
      "",
  });
}

// The whole totals set is read before its commands run: they never touch the view it comes
// from, so the totals cannot change underneath.
std::vector<Total> ReadTotals(ado::Connection& cnn, const ItemGroup& g, const BatchNoArgs& a) {
  std::shared_ptr<ado::Recordset> rs = cnn.Execute(BuildTotalsQuery(g, a), nullptr, -1);
  std::vector<Total> totals;
  if (!rs->IsOpen()) return totals;
  const ado::Field stock = rs->Fields(Variant("FStockID"));
  const ado::Field item = rs->Fields(Variant("FItemID"));
  const ado::Field bal = rs->Fields(Variant("FBal"));
  std::optional<ado::Field> batch;
  if (g.by_batch) batch = rs->Fields(Variant("FBatchNo"));
  for (; !rs->Eof(); rs->MoveNext()) {
    totals.push_back({stock.Value().ToString(), item.Value().ToString(),
                      batch ? frame::QuoteSQL(batch->Value(), true, true) : std::string(),
                      bal.Value().ToString()});
  }
  rs->Close();
  return totals;
}

}  // namespace

void RunBatchNoSpreading(ado::Connection& cnn, const BatchNoArgs& args) {
  for (const ItemGroup& g : kGroups) {
    for (const Total& t : ReadTotals(cnn, g, args)) {
      cnn.Execute(BuildSpreadCommand(g, t), nullptr, -1);
    }
  }
}

}  // namespace morvesk::balance
