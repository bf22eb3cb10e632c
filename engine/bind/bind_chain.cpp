// Binding of a chain of binary operators (a + b - c ..., x * y / z ...). The parser builds
// a chain as a left-deep tree, one node per operator; a client's computed column or filter
// may hold thousands of terms. The chain is bound operand by operand in a loop, typed step by
// step as the server types a left-deep chain, and written so that SQLite's parser and
// expression depth limits do not depend on its length:
//   - short chains as nested SQL, as any expression;
//   - integer, decimal and float arithmetic as one left-to-right fold (t_fold, see
//     engine/value/sqlfunc_chain.cpp), each step keeping its own result type and overflow
//     check;
//   - text concatenation as a balanced tree (concatenation is associative and its operands
//     are not converted);
//   - anything else nested, refused with the server's 191 once it is too long to parse.
#include <algorithm>

#include "engine/bind/binder.h"

namespace morvesk::engine::bind {
namespace {

// Terms written as nested SQL: SQLite's parser stack holds about a hundred entries and a
// nested term takes up to four.
constexpr size_t kNestedTerms = 8;
// Arguments of one t_fold / t_pack / t_packs call (SQLite allows 127).
constexpr size_t kArgsPerCall = 100;
// A chain that must stay nested and holds more terms cannot be parsed by SQLite.
constexpr size_t kMaxNestedTerms = 24;

[[noreturn]] void TooDeep(int line) {
  Fail(191,
       "Some part of your SQL statement is nested too deeply. Rewrite the query or break it "
       "up into smaller queries.",
       line, 15);
}

char OperatorChar(ast::BinaryOp op) {
  switch (op) {
    case ast::BinaryOp::kAdd:
      return '+';
    case ast::BinaryOp::kSub:
      return '-';
    case ast::BinaryOp::kMul:
      return '*';
    case ast::BinaryOp::kDiv:
      return '/';
    case ast::BinaryOp::kMod:
      return '%';
    default:
      return 0;
  }
}

int IntegerKind(TypeKind k) {
  switch (k) {
    case TypeKind::kTinyInt:
      return 0;
    case TypeKind::kSmallInt:
      return 1;
    case TypeKind::kInt:
      return 2;
    case TypeKind::kBigInt:
      return 3;
    default:
      return -1;
  }
}

bool ExactNumber(const TypeInfo& t) {
  return t.IsInteger() || t.kind == TypeKind::kDecimal || t.kind == TypeKind::kMoney;
}

// The fold's code for one step (acc op x = result), or empty when the fold does not compute
// this step as the nested SQL would.
std::string FoldStep(ast::BinaryOp op, const Fragment& acc, const Fragment& x,
                     const TypeInfo& result) {
  const char c = OperatorChar(op);
  if (c == 0 || acc.null_literal || x.null_literal) return {};
  const TypeInfo& a = acc.type;
  const TypeInfo& b = x.type;
  if (const int kind = IntegerKind(result.kind); kind >= 0) {
    if (!a.IsInteger() || !b.IsInteger()) return {};
    return std::string(1, c) + "i" + std::to_string(kind) + ";";
  }
  if (result.kind == TypeKind::kDecimal || result.kind == TypeKind::kMoney) {
    if (!ExactNumber(a) || !ExactNumber(b)) return {};
    const TypeInfo d = AsDecimalType(result);
    return std::string(1, c) + "d" + std::to_string(d.precision) + "." + std::to_string(d.scale) +
           ";";
  }
  if (result.kind == TypeKind::kFloat && c != '%') {
    auto numeric = [](const TypeInfo& t) {
      return ExactNumber(t) || t.kind == TypeKind::kFloat || t.kind == TypeKind::kReal;
    };
    if (!numeric(a) || !numeric(b)) return {};
    return std::string(1, c) + "f;";
  }
  return {};
}

// f(x1, ..., xn) for any n, as calls of at most kArgsPerCall arguments: `leaf` over the
// operands, `inner` over groups of leaves, so the nesting grows with the logarithm of n.
std::string Grouped(const std::vector<std::string>& items, const char* leaf, const char* inner) {
  std::vector<std::string> level = items;
  const char* fn = leaf;
  do {
    std::vector<std::string> next;
    for (size_t i = 0; i < level.size(); i += kArgsPerCall) {
      std::string call = std::string(fn) + "(";
      for (size_t k = i; k < std::min(level.size(), i + kArgsPerCall); ++k) {
        if (k > i) call += ", ";
        call += level[k];
      }
      next.push_back(call + ")");
    }
    level = std::move(next);
    fn = inner;
  } while (level.size() > 1);
  return level.front();
}

std::string Balanced(const std::vector<std::string>& items, size_t lo, size_t hi) {
  if (hi - lo == 1) return items[lo];
  const size_t mid = lo + (hi - lo) / 2;
  return "(" + Balanced(items, lo, mid) + " || " + Balanced(items, mid, hi) + ")";
}

}  // namespace

Fragment Binder::BindChain(const ast::Expr& e, Scope& scope) {
  std::vector<const ast::BinaryExpr*> nodes;  // innermost (first operator) first
  const ast::Expr* head = &e;
  while (head->kind == ast::ExprKind::kBinary) {
    nodes.push_back(&head->As<ast::BinaryExpr>());
    head = nodes.back()->left.get();
  }
  std::reverse(nodes.begin(), nodes.end());

  std::vector<Fragment> operands;
  operands.reserve(nodes.size() + 1);
  operands.push_back(BindExpr(*head, scope));

  if (nodes.size() + 1 <= kNestedTerms) {
    Fragment acc = operands.front();
    for (const ast::BinaryExpr* node : nodes) {
      Fragment r = BindExpr(*node->right, scope);
      if (acc.predicate || r.predicate)
        Fail(4145, "A condition cannot be used as a value.", node->line);
      acc = Arithmetic(node->op, std::move(acc), std::move(r), node->line);
    }
    return acc;
  }

  // Each step is typed (and its type errors raised) by the same rules as a nested chain,
  // on the running type alone; the SQL is written once the whole chain is known.
  Fragment acc = operands.front();
  std::string program;
  bool foldable = true, text = true;
  for (const ast::BinaryExpr* node : nodes) {
    operands.push_back(BindExpr(*node->right, scope));
    const Fragment& x = operands.back();
    if (acc.predicate || x.predicate)
      Fail(4145, "A condition cannot be used as a value.", node->line);
    Fragment probe = x;
    probe.bare_columns.clear();
    acc.sql.clear();
    acc.bare_columns.clear();
    const Fragment before = acc;
    acc = Arithmetic(node->op, std::move(acc), std::move(probe), node->line);
    text = text && node->op == ast::BinaryOp::kAdd && before.type.IsText() && x.type.IsText() &&
           !before.null_literal && !x.null_literal;
    if (foldable) {
      std::string step = FoldStep(node->op, before, x, acc.type);
      if (step.empty()) {
        foldable = false;
      } else {
        program += step;
      }
    }
    if (!foldable && !text && operands.size() > kMaxNestedTerms) TooDeep(node->line);
  }

  std::vector<const Fragment*> parts;
  std::vector<std::string> sql;
  parts.reserve(operands.size());
  sql.reserve(operands.size());
  for (const Fragment& f : operands) {
    parts.push_back(&f);
    sql.push_back(f.sql);
  }
  if (text) return Derived(Balanced(sql, 0, sql.size()), acc.type, parts);
  if (foldable) {
    std::string call;
    if (operands.size() <= kArgsPerCall) {
      call = "t_fold(" + QuoteText(program);
      for (const std::string& x : sql) call += ", " + x;
      call += ")";
    } else {
      call = "t_foldp(" + QuoteText(program) + ", " + Grouped(sql, "t_pack", "t_packs") + ")";
    }
    return Derived(std::move(call), acc.type, parts);
  }
  // Left nested, as a short chain.
  Fragment nested = std::move(operands.front());
  for (size_t i = 0; i < nodes.size(); ++i)
    nested =
        Arithmetic(nodes[i]->op, std::move(nested), std::move(operands[i + 1]), nodes[i]->line);
  return nested;
}

}  // namespace morvesk::engine::bind
