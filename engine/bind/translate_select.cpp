// SELECT statements: result sets, variable assignment (SELECT @v = ...) and
// SELECT ... INTO (creates the table, then fills it; identity() numbers the rows
// in the statement's ORDER BY or in the order the query produces them).
#include <set>

#include "engine/bind/binder.h"
#include "engine/bind/translate_internal.h"

namespace morvesk::engine::bind {
namespace {

Translation TranslateAssignment(Binder& b, const ast::Query& q) {
  std::vector<TypeInfo> types;
  std::vector<std::string> names;
  for (const ast::SelectItem& item : q.first().items) {
    if (item.kind != ast::SelectItem::Kind::kAssign)
      Fail(141, "A SELECT statement that assigns a value to a variable must not be combined with "
                "data-retrieval operations.",
           item.line);
    const TypeInfo* t = b.ctx().variables.Find(item.variable);
    if (t == nullptr)
      Fail(137, "Must declare the scalar variable \"" + item.variable + "\".", item.line, 15);
    types.push_back(*t);
    names.push_back(AsciiLower(item.variable));
  }
  QueryOptions opts;
  opts.allow_assign = true;
  opts.target_types = &types;
  BoundQuery bq = b.BindQuery(q, nullptr, opts);
  Translation& t = b.out();
  t.steps.push_back(SqliteStep{bq.sql, b.params()});
  t.columns = bq.columns;
  t.assign_to = std::move(names);
  t.counts_rows = true;
  return std::move(t);
}

Translation TranslateInto(Binder& b, const ast::Query& q) {
  const ast::Name& into = *q.first().into;
  const std::string& short_name = into.back();
  if (short_name.rfind("##", 0) == 0) NotSupported("Global temporary table '" + short_name + "'", q.line);
  if (b.ctx().catalog.FindTable(JoinName(into)))
    Fail(2714, "There is already an object named '" + short_name + "' in the database.", q.line);
  QueryOptions opts;
  opts.allow_into = true;
  opts.allow_identity = true;
  BoundQuery bq = b.BindQuery(q, nullptr, opts);

  TableInfo table;
  table.name = short_name;
  table.is_temp = short_name.rfind('#', 0) == 0;
  table.sqlite_name = std::string(table.is_temp ? "\"temp\"." : "\"main\".") + QuoteId(short_name);
  std::set<std::string> seen;
  std::string create = "CREATE TABLE " + table.sqlite_name + " (";
  std::string cols, values;
  for (size_t i = 0; i < bq.columns.size(); ++i) {
    const std::string& nm = bq.columns[i].name;
    if (nm.empty())
      Fail(1038, "An object or column name is missing or empty. For SELECT INTO statements, "
                 "verify each column has a name. For other statements, look for empty alias "
                 "names. Aliases defined as \"\" or [] are not allowed. Change the alias to a "
                 "valid name.",
           q.line);
    if (!seen.insert(AsciiLower(nm)).second)
      Fail(2705, "Column names in each table must be unique. Column name '" + nm + "' in table '" +
                     short_name + "' is specified more than once.",
           q.line);
    ColumnInfo c;
    c.name = nm;
    c.type = bq.columns[i].type;
    c.nullable = bq.nullable[i];
    const std::string src = "src." + QuoteId("c" + std::to_string(i + 1));
    if (static_cast<int>(i) == bq.identity_position) {
      if (!c.type.IsInteger() && c.type.kind != TypeKind::kDecimal)
        Fail(2749, "Identity column '" + nm + "' must be of data type int, bigint, smallint, "
                   "tinyint, or decimal or numeric with a scale of 0, and constrained to be "
                   "nonnullable.",
             q.line);
      c.identity = true;
      c.nullable = false;
      c.identity_seed = bq.identity->seed;
      c.identity_step = bq.identity->increment;
      // The identity is the rowid: later inserts continue after the highest value.
      create += (i ? ", " : "") + QuoteId(nm) + " INTEGER PRIMARY KEY AUTOINCREMENT NOT NULL";
      const std::string over = bq.identity_order.empty() ? "" : "ORDER BY " + bq.identity_order;
      values += std::string(i ? ", " : "") + "(row_number() OVER (" + over + ") - 1) * " +
                std::to_string(c.identity_step) + " + " + std::to_string(c.identity_seed);
    } else {
      create += (i ? ", " : "") + QuoteId(nm) + " " + StorageDecl(c.type) +
                (c.nullable ? "" : " NOT NULL");
      values += (i ? ", " : "") + src;
    }
    cols += (i ? ", " : "") + QuoteId(nm);
    table.columns.push_back(std::move(c));
  }
  create += ")";
  std::string insert = "INSERT INTO " + table.sqlite_name + " (" + cols + ") ";
  if (bq.identity_position >= 0)
    insert += "SELECT " + values + " FROM (" + bq.sql + ") AS src";
  else
    insert += bq.sql;

  Translation& t = b.out();
  t.steps.push_back(SqliteStep{create, {}});
  t.steps.push_back(SqliteStep{insert, b.params()});
  t.counts_rows = true;
  t.changes_catalog = true;
  t.creates = std::move(table);
  return std::move(t);
}

}  // namespace

Translation TranslateSelect(Binder& b, const ast::SelectStmt& s) {
  const ast::Query& q = *s.query;
  if (q.IsAssignment()) return TranslateAssignment(b, q);
  if (q.first().into) return TranslateInto(b, q);
  BoundQuery bq = b.BindQuery(q, nullptr);
  Translation& t = b.out();
  t.steps.push_back(SqliteStep{bq.sql, b.params()});
  t.columns = bq.columns;
  t.union_arms = std::move(bq.arms);
  t.returns_rows = true;
  t.counts_rows = true;
  return std::move(t);
}

}  // namespace morvesk::engine::bind
