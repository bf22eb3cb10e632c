// T-SQL-like rendering of parse trees (every operator parenthesised), and the small
// helpers of ast.h.
#include <sstream>

#include "base/ascii.h"
#include "engine/sql/ast.h"

namespace morvesk::engine::ast {
namespace {

using base::AsciiLower;

std::string JoinName(const Name& n) {
  std::string out;
  for (size_t i = 0; i < n.size(); ++i) {
    if (i > 0) out += '.';
    out += n[i];
  }
  return out;
}

const char* BinaryText(BinaryOp op) {
  switch (op) {
    case BinaryOp::kAdd: return "+";
    case BinaryOp::kSub: return "-";
    case BinaryOp::kMul: return "*";
    case BinaryOp::kDiv: return "/";
    case BinaryOp::kMod: return "%";
    case BinaryOp::kBitAnd: return "&";
    case BinaryOp::kBitOr: return "|";
    case BinaryOp::kBitXor: return "^";
  }
  return "?";
}

const char* CompareText(CompareOp op) {
  switch (op) {
    case CompareOp::kEq: return "=";
    case CompareOp::kNe: return "<>";
    case CompareOp::kLt: return "<";
    case CompareOp::kGt: return ">";
    case CompareOp::kLe: return "<=";
    case CompareOp::kGe: return ">=";
    case CompareOp::kNotLt: return "!<";
    case CompareOp::kNotGt: return "!>";
  }
  return "?";
}

class Printer {
 public:
  std::string out;

  void Expr(const ast::Expr& e) {
    switch (e.kind) {
      case ExprKind::kLiteral: out += e.As<LiteralExpr>().text; break;
      case ExprKind::kNull: out += "NULL"; break;
      case ExprKind::kDefault: out += "DEFAULT"; break;
      case ExprKind::kColumn: out += JoinName(e.As<ColumnRef>().parts); break;
      case ExprKind::kVariable: out += e.As<VariableExpr>().name; break;
      case ExprKind::kSystemVariable: out += e.As<SystemVariableExpr>().name; break;
      case ExprKind::kUnary: {
        const auto& u = e.As<UnaryExpr>();
        static const char* const kText[] = {"-", "+", "~", "NOT "};
        out += "(";
        out += kText[static_cast<int>(u.op)];
        Expr(*u.operand);
        out += ")";
        break;
      }
      case ExprKind::kBinary: {
        const auto& b = e.As<BinaryExpr>();
        Infix(*b.left, BinaryText(b.op), *b.right);
        break;
      }
      case ExprKind::kCompare: {
        const auto& c = e.As<CompareExpr>();
        Infix(*c.left, CompareText(c.op), *c.right);
        break;
      }
      case ExprKind::kLogical: {
        const auto& l = e.As<LogicalExpr>();
        Infix(*l.left, l.op == LogicalOp::kAnd ? "AND" : "OR", *l.right);
        break;
      }
      case ExprKind::kIsNull: {
        const auto& i = e.As<IsNullExpr>();
        out += "(";
        Expr(*i.operand);
        out += i.negated ? " IS NOT NULL)" : " IS NULL)";
        break;
      }
      case ExprKind::kLike: {
        const auto& l = e.As<LikeExpr>();
        out += "(";
        Expr(*l.operand);
        out += l.negated ? " NOT LIKE " : " LIKE ";
        Expr(*l.pattern);
        if (l.escape) {
          out += " ESCAPE ";
          Expr(*l.escape);
        }
        out += ")";
        break;
      }
      case ExprKind::kBetween: {
        const auto& b = e.As<BetweenExpr>();
        out += "(";
        Expr(*b.operand);
        out += b.negated ? " NOT BETWEEN " : " BETWEEN ";
        Expr(*b.low);
        out += " AND ";
        Expr(*b.high);
        out += ")";
        break;
      }
      case ExprKind::kIn: {
        const auto& i = e.As<InExpr>();
        out += "(";
        Expr(*i.operand);
        out += i.negated ? " NOT IN (" : " IN (";
        if (i.subquery) {
          Query(*i.subquery);
        } else {
          List(i.list);
        }
        out += "))";
        break;
      }
      case ExprKind::kExists:
        out += "EXISTS (";
        Query(*e.As<ExistsExpr>().subquery);
        out += ")";
        break;
      case ExprKind::kSubquery:
        out += "(";
        Query(*e.As<SubqueryExpr>().query);
        out += ")";
        break;
      case ExprKind::kCase: {
        const auto& c = e.As<CaseExpr>();
        out += "CASE";
        if (c.operand) {
          out += " ";
          Expr(*c.operand);
        }
        for (const auto& w : c.whens) {
          out += " WHEN ";
          Expr(*w.when);
          out += " THEN ";
          Expr(*w.then);
        }
        if (c.else_value) {
          out += " ELSE ";
          Expr(*c.else_value);
        }
        out += " END";
        break;
      }
      case ExprKind::kFunction: {
        const auto& f = e.As<FunctionCall>();
        out += JoinName(f.name) + "(";
        if (f.star) out += "*";
        if (f.distinct) out += "DISTINCT ";
        List(f.args);
        out += ")";
        break;
      }
      case ExprKind::kConvert: {
        const auto& c = e.As<ConvertExpr>();
        if (c.is_cast) {
          out += "CAST(";
          Expr(*c.operand);
          out += " AS " + c.target.text + ")";
        } else {
          out += "CONVERT(" + c.target.text + ", ";
          Expr(*c.operand);
          if (c.style) out += ", " + std::to_string(*c.style);
          out += ")";
        }
        break;
      }
      case ExprKind::kIdentity: {
        const auto& i = e.As<IdentityExpr>();
        out += "IDENTITY(" + i.type.text + ", " + std::to_string(i.seed) + ", " +
               std::to_string(i.increment) + ")";
        break;
      }
    }
  }

