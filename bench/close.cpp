// Period close on generated companies: the whole CalCurAmount.CalculateInvBal_Ext call per
// size, against a floor measured in the same run, and where the close's time goes.
//
// The floor is one pass over the period's own stock bill lines (item, receiving and sending
// stock, batch, quantity, amount), copied before timing into a plain SQLite table of
// integers, reals and text without any custom collation, in a database of its own: one
// GROUP BY item, stocks and batch summing quantity and amount, best of three.
//
// Each close runs in a child process of its own (this program started again), so that the
// peak resident memory reported is the close's alone: the child's ru_maxrss as wait4
// returns it. The engine's work clock in the child times every batch and statement of the
// close, grouped by batch text with numbers masked.
//
//   bench_close [--top N] [--keep DIR] [--no-floor] [--dump DIR] [lines ...]
//     default: 10000 100000 1000000, 12 groups shown. With --keep, each generated company is
//     kept in DIR and copied from there on later runs, so that a run measures the close alone.
//     --no-floor skips the floor. --dump writes every balance table of the closed company to
//     DIR/<lines>/<table>.txt, rows sorted and values in one exact text form, so that two
//     builds' closes of the same company compare with diff.
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/datetime.h"
#include "base/decimal.h"
#include "bench/generated_company.h"
#include "company/company.h"
#include "engine/engine.h"
#include "engine/exec/company_vfs.h"
#include "engine/exec/connection_internal.h"
#include "platform/automation/registry.h"
#include "services/morvesk_module.h"

namespace {

using morvesk::bench::RemoveDatabase;

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

// Processor time of this process: on a machine shared with other work, wall time also counts
// the waits for a core, so both are reported.
double CpuNow() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Where the close's time goes: every batch the engine runs, grouped by the start of its
// text with numbers and quoted values masked (the rows of a loop fall into one group), and
// every statement by its group and line. Spreading batches are counted apart.
class CloseClock : public morvesk::engine::exec::WorkClock {
 public:
  struct Entry {
    int order = 0;  // first appearance
    int64_t count = 0;
    double seconds = 0;
    double cpu = 0;  // processor time of this process between the batch's start and end
    std::string text;
  };

  CloseClock() : last_cpu_(CpuNow()) {}

  void Statement(int line, double seconds) override { pending_.emplace_back(line, seconds); }

  void Batch(std::string_view text, double seconds) override {
    const std::string label = Label(text, 0);
    Entry& b = Add(batches_, label, seconds);
    if (b.text.empty()) b.text = label;
    // Everything since the previous batch ended: the batch and the operation's own work
    // that prepared it.
    const double now = CpuNow(), before = last_cpu_;
    b.cpu += now - before;
    last_cpu_ = now;
    for (const auto& [line, s] : pending_) {
      Entry& e = Add(statements_, label + "\x1f" + std::to_string(line), s);
      if (e.text.empty()) e.text = "line " + std::to_string(line) + ": " + Label(text, line);
    }
    pending_.clear();
    if (text.starts_with("Declare @Amount")) {
      spread_seconds += seconds;
      spread_cpu += now - before;
      ++spread_batches;
    }
    total_seconds += seconds;
  }

  // The largest groups, largest first, with their share of all batch time.
  void Print(int top) const {
    std::printf("  %-78s %8s %9s %6s %7s\n", "batch (numbers masked)", "runs", "seconds", "share",
                "cpu s");
    PrintTop(batches_, top, "  ");
    std::printf("  %-78s %8s %9s %6s\n", "  statement", "runs", "seconds", "share");
    PrintTop(statements_, top, "    ");
  }

  double spread_seconds = 0;
  double spread_cpu = 0;
  int64_t spread_batches = 0;
  double total_seconds = 0;

 private:
  // Line `line` (1-based; 0: from the start) of the text, blanks collapsed, digits and quoted
  // text masked, cut to fit a column.
  static std::string Label(std::string_view text, int line) {
    size_t pos = 0;
    for (int l = 1; l < line && pos < text.size(); ++pos) {
      if (text[pos] == '\n') ++l;
    }
    std::string out;
    bool quoted = false;
    for (; pos < text.size() && out.size() < 72; ++pos) {
      const char ch = text[pos];
      if (line > 0 && ch == '\n') break;
      if (ch == '\'') {
        quoted = !quoted;
        if (quoted) out += "'?'";
        continue;
      }
      if (quoted) continue;
      if (std::isspace(static_cast<unsigned char>(ch))) {
        if (!out.empty() && out.back() != ' ') out += ' ';
      } else if (std::isdigit(static_cast<unsigned char>(ch))) {
        if (out.empty() || out.back() != '9') out += '9';
      } else {
        out += ch;
      }
    }
    return out;
  }

