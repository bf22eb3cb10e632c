// Numbers: round, abs, sign, floor and ceiling. Decimal and money go through the
// t_d* functions, which keep the exact value; integers and floats use SQLite's own
// arithmetic.
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

constexpr Builtin kMath[] = {
    {"round", BindRound},        {"abs", BindUnaryNumeric},     {"sign", BindUnaryNumeric},
    {"floor", BindUnaryNumeric}, {"ceiling", BindUnaryNumeric},
};

}  // namespace

std::span<const Builtin> MathBuiltins() { return kMath; }

}  // namespace morvesk::engine::bind
