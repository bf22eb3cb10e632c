// CAST/CONVERT between storage forms (t_cvt) and the text form of any value
// (t_text), with T-SQL's conversion errors.
#include <sqlite3.h>

#include <charconv>
#include <cmath>
#include <limits>

#include "engine/value/sqlfunc_internal.h"

namespace morvesk::engine::sqlfn {
namespace {

enum class Src { kInt, kBit, kDec, kMoney, kFloat, kReal, kDate, kText, kBinary };

Src ClassOf(const std::optional<TypeInfo>& from, int storage) {
  if (from) {
    const TypeKind k = from->kind;
    if (k == TypeKind::kBit) return Src::kBit;
    if (from->IsInteger()) return Src::kInt;
    if (k == TypeKind::kMoney) return Src::kMoney;
    if (k == TypeKind::kDecimal) return Src::kDec;
    if (k == TypeKind::kReal) return Src::kReal;
    if (k == TypeKind::kFloat) return Src::kFloat;
    if (from->IsDateTime()) return Src::kDate;
    if (k == TypeKind::kVarBinary) return Src::kBinary;
    if (k != TypeKind::kNull) return Src::kText;
  }
  switch (storage) {
    case SQLITE_INTEGER: return Src::kInt;
    case SQLITE_FLOAT: return Src::kFloat;
    case SQLITE_BLOB: return Src::kDec;
    default: return Src::kText;
  }
}

// The type's name without arguments, as messages print it ("varchar", "numeric").
std::string BaseName(const TypeInfo& t) {
  if (t.kind == TypeKind::kDecimal) return "numeric";
  if (t.kind == TypeKind::kNull) return "int";
  std::string s = t.ToString();
  size_t paren = s.find('(');
  return paren == std::string::npos ? s : s.substr(0, paren);
}

std::string SourceName(Src src, const std::optional<TypeInfo>& from) {
  if (from && from->kind != TypeKind::kNull) return BaseName(*from);
  switch (src) {
    case Src::kInt: return "int";
    case Src::kBit: return "bit";
    case Src::kDec: return "numeric";
    case Src::kMoney: return "money";
    case Src::kFloat: return "float";
    case Src::kReal: return "real";
    case Src::kDate: return "datetime";
    case Src::kBinary: return "varbinary";
    default: return "varchar";
  }
}

std::string_view ValueText(sqlite3_value* v) {
  const unsigned char* t = sqlite3_value_text(v);
  return std::string_view(reinterpret_cast<const char*>(t), static_cast<size_t>(sqlite3_value_bytes(v)));
}

std::string_view TrimSpaces(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

// Text -> integer as T-SQL reads it: only spaces trimmed; '', ' ' and '-' are 0;
// a sign may be followed by spaces ('+ 7'); nothing but digits otherwise.
std::optional<__int128> ParseIntText(std::string_view s) {
  s = TrimSpaces(s);
  bool neg = false;
  if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
    neg = s.front() == '-';
    s.remove_prefix(1);
    s = TrimSpaces(s);
  }
  __int128 v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + (c - '0');
    if (v > (static_cast<__int128>(1) << 64)) return v;  // overflow, reported by the caller
  }
  return neg ? -v : v;
}

void Fail245(sqlite3_context* ctx, const std::string& from, std::string_view text,
             const std::string& to) {
  Fail(ctx, 245,
       "Conversion failed when converting the " + from + " value '" + std::string(text) +
           "' to data type " + to + ".");
}

bool IntRange(TypeKind k, __int128 v) {
  switch (k) {
    case TypeKind::kTinyInt: return v >= 0 && v <= 255;
    case TypeKind::kSmallInt: return v >= -32768 && v <= 32767;
    case TypeKind::kInt: return v >= std::numeric_limits<int32_t>::min() &&
                                v <= std::numeric_limits<int32_t>::max();
    default: return v >= std::numeric_limits<int64_t>::min() &&
                    v <= std::numeric_limits<int64_t>::max();
  }
}

void ToInteger(sqlite3_context* ctx, sqlite3_value* x, Src src, const std::optional<TypeInfo>& from,
               const TypeInfo& to) {
  const std::string to_name = BaseName(to);
  __int128 v = 0;
  const int storage = sqlite3_value_type(x);
  if (src == Src::kText || src == Src::kBinary) {
    std::string_view text = ValueText(x);
    if (to.kind == TypeKind::kBit) {
      std::string_view t = TrimSpaces(text);
      if (t.size() == 4 && sqlite3_strnicmp(t.data(), "true", 4) == 0) return sqlite3_result_int(ctx, 1);
      if (t.size() == 5 && sqlite3_strnicmp(t.data(), "false", 5) == 0) return sqlite3_result_int(ctx, 0);
    }
    auto parsed = ParseIntText(text);
    if (!parsed) {
      if (to.kind == TypeKind::kBigInt) {
        return Fail(ctx, 8114, "Error converting data type " + SourceName(src, from) + " to bigint.");
      }
      return Fail245(ctx, SourceName(src, from), text, to_name);
    }
    v = *parsed;
  } else if (src == Src::kDate) {
    // datetime -> int rounds to the nearer day: noon and later count as the next.
    int64_t ms = sqlite3_value_int64(x);
    v = (ms + DateTime::kMsPerDay / 2) / DateTime::kMsPerDay -
        ((ms + DateTime::kMsPerDay / 2) % DateTime::kMsPerDay < 0);
  } else if (storage == SQLITE_INTEGER) {
    v = sqlite3_value_int64(x);
  } else if (storage == SQLITE_FLOAT) {
    double d = std::trunc(sqlite3_value_double(x));
    if (!(std::abs(d) < 1.8e19)) return FailOverflow(ctx, "float", to_name);
    v = static_cast<__int128>(d);
    if (to.kind != TypeKind::kBit && !IntRange(to.kind, v)) return FailOverflow(ctx, "float", to_name);
  } else {
    Decimal d;
    bool is_null;
    if (!ArgDecimal(ctx, x, d, is_null)) return;
    // money -> int rounds; decimal -> int truncates.
    if (src == Src::kMoney) d = Rescale(d, 0).value_or(d);
    v = d.Truncate();
    if (to.kind != TypeKind::kBit && !IntRange(to.kind, v)) return FailOverflow(ctx, "numeric", to_name);
  }
  if (to.kind == TypeKind::kBit) return sqlite3_result_int(ctx, v != 0 ? 1 : 0);
  if (!IntRange(to.kind, v)) {
    if ((to.kind == TypeKind::kTinyInt || to.kind == TypeKind::kSmallInt) && IntRange(TypeKind::kBigInt, v)) {
      return Fail(ctx, 220,
                  "Arithmetic overflow error for data type " + to_name +
                      ", value = " + std::to_string(static_cast<int64_t>(v)) + ".");
    }
    return FailOverflow(ctx, "expression", to_name);
  }
  sqlite3_result_int64(ctx, static_cast<int64_t>(v));
}

void ToDecimal(sqlite3_context* ctx, sqlite3_value* x, Src src, const std::optional<TypeInfo>& from,
               const TypeInfo& to) {
  const int p = to.precision;
  const int s = to.scale;
  const std::string to_name = to.kind == TypeKind::kMoney ? BaseName(to) : "numeric";
  std::optional<Decimal> d;
  std::string from_name = SourceName(src, from);
  if (src == Src::kText || src == Src::kBinary) {
    d = Decimal::Parse(TrimSpaces(ValueText(x)));
    if (!d) return Fail(ctx, 8114, "Error converting data type " + from_name + " to " + to_name + ".");
  } else if (src == Src::kDate) {
    d = Decimal::TryFromDouble(static_cast<double>(sqlite3_value_int64(x)) / DateTime::kMsPerDay, s);
  } else if (sqlite3_value_type(x) == SQLITE_FLOAT) {
    d = Decimal::TryFromDouble(sqlite3_value_double(x), s);
  } else {
    Decimal v;
    bool is_null;
    if (!ArgDecimal(ctx, x, v, is_null)) return;
    d = v;
  }
  if (d) d = Rescale(*d, s);
  if (!d || !FitsPrecision(*d, p)) return FailOverflow(ctx, from_name, to_name);
  ResultDecimal(ctx, *d);
}

void ToFloat(sqlite3_context* ctx, sqlite3_value* x, Src src, const std::optional<TypeInfo>& from,
             const TypeInfo& to) {
  double v;
  if (src == Src::kText || src == Src::kBinary) {
    std::string_view t = TrimSpaces(ValueText(x));
    if (t.empty()) {
      v = 0;
    } else {
      if (t.front() == '+') t.remove_prefix(1);
      auto res = std::from_chars(t.data(), t.data() + t.size(), v);
      if (res.ec != std::errc() || res.ptr != t.data() + t.size()) {
        return Fail(ctx, 8114,
                    "Error converting data type " + SourceName(src, from) + " to " + BaseName(to) + ".");
      }
    }
  } else if (src == Src::kDate) {
    v = static_cast<double>(sqlite3_value_int64(x)) / DateTime::kMsPerDay;
  } else if (sqlite3_value_type(x) == SQLITE_BLOB) {
    Decimal d;
    bool is_null;
    if (!ArgDecimal(ctx, x, d, is_null)) return;
    v = d.ToDouble();
  } else {
    v = sqlite3_value_double(x);
  }
  // real keeps single precision: the value handed on is the float widened back.
  if (to.kind == TypeKind::kReal) v = static_cast<double>(static_cast<float>(v));
  sqlite3_result_double(ctx, v);
}

void ToDateTime(sqlite3_context* ctx, sqlite3_value* x, Src src, const TypeInfo& to, int style) {
  int64_t ms;
  if (src == Src::kText) {
    int error = 0;
    auto d = DateTime::Parse(ValueText(x), style, &error);
    if (!d) {
      if (error == 242) {
        return Fail(ctx, 242,
                    "The conversion of a varchar data type to a datetime data type resulted in an "
                    "out-of-range value.");
      }
      return Fail(ctx, 241, "Conversion failed when converting date and/or time from character string.");
    }
    ms = d->ms;
  } else if (src == Src::kDate) {
    ms = sqlite3_value_int64(x);
  } else if (sqlite3_value_type(x) == SQLITE_INTEGER) {
    __int128 m = static_cast<__int128>(sqlite3_value_int64(x)) * DateTime::kMsPerDay;
    if (m < DateTime::kMinMs || m > DateTime::kMaxMs) return FailOverflow(ctx, "expression", "datetime");
    ms = static_cast<int64_t>(m);
  } else {
    double days;
    if (sqlite3_value_type(x) == SQLITE_BLOB) {
      Decimal d;
      bool is_null;
      if (!ArgDecimal(ctx, x, d, is_null)) return;
      days = d.ToDouble();
    } else {
      days = sqlite3_value_double(x);
    }
    double m = std::round(days * DateTime::kMsPerDay);
    if (!(m >= DateTime::kMinMs && m <= DateTime::kMaxMs)) return FailOverflow(ctx, "expression", "datetime");
    ms = DateTime::RoundToTick(static_cast<int64_t>(m)).ms;
  }
  if (to.kind == TypeKind::kSmallDateTime) {
    // smalldatetime keeps whole minutes; 29.998 s rounds down, 29.999 up.
    int64_t minute = 60000;
    int64_t base = ms - ((ms % minute) + minute) % minute;
    ms = (ms - base) >= 29999 ? base + minute : base;
  }
  DateTime r{ms};
  if (!r.InRange()) return FailOverflow(ctx, "expression", "datetime");
  sqlite3_result_int64(ctx, ms);
}

// Text of a money value: style 0 two decimals, 1 with thousands separators, 2 four decimals.
std::string MoneyText(const Decimal& d, int style) {
  Decimal r = Rescale(d, style == 2 ? 4 : 2).value_or(d);
  std::string s = r.ToString();
  if (style != 1) return s;
  size_t start = s[0] == '-' ? 1 : 0;
  size_t point = s.find('.');
  if (point == std::string::npos) point = s.size();
  for (size_t i = point; i > start + 3; i -= 3) s.insert(i - 3, 1, ',');
  return s;
}

size_t CharCount(std::string_view s) {
  size_t n = 0;
  for (unsigned char c : s) n += (c & 0xC0) != 0x80;
  return n;
}

// First n characters of s (UTF-8).
std::string_view CharPrefix(std::string_view s, size_t n) {
  size_t i = 0, count = 0;
  while (i < s.size()) {
    if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) {
      if (count == n) break;
      ++count;
    }
    ++i;
  }
  return s.substr(0, i);
}

