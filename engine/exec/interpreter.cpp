#include "engine/exec/interpreter.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "base/ascii.h"
#include "engine/exec/hash_grouping.h"
#include "engine/exec/storage.h"
#include "engine/exec/system_catalog.h"
#include "engine/exec/system_procedures.h"
#include "engine/exec/table_ddl.h"

namespace morvesk::engine::exec {
namespace {

using base::AsciiLower;

// Storage families: values of one family bind without conversion whatever their
// precision, scale or length (decimal blobs are scale-independent).
int Family(TypeKind k) {
  TypeInfo t = TypeInfo::Of(k);
  if (t.IsInteger()) return 1;
  if (k == TypeKind::kDecimal || k == TypeKind::kMoney) return 2;
  if (t.IsApprox()) return 3;
  if (t.IsDateTime()) return 4;
  if (t.IsText()) return 5;
  return 0;
}

bool NeedsConversion(const Value& v, const TypeInfo& to) {
  if (v.is_null() || to.kind == TypeKind::kNull) return false;
  return Family(v.type().kind) != Family(to.kind);
}

Value Retag(const Value& v, const TypeInfo& t) {
  if (v.is_int()) return Value(t, v.as_int());
  if (v.is_double()) return Value(t, v.as_double());
  if (v.is_decimal()) return Value(t, v.as_decimal());
  if (v.is_datetime()) return Value(t, v.as_datetime());
  if (v.is_text()) return Value(t, v.as_text());
  return Value::Null(t);
}

SqlError Overflow(const TypeInfo& to) {
  std::string target = to.IsInteger() ? to.ToString() : "numeric";
  return SqlError(8115, 16,
                  "Arithmetic overflow error converting expression to data type " + target + ".", 0,
                  2);
}

// Cuts text to a varchar(n) (bytes, never inside a UTF-8 sequence) or nvarchar(n)
// (characters) length, and pads char(n).
std::string FitText(std::string s, const TypeInfo& to) {
  if (to.length > 0) {
    bool chars = to.kind == TypeKind::kNVarChar || to.kind == TypeKind::kNChar;
    size_t cut = s.size();
    if (chars) {
      int32_t n = 0;
      for (size_t i = 0; i < s.size(); ++i) {
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) {
          if (n == to.length) {
            cut = i;
            break;
          }
          ++n;
        }
      }
    } else if (s.size() > static_cast<size_t>(to.length)) {
      cut = static_cast<size_t>(to.length);
      while (cut > 0 && (static_cast<unsigned char>(s[cut]) & 0xC0) == 0x80) --cut;
    }
    s.resize(cut);
    if ((to.kind == TypeKind::kChar || to.kind == TypeKind::kNChar) &&
        s.size() < static_cast<size_t>(to.length)) {
      s.append(static_cast<size_t>(to.length) - s.size(), ' ');
    }
  }
  return s;
}

bool IntegerFits(int64_t v, TypeKind k) {
  switch (k) {
    case TypeKind::kTinyInt:
      return v >= 0 && v <= 255;
    case TypeKind::kSmallInt:
      return v >= -32768 && v <= 32767;
    case TypeKind::kInt:
      return v >= INT32_MIN && v <= INT32_MAX;
    default:
      return true;
  }
}

}  // namespace

const TypeInfo* Frame::Find(std::string_view name) const {
  auto it = variables.find(AsciiLower(name));
  return it == variables.end() ? nullptr : &it->second.type;
}

Variable* Frame::Lookup(std::string_view name) {
  // Translations name variables in lower case already; try that spelling first.
  auto it = variables.find(std::string(name));
  if (it != variables.end()) return &it->second;
  it = variables.find(AsciiLower(name));
  return it == variables.end() ? nullptr : &it->second;
}

ErrorScope ScopeOf(const SqlError& e) {
  switch (e.number) {
    case 2627:
    case 2601:
    case 515:
    case 547:
    case 8152:
    case 2628:
    case 512:
    case 8134:
    case 3623:
    case 8115:
    case 220:
    case 242:
    case 536:
    case 537:
    case 2812:
    case 201:
    case 8145:
    case 8143:
    case 8144:
    case 8162:
    case 3902:
    case 3903:
    case 50000:
    case 281:
    case 8133:
    case 517:
    case 535:
    case 1014:
    case 10742:
    case 10744:
    case 4111:
      return ErrorScope::kStatement;
    case 245:
    case 241:
    case 8114:
    case 1205:
    case 217:
      return ErrorScope::kBatchAndTransaction;
    default:
      return e.number > 50000 ? ErrorScope::kStatement : ErrorScope::kBatch;
  }
}

// ---------------------------------------------------------------------------
// Conversion