  Entry& Add(std::map<std::string, Entry>& into, const std::string& key, double seconds) {
    auto [it, fresh] = into.try_emplace(key);
    if (fresh) it->second.order = static_cast<int>(into.size());
    ++it->second.count;
    it->second.seconds += seconds;
    return it->second;
  }

  void PrintTop(const std::map<std::string, Entry>& from, int top, const char* indent) const {
    std::vector<const Entry*> all;
    for (const auto& [key, e] : from) all.push_back(&e);
    std::sort(all.begin(), all.end(), [](const Entry* a, const Entry* b) {
      return (a->cpu > 0 ? a->cpu : a->seconds) > (b->cpu > 0 ? b->cpu : b->seconds);
    });
    for (int i = 0; i < top && i < static_cast<int>(all.size()); ++i) {
      const Entry& e = *all[static_cast<size_t>(i)];
      std::printf("%s%-76.76s %8lld %9.3f %5.1f%%", indent, e.text.c_str(),
                  static_cast<long long>(e.count), e.seconds,
                  total_seconds > 0 ? 100 * e.seconds / total_seconds : 0.0);
      if (e.cpu > 0) std::printf(" %7.3f", e.cpu);
      std::printf("\n");
    }
  }

  double last_cpu_;
  std::vector<std::pair<int, double>> pending_;
  std::map<std::string, Entry> batches_;
  std::map<std::string, Entry> statements_;
};

[[noreturn]] void Fail(const std::string& what, sqlite3* db = nullptr) {
  std::fprintf(stderr, "%s%s%s\n", what.c_str(), db ? ": " : "", db ? sqlite3_errmsg(db) : "");
  std::exit(1);
}

sqlite3* OpenPlain(const std::string& path, int flags, const char* vfs = nullptr) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, flags, vfs) != SQLITE_OK) Fail("cannot open " + path);
  return db;
}

// A company file read with plain SQLite, through the file layer that reads its header.
sqlite3* OpenCompanyFile(const std::string& path) {
  morvesk::engine::exec::RegisterCompanyVfs();
  return OpenPlain(path, SQLITE_OPEN_READONLY, morvesk::engine::exec::kCompanyVfs);
}

void Exec(sqlite3* db, const char* sql) {
  if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) Fail(sql, db);
}

// A stored decimal (order-preserving blob, or an integer) as a double, for the floor's table.
double StoredNumber(sqlite3_stmt* st, int col) {
  switch (sqlite3_column_type(st, col)) {
    case SQLITE_BLOB: {
      std::string_view bytes(static_cast<const char*>(sqlite3_column_blob(st, col)),
                             static_cast<size_t>(sqlite3_column_bytes(st, col)));
      if (auto d = morvesk::base::DecodeKey(bytes)) return d->ToDouble();
      return 0;
    }
    default:
      return sqlite3_column_double(st, col);
  }
}

struct PeriodDates {
  std::string start, end;  // yyyy-mm-dd; end is the day after the period
};

