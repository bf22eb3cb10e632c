// Period close on generated companies: the whole CalCurAmount.CalculateInvBal_Ext call per
// size, against a floor measured in the same run (one scan and aggregate of the same bill
// lines in plain SQLite), and the price-adjustment spreading on its own (adjustments per
// second), timed batch by batch through a data-access session that clocks what it runs.
//
//   bench_close [lines ...]      default: 10000 100000 1000000
#include <sqlite3.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "balance/close_stages.h"
#include "company/company.h"
#include "engine/engine.h"
#include "frame/sql_text.h"
#include "platform/ado/connection.h"
#include "platform/ado/engine_provider.h"
#include "platform/automation/registry.h"
#include "services/morvesk_module.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

// Passes every call to the engine's session and adds up the time of the spreading batches.
class ClockedSession : public morvesk::ado::ProviderSession {
 public:
  explicit ClockedSession(std::unique_ptr<morvesk::ado::ProviderSession> inner)
      : inner_(std::move(inner)) {}
  morvesk::ado::ProviderResult Execute(std::string_view text) override {
    const auto start = Clock::now();
    morvesk::ado::ProviderResult r = inner_->Execute(text);
    const double s = Seconds(start);
    if (text.starts_with("Declare @Amount")) {
      spread_seconds += s;
      ++spread_batches;
    } else {
      other_seconds += s;
    }
    return r;
  }
  morvesk::ado::ProviderResult CallProcedure(
      std::string_view name, std::vector<morvesk::ado::ProviderParam>& params) override {
    return inner_->CallProcedure(name, params);
  }
  void BeginTransaction() override { inner_->BeginTransaction(); }
  void Commit() override { inner_->Commit(); }
  void Rollback() override { inner_->Rollback(); }
  bool InTransaction() const override { return inner_->InTransaction(); }
  std::string DataSource() const override { return inner_->DataSource(); }

  double spread_seconds = 0;
  double other_seconds = 0;
  int64_t spread_batches = 0;

 private:
  std::unique_ptr<morvesk::ado::ProviderSession> inner_;
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
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
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

}  // namespace

int main(int argc, char** argv) {
  std::vector<int64_t> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::atoll(argv[i]));
  if (sizes.empty()) sizes = {10000, 100000, 1000000};

  morvesk::services::RegisterMorveskClasses();
  const auto dir = std::filesystem::temp_directory_path();
  std::printf("%10s %10s %10s %8s %10s %12s %10s %14s\n", "lines", "floor s", "close s", "ratio",
              "stage s", "adjustments", "spread s", "adjust/s");
  for (int64_t lines : sizes) {
    const std::string path =
        (dir / ("morvesk-bench-close-" + std::to_string(lines) + ".db")).string();
    const std::string copy = path + ".stages";
    morvesk::company::GenerateOptions options;
    options.lines_per_period = lines;
    options.seed = 7;
    morvesk::company::CreateCompany(path, options, /*force=*/true);
    std::filesystem::copy_file(path, copy, std::filesystem::copy_options::overwrite_existing);

    const int year = morvesk::company::kStartYear, period = morvesk::company::kStartPeriod;
    PeriodDates dates;
    {
      auto db = morvesk::engine::Database::Open(path, true);
      auto c = db->Connect();
      dates = DatesOf(*c, year, period);
    }
    const double floor = Floor(path);

    // The whole operation, called by name as a client calls it.
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
    auto start = Clock::now();
    const bool ok = obj->CallRef("CalculateInvBal_Ext", args).ToBool();
    const double close = Seconds(start);
    // A failed close is reported and the size still gets its stage timing below.
    if (!ok) {
      std::fprintf(stderr, "close of %lld lines failed: %s\n", static_cast<long long>(lines),
                   err.ToString().c_str());
    }

    // The balance and carry-forward stages again on the copy, with the spreading batches clocked
    // apart.
    auto session = std::make_shared<ClockedSession>(morvesk::ado::OpenEngineSession(copy));
    auto cnn = morvesk::ado::Connection::Create(session);
    morvesk::balance::CloseArgs stage_args;
    stage_args.lYear = year;
    stage_args.lPeriod = period;
    stage_args.start_date = dates.start;
    stage_args.end_date = dates.end;
    stage_args.last_day = morvesk::frame::FormatSqlDate(dates.end, -1).value_or(dates.end);
    morvesk::balance::RunPeriodBalances(*cnn, stage_args);
    morvesk::balance::RunCarryForward(*cnn, stage_args);
    cnn->Close();

    const double spread_rate =
        session->spread_seconds > 0 ? session->spread_batches / session->spread_seconds : 0.0;
    std::printf(
        "%10lld %10.3f %10.3f %8.1f %10.3f %12lld %10.3f %14.0f\n", static_cast<long long>(lines),
        floor, ok ? close : -1.0, floor > 0 && ok ? close / floor : 0.0,
        session->other_seconds + session->spread_seconds,
        static_cast<long long>(session->spread_batches), session->spread_seconds, spread_rate);
    std::fflush(stdout);
    std::filesystem::remove(path);
    std::filesystem::remove(copy);
  }
  return 0;
}
