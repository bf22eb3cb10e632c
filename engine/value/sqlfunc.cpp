// Registration of the T-SQL function library and the TSQL collation on a SQLite
// connection, the error convention between functions and the runtime, and the
// argument helpers the function groups share.
#include "engine/value/sqlfunc.h"

#include <sqlite3.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <memory>

#include "engine/value/sqlfunc_internal.h"

namespace morvesk::engine {
namespace sqlfn {

void Fail(sqlite3_context* ctx, int number, std::string_view message) {
  std::string text = FunctionErrorText(number, 16, message);
  sqlite3_result_error(ctx, text.data(), static_cast<int>(text.size()));
}

void FailOverflow(sqlite3_context* ctx, std::string_view from, std::string_view to) {
  Fail(ctx, 8115,
       "Arithmetic overflow error converting " + std::string(from) + " to data type " +
           std::string(to) + ".");
}

void FailDivideByZero(sqlite3_context* ctx) { Fail(ctx, 8134, "Divide by zero error encountered."); }

void Define(sqlite3* db, const char* name, int nargs,
            void (*fn)(sqlite3_context*, int, sqlite3_value**), bool deterministic) {
  int flags = SQLITE_UTF8 | (deterministic ? SQLITE_DETERMINISTIC : 0);
  int rc = sqlite3_create_function_v2(db, name, nargs, flags, nullptr, fn, nullptr, nullptr,
                                      nullptr);
  if (rc != SQLITE_OK) {
    throw SqlError(0, 16, std::string("Cannot register the function ") + name + ": " +
                              sqlite3_errstr(rc));
  }
}

bool ArgDecimal(sqlite3_context* ctx, sqlite3_value* v, Decimal& out, bool& is_null) {
  is_null = false;
  switch (sqlite3_value_type(v)) {
    case SQLITE_NULL:
      is_null = true;
      return true;
    case SQLITE_BLOB: {
      const void* p = sqlite3_value_blob(v);
      int n = sqlite3_value_bytes(v);
      auto d = DecodeKey(std::string_view(static_cast<const char*>(p), static_cast<size_t>(n)));
      if (!d) {
        Fail(ctx, 8114, "Error converting data type varbinary to numeric.");
        return false;
      }
      out = *d;
      return true;
    }
    case SQLITE_INTEGER:
      out = Decimal::FromInt(sqlite3_value_int64(v));
      return true;
    case SQLITE_FLOAT: {
      auto d = Decimal::FromDoubleNatural(sqlite3_value_double(v));
      if (!d) {
        FailOverflow(ctx, "float", "numeric");
        return false;
      }
      out = *d;
      return true;
    }
    default: {
      const char* t = reinterpret_cast<const char*>(sqlite3_value_text(v));
      auto d = Decimal::Parse(t ? t : "");
      if (!d) {
        Fail(ctx, 8114, "Error converting data type varchar to numeric.");
        return false;
      }
      out = *d;
      return true;
    }
  }
}

void ResultDecimal(sqlite3_context* ctx, const Decimal& d) {
  unsigned char key[base::kMaxKeyBytes];
  const size_t n = base::EncodeKeyTo(d, key);
  sqlite3_result_blob(ctx, key, static_cast<int>(n), SQLITE_TRANSIENT);
}

bool ArgDateTime(sqlite3_context* ctx, sqlite3_value* v, DateTime& out) {
  switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER:
      out = DateTime{sqlite3_value_int64(v)};
      return true;
    case SQLITE_FLOAT:
      out = DateTime::RoundToTick(std::llround(sqlite3_value_double(v)));
      return true;
    case SQLITE_TEXT: {
      int error = 0;
      const char* t = reinterpret_cast<const char*>(sqlite3_value_text(v));
      auto d = DateTime::Parse(t ? t : "", 0, &error);
      if (!d) {
        if (error == 242) {
          Fail(ctx, 242,
               "The conversion of a varchar data type to a datetime data type resulted in an "
               "out-of-range value.");
        } else {
          Fail(ctx, 241, "Conversion failed when converting date and/or time from character string.");
        }
        return false;
      }
      out = *d;
      return true;
    }
    default:
      Fail(ctx, 241, "Conversion failed when converting date and/or time from character string.");
      return false;
  }
}

std::string FloatText(double v, int style, bool single) {
  if (style == 3 || (style != 1 && style != 2 && !std::isfinite(v))) {
    char buf[40];
    auto res = single ? std::to_chars(buf, buf + sizeof buf, static_cast<float>(v))
                      : std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, res.ptr);
  }
  char buf[64];
  if (style == 1 || style == 2) {
    std::snprintf(buf, sizeof buf, "%.*e", style == 1 ? 7 : 15, v);
  } else {
    std::snprintf(buf, sizeof buf, "%.6g", v);
  }
  // The server writes three exponent digits: 1.23457e+006.
  std::string s = buf;
  size_t e = s.find('e');
  if (e != std::string::npos && e + 2 < s.size()) {
    std::string digits = s.substr(e + 2);
    while (digits.size() < 3) digits.insert(digits.begin(), '0');
    s = s.substr(0, e + 2) + digits;
  }
  return s;
}

