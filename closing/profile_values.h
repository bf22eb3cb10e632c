// Reading system profile rows (t_SystemProfile: FCategory, FKey, text FValue) for the period
// calendar and the inventory options, and the numeric reading of a profile text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/ado/connection.h"
#include "platform/automation/variant.h"

namespace morvesk::closing {

// FValue of the first row of "select FValue from t_SystemProfile where FCategory='<category>'
// and FKey='<key>'". A missing row raises the data-access error of reading past the end.
automation::Variant ProfileValue(ado::Connection& cnn, const std::string& category,
                                 const std::string& key);

// FValue of the IC row `key`, through the statement the inventory options are read with.
// A missing row gives nullopt, or, when `required`, raises the data-access error of reading
// past the end.
std::optional<automation::Variant> InventoryOption(ado::Connection& cnn, const std::string& key,
                                                   bool required);

// A profile text read as a number and rounded half to even to a whole number: the leading
// numeric part counts ("12abc" is 12, "abc" and "" are 0), Null is 0. A number beyond the
// 32-bit range raises ComError kErrOverflow.
int32_t WholeNumberOf(const automation::Variant& value);

}  // namespace morvesk::closing
