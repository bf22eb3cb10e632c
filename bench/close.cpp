// Period close on generated companies: the whole CalCurAmount.CalculateInvBal_Ext call per
// size, against a floor measured in the same run (one scan and aggregate of the same bill
// lines in plain SQLite), the price-adjustment spreading batches of both stages on their own
// (adjustments per second), and where the time goes: the engine's work clock times every
// batch and statement of the close, grouped by batch text with numbers masked.
//
//   bench_close [--top N] [--keep DIR] [lines ...]
//     default: 10000 100000 1000000, 12 groups shown. With --keep, each generated company is
//     kept in DIR and copied from there on later runs, so that a run measures the close alone.
//     --no-floor skips the floor (for profiling the close on its own).
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "company/company.h"
#include "engine/engine.h"
#include "engine/exec/company_vfs.h"
#include "engine/exec/connection_internal.h"
#include "platform/automation/registry.h"
#include "services/morvesk_module.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
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
    std::string text;
  };

  void Statement(int line, double seconds) override { pending_.emplace_back(line, seconds); }

  void Batch(std::string_view text, double seconds) override {
    const std::string label = Label(text, 0);
    Entry& b = Add(batches_, label, seconds);
    if (b.text.empty()) b.text = label;
    for (const auto& [line, s] : pending_) {
      Entry& e = Add(statements_, label + "\x1f" + std::to_string(line), s);
      if (e.text.empty()) e.text = "line " + std::to_string(line) + ": " + Label(text, line);
    }
    pending_.clear();
    if (text.starts_with("Declare @Amount")) {
      spread_seconds += seconds;
      ++spread_batches;
    }
    total_seconds += seconds;
  }

  // The largest groups, largest first, with their share of all batch time.
  void Print(int top) const {
    std::printf("  %-78s %8s %9s %6s\n", "batch (numbers masked)", "runs", "seconds", "share");
    PrintTop(batches_, top, "  ");
    std::printf("  %-78s %8s %9s %6s\n", "  statement", "runs", "seconds", "share");
    PrintTop(statements_, top, "    ");
  }

  double spread_seconds = 0;
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
    std::sort(all.begin(), all.end(),
              [](const Entry* a, const Entry* b) { return a->seconds > b->seconds; });
    for (int i = 0; i < top && i < static_cast<int>(all.size()); ++i) {
      const Entry& e = *all[static_cast<size_t>(i)];
      std::printf("%s%-76.76s %8lld %9.3f %5.1f%%\n", indent, e.text.c_str(),
                  static_cast<long long>(e.count), e.seconds,
                  total_seconds > 0 ? 100 * e.seconds / total_seconds : 0.0);
    }
  }

  std::vector<std::pair<int, double>> pending_;
  std::map<std::string, Entry> batches_;
  std::map<std::string, Entry> statements_;
};

// Text columns of the company database carry the engine's collation; the floor registers an
// equivalent one (case and trailing blanks ignored) so that plain SQLite can group by them.
int CompareText(void*, int na, const void* a, int nb, const void* b) {
  const auto* pa = static_cast<const unsigned char*>(a);
  const auto* pb = static_cast<const unsigned char*>(b);
  while (na > 0 && pa[na - 1] == ' ') --na;
  while (nb > 0 && pb[nb - 1] == ' ') --nb;
  for (int i = 0; i < na && i < nb; ++i) {
    const int ca = std::tolower(pa[i]), cb = std::tolower(pb[i]);
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  return na == nb ? 0 : (na < nb ? -1 : 1);
}

// Plain SQLite reading the same bill lines once, grouped by the balance key.
double Floor(const std::string& path) {
  sqlite3* db = nullptr;
  morvesk::engine::exec::RegisterCompanyVfs();
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY,
                      morvesk::engine::exec::kCompanyVfs) != SQLITE_OK) {
    std::fprintf(stderr, "cannot open %s\n", path.c_str());
    std::exit(1);
  }
  sqlite3_create_collation(db, "TSQL", SQLITE_UTF8, nullptr, CompareText);
  const auto start = Clock::now();
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db,
                         "SELECT e.FItemID,e.FDCStockID,e.FSCStockID,e.FBatchNo,e.FAuxPropID,"
                         "count(*),max(e.FQty),max(e.FCostAmount) FROM T_CC_StockBillEntry e JOIN "
                         "T_CC_StockBill b ON b.FID=e.FID GROUP BY 1,2,3,4,5",
                         -1, &st, nullptr) != SQLITE_OK) {
    std::fprintf(stderr, "floor query: %s\n", sqlite3_errmsg(db));
    std::exit(1);
  }
  int64_t groups = 0;
  while (sqlite3_step(st) == SQLITE_ROW) ++groups;
  sqlite3_finalize(st);
  const double s = Seconds(start);
  sqlite3_close(db);
  return groups > 0 ? s : 0;
}

