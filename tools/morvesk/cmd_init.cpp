// morvesk init: creates a company database file.
#include <unistd.h>

#include <filesystem>
#include <iostream>

#include "company/company.h"
#include "tools/morvesk/cli_args.h"
#include "tools/morvesk/commands.h"

namespace morvesk::cli {
namespace {

constexpr char kHelp[] =
    "usage: morvesk init --db FILE [--size N] [--seed S] [--force]\n"
    "\n"
    "Creates the company database FILE: tables, views, stored procedures and data.\n"
    "\n"
    "  --db FILE    the database file to create\n"
    "  --size N     generate a company with N stock bill lines in each of two periods\n"
    "               (2025/3 and 2025/4) instead of the small demo company\n"
    "  --seed S     seed of the generated company (default 1); the same seed and size\n"
    "               give the same company\n"
    "  --force      replace FILE if it exists (otherwise an existing file is refused)\n"
    "\n"
    "Progress of a large company is shown on standard error.\n";

// Progress on standard error: rewritten in place on a terminal, one line per stage
// otherwise (so logs stay readable).
class ProgressLine {
 public:
  ProgressLine() : tty_(isatty(STDERR_FILENO) != 0) {}
  void operator()(const company::Progress& p) {
    std::string line = "morvesk init: " + std::string(p.stage);
    if (p.total > 0) line += " (" + std::to_string(p.done) + "/" + std::to_string(p.total) + " lines)";
    if (tty_) {
      std::cerr << "\r" << line << "\033[K" << std::flush;
    } else if (p.stage != last_stage_) {
      std::cerr << line << "\n";
    }
    last_stage_ = std::string(p.stage);
  }
  void Done() {
    if (tty_ && !last_stage_.empty()) std::cerr << "\r\033[K" << std::flush;
  }

 private:
  bool tty_;
  std::string last_stage_;
};

}  // namespace

int RunInit(int argc, char** argv, int first) {
  try {
    Args args(argc, argv, first, ArgSpec{{"--db", "--size", "--seed"}, {"--force"}, false});
    if (args.help()) {
      std::cout << kHelp;
      return kExitOk;
    }
    std::string db = args.Require("--db");
    RequireCompanyFile(db, "init");
    company::GenerateOptions options;
    options.lines_per_period = args.GetInt("--size", 0);
    if (options.lines_per_period < 0) throw UsageError("--size must not be negative");
    int64_t seed = args.GetInt("--seed", 1);
    if (seed < 0) throw UsageError("--seed must not be negative");
    options.seed = static_cast<uint64_t>(seed);
    ProgressLine progress;
    if (options.lines_per_period > 0) {
      options.progress = [&progress](const company::Progress& p) { progress(p); };
    }
    try {
      company::CreateCompany(db, options, args.Has("--force"));
    } catch (const engine::SqlError& e) {
      progress.Done();
      std::cerr << "morvesk init: " << e.message << "\n";
      return kExitFailed;
    } catch (const std::filesystem::filesystem_error& e) {
      progress.Done();
      std::cerr << "morvesk init: " << e.what() << "\n";
      return kExitFailed;
    }
    progress.Done();
    if (options.lines_per_period > 0) {
      std::cout << "Created " << db << ": a generated company with "
                << options.lines_per_period << " bill lines per period (seed " << seed << ").\n";
    } else {
      std::cout << "Created " << db << ": the demo company.\n";
    }
    return kExitOk;
  } catch (const UsageError& e) {
    std::cerr << "morvesk init: " << e.what() << "\n(see 'morvesk init --help')\n";
    return kExitUsage;
  }
}

}  // namespace morvesk::cli