std::string ArgText(sqlite3_value* v) {
  switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER: return std::to_string(sqlite3_value_int64(v));
    case SQLITE_FLOAT: return FloatText(sqlite3_value_double(v), 0, false);
    case SQLITE_BLOB: {
      auto d = DecodeKey(std::string_view(static_cast<const char*>(sqlite3_value_blob(v)),
                                          static_cast<size_t>(sqlite3_value_bytes(v))));
      if (d) return d->ToString();
      return std::string(static_cast<const char*>(sqlite3_value_blob(v)),
                         static_cast<size_t>(sqlite3_value_bytes(v)));
    }
    case SQLITE_NULL: return std::string();
    default: {
      const unsigned char* t = sqlite3_value_text(v);
      return std::string(reinterpret_cast<const char*>(t),
                         static_cast<size_t>(sqlite3_value_bytes(v)));
    }
  }
}

bool ArgType(sqlite3_context* ctx, sqlite3_value** argv, int i, std::optional<TypeInfo>& out) {
  if (sqlite3_value_type(argv[i]) == SQLITE_NULL) {
    out.reset();
    return true;
  }
  if (auto* cached = static_cast<TypeInfo*>(sqlite3_get_auxdata(ctx, i))) {
    out = *cached;
    return true;
  }
  const char* t = reinterpret_cast<const char*>(sqlite3_value_text(argv[i]));
  auto parsed = ParseTypeName(t ? t : "");
  if (!parsed) {
    Fail(ctx, 243, std::string("Type ") + (t ? t : "") + " is not a defined system type.");
    return false;
  }
  out = *parsed;
  // SQLite may drop the copy at once when the argument is not a constant.
  sqlite3_set_auxdata(ctx, i, new TypeInfo(*parsed),
                      [](void* p) { delete static_cast<TypeInfo*>(p); });
  return true;
}

// TSQL collation: case-insensitive over ASCII and Latin-1, blind to trailing
// blanks (the shorter side is compared as if padded with spaces).
int CompareTsql(void*, int na, const void* pa, int nb, const void* pb) {
  const auto* a = static_cast<const unsigned char*>(pa);
  const auto* b = static_cast<const unsigned char*>(pb);
  const size_t la = static_cast<size_t>(na), lb = static_cast<size_t>(nb);
  size_t i = 0, j = 0;
  while (i < la && j < lb) {
    unsigned ca = a[i], cb = b[j];
    if ((ca | cb) < 0x80) {
      if (ca != cb) {
        unsigned fa = (ca - 'A' < 26u) ? ca + 32 : ca;
        unsigned fb = (cb - 'A' < 26u) ? cb + 32 : cb;
        if (fa != fb) return fa < fb ? -1 : 1;
      }
      ++i;
      ++j;
      continue;
    }
    uint32_t fa = FoldLower(NextChar(a, la, i));
    uint32_t fb = FoldLower(NextChar(b, lb, j));
    if (fa != fb) return fa < fb ? -1 : 1;
  }
  while (i < la) {
    uint32_t c = NextChar(a, la, i);
    if (c != ' ') return c < ' ' ? -1 : 1;
  }
  while (j < lb) {
    uint32_t c = NextChar(b, lb, j);
    if (c != ' ') return c < ' ' ? 1 : -1;
  }
  return 0;
}

namespace {

void TRaise(sqlite3_context* ctx, int, sqlite3_value** argv) {
  int number = sqlite3_value_int(argv[0]);
  int severity = sqlite3_value_int(argv[1]);
  const char* m = reinterpret_cast<const char*>(sqlite3_value_text(argv[2]));
  std::string text = FunctionErrorText(number, severity, m ? m : "");
  sqlite3_result_error(ctx, text.data(), static_cast<int>(text.size()));
}

int StateOf(int number) {
  switch (number) {
    case 8115:
    case 515: return 2;
    case 242: return 3;
    default: return 1;
  }
}

}  // namespace
}  // namespace sqlfn

std::string FunctionErrorText(int number, int severity, std::string_view message) {
  std::string s = "TSQL:" + std::to_string(number) + ":" + std::to_string(severity) + ":";
  s.append(message);
  return s;
}

std::optional<SqlError> ParseFunctionError(std::string_view sqlite_message) {
  size_t at = sqlite_message.find("TSQL:");
  if (at == std::string_view::npos) return std::nullopt;
  std::string_view rest = sqlite_message.substr(at + 5);
  int number = 0, severity = 0;
  auto r1 = std::from_chars(rest.data(), rest.data() + rest.size(), number);
  if (r1.ec != std::errc() || r1.ptr == rest.data() + rest.size() || *r1.ptr != ':') {
    return std::nullopt;
  }
  rest.remove_prefix(r1.ptr - rest.data() + 1);
  auto r2 = std::from_chars(rest.data(), rest.data() + rest.size(), severity);
  if (r2.ec != std::errc() || r2.ptr == rest.data() + rest.size() || *r2.ptr != ':') {
    return std::nullopt;
  }
  rest.remove_prefix(r2.ptr - rest.data() + 1);
  return SqlError(number, severity, std::string(rest), 0, sqlfn::StateOf(number));
}

void RegisterSqlFunctions(sqlite3* db) {
  int rc = sqlite3_create_collation_v2(db, "TSQL", SQLITE_UTF8, nullptr, sqlfn::CompareTsql,
                                       nullptr);
  if (rc != SQLITE_OK) {
    throw SqlError(0, 16, std::string("Cannot register the TSQL collation: ") + sqlite3_errstr(rc));
  }
  sqlfn::Define(db, "t_raise", 3, sqlfn::TRaise, false);
  sqlfn::RegisterDecimalFunctions(db);
  sqlfn::RegisterConvertFunctions(db);
  sqlfn::RegisterStringFunctions(db);
  sqlfn::RegisterLikeFunctions(db);
  sqlfn::RegisterDateFunctions(db);
  sqlfn::RegisterChainFunctions(db);
}

}  // namespace morvesk::engine
