// Parse trees of T-SQL: what the batch says, before any name is resolved or any
// expression typed (that is the binder's job, engine/bind/). Produced by parser.h.
//
// Representation: every node is owned by its parent through std::unique_ptr. Expr,
// TableRef and Statement are base classes tagged with a kind enum; the concrete
// struct for a kind is named in the enum's comment and reached with As<T>(), which
// checks the kind:
//
//   switch (e.kind) {
//     case ExprKind::kBinary: { const auto& b = e.As<BinaryExpr>(); Walk(*b.left); ... }
//   }
//
// Names are kept as written (original case, brackets removed); compare them without
// regard to case. Multi-part names are vectors of parts, empty parts kept
// ("tempdb..#x" -> {"tempdb", "", "#x"}). Every node has the 1-based line and column
// of its first token.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "engine/value/types.h"

namespace morvesk::engine::ast {

// Error number for constructs the engine deliberately does not support (cursors,
// TRY/CATCH, MERGE, common table expressions, INSERT ... EXEC, dynamic SQL, ...).
// Severity 16; the message names the construct: "CURSOR is not supported by this engine."
inline constexpr int kNotSupportedError = 40001;

using Name = std::vector<std::string>;  // multi-part name: {"dbo", "t_ICItem"}

// A type as written: the engine type and the spelling for messages ("decimal(28,10)").
struct TypeName {
  TypeInfo type;
  std::string text;
};

struct Node {
  int line = 0;
  int column = 0;
};

struct Query;
struct Statement;
using StatementPtr = std::unique_ptr<Statement>;

// ---------------------------------------------------------------------------
// Expressions

enum class ExprKind : uint8_t {
  kLiteral,         // LiteralExpr: number or string constant
  kNull,            // NullExpr: NULL
  kDefault,         // DefaultExpr: DEFAULT (INSERT VALUES item, EXEC argument)
  kColumn,          // ColumnRef: FItemID, t.FItemID, dbo.t.FItemID
  kVariable,        // VariableExpr: @Qty
  kSystemVariable,  // SystemVariableExpr: @@ROWCOUNT
  kUnary,           // UnaryExpr: -x, +x, ~x, NOT x
  kBinary,          // BinaryExpr: + - * / % & | ^
  kCompare,         // CompareExpr: = <> != < > <= >= !< !>
  kLogical,         // LogicalExpr: AND, OR
  kIsNull,          // IsNullExpr: x IS [NOT] NULL
  kLike,            // LikeExpr: x [NOT] LIKE p [ESCAPE e]
  kBetween,         // BetweenExpr: x [NOT] BETWEEN a AND b
  kIn,              // InExpr: x [NOT] IN (list) | x [NOT] IN (query)
  kExists,          // ExistsExpr: EXISTS (query); NOT EXISTS is a UnaryExpr kNot over it
  kSubquery,        // SubqueryExpr: (query) used as a scalar value
  kCase,            // CaseExpr: simple and searched CASE
  kFunction,        // FunctionCall: IsNull(a, b), COUNT(*), SUM(DISTINCT x)
  kConvert,         // ConvertExpr: CAST(x AS type), CONVERT(type, x [, style])
  kIdentity,        // IdentityExpr: identity(int, seed, step), only in SELECT ... INTO lists
};

struct Expr : Node {
  explicit Expr(ExprKind k) : kind(k) {}
  virtual ~Expr() = default;
  const ExprKind kind;

