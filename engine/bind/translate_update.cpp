// UPDATE t SET ... [WHERE ...], and UPDATE target SET ... FROM <sources> [WHERE ...]
// where the target is an alias of FROM, the one instance of the table in FROM, or a
// table FROM does not name. The FROM form computes the target's rowid and the new
// values in one SELECT over the sources and applies them with SQLite's UPDATE ...
// FROM; each target row is updated once, from one of its matches.
#include <algorithm>
#include <set>

#include "engine/bind/translate_internal.h"

namespace morvesk::engine::bind {

DmlTarget BindSingleTarget(Binder& b, const ast::Name& target, Scope& scope, int line) {
  scope.sources.push_back(b.SourceForTable(target, "", line));
  const Source& src = scope.sources.back();
  if (src.table->is_view) NotSupported("Updating or deleting through a view", line);
  return DmlTarget{src.table->sqlite_name + " AS " + src.sqlite_alias, scope.sources.size() - 1};
}

std::string DmlLimit(Binder& b, const ast::Expr& top, Scope& scope) {
  return " LIMIT " + TopCount(b.Convert(b.BindExpr(top, scope), TypeInfo::Of(TypeKind::kBigInt)));
}

DmlTarget BindDmlTarget(Binder& b, const ast::Name& target,
                        const std::vector<ast::TableRefPtr>& from, Scope& scope, int line) {
  DmlTarget t;
  t.from_sql = b.BindFrom(from, scope);
  const std::string target_name = JoinName(target);
  std::vector<size_t> hits;
  if (target.size() == 1) {
    for (size_t i = 0; i < scope.sources.size(); ++i)
      if (scope.sources[i].has_alias && EqualsNoCase(scope.sources[i].alias, target[0]))
        hits.push_back(i);
  }
  if (hits.empty()) {
    std::optional<TableInfo> table = b.ctx().catalog.FindTable(target_name);
    if (!table) Fail(208, "Invalid object name '" + target_name + "'.", line);
    std::vector<size_t> unaliased;
    for (size_t i = 0; i < scope.sources.size(); ++i) {
      const Source& s = scope.sources[i];
      if (s.table && s.table->sqlite_name == table->sqlite_name) {
        hits.push_back(i);
        if (!s.has_alias) unaliased.push_back(i);
      }
    }
    if (hits.size() > 1) {
      if (unaliased.size() != 1) Fail(8154, "The table '" + target_name + "' is ambiguous.", line);
      hits = unaliased;
    }
    if (hits.empty()) {
      Source s = b.SourceForTable(target, "", line);
      t.from_sql +=
          (t.from_sql.empty() ? "" : ", ") + s.table->sqlite_name + " AS " + s.sqlite_alias;
      scope.sources.push_back(std::move(s));
      hits.push_back(scope.sources.size() - 1);
    }
  } else if (hits.size() > 1) {
    Fail(8154, "The table '" + target_name + "' is ambiguous.", line);
  }
  t.source = hits[0];
  const Source& s = scope.sources[t.source];
  if (!s.table) NotSupported("Updating or deleting through a derived table", line);
  if (s.table->is_view) NotSupported("Updating or deleting through a view", line);
  return t;
}

namespace {

// Adds to `keyed` the columns of source `other` that `on` equates with columns of source
// `target`; false when `on` is anything but such equalities joined by AND.
bool EquatedColumns(const ast::Expr& on, const Scope& scope, size_t target, size_t other,
                    std::set<size_t>& keyed) {
  if (on.kind == ast::ExprKind::kLogical) {
    // Along the chain's left links by a loop: the AND chain may be long.
    const ast::Expr* node = &on;
    while (node->kind == ast::ExprKind::kLogical) {
      const auto& l = node->As<ast::LogicalExpr>();
      if (l.op != ast::LogicalOp::kAnd || !EquatedColumns(*l.right, scope, target, other, keyed))
        return false;
      node = l.left.get();
    }
    return EquatedColumns(*node, scope, target, other, keyed);
  }
  if (on.kind != ast::ExprKind::kCompare) return false;
  const auto& c = on.As<ast::CompareExpr>();
  if (c.op != ast::CompareOp::kEq) return false;
  auto l = LocateColumn(*c.left, scope), r = LocateColumn(*c.right, scope);
  if (!l || !r) return false;
  if (l->first == target) std::swap(l, r);
  if (l->first != other || r->first != target) return false;
  keyed.insert(l->second);
  return true;
}

// " FROM <grouped table> WHERE <join>" when UPDATE ... FROM joins the target, and only
// the target, to a grouped table materialised for the statement, on equalities that
// cover the grouping key; empty otherwise.
std::string ByGroupLookup(Binder& b, const ast::UpdateStmt& s, Scope& scope, size_t target) {
  if (s.where || s.from.size() != 1 || s.from[0]->kind != ast::TableRefKind::kJoin ||
      scope.sources.size() != 2)
    return "";
  const auto& join = s.from[0]->As<ast::JoinRef>();
  if (join.type != ast::JoinType::kInner || !join.on) return "";
  const size_t other = 1 - target;
  const Source& groups = scope.sources[other];
  if (groups.key_columns.empty() || groups.filled_table.empty()) return "";
  std::set<size_t> keyed;
  if (!EquatedColumns(*join.on, scope, target, other, keyed)) return "";
  for (size_t k : groups.key_columns)
    if (!keyed.count(k)) return "";
  // Looked up by its key through an index of its own: SQLite may otherwise scan it for
  // every row, once it thinks the table too small for an automatic index. The index
  // carries the other columns too, so that a look-up reads the index alone.
  std::string columns;
  for (size_t k : groups.key_columns)
    columns += (columns.empty() ? "" : ", ") + groups.columns[k].sql;
  for (size_t i = 0; i < groups.columns.size(); ++i)
    if (std::find(groups.key_columns.begin(), groups.key_columns.end(), i) ==
        groups.key_columns.end())
      columns += ", " + groups.columns[i].sql;
  b.AddPreStep("CREATE INDEX temp." + QuoteId(groups.filled_table + "$key") + " ON " +
               QuoteId(groups.filled_table) + "(" + columns + ")");
  return " FROM " + groups.sql + " WHERE " + b.BindPredicate(*join.on, scope).sql;
}

}  // namespace

Translation TranslateUpdate(Binder& b, const ast::UpdateStmt& s) {
  Scope scope;
  const DmlTarget target = s.from.empty() ? BindSingleTarget(b, s.target, scope, s.line)
                                          : BindDmlTarget(b, s.target, s.from, scope, s.line);
  const Source tsrc = scope.sources[target.source];
  const TableInfo& table = *tsrc.table;

  struct Assignment {
    const ColumnInfo* column;
    Fragment value;
    bool is_default = false;
  };
  std::vector<Assignment> sets;
  std::set<std::string> seen;
  for (const ast::SetClause& sc : s.sets) {
    if (!sc.variable.empty()) NotSupported("Assigning a variable in UPDATE ... SET", sc.line);
    const std::string& name = sc.column_name.back();
    if (sc.column_name.size() > 1) {
      const std::string& q = sc.column_name[sc.column_name.size() - 2];
      if (!EqualsNoCase(q, tsrc.alias) && !EqualsNoCase(q, s.target.back()))
        Fail(4104,
             "The multi-part identifier \"" + JoinName(sc.column_name) + "\" could not be bound.",
             sc.line);
    }
    const ColumnInfo* c = table.Find(name);
    if (c == nullptr) Fail(207, "Invalid column name '" + name + "'.", sc.line);
    if (c->identity) Fail(8102, "Cannot update identity column '" + c->name + "'.", sc.line);
    if (!seen.insert(AsciiLower(c->name)).second)
      Fail(264,
           "The column name '" + c->name +
               "' is specified more than once in the SET clause "
               "or column list of an INSERT. A column cannot be assigned more than one value in "
               "the same clause. Modify the clause to make sure that a column is updated only "
               "once. If this statement updates or inserts columns into a view, column aliasing "
               "can conceal the duplication in your code.",
           sc.line);
    Assignment a{c, {}, false};
    if (sc.value->kind == ast::ExprKind::kDefault) {
      a.is_default = true;
      a.value.sql = c->has_default ? c->default_sql : "NULL";
      a.value.type = c->type;
    } else {
      const int windows = b.windows();
      a.value = b.BindExpr(*sc.value, scope);
      b.RefuseWindowsSince(windows, sc.line);
      if (a.value.predicate)
        Fail(102, "Incorrect syntax near '" + ast::ToSql(*sc.value) + "'.", sc.line, 15);
      if (a.value.aggregate)
        Fail(157, "An aggregate may not appear in the set list of an UPDATE statement.", sc.line);
    }
    sets.push_back(std::move(a));
  }
  std::string where;
  if (s.where) {
    const int windows = b.windows();
    Fragment w = b.BindPredicate(*s.where, scope);
    b.RefuseWindowsSince(windows, s.where->line);
    if (w.aggregate)
      Fail(147,
           "An aggregate may not appear in the WHERE clause unless it is in a subquery "
           "contained in a HAVING clause or a select list, and the column being aggregated "
           "is an outer reference.",
           s.where->line);
    where = " WHERE " + w.sql;
  }

  std::string sql;
  std::string lookup;
  if (s.from.empty() && !s.top) {
    sql = "UPDATE " + table.sqlite_name + " AS " + tsrc.sqlite_alias + " SET ";
    for (size_t i = 0; i < sets.size(); ++i) {
      Assignment& a = sets[i];
      std::string v = a.is_default ? a.value.sql : b.ConvertForStore(a.value, a.column->type).sql;
      sql += (i ? ", " : "") + QuoteId(a.column->name) + " = " + v;
    }
    sql += where;
  } else if (!s.top && !(lookup = ByGroupLookup(b, s, scope, target.source)).empty()) {
    // The target joined to a grouped table on that table's whole grouping key: each row
    // has at most one match, found by one look-up in the grouped table's key index while
    // the target is scanned in its own order (not through an index of the target, which
    // would reach its rows out of order and, keyed on part of the key, several at a
    // time); rows without a match are not touched and not counted.
    std::string assign;
    for (size_t i = 0; i < sets.size(); ++i) {
      Assignment& a = sets[i];
      assign += (i ? ", " : "") + QuoteId(a.column->name) + " = " +
                (a.is_default ? a.value.sql : b.ConvertForStore(a.value, a.column->type).sql);
    }
    sql = "UPDATE " + table.sqlite_name + " AS " + tsrc.sqlite_alias + " NOT INDEXED SET " +
          assign + lookup;
  } else {
    std::string inner = "SELECT " + tsrc.sqlite_alias + ".rowid AS rid";
    std::string assign;
    for (size_t i = 0; i < sets.size(); ++i) {
      Assignment& a = sets[i];
      const std::string v = "v" + std::to_string(i + 1);
      std::string value;
      if (a.is_default) {
        value = a.value.sql;
      } else {
        inner += ", " + a.value.sql + " AS " + QuoteId(v);
        Fragment ref;
        ref.sql = "src." + QuoteId(v);
        ref.type = a.value.type;
        ref.null_literal = a.value.null_literal;
        value = b.ConvertForStore(ref, a.column->type).sql;
      }
      assign += (i ? ", " : "") + QuoteId(a.column->name) + " = " + value;
    }
    // UPDATE TOP (n): the first n rows the statement's rows name, any n of them.
    inner += " FROM " + target.from_sql + where + (s.top ? DmlLimit(b, *s.top, scope) : "");
    const std::string u = b.NewAlias();
    sql = "UPDATE " + table.sqlite_name + " AS " + u + " SET " + assign + " FROM (" + inner +
          ") AS src WHERE " + u + ".rowid = src.rid";
  }
  Translation& t = b.out();
  t.steps.push_back(SqliteStep{sql, b.params()});
  t.counts_rows = true;
  return std::move(t);
}

}  // namespace morvesk::engine::bind