// Copies the period's stock bill lines into `floor_path` (a fresh plain SQLite database)
// as integers, reals and text. Returns the number of lines.
int64_t CopyFloorLines(const std::string& company, const PeriodDates& dates,
                       const std::string& floor_path) {
  const auto from = morvesk::base::DateTime::Parse(dates.start);
  const auto to = morvesk::base::DateTime::Parse(dates.end);
  if (!from || !to) Fail("bad period dates " + dates.start + " " + dates.end);
  sqlite3* src = OpenCompanyFile(company);
  sqlite3* dst = OpenPlain(floor_path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
  Exec(dst, "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF");
  Exec(dst,
       "DROP TABLE IF EXISTS lines; CREATE TABLE lines(item INTEGER, dc INTEGER, sc INTEGER, "
       "batch TEXT, qty REAL, amount REAL)");
  sqlite3_stmt* read = nullptr;
  sqlite3_stmt* write = nullptr;
  if (sqlite3_prepare_v2(src,
                         "SELECT e.FItemID, e.FDCStockID, e.FSCStockID, e.FBatchNo, e.FQty, "
                         "e.FCostAmount FROM T_CC_StockBill b JOIN T_CC_StockBillEntry e ON "
                         "e.FID = b.FID WHERE b.FDate >= ?1 AND b.FDate < ?2",
                         -1, &read, nullptr) != SQLITE_OK)
    Fail("floor copy", src);
  if (sqlite3_prepare_v2(dst, "INSERT INTO lines VALUES(?1, ?2, ?3, ?4, ?5, ?6)", -1, &write,
                         nullptr) != SQLITE_OK)
    Fail("floor copy", dst);
  sqlite3_bind_int64(read, 1, from->ms);
  sqlite3_bind_int64(read, 2, to->ms);
  Exec(dst, "BEGIN");
  int64_t n = 0;
  while (sqlite3_step(read) == SQLITE_ROW) {
    for (int c = 0; c < 3; ++c) sqlite3_bind_int64(write, c + 1, sqlite3_column_int64(read, c));
    const unsigned char* batch = sqlite3_column_text(read, 3);
    sqlite3_bind_text(write, 4, batch ? reinterpret_cast<const char*>(batch) : "", -1,
                      SQLITE_TRANSIENT);
    sqlite3_bind_double(write, 5, StoredNumber(read, 4));
    sqlite3_bind_double(write, 6, StoredNumber(read, 5));
    if (sqlite3_step(write) != SQLITE_DONE) Fail("floor copy", dst);
    sqlite3_reset(write);
    ++n;
  }
  Exec(dst, "COMMIT");
  sqlite3_finalize(read);
  sqlite3_finalize(write);
  sqlite3_close(src);
  sqlite3_close(dst);
  return n;
}

struct Timing {
  double wall = 0;
  double cpu = 0;
};

// One GROUP BY over the copied lines, every group read, best of three.
Timing FloorSeconds(const std::string& floor_path) {
  sqlite3* db = OpenPlain(floor_path, SQLITE_OPEN_READONLY);
  Timing best{1e30, 1e30};
  for (int run = 0; run < 3; ++run) {
    const auto start = Clock::now();
    const double cpu_start = CpuNow();
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db,
                           "SELECT item, dc, sc, batch, sum(qty), sum(amount) FROM lines "
                           "GROUP BY item, dc, sc, batch",
                           -1, &st, nullptr) != SQLITE_OK)
      Fail("floor query", db);
    int64_t groups = 0;
    double check = 0;
    while (sqlite3_step(st) == SQLITE_ROW) {
      ++groups;
      check += sqlite3_column_double(st, 5);
    }
    sqlite3_finalize(st);
    best.wall = std::min(best.wall, Seconds(start));
    best.cpu = std::min(best.cpu, CpuNow() - cpu_start);
    if (groups == 0 && check != 0) Fail("floor query read nothing");
  }
  sqlite3_close(db);
  return best;
}

PeriodDates DatesOf(morvesk::engine::Connection& c, int year, int period) {
  morvesk::engine::BatchResult r = c.Execute(
      "select convert(varchar(10),FStartDate,120),convert(varchar(10),FEndDate+1,120) from "
      "t_PeriodDate where FYear=" +
      std::to_string(year) + " and FPeriod=" + std::to_string(period));
  const auto sets = r.ResultSets();
  if (!r.ok() || sets.empty() || sets.front()->rows.empty()) {
    Fail("no dates for " + std::to_string(year) + "/" + std::to_string(period));
  }
  return {sets.front()->rows[0][0].ToString(), sets.front()->rows[0][1].ToString()};
}

// ---------------------------------------------------------------------------
// Canonical dump of the tables a close writes.

// Every table the close writes: the balances of both stages, the lot quick balance, the
// inventory, the profile it advances, the bill lines whose shelf-life dating it copies, and
// the two logs it empties.
constexpr const char* kDumpTables[] = {
    "t_CC_Bal",        "t_CC_Stock",          "t_CC_Stock_BatchNo", "T_CC_Inventory", "ICSpeedBal",
    "t_SystemProfile", "T_CC_StockBillEntry", "TempWriteBack",      "CalculateLog",
};

