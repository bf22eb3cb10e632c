// Long chains of exact arithmetic (a + b - c * ... of integers and decimals) evaluated
// left to right by one function call: the server computes such a chain step by step, each
// step typed and overflow-checked on its own, and SQLite could not parse the same chain
// written as nested calls once it holds a few dozen terms.
//
//   t_fold(program, x1, ..., xn)   the chain's value; `program` holds one step per operand
//                                  after the first: an operator (+ - * / %), then 'i' and
//                                  the integer result kind (0 tinyint .. 3 bigint), 'd' and
//                                  the decimal result type "p.s", or 'f' (float); each step
//                                  ends with ';'.
//   t_pack(x1, ..., xk)            the operands of a chain too long for one call, in order,
//   t_packs(pack1, ..., packk)     as one value (packs of packs, so any length stays shallow)
//   t_foldp(program, pack)         t_fold over the operands of a pack
#include <sqlite3.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "engine/value/sqlfunc_internal.h"

namespace morvesk::engine::sqlfn {
namespace {

struct Step {
  char op;            // '+', '-', '*', '/', '%'
  char cls;           // 'i' integer, 'd' decimal, 'f' float
  int kind = 3;       // integer steps: 0 tinyint, 1 smallint, 2 int, 3 bigint
  int p = 38, s = 0;  // decimal steps
};

bool ParseProgram(std::string_view text, std::vector<Step>& steps) {
  size_t i = 0;
  auto number = [&](int& out) {
    if (i >= text.size() || text[i] < '0' || text[i] > '9') return false;
    out = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && out < 1000)
      out = out * 10 + (text[i++] - '0');
    return true;
  };
  while (i < text.size()) {
    Step st{};
    st.op = text[i++];
    if (std::string_view("+-*/%").find(st.op) == std::string_view::npos || i >= text.size())
      return false;
    st.cls = text[i++];
    if (st.cls == 'd') {
      if (!number(st.p) || i >= text.size() || text[i++] != '.' || !number(st.s)) return false;
      if (st.p < 1 || st.p > 38 || st.s < 0 || st.s > st.p) return false;
    } else if (st.cls == 'i') {
      if (!number(st.kind) || st.kind > 3) return false;
    } else if (st.cls != 'f' || st.op == '%') {
      return false;
    }
    if (i >= text.size() || text[i++] != ';') return false;
    steps.push_back(st);
  }
  return true;
}

// The parsed program, kept with the statement (the program is a constant argument).
const std::vector<Step>* Program(sqlite3_context* ctx, sqlite3_value* arg) {
  if (auto* cached = static_cast<std::vector<Step>*>(sqlite3_get_auxdata(ctx, 0))) return cached;
  const char* text = reinterpret_cast<const char*>(sqlite3_value_text(arg));
  auto steps = std::make_unique<std::vector<Step>>();
  if (!text || !ParseProgram(text, *steps)) {
    sqlite3_result_error(ctx, "malformed chain program", -1);
    return nullptr;
  }
  auto* raw = steps.release();
  sqlite3_set_auxdata(ctx, 0, raw, [](void* p) { delete static_cast<std::vector<Step>*>(p); });
  // SQLite frees the data at once when it cannot keep it; read it back to know.
  if (auto* kept = static_cast<std::vector<Step>*>(sqlite3_get_auxdata(ctx, 0))) return kept;
  sqlite3_result_error(ctx, "chain program not kept", -1);
  return nullptr;
}

// An operand in its storage form: NULL, INTEGER, REAL or an exact decimal.
struct Operand {
  enum class Kind { kNull, kInt, kDouble, kDecimal } kind = Kind::kNull;
  int64_t i = 0;
  double f = 0;
  Decimal d;
};

// The running value of the chain. Each step computes what the nested SQL's t_dadd, t_dsub,
// t_dmul, t_ddiv, t_dmod, t_ichk over + - *, t_idiv, t_imod or float operators compute,
// with the same errors.
class Fold {
 public:
  Fold(sqlite3_context* ctx, const std::vector<Step>& steps) : ctx_(ctx), steps_(steps) {}

