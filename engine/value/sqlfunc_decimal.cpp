// SQL functions of exact decimal arithmetic (t_d*), integer and float division,
// ROUND, and the SUM/AVG aggregates over decimal keys.
#include <sqlite3.h>

#include <cstdint>

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

#include "engine/value/sqlfunc_internal.h"

namespace morvesk::engine::sqlfn {
namespace {

constexpr const char* kExpression = "expression";

// Name of a value's storage form in conversion messages.
const char* SourceName(sqlite3_value* v) {
  switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER: return "int";
    case SQLITE_FLOAT: return "float";
    case SQLITE_TEXT: return "varchar";
    default: return "numeric";
  }
}

bool ArgPrecisionScale(sqlite3_context* ctx, sqlite3_value* pv, sqlite3_value* sv, int& p, int& s) {
  p = sqlite3_value_int(pv);
  s = sqlite3_value_int(sv);
  if (p < 1 || p > 38 || s < 0 || s > p) {
    Fail(ctx, 2750, "Column or parameter has an invalid precision or scale.");
    return false;
  }
  return true;
}

// Rescaled result: rounding half away from zero, 8115 when it does not fit (p,s).
void ResultFitted(sqlite3_context* ctx, const std::optional<Decimal>& d, int p, int s,
                  const char* from) {
  if (d) {
    if (auto r = Rescale(*d, s); r && FitsPrecision(*r, p)) {
      ResultDecimal(ctx, *r);
      return;
    }
  }
  FailOverflow(ctx, from, "numeric");
}

void TDec(sqlite3_context* ctx, int, sqlite3_value** argv) {
  Decimal d;
  bool is_null;
  if (!ArgDecimal(ctx, argv[0], d, is_null)) return;
  if (is_null) return sqlite3_result_null(ctx);
  ResultDecimal(ctx, d);
}

void TDScale(sqlite3_context* ctx, int, sqlite3_value** argv) {
  Decimal d;
  bool is_null;
  int p, s;
  if (!ArgDecimal(ctx, argv[0], d, is_null)) return;
  if (is_null) return sqlite3_result_null(ctx);
  if (!ArgPrecisionScale(ctx, argv[1], argv[2], p, s)) return;
  // A stored value already within decimal(p, s) needs no rounding, and its key does not
  // depend on the scale: the same bytes are the result.
  if (sqlite3_value_type(argv[0]) == SQLITE_BLOB && d.scale <= s &&
      (p - s + d.scale >= 38 || base::FitsPrecision(d, p - s + d.scale)) &&
      base::IsCanonicalKey(std::string_view(static_cast<const char*>(sqlite3_value_blob(argv[0])),
                                            static_cast<size_t>(sqlite3_value_bytes(argv[0]))))) {
    return sqlite3_result_value(ctx, argv[0]);
  }
  ResultFitted(ctx, d, p, s, SourceName(argv[0]));
}

enum class Op { kAdd, kSub, kMul, kDiv, kMod };

template <Op op>
void TBinary(sqlite3_context* ctx, int, sqlite3_value** argv) {
  Decimal a, b;
  bool a_null, b_null;
  int p, s;
  if (!ArgDecimal(ctx, argv[0], a, a_null) || !ArgDecimal(ctx, argv[1], b, b_null)) return;
  if (a_null || b_null) return sqlite3_result_null(ctx);
  if (!ArgPrecisionScale(ctx, argv[2], argv[3], p, s)) return;
  std::optional<Decimal> r;
  switch (op) {
    case Op::kAdd: r = AddTo(a, b, s); break;
    case Op::kSub: r = SubTo(a, b, s); break;
    case Op::kMul: r = MulTo(a, b, s); break;
    case Op::kDiv:
      if (b.IsZero()) return FailDivideByZero(ctx);
      r = Div(a, b, s);
      break;
    case Op::kMod:
      if (b.IsZero()) return FailDivideByZero(ctx);
      r = Mod(a, b);
      break;
  }
  ResultFitted(ctx, r, p, s, kExpression);
}

template <int kind>  // 0 neg, 1 abs, 2 sign, 3 floor, 4 ceiling
void TUnary(sqlite3_context* ctx, int, sqlite3_value** argv) {
  Decimal d;
  bool is_null;
  if (!ArgDecimal(ctx, argv[0], d, is_null)) return;
  if (is_null) return sqlite3_result_null(ctx);
  switch (kind) {
    case 0: return ResultDecimal(ctx, Negate(d));
    case 1: return ResultDecimal(ctx, d.Sign() < 0 ? Negate(d) : d);
    case 2: return ResultDecimal(ctx, Decimal::FromInt(d.Sign()));
    default: {
      auto t = TruncateTo(d, 0);
      Decimal r = *t;  // cutting to scale 0 always fits
      // Truncation went toward zero; floor of a negative and ceiling of a positive
      // value with a fraction move one further.
      if (Compare(r, d) != 0) {
        if (kind == 3 && d.Sign() < 0) r.unscaled -= 1;
        if (kind == 4 && d.Sign() > 0) r.unscaled += 1;
      }
      if (!FitsPrecision(r, 38)) return FailOverflow(ctx, kExpression, "numeric");
      return ResultDecimal(ctx, r);
    }
  }
}

// t_dround(x, n[, f[, p, s]]): with the declared type (p, s) given, a result that
// no longer fits it raises 8115, as ROUND(748.58, -3) does on a decimal(5,2).
void TDRound(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  Decimal d;
  bool is_null;
  if (!ArgDecimal(ctx, argv[0], d, is_null)) return;
  if (is_null || sqlite3_value_type(argv[1]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  int n = sqlite3_value_int(argv[1]);
  bool truncate = argc >= 3 && sqlite3_value_type(argv[2]) != SQLITE_NULL &&
                  sqlite3_value_int64(argv[2]) != 0;
  auto r = Round(d, n, truncate);
  if (!r) return FailOverflow(ctx, kExpression, "numeric");
  if (argc == 5) {
    int p, s;
    if (!ArgPrecisionScale(ctx, argv[3], argv[4], p, s)) return;
    return ResultFitted(ctx, r, p, s, kExpression);
  }
  ResultDecimal(ctx, *r);
}

// LOG10 from the C library, exact on powers of ten (SQLite's divides natural logarithms).
void TLog10(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  sqlite3_result_double(ctx, std::log10(sqlite3_value_double(argv[0])));
}

// ROUND on integers and floats; a decimal key takes the decimal path.
void TFRound(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_BLOB || sqlite3_value_type(argv[0]) == SQLITE_TEXT) {
    return TDRound(ctx, argc, argv);
  }
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL) {
    return sqlite3_result_null(ctx);
  }
  int n = sqlite3_value_int(argv[1]);
  bool truncate = sqlite3_value_type(argv[2]) != SQLITE_NULL && sqlite3_value_int64(argv[2]) != 0;
  if (sqlite3_value_type(argv[0]) == SQLITE_INTEGER) {
    int64_t x = sqlite3_value_int64(argv[0]);
    if (n >= 0) return sqlite3_result_int64(ctx, x);
    if (n < -18) return sqlite3_result_int64(ctx, 0);
    int64_t p = 1;
    for (int i = 0; i < -n; ++i) p *= 10;
    int64_t q = x / p, r = x % p;
    if (!truncate && (r >= 0 ? r : -r) * 2 >= p) q += x < 0 ? -1 : 1;
    int64_t out;
    if (__builtin_mul_overflow(q, p, &out)) return FailOverflow(ctx, kExpression, "int");
    return sqlite3_result_int64(ctx, out);
  }
  double x = sqlite3_value_double(argv[0]);
  // Beyond a double's exponent range the value is kept whole or rounded away entirely.
  if (n > 308) return sqlite3_result_double(ctx, x);
  if (n < -308) return sqlite3_result_double(ctx, 0.0);
  double scale = std::pow(10.0, std::abs(n));
  double y;
  if (n >= 0) {
    y = truncate ? std::trunc(x * scale) / scale : std::round(x * scale) / scale;
  } else {
    y = truncate ? std::trunc(x / scale) * scale : std::round(x / scale) * scale;
  }
  sqlite3_result_double(ctx, y);
}

template <bool kMod>
void TIntDiv(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL) {
    return sqlite3_result_null(ctx);
  }
  int64_t a = sqlite3_value_int64(argv[0]), b = sqlite3_value_int64(argv[1]);
  if (b == 0) return FailDivideByZero(ctx);
  if (a == std::numeric_limits<int64_t>::min() && b == -1) {
    return FailOverflow(ctx, kExpression, "bigint");
  }
  // C++ division truncates toward zero and the remainder takes the dividend's sign,
  // as T-SQL's do.
  sqlite3_result_int64(ctx, kMod ? a % b : a / b);
}