  // A left-deep chain is printed by a loop along its left links (see ast::LeftLink), so its
  // length costs no stack.
  void Infix(const ast::Expr& l, const char* op, const ast::Expr& r) {
    std::vector<const ast::Expr*> spine;
    const ast::Expr* head = &l;
    while (head->kind == ast::ExprKind::kBinary || head->kind == ast::ExprKind::kLogical) {
      spine.push_back(head);
      head = head->kind == ast::ExprKind::kBinary ? head->As<ast::BinaryExpr>().left.get()
                                                  : head->As<ast::LogicalExpr>().left.get();
    }
    out.append(spine.size() + 1, '(');
    Expr(*head);
    for (auto it = spine.rbegin(); it != spine.rend(); ++it) {
      const ast::Expr& node = **it;
      out += " ";
      if (node.kind == ast::ExprKind::kBinary) {
        out += BinaryText(node.As<ast::BinaryExpr>().op);
        out += " ";
        Expr(*node.As<ast::BinaryExpr>().right);
      } else {
        out += node.As<ast::LogicalExpr>().op == ast::LogicalOp::kAnd ? "AND" : "OR";
        out += " ";
        Expr(*node.As<ast::LogicalExpr>().right);
      }
      out += ")";
    }
    out += " ";
    out += op;
    out += " ";
    Expr(r);
    out += ")";
  }

  void List(const std::vector<ExprPtr>& list) {
    for (size_t i = 0; i < list.size(); ++i) {
      if (i > 0) out += ", ";
      Expr(*list[i]);
    }
  }

  void Table(const TableRef& t) {
    switch (t.kind) {
      case TableRefKind::kNamed: {
        const auto& n = t.As<NamedTable>();
        out += JoinName(n.name);
        if (!n.alias.empty()) out += " AS " + n.alias;
        break;
      }
      case TableRefKind::kDerived: {
        const auto& d = t.As<DerivedTable>();
        out += "(";
        Query(*d.query);
        out += ") AS " + d.alias;
        break;
      }
      case TableRefKind::kJoin: {
        const auto& j = t.As<JoinRef>();
        static const char* const kText[] = {" INNER JOIN ", " LEFT JOIN ", " RIGHT JOIN ",
                                            " FULL JOIN ", " CROSS JOIN "};
        out += "(";
        Table(*j.left);
        out += kText[static_cast<int>(j.type)];
        Table(*j.right);
        if (j.on) {
          out += " ON ";
          Expr(*j.on);
        }
        out += ")";
        break;
      }
    }
  }

  void From(const std::vector<TableRefPtr>& from) {
    if (from.empty()) return;
    out += " FROM ";
    for (size_t i = 0; i < from.size(); ++i) {
      if (i > 0) out += ", ";
      Table(*from[i]);
    }
  }

