// Binding and translation of one set-based T-SQL statement (SELECT, INSERT, UPDATE,
// DELETE, SELECT ... INTO, and the expressions of SET / IF / WHILE / PRINT /
// RETURN) into SQLite statements with typed parameters.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/bind/catalog.h"
#include "engine/engine.h"

namespace morvesk::engine {
namespace ast {
struct Statement;
struct Expr;
}  // namespace ast

// Where a SQLite parameter's value comes from when the statement runs.
struct ParamSource {
  enum class Kind : uint8_t { kVariable, kLiteral, kSystem } kind = Kind::kVariable;
  std::string variable;  // kVariable: "@a" (lower-cased); kSystem: "@@rowcount", "@@error"
  int literal = -1;      // kLiteral: index into the batch's literal list
  TypeInfo type;         // the value is converted to this type's storage form
};

// A step whose rows the runtime groups itself, in a hash table, instead of SQLite
// sorting them: its first `keys` columns are the grouping key (text compared as the
// TSQL collation compares), and each further column is the argument of one partial
// aggregate, by letter: 'n' count(*), 'c' count(x), 'd' decimal sum, 's' integer sum,
// 'm' min, 'M' max. One row per group goes to `insert_sql` (?1..?N in column order).
struct HashGrouping {
  int keys = 0;
  std::string aggregates;
  std::string insert_sql;
};

// One SQLite statement; a T-SQL statement may need several, run in order
// (SELECT ... INTO: CREATE TABLE then INSERT; a statement that materialises a
// helper table first).
struct SqliteStep {
  std::string sql;                   // with ?1..?N
  std::vector<ParamSource> params;   // params[i] binds ?(i+1)
  std::optional<HashGrouping> grouping = std::nullopt;  // grouped by the runtime (see above)
};

struct Translation {
  std::vector<SqliteStep> steps;
  // Rows the last step returns, with their T-SQL types (decimal blobs are decoded
  // by these types). Empty for statements that return no rows.
  std::vector<Column> columns;
  // SELECT @a = x, @b = y ...: variables to assign from each returned row
  // (the last row wins); empty for an ordinary SELECT.
  std::vector<std::string> assign_to;
  bool returns_rows = false;      // a result set for the client
  bool counts_rows = false;       // reports "(n rows affected)" and sets @@ROWCOUNT
  bool changes_catalog = false;   // creates or drops an object
  // SELECT ... INTO: the table the steps create, with the T-SQL types of its
  // columns, for the runtime to record in its catalog.
  std::optional<TableInfo> creates;
  // Literals whose text shaped this translation beyond their type, so a cached
  // translation may serve another batch of the same shape only when they match:
  //   digit_literals: integer constants typed by their number of digits where they
  //     meet a decimal (`x / 3` and `x / 300` have different result scales);
  //   value_literals: literals evaluated while translating (Object_ID('tempdb..#x')).
  std::vector<int> digit_literals;
  std::vector<int> value_literals;
  // A plain SELECT that is a UNION ALL of plain SELECTs: its SELECTs, with parameters
  // as in steps[0] (CREATE VIEW keeps them to write the view into the statements that
  // read it).
  std::vector<ViewArm> union_arms;
  // Tables read through a scratch index because they were small when the statement was
  // translated (see BindContext::row_bound): the translation serves again only while
  // each still holds at most `rows` rows.
  struct SmallTable {
    std::string sqlite_name;
    int64_t rows = 0;
  };
  std::vector<SmallTable> small_tables;
};

// The variables in scope, with their declared types.
struct VariableScope {
  virtual ~VariableScope() = default;
  virtual const TypeInfo* Find(std::string_view name) const = 0;  // "@a", any case
};

struct BindContext {
  const Catalog& catalog;
  const VariableScope& variables;
  // Types of the batch's literals in order of appearance (from the lexer).
  const std::vector<TypeInfo>& literal_types;
  // Write UNION ALL views into the statement (false for a view's own definition, which
  // must keep naming the views it reads so that it sees them changed).
  bool inline_views = true;
  // An upper bound of a table's rows, cheap to learn; unset, no table counts as small.
  std::function<std::optional<int64_t>(const TableInfo&)> row_bound = nullptr;
};

// Translates a statement. Throws SqlError (207 invalid column, 208 invalid object,
// 209 ambiguous column, 8117/402 operand type clash, 156/102 for constructs outside
// the subset) when it cannot.
Translation Translate(const ast::Statement& stmt, const BindContext& ctx);

// Translates a scalar expression evaluated outside any table (SET @v = expr,
// IF expr, PRINT expr, RETURN expr): one step "SELECT <expr>" with its type in
// columns[0]. Conditions (IF/WHILE) yield 1, 0 or NULL.
Translation TranslateScalar(const ast::Expr& expr, const BindContext& ctx);

}  // namespace morvesk::engine
