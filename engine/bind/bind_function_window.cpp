// Ranking functions: row_number, rank, dense_rank and ntile over an OVER clause, as
// SQLite's own window functions, text keys compared under the TSQL collation. Aggregates
// over a window and window frames are not offered.
#include "engine/bind/bind_function_internal.h"

namespace morvesk::engine::bind {

Fragment BindWindowCall(BuiltinCall& c) {
  const ast::OverClause& over = *c.call.over;
  static constexpr std::string_view kAggregates[] = {"sum", "count", "count_big",
                                                     "avg", "min",   "max"};
  for (std::string_view a : kAggregates)
    if (c.name == a) NotSupported("Aggregate window functions (" + c.name + " OVER)", c.line);
  if (c.name != "row_number" && c.name != "rank" && c.name != "dense_rank" && c.name != "ntile")
    Fail(4109,
         "The function '" + c.name +
             "' is not a valid windowing function, and cannot be "
             "used with the OVER clause.",
         c.line);
  if (over.order_by.empty())
    Fail(4112, "The function '" + c.name + "' must have an OVER clause with ORDER BY.", c.line);
  std::vector<Fragment> parts;
  std::string args;
  if (c.name == "ntile") {
    c.ArgcIs(1, 1);
    parts.push_back(c.binder.Convert(c.Arg(0), TypeInfo::Of(TypeKind::kBigInt)));
    args = "CASE WHEN " + parts.back().sql + " > 0 THEN " + parts.back().sql +
           " ELSE t_raise(4111, 16, 'The function ''ntile'' takes only positive int or bigint "
           "expressions as its input.') END";
  } else {
    c.ArgcIs(0, 0);
  }
  auto key = [&](const ast::Expr& e) {
    Fragment k = c.binder.BindExpr(e, c.scope);
    if (k.predicate) Fail(4145, "A condition cannot be used as a window key.", c.line);
    std::string sql = k.sql + (k.type.IsText() ? " COLLATE TSQL" : "");
    parts.push_back(std::move(k));
    return sql;
  };
  std::string window;
  for (const ast::ExprPtr& e : over.partition_by)
    window += (window.empty() ? "PARTITION BY " : ", ") + key(*e);
  for (size_t i = 0; i < over.order_by.size(); ++i) {
    window += (i == 0 ? (window.empty() ? "ORDER BY " : " ORDER BY ") : ", ") +
              key(*over.order_by[i].expr) + (over.order_by[i].descending ? " DESC" : "");
  }
  std::vector<const Fragment*> from;
  for (const Fragment& p : parts) from.push_back(&p);
  Fragment r = Derived(c.name + "(" + args + ") OVER (" + window + ")",
                       TypeInfo::Of(TypeKind::kBigInt), from);
  r.nullable = false;
  c.binder.NoteWindow();
  return r;
}

}  // namespace morvesk::engine::bind
