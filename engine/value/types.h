// T-SQL data types as the engine knows them: a kind plus precision, scale and length.
// Every bound expression and every column of a table carries one of these.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace morvesk::engine {

// Ordered by SQL Server's data type precedence, lowest first, so that the
// result type of mixed operands is the one with the larger enumerator
// (text types lose to numbers, numbers lose to datetime).
enum class TypeKind : uint8_t {
  kNull = 0,       // the type of a bare NULL literal
  kVarBinary,
  kChar,
  kVarChar,
  kNChar,
  kNVarChar,
  kText,
  kNText,
  kUniqueIdentifier,
  kBit,
  kTinyInt,
  kSmallInt,
  kInt,
  kBigInt,
  kMoney,          // decimal(19,4) in storage and arithmetic
  kDecimal,        // decimal and numeric
  kReal,           // float(1..24): single precision
  kFloat,          // float(25..53): double precision
  kSmallDateTime,
  kDateTime,
};

struct TypeInfo {
  TypeKind kind = TypeKind::kNull;
  uint8_t precision = 0;  // decimal: 1..38
  uint8_t scale = 0;      // decimal: 0..precision
  int32_t length = 0;     // char/varchar/nchar/nvarchar/varbinary; -1 means max

  static TypeInfo Of(TypeKind k) { return TypeInfo{k, 0, 0, 0}; }
  static TypeInfo Decimal(int p, int s) {
    return TypeInfo{TypeKind::kDecimal, static_cast<uint8_t>(p), static_cast<uint8_t>(s), 0};
  }
  static TypeInfo VarChar(int32_t n) { return TypeInfo{TypeKind::kVarChar, 0, 0, n}; }

  bool IsText() const { return kind >= TypeKind::kChar && kind <= TypeKind::kNText; }
  bool IsInteger() const { return kind >= TypeKind::kBit && kind <= TypeKind::kBigInt; }
  bool IsExact() const { return IsInteger() || kind == TypeKind::kMoney || kind == TypeKind::kDecimal; }
  bool IsApprox() const { return kind == TypeKind::kReal || kind == TypeKind::kFloat; }
  bool IsNumeric() const { return IsExact() || IsApprox(); }
  bool IsDateTime() const { return kind == TypeKind::kSmallDateTime || kind == TypeKind::kDateTime; }

  // The type as T-SQL writes it: "decimal(28,10)", "varchar(255)", "int".
  std::string ToString() const;
  bool operator==(const TypeInfo&) const = default;
};

// Parses a T-SQL type name with its arguments ("numeric(18, 4)", "nvarchar(max)",
// "float(10)", "datetime"); case-insensitive. Empty when the name is not a type
// the engine supports.
std::optional<TypeInfo> ParseTypeName(std::string_view name, std::optional<int> arg1 = std::nullopt,
                                      std::optional<int> arg2 = std::nullopt);

// Precision and scale that an exact type has when it meets a decimal:
// int is decimal(10,0), smallint (5,0), tinyint (3,0), bit (1,0), bigint (19,0), money (19,4).
TypeInfo AsDecimalType(const TypeInfo& t);

// Result types of T-SQL arithmetic on two decimals, with the 38-digit cap and the
// minimum scale 6 of division and multiplication.
enum class ArithOp : uint8_t { kAdd, kSub, kMul, kDiv, kMod };
TypeInfo DecimalResultType(ArithOp op, const TypeInfo& a, const TypeInfo& b);

// Result type of a binary arithmetic operator on any two types (precedence rules);
// nullopt when the operation is invalid (error 8117 / 402).
std::optional<TypeInfo> ArithmeticResultType(ArithOp op, const TypeInfo& a, const TypeInfo& b);

// SUM/AVG result types: sum of decimal(p,s) is decimal(38,s); of int is int; avg of
// decimal(p,s) is decimal(38, max(s,6)).
TypeInfo SumResultType(const TypeInfo& t);
TypeInfo AvgResultType(const TypeInfo& t);

}  // namespace morvesk::engine
