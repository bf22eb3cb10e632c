// Recursive-descent parser of T-SQL batches. Statement boundaries come from the
// grammar alone: a statement ends where its production ends, and reserved words
// (which every statement starts with) are never taken as names or aliases.
#include "engine/sql/parser.h"

#include <algorithm>
#include <cstdint>
#include <set>

#include "base/ascii.h"
#include "engine/error.h"

namespace morvesk::engine::sql {
namespace {

using namespace ast;

using base::AsciiLower;

bool IsWordToken(const Token& t) { return t.kind == TokenKind::kIdentifier; }

// Regular identifier that is not a reserved word, or a quoted identifier: usable as a name.
bool IsNameToken(const Token& t) {
  return (t.kind == TokenKind::kIdentifier && !IsReservedWord(t.text)) ||
         t.kind == TokenKind::kQuotedIdentifier;
}

bool IsHintWord(const Token& t) {
  static const char* const kHints[] = {"nolock",     "readuncommitted", "readcommitted",
                                       "holdlock",   "rowlock",         "updlock",
                                       "tablock",    "tablockx",        "paglock",
                                       "readpast",   "xlock",           "nowait",
                                       "serializable", "repeatableread", "readcommittedlock"};
  if (t.kind != TokenKind::kIdentifier) return false;
  for (const char* h : kHints) {
    if (t.Is(h)) return true;
  }
  return false;
}

class Parser {
 public:
  Parser(std::vector<Token> tokens, std::string_view source)
      : toks_(std::move(tokens)), source_(source) {
    if (toks_.empty() || toks_.back().kind != TokenKind::kEnd) {
      Token end;
      end.kind = TokenKind::kEnd;
      if (!toks_.empty()) end.line = toks_.back().line;
      toks_.push_back(end);
    }
  }

  Batch Run() {
    Batch batch;
    // batch -> { statement [;] }
    SkipSemicolons();
    while (!AtEnd()) {
      batch.statements.push_back(ParseStatement(batch.statements.empty()));
      SkipSemicolons();
    }
    batch.literals = LiteralsOf(toks_);
    batch.structural_literals.assign(structural_.begin(), structural_.end());
    return batch;
  }

 private:
  // ---- token access -------------------------------------------------------

  const Token& Peek(size_t k = 0) const {
    size_t i = std::min(pos_ + k, toks_.size() - 1);
    return toks_[i];
  }
  bool AtEnd() const { return Peek().kind == TokenKind::kEnd; }
  bool At(TokenKind k, size_t ahead = 0) const { return Peek(ahead).kind == k; }
  bool AtWord(std::string_view w, size_t ahead = 0) const { return Peek(ahead).Is(w); }
  const Token& Take() {
    const Token& t = toks_[pos_];
    if (pos_ + 1 < toks_.size()) ++pos_;
    return t;
  }
  bool Accept(TokenKind k) {
    if (!At(k)) return false;
    Take();
    return true;
  }
  bool AcceptWord(std::string_view w) {
    if (!AtWord(w)) return false;
    Take();
    return true;
  }
  const Token& Expect(TokenKind k) {
    if (!At(k)) SyntaxError();
    return Take();
  }
  const Token& ExpectWord(std::string_view w) {
    if (!AtWord(w)) SyntaxError();
    return Take();
  }
  void SkipSemicolons() {
    while (Accept(TokenKind::kSemicolon)) {
    }
  }

  // ---- errors -------------------------------------------------------------

  // Nesting (parentheses, function arguments, unary operators, subqueries, blocks) deeper
  // than this is refused with the server's error 191 before the stack runs out: the parser,
  // the binder and the translator all recurse along the nesting, and a host may run the
  // engine on a thread with a small stack (1 MB is enough for this depth).
  static constexpr int kMaxNesting = 256;
  // Values of one IN list (SQLite binds at most 250,000 parameters in a statement).
  static constexpr size_t kMaxInList = 200000;

  class Nesting {
   public:
    explicit Nesting(Parser& p) : p_(p) {
      if (++p_.depth_ > kMaxNesting) {
        --p_.depth_;
        SqlError e(191, 15,
                   "Some part of your SQL statement is nested too deeply. Rewrite the query or "
                   "break it up into smaller queries.",
                   p_.Peek().line);
        e.column = p_.Peek().column;
        throw e;
      }
    }
    ~Nesting() { --p_.depth_; }
    Nesting(const Nesting&) = delete;
    Nesting& operator=(const Nesting&) = delete;

   private:
    Parser& p_;
  };

  // A common table expression: its name, its column list and the tokens of its query.
  struct CteDef {
    std::string key;  // the name, lower case
    std::vector<std::string> columns;
    size_t start = 0, end = 0;  // its query's tokens
  };
  // Tokens one statement may read again for its references: expressions that each read
  // the one before twice double at every step, and would take all memory.
  static constexpr size_t kMaxCteTokens = 1'000'000;

  // A WITH clause belongs to the one statement (or view) it starts.
  class CteScope {
   public:
    explicit CteScope(Parser& p) : p_(p) {}
    ~CteScope() {
      p_.ctes_.clear();
      p_.ctes_visible_ = 0;
      p_.defining_.clear();
      p_.cte_tokens_read_ = 0;
    }
    CteScope(const CteScope&) = delete;
    CteScope& operator=(const CteScope&) = delete;

   private:
    Parser& p_;
  };

  // Incorrect syntax near the current token (near the last one at the end of the batch).
  [[noreturn]] void SyntaxError() const {
    const Token* t = &Peek();
    if (t->kind == TokenKind::kEnd && pos_ > 0) t = &toks_[pos_ - 1];
    if (t->kind == TokenKind::kEnd) {
      SqlError e(102, 15, "Incorrect syntax near ''.", t->line);
      e.column = t->column;
      throw e;
    }
    bool keyword = t->kind == TokenKind::kIdentifier && IsReservedWord(t->text);
    std::string shown = (t->kind == TokenKind::kString || t->kind == TokenKind::kNString)
                            ? t->value
                            : t->text;
    SqlError e(keyword ? 156 : 102, 15,
               keyword ? "Incorrect syntax near the keyword '" + shown + "'."
                       : "Incorrect syntax near '" + shown + "'.",
               t->line);
    e.column = t->column;
    throw e;
  }

  [[noreturn]] void NotSupported(const Token& at, const std::string& construct) const {
    SqlError e(kNotSupportedError, 16, construct + " is not supported by this engine.", at.line);
    e.column = at.column;
    throw e;
  }

  template <class T>
  std::unique_ptr<T> Make(const Token& at) {
    auto n = std::make_unique<T>();
    n->line = at.line;
    n->column = at.column;
    return n;
  }
  template <class T>
  void Place(T& n, const Token& at) {
    n.line = at.line;
    n.column = at.column;
  }

  // ---- source text ----------------------------------------------------------

  // Text of tokens [first, last] as written in the batch.
  std::string SourceText(size_t first, size_t last) const {
    if (first > last) return {};
    if (!source_.empty()) {
      size_t begin = toks_[first].offset;
      size_t end = toks_[last].offset + toks_[last].text.size();
      return std::string(source_.substr(begin, end - begin));
    }
    std::string out;
    for (size_t i = first; i <= last; ++i) {
      if (i > first) out += toks_[i].line != toks_[i - 1].line ? "\n" : " ";
      out += toks_[i].text;
    }
    return out;
  }

  // Text from token `first` to the end of the batch, trailing blanks dropped.
  std::string SourceTextToEnd(size_t first) const {
    if (toks_[first].kind == TokenKind::kEnd) return {};
    std::string out;
    if (!source_.empty()) {
      out = std::string(source_.substr(toks_[first].offset));
    } else {
      out = SourceText(first, toks_.size() - 2);
    }
    while (!out.empty() && (out.back() == ' ' || out.back() == '\t' || out.back() == '\r' ||
                            out.back() == '\n' || out.back() == ';')) {
      out.pop_back();
    }
    return out;
  }

  // ---- names and literals ---------------------------------------------------

  std::string ParseName() {
    if (!IsNameToken(Peek())) SyntaxError();
    return Take().value;
  }

  // multi_part_name -> name { '.' [name] }   (empty parts: tempdb..#x)
  Name ParseMultiPartName() {
    Name parts;
    parts.push_back(ParseName());
    while (At(TokenKind::kDot)) {
      Take();
      if (At(TokenKind::kDot)) {
        parts.emplace_back();
        continue;
      }
      parts.push_back(ParseName());
    }
    if (parts.size() > 4) SyntaxError();
    return parts;
  }

  void MarkStructural(const Token& t) {
    if (t.literal_index >= 0) structural_.insert(t.literal_index);
  }

  // Literals of text the catalog stores (view and procedure bodies, column defaults):
  // a cached parse may serve another batch only when they are equal too.
  void MarkStructuralRange(size_t first, size_t end) {
    for (size_t i = first; i < end && i < toks_.size(); ++i) MarkStructural(toks_[i]);
  }

  // A column alias written as a string is a name, not a value: a cached parse serves
  // another batch only when the alias is the same.
  const Token& TakeAlias() {
    MarkStructural(Peek());
    return Take();
  }

  // signed_integer -> ['-' | '+'] integer     (a value that shapes the statement)
  int64_t ParseStructuralInteger() {
    bool negative = false;
    if (At(TokenKind::kMinus) || At(TokenKind::kPlus)) negative = Take().kind == TokenKind::kMinus;
    const Token& t = Peek();
    if (t.kind != TokenKind::kInteger) SyntaxError();
    if (t.literal_type.kind != TypeKind::kInt && t.literal_type.kind != TypeKind::kBigInt) {
      SyntaxError();
    }
    Take();
    MarkStructural(t);
    int64_t v = std::stoll(t.text);
    return negative ? -v : v;
  }

  ExprPtr LiteralFrom(const Token& t) {
    auto lit = Make<LiteralExpr>(t);
    switch (t.kind) {
      case TokenKind::kInteger: lit->form = LiteralExpr::Form::kInteger; break;
      case TokenKind::kDecimal: lit->form = LiteralExpr::Form::kDecimal; break;
      case TokenKind::kFloat: lit->form = LiteralExpr::Form::kFloat; break;
      case TokenKind::kString: lit->form = LiteralExpr::Form::kString; break;
      default: lit->form = LiteralExpr::Form::kNString; break;
    }
    lit->text = t.text;
    lit->value = t.value;
    lit->type = t.literal_type;
    lit->literal_index = t.literal_index;
    return lit;
  }