// One stored value in a form that depends only on the value and the column's declared
// type: decimals exact with trailing zeros dropped (1.5 and 1.50 alike, whether stored as
// blob or integer), datetimes as yyyy-mm-dd hh:mi:ss.mmm, text with '|', '\' and line
// breaks escaped.
std::string CanonicalCell(sqlite3_stmt* st, int col, const std::string& declared) {
  const int storage = sqlite3_column_type(st, col);
  if (storage == SQLITE_NULL) return "NULL";
  std::string type;
  for (char ch : declared) type += static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  const bool is_decimal = type.starts_with("decimal") || type.starts_with("numeric") ||
                          type.find("money") != std::string::npos;
  if (is_decimal) {
    std::optional<morvesk::base::Decimal> d;
    if (storage == SQLITE_INTEGER) {
      d = morvesk::base::Decimal::FromInt(sqlite3_column_int64(st, col));
    } else if (storage == SQLITE_BLOB) {
      d = morvesk::base::DecodeKey(
          std::string_view(static_cast<const char*>(sqlite3_column_blob(st, col)),
                           static_cast<size_t>(sqlite3_column_bytes(st, col))));
    }
    if (d) return d->ToString();
  }
  if (type.starts_with("datetime") && storage == SQLITE_INTEGER) {
    return morvesk::base::DateTime{sqlite3_column_int64(st, col)}.Format(121);
  }
  char buf[64];
  switch (storage) {
    case SQLITE_INTEGER:
      return std::to_string(sqlite3_column_int64(st, col));
    case SQLITE_FLOAT:
      std::snprintf(buf, sizeof buf, "%.17g", sqlite3_column_double(st, col));
      return std::string(is_decimal ? "real:" : "") + buf;
    case SQLITE_BLOB: {
      std::string hex = "blob:";
      const auto* p = static_cast<const unsigned char*>(sqlite3_column_blob(st, col));
      for (int i = 0; i < sqlite3_column_bytes(st, col); ++i) {
        std::snprintf(buf, sizeof buf, "%02x", p[i]);
        hex += buf;
      }
      return hex;
    }
    default: {
      std::string out;
      const auto* p = sqlite3_column_text(st, col);
      for (int i = 0; i < sqlite3_column_bytes(st, col); ++i) {
        const char ch = static_cast<char>(p[i]);
        if (ch == '|' || ch == '\\') out += '\\';
        if (ch == '\n') {
          out += "\\n";
        } else if (ch == '\r') {
          out += "\\r";
        } else {
          out += ch;
        }
      }
      return out;
    }
  }
}

// Writes DIR/<table>.txt for each table: a header of column names and types, then every
// row, sorted. Read with plain SQLite, not through the engine being compared.
void DumpTables(const std::string& company, const std::filesystem::path& dir) {
  std::filesystem::create_directories(dir);
  sqlite3* db = OpenCompanyFile(company);
  for (const char* table : kDumpTables) {
    std::vector<std::string> names, types;
    sqlite3_stmt* info = nullptr;
    if (sqlite3_prepare_v2(db, ("PRAGMA table_info(" + std::string(table) + ")").c_str(), -1, &info,
                           nullptr) != SQLITE_OK)
      Fail("dump", db);
    while (sqlite3_step(info) == SQLITE_ROW) {
      names.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(info, 1)));
      const unsigned char* t = sqlite3_column_text(info, 2);
      types.emplace_back(t ? reinterpret_cast<const char*>(t) : "");
    }
    sqlite3_finalize(info);
    if (names.empty()) Fail(std::string("no table ") + table);
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, ("SELECT * FROM " + std::string(table)).c_str(), -1, &st, nullptr) !=
        SQLITE_OK)
      Fail("dump", db);
    std::vector<std::string> rows;
    while (sqlite3_step(st) == SQLITE_ROW) {
      std::string line;
      for (int c = 0; c < static_cast<int>(names.size()); ++c) {
        if (c > 0) line += '|';
        line += CanonicalCell(st, c, types[static_cast<size_t>(c)]);
      }
      rows.push_back(std::move(line));
    }
    sqlite3_finalize(st);
    std::sort(rows.begin(), rows.end());
    std::ofstream out(dir / (std::string(table) + ".txt"), std::ios::binary);
    for (size_t c = 0; c < names.size(); ++c)
      out << (c > 0 ? "|" : "") << names[c] << ' ' << types[c];
    out << '\n';
    for (const std::string& row : rows) out << row << '\n';
  }
  sqlite3_close(db);
}