  void Core(const SelectCore& c) {
    out += "SELECT ";
    if (c.distinct) out += "DISTINCT ";
    if (c.top) {
      out += "TOP ";
      Expr(*c.top->count);
      if (c.top->percent) out += " PERCENT";
      if (c.top->with_ties) out += " WITH TIES";
      out += " ";
    }
    for (size_t i = 0; i < c.items.size(); ++i) {
      if (i > 0) out += ", ";
      const SelectItem& item = c.items[i];
      switch (item.kind) {
        case SelectItem::Kind::kStar:
          if (!item.star_qualifier.empty()) out += JoinName(item.star_qualifier) + ".";
          out += "*";
          break;
        case SelectItem::Kind::kAssign:
          out += item.variable + " = ";
          Expr(*item.expr);
          break;
        case SelectItem::Kind::kExpr:
          Expr(*item.expr);
          if (!item.alias.empty()) out += " AS " + item.alias;
          break;
      }
    }
    if (c.into) out += " INTO " + JoinName(*c.into);
    From(c.from);
    if (c.where) {
      out += " WHERE ";
      Expr(*c.where);
    }
    if (!c.group_by.empty()) {
      out += " GROUP BY ";
      List(c.group_by);
    }
    if (c.having) {
      out += " HAVING ";
      Expr(*c.having);
    }
  }

  void Query(const ast::Query& q) {
    for (const auto& b : q.branches) {
      if (b->op == SetOp::kUnion) out += " UNION ";
      if (b->op == SetOp::kUnionAll) out += " UNION ALL ";
      if (b->op == SetOp::kExcept) out += " EXCEPT ";
      if (b->op == SetOp::kIntersect) out += " INTERSECT ";
      Core(*b);
    }
    if (!q.order_by.empty()) {
      out += " ORDER BY ";
      for (size_t i = 0; i < q.order_by.size(); ++i) {
        if (i > 0) out += ", ";
        Expr(*q.order_by[i].expr);
        if (q.order_by[i].descending) out += " DESC";
      }
    }
  }

  void Column(const ColumnDef& c) {
    out += c.name + " " + c.type.text;
    if (c.identity) {
      out += " IDENTITY(" + std::to_string(c.identity_seed) + ", " +
             std::to_string(c.identity_increment) + ")";
    }
    if (c.nullable) out += *c.nullable ? " NULL" : " NOT NULL";
    if (c.default_value) {
      out += " DEFAULT ";
      Expr(*c.default_value);
    }
  }

  void Constraint(const TableConstraint& c) {
    if (!c.name.empty()) out += "CONSTRAINT " + c.name + " ";
    out += c.kind == TableConstraint::Kind::kPrimaryKey ? "PRIMARY KEY" : "UNIQUE";
    if (c.clustered) out += *c.clustered ? " CLUSTERED" : " NONCLUSTERED";
    out += " (";
    IndexColumns(c.columns);
    out += ")";
  }

  void IndexColumns(const std::vector<IndexColumn>& cols) {
    for (size_t i = 0; i < cols.size(); ++i) {
      if (i > 0) out += ", ";
      out += cols[i].name;
      if (cols[i].descending) out += " DESC";
    }
  }

  void Elements(const std::vector<ColumnDef>& cols, const std::vector<TableConstraint>& cons) {
    bool first = true;
    for (const auto& c : cols) {
      if (!first) out += ", ";
      first = false;
      Column(c);
    }
    for (const auto& c : cons) {
      if (!first) out += ", ";
      first = false;
      Constraint(c);
    }
  }

  // Each statement of a block, a blank before it and a semicolon after it.
  void Statements(const std::vector<StatementPtr>& list) {
    for (const auto& b : list) {
      out += " ";
      Stmt(*b);
      out += ";";
    }
  }

