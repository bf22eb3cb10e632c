#include "services/ic_bal_reader.h"

#include "services/service_members.h"

namespace morvesk::services {

namespace {

using automation::In;
using automation::Opt;
using automation::Ref;
using automation::Variant;
using automation::VarType;
using T = ICbalReader;

constexpr VarType S = VarType::kString;
constexpr VarType L = VarType::kLong;
constexpr VarType B = VarType::kBoolean;
constexpr VarType O = VarType::kObject;

}  // namespace

const automation::DispatchTable<ICbalReader>& ICbalReader::Table() {
  static const automation::DispatchTable<ICbalReader> table(
      "_ICbalReader",
      {
          {{.name = "CheckCalDataValidate",
            .params = {In("sDsn", S), In("lPeriod", L), In("lYear", L), In("sStartDate", S),
                       In("sEndDate", S), In("lCalMethod", L), Ref("sInfo", S),
                       Opt("sItemFilter", S, ""), Opt("sBillFilter", S, "")},
            .result = B},
           NotBuiltWithMessage<T>("CheckCalDataValidate", 6)},
          {{.name = "GetBegBal",
            .params = {In("sDsn", S), In("sFilter", S), Opt("CalType", L, Variant(int32_t{1})),
                       Opt("lngTrack", L, Variant(int32_t{0}))},
            .result = O},
           NotBuiltRaising<T>("GetBegBal")},
          {TransModeInfo(), TransModeValue<T>},
      });
  return table;
}

}  // namespace morvesk::services