  // type_name -> name [ '(' (integer | MAX) [',' integer] ')' ]
  // In CAST and CONVERT a character type written without a length is 30 long;
  // everywhere else it is 1 long.
  TypeName ParseType(bool conversion_target = false) {
    const Token& name_tok = Peek();
    if (!IsWordToken(name_tok) && name_tok.kind != TokenKind::kQuotedIdentifier) SyntaxError();
    if (AtWord("table")) NotSupported(name_tok, "Table variables (DECLARE @t TABLE)");
    if (AtWord("cursor")) NotSupported(name_tok, "Cursors");
    std::string name = Take().value;
    // "double precision" is the one two-word type name.
    if (AsciiLower(name) == "double" && AcceptWord("precision")) name = "float";
    std::string text = name;
    std::optional<int> a1, a2;
    if (At(TokenKind::kLParen)) {
      Take();
      if (AtWord("max")) {
        Take();
        a1 = -1;
        text += "(max)";
      } else {
        // A number beyond an int is no type's argument: kept out of range rather than cut
        // to 32 bits (decimal(4294967306,2) is not decimal(10,2)).
        auto argument = [&] {
          const int64_t v = ParseStructuralInteger();
          text += std::to_string(v);
          return static_cast<int>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
        };
        text += "(";
        a1 = argument();
        if (Accept(TokenKind::kComma)) {
          text += ",";
          a2 = argument();
        }
        text += ")";
      }
      Expect(TokenKind::kRParen);
    }
    std::optional<TypeInfo> ti = ParseTypeName(name, a1, a2);
    if (ti && conversion_target && !a1 && ti->IsText() && ti->length == 1) ti->length = 30;
    if (!ti) {
      SqlError e(2715, 16, "Cannot find data type " + text + ".", name_tok.line);
      e.column = name_tok.column;
      throw e;
    }
    return TypeName{*ti, text};
  }

  // ---- statements -----------------------------------------------------------

  // statement -> select | insert | update | delete | ... (dispatch on the first word)
  StatementPtr ParseStatement(bool first_in_batch) {
    Nesting nesting(*this);
    const Token& t = Peek();
    if (t.kind == TokenKind::kLParen) {
      // A query in parentheses may start a statement: (SELECT ...) UNION ...
      size_t k = 0;
      while (At(TokenKind::kLParen, k)) ++k;
      if (AtWord("select", k)) return ParseSelectStatement();
    }
    if (t.kind != TokenKind::kIdentifier) SyntaxError();
    std::string w = AsciiLower(t.text);
    if (w == "select") return ParseSelectStatement();
    if (w == "insert") return ParseInsert();
    if (w == "update") return ParseUpdate();
    if (w == "delete") return ParseDelete();
    if (w == "truncate") return ParseTruncate();
    if (w == "create") return ParseCreate(false);
    if (w == "alter") return ParseAlter();
    if (w == "drop") return ParseDrop();
    if (w == "declare") return ParseDeclare();
    if (w == "set") return ParseSet();
    if (w == "if") return ParseIf();
    if (w == "while") return ParseWhile();
    if (w == "break" || w == "continue") {
      Take();
      auto s = std::make_unique<Statement>(w == "break" ? StmtKind::kBreak : StmtKind::kContinue);
      Place(*s, t);
      return s;
    }
    if (w == "begin") return ParseBegin();
    if (w == "commit" || w == "rollback") return ParseCommitRollback();
    if (w == "exec" || w == "execute") return ParseExec();
    if (w == "return") return ParseReturn();
    if (w == "print") return ParsePrint();
    if (w == "raiserror") return ParseRaiserror();
    if (w == "with") return ParseWith();
    if (w == "goto") NotSupported(t, "GOTO");
    if (w == "merge") NotSupported(t, "MERGE");
    if (w == "open" || w == "fetch" || w == "close" || w == "deallocate") {
      NotSupported(t, "Cursors (" + AsciiLower(t.text) + ")");
    }
    if (w == "save") NotSupported(t, "SAVE TRANSACTION");
    if (w == "use") NotSupported(t, "USE");
    if (w == "waitfor") NotSupported(t, "WAITFOR");
    if (w == "grant" || w == "revoke" || w == "deny") NotSupported(t, "Permissions (" + w + ")");
    if (w == "throw") return ParseThrow();
    if (w == "bulk") NotSupported(t, "BULK INSERT");
    if (w == "dbcc") NotSupported(t, "DBCC");
    // A procedure call may leave out EXEC when it is the batch's first statement.
    if (first_in_batch && IsNameToken(t)) {
      return ParseExecCall(t);
    }
    SyntaxError();
  }

  // with_stmt -> with_clause (select_stmt | insert | update | delete)
  StatementPtr ParseWith() {
    CteScope scope(*this);
    ParseWithClause();
    const Token& t = Peek();
    if (t.kind == TokenKind::kLParen && IsQueryStart(0)) return ParseSelectStatement();
    if (AtWord("select")) return ParseSelectStatement();
    if (AtWord("insert") || AtWord("update") || AtWord("delete")) {
      StatementPtr s = AtWord("insert")   ? ParseInsert()
                       : AtWord("update") ? ParseUpdate()
                                          : ParseDelete();
      RefuseCteTarget(*s, t);
      return s;
    }
    SyntaxError();
  }

  // with_clause -> WITH cte {, cte}
  // cte         -> name [ '(' column {, column} ')' ] AS '(' query ')'
  // Each query is read here once, to check it and to find its end; every reference to it
  // reads its tokens again into a derived table of its own.
  void ParseWithClause() {
    ExpectWord("with");
    do {
      const Token& name = Peek();
      if (!IsNameToken(name) || name.value.starts_with("#")) SyntaxError();
      CteDef d;
      d.key = AsciiLower(name.value);
      for (const CteDef& e : ctes_)
        if (e.key == d.key) SyntaxError();
      Take();
      if (At(TokenKind::kLParen)) d.columns = ParseColumnList();
      ExpectWord("as");
      Expect(TokenKind::kLParen);
      if (!IsQueryStart(0)) SyntaxError();
      d.start = pos_;
      defining_ = d.key;
      ParseQuery();
      defining_.clear();
      d.end = pos_;
      Expect(TokenKind::kRParen);
      ctes_.push_back(std::move(d));
      ctes_visible_ = ctes_.size();
    } while (Accept(TokenKind::kComma));
  }

  // column_list -> '(' name {, name} ')': the names a derived table or a common table
  // expression gives its columns.
  std::vector<std::string> ParseColumnList() {
    Expect(TokenKind::kLParen);
    std::vector<std::string> names;
    do {
      if (!IsNameToken(Peek())) SyntaxError();
      names.push_back(Take().value);
    } while (Accept(TokenKind::kComma));
    Expect(TokenKind::kRParen);
    return names;
  }

  // The common table expression a table name refers to, if any: only the ones defined
  // before the place of the reference are seen. A query that names its own expression
  // is recursive, which this engine does not run.
  const CteDef* FindCte(const Token& name) const {
    if (ctes_.empty() && defining_.empty()) return nullptr;
    if (!IsNameToken(name) || At(TokenKind::kDot, 1)) return nullptr;
    const std::string key = AsciiLower(name.value);
    if (key == defining_) NotSupported(name, "Recursive common table expressions");
    for (size_t i = 0; i < ctes_visible_; ++i)
      if (ctes_[i].key == key) return &ctes_[i];
    return nullptr;
  }

  // name [[AS] alias] naming a common table expression: its query, read again.
  TableRefPtr ParseCteReference(const CteDef& cte) {
    const Token& start = Take();
    cte_tokens_read_ += cte.end - cte.start;
    if (cte_tokens_read_ > kMaxCteTokens) {
      SqlError e(8623, 16,
                 "The query processor ran out of internal resources and could not produce a "
                 "query plan. This is a rare event and only expected for extremely complex "
                 "queries or queries that reference a very large number of tables or "
                 "partitions. Please simplify the query.",
                 start.line);
      e.column = start.column;
      throw e;
    }
    auto d = Make<DerivedTable>(start);
    const size_t resume = pos_, visible = ctes_visible_;
    const std::string defining = defining_;
    pos_ = cte.start;
    ctes_visible_ = static_cast<size_t>(&cte - ctes_.data());
    defining_.clear();
    d->query = ParseQuery();
    pos_ = resume;
    ctes_visible_ = visible;
    defining_ = defining;
    d->columns = cte.columns;
    d->alias = start.value;
    if (AcceptWord("as")) {
      if (!IsNameToken(Peek())) SyntaxError();
      d->alias = Take().value;
    } else if (IsNameToken(Peek())) {
      d->alias = Take().value;
    }
    if (AtWord("with") && At(TokenKind::kLParen, 1)) ParseTableHints();
    return d;
  }

  // The rows of a common table expression are read, never written through it.
  void RefuseCteTarget(const Statement& s, const Token& at) const {
    const Name* target = nullptr;
    if (s.kind == StmtKind::kInsert) target = &s.As<InsertStmt>().target;
    if (s.kind == StmtKind::kUpdate) target = &s.As<UpdateStmt>().target;
    if (s.kind == StmtKind::kDelete) target = &s.As<DeleteStmt>().target;
    if (target == nullptr || target->size() != 1) return;
    for (const CteDef& c : ctes_)
      if (c.key == AsciiLower(target->back()))
        NotSupported(at, "Changing rows through a common table expression");
  }

  // select_stmt -> query
  StatementPtr ParseSelectStatement() {
    auto s = Make<SelectStmt>(Peek());
    s->query = ParseQuery();
    return s;
  }

  // insert -> INSERT [INTO] name [(columns)] (query | VALUES rows | DEFAULT VALUES)
  StatementPtr ParseInsert() {
    auto s = Make<InsertStmt>(Take());
    if (AtWord("top")) NotSupported(Peek(), "INSERT TOP");
    AcceptWord("into");
    s->target = ParseMultiPartName();
    if (AtWord("with") && At(TokenKind::kLParen, 1)) ParseTableHints();
    if (At(TokenKind::kLParen) && !IsQueryStart(1)) {
      Take();
      do {
        Name col = ParseMultiPartName();
        s->columns.push_back(col.back());
      } while (Accept(TokenKind::kComma));
      Expect(TokenKind::kRParen);
    }
    if (AtWord("output")) NotSupported(Peek(), "OUTPUT clause");
    if (AtWord("values")) {
      Take();
      s->source = InsertStmt::Source::kValues;
      do {
        Expect(TokenKind::kLParen);
        std::vector<ExprPtr> row;
        do {
          if (AtWord("default")) {
            row.push_back(Make<DefaultExpr>(Take()));
          } else {
            row.push_back(ParseExpr());
          }
        } while (Accept(TokenKind::kComma));
        Expect(TokenKind::kRParen);
        s->values.push_back(std::move(row));
      } while (Accept(TokenKind::kComma));
    } else if (AtWord("default") && AtWord("values", 1)) {
      Take();
      Take();
      s->source = InsertStmt::Source::kDefaultValues;
    } else if (AtWord("exec") || AtWord("execute")) {
      NotSupported(Peek(), "INSERT ... EXEC");
    } else if (IsQueryStart(0)) {
      s->source = InsertStmt::Source::kSelect;
      s->select = ParseQuery();
    } else {
      SyntaxError();
    }
    return s;
  }