// t_ichk(x, kind): the result of integer arithmetic checked against its T-SQL type
// (kind 0 tinyint, 1 smallint, 2 int, 3 bigint). SQLite computes in 64 bits and
// turns a 64-bit overflow into a REAL, so a REAL here is a bigint overflow.
void TIntCheck(sqlite3_context* ctx, int, sqlite3_value** argv) {
  static constexpr struct {
    int64_t low, high;
    const char* name;
  } kRanges[] = {{0, 255, "tinyint"},
                 {-32768, 32767, "smallint"},
                 {std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(), "int"},
                 {std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max(),
                  "bigint"}};
  const int type = sqlite3_value_type(argv[0]);
  if (type == SQLITE_NULL) return sqlite3_result_null(ctx);
  const int kind = std::clamp(sqlite3_value_int(argv[1]), 0, 3);
  if (type == SQLITE_INTEGER) {
    const int64_t v = sqlite3_value_int64(argv[0]);
    if (v >= kRanges[kind].low && v <= kRanges[kind].high) return sqlite3_result_int64(ctx, v);
  }
  FailOverflow(ctx, kExpression, kRanges[kind].name);
}

void TFDiv(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL) {
    return sqlite3_result_null(ctx);
  }
  double b = sqlite3_value_double(argv[1]);
  if (b == 0) return FailDivideByZero(ctx);
  sqlite3_result_double(ctx, sqlite3_value_double(argv[0]) / b);
}

