// The batch interpreter: runs the statements of a parsed batch or procedure body
// against a connection, keeping variables and control flow itself and handing every
// set-based statement and expression to the binder's translation, whose SQLite
// statements it prepares once and reuses. Errors are sorted here into those that end
// only the statement and those that end the batch.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "engine/exec/connection_impl.h"

namespace morvesk::engine::exec {

// An argument of a procedure call, after evaluation in the caller.
struct CallArg {
  std::string name;  // "@p" or empty for positional
  bool is_default = false;
  Value value;
  bool output = false;
  Variable* target = nullptr;        // caller variable receiving an OUTPUT value
  std::optional<TypeInfo> out_type;  // CallProcedure: type the host declared
};

class Interpreter {
 public:
  // With a sink, result sets, row counts, messages and errors go to it as they are made;
  // `out` then keeps only the errors and the return status.
  Interpreter(ConnectionImpl& conn, BatchResult& out, ResultSink* sink = nullptr)
      : c_(conn), out_(out), sink_(sink) {}

  // Runs a whole batch; throws SqlError when an error ends it.
  void RunBatch(CachedBatch& code, std::vector<Value> literals, std::vector<std::string> texts);
  // Calls a stored procedure; OUTPUT values are written back into args[i].value.
  // `from_host`: an error that ends the batch is thrown to the host instead of ending
  // only the procedure.
  int CallProcedure(const std::string& name, std::vector<CallArg>& args, int depth, bool from_host);

  // A failed bulk-load row's error, mapped as an INSERT's would be.
  SqlError MapBulkError(int rc, const std::string& message) {
    return MapStepError(rc, message, nullptr, nullptr, nullptr);
  }

  // Value conversion as assignment does it (rounding, silent truncation of text).
  Value Convert(const Value& v, const TypeInfo& to);

  // Translates every view again from its text and writes anew those whose translation
  // changed (engine/exec/views.cpp): after a permanent table was made, since one made
  // again beneath its views may have other column types, and when a file is opened, since
  // a view keeps the translation of the engine that wrote it.
  void RefreshViews();
  // Runs `change` under a savepoint: when it fails part-way, nothing of it stays.
  void AllOrNothing(const std::function<void()>& change);

 private:
  Flow RunGuarded(const ast::Statement& s, Frame& f);
  Flow RunList(const std::vector<ast::StatementPtr>& list, Frame& f);
  Flow Run(const ast::Statement& s, Frame& f);

  // Set-based statements.
  void RunQueryStatement(const ast::Statement& s, Frame& f);
  // At most how many rows a table holds (empty when that cannot be told cheaply), and
  // whether the tables a plan reads through scratch indexes are still that small.
  std::optional<int64_t> RowBound(const std::string& sqlite_name);
  bool StillSmall(const Plan& p);
  Plan& PlanFor(const void* key, Frame& f,
                const std::function<Translation(const BindContext&)>& make);
  // Runs a plan's steps; returns the rows of the last step when it returns rows.
  int64_t RunPlan(Plan& p, Frame& f, std::vector<std::vector<Value>>* rows, bool all_rows = true);
  // Runs a grouping step (its SELECT bound and ready): SQLite's code of the last step.
  int FillGroups(Plan& p, size_t step, sqlite3_stmt* select);
  Value ParamValue(const ParamSource& ps, Frame& f);
  void BindParams(sqlite3_stmt* st, const std::vector<ParamSource>& params, Frame& f);
  Value SystemValue(const std::string& name);
  Value Eval(const ast::Expr& e, Frame& f);
  std::optional<bool> Condition(const ast::Expr& e, Frame& f);