  // Takes the next operand; false after an error was reported.
  bool Next(const Operand& x) {
    if (count_++ == 0) {
      acc_ = x;
      return true;
    }
    const size_t k = count_ - 2;
    if (k >= steps_.size()) {
      sqlite3_result_error(ctx_, "chain program shorter than its operands", -1);
      return false;
    }
    const Step& st = steps_[k];
    if (acc_.kind == Operand::Kind::kNull || x.kind == Operand::Kind::kNull) {
      acc_.kind = Operand::Kind::kNull;
      return true;
    }
    switch (st.cls) {
      case 'd':
        return DecimalStep(st, x);
      case 'f':
        return FloatStep(st, x);
      default:
        return IntegerStep(st, x);
    }
  }

  void Result() {
    if (count_ != steps_.size() + 1) {
      sqlite3_result_error(ctx_, "chain program longer than its operands", -1);
      return;
    }
    switch (acc_.kind) {
      case Operand::Kind::kNull:
        return sqlite3_result_null(ctx_);
      case Operand::Kind::kInt:
        return sqlite3_result_int64(ctx_, acc_.i);
      case Operand::Kind::kDouble:
        return sqlite3_result_double(ctx_, acc_.f);
      case Operand::Kind::kDecimal:
        return ResultDecimal(ctx_, acc_.d);
    }
  }

 private:
  bool AsDecimal(const Operand& x, Decimal& out) {
    switch (x.kind) {
      case Operand::Kind::kInt:
        out = Decimal::FromInt(x.i);
        return true;
      case Operand::Kind::kDecimal:
        out = x.d;
        return true;
      default: {
        auto d = Decimal::FromDoubleNatural(x.f);
        if (!d) {
          FailOverflow(ctx_, "float", "numeric");
          return false;
        }
        out = *d;
        return true;
      }
    }
  }
  static double AsDouble(const Operand& x) {
    switch (x.kind) {
      case Operand::Kind::kInt:
        return static_cast<double>(x.i);
      case Operand::Kind::kDecimal:
        return x.d.ToDouble();
      default:
        return x.f;
    }
  }

  bool DecimalStep(const Step& st, const Operand& x) {
    Decimal a, b;
    if (!AsDecimal(acc_, a) || !AsDecimal(x, b)) return false;
    std::optional<Decimal> r;
    switch (st.op) {
      case '+':
        r = AddTo(a, b, st.s);
        break;
      case '-':
        r = SubTo(a, b, st.s);
        break;
      case '*':
        r = MulTo(a, b, st.s);
        break;
      case '/':
        if (b.IsZero()) return DivideByZero();
        r = Div(a, b, st.s);
        break;
      default:
        if (b.IsZero()) return DivideByZero();
        r = Mod(a, b);
        break;
    }
    // Rescaled to the step's scale, 8115 when it does not fit its precision.
    if (r) r = Rescale(*r, st.s);
    if (!r || !FitsPrecision(*r, st.p)) {
      FailOverflow(ctx_, "expression", "numeric");
      return false;
    }
    acc_.kind = Operand::Kind::kDecimal;
    acc_.d = *r;
    return true;
  }

  bool FloatStep(const Step& st, const Operand& x) {
    const double a = AsDouble(acc_), b = AsDouble(x);
    double r = 0;
    switch (st.op) {
      case '+':
        r = a + b;
        break;
      case '-':
        r = a - b;
        break;
      case '*':
        r = a * b;
        break;
      default:
        if (b == 0) return DivideByZero();
        r = a / b;
        break;
    }
    if (!std::isfinite(r)) {
      FailOverflow(ctx_, "expression", "float");
      return false;
    }
    acc_.kind = Operand::Kind::kDouble;
    acc_.f = r;
    return true;
  }

