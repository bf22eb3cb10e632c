// Entry points of the translator: one statement, or one free-standing expression.
#include "engine/bind/translate.h"

#include "engine/bind/translate_internal.h"

namespace morvesk::engine {

const ColumnInfo* TableInfo::Find(std::string_view column) const {
  for (const ColumnInfo& c : columns)
    if (bind::EqualsNoCase(c.name, column)) return &c;
  return nullptr;
}

namespace {

Translation TranslateStatement(bind::Binder& b, const ast::Statement& stmt) {
  switch (stmt.kind) {
    case ast::StmtKind::kSelect: return bind::TranslateSelect(b, stmt.As<ast::SelectStmt>());
    case ast::StmtKind::kInsert: return bind::TranslateInsert(b, stmt.As<ast::InsertStmt>());
    case ast::StmtKind::kUpdate: return bind::TranslateUpdate(b, stmt.As<ast::UpdateStmt>());
    case ast::StmtKind::kDelete: return bind::TranslateDelete(b, stmt.As<ast::DeleteStmt>());
    default:
      bind::NotSupported("Translating this statement kind to a set-based statement", stmt.line);
  }
}

// SQLite looks up the name of every numbered parameter ("?12") as it compiles the statement,
// a scan of all of them each time, so a statement of many thousands of parameters (a long
// chain or IN list of constants) would take quadratic time to prepare. When the parameters
// appear once each and in order, "?" says the same and costs nothing.
void NumberParamsImplicitly(std::string& sql, size_t count) {
  constexpr size_t kWorthIt = 256;
  if (count < kWorthIt) return;
  std::string out;
  out.reserve(sql.size());
  size_t next = 1;
  for (size_t i = 0; i < sql.size();) {
    const char c = sql[i];
    if (c == '\'' || c == '"') {
      const size_t end = sql.find(c, i + 1);
      if (end == std::string::npos) return;
      out.append(sql, i, end + 1 - i);
      i = end + 1;
      continue;
    }
    if (c != '?') {
      out += c;
      ++i;
      continue;
    }
    size_t j = i + 1, n = 0;
    while (j < sql.size() && sql[j] >= '0' && sql[j] <= '9') n = n * 10 + (sql[j++] - '0');
    if (n != next) return;
    ++next;
    out += '?';
    i = j;
  }
  if (next == count + 1) sql = std::move(out);
}

}  // namespace

Translation Translate(const ast::Statement& stmt, const BindContext& ctx) {
  bind::Binder b(ctx);
  // A view keeps one statement: its grouped queries (derived tables too) are grouped by
  // SQLite, its UNION views read whole.
  if (ctx.inline_views) {
    b.MaterializeGroupedDerived();
    b.HashGroupings();
    b.JoinUnionViewsArmByArm();
  }
  // UPDATE and DELETE address their target's rows by rowid, which a scratch copy lacks.
  if (ctx.inline_views &&
      (stmt.kind == ast::StmtKind::kSelect || stmt.kind == ast::StmtKind::kInsert))
    b.ReadSmallTablesThroughScratchIndex();
  Translation t = TranslateStatement(b, stmt);
  if (!b.pre_steps().empty()) {
    // After the table a SELECT ... INTO makes, its first step (the runtime lays that one
    // out itself).
    auto at = t.steps.begin();
    if (t.creates && at != t.steps.end()) ++at;
    std::vector<SqliteStep> pre;
    for (const auto& p : b.pre_steps()) {
      pre.push_back(SqliteStep{p.sql, p.uses_params ? b.params() : std::vector<ParamSource>{},
                               p.grouping});
    }
    t.steps.insert(at, pre.begin(), pre.end());
  }
  for (SqliteStep& step : t.steps) {
    step.sql = b.ExpandViews(std::move(step.sql));
    // A view's own text keeps its numbers: the runtime writes the values in by number.
    if (ctx.inline_views) NumberParamsImplicitly(step.sql, step.params.size());
  }
  for (ViewArm& arm : t.union_arms) {
    for (std::string& item : arm.items) item = b.ExpandViews(std::move(item));
    arm.body = b.ExpandViews(std::move(arm.body));
  }
  return t;
}

Translation TranslateScalar(const ast::Expr& expr, const BindContext& ctx) {
  bind::Binder b(ctx);
  bind::Scope none;
  bind::Fragment f = b.BindExpr(expr, none);
  if (f.aggregate)
    bind::Fail(147, "An aggregate may not appear outside a query.", expr.line);
  Translation& t = b.out();
  t.steps.push_back(SqliteStep{b.ExpandViews("SELECT " + f.sql), b.params()});
  NumberParamsImplicitly(t.steps.back().sql, t.steps.back().params.size());
  TypeInfo type = f.type;
  if (f.predicate) type = TypeInfo::Of(TypeKind::kBit);
  if (type.kind == TypeKind::kNull) type = TypeInfo::Of(TypeKind::kInt);
  t.columns.push_back(Column{"", type});
  return std::move(t);
}

}  // namespace morvesk::engine
