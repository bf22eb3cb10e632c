// morvesk sql: runs T-SQL against a company database and prints what it returns. Every
// item of a batch's output is printed the moment the engine produces it, so a script of
// any length runs in the memory of its largest result set.
#include <unistd.h>

#include <iostream>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "company/script.h"
#include "engine/engine.h"
#include "platform/automation/com_error.h"
#include "platform/host/connection_description.h"
#include "tools/morvesk/cli_args.h"
#include "tools/morvesk/commands.h"
#include "tools/morvesk/result_format.h"
#include "tools/morvesk/script_input.h"
#include "tools/morvesk/sql_odbc_runner.h"
#include "tools/morvesk/sql_shell.h"

namespace morvesk::cli {
namespace {

constexpr char kHelp[] =
    "usage: morvesk sql --db FILE [--format table|csv|json] [--vertical] [-b]\n"
    "                   [-v NAME=VALUE]... [TEXT | -f SCRIPT]\n"
    "\n"
    "Runs T-SQL against the company database FILE: the TEXT given, the SCRIPT file,\n"
    "or standard input when neither is given. A line holding only GO ends a batch\n"
    "(GO n runs it n times). Each result set is printed as soon as it is complete.\n"
    "With neither TEXT nor SCRIPT and a terminal on standard input, an interactive\n"
    "shell starts: type :help there for its commands.\n"
    "\n"
    "  --db FILE        the company database (must exist), or an ODBC description\n"
    "                   (\"Driver={...};Server=...;UID=...;PWD=...\" or \"DSN=...\")\n"
    "  --format table   every result set as an aligned table (default); row counts\n"
    "                   and messages go to standard error\n"
    "  --format csv     every result set as CSV with a header line, result sets\n"
    "                   separated by one blank line; NULL is an empty field, the\n"
    "                   empty text is \"\"\n"
    "  --format json    one JSON array holding an array of row objects per result\n"
    "                   set; decimal and money values are strings, so that no digit\n"
    "                   is lost; a repeated column name gets _2, _3, ...\n"
    "  --vertical       tables print one line per field (\"column | value\")\n"
    "  -f SCRIPT        read the T-SQL from SCRIPT (\"-\" is standard input); UTF-8,\n"
    "                   with or without a byte-order mark, or UTF-16 with one\n"
    "  -b               stop at the first batch that fails, with exit code 1\n"
    "  -v NAME=VALUE    replace $(NAME) in the T-SQL by VALUE (repeatable); a\n"
    "                   $(NAME) no -v defines is an error\n"
    "\n"
    "An error prints its number, severity, state, line and message on standard error;\n"
    "the following batches still run (unless -b), and the exit code is 1.\n";

Cell CellOf(const engine::Value& v) {
  if (v.is_null()) return Cell::Null();
  if (v.is_decimal()) return Cell::Decimal(v.ToString());
  if (v.is_int() || v.is_double()) return Cell::Number(v.ToString());
  return Cell::Text(v.ToString());
}

Table TableOf(engine::Result& r) {
  Table t;
  for (const engine::Column& c : r.columns) t.columns.push_back(c.name);
  t.rows.reserve(r.rows.size());
  for (auto& row : r.rows) {
    std::vector<Cell> cells;
    cells.reserve(row.size());
    for (const engine::Value& v : row) cells.push_back(CellOf(v));
    t.rows.push_back(std::move(cells));
    row.clear();
    row.shrink_to_fit();
  }
  return t;
}

void PrintError(const engine::SqlError& e, int line_offset) {
  std::cerr << "Msg " << e.number << ", Level " << e.severity << ", State " << e.state;
  if (!e.procedure.empty()) std::cerr << ", Procedure " << e.procedure;
  std::cerr << ", Line " << (e.procedure.empty() ? e.line + line_offset : e.line) << "\n"
            << e.message << "\n";
}

// Prints a batch's output as the engine hands it over.
class Printer : public engine::ResultSink {
 public:
  Printer(Format format, bool vertical) : format_(format), vertical_(vertical) {
    if (format_ == Format::kJson) std::cout << "[";
  }
  ~Printer() override {
    if (format_ == Format::kJson) std::cout << (sets_ ? "\n]\n" : "]\n");
  }

  void set_line_offset(int offset) { line_offset_ = offset; }
  bool vertical() const { return vertical_; }
  void set_vertical(bool on) { vertical_ = on; }

  void Take(engine::Result&& r) override {
    switch (r.kind) {
      case engine::Result::Kind::kRows:
        PrintRows(r);
        break;
      case engine::Result::Kind::kRowCount:
        if (format_ == Format::kTable) {
          std::cerr << "(" << r.row_count << (r.row_count == 1 ? " row" : " rows")
                    << " affected)\n";
        }
        break;
      case engine::Result::Kind::kMessage:
        if (format_ == Format::kTable) std::cerr << r.message << "\n";
        break;
      case engine::Result::Kind::kError:
        if (r.error) PrintError(*r.error, line_offset_);
        break;
    }
  }

 private:
  void PrintRows(engine::Result& r) {
    const Table t = TableOf(r);
    PrintResultSet(std::cout, format_, vertical_, sets_++, t);
  }

