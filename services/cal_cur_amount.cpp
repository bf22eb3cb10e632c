#include "services/cal_cur_amount.h"

#include "balance/batchno_calculation.h"
#include "balance/calculate_inv_bal_ext.h"
#include "closing/bill_checks.h"
#include "closing/period_calendar.h"
#include "closing/system_profile.h"
#include "services/service_members.h"

namespace morvesk::services {

namespace {

using automation::In;
using automation::MakeDate;
using automation::Opt;
using automation::Ref;
using automation::Variant;
using automation::VarType;
using T = CalCurAmount;

constexpr VarType S = VarType::kString;
constexpr VarType L = VarType::kLong;
constexpr VarType B = VarType::kBoolean;
constexpr VarType O = VarType::kObject;
constexpr VarType V = VarType::kVariant;

std::vector<automation::ParamInfo> CloseParams() {
  return {In("sCnn", S),       In("lPeriod", L),    In("lYear", L),   In("sStartDate", S),
          In("sEndDate", S),   In("lCalMethod", L), In("sFilter", S), Ref("sErrInfo", S)};
}

Variant RunCalculateInvBalExt(T& self, Args& a) {
  host::CallScope scope;
  std::string err = a[7].ToString();
  bool ok = balance::CalculateInvBal_Ext(self.frame(), a[0].ToString(), a[1].ToLong(),
                                         a[2].ToLong(), a[3].ToString(), a[4].ToString(),
                                         a[5].ToLong(), a[6].ToString(), err);
  a[7] = Variant(err);
  return Variant(ok);
}

// No trap and no vote: its errors reach the caller (the close's trap when nested).
Variant RunCalculateInvBalExtBatchNo(T& self, Args& a) {
  host::CallScope scope;
  std::string err = a[7].ToString();
  return Variant(balance::CalculateInvBal_Ext_BatchNo(self.frame(), a[0].ToString(),
                                                      a[1].ToLong(), a[2].ToLong(),
                                                      a[3].ToString(), a[4].ToString(),
                                                      a[5].ToLong(), a[6].ToString(), err));
}

Variant RunCheckBillStatus(T& self, Args& a) {
  host::CallScope scope;
  std::string err = a[6].ToString();
  bool ok = closing::CheckBillStatus(self.frame(), a[0].ToString(), a[1].ToLong(), a[2].ToLong(),
                                     a[3].ToString(), a[4].ToString(), a[5], err);
  a[6] = Variant(err);
  return Variant(ok);
}

Variant RunCheckBillAudit(T& self, Args& a) {
  host::CallScope scope;
  std::shared_ptr<ado::Recordset> rs =
      closing::CheckBillAudit(self.frame(), a[0].ToString(), a[1].ToLong(), a[2].ToLong(),
                              a[3].ToString(), a[4].ToString());
  if (!rs) return Variant::Nothing();
  return Variant(rs);
}

Variant RunGetCurPeriodStartEnd(T& self, Args& a) {
  host::CallScope scope;
  std::string start = a[3].ToString(), end = a[4].ToString();
  bool ok = closing::GetCurPeriodStartEnd(self.frame(), a[0].ToString(), a[1].ToLong(),
                                          a[2].ToLong(), start, end);
  a[3] = Variant(start);
  a[4] = Variant(end);
  return Variant(ok);
}

Variant RunGetPeriodsData(T& self, Args& a) {
  host::CallScope scope;
  std::string clip = a[1].ToString();
  int32_t rows = a[2].ToLong(), color_row = a[3].ToLong();
  bool ok = closing::GetPeriodsData(self.frame(), a[0].ToString(), clip, rows, color_row);
  a[1] = Variant(clip);
  a[2] = Variant(rows);
  a[3] = Variant(color_row);
  return Variant(ok);
}

Variant RunGetSystemProfile(T& self, Args& a) {
  host::CallScope scope;
  int32_t period = a[1].ToLong(), year = a[2].ToLong(), audit = a[3].ToLong(),
          neg = a[4].ToLong();
  bool short_number = a[5].ToBool();
  closing::GetSystemProfile(self.frame(), a[0].ToString(), period, year, audit, neg,
                            short_number);
  a[1] = Variant(period);
  a[2] = Variant(year);
  a[3] = Variant(audit);
  a[4] = Variant(neg);
  a[5] = Variant(short_number);
  return Variant();
}

}  // namespace

const automation::DispatchTable<CalCurAmount>& CalCurAmount::Table() {
  static const automation::DispatchTable<CalCurAmount> table(
      "_CalCurAmount",
      {
          {{.name = "CalculateInvBal_Ext", .params = CloseParams(), .result = B},
           RunCalculateInvBalExt},
          {{.name = "CheckBillStatus",
            .params = {In("sCnn", S), In("lPeriod", L), In("lYear", L), In("sStartDate", S),
                       In("sEndDate", S), Ref("oRs", O), Ref("strErr", S)},
            .result = B},
           RunCheckBillStatus},
          {{.name = "CheckEndData",
            .params = {In("sCnn", S), In("lPeriod", L), In("lYear", L), In("sStartDate", S),
                       In("sEndDate", S), Ref("strErr", S), In("lCalType", L)},
            .result = B},
           NotBuiltWithMessage<T>("CheckEndData", 5)},
          {{.name = "CheckReturnData", .params = {In("sDsn", S), In("opt", O)}, .result = B},
           NotBuiltRaising<T>("CheckReturnData")},
          {{.name = "GetCaculateParameter", .params = {In("sDsn", S)}, .result = O},
           NotBuiltRaising<T>("GetCaculateParameter")},
          {{.name = "GetCurPeriodStartEnd",
            .params = {In("sCnn", S), In("CurPeriod", L), In("CurYear", L), Ref("sStartDate", S),
                       Ref("sEndDate", S)},
            .result = B},
           RunGetCurPeriodStartEnd},
          {{.name = "GetItemsWithHappen",
            .params = {In("sDsn", S), In("lPeriod", L), In("lYear", L), In("sBDate", S),
                       In("sEDate", S), Opt("sFilter", S, ""), Opt("bOnlyBill", B, true),
                       Opt("bCurrPeriod", B, true)},
            .result = O},
           NotBuiltRaising<T>("GetItemsWithHappen")},
          {{.name = "GetPeriodsData",
            .params = {In("sCnn", S), Ref("strClip", S), Ref("nRows", L), Ref("nColorRow", L)},
            .result = B},
           RunGetPeriodsData},
          {{.name = "GetStockGroup", .params = {In("sDsn", S), Opt("sFilter", S, "")}, .result = V},
           NotBuiltRaising<T>("GetStockGroup")},
          {{.name = "GetStocks", .params = {In("sDsn", S), Opt("sFilter", S, "")}, .result = V},
           NotBuiltRaising<T>("GetStocks")},
          {{.name = "GetSystemProfile",
            .params = {In("sCnn", S), Ref("lPeriod", L), Ref("lYear", L), Ref("lAuditChoice", L),
                       Ref("lNegBalance", L), Ref("bIsShortNumber", B)},
            .result = V},
           RunGetSystemProfile},
          {{.name = "ReturnDataProcess",
            .params = {In("sCnn", S), In("lPeriod", L), In("lYear", L), In("targetYear", L),
                       In("targetPeriod", L), In("bDropVch", B), Ref("sErrInfo", S)},
            .result = B},
           NotBuiltWithMessage<T>("ReturnDataProcess", 6)},
          {{.name = "UpdateBatch", .params = {In("sCnn", S), In("oCol", V)}, .result = B},
           NotBuiltRaising<T>("UpdateBatch")},
          {{.name = "UpdateStock", .params = {In("sCnn", S)}, .result = B},
           NotBuiltRaising<T>("UpdateStock")},
          {{.name = "AutoUpdateCostPrice",
            .params = {In("sDsn", S), Opt("ItemID", L, Variant(int32_t{0}))},
            .result = V},
           NotBuiltRaising<T>("AutoUpdateCostPrice")},
          {{.name = "UpdateInventory", .params = {In("sDsn", S)}, .result = L},
           NotBuiltRaising<T>("UpdateInventory")},
          {{.name = "UpdateComeGoBalance", .params = {In("sDsn", S)}, .result = V},
           NotBuiltRaising<T>("UpdateComeGoBalance")},
          {TransModeInfo(), TransModeValue<T>},
          {{.name = "DeleteBal78", .params = {In("sDsn", S)}, .result = L},
           NotBuiltRaising<T>("DeleteBal78")},
          {{.name = "HandleAbnormalAmt", .params = {In("sDsn", S)}, .result = L},
           NotBuiltRaising<T>("HandleAbnormalAmt")},
          {{.name = "AutoCheckBatchNo", .params = {In("sDsn", S)}, .result = V},
           NotBuiltRaising<T>("AutoCheckBatchNo")},
          {{.name = "CalculateInvBal_Ext_BatchNo", .params = CloseParams(), .result = B},
           RunCalculateInvBalExtBatchNo},
          {{.name = "CheckBillAudit",
            .params = {In("sCnn", S), In("lPeriod", L), In("lYear", L), In("sStartDate", S),
                       In("sEndDate", S)},
            .result = O},
           RunCheckBillAudit},
          {{.name = "UpdateSettleAcctBal",
            .params = {In("sDsn", S), In("CurrentYear", L), In("CurrentPeriod", L)}},
           NotBuiltRaising<T>("UpdateSettleAcctBal")},
      });
  return table;
}

}  // namespace morvesk::services
