#include "tools/morvesk/cli_args.h"

#include <cctype>
#include <charconv>
#include <iostream>

#include "platform/host/connection_description.h"
#include "tools/morvesk/commands.h"

namespace morvesk::cli {

Args::Args(int argc, char** argv, int first, const ArgSpec& allowed) {
  bool options_done = false;
  for (int i = first; i < argc; ++i) {
    std::string arg = argv[i];
    if (options_done || arg.size() < 2 || arg[0] != '-') {
      if (!allowed.positionals) throw UsageError("unexpected argument '" + arg + "'");
      positionals_.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_done = true;
      continue;
    }
    if (arg == "--help" || arg == "-h") {
      help_ = true;
      continue;
    }
    std::string name = arg;
    std::optional<std::string> value;
    if (size_t eq = arg.find('='); eq != std::string::npos && arg.rfind("--", 0) == 0) {
      name = arg.substr(0, eq);
      value = arg.substr(eq + 1);
    }
    if (allowed.flags.count(name)) {
      if (value) throw UsageError(name + " takes no value");
      flags_.insert(name);
    } else if (allowed.options.count(name)) {
      if (!value) {
        if (i + 1 >= argc) throw UsageError(name + " needs a value");
        value = argv[++i];
      }
      values_[name] = *value;
      all_values_.emplace_back(name, *value);
    } else if (allowed.positionals && arg.size() > 1 &&
               (std::isdigit(static_cast<unsigned char>(arg[1])) || arg[1] == '.')) {
      positionals_.push_back(arg);  // a negative number is an argument, not an option
    } else {
      throw UsageError("unknown option '" + name + "'");
    }
  }
}

bool Args::Has(const std::string& name) const {
  return flags_.count(name) > 0 || values_.count(name) > 0;
}

std::optional<std::string> Args::Get(const std::string& option) const {
  auto it = values_.find(option);
  if (it == values_.end()) return std::nullopt;
  return it->second;
}

std::vector<std::string> Args::GetAll(const std::string& option) const {
  std::vector<std::string> out;
  for (const auto& [name, value] : all_values_) {
    if (name == option) out.push_back(value);
  }
  return out;
}

std::string Args::Require(const std::string& option) const {
  auto v = Get(option);
  if (!v || v->empty()) throw UsageError(option + " is required");
  return *v;
}

int64_t Args::GetInt(const std::string& option, int64_t fallback) const {
  auto v = Get(option);
  if (!v) return fallback;
  int64_t n = 0;
  auto [end, ec] = std::from_chars(v->data(), v->data() + v->size(), n);
  if (ec != std::errc() || end != v->data() + v->size()) {
    throw UsageError(option + " must be a whole number, not '" + *v + "'");
  }
  return n;
}

std::string CompanyDescription(const std::string& path) {
  if (host::IsOdbcDescription(path)) return path;
  const bool plain = path.find_first_of(";'\"") == std::string::npos && !path.empty() &&
                     path.front() != ' ' && path.back() != ' ';
  if (plain) return "Data Source=" + path;
  if (path.find('"') == std::string::npos) return "Data Source=\"" + path + "\"";
  if (path.find('\'') == std::string::npos) return "Data Source='" + path + "'";
  throw UsageError("a company file path cannot hold both ' and \"");
}

void RequireCompanyFile(const std::string& db, const std::string& command) {
  if (host::IsOdbcDescription(db)) {
    throw UsageError("--db names a database reached through ODBC; " + command +
                     " works on a company file only");
  }
}

int ReportUsage(const std::string& command, const UsageError& e) {
  std::cerr << "morvesk " << command << ": " << e.what() << "\n(see 'morvesk " << command
            << " --help')\n";
  return kExitUsage;
}

}  // namespace morvesk::cli