  bool IntegerStep(const Step& st, const Operand& x) {
    static constexpr struct {
      int64_t low, high;
      const char* name;
    } kRanges[] = {
        {0, 255, "tinyint"},
        {-32768, 32767, "smallint"},
        {std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(), "int"},
        {std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max(), "bigint"}};
    if (acc_.kind != Operand::Kind::kInt || x.kind != Operand::Kind::kInt) {
      sqlite3_result_error(ctx_, "integer chain step on a non-integer", -1);
      return false;
    }
    const int64_t a = acc_.i, b = x.i;
    int64_t r = 0;
    bool overflow = false;
    switch (st.op) {
      case '+':
        overflow = __builtin_add_overflow(a, b, &r);
        break;
      case '-':
        overflow = __builtin_sub_overflow(a, b, &r);
        break;
      case '*':
        overflow = __builtin_mul_overflow(a, b, &r);
        break;
      default:
        if (b == 0) return DivideByZero();
        if (a == std::numeric_limits<int64_t>::min() && b == -1) {
          FailOverflow(ctx_, "expression", "bigint");
          return false;
        }
        r = st.op == '/' ? a / b : a % b;
        break;
    }
    // A remainder always fits its operands' type.
    if (overflow || (st.op != '%' && (r < kRanges[st.kind].low || r > kRanges[st.kind].high))) {
      FailOverflow(ctx_, "expression", kRanges[st.kind].name);
      return false;
    }
    acc_.i = r;
    return true;
  }

  bool DivideByZero() {
    FailDivideByZero(ctx_);
    return false;
  }