void TDToF(sqlite3_context* ctx, int, sqlite3_value** argv) {
  switch (sqlite3_value_type(argv[0])) {
    case SQLITE_NULL: return sqlite3_result_null(ctx);
    case SQLITE_INTEGER:
    case SQLITE_FLOAT: return sqlite3_result_double(ctx, sqlite3_value_double(argv[0]));
    default: {
      Decimal d;
      bool is_null;
      if (!ArgDecimal(ctx, argv[0], d, is_null)) return;
      sqlite3_result_double(ctx, d.ToDouble());
    }
  }
}

void TDToI(sqlite3_context* ctx, int, sqlite3_value** argv) {
  switch (sqlite3_value_type(argv[0])) {
    case SQLITE_NULL: return sqlite3_result_null(ctx);
    case SQLITE_INTEGER: return sqlite3_result_int64(ctx, sqlite3_value_int64(argv[0]));
    case SQLITE_FLOAT: {
      double v = std::trunc(sqlite3_value_double(argv[0]));
      if (!(v >= -9223372036854775808.0 && v < 9223372036854775808.0)) {
        return FailOverflow(ctx, "float", "bigint");
      }
      return sqlite3_result_int64(ctx, static_cast<int64_t>(v));
    }
    default: {
      Decimal d;
      bool is_null;
      if (!ArgDecimal(ctx, argv[0], d, is_null)) return;
      __int128 t = d.Truncate();
      if (t < std::numeric_limits<int64_t>::min() || t > std::numeric_limits<int64_t>::max()) {
        return FailOverflow(ctx, "numeric", "bigint");
      }
      sqlite3_result_int64(ctx, static_cast<int64_t>(t));
    }
  }
}

struct SumState {
  bool ready;
  DecimalSum sum;
};

