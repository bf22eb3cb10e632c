// T-SQL type names, and the result-type rules of arithmetic, SUM and AVG.
#include "engine/value/types.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "base/ascii.h"

namespace morvesk::engine {
namespace {

using base::AsciiLower;

std::string_view Trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

// "(18, 4)", "(max)", "(10)": fills up to two arguments; -1 stands for max.
bool ParseArgs(std::string_view text, std::optional<int>& a1, std::optional<int>& a2) {
  text = Trim(text);
  if (text.size() < 2 || text.front() != '(' || text.back() != ')') return false;
  text = text.substr(1, text.size() - 2);
  std::optional<int>* slot = &a1;
  while (true) {
    size_t comma = text.find(',');
    std::string_view part = Trim(text.substr(0, comma));
    if (slot == nullptr) return false;
    if (AsciiLower(part) == "max") {
      *slot = -1;
    } else {
      int v = 0;
      auto [p, ec] = std::from_chars(part.data(), part.data() + part.size(), v);
      if (ec != std::errc() || p != part.data() + part.size()) return false;
      *slot = v;
    }
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
    slot = slot == &a1 ? &a2 : nullptr;
  }
  return true;
}

TypeInfo Text(TypeKind k, std::optional<int> n) {
  TypeInfo t = TypeInfo::Of(k);
  t.length = n.value_or(1);
  return t;
}

// The cap of + and -: the integral digits are kept, the scale gives way.
TypeInfo CapAdditive(int p, int s, int integral) {
  if (p > 38) {
    p = 38;
    s = std::max(0, std::min(s, 38 - integral));
  }
  return TypeInfo::Decimal(p, s);
}

// The cap of * and /: a result with few integral digits keeps as much scale as fits;
// one with 32 or more keeps at most 6 decimals (and may overflow at run time).
TypeInfo CapMultiplicative(int p, int s) {
  if (p > 38) {
    int integral = p - s;
    s = integral < 32 ? std::min(s, 38 - integral) : std::min(s, 6);
    p = 38;
  }
  return TypeInfo::Decimal(p, s);
}

bool IsMoneyKind(const TypeInfo& t) { return t.kind == TypeKind::kMoney; }

}  // namespace

std::string TypeInfo::ToString() const {
  auto with_length = [this](const char* name) {
    return std::string(name) + "(" + (length < 0 ? std::string("max") : std::to_string(length)) +
           ")";
  };
  switch (kind) {
    case TypeKind::kNull: return "null";
    case TypeKind::kVarBinary: return with_length("varbinary");
    case TypeKind::kChar: return with_length("char");
    case TypeKind::kVarChar: return with_length("varchar");
    case TypeKind::kNChar: return with_length("nchar");
    case TypeKind::kNVarChar: return with_length("nvarchar");
    case TypeKind::kText: return "text";
    case TypeKind::kNText: return "ntext";
    case TypeKind::kUniqueIdentifier: return "uniqueidentifier";
    case TypeKind::kBit: return "bit";
    case TypeKind::kTinyInt: return "tinyint";
    case TypeKind::kSmallInt: return "smallint";
    case TypeKind::kInt: return "int";
    case TypeKind::kBigInt: return "bigint";
    case TypeKind::kMoney: return precision == 10 ? "smallmoney" : "money";
    case TypeKind::kDecimal:
      return "decimal(" + std::to_string(precision) + "," + std::to_string(scale) + ")";
    case TypeKind::kReal: return "real";
    case TypeKind::kFloat: return "float";
    case TypeKind::kSmallDateTime: return "smalldatetime";
    case TypeKind::kDateTime: return "datetime";
  }
  return "?";
}

std::optional<TypeInfo> ParseTypeName(std::string_view name, std::optional<int> arg1,
                                      std::optional<int> arg2) {
  name = Trim(name);
  size_t paren = name.find('(');
  if (paren != std::string_view::npos) {
    if (arg1 || arg2) return std::nullopt;
    if (!ParseArgs(name.substr(paren), arg1, arg2)) return std::nullopt;
    name = Trim(name.substr(0, paren));
  }
  const std::string n = AsciiLower(name);
  auto no_args = [&](TypeKind k) -> std::optional<TypeInfo> {
    if (arg1 || arg2) return std::nullopt;
    return TypeInfo::Of(k);
  };
  if (n == "int" || n == "integer") return no_args(TypeKind::kInt);
  if (n == "smallint") return no_args(TypeKind::kSmallInt);
  if (n == "tinyint") return no_args(TypeKind::kTinyInt);
  if (n == "bigint") return no_args(TypeKind::kBigInt);
  if (n == "bit") return no_args(TypeKind::kBit);
  if (n == "real") return no_args(TypeKind::kReal);
  if (n == "datetime" || n == "date") return no_args(TypeKind::kDateTime);
  if (n == "smalldatetime") return no_args(TypeKind::kSmallDateTime);
  if (n == "text") {
    auto t = no_args(TypeKind::kText);
    if (t) t->length = -1;
    return t;
  }
  if (n == "ntext") {
    auto t = no_args(TypeKind::kNText);
    if (t) t->length = -1;
    return t;
  }
  if (n == "uniqueidentifier") return no_args(TypeKind::kUniqueIdentifier);
  if (n == "money" || n == "smallmoney") {
    if (arg1 || arg2) return std::nullopt;
    TypeInfo t{TypeKind::kMoney, static_cast<uint8_t>(n == "money" ? 19 : 10), 4, 0};
    return t;
  }
  if (n == "decimal" || n == "numeric" || n == "dec") {
    int p = arg1.value_or(18);
    int s = arg2.value_or(0);
    if (p < 1 || p > 38 || s < 0 || s > p) return std::nullopt;
    return TypeInfo::Decimal(p, s);
  }
  if (n == "float" || n == "double precision") {
    if (arg2) return std::nullopt;
    int bits = arg1.value_or(53);
    if (bits < 1 || bits > 53) return std::nullopt;
    return TypeInfo::Of(bits <= 24 ? TypeKind::kReal : TypeKind::kFloat);
  }
  TypeKind text_kind;
  if (n == "char" || n == "character") {
    text_kind = TypeKind::kChar;
  } else if (n == "varchar") {
    text_kind = TypeKind::kVarChar;
  } else if (n == "nchar") {
    text_kind = TypeKind::kNChar;
  } else if (n == "nvarchar") {
    text_kind = TypeKind::kNVarChar;
  } else if (n == "varbinary" || n == "binary") {
    text_kind = TypeKind::kVarBinary;
  } else {
    return std::nullopt;
  }
  if (arg2) return std::nullopt;
  if (arg1 && *arg1 == 0) return std::nullopt;
  if (arg1 && *arg1 < -1) return std::nullopt;
  // Fixed-width types cannot be max.
  if (arg1 && *arg1 == -1 && (text_kind == TypeKind::kChar || text_kind == TypeKind::kNChar)) {
    return std::nullopt;
  }
  return Text(text_kind, arg1);
}

TypeInfo AsDecimalType(const TypeInfo& t) {
  switch (t.kind) {
    case TypeKind::kBit: return TypeInfo::Decimal(1, 0);
    case TypeKind::kTinyInt: return TypeInfo::Decimal(3, 0);
    case TypeKind::kSmallInt: return TypeInfo::Decimal(5, 0);
    case TypeKind::kInt: return TypeInfo::Decimal(10, 0);
    case TypeKind::kBigInt: return TypeInfo::Decimal(19, 0);
    case TypeKind::kMoney: return TypeInfo::Decimal(t.precision == 10 ? 10 : 19, 4);
    case TypeKind::kDecimal: return t;
    default: return TypeInfo::Decimal(38, 0);
  }
}

TypeInfo DecimalResultType(ArithOp op, const TypeInfo& a, const TypeInfo& b) {
  const TypeInfo da = AsDecimalType(a);
  const TypeInfo db = AsDecimalType(b);
  const int p1 = da.precision, s1 = da.scale, p2 = db.precision, s2 = db.scale;
  switch (op) {
    case ArithOp::kAdd:
    case ArithOp::kSub: {
      int integral = std::max(p1 - s1, p2 - s2);
      int s = std::max(s1, s2);
      return CapAdditive(s + integral + 1, s, integral);
    }
    case ArithOp::kMul: return CapMultiplicative(p1 + p2 + 1, s1 + s2);
    case ArithOp::kDiv: {
      int s = std::max(6, s1 + p2 + 1);
      return CapMultiplicative(p1 - s1 + s2 + s, s);
    }
    case ArithOp::kMod: {
      int s = std::max(s1, s2);
      int p = std::min(p1 - s1, p2 - s2) + s;
      return TypeInfo::Decimal(std::clamp(p, 1, 38), std::min(s, 38));
    }
  }
  return TypeInfo::Decimal(38, 0);
}

std::optional<TypeInfo> ArithmeticResultType(ArithOp op, const TypeInfo& a, const TypeInfo& b) {
  auto invalid_operand = [](const TypeInfo& t) {
    return t.kind == TypeKind::kVarBinary || t.kind == TypeKind::kUniqueIdentifier ||
           t.kind == TypeKind::kText || t.kind == TypeKind::kNText;
  };
  if (invalid_operand(a) || invalid_operand(b)) return std::nullopt;

  // A bare NULL takes the other side's type; NULL op NULL is int.
  if (a.kind == TypeKind::kNull && b.kind == TypeKind::kNull) return TypeInfo::Of(TypeKind::kInt);
  if (a.kind == TypeKind::kNull) return ArithmeticResultType(op, b, b);
  if (b.kind == TypeKind::kNull) return ArithmeticResultType(op, a, a);

  // Two strings: + concatenates, nothing else applies.
  if (a.IsText() && b.IsText()) {
    if (op != ArithOp::kAdd) return std::nullopt;
    TypeInfo t = TypeInfo::Of(std::max(a.kind, b.kind) >= TypeKind::kNChar ? TypeKind::kNVarChar
                                                                          : TypeKind::kVarChar);
    if (a.length < 0 || b.length < 0) {
      t.length = -1;
    } else {
      t.length = std::min(a.length + b.length, t.kind == TypeKind::kNVarChar ? 4000 : 8000);
    }
    return t;
  }

  if (a.IsDateTime() || b.IsDateTime()) {
    // Only adding and subtracting days; the datetime side decides the type.
    if (op != ArithOp::kAdd && op != ArithOp::kSub) return std::nullopt;
    const TypeInfo& other = a.IsDateTime() ? b : a;
    if (!other.IsDateTime() && !other.IsNumeric() && !other.IsText()) return std::nullopt;
    if (other.kind == TypeKind::kBit) return std::nullopt;
    return TypeInfo::Of(std::max(a.kind, b.kind));
  }

  // A string beside a number converts to the number's type.
  const TypeInfo x = a.IsText() ? b : a;
  const TypeInfo y = b.IsText() ? a : b;
  if (!x.IsNumeric() || !y.IsNumeric()) return std::nullopt;
  if (x.kind == TypeKind::kBit && y.kind == TypeKind::kBit) return std::nullopt;

  const TypeKind k = std::max(x.kind, y.kind);
  if (k == TypeKind::kReal || k == TypeKind::kFloat) {
    if (op == ArithOp::kMod) return std::nullopt;
    return TypeInfo::Of(k);
  }
  if (k == TypeKind::kDecimal) return DecimalResultType(op, x, y);
  if (k == TypeKind::kMoney) {
    if (IsMoneyKind(x) && IsMoneyKind(y)) return TypeInfo{TypeKind::kMoney, 19, 4, 0};
    return IsMoneyKind(x) ? x : y;
  }
  return TypeInfo::Of(k);
}

TypeInfo SumResultType(const TypeInfo& t) {
  switch (t.kind) {
    case TypeKind::kBit:
    case TypeKind::kTinyInt:
    case TypeKind::kSmallInt:
    case TypeKind::kInt: return TypeInfo::Of(TypeKind::kInt);
    case TypeKind::kBigInt: return TypeInfo::Of(TypeKind::kBigInt);
    case TypeKind::kMoney: return TypeInfo{TypeKind::kMoney, 19, 4, 0};
    case TypeKind::kDecimal: return TypeInfo::Decimal(38, t.scale);
    case TypeKind::kReal:
    case TypeKind::kFloat: return TypeInfo::Of(TypeKind::kFloat);
    default: return t;  // not summable: the binder reports the error
  }
}

TypeInfo AvgResultType(const TypeInfo& t) {
  if (t.kind == TypeKind::kDecimal) return TypeInfo::Decimal(38, std::max<int>(t.scale, 6));
  return SumResultType(t);
}

}  // namespace morvesk::engine