  // True when the tokens from `ahead` open a query: SELECT, or '(' ... SELECT.
  bool IsQueryStart(size_t ahead) const {
    size_t k = ahead;
    while (At(TokenKind::kLParen, k)) ++k;
    return AtWord("select", k);
  }

  // table_hints -> WITH '(' hint {, hint} ')'   |   '(' hint {, hint} ')'
  std::vector<std::string> ParseTableHints() {
    AcceptWord("with");
    Expect(TokenKind::kLParen);
    std::vector<std::string> hints;
    do {
      const Token& h = Peek();
      if (!IsWordToken(h)) SyntaxError();
      if (h.Is("index")) {
        // INDEX(ix) / INDEX = ix: name the index, no effect here.
        Take();
        if (Accept(TokenKind::kEq)) {
          Take();
        } else {
          Expect(TokenKind::kLParen);
          while (!At(TokenKind::kRParen) && !AtEnd()) Take();
          Expect(TokenKind::kRParen);
        }
        hints.push_back("index");
        continue;
      }
      hints.push_back(AsciiLower(Take().text));
    } while (Accept(TokenKind::kComma));
    Expect(TokenKind::kRParen);
    return hints;
  }

  // update -> UPDATE target [hints] SET set_item {, set_item} [FROM sources] [WHERE expr]
  StatementPtr ParseUpdate() {
    auto s = Make<UpdateStmt>(Take());
    s->top = ParseDmlTop();
    s->target = ParseMultiPartName();
    if (AtWord("with") && At(TokenKind::kLParen, 1)) s->target_hints = ParseTableHints();
    ExpectWord("set");
    do {
      s->sets.push_back(ParseSetItem());
    } while (Accept(TokenKind::kComma));
    if (AtWord("output")) NotSupported(Peek(), "OUTPUT clause");
    if (AcceptWord("from")) s->from = ParseFromList();
    if (AcceptWord("where")) {
      if (AtWord("current") && AtWord("of", 1)) NotSupported(Peek(), "Cursors (WHERE CURRENT OF)");
      s->where = ParseExpr();
    }
    if (AtWord("option")) NotSupported(Peek(), "OPTION clause");
    return s;
  }

  // Compound assignment operator (+=, -=, ...) at the current position, if any.
  std::optional<BinaryOp> AcceptCompoundAssign() {
    if (!At(TokenKind::kEq, 1)) return std::nullopt;
    std::optional<BinaryOp> op;
    switch (Peek().kind) {
      case TokenKind::kPlus: op = BinaryOp::kAdd; break;
      case TokenKind::kMinus: op = BinaryOp::kSub; break;
      case TokenKind::kStar: op = BinaryOp::kMul; break;
      case TokenKind::kSlash: op = BinaryOp::kDiv; break;
      case TokenKind::kPercent: op = BinaryOp::kMod; break;
      case TokenKind::kAmp: op = BinaryOp::kBitAnd; break;
      case TokenKind::kPipe: op = BinaryOp::kBitOr; break;
      case TokenKind::kCaret: op = BinaryOp::kBitXor; break;
      default: return std::nullopt;
    }
    Take();
    Take();
    return op;
  }

  // A binary node at the operator's token; also builds x op= e as x = x op e.
  ExprPtr BinaryNode(BinaryOp op, ExprPtr current, ExprPtr value, const Token& at) {
    auto b = Make<BinaryExpr>(at);
    b->op = op;
    b->left = std::move(current);
    b->right = std::move(value);
    return b;
  }

  // set_item -> @v = expr | @v = column = expr | column = expr   (also op= forms)
  SetClause ParseSetItem() {
    SetClause item;
    const Token& first = Peek();
    Place(item, first);
    if (first.kind == TokenKind::kVariable) {
      Take();
      item.variable = first.value;
      if (auto op = AcceptCompoundAssign()) {
        auto var = Make<VariableExpr>(first);
        var->name = first.value;
        item.value = BinaryNode(*op, std::move(var), ParseExpr(), first);
        return item;
      }
      Expect(TokenKind::kEq);
      // @v = column = expr: a name followed by '=' (not a comparison inside an expression).
      size_t save = pos_;
      if (IsNameToken(Peek())) {
        Name col = ParseMultiPartName();
        if (Accept(TokenKind::kEq)) {
          item.column_name = std::move(col);
          item.value = ParseExpr();
          return item;
        }
        pos_ = save;
      }
      item.value = ParseExpr();
      return item;
    }
    item.column_name = ParseMultiPartName();
    if (auto op = AcceptCompoundAssign()) {
      auto col = Make<ColumnRef>(first);
      col->parts = item.column_name;
      item.value = BinaryNode(*op, std::move(col), ParseExpr(), first);
      return item;
    }
    Expect(TokenKind::kEq);
    item.value = ParseExpr();
    return item;
  }

  // dml_top -> [TOP '(' expr ')']: UPDATE and DELETE take their count in parentheses.
  ExprPtr ParseDmlTop() {
    if (!AcceptWord("top")) return nullptr;
    Expect(TokenKind::kLParen);
    ExprPtr n = ParseExpr();
    Expect(TokenKind::kRParen);
    if (AtWord("percent")) NotSupported(Peek(), "TOP ... PERCENT");
    return n;
  }

  // delete -> DELETE [TOP (n)] [FROM] target [hints] [FROM sources] [WHERE expr]
  StatementPtr ParseDelete() {
    auto s = Make<DeleteStmt>(Take());
    s->top = ParseDmlTop();
    AcceptWord("from");
    s->target = ParseMultiPartName();
    if (AtWord("with") && At(TokenKind::kLParen, 1)) ParseTableHints();
    if (AtWord("output")) NotSupported(Peek(), "OUTPUT clause");
    if (AcceptWord("from")) s->from = ParseFromList();
    if (AcceptWord("where")) {
      if (AtWord("current") && AtWord("of", 1)) NotSupported(Peek(), "Cursors (WHERE CURRENT OF)");
      s->where = ParseExpr();
    }
    if (AtWord("option")) NotSupported(Peek(), "OPTION clause");
    return s;
  }

  // truncate -> TRUNCATE TABLE name
  StatementPtr ParseTruncate() {
    auto s = Make<TruncateStmt>(Take());
    ExpectWord("table");
    s->table = ParseMultiPartName();
    return s;
  }

  // create -> CREATE (TABLE ... | VIEW ... | PROC[EDURE] ... | [UNIQUE] [CLUSTERED|NONCLUSTERED] INDEX ...)
  StatementPtr ParseCreate(bool alter) {
    const Token& start = Take();
    size_t start_index = pos_ - 1;
    // CREATE OR ALTER makes a view or procedure, or alters the one of that name.
    bool or_alter = false;
    if (!alter && AtWord("or") && AtWord("alter", 1)) {
      Take();
      Take();
      if (!AtWord("view") && !AtWord("proc") && !AtWord("procedure")) SyntaxError();
      or_alter = true;
    }
    if (!alter && AtWord("table")) return ParseCreateTable(start);
    if (AtWord("view")) {
      StatementPtr s = ParseCreateView(start, start_index, alter);
      s->As<CreateViewStmt>().or_alter = or_alter;
      return s;
    }
    if (AtWord("proc") || AtWord("procedure")) {
      StatementPtr s = ParseCreateProcedure(start, start_index, alter);
      s->As<CreateProcedureStmt>().or_alter = or_alter;
      return s;
    }
    if (!alter && (AtWord("unique") || AtWord("clustered") || AtWord("nonclustered") ||
                   AtWord("index"))) {
      return ParseCreateIndex(start);
    }
    if (IsWordToken(Peek())) {
      NotSupported(Peek(), std::string(alter ? "ALTER " : "CREATE ") + Peek().text);
    }
    SyntaxError();
  }

  // create_table -> CREATE TABLE name '(' element {, element} ')'
  StatementPtr ParseCreateTable(const Token& start) {
    auto s = Make<CreateTableStmt>(start);
    Take();  // TABLE
    s->table = ParseMultiPartName();
    Expect(TokenKind::kLParen);
    do {
      if (At(TokenKind::kRParen)) break;  // a trailing comma is allowed by the dialect
      ParseTableElement(s->columns, s->constraints);
    } while (Accept(TokenKind::kComma));
    Expect(TokenKind::kRParen);
    if (AtWord("on") || AtWord("textimage_on")) NotSupported(Peek(), "Filegroups (ON ...)");
    return s;
  }

  // element -> column_def | [CONSTRAINT name] (PRIMARY KEY | UNIQUE) [CLUSTERED|NONCLUSTERED] '(' cols ')'
  void ParseTableElement(std::vector<ColumnDef>& columns,
                         std::vector<TableConstraint>& constraints) {
    const Token& start = Peek();
    std::string constraint_name;
    if (AcceptWord("constraint")) constraint_name = ParseName();
    if (AtWord("primary") || AtWord("unique")) {
      TableConstraint c = ParseKeyConstraintHead(start);
      c.name = constraint_name;
      Expect(TokenKind::kLParen);
      c.columns = ParseIndexColumns();
      Expect(TokenKind::kRParen);
      SkipIndexOptions();
      constraints.push_back(std::move(c));
      return;
    }
    if (AtWord("check")) NotSupported(Peek(), "CHECK constraints");
    if (AtWord("foreign")) NotSupported(Peek(), "FOREIGN KEY constraints");
    if (!constraint_name.empty()) SyntaxError();
    columns.push_back(ParseColumnDef(constraints));
  }

  // key_head -> PRIMARY KEY | UNIQUE, then [CLUSTERED | NONCLUSTERED]
  TableConstraint ParseKeyConstraintHead(const Token& start) {
    TableConstraint c;
    Place(c, start);
    if (AcceptWord("primary")) {
      ExpectWord("key");
      c.kind = TableConstraint::Kind::kPrimaryKey;
    } else {
      ExpectWord("unique");
      c.kind = TableConstraint::Kind::kUnique;
    }
    if (AcceptWord("clustered")) {
      c.clustered = true;
    } else if (AcceptWord("nonclustered")) {
      c.clustered = false;
    }
    return c;
  }