// SQLite's aggregate memory is only 8-byte aligned; the 128-bit accumulator needs 16.
template <typename T>
T* AlignedContext(sqlite3_context* ctx, bool create) {
  void* raw = sqlite3_aggregate_context(ctx, create ? static_cast<int>(sizeof(T) + alignof(T)) : 0);
  if (!raw) return nullptr;
  auto addr = reinterpret_cast<uintptr_t>(raw);
  addr = (addr + alignof(T) - 1) & ~static_cast<uintptr_t>(alignof(T) - 1);
  return reinterpret_cast<T*>(addr);
}

SumState* State(sqlite3_context* ctx, bool create) {
  auto* st = AlignedContext<SumState>(ctx, create);
  if (st && !st->ready) {
    new (&st->sum) DecimalSum();
    st->ready = true;
  }
  return st;
}

void SumStep(sqlite3_context* ctx, int, sqlite3_value** argv) {
  sqlite3_value* v = argv[0];
  const int type = sqlite3_value_type(v);
  if (type == SQLITE_NULL) return;
  SumState* st = State(ctx, true);
  if (!st) return sqlite3_result_error_nomem(ctx);
  if (type == SQLITE_BLOB) {
    auto d = DecodeKey(std::string_view(static_cast<const char*>(sqlite3_value_blob(v)),
                                        static_cast<size_t>(sqlite3_value_bytes(v))));
    if (!d) return Fail(ctx, 8114, "Error converting data type varbinary to numeric.");
    st->sum.Add(*d);
    return;
  }
  Decimal d;
  bool is_null;
  if (!ArgDecimal(ctx, v, d, is_null)) return;
  st->sum.Add(d);
}

void SumFinal(sqlite3_context* ctx) {
  SumState* st = State(ctx, false);
  if (!st || st->sum.empty()) return sqlite3_result_null(ctx);
  auto r = st->sum.Result();
  if (!r) return FailOverflow(ctx, kExpression, "numeric");
  ResultDecimal(ctx, *r);
}

// t_davg(x) without a scale: decimal(38, max(s, 6)) of the values' own scale.
void AvgFinal(sqlite3_context* ctx) {
  SumState* st = State(ctx, false);
  if (!st || st->sum.empty()) return sqlite3_result_null(ctx);
  auto r = st->sum.Result();
  if (!r) return FailOverflow(ctx, kExpression, "numeric");
  auto q = Div(*r, Decimal::FromInt(st->sum.count()), std::max<int>(r->scale, 6));
  if (!q) return FailOverflow(ctx, kExpression, "numeric");
  ResultDecimal(ctx, *q);
}

// t_davg(x, s): the scale travels with each row; remember it beside the sum.
struct AvgState {
  SumState base;
  int scale;
};

void AvgStep(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return;
  auto* st = AlignedContext<AvgState>(ctx, true);
  if (!st) return sqlite3_result_error_nomem(ctx);
  if (!st->base.ready) {
    new (&st->base.sum) DecimalSum();
    st->base.ready = true;
  }
  st->scale = std::clamp(sqlite3_value_int(argv[1]), 0, 38);
  Decimal d;
  bool is_null;
  if (!ArgDecimal(ctx, argv[0], d, is_null)) return;
  st->base.sum.Add(d);
}

void AvgFinalScaled(sqlite3_context* ctx) {
  auto* st = AlignedContext<AvgState>(ctx, false);
  if (!st || !st->base.ready || st->base.sum.empty()) return sqlite3_result_null(ctx);
  auto r = st->base.sum.Result();
  if (!r) return FailOverflow(ctx, kExpression, "numeric");
  auto q = Div(*r, Decimal::FromInt(st->base.sum.count()), st->scale);
  if (!q) return FailOverflow(ctx, kExpression, "numeric");
  ResultDecimal(ctx, *q);
}

