// Views: stored as SQLite views over their translated query, with their T-SQL text, the
// types of their columns and, for UNION ALL views, their SELECTs. A translation carries
// the conversions the tables' column types asked for when it was made, so a view is
// translated again from its text whenever a permanent table or a view it may read is made
// again (columns added to a table change no column a view already reads).
#include "base/ascii.h"
#include "engine/bind/binder.h"
#include "engine/exec/interpreter.h"
#include "engine/exec/sqlite_util.h"
#include "engine/exec/table_ddl.h"

namespace morvesk::engine::exec {
namespace {

using base::AsciiLower;
using bind::JoinName;

// The text SQLite keeps of a CREATE VIEW main."x" ...: the same, less the schema.
std::string StoredViewText(const std::string& create_sql) {
  const std::string head = "CREATE VIEW main.";
  if (create_sql.rfind(head, 0) != 0) return create_sql;
  return "CREATE VIEW " + create_sql.substr(head.size());
}

}  // namespace

std::string Interpreter::StoredViewSql(const std::string& name) {
  Stmt q = Prepare(c_.sql_,
                   "SELECT sql FROM main.sqlite_schema WHERE type = 'view' AND name = ?1 "
                   "COLLATE NOCASE");
  sqlite3_bind_text(q.get(), 1, name.c_str(), -1, SQLITE_TRANSIENT);
  return sqlite3_step(q.get()) == SQLITE_ROW ? ColumnText(q.get(), 0) : std::string();
}

Interpreter::ViewBody Interpreter::TranslateView(const ast::CreateViewStmt& s, Frame& f) {
  bind::RefuseNestedOrder(*s.query);
  // The binder translates queries held by a SELECT statement; lend it the view's query.
  auto& view = const_cast<ast::CreateViewStmt&>(s);
  ast::SelectStmt select;
  select.line = s.line;
  select.column = s.column;
  select.query = std::move(view.query);
  Translation tr;
  try {
    BindContext ctx{c_.catalog_, f, f.code->literal_types, /*inline_views=*/false};
    tr = Translate(select, ctx);
    ++c_.stats_.translations;
  } catch (...) {
    view.query = std::move(select.query);
    throw;
  }
  view.query = std::move(select.query);
  if (tr.steps.size() != 1 || !tr.returns_rows) {
    throw SqlError(ast::kNotSupportedError, 16,
                   "This view's query is not supported by this engine.");
  }
  const std::string name = s.name.back();
  ViewBody body;
  std::string cols;
  for (size_t i = 0; i < tr.columns.size(); ++i) {
    const std::string& column = tr.columns[i].name;
    for (size_t k = 0; k < i; ++k) {
      if (!column.empty() && AsciiLower(tr.columns[k].name) == AsciiLower(column)) {
        throw SqlError(4506, 16,
                       "Column names in each view or function must be unique. Column name '" +
                           column + "' in view or function '" + name +
                           "' is specified more than once.");
      }
    }
    if (column.empty()) {
      throw SqlError(
          4511, 16,
          "Create View or Function failed because no column name was specified for column " +
              std::to_string(i + 1) + ".");
    }
    cols += (i ? ", " : "") + QuoteName(column);
    ColumnInfo ci;
    ci.name = column;
    ci.type = tr.columns[i].type;
    body.columns.push_back(std::move(ci));
  }
  auto value_of = [&](const ParamSource& p) { return ParamValue(p, f); };
  body.create_sql = "CREATE VIEW main." + QuoteName(name) + "(" + cols +
                    ") AS " + InlineParams(tr.steps[0], value_of);
  // A UNION ALL view keeps its SELECTs too, constants written in, so that statements
  // reading it can take only the columns they use.
  for (const ViewArm& arm : tr.union_arms) {
    ViewArm inlined;
    auto inline_piece = [&](const std::string& piece) {
      return InlineParams(SqliteStep{piece, tr.steps[0].params}, value_of);
    };
    for (const std::string& item : arm.items) inlined.items.push_back(inline_piece(item));
    inlined.body = inline_piece(arm.body);
    body.arms.push_back(std::move(inlined));
  }
  return body;
}

void Interpreter::InstallView(const std::string& name, const std::string& text,
                              const ViewBody& body, bool replace) {
  if (replace) {
    ExecSql(c_.sql_, "DROP VIEW main." + QuoteName(name));
    c_.catalog_.EraseObject(name);
  }
  ExecSql(c_.sql_, body.create_sql);
  c_.catalog_.RecordView(name, text, body.columns, body.arms);
}

void Interpreter::CreateView(const ast::CreateViewStmt& s, Frame& f) {
  const std::string name = s.name.back();
  auto kind = c_.catalog_.ObjectKind(JoinName(s.name));
  const bool alter = s.alter || (s.or_alter && kind == 'V');
  if (kind && !(alter && kind == 'V')) AlreadyExists(name);
  if (alter && kind != 'V') throw SqlError(208, 16, "Invalid object name '" + name + "'.");
  const ViewBody body = TranslateView(s, f);
  AllOrNothing([&] {
    InstallView(name, s.text, body, kind.has_value());
    // Views over this one were translated with the columns it had.
    if (kind) RefreshViews();
  });
}

void Interpreter::RefreshViews() {
  // A view over another view is translated with that view's column types: go round
  // until no view changes (each round settles at least one more level of nesting).
  for (size_t round = 0, changed = 1; changed > 0; ++round) {
    const std::vector<SqliteCatalog::ViewSource> views = c_.catalog_.ViewSources();
    if (round > views.size()) break;
    changed = 0;
    for (const SqliteCatalog::ViewSource& v : views) {
      std::shared_ptr<CachedBatch> code = ParseStored(v.definition);
      if (code->batch.statements.size() != 1 ||
          code->batch.statements[0]->kind != ast::StmtKind::kCreateView)
        continue;
      Frame vf;
      vf.code = code.get();
      vf.literals = code->literal_values;
      vf.literal_texts = code->literal_texts;
      ViewBody body;
      try {
        body = TranslateView(code->batch.statements[0]->As<ast::CreateViewStmt>(), vf);
      } catch (const SqlError&) {
        // A view whose tables no longer bind (one dropped, a column gone) stays as it
        // was; reading it reports what is missing.
        continue;
      }
      if (StoredViewSql(v.name) == StoredViewText(body.create_sql) &&
          SqliteCatalog::ViewColumnsRecord(body.columns) == v.columns)
        continue;
      InstallView(v.name, v.definition, body, true);
      ++changed;
    }
  }
}

}  // namespace morvesk::engine::exec