  void Stmt(const Statement& s) {
    switch (s.kind) {
      case StmtKind::kSelect: Query(*s.As<SelectStmt>().query); break;
      case StmtKind::kInsert: {
        const auto& i = s.As<InsertStmt>();
        out += "INSERT INTO " + JoinName(i.target);
        if (!i.columns.empty()) {
          out += " (";
          for (size_t k = 0; k < i.columns.size(); ++k) out += (k ? ", " : "") + i.columns[k];
          out += ")";
        }
        if (i.source == InsertStmt::Source::kSelect) {
          out += " ";
          Query(*i.select);
        } else if (i.source == InsertStmt::Source::kDefaultValues) {
          out += " DEFAULT VALUES";
        } else {
          out += " VALUES ";
          for (size_t r = 0; r < i.values.size(); ++r) {
            out += r ? ", (" : "(";
            List(i.values[r]);
            out += ")";
          }
        }
        break;
      }
      case StmtKind::kUpdate: {
        const auto& u = s.As<UpdateStmt>();
        out += "UPDATE " + JoinName(u.target) + " SET ";
        for (size_t k = 0; k < u.sets.size(); ++k) {
          if (k > 0) out += ", ";
          if (!u.sets[k].variable.empty()) out += u.sets[k].variable + " = ";
          if (!u.sets[k].column_name.empty()) out += JoinName(u.sets[k].column_name) + " = ";
          Expr(*u.sets[k].value);
        }
        From(u.from);
        if (u.where) {
          out += " WHERE ";
          Expr(*u.where);
        }
        break;
      }
      case StmtKind::kDelete: {
        const auto& d = s.As<DeleteStmt>();
        out += "DELETE " + JoinName(d.target);
        From(d.from);
        if (d.where) {
          out += " WHERE ";
          Expr(*d.where);
        }
        break;
      }
      case StmtKind::kTruncate: out += "TRUNCATE TABLE " + JoinName(s.As<TruncateStmt>().table); break;
      case StmtKind::kCreateTable: {
        const auto& c = s.As<CreateTableStmt>();
        out += "CREATE TABLE " + JoinName(c.table) + " (";
        Elements(c.columns, c.constraints);
        out += ")";
        break;
      }
      case StmtKind::kAlterTableAdd: {
        const auto& a = s.As<AlterTableAddStmt>();
        out += "ALTER TABLE " + JoinName(a.table) + " ADD ";
        Elements(a.columns, a.constraints);
        break;
      }
      case StmtKind::kCreateIndex: {
        const auto& c = s.As<CreateIndexStmt>();
        out += "CREATE ";
        if (c.unique) out += "UNIQUE ";
        if (c.clustered) out += *c.clustered ? "CLUSTERED " : "NONCLUSTERED ";
        out += "INDEX " + c.name + " ON " + JoinName(c.table) + " (";
        IndexColumns(c.columns);
        out += ")";
        break;
      }
      case StmtKind::kDropIndex: {
        const auto& d = s.As<DropIndexStmt>();
        out += "DROP INDEX ";
        for (size_t k = 0; k < d.indexes.size(); ++k) {
          if (k > 0) out += ", ";
          out += d.indexes[k].index + " ON " + JoinName(d.indexes[k].table);
        }
        break;
      }
      case StmtKind::kDrop: {
        const auto& d = s.As<DropStmt>();
        static const char* const kText[] = {"TABLE", "VIEW", "PROCEDURE"};
        out += std::string("DROP ") + kText[static_cast<int>(d.object)];
        if (d.if_exists) out += " IF EXISTS";
        for (size_t k = 0; k < d.names.size(); ++k) out += (k ? ", " : " ") + JoinName(d.names[k]);
        break;
      }
      case StmtKind::kCreateView: {
        const auto& v = s.As<CreateViewStmt>();
        out += (v.alter ? "ALTER VIEW " : "CREATE VIEW ") + JoinName(v.name) + " AS ";
        Query(*v.query);
        break;
      }
      case StmtKind::kCreateProcedure: {
        const auto& p = s.As<CreateProcedureStmt>();
        out += (p.alter ? "ALTER PROCEDURE " : "CREATE PROCEDURE ") + JoinName(p.name);
        for (size_t k = 0; k < p.params.size(); ++k) {
          out += k ? ", " : " ";
          out += p.params[k].name + " " + p.params[k].type.text;
          if (p.params[k].default_value) {
            out += " = ";
            Expr(*p.params[k].default_value);
          }
          if (p.params[k].output) out += " OUTPUT";
        }
        out += " AS";
        for (const auto& b : p.body) {
          out += " ";
          Stmt(*b);
          out += ";";
        }
        break;
      }
      case StmtKind::kDeclare: {
        const auto& d = s.As<DeclareStmt>();
        out += "DECLARE ";
        for (size_t k = 0; k < d.variables.size(); ++k) {
          if (k > 0) out += ", ";
          out += d.variables[k].name + " " + d.variables[k].type.text;
          if (d.variables[k].init) {
            out += " = ";
            Expr(*d.variables[k].init);
          }
        }
        break;
      }
      case StmtKind::kSetVariable: {
        const auto& v = s.As<SetVariableStmt>();
        out += "SET " + v.variable + " = ";
        Expr(*v.value);
        break;
      }
      case StmtKind::kSetOption: {
        const auto& o = s.As<SetOptionStmt>();
        out += "SET ";
        for (size_t k = 0; k < o.options.size(); ++k) out += (k ? ", " : "") + Upper(o.options[k]);
        if (!o.table.empty()) out += " " + JoinName(o.table);
        if (!o.word.empty()) out += " " + Upper(o.word);
        if (o.value) {
          out += " ";
          Expr(*o.value);
        }
        if (o.on) out += *o.on ? " ON" : " OFF";
        break;
      }
      case StmtKind::kIf: {
        const auto& i = s.As<IfStmt>();
        out += "IF ";
        Expr(*i.condition);
        out += " ";
        Stmt(*i.then_branch);
        if (i.else_branch) {
          out += " ELSE ";
          Stmt(*i.else_branch);
        }
        break;
      }
      case StmtKind::kWhile: {
        const auto& w = s.As<WhileStmt>();
        out += "WHILE ";
        Expr(*w.condition);
        out += " ";
        Stmt(*w.body);
        break;
      }
      case StmtKind::kBreak: out += "BREAK"; break;
      case StmtKind::kContinue: out += "CONTINUE"; break;
      case StmtKind::kBlock: {
        out += "BEGIN";
        Statements(s.As<BlockStmt>().statements);
        out += " END";
        break;
      }
      case StmtKind::kBeginTran:
      case StmtKind::kCommit:
      case StmtKind::kRollback: {
        const auto& t = s.As<TransactionStmt>();
        out += s.kind == StmtKind::kBeginTran ? "BEGIN TRANSACTION"
               : s.kind == StmtKind::kCommit  ? "COMMIT TRANSACTION"
                                              : "ROLLBACK TRANSACTION";
        if (!t.name.empty()) out += " " + t.name;
        break;
      }
      case StmtKind::kExec: {
        const auto& e = s.As<ExecStmt>();
        out += "EXEC ";
        if (!e.return_variable.empty()) out += e.return_variable + " = ";
        out += JoinName(e.procedure);
        for (size_t k = 0; k < e.args.size(); ++k) {
          out += k ? ", " : " ";
          if (!e.args[k].name.empty()) out += e.args[k].name + " = ";
          Expr(*e.args[k].value);
          if (e.args[k].output) out += " OUTPUT";
        }
        break;
      }
      case StmtKind::kReturn: {
        out += "RETURN";
        if (const auto& v = s.As<ReturnStmt>().value) {
          out += " ";
          Expr(*v);
        }
        break;
      }
      case StmtKind::kPrint:
        out += "PRINT ";
        Expr(*s.As<PrintStmt>().value);
        break;
      case StmtKind::kTryCatch: {
        const auto& t = s.As<TryCatchStmt>();
        out += "BEGIN TRY";
        Statements(t.try_body);
        out += " END TRY BEGIN CATCH";
        Statements(t.catch_body);
        out += " END CATCH";
        break;
      }
      case StmtKind::kThrow: {
        const auto& t = s.As<ThrowStmt>();
        out += "THROW";
        if (t.number) {
          out += " ";
          Expr(*t.number);
          out += ", ";
          Expr(*t.message);
          out += ", ";
          Expr(*t.state);
        }
        break;
      }
      case StmtKind::kRaiserror: {
        const auto& r = s.As<RaiserrorStmt>();
        out += "RAISERROR(";
        Expr(*r.message);
        out += ", ";
        Expr(*r.severity);
        out += ", ";
        Expr(*r.state);
        for (const auto& a : r.args) {
          out += ", ";
          Expr(*a);
        }
        out += ")";
        std::string with;
        if (r.nowait) with += ", NOWAIT";
        if (r.log) with += ", LOG";
        if (r.seterror) with += ", SETERROR";
        if (!with.empty()) out += " WITH " + with.substr(2);
        break;
      }
    }
  }

  static std::string Upper(std::string s) {
    for (char& c : s) {
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return s;
  }
};

}  // namespace

std::string FunctionCall::LowerName() const {
  return name.empty() ? std::string() : AsciiLower(name.back());
}

bool Query::IsAssignment() const {
  for (const SelectItem& item : first().items) {
    if (item.kind == SelectItem::Kind::kAssign) return true;
  }
  return false;
}

bool SetOptionStmt::Is(std::string_view option) const {
  return options.size() == 1 && options[0] == AsciiLower(option);
}

std::string ToSql(const Expr& e) {
  Printer p;
  p.Expr(e);
  return p.out;
}

std::string ToSql(const Query& q) {
  Printer p;
  p.Query(q);
  return p.out;
}

std::string ToSql(const TableRef& t) {
  Printer p;
  p.Table(t);
  return p.out;
}

std::string ToSql(const Statement& s) {
  Printer p;
  p.Stmt(s);
  return p.out;
}

}  // namespace morvesk::engine::ast
