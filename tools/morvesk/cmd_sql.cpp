// morvesk sql: runs T-SQL against a company database and prints what it returns.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

#include "company/script.h"
#include "engine/engine.h"
#include "tools/morvesk/cli_args.h"
#include "tools/morvesk/commands.h"
#include "tools/morvesk/result_format.h"

namespace morvesk::cli {
namespace {

constexpr char kHelp[] =
    "usage: morvesk sql --db FILE [--format table|csv|json] [TEXT | -f SCRIPT]\n"
    "\n"
    "Runs T-SQL against the company database FILE: the TEXT given, the SCRIPT file,\n"
    "or standard input when neither is given. A line holding only GO ends a batch\n"
    "(GO n runs it n times).\n"
    "\n"
    "  --db FILE        the company database (must exist)\n"
    "  --format table   every result set as an aligned table (default); row counts\n"
    "                   and messages go to standard error\n"
    "  --format csv     every result set as CSV with a header line, result sets\n"
    "                   separated by one blank line\n"
    "  --format json    one JSON array holding an array of row objects per result set\n"
    "  -f SCRIPT        read the T-SQL from SCRIPT\n"
    "\n"
    "An error prints its number, severity, state, line and message on standard error;\n"
    "the following batches still run, and the exit code is 1.\n";

Cell CellOf(const engine::Value& v) {
  if (v.is_null()) return Cell::Null();
  if (v.is_int() || v.is_double() || v.is_decimal()) return Cell::Number(v.ToString());
  return Cell::Text(v.ToString());
}

Table TableOf(const engine::Result& r) {
  Table t;
  for (const engine::Column& c : r.columns) t.columns.push_back(c.name);
  t.rows.reserve(r.rows.size());
  for (const auto& row : r.rows) {
    std::vector<Cell> cells;
    cells.reserve(row.size());
    for (const engine::Value& v : row) cells.push_back(CellOf(v));
    t.rows.push_back(std::move(cells));
  }
  return t;
}

void PrintError(const engine::SqlError& e, int line_offset) {
  std::cerr << "Msg " << e.number << ", Level " << e.severity << ", State " << e.state;
  if (!e.procedure.empty()) std::cerr << ", Procedure " << e.procedure;
  std::cerr << ", Line " << (e.procedure.empty() ? e.line + line_offset : e.line) << "\n"
            << e.message << "\n";
}

// Prints the results of one batch run; returns false when it held an error.
class Printer {
 public:
  explicit Printer(Format format) : format_(format) {
    if (format_ == Format::kJson) std::cout << "[";
  }
  ~Printer() {
    if (format_ == Format::kJson) std::cout << (sets_ ? "\n]\n" : "]\n");
  }

  void Print(const engine::BatchResult& batch, int line_offset) {
    for (const engine::Result& r : batch.results) {
      switch (r.kind) {
        case engine::Result::Kind::kRows: PrintRows(r); break;
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
          if (r.error) PrintError(*r.error, line_offset);
          break;
      }
    }
  }

 private:
  void PrintRows(const engine::Result& r) {
    Table t = TableOf(r);
    switch (format_) {
      case Format::kTable:
        if (sets_) std::cout << "\n";
        PrintTable(std::cout, t);
        break;
      case Format::kCsv:
        if (sets_) std::cout << "\n";
        PrintCsv(std::cout, t);
        break;
      case Format::kJson:
        std::cout << (sets_ ? ",\n" : "\n");
        PrintJson(std::cout, t);
        break;
    }
    std::cout.flush();
    ++sets_;
  }

  Format format_;
  int sets_ = 0;
};

std::string ReadAll(std::istream& in) {
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

int RunSql(int argc, char** argv, int first) {
  try {
    Args args(argc, argv, first, ArgSpec{{"--db", "--format", "-f"}, {}, true});
    if (args.help()) {
      std::cout << kHelp;
      return kExitOk;
    }
    std::string db_path = args.Require("--db");
    Format format = ParseFormat(args.Get("--format").value_or("table"));
    std::string script;
    if (auto file = args.Get("-f")) {
      if (!args.positionals().empty()) throw UsageError("give either TEXT or -f SCRIPT, not both");
      if (std::filesystem::is_directory(*file)) {
        std::cerr << "morvesk sql: " << *file << " is a directory, not a script\n";
        return kExitFailed;
      }
      std::ifstream in(*file, std::ios::binary);
      if (!in) {
        std::cerr << "morvesk sql: cannot read " << *file << "\n";
        return kExitFailed;
      }
      script = ReadAll(in);
    } else if (!args.positionals().empty()) {
      for (const std::string& p : args.positionals()) script += (script.empty() ? "" : " ") + p;
    } else {
      script = ReadAll(std::cin);
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

    bool failed = false;
    Printer printer(format);
    for (const company::ScriptBatch& batch : company::SplitBatches(script)) {
      for (int n = 0; n < batch.repeat; ++n) {
        try {
          engine::BatchResult result = connection->Execute(batch.text);
          printer.Print(result, batch.first_line - 1);
          failed = failed || !result.ok();
        } catch (const engine::SqlError& e) {
          PrintError(e, batch.first_line - 1);
          failed = true;
          break;
        }
      }
    }
    return failed ? kExitFailed : kExitOk;
  } catch (const UsageError& e) {
    std::cerr << "morvesk sql: " << e.what() << "\n(see morvesk sql --help)\n";
    return kExitUsage;
  }
}

}  // namespace morvesk::cli
