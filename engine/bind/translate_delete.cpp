// DELETE [FROM] t [WHERE ...], and DELETE target FROM <sources> [WHERE ...]: the
// target rows are those whose rowid the join produces, each deleted once.
#include "engine/bind/translate_internal.h"

namespace morvesk::engine::bind {
namespace {

std::string Where(Binder& b, const ast::Expr& where, Scope& scope) {
  const int windows = b.windows();
  std::string sql = b.BindPredicate(where, scope).sql;
  b.RefuseWindowsSince(windows, where.line);
  return sql;
}

}  // namespace

Translation TranslateDelete(Binder& b, const ast::DeleteStmt& s) {
  Scope scope;
  std::string sql;
  if (s.from.empty() && !s.top) {
    const Source& src = scope.sources[BindSingleTarget(b, s.target, scope, s.line).source];
    sql = "DELETE FROM " + src.table->sqlite_name + " AS " + src.sqlite_alias;
    if (s.where) sql += " WHERE " + Where(b, *s.where, scope);
  } else {
    // DELETE TOP (n) takes the first n rowids the statement's rows name: any n of them.
    const DmlTarget target = s.from.empty() ? BindSingleTarget(b, s.target, scope, s.line)
                                            : BindDmlTarget(b, s.target, s.from, scope, s.line);
    const Source& src = scope.sources[target.source];
    sql = "DELETE FROM " + src.table->sqlite_name + " WHERE rowid IN (SELECT " + src.sqlite_alias +
          ".rowid FROM " + target.from_sql;
    if (s.where) sql += " WHERE " + Where(b, *s.where, scope);
    if (s.top) sql += DmlLimit(b, *s.top, scope);
    sql += ")";
  }
  Translation& t = b.out();
  t.steps.push_back(SqliteStep{sql, b.params()});
  t.counts_rows = true;
  return std::move(t);
}

}  // namespace morvesk::engine::bind
