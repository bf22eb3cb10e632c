// NULL handling: isnull, coalesce and nullif.
#include "engine/bind/bind_function_internal.h"

namespace morvesk::engine::bind {
namespace {

// isnull takes its first argument's type (the second's when the first is a bare NULL);
// the replacement is converted to it.
Fragment BindIsNull(BuiltinCall& c) {
  c.ArgcIs(2, 2);
  Fragment a = c.Arg(0), b = c.Arg(1);
  const TypeInfo t = a.null_literal ? b.type : a.type;
  Fragment bc = c.binder.Convert(std::move(b), t);
  // A column that is never NULL is its own result; SQLite would test it on every row.
  if (a.never_null && a.bare_columns.size() == 1 && a.sql == a.bare_columns[0]) {
    Fragment r = Derived(a.sql, t, {&a, &bc});
    r.nullable = false;
    return r;
  }
  Fragment r = Derived("ifnull(" + a.sql + ", " + bc.sql + ")", t, {&a, &bc});
  r.nullable = a.nullable && bc.nullable;
  r.null_literal = a.null_literal && bc.null_literal;
  return r;
}

// coalesce takes the type all its arguments unify to, as CASE does.
Fragment BindCoalesce(BuiltinCall& c) {
  c.ArgcAtLeast(2, 254);
  std::vector<Fragment> xs;
  TypeInfo t;
  for (size_t i = 0; i < c.argc(); ++i) {
    xs.push_back(c.Arg(i));
    if (!xs.back().null_literal) t = UnifyTypes(t, xs.back().type);
  }
  if (t.kind == TypeKind::kNull)
    Fail(4127,
         "At least one of the arguments to COALESCE must be an expression that is not the "
         "NULL constant.",
         c.line);
  std::string sql = "coalesce(";
  Fragment r = Derived("", t, {});
  r.nullable = true;
  bool all_nullable = true;
  for (size_t i = 0; i < xs.size(); ++i) {
    Fragment x = c.binder.Convert(std::move(xs[i]), t);
    sql += (i ? ", " : "") + x.sql;
    all_nullable = all_nullable && x.nullable;
    Absorb(r, x);
  }
  r.sql = sql + ")";
  r.nullable = all_nullable;
  return r;
}

// nullif compares as = compares; its first argument is bound twice, once for the result.
Fragment BindNullIf(BuiltinCall& c) {
  c.ArgcIs(2, 2);
  Fragment a = c.Arg(0);
  Fragment eq = c.binder.Compare(c.Arg(0), ast::CompareOp::kEq, c.Arg(1), c.line);
  Fragment r =
      Derived("(CASE WHEN " + eq.sql + " THEN NULL ELSE " + a.sql + " END)", a.type, {&a, &eq});
  r.nullable = true;
  return r;
}

constexpr Builtin kNullFunctions[] = {
    {"isnull", BindIsNull},
    {"coalesce", BindCoalesce},
    {"nullif", BindNullIf},
};

}  // namespace

std::span<const Builtin> NullBuiltins() { return kNullFunctions; }

}  // namespace morvesk::engine::bind
