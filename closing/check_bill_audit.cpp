#include <string_view>

#include "closing/bill_checks.h"
#include "closing/bill_tables.h"
#include "frame/batch_text.h"
#include "frame/conventions.h"
#include "platform/ado/connection.h"

namespace morvesk::closing {

namespace {

// The select list of a branch: stock bills carry their partner and amounts, bills without
// those columns give 0 in their place; bank bills know no bill type.
std::string SelectList(std::string_view table) {
  const bool stock_bill = table == "t_CC_StockBill";
  const bool has_bill_type = table != "t_CC_ZZCX" && table != "t_RP_BankBill";
  std::string s =
      "a.FClassTypeID,a.FBillNo,b.FName_CHS,a.FDate,a.FID,b.FObjectType,b.FObjectID,"
      "b.FTableName,";
  s += stock_bill ? "a.FSupplyID,a.FCustID,a.FAllAmount,a.FNeutralizeAmount,"
                  : "0 as FSupplyID,0 as FCustID,0 as FAllAmount,0 as FNeutralizeAmount,";
  s += has_bill_type ? "a.FBillTypeID," : "0 as FBillTypeID,";
  s += "a.FExplanation";
  return s;
}

std::string UnauditedBillsQuery(const std::string& sStartDate, const std::string& sEndDate) {
  return UnionOverCheckedBills([&](const char* table) {
    return frame::Lines({
        "Select  " + SelectList(table) + " From " + table +
            " a inner Join ICClasstype b on a.FClassTypeID=b.FID ",
        "Where IsNull(FStatus,0)=0 And FDate>='" + sStartDate + "' And FDate<'" + sEndDate + "'",
    });
  });
}

}  // namespace

std::shared_ptr<ado::Recordset> CheckBillAudit(frame::ServiceFrame& self, const std::string& sCnn,
                                               int32_t /*lPeriod*/, int32_t /*lYear*/,
                                               const std::string& sStartDate,
                                               const std::string& sEndDate) {
  std::shared_ptr<ado::Recordset> rs;
  // The trap ends without raising: a failed check hands back no object and nothing else.
  std::string unreported;
  const bool ok = frame::TrapToMessage(self, unreported, [&]() -> bool {
    self.BindSession(sCnn);
    std::shared_ptr<ado::Connection> cnn = self.Connection();
    rs = cnn->Execute(UnauditedBillsQuery(sStartDate, sEndDate), nullptr, ado::kOptionUnspecified);
    self.SetComplete();
    return true;
  });
  if (!ok) rs.reset();
  return rs;
}

}  // namespace morvesk::closing
