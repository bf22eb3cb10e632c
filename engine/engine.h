// Public entry of the embedded T-SQL engine: open a company database (a SQLite file
// or ":memory:"), open connections on it, run T-SQL batches and procedure calls,
// read their results. Everything above the engine uses only this header and the
// value/error headers it includes.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/error.h"
#include "engine/value/value.h"

namespace morvesk::engine {

struct Column {
  std::string name;  // empty for an unnamed expression
  TypeInfo type;
};

// One item of a batch's output, in the order the server would send it.
struct Result {
  enum class Kind : uint8_t { kRows, kRowCount, kMessage, kError };
  Kind kind = Kind::kRows;
  std::vector<Column> columns;            // kRows
  std::vector<std::vector<Value>> rows;   // kRows
  int64_t row_count = 0;                  // kRowCount: "(n rows affected)"
  std::string message;                    // kMessage: PRINT text or informational message
  // kMessage: 0, 0, 1 for PRINT; a low-severity RAISERROR's number (50000 for its own
  // text), severity and state.
  int message_number = 0;
  int message_severity = 0;
  int message_state = 1;
  std::optional<SqlError> error;          // kError: an error the batch went on after
};

struct BatchResult {
  std::vector<Result> results;
  std::vector<SqlError> errors;  // every error raised, in order (also present in results)
  std::optional<int> return_status;  // RETURN value of a procedure call
  bool ok() const { return errors.empty(); }
  // The result sets only, in order.
  std::vector<const Result*> ResultSets() const;
};

// Takes a batch's output item by item, in the order the server would send it, as the
// batch produces it; a caller that prints or forwards results then never holds a whole
// batch's output at once.
class ResultSink {
 public:
  virtual ~ResultSink() = default;
  virtual void Take(Result&& item) = 0;
};

// A parameter of a procedure call made by a command object (not through text).
struct ProcParam {
  std::string name;       // "@StockID"; empty for positional
  TypeInfo type;          // declared by the caller (CreateParameter)
  bool output = false;    // adParamOutput / adParamInputOutput
  Value value;            // in: the argument; out: written back after the call
};

class Database;

// What a data-access layer needs to write a row of a table back by its key: the
// table's name as declared, its columns, and the columns of its primary key (an
// identity column when no primary key is declared; empty when neither exists).
struct TableShape {
  std::string name;
  bool is_view = false;
  std::vector<std::string> columns;
  std::vector<std::string> primary_key;
};

// A session on the database. Temporary tables, the statement cache and the
// transaction belong to it. Not thread-safe: one caller thread at a time.
class Connection {
 public:
  virtual ~Connection() = default;

  // Runs a batch (no GO inside). The whole batch is parsed first: a syntax error
  // throws SqlError before any statement runs. A statement error that ends the
  // batch throws SqlError after undoing that statement's own effects (earlier
  // statements stay); errors the batch goes on after are listed in the result.
  virtual BatchResult Execute(std::string_view batch) = 0;

  // Runs a batch as Execute does, but hands every result set, row count, message and
  // error to `sink` the moment it is produced: the BatchResult returned (and
  // PartialResult() after a throw) keeps the errors and return status, not the results.
  virtual BatchResult ExecuteStreaming(std::string_view batch, ResultSink& sink);

  // Calls a stored procedure by name with parameters; OUTPUT parameters are written
  // back into `params`. Same error rules as Execute.
  virtual BatchResult CallProcedure(std::string_view name, std::vector<ProcParam>& params) = 0;

  // After Execute or CallProcedure threw: what the batch produced before the error
  // that ended it (result sets, row counts, messages, errors it went on after), as a
  // server would have sent it ahead of the error. Empty after a syntax error.
  virtual const BatchResult& PartialResult() const = 0;

  // Explicit transaction of the host's unit of work. Everything, DDL and temporary
  // tables included, rolls back.
  virtual void BeginTransaction() = 0;
  virtual void Commit() = 0;
  virtual void Rollback() = 0;
  virtual bool InTransaction() const = 0;

  // Bulk load (the bulk-copy path used by the data generator): appends rows to a
  // table, converting each value to its column's type as INSERT would.
  virtual void BulkInsert(std::string_view table, const std::vector<std::string>& columns,
                          const std::vector<std::vector<Value>>& rows) = 0;

  // Safe to call from another thread while a batch or call runs on this connection: the
  // batch stops before its next statement (a running statement at its next row, its own
  // effects undone) and throws BatchCancelled(). A batch that starts clears any earlier
  // request, so a caller repeats it until the batch it means has ended.
  virtual void Interrupt() {}

  // The shape of a table or view named as T-SQL names it ("t_Stock", "dbo.t_Stock",
  // "#x"); empty when there is no such object.
  virtual std::optional<TableShape> DescribeTable(std::string_view /*name*/) {
    return std::nullopt;
  }
};

class Database {
 public:
  virtual ~Database() = default;
  // Opens (creating when missing unless must_exist) a database file, or ":memory:".
  // Throws SqlError (number 4060, "Cannot open database ...") when it cannot.
  static std::shared_ptr<Database> Open(const std::string& path, bool must_exist = false);
  virtual std::unique_ptr<Connection> Connect() = 0;
  virtual const std::string& path() const = 0;
};

}  // namespace morvesk::engine