  template <class T>
  const T& As() const;
  template <class T>
  T& As();
};
using ExprPtr = std::unique_ptr<Expr>;

struct LiteralExpr : Expr {
  static constexpr ExprKind kKind = ExprKind::kLiteral;
  LiteralExpr() : Expr(kKind) {}
  enum class Form : uint8_t { kInteger, kDecimal, kFloat, kString, kNString };
  Form form = Form::kInteger;
  // text and value are those of the batch this tree was parsed from. A tree cached
  // under a ShapeKey and reused for another batch must take run-time values from that
  // batch's literal list by literal_index; only structural literals are sure to match.
  std::string text;       // as written: "12.50", "'it''s'", "N'x'"
  std::string value;      // digits as written, or string contents with '' folded
  TypeInfo type;          // int / bigint / decimal(p,s) / float / varchar(n) / nvarchar(n)
  int literal_index = -1; // index into Batch::literals
};

struct NullExpr : Expr {
  static constexpr ExprKind kKind = ExprKind::kNull;
  NullExpr() : Expr(kKind) {}
};

struct DefaultExpr : Expr {
  static constexpr ExprKind kKind = ExprKind::kDefault;
  DefaultExpr() : Expr(kKind) {}
};

struct ColumnRef : Expr {
  static constexpr ExprKind kKind = ExprKind::kColumn;
  ColumnRef() : Expr(kKind) {}
  Name parts;  // the last part is the column; the others qualify it
};

struct VariableExpr : Expr {
  static constexpr ExprKind kKind = ExprKind::kVariable;
  VariableExpr() : Expr(kKind) {}
  std::string name;  // "@Qty" as written (match case-insensitively)
};

struct SystemVariableExpr : Expr {
  static constexpr ExprKind kKind = ExprKind::kSystemVariable;
  SystemVariableExpr() : Expr(kKind) {}
  std::string name;  // lower-cased: "@@rowcount", "@@error", "@@identity", "@@trancount"
};

enum class UnaryOp : uint8_t { kMinus, kPlus, kBitNot, kNot };

struct UnaryExpr : Expr {
  static constexpr ExprKind kKind = ExprKind::kUnary;
  UnaryExpr() : Expr(kKind) {}
  UnaryOp op = UnaryOp::kMinus;
  ExprPtr operand;
};

enum class BinaryOp : uint8_t { kAdd, kSub, kMul, kDiv, kMod, kBitAnd, kBitOr, kBitXor };

struct BinaryExpr : Expr {
  static constexpr ExprKind kKind = ExprKind::kBinary;
  BinaryExpr() : Expr(kKind) {}
  ~BinaryExpr() override;
  BinaryOp op = BinaryOp::kAdd;
  ExprPtr left, right;
};

// kNe covers both <> and !=; !< is "not less than" (>=), !> is "not greater than" (<=).
enum class CompareOp : uint8_t { kEq, kNe, kLt, kGt, kLe, kGe, kNotLt, kNotGt };

struct CompareExpr : Expr {
  static constexpr ExprKind kKind = ExprKind::kCompare;
  CompareExpr() : Expr(kKind) {}
  CompareOp op = CompareOp::kEq;
  ExprPtr left, right;
};

enum class LogicalOp : uint8_t { kAnd, kOr };

struct LogicalExpr : Expr {
  static constexpr ExprKind kKind = ExprKind::kLogical;
  LogicalExpr() : Expr(kKind) {}
  ~LogicalExpr() override;
  LogicalOp op = LogicalOp::kAnd;
  ExprPtr left, right;
};

// The left operand of a chain node: a chain of N terms (a + b + ..., a OR b OR ...) is a
// left-deep tree N nodes deep, which every walker takes apart with a loop along these links
// rather than by recursion. Null for any other node.
inline ExprPtr* LeftLink(Expr& e) {
  if (e.kind == ExprKind::kBinary) return &static_cast<BinaryExpr&>(e).left;
  if (e.kind == ExprKind::kLogical) return &static_cast<LogicalExpr&>(e).left;
  return nullptr;
}

// Frees a chain's left side one node at a time.
inline void ReleaseChain(ExprPtr left) {
  while (left) {
    ExprPtr* link = LeftLink(*left);
    if (link == nullptr) break;
    ExprPtr next = std::move(*link);
    left = std::move(next);
  }
}
inline BinaryExpr::~BinaryExpr() { ReleaseChain(std::move(left)); }
inline LogicalExpr::~LogicalExpr() { ReleaseChain(std::move(left)); }

struct IsNullExpr : Expr {
  static constexpr ExprKind kKind = ExprKind::kIsNull;
  IsNullExpr() : Expr(kKind) {}
  ExprPtr operand;
  bool negated = false;  // IS NOT NULL
};

struct LikeExpr : Expr {
  static constexpr ExprKind kKind = ExprKind::kLike;
  LikeExpr() : Expr(kKind) {}
  ExprPtr operand, pattern;
  ExprPtr escape;  // null when there is no ESCAPE clause
  bool negated = false;
};

struct BetweenExpr : Expr {
  static constexpr ExprKind kKind = ExprKind::kBetween;
  BetweenExpr() : Expr(kKind) {}
  ExprPtr operand, low, high;
  bool negated = false;
};

struct InExpr : Expr {
  static constexpr ExprKind kKind = ExprKind::kIn;
  InExpr() : Expr(kKind) {}
  ExprPtr operand;
  std::vector<ExprPtr> list;        // IN (a, b, c); empty when subquery is set
  std::unique_ptr<Query> subquery;  // IN (SELECT ...)
  bool negated = false;
};

struct ExistsExpr : Expr {
  static constexpr ExprKind kKind = ExprKind::kExists;
  ExistsExpr() : Expr(kKind) {}
  std::unique_ptr<Query> subquery;
};

struct SubqueryExpr : Expr {
  static constexpr ExprKind kKind = ExprKind::kSubquery;
  SubqueryExpr() : Expr(kKind) {}
  std::unique_ptr<Query> query;
};

struct WhenClause {
  ExprPtr when;  // condition (searched CASE) or value compared with the operand (simple CASE)
  ExprPtr then;
};

struct CaseExpr : Expr {
  static constexpr ExprKind kKind = ExprKind::kCase;
  CaseExpr() : Expr(kKind) {}
  ExprPtr operand;  // simple CASE x WHEN ...; null for the searched form
  std::vector<WhenClause> whens;
  ExprPtr else_value;  // null when there is no ELSE
};

// OVER (PARTITION BY ... ORDER BY ...) of a ranking function.
struct OverClause {
  struct Order {
    ExprPtr expr;
    bool descending = false;
  };
  std::vector<ExprPtr> partition_by;
  std::vector<Order> order_by;
};

struct FunctionCall : Expr {
  static constexpr ExprKind kKind = ExprKind::kFunction;
  FunctionCall() : Expr(kKind) {}
  Name name;  // {"IsNull"}, {"dbo", "fn"}; as written
  std::vector<ExprPtr> args;
  std::unique_ptr<OverClause> over;  // row_number() OVER (...); null for a plain call
  bool distinct = false;  // COUNT(DISTINCT x)
  bool star = false;      // COUNT(*): args is empty
  // Lower-cased last part of the name, for dispatch.
  std::string LowerName() const;
};

struct ConvertExpr : Expr {
  static constexpr ExprKind kKind = ExprKind::kConvert;
  ConvertExpr() : Expr(kKind) {}
  bool is_cast = false;  // written CAST(x AS type)
  TypeName target;
  ExprPtr operand;
  std::optional<int> style;  // CONVERT's third argument (an integer literal)
};

struct IdentityExpr : Expr {
  static constexpr ExprKind kKind = ExprKind::kIdentity;
  IdentityExpr() : Expr(kKind) {}
  TypeName type;
  int64_t seed = 1;
  int64_t increment = 1;
};

// ---------------------------------------------------------------------------
// Table sources (FROM clause)

enum class TableRefKind : uint8_t {
  kNamed,    // NamedTable: t_CC_Bal b, dbo.t_ICItem WITH (NOLOCK)
  kDerived,  // DerivedTable: (SELECT ...) AS a
  kJoin,     // JoinRef: left JOIN right ON cond
};

struct TableRef : Node {
  explicit TableRef(TableRefKind k) : kind(k) {}
  virtual ~TableRef() = default;
  const TableRefKind kind;