  // WITH (FILLFACTOR = n, ...) and ON filegroup after an index: storage details
  // that have no meaning on this engine.
  void SkipIndexOptions() {
    if (AtWord("with") && At(TokenKind::kLParen, 1)) {
      Take();
      Take();
      int depth = 1;
      while (depth > 0 && !AtEnd()) {
        if (At(TokenKind::kLParen)) ++depth;
        if (At(TokenKind::kRParen)) --depth;
        Take();
      }
    }
    if (AtWord("on") && (IsNameToken(Peek(1)) || Peek(1).Is("primary"))) {
      Take();
      Take();
    }
  }

  // index_columns -> name [ASC|DESC] {, name [ASC|DESC]}
  std::vector<IndexColumn> ParseIndexColumns() {
    std::vector<IndexColumn> cols;
    do {
      IndexColumn c;
      c.name = ParseName();
      if (AcceptWord("desc")) {
        c.descending = true;
      } else {
        AcceptWord("asc");
      }
      cols.push_back(std::move(c));
    } while (Accept(TokenKind::kComma));
    return cols;
  }

  // column_def -> name type { NULL | NOT NULL | IDENTITY [(seed, step)] | [CONSTRAINT name] DEFAULT expr
  //                          | [CONSTRAINT name] (PRIMARY KEY | UNIQUE) [CLUSTERED|NONCLUSTERED] }
  ColumnDef ParseColumnDef(std::vector<TableConstraint>& constraints) {
    ColumnDef col;
    Place(col, Peek());
    col.name = ParseName();
    if (AtWord("as")) NotSupported(Peek(), "Computed columns");
    col.type = ParseType();
    for (;;) {
      const Token& t = Peek();
      if (t.Is("null")) {
        Take();
        col.nullable = true;
      } else if (t.Is("not")) {
        Take();
        ExpectWord("null");
        col.nullable = false;
      } else if (t.Is("identity")) {
        Take();
        col.identity = true;
        if (Accept(TokenKind::kLParen)) {
          col.identity_seed = ParseStructuralInteger();
          Expect(TokenKind::kComma);
          col.identity_increment = ParseStructuralInteger();
          Expect(TokenKind::kRParen);
        }
      } else if (t.Is("constraint") || t.Is("default") || t.Is("primary") || t.Is("unique")) {
        std::string name;
        if (AcceptWord("constraint")) name = ParseName();
        if (AcceptWord("default")) {
          if (col.default_value) SyntaxError();
          col.default_name = name;
          size_t first = pos_;
          col.default_value = ParseDefaultValue();
          col.default_text = SourceText(first, pos_ - 1);
          MarkStructuralRange(first, pos_);
        } else if (AtWord("primary") || AtWord("unique")) {
          TableConstraint c = ParseKeyConstraintHead(t);
          c.name = name;
          c.columns.push_back(IndexColumn{col.name, false});
          SkipIndexOptions();
          constraints.push_back(std::move(c));
        } else if (AtWord("check")) {
          NotSupported(Peek(), "CHECK constraints");
        } else {
          SyntaxError();
        }
      } else if (t.Is("collate")) {
        NotSupported(t, "COLLATE");
      } else if (t.Is("check")) {
        NotSupported(t, "CHECK constraints");
      } else if (t.Is("references") || t.Is("foreign")) {
        NotSupported(t, "FOREIGN KEY constraints");
      } else if (t.Is("rowguidcol")) {
        NotSupported(t, "ROWGUIDCOL");
      } else {
        break;
      }
    }
    return col;
  }

  // default_value -> additive_expr ("default ''" and "Default('')" alike; NOT NULL may follow)
  ExprPtr ParseDefaultValue() { return ParseAdditive(); }

  // create_index -> CREATE [UNIQUE] [CLUSTERED|NONCLUSTERED] INDEX name ON table '(' cols ')'
  StatementPtr ParseCreateIndex(const Token& start) {
    auto s = Make<CreateIndexStmt>(start);
    if (AcceptWord("unique")) s->unique = true;
    if (AcceptWord("clustered")) {
      s->clustered = true;
    } else if (AcceptWord("nonclustered")) {
      s->clustered = false;
    }
    ExpectWord("index");
    s->name = ParseName();
    ExpectWord("on");
    s->table = ParseMultiPartName();
    Expect(TokenKind::kLParen);
    s->columns = ParseIndexColumns();
    Expect(TokenKind::kRParen);
    if (AtWord("include")) NotSupported(Peek(), "Included index columns");
    if (AtWord("where")) NotSupported(Peek(), "Filtered indexes");
    SkipIndexOptions();
    return s;
  }

  // create_view -> CREATE VIEW name AS query
  StatementPtr ParseCreateView(const Token& start, size_t start_index, bool alter) {
    auto s = Make<CreateViewStmt>(start);
    s->alter = alter;
    Take();  // VIEW
    s->name = ParseMultiPartName();
    if (At(TokenKind::kLParen)) NotSupported(Peek(), "View column lists");
    if (AtWord("with")) NotSupported(Peek(), "View options (WITH ...)");
    ExpectWord("as");
    size_t body_first = pos_;
    CteScope scope(*this);
    if (AtWord("with")) ParseWithClause();
    s->query = ParseQuery();
    if (AtWord("with")) NotSupported(Peek(), "WITH CHECK OPTION");
    s->body_text = SourceText(body_first, pos_ - 1);
    s->text = SourceText(start_index, pos_ - 1);
    MarkStructuralRange(start_index, pos_);
    return s;
  }

  // create_proc -> CREATE PROC[EDURE] name [ '(' ] param {, param} [ ')' ] [WITH opts] AS statements
  StatementPtr ParseCreateProcedure(const Token& start, size_t start_index, bool alter) {
    auto s = Make<CreateProcedureStmt>(start);
    s->alter = alter;
    Take();  // PROC / PROCEDURE
    s->name = ParseMultiPartName();
    if (At(TokenKind::kSemicolon) && At(TokenKind::kInteger, 1)) {
      NotSupported(Peek(), "Numbered procedures");
    }
    bool parens = Accept(TokenKind::kLParen);
    if (At(TokenKind::kVariable)) {
      do {
        s->params.push_back(ParseProcParameter());
      } while (Accept(TokenKind::kComma));
    }
    if (parens) Expect(TokenKind::kRParen);
    if (AcceptWord("with")) {
      // RECOMPILE / ENCRYPTION change nothing here; EXECUTE AS would.
      do {
        if (AtWord("execute") || AtWord("exec")) NotSupported(Peek(), "EXECUTE AS");
        if (!IsWordToken(Peek())) SyntaxError();
        Take();
      } while (Accept(TokenKind::kComma));
    }
    if (AtWord("for") && AtWord("replication", 1)) {
      Take();
      Take();
    }
    ExpectWord("as");
    size_t body_first = pos_;
    s->body_line = Peek().line;
    // The body runs to the end of the batch, as in the dialect.
    SkipSemicolons();
    while (!AtEnd()) {
      s->body.push_back(ParseStatement(false));
      SkipSemicolons();
    }
    if (s->body.empty()) SyntaxError();
    s->body_text = SourceTextToEnd(body_first);
    s->text = SourceTextToEnd(start_index);
    MarkStructuralRange(start_index, pos_);
    return s;
  }

  // param -> @name [AS] type [VARYING] [= default] [OUT | OUTPUT] [READONLY]
  ProcParameter ParseProcParameter() {
    ProcParameter p;
    Place(p, Peek());
    p.name = Expect(TokenKind::kVariable).value;
    AcceptWord("as");
    p.type = ParseType();
    AcceptWord("varying");
    if (Accept(TokenKind::kEq)) p.default_value = ParseUnary();
    if (AcceptWord("out") || AcceptWord("output")) p.output = true;
    if (AtWord("readonly")) NotSupported(Peek(), "Table-valued parameters");
    return p;
  }

  // alter -> ALTER TABLE name ADD element {, element} | ALTER VIEW ... | ALTER PROC ...
  StatementPtr ParseAlter() {
    if (AtWord("table", 1)) {
      auto s = Make<AlterTableAddStmt>(Take());
      Take();  // TABLE
      s->table = ParseMultiPartName();
      if (!AtWord("add")) {
        if (IsWordToken(Peek())) NotSupported(Peek(), "ALTER TABLE ... " + Peek().text);
        SyntaxError();
      }
      Take();
      do {
        ParseTableElement(s->columns, s->constraints);
      } while (Accept(TokenKind::kComma));
      return s;
    }
    return ParseCreate(true);
  }

  // drop -> DROP (TABLE | VIEW | PROC[EDURE]) [IF EXISTS] name {, name} | DROP INDEX ...
  StatementPtr ParseDrop() {
    const Token& start = Take();
    if (AtWord("index")) {
      Take();
      auto s = Make<DropIndexStmt>(start);
      if (AtWord("if") && AtWord("exists", 1)) {
        Take();
        Take();
        s->if_exists = true;
      }
      do {
        Name n = ParseMultiPartName();
        DropIndexStmt::Target target;
        if (AcceptWord("on")) {
          if (n.size() != 1) SyntaxError();
          target.index = n[0];
          target.table = ParseMultiPartName();
        } else {
          if (n.size() < 2) SyntaxError();
          target.index = n.back();
          n.pop_back();
          target.table = std::move(n);
        }
        s->indexes.push_back(std::move(target));
      } while (Accept(TokenKind::kComma));
      return s;
    }
    auto s = Make<DropStmt>(start);
    if (AcceptWord("table")) {
      s->object = DropStmt::Object::kTable;
    } else if (AcceptWord("view")) {
      s->object = DropStmt::Object::kView;
    } else if (AcceptWord("proc") || AcceptWord("procedure")) {
      s->object = DropStmt::Object::kProcedure;
    } else if (IsWordToken(Peek())) {
      NotSupported(Peek(), "DROP " + Peek().text);
    } else {
      SyntaxError();
    }
    if (AtWord("if") && AtWord("exists", 1)) {
      Take();
      Take();
      s->if_exists = true;
    }
    do {
      s->names.push_back(ParseMultiPartName());
    } while (Accept(TokenKind::kComma));
    return s;
  }

  // declare -> DECLARE @v [AS] type [= expr] {, @v [AS] type [= expr]}
  StatementPtr ParseDeclare() {
    auto s = Make<DeclareStmt>(Take());
    if (IsNameToken(Peek()) &&
        (AtWord("cursor", 1) || AtWord("insensitive", 1) || AtWord("scroll", 1))) {
      NotSupported(Peek(), "Cursors (DECLARE ... CURSOR)");
    }
    do {
      VariableDecl v;
      Place(v, Peek());
      v.name = Expect(TokenKind::kVariable).value;
      AcceptWord("as");
      v.type = ParseType();
      if (Accept(TokenKind::kEq)) v.init = ParseExpr();
      s->variables.push_back(std::move(v));
    } while (Accept(TokenKind::kComma));
    return s;
  }

