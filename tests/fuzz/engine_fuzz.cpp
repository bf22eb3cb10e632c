// A mutation run over the T-SQL engine: batches taken from the engine's case files and from
// the company's stored procedures, and the batches of a recorded period close, changed at random
// (tokens dropped, repeated, swapped, replaced by values at the edge of their types, fragments
// repeated to nest deeply), and run on a fresh in-memory database (a recorded close's batches on a
// fresh copy of the demo company, so that they meet the tables they were written for). A batch may
// fail, but only with a T-SQL error: the run fails when a batch ends the process, throws anything
// but the engine's error, or shows the storage layer's own text or an error without a number. The
// inputs of the corpus folder (batches that once crashed the engine) run first, every time.
//
//   engine_fuzz --seed N --iterations N --seconds S --cases DIR --sql DIR --corpus DIR
//               [--close FILE] [--save DIR]
//
// The run is reproducible for a seed and iteration count; the time bound only stops it
// early on a slow machine. Before each batch runs, its text is written to last_input.sql in
// the working folder; with --save, every failing batch is kept there to add to the corpus.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "company/company.h"
#include "engine/engine.h"

namespace {

namespace fs = std::filesystem;
using morvesk::engine::Database;
using morvesk::engine::SqlError;

struct Options {
  uint64_t seed = 1;
  long iterations = 20000;
  double seconds = 30;
  std::vector<fs::path> case_dirs, sql_dirs;
  fs::path corpus, save, close;
};

// The demo company the recorded close's batches run on, made once per run; each such batch
// runs on a copy of it of its own.
const fs::path kCompanyFile = "fuzz_demo_company.db";

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// The batches of a case file: the text between "case" lines, "GO" lines and "----".
void BatchesOfCaseFile(const std::string& text, std::vector<std::string>& out) {
  std::istringstream in(text);
  std::string line, batch;
  bool in_case = false, in_expected = false;
  auto flush = [&] {
    if (!batch.empty()) out.push_back(batch);
    batch.clear();
  };
  while (std::getline(in, line)) {
    if (line.rfind("case ", 0) == 0) {
      flush();
      in_case = true;
      in_expected = false;
      continue;
    }
    if (!in_case || in_expected) continue;
    if (line == "----") {
      flush();
      in_expected = true;
    } else if (line.rfind("GO", 0) == 0 || line.rfind("CLOSE", 0) == 0) {
      flush();
    } else {
      batch += line + "\n";
    }
  }
  flush();
}

// The batches of a script: text between lines holding GO alone.
void BatchesOfScript(const std::string& text, std::vector<std::string>& out) {
  std::istringstream in(text);
  std::string line, batch;
  while (std::getline(in, line)) {
    std::string trimmed = line;
    while (!trimmed.empty() && (trimmed.back() == '\r' || trimmed.back() == ' '))
      trimmed.pop_back();
    if (trimmed == "GO" || trimmed == "go") {
      if (!batch.empty()) out.push_back(batch);
      batch.clear();
    } else {
      batch += line + "\n";
    }
  }
  if (!batch.empty()) out.push_back(batch);
}

// Words of a batch, split at blanks and punctuation, keeping every character.
std::vector<std::string> Pieces(const std::string& text) {
  std::vector<std::string> out;
  std::string cur;
  for (char ch : text) {
    const bool word = std::isalnum(static_cast<unsigned char>(ch)) || ch == '_' || ch == '@' ||
                      ch == '#' || ch == '.';
    if (word) {
      cur += ch;
    } else {
      if (!cur.empty()) out.push_back(cur);
      cur.clear();
      out.push_back(std::string(1, ch));
    }
  }
  if (!cur.empty()) out.push_back(cur);
  return out;
}

const std::vector<std::string> kEdgeTokens = {"1e309",
                                              "1e-400",
                                              "99999999999999999999",
                                              "2147483647",
                                              "-2147483648",
                                              "9223372036854775807",
                                              "-9223372036854775808",
                                              "0",
                                              "-1",
                                              "1.5",
                                              "99999999999999999999999999999999999999",
                                              "0.00000000000000000000000000000000000001",
                                              "NULL",
                                              "''",
                                              "N'x'",
                                              "'x'",
                                              "0x00",
                                              "(",
                                              ")",
                                              ",",
                                              "not",
                                              "-",
                                              "+",
                                              "*",
                                              "/",
                                              "%",
                                              "abs(",
                                              "(select 1)",
                                              "select",
                                              "from",
                                              "where",
                                              "group by",
                                              "having",
                                              "order by",
                                              "union all select",
                                              "into",
                                              "#t",
                                              "##g",
                                              "[x y]",
                                              "[a.b]",
                                              "[\"q]",
                                              "[]",
                                              "sqlite_master",
                                              "sqlite_sequence",
                                              "__tsql_objects",
                                              "varchar(max)",
                                              "nvarchar(max)",
                                              "varbinary(max)",
                                              "decimal(38,38)",
                                              "decimal(4294967306,2)",
                                              "float",
                                              "money",
                                              "bigint",
                                              "identity(1,1)",
                                              "replicate('x', 2000000000)",
                                              "round(1.5, -2147483648)",
                                              "convert(datetime, '99991231')",
                                              "dateadd(yy, 2147483647, 0)",
                                              "cast('x' as int)",
                                              "avg(distinct",
                                              "sum(",
                                              "count(*)",
                                              "top 0",
                                              "distinct",
                                              "exec",
                                              "create procedure #p as select 1",
                                              "begin",
                                              "end",
                                              "begin tran",
                                              "rollback",
                                              "commit",
                                              "while 1=0",
                                              "if 1=1",
                                              "declare @v int",
                                              "@v",
                                              "@@rowcount",
                                              "@@identity",
                                              ";",
                                              "'",
                                              "\"",
                                              "[",
                                              "]",
                                              "\x01",
                                              std::string("\0", 1),
                                              "in (1,2,3)",
                                              "like '%'",
                                              "between 1 and 2",
                                              "is null",
                                              "case when 1=1 then 1 end",
                                              "default",
                                              "primary key",
                                              "unique",
                                              "not null",
                                              "check (1=1)"};

class Mutator {
 public:
  explicit Mutator(uint64_t seed) : rng_(seed) {}

