// Record set filter criteria: parsed once when Filter is set, then tested per row.
// Internal to the record set; tests reach it through Recordset::SetFilter.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/automation/variant.h"

namespace morvesk::ado {

struct FilterTerm {
  size_t field = 0;
  std::string op;  // "=", "<>", "<", ">", "<=", ">=", "LIKE"
  automation::Variant value;
};

// Terms joined by AND inside a group; groups joined by OR.
struct FilterExpr {
  std::vector<std::vector<FilterTerm>> groups;
  bool Matches(const std::vector<automation::Variant>& row) const;
};

// Parses "Name op value [AND|OR ...]"; `field_index` maps a field name to its position.
// Throws ComError kErrBadArgument naming what it could not read.
FilterExpr ParseFilter(std::string_view criteria,
                       const std::function<std::optional<size_t>(std::string_view)>& field_index);

}  // namespace morvesk::ado
