// The engine's connection: one SQLite connection plus the T-SQL session around it
// (variables of the running batch, NOCOUNT, @@ROWCOUNT/@@ERROR/@@IDENTITY, the
// transaction count, the statement cache) and the interpreter of batches and
// procedures. Internal to engine/exec; the public face is engine.h's Connection.
#pragma once

#include <sqlite3.h>

#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "engine/bind/translate.h"
#include "engine/engine.h"
#include "engine/exec/connection_internal.h"
#include "engine/exec/plan_catalog.h"
#include "engine/exec/sqlite_catalog.h"
#include "engine/exec/sqlite_util.h"
#include "engine/sql/ast.h"
#include "engine/sql/parser.h"

namespace morvesk::engine::exec {

class DatabaseImpl;

// A #temp table (its name in the catalog) and columns worth an index on it.
struct IndexCandidate {
  std::string table;
  std::vector<std::string> columns;  // lower-cased, sorted
};

// A translation of one statement or expression with its prepared SQLite statements.
struct Plan {
  Translation translation;
  // One per step, prepared on first use; plans whose steps have the same SQLite text (the
  // same statement in batches of other literal shapes) share one.
  std::vector<std::shared_ptr<Stmt>> prepared;
  std::vector<Stmt> group_inserts;  // a grouping step's INSERT, by step, on first use
  uint64_t catalog_version = 0;
  CatalogLookups lookups;  // what the translation read of the catalog
  // Automatic index candidates: #temp tables and the columns each is filtered on by
  // equality with a value that does not depend on the row.
  bool auto_index_examined = false;
  std::vector<IndexCandidate> auto_index_candidates;
};

// A parsed batch kept under its shape, with the plans of its statements.
struct CachedBatch {
  sql::Batch batch;
  std::vector<TypeInfo> literal_types;
  std::vector<Value> literal_values;  // values of the text it was parsed from
  std::vector<std::string> literal_texts;
  std::unordered_map<const void*, std::unique_ptr<Plan>> plans;
  // Literals whose value a translation used (Object_ID's argument): another batch of
  // the same shape may use this parse only with the same values there.
  std::vector<int> value_guards;
};

// The text of recently run batches cut at their literals, to recognise the next batch of
// a loop that splices other values into the same text. A loop's batches differ in their
// literals' types too (digit counts, text lengths): each set of types is a variant with its
// own shape key.
struct BatchTemplate {
  std::vector<std::string> segments;  // text around the literals: literals + 1 pieces
  std::vector<sql::TokenKind> kinds;  // kind of each literal
  struct Variant {
    std::vector<std::string> shapes;  // each literal's type as the shape key writes it
    std::string key;                  // the shape key of texts with those types
  };
  std::vector<Variant> variants;  // most recently used first
};

struct Variable {
  TypeInfo type;
  Value value;
};

// What a statement run left for the statements after it.
enum class Flow : uint8_t { kNormal, kBreak, kContinue, kReturn };

// The state of one running batch or procedure body.
struct Frame : VariableScope {
  CachedBatch* code = nullptr;
  std::vector<Value> literals;                          // this execution's literal values
  std::vector<std::string> literal_texts;               // and their texts as written
  std::unordered_map<std::string, Variable> variables;  // keyed by lower-cased name
  std::string procedure;                                // name when the frame runs a procedure body
  int depth = 0;
  std::optional<int> return_status;
  int max_error_severity = 0;
  std::vector<std::string> temp_tables_created;  // dropped when a procedure ends

  const TypeInfo* Find(std::string_view name) const override;
  Variable* Lookup(std::string_view name);
};

class ConnectionImpl : public Connection {
 public:
  ConnectionImpl(std::shared_ptr<DatabaseImpl> db, sqlite3* handle);
  ~ConnectionImpl() override;

