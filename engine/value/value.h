// A single T-SQL value as it crosses the engine's public boundary (result cells,
// variables, procedure parameters). Held by value: the alternatives are a NULL, an
// integer, a double, an exact decimal, a datetime or a text; text owns its bytes
// (UTF-8) and copying copies them.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

#include "engine/value/datetime.h"
#include "engine/value/decimal.h"
#include "engine/value/types.h"

namespace morvesk::engine {

class Value {
 public:
  Value() = default;  // NULL of no particular type
  static Value Null(TypeInfo t = {}) { return Value(t, std::monostate{}); }
  static Value Int(int64_t v, TypeKind k = TypeKind::kInt) { return Value(TypeInfo::Of(k), v); }
  static Value Bit(bool v) { return Value(TypeInfo::Of(TypeKind::kBit), int64_t{v ? 1 : 0}); }
  static Value Float(double v) { return Value(TypeInfo::Of(TypeKind::kFloat), v); }
  static Value Dec(const Decimal& d, int precision = 38) {
    return Value(TypeInfo::Decimal(precision, d.scale), d);
  }
  static Value Date(DateTime d) { return Value(TypeInfo::Of(TypeKind::kDateTime), d); }
  static Value Text(std::string s, TypeKind k = TypeKind::kVarChar) {
    int32_t n = static_cast<int32_t>(s.size());
    return Value(TypeInfo{k, 0, 0, n == 0 ? 1 : n}, std::move(s));
  }
  Value(TypeInfo t, std::variant<std::monostate, int64_t, double, Decimal, DateTime, std::string> v)
      : type_(t), v_(std::move(v)) {}

  const TypeInfo& type() const { return type_; }
  bool is_null() const { return std::holds_alternative<std::monostate>(v_); }
  bool is_int() const { return std::holds_alternative<int64_t>(v_); }
  bool is_double() const { return std::holds_alternative<double>(v_); }
  bool is_decimal() const { return std::holds_alternative<Decimal>(v_); }
  bool is_datetime() const { return std::holds_alternative<DateTime>(v_); }
  bool is_text() const { return std::holds_alternative<std::string>(v_); }

  int64_t as_int() const { return std::get<int64_t>(v_); }
  double as_double() const { return std::get<double>(v_); }
  const Decimal& as_decimal() const { return std::get<Decimal>(v_); }
  DateTime as_datetime() const { return std::get<DateTime>(v_); }
  const std::string& as_text() const { return std::get<std::string>(v_); }

  // The value as T-SQL would print it in a result grid (decimals with all their
  // scale digits, datetimes as 'yyyy-mm-dd hh:mi:ss.mmm', NULL as "NULL").
  std::string ToString() const;

 private:
  TypeInfo type_;
  std::variant<std::monostate, int64_t, double, Decimal, DateTime, std::string> v_;
};

}  // namespace morvesk::engine