  Format format_;
  bool vertical_;
  int line_offset_ = 0;
  int64_t sets_ = 0;
};

// One session of `morvesk sql`: runs batches on one connection, printing as they go.
class SqlRunner : public BatchRunner {
 public:
  SqlRunner(std::unique_ptr<engine::Connection> connection, Format format, bool vertical)
      : connection_(std::move(connection)), printer_(format, vertical) {}

  bool Run(const company::ScriptBatch& batch) override {
    printer_.set_line_offset(batch.first_line - 1);
    bool ok = true;
    for (int n = 0; n < batch.repeat; ++n) {
      try {
        ok = connection_->ExecuteStreaming(batch.text, printer_).ok() && ok;
      } catch (const engine::SqlError& e) {
        std::cout.flush();
        PrintError(e, batch.first_line - 1);
        return false;
      }
    }
    return ok;
  }
  bool vertical() const override { return printer_.vertical(); }
  void set_vertical(bool on) override { printer_.set_vertical(on); }

 private:
  std::unique_ptr<engine::Connection> connection_;
  Printer printer_;
};

using Variables = std::map<std::string, std::string>;

// Every $(NAME) of a script is defined: checked before anything runs.
void CheckVariables(ScriptLines script, const Variables& variables) {
  std::string line;
  while (script.Next(line)) SubstituteVariables(line, variables, script.line_number());
}

// Runs a script's batches as its lines come: neither the script nor its output is ever
// held whole. A $(NAME) no -v defines ends the script where it is met.
int RunScript(ScriptLines script, const Variables& variables, BatchRunner& runner,
              bool stop_on_error) {
  company::BatchLines lines;
  bool failed = false;
  auto run = [&] {
    if (!lines.empty()) failed = !runner.Run(lines.batch()) || failed;
    lines.Clear();
  };
  std::string line;
  try {
    while (script.Next(line)) {
      if (lines.Add(SubstituteVariables(line, variables, script.line_number())) > 0) run();
      if (failed && stop_on_error) return kExitFailed;
    }
  } catch (const ScriptError& e) {
    std::cerr << "morvesk sql: " << e.what() << "\n";
    return kExitFailed;
  }
  run();
  return failed ? kExitFailed : kExitOk;
}

}  // namespace

int RunSql(int argc, char** argv, int first) {
  try {
    Args args(argc, argv, first,
              ArgSpec{{"--db", "--format", "-f", "-v"}, {"-b", "--vertical"}, true});
    if (args.help()) {
      std::cout << kHelp;
      return kExitOk;
    }
    std::string db_path = args.Require("--db");
    Format format = ParseFormat(args.Get("--format").value_or("table"));
    const bool vertical = args.Has("--vertical");
    if (vertical && format != Format::kTable) {
      throw UsageError("--vertical applies to --format table only");
    }
    const Variables variables = [&] {
      try {
        return ParseVariables(args.GetAll("-v"));
      } catch (const ScriptError& e) {
        throw UsageError(e.what());
      }
    }();
    const bool interactive =
        !args.Get("-f") && args.positionals().empty() && isatty(STDIN_FILENO) == 1;
    if (args.Get("-f") && !args.positionals().empty()) {
      throw UsageError("give either TEXT or -f SCRIPT, not both");
    }
    std::string text;
    for (const std::string& p : args.positionals()) text += (text.empty() ? "" : " ") + p;
    const std::string path = args.Get("-f").value_or("-");
    std::optional<ScriptLines> script;
    if (!interactive) {
      try {
        // A file or a text can be read twice: a variable it lacks stops it before it runs.
        if (!args.positionals().empty()) {
          CheckVariables(ScriptLines::Text(text), variables);
          script = ScriptLines::Text(std::move(text));
        } else {
          if (path != "-") CheckVariables(ScriptLines::File(path), variables);
          script = ScriptLines::File(path);
        }
      } catch (const ScriptError& e) {
        std::cerr << "morvesk sql: " << e.what() << "\n";
        return kExitFailed;
      }
    }

    if (host::IsOdbcDescription(db_path)) {
      std::unique_ptr<BatchRunner> odbc;
      try {
        odbc = MakeOdbcSqlRunner(db_path, format, vertical);
      } catch (const automation::ComError& e) {
        std::cerr << "morvesk sql: " << e.description << "\n";
        return kExitFailed;
      }
      if (interactive) return RunShell(*odbc, variables);
      return RunScript(std::move(*script), variables, *odbc, args.Has("-b"));
    }
    std::shared_ptr<engine::Database> db;
    std::unique_ptr<engine::Connection> connection;
    try {
      db = engine::Database::Open(db_path, /*must_exist=*/true);
      connection = db->Connect();
    } catch (const engine::SqlError& e) {
      PrintError(e, 0);
      return kExitFailed;
    }
    SqlRunner runner(std::move(connection), format, vertical);
    if (interactive) return RunShell(runner, variables);
    return RunScript(std::move(*script), variables, runner, args.Has("-b"));
  } catch (const UsageError& e) {
    return ReportUsage("sql", e);
  }
}

}  // namespace morvesk::cli
