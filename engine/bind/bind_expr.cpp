// Binding of expressions: names, constants, operators, comparisons, CASE and
// subqueries, each typed by T-SQL's precedence rules and emitted in storage form.
#include <algorithm>

#include "engine/bind/binder.h"

namespace morvesk::engine::bind {
namespace {

// The longest IN list of values that is compared term by term rather than searched.
constexpr size_t kInListCompared = 8;

int CountDigits(const std::string& digits) {
  size_t i = 0;
  while (i + 1 < digits.size() && digits[i] == '0') ++i;
  int n = 0;
  for (; i < digits.size(); ++i)
    if (digits[i] >= '0' && digits[i] <= '9') ++n;
  return std::max(n, 1);
}

const char* CompareText(ast::CompareOp op) {
  switch (op) {
    case ast::CompareOp::kEq: return "=";
    case ast::CompareOp::kNe: return "<>";
    case ast::CompareOp::kLt: return "<";
    case ast::CompareOp::kGt: return ">";
    case ast::CompareOp::kLe:
    case ast::CompareOp::kNotGt: return "<=";
    case ast::CompareOp::kGe:
    case ast::CompareOp::kNotLt: return ">=";
  }
  return "=";
}

const char* OperatorName(ast::BinaryOp op) {
  switch (op) {
    case ast::BinaryOp::kAdd: return "add";
    case ast::BinaryOp::kSub: return "subtract";
    case ast::BinaryOp::kMul: return "multiply";
    case ast::BinaryOp::kDiv: return "divide";
    case ast::BinaryOp::kMod: return "modulo";
    case ast::BinaryOp::kBitAnd: return "&";
    case ast::BinaryOp::kBitOr: return "|";
    case ast::BinaryOp::kBitXor: return "^";
  }
  return "?";
}

std::string BaseTypeName(const TypeInfo& t) {
  std::string s = t.ToString();
  size_t p = s.find('(');
  if (t.kind == TypeKind::kDecimal) return "numeric";
  return p == std::string::npos ? s : s.substr(0, p);
}

ArithOp ToArith(ast::BinaryOp op) {
  switch (op) {
    case ast::BinaryOp::kSub: return ArithOp::kSub;
    case ast::BinaryOp::kMul: return ArithOp::kMul;
    case ast::BinaryOp::kDiv: return ArithOp::kDiv;
    case ast::BinaryOp::kMod: return ArithOp::kMod;
    default: return ArithOp::kAdd;
  }
}

// A number meeting a datetime counts days: the milliseconds to add.
std::string DaysToMs(const Fragment& n) {
  if (n.type.IsInteger()) return "(" + n.sql + ") * 86400000";
  if (n.type.kind == TypeKind::kDecimal || n.type.kind == TypeKind::kMoney)
    return "CAST(round(t_dtof(" + n.sql + ") * 86400000.0) AS INTEGER)";
  return "CAST(round((" + n.sql + ") * 86400000.0) AS INTEGER)";
}

}  // namespace

Fragment Binder::ResolveColumn(const ast::ColumnRef& c, const Scope& scope) {
  const std::string& column = c.parts.back();
  const bool qualified = c.parts.size() > 1;
  const std::string qualifier = qualified ? c.parts[c.parts.size() - 2] : std::string();
  int depth = 0;
  for (const Scope* s = &scope; s != nullptr; s = s->parent, ++depth) {
    const Source* found_source = nullptr;
    const SourceColumn* found = nullptr;
    bool qualifier_seen = false;
    for (const Source& src : s->sources) {
      if (qualified && !EqualsNoCase(src.alias, qualifier)) continue;
      qualifier_seen = true;
      for (const SourceColumn& col : src.columns) {
        if (!EqualsNoCase(col.name, column)) continue;
        if (found != nullptr)
          Fail(209, "Ambiguous column name '" + column + "'.", c.line);
        found = &col;
        found_source = &src;
      }
    }
    if (found != nullptr) {
      Fragment f;
      f.sql = found_source->sqlite_alias + "." + found->sql;
      NoteColumnUse(found_source->sqlite_alias, found->sql);
      f.type = found->type;
      f.nullable = found->nullable;
      // A view's column metadata comes from its expressions; only a table's own
      // constraint is a promise.
      f.never_null = !found->nullable && found_source->table && !found_source->table->is_view;
      if (depth == 0) f.bare_columns.push_back(f.sql);
      return f;
    }
    if (qualified && qualifier_seen)
      Fail(207, "Invalid column name '" + column + "'.", c.line);
  }
  if (qualified)
    Fail(4104, "The multi-part identifier \"" + JoinName(c.parts) + "\" could not be bound.",
         c.line);
  Fail(207, "Invalid column name '" + column + "'.", c.line);
}

Fragment Binder::BindPredicate(const ast::Expr& e, Scope& scope) {
  Fragment f = BindExpr(e, scope);
  if (!f.predicate)
    Fail(4145,
         "An expression of non-boolean type specified in a context where a condition is "
         "expected, near '" + ast::ToSql(e) + "'.",
         e.line);
  return f;
}

Fragment Binder::Compare(Fragment a, ast::CompareOp op, Fragment b, int line) {
  (void)line;
  const std::string collate = ComparableOperands(a, b);
  return Compared(a, op, b, collate);
}

Fragment Compared(const Fragment& a, ast::CompareOp op, const Fragment& b,
                  const std::string& collate) {
  Fragment r = Derived("(" + a.sql + " " + CompareText(op) + " " + b.sql + collate + ")",
                       TypeInfo::Of(TypeKind::kBit), {&a, &b});
  r.predicate = true;
  return r;
}

std::string Binder::ComparableOperands(Fragment& a, Fragment& b) {
  std::string collate;
  if (!a.null_literal && !b.null_literal) {
    const TypeInfo ta = a.type, tb = b.type;
    if (ta.IsText() && tb.IsText()) {
      collate = " COLLATE TSQL";
    } else if ((ta.IsExact() && !ta.IsInteger() && tb.IsApprox()) ||
               (tb.IsExact() && !tb.IsInteger() && ta.IsApprox())) {
      a = Convert(std::move(a), TypeInfo::Of(TypeKind::kFloat));
      b = Convert(std::move(b), TypeInfo::Of(TypeKind::kFloat));
    } else if (ta.kind != tb.kind) {
      Fragment& low = ta.kind < tb.kind ? a : b;
      const Fragment& high = ta.kind < tb.kind ? b : a;
      const TypeInfo ht = high.type;
      if (low.type.IsText()) {
        TypeInfo to = ht;
        if (ht.kind == TypeKind::kDecimal) to = TypeInfo::Decimal(38, std::max<int>(ht.scale, 10));
        low = Convert(std::move(low), to);
      } else if (ht.kind == TypeKind::kDecimal || ht.kind == TypeKind::kMoney) {
        if (low.type.IsInteger()) low = Convert(std::move(low), DecimalTypeOf(low));
      } else if (ht.IsDateTime()) {
        low = Convert(std::move(low), ht);
      }
      // integers of different widths, and integers against floats, compare natively
    }
  }
  return collate;
}

Fragment Binder::Arithmetic(ast::BinaryOp op, Fragment a, Fragment b, int line) {
  if (op == ast::BinaryOp::kBitAnd || op == ast::BinaryOp::kBitOr ||
      op == ast::BinaryOp::kBitXor) {
    if (!(a.type.IsInteger() || a.null_literal) || !(b.type.IsInteger() || b.null_literal))
      Fail(402, "The data types " + BaseTypeName(a.type) + " and " + BaseTypeName(b.type) +
                    " are incompatible in the '" + OperatorName(op) + "' operator.",
           line);
    TypeInfo t = TypeInfo::Of(std::max({a.type.kind, b.type.kind, TypeKind::kBit}));
    std::string sql = op == ast::BinaryOp::kBitAnd  ? "(" + a.sql + " & " + b.sql + ")"
                      : op == ast::BinaryOp::kBitOr ? "(" + a.sql + " | " + b.sql + ")"
                                                    : "((" + a.sql + " | " + b.sql + ") - (" +
                                                          a.sql + " & " + b.sql + "))";
    Fragment r = Derived(sql, t, {&a, &b});
    return r;
  }
  const ArithOp aop = ToArith(op);
  std::optional<TypeInfo> rt = ArithmeticResultType(aop, a.type, b.type);
  if (!rt)
    Fail(8117, "Operand data type " +
                   BaseTypeName(a.type.IsText() && b.type.IsText() ? a.type
                                : (a.type.IsDateTime() || !a.type.IsNumeric()) ? a.type
                                                                               : b.type) +
                   " is invalid for " + OperatorName(op) + " operator.",
         line);
  if (a.null_literal || b.null_literal) {
    Fragment r = Derived("NULL", *rt, {&a, &b});
    r.nullable = true;
    r.null_literal = a.null_literal && b.null_literal;
    return r;
  }
  static const char* kOps[] = {"+", "-", "*", "/", "%"};
  const std::string sym = kOps[static_cast<int>(aop)];

  if (a.type.IsText() && b.type.IsText()) {
    return Derived("(" + a.sql + " || " + b.sql + ")", *rt, {&a, &b});
  }
  if (a.type.IsDateTime() || b.type.IsDateTime()) {
    if (a.type.IsText()) a = Convert(std::move(a), TypeInfo::Of(TypeKind::kDateTime));
    if (b.type.IsText()) b = Convert(std::move(b), TypeInfo::Of(TypeKind::kDateTime));
    std::string left = a.type.IsDateTime() ? a.sql : DaysToMs(a);
    std::string right = b.type.IsDateTime() ? b.sql : DaysToMs(b);
    return Derived("(" + left + " " + sym + " " + right + ")", *rt, {&a, &b});
  }
  const TypeKind k = rt->kind;
  if (k == TypeKind::kReal || k == TypeKind::kFloat) {
    a = Convert(std::move(a), TypeInfo::Of(TypeKind::kFloat));
    b = Convert(std::move(b), TypeInfo::Of(TypeKind::kFloat));
    // A result beyond a float's range is the server's overflow error, not an infinity.
    std::string sql = aop == ArithOp::kDiv ? "t_fchk(t_fdiv(" + a.sql + ", " + b.sql + "))"
                                           : "t_fchk(" + a.sql + " " + sym + " " + b.sql + ")";
    if (k == TypeKind::kReal) sql = "t_cvt(" + sql + ", 'float', 'real', NULL)";
    return Derived(sql, *rt, {&a, &b});
  }
  if (k == TypeKind::kDecimal || k == TypeKind::kMoney) {
    auto as_decimal = [&](Fragment f, const TypeInfo& other) {
      if (f.type.IsText())
        return Convert(std::move(f), TypeInfo::Decimal(38, std::max<int>(other.scale, 10)));
      if (f.type.IsInteger()) return Convert(std::move(f), DecimalTypeOf(f));
      return f;
    };
    TypeInfo result = *rt;
    if (k == TypeKind::kDecimal && !a.type.IsText() && !b.type.IsText())
      result = DecimalResultType(aop, DecimalTypeOf(a), DecimalTypeOf(b));
    const TypeInfo ta = a.type, tb = b.type;
    a = as_decimal(std::move(a), tb);
    b = as_decimal(std::move(b), ta);
    if (k == TypeKind::kDecimal && (ta.IsText() || tb.IsText()))
      result = DecimalResultType(aop, a.type, b.type);
    static const char* kFns[] = {"t_dadd", "t_dsub", "t_dmul", "t_ddiv", "t_dmod"};
    const TypeInfo d = AsDecimalType(result);
    return Derived(std::string(kFns[static_cast<int>(aop)]) + "(" + a.sql + ", " + b.sql + ", " +
                       std::to_string(d.precision) + ", " + std::to_string(d.scale) + ")",
                   result, {&a, &b});
  }
  // Integers (a text operand converts to the integer type).
  if (a.type.IsText()) a = Convert(std::move(a), *rt);
  if (b.type.IsText()) b = Convert(std::move(b), *rt);
  std::string sql;
  if (aop == ArithOp::kDiv) {
    sql = "t_idiv(" + a.sql + ", " + b.sql + ")";
  } else if (aop == ArithOp::kMod) {
    sql = "t_imod(" + a.sql + ", " + b.sql + ")";
  } else {
    sql = "(" + a.sql + " " + sym + " " + b.sql + ")";
  }
  // SQLite computes in 64 bits; the T-SQL result type bounds the value (8115).
  // A remainder always fits its operands' type.
  if (aop != ArithOp::kMod) {
    int range = -1;
    switch (k) {
      case TypeKind::kTinyInt: range = 0; break;
      case TypeKind::kSmallInt: range = 1; break;
      case TypeKind::kInt: range = 2; break;
      case TypeKind::kBigInt: range = 3; break;
      default: break;
    }
    if (range >= 0) sql = "t_ichk(" + sql + ", " + std::to_string(range) + ")";
  }
  return Derived(sql, *rt, {&a, &b});
}

Fragment Binder::BindExpr(const ast::Expr& e, Scope& scope) {
  switch (e.kind) {
    case ast::ExprKind::kLiteral: {
      const auto& lit = e.As<ast::LiteralExpr>();
      Fragment f;
      f.nullable = false;
      f.type = lit.type;
      if (lit.literal_index < 0) {
        // A constant the parser made up: inline it.
        if (lit.form == ast::LiteralExpr::Form::kString ||
            lit.form == ast::LiteralExpr::Form::kNString)
          f.sql = QuoteText(lit.value);
        else if (lit.form == ast::LiteralExpr::Form::kDecimal)
          f.sql = "t_dec(" + QuoteText(lit.value) + ")";
        else
          f.sql = lit.value;
        return f;
      }
      ParamSource p;
      p.kind = ParamSource::Kind::kLiteral;
      p.literal = lit.literal_index;
      p.type = lit.type;
      f.param = AddParam(std::move(p));
      f.literal = lit.literal_index;
      f.sql = ParamSql(f.param);
      if (lit.form == ast::LiteralExpr::Form::kInteger) f.int_literal_digits = CountDigits(lit.value);
      return f;
    }
    case ast::ExprKind::kNull: {
      Fragment f;
      f.sql = "NULL";
      f.null_literal = true;
      return f;
    }
    case ast::ExprKind::kDefault:
      Fail(156, "Incorrect syntax near the keyword 'DEFAULT'.", e.line, 15);
    case ast::ExprKind::kColumn:
      return ResolveColumn(e.As<ast::ColumnRef>(), scope);
    case ast::ExprKind::kVariable: {
      const auto& v = e.As<ast::VariableExpr>();
      const TypeInfo* t = ctx_.variables.Find(v.name);
      if (t == nullptr) Fail(137, "Must declare the scalar variable \"" + v.name + "\".", e.line, 15);
      ParamSource p;
      p.kind = ParamSource::Kind::kVariable;
      p.variable = AsciiLower(v.name);
      p.type = *t;
      Fragment f;
      f.type = *t;
      f.param = AddParam(std::move(p));
      f.sql = ParamSql(f.param);
      return f;
    }
    case ast::ExprKind::kSystemVariable: {
      const auto& v = e.As<ast::SystemVariableExpr>();
      static const char* kKnown[] = {"@@rowcount", "@@error", "@@identity", "@@trancount",
                                     "@@fetch_status", "@@spid", "@@nestlevel",
                                     "@@version", "@@servername"};
      if (std::none_of(std::begin(kKnown), std::end(kKnown),
                       [&](const char* k) { return v.name == k; }))
        NotSupported(v.name, e.line);
      ParamSource p;
      p.kind = ParamSource::Kind::kSystem;
      p.variable = v.name;
      p.type = v.name == "@@identity" ? TypeInfo::Decimal(38, 0) : TypeInfo::Of(TypeKind::kInt);
      if (v.name == "@@version") p.type = TypeInfo{TypeKind::kNVarChar, 0, 0, 300};
      if (v.name == "@@servername") p.type = TypeInfo{TypeKind::kNVarChar, 0, 0, 128};
      Fragment f;
      f.type = p.type;
      f.param = AddParam(std::move(p));
      f.sql = ParamSql(f.param);
      return f;
    }
    case ast::ExprKind::kUnary: {
      const auto& u = e.As<ast::UnaryExpr>();
      if (u.op == ast::UnaryOp::kNot) {
        Fragment a = BindPredicate(*u.operand, scope);
        Fragment r = Derived("(NOT " + a.sql + ")", a.type, {&a});
        r.predicate = true;
        return r;
      }
      Fragment a = BindExpr(*u.operand, scope);
      if (a.predicate) Fail(4145, "An expression of non-boolean type was expected.", e.line);
      if (u.op == ast::UnaryOp::kPlus || a.null_literal) return a;
      if (u.op == ast::UnaryOp::kBitNot) {
        if (!a.type.IsInteger()) Fail(8117, "Operand data type " + BaseTypeName(a.type) +
                                                " is invalid for ~ operator.", e.line);
        return Derived("(~" + a.sql + ")", a.type, {&a});
      }
      if (a.type.IsText() || a.type.IsDateTime())
        Fail(8117, "Operand data type " + BaseTypeName(a.type) + " is invalid for minus operator.",
             e.line);
      std::string negated = "(-" + a.sql + ")";
      // The lowest int, smallint or bigint has no positive counterpart (8115).
      if (a.literal < 0 && a.type.kind == TypeKind::kInt) negated = "t_ichk(" + negated + ", 2)";
      if (a.literal < 0 && a.type.kind == TypeKind::kSmallInt) negated = "t_ichk(" + negated + ", 1)";
      if (a.literal < 0 && a.type.kind == TypeKind::kBigInt) negated = "t_ichk(" + negated + ", 3)";
      Fragment r = (a.type.kind == TypeKind::kDecimal || a.type.kind == TypeKind::kMoney)
                       ? Derived("t_dneg(" + a.sql + ")", a.type, {&a})
                       : Derived(negated, a.type, {&a});
      r.int_literal_digits = a.int_literal_digits;  // -30 is still a 2-digit constant
      r.literal = a.literal;
      return r;
    }
    case ast::ExprKind::kBinary:
      return BindChain(e, scope);
    case ast::ExprKind::kCompare: {
      const auto& c = e.As<ast::CompareExpr>();
      Fragment l = BindExpr(*c.left, scope);
      Fragment r = BindExpr(*c.right, scope);
      return Compare(std::move(l), c.op, std::move(r), e.line);
    }
    case ast::ExprKind::kLogical: {
      // A chain of one operator (a OR b OR c ..., as a client's filter of many terms is) is
      // bound operand by operand, left to right, and written flat: its length costs neither
      // stack here nor depth in SQLite's parser.
      const ast::LogicalOp op = e.As<ast::LogicalExpr>().op;
      std::vector<const ast::Expr*> operands;
      const ast::Expr* node = &e;
      while (node->kind == ast::ExprKind::kLogical && node->As<ast::LogicalExpr>().op == op) {
        operands.push_back(node->As<ast::LogicalExpr>().right.get());
        node = node->As<ast::LogicalExpr>().left.get();
      }
      operands.push_back(node);
      std::reverse(operands.begin(), operands.end());
      std::vector<Fragment> parts;
      parts.reserve(operands.size());
      std::vector<const Fragment*> part_ptrs;
      std::vector<std::string> terms;
      if (op == ast::LogicalOp::kOr) {
        std::vector<EqualsConstant> eq(operands.size());
        for (size_t i = 0; i < operands.size(); ++i) {
          parts.push_back(BindOrTerm(*operands[i], scope, eq[i]));
          part_ptrs.push_back(&parts.back());
        }
        terms = JoinEqualityRuns(parts, eq);
      } else {
        for (const ast::Expr* operand : operands) {
          parts.push_back(BindPredicate(*operand, scope));
          part_ptrs.push_back(&parts.back());
          terms.push_back(parts.back().sql);
        }
      }
      // Both operators are associative, so the chain is written as a balanced tree: SQLite
      // nests it only as deep as the logarithm of its length.
      const char* sep = op == ast::LogicalOp::kAnd ? " AND " : " OR ";
      auto join = [&](auto& self, size_t lo, size_t hi) -> std::string {
        if (hi - lo == 1) return terms[lo];
        const size_t mid = lo + (hi - lo) / 2;
        return "(" + self(self, lo, mid) + sep + self(self, mid, hi) + ")";
      };
      Fragment r = Derived(join(join, 0, terms.size()), TypeInfo::Of(TypeKind::kBit), part_ptrs);
      r.predicate = true;
      return r;
    }
    case ast::ExprKind::kIsNull: {
      const auto& n = e.As<ast::IsNullExpr>();
      Fragment a = BindExpr(*n.operand, scope);
      Fragment r = Derived("(" + a.sql + (n.negated ? " IS NOT NULL)" : " IS NULL)"),
                           TypeInfo::Of(TypeKind::kBit), {&a});
      r.nullable = false;
      r.predicate = true;
      return r;
    }
    case ast::ExprKind::kLike: {
      const auto& l = e.As<ast::LikeExpr>();
      const TypeInfo text = TypeInfo::VarChar(8000);
      Fragment a = BindExpr(*l.operand, scope);
      Fragment p = BindExpr(*l.pattern, scope);
      if (!a.type.IsText()) a = Convert(std::move(a), text);
      if (!p.type.IsText()) p = Convert(std::move(p), text);
      // Trailing blanks of the matched value count only for Unicode text.
      const bool unicode = a.type.kind == TypeKind::kNVarChar || a.type.kind == TypeKind::kNChar ||
                           a.type.kind == TypeKind::kNText;
      Fragment r = Derived("", TypeInfo::Of(TypeKind::kBit), {&a, &p});
      std::string esc_sql = "NULL";
      if (l.escape) {
        Fragment esc = BindExpr(*l.escape, scope);
        if (!esc.type.IsText() && !esc.null_literal) esc = Convert(std::move(esc), text);
        esc_sql = esc.sql;
        Absorb(r, esc);
      }
      std::string sql = "t_like(" + a.sql + ", " + p.sql + ", " + esc_sql + ", " +
                        (unicode ? "0" : "1") + ")";
      r.sql = l.negated ? "(NOT " + sql + ")" : sql;
      r.predicate = true;
      return r;
    }
    case ast::ExprKind::kBetween: {
      const auto& b = e.As<ast::BetweenExpr>();
      Fragment lo = Compare(BindExpr(*b.operand, scope), ast::CompareOp::kGe,
                            BindExpr(*b.low, scope), e.line);
      Fragment hi = Compare(BindExpr(*b.operand, scope), ast::CompareOp::kLe,
                            BindExpr(*b.high, scope), e.line);
      Fragment r = Derived("(" + lo.sql + " AND " + hi.sql + ")", lo.type, {&lo, &hi});
      if (b.negated) r.sql = "(NOT " + r.sql + ")";
      r.predicate = true;
      return r;
    }
    case ast::ExprKind::kIn: {
      const auto& in = e.As<ast::InExpr>();
      Fragment x = BindExpr(*in.operand, scope);
      std::string list;
      std::vector<std::string> terms;  // the list's items, when it is one
      Fragment r = Derived("", TypeInfo::Of(TypeKind::kBit), {&x});
      if (in.subquery) {
        NoteSubquery(scope);
        RefuseNestedOrder(*in.subquery);
        BoundQuery q = BindQuery(*in.subquery, &scope);
        if (q.columns.size() != 1)
          Fail(116,
               "Only one expression can be specified in the select list when the subquery is "
               "not introduced with EXISTS.",
               e.line);
        TypeInfo t = UnifyTypes(x.type, q.columns[0].type);
        if (x.type.IsText() && q.columns[0].type.IsText()) t = x.type;
        Fragment col;
        col.sql = "\"c1\"";
        col.type = q.columns[0].type;
        Fragment cc = Convert(col, t);
        x = Convert(std::move(x), t);
        list = cc.sql == col.sql ? q.sql : "SELECT " + cc.sql + " FROM (" + q.sql + ")";
      } else {
        std::vector<Fragment> items;
        TypeInfo t = x.type;
        for (const auto& item : in.list) {
          items.push_back(BindExpr(*item, scope));
          if (!(t.IsText() && items.back().type.IsText())) t = UnifyTypes(t, items.back().type);
        }
        for (Fragment& f : items) {
          if (!(t.IsText() && f.type.IsText())) f = Convert(std::move(f), t);
          if (!list.empty()) list += ", ";
          list += f.sql;
          terms.push_back(f.sql);
          Absorb(r, f);
        }
        if (!(t.IsText() && x.type.IsText())) x = Convert(std::move(x), t);
      }
      std::string lhs = x.sql + (x.type.IsText() ? " COLLATE TSQL" : "");
      r.sql = "(" + lhs + (in.negated ? " NOT IN (" : " IN (") + list + "))";
      // A short list against a column, compared in turn: SQLite searches a list of three or
      // more constants through a b-tree it builds for the statement, one search per row,
      // which costs more than a few comparisons. The column is read once per term; a list
      // in a WHERE clause still serves an index, as SQLite takes such a chain for an IN.
      if (terms.size() >= 3 && terms.size() <= kInListCompared && x.bare_columns.size() == 1 &&
          x.sql == x.bare_columns[0]) {
        std::string chain;
        for (const std::string& t : terms)
          chain += (chain.empty() ? "(" : " OR ") + lhs + " = " + t;
        r.sql = in.negated ? "(NOT " + chain + "))" : chain + ")";
      }
      r.nullable = true;
      r.predicate = true;
      return r;
    }
    case ast::ExprKind::kExists: {
      const auto& ex = e.As<ast::ExistsExpr>();
      NoteSubquery(scope);
      RefuseNestedOrder(*ex.subquery);
      BoundQuery q = BindQuery(*ex.subquery, &scope);
      Fragment r;
      r.sql = "EXISTS (" + q.sql + ")";
      r.type = TypeInfo::Of(TypeKind::kBit);
      r.nullable = false;
      r.predicate = true;
      return r;
    }
    case ast::ExprKind::kSubquery: {
      const auto& sq = e.As<ast::SubqueryExpr>();
      NoteSubquery(scope);
      RefuseNestedOrder(*sq.query);
      BoundQuery q = BindQuery(*sq.query, &scope);
      if (q.columns.size() != 1)
        Fail(116,
             "Only one expression can be specified in the select list when the subquery is not "
             "introduced with EXISTS.",
             e.line);
      Fragment r;
      r.type = q.columns[0].type;
      if (q.at_most_one_row) {
        // Written as it is, so that an aggregate of the outer query inside it stays one
        // SQLite can give to the outer query.
        r.sql = "(" + q.sql + ")";
        return r;
      }
      // More than one row is error 512, as the server reports it.
      r.sql =
          "(SELECT CASE WHEN count(*) > 1 THEN t_raise(512, 16, 'Subquery returned more than 1 "
          "value. This is not permitted when the subquery follows =, !=, <, <= , >, >= or when "
          "the subquery is used as an expression.') ELSE max(\"c1\") END FROM (SELECT * FROM (" +
          q.sql + ") LIMIT 2))";
      return r;
    }
    case ast::ExprKind::kCase: {
      const auto& c = e.As<ast::CaseExpr>();
      std::vector<Fragment> conds, results;
      for (const auto& w : c.whens) {
        if (c.operand)
          conds.push_back(Compare(BindExpr(*c.operand, scope), ast::CompareOp::kEq,
                                  BindExpr(*w.when, scope), e.line));
        else
          conds.push_back(BindPredicate(*w.when, scope));
        results.push_back(BindExpr(*w.then, scope));
      }
      std::optional<Fragment> else_value;
      if (c.else_value) else_value = BindExpr(*c.else_value, scope);
      TypeInfo t;
      bool any_typed = false;
      auto take = [&](const Fragment& f) {
        if (f.null_literal) return;
        t = any_typed ? UnifyTypes(t, f.type) : f.type;
        any_typed = true;
      };
      for (const Fragment& f : results) take(f);
      if (else_value) take(*else_value);
      if (!any_typed)
        Fail(8133, "None of the result expressions of a CASE expression can be NULL.", e.line);
      Fragment r = Derived("", t, {});
      std::string sql = "CASE";
      for (size_t i = 0; i < conds.size(); ++i) {
        Fragment v = Convert(std::move(results[i]), t);
        sql += " WHEN " + conds[i].sql + " THEN " + v.sql;
        Absorb(r, conds[i]);
        Absorb(r, v);
      }
      if (else_value) {
        Fragment v = Convert(std::move(*else_value), t);
        sql += " ELSE " + v.sql;
        Absorb(r, v);
      } else {
        r.nullable = true;
      }
      r.sql = "(" + sql + " END)";
      return r;
    }
    case ast::ExprKind::kFunction:
      return BindFunction(e.As<ast::FunctionCall>(), scope);
    case ast::ExprKind::kConvert:
      return BindConvert(e.As<ast::ConvertExpr>(), scope);
    case ast::ExprKind::kIdentity:
      Fail(177, "The IDENTITY function can only be used when the SELECT statement has an INTO "
                "clause.",
           e.line, 15);
  }
  NotSupported("This expression", e.line);
}

}  // namespace morvesk::engine::bind
