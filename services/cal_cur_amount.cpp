#include "services/cal_cur_amount.h"

#include "balance/batchno_calculation.h"
#include "balance/calculate_inv_bal_ext.h"
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
           NotBuiltWithMessage<T>("CheckBillStatus", 6)},
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
           NotBuiltRaising<T>("GetCurPeriodStartEnd")},
          {{.name = "GetItemsWithHappen",
            .params = {In("sDsn", S), In("lPeriod", L), In("lYear", L), In("sBDate", S),
                       In("sEDate", S), Opt("sFilter", S, ""), Opt("bOnlyBill", B, true),
                       Opt("bCurrPeriod", B, true)},
            .result = O},
           NotBuiltRaising<T>("GetItemsWithHappen")},
          {{.name = "GetPeriodsData",
            .params = {In("sCnn", S), Ref("strClip", S), Ref("nRows", L), Ref("nColorRow", L)},
            .result = B},
           NotBuiltRaising<T>("GetPeriodsData")},
          {{.name = "GetStockGroup", .params = {In("sDsn", S), Opt("sFilter", S, "")}, .result = V},
           NotBuiltRaising<T>("GetStockGroup")},
          {{.name = "GetStocks", .params = {In("sDsn", S), Opt("sFilter", S, "")}, .result = V},
           NotBuiltRaising<T>("GetStocks")},
          {{.name = "GetSystemProfile",
            .params = {In("sCnn", S), Ref("lPeriod", L), Ref("lYear", L), Ref("lAuditChoice", L),
                       Ref("lNegBalance", L), Ref("bIsShortNumber", B)},
            .result = V},
           NotBuiltRaising<T>("GetSystemProfile")},
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
           NotBuiltRaising<T>("CheckBillAudit")},
          {{.name = "UpdateSettleAcctBal",
            .params = {In("sDsn", S), In("CurrentYear", L), In("CurrentPeriod", L)}},
           NotBuiltRaising<T>("UpdateSettleAcctBal")},
      });
  return table;
}

}  // namespace morvesk::services