  size_t Below(size_t n) {
    return n == 0 ? 0 : std::uniform_int_distribution<size_t>(0, n - 1)(rng_);
  }

  std::string Mutate(const std::string& text, const std::vector<std::string>& pool) {
    std::vector<std::string> p = Pieces(text);
    const int rounds = 1 + static_cast<int>(Below(4));
    for (int r = 0; r < rounds; ++r) {
      if (p.empty()) p.push_back("select 1");
      const size_t i = Below(p.size());
      switch (Below(9)) {
        case 0:  // drop a run
          p.erase(p.begin() + static_cast<long>(i),
                  p.begin() + static_cast<long>(std::min(p.size(), i + 1 + Below(6))));
          break;
        case 1:  // repeat a run
        {
          const size_t n = std::min(p.size() - i, 1 + Below(8));
          std::vector<std::string> run(p.begin() + static_cast<long>(i),
                                       p.begin() + static_cast<long>(i + n));
          const size_t times = 1 + Below(Below(10) == 0 ? 3000 : 4);
          for (size_t t = 0; t < times; ++t)
            p.insert(p.begin() + static_cast<long>(i), run.begin(), run.end());
          break;
        }
        case 2:  // swap two pieces
          std::swap(p[i], p[Below(p.size())]);
          break;
        case 3:
        case 4:  // an edge token in place of a piece
          p[i] = kEdgeTokens[Below(kEdgeTokens.size())];
          break;
        case 5:  // an edge token inserted
          p.insert(p.begin() + static_cast<long>(i), kEdgeTokens[Below(kEdgeTokens.size())]);
          break;
        case 6:  // a piece of another batch spliced in
        {
          std::vector<std::string> other = Pieces(pool[Below(pool.size())]);
          if (other.empty()) break;
          const size_t from = Below(other.size());
          const size_t n = std::min(other.size() - from, 1 + Below(20));
          p.insert(p.begin() + static_cast<long>(i), other.begin() + static_cast<long>(from),
                   other.begin() + static_cast<long>(from + n));
          break;
        }
        case 7:  // wrap in deep nesting
        {
          const size_t depth = 1 + Below(Below(4) == 0 ? 5000 : 40);
          const char* open = Below(2) ? "(" : (Below(2) ? "abs(" : "- ");
          std::string prefix, suffix;
          for (size_t d = 0; d < depth; ++d) {
            prefix += open;
            if (open[std::strlen(open) - 1] == '(') suffix += ")";
          }
          p[i] = prefix + p[i] + suffix;
          break;
        }
        default:  // a number changed
          p[i] = std::to_string(static_cast<int64_t>(rng_()));
          break;
      }
    }
    std::string out;
    for (const auto& s : p) out += s;
    return out;
  }

