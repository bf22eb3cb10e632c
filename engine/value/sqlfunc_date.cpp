// SQL functions on datetime values (INTEGER milliseconds since 1900-01-01).
#include <sqlite3.h>

#include <chrono>
#include <cmath>
#include <ctime>
#include <limits>

#include "engine/value/sqlfunc_internal.h"

namespace morvesk::engine::sqlfn {
namespace {

std::string PartName(sqlite3_value* v) {
  const unsigned char* t = sqlite3_value_text(v);
  return t ? std::string(reinterpret_cast<const char*>(t)) : std::string();
}

void FailPart(sqlite3_context* ctx, const std::string& part, const char* function) {
  Fail(ctx, 155, "'" + part + "' is not a recognized " + function + " option.");
}

// t_dt(x): text -> datetime; a value already in storage form passes through.
void TDt(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  DateTime d;
  if (!ArgDateTime(ctx, argv[0], d)) return;
  sqlite3_result_int64(ctx, d.ms);
}

void TDtFmt(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  DateTime d;
  if (!ArgDateTime(ctx, argv[0], d)) return;
  int style = argc > 1 && sqlite3_value_type(argv[1]) != SQLITE_NULL ? sqlite3_value_int(argv[1]) : 0;
  if (!DateTime::IsFormatStyle(style)) {
    return Fail(ctx, 281,
                std::to_string(style) +
                    " is not a valid style number when converting from datetime to a character string.");
  }
  std::string s = d.Format(style);
  sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

void TDateAdd(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[1]) == SQLITE_NULL || sqlite3_value_type(argv[2]) == SQLITE_NULL) {
    return sqlite3_result_null(ctx);
  }
  std::string part = PartName(argv[0]);
  // The number is truncated to an integer; beyond int it is an overflow.
  double n = std::trunc(sqlite3_value_double(argv[1]));
  if (sqlite3_value_type(argv[1]) == SQLITE_INTEGER) n = static_cast<double>(sqlite3_value_int64(argv[1]));
  if (n < std::numeric_limits<int32_t>::min() || n > std::numeric_limits<int32_t>::max()) {
    return FailOverflow(ctx, "expression", "int");
  }
  DateTime d;
  if (!ArgDateTime(ctx, argv[2], d)) return;
  if (!d.Part(part)) return FailPart(ctx, part, "dateadd");
  auto r = d.AddPart(part, static_cast<int64_t>(n));
  if (!r) return Fail(ctx, 517, "Adding a value to a 'datetime' column caused an overflow.");
  sqlite3_result_int64(ctx, r->ms);
}

void TDateDiff(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[1]) == SQLITE_NULL || sqlite3_value_type(argv[2]) == SQLITE_NULL) {
    return sqlite3_result_null(ctx);
  }
  std::string part = PartName(argv[0]);
  DateTime a, b;
  if (!ArgDateTime(ctx, argv[1], a) || !ArgDateTime(ctx, argv[2], b)) return;
  auto r = DateDiff(part, a, b);
  if (!r) return FailPart(ctx, part, "datediff");
  if (*r < std::numeric_limits<int32_t>::min() || *r > std::numeric_limits<int32_t>::max()) {
    return Fail(ctx, 535,
                "The datediff function resulted in an overflow. The number of dateparts separating "
                "two date/time instances is too large. Try to use datediff with a less precise "
                "datepart.");
  }
  sqlite3_result_int64(ctx, *r);
}

void TDatePart(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[1]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  std::string part = PartName(argv[0]);
  DateTime d;
  if (!ArgDateTime(ctx, argv[1], d)) return;
  auto r = d.Part(part);
  if (!r) return FailPart(ctx, part, "datepart");
  sqlite3_result_int(ctx, *r);
}

void TGetDate(sqlite3_context* ctx, int, sqlite3_value**) {
  using namespace std::chrono;
  auto now = system_clock::now();
  std::time_t t = system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&t, &local);
  int msec = static_cast<int>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
  auto d = DateTime::FromParts(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                               local.tm_min, local.tm_sec, msec);
  if (!d) return sqlite3_result_null(ctx);
  sqlite3_result_int64(ctx, d->ms);
}

}  // namespace

void RegisterDateFunctions(sqlite3* db) {
  Define(db, "t_dt", 1, TDt);
  Define(db, "t_dtfmt", 1, TDtFmt);
  Define(db, "t_dtfmt", 2, TDtFmt);
  Define(db, "t_dateadd", 3, TDateAdd);
  Define(db, "t_datediff", 3, TDateDiff);
  Define(db, "t_datepart", 2, TDatePart);
  Define(db, "t_getdate", 0, TGetDate, /*deterministic=*/false);
}

}  // namespace morvesk::engine::sqlfn
