// Period advance after the balances of the closed period are rebuilt: the next period becomes
// the inventory side's current one, and the closing balances of t_CC_Bal and t_CC_Stock become
// its opening balances. Lots of lot-by-lot items are consolidated where a stock holds a lot
// that cannot be costed on its own, and all remaining lots get fresh identifiers.
#include <cctype>
#include <memory>
#include <string>

#include "frame/batch_text.h"
#include "balance/close_stages.h"
#include "platform/ado/connection.h"
#include "platform/ado/recordset.h"
#include "platform/automation/com_error.h"

namespace morvesk::balance {

using frame::Lines;
using frame::Num;

namespace {

struct NextPeriod {
  int32_t year = 0;
  int32_t period = 0;
};

// A lot that cannot stand alone: the marked one, quantity without amount or the reverse, or
// a negative balance. Its whole stock and item is consolidated.
constexpr std::string_view kSuspiciousLot =
    "FInterID='200000000000000000000000' or (FBegQty<>0 and FbegBal=0) or (FBegQty=0 and "
    "FbegBal<>0) or FBegQty<0 or FbegBal<0";

// The number at the start of a profile text as the automation Val reads it: leading blanks
// skipped, an optional sign, digits with an optional fraction; anything else ends it.
double LeadingNumber(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  size_t start = i;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
  size_t digits_from = i;
  while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i;
  }
  if (i == digits_from || (i == digits_from + 1 && text[digits_from] == '.')) return 0;
  return std::stod(text.substr(start, i - start));
}

// First column of the first row of a query, as text; empty when there is no row or it is Null.
std::string FirstValue(ado::Connection& cnn, const std::string& sql) {
  std::shared_ptr<ado::Recordset> rs = cnn.Execute(sql, nullptr, -1);
  std::string value;
  if (rs->IsOpen() && !rs->Eof()) {
    const automation::Variant& v = rs->FieldAt(0).Value();
    if (!v.is_null() && !v.is_empty()) value = v.ToString();
  }
  if (rs->IsOpen()) rs->Close();
  return value;
}

std::string BuildPeriodCountQuery() {
  return "Select IsNull(FValue,'') from t_SystemProFile where Fcategory='GL' and "
         "Fkey='PeriodCount'";
}

// The next period opens and the books' closed-accounts flag is cleared.
std::string BuildProfileBatch(const NextPeriod& n) {
  return Lines({
      "Update t_SystemProfile Set FValue='" + Num(n.year) +
          "' where Fcategory='IC' and Fkey='CurrentYear'",
      "Update t_SystemProfile Set FValue='" + Num(n.period) + "'",
      " where Fcategory='IC' and Fkey='CurrentPeriod'",
      " update t_SystemProfile set FValue = '0' WHERE FCategory = 'Base' and FKey = "
      "'AcctountingClosed' ",
  });
}

// Rows with a closing quantity or amount open the next period; empty rows are not carried.
std::string BuildBalCarryBatch(const CloseArgs& a, const NextPeriod& n) {
  const std::string ny = Num(n.year), np = Num(n.period);
  return Lines({
      "delete from t_CC_Bal where FYear=" + ny + " And FPeriod=" + np,
      "Insert Into t_CC_Bal(FInterID,FYear,FPeriod,FStockID,FItemID,FBatchNo,FBegQty,FBegBal,"
      "FStockInDate,FID,FEntryID,FClassTypeID)",
      "Select FInterID," + ny + "," + np +
          ",FStockID,FItemID,FBatchNo,FEndQty,FEndBal,FStockInDate,FID,FEntryID,FClassTypeID",
      "From t_CC_Bal",
      "Where FYear=" + Num(a.lYear) + " And FPeriod=" + Num(a.lPeriod) +
          " And (FEndQty<>0 Or FEndBal<>0)",
  });
}

// The next period's lots move into #TmpBal_1; every stock and item holding a suspicious lot
// goes back as one summary row dated the closed period's last day, and its lots leave the
// working table. What stays there is renumbered afterwards.
std::string BuildConsolidateBatch(const CloseArgs& a, const NextPeriod& n) {
  const std::string ny = Num(n.year), np = Num(n.period);
  const std::string suspicious_pairs =
      "(Select Distinct FStockID,FItemID From #TmpBal_1 Where " + std::string(kSuspiciousLot) + ")";
  return Lines({
      "Insert Into #TmpBal_1(FInterID,FItemID,FStockID,FBatchNo,FStockInDate,FBegQty,FBegBal,"
      "FReceive,FDebit,FSend,FCredit,FEndQty,FEndBal)",
      "Select u.FInterID,u.FItemID,u.FStockID,u.FBatchNo,u.FStockInDate,u.FBegQty,u.FBegBal,"
      "u.FReceive,u.FDebit,u.FSend,u.FCredit,u.FEndQty,u.FEndBal",
      "From t_CC_Bal u Inner Join t_ICItem t On u.FItemID=t.FItemID And t.FTrack=78",
      "Where u.FYear=" + ny + " And u.FPeriod=" + np,
      "delete t_CC_Bal from t_CC_Bal u inner join t_ICItem t on u.FItemID=t.FItemID and "
      "t.FTrack=78 ",
      "Where u.FYear=" + ny + " And u.FPeriod=" + np,
      "Insert Into t_CC_Bal(FInterID,FYear,FPeriod,FStockID,FItemID,FBatchNo,FBegQty,FBegBal,"
      "FStockInDate,FID,FEntryID,FClassTypeID)",
      "Select '100000000000000000000000'," + ny + "," + np +
          ",u.FStockID,u.FItemID,'' as FBatchNo,Sum(u.FBegQty),Sum(u.FbegBal),'" + a.last_day +
          "',0 FID,0 FEntryID,0 FClassTypeID ",
      "From #TmpBal_1 u Inner Join " + suspicious_pairs +
          " p On u.FStockID=p.FStockID And u.FItemID=p.FItemID",
      "Group By u.FStockID,u.FItemID",
      "delete #TmpBal_1 from #TmpBal_1 t",
      "Inner Join " + suspicious_pairs + " p On t.FStockID=p.FStockID And t.FItemID=p.FItemID",
  });
}

std::string BuildSeedQuery(const NextPeriod& n) {
  return "select isnull(max(FIdentity),0)+1 from t_cc_Bal where FYear=" + Num(n.year) +
         " and FPeriod=" + Num(n.period);
}

// The remaining lots come back numbered from the seed ("1000000" and the number padded to 17
// digits, the number kept in FID); then every lot identifier of the next period, summary
// rows included, ends in the row's own FIdentity.
std::string BuildRenumberBatch(const NextPeriod& n, int64_t seed) {
  const std::string ny = Num(n.year), np = Num(n.period);
  return Lines({
      "If Object_ID('tempdb..#TmpBal_max') Is Not Null Drop Table #TmpBal_max ",
      "Select '1000000'+ substring(u.FinterID,8,17) as FInterID," + ny + " as FYear," + np +
          " as FPeriod,u.FItemID,u.FStockID,u.FBatchNo,u.FStockInDate,u.FBegQty,u.FBegBal,"
          "u.FReceive,u.FDebit,u.FSend,u.FCredit,u.FEndQty,u.FEndBal,identity(int," +
          Num(seed) + ",1) as FID",
      "Into #TmpBal_max",
      "From #TmpBal_1 u Inner Join t_ICItem t On u.FItemID=t.FItemID And t.FTrack=78",
      " update #TmpBal_max set FinterID=substring(FinterID,1,7)+substring('00000000000000000',1,"
      "17-len(fid))+CONVERT(varchar(20),fid)",
      "Insert Into t_CC_Bal(FInterID,FYear,FPeriod,FItemID,FStockID,FBatchNo,FStockInDate,"
      "FBegQty,FBegBal,FReceive,FDebit,FSend,FCredit,FEndQty,FEndBal,FID)",
      " select * from #TmpBal_max ",
      " update b set b.FinterID=substring(b.FinterID,1,24-len(b.FIdentity))+CONVERT(varchar(20),"
      "b.FIdentity)",
      " from t_cc_bal b inner join t_ICItem t on b.FItemID=t.FItemID and t.FTrack=78",
      " where b.FYear=" + ny + " and b.FPeriod=" + np,
      "Drop Table #TmpBal_max ",
      "Drop Table #TmpBal_1 ",
  });
}

// Every row of the closed period opens the next one, zero rows included; nothing of the next
// period is deleted first, so rows already there under the same key fail the unique key.
std::string BuildStockCarryBatch(const CloseArgs& a, const NextPeriod& n) {
  return Lines({
      "Insert Into t_cc_Stock(FYear,FPeriod,FStockID,FItemID,FBatchNo,FAuxPropID,FBegQty,"
      "FSecBegQty,FBegBal,FKFDate,FKFPeriod,FPeriodDate)",
      "Select " + Num(n.year) + "," + Num(n.period) +
          ",FStockID,FItemID,FBatchNo,FAuxPropID,FEndQty,FSecEndQty,FEndBal,FKFDate,FKFPeriod,"
          "FPeriodDate",
      "From t_cc_Stock",
      "Where FYear=" + Num(a.lYear) + " And FPeriod=" + Num(a.lPeriod),
  });
}

}  // namespace

void RunCarryForward(ado::Connection& cnn, const CloseArgs& args) {
  const double period_count = LeadingNumber(FirstValue(cnn, BuildPeriodCountQuery()));
  if (period_count == 0) {
    throw automation::ComError(-1, "Morvesk.CalCurAmount", "取最大期间出错！");
  }
  NextPeriod next;
  if (period_count <= args.lPeriod) {
    next = {args.lYear + 1, 1};
  } else {
    next = {args.lYear, args.lPeriod + 1};
  }

  cnn.Execute(BuildProfileBatch(next), nullptr, -1);
  cnn.Execute(BuildBalCarryBatch(args, next), nullptr, -1);
  cnn.Execute(BuildConsolidateBatch(args, next), nullptr, -1);
  const int64_t seed = static_cast<int64_t>(LeadingNumber(FirstValue(cnn, BuildSeedQuery(next))));
  cnn.Execute(BuildRenumberBatch(next, seed), nullptr, -1);
  cnn.Execute(BuildStockCarryBatch(args, next), nullptr, -1);
}

}  // namespace morvesk::balance
