#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdlib>

#include "engine/exec/database_impl.h"
#include "engine/exec/interpreter.h"
#include "engine/exec/storage.h"
#include "engine/exec/system_catalog.h"
#include "engine/sql/lexer.h"

namespace morvesk::engine::exec {
namespace {

// Object_ID(name [, type]) evaluated when the statement runs, so that a cached
// translation still sees tables created or dropped since it was made.
void ObjectIdFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  auto* catalog = static_cast<SqliteCatalog*>(sqlite3_user_data(ctx));
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
    sqlite3_result_null(ctx);
    return;
  }
  std::string name(reinterpret_cast<const char*>(sqlite3_value_text(argv[0])));
  auto kind = catalog->ObjectKind(name);
  if (kind && argc > 1 && sqlite3_value_type(argv[1]) != SQLITE_NULL) {
    std::string want(reinterpret_cast<const char*>(sqlite3_value_text(argv[1])));
    while (!want.empty() && want.back() == ' ') want.pop_back();
    if (want.size() != 1 || std::toupper(static_cast<unsigned char>(want[0])) != *kind)
      kind.reset();
  }
  auto id = kind ? catalog->ObjectId(name) : std::nullopt;
  if (id) {
    sqlite3_result_int64(ctx, *id);
  } else {
    sqlite3_result_null(ctx);
  }
}

std::atomic<WorkClock*> work_clock{nullptr};

bool ShapeCacheFromEnvironment() {
  const char* v = std::getenv("MORVESK_PLAN_CACHE");
  return !(v && (std::string_view(v) == "off" || std::string_view(v) == "0"));
}

std::atomic<bool> shape_cache{ShapeCacheFromEnvironment()};

// Reports a batch's time to the work clock, if one is set, when the batch ends either way.
class BatchTimer {
 public:
  explicit BatchTimer(std::string_view text)
      : clock_(work_clock.load(std::memory_order_relaxed)), text_(text) {
    if (clock_) start_ = std::chrono::steady_clock::now();
  }
  ~BatchTimer() {
    if (!clock_) return;
    clock_->Batch(text_,
                  std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count());
  }
  BatchTimer(const BatchTimer&) = delete;
  BatchTimer& operator=(const BatchTimer&) = delete;

 private:
  WorkClock* clock_;
  std::string_view text_;
  std::chrono::steady_clock::time_point start_;
};

}  // namespace

const ConnectionStats& StatsOf(const Connection& c) {
  return dynamic_cast<const ConnectionImpl&>(c).stats();
}

void SetWorkClock(WorkClock* clock) { work_clock.store(clock, std::memory_order_relaxed); }

WorkClock* CurrentWorkClock() { return work_clock.load(std::memory_order_relaxed); }

void SetShapeCache(bool on) { shape_cache.store(on, std::memory_order_relaxed); }

bool ShapeCacheOn() { return shape_cache.load(std::memory_order_relaxed); }

ConnectionImpl::ConnectionImpl(std::shared_ptr<DatabaseImpl> db, sqlite3* handle)
    : db_(std::move(db)), sql_(handle), catalog_(handle) {
  sqlite3_create_function_v2(sql_, "t_object_id", 1, SQLITE_UTF8, &catalog_, ObjectIdFunction,
                             nullptr, nullptr, nullptr);
  sqlite3_create_function_v2(sql_, "t_object_id", 2, SQLITE_UTF8, &catalog_, ObjectIdFunction,
                             nullptr, nullptr, nullptr);
  convert_ = Prepare(sql_, "SELECT t_cvt(?1, ?2, ?3, NULL)");
  SqliteCatalog::EnsureTempMetadata(sql_);
  RegisterSystemCatalog(sql_, &catalog_, DatabaseNameOf(db_->path()));
}