  template <class T>
  const T& As() const;
  template <class T>
  T& As();
};
using TableRefPtr = std::unique_ptr<TableRef>;

struct NamedTable : TableRef {
  static constexpr TableRefKind kKind = TableRefKind::kNamed;
  NamedTable() : TableRef(kKind) {}
  Name name;
  std::string alias;               // empty when none
  std::vector<std::string> hints;  // WITH (NOLOCK) / (NOLOCK): recorded, no effect
};

struct DerivedTable : TableRef {
  static constexpr TableRefKind kKind = TableRefKind::kDerived;
  DerivedTable() : TableRef(kKind) {}
  std::unique_ptr<Query> query;
  std::string alias;                 // required by the grammar
  std::vector<std::string> columns;  // AS alias (a, b): names in place of the query's
};

enum class JoinType : uint8_t { kInner, kLeft, kRight, kFull, kCross };

struct JoinRef : TableRef {
  static constexpr TableRefKind kKind = TableRefKind::kJoin;
  JoinRef() : TableRef(kKind) {}
  JoinType type = JoinType::kInner;
  TableRefPtr left, right;
  ExprPtr on;  // null for CROSS JOIN
};

// ---------------------------------------------------------------------------
// Queries

struct SelectItem : Node {
  enum class Kind : uint8_t {
    kExpr,    // expr [[AS] alias] | alias = expr
    kStar,    // * or t.*
    kAssign,  // @v = expr (assignment SELECT)
  };
  Kind kind = Kind::kExpr;
  ExprPtr expr;             // kExpr, kAssign
  std::string alias;        // kExpr: empty when the column has no name given
  Name star_qualifier;      // kStar: {"t"} for t.*, empty for *
  std::string variable;     // kAssign: "@v" as written
};

struct TopClause : Node {
  ExprPtr count;  // TOP 1 / TOP (n)
  bool percent = false;
  bool with_ties = false;
};

enum class SetOp : uint8_t { kNone, kUnion, kUnionAll, kExcept, kIntersect };

// One SELECT branch: everything but ORDER BY and the set operator chain.
struct SelectCore : Node {
  SetOp op = SetOp::kNone;  // how this branch joins the previous one; kNone for the first
  bool distinct = false;
  std::optional<TopClause> top;
  std::vector<SelectItem> items;
  std::optional<Name> into;        // SELECT ... INTO #t (first branch only)
  std::vector<TableRefPtr> from;   // comma-separated items; each may be a join tree
  ExprPtr where;
  std::vector<ExprPtr> group_by;
  ExprPtr having;
};

struct OrderItem : Node {
  ExprPtr expr;  // an integer literal is a select-list ordinal (its literal is structural)
  bool descending = false;
};

// A query expression: branches chained by UNION [ALL], then ORDER BY over the whole.
struct Query : Node {
  std::vector<std::unique_ptr<SelectCore>> branches;  // at least one
  std::vector<OrderItem> order_by;
  ExprPtr offset;  // ORDER BY ... OFFSET n ROWS
  ExprPtr fetch;   // ... FETCH NEXT m ROWS ONLY

