// What the member tables of the three service classes share: TransMode and the argument
// vector a handler receives.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/automation/dispatch.h"
#include "platform/automation/variant.h"

namespace morvesk::services {

// The transaction-mode value every class reports to the host.
inline constexpr int32_t kTransMode = 2;

using Args = std::vector<automation::Variant>;

inline automation::MemberInfo TransModeInfo() {
  return {.name = "TransMode", .result = automation::VarType::kLong, .is_property = true};
}

template <class T>
automation::Variant TransModeValue(T&, Args&) {
  return automation::Variant(kTransMode);
}

}  // namespace morvesk::services
