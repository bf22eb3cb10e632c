// The automation value: what late-bound calls pass and return.
//
// Representation: a tag plus one alternative held by value. Empty, Null, Boolean
// (stored as -1 / 0), Integer (16-bit), Long (32-bit), Double, Decimal (the base layer's
// exact decimal, no heap), Date (days since 1899-12-30 as a double, the automation
// convention: the fraction is the time of day), String (UTF-8 text, owned), Object
// (shared reference to a Dispatch object; a null reference is Nothing), Array (a
// shared vector of Variants, copied on copy of the Variant) and ByRef (a pointer to a
// caller's Variant, used for by-ref arguments; not owned, must outlive the call).
// Copying copies text and arrays and shares objects.
#pragma once

#include <concepts>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "base/decimal.h"

// Code written when the decimal lived in the engine still names it engine::Decimal;
// the alias names the base type and needs nothing from engine/.
namespace morvesk::engine {
using base::Decimal;
}  // namespace morvesk::engine

namespace morvesk::automation {

class Dispatch;
class Variant;
using VariantArray = std::vector<Variant>;

enum class VarType : uint16_t {
  kEmpty = 0,
  kNull = 1,
  kShort = 2,  // Integer (16-bit)
  kLong = 3,
  kSingle = 4,
  kDouble = 5,
  kCurrency = 6,
  kDate = 7,
  kString = 8,
  kObject = 9,
  kBoolean = 11,
  kVariant = 12,  // "any": only as a parameter or result type
  kDecimal = 14,
  kByte = 17,
  kArray = 0x2000,  // always with kVariant: arrays hold Variants
};

struct DateValue {
  double days = 0;  // since 1899-12-30; fraction = time of day
  bool operator==(const DateValue&) const = default;
};
struct EmptyValue {
  bool operator==(const EmptyValue&) const = default;
};
struct NullValue {
  bool operator==(const NullValue&) const = default;
};
struct BoolValue {
  int16_t v = 0;  // -1 true, 0 false
  bool operator==(const BoolValue&) const = default;
};

class Variant {
 public:
  Variant() = default;
  Variant(bool b) : v_(BoolValue{static_cast<int16_t>(b ? -1 : 0)}) {}
  Variant(int32_t l) : v_(l) {}
  Variant(int16_t i) : v_(i) {}
  Variant(double d) : v_(d) {}
  Variant(const base::Decimal& d) : v_(d) {}
  Variant(DateValue d) : v_(d) {}
  Variant(std::string s) : v_(std::move(s)) {}
  Variant(std::string_view s) : v_(std::string(s)) {}
  Variant(const char* s) : v_(std::string(s)) {}
  Variant(std::shared_ptr<Dispatch> o) : v_(std::move(o)) {}
  template <class T>
    requires(!std::same_as<T, Dispatch> && std::convertible_to<T*, Dispatch*>)
  Variant(std::shared_ptr<T> o) : v_(std::shared_ptr<Dispatch>(std::move(o))) {}
  Variant(VariantArray a) : v_(std::make_shared<VariantArray>(std::move(a))) {}
  Variant(const Variant& o);
  Variant& operator=(const Variant& o);
  Variant(Variant&&) noexcept = default;
  Variant& operator=(Variant&&) noexcept = default;

  static Variant Null() { Variant v; v.v_ = NullValue{}; return v; }
  static Variant Nothing() { return Variant(std::shared_ptr<Dispatch>()); }
  // A by-ref argument: reads and writes go to *target.
  static Variant Ref(Variant* target) { Variant v; v.v_ = target; return v; }

  // The type of the held value (of the target for a by-ref); arrays report kArray|kVariant.
  VarType type() const;
  bool is_empty() const { return std::holds_alternative<EmptyValue>(Deref().v_); }
  bool is_null() const { return std::holds_alternative<NullValue>(Deref().v_); }
  bool is_object() const { return std::holds_alternative<std::shared_ptr<Dispatch>>(Deref().v_); }
  bool is_nothing() const { return is_object() && !ToObject(); }
  bool is_array() const { return std::holds_alternative<std::shared_ptr<VariantArray>>(Deref().v_); }
  bool is_string() const { return std::holds_alternative<std::string>(Deref().v_); }
  bool is_byref() const { return std::holds_alternative<Variant*>(v_); }
  bool is_numeric() const;  // Boolean, Integer, Long, Double, Decimal

  // Conversions as automation's coercion does. Numbers round half to even when they
  // become integers; out-of-range values throw ComError kErrOverflow; anything else
  // that does not convert (text that is not a number, an object, an array, Null)
  // throws ComError kErrTypeMismatch. Empty converts to 0, False, "" and day 0.
  int32_t ToLong() const;
  int16_t ToShort() const;
  double ToDouble() const;
  bool ToBool() const;
  base::Decimal ToDecimal() const;
  DateValue ToDate() const;
  std::shared_ptr<Dispatch> ToObject() const;  // Empty and Nothing give a null pointer
  const VariantArray& ToArray() const;
  VariantArray& MutableArray();
  // Text of the value: Boolean "True"/"False", numbers in their shortest form
  // (decimals without trailing zeros), dates "yyyy-mm-dd" or "yyyy-mm-dd hh:mm:ss".
  // Null gives "" here, as text concatenation treats it; ChangeType(kString) of Null
  // is a type mismatch instead, as a String parameter refuses Null.
  std::string ToString() const;

  // The value converted to `t` (kVariant: the value itself, by-ref resolved).
  Variant ChangeType(VarType t) const;

  // The Variant a by-ref points to (itself otherwise); assignment through a by-ref
  // writes the caller's variable.
  const Variant& Deref() const { return is_byref() ? *std::get<Variant*>(v_) : *this; }
  Variant& Deref() { return is_byref() ? *std::get<Variant*>(v_) : *this; }
  void Assign(Variant value) {
    Variant resolved = value.Deref();
    Deref() = std::move(resolved);
  }

  // Same type and same value (by-refs resolved; objects by identity; arrays element-wise).
  bool operator==(const Variant& o) const;

 private:
  std::variant<EmptyValue, NullValue, BoolValue, int32_t, int16_t, double, base::Decimal, DateValue,
               std::string, std::shared_ptr<Dispatch>, std::shared_ptr<VariantArray>, Variant*>
      v_;
};

// Automation's name of a type ("Long", "String", "Variant()") for messages.
std::string VarTypeName(VarType t);

// Dates: calendar parts <-> day count. ParseDate reads "yyyy-mm-dd", "yyyy/m/d",
// "yyyymmdd", each with an optional " hh:mm[:ss[.fff]]" (or 'T'); empty when the text
// is not a date.
DateValue MakeDate(int y, int m, int d, int hh = 0, int mi = 0, double ss = 0);
void DateParts(DateValue d, int& y, int& m, int& day, int& hh, int& mi, int& ss);
std::optional<DateValue> ParseDate(std::string_view text);
std::string FormatDate(DateValue d);

}  // namespace morvesk::automation