  const SelectCore& first() const { return *branches.front(); }
  // True when the first branch assigns variables (SELECT @v = ...).
  bool IsAssignment() const;
};

// ---------------------------------------------------------------------------
// Statements

enum class StmtKind : uint8_t {
  kSelect,           // SelectStmt
  kInsert,           // InsertStmt
  kUpdate,           // UpdateStmt
  kDelete,           // DeleteStmt
  kTruncate,         // TruncateStmt
  kCreateTable,      // CreateTableStmt
  kAlterTableAdd,    // AlterTableAddStmt
  kCreateIndex,      // CreateIndexStmt
  kDropIndex,        // DropIndexStmt
  kDrop,             // DropStmt: DROP TABLE / VIEW / PROCEDURE
  kCreateView,       // CreateViewStmt (also ALTER VIEW)
  kCreateProcedure,  // CreateProcedureStmt (also ALTER PROCEDURE)
  kDeclare,          // DeclareStmt
  kSetVariable,      // SetVariableStmt: SET @v = expr
  kSetOption,        // SetOptionStmt: SET NOCOUNT ON, SET ANSI_NULLS OFF, ...
  kIf,               // IfStmt
  kWhile,            // WhileStmt
  kBreak,            // Statement (no fields)
  kContinue,         // Statement (no fields)
  kBlock,            // BlockStmt: BEGIN ... END
  kBeginTran,        // TransactionStmt
  kCommit,           // TransactionStmt
  kRollback,         // TransactionStmt
  kExec,             // ExecStmt
  kReturn,           // ReturnStmt
  kPrint,            // PrintStmt
  kRaiserror,        // RaiserrorStmt
  kTryCatch,         // TryCatchStmt
  kThrow,            // ThrowStmt
};

struct Statement : Node {
  explicit Statement(StmtKind k) : kind(k) {}
  virtual ~Statement() = default;
  const StmtKind kind;

