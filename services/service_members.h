// Handlers shared by the member tables of the three service classes: TransMode, and the
// handlers of operations not built yet, which fail through the operation's own convention
// (message and False, or ComError kErrNotImpl raised) inside a unit of work like any call.
#pragma once

#include <cstddef>
#include <vector>

#include "frame/conventions.h"
#include "platform/automation/variant.h"
#include "platform/host/unit_of_work.h"

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

// A Boolean operation whose by-ref message argument is args[message_index].
template <class T>
auto NotBuiltWithMessage(const char* operation, size_t message_index) {
  return [operation, message_index](T& self, Args& a) -> automation::Variant {
    host::CallScope scope;
    std::string message = a[message_index].ToString();
    bool ok = frame::NotImplementedToMessage(self.frame(), message, operation);
    a[message_index] = automation::Variant(message);
    return automation::Variant(ok);
  };
}

// An operation that raises its errors to the caller.
template <class T>
auto NotBuiltRaising(const char* operation) {
  return [operation](T& self, Args&) -> automation::Variant {
    host::CallScope scope;
    frame::RaiseNotImplemented(self.frame(), operation);
  };
}

}  // namespace morvesk::services