void ToText(sqlite3_context* ctx, sqlite3_value* x, Src src, const std::optional<TypeInfo>& from,
            const TypeInfo& to, std::optional<int> style) {
  const int32_t n = to.length;  // -1: max
  const std::string to_name = BaseName(to);
  std::string text;
  // Numbers that do not fit the target length: '*' for integers, 8115 for the others.
  bool numeric = false;
  switch (src) {
    case Src::kBit:
    case Src::kInt:
      if (sqlite3_value_type(x) == SQLITE_INTEGER || sqlite3_value_type(x) == SQLITE_FLOAT) {
        text = std::to_string(sqlite3_value_int64(x));
      } else {
        text = ArgText(x);
      }
      if (n >= 0 && text.size() > static_cast<size_t>(n)) text = "*";
      break;
    case Src::kDec:
    case Src::kMoney: {
      Decimal d;
      bool is_null;
      if (!ArgDecimal(ctx, x, d, is_null)) return;
      if (src == Src::kMoney) {
        text = MoneyText(d, style.value_or(0));
      } else {
        if (from && from->kind == TypeKind::kDecimal && from->scale > d.scale) {
          d = Rescale(d, from->scale).value_or(d);
        }
        text = d.ToString();
      }
      numeric = true;
      break;
    }
    case Src::kFloat:
    case Src::kReal:
      text = FloatText(sqlite3_value_double(x), style.value_or(0), src == Src::kReal);
      numeric = true;
      break;
    case Src::kDate: {
      int st = style.value_or(0);
      if (!DateTime::IsFormatStyle(st)) {
        return Fail(ctx, 281,
                    std::to_string(st) +
                        " is not a valid style number when converting from datetime to a character "
                        "string.");
      }
      text = DateTime{sqlite3_value_int64(x)}.Format(st);
      break;
    }
    case Src::kText:
    case Src::kBinary:
      text = std::string(sqlite3_value_type(x) == SQLITE_BLOB
                             ? std::string_view(static_cast<const char*>(sqlite3_value_blob(x)),
                                                static_cast<size_t>(sqlite3_value_bytes(x)))
                             : ValueText(x));
      break;
  }
  if (n > 0 && CharCount(text) > static_cast<size_t>(n)) {
    if (numeric) return FailOverflow(ctx, SourceName(src, from), to_name);
    text = std::string(CharPrefix(text, static_cast<size_t>(n)));
  }
  if (n > 0 && (to.kind == TypeKind::kChar || to.kind == TypeKind::kNChar)) {
    size_t have = CharCount(text);
    if (have < static_cast<size_t>(n)) text.append(static_cast<size_t>(n) - have, ' ');
  }
  sqlite3_result_text(ctx, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

void Convert(sqlite3_context* ctx, sqlite3_value* x, const std::optional<TypeInfo>& from,
             const TypeInfo& to, std::optional<int> style) {
  if (sqlite3_value_type(x) == SQLITE_NULL) return sqlite3_result_null(ctx);
  const Src src = ClassOf(from, sqlite3_value_type(x));
  if (to.IsInteger()) return ToInteger(ctx, x, src, from, to);
  if (to.kind == TypeKind::kDecimal || to.kind == TypeKind::kMoney) return ToDecimal(ctx, x, src, from, to);
  if (to.IsApprox()) return ToFloat(ctx, x, src, from, to);
  if (to.IsDateTime()) return ToDateTime(ctx, x, src, to, style.value_or(0));
  if (to.kind == TypeKind::kVarBinary) {
    if (src != Src::kText && src != Src::kBinary) {
      return Fail(ctx, 529,
                  "Explicit conversion from data type " + SourceName(src, from) +
                      " to varbinary is not allowed.");
    }
    std::string bytes = ArgText(x);
    return sqlite3_result_blob(ctx, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
  }
  return ToText(ctx, x, src, from, to, style);
}

// t_cvt(x, from, to, style)
void TCvt(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  std::optional<TypeInfo> from, to;
  if (!ArgType(ctx, argv, 1, from) || !ArgType(ctx, argv, 2, to)) return;
  if (!to) return Convert(ctx, argv[0], from, TypeInfo::VarChar(-1), std::nullopt);
  std::optional<int> style;
  if (argc > 3 && sqlite3_value_type(argv[3]) != SQLITE_NULL) style = sqlite3_value_int(argv[3]);
  Convert(ctx, argv[0], from, *to, style);
}

// t_text(x, kind): the text a value turns into beside '+' with a string.
void TText(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  std::optional<TypeInfo> from;
  if (argc > 1 && !ArgType(ctx, argv, 1, from)) return;
  Convert(ctx, argv[0], from, TypeInfo::VarChar(-1), std::nullopt);
}

}  // namespace

void RegisterConvertFunctions(sqlite3* db) {
  Define(db, "t_cvt", 3, TCvt);
  Define(db, "t_cvt", 4, TCvt);
  Define(db, "t_text", 1, TText);
  Define(db, "t_text", 2, TText);
}

}  // namespace morvesk::engine::sqlfn