  template <class T>
  const T& As() const;
  template <class T>
  T& As();
};

struct SelectStmt : Statement {
  static constexpr StmtKind kKind = StmtKind::kSelect;
  SelectStmt() : Statement(kKind) {}
  std::unique_ptr<Query> query;
};

struct InsertStmt : Statement {
  static constexpr StmtKind kKind = StmtKind::kInsert;
  InsertStmt() : Statement(kKind) {}
  Name target;
  std::vector<std::string> columns;  // empty: all columns in table order
  enum class Source : uint8_t { kSelect, kValues, kDefaultValues };
  Source source = Source::kSelect;
  std::unique_ptr<Query> select;             // kSelect
  std::vector<std::vector<ExprPtr>> values;  // kValues: one vector per row
};

// One item of UPDATE's SET list:
//   col = expr           column set, variable empty
//   @v = expr            variable set, column empty
//   @v = col = expr      both: the column gets expr, @v the column's new value
struct SetClause : Node {
  Name column_name;      // may be qualified: {"a", "FSend"}
  std::string variable;  // "@v"
  ExprPtr value;
};

struct UpdateStmt : Statement {
  static constexpr StmtKind kKind = StmtKind::kUpdate;
  UpdateStmt() : Statement(kKind) {}
  Name target;  // table name or an alias defined in FROM
  ExprPtr top;  // UPDATE TOP (n): at most n rows, any n of them
  std::vector<std::string> target_hints;
  std::vector<SetClause> sets;
  std::vector<TableRefPtr> from;  // empty without FROM
  ExprPtr where;
};

struct DeleteStmt : Statement {
  static constexpr StmtKind kKind = StmtKind::kDelete;
  DeleteStmt() : Statement(kKind) {}
  Name target;  // table name or an alias defined in FROM
  ExprPtr top;  // DELETE TOP (n): at most n rows, any n of them
  std::vector<TableRefPtr> from;  // the second FROM: DELETE [FROM] t FROM t a JOIN ...
  ExprPtr where;
};

struct TruncateStmt : Statement {
  static constexpr StmtKind kKind = StmtKind::kTruncate;
  TruncateStmt() : Statement(kKind) {}
  Name table;
};

struct IndexColumn {
  std::string name;
  bool descending = false;
};

struct TableConstraint : Node {
  enum class Kind : uint8_t { kPrimaryKey, kUnique };
  Kind kind = Kind::kPrimaryKey;
  std::string name;                // CONSTRAINT name; empty when not given
  std::optional<bool> clustered;   // CLUSTERED / NONCLUSTERED when written
  std::vector<IndexColumn> columns;
};

struct ColumnDef : Node {
  std::string name;
  TypeName type;
  std::optional<bool> nullable;  // NULL / NOT NULL when written
  bool identity = false;
  int64_t identity_seed = 1;
  int64_t identity_increment = 1;
  ExprPtr default_value;         // DEFAULT expr (parentheses removed); null when none
  std::string default_name;      // CONSTRAINT name DEFAULT ...
  std::string default_text;      // source text of the default expression
};

struct CreateTableStmt : Statement {
  static constexpr StmtKind kKind = StmtKind::kCreateTable;
  CreateTableStmt() : Statement(kKind) {}
  Name table;
  std::vector<ColumnDef> columns;
  // Table constraints and the PRIMARY KEY / UNIQUE written on a column (as a
  // one-column constraint), in order of appearance.
  std::vector<TableConstraint> constraints;
};

struct AlterTableAddStmt : Statement {
  static constexpr StmtKind kKind = StmtKind::kAlterTableAdd;
  AlterTableAddStmt() : Statement(kKind) {}
  Name table;
  std::vector<ColumnDef> columns;
  std::vector<TableConstraint> constraints;
};

struct CreateIndexStmt : Statement {
  static constexpr StmtKind kKind = StmtKind::kCreateIndex;
  CreateIndexStmt() : Statement(kKind) {}
  bool unique = false;
  std::optional<bool> clustered;
  std::string name;
  Name table;
  std::vector<IndexColumn> columns;
};

struct DropIndexStmt : Statement {
  static constexpr StmtKind kKind = StmtKind::kDropIndex;
  DropIndexStmt() : Statement(kKind) {}
  struct Target {
    Name table;
    std::string index;
  };
  bool if_exists = false;
  std::vector<Target> indexes;  // DROP INDEX t.ix, u.iy  |  DROP INDEX ix ON t
};

struct DropStmt : Statement {
  static constexpr StmtKind kKind = StmtKind::kDrop;
  DropStmt() : Statement(kKind) {}
  enum class Object : uint8_t { kTable, kView, kProcedure };
  Object object = Object::kTable;
  bool if_exists = false;
  std::vector<Name> names;
};

struct CreateViewStmt : Statement {
  static constexpr StmtKind kKind = StmtKind::kCreateView;
  CreateViewStmt() : Statement(kKind) {}
  bool alter = false;  // ALTER VIEW
  bool or_alter = false;  // CREATE OR ALTER VIEW: ALTER when the view exists
  Name name;
  std::unique_ptr<Query> query;
  std::string body_text;  // source text of the query after AS
  std::string text;       // source text of the whole CREATE VIEW statement
};

struct ProcParameter : Node {
  std::string name;  // "@StockID"
  TypeName type;
  ExprPtr default_value;  // literal, NULL or negative number; null when none
  bool output = false;    // OUTPUT / OUT
};

struct CreateProcedureStmt : Statement {
  static constexpr StmtKind kKind = StmtKind::kCreateProcedure;
  CreateProcedureStmt() : Statement(kKind) {}
  bool alter = false;  // ALTER PROC[EDURE]
  bool or_alter = false;  // CREATE OR ALTER PROC: ALTER when the procedure exists
  Name name;
  std::vector<ProcParameter> params;
  // The body runs to the end of the batch, as in the dialect.
  std::vector<StatementPtr> body;
  std::string body_text;  // source text after AS (what the runtime re-parses)
  std::string text;       // source text of the whole statement
  int body_line = 0;      // line of the body's first token within the batch
};

struct VariableDecl : Node {
  std::string name;  // "@Qty"
  TypeName type;
  ExprPtr init;  // DECLARE @a int = expr; null when none
};

struct DeclareStmt : Statement {
  static constexpr StmtKind kKind = StmtKind::kDeclare;
  DeclareStmt() : Statement(kKind) {}
  std::vector<VariableDecl> variables;
};

struct SetVariableStmt : Statement {
  static constexpr StmtKind kKind = StmtKind::kSetVariable;
  SetVariableStmt() : Statement(kKind) {}
  std::string variable;  // "@v"
  ExprPtr value;
};

// SET NOCOUNT ON, SET ANSI_NULLS, QUOTED_IDENTIFIER OFF, SET ROWCOUNT 10,
// SET DATEFORMAT ymd, SET IDENTITY_INSERT t ON, SET XACT_ABORT ON.
struct SetOptionStmt : Statement {
  static constexpr StmtKind kKind = StmtKind::kSetOption;
  SetOptionStmt() : Statement(kKind) {}
  std::vector<std::string> options;  // lower-cased: {"nocount"}, {"ansi_nulls", "quoted_identifier"}
  std::optional<bool> on;            // ON / OFF when the option takes them
  Name table;                        // IDENTITY_INSERT only
  ExprPtr value;                     // ROWCOUNT n / @v, TEXTSIZE n, LOCK_TIMEOUT n
  std::string word;                  // DATEFORMAT ymd, LANGUAGE x, TRANSACTION ISOLATION LEVEL ... (lower-cased)

