#include "closing/profile_values.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <memory>

#include "platform/ado/recordset.h"
#include "platform/automation/com_error.h"

namespace morvesk::closing {

namespace {

using automation::Variant;

// The longest prefix of `text` (after leading blanks) that reads as a decimal number with
// an optional sign, fraction and exponent; 0 when there is none.
double LeadingNumber(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  const size_t begin = i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  size_t digits = 0;
  while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i, ++digits;
  }
  if (digits == 0) return 0;
  size_t end = i;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    size_t j = i + 1;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
    if (j < text.size() && std::isdigit(static_cast<unsigned char>(text[j]))) {
      while (j < text.size() && std::isdigit(static_cast<unsigned char>(text[j]))) ++j;
      end = j;
    }
  }
  return std::strtod(text.substr(begin, end - begin).c_str(), nullptr);
}

}  // namespace

Variant ProfileValue(ado::Connection& cnn, const std::string& category, const std::string& key) {
  std::shared_ptr<ado::Recordset> rs =
      cnn.Execute("select FValue from t_SystemProfile where FCategory='" + category +
                      "' and FKey='" + key + "'",
                  nullptr, ado::kOptionUnspecified);
  Variant value = rs->FieldAt(0).Value();
  rs->Close();
  return value;
}

std::optional<Variant> InventoryOption(ado::Connection& cnn, const std::string& key,
                                       bool required) {
  std::shared_ptr<ado::Recordset> rs = cnn.Execute(
      "select FValue from t_SystemProFile where FCategory='IC' and FKey='" + key + "'", nullptr,
      ado::kOptionUnspecified);
  std::optional<Variant> value;
  if (required || (rs->IsOpen() && !rs->Eof())) value = rs->Fields(Variant("FValue")).Value();
  if (rs->IsOpen()) rs->Close();
  return value;
}

int32_t WholeNumberOf(const Variant& value) {
  if (value.is_null() || value.is_empty()) return 0;
  const double number = value.is_numeric() ? value.ToDouble() : LeadingNumber(value.ToString());
  const double rounded = std::nearbyint(number);
  if (!(rounded >= -2147483648.0 && rounded <= 2147483647.0)) {
    throw automation::ComError(automation::kErrOverflow, "", "Overflow");
  }
  return static_cast<int32_t>(rounded);
}

}  // namespace morvesk::closing