// t_mchk(x, p): x when it lies in the range of money (p 19: a 64-bit count of ten-thousandths)
// or smallmoney (p 10: a 32-bit one), else the server's overflow error.
void TMoneyCheck(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  Decimal d;
  bool is_null;
  if (!ArgDecimal(ctx, argv[0], d, is_null)) return;
  const bool small = sqlite3_value_int(argv[1]) == 10;
  const __int128 high = small ? INT32_MAX : INT64_MAX;
  const __int128 low = small ? INT32_MIN : INT64_MIN;
  const std::optional<Decimal> r = Rescale(d, 4);
  if (!r || r->unscaled > high || r->unscaled < low) {
    return FailOverflow(ctx, kExpression, small ? "smallmoney" : "money");
  }
  ResultDecimal(ctx, d);
}

// t_davg_<s>(x): t_davg(x, s) with the scale in the function's name, for AVG(DISTINCT x),
// since SQLite takes DISTINCT only on an aggregate of one argument.
void AvgFinalNamedScale(sqlite3_context* ctx) {
  SumState* st = State(ctx, false);
  if (!st || st->sum.empty()) return sqlite3_result_null(ctx);
  auto r = st->sum.Result();
  if (!r) return FailOverflow(ctx, kExpression, "numeric");
  const int scale = static_cast<int>(reinterpret_cast<intptr_t>(sqlite3_user_data(ctx)));
  auto q = Div(*r, Decimal::FromInt(st->sum.count()), scale);
  if (!q) return FailOverflow(ctx, kExpression, "numeric");
  ResultDecimal(ctx, *q);
}

void DefineAggregate(sqlite3* db, const char* name, int nargs,
                     void (*step)(sqlite3_context*, int, sqlite3_value**),
                     void (*final)(sqlite3_context*)) {
  int rc = sqlite3_create_function_v2(db, name, nargs, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                      nullptr, step, final, nullptr);
  if (rc != SQLITE_OK) {
    throw SqlError(0, 16, std::string("Cannot register the aggregate ") + name + ": " +
                              sqlite3_errstr(rc));
  }
}

}  // namespace

void RegisterDecimalFunctions(sqlite3* db) {
  Define(db, "t_dec", 1, TDec);
  Define(db, "t_dscale", 3, TDScale);
  Define(db, "t_dadd", 4, TBinary<Op::kAdd>);
  Define(db, "t_dsub", 4, TBinary<Op::kSub>);
  Define(db, "t_dmul", 4, TBinary<Op::kMul>);
  Define(db, "t_ddiv", 4, TBinary<Op::kDiv>);
  Define(db, "t_dmod", 4, TBinary<Op::kMod>);
  Define(db, "t_dneg", 1, TUnary<0>);
  Define(db, "t_dabs", 1, TUnary<1>);
  Define(db, "t_dsign", 1, TUnary<2>);
  Define(db, "t_dfloor", 1, TUnary<3>);
  Define(db, "t_dceiling", 1, TUnary<4>);
  Define(db, "t_dround", 2, TDRound);
  Define(db, "t_dround", 3, TDRound);
  Define(db, "t_dround", 5, TDRound);
  Define(db, "t_fround", 3, TFRound);
  Define(db, "t_log10", 1, TLog10);
  Define(db, "t_idiv", 2, TIntDiv<false>);
  Define(db, "t_imod", 2, TIntDiv<true>);
  Define(db, "t_ichk", 2, TIntCheck);
  Define(db, "t_fdiv", 2, TFDiv);
  Define(db, "t_dtof", 1, TDToF);
  Define(db, "t_dtoi", 1, TDToI);
  Define(db, "t_mchk", 2, TMoneyCheck);
  DefineAggregate(db, "t_dsum", 1, SumStep, SumFinal);
  DefineAggregate(db, "t_davg", 1, SumStep, AvgFinal);
  DefineAggregate(db, "t_davg", 2, AvgStep, AvgFinalScaled);
  for (intptr_t scale = 0; scale <= 38; ++scale) {
    const std::string name = "t_davg_" + std::to_string(scale);
    if (sqlite3_create_function_v2(db, name.c_str(), 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC,
                                   reinterpret_cast<void*>(scale), nullptr, SumStep,
                                   AvgFinalNamedScale, nullptr) != SQLITE_OK) {
      throw SqlError(0, 16, "Cannot register the aggregate " + name);
    }
  }
}

}  // namespace morvesk::engine::sqlfn
