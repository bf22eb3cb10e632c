// Typed member binding: a class's member entry names its operation function and
// its parameters once; the parameter and result types of the interface, the
// conversion of each argument and the write-back of by-ref arguments follow
// from the function's C++ signature.
//
//   Member<T>("GetCurPeriodStartEnd", closing::GetCurPeriodStartEnd,
//             {"sCnn", "CurPeriod", "CurYear", "sStartDate", "sEndDate"})
//
// binds `bool GetCurPeriodStartEnd(ServiceFrame&, const std::string&, int32_t,
// int32_t, std::string&, std::string&)` as Boolean with two by-ref Strings. The
// C++ types map as:
//   std::string String   int32_t Long   int16_t Integer   bool Boolean   double
//   Double DateValue Date   Variant Variant   std::shared_ptr<X> Object   void:
//   nothing
// A non-const lvalue reference is by-ref. Where the interface declares a type
// the C++ type does not tell (a Variant argument declared Object), the
// parameter or result names it.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "frame/service_frame.h"
#include "platform/automation/dispatch_object.h"
#include "platform/host/unit_of_work.h"
#include "services/service_members.h"

namespace morvesk::services {

// One parameter of a member entry: its name, and when it is optional, its
// default.
struct Param {
  Param(const char *n) : name(n) {} // NOLINT: entries list plain names
  Param(const char *n, automation::VarType t) : name(n), type(t) {}
  Param(const char *n, automation::Variant def)
      : name(n), default_value(std::move(def)) {}
  Param(const char *n, automation::VarType t, automation::Variant def)
      : name(n), type(t), default_value(std::move(def)) {}
  std::string name;
  std::optional<automation::VarType> type;
  std::optional<automation::Variant> default_value;
};

namespace binding {

template <class X> struct IsSharedPtr : std::false_type {};
template <class X> struct IsSharedPtr<std::shared_ptr<X>> : std::true_type {};

template <class V> constexpr automation::VarType TypeOf() {
  using automation::VarType;
  if constexpr (std::is_same_v<V, void>)
    return VarType::kEmpty;
  else if constexpr (std::is_same_v<V, std::string>)
    return VarType::kString;
  else if constexpr (std::is_same_v<V, int32_t>)
    return VarType::kLong;
  else if constexpr (std::is_same_v<V, int16_t>)
    return VarType::kShort;
  else if constexpr (std::is_same_v<V, bool>)
    return VarType::kBoolean;
  else if constexpr (std::is_same_v<V, double>)
    return VarType::kDouble;
  else if constexpr (std::is_same_v<V, automation::DateValue>)
    return VarType::kDate;
  else if constexpr (std::is_same_v<V, automation::Variant>)
    return VarType::kVariant;
  else if constexpr (IsSharedPtr<V>::value)
    return VarType::kObject;
  else
    static_assert(sizeof(V) == 0, "no automation type for this C++ type");
}

// The argument as the operation's C++ type; Dispatch::Invoke has already
// converted it to the parameter's declared type.
template <class V> V From(const automation::Variant &v) {
  if constexpr (std::is_same_v<V, std::string>)
    return v.ToString();
  else if constexpr (std::is_same_v<V, int32_t>)
    return v.ToLong();
  else if constexpr (std::is_same_v<V, int16_t>)
    return static_cast<int16_t>(v.ToLong());
  else if constexpr (std::is_same_v<V, bool>)
    return v.ToBool();
  else if constexpr (std::is_same_v<V, double>)
    return v.ToDouble();
  else if constexpr (std::is_same_v<V, automation::DateValue>)
    return v.ToDate();
  else if constexpr (std::is_same_v<V, automation::Variant>)
    return v;
  else if constexpr (IsSharedPtr<V>::value) {
    return std::dynamic_pointer_cast<typename V::element_type>(v.ToObject());
  }
}

template <class V> automation::Variant To(V value) {
  if constexpr (IsSharedPtr<V>::value) {
    if (!value)
      return automation::Variant::Nothing();
    return automation::Variant(std::move(value));
  } else {
    return automation::Variant(std::move(value));
  }
}

template <class A>
constexpr bool kByRef = std::is_lvalue_reference_v<A> &&
                        !std::is_const_v<std::remove_reference_t<A>>;

template <class R, class... A, size_t... I>
automation::Variant Call(R (*op)(frame::ServiceFrame &, A...),
                         frame::ServiceFrame &frame, Args &a,
                         std::index_sequence<I...>) {
  std::tuple<std::decay_t<A>...> values{From<std::decay_t<A>>(a[I])...};
  automation::Variant result;
  if constexpr (std::is_void_v<R>) {
    op(frame, std::get<I>(values)...);
  } else {
    result = To<R>(op(frame, std::get<I>(values)...));
  }
  ((kByRef<A> ? void(a[I] = To(std::get<I>(values))) : void()), ...);
  return result;
}

} // namespace binding

// The entry of member `name`, run by `op` inside a unit-of-work scope. `params`
// name the operation's arguments after the frame, in order; `result` overrides
// the result type where the interface declares one the C++ type does not tell.
template <class T, class R, class... A>
typename automation::DispatchTable<T>::Entry
Member(std::string name, R (*op)(frame::ServiceFrame &, A...),
       std::vector<Param> params,
       std::optional<automation::VarType> result = std::nullopt) {
  static_assert(std::is_base_of_v<automation::Dispatch, T>);
  constexpr automation::VarType kTypes[] = {
      binding::TypeOf<std::decay_t<A>>()..., automation::VarType::kEmpty};
  constexpr bool kRefs[] = {binding::kByRef<A>..., false};
  if (params.size() != sizeof...(A)) {
    throw std::logic_error(
        name + ": parameter names do not match the operation's signature");
  }
  automation::MemberInfo info;
  info.name = std::move(name);
  info.result = result.value_or(binding::TypeOf<std::decay_t<R>>());
  for (size_t i = 0; i < params.size(); ++i) {
    automation::ParamInfo p;
    p.name = params[i].name;
    p.type = params[i].type.value_or(kTypes[i]);
    p.by_ref = kRefs[i];
    if (params[i].default_value) {
      p.optional = true;
      p.default_value = *params[i].default_value;
    }
    info.params.push_back(std::move(p));
  }
  auto handler = [op](T &self, Args &a) -> automation::Variant {
    host::CallScope scope;
    return binding::Call(op, self.frame(), a, std::index_sequence_for<A...>{});
  };
  return {std::move(info), std::move(handler)};
}

} // namespace morvesk::services
