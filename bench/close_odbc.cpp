// The period close through the ODBC provider against `morvesk serve` (the FreeTDS driver
// over loopback TDS), against the embedded close of a copy of the same generated company:
// both run as a user runs them, `morvesk close --db ... --force`, each on a fresh copy, and
// the ratio of their wall times is printed per size, with the close's own step time (the
// sum of the tool's step table) beside it. The two closed companies are then compared table
// by table, so that a fast close that differs is not reported as a result.
//
//   bench_close_odbc [--keep DIR] [lines ...]      default: 2000 20000
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench/generated_company.h"
#include "engine/engine.h"
#include "tests/ado_odbc/serve_process.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Run {
  double wall = 0;   // the whole command
  double steps = 0;  // the close call's steps, as the tool reports them
  std::string out;
};

Run RunClose(const std::string& db, const std::string& log) {
  const std::string cmd = "'" + morvesk::test::MorveskBinary() + "' close --db '" + db +
                          "' --force >'" + log + "' 2>&1";
  const auto start = Clock::now();
  const int status = std::system(cmd.c_str());
  Run r;
  r.wall = std::chrono::duration<double>(Clock::now() - start).count();
  std::ifstream in(log);
  std::stringstream text;
  text << in.rdbuf();
  r.out = text.str();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "close failed on %s:\n%s\n", db.c_str(), r.out.c_str());
    std::exit(1);
  }
  // The step table: "name  batches  seconds" lines after the "step" header.
  std::istringstream lines(r.out.substr(r.out.find("\nstep ")));
  std::string line;
  std::getline(lines, line);
  std::getline(lines, line);
  std::getline(lines, line);  // header, rule
  while (std::getline(lines, line) && line.rfind("time taken", 0) != 0) {
    const size_t at = line.find_last_of(' ');
    if (at != std::string::npos) r.steps += std::atof(line.c_str() + at + 1);
  }
  return r;
}

// Every row of every table, sorted per table, through the engine.
std::string Dump(const std::string& path) {
  auto db = morvesk::engine::Database::Open(path, true);
  auto sql = db->Connect();
  std::string out;
  auto tables = sql->Execute("select name from sys.tables order by name");
  for (const auto& row : tables.ResultSets().front()->rows) {
    const std::string name = row[0].ToString();
    auto r = sql->Execute("select * from " + name);
    std::vector<std::string> lines;
    for (const auto* rs : r.ResultSets()) {
      for (const auto& values : rs->rows) {
        std::string l;
        for (const auto& v : values) l += (v.is_null() ? "NULL" : v.ToString()) + "|";
        lines.push_back(std::move(l));
      }
    }
    std::sort(lines.begin(), lines.end());
    out += "== " + name + "\n";
    for (const auto& l : lines) out += l + "\n";
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  std::string keep;
  std::vector<int64_t> sizes;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--keep" && i + 1 < argc) {
      keep = argv[++i];
    } else {
      sizes.push_back(std::atoll(argv[i]));
    }
  }
  if (sizes.empty()) sizes = {2000, 20000};
  const fs::path dir = fs::temp_directory_path();
  std::printf("%10s %12s %12s %8s %14s %14s %8s %10s\n", "lines", "embedded s", "odbc s", "ratio",
              "embedded steps", "odbc steps", "ratio", "tables");
  for (const int64_t lines : sizes) {
    const std::string embedded = (dir / "morvesk-bench-odbc-embedded.db").string();
    const std::string served = (dir / "morvesk-bench-odbc-served.db").string();
    morvesk::bench::PrepareCompany(embedded, lines, keep,
                                   "company-" + std::to_string(lines) + ".db");
    // Folded into one file before the copy.
    morvesk::engine::Database::Open(embedded, true).reset();
    morvesk::bench::RemoveDatabase(served);
    fs::copy_file(embedded, served);

    const Run local = RunClose(embedded, embedded + ".log");
    Run remote;
    {
      morvesk::test::ServeProcess server(served);
      remote = RunClose(server.Description(), served + ".log");
      server.Stop();
    }
    const bool same = Dump(embedded) == Dump(served);
    std::printf("%10lld %12.2f %12.2f %8.2f %14.2f %14.2f %8.2f %10s\n",
                static_cast<long long>(lines), local.wall, remote.wall, remote.wall / local.wall,
                local.steps, remote.steps, local.steps > 0 ? remote.steps / local.steps : 0.0,
                same ? "same" : "DIFFER");
    std::fflush(stdout);
    for (const std::string& p : {embedded, served}) {
      morvesk::bench::RemoveDatabase(p);
      fs::remove(p + ".log");
      fs::remove(p + "-hold");
    }
    if (!same) return 1;
  }
  return 0;
}