  // set -> SET @v [op]= expr | SET option_list (ON | OFF) | SET option value
  StatementPtr ParseSet() {
    const Token& start = Take();
    if (At(TokenKind::kVariable)) {
      auto s = Make<SetVariableStmt>(start);
      const Token& var = Take();
      s->variable = var.value;
      if (auto op = AcceptCompoundAssign()) {
        auto ref = Make<VariableExpr>(var);
        ref->name = var.value;
        s->value = BinaryNode(*op, std::move(ref), ParseExpr(), var);
        return s;
      }
      Expect(TokenKind::kEq);
      if (AtWord("cursor")) NotSupported(Peek(), "Cursors (SET @v = CURSOR)");
      s->value = ParseExpr();
      return s;
    }
    auto s = Make<SetOptionStmt>(start);
    if (!IsWordToken(Peek())) SyntaxError();
    std::string option = AsciiLower(Take().text);
    s->options.push_back(option);
    if (option == "identity_insert") {
      s->table = ParseMultiPartName();
      s->on = ParseOnOff();
    } else if (option == "transaction") {
      ExpectWord("isolation");
      ExpectWord("level");
      std::string level;
      while (AtWord("read") || AtWord("committed") || AtWord("uncommitted") ||
             AtWord("repeatable") || AtWord("snapshot") || AtWord("serializable")) {
        if (!level.empty()) level += ' ';
        level += AsciiLower(Take().text);
      }
      if (level.empty()) SyntaxError();
      s->word = level;
    } else if (option == "rowcount" || option == "textsize" || option == "datefirst" ||
               option == "lock_timeout") {
      s->value = ParseOptionValue();
    } else if (option == "dateformat" || option == "language" || option == "deadlock_priority") {
      if (IsWordToken(Peek()) || At(TokenKind::kQuotedIdentifier)) {
        s->word = AsciiLower(Take().value);
      } else {
        s->value = ParseOptionValue();
      }
    } else if (option == "statistics") {
      if (!IsWordToken(Peek())) SyntaxError();
      s->options.back() += " " + AsciiLower(Take().text);
      s->on = ParseOnOff();
    } else {
      while (Accept(TokenKind::kComma)) {
        if (!IsWordToken(Peek())) SyntaxError();
        s->options.push_back(AsciiLower(Take().text));
      }
      s->on = ParseOnOff();
    }
    return s;
  }

  bool ParseOnOff() {
    if (AcceptWord("on")) return true;
    if (AcceptWord("off")) return false;
    SyntaxError();
  }

  // option_value -> integer | @variable      (the integer shapes the statement)
  ExprPtr ParseOptionValue() {
    const Token& t = Peek();
    if (t.kind == TokenKind::kVariable) {
      Take();
      auto v = Make<VariableExpr>(t);
      v->name = t.value;
      return v;
    }
    if (t.kind == TokenKind::kString) {
      Take();
      MarkStructural(t);
      return LiteralFrom(t);
    }
    if (t.kind != TokenKind::kInteger && !(t.kind == TokenKind::kMinus && At(TokenKind::kInteger, 1))) {
      SyntaxError();
    }
    const Token& first = Peek();
    bool negative = Accept(TokenKind::kMinus);
    const Token& num = Take();
    MarkStructural(num);
    ExprPtr lit = LiteralFrom(num);
    if (!negative) return lit;
    auto u = Make<UnaryExpr>(first);
    u->op = UnaryOp::kMinus;
    u->operand = std::move(lit);
    return u;
  }

  // if -> IF expr statement [ELSE statement]
  StatementPtr ParseIf() {
    auto s = Make<IfStmt>(Take());
    s->condition = ParseExpr();
    s->then_branch = ParseBody();
    // A semicolon may end the THEN statement before ELSE.
    size_t save = pos_;
    SkipSemicolons();
    if (AcceptWord("else")) {
      s->else_branch = ParseBody();
    } else {
      pos_ = save;
    }
    return s;
  }

  // body -> statement   (exactly one; BEGIN ... END groups several)
  StatementPtr ParseBody() {
    SkipSemicolons();
    if (AtEnd()) SyntaxError();
    return ParseStatement(false);
  }

  // while -> WHILE expr statement
  StatementPtr ParseWhile() {
    auto s = Make<WhileStmt>(Take());
    s->condition = ParseExpr();
    s->body = ParseBody();
    return s;
  }

  // begin -> BEGIN TRAN[SACTION] [name] | BEGIN statement {statement} END
  StatementPtr ParseBegin() {
    const Token& start = Take();
    if (AtWord("tran") || AtWord("transaction")) {
      Take();
      auto s = std::make_unique<TransactionStmt>(StmtKind::kBeginTran);
      Place(*s, start);
      if (IsNameToken(Peek()) || At(TokenKind::kVariable)) s->name = Take().value;
      if (AtWord("with") && AtWord("mark", 1)) NotSupported(Peek(), "BEGIN TRANSACTION WITH MARK");
      return s;
    }
    if (AtWord("try")) return ParseTryCatch(start);
    if (AtWord("distributed")) NotSupported(Peek(), "Distributed transactions");
    if (AtWord("dialog") || AtWord("conversation")) NotSupported(Peek(), "Service broker dialogs");
    auto s = Make<BlockStmt>(start);
    SkipSemicolons();
    while (!AtWord("end")) {
      if (AtEnd()) SyntaxError();
      s->statements.push_back(ParseStatement(false));
      SkipSemicolons();
    }
    if (s->statements.empty()) SyntaxError();  // BEGIN END: near END
    Take();  // END
    return s;
  }

  // try_catch -> BEGIN TRY statements END TRY BEGIN CATCH [statements] END CATCH
  StatementPtr ParseTryCatch(const Token& start) {
    Take();  // TRY
    auto s = Make<TryCatchStmt>(start);
    auto body = [&](std::string_view end, std::vector<StatementPtr>& out) {
      SkipSemicolons();
      while (!(AtWord("end") && AtWord(end, 1))) {
        if (AtEnd()) SyntaxError();
        out.push_back(ParseStatement(false));
        SkipSemicolons();
      }
      Take();  // END
      Take();  // TRY / CATCH
    };
    body("try", s->try_body);
    if (s->try_body.empty()) SyntaxError();
    SkipSemicolons();
    ExpectWord("begin");
    ExpectWord("catch");
    body("catch", s->catch_body);
    return s;
  }

  // throw -> THROW [number ',' message ',' state]
  StatementPtr ParseThrow() {
    auto s = Make<ThrowStmt>(Take());
    const Token& t = Peek();
    const bool argument = t.kind == TokenKind::kInteger || t.kind == TokenKind::kVariable ||
                          t.kind == TokenKind::kMinus || t.kind == TokenKind::kString ||
                          t.kind == TokenKind::kNString;
    if (!argument) return s;
    s->number = ParseExpr();
    Expect(TokenKind::kComma);
    s->message = ParseExpr();
    Expect(TokenKind::kComma);
    s->state = ParseExpr();
    return s;
  }

  // commit -> COMMIT [TRAN | TRANSACTION | WORK] [name];  rollback alike
  StatementPtr ParseCommitRollback() {
    const Token& start = Take();
    auto s = std::make_unique<TransactionStmt>(start.Is("commit") ? StmtKind::kCommit
                                                                  : StmtKind::kRollback);
    Place(*s, start);
    if (AcceptWord("tran") || AcceptWord("transaction")) {
      if (IsNameToken(Peek()) || At(TokenKind::kVariable)) s->name = Take().value;
    } else {
      AcceptWord("work");
    }
    return s;
  }

  // exec -> EXEC[UTE] [@rc =] proc_name [arg {, arg}]   |   EXEC '(' string ')' (rejected)
  StatementPtr ParseExec() {
    const Token& start = Take();
    if (At(TokenKind::kLParen)) NotSupported(start, "Dynamic SQL (EXEC of a string)");
    std::string return_variable;
    if (At(TokenKind::kVariable)) {
      if (!At(TokenKind::kEq, 1)) NotSupported(Peek(), "EXEC of a procedure named by a variable");
      return_variable = Take().value;
      Take();
    }
    auto s = ParseExecCall(start);
    s->return_variable = return_variable;
    return s;
  }

  std::unique_ptr<ExecStmt> ParseExecCall(const Token& start) {
    auto s = Make<ExecStmt>(start);
    const Token& name_tok = Peek();
    s->procedure = ParseMultiPartName();
    std::string last = AsciiLower(s->procedure.back());
    if (last == "sp_executesql") NotSupported(name_tok, "Dynamic SQL (sp_executesql)");
    if (IsExecArgStart()) {
      do {
        s->args.push_back(ParseExecArg());
      } while (Accept(TokenKind::kComma));
    }
    if (AtWord("with") && AtWord("recompile", 1)) {
      Take();
      Take();
    }
    return s;
  }

  bool IsExecArgStart() const {
    const Token& t = Peek();
    switch (t.kind) {
      case TokenKind::kVariable:
      case TokenKind::kInteger:
      case TokenKind::kDecimal:
      case TokenKind::kFloat:
      case TokenKind::kString:
      case TokenKind::kNString:
      case TokenKind::kMinus:
      case TokenKind::kPlus:
      case TokenKind::kQuotedIdentifier:
        return true;
      case TokenKind::kIdentifier:
        return t.Is("null") || t.Is("default") || !IsReservedWord(t.text);
      default:
        return false;
    }
  }

  // arg -> [@param =] value [OUTPUT | OUT];  value -> [-] literal | @v | NULL | DEFAULT | word
  ExecArg ParseExecArg() {
    ExecArg arg;
    const Token& first = Peek();
    Place(arg, first);
    if (first.kind == TokenKind::kVariable && At(TokenKind::kEq, 1)) {
      arg.name = Take().value;
      Take();
    }
    const Token& t = Peek();
    if (t.kind == TokenKind::kVariable) {
      Take();
      auto v = Make<VariableExpr>(t);
      v->name = t.value;
      arg.value = std::move(v);
    } else if (t.Is("null")) {
      arg.value = Make<NullExpr>(Take());
    } else if (t.Is("default")) {
      arg.value = Make<DefaultExpr>(Take());
    } else if (t.kind == TokenKind::kMinus || t.kind == TokenKind::kPlus) {
      Take();
      const Token& num = Peek();
      if (num.kind != TokenKind::kInteger && num.kind != TokenKind::kDecimal &&
          num.kind != TokenKind::kFloat) {
        SyntaxError();
      }
      Take();
      auto u = Make<UnaryExpr>(t);
      u->op = t.kind == TokenKind::kMinus ? UnaryOp::kMinus : UnaryOp::kPlus;
      u->operand = LiteralFrom(num);
      arg.value = std::move(u);
    } else if (t.IsLiteral()) {
      arg.value = LiteralFrom(Take());
    } else if (IsNameToken(t)) {
      // A bare word is a character string argument (EXEC sp_help t_ICItem); it is no
      // batch literal, so its literal_index stays -1.
      Take();
      auto lit = Make<LiteralExpr>(t);
      lit->form = LiteralExpr::Form::kString;
      lit->text = t.text;
      lit->value = t.value;
      lit->type = TypeInfo::VarChar(std::max<int32_t>(static_cast<int32_t>(t.value.size()), 1));
      arg.value = std::move(lit);
    } else {
      SyntaxError();
    }
    if (AcceptWord("output") || AcceptWord("out")) arg.output = true;
    return arg;
  }