struct PeriodDates {
  std::string start, end;
};

PeriodDates DatesOf(morvesk::engine::Connection& c, int year, int period) {
  morvesk::engine::BatchResult r = c.Execute(
      "select convert(varchar(10),FStartDate,120),convert(varchar(10),FEndDate+1,120) from "
      "t_PeriodDate where FYear=" +
      std::to_string(year) + " and FPeriod=" + std::to_string(period));
  const auto sets = r.ResultSets();
  if (!r.ok() || sets.empty() || sets.front()->rows.empty()) {
    std::fprintf(stderr, "no dates for %d/%d\n", year, period);
    std::exit(1);
  }
  return {sets.front()->rows[0][0].ToString(), sets.front()->rows[0][1].ToString()};
}

// Removes a database file and the journal files SQLite keeps beside it.
void RemoveDatabase(const std::string& path) {
  for (const char* suffix : {"", "-wal", "-shm", "-journal"})
    std::filesystem::remove(path + suffix);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int64_t> sizes;
  int top = 12;
  std::string keep;
  bool floor_wanted = true;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--top" && i + 1 < argc) {
      top = std::atoi(argv[++i]);
    } else if (std::string(argv[i]) == "--keep" && i + 1 < argc) {
      keep = argv[++i];
    } else if (std::string(argv[i]) == "--no-floor") {
      floor_wanted = false;
    } else {
      sizes.push_back(std::atoll(argv[i]));
    }
  }
  if (sizes.empty()) sizes = {10000, 100000, 1000000};

  morvesk::services::RegisterMorveskClasses();
  const auto dir = std::filesystem::temp_directory_path();
  for (int64_t lines : sizes) {
    // A name of this process's own, so that two runs side by side do not share files.
    const std::string path = (dir / ("morvesk-bench-close-" + std::to_string(lines) + "-" +
                                     std::to_string(::getpid()) + ".db"))
                                 .string();
    RemoveDatabase(path);
    const std::string kept =
        keep.empty() ? std::string()
                     : (std::filesystem::path(keep) /
                        ("morvesk-bench-close-" + std::to_string(lines) + ".db"))
                           .string();
    auto start = Clock::now();
    if (!kept.empty() && std::filesystem::exists(kept)) {
      std::filesystem::copy_file(kept, path);
    } else {
      morvesk::company::GenerateOptions options;
      options.lines_per_period = lines;
      options.seed = 7;
      morvesk::company::CreateCompany(path, options, /*force=*/true);
      if (!kept.empty()) {
        // Folded into one file first: the copy must not need the journal files beside it.
        auto db = morvesk::engine::Database::Open(path, true);
        db.reset();
        std::filesystem::create_directories(keep);
        std::filesystem::copy_file(path, kept);
      }
    }
    const double generate = Seconds(start);

    const int year = morvesk::company::kStartYear, period = morvesk::company::kStartPeriod;
    PeriodDates dates;
    {
      auto db = morvesk::engine::Database::Open(path, true);
      auto c = db->Connect();
      dates = DatesOf(*c, year, period);
    }
    const double floor = floor_wanted ? Floor(path) : 0.0;

    // The whole operation, called by name as a client calls it, with the engine's clock on.
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
    start = Clock::now();
    const bool ok = obj->CallRef("CalculateInvBal_Ext", args).ToBool();
    const double close = Seconds(start);
    morvesk::engine::exec::SetWorkClock(nullptr);
    obj.reset();
    if (!ok) {
      std::fprintf(stderr, "close of %lld lines failed: %s\n", static_cast<long long>(lines),
                   err.ToString().c_str());
    }

    const double spread_rate =
        clock.spread_seconds > 0 ? clock.spread_batches / clock.spread_seconds : 0.0;
    std::printf("%10s %10s %10s %10s %8s %10s %12s %10s %12s\n", "lines", "generate s",
                "floor s", "close s", "ratio", "batches s", "adjustments", "spread s",
                "adjust/s");
    std::printf("%10lld %10.3f %10.3f %10.3f %8.1f %10.3f %12lld %10.3f %12.0f\n",
                static_cast<long long>(lines), generate, floor, ok ? close : -1.0,
                floor > 0 && ok ? close / floor : 0.0, clock.total_seconds,
                static_cast<long long>(clock.spread_batches), clock.spread_seconds, spread_rate);
    clock.Print(top);
    std::fflush(stdout);
    RemoveDatabase(path);
  }
  return 0;
}
