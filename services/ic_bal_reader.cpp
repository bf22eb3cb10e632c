#include "services/ic_bal_reader.h"

#include "readers/calc_validation.h"
#include "readers/opening_balances.h"
#include "services/member_binding.h"
#include "services/service_members.h"

namespace morvesk::services {

namespace {

using automation::Variant;
using T = ICbalReader;

}  // namespace

const automation::DispatchTable<ICbalReader>& ICbalReader::Table() {
  static const automation::DispatchTable<ICbalReader> table(
      "_ICbalReader",
      {
          Member<T>("CheckCalDataValidate", readers::CheckCalDataValidate,
                    {"sDsn", "lPeriod", "lYear", "sStartDate", "sEndDate", "lCalMethod", "sInfo",
                     {"sItemFilter", Variant("")}, {"sBillFilter", Variant("")}}),
          Member<T>("GetBegBal", readers::GetBegBal,
                    {"sDsn", "sFilter", {"CalType", Variant(int32_t{1})},
                     {"lngTrack", Variant(int32_t{0})}}),
          {TransModeInfo(), TransModeValue<T>},
      });
  return table;
}

}  // namespace morvesk::services
