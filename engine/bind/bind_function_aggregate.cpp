// Aggregates: count, count_big, sum, avg, min and max. Each notes itself for runtime
// grouping (Binder::NoteAggregate) with the partial aggregate that can stand for it.
#include "engine/bind/bind_function_internal.h"

namespace morvesk::engine::bind {
namespace {

// An aggregate over `a`: always nullable, and never over another aggregate.
Fragment Aggregate(const BuiltinCall& c, const Fragment& a, std::string sql, TypeInfo t) {
  if (a.aggregate)
    Fail(130,
         "Cannot perform an aggregate function on an expression containing an aggregate "
         "or a subquery.",
         c.line);
  Fragment r = Derived(std::move(sql), t, {});
  r.aggregate = true;
  r.nullable = true;
  return r;
}

Fragment BindCount(BuiltinCall& c) {
  const TypeInfo t = TypeInfo::Of(c.name == "count" ? TypeKind::kInt : TypeKind::kBigInt);
  if (c.call.star) {
    Fragment r = Aggregate(c, Fragment{}, "count(*)", t);
    r.nullable = false;
    c.binder.NoteAggregate(c.scope, r.sql, 'n', Fragment{});
    return r;
  }
  c.ArgcIs(1, 1);
  Fragment a = c.Arg(0);
  Fragment r = Aggregate(c, a,
                         "count(" + c.Distinct() + a.sql +
                             (a.type.IsText() && c.call.distinct ? " COLLATE TSQL" : "") + ")",
                         t);
  r.nullable = false;
  c.binder.NoteAggregate(c.scope, r.sql, c.call.distinct ? '?' : 'c', a);
  return r;
}

// sum and avg take numbers only; a text parameter counts as int, as the server types it.
Fragment NumericAggregateArg(BuiltinCall& c) {
  c.ArgcIs(1, 1);
  Fragment a = c.Arg(0);
  if (a.null_literal)
    Fail(8117, "Operand data type NULL is invalid for " + c.name + " operator.", c.line);
  if (a.type.IsText() && a.param >= 0)
    a = c.binder.Convert(std::move(a), TypeInfo::Of(TypeKind::kInt));
  if (!a.type.IsNumeric())
    Fail(8117,
         "Operand data type " + a.type.ToString() + " is invalid for " + c.name + " operator.",
         c.line);
  return a;
}

Fragment BindSum(BuiltinCall& c) {
  Fragment a = NumericAggregateArg(c);
  const std::string distinct = c.Distinct();
  const TypeInfo t = SumResultType(a.type);
  Fragment r;
  char kind = '?';
  if (a.type.kind == TypeKind::kMoney) {  // the sum is money and may not leave its range
    r = Aggregate(
        c, a, "t_mchk(t_dsum(" + distinct + a.sql + "), " + std::to_string(t.precision) + ")", t);
  } else if (a.type.kind == TypeKind::kDecimal) {
    r = Aggregate(c, a, "t_dsum(" + distinct + a.sql + ")", t);
    kind = 'd';
  } else if (t.kind == TypeKind::kInt) {  // a sum beyond int is an overflow, not a bigint
    r = Aggregate(c, a, "t_ichk(sum(" + distinct + a.sql + "), 2)", t);
    kind = 's';
  } else {
    r = Aggregate(c, a, "sum(" + distinct + a.sql + ")", t);
    if (a.type.IsInteger()) kind = 's';
  }
  c.binder.NoteAggregate(c.scope, r.sql, c.call.distinct ? '?' : kind, a);
  return r;
}

Fragment BindAvg(BuiltinCall& c) {
  Fragment a = NumericAggregateArg(c);
  const std::string distinct = c.Distinct();
  c.binder.NoteAggregate(c.scope, "", '?', a);
  const TypeInfo t = AvgResultType(a.type);
  const bool exact = a.type.kind == TypeKind::kDecimal || a.type.kind == TypeKind::kMoney;
  if (exact && c.call.distinct)
    return Aggregate(c, a, "t_davg_" + std::to_string(t.scale) + "(DISTINCT " + a.sql + ")", t);
  if (exact) return Aggregate(c, a, "t_davg(" + a.sql + ", " + std::to_string(t.scale) + ")", t);
  if (a.type.IsInteger())
    return Aggregate(c, a, "t_idiv(sum(" + distinct + a.sql + "), count(" + distinct + a.sql + "))",
                     t);
  return Aggregate(c, a, "avg(" + distinct + a.sql + ")", t);
}

// Text compares in the TSQL collation, as the column's own comparisons do.
Fragment BindMinMax(BuiltinCall& c) {
  c.ArgcIs(1, 1);
  Fragment a = c.Arg(0);
  Fragment r = Aggregate(
      c, a, c.name + "(" + c.Distinct() + a.sql + (a.type.IsText() ? " COLLATE TSQL" : "") + ")",
      a.type);
  c.binder.NoteAggregate(c.scope, r.sql, c.name == "min" ? 'm' : 'M', a);
  return r;
}

constexpr Builtin kAggregates[] = {
    {"count", BindCount}, {"count_big", BindCount}, {"sum", BindSum},
    {"avg", BindAvg},     {"max", BindMinMax},      {"min", BindMinMax},
};

}  // namespace

std::span<const Builtin> AggregateBuiltins() { return kAggregates; }

}  // namespace morvesk::engine::bind
