// GetItemsWithHappen of both classes: the items that moved on stock bills and on assembly and
// dismantling bills (product and component lines) in a date range. The dates are placed between
// quotes as the caller gave them; the range is half-open.
#include <memory>
#include <string>
#include <string_view>

#include "frame/batch_text.h"
#include "frame/conventions.h"
#include "platform/ado/connection.h"
#include "platform/automation/registry.h"
#include "platform/plexo/string_builder.h"
#include "readers/shared_lookups.h"

namespace morvesk::readers {

namespace {

using automation::Variant;
using frame::Lines;
using frame::Num;

// The reader's batch is assembled line by line in the application's text accumulator.
class LineText {
 public:
  LineText() : sb_(automation::CreateObject(plexo::kStringBuilderProgId)) {}
  void Add(std::string_view line) { sb_->Call("Append", {Variant(std::string(line) + "\r\n")}); }
  std::string Text() { return sb_->Call("ToString").ToString(); }

 private:
  std::shared_ptr<automation::Dispatch> sb_;
};

// Only audited bills count for the reader: status above 0.
std::string AuditedInRange(const std::string& sBDate, const std::string& sEDate) {
  return "   Where v.FDate>='" + sBDate + "' And v.FDate<'" + sEDate +
         "' And IsNull(v.FStatus,0)>0";
}

std::string ReaderBatch(const std::string& sBDate, const std::string& sEDate,
                        const std::string& sFilter) {
  const std::string where = AuditedInRange(sBDate, sEDate);
  LineText s;
  s.Add("Set NoCount On");
  s.Add("If Object_ID('tempdb..#ItemList') Is Not Null Drop Table #ItemList");
  s.Add("Select Distinct FItemID Into #ItemList");
  s.Add("From (");
  s.Add("   --出入库单");
  s.Add("   Select Distinct u.FItemID");
  s.Add("   From t_CC_StockBillEntry u ");
  s.Add("   Inner Join t_CC_StockBill v On v.FID=u.FID ");
  s.Add(where);
  s.Add("   Union");
  s.Add("   --组装拆卸单");
  s.Add("   Select Distinct u.FItemID");
  s.Add("   From t_CC_ZZCX_Entry u ");
  s.Add("   Inner Join t_CC_ZZCX v On v.FID=u.FID");
  s.Add(where);
  s.Add("   Union");
  s.Add("   --组装拆卸单");
  s.Add("   Select Distinct u.FItemID");
  s.Add("   From t_CC_ZZCX_Entry2 u ");
  s.Add("   Inner Join t_CC_ZZCX v On v.FID=u.FID ");
  s.Add(where);
  s.Add(") A ");
  s.Add("");
  s.Add(
      "Select I.FItemID,I.FNumber,I.FName,I.FCostPrice,I.FPriceDecimal,C.FName As "
      "FUnitID,I.FTrack,D.FName As FTrackName");
  s.Add("From t_ICItem            I");
  s.Add("Inner Join #ItemList     B On I.FItemID=B.FItemID");
  s.Add("Inner Join t_MeasureUnit C On I.FUnitID=C.FItemID");
  s.Add("Inner Join t_SubMessage  D On I.FTrack=D.FInterID");
  s.Add("Where D.FTypeID=200 " + sFilter);
  s.Add("Order By I.FISAssembly,I.FNumber");
  s.Add("");
  s.Add("Set NoCount Off");
  s.Add("If Object_ID('tempdb..#ItemList') Is Not Null Drop Table #ItemList");
  return s.Text();
}

// Every status counts here, and each source inserts its own distinct items, so an item found by two
// sources is listed twice.
std::string CalCurBatch(const std::string& sBDate, const std::string& sEDate,
                        const std::string& sFilter, int32_t lPeriod, int32_t lYear,
                        bool bOnlyBill) {
  const std::string where = "Where v.FDate>='" + sBDate + "' And v.FDate<'" + sEDate + "'";
  std::string text = Lines({
      "Set NoCount On",
      "If Object_ID('tempdb..#ItemID') Is Not Null Drop Table #ItemID ",
      "Create Table #ItemID(FItemID Int) ",
      "Insert Into #ItemID(FItemID)",
      "Select Distinct u.FItemID From t_CC_StockBill v Inner Join t_CC_StockBillEntry u On "
      "v.FID=u.FID ",
      where,
      "",
      "Insert Into #ItemID",
      "Select Distinct u.FItemID",
      "From t_CC_ZZCX v ",
      "Inner Join t_CC_ZZCX_Entry u On v.FID=u.FID ",
      where,
      "",
      "Insert Into #ItemID",
      "Select Distinct u.FItemID",
      "From t_CC_ZZCX v ",
      "Inner Join t_CC_ZZCX_Entry2 u On v.FID=u.FID ",
      where,
  });
  text += "\r\n";
  // Items holding balances of the period without a bill in the range; one row per balance row,
  // duplicates kept.
  if (!bOnlyBill) {
    text += Lines({"Insert Into #ItemID Select FItemID From t_CC_Bal ",
                   "Where FPeriod=" + Num(lPeriod) + " AND Fyear=" + Num(lYear), ""});
    text += "\r\n";
  }
  text += Lines({
      "Select i.FItemID,i.FNumber,i.FName,i.FUnitID,i.FCostPrice,i.FTrack,i.FPriceDecimal ",
      "From t_ICItem i",
      "Inner Join #ItemID t On i.FItemID=t.FItemID ",
      "Where 1=1 " + sFilter,
      "Order By i.FIsAssembly,i.FNumber ",
      "Drop Table #ItemID  Set NoCount Off ",
  });
  text += "\r\n";
  return text;
}

}  // namespace

std::shared_ptr<ado::Recordset> GetItemsWithHappen(frame::ServiceFrame& self,
                                                   const std::string& sDsn, int32_t /*lPeriod*/,
                                                   int32_t /*lYear*/, const std::string& sBDate,
                                                   const std::string& sEDate,
                                                   const std::string& sFilter) {
  self.SetComplete();
  return frame::TrapAndRaise(self, frame::CompletionAtStart::kYes, [&] {
    self.BindSession(sDsn);
    std::shared_ptr<ado::Connection> cnn = self.Connection();
    std::shared_ptr<ado::Recordset> rs =
        cnn->Execute(ReaderBatch(sBDate, sEDate, sFilter), nullptr, ado::kOptionUnspecified);
    rs->SetActiveConnection(nullptr);
    return rs;
  });
}

namespace cal_cur {

std::shared_ptr<ado::Recordset> GetItemsWithHappen(frame::ServiceFrame& self,
                                                   const std::string& sDsn, int32_t lPeriod,
                                                   int32_t lYear, const std::string& sBDate,
                                                   const std::string& sEDate,
                                                   const std::string& sFilter, bool bOnlyBill,
                                                   bool bCurrPeriod) {
  self.SetComplete();
  return frame::TrapAndRaise(self, frame::CompletionAtStart::kYes, [&] {
    self.BindSession(sDsn);
    std::shared_ptr<ado::Connection> cnn = self.Connection();
    // Outside the current period the range has no end.
    const std::string end = bCurrPeriod ? sEDate : std::string("2999-12-31");
    return cnn->Execute(CalCurBatch(sBDate, end, sFilter, lPeriod, lYear, bOnlyBill), nullptr,
                        ado::kOptionUnspecified);
  });
}

}  // namespace cal_cur

}  // namespace morvesk::readers
