// GetCaculateParameter of both classes: one batch reads the inventory options into variables
// (converted from their text form by the assignment) and returns them with the current period's
// dates; the dictionary is filled from its first row.
#include <memory>
#include <string>

#include "frame/batch_text.h"
#include "frame/conventions.h"
#include "platform/ado/connection.h"
#include "platform/automation/com_error.h"
#include "platform/automation/registry.h"
#include "platform/plexo/dictionary.h"
#include "readers/shared_lookups.h"

namespace morvesk::readers {

namespace {

using automation::Variant;
using frame::Lines;

std::string ProfileInto(const char* variable, const char* key) {
  return std::string("Select ") + variable +
         "=FValue from t_SystemProfile where FCategory='IC' and FKey='" + key + "' ";
}

std::string ReaderBatch() {
  return Lines({
      "Set NoCount On ",
      "Declare @Year Int,@Period Int,@CalculateType Int,@Decimal Int,@Quantity Int ,@FloatRate "
      "int ",
      ProfileInto("@Year", "CurrentYear"),
      ProfileInto("@Period", "CurrentPeriod"),
      ProfileInto("@CalculateType", "CalculateType"),
      ProfileInto("@Decimal", "PriceDigitCount"),
      ProfileInto("@Quantity", "QuantityDigitCount"),
      ProfileInto("@FloatRate", "FloatRate"),
      "Select IsNull(@CalculateType,0) FCalculateType,@Year FYear,@Period "
      "FPeriod,FStartDate,FEndDate,@Decimal FPrice,@Quantity FQuantity,@FloatRate FFloatRate",
      "From t_PeriodDate Where FYear=@Year And FPeriod=@Period ",
      "Set NoCount Off ",
  });
}

std::string CalCurBatch() {
  return Lines({
      "Set NoCount On ",
      "Declare @Year Int,@Period Int,@CalculateType Int,@Decimal Int,@QtyDecimal Int,@FloatRate "
      "int ",
      ProfileInto("@Year", "CurrentYear"),
      ProfileInto("@Period", "CurrentPeriod"),
      ProfileInto("@CalculateType", "CalculateType"),
      ProfileInto("@Decimal", "PriceDigitCount"),
      ProfileInto("@QtyDecimal", "QuantityDigitCount"),
      ProfileInto("@FloatRate", "FloatRate"),
      "Select IsNull(@CalculateType,0) FCalculateType,@Year FYear,@Period "
      "FPeriod,FStartDate,FEndDate,@Decimal FPrice,@QtyDecimal FQty,@FloatRate FFloatRate",
      "From t_PeriodDate",
      "Where FYear=@Year And FPeriod=@Period ",
      "Set NoCount Off ",
  });
}

std::string Digits(int value, size_t width) {
  std::string s = std::to_string(value);
  while (s.size() < width) s.insert(s.begin(), '0');
  return s;
}

// "yyyy/mm/dd". The separator is fixed to "/": clients and the engine read it back as a date
// whatever the regional settings.
std::string YearMonthDay(automation::DateValue date) {
  int y = 0, m = 0, d = 0, hh = 0, mi = 0, ss = 0;
  automation::DateParts(date, y, m, d, hh, mi, ss);
  return Digits(y, 4) + "/" + Digits(m, 2) + "/" + Digits(d, 2);
}

// The keys both classes set, in their order. The quantity decimals column is named per class. The
// row's fields are read at the current row: with no calendar row for the current period the record
// set is at EOF and the first read raises.
std::shared_ptr<plexo::Dictionary> CommonParameters(ado::Recordset& rs, const char* qty_column) {
  auto object = automation::CreateObject(plexo::kDictionaryClsid);
  auto dict = std::dynamic_pointer_cast<plexo::Dictionary>(object);
  if (!dict) {
    throw automation::ComError(automation::kErrNoInterface, plexo::kDictionaryProgId,
                               "The settings dictionary does not offer its interface.");
  }
  dict->Set("CurrentYear", rs.Fields(Variant("FYear")).Value());
  dict->Set("CurrentPeriod", rs.Fields(Variant("FPeriod")).Value());
  dict->Set("CalculateType", rs.Fields(Variant("FCalculateType")).Value());
  dict->Set("BDate", Variant(YearMonthDay(rs.Fields(Variant("FStartDate")).Value().ToDate())));
  // The period's last day is stored; clients are given the first day after it.
  const automation::DateValue last = rs.Fields(Variant("FEndDate")).Value().ToDate();
  dict->Set("EDate", Variant(YearMonthDay(automation::DateValue{last.days + 1})));
  // Unit prices are always worked to 10 decimals; the profile's PriceDigitCount is read but only
  // governs display.
  dict->Set("PriceDecimal", Variant(int16_t{10}));
  dict->Set("QtyDecimal", rs.Fields(Variant(qty_column)).Value());
  dict->Set("FloatRate", rs.Fields(Variant("FFloatRate")).Value());
  dict->Set("WriteCalculateTable", Variant(false));
  return dict;
}

template <class Fill>
std::shared_ptr<automation::Dispatch> Parameters(frame::ServiceFrame& self, const std::string& sDsn,
                                                 const std::string& batch, Fill fill) {
  self.SetComplete();
  return frame::TrapAndRaise(
      self, frame::CompletionAtStart::kYes, [&]() -> std::shared_ptr<automation::Dispatch> {
        self.BindSession(sDsn);
        std::shared_ptr<ado::Connection> cnn = self.Connection();
        std::shared_ptr<ado::Recordset> rs = cnn->Execute(batch, nullptr, ado::kOptionUnspecified);
        return fill(*rs);
      });
}

}  // namespace

std::shared_ptr<automation::Dispatch> GetCaculateParameter(frame::ServiceFrame& self,
                                                           const std::string& sDsn) {
  return Parameters(self, sDsn, ReaderBatch(),
                    [](ado::Recordset& rs) { return CommonParameters(rs, "FQuantity"); });
}

namespace cal_cur {

std::shared_ptr<automation::Dispatch> GetCaculateParameter(frame::ServiceFrame& self,
                                                           const std::string& sDsn) {
  return Parameters(self, sDsn, CalCurBatch(), [](ado::Recordset& rs) {
    std::shared_ptr<plexo::Dictionary> dict = CommonParameters(rs, "FQty");
    // A costing run of the whole company reads its items in slices of this size.
    dict->Set("ItemCountPerGet", Variant(int16_t{5000}));
    dict->Set("ItemFilter", Variant(std::string()));
    return dict;
  });
}

}  // namespace cal_cur

}  // namespace morvesk::readers
