// Aggregates: count, count_big, sum, avg, min and max. Each notes itself for runtime
// grouping (Binder::NoteAggregate) with the partial aggregate that can stand for it.
#include "engine/bind/bind_function_internal.h"

namespace morvesk::engine::bind {
namespace {

// The aggregate head + a + tail: always nullable, and never over another aggregate.
// It is noted for runtime grouping with its partial's letter `kind`.
Fragment Aggregate(BuiltinCall& c, const Fragment& a, const std::string& head,
                   const std::string& tail, TypeInfo t, char kind) {
  if (a.aggregate)
    Fail(130,
         "Cannot perform an aggregate function on an expression containing an aggregate "
         "or a subquery.",
         c.line);
  Fragment r = Derived(head + a.sql + tail, t, {});
  r.aggregate = true;
  r.nullable = true;
  c.binder.NoteAggregate(c.scope, c.call.distinct ? '?' : kind, a, head, tail);
  return r;
}

Fragment BindCount(BuiltinCall& c) {
  const TypeInfo t = TypeInfo::Of(c.name == "count" ? TypeKind::kInt : TypeKind::kBigInt);
  if (c.call.star) {
    Fragment r = Aggregate(c, Fragment{}, "count(*)", "", t, 'n');
    r.nullable = false;
    return r;
  }
  c.ArgcIs(1, 1);
  Fragment a = c.Arg(0);
  Fragment r = Aggregate(
      c, a, "count(" + c.Distinct(),
      std::string(a.type.IsText() && c.call.distinct ? " COLLATE TSQL" : "") + ")", t, 'c');
  r.nullable = false;
  return r;
}

// sum and avg take numbers only; a text variable or constant is read as int first.
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
  if (a.type.kind == TypeKind::kMoney)  // the sum is money and may not leave its range
    return Aggregate(c, a, "t_mchk(t_dsum(" + distinct, "), " + std::to_string(t.precision) + ")",
                     t, '?');
  if (a.type.kind == TypeKind::kDecimal) return Aggregate(c, a, "t_dsum(" + distinct, ")", t, 'd');
  if (t.kind == TypeKind::kInt)  // a sum beyond int is an overflow, not a bigint
    return Aggregate(c, a, "t_ichk(sum(" + distinct, "), 2)", t, 's');
  return Aggregate(c, a, "sum(" + distinct, ")", t, a.type.IsInteger() ? 's' : '?');
}

Fragment BindAvg(BuiltinCall& c) {
  Fragment a = NumericAggregateArg(c);
  const std::string distinct = c.Distinct();
  const TypeInfo t = AvgResultType(a.type);
  const bool exact = a.type.kind == TypeKind::kDecimal || a.type.kind == TypeKind::kMoney;
  // No partial stands for an average: the runtime does not group it.
  if (exact && c.call.distinct)
    return Aggregate(c, a, "t_davg_" + std::to_string(t.scale) + "(DISTINCT ", ")", t, '?');
  if (exact) return Aggregate(c, a, "t_davg(", ", " + std::to_string(t.scale) + ")", t, '?');
  if (a.type.IsInteger())
    return Aggregate(c, a, "t_idiv(sum(" + distinct, "), count(" + distinct + a.sql + "))", t, '?');
  return Aggregate(c, a, "avg(" + distinct, ")", t, '?');
}

// Text compares in the TSQL collation, as the column's own comparisons do.
Fragment BindMinMax(BuiltinCall& c) {
  c.ArgcIs(1, 1);
  Fragment a = c.Arg(0);
  return Aggregate(c, a, c.name + "(" + c.Distinct(),
                   std::string(a.type.IsText() ? " COLLATE TSQL" : "") + ")", a.type,
                   c.name == "min" ? 'm' : 'M');
}

constexpr Builtin kAggregates[] = {
    {"count", BindCount}, {"count_big", BindCount}, {"sum", BindSum},
    {"avg", BindAvg},     {"max", BindMinMax},      {"min", BindMinMax},
};

}  // namespace

std::span<const Builtin> AggregateBuiltins() { return kAggregates; }

}  // namespace morvesk::engine::bind