  // return -> RETURN [expr]
  StatementPtr ParseReturn() {
    auto s = Make<ReturnStmt>(Take());
    if (StartsExpression()) s->value = ParseExpr();
    return s;
  }

  // Whether the current token can begin an expression rather than the next statement.
  bool StartsExpression() const {
    const Token& t = Peek();
    switch (t.kind) {
      case TokenKind::kEnd:
      case TokenKind::kSemicolon:
      case TokenKind::kRParen:
      case TokenKind::kComma:
        return false;
      case TokenKind::kIdentifier:
        if (!IsReservedWord(t.text)) return true;
        return t.Is("null") || t.Is("case") || t.Is("cast") || t.Is("convert") ||
               t.Is("exists") || t.Is("not") || t.Is("coalesce") || t.Is("nullif") ||
               t.Is("left") || t.Is("right") || t.Is("current_timestamp") ||
               t.Is("current_user") || t.Is("session_user") || t.Is("system_user") ||
               t.Is("user");
      default:
        return true;
    }
  }

  // print -> PRINT expr
  StatementPtr ParsePrint() {
    auto s = Make<PrintStmt>(Take());
    s->value = ParseExpr();
    return s;
  }

  // raiserror -> RAISERROR '(' msg ',' severity ',' state {, arg} ')' [WITH option {, option}]
  StatementPtr ParseRaiserror() {
    auto s = Make<RaiserrorStmt>(Take());
    if (!At(TokenKind::kLParen)) NotSupported(Peek(), "RAISERROR without parentheses");
    Take();
    s->message = ParseExpr();
    Expect(TokenKind::kComma);
    s->severity = ParseStructuralArg();
    Expect(TokenKind::kComma);
    s->state = ParseStructuralArg();
    while (Accept(TokenKind::kComma)) s->args.push_back(ParseExpr());
    Expect(TokenKind::kRParen);
    if (AcceptWord("with")) {
      do {
        if (AcceptWord("nowait")) {
          s->nowait = true;
        } else if (AcceptWord("log")) {
          s->log = true;
        } else if (AcceptWord("seterror")) {
          s->seterror = true;
        } else {
          SyntaxError();
        }
      } while (Accept(TokenKind::kComma));
    }
    return s;
  }

  // An expression whose literal (if it is one, possibly signed) is structural.
  ExprPtr ParseStructuralArg() {
    size_t first = pos_;
    ExprPtr e = ParseExpr();
    for (size_t i = first; i < pos_; ++i) {
      if (toks_[i].IsLiteral() && toks_[i].kind == TokenKind::kInteger) MarkStructural(toks_[i]);
    }
    return e;
  }

  // ---- queries --------------------------------------------------------------

  // query -> branch { UNION [ALL] branch } [ORDER BY order_item {, order_item}]
  std::unique_ptr<Query> ParseQuery() {
    Nesting nesting(*this);
    auto q = Make<Query>(Peek());
    q->branches.push_back(ParseBranch(SetOp::kNone, true));
    for (;;) {
      if (AtWord("union")) {
        Take();
        SetOp op = AcceptWord("all") ? SetOp::kUnionAll : SetOp::kUnion;
        q->branches.push_back(ParseBranch(op, false));
      } else if (AtWord("except") || AtWord("intersect")) {
        // INTERSECT binds tighter than UNION and EXCEPT, where SQLite reads every set
        // operation from left to right: the two agree while INTERSECTs come first.
        const bool intersect = AtWord("intersect");
        if (intersect && q->branches.back()->op != SetOp::kNone &&
            q->branches.back()->op != SetOp::kIntersect) {
          NotSupported(Peek(), "INTERSECT after UNION or EXCEPT in one query");
        }
        Take();
        q->branches.push_back(ParseBranch(intersect ? SetOp::kIntersect : SetOp::kExcept, false));
      } else {
        break;
      }
    }
    if (AtWord("order")) {
      Take();
      ExpectWord("by");
      do {
        OrderItem item;
        Place(item, Peek());
        if (At(TokenKind::kInteger)) MarkStructural(Peek());  // ordinal position
        item.expr = ParseExpr();
        if (AcceptWord("desc")) {
          item.descending = true;
        } else {
          AcceptWord("asc");
        }
        q->order_by.push_back(std::move(item));
      } while (Accept(TokenKind::kComma));
      // OFFSET n {ROW | ROWS} [FETCH {FIRST | NEXT} m {ROW | ROWS} ONLY]
      if (AcceptWord("offset")) {
        q->offset = ParseExpr();
        if (!AcceptWord("rows")) ExpectWord("row");
        if (AcceptWord("fetch")) {
          if (!AcceptWord("next")) ExpectWord("first");
          q->fetch = ParseExpr();
          if (!AcceptWord("rows")) ExpectWord("row");
          ExpectWord("only");
        }
      }
    }
    if (AtWord("for") && (AtWord("xml", 1) || AtWord("json", 1) || AtWord("browse", 1))) {
      NotSupported(Peek(), "FOR " + Peek(1).text);
    }
    if (AtWord("option") && At(TokenKind::kLParen, 1)) NotSupported(Peek(), "OPTION clause");
    if (AtWord("compute")) NotSupported(Peek(), "COMPUTE");
    return q;
  }

  // branch -> core | '(' query ')'   (a parenthesised query without ORDER BY joins the chain)
  std::unique_ptr<SelectCore> ParseBranch(SetOp op, bool first) {
    if (At(TokenKind::kLParen)) {
      const Token& open = Take();
      auto inner = ParseQuery();
      Expect(TokenKind::kRParen);
      if (inner->branches.size() != 1 || !inner->order_by.empty()) {
        NotSupported(open, "A parenthesised set operation inside a UNION");
      }
      auto core = std::move(inner->branches.front());
      core->op = op;
      return core;
    }
    auto core = ParseSelectCore(first);
    core->op = op;
    return core;
  }

  // core -> SELECT [ALL | DISTINCT] [TOP n [PERCENT] [WITH TIES]] items [INTO name]
  //         [FROM sources] [WHERE expr] [GROUP BY exprs] [HAVING expr]
  std::unique_ptr<SelectCore> ParseSelectCore(bool first) {
    auto c = Make<SelectCore>(Peek());
    ExpectWord("select");
    if (AcceptWord("distinct")) {
      c->distinct = true;
    } else {
      AcceptWord("all");
    }
    if (AtWord("top")) c->top = ParseTop();
    do {
      c->items.push_back(ParseSelectItem());
    } while (Accept(TokenKind::kComma));
    if (AtWord("into")) {
      if (!first) SyntaxError();
      Take();
      c->into = ParseMultiPartName();
    }
    if (AcceptWord("from")) c->from = ParseFromList();
    if (AcceptWord("where")) c->where = ParseExpr();
    if (AtWord("group")) {
      Take();
      ExpectWord("by");
      if (AtWord("all")) NotSupported(Peek(), "GROUP BY ALL");
      do {
        if (AtWord("rollup") || AtWord("cube") || AtWord("grouping")) {
          if (At(TokenKind::kLParen, 1) || AtWord("sets", 1)) {
            NotSupported(Peek(), Peek().text + " (grouping)");
          }
        }
        c->group_by.push_back(ParseExpr());
      } while (Accept(TokenKind::kComma));
      if (AtWord("with") && (AtWord("rollup", 1) || AtWord("cube", 1))) {
        NotSupported(Peek(), "WITH " + Peek(1).text);
      }
    }
    if (AcceptWord("having")) c->having = ParseExpr();
    return c;
  }

  // top -> TOP integer [PERCENT] [WITH TIES] | TOP '(' expr ')' [PERCENT] [WITH TIES]
  TopClause ParseTop() {
    TopClause top;
    Place(top, Take());
    if (At(TokenKind::kLParen)) {
      Take();
      if (At(TokenKind::kInteger) && At(TokenKind::kRParen, 1)) MarkStructural(Peek());
      top.count = ParseExpr();
      Expect(TokenKind::kRParen);
    } else {
      const Token& n = Peek();
      if (n.kind != TokenKind::kInteger && n.kind != TokenKind::kDecimal &&
          n.kind != TokenKind::kFloat) {
        SyntaxError();
      }
      Take();
      MarkStructural(n);
      top.count = LiteralFrom(n);
    }
    if (AcceptWord("percent")) top.percent = true;
    if (AtWord("with") && AtWord("ties", 1)) {
      Take();
      Take();
      top.with_ties = true;
    }
    return top;
  }

  // select_item -> '*' | name '.' '*' | @v [op]= expr | alias '=' expr | expr [[AS] alias]
  SelectItem ParseSelectItem() {
    SelectItem item;
    const Token& first = Peek();
    Place(item, first);
    if (first.kind == TokenKind::kStar) {
      Take();
      item.kind = SelectItem::Kind::kStar;
      return item;
    }
    // name { '.' name } '.' '*'
    if (IsNameToken(first)) {
      size_t k = 0;
      while (IsNameToken(Peek(k)) && At(TokenKind::kDot, k + 1)) k += 2;
      if (k > 0 && At(TokenKind::kStar, k)) {
        while (!At(TokenKind::kStar)) {
          item.star_qualifier.push_back(Take().value);
          Take();  // '.'
        }
        Take();  // '*'
        item.kind = SelectItem::Kind::kStar;
        return item;
      }
    }
    if (first.kind == TokenKind::kVariable) {
      if (At(TokenKind::kEq, 1)) {
        Take();
        Take();
        item.kind = SelectItem::Kind::kAssign;
        item.variable = first.value;
        item.expr = ParseExpr();
        return item;
      }
      size_t save = pos_;
      Take();
      if (auto op = AcceptCompoundAssign()) {
        auto ref = Make<VariableExpr>(first);
        ref->name = first.value;
        item.kind = SelectItem::Kind::kAssign;
        item.variable = first.value;
        item.expr = BinaryNode(*op, std::move(ref), ParseExpr(), first);
        return item;
      }
      pos_ = save;
    }
    // alias = expr
    if ((IsNameToken(first) || first.kind == TokenKind::kString) && At(TokenKind::kEq, 1)) {
      item.alias = TakeAlias().value;
      Take();
      item.expr = ParseExpr();
      return item;
    }
    item.expr = ParseExpr();
    if (AcceptWord("as")) {
      const Token& a = Peek();
      if (!IsNameToken(a) && a.kind != TokenKind::kString) SyntaxError();
      item.alias = TakeAlias().value;
    } else if (IsNameToken(Peek()) || At(TokenKind::kString)) {
      item.alias = TakeAlias().value;
    }
    return item;
  }

