// DELETE [FROM] t [WHERE ...], and DELETE target FROM <sources> [WHERE ...]: the
// target rows are those whose rowid the join produces, each deleted once.
#include "engine/bind/translate_internal.h"

namespace morvesk::engine::bind {

Translation TranslateDelete(Binder& b, const ast::DeleteStmt& s) {
  Scope scope;
  std::string sql;
  if (s.from.empty()) {
    scope.sources.push_back(b.SourceForTable(s.target, "", s.line));
    const Source& src = scope.sources[0];
    if (src.table->is_view) NotSupported("Updating or deleting through a view", s.line);
    sql = "DELETE FROM " + src.table->sqlite_name + " AS " + src.sqlite_alias;
    if (s.where) sql += " WHERE " + b.BindPredicate(*s.where, scope).sql;
  } else {
    DmlTarget target = BindDmlTarget(b, s.target, s.from, scope, s.line);
    const Source& src = scope.sources[target.source];
    sql = "DELETE FROM " + src.table->sqlite_name + " WHERE rowid IN (SELECT " + src.sqlite_alias +
          ".rowid FROM " + target.from_sql;
    if (s.where) sql += " WHERE " + b.BindPredicate(*s.where, scope).sql;
    sql += ")";
  }
  Translation& t = b.out();
  t.steps.push_back(SqliteStep{sql, b.params()});
  t.counts_rows = true;
  return std::move(t);
}

}  // namespace morvesk::engine::bind