 private:
  std::mt19937_64 rng_;
};

// Texts of the storage layer that must never reach a user.
const char* const kStorageTexts[] = {"Storage error",
                                     "sqlite",
                                     "SQLite",
                                     "no such table",
                                     "no such column",
                                     "no such function",
                                     "constraint failed",
                                     "parser stack overflow",
                                     "Expression tree is too large",
                                     "too many SQL variables",
                                     "misuse of aggregate",
                                     "SQL logic error",
                                     "near \"",
                                     "unrecognized token",
                                     "incomplete input",
                                     "duplicate column name",
                                     "datatype mismatch",
                                     "string or blob too big",
                                     "malformed",
                                     "wrong number of arguments",
                                     "integer overflow",
                                     "__tsql"};

// The storage text a message shows, if any; a text the batch itself holds (a name it uses,
// echoed in "Invalid object name") does not count.
std::string StorageText(const std::string& message, const std::string& batch) {
  for (const char* t : kStorageTexts)
    if (message.find(t) != std::string::npos && batch.find(t) == std::string::npos) return t;
  return {};
}

struct Tally {
  long runs = 0, ok = 0, errors = 0, own_number = 0, failures = 0, stopped = 0;
};

// Outcomes of one batch, as its process's exit code.
enum Outcome { kRan = 0, kError = 1, kFailed = 2, kOwnNumberError = 3 };

Outcome RunOne(const std::string& batch, bool on_company, std::string& problem) {
  Outcome outcome = kRan;
  try {
    std::string path = ":memory:";
    if (on_company) {
      path = "fuzz_company_" + std::to_string(getpid()) + ".db";
      fs::copy_file(kCompanyFile, path, fs::copy_options::overwrite_existing);
    }
    auto db = Database::Open(path);
    auto c = db->Connect();
    try {
      auto r = c->Execute(batch);
      for (const auto& e : r.errors) {
        if (!StorageText(e.message, batch).empty()) problem = "storage text: " + e.message;
        if (e.number == 0) problem = "error without a number: " + e.message;
      }
    } catch (const SqlError& e) {
      outcome = e.number == 50900 ? kOwnNumberError : kError;
      if (!StorageText(e.message, batch).empty()) problem = "storage text: " + e.message;
      if (e.number == 0) problem = "error without a number: " + e.message;
    }
  } catch (const SqlError& e) {
    problem = "error outside a batch: " + std::to_string(e.number) + " " + e.message;
  } catch (const std::exception& e) {
    problem = std::string("exception: ") + e.what();
  }
  return problem.empty() ? outcome : kFailed;
}

// Each batch runs in a child process: one that ends its process is reported and kept without
// ending the run, and one that never ends (a WHILE whose counter a mutation broke loops on
// the server too) is stopped after kBatchSeconds and counted apart.
constexpr unsigned kBatchSeconds = 10;

// Removes the copy of the company a batch's process ran on, and its log files.
void RemoveCopy(pid_t pid) {
  const std::string path = "fuzz_company_" + std::to_string(pid) + ".db";
  std::error_code ec;
  for (const char* suffix : {"", "-wal", "-shm", "-journal"}) fs::remove(path + suffix, ec);
}

void Check(const std::string& batch, bool on_company, Tally& tally, const fs::path& save) {
  {
    std::ofstream last("last_input.sql", std::ios::binary | std::ios::trunc);
    last << batch;
  }
  ++tally.runs;
  std::cout.flush();
  const pid_t pid = fork();
  if (pid == 0) {
    alarm(kBatchSeconds);
    std::string problem;
    const Outcome outcome = RunOne(batch, on_company, problem);
    if (!problem.empty()) std::cout << "FAILED: " << problem << "\n";
    std::cout.flush();
    _exit(outcome);
  }
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid) {
    std::cerr << "cannot run a batch in a process of its own\n";
    std::exit(2);
  }
  if (on_company) RemoveCopy(pid);
  bool failed = false;
  if (WIFSIGNALED(status)) {
    if (WTERMSIG(status) == SIGALRM) {
      ++tally.stopped;
      return;
    }
    std::cout << "FAILED: the batch ended its process (signal " << WTERMSIG(status) << ")\n";
    failed = true;
  } else {
    switch (WEXITSTATUS(status)) {
      case kRan:
        ++tally.ok;
        break;
      case kError:
        ++tally.errors;
        break;
      case kOwnNumberError:
        ++tally.errors;
        ++tally.own_number;
        break;
      default:
        failed = true;
        break;
    }
  }
  if (!failed) return;
  ++tally.failures;
  std::cout << "  batch: " << batch.substr(0, 400) << "\n";
  if (!save.empty()) {
    fs::create_directories(save);
    std::ofstream out(save / ("failure_" + std::to_string(tally.failures) + ".sql"),
                      std::ios::binary);
    out << batch;
  }
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string k = argv[i], v = argv[i + 1];
    if (k == "--seed")
      o.seed = std::stoull(v);
    else if (k == "--iterations")
      o.iterations = std::stol(v);
    else if (k == "--seconds")
      o.seconds = std::stod(v);
    else if (k == "--cases")
      o.case_dirs.push_back(v);
    else if (k == "--sql")
      o.sql_dirs.push_back(v);
    else if (k == "--corpus")
      o.corpus = v;
    else if (k == "--close")
      o.close = v;
    else if (k == "--save")
      o.save = v;
    else {
      std::cerr << "unknown option " << k << "\n";
      return 2;
    }
  }
  std::vector<std::string> pool;
  auto sorted = [](const fs::path& dir, const char* ext) {
    std::vector<fs::path> files;
    if (fs::is_directory(dir))
      for (const auto& e : fs::directory_iterator(dir))
        if (e.path().extension() == ext) files.push_back(e.path());
    std::sort(files.begin(), files.end());
    return files;
  };
  for (const auto& d : o.case_dirs)
    for (const auto& f : sorted(d, ".test")) BatchesOfCaseFile(ReadFile(f), pool);
  for (const auto& d : o.sql_dirs)
    for (const auto& f : sorted(d, ".sql")) BatchesOfScript(ReadFile(f), pool);
  // Seeds before `company_from` run on the in-memory database, the rest on the company.
  const size_t company_from = pool.size();
  if (!o.close.empty()) {
    BatchesOfScript(ReadFile(o.close), pool);
    morvesk::company::CreateCompany(kCompanyFile.string(), {}, /*force=*/true);
  }
  if (pool.empty()) {
    std::cerr << "no batches to start from\n";
    return 2;
  }
  Tally tally;
  long corpus_runs = 0;
  for (const auto& f : sorted(o.corpus, ".sql")) {
    Check(ReadFile(f), false, tally, o.save);
    ++corpus_runs;
  }
  Mutator m(o.seed);
  const auto start = std::chrono::steady_clock::now();
  long i = 0;
  for (; i < o.iterations; ++i) {
    if (std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() > o.seconds)
      break;
    const size_t pick = m.Below(pool.size());
    Check(m.Mutate(pool[pick], pool), pick >= company_from, tally, o.save);
  }
  std::cout << pool.size() << " seed batches, " << corpus_runs << " corpus inputs, " << i
            << " mutations run: " << tally.ok << " ran, " << tally.errors
            << " ended with a T-SQL error (" << tally.own_number
            << " with the engine's storage-failure number), " << tally.stopped << " stopped after "
            << kBatchSeconds << " s, " << tally.failures << " failures\n";
  return tally.failures == 0 ? 0 : 1;
}