  // from_list -> table_source {, table_source}
  std::vector<TableRefPtr> ParseFromList() {
    std::vector<TableRefPtr> from;
    do {
      from.push_back(ParseTableSource());
    } while (Accept(TokenKind::kComma));
    return from;
  }

  // Join keyword sequence at the current position: returns the type and the number of
  // tokens it spans, or 0 when none starts here.
  size_t JoinAhead(JoinType& type) const {
    if (AtWord("join")) {
      type = JoinType::kInner;
      return 1;
    }
    if (AtWord("inner") && AtWord("join", 1)) {
      type = JoinType::kInner;
      return 2;
    }
    if (AtWord("cross") && AtWord("join", 1)) {
      type = JoinType::kCross;
      return 2;
    }
    JoinType t;
    if (AtWord("left")) {
      t = JoinType::kLeft;
    } else if (AtWord("right")) {
      t = JoinType::kRight;
    } else if (AtWord("full")) {
      t = JoinType::kFull;
    } else {
      return 0;
    }
    if (AtWord("join", 1)) {
      type = t;
      return 2;
    }
    if (AtWord("outer", 1) && AtWord("join", 2)) {
      type = t;
      return 3;
    }
    return 0;
  }

  // table_source -> table_primary { join_type JOIN table_source_right [ON expr] }
  TableRefPtr ParseTableSource() {
    TableRefPtr left = ParseTablePrimary();
    for (;;) {
      if ((AtWord("cross") || AtWord("outer")) && AtWord("apply", 1)) {
        NotSupported(Peek(), "APPLY");
      }
      if ((AtWord("inner") || AtWord("left") || AtWord("right") || AtWord("full")) &&
          (AtWord("hash", 1) || AtWord("merge", 1) || AtWord("loop", 1))) {
        NotSupported(Peek(1), "Join hints");
      }
      JoinType type;
      size_t n = JoinAhead(type);
      if (n == 0) break;
      const Token& at = Peek();
      for (size_t i = 0; i < n; ++i) Take();
      auto join = Make<JoinRef>(at);
      join->type = type;
      join->left = std::move(left);
      join->right = ParseJoinRight(type);
      if (type != JoinType::kCross) {
        ExpectWord("on");
        join->on = ParseExpr();
      }
      left = std::move(join);
    }
    return left;
  }

  // The right side of a join; "a JOIN b JOIN c ON p ON q" nests (b JOIN c ON p) under q.
  TableRefPtr ParseJoinRight(JoinType outer) {
    Nesting nesting(*this);
    TableRefPtr right = ParseTablePrimary();
    if (outer == JoinType::kCross) return right;
    JoinType type;
    while (JoinAhead(type) != 0 && type != JoinType::kCross) {
      const Token& at = Peek();
      size_t n = JoinAhead(type);
      for (size_t i = 0; i < n; ++i) Take();
      auto join = Make<JoinRef>(at);
      join->type = type;
      join->left = std::move(right);
      join->right = ParseJoinRight(type);
      ExpectWord("on");
      join->on = ParseExpr();
      right = std::move(join);
    }
    return right;
  }

  // table_primary -> name [[AS] alias] [hints] | '(' query ')' [AS] alias | '(' table_source ')'
  TableRefPtr ParseTablePrimary() {
    Nesting nesting(*this);
    const Token& start = Peek();
    if (start.kind == TokenKind::kLParen) {
      if (IsQueryStart(1)) {
        Take();
        auto d = Make<DerivedTable>(start);
        d->query = ParseQuery();
        Expect(TokenKind::kRParen);
        AcceptWord("as");
        if (!IsNameToken(Peek())) SyntaxError();
        d->alias = Take().value;
        if (At(TokenKind::kLParen)) d->columns = ParseColumnList();
        return d;
      }
      Take();
      TableRefPtr inner = ParseTableSource();
      Expect(TokenKind::kRParen);
      return inner;
    }
    if (start.kind == TokenKind::kVariable) NotSupported(start, "Table variables");
    if (AtWord("openrowset") || AtWord("openquery") || AtWord("opendatasource") ||
        AtWord("openxml")) {
      NotSupported(start, start.text);
    }
    if (const CteDef* cte = FindCte(start)) return ParseCteReference(*cte);
    auto t = Make<NamedTable>(start);
    t->name = ParseMultiPartName();
    if (At(TokenKind::kLParen)) {
      if (IsHintWord(Peek(1))) {
        t->hints = ParseTableHints();
      } else {
        NotSupported(start, "Table-valued functions");
      }
    }
    if (AcceptWord("as")) {
      if (!IsNameToken(Peek())) SyntaxError();
      t->alias = Take().value;
    } else if (IsNameToken(Peek())) {
      t->alias = Take().value;
    }
    if (AtWord("tablesample")) NotSupported(Peek(), "TABLESAMPLE");
    if (AtWord("with") && At(TokenKind::kLParen, 1)) {
      auto more = ParseTableHints();
      t->hints.insert(t->hints.end(), more.begin(), more.end());
    } else if (At(TokenKind::kLParen) && IsHintWord(Peek(1))) {
      auto more = ParseTableHints();
      t->hints.insert(t->hints.end(), more.begin(), more.end());
    }
    if (AtWord("pivot") || AtWord("unpivot")) NotSupported(Peek(), Peek().text);
    return t;
  }

  // ---- expressions ----------------------------------------------------------
  // Precedence, loosest first: OR; AND; NOT; comparison / IS / LIKE / BETWEEN / IN;
  // + - & | ^; * / %; unary - + ~.

  // expr -> and_expr { OR and_expr }
  ExprPtr ParseExpr() {
    Nesting nesting(*this);
    ExprPtr left = ParseAnd();
    while (AtWord("or")) {
      const Token& at = Take();
      auto e = Make<LogicalExpr>(at);
      e->op = LogicalOp::kOr;
      e->left = std::move(left);
      e->right = ParseAnd();
      left = std::move(e);
    }
    return left;
  }

  // and_expr -> not_expr { AND not_expr }
  ExprPtr ParseAnd() {
    ExprPtr left = ParseNot();
    while (AtWord("and")) {
      const Token& at = Take();
      auto e = Make<LogicalExpr>(at);
      e->op = LogicalOp::kAnd;
      e->left = std::move(left);
      e->right = ParseNot();
      left = std::move(e);
    }
    return left;
  }

  // not_expr -> NOT not_expr | predicate
  ExprPtr ParseNot() {
    if (AtWord("not")) {
      Nesting nesting(*this);
      const Token& at = Take();
      auto e = Make<UnaryExpr>(at);
      e->op = UnaryOp::kNot;
      e->operand = ParseNot();
      return e;
    }
    return ParsePredicate();
  }

  std::optional<CompareOp> CompareAhead() const {
    switch (Peek().kind) {
      case TokenKind::kEq: return CompareOp::kEq;
      case TokenKind::kNe:
      case TokenKind::kBangEq: return CompareOp::kNe;
      case TokenKind::kLt: return CompareOp::kLt;
      case TokenKind::kGt: return CompareOp::kGt;
      case TokenKind::kLe: return CompareOp::kLe;
      case TokenKind::kGe: return CompareOp::kGe;
      case TokenKind::kNotLt: return CompareOp::kNotLt;
      case TokenKind::kNotGt: return CompareOp::kNotGt;
      default: return std::nullopt;
    }
  }

  // predicate -> additive [ cmp additive | IS [NOT] NULL | [NOT] LIKE additive [ESCAPE additive]
  //                       | [NOT] BETWEEN additive AND additive | [NOT] IN '(' (query | exprs) ')' ]
  ExprPtr ParsePredicate() {
    ExprPtr left = ParseAdditive();
    if (auto op = CompareAhead()) {
      const Token& at = Take();
      if ((AtWord("all") || AtWord("any") || AtWord("some")) && At(TokenKind::kLParen, 1)) {
        NotSupported(Peek(), Peek().text + " (subquery comparison)");
      }
      auto e = Make<CompareExpr>(at);
      e->op = *op;
      e->left = std::move(left);
      e->right = ParseAdditive();
      return e;
    }
    if (AtWord("is")) {
      const Token& at = Take();
      auto e = Make<IsNullExpr>(at);
      e->negated = AcceptWord("not");
      ExpectWord("null");
      e->operand = std::move(left);
      return e;
    }
    bool negated = false;
    size_t save = pos_;
    if (AtWord("not") && (AtWord("like", 1) || AtWord("between", 1) || AtWord("in", 1))) {
      Take();
      negated = true;
    }
    if (AtWord("like")) {
      const Token& at = Take();
      auto e = Make<LikeExpr>(at);
      e->negated = negated;
      e->operand = std::move(left);
      e->pattern = ParseAdditive();
      if (AcceptWord("escape")) e->escape = ParseAdditive();
      return e;
    }
    if (AtWord("between")) {
      const Token& at = Take();
      auto e = Make<BetweenExpr>(at);
      e->negated = negated;
      e->operand = std::move(left);
      e->low = ParseAdditive();
      ExpectWord("and");
      e->high = ParseAdditive();
      return e;
    }
    if (AtWord("in")) {
      const Token& at = Take();
      auto e = Make<InExpr>(at);
      e->negated = negated;
      e->operand = std::move(left);
      Expect(TokenKind::kLParen);
      if (IsQueryStart(0)) {
        e->subquery = ParseQuery();
      } else {
        do {
          // A list longer than a statement can hold parameters for is refused as the server
          // refuses a plan it has no resources for, before it is bound.
          if (e->list.size() == kMaxInList) {
            SqlError err(8623, 16,
                         "The query processor ran out of internal resources and could not "
                         "produce a query plan. This is a rare event and only expected for "
                         "extremely complex queries or queries that reference a very large "
                         "number of tables or partitions. Please simplify the query. If you "
                         "believe you have received this message in error, contact Customer "
                         "Support Services for more information.",
                         at.line);
            throw err;
          }
          e->list.push_back(ParseExpr());
        } while (Accept(TokenKind::kComma));
      }
      Expect(TokenKind::kRParen);
      return e;
    }
    pos_ = save;
    return left;
  }

