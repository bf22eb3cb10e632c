// Shared helpers of the SQLite function library (sqlfunc_*.cpp): reading arguments
// in their storage forms, reporting T-SQL errors, and the per-group registrations.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/utf8.h"
#include "engine/error.h"
#include "engine/value/datetime.h"
#include "engine/value/decimal.h"
#include "engine/value/types.h"

namespace morvesk::engine::sqlfn {

// Reports error `number` (severity 16) from inside a function.
void Fail(sqlite3_context* ctx, int number, std::string_view message);
void FailOverflow(sqlite3_context* ctx, std::string_view from, std::string_view to);
void FailDivideByZero(sqlite3_context* ctx);

// Registers one scalar function; every function here is deterministic unless said.
void Define(sqlite3* db, const char* name, int nargs,
            void (*fn)(sqlite3_context*, int, sqlite3_value**), bool deterministic = true);

// Reads a numeric argument as an exact decimal from any storage form (decimal key,
// INTEGER, REAL, numeric TEXT). Returns false after reporting an error; sets
// is_null for NULL.
bool ArgDecimal(sqlite3_context* ctx, sqlite3_value* v, Decimal& out, bool& is_null);
void ResultDecimal(sqlite3_context* ctx, const Decimal& d);

// Reads a datetime argument: INTEGER milliseconds, or text converted by T-SQL's
// rules (errors 241/242 reported). Returns false after reporting an error.
bool ArgDateTime(sqlite3_context* ctx, sqlite3_value* v, DateTime& out);

// The T-SQL text form of an argument used where a string is expected (LEN(int_col)):
// INTEGER digits, REAL as float style 0, a decimal key at its natural scale.
std::string ArgText(sqlite3_value* v);

// Float as CONVERT(varchar, f, style) writes it (style 0: six significant digits,
// three-digit exponent); `single` for real values.
std::string FloatText(double v, int style, bool single);

// A T-SQL type given as a constant text argument, parsed once per statement.
// Empty (no error) when the argument is NULL; false after an error.
bool ArgType(sqlite3_context* ctx, sqlite3_value** argv, int i, std::optional<TypeInfo>& out);

// Case folding of the default collation: ASCII and Latin-1 letters.
// The TSQL collation's comparison (a SQLite collating function).
int CompareTsql(void*, int na, const void* pa, int nb, const void* pb);

inline uint32_t FoldLower(uint32_t c) {
  if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 32 : c;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
  return c;
}
inline uint32_t FoldUpper(uint32_t c) {
  if (c < 0x80) return (c >= 'a' && c <= 'z') ? c - 32 : c;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 32;
  return c;
}

// Decodes one UTF-8 character at s[i] (advancing i); invalid bytes read as Latin-1.
inline uint32_t NextChar(const unsigned char* s, size_t n, size_t& i) {
  unsigned char c = s[i];
  if (c < 0x80) {
    ++i;
    return c;
  }
  int len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
  if (len == 1 || i + len > n) {
    ++i;
    return c;
  }
  uint32_t cp = c & (0x3F >> (len - 1));
  for (int k = 1; k < len; ++k) {
    unsigned char cc = s[i + k];
    if ((cc & 0xC0) != 0x80) {
      ++i;
      return c;
    }
    cp = (cp << 6) | (cc & 0x3F);
  }
  i += len;
  return cp;
}
using base::AppendUtf8;

void RegisterDecimalFunctions(sqlite3* db);
void RegisterConvertFunctions(sqlite3* db);
void RegisterStringFunctions(sqlite3* db);
void RegisterLikeFunctions(sqlite3* db);
void RegisterDateFunctions(sqlite3* db);
void RegisterChainFunctions(sqlite3* db);

}  // namespace morvesk::engine::sqlfn
