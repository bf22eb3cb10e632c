#include "services/cal_cur_amount.h"

#include "balance/batchno_calculation.h"
#include "balance/calculate_inv_bal_ext.h"
#include "closing/bill_checks.h"
#include "closing/period_calendar.h"
#include "closing/system_profile.h"
#include "services/member_binding.h"

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

std::vector<Param> CloseParams() {
  return {"sCnn",     "lPeriod",    "lYear",   "sStartDate",
          "sEndDate", "lCalMethod", "sFilter", "sErrInfo"};
}

} // namespace

const automation::DispatchTable<CalCurAmount> &CalCurAmount::Table() {
  static const automation::DispatchTable<CalCurAmount> table(
      "_CalCurAmount",
      {
          Member<T>("CalculateInvBal_Ext", balance::CalculateInvBal_Ext,
                    CloseParams()),
          Member<T>("CheckBillStatus", closing::CheckBillStatus,
                    {"sCnn",
                     "lPeriod",
                     "lYear",
                     "sStartDate",
                     "sEndDate",
                     {"oRs", O},
                     "strErr"}),
          {{.name = "CheckEndData",
            .params = {In("sCnn", S), In("lPeriod", L), In("lYear", L),
                       In("sStartDate", S), In("sEndDate", S), Ref("strErr", S),
                       In("lCalType", L)},
            .result = B},
           NotBuiltWithMessage<T>("CheckEndData", 5)},
          {{.name = "CheckReturnData",
            .params = {In("sDsn", S), In("opt", O)},
            .result = B},
           NotBuiltRaising<T>("CheckReturnData")},
          {{.name = "GetCaculateParameter",
            .params = {In("sDsn", S)},
            .result = O},
           NotBuiltRaising<T>("GetCaculateParameter")},
          Member<T>("GetCurPeriodStartEnd", closing::GetCurPeriodStartEnd,
                    {"sCnn", "CurPeriod", "CurYear", "sStartDate", "sEndDate"}),
          {{.name = "GetItemsWithHappen",
            .params = {In("sDsn", S), In("lPeriod", L), In("lYear", L),
                       In("sBDate", S), In("sEDate", S), Opt("sFilter", S, ""),
                       Opt("bOnlyBill", B, true), Opt("bCurrPeriod", B, true)},
            .result = O},
           NotBuiltRaising<T>("GetItemsWithHappen")},
          Member<T>("GetPeriodsData", closing::GetPeriodsData,
                    {"sCnn", "strClip", "nRows", "nColorRow"}),
          {{.name = "GetStockGroup",
            .params = {In("sDsn", S), Opt("sFilter", S, "")},
            .result = V},
           NotBuiltRaising<T>("GetStockGroup")},
          {{.name = "GetStocks",
            .params = {In("sDsn", S), Opt("sFilter", S, "")},
            .result = V},
           NotBuiltRaising<T>("GetStocks")},
          Member<T>("GetSystemProfile", closing::GetSystemProfile,
                    {"sCnn", "lPeriod", "lYear", "lAuditChoice", "lNegBalance",
                     "bIsShortNumber"},
                    V),
          {{.name = "ReturnDataProcess",
            .params = {In("sCnn", S), In("lPeriod", L), In("lYear", L),
                       In("targetYear", L), In("targetPeriod", L),
                       In("bDropVch", B), Ref("sErrInfo", S)},
            .result = B},
           NotBuiltWithMessage<T>("ReturnDataProcess", 6)},
          {{.name = "UpdateBatch",
            .params = {In("sCnn", S), In("oCol", V)},
            .result = B},
           NotBuiltRaising<T>("UpdateBatch")},
          {{.name = "UpdateStock", .params = {In("sCnn", S)}, .result = B},
           NotBuiltRaising<T>("UpdateStock")},
          {{.name = "AutoUpdateCostPrice",
            .params = {In("sDsn", S), Opt("ItemID", L, Variant(int32_t{0}))},
            .result = V},
           NotBuiltRaising<T>("AutoUpdateCostPrice")},
          {{.name = "UpdateInventory", .params = {In("sDsn", S)}, .result = L},
           NotBuiltRaising<T>("UpdateInventory")},
          {{.name = "UpdateComeGoBalance",
            .params = {In("sDsn", S)},
            .result = V},
           NotBuiltRaising<T>("UpdateComeGoBalance")},
          {TransModeInfo(), TransModeValue<T>},
          {{.name = "DeleteBal78", .params = {In("sDsn", S)}, .result = L},
           NotBuiltRaising<T>("DeleteBal78")},
          {{.name = "HandleAbnormalAmt",
            .params = {In("sDsn", S)},
            .result = L},
           NotBuiltRaising<T>("HandleAbnormalAmt")},
          {{.name = "AutoCheckBatchNo", .params = {In("sDsn", S)}, .result = V},
           NotBuiltRaising<T>("AutoCheckBatchNo")},
          // No trap and no vote: its errors reach the caller (the close's trap
          // when nested).
          Member<T>("CalculateInvBal_Ext_BatchNo",
                    balance::CalculateInvBal_Ext_BatchNo, CloseParams()),
          Member<T>("CheckBillAudit", closing::CheckBillAudit,
                    {"sCnn", "lPeriod", "lYear", "sStartDate", "sEndDate"}),
          {{.name = "UpdateSettleAcctBal",
            .params = {In("sDsn", S), In("CurrentYear", L),
                       In("CurrentPeriod", L)}},
           NotBuiltRaising<T>("UpdateSettleAcctBal")},
      });
  return table;
}

} // namespace morvesk::services
