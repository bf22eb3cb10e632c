// Numbers: round, abs, sign, floor and ceiling. Decimal and money go through the
// t_d* functions, which keep the exact value; integers and floats use SQLite's own
// arithmetic. The float functions (sqrt, square, exp, log, log10, pi, power) use SQLite's
// math library; an argument outside a function's domain is the server's error 3623.
#include "engine/bind/bind_function_internal.h"

namespace morvesk::engine::bind {
namespace {

Fragment BindRound(BuiltinCall& c) {
  c.ArgcIs(2, 3);
  Fragment x = c.Arg(0);
  Fragment n = c.IntArg(1);
  Fragment fl = c.argc() > 2 ? c.IntArg(2) : Derived("0", TypeInfo::Of(TypeKind::kInt), {});
  if (x.type.IsText()) x = c.binder.Convert(std::move(x), TypeInfo::Of(TypeKind::kFloat));
  if (x.type.kind == TypeKind::kDecimal || x.type.kind == TypeKind::kMoney) {
    const TypeInfo d = x.int_literal_digits > 0 ? c.binder.DecimalTypeOf(x) : AsDecimalType(x.type);
    return Derived("t_dround(" + x.sql + ", " + n.sql + ", " + fl.sql + ", " +
                       std::to_string(d.precision) + ", " + std::to_string(d.scale) + ")",
                   x.type, {&x, &n, &fl});
  }
  if (x.type.IsInteger())
    return Derived("CAST(t_fround(" + x.sql + ", " + n.sql + ", " + fl.sql + ") AS INTEGER)",
                   x.type, {&x, &n, &fl});
  if (x.type.IsApprox() || x.null_literal)
    return Derived("t_fround(" + x.sql + ", " + n.sql + ", " + fl.sql + ")",
                   x.null_literal ? TypeInfo::Of(TypeKind::kFloat) : x.type, {&x, &n, &fl});
  Fail(8117, "Operand data type " + x.type.ToString() + " is invalid for round function.", c.line);
}

// abs, sign, floor and ceiling keep their argument's type, except that floor and
// ceiling of a decimal have no fraction digits left.
Fragment BindUnaryNumeric(BuiltinCall& c) {
  c.ArgcIs(1, 1);
  const std::string& name = c.name;
  Fragment x = c.Arg(0);
  if (x.type.IsText()) x = c.binder.Convert(std::move(x), TypeInfo::Of(TypeKind::kFloat));
  if (x.type.kind == TypeKind::kDecimal || x.type.kind == TypeKind::kMoney) {
    TypeInfo t = x.type;
    if (name == "floor" || name == "ceiling") t = TypeInfo::Decimal(t.precision, 0);
    const std::string fn = name == "abs"     ? "t_dabs"
                           : name == "sign"  ? "t_dsign"
                           : name == "floor" ? "t_dfloor"
                                             : "t_dceiling";
    return Derived(fn + "(" + x.sql + ")", t, {&x});
  }
  if (!x.type.IsNumeric() && !x.null_literal)
    Fail(8117, "Operand data type " + x.type.ToString() + " is invalid for " + name + " function.",
         c.line);
  const std::string v = x.sql;
  std::string sql;
  if (name == "abs")
    sql = "abs(" + v + ")";
  else if (name == "sign")
    sql = "((" + v + " > 0) - (" + v + " < 0))";
  else if (x.type.IsInteger())
    sql = v;
  else if (name == "floor")
    sql = "(CAST(" + v + " AS INTEGER) - (" + v + " < CAST(" + v + " AS INTEGER)))";
  else
    sql = "(CAST(" + v + " AS INTEGER) + (" + v + " > CAST(" + v + " AS INTEGER)))";
  if (x.type.IsApprox() && name != "abs") sql = "CAST(" + sql + " AS REAL)";
  return Derived(sql, x.type, {&x});
}

const char kInvalidFloat[] = "t_raise(3623, 16, 'An invalid floating point operation occurred.')";

Fragment FloatArg(BuiltinCall& c, size_t i) {
  Fragment x = c.Arg(i);
  if (!x.type.IsNumeric() && !x.type.IsText() && !x.null_literal)
    Fail(8117,
         "Operand data type " + x.type.ToString() + " is invalid for " + c.name + " function.",
         c.line);
  return c.binder.Convert(std::move(x), TypeInfo::Of(TypeKind::kFloat));
}

// sqrt, square, exp, log and log10 of one float; log may take a base as well.
Fragment BindFloatFunction(BuiltinCall& c) {
  c.ArgcIs(1, c.name == "log" ? 2 : 1);
  Fragment x = FloatArg(c, 0);
  const std::string v = x.sql;
  std::string sql;
  if (c.name == "sqrt") {
    sql = "CASE WHEN " + v + " < 0 THEN " + kInvalidFloat + " ELSE sqrt(" + v + ") END";
  } else if (c.name == "square") {
    sql = "(" + v + ") * (" + v + ")";
  } else if (c.name == "exp") {
    sql = "exp(" + v + ")";
  } else {
    const std::string fn = c.name == "log10" ? "t_log10" : "ln";
    sql = "CASE WHEN " + v + " <= 0 THEN " + kInvalidFloat + " ELSE " + fn + "(" + v + ") END";
  }
  std::vector<const Fragment*> parts{&x};
  Fragment base;
  if (c.argc() == 2) {
    base = FloatArg(c, 1);
    sql = "CASE WHEN " + base.sql + " <= 0 OR " + base.sql + " = 1 THEN " + kInvalidFloat +
          " ELSE (" + sql + ") / ln(" + base.sql + ") END";
    parts.push_back(&base);
  }
  Fragment r = Derived("CAST(" + sql + " AS REAL)", TypeInfo::Of(TypeKind::kFloat), parts);
  r.nullable = x.nullable || base.nullable;
  return r;
}

Fragment BindPi(BuiltinCall& c) {
  c.ArgcIs(0, 0);
  return Derived("pi()", TypeInfo::Of(TypeKind::kFloat), {});
}

// power(x, y) is computed in float and given x's type: int for the smaller integers,
// decimal(38, s) for a decimal of scale s (rounded), an integer cut toward zero.
Fragment BindPower(BuiltinCall& c) {
  c.ArgcIs(2, 2);
  Fragment x = c.Arg(0);
  TypeInfo t = x.type;
  if (x.null_literal || t.IsText() || t.IsApprox())
    t = TypeInfo::Of(TypeKind::kFloat);
  else if (t.kind == TypeKind::kDecimal)
    t = TypeInfo::Decimal(38, t.scale);
  else if (t.IsInteger() && t.kind != TypeKind::kBigInt)
    t = TypeInfo::Of(TypeKind::kInt);
  else if (!t.IsNumeric())
    Fail(8117, "Operand data type " + t.ToString() + " is invalid for power function.", c.line);
  Fragment fx = c.binder.Convert(std::move(x), TypeInfo::Of(TypeKind::kFloat));
  Fragment y = FloatArg(c, 1);
  std::string sql = "CASE WHEN " + fx.sql + " < 0 AND " + y.sql + " <> CAST(CAST(" + y.sql +
                    " AS INTEGER) AS REAL) THEN " + kInvalidFloat + " ELSE pow(" + fx.sql + ", " +
                    y.sql + ") END";
  Fragment r = Derived("CAST(" + sql + " AS REAL)", TypeInfo::Of(TypeKind::kFloat), {&fx, &y});
  r.nullable = fx.nullable || y.nullable;
  return t.kind == TypeKind::kFloat ? r : c.binder.Convert(std::move(r), t);
}

constexpr Builtin kMath[] = {
    {"round", BindRound},
    {"abs", BindUnaryNumeric},
    {"sign", BindUnaryNumeric},
    {"floor", BindUnaryNumeric},
    {"ceiling", BindUnaryNumeric},
    {"sqrt", BindFloatFunction},
    {"square", BindFloatFunction},
    {"exp", BindFloatFunction},
    {"log", BindFloatFunction},
    {"log10", BindFloatFunction},
    {"pi", BindPi},
    {"power", BindPower},
};

}  // namespace

std::span<const Builtin> MathBuiltins() { return kMath; }

}  // namespace morvesk::engine::bind
