// Runtime grouping: a grouped query of a statement's own level is split into a step
// that reads the ungrouped rows, which the runtime folds into one row per group in a
// hash table, and the query itself, which then reads those few rows. SQLite groups by
// sorting every row first, and on a large period that sort is most of the statement.
#include <algorithm>

#include "engine/bind/binder.h"

namespace morvesk::engine::bind {
void Binder::NoteAggregate(const Scope& scope, char kind, const Fragment& arg,
                           const std::string& head, const std::string& tail) {
  if (aggregate_log_ == nullptr || aggregate_log_->scope != &scope) return;
  aggregate_log_->uses.push_back(AggregateUse{kind, arg.sql, arg.type, head, tail});
}

void Binder::NoteSubquery(const Scope& scope) {
  if (aggregate_log_ != nullptr && aggregate_log_->scope == &scope) ++aggregate_log_->subqueries;
}

bool Binder::HashGroup(const ast::SelectCore& core, std::vector<Fragment>& items,
                       std::optional<Fragment>& having, const AggregateLog& log, const Scope& scope,
                       std::string& body, size_t from_where_end) {
  // Subqueries in the select list or HAVING could read the source's other columns.
  if (core.group_by.empty() || log.uses.empty() || log.subqueries > 0) return false;
  for (const AggregateUse& u : log.uses)
    if (u.kind == '?') return false;
  // Every key a column of one and the same source, so that the groups' table can stand
  // in for that source under its alias and the select list reads its keys unchanged.
  const Source* source = nullptr;
  std::vector<const SourceColumn*> key_columns;
  for (const ast::ExprPtr& key : core.group_by) {
    const auto at = LocateColumn(*key, scope);
    if (!at || (source != nullptr && source != &scope.sources[at->first])) return false;
    source = &scope.sources[at->first];
    const SourceColumn* found = &source->columns[at->second];
    if (std::find(key_columns.begin(), key_columns.end(), found) == key_columns.end())
      key_columns.push_back(found);
  }
  const std::string& alias = source->sqlite_alias;

  // The partial aggregates: one column each, the same aggregate twice only once.
  std::vector<const AggregateUse*> slots;
  for (const AggregateUse& u : log.uses) {
    bool seen = false;
    for (const AggregateUse* s : slots) seen = seen || s->sql() == u.sql();
    if (!seen) slots.push_back(&u);
  }
  std::string columns, select, aggregates;
  for (const SourceColumn* c : key_columns) {
    columns += (columns.empty() ? "" : ", ") + c->sql + " " + StorageDecl(c->type);
    select += (select.empty() ? "" : ", ") + alias + "." + c->sql;
  }
  std::vector<std::pair<std::string, std::string>> finals;  // aggregate SQL -> over the groups
  for (size_t i = 0; i < slots.size(); ++i) {
    const AggregateUse& u = *slots[i];
    const std::string name = QuoteId("__a" + std::to_string(i + 1));
    const bool counts = u.kind == 'n' || u.kind == 'c' || u.kind == 's';
    columns += ", " + name + " " + (counts ? "INTEGER" : StorageDecl(u.arg_type));
    select += ", " + (u.kind == 'n' ? std::string("NULL") : u.arg_sql);
    aggregates += u.kind;
    // A group's partial is its whole aggregate: summed, counted or compared once more
    // over one row, it is that value again with the aggregate's own type and errors.
    const std::string partial = alias + "." + name;
    finals.emplace_back(u.sql(), u.kind == 'n' || u.kind == 'c' ? "sum(" + partial + ")"
                                                                : u.head + partial + u.tail);
  }
  // Longest first, so that no aggregate's text is replaced inside a longer one's.
  std::sort(finals.begin(), finals.end(),
            [](const auto& a, const auto& b) { return a.first.size() > b.first.size(); });
  for (Fragment& f : items)
    for (const auto& [from, to] : finals) ReplaceAll(f.sql, from, to);
  std::string having_sql;
  if (having) {
    for (const auto& [from, to] : finals) ReplaceAll(having->sql, from, to);
    having_sql = " HAVING " + having->sql;
  }

  const std::string from_where = body.substr(0, from_where_end);
  const std::string group_by = body.substr(from_where_end);
  const std::string definition = "(" + columns + ")";
  const std::string table =
      "temp." + QuoteId("__tsql_groups_" + std::to_string(pre_steps_.size() / 3 + 1) + "_" +
                        std::to_string(std::hash<std::string>{}(definition + select + from_where) %
                                       1000000007));
  std::string placeholders;
  for (size_t i = 0; i < key_columns.size() + slots.size(); ++i)
    placeholders += (i ? ", ?" : "?") + std::to_string(i + 1);
  // Made once per connection and emptied before each fill: the schema stays the same
  // from one run of the statement to the next.
  pre_steps_.push_back({"CREATE TABLE IF NOT EXISTS " + table + definition, false, {}});
  pre_steps_.push_back({"DELETE FROM " + table, false, {}});
  std::string read = JoinUnionAll(JoinArmByArm(core, scope, "SELECT " + select, from_where));
  if (read.empty()) read = "SELECT " + select + from_where;
  pre_steps_.push_back({std::move(read), true,
                        HashGrouping{static_cast<int>(key_columns.size()), aggregates,
                                     "INSERT INTO " + table + " VALUES(" + placeholders + ")"}});
  body = " FROM " + table + " AS " + alias + group_by + having_sql;
  return true;
}

}  // namespace morvesk::engine::bind
