#include "readers/bill_queries.h"

#include <utility>

#include "frame/batch_text.h"
#include "frame/conventions.h"
#include "platform/ado/connection.h"

namespace morvesk::readers {
namespace {

using automation::DateValue;
using automation::Variant;

constexpr char kCrLf[] = "\r\n";

// Dates go into the SQL as "yyyy-mm-dd" (with the time when there is one), a
// form the database reads the same whatever its language settings.
std::string DateText(DateValue d) { return automation::FormatDate(d); }

std::shared_ptr<ado::Recordset> OpenDetached(const std::string& sql,
                                             const std::shared_ptr<ado::Connection>& cnn) {
  auto rs = ado::Recordset::Create();
  rs->SetCursorLocation(ado::CursorLocation::kClient);
  rs->Open(sql, cnn, ado::CursorType::kStatic, ado::LockType::kOptimistic);
  rs->SetActiveConnection(nullptr);
  return rs;
}

// The first row of a batch that reads the current period's first day and the
// day after its last day.
std::pair<DateValue, DateValue> CurrentPeriodWindow(ado::Connection& cnn, const std::string& sql,
                                                    const Variant& end_column) {
  std::shared_ptr<ado::Recordset> rs = cnn.Execute(sql);
  return {rs->FieldAt(0).Value().ToDate(), rs->Fields(end_column).Value().ToDate()};
}

}  // namespace

std::shared_ptr<ado::Recordset> GetBills(frame::ServiceFrame& self, const std::string& sDsn,
                                         const std::string& sFilter, const std::string& sOrder,
                                         DateValue dCurrStart, bool bEnd) {
  return frame::TrapAndRaise(self, frame::CompletionAtStart::kYes, [&] {
    self.SetComplete();
    self.BindSession(sDsn);
    std::shared_ptr<ado::Connection> cnn = self.Connection();

    std::string end;
    if (bEnd) {
      const auto [start, end_day] =
          CurrentPeriodWindow(*cnn,
                              frame::Lines({
                                  "Set NoCount On",
                                  "Declare @Year int,@Period int ",
                                  "SELECT @Year=CONVERT(INT,FValue) FROM "
                                  "t_SystemProfile WHERE FCategory='IC' AND "
                                  "FKey='CurrentYear'",
                                  "SELECT @Period = CONVERT(INT,FValue) FROM "
                                  "t_SystemProfile WHERE FCategory='IC' "
                                  "AND FKey='CurrentPeriod'",
                                  "SELECT "
                                  "CONVERT(DATETIME,FStartDate,120),CONVERT("
                                  "DATETIME,FEndDate+1,120) FROM "
                                  "t_PeriodDate ",
                                  "WHERE FYear=@Year AND FPeriod=@Period ",
                                  "Set NoCount Off",
                              }),
                              Variant(int32_t{1}));
      dCurrStart = start;
      end = DateText(end_day);
    }

    std::string sql = frame::Lines({
        "Set NoCount On",
        "If Object_ID('tempdb..#TempCalBills') Is Not Null Drop Table "
        "#TempCalBills",
        "Select identity(int,1,1) As FInterID,t.*",
        "Into #TempCalBills",
        "From vw_cc_StockBillEntry t",
        "Where t.fdate>='" + DateText(dCurrStart) + "' ",
    });
    if (bEnd) sql += " and t.FDate<'" + end + "' " + kCrLf;
    if (!sFilter.empty()) sql += sFilter + kCrLf;
    sql += kCrLf;
    sql += frame::Lines({
        "Select Distinct t.*,(c.FName_CHS+case when t.FBillTypeID<=1 then '' "
        "else "
        "'-'+b.FName end) as FClassTypeName,'' as FBillTypeName ",
        "From #TempCalBills            t ",
        "Inner Join ICClassType        c On t.FClassTypeID=c.FID ",
        "Left  Join t_BaseBillTypeData b On t.FBillTypeID=b.FID ",
        "Where 1=1 " + sFilter,
    });
    sql += kCrLf;
    if (bEnd) sql += " and t.FDate<'" + end + "'" + kCrLf;
    if (!sOrder.empty()) {
      sql += "Order By " + sOrder + kCrLf;
    } else {
      sql += std::string("Order By t.FDate,t.FID,t.FInterID ") + kCrLf + kCrLf;
    }
    sql += frame::Lines({
        "Set NoCount off",
        "If Object_ID('tempdb..#TempCalBills') Is Not Null Drop Table "
        "#TempCalBills",
    });
    return OpenDetached(sql, cnn);
  });
}

std::shared_ptr<ado::Recordset> GetBatchRecordset(frame::ServiceFrame& self,
                                                  const std::string& sDsn, DateValue BegDate,
                                                  int32_t StockID, bool bEnd) {
  return frame::TrapAndRaise(self, frame::CompletionAtStart::kYes, [&] {
    self.SetComplete();
    self.BindSession(sDsn);
    std::shared_ptr<ado::Connection> cnn = self.Connection();

    std::string end;
    if (bEnd) {
      end = DateText(
          CurrentPeriodWindow(*cnn,
                              frame::Lines({
                                  "Set NoCount On",
                                  "Declare @Year Int,@Period Int",
                                  "SELECT @Year=CONVERT(INT,FValue) FROM t_SystemProfile WHERE "
                                  "FCategory='IC' AND FKey='CurrentYear'",
                                  "SELECT @Period = CONVERT(INT,FValue) FROM t_SystemProfile "
                                  "WHERE "
                                  "FCategory='IC' AND FKey='CurrentPeriod'",
                                  "",
                                  "SELECT CONVERT(DATETIME,FStartDate,120) As "
                                  "FStartDate,CONVERT(DATETIME,FEndDate+1,120) As FEndDate",
                                  "FROM t_PeriodDate",
                                  "WHERE FYear=@Year AND FPeriod=@Period",
                                  "",
                                  "Set NoCount Off",
                              }),
                              Variant("FEndDate"))
              .second);
    }
    const std::string stock = frame::Num(StockID);
    std::string sql = frame::Lines({
        "Select FItemID,FBatchNo",
        "From vw_cc_StockBillEntry",
        "Where FDate>='" + DateText(BegDate) + "' and (FDCStockID=" + stock +
            " Or FSCStockID=" + stock + ")",
    });
    sql += kCrLf;
    if (bEnd) sql += " and FDate<'" + end + "'" + kCrLf;
    sql += "Group By FItemID,FBatchNo";
    return OpenDetached(sql, cnn);
  });
}

}  // namespace morvesk::readers