  // additive -> term { ('+' | '-' | '&' | '|' | '^') term }
  ExprPtr ParseAdditive() {
    ExprPtr left = ParseTerm();
    for (;;) {
      BinaryOp op;
      switch (Peek().kind) {
        case TokenKind::kPlus: op = BinaryOp::kAdd; break;
        case TokenKind::kMinus: op = BinaryOp::kSub; break;
        case TokenKind::kAmp: op = BinaryOp::kBitAnd; break;
        case TokenKind::kPipe: op = BinaryOp::kBitOr; break;
        case TokenKind::kCaret: op = BinaryOp::kBitXor; break;
        default: return left;
      }
      // "x += 1" belongs to SET / SELECT assignment, never to an expression.
      if (At(TokenKind::kEq, 1)) return left;
      const Token& at = Take();
      ExprPtr right = ParseTerm();
      left = BinaryNode(op, std::move(left), std::move(right), at);
    }
  }

  // term -> unary { ('*' | '/' | '%') unary }
  ExprPtr ParseTerm() {
    ExprPtr left = ParseUnary();
    for (;;) {
      BinaryOp op;
      switch (Peek().kind) {
        case TokenKind::kStar: op = BinaryOp::kMul; break;
        case TokenKind::kSlash: op = BinaryOp::kDiv; break;
        case TokenKind::kPercent: op = BinaryOp::kMod; break;
        default: return left;
      }
      if (At(TokenKind::kEq, 1)) return left;
      const Token& at = Take();
      ExprPtr right = ParseUnary();
      left = BinaryNode(op, std::move(left), std::move(right), at);
    }
  }

  // unary -> ('-' | '+' | '~') unary | primary
  ExprPtr ParseUnary() {
    const Token& t = Peek();
    UnaryOp op;
    switch (t.kind) {
      case TokenKind::kMinus: op = UnaryOp::kMinus; break;
      case TokenKind::kPlus: op = UnaryOp::kPlus; break;
      case TokenKind::kTilde: op = UnaryOp::kBitNot; break;
      default: return ParsePrimary();
    }
    Nesting nesting(*this);
    Take();
    auto e = Make<UnaryExpr>(t);
    e->op = op;
    e->operand = ParseUnary();
    return e;
  }

  // primary -> literal | NULL | @v | @@name | '(' expr ')' | '(' query ')' | CASE ... | CAST ...
  //          | CONVERT ... | IDENTITY ... | EXISTS '(' query ')' | name ['(' args ')']
  ExprPtr ParsePrimary() {
    const Token& t = Peek();
    switch (t.kind) {
      case TokenKind::kInteger:
      case TokenKind::kDecimal:
      case TokenKind::kFloat:
      case TokenKind::kString:
      case TokenKind::kNString:
        return LiteralFrom(Take());
      case TokenKind::kVariable: {
        Take();
        auto v = Make<VariableExpr>(t);
        v->name = t.value;
        return v;
      }
      case TokenKind::kSystemVariable: {
        Take();
        std::string name = AsciiLower(t.value);
        if (name == "@@fetch_status" || name == "@@cursor_rows") NotSupported(t, "Cursors (" + t.text + ")");
        auto v = Make<SystemVariableExpr>(t);
        v->name = name;
        return v;
      }
      case TokenKind::kLParen: {
        Take();
        if (IsQueryStart(0)) {
          auto sub = Make<SubqueryExpr>(t);
          sub->query = ParseQuery();
          Expect(TokenKind::kRParen);
          return sub;
        }
        ExprPtr inner = ParseExpr();
        Expect(TokenKind::kRParen);
        return inner;
      }
      case TokenKind::kQuotedIdentifier:
        return ParseNameExpr();
      case TokenKind::kIdentifier:
        break;
      default:
        SyntaxError();
    }
    if (t.Is("null")) {
      Take();
      return Make<NullExpr>(t);
    }
    if (t.Is("case")) return ParseCase();
    if (t.Is("cast")) return ParseCast();
    if (t.Is("convert")) return ParseConvert();
    if (t.Is("try_convert")) NotSupported(t, "TRY_CONVERT");
    if (t.Is("identity") && At(TokenKind::kLParen, 1)) return ParseIdentity();
    if (t.Is("exists")) {
      Take();
      auto e = Make<ExistsExpr>(t);
      Expect(TokenKind::kLParen);
      if (!IsQueryStart(0)) SyntaxError();
      e->subquery = ParseQuery();
      Expect(TokenKind::kRParen);
      return e;
    }
    // Reserved words that are also function names.
    if ((t.Is("left") || t.Is("right") || t.Is("coalesce") || t.Is("nullif")) &&
        At(TokenKind::kLParen, 1)) {
      Take();
      return ParseCallArgs(Name{t.value}, t);
    }
    if (t.Is("current_timestamp") || t.Is("current_user") || t.Is("session_user") ||
        t.Is("system_user") || t.Is("user")) {
      Take();
      auto f = Make<FunctionCall>(t);
      f->name = Name{t.value};
      return f;
    }
    if (IsReservedWord(t.text)) SyntaxError();
    return ParseNameExpr();
  }

  // name_expr -> multi_part_name ['(' args ')']
  ExprPtr ParseNameExpr() {
    const Token& t = Peek();
    Name name = ParseMultiPartName();
    if (At(TokenKind::kLParen)) return ParseCallArgs(std::move(name), t);
    auto c = Make<ColumnRef>(t);
    c->parts = std::move(name);
    return c;
  }

  // call_args -> '(' [ '*' | [DISTINCT | ALL] expr {, expr} ] ')' [OVER ...]
  ExprPtr ParseCallArgs(Name name, const Token& at) {
    auto f = Make<FunctionCall>(at);
    f->name = std::move(name);
    Expect(TokenKind::kLParen);
    if (At(TokenKind::kStar)) {
      Take();
      f->star = true;
    } else if (!At(TokenKind::kRParen)) {
      if (AcceptWord("distinct")) {
        f->distinct = true;
      } else {
        AcceptWord("all");
      }
      do {
        f->args.push_back(ParseExpr());
      } while (Accept(TokenKind::kComma));
    }
    Expect(TokenKind::kRParen);
    // over -> OVER '(' [PARTITION BY expr {, expr}] [ORDER BY expr [ASC|DESC] {, ...}] ')'
    if (AcceptWord("over")) {
      Expect(TokenKind::kLParen);
      f->over = std::make_unique<OverClause>();
      if (AcceptWord("partition")) {
        ExpectWord("by");
        do {
          f->over->partition_by.push_back(ParseExpr());
        } while (Accept(TokenKind::kComma));
      }
      if (AcceptWord("order")) {
        ExpectWord("by");
        do {
          OverClause::Order item;
          item.expr = ParseExpr();
          if (AcceptWord("desc")) {
            item.descending = true;
          } else {
            AcceptWord("asc");
          }
          f->over->order_by.push_back(std::move(item));
        } while (Accept(TokenKind::kComma));
      }
      if (AtWord("rows") || AtWord("range")) NotSupported(Peek(), "Window frames (ROWS, RANGE)");
      Expect(TokenKind::kRParen);
    }
    // IIF(condition, a, b) is CASE WHEN condition THEN a ELSE b END.
    if (f->name.size() == 1 && AsciiLower(f->name[0]) == "iif" && !f->star) {
      if (f->args.size() != 3) {
        SqlError e(174, 15, "The iif function requires 3 argument(s).", at.line);
        e.column = at.column;
        throw e;
      }
      auto e = Make<CaseExpr>(at);
      WhenClause w;
      w.when = std::move(f->args[0]);
      w.then = std::move(f->args[1]);
      e->whens.push_back(std::move(w));
      e->else_value = std::move(f->args[2]);
      return e;
    }
    if (AtWord("within") && AtWord("group", 1)) NotSupported(Peek(), "WITHIN GROUP");
    return f;
  }

  // case -> CASE [expr] WHEN expr THEN expr {WHEN expr THEN expr} [ELSE expr] END
  ExprPtr ParseCase() {
    auto e = Make<CaseExpr>(Take());
    if (!AtWord("when")) e->operand = ParseExpr();
    if (!AtWord("when")) SyntaxError();
    while (AcceptWord("when")) {
      WhenClause w;
      w.when = ParseExpr();
      ExpectWord("then");
      w.then = ParseExpr();
      e->whens.push_back(std::move(w));
    }
    if (AcceptWord("else")) e->else_value = ParseExpr();
    ExpectWord("end");
    return e;
  }

  // cast -> CAST '(' expr AS type ')'
  ExprPtr ParseCast() {
    auto e = Make<ConvertExpr>(Take());
    e->is_cast = true;
    Expect(TokenKind::kLParen);
    e->operand = ParseExpr();
    ExpectWord("as");
    e->target = ParseType(true);
    Expect(TokenKind::kRParen);
    return e;
  }

  // convert -> CONVERT '(' type ',' expr [',' integer] ')'
  ExprPtr ParseConvert() {
    auto e = Make<ConvertExpr>(Take());
    Expect(TokenKind::kLParen);
    e->target = ParseType(true);
    Expect(TokenKind::kComma);
    e->operand = ParseExpr();
    if (Accept(TokenKind::kComma)) e->style = static_cast<int>(ParseStructuralInteger());
    Expect(TokenKind::kRParen);
    return e;
  }

  // identity -> IDENTITY '(' type [',' seed ',' increment] ')'
  ExprPtr ParseIdentity() {
    auto e = Make<IdentityExpr>(Take());
    Expect(TokenKind::kLParen);
    e->type = ParseType();
    if (Accept(TokenKind::kComma)) {
      e->seed = ParseStructuralInteger();
      Expect(TokenKind::kComma);
      e->increment = ParseStructuralInteger();
    }
    Expect(TokenKind::kRParen);
    return e;
  }

  std::vector<Token> toks_;
  std::string_view source_;
  size_t pos_ = 0;
  int depth_ = 0;
  std::set<int> structural_;
  std::vector<CteDef> ctes_;  // the WITH clause of the statement being read
  size_t ctes_visible_ = 0;   // how many of them a reference here may name
  std::string defining_;      // the one whose query is being read the first time
  size_t cte_tokens_read_ = 0;  // by this statement's references so far
};

}  // namespace

Batch ParseTokens(std::vector<Token> tokens, std::string_view source) {
  return Parser(std::move(tokens), source).Run();
}

Batch ParseBatch(std::string_view text) { return ParseTokens(Lex(text), text); }

}  // namespace morvesk::engine::sql
