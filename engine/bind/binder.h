// Internal state of the binder/translator: typed SQL fragments, the FROM scopes
// that column names resolve against, and the per-statement Binder that collects
// parameters. Only engine/bind/*.cpp include this header.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/ascii.h"
#include "engine/bind/translate.h"
#include "engine/error.h"
#include "engine/sql/ast.h"

namespace morvesk::engine::bind {

// A bound expression: SQLite text in the storage form of `type`.
struct Fragment {
  std::string sql;
  TypeInfo type;
  int param = -1;              // the text is exactly one parameter: index into Binder::params
  int literal = -1;            // the parameter comes from this batch literal
  bool param_converted = false;  // the runtime already converts the parameter (once only)
  int int_literal_digits = 0;  // an integer constant: digits it counts as when meeting a decimal
  bool nullable = true;
  bool null_literal = false;   // a bare NULL: takes the type of what it meets
  bool predicate = false;      // a condition yielding 1, 0 or NULL
  bool aggregate = false;      // holds an aggregate of the current query level
  // A column of a table declared NOT NULL, on a side of the joins that always has a row:
  // its value is never NULL (while `sql` is still just the column).
  bool never_null = false;
  // Columns of the current query level used outside any aggregate (SQLite text),
  // for the GROUP BY check.
  std::vector<std::string> bare_columns;
};

// A term "x = constant" of an OR chain, as the two sides compare (empty lhs: another term).
struct EqualsConstant {
  std::string lhs;  // x, with its collation clause
  std::string rhs;  // the constant
};

// The comparison of two operands already converted to the type they compare in.
Fragment Compared(const Fragment& a, ast::CompareOp op, const Fragment& b,
                  const std::string& collate);

// The terms of a bound OR chain as SQLite text; runs of "x = constant" over one x become
// "x IN (...)".
std::vector<std::string> JoinEqualityRuns(const std::vector<Fragment>& parts,
                                          const std::vector<EqualsConstant>& eq);

struct SourceColumn {
  std::string name;  // T-SQL name (declared case)
  TypeInfo type;
  bool nullable = true;
  bool identity = false;
  std::string sql;   // column name in SQLite text, quoted
};

// One FROM item of a query level: a table, a view or a derived table.
struct Source {
  std::string alias;         // qualifier: the alias, or the table's own name without one
  bool has_alias = false;
  std::optional<TableInfo> table;  // base table or view; empty for a derived table
  std::string sqlite_alias;  // s0, s1, ... unique in the statement
  std::vector<SourceColumn> columns;
  std::string sql;  // its FROM text: "<table or (query)> AS <sqlite_alias>"
  // A grouped derived table: the columns that hold its grouping key (one row per value),
  // and the temp table the statement fills with it first, if it does.
  std::vector<size_t> key_columns;
  std::string filled_table;
};

struct Scope {
  const Scope* parent = nullptr;
  std::vector<Source> sources;
  bool in_aggregate = false;  // binding an aggregate's argument
};

// A bound query expression (one or more UNION branches plus ORDER BY).
struct BoundQuery {
  std::string sql;                // SELECT ... with columns named c1..cN
  std::vector<Column> columns;    // T-SQL names and types
  std::vector<bool> nullable;
  // SELECT ... INTO: the identity() item, if any (its position and definition).
  int identity_position = -1;
  const ast::IdentityExpr* identity = nullptr;
  // SELECT ... INTO: the ORDER BY over the columns of `sql` seen as table src, to
  // number identity values in that order (items outside the select list come as
  // extra columns o1, o2, ... of `sql`).
  std::string identity_order;
  // A UNION ALL of plain SELECTs (no DISTINCT, TOP or ORDER BY): its SELECTs.
  std::vector<ViewArm> arms;
  // When `sql` is a UNION ALL without ORDER BY (of plain SELECTs, or a join led by a UNION
  // view read arm by arm): its SELECTs in order, each naming its columns c1..cN.
  std::vector<std::string> union_all_parts;
  // A grouped query whose select list holds every grouping key: their output columns.
  std::vector<size_t> key_columns;
  // One SELECT without FROM, or aggregated without GROUP BY: it never gives two rows.
  bool at_most_one_row = false;
};

// Options for binding a query.
struct QueryOptions {
  // Convert output column i to target_types[i] (UNION typing, IN subqueries).
  const std::vector<TypeInfo>* target_types = nullptr;
  bool allow_identity = false;   // SELECT ... INTO may hold identity()
  bool allow_into = false;
  bool allow_assign = false;
};

class Binder {
 public:
  explicit Binder(const BindContext& ctx) : ctx_(ctx) {}

  const BindContext& ctx() const { return ctx_; }
  Translation& out() { return out_; }
  std::vector<ParamSource>& params() { return params_; }
  std::string ParamSql(int index) const { return "?" + std::to_string(index + 1); }

  std::string NewAlias() { return "s" + std::to_string(next_alias_++); }
  int AddParam(ParamSource p);

