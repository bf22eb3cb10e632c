// Automatic indexes on #temp tables. Loops of small batches filter working tables
// by equality on the same key columns again and again (alone or joined to other
// tables), and the batches create no index; without one each filter is a scan and
// the loop is quadratic. When a second execution filters the same #table on the same
// columns, and the table holds more than a few rows, the runtime indexes them.
#include <algorithm>
#include <cctype>
#include <functional>

#include "base/ascii.h"
#include "engine/exec/auto_index_order.h"
#include "engine/exec/interpreter.h"

namespace morvesk::engine::exec {
namespace {

constexpr int kUsesBeforeIndex = 2;
constexpr int64_t kRowsBeforeIndex = 32;

using base::AsciiLower;

bool MentionsColumn(const ast::Expr& e) {
  switch (e.kind) {
    case ast::ExprKind::kLiteral:
    case ast::ExprKind::kNull:
    case ast::ExprKind::kVariable:
    case ast::ExprKind::kSystemVariable:
      return false;
    case ast::ExprKind::kUnary:
      return MentionsColumn(*e.As<ast::UnaryExpr>().operand);
    case ast::ExprKind::kBinary: {
      // Along the chain's left links by a loop: a + b + ... may hold thousands of terms.
      const ast::Expr* node = &e;
      while (node->kind == ast::ExprKind::kBinary) {
        if (MentionsColumn(*node->As<ast::BinaryExpr>().right)) return true;
        node = node->As<ast::BinaryExpr>().left.get();
      }
      return MentionsColumn(*node);
    }
    case ast::ExprKind::kConvert:
      return MentionsColumn(*e.As<ast::ConvertExpr>().operand);
    case ast::ExprKind::kFunction: {
      for (const auto& a : e.As<ast::FunctionCall>().args) {
        if (MentionsColumn(*a)) return true;
      }
      return false;
    }
    default:
      return true;
  }
}

// A table source of a statement and the names its columns may be qualified with.
struct SourceTable {
  std::string name;       // as written, last part
  std::string qualifier;  // alias, or the table name; lower-cased
  std::vector<std::string> columns;
};

// Columns compared by equality with a value that does not depend on the row, in the
// AND-conjuncts of `cond`, given to the source they belong to. A column without a
// qualifier belongs to the only source when there is exactly one.
void EqualityColumns(const ast::Expr* cond, std::vector<SourceTable>& sources) {
  if (!cond) return;
  if (cond->kind == ast::ExprKind::kLogical) {
    // The conjuncts in their written order, found along the chain's left links by a loop.
    std::vector<const ast::Expr*> conjuncts;
    const ast::Expr* node = cond;
    while (node->kind == ast::ExprKind::kLogical &&
           node->As<ast::LogicalExpr>().op == ast::LogicalOp::kAnd) {
      conjuncts.push_back(node->As<ast::LogicalExpr>().right.get());
      node = node->As<ast::LogicalExpr>().left.get();
    }
    if (node->kind != ast::ExprKind::kLogical) EqualityColumns(node, sources);
    for (auto it = conjuncts.rbegin(); it != conjuncts.rend(); ++it) EqualityColumns(*it, sources);
    return;
  }
  if (cond->kind != ast::ExprKind::kCompare) return;
  const auto& c = cond->As<ast::CompareExpr>();
  if (c.op != ast::CompareOp::kEq) return;
  const ast::Expr* col = nullptr;
  if (c.left->kind == ast::ExprKind::kColumn && !MentionsColumn(*c.right)) col = c.left.get();
  if (c.right->kind == ast::ExprKind::kColumn && !MentionsColumn(*c.left)) col = c.right.get();
  if (!col) return;
  const auto& parts = col->As<ast::ColumnRef>().parts;
  if (parts.size() > 2) return;
  if (parts.size() == 1) {
    if (sources.size() == 1) sources[0].columns.push_back(AsciiLower(parts[0]));
    return;
  }
  const std::string q = AsciiLower(parts[0]);
  for (auto& src : sources) {
    if (src.qualifier == q) {
      src.columns.push_back(AsciiLower(parts[1]));
      return;
    }
  }
}

// The named tables of a FROM list, and the ON conditions of its joins. A derived table
// counts as a source that takes no columns, so that unqualified names stay unassigned.
void CollectSources(const ast::TableRef& t, std::vector<SourceTable>& sources,
                    std::vector<const ast::Expr*>& conditions) {
  switch (t.kind) {
    case ast::TableRefKind::kNamed: {
      const auto& n = t.As<ast::NamedTable>();
      sources.push_back({n.name.back(), AsciiLower(n.alias.empty() ? n.name.back() : n.alias), {}});
      break;
    }
    case ast::TableRefKind::kDerived:
      sources.push_back({"", "\x1f", {}});
      break;
    case ast::TableRefKind::kJoin: {
      const auto& j = t.As<ast::JoinRef>();
      CollectSources(*j.left, sources, conditions);
      CollectSources(*j.right, sources, conditions);
      if (j.on) conditions.push_back(j.on.get());
      break;
    }
  }
}

}  // namespace

void Interpreter::FindAutoIndexCandidates(const ast::Statement& s, Plan& p) {
  p.auto_index_examined = true;
  std::vector<SourceTable> sources;
  std::vector<const ast::Expr*> conditions;
  auto add_from = [&](const std::vector<ast::TableRefPtr>& from, const ast::Expr* where) {
    for (const auto& t : from) CollectSources(*t, sources, conditions);
    conditions.push_back(where);
  };
  auto add_query = [&](const ast::Query* q) {
    if (!q || q->branches.size() != 1) return;
    add_from(q->branches[0]->from, q->branches[0]->where.get());
  };
  switch (s.kind) {
    case ast::StmtKind::kUpdate: {
      const auto& u = s.As<ast::UpdateStmt>();
      if (u.target.size() != 1) return;
      if (u.from.empty()) sources.push_back({u.target[0], AsciiLower(u.target[0]), {}});
      add_from(u.from, u.where.get());
      break;
    }
    case ast::StmtKind::kDelete: {
      const auto& d = s.As<ast::DeleteStmt>();
      if (d.target.size() != 1) return;
      if (d.from.empty()) sources.push_back({d.target[0], AsciiLower(d.target[0]), {}});
      add_from(d.from, d.where.get());
      break;
    }
    case ast::StmtKind::kSelect:
      add_query(s.As<ast::SelectStmt>().query.get());
      break;
    case ast::StmtKind::kInsert:
      add_query(s.As<ast::InsertStmt>().select.get());
      break;
    default:
      return;
  }
  for (const ast::Expr* cond : conditions) EqualityColumns(cond, sources);
  for (auto& src : sources) {
    if (src.name.empty() || src.name[0] != '#' || src.columns.empty()) continue;
    std::sort(src.columns.begin(), src.columns.end());
    src.columns.erase(std::unique(src.columns.begin(), src.columns.end()), src.columns.end());
    auto info = c_.catalog_.FindTable(src.name);
    if (!info || info->is_view) continue;
    bool known = true;
    for (const auto& c : src.columns) known = known && info->Find(c);
    if (known) p.auto_index_candidates.push_back({info->name, std::move(src.columns)});
  }
}

void Interpreter::NoteAutoIndexUse(Plan& p) {
  if (p.auto_index_candidates.empty()) return;
  if (c_.auto_index_version_ != c_.catalog_.structure_version()) {
    // Tables may have been dropped and made again since: check the indexes anew. A #temp
    // table kept and brought back keeps its indexes, and does not count.
    c_.auto_indexes_.clear();
    c_.auto_index_version_ = c_.catalog_.structure_version();
  }
  for (const IndexCandidate& cand : p.auto_index_candidates) {
    std::string key = AsciiLower(cand.table);
    for (const auto& c : cand.columns) key += "\x1f" + c;
    if (c_.auto_indexes_.count(key)) continue;
    if (++c_.auto_index_hits_[key] < kUsesBeforeIndex) continue;
    std::string name = "__auto_" + cand.table;
    for (const auto& c : cand.columns) name += "_" + c;
    std::vector<std::string> order = cand.columns;
    if (auto info = c_.catalog_.FindTable(cand.table)) OrderIndexColumns(*info, order);
    std::string cols;
    for (const auto& c : order) cols += (cols.empty() ? "" : ", ") + QuoteName(c);
    if (!c_.IndexExists(name)) {
      // A scan of a few dozen rows costs less than keeping an index up to date (and
      // than preparing the connection's statements again after the schema change).
      if (c_.TempTableRows(cand.table) < kRowsBeforeIndex) continue;
      ExecSql(c_.sql_, "CREATE INDEX IF NOT EXISTS temp." + QuoteName(name) + " ON " +
                           QuoteName(cand.table) + "(" + cols + ")");
      ++c_.stats_.auto_indexes;
    }
    c_.auto_indexes_.insert(key);
  }
}

}  // namespace morvesk::engine::exec
