#include <memory>
#include <string>

#include "closing/period_end_checks.h"
#include "frame/batch_text.h"
#include "frame/conventions.h"
#include "platform/ado/connection.h"
#include "platform/ado/recordset.h"
#include "platform/automation/com_error.h"

namespace morvesk::closing {

namespace {

using automation::ComError;
using automation::Variant;

// One row: the ledger's current year, its current period (as text), the inventory start year and
// start period. No row at all when the ledger's CurrentPeriod row is missing.
std::string LedgerPeriodBatch() {
  return frame::Lines({
      "Set NoCount On",
      "Declare @Year int,@StartYear int,@StartPeriod int",
      "Select @StartYear=FValue From t_systemprofile where FCategory='IC' And FKey = 'StartYear' ",
      "Select @StartPeriod=FValue From t_systemprofile where FCategory='IC' And FKey = "
      "'StartPeriod' ",
      "Select @Year=FValue From t_systemprofile where FCategory='GL' And FKey = 'CurrentYear'",
      "Select @Year,FValue,@StartYear,@StartPeriod From t_systemprofile where FCategory='GL' And "
      "FKey = 'CurrentPeriod' ",
      "Set NoCount Off  ",
  });
}

// The whole number the client put under `key`; a missing key is the caller's mistake.
int32_t OptionNumber(const frame::ServiceFrame& self, const plexo::Dictionary& opt,
                     const char* key) {
  const Variant* value = opt.Find(key);
  if (value == nullptr || value->is_empty() || value->is_null()) {
    throw ComError(automation::kErrBadArgument, self.source(),
                   std::string("The option set holds no \"") + key + "\"");
  }
  return value->ToLong();
}

// A profile value the comparison needs; a missing row reads as Null and cannot be compared.
int32_t ProfileNumber(const frame::ServiceFrame& self, const Variant& value,
                      const char* category_key) {
  if (value.is_null() || value.is_empty()) {
    throw ComError(automation::kErrFail, self.source(),
                   std::string("The system profile holds no ") + category_key);
  }
  return value.ToLong();
}

}  // namespace

bool CheckReturnData(frame::ServiceFrame& self, const std::string& sDsn,
                     std::shared_ptr<plexo::Dictionary> opt) {
  return frame::TrapAndRaise(self, frame::CompletionAtStart::kNo, [&]() -> bool {
    self.BindSession(sDsn);
    std::shared_ptr<ado::Connection> cnn = self.Connection();
    if (!opt) {
      throw ComError(automation::kErrTypeMismatch, self.source(), "opt is not a Plexo.Dictionary");
    }
    const int32_t current_year = OptionNumber(self, *opt, "CurrentYear");
    const int32_t current_period = OptionNumber(self, *opt, "CurrentPeriod");

    std::shared_ptr<ado::Recordset> rs =
        cnn->Execute(LedgerPeriodBatch(), nullptr, ado::kOptionUnspecified);
    // Reading the row fails with the data-access error when the ledger's period is missing.
    const Variant ledger_year = rs->FieldAt(0).Value();
    const Variant ledger_period = rs->FieldAt(1).Value();
    const Variant start_year = rs->FieldAt(2).Value();
    const Variant start_period = rs->FieldAt(3).Value();
    rs->Close();

    // A later ledger year is enough; within any other year only the period numbers are compared,
    // the years not again.
    const bool ledger_ahead =
        current_year < ProfileNumber(self, ledger_year, "GL CurrentYear") ||
        current_period < ProfileNumber(self, ledger_period, "GL CurrentPeriod");
    if (current_year == ProfileNumber(self, start_year, "IC StartYear") &&
        current_period == ProfileNumber(self, start_period, "IC StartPeriod")) {
      throw ComError(automation::kErrFail, self.source(), kAlreadyStartPeriodMessage);
    }
    self.SetComplete();
    return ledger_ahead;
  });
}

}  // namespace morvesk::closing