  // Grouped derived tables of a statement's own FROM are filled into temp tables by
  // steps that run before the statement, and counted: SQLite guesses every grouped
  // subquery at a hundred rows and drives joins from it even when it holds thousands.
  void MaterializeGroupedDerived() { materialize_grouped_ = true; }
  // Grouped queries of the statement's own level are grouped by the runtime in a hash
  // table (bind_grouping.cpp): SQLite would sort every row by the grouping key first.
  void HashGroupings() { hash_groupings_ = true; }
  // Small tables joined beside a UNION view at the head of a FROM are read through a
  // scratch index SQLite builds on their used columns (bind_query.cpp): the view streams
  // many rows, and each then costs one look-up instead of an index search and a row
  // fetch. Only for statements that never address a source's rows by rowid.
  void ReadSmallTablesThroughScratchIndex() { scratch_lookups_ = true; }
  // Ranking functions bound so far: a query holding one is read as written, neither
  // grouped by the runtime nor split arm by arm, as both would number other rows.
  void NoteWindow() { ++windows_; }
  // 4108 when a ranking function was bound at this level since `count` was read from
  // windows(): UPDATE's SET and the WHERE of UPDATE and DELETE may not hold one.
  int windows() const { return windows_; }
  void RefuseWindowsSince(int count, int line) const;
  // A UNION view at the head of a FROM, read row by row (no grouping in SQLite, no
  // numbering, no order), is written as one SELECT per arm of the view (bind_query.cpp):
  // SQLite then flattens each arm into the query instead of streaming the view through a
  // coroutine that copies every row, which it does for any join and for arms whose
  // columns differ in affinity. Only query levels of the statement's own level are
  // rewritten (a SELECT, the query an INSERT reads, a derived table, a runtime grouping's
  // read), never the FROM of an UPDATE or DELETE, whose target rows go by rowid.
  void JoinUnionViewsArmByArm() { arm_joins_ = true; }
  // SQL of those steps in order; the filling steps use the statement's parameters.
  struct PreStep {
    std::string sql;
    bool uses_params = false;
    std::optional<HashGrouping> grouping = std::nullopt;
  };
  const std::vector<PreStep>& pre_steps() const { return pre_steps_; }
  void AddPreStep(std::string sql) { pre_steps_.push_back({std::move(sql), false}); }

  // Expressions (bind_expr.cpp, bind_function.cpp).
  Fragment BindExpr(const ast::Expr& e, Scope& scope);
  Fragment BindPredicate(const ast::Expr& e, Scope& scope);
  // A chain of binary operators: a + b - c ... (bind_chain.cpp).
  Fragment BindChain(const ast::Expr& e, Scope& scope);
  Fragment BindFunction(const ast::FunctionCall& f, Scope& scope);
  Fragment BindConvert(const ast::ConvertExpr& c, Scope& scope);
  Fragment Compare(Fragment a, ast::CompareOp op, Fragment b, int line);
  // Converts two operands to the type they compare in; returns the collation clause.
  std::string ComparableOperands(Fragment& a, Fragment& b);
  // One term of an OR chain; a term "x = constant" also leaves its two sides in `eq`.
  Fragment BindOrTerm(const ast::Expr& e, Scope& scope, EqualsConstant& eq);
  Fragment Arithmetic(ast::BinaryOp op, Fragment a, Fragment b, int line);

  // Conversions (binder.cpp). Convert is CAST/assignment to a variable (text cut
  // silently); ConvertForStore is assignment to a column (text longer than the
  // column is error 8152).
  Fragment Convert(Fragment f, const TypeInfo& to, std::optional<int> style = std::nullopt);
  Fragment ConvertForStore(Fragment f, const TypeInfo& to);
  // The decimal type an exact operand has when it meets a decimal.
  TypeInfo DecimalTypeOf(const Fragment& f);

  // Queries (bind_query.cpp).
  BoundQuery BindQuery(const ast::Query& q, const Scope* parent, const QueryOptions& opts = {});
  std::string BindFrom(const std::vector<ast::TableRefPtr>& from, Scope& scope);
  Source SourceForTable(const ast::Name& name, const std::string& alias, int line);

  // An aggregate of the query level being bound, noted for runtime grouping: the
  // partial aggregate's letter (see HashGrouping; '?' when it has none), its argument,
  // and the text around the argument (the aggregate is head + arg.sql + tail).
  void NoteAggregate(const Scope& scope, char kind, const Fragment& arg, const std::string& head,
                     const std::string& tail);
  // A subquery bound in the query level being bound (for runtime grouping).
  void NoteSubquery(const Scope& scope);

  // Resolves a column reference; throws 207/209/4104.
  Fragment ResolveColumn(const ast::ColumnRef& c, const Scope& scope);

  // Notes that a statement reads column `sql` of the source with alias `sqlite_alias`.
  void NoteColumnUse(const std::string& sqlite_alias, const std::string& sql) {
    used_columns_[sqlite_alias].insert(sql);
  }
  // Writes the UNION ALL views the statement reads into `sql`, each with only the
  // columns the statement used (bind_query.cpp). Run on every step once the whole
  // statement is bound.
  std::string ExpandViews(std::string sql) const;

