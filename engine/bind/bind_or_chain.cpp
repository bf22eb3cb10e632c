// OR chains of equalities with constants, as a client's filter of many item numbers is.
// SQLite plans a long OR of constants in time that grows with the square of its length (it
// compares every constant with every other one it has factored out of the loops); an IN
// list it reads in one pass. "x IN (a, b)" is defined as "x = a OR x = b", so a run of such
// terms over the same x is written as one IN with the same result, NULLs included.
#include "engine/bind/binder.h"

namespace morvesk::engine::bind {

namespace {

// A run shorter than this is left as written: SQLite turns a short OR over one column into
// an IN itself, and the text stays as the user wrote it in plans and messages.
constexpr size_t kMinRun = 8;

bool IsConstant(const Fragment& f) { return f.literal >= 0 || f.param >= 0; }

}  // namespace

Fragment Binder::BindOrTerm(const ast::Expr& e, Scope& scope, EqualsConstant& eq) {
  if (e.kind != ast::ExprKind::kCompare || e.As<ast::CompareExpr>().op != ast::CompareOp::kEq)
    return BindPredicate(e, scope);
  const auto& c = e.As<ast::CompareExpr>();
  Fragment a = BindExpr(*c.left, scope);
  Fragment b = BindExpr(*c.right, scope);
  const bool a_const = IsConstant(a), b_const = IsConstant(b);
  const bool null_side = a.null_literal || b.null_literal;
  const std::string collate = ComparableOperands(a, b);
  Fragment r = Compared(a, ast::CompareOp::kEq, b, collate);
  // x must be the same text in every term and carry no parameter: the IN writes it once.
  if (a_const != b_const && !null_side) {
    const Fragment& x = a_const ? b : a;
    const Fragment& k = a_const ? a : b;
    if (x.sql.find('?') == std::string::npos) {
      eq.lhs = x.sql + collate;
      eq.rhs = k.sql;
    }
  }
  return r;
}

std::vector<std::string> JoinEqualityRuns(const std::vector<Fragment>& parts,
                                          const std::vector<EqualsConstant>& eq) {
  std::vector<std::string> terms;
  for (size_t i = 0; i < parts.size();) {
    size_t end = i + 1;
    if (!eq[i].lhs.empty())
      while (end < parts.size() && eq[end].lhs == eq[i].lhs) ++end;
    if (end - i < kMinRun) {
      for (; i < end; ++i) terms.push_back(parts[i].sql);
      continue;
    }
    std::string in = "(" + eq[i].lhs + " IN (";
    for (size_t j = i; j < end; ++j) {
      if (j > i) in += ", ";
      in += eq[j].rhs;
    }
    terms.push_back(in + "))");
    i = end;
  }
  return terms;
}

}  // namespace morvesk::engine::bind
