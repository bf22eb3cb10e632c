// Command-line arguments of one `morvesk` subcommand: options with values
// ("--db FILE" or "--db=FILE"), flags ("--force") and positional arguments, checked
// against what the subcommand declares.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace morvesk::cli {

// A usage mistake; the subcommand prints it with a hint to --help and exits 2.
struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Prints a usage mistake of `command` ("sql", "call") the one way the tool does:
// "morvesk sql: <what>" then "(see 'morvesk sql --help')". Returns kExitUsage.
int ReportUsage(const std::string& command, const UsageError& e);

struct ArgSpec {
  std::set<std::string> options;  // take a value: "--db", "-f"
  std::set<std::string> flags;    // no value: "--force"
  bool positionals = false;       // whether positional arguments are allowed
};

class Args {
 public:
  // Parses argv[first..argc). "--" ends the options: everything after it is
  // positional (so an argument may begin with "-"). Throws UsageError.
  Args(int argc, char** argv, int first, const ArgSpec& allowed);

  bool Has(const std::string& flag_or_option) const;
  std::optional<std::string> Get(const std::string& option) const;  // the last one given
  // Every value of an option given more than once ("-v A=1 -v B=2"), in order.
  std::vector<std::string> GetAll(const std::string& option) const;
  std::string Require(const std::string& option) const;  // UsageError when missing
  // The option as a whole number, or `fallback` when absent; UsageError when not a number.
  int64_t GetInt(const std::string& option, int64_t fallback) const;
  const std::vector<std::string>& positionals() const { return positionals_; }
  bool help() const { return help_; }

 private:
  std::map<std::string, std::string> values_;
  std::vector<std::pair<std::string, std::string>> all_values_;
  std::set<std::string> flags_;
  std::vector<std::string> positionals_;
  bool help_ = false;
};

// The connection description of the company file a --db option names, the one every command
// hands to the operations: the path quoted when a ';', a quote or an outer blank would
// otherwise cut or change it. UsageError for a path that holds both kinds of quote.
// A --db that names an ODBC driver or DSN ("Driver={...};Server=...") is a server's
// company database and is passed on as it stands.
std::string CompanyDescription(const std::string& path);

// UsageError when --db names a server through ODBC: for commands that work on the company
// file itself.
void RequireCompanyFile(const std::string& db, const std::string& command);

}  // namespace morvesk::cli