  BatchResult Execute(std::string_view batch) override;
  BatchResult ExecuteStreaming(std::string_view batch, ResultSink& sink) override;
  BatchResult CallProcedure(std::string_view name, std::vector<ProcParam>& params) override;
  const BatchResult& PartialResult() const override { return partial_; }
  void BeginTransaction() override;
  void Commit() override;
  void Rollback() override;
  bool InTransaction() const override { return trancount_ > 0; }
  void BulkInsert(std::string_view table, const std::vector<std::string>& columns,
                  const std::vector<std::vector<Value>>& rows) override;
  // Writes anew the views whose translation by this engine differs from the stored one;
  // false, with nothing changed, when another connection holds the write lock.
  bool RefreshViews();
  std::optional<TableShape> DescribeTable(std::string_view name) override;
  void Interrupt() override;
  bool interrupted() const { return interrupt_.load(std::memory_order_relaxed); }

  const ConnectionStats& stats() const { return stats_; }

  // Whether the temp schema holds an index of this name.
  bool IndexExists(const std::string& name);
  // An upper bound of the rows of a #temp table (its largest rowid), found without a scan.
  int64_t TempTableRows(const std::string& table);
  // Runs a statement of no parameters and no rows, prepared on first use and kept.
  void RunKept(Stmt& st, const char* sql);
  // A prepared statement of this SQLite text that no plan is running, shared with the plans
  // that hold it already, or prepared anew.
  // `params`: the parameters each run of it binds.
  std::shared_ptr<Stmt> SharedStatement(const std::string& sql, size_t params);

 private:
  static constexpr size_t kTemplates = 8;
  static constexpr size_t kTemplateVariants = 32;
  static constexpr size_t kVariants = 16;
  // Batches with more statements than this are not cached, and each statement's plan is
  // let go once it has run (Interpreter::RunBatch).
  static constexpr size_t kLargeBatchStatements = 1000;
  // Recognises a recent batch text with other literal values: its literals and shape key.
  bool MatchTemplate(std::string_view text, std::vector<sql::Token>& literals, std::string& key);
  void RememberTemplate(std::string_view text, const std::vector<sql::Token>& tokens,
                        const std::string& key);
  static bool FitsCached(const CachedBatch& code, const std::vector<sql::Token>& literals);
  // Forgets what the catalog knows when SQLite rolled a transaction back on its own.
  void NoticeLostTransaction();
  // Execute and ExecuteStreaming: results to `sink` when one is given.
  BatchResult RunText(std::string_view text, ResultSink* sink);

 public:
  SqliteCatalog& catalog() { return catalog_; }

 private:
  friend class Interpreter;

  std::shared_ptr<DatabaseImpl> db_;
  sqlite3* sql_;
  SqliteCatalog catalog_;
  ConnectionStats stats_;
  // Parses by shape key; a shape has several when literals that decide types or
  // values (integer digit counts, Object_ID arguments) differ between its batches.
  std::unordered_map<std::string, std::vector<std::shared_ptr<CachedBatch>>> cache_;
  std::vector<BatchTemplate> templates_;                            // most recently used first
  std::map<std::string, std::shared_ptr<CachedBatch>> procedures_;  // lower name -> parsed body
  uint64_t procedures_version_ = 0;
  std::unordered_map<std::string, int> auto_index_hits_;
  std::unordered_set<std::string> auto_indexes_;
  uint64_t auto_index_version_ = 0;
  std::unordered_map<std::string, Stmt> temp_rows_;  // TempTableRows' statements by table
  std::unordered_map<std::string, std::weak_ptr<Stmt>> statements_;  // by SQLite text

  // Session state.
  bool nocount_ = false;
  int trancount_ = 0;
  std::atomic<bool> interrupt_{false};  // a client cancelled the running batch
  int64_t rowcount_ = 0;
  int error_ = 0;
  std::optional<int64_t> identity_;

  Stmt convert_;  // SELECT t_cvt(?1, ?2, ?3, NULL)
  Stmt index_exists_;
  Stmt savepoint_, release_;  // a statement's own savepoint around its steps
  BatchResult partial_;       // what a failed batch had done, for PartialResult()
};

}  // namespace morvesk::engine::exec