// ---------------------------------------------------------------------------
// The close, in a child process.

struct CloseOutcome {
  bool ok = false;
  double seconds = 0;
  double cpu = 0;
  long max_rss_kb = 0;
};

// Child side: the whole operation called by name as a client calls it, with the engine's
// clock on. Writes "<ok> <seconds> <cpu seconds>" to `result_fd`; the clock's table goes to stdout.
int RunCloseChild(const std::string& path, int year, int period, const PeriodDates& dates, int top,
                  int result_fd) {
  morvesk::services::RegisterMorveskClasses();
  CloseClock clock;
  morvesk::engine::exec::SetWorkClock(&clock);
  auto obj = morvesk::automation::CreateObject("Morvesk.CalCurAmount");
  morvesk::automation::Variant err("");
  std::vector<morvesk::automation::Variant> args{
      morvesk::automation::Variant("Data Source=" + path),
      morvesk::automation::Variant(period),
      morvesk::automation::Variant(year),
      morvesk::automation::Variant(dates.start),
      morvesk::automation::Variant(dates.end),
      morvesk::automation::Variant(int32_t{0}),
      morvesk::automation::Variant(""),
      morvesk::automation::Variant::Ref(&err)};
  const auto start = Clock::now();
  const double cpu_start = CpuNow();
  const bool ok = obj->CallRef("CalculateInvBal_Ext", args).ToBool();
  const double close = Seconds(start), cpu = CpuNow() - cpu_start;
  morvesk::engine::exec::SetWorkClock(nullptr);
  obj.reset();
  if (!ok) std::fprintf(stderr, "close failed: %s\n", err.ToString().c_str());
  const double spread_rate =
      clock.spread_seconds > 0 ? clock.spread_batches / clock.spread_seconds : 0.0;
  std::printf("  batches %.3f s, %lld adjustments spread in %.3f s (%.0f/s), %.3f s cpu\n",
              clock.total_seconds, static_cast<long long>(clock.spread_batches),
              clock.spread_seconds, spread_rate, clock.spread_cpu);
  clock.Print(top);
  std::fflush(stdout);
  const std::string result =
      std::to_string(ok ? 1 : 0) + " " + std::to_string(close) + " " + std::to_string(cpu) + "\n";
  if (write(result_fd, result.data(), result.size()) != static_cast<ssize_t>(result.size()))
    return 1;
  return ok ? 0 : 1;
}

// Parent side: starts this program again in close mode and waits for it.
CloseOutcome RunClose(const std::string& self, const std::string& path, int year, int period,
                      const PeriodDates& dates, int top) {
  int fds[2];
  if (pipe(fds) != 0) Fail("pipe");
  std::fflush(stdout);
  std::fflush(stderr);
  const pid_t pid = fork();
  if (pid < 0) Fail("fork");
  if (pid == 0) {
    close(fds[0]);
    const std::string fd = std::to_string(fds[1]), y = std::to_string(year),
                      p = std::to_string(period), t = std::to_string(top);
    execl(self.c_str(), self.c_str(), "--child-close", path.c_str(), y.c_str(), p.c_str(),
          dates.start.c_str(), dates.end.c_str(), t.c_str(), fd.c_str(), nullptr);
    std::_Exit(127);
  }
  close(fds[1]);
  std::string reply;
  char buf[128];
  for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;)
    reply.append(buf, static_cast<size_t>(n));
  close(fds[0]);
  int status = 0;
  struct rusage usage {};
  if (wait4(pid, &status, 0, &usage) != pid) Fail("wait4");
  CloseOutcome out;
  out.max_rss_kb = usage.ru_maxrss;
  int ok = 0;
  if (std::sscanf(reply.c_str(), "%d %lf %lf", &ok, &out.seconds, &out.cpu) == 3) out.ok = ok == 1;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) out.ok = false;
  return out;
}

