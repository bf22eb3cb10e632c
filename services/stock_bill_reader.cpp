#include "services/stock_bill_reader.h"

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
          {{.name = "Calcualte",
            .params = {In("oDsN", S), In("CalculateType", L), In("StockID", L), In("ItemID", L),
                       In("PriceDeciaml", L), Opt("BatchNo", S, ""),
                       Opt("CalcPeriod", L, Variant(int32_t{1}))},
            .result = B},
           NotBuiltRaising<T>("Calcualte")},
          {{.name = "ExecuteSQL", .params = {In("sDsn", S), In("SQLStr", S)}, .result = O},
           NotBuiltRaising<T>("ExecuteSQL")},
          {{.name = "GetBills",
            .params = {In("sDsn", S), Opt("sFilter", S, ""), Opt("sOrder", S, ""),
                       Opt("dCurrStart", D, Variant(MakeDate(1900, 1, 1))),
                       Opt("bEnd", B, false)},
            .result = O},
           NotBuiltRaising<T>("GetBills")},
          {{.name = "GetCaculateParameter", .params = {In("sDsn", S)}, .result = O},
           NotBuiltRaising<T>("GetCaculateParameter")},
          {{.name = "GetCost",
            .params = {In("sDsn", S), In("StockID", L), In("ItemID", L), Opt("BatchNo", S, ""),
                       Opt("IsBill", B, true), Opt("dDate", D, Variant(MakeDate(2999, 12, 31)))},
            .result = F},
           NotBuiltRaising<T>("GetCost")},
          {{.name = "GetCost80",
            .params = {In("sDsn", S), In("StockID", L), In("ItemID", L), Opt("BatchNo", S, "")},
            .result = F},
           NotBuiltRaising<T>("GetCost80")},
          {{.name = "GetFValueOfIC", .params = {In("sDsn", S), Opt("sFilter", S, "")}, .result = V},
           NotBuiltRaising<T>("GetFValueOfIC")},
          {{.name = "GetItemsWithHappen",
            .params = {In("sDsn", S), In("lPeriod", L), In("lYear", L), In("sBDate", S),
                       In("sEDate", S), Opt("sFilter", S, "")},
            .result = O},
           NotBuiltRaising<T>("GetItemsWithHappen")},
          {{.name = "GetMultiPrice",
            .params = {In("sDsn", S), In("dictmpt", O), In("FItemID", L), In("BatchNo", S)},
            .result = F},
           NotBuiltRaising<T>("GetMultiPrice")},
          {{.name = "GetStockGroup", .params = {In("sDsn", S), Opt("sFilter", S, "")}, .result = V},
           NotBuiltRaising<T>("GetStockGroup")},
          {{.name = "GetStocks", .params = {In("sDsn", S), Opt("sFilter", S, "")}, .result = V},
           NotBuiltRaising<T>("GetStocks")},
          {{.name = "UpdateDB", .params = {In("oDsN", S), In("SQLStr", S)}},
           NotBuiltRaising<T>("UpdateDB")},
          {{.name = "UpdateStockGroup", .params = {In("sDsn", S), In("Rs", O)}, .result = V},
           NotBuiltRaising<T>("UpdateStockGroup")},
          {{.name = "WriteValueOfIC",
            .params = {In("sDsn", S), In("curFValue", S), In("curFKey", S)},
            .result = V},
           NotBuiltRaising<T>("WriteValueOfIC")},
          {TransModeInfo(), TransModeValue<T>},
          {{.name = "GetBillID", .params = {In("sCnn", S), In("sTable", S)}, .result = L},
           NotBuiltRaising<T>("GetBillID")},
          {{.name = "GetBatchRecordset",
            .params = {In("sDsn", S), In("BegDate", D), Opt("StockID", L, Variant(int32_t{0})),
                       Opt("bEnd", B, false)},
            .result = O},
           NotBuiltRaising<T>("GetBatchRecordset")},
      });
  return table;
}

}  // namespace morvesk::services
