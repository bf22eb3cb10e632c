#include "services/cal_cur_amount.h"

#include "balance/batchno_calculation.h"
#include "balance/calculate_inv_bal_ext.h"
#include "closing/bill_checks.h"
#include "closing/period_calendar.h"
#include "closing/period_end_checks.h"
#include "closing/period_return.h"
#include "closing/system_profile.h"
#include "maintenance/balance_jobs.h"
#include "maintenance/batch_dating.h"
#include "maintenance/cost_price.h"
#include "maintenance/inventory_jobs.h"
#include "maintenance/update_batch.h"
#include "maintenance/update_stock.h"
#include "readers/shared_lookups.h"
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
          Member<T>("CheckEndData", closing::CheckEndData,
                    {"sCnn", "lPeriod", "lYear", "sStartDate", "sEndDate",
                     "strErr", "lCalType"}),
          Member<T>("CheckReturnData", closing::CheckReturnData,
                    {"sDsn", "opt"}),
          Member<T>("GetCaculateParameter", readers::cal_cur::GetCaculateParameter, {"sDsn"}),
          Member<T>("GetCurPeriodStartEnd", closing::GetCurPeriodStartEnd,
                    {"sCnn", "CurPeriod", "CurYear", "sStartDate", "sEndDate"}),
          Member<T>("GetItemsWithHappen", readers::cal_cur::GetItemsWithHappen,
                    {"sDsn", "lPeriod", "lYear", "sBDate", "sEDate",
                     {"sFilter", Variant("")}, {"bOnlyBill", Variant(true)},
                     {"bCurrPeriod", Variant(true)}}),
          Member<T>("GetPeriodsData", closing::GetPeriodsData,
                    {"sCnn", "strClip", "nRows", "nColorRow"}),
          Member<T>("GetStockGroup", readers::GetStockGroup,
                    {"sDsn", {"sFilter", Variant("")}}),
          Member<T>("GetStocks", readers::cal_cur::GetStocks,
                    {"sDsn", {"sFilter", Variant("")}}),
          Member<T>("GetSystemProfile", closing::GetSystemProfile,
                    {"sCnn", "lPeriod", "lYear", "lAuditChoice", "lNegBalance",
                     "bIsShortNumber"},
                    V),
          Member<T>("ReturnDataProcess", closing::ReturnDataProcess,
                    {"sCnn", "lPeriod", "lYear", "targetYear", "targetPeriod",
                     "bDropVch", "sErrInfo"}),
          Member<T>("UpdateBatch", maintenance::UpdateBatch, {"sCnn", "oCol"}),
          Member<T>("UpdateStock", maintenance::UpdateStock, {"sCnn"}),
          Member<T>("AutoUpdateCostPrice", maintenance::AutoUpdateCostPrice,
                    {"sDsn", {"ItemID", Variant(int32_t{0})}}),
          Member<T>("UpdateInventory", maintenance::UpdateInventory, {"sDsn"}),
          Member<T>("UpdateComeGoBalance", maintenance::UpdateComeGoBalance,
                    {"sDsn"}),
          {TransModeInfo(), TransModeValue<T>},
          Member<T>("DeleteBal78", maintenance::DeleteBal78, {"sDsn"}),
          Member<T>("HandleAbnormalAmt", maintenance::HandleAbnormalAmt,
                    {"sDsn"}),
          Member<T>("AutoCheckBatchNo", maintenance::AutoCheckBatchNo, {"sDsn"}),
          // No trap and no vote: its errors reach the caller (the close's trap
          // when nested).
          Member<T>("CalculateInvBal_Ext_BatchNo",
                    balance::CalculateInvBal_Ext_BatchNo, CloseParams()),
          Member<T>("CheckBillAudit", closing::CheckBillAudit,
                    {"sCnn", "lPeriod", "lYear", "sStartDate", "sEndDate"}),
          Member<T>("UpdateSettleAcctBal", maintenance::UpdateSettleAcctBal,
                    {"sDsn", "CurrentYear", "CurrentPeriod"}),
      });
  return table;
}

} // namespace morvesk::services
