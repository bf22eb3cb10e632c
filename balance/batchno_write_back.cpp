// The period's batch rows into t_CC_Stock_BatchNo: the period's stored rows replaced as a
// whole, spread amounts rounded to cents, closing figures computed, the batch rows of items
// not costed by batch brought to the closing amounts of t_CC_Stock, and the closing figures
// carried as openings into the period the system profile names as current.
#include <cctype>
#include <cmath>
#include <memory>
#include <string>

#include "frame/batch_text.h"
#include "balance/batchno_stages.h"
#include "platform/ado/connection.h"
#include "platform/ado/recordset.h"

namespace morvesk::balance {

using frame::Lines;
using frame::Num;

namespace {

std::string BuildReplacePeriod(const BatchNoArgs& a) {
  const std::string y = Num(a.lYear), p = Num(a.lPeriod);
  return Lines({
      "Delete From t_CC_Stock_BatchNo Where FYear=" + y + " And FPeriod=" + p,
      "Insert Into t_CC_Stock_BatchNo(FYear,FPeriod,FStockID,FItemID,FBatchNo,FAuxPropID,FBegQty,"
      "FSecBegQty,FBegBal,FReceive,FSecReceive,FDebit,FSend,FSecSend,FCredit,FKFDate,FKFPeriod,"
      "FPeriodDate)",
      "Select " + y + "," + p + ",FStockID,FItemID,FBatchNo,FAuxPropID,Sum(FBegQty),",
      "Sum(FSecBegQty),Sum(FBegBal),Sum(FReceive),Sum(FSecReceive),",
      "Sum(FDebit),Sum(FSend),Sum(FSecSend),Sum(FCredit),FPeriodDate-FKFPeriod,FKFPeriod,"
      "FPeriodDate",
      "From #t_CC_Stock_BatchNo Group By FStockID,FItemID,FBatchNo,FAuxPropID,FKFPeriod,"
      "FPeriodDate",
      "If Object_ID('tempdb..#t_CC_Stock_BatchNo') Is Not Null Drop Table #t_CC_Stock_BatchNo ",
      "If Object_ID('tempdb..#TmpBal_2_2') Is Not Null Drop Table #TmpBal_2_2 ",
  });
}

// Quantity shares were kept to 10 decimals while spreading; stored amounts have cents.
std::string BuildRounding(const BatchNoArgs& a) {
  return Lines({
      "Update t_CC_Stock_BatchNo Set FDebit = ROUND(FDebit, 2), FEndBal = ROUND(FEndBal, 2) ",
      "Where FDebit <> 0 and FYear=" + Num(a.lYear) + " And FPeriod=" + Num(a.lPeriod),
  });
}

std::string BuildClosing(const BatchNoArgs& a) {
  return Lines({
      "Update t_CC_Stock_BatchNo Set FEndQty=FBegQty+FReceive-FSend,FSecEndQty=FSecBegQty+"
      "FSecReceive-FSecSend,FEndBal=FBegBal+FDebit-FCredit",
      "Where FYear=" + Num(a.lYear) + " And FPeriod=" + Num(a.lPeriod),
  });
}

// For items not costed by batch the batch rows of a stock, item and auxiliary property must
// add up to the closing amount of t_CC_Stock (0 when it has no row). The difference goes to
// the row with the largest non-zero received amount, the last numbered among equals; a group
// without such a row is left as it is.
std::string BuildReconciliation(const BatchNoArgs& a) {
  return Lines({
      "SET NOCOUNT ON ",
      "select identity(int,1,1) as FIndex, a.FYear,a.FPeriod,a.FStockID,a.FItemID,a.FBatchNo,"
      "a.FAuxPropID,a.FKFPeriod,a.FKFDate, a.FDebit, a.FEndBal, aa.FDebitSum, aa.FEndBalSum",
      "INTO #t_CC_Stock_BatchNo01",
      "from t_CC_Stock_BatchNo a inner join (",
      "  select a.FYear,a.FPeriod,a.FStockID,a.FItemID,a.FAuxPropID,max(a.FDebit) as FDebit,"
      "sum(a.FDebit) as FDebitSum,sum(a.FEndBal) as FEndBalSum",
      "  from t_CC_Stock_BatchNo a inner join t_icitem b on a.fitemid = b.fitemid and b.FTrack "
      "<> 80",
      "  group by a.FYear,a.FPeriod,a.FStockID,a.FItemID,a.FAuxPropID",
      ") aa on a.FYear = aa.FYear and a.FPeriod = aa.FPeriod and a.FStockID = aa.FStockID and "
      "a.FItemID = aa.FItemID and a.FAuxPropID = aa.FAuxPropID and a.FDebit = aa.FDebit and "
      "a.FDebit <> 0",
      "where a.FYear = " + Num(a.lYear) + " and a.FPeriod = " + Num(a.lPeriod),
      "SELECT max(a.FIndex) as FIndex, a.FYear,a.FPeriod,a.FStockID,a.FItemID,a.FAuxPropID ",
      "INTO #t_CC_Stock_BatchNo02 ",
      "FROM #t_CC_Stock_BatchNo01 a group by a.FYear,a.FPeriod,a.FStockID,a.FItemID,a.FAuxPropID",
      "update t set t.FDebit = t.FDebit + (isnull(tts.FEndBal,0) - aa.FEndBalSum), t.FEndBal = "
      "t.FEndBal + (isnull(tts.FEndBal,0) - aa.FEndBalSum)",
      "from t_CC_Stock_BatchNo t ",
      "inner join #t_CC_Stock_BatchNo01 aa on t.FYear = aa.FYear and t.FPeriod = aa.FPeriod and "
      "t.FStockID = aa.FStockID and t.FItemID = aa.FItemID and t.FBatchNo = aa.FBatchNo and "
      "t.FAuxPropID = aa.FAuxPropID and t.FKFPeriod = aa.FKFPeriod and t.FKFDate = aa.FKFDate",
      "inner join #t_CC_Stock_BatchNo02 tt on aa.FYear = tt.FYear and aa.FPeriod = tt.FPeriod "
      "and aa.FStockID = tt.FStockID and aa.FItemID = tt.FItemID and aa.FAuxPropID = "
      "tt.FAuxPropID and tt.FIndex = aa.FIndex",
      "left join t_CC_Stock tts on t.FYear = tts.FYear and t.FPeriod = tts.FPeriod and "
      "t.FStockID = tts.FStockID and t.FItemID = tts.FItemID and t.FAuxPropID = tts.FAuxPropID",
      " drop table #t_CC_Stock_BatchNo01 ",
      " drop table #t_CC_Stock_BatchNo02 ",
  });
}

// Every non-zero amount of the table, not only the period's items.
std::string BuildInventoryRounding() {
  return Lines({"Update T_CC_Inventory Set FBal = ROUND(FBal, 2) ", "Where FBal <> 0 "});
}

// A profile value read as the automation Val reads text: leading blanks skipped, optional
// sign, digits with an optional fraction, anything else ends it; 0 for empty text.
double ValOf(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  const size_t start = i;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
  size_t digits = 0;
  while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i, ++digits;
  }
  return digits == 0 ? 0.0 : std::stod(text.substr(start, i - start));
}

// The first column of the first row, rounded to a whole number. A missing profile row has no
// first row: reading it raises, and the carry-forward does not happen.
int64_t ReadProfileNumber(ado::Connection& cnn, const std::string& key) {
  std::shared_ptr<ado::Recordset> rs = cnn.Execute(
      "Select IsNull(FValue,'') from t_SystemProFile where Fcategory='IC' and Fkey='" + key + "'",
      nullptr, -1);
  const double value = ValOf(rs->FieldAt(0).Value().ToString());
  rs->Close();
  return static_cast<int64_t>(std::nearbyint(value));
}

// Every row of the calculated period, zero rows included, opens the current period; rows
// already stored there stay (the next run takes only non-zero openings).
std::string BuildCarryForward(const BatchNoArgs& a, int64_t year, int64_t period) {
  return Lines({
      "Insert Into t_CC_Stock_BatchNo(FYear,FPeriod,FStockID,FItemID,FBatchNo,FAuxPropID,FBegQty,"
      "FSecBegQty,FBegBal,FKFDate,FKFPeriod,FPeriodDate)",
      "Select " + Num(year) + "," + Num(period) +
          ",FStockID,FItemID,FBatchNo,FAuxPropID,FEndQty,FSecEndQty,FEndBal,FKFDate,FKFPeriod,"
          "FPeriodDate",
      "From t_CC_Stock_BatchNo ",
      "Where FYear=" + Num(a.lYear) + " And FPeriod=" + Num(a.lPeriod),
  });
}

}  // namespace

void RunBatchNoWriteBack(ado::Connection& cnn, const BatchNoArgs& args) {
  cnn.Execute("drop table #T_CC_InventoryAll ", nullptr, -1);
  cnn.Execute(BuildReplacePeriod(args), nullptr, -1);
  cnn.Execute(BuildRounding(args), nullptr, -1);
  cnn.Execute(BuildClosing(args), nullptr, -1);
  cnn.Execute(BuildReconciliation(args), nullptr, -1);
  cnn.Execute(BuildInventoryRounding(), nullptr, -1);

  const int64_t period = ReadProfileNumber(cnn, "CurrentPeriod");
  const int64_t year = ReadProfileNumber(cnn, "CurrentYear");
  cnn.Execute(BuildCarryForward(args, year, period), nullptr, -1);
}

}  // namespace morvesk::balance
