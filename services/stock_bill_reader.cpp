#include "services/stock_bill_reader.h"

#include "readers/bill_queries.h"
#include "readers/cost_lookups.h"
#include "readers/direct_sql.h"
#include "readers/profile_rows.h"
#include "readers/shared_lookups.h"
#include "readers/stock_group_update.h"
#include "readers/unit_cost.h"
#include "services/member_binding.h"
#include "services/service_members.h"

namespace morvesk::services {

namespace {

using automation::In;
using automation::MakeDate;
using automation::Opt;
using automation::Variant;
using automation::VarType;
using T = StockBillReader;

constexpr VarType S = VarType::kString;
constexpr VarType L = VarType::kLong;
constexpr VarType B = VarType::kBoolean;
constexpr VarType O = VarType::kObject;
constexpr VarType V = VarType::kVariant;
constexpr VarType D = VarType::kDate;
constexpr VarType F = VarType::kDouble;

}  // namespace

const automation::DispatchTable<StockBillReader>& StockBillReader::Table() {
  static const automation::DispatchTable<StockBillReader> table(
      "_StockBillReader",
      {
          Member<T>("Calcualte", readers::Calcualte,
                    {"oDsN", "CalculateType", "StockID", "ItemID", "PriceDeciaml",
                     {"BatchNo", Variant("")}, {"CalcPeriod", Variant(int32_t{1})}}),
          // No trap: errors reach the caller as they arose.
          Member<T>("ExecuteSQL", readers::ExecuteSQL, {"sDsn", "SQLStr"}),
          Member<T>("GetBills", readers::GetBills,
                    {"sDsn", {"sFilter", Variant("")}, {"sOrder", Variant("")},
                     {"dCurrStart", Variant(MakeDate(1900, 1, 1))}, {"bEnd", Variant(false)}}),
          Member<T>("GetCaculateParameter", readers::GetCaculateParameter, {"sDsn"}),
          Member<T>("GetCost", readers::GetCost,
                    {"sDsn", "StockID", "ItemID", {"BatchNo", Variant("")},
                     {"IsBill", Variant(true)}, {"dDate", Variant(MakeDate(2999, 12, 31))}}),
          Member<T>("GetCost80", readers::GetCost80,
                    {"sDsn", "StockID", "ItemID", {"BatchNo", Variant("")}}),
          Member<T>("GetFValueOfIC", readers::GetFValueOfIC, {"sDsn", {"sFilter", Variant("")}}),
          Member<T>("GetItemsWithHappen", readers::GetItemsWithHappen,
                    {"sDsn", "lPeriod", "lYear", "sBDate", "sEDate", {"sFilter", Variant("")}}),
          Member<T>("GetMultiPrice", readers::GetMultiPrice,
                    {"sDsn", "dictmpt", "FItemID", "BatchNo"}),
          Member<T>("GetStockGroup", readers::GetStockGroup, {"sDsn", {"sFilter", Variant("")}}),
          Member<T>("GetStocks", readers::GetStocks, {"sDsn", {"sFilter", Variant("")}}),
          Member<T>("UpdateDB", readers::UpdateDB, {"oDsN", "SQLStr"}),
          Member<T>("UpdateStockGroup", readers::UpdateStockGroup, {"sDsn", "Rs"}),
          Member<T>("WriteValueOfIC", readers::WriteValueOfIC, {"sDsn", "curFValue", "curFKey"}),
          {TransModeInfo(), TransModeValue<T>},
          // No trap: errors reach the caller as they arose.
          Member<T>("GetBillID", readers::GetBillID, {"sCnn", "sTable"}),
          Member<T>("GetBatchRecordset", readers::GetBatchRecordset,
                    {"sDsn", "BegDate", {"StockID", Variant(int32_t{0})}, {"bEnd", Variant(false)}}),
      });
  return table;
}

}  // namespace morvesk::services