struct Row {
  int64_t lines = 0;
  int64_t period_lines = 0;
  Timing floor;
  CloseOutcome close;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc == 9 && std::string(argv[1]) == "--child-close") {
    return RunCloseChild(argv[2], std::atoi(argv[3]), std::atoi(argv[4]), {argv[5], argv[6]},
                         std::atoi(argv[7]), std::atoi(argv[8]));
  }
  std::vector<int64_t> sizes;
  int top = 12;
  std::string keep, dump;
  bool floor_wanted = true;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--top" && i + 1 < argc) {
      top = std::atoi(argv[++i]);
    } else if (std::string(argv[i]) == "--keep" && i + 1 < argc) {
      keep = argv[++i];
    } else if (std::string(argv[i]) == "--dump" && i + 1 < argc) {
      dump = argv[++i];
    } else if (std::string(argv[i]) == "--no-floor") {
      floor_wanted = false;
    } else {
      sizes.push_back(std::atoll(argv[i]));
    }
  }
  if (sizes.empty()) sizes = {10000, 100000, 1000000};
  const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();

  const auto dir = std::filesystem::temp_directory_path();
  std::vector<Row> rows;
  for (int64_t lines : sizes) {
    // Names of this process's own, so that two runs side by side do not share files.
    const std::string stem =
        "morvesk-bench-close-" + std::to_string(lines) + "-" + std::to_string(::getpid());
    const std::string path = (dir / (stem + ".db")).string();
    const std::string floor_path = (dir / (stem + "-floor.db")).string();
    auto start = Clock::now();
    morvesk::bench::PrepareCompany(path, lines, keep,
                                   "morvesk-bench-close-" + std::to_string(lines) + ".db");
    const double generate = Seconds(start);

    const int year = morvesk::company::kStartYear, period = morvesk::company::kStartPeriod;
    PeriodDates dates;
    {
      auto db = morvesk::engine::Database::Open(path, true);
      auto c = db->Connect();
      dates = DatesOf(*c, year, period);
    }
    Row row;
    row.lines = lines;
    RemoveDatabase(floor_path);
    row.period_lines = CopyFloorLines(path, dates, floor_path);
    if (floor_wanted) row.floor = FloorSeconds(floor_path);
    RemoveDatabase(floor_path);

    std::printf("%lld lines a period (%lld in the closed period), generated or copied in %.1f s\n",
                static_cast<long long>(lines), static_cast<long long>(row.period_lines), generate);
    row.close = RunClose(self, path, year, period, dates, top);
    if (!row.close.ok)
      std::fprintf(stderr, "close of %lld lines failed\n", static_cast<long long>(lines));
    if (!dump.empty() && row.close.ok) {
      const auto to = std::filesystem::path(dump) / std::to_string(lines);
      DumpTables(path, to);
      std::printf("  balance tables written to %s\n", to.string().c_str());
    }
    rows.push_back(row);
    std::fflush(stdout);
    RemoveDatabase(path);
  }

  // Wall time and processor time side by side: on a busy machine the wall clock also counts
  // the waits for a core, the processor time does not.
  auto ratio = [](double close, double floor) { return floor > 0 ? close / floor : 0.0; };
  std::printf("\n%10s %10s %8s %8s %8s %8s %7s %7s %10s %10s %9s\n", "lines", "in period",
              "close s", "floor s", "close cpu", "floor cpu", "ratio", "cpu rat", "lines/s",
              "lines/cpu", "peak MiB");
  for (const Row& r : rows) {
    const bool ok = r.close.ok;
    std::printf("%10lld %10lld %8.3f %8.3f %9.3f %9.3f %7.1f %7.1f %10.0f %10.0f %9.1f\n",
                static_cast<long long>(r.lines), static_cast<long long>(r.period_lines),
                ok ? r.close.seconds : -1.0, r.floor.wall, ok ? r.close.cpu : -1.0, r.floor.cpu,
                ok ? ratio(r.close.seconds, r.floor.wall) : 0.0,
                ok ? ratio(r.close.cpu, r.floor.cpu) : 0.0,
                ok && r.close.seconds > 0 ? r.period_lines / r.close.seconds : 0.0,
                ok && r.close.cpu > 0 ? r.period_lines / r.close.cpu : 0.0,
                static_cast<double>(r.close.max_rss_kb) / 1024.0);
  }
  std::printf("peak RSS: the close's child process, ru_maxrss from wait4\n");
  bool all_ok = true;
  for (const Row& r : rows) all_ok = all_ok && r.close.ok;
  return all_ok ? 0 : 1;
}