Value Interpreter::Convert(const Value& v, const TypeInfo& to) {
  if (to.kind == TypeKind::kNull) return v;
  if (v.is_null()) return Value::Null(to);
  const TypeInfo& from = v.type();
  if (from == to) return v;
  if (to.IsInteger() && v.is_int()) {
    int64_t x = v.as_int();
    if (to.kind == TypeKind::kBit) return Value(to, int64_t{x != 0});
    if (!IntegerFits(x, to.kind)) {
      if (to.kind == TypeKind::kInt) throw Overflow(to);
      throw SqlError(220, 16,
                     "Arithmetic overflow error for data type " + to.ToString() +
                         ", value = " + std::to_string(x) + ".");
    }
    return Value(to, x);
  }
  bool to_decimal = to.kind == TypeKind::kDecimal || to.kind == TypeKind::kMoney;
  if (to_decimal && (v.is_decimal() || v.is_int())) {
    Decimal d = v.is_decimal() ? v.as_decimal() : Decimal::FromInt(v.as_int());
    int scale = to.kind == TypeKind::kMoney ? 4 : to.scale;
    int precision = to.kind == TypeKind::kMoney ? 19 : to.precision;
    auto r = Rescale(d, scale);
    if (!r || !FitsPrecision(*r, precision)) {
      throw SqlError(8115, 16,
                     std::string("Arithmetic overflow error converting ") +
                         (v.is_int() ? "int" : "numeric") + " to data type numeric.",
                     0, 2);
    }
    return Value(to, *r);
  }
  if (to.IsText() && v.is_text()) {
    return Value(to, FitText(v.as_text(), to));
  }
  if (to.IsDateTime() && v.is_datetime() && to.kind == TypeKind::kDateTime) return Retag(v, to);
  if (to.kind == TypeKind::kFloat && v.is_double()) return Retag(v, to);

  // Everything else goes through the function library's CAST, so that the rules live in one place.
  sqlite3_stmt* st = c_.convert_.get();
  BindValue(st, 1, v);
  std::string from_text = from.kind == TypeKind::kNull ? "varchar(8000)" : from.ToString();
  std::string to_text = to.ToString();
  sqlite3_bind_text(st, 2, from_text.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_text(st, 3, to_text.c_str(), -1, SQLITE_TRANSIENT);
  int rc = sqlite3_step(st);
  if (rc != SQLITE_ROW) {
    SqlError e = ErrorFromSqlite(c_.sql_, rc);
    sqlite3_reset(st);
    throw e;
  }
  Value out = ReadColumn(st, 0, to);
  sqlite3_reset(st);
  return out;
}

// ---------------------------------------------------------------------------
// Batches and statements

void Interpreter::RunBatch(CachedBatch& code, std::vector<Value> literals,
                           std::vector<std::string> texts) {
  Frame f;
  f.code = &code;
  f.literals = std::move(literals);
  f.literal_texts = std::move(texts);
  if (code.batch.statements.size() <= ConnectionImpl::kLargeBatchStatements) {
    RunList(code.batch.statements, f);
    return;
  }
  // A large batch (a generated script) would keep a translation and prepared statements
  // for every statement: a top-level statement runs once, so its plans go when it has run.
  for (const auto& s : code.batch.statements) {
    const Flow fl = RunGuarded(*s, f);
    code.plans.clear();
    if (fl != Flow::kNormal) return;
  }
}

Flow Interpreter::RunList(const std::vector<ast::StatementPtr>& list, Frame& f) {
  for (const auto& s : list) {
    Flow fl = RunGuarded(*s, f);
    if (fl != Flow::kNormal) return fl;
  }
  return Flow::kNormal;
}

Flow Interpreter::RunGuarded(const ast::Statement& s, Frame& f) {
  try {
    return Run(s, f);
  } catch (SqlError& e) {
    if (e.line == 0) e.line = s.line;
    if (e.procedure.empty()) e.procedure = f.procedure;
    c_.error_ = e.number;
    f.max_error_severity = std::max(f.max_error_severity, e.severity);
    // THROW ends the batch whatever its number; in a TRY block every error goes on to
    // the CATCH block, reported to no one.
    ErrorScope scope = throwing_ ? ErrorScope::kBatch : ScopeOf(e);
    if (scope == ErrorScope::kStatement && try_depth_ == 0) {
      AddError(e);
      return Flow::kNormal;
    }
    if (scope == ErrorScope::kBatchAndTransaction && c_.trancount_ > 0) {
      sqlite3_exec(c_.sql_, "ROLLBACK", nullptr, nullptr, nullptr);
      c_.trancount_ = 0;
      c_.catalog_.Bump();
    }
    throw;
  }
}

Flow Interpreter::Run(const ast::Statement& s, Frame& f) {
  if (c_.interrupted()) throw BatchCancelled();
  current_ = &s;
  using K = ast::StmtKind;
  switch (s.kind) {
    case K::kSelect:
    case K::kInsert:
    case K::kUpdate:
    case K::kDelete:
      if (WorkClock* clock = CurrentWorkClock()) {
        const auto start = std::chrono::steady_clock::now();
        RunQueryStatement(s, f);
        clock->Statement(
            s.line,
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
      } else {
        RunQueryStatement(s, f);
      }
      c_.error_ = 0;
      return Flow::kNormal;
    case K::kBlock:
      return RunList(s.As<ast::BlockStmt>().statements, f);
    case K::kIf: {
      const auto& st = s.As<ast::IfStmt>();
      std::optional<bool> cond = Condition(*st.condition, f);
      c_.rowcount_ = 0;
      c_.error_ = 0;
      if (cond.value_or(false)) return RunGuarded(*st.then_branch, f);
      if (st.else_branch) return RunGuarded(*st.else_branch, f);
      return Flow::kNormal;
    }
    case K::kWhile: {
      const auto& st = s.As<ast::WhileStmt>();
      while (true) {
        std::optional<bool> cond = Condition(*st.condition, f);
        c_.error_ = 0;
        if (!cond.value_or(false)) break;
        Flow fl = RunGuarded(*st.body, f);
        if (fl == Flow::kBreak) break;
        if (fl == Flow::kReturn) return fl;
      }
      return Flow::kNormal;
    }
    case K::kBreak:
      return Flow::kBreak;
    case K::kContinue:
      return Flow::kContinue;
    case K::kReturn: {
      const auto& st = s.As<ast::ReturnStmt>();
      if (st.value) {
        Value v = Convert(Eval(*st.value, f), TypeInfo::Of(TypeKind::kInt));
        if (v.is_null()) {
          AddMessage("The '" + f.procedure +
                     "' procedure attempted to return a status of NULL, which is not allowed. A "
                     "status of 0 "
                     "will be returned instead.");
          f.return_status = 0;
        } else {
          f.return_status = static_cast<int>(v.as_int());
        }
      }
      c_.rowcount_ = 1;
      return Flow::kReturn;
    }
    case K::kDeclare:
      Declare(s.As<ast::DeclareStmt>(), f);
      c_.error_ = 0;
      return Flow::kNormal;
    case K::kSetVariable: {
      const auto& st = s.As<ast::SetVariableStmt>();
      Assign(f, st.variable, Eval(*st.value, f));
      c_.rowcount_ = 1;
      c_.error_ = 0;
      return Flow::kNormal;
    }
    case K::kSetOption:
      SetOption(s.As<ast::SetOptionStmt>());
      c_.rowcount_ = 0;
      c_.error_ = 0;
      return Flow::kNormal;
    case K::kBeginTran:
    case K::kCommit:
    case K::kRollback:
      Transaction(s);
      c_.rowcount_ = 0;
      c_.error_ = 0;
      return Flow::kNormal;
    case K::kExec:
      Exec(s.As<ast::ExecStmt>(), f);
      return Flow::kNormal;
    case K::kPrint: {
      Value v = Eval(*s.As<ast::PrintStmt>().value, f);
      Value text = Convert(v, TypeInfo::VarChar(8000));
      AddMessage(text.is_null() ? std::string() : text.as_text());
      c_.rowcount_ = 0;
      c_.error_ = 0;
      return Flow::kNormal;
    }
    case K::kRaiserror:
      Raiserror(s.As<ast::RaiserrorStmt>(), f);
      c_.rowcount_ = 0;
      return Flow::kNormal;
    case K::kTryCatch:
      return RunTryCatch(s.As<ast::TryCatchStmt>(), f);
    case K::kThrow:
      Throw(s.As<ast::ThrowStmt>(), f);
    case K::kCreateTable:
      CreateTable(s.As<ast::CreateTableStmt>(), f);
      break;
    case K::kAlterTableAdd:
      AlterTableAdd(s.As<ast::AlterTableAddStmt>(), f);
      break;
    case K::kCreateIndex:
      CreateIndex(s.As<ast::CreateIndexStmt>());
      break;
    case K::kDropIndex:
      DropIndex(s.As<ast::DropIndexStmt>());
      break;
    case K::kDrop:
      Drop(s.As<ast::DropStmt>(), f);
      break;
    case K::kTruncate:
      Truncate(s.As<ast::TruncateStmt>());
      break;
    case K::kCreateView:
      CreateView(s.As<ast::CreateViewStmt>(), f);
      break;
    case K::kCreateProcedure:
      CreateProcedure(s.As<ast::CreateProcedureStmt>(), f);
      break;
  }
  c_.rowcount_ = 0;
  c_.error_ = 0;
  return Flow::kNormal;
}

// ---------------------------------------------------------------------------
// Set-based statements and expressions

Plan& Interpreter::PlanFor(const void* key, Frame& f,
                           const std::function<Translation(const BindContext&)>& make) {
  auto& slot = f.code->plans[key];
  // When the catalog changed elsewhere but the lookups still hold, the translation stands,
  // and SQLite prepares its statements again by itself if their tables were made anew.
  if (slot &&
      (slot->catalog_version == c_.catalog_.version() || slot->lookups.StillHold(c_.catalog_)) &&
      StillSmall(*slot)) {
    slot->catalog_version = c_.catalog_.version();
    return *slot;
  }
  auto plan = std::make_unique<Plan>();
  RecordingCatalog recording(c_.catalog_, plan->lookups);
  BindContext ctx{recording, f, f.code->literal_types};
  ctx.row_bound = [this](const TableInfo& t) { return RowBound(t.sqlite_name); };
  plan->translation = make(ctx);
  ++c_.stats_.translations;
  Translation& tr = plan->translation;
  if (tr.creates && !tr.steps.empty() && tr.steps[0].sql.rfind("CREATE TABLE", 0) == 0) {
    // A table made by SELECT ... INTO is laid out like any other, so that its T-SQL
    // column types are in the file's schema.
    std::vector<std::string> create = CreateTableSql(*tr.creates);
    tr.steps.erase(tr.steps.begin());
    for (size_t i = create.size(); i-- > 0;)
      tr.steps.insert(tr.steps.begin(), SqliteStep{create[i], {}});
  }
  plan->catalog_version = c_.catalog_.version();
  // Literals the binder evaluated while translating tie the cached batch to their text
  // (integer literals' digit counts are checked for every batch already).
  auto& guards = f.code->value_guards;
  for (int i : tr.value_literals) {
    if (std::find(guards.begin(), guards.end(), i) == guards.end()) guards.push_back(i);
  }
  plan->prepared.resize(plan->translation.steps.size());
  slot = std::move(plan);
  return *slot;
}

std::optional<int64_t> Interpreter::RowBound(const std::string& sqlite_name) {
  // Rowids are handed out upwards, so their span bounds the rows: one search at each end.
  // Asked again each time a plan that relies on it runs, so the statement stays prepared.
  const std::shared_ptr<Stmt> kept =
      c_.SharedStatement("SELECT max(rowid) - min(rowid) + 1 FROM " + sqlite_name, 0);
  sqlite3_stmt* span = kept->get();
  std::optional<int64_t> rows;
  if (sqlite3_step(span) == SQLITE_ROW) {
    const int type = sqlite3_column_type(span, 0);
    if (type == SQLITE_NULL) rows = 0;
    if (type == SQLITE_INTEGER) rows = sqlite3_column_int64(span, 0);
  }
  sqlite3_reset(span);
  return rows;
}

bool Interpreter::StillSmall(const Plan& p) {
  for (const Translation::SmallTable& t : p.translation.small_tables) {
    const std::optional<int64_t> rows = RowBound(t.sqlite_name);
    if (!rows || *rows > t.rows) return false;
  }
  return true;
}

Value Interpreter::SystemValue(const std::string& name) {
  std::string n = AsciiLower(name);
  if (n == "@@rowcount") return Value::Int(c_.rowcount_);
  if (n == "@@error") return Value::Int(c_.error_);
  if (n == "@@trancount") return Value::Int(c_.trancount_);
  if (n == "@@identity") {
    return c_.identity_ ? Value::Dec(Decimal::FromInt(*c_.identity_), 38)
                        : Value::Null(TypeInfo::Decimal(38, 0));
  }
  if (n == "@@spid") return Value::Int(51, TypeKind::kSmallInt);
  if (n == "@@fetch_status") return Value::Int(-1);
  if (n == "@@version") return Value::Text(ProductVersionText(), TypeKind::kNVarChar);
  if (n == "@@servername") return Value::Text("MORVESK", TypeKind::kNVarChar);
  if (n == "xact_state()") return Value::Int(c_.trancount_ > 0 ? 1 : 0, TypeKind::kSmallInt);
  if (n.starts_with("error_"))
    return CaughtErrorValue(n, caught_.empty() ? nullptr : &caught_.back());
  throw SqlError(137, 15, "Must declare the scalar variable \"" + name + "\".");
}

Value Interpreter::ParamValue(const ParamSource& ps, Frame& f) {
  switch (ps.kind) {
    case ParamSource::Kind::kVariable: {
      Variable* v = f.Lookup(ps.variable);
      if (!v) throw SqlError(137, 15, "Must declare the scalar variable \"" + ps.variable + "\".");
      return NeedsConversion(v->value, ps.type) ? Convert(v->value, ps.type) : v->value;
    }
    case ParamSource::Kind::kLiteral: {
      const Value& v = f.literals.at(static_cast<size_t>(ps.literal));
      return NeedsConversion(v, ps.type) ? Convert(v, ps.type) : v;
    }
    default: {
      Value v = SystemValue(ps.variable);
      return NeedsConversion(v, ps.type) ? Convert(v, ps.type) : v;
    }
  }
}

void Interpreter::BindParams(sqlite3_stmt* st, const std::vector<ParamSource>& params, Frame& f) {
  for (size_t i = 0; i < params.size(); ++i) {
    const ParamSource& ps = params[i];
    int index = static_cast<int>(i) + 1;
    // Variables and literals of the right family bind in place, without a copy.
    if (ps.kind == ParamSource::Kind::kVariable) {
      Variable* v = f.Lookup(ps.variable);
      if (v && !NeedsConversion(v->value, ps.type)) {
        BindValue(st, index, v->value);
        continue;
      }
    } else if (ps.kind == ParamSource::Kind::kLiteral) {
      const Value& v = f.literals.at(static_cast<size_t>(ps.literal));
      if (!NeedsConversion(v, ps.type)) {
        BindValue(st, index, v);
        continue;
      }
    }
    BindValue(st, index, ParamValue(ps, f));
  }
}

int Interpreter::FillGroups(Plan& p, size_t step, sqlite3_stmt* select) {
  const HashGrouping& g = *p.translation.steps[step].grouping;
  if (p.group_inserts.size() <= step) p.group_inserts.resize(p.translation.steps.size());
  if (!p.group_inserts[step]) {
    p.group_inserts[step] = Prepare(c_.sql_, g.insert_sql);
    ++c_.stats_.prepares;
  }
  sqlite3_stmt* insert = p.group_inserts[step].get();
  ++c_.stats_.groupings;
  try {
    return exec::FillGroups(select, insert, g);
  } catch (...) {
    sqlite3_reset(select);
    sqlite3_reset(insert);
    throw;
  }
}

int64_t Interpreter::RunPlan(Plan& p, Frame& f, std::vector<std::vector<Value>>* rows,
                             bool all_rows) {
  const Translation& tr = p.translation;
  bool multi = tr.steps.size() > 1;
  if (multi) c_.RunKept(c_.savepoint_, "SAVEPOINT tsql_statement");
  int64_t count = 0;
  revived_temp_ = false;
  try {
    for (size_t i = 0; i < tr.steps.size(); ++i) {
      // SELECT ... INTO a #table: a kept table of the same definition serves again.
      if (i == 0 && tr.creates && tr.creates->is_temp &&
          c_.catalog_.ReviveTemp(tr.creates->name, tr.steps[0].sql)) {
        ++c_.stats_.temp_reuses;
        revived_temp_ = true;
        continue;
      }
      if (!p.prepared[i])
        p.prepared[i] = c_.SharedStatement(tr.steps[i].sql, tr.steps[i].params.size());
      sqlite3_stmt* st = p.prepared[i]->get();
      BindParams(st, tr.steps[i].params, f);
      bool last = i + 1 == tr.steps.size();
      int rc;
      int64_t n = 0;
      if (tr.steps[i].grouping) {
        rc = FillGroups(p, i, st);
      } else {
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
          ++n;
          if (last && rows) {
            if (!all_rows && !rows->empty()) rows->clear();
            std::vector<Value> row;
            int ncol = std::min<int>(sqlite3_column_count(st), static_cast<int>(tr.columns.size()));
            row.reserve(static_cast<size_t>(ncol));
            for (int c = 0; c < ncol; ++c)
              row.push_back(ReadColumn(st, c, tr.columns[static_cast<size_t>(c)].type));
            rows->push_back(std::move(row));
          }
        }
      }
      if (rc != SQLITE_DONE) {
        rc = sqlite3_extended_errcode(c_.sql_);
        std::string message = sqlite3_errmsg(c_.sql_);
        sqlite3_reset(st);
        failing_step_ = i;
        throw MapStepError(rc, message, current_, &p, &f);
      }
      sqlite3_reset(st);
      if (last) count = (tr.returns_rows || !tr.assign_to.empty()) ? n : sqlite3_changes64(c_.sql_);
    }
  } catch (...) {
    if (multi) {
      sqlite3_exec(c_.sql_, "ROLLBACK TO tsql_statement; RELEASE tsql_statement", nullptr, nullptr,
                   nullptr);
      // The statement's own DDL (a #temp table brought back or made) is undone with it.
      c_.catalog_.Bump();
    }
    throw;
  }
  if (multi) c_.RunKept(c_.release_, "RELEASE tsql_statement");
  return count;
}

void Interpreter::RunQueryStatement(const ast::Statement& s, Frame& f) {
  Plan& p = PlanFor(&s, f, [&](const BindContext& ctx) { return Translate(s, ctx); });
  if (!p.auto_index_examined) FindAutoIndexCandidates(s, p);
  NoteAutoIndexUse(p);
  const Translation& tr = p.translation;
  bool assign = !tr.assign_to.empty();
  std::vector<std::vector<Value>> rows;
  sqlite3_int64 last_rowid = sqlite3_last_insert_rowid(c_.sql_);
  int64_t n = RunPlan(p, f, (tr.returns_rows || assign) ? &rows : nullptr, !assign);
  if (tr.changes_catalog) {
    if (tr.creates) {
      // A table brought back is known to the catalog as it was made before.
      if (!revived_temp_) c_.catalog_.Bump(tr.creates->name);
    } else {
      c_.catalog_.Bump();
    }
    if (tr.creates && tr.creates->is_temp && !f.procedure.empty()) {
      f.temp_tables_created.push_back(tr.creates->name);
    }
  }
  if (s.kind == ast::StmtKind::kInsert || tr.creates) {
    sqlite3_int64 now = sqlite3_last_insert_rowid(c_.sql_);
    if (now != last_rowid) c_.identity_ = now;
  }
  if (assign) {
    if (!rows.empty()) {
      const auto& row = rows.back();
      for (size_t i = 0; i < tr.assign_to.size() && i < row.size(); ++i)
        Assign(f, tr.assign_to[i], row[i]);
    }
  } else if (tr.returns_rows) {
    Result r;
    r.kind = Result::Kind::kRows;
    r.columns = tr.columns;
    r.rows = std::move(rows);
    Emit(std::move(r));
  }
  c_.rowcount_ = n;
  if (tr.counts_rows && !c_.nocount_) {
    Result r;
    r.kind = Result::Kind::kRowCount;
    r.row_count = n;
    Emit(std::move(r));
  }
}

Value Interpreter::Eval(const ast::Expr& e, Frame& f) {
  switch (e.kind) {
    case ast::ExprKind::kLiteral: {
      int idx = e.As<ast::LiteralExpr>().literal_index;
      if (idx >= 0 && static_cast<size_t>(idx) < f.literals.size())
        return f.literals[static_cast<size_t>(idx)];
      break;
    }
    case ast::ExprKind::kNull:
      return Value::Null();
    case ast::ExprKind::kVariable: {
      const auto& name = e.As<ast::VariableExpr>().name;
      Variable* v = f.Lookup(name);
      if (!v) throw SqlError(137, 15, "Must declare the scalar variable \"" + name + "\".");
      return v->value;
    }
    default:
      break;
  }
  Plan& p = PlanFor(&e, f, [&](const BindContext& ctx) { return TranslateScalar(e, ctx); });
  std::vector<std::vector<Value>> rows;
  RunPlan(p, f, &rows);
  if (rows.empty() || rows[0].empty()) {
    return Value::Null(p.translation.columns.empty() ? TypeInfo{} : p.translation.columns[0].type);
  }
  return std::move(rows[0][0]);
}

namespace {

// A value that a condition can compare without SQLite: a variable or a literal.
const Value* DirectValue(const ast::Expr& e, Frame& f) {
  if (e.kind == ast::ExprKind::kVariable) {
    Variable* v = f.Lookup(e.As<ast::VariableExpr>().name);
    return v ? &v->value : nullptr;
  }
  if (e.kind == ast::ExprKind::kLiteral) {
    int idx = e.As<ast::LiteralExpr>().literal_index;
    if (idx >= 0 && static_cast<size_t>(idx) < f.literals.size())
      return &f.literals[static_cast<size_t>(idx)];
  }
  return nullptr;
}

// Compares two exact numbers (integers and decimals); empty when either is not one.
std::optional<int> CompareExact(const Value& a, const Value& b) {
  if (!(a.is_int() || a.is_decimal()) || !(b.is_int() || b.is_decimal())) return std::nullopt;
  if (a.is_int() && b.is_int())
    return a.as_int() < b.as_int() ? -1 : (a.as_int() > b.as_int() ? 1 : 0);
  Decimal x = a.is_int() ? Decimal::FromInt(a.as_int()) : a.as_decimal();
  Decimal y = b.is_int() ? Decimal::FromInt(b.as_int()) : b.as_decimal();
  return Compare(x, y);
}

}  // namespace

std::optional<bool> Interpreter::Condition(const ast::Expr& e, Frame& f) {
  // The loops' "if @a <> 0" between a numeric variable and a number needs no SQLite round trip.
  if (e.kind == ast::ExprKind::kCompare) {
    const auto& c = e.As<ast::CompareExpr>();
    const Value* l = DirectValue(*c.left, f);
    const Value* r = l ? DirectValue(*c.right, f) : nullptr;
    if (l && r) {
      if (l->is_null() || r->is_null()) {
        if ((l->is_null() || l->type().IsNumeric()) && (r->is_null() || r->type().IsNumeric()))
          return std::nullopt;
      } else if (auto cmp = CompareExact(*l, *r)) {
        switch (c.op) {
          case ast::CompareOp::kEq:
            return *cmp == 0;
          case ast::CompareOp::kNe:
            return *cmp != 0;
          case ast::CompareOp::kLt:
            return *cmp < 0;
          case ast::CompareOp::kGt:
            return *cmp > 0;
          case ast::CompareOp::kLe:
          case ast::CompareOp::kNotGt:
            return *cmp <= 0;
          case ast::CompareOp::kGe:
          case ast::CompareOp::kNotLt:
            return *cmp >= 0;
        }
      }
    }
  }
  Value v = Eval(e, f);
  if (v.is_null()) return std::nullopt;
  if (v.is_int()) return v.as_int() != 0;
  if (v.is_double()) return v.as_double() != 0;
  if (v.is_decimal()) return !v.as_decimal().IsZero();
  return true;
}

// ---------------------------------------------------------------------------
// Procedural statements

void Interpreter::Declare(const ast::DeclareStmt& d, Frame& f) {
  for (const auto& var : d.variables) {
    std::string key = AsciiLower(var.name);
    auto it = f.variables.find(key);
    if (it == f.variables.end()) {
      // A DECLARE met again in a loop keeps the variable as it is, as the server does.
      f.variables.emplace(key, Variable{var.type.type, Value::Null(var.type.type)});
    }
    if (var.init) {
      Assign(f, var.name, Eval(*var.init, f));
      c_.rowcount_ = 1;
    }
  }
}

void Interpreter::Assign(Frame& f, const std::string& variable, const Value& v) {
  Variable* var = f.Lookup(variable);
  if (!var) throw SqlError(137, 15, "Must declare the scalar variable \"" + variable + "\".");
  var->value = Convert(v, var->type);
}

void Interpreter::SetOption(const ast::SetOptionStmt& s) {
  if (s.Is("nocount")) {
    c_.nocount_ = s.on.value_or(true);
    return;
  }
  static const char* kOnOnly[] = {"ansi_nulls",        "ansi_padding", "ansi_warnings",
                                  "quoted_identifier", "arithabort",   "concat_null_yields_null",
                                  "ansi_null_dflt_on"};
  static const char* kOffOnly[] = {"xact_abort", "implicit_transactions", "numeric_roundabort",
                                   "fmtonly"};
  static const char* kAny[] = {"lock_timeout", "deadlock_priority", "textsize",
                               "transaction",  "statistics",        "showplan_text"};
  bool ok = true;
  for (const auto& o : s.options) {
    auto in = [&](auto& list) {
      return std::any_of(std::begin(list), std::end(list), [&](const char* x) { return o == x; });
    };
    if (in(kOnOnly)) {
      ok = ok && s.on.value_or(true);
    } else if (in(kOffOnly)) {
      ok = ok && !s.on.value_or(false);
    } else if (o == "dateformat") {
      ok = ok && s.word == "mdy";
    } else if (o == "language") {
      ok = ok && (s.word == "us_english" || s.word == "english");
    } else if (!in(kAny)) {
      ok = false;
    }
  }
  if (!ok) {
    std::string names;
    for (const auto& o : s.options) names += (names.empty() ? "" : ", ") + o;
    throw SqlError(ast::kNotSupportedError, 16,
                   "SET " + names + " with this setting is not supported by this engine.");
  }
}

void Interpreter::Transaction(const ast::Statement& s) {
  switch (s.kind) {
    case ast::StmtKind::kBeginTran:
      if (c_.trancount_ == 0) ExecSql(c_.sql_, "BEGIN");
      ++c_.trancount_;
      break;
    case ast::StmtKind::kCommit:
      if (c_.trancount_ == 0) {
        throw SqlError(3902, 16,
                       "The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION.");
      }
      if (c_.trancount_ == 1) ExecSql(c_.sql_, "COMMIT");
      --c_.trancount_;
      break;
    default:
      if (c_.trancount_ == 0) {
        throw SqlError(3903, 16,
                       "The ROLLBACK TRANSACTION request has no corresponding BEGIN TRANSACTION.");
      }
      ExecSql(c_.sql_, "ROLLBACK");
      c_.trancount_ = 0;
      c_.catalog_.Bump();
      break;
  }
}

void Interpreter::Emit(Result&& r) {
  if (sink_) {
    sink_->Take(std::move(r));
  } else {
    out_.results.push_back(std::move(r));
  }
}

void Interpreter::AddMessage(std::string text, int number, int severity, int state) {
  Result r;
  r.kind = Result::Kind::kMessage;
  r.message = std::move(text);
  r.message_number = number;
  r.message_severity = severity;
  r.message_state = state;
  Emit(std::move(r));
}

void Interpreter::AddError(const SqlError& e) {
  out_.errors.push_back(e);
  Result r;
  r.kind = Result::Kind::kError;
  r.error = e;
  Emit(std::move(r));
}

namespace {

// RAISERROR's printf-like substitution: %d %i %u %s %x %X %o with flags, width and precision.
std::string FormatRaiserror(const std::string& fmt, const std::vector<Value>& args) {
  std::string out;
  size_t next = 0;
  for (size_t i = 0; i < fmt.size(); ++i) {
    if (fmt[i] != '%') {
      out += fmt[i];
      continue;
    }
    if (i + 1 < fmt.size() && fmt[i + 1] == '%') {
      out += '%';
      ++i;
      continue;
    }
    size_t j = i + 1;
    std::string directive = "%";
    while (j < fmt.size() && std::strchr("-+ 0#", fmt[j])) directive += fmt[j++];
    while (j < fmt.size() && (std::isdigit(static_cast<unsigned char>(fmt[j])) || fmt[j] == '.'))
      directive += fmt[j++];
    if (j < fmt.size() && (fmt[j] == 'h' || fmt[j] == 'l' || fmt[j] == 'I')) ++j;
    if (j >= fmt.size()) {
      out += fmt.substr(i);
      break;
    }
    char conv = fmt[j];
    const Value* arg = next < args.size() ? &args[next++] : nullptr;
    char buf[512];
    if (conv == 's') {
      std::string s =
          !arg || arg->is_null() ? "(null)" : (arg->is_text() ? arg->as_text() : arg->ToString());
      std::snprintf(buf, sizeof buf, (directive + "s").c_str(), s.c_str());
    } else if (conv == 'd' || conv == 'i' || conv == 'u' || conv == 'x' || conv == 'X' ||
               conv == 'o') {
      long long v = 0;
      if (arg && arg->is_int()) v = arg->as_int();
      if (!arg || arg->is_null()) {
        std::snprintf(buf, sizeof buf, "(null)");
      } else {
        std::snprintf(buf, sizeof buf, (directive + "ll" + conv).c_str(), v);
      }
    } else {
      std::snprintf(buf, sizeof buf, "%s", fmt.substr(i, j - i + 1).c_str());
    }
    out += buf;
    i = j;
  }
  return out;
}

}  // namespace

void Interpreter::Raiserror(const ast::RaiserrorStmt& s, Frame& f) {
  Value msg = Eval(*s.message, f);
  Value sev = Convert(Eval(*s.severity, f), TypeInfo::Of(TypeKind::kInt));
  Value state = Convert(Eval(*s.state, f), TypeInfo::Of(TypeKind::kInt));
  std::vector<Value> args;
  for (const auto& a : s.args) args.push_back(Eval(*a, f));
  int severity = sev.is_null() ? 16 : static_cast<int>(sev.as_int());
  int st = state.is_null() ? 1 : static_cast<int>(state.as_int());
  int number = 50000;
  std::string text;
  if (msg.is_int()) {
    number = static_cast<int>(msg.as_int());
    if (auto known = SystemMessageText(number)) {
      text = FormatRaiserror(*known, args);
    } else {
      text = "Error " + std::to_string(number) + ", severity " + std::to_string(severity) +
             ", state " + std::to_string(st) +
             " was raised, but no message with that error number was found.";
    }
  } else {
    Value t = Convert(msg, TypeInfo::VarChar(2047));
    text = FormatRaiserror(t.is_null() ? std::string() : t.as_text(), args);
  }
  if (severity <= 10) {
    AddMessage(text, number, severity, st);
    c_.error_ = s.seterror ? number : 0;
    return;
  }
  SqlError e(number, severity, text, s.line, st, f.procedure);
  if (try_depth_ > 0) throw e;
  AddError(e);
  c_.error_ = number;
  f.max_error_severity = std::max(f.max_error_severity, severity);
}

}  // namespace morvesk::engine::exec
