// The automation value: what late-bound calls pass and return.
//
// Representation: a tag plus one alternative held by value. Empty, Null, Boolean
// (stored as -1 / 0), Long (32-bit), Double, Decimal (the engine's exact decimal),
// Date (days since 1899-12-30 as a double, the automation convention), String
// (UTF-8 text, owned), Object (shared reference to a Dispatch object), Array
// (owned vector of Variants) and ByRef (a pointer to a caller's Variant, used for
// by-ref arguments; not owned). Copying copies text and arrays and shares objects.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "engine/value/decimal.h"

namespace morvesk::automation {

class Dispatch;
class Variant;
using VariantArray = std::vector<Variant>;

enum class VarType : uint16_t {
  kEmpty = 0,
  kNull = 1,
  kShort = 2,   // Integer (16-bit)
  kLong = 3,
  kSingle = 4,
  kDouble = 5,
  kCurrency = 6,
  kDate = 7,
  kString = 8,
  kObject = 9,
  kBoolean = 11,
  kVariant = 12,
  kDecimal = 14,
  kByte = 17,
  kArray = 0x2000,
};

struct DateValue {
  double days = 0;  // since 1899-12-30
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
  Variant(const engine::Decimal& d) : v_(d) {}
  Variant(DateValue d) : v_(d) {}
  Variant(std::string s) : v_(std::move(s)) {}
  Variant(const char* s) : v_(std::string(s)) {}
  Variant(std::shared_ptr<Dispatch> o) : v_(std::move(o)) {}
  Variant(VariantArray a) : v_(std::make_shared<VariantArray>(std::move(a))) {}
  static Variant Null() { Variant v; v.v_ = NullValue{}; return v; }
  // A by-ref argument: reads and writes go to *target.
  static Variant Ref(Variant* target) { Variant v; v.v_ = target; return v; }

  VarType type() const;
  bool is_empty() const { return std::holds_alternative<EmptyValue>(Deref().v_); }
  bool is_null() const { return std::holds_alternative<NullValue>(Deref().v_); }
  bool is_object() const { return std::holds_alternative<std::shared_ptr<Dispatch>>(Deref().v_); }
  bool is_array() const { return std::holds_alternative<std::shared_ptr<VariantArray>>(Deref().v_); }
  bool is_string() const { return std::holds_alternative<std::string>(Deref().v_); }
  bool is_byref() const { return std::holds_alternative<Variant*>(v_); }

  // Conversions as automation's coercion does; a value that does not convert
  // throws ComError with kErrTypeMismatch. Null converts to nothing but String
  // (raising "Invalid use of Null").
  int32_t ToLong() const;
  double ToDouble() const;
  bool ToBool() const;
  std::string ToString() const;
  engine::Decimal ToDecimal() const;
  DateValue ToDate() const;
  std::shared_ptr<Dispatch> ToObject() const;
  const VariantArray& ToArray() const;
  VariantArray& MutableArray();

  // The Variant a by-ref points to (itself otherwise); assignment through a by-ref
  // writes the caller's variable.
  const Variant& Deref() const { return is_byref() ? *std::get<Variant*>(v_) : *this; }
  Variant& Deref() { return is_byref() ? *std::get<Variant*>(v_) : *this; }
  void Assign(Variant value) { Deref() = std::move(value).Deref(); }

  bool operator==(const Variant& o) const;

 private:
  std::variant<EmptyValue, NullValue, BoolValue, int32_t, int16_t, double, engine::Decimal,
               DateValue, std::string, std::shared_ptr<Dispatch>, std::shared_ptr<VariantArray>,
               Variant*>
      v_;
};

}  // namespace morvesk::automation