  bool Is(std::string_view option) const;  // options == {option}
};

struct IfStmt : Statement {
  static constexpr StmtKind kKind = StmtKind::kIf;
  IfStmt() : Statement(kKind) {}
  ExprPtr condition;
  StatementPtr then_branch;
  StatementPtr else_branch;  // null without ELSE
};

struct WhileStmt : Statement {
  static constexpr StmtKind kKind = StmtKind::kWhile;
  WhileStmt() : Statement(kKind) {}
  ExprPtr condition;
  StatementPtr body;
};

struct BlockStmt : Statement {
  static constexpr StmtKind kKind = StmtKind::kBlock;
  BlockStmt() : Statement(kKind) {}
  std::vector<StatementPtr> statements;
};

// BEGIN TRAN[SACTION] [name], COMMIT [TRAN[SACTION] | WORK] [name], ROLLBACK ...
struct TransactionStmt : Statement {
  explicit TransactionStmt(StmtKind k) : Statement(k) {}
  std::string name;
};

struct ExecArg : Node {
  std::string name;  // "@p" for @p = value; empty for a positional argument
  ExprPtr value;     // literal, -literal, variable, NULL, DEFAULT, or a bare word (as a literal string)
  bool output = false;
};

struct ExecStmt : Statement {
  static constexpr StmtKind kKind = StmtKind::kExec;
  ExecStmt() : Statement(kKind) {}
  std::string return_variable;  // EXEC @rc = proc; empty when none
  Name procedure;
  std::vector<ExecArg> args;
};

struct ReturnStmt : Statement {
  static constexpr StmtKind kKind = StmtKind::kReturn;
  ReturnStmt() : Statement(kKind) {}
  ExprPtr value;  // null for a bare RETURN
};

struct PrintStmt : Statement {
  static constexpr StmtKind kKind = StmtKind::kPrint;
  PrintStmt() : Statement(kKind) {}
  ExprPtr value;
};

// BEGIN TRY ... END TRY BEGIN CATCH ... END CATCH
struct TryCatchStmt : Statement {
  static constexpr StmtKind kKind = StmtKind::kTryCatch;
  TryCatchStmt() : Statement(kKind) {}
  std::vector<StatementPtr> try_body, catch_body;
};

// THROW [number, message, state]: without arguments, the error a CATCH block handles.
struct ThrowStmt : Statement {
  static constexpr StmtKind kKind = StmtKind::kThrow;
  ThrowStmt() : Statement(kKind) {}
  ExprPtr number, message, state;
};

struct RaiserrorStmt : Statement {
  static constexpr StmtKind kKind = StmtKind::kRaiserror;
  RaiserrorStmt() : Statement(kKind) {}
  ExprPtr message;  // string, variable, or message number
  ExprPtr severity;
  ExprPtr state;
  std::vector<ExprPtr> args;
  bool nowait = false, log = false, seterror = false;
};

// ---------------------------------------------------------------------------

template <class T>
const T& Expr::As() const {
  if (kind != T::kKind) throw std::logic_error("ast: expression is not of the requested kind");
  return static_cast<const T&>(*this);
}
template <class T>
T& Expr::As() {
  if (kind != T::kKind) throw std::logic_error("ast: expression is not of the requested kind");
  return static_cast<T&>(*this);
}
template <class T>
const T& TableRef::As() const {
  if (kind != T::kKind) throw std::logic_error("ast: table source is not of the requested kind");
  return static_cast<const T&>(*this);
}
template <class T>
T& TableRef::As() {
  if (kind != T::kKind) throw std::logic_error("ast: table source is not of the requested kind");
  return static_cast<T&>(*this);
}
template <class T>
const T& Statement::As() const {
  if constexpr (std::is_same_v<T, TransactionStmt>) {
    if (kind != StmtKind::kBeginTran && kind != StmtKind::kCommit && kind != StmtKind::kRollback)
      throw std::logic_error("ast: statement is not a transaction statement");
  } else if (kind != T::kKind) {
    throw std::logic_error("ast: statement is not of the requested kind");
  }
  return static_cast<const T&>(*this);
}
template <class T>
T& Statement::As() {
  return const_cast<T&>(static_cast<const Statement&>(*this).As<T>());
}

// T-SQL-like text of a tree, every operator parenthesised, names as written and
// keywords upper-case: for diagnostics and tests.
std::string ToSql(const Expr& e);
std::string ToSql(const Query& q);
std::string ToSql(const TableRef& t);
std::string ToSql(const Statement& s);

}  // namespace morvesk::engine::ast
