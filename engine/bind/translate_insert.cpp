// INSERT [INTO] t [(columns)] SELECT ... | VALUES (...) | DEFAULT VALUES: values
// converted to the column types as storing does (decimals rounded to the column's
// scale, text longer than the column is error 8152); identity columns are left to
// the table.
#include <set>

#include "engine/bind/translate_internal.h"

namespace morvesk::engine::bind {

Translation TranslateInsert(Binder& b, const ast::InsertStmt& s) {
  const std::string target_name = JoinName(s.target);
  std::optional<TableInfo> table = b.ctx().catalog.FindTable(target_name);
  if (!table) Fail(208, "Invalid object name '" + target_name + "'.", s.line);
  if (table->is_view) NotSupported("INSERT into a view", s.line);

  std::vector<const ColumnInfo*> cols;
  if (s.columns.empty()) {
    for (const ColumnInfo& c : table->columns)
      if (!c.identity) cols.push_back(&c);
  } else {
    std::set<std::string> seen;
    for (const std::string& name : s.columns) {
      const ColumnInfo* c = table->Find(name);
      if (c == nullptr) Fail(207, "Invalid column name '" + name + "'.", s.line);
      if (!seen.insert(AsciiLower(c->name)).second)
        Fail(264, "The column name '" + c->name + "' is specified more than once in the SET "
                  "clause or column list of an INSERT. A column cannot be assigned more than one "
                  "value in the same clause. Modify the clause to make sure that a column is "
                  "updated only once. If this statement updates or inserts columns into a view, "
                  "column aliasing can conceal the duplication in your code.",
             s.line);
      if (c->identity)
        Fail(8101, "An explicit value for the identity column in table '" + target_name +
                       "' can only be specified when a column list is used and IDENTITY_INSERT "
                       "is ON.",
             s.line);
      cols.push_back(c);
    }
  }
  std::string col_list;
  for (const ColumnInfo* c : cols) col_list += (col_list.empty() ? "" : ", ") + QuoteId(c->name);
  std::string sql = "INSERT INTO " + table->sqlite_name;

  auto count_mismatch = [&](size_t values) {
    if (values == cols.size()) return;
    if (s.columns.empty())
      Fail(213, "Column name or number of supplied values does not match table definition.",
           s.line);
    if (s.source == ast::InsertStmt::Source::kSelect)
      Fail(values < cols.size() ? 120 : 121,
           std::string("The select list for the INSERT statement contains ") +
               (values < cols.size() ? "fewer" : "more") +
               " items than the insert list. The number of SELECT values must match the number "
               "of INSERT columns.",
           s.line, 15);
    Fail(values < cols.size() ? 109 : 110,
         values < cols.size()
             ? "There are more columns in the INSERT statement than values specified in the "
               "VALUES clause. The number of values in the VALUES clause must match the number "
               "of columns specified in the INSERT statement."
             : "There are fewer columns in the INSERT statement than values specified in the "
               "VALUES clause. The number of values in the VALUES clause must match the number "
               "of columns specified in the INSERT statement.",
         s.line, 15);
  };

  switch (s.source) {
    case ast::InsertStmt::Source::kDefaultValues:
      sql += " DEFAULT VALUES";
      break;
    case ast::InsertStmt::Source::kSelect: {
      BoundQuery q = b.BindQuery(*s.select, nullptr);
      count_mismatch(q.columns.size());
      std::string values;
      bool plain = true;
      for (size_t i = 0; i < cols.size(); ++i) {
        Fragment src;
        src.sql = "src." + QuoteId("c" + std::to_string(i + 1));
        src.type = q.columns[i].type;
        src.nullable = q.nullable[i];
        Fragment v = b.ConvertForStore(src, cols[i]->type);
        plain = plain && v.sql == src.sql;
        values += (i ? ", " : "") + v.sql;
      }
      sql += " (" + col_list + ") ";
      if (plain) {
        sql += q.sql;
      } else if (!q.union_all_parts.empty()) {
        // Converted in each SELECT of the union: SQLite then reads each one straight
        // into the table instead of copying every row through a coroutine first.
        std::vector<std::string> parts;
        for (const std::string& part : q.union_all_parts)
          parts.push_back("SELECT " + values + " FROM (" + part + ") AS src");
        sql += JoinUnionAll(parts);
      } else {
        sql += "SELECT " + values + " FROM (" + q.sql + ") AS src";
      }
      break;
    }
    case ast::InsertStmt::Source::kValues: {
      sql += " (" + col_list + ") VALUES ";
      Scope none;
      for (size_t r = 0; r < s.values.size(); ++r) {
        count_mismatch(s.values[r].size());
        sql += r ? ", (" : "(";
        for (size_t i = 0; i < cols.size(); ++i) {
          const ast::Expr& e = *s.values[r][i];
          std::string v;
          if (e.kind == ast::ExprKind::kDefault) {
            v = cols[i]->has_default ? cols[i]->default_sql : "NULL";
          } else {
            Fragment f = b.BindExpr(e, none);
            if (f.predicate) Fail(102, "Incorrect syntax near '" + ast::ToSql(e) + "'.", e.line, 15);
            if (f.aggregate) NotSupported("An aggregate in a VALUES list", e.line);
            v = b.ConvertForStore(std::move(f), cols[i]->type).sql;
          }
          sql += (i ? ", " : "") + v;
        }
        sql += ")";
      }
      break;
    }
  }
  Translation& t = b.out();
  t.steps.push_back(SqliteStep{sql, b.params()});
  t.counts_rows = true;
  return std::move(t);
}

}  // namespace morvesk::engine::bind