 private:
  std::string BindTableRef(const ast::TableRef& ref, Scope& scope);
  // `sql` of the single table source scope.sources[at], or the marker that reads it
  // through a scratch index when it is small and joined beside a leading UNION view.
  std::string MaybeScratchLookup(const Scope& scope, size_t at, std::string sql);

  // The aggregates of one grouped query level, while its select list is bound. Each is
  // head + arg_sql + tail, so that the same aggregate over the groups' partials is
  // head + partial + tail.
  struct AggregateUse {
    char kind;
    std::string arg_sql;
    TypeInfo arg_type;
    std::string head, tail;
    std::string sql() const { return head + arg_sql + tail; }
  };
  struct AggregateLog {
    const Scope* scope = nullptr;
    std::vector<AggregateUse> uses;
    int subqueries = 0;  // in the select list and HAVING: they could read other columns
  };
  // Rewrites a bound grouped SELECT to read the groups the runtime fills from `from_where`
  // (bind_grouping.cpp); false, with nothing changed, when the query does not allow it.
  bool HashGroup(const ast::SelectCore& core, std::vector<Fragment>& items,
                 std::optional<Fragment>& having, const AggregateLog& log, const Scope& scope,
                 std::string& body, size_t from_where_end);

  const BindContext& ctx_;
  Translation out_;
  std::vector<ParamSource> params_;  // ?1..?N of the statement's main step
  int next_alias_ = 0;
  bool materialize_grouped_ = false;
  bool hash_groupings_ = false;
  bool scratch_lookups_ = false;
  bool arm_joins_ = false;
  int windows_ = 0;
  AggregateLog* aggregate_log_ = nullptr;
  std::vector<PreStep> pre_steps_;
  std::map<std::string, std::set<std::string>> used_columns_;  // by sqlite alias
  struct PendingView {
    std::string marker;  // stands in the SQL text until ExpandViews
    std::string sqlite_alias;
    std::shared_ptr<const TableInfo> table;
  };
  std::vector<PendingView> views_;
  struct PendingLookup {
    std::string marker;  // stands in the SQL text until ExpandViews
    std::string sqlite_alias;
    std::string sqlite_name;
  };
  std::vector<PendingLookup> lookups_;

  // Stands in the SQL text for one arm of a pending view.
  static std::string ArmMarker(const PendingView& v, size_t arm);
  // `select` + `from_where` (" FROM ... WHERE ...") of a query level as one SELECT per arm
  // of the UNION view that leads its FROM, to be combined by UNION ALL; empty when the
  // level does not allow it. Each arm reads the level's scratch look-ups for itself.
  std::vector<std::string> JoinArmByArm(const ast::SelectCore& core, const Scope& scope,
                                        const std::string& select, const std::string& from_where);
};

// ---- helpers shared by the binder's files (binder.cpp) ----

using base::AsciiLower;
using base::EqualsNoCase;
std::string QuoteId(std::string_view name);    // "name" with embedded quotes doubled
std::string QuoteText(std::string_view text);  // 'text' with embedded quotes doubled
std::string JoinName(const ast::Name& name);   // {"tempdb","","#x"} -> "tempdb..#x"
// The SELECTs combined by UNION ALL; empty for none.
std::string JoinUnionAll(const std::vector<std::string>& selects);
// Replaces every occurrence of `from` in `text` by `to`.
void ReplaceAll(std::string& text, const std::string& from, const std::string& to);

// The source and column, by index into `scope` itself, that a column reference names;
// empty when `e` is no column reference, names none of the scope's columns, or is
// ambiguous there (outer scopes are not searched).
std::optional<std::pair<size_t, size_t>> LocateColumn(const ast::Expr& e, const Scope& scope);

// A fragment made of other fragments: its nullability, aggregate use and bare columns
// are theirs together.
void Absorb(Fragment& into, const Fragment& from);
Fragment Derived(std::string sql, TypeInfo type, const std::vector<const Fragment*>& parts);

// The SQLite declared type of a column holding `t` in storage form.
std::string StorageDecl(const TypeInfo& t);
// A row count as SQLite's LIMIT or OFFSET takes it, checked as the statement runs: a NULL
// count, or one for which `refused` (" < 0", " <= 0") holds, fails with error `number`.
// LIMIT would take a negative count for no limit.
std::string CheckedCount(const Fragment& n, const std::string& refused, int number,
                         const std::string& message);
// A TOP count: negative or NULL is 1014.
std::string TopCount(const Fragment& n);
// Result type of CASE branches, COALESCE arguments and UNION columns.
TypeInfo UnifyTypes(const TypeInfo& a, const TypeInfo& b);

// Errors with SQL Server's numbers and texts.
[[noreturn]] void Fail(int number, const std::string& message, int line, int severity = 16);
[[noreturn]] void NotSupported(const std::string& construct, int line);
// 1033 for a query nested in a statement (a subquery, a derived table, a view's query)
// that orders its rows without TOP: its order would mean nothing to the statement.
void RefuseNestedOrder(const ast::Query& q);

}  // namespace morvesk::engine::bind
