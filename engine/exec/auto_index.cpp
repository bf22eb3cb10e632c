// Automatic indexes on #temp tables. Loops of small batches filter working tables
// by equality on the same key columns again and again, and the batches create no
// index; without one each filter is a scan and the loop is quadratic. When a second
// execution filters the same #table on the same columns, the runtime indexes them.
#include <algorithm>
#include <cctype>
#include <functional>

#include "engine/exec/interpreter.h"

namespace morvesk::engine::exec {
namespace {

constexpr int kUsesBeforeIndex = 2;

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

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
      const auto& b = e.As<ast::BinaryExpr>();
      return MentionsColumn(*b.left) || MentionsColumn(*b.right);
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

// Columns compared by equality with a value that does not depend on the row, in the
// AND-conjuncts of `where`. `qualifiers` are the names a column of the table may be
// prefixed with.
void EqualityColumns(const ast::Expr* where, const std::vector<std::string>& qualifiers,
                     std::vector<std::string>& out) {
  if (!where) return;
  if (where->kind == ast::ExprKind::kLogical) {
    const auto& l = where->As<ast::LogicalExpr>();
    if (l.op != ast::LogicalOp::kAnd) return;
    EqualityColumns(l.left.get(), qualifiers, out);
    EqualityColumns(l.right.get(), qualifiers, out);
    return;
  }
  if (where->kind != ast::ExprKind::kCompare) return;
  const auto& c = where->As<ast::CompareExpr>();
  if (c.op != ast::CompareOp::kEq) return;
  const ast::Expr* col = nullptr;
  if (c.left->kind == ast::ExprKind::kColumn && !MentionsColumn(*c.right)) col = c.left.get();
  if (c.right->kind == ast::ExprKind::kColumn && !MentionsColumn(*c.left)) col = c.right.get();
  if (!col) return;
  const auto& parts = col->As<ast::ColumnRef>().parts;
  if (parts.size() > 2) return;
  if (parts.size() == 2 &&
      std::find(qualifiers.begin(), qualifiers.end(), Lower(parts[0])) == qualifiers.end()) {
    return;
  }
  out.push_back(Lower(parts.back()));
}

}  // namespace

void Interpreter::FindAutoIndexCandidate(const ast::Statement& s, Plan& p) {
  p.auto_index_table = "-";  // examined; no candidate unless found below
  std::string table;
  std::vector<std::string> qualifiers;
  const ast::Expr* where = nullptr;
  switch (s.kind) {
    case ast::StmtKind::kUpdate: {
      const auto& u = s.As<ast::UpdateStmt>();
      if (!u.from.empty() || u.target.size() != 1) return;
      table = u.target[0];
      where = u.where.get();
      break;
    }
    case ast::StmtKind::kDelete: {
      const auto& d = s.As<ast::DeleteStmt>();
      if (!d.from.empty() || d.target.size() != 1) return;
      table = d.target[0];
      where = d.where.get();
      break;
    }
    case ast::StmtKind::kSelect: {
      const auto& q = *s.As<ast::SelectStmt>().query;
      if (q.branches.size() != 1) return;
      const auto& core = *q.branches[0];
      if (core.from.size() != 1 || core.from[0]->kind != ast::TableRefKind::kNamed) return;
      const auto& t = core.from[0]->As<ast::NamedTable>();
      table = t.name.back();
      if (!t.alias.empty()) qualifiers.push_back(Lower(t.alias));
      where = core.where.get();
      break;
    }
    default:
      return;
  }
  if (table.empty() || table[0] != '#') return;
  qualifiers.push_back(Lower(table));
  std::vector<std::string> cols;
  EqualityColumns(where, qualifiers, cols);
  std::sort(cols.begin(), cols.end());
  cols.erase(std::unique(cols.begin(), cols.end()), cols.end());
  if (cols.empty()) return;
  auto info = c_.catalog_.FindTable(table);
  if (!info) return;
  for (const auto& c : cols) {
    if (!info->Find(c)) return;
  }
  p.auto_index_table = info->name;
  p.auto_index_columns = std::move(cols);
}

void Interpreter::NoteAutoIndexUse(Plan& p) {
  if (p.auto_index_columns.empty()) return;
  if (c_.auto_index_version_ != c_.catalog_.version()) {
    // Tables may have been dropped and made again since: check the indexes anew.
    c_.auto_indexes_.clear();
    c_.auto_index_version_ = c_.catalog_.version();
  }
  std::string key = Lower(p.auto_index_table);
  for (const auto& c : p.auto_index_columns) key += "\x1f" + c;
  if (c_.auto_indexes_.count(key)) return;
  if (++c_.auto_index_hits_[key] < kUsesBeforeIndex) return;
  std::string name = "__auto_" + p.auto_index_table;
  std::string cols;
  for (const auto& c : p.auto_index_columns) {
    name += "_" + c;
    cols += (cols.empty() ? "" : ", ") + QuoteName(c);
  }
  ExecSql(c_.sql_, "CREATE INDEX IF NOT EXISTS temp." + QuoteName(name) + " ON " +
                       QuoteName(p.auto_index_table) + "(" + cols + ")");
  c_.auto_indexes_.insert(key);
  ++c_.stats_.auto_indexes;
}

}  // namespace morvesk::engine::exec