ConnectionImpl::~ConnectionImpl() {
  templates_.clear();
  cache_.clear();
  statements_.clear();
  temp_rows_.clear();
  procedures_.clear();
  convert_.Reset(nullptr);
  index_exists_.Reset(nullptr);
  savepoint_.Reset(nullptr);
  release_.Reset(nullptr);
  if (trancount_ > 0) sqlite3_exec(sql_, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close_v2(sql_);
}

namespace {

// Length of the literal of kind `kind` that starts text[pos], as the lexer would read
// it; 0 when there is none or when it spans lines (line breaks are part of a shape).
size_t ScanLiteral(std::string_view text, size_t pos, sql::TokenKind kind) {
  size_t p = pos;
  auto digits = [&] {
    while (p < text.size() && std::isdigit(static_cast<unsigned char>(text[p]))) ++p;
  };
  if (kind == sql::TokenKind::kString || kind == sql::TokenKind::kNString) {
    if (kind == sql::TokenKind::kNString) {
      if (p >= text.size() || (text[p] != 'N' && text[p] != 'n')) return 0;
      ++p;
    }
    if (p >= text.size() || text[p] != '\'') return 0;
    for (++p; p < text.size(); ++p) {
      if (text[p] == '\n' || text[p] == '\r') return 0;
      if (text[p] == '\'') {
        if (p + 1 < text.size() && text[p + 1] == '\'') {
          ++p;
          continue;
        }
        return p + 1 - pos;
      }
    }
    return 0;
  }
  digits();
  if (p < text.size() && text[p] == '.') {
    ++p;
    digits();
  }
  if (p < text.size() && (text[p] == 'e' || text[p] == 'E')) {
    ++p;
    if (p < text.size() && (text[p] == '+' || text[p] == '-')) ++p;
    digits();
  }
  return p - pos;
}

}  // namespace

namespace {

// A literal of the batch text as the lexer reads it.
struct ReadLiteral {
  size_t length = 0;  // 0: no literal of the kind looked for
  sql::Token token;
  std::string shape;
};

ReadLiteral ReadLiteralAt(std::string_view text, size_t pos, sql::TokenKind kind) {
  ReadLiteral r;
  const size_t n = ScanLiteral(text, pos, kind);
  // The lexer types the literal; it must read it as one token of the same kind (a text
  // that is no literal after all is left for the full lexer to report).
  if (n != 0 && sql::LexLiteral(text.substr(pos, n), r.token) && r.token.kind == kind &&
      r.token.text.size() == n) {
    r.length = n;
    r.shape = sql::LiteralShape(r.token);
  }
  return r;
}

}  // namespace

bool ConnectionImpl::MatchTemplate(std::string_view text, std::vector<sql::Token>& literals,
                                   std::string& key) {
  literals.clear();
  std::vector<ReadLiteral> read;
  for (size_t t = 0; t < templates_.size(); ++t) {
    BatchTemplate& tpl = templates_[t];
    read.clear();
    read.reserve(tpl.kinds.size());
    size_t pos = 0;
    bool ok = true;
    for (size_t i = 0; ok && i < tpl.segments.size(); ++i) {
      const std::string& seg = tpl.segments[i];
      if (text.compare(pos, seg.size(), seg) != 0) {
        ok = false;
        break;
      }
      pos += seg.size();
      if (i == tpl.kinds.size()) {
        ok = pos == text.size();
        break;
      }
      read.push_back(ReadLiteralAt(text, pos, tpl.kinds[i]));
      ok = read.back().length != 0;
      pos += read.back().length;
    }
    if (!ok) continue;
    // The literal's full type is part of the shape: a text of another length or a number
    // of other digits is another shape, typed by its own parse.
    for (size_t v = 0; v < tpl.variants.size(); ++v) {
      const std::vector<std::string>& shapes = tpl.variants[v].shapes;
      bool same = true;
      for (size_t i = 0; same && i < shapes.size(); ++i) same = shapes[i] == read[i].shape;
      if (!same) continue;
      literals.reserve(read.size());
      for (size_t i = 0; i < read.size(); ++i) {
        literals.push_back(std::move(read[i].token));
        literals.back().literal_index = static_cast<int>(i);
      }
      key = tpl.variants[v].key;
      auto& variants = tpl.variants;
      std::rotate(variants.begin(), variants.begin() + static_cast<long>(v),
                  variants.begin() + static_cast<long>(v) + 1);
      std::rotate(templates_.begin(), templates_.begin() + static_cast<long>(t),
                  templates_.begin() + static_cast<long>(t) + 1);
      return true;
    }
  }
  return false;
}

void ConnectionImpl::RememberTemplate(std::string_view text, const std::vector<sql::Token>& tokens,
                                      const std::string& key) {
  BatchTemplate tpl;
  BatchTemplate::Variant variant;
  variant.key = key;
  size_t pos = 0;
  for (const auto& t : tokens) {
    if (!t.IsLiteral()) continue;
    tpl.segments.emplace_back(text.substr(pos, t.offset - pos));
    tpl.kinds.push_back(t.kind);
    variant.shapes.push_back(sql::LiteralShape(t));
    pos = t.offset + t.text.size();
  }
  tpl.segments.emplace_back(text.substr(pos));
  auto same_text = [&](const BatchTemplate& x) {
    return x.kinds == tpl.kinds && x.segments == tpl.segments;
  };
  auto found = std::find_if(templates_.begin(), templates_.end(), same_text);
  if (found == templates_.end()) {
    tpl.variants.push_back(std::move(variant));
    templates_.insert(templates_.begin(), std::move(tpl));
    if (templates_.size() > kTemplates) templates_.pop_back();
    return;
  }
  std::rotate(templates_.begin(), found, found + 1);
  auto& variants = templates_.front().variants;
  std::erase_if(variants, [&](const BatchTemplate::Variant& x) {
    return x.key == key || x.shapes == variant.shapes;
  });
  variants.insert(variants.begin(), std::move(variant));
  if (variants.size() > kTemplateVariants) variants.pop_back();
}

bool ConnectionImpl::FitsCached(const CachedBatch& code, const std::vector<sql::Token>& literals) {
  // The shape key already holds every literal's type; what else a parse took from a
  // literal's value (Object_ID's argument, TOP n, type arguments, identity seeds, a
  // column alias written as a string) must be equal as well.
  const auto& own = code.batch.literals;
  auto same = [&](int idx) {
    return literals[static_cast<size_t>(idx)].value == own[static_cast<size_t>(idx)].value;
  };
  return std::all_of(code.value_guards.begin(), code.value_guards.end(), same) &&
         std::all_of(code.batch.structural_literals.begin(), code.batch.structural_literals.end(),
                     same);
}

bool ConnectionImpl::IndexExists(const std::string& name) {
  if (!index_exists_) {
    index_exists_ =
        Prepare(sql_, "SELECT 1 FROM temp.sqlite_master WHERE type = 'index' AND name = ?1");
  }
  sqlite3_stmt* st = index_exists_.get();
  sqlite3_bind_text(st, 1, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
  const int rc = sqlite3_step(st);
  sqlite3_reset(st);
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) throw ErrorFromSqlite(sql_, rc);
  return rc == SQLITE_ROW;
}

int64_t ConnectionImpl::TempTableRows(const std::string& table) {
  // Asked again each time a loop's batch meets a small working table: kept prepared.
  Stmt& st = temp_rows_[table];
  if (!st) st = Prepare(sql_, "SELECT max(rowid) FROM temp." + QuoteName(table));
  const int rc = sqlite3_step(st.get());
  const int64_t rows = rc == SQLITE_ROW ? sqlite3_column_int64(st.get(), 0) : 0;
  sqlite3_reset(st.get());
  if (rc != SQLITE_ROW) {
    temp_rows_.erase(table);
    throw ErrorFromSqlite(sql_, rc);
  }
  return rows;
}

void ConnectionImpl::RunKept(Stmt& st, const char* sql) {
  if (!st) st = Prepare(sql_, sql);
  const int rc = sqlite3_step(st.get());
  sqlite3_reset(st.get());
  if (rc != SQLITE_DONE && rc != SQLITE_ROW) throw ErrorFromSqlite(sql_, rc);
}

std::shared_ptr<Stmt> ConnectionImpl::SharedStatement(const std::string& sql, size_t params) {
  std::weak_ptr<Stmt>& slot = statements_[sql];
  std::shared_ptr<Stmt> st = slot.lock();
  // A statement stepping still belongs to the plan running it (it never is between two
  // statements of a batch, as every plan resets its statements when it has run them).
  if (st && !sqlite3_stmt_busy(st->get())) return st;
  st = std::make_shared<Stmt>(Prepare(sql_, sql));
  ++stats_.prepares;
  // Shared only when each run binds every parameter it has: no value of another plan's run
  // can stay bound in it.
  if (sqlite3_bind_parameter_count(st->get()) != static_cast<int>(params)) return st;
  slot = st;
  if (statements_.size() > 4096) {
    std::erase_if(statements_, [](const auto& e) { return e.second.expired(); });
  }
  return st;
}

BatchResult ConnectionImpl::Execute(std::string_view text) { return RunText(text, nullptr); }

BatchResult ConnectionImpl::ExecuteStreaming(std::string_view text, ResultSink& sink) {
  return RunText(text, &sink);
}

void ConnectionImpl::Interrupt() {
  interrupt_ = true;
  sqlite3_interrupt(sql_);
}

void ConnectionImpl::NoticeLostTransaction() {
  // SQLite ends a transaction by itself after some failures (an interrupted write, a full
  // disk): what the catalog remembers of the tables, and of the #temp tables kept for
  // reuse, may have been undone with it.
  if (trancount_ > 0 && sqlite3_get_autocommit(sql_)) catalog_.Bump();
}

BatchResult ConnectionImpl::RunText(std::string_view text, ResultSink* sink) {
  interrupt_ = false;
  BatchTimer timer(text);
  ++stats_.batches;
  partial_ = BatchResult{};
  NoticeLostTransaction();
  catalog_.SyncWithFile();
  // A batch that repeats a recent one's text with other literal values is recognised
  // without lexing the whole text; any other goes through the lexer's shape key.
  const bool cached = ShapeCacheOn();
  std::vector<sql::Token> literal_tokens;
  std::vector<sql::Token> tokens;
  std::string key;
  bool recognised = cached && MatchTemplate(text, literal_tokens, key);
  if (!recognised) {
    tokens = sql::Lex(text);
    literal_tokens = sql::LiteralsOf(tokens);
    if (cached) key = sql::ShapeKey(tokens);
  }
  std::shared_ptr<CachedBatch> code;
  bool large = false;
  if (cached) {
    for (const auto& variant : cache_[key]) {
      if (FitsCached(*variant, literal_tokens)) {
        code = variant;
        break;
      }
    }
  }
  if (code) {
    ++stats_.cache_hits;
  } else {
    if (recognised) tokens = sql::Lex(text);
    auto fresh = std::make_shared<CachedBatch>();
    fresh->batch = sql::ParseTokens(tokens, text);
    ++stats_.parses;
    for (const auto& t : fresh->batch.literals) fresh->literal_types.push_back(t.literal_type);
    code = fresh;
    // A script's batch of thousands of statements runs once: keeping its parse would hold
    // memory in proportion to the script, for no later hit.
    large = fresh->batch.statements.size() > kLargeBatchStatements;
    if (cached && !large) {
      if (cache_.size() >= 4096) cache_.clear();
      auto& variants = cache_[key];
      if (variants.size() >= kVariants) variants.pop_back();
      variants.insert(variants.begin(), std::move(fresh));
    }
  }
  if (cached && !recognised && !large) RememberTemplate(text, tokens, key);
  std::vector<Value> literals;
  std::vector<std::string> texts;
  literals.reserve(literal_tokens.size());
  texts.reserve(literal_tokens.size());
  for (const sql::Token& t : literal_tokens) {
    literals.push_back(LiteralValue(t));
    texts.push_back(t.value);
  }
  std::vector<sql::Token>().swap(tokens);
  std::vector<sql::Token>().swap(literal_tokens);

  BatchResult out;
  Interpreter in(*this, out, sink);
  try {
    in.RunBatch(*code, std::move(literals), std::move(texts));
  } catch (const SqlError&) {
    partial_ = std::move(out);
    throw;
  }
  return out;
}

BatchResult ConnectionImpl::CallProcedure(std::string_view name, std::vector<ProcParam>& params) {
  interrupt_ = false;
  const std::string call_text = "exec " + std::string(name);
  BatchTimer timer(call_text);
  ++stats_.batches;
  partial_ = BatchResult{};
  NoticeLostTransaction();
  catalog_.SyncWithFile();
  BatchResult out;
  Interpreter in(*this, out);
  std::vector<CallArg> args;
  for (const auto& p : params) {
    CallArg a;
    a.name = p.name;
    a.value = p.value;
    a.output = p.output;
    a.out_type = p.type;
    args.push_back(std::move(a));
  }
  try {
    out.return_status = in.CallProcedure(std::string(name), args, 1, true);
  } catch (const SqlError&) {
    partial_ = std::move(out);
    throw;
  }
  for (size_t i = 0; i < params.size(); ++i) {
    if (params[i].output) params[i].value = args[i].value;
  }
  return out;
}

void ConnectionImpl::BeginTransaction() {
  // A unit of work on a file takes the write lock as it begins, waiting for it up to the
  // busy timeout (then Msg 1222, nothing changed). Begun as a reader, it could not take the
  // lock later while another writer held it, and would fail at its first write at once.
  // A memory database's connections share one cache, whose readers must not wait; a
  // read-only file has no write lock to take, and its units of work still read.
  if (trancount_ == 0) {
    ExecSql(sql_, db_->in_memory() || db_->read_only() ? "BEGIN" : "BEGIN IMMEDIATE");
  }
  ++trancount_;
}

void ConnectionImpl::Commit() {
  if (trancount_ == 0) {
    throw SqlError(3902, 16,
                   "The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION.");
  }
  // The host's unit of work ends every level the batches opened inside it.
  ExecSql(sql_, "COMMIT");
  trancount_ = 0;
}

void ConnectionImpl::Rollback() {
  if (trancount_ == 0) return;
  ExecSql(sql_, "ROLLBACK");
  trancount_ = 0;
  catalog_.Bump();
}

void ConnectionImpl::BulkInsert(std::string_view table, const std::vector<std::string>& columns,
                                const std::vector<std::vector<Value>>& rows) {
  catalog_.SyncWithFile();
  auto info = catalog_.FindTable(table);
  if (!info || info->is_view)
    throw SqlError(208, 16, "Invalid object name '" + std::string(table) + "'.");
  std::vector<TypeInfo> types;
  std::string cols, marks;
  for (const auto& c : columns) {
    const ColumnInfo* col = info->Find(c);
    if (!col) throw SqlError(207, 16, "Invalid column name '" + c + "'.");
    types.push_back(col->type);
    cols += (cols.empty() ? "" : ", ") + QuoteName(col->name);
    marks += marks.empty() ? "?" : ", ?";
  }
  Stmt st =
      Prepare(sql_, "INSERT INTO " + info->sqlite_name + "(" + cols + ") VALUES(" + marks + ")");
  ++stats_.prepares;
  BatchResult scratch;
  Interpreter in(*this, scratch);
  in.AllOrNothing([&] {
    for (const auto& row : rows) {
      if (row.size() != columns.size()) {
        throw SqlError(213, 16,
                       "Column name or number of supplied values does not match table definition.");
      }
      for (size_t i = 0; i < row.size(); ++i)
        BindValue(st.get(), static_cast<int>(i) + 1, in.Convert(row[i], types[i]));
      int rc = sqlite3_step(st.get());
      if (rc != SQLITE_DONE) {
        rc = sqlite3_extended_errcode(sql_);
        std::string message = sqlite3_errmsg(sql_);
        sqlite3_reset(st.get());
        throw in.MapBulkError(rc, message);
      }
      sqlite3_reset(st.get());
    }
  });
}

bool ConnectionImpl::RefreshViews() {
  BatchResult scratch;
  Interpreter in(*this, scratch);
  try {
    in.AllOrNothing([&] { in.RefreshViews(); });
  } catch (const SqlError& e) {
    if (e.number == 1222) return false;  // another connection holds the write lock
    throw;
  }
  return true;
}

}  // namespace morvesk::engine::exec