  // Procedural statements.
  void Declare(const ast::DeclareStmt& d, Frame& f);
  void Assign(Frame& f, const std::string& variable, const Value& v);
  void SetOption(const ast::SetOptionStmt& s);
  void Transaction(const ast::Statement& s);
  void Exec(const ast::ExecStmt& s, Frame& f);
  void Raiserror(const ast::RaiserrorStmt& s, Frame& f);
  // TRY ... CATCH and THROW (engine/exec/try_catch.cpp).
  Flow RunTryCatch(const ast::TryCatchStmt& s, Frame& f);
  [[noreturn]] void Throw(const ast::ThrowStmt& s, Frame& f);
  void AddMessage(std::string text, int number = 0, int severity = 0, int state = 1);
  void Emit(Result&& r);
  void AddError(const SqlError& e);

  // Definitions (engine/exec/ddl.cpp).
  void CreateTable(const ast::CreateTableStmt& s, Frame& f);
  void MakeTable(const ast::CreateTableStmt& s, Frame& f,
                 const std::vector<std::string>& key_columns, const ast::ColumnDef* identity);
  void AlterTableAdd(const ast::AlterTableAddStmt& s, Frame& f);
  void AddToTable(const ast::AlterTableAddStmt& s, Frame& f);
  void CreateIndex(const ast::CreateIndexStmt& s);
  void DropIndex(const ast::DropIndexStmt& s);
  void Drop(const ast::DropStmt& s, Frame& f);
  void Truncate(const ast::TruncateStmt& s);
  void CreateProcedure(const ast::CreateProcedureStmt& s, Frame& f);
  std::string ColumnSql(const ast::ColumnDef& col, bool identity_key, bool force_not_null,
                        Frame& f);
  void AddConstraint(const std::string& table, bool temp, const ast::TableConstraint& k,
                     int ordinal);

  // Views (engine/exec/views.cpp).
  struct ViewBody {
    std::string create_sql;  // CREATE VIEW main."name"(columns) AS <translated query>
    std::vector<ColumnInfo> columns;
    std::vector<ViewArm> arms;
  };
  ViewBody TranslateView(const ast::CreateViewStmt& s, Frame& f);
  void InstallView(const std::string& name, const std::string& text, const ViewBody& body,
                   bool replace);
  void CreateView(const ast::CreateViewStmt& s, Frame& f);
  std::string StoredViewSql(const std::string& name);  // SQLite's text of the view

  // Automatic indexes on #temp tables (engine/exec/auto_index.cpp).
  void FindAutoIndexCandidates(const ast::Statement& s, Plan& p);
  void NoteAutoIndexUse(Plan& p);

  // Error mapping (engine/exec/errors.cpp).
  // Called after the failed statement was reset, with the error SQLite reported.
  SqlError MapStepError(int rc, const std::string& message, const ast::Statement* s, Plan* p,
                        Frame* f);
  std::string DuplicateKeyValue(Plan& p, Frame& f, const std::string& table, bool temp,
                                const std::vector<std::string>& columns);

  // A stored definition's text parsed, with its literals' types and values.
  std::shared_ptr<CachedBatch> ParseStored(const std::string& text);
  std::shared_ptr<CachedBatch> LoadProcedure(const std::string& name, std::string* declared_name);

  ConnectionImpl& c_;
  BatchResult& out_;
  ResultSink* sink_ = nullptr;
  // How many TRY blocks the running statement is in, at any procedure depth: an error
  // there goes to the innermost CATCH instead of being reported.
  int try_depth_ = 0;
  // The errors the running CATCH blocks handle, innermost last (ERROR_NUMBER() and kin).
  std::vector<SqlError> caught_;
  bool throwing_ = false;  // the error on its way is a THROW's, which ends the batch
  const ast::Statement* current_ = nullptr;
  size_t failing_step_ = 0;
  bool revived_temp_ = false;  // the last plan run brought back a kept #temp table
};

// How far an error reaches, as the server decides by its number.
enum class ErrorScope : uint8_t { kStatement, kBatch, kBatchAndTransaction };
ErrorScope ScopeOf(const SqlError& e);

// ERROR_NUMBER() and its kin ("error_number()", ...) of the error a CATCH block handles;
// NULL outside one (`caught` null).
Value CaughtErrorValue(const std::string& function, const SqlError* caught);

}  // namespace morvesk::engine::exec