  sqlite3_context* ctx_;
  const std::vector<Step>& steps_;
  size_t count_ = 0;
  Operand acc_;
};

bool ReadOperand(sqlite3_context* ctx, sqlite3_value* v, Operand& out) {
  switch (sqlite3_value_type(v)) {
    case SQLITE_NULL:
      out.kind = Operand::Kind::kNull;
      return true;
    case SQLITE_INTEGER:
      out.kind = Operand::Kind::kInt;
      out.i = sqlite3_value_int64(v);
      return true;
    case SQLITE_FLOAT:
      out.kind = Operand::Kind::kDouble;
      out.f = sqlite3_value_double(v);
      return true;
    default: {
      bool is_null = false;
      if (!ArgDecimal(ctx, v, out.d, is_null)) return false;
      out.kind = is_null ? Operand::Kind::kNull : Operand::Kind::kDecimal;
      return true;
    }
  }
}

void TFold(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  const std::vector<Step>* steps = Program(ctx, argv[0]);
  if (!steps) return;
  Fold fold(ctx, *steps);
  for (int i = 1; i < argc; ++i) {
    Operand x;
    if (!ReadOperand(ctx, argv[i], x) || !fold.Next(x)) return;
  }
  fold.Result();
}

// A pack: the operands one after another, each a tag (SQLite's type code of the value)
// and its bytes: 8 for an integer or a float, a 4-byte length and the bytes for
// the others. Packs of packs are the concatenation of their packs.
void TPack(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  std::string out;
  for (int i = 0; i < argc; ++i) {
    const int type = sqlite3_value_type(argv[i]);
    if (type == SQLITE_INTEGER) {
      out += static_cast<char>(SQLITE_INTEGER);
      const int64_t v = sqlite3_value_int64(argv[i]);
      out.append(reinterpret_cast<const char*>(&v), sizeof v);
    } else if (type == SQLITE_FLOAT) {
      out += static_cast<char>(SQLITE_FLOAT);
      const double v = sqlite3_value_double(argv[i]);
      out.append(reinterpret_cast<const char*>(&v), sizeof v);
    } else if (type == SQLITE_NULL) {
      out += static_cast<char>(SQLITE_NULL);
    } else {
      const bool blob = type == SQLITE_BLOB;
      const void* p = blob ? sqlite3_value_blob(argv[i]) : sqlite3_value_text(argv[i]);
      const uint32_t n = static_cast<uint32_t>(sqlite3_value_bytes(argv[i]));
      out += static_cast<char>(blob ? SQLITE_BLOB : SQLITE_TEXT);
      out.append(reinterpret_cast<const char*>(&n), sizeof n);
      if (n) out.append(static_cast<const char*>(p), n);
    }
  }
  sqlite3_result_blob64(ctx, out.data(), out.size(), SQLITE_TRANSIENT);
}

void TPacks(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  std::string out;
  for (int i = 0; i < argc; ++i) {
    const void* p = sqlite3_value_blob(argv[i]);
    const int n = sqlite3_value_bytes(argv[i]);
    if (n > 0) out.append(static_cast<const char*>(p), static_cast<size_t>(n));
  }
  sqlite3_result_blob64(ctx, out.data(), out.size(), SQLITE_TRANSIENT);
}

void TFoldPacked(sqlite3_context* ctx, int, sqlite3_value** argv) {
  const std::vector<Step>* steps = Program(ctx, argv[0]);
  if (!steps) return;
  const auto* p = static_cast<const unsigned char*>(sqlite3_value_blob(argv[1]));
  const size_t n = static_cast<size_t>(sqlite3_value_bytes(argv[1]));
  Fold fold(ctx, *steps);
  size_t i = 0;
  while (i < n) {
    const int tag = p[i++];
    Operand x;
    if (tag == SQLITE_INTEGER && i + 8 <= n) {
      x.kind = Operand::Kind::kInt;
      std::memcpy(&x.i, p + i, 8);
      i += 8;
    } else if (tag == SQLITE_FLOAT && i + 8 <= n) {
      x.kind = Operand::Kind::kDouble;
      std::memcpy(&x.f, p + i, 8);
      i += 8;
    } else if (tag == SQLITE_NULL) {
      x.kind = Operand::Kind::kNull;
    } else if ((tag == SQLITE_BLOB || tag == SQLITE_TEXT) && i + 4 <= n) {
      uint32_t len = 0;
      std::memcpy(&len, p + i, 4);
      i += 4;
      if (i + len > n) break;
      if (tag == SQLITE_BLOB) {
        auto d = DecodeKey(std::string_view(reinterpret_cast<const char*>(p + i), len));
        if (!d) return Fail(ctx, 8114, "Error converting data type varbinary to numeric.");
        x.kind = Operand::Kind::kDecimal;
        x.d = *d;
      } else {
        auto d = Decimal::Parse(std::string_view(reinterpret_cast<const char*>(p + i), len));
        if (!d) return Fail(ctx, 8114, "Error converting data type varchar to numeric.");
        x.kind = Operand::Kind::kDecimal;
        x.d = *d;
      }
      i += len;
    } else {
      break;
    }
    if (!fold.Next(x)) return;
  }
  if (i != n) return sqlite3_result_error(ctx, "malformed chain pack", -1);
  fold.Result();
}

// t_fchk(x): the result of float arithmetic checked as the server checks it: a result beyond
// the range of a float is an overflow (8115), never an infinity.
void TFloatCheck(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) != SQLITE_FLOAT) return sqlite3_result_value(ctx, argv[0]);
  const double v = sqlite3_value_double(argv[0]);
  if (!std::isfinite(v)) return FailOverflow(ctx, "expression", "float");
  sqlite3_result_double(ctx, v);
}

}  // namespace

void RegisterChainFunctions(sqlite3* db) {
  Define(db, "t_fchk", 1, TFloatCheck);
  Define(db, "t_fold", -1, TFold);
  Define(db, "t_pack", -1, TPack);
  Define(db, "t_packs", -1, TPacks);
  Define(db, "t_foldp", 2, TFoldPacked);
}

}  // namespace morvesk::engine::sqlfn
