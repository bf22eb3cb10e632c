// morvesk close: a period close the way a client program runs it. It reads the inventory
// side's current period and options, asks for the period's dates, runs the pre-close checks
// (their findings stop the close unless --force, as a client asks its user) and calls
// CalCurAmount.CalculateInvBal_Ext, all late-bound. Every batch
// the close sends is reported on stderr while it runs; a summary of the rows written per
// balance table and the time taken follows. A failed close is rolled back whole by the
// service's unit of work, so the database is left as it was.
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ado/connection.h"
#include "platform/ado/engine_provider.h"
#include "platform/ado/recordset.h"
#include "platform/automation/com_error.h"
#include "platform/automation/registry.h"
#include "platform/host/unit_of_work.h"
#include "services/morvesk_module.h"
#include "tools/morvesk/cli_args.h"
#include "tools/morvesk/client_periods.h"
#include "tools/morvesk/commands.h"

namespace morvesk::cli {
namespace {

using automation::ComError;
using automation::Variant;
using Clock = std::chrono::steady_clock;

constexpr char kHelp[] =
    "usage: morvesk close --db FILE [--year Y --period P] [--force]\n"
    "\n"
    "Closes an inventory period as a client does: reads the current period and the\n"
    "inventory options, the period's dates, runs the pre-close checks\n"
    "(CheckBillAudit, CheckBillStatus, CheckEndData) and calls\n"
    "CalCurAmount.CalculateInvBal_Ext.\n"
    "\n"
    "  --db FILE      the company database\n"
    "  --year Y       the year of the period to close, which must be the current\n"
    "  --period P     period (periods close in order; another one is refused, exit 2)\n"
    "  --force        close even when the checks report findings\n"
    "\n"
    "The checks' findings (unaudited bills, stock lines the period would leave\n"
    "negative when the options forbid that, closing balances whose amount does not\n"
    "fit their quantity, a check that could not run) are listed\n"
    "and stop the close, as a client asks its user before going on; --force goes on.\n"
    "Progress goes to stderr, the summary to stdout. Exit code 1 when a check stops\n"
    "the close or the close fails; a failed close leaves the database as it was.\n";

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

// What a batch does, in a few words: its first line that is not a session setting, a
// declaration or a comment.
std::string BatchLabel(std::string_view text) {
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string line(text.substr(pos, end - pos));
    pos = end + 1;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    size_t first = line.find_first_not_of(' ');
    if (first == std::string::npos) continue;
    line.erase(0, first);
    std::string folded;
    for (char c : line.substr(0, 14)) folded += static_cast<char>(std::tolower(c));
    if (folded.rfind("set nocount on", 0) == 0 && line.size() <= 15) continue;
    if (folded.rfind("declare", 0) == 0 || folded.rfind("--", 0) == 0) continue;
    if (folded.rfind("set nocount on", 0) == 0) line.erase(0, 15);
    if (line.size() > 72) line = line.substr(0, 69) + "...";
    return line;
  }
  return "(empty batch)";
}

// Reports every batch of the close on stderr. Batches of one shape that follow each other
// (the spreading loops send one per adjustment total) are counted on one line.
class ProgressReporter {
 public:
  explicit ProgressReporter(Clock::time_point start) : start_(start) {}
  ~ProgressReporter() { Flush(); }

  void Batch(std::string_view text, double seconds, bool failed) {
    std::string label = BatchLabel(text);
    if (label == last_label_ && !failed) {
      ++repeats_;
      repeat_seconds_ += seconds;
      return;
    }
    Flush();
    std::fprintf(stderr, "[%7.2fs] %-72s %8.3fs%s\n", Seconds(start_), label.c_str(), seconds,
                 failed ? "  FAILED" : "");
    // The whole text of a failing batch, so that the failure can be run again by hand.
    if (failed) std::cerr << "---- failing batch ----\n" << text << "\n-----------------------\n";
    last_label_ = failed ? std::string() : label;
  }

  void Flush() {
    if (repeats_ > 0) {
      std::fprintf(stderr, "[%7.2fs]   ... %ld more like it                %8.3fs\n",
                   Seconds(start_), static_cast<long>(repeats_), repeat_seconds_);
    }
    repeats_ = 0;
    repeat_seconds_ = 0;
  }

 private:
  Clock::time_point start_;
  std::string last_label_;
  int64_t repeats_ = 0;
  double repeat_seconds_ = 0;
};

// The engine's session with every batch timed and reported.
class ReportingSession : public ado::ProviderSession {
 public:
  ReportingSession(std::unique_ptr<ado::ProviderSession> inner,
                   std::shared_ptr<ProgressReporter> progress)
      : inner_(std::move(inner)), progress_(std::move(progress)) {}

  ado::ProviderResult Execute(std::string_view text) override {
    // MORVESK_CLOSE_TRACE=FILE keeps every batch the close sends, GO-separated, for replay
    // with `morvesk sql -f FILE`.
    if (const char* trace = std::getenv("MORVESK_CLOSE_TRACE")) {
      if (FILE* f = std::fopen(trace, "a")) {
        std::fwrite(text.data(), 1, text.size(), f);
        std::fputs("\r\nGO\r\n", f);
        std::fclose(f);
      }
    }
    const Clock::time_point t0 = Clock::now();
    ado::ProviderResult r = inner_->Execute(text);
    progress_->Batch(text, Seconds(t0), r.failed);
    return r;
  }
  ado::ProviderResult CallProcedure(std::string_view name,
                                    std::vector<ado::ProviderParam>& params) override {
    const Clock::time_point t0 = Clock::now();
    ado::ProviderResult r = inner_->CallProcedure(name, params);
    progress_->Batch("Exec " + std::string(name), Seconds(t0), r.failed);
    return r;
  }
  void BeginTransaction() override { inner_->BeginTransaction(); }
  void Commit() override { inner_->Commit(); }
  void Rollback() override { inner_->Rollback(); }
  bool InTransaction() const override { return inner_->InTransaction(); }
  std::string DataSource() const override { return inner_->DataSource(); }

 private:
  std::unique_ptr<ado::ProviderSession> inner_;
  std::shared_ptr<ProgressReporter> progress_;
};

// While it lives, the sessions that units of work open report their batches.
class ReportingOpener {
 public:
  explicit ReportingOpener(std::shared_ptr<ProgressReporter> progress) {
    host::SetSessionOpener([progress](const host::ConnectionDescription& desc) {
      return std::make_unique<ReportingSession>(ado::OpenEngineSession(desc.data_source),
                                                progress);
    });
  }
  ~ReportingOpener() { host::SetSessionOpener(nullptr); }
  ReportingOpener(const ReportingOpener&) = delete;
  ReportingOpener& operator=(const ReportingOpener&) = delete;
};

// Direct reads of the company database for the summary. Read-only, on a session of its own
// outside any unit of work.
class DirectReader {
 public:
  explicit DirectReader(const std::string& path)
      : cnn_(ado::Connection::Create(ado::OpenEngineSession(path))) {}

  // First column of the first row; Null when there is no row.
  Variant First(const std::string& sql) {
    std::shared_ptr<ado::Recordset> rs = cnn_->Execute(sql);
    Variant v = Variant::Null();
    if (rs->IsOpen() && !rs->Eof()) v = rs->FieldAt(0).Value();
    if (rs->IsOpen()) rs->Close();
    return v;
  }

 private:
  std::shared_ptr<ado::Connection> cnn_;
};

struct Period {
  int32_t year = 0;
  int32_t period = 0;
};

// The inventory side's open period and options, as a client reads them before it offers
// the close.
Period CurrentPeriod(automation::Dispatch& cal, const std::string& cnn) {
  Variant period(int32_t{0}), year(int32_t{0}), audit(int32_t{0}), neg(int32_t{0}), shortnum(false);
  std::vector<Variant> args{Variant(cnn),         Variant::Ref(&period), Variant::Ref(&year),
                            Variant::Ref(&audit), Variant::Ref(&neg),    Variant::Ref(&shortnum)};
  cal.CallRef("GetSystemProfile", args);
  std::fprintf(stderr, "current period %d/%d (audit option %d, negative balance option %d)\n",
               year.ToLong(), period.ToLong(), audit.ToLong(), neg.ToLong());
  return {year.ToLong(), period.ToLong()};
}

struct Dates {
  std::string start;
  std::string end;  // first day after the period
};

Dates PeriodDates(automation::Dispatch& cal, const std::string& cnn, const Period& p) {
  Variant start(""), end("");
  std::vector<Variant> args{Variant(cnn), Variant(p.period), Variant(p.year), Variant::Ref(&start),
                            Variant::Ref(&end)};
  cal.CallRef("GetCurPeriodStartEnd", args);
  return {start.ToString(), end.ToString()};
}

std::shared_ptr<ado::Recordset> AsRecordset(const Variant& v) {
  if (!v.is_object()) return nullptr;
  auto rs = std::dynamic_pointer_cast<ado::Recordset>(v.ToObject());
  return rs && rs->IsOpen() ? rs : nullptr;
}

// Prints the named columns of every row, one line each, indented.
void PrintRows(ado::Recordset& rs, const std::vector<const char*>& columns) {
  if (rs.Eof() && rs.Bof()) return;
  rs.MoveFirst();
  while (!rs.Eof()) {
    std::string line = "   ";
    for (const char* column : columns) {
      line += ' ';
      line += rs.Fields(Variant(column)).Value().ToString();
    }
    std::cerr << line << "\n";
    rs.MoveNext();
  }
}

// The pre-close checks, as a client runs them before asking the user to go on. Returns the
// number of findings: unaudited bills, the status gate's failure (its message, or the
// negative stock lines it lists) and a check that could not run.
int RunChecks(automation::Dispatch& cal, const std::string& cnn, const Period& p, const Dates& d) {
  int findings = 0;
  Variant audit = cal.Call("CheckBillAudit", {Variant(cnn), Variant(p.period), Variant(p.year),
                                              Variant(d.start), Variant(d.end)});
  if (std::shared_ptr<ado::Recordset> rs = AsRecordset(audit)) {
    const int32_t unaudited = rs->RecordCount();
    std::fprintf(stderr, "CheckBillAudit: %d unaudited bill(s) in the period\n", unaudited);
    if (unaudited > 0) {
      ++findings;
      PrintRows(*rs, {"FName_CHS", "FBillNo", "FDate", "FExplanation"});
    }
  } else {
    ++findings;
    std::fprintf(stderr, "CheckBillAudit: the check failed\n");
  }

  Variant lines, err("");
  std::vector<Variant> args{Variant(cnn),     Variant(p.period), Variant(p.year),
                            Variant(d.start), Variant(d.end),    Variant::Ref(&lines),
                            Variant::Ref(&err)};
  if (cal.CallRef("CheckBillStatus", args).ToBool()) {
    std::fprintf(stderr, "CheckBillStatus: passed\n");
    return findings;
  }
  ++findings;
  std::shared_ptr<ado::Recordset> negative = AsRecordset(lines);
  if (err.ToString().empty() && negative) {
    std::fprintf(stderr, "CheckBillStatus: %d stock line(s) would close negative\n",
                 negative->RecordCount());
    PrintRows(*negative, {"FItemNumber", "FItemName", "FStockName", "FBatchNo", "FAuxName", "FQty"});
  } else {
    std::cerr << "CheckBillStatus: " << err.ToString() << "\n";
  }
  return findings;
}

void PrintSummary(const std::string& path, const Period& closed, double seconds) {
  DirectReader db(path);
  Variant year = db.First(
      "select FValue from t_SystemProFile where FCategory='IC' and FKey='CurrentYear'");
  Variant period = db.First(
      "select FValue from t_SystemProFile where FCategory='IC' and FKey='CurrentPeriod'");
  const std::string next_year = year.ToString(), next_period = period.ToString();
  std::cout << "closed period " << closed.year << "/" << closed.period << "; current period now "
            << next_year << "/" << next_period << "\n";
  std::cout << "table                rows of " << closed.year << "/" << closed.period
            << "   openings of " << next_year << "/" << next_period << "\n";
  for (const char* table : {"t_CC_Bal", "t_CC_Stock", "t_CC_Stock_BatchNo"}) {
    auto count = [&](const std::string& y, const std::string& p) {
      return db.First(std::string("select count(*) from ") + table + " where FYear=" + y +
                      " and FPeriod=" + p)
          .ToString();
    };
    char line[128];
    std::snprintf(line, sizeof line, "%-20s %12s   %14s\n", table,
                  count(std::to_string(closed.year), std::to_string(closed.period)).c_str(),
                  count(next_year, next_period).c_str());
    std::cout << line;
  }
  char took[64];
  std::snprintf(took, sizeof took, "time taken: %.2f s\n", seconds);
  std::cout << took;
}

}  // namespace

int RunClose(int argc, char** argv, int first) {
  try {
    Args args(argc, argv, first, ArgSpec{{"--db", "--year", "--period"}, {"--force"}, false});
    if (args.help()) {
      std::cout << kHelp;
      return kExitOk;
    }
    const std::string path = args.Require("--db");
    if (args.Has("--year") != args.Has("--period")) {
      throw UsageError("--year and --period go together");
    }
    const std::string cnn = CompanyDescription(path);
    const Clock::time_point start = Clock::now();

    services::RegisterMorveskClasses();
    std::shared_ptr<automation::Dispatch> cal = automation::CreateObject("Morvesk.CalCurAmount");

    const Period p = CurrentPeriod(*cal, cnn);
    // Periods close in order: closing a later one would skip the current period's balances
    // and carry nothing into the period closed.
    if (args.Has("--year") &&
        (args.GetInt("--year", 0) != p.year || args.GetInt("--period", 0) != p.period)) {
      throw UsageError("only the current period " + std::to_string(p.year) + "/" +
                       std::to_string(p.period) + " can be closed, not " +
                       std::to_string(args.GetInt("--year", 0)) + "/" +
                       std::to_string(args.GetInt("--period", 0)));
    }
    const Dates d = PeriodDates(*cal, cnn, p);
    std::fprintf(stderr, "period %d/%d runs from %s to %s (exclusive)\n", p.year, p.period,
                 d.start.c_str(), d.end.c_str());
    if (const int findings = RunChecks(*cal, cnn, p, d) +
                             RunEndDataCheck(*cal, cnn, {p.year, p.period}, d.start, d.end);
        findings > 0) {
      if (!args.Has("--force")) {
        std::cerr << "morvesk close: the checks reported " << findings
                  << " finding(s); the period was not closed (--force closes anyway)\n";
        return kExitFailed;
      }
      std::cerr << "morvesk close: closing despite the checks' findings (--force)\n";
    }

    auto progress = std::make_shared<ProgressReporter>(start);
    Variant err("");
    std::vector<Variant> call{Variant(cnn),     Variant(p.period), Variant(p.year),
                              Variant(d.start), Variant(d.end),    Variant(int32_t{0}),
                              Variant(""),      Variant::Ref(&err)};
    bool ok = false;
    {
      ReportingOpener reporting(progress);
      ok = cal->CallRef("CalculateInvBal_Ext", call).ToBool();
    }
    progress->Flush();
    if (!ok) {
      std::cerr << "morvesk close: " << err.ToString() << "\n"
                << "the period was not closed; the database is unchanged\n";
      return kExitFailed;
    }
    PrintSummary(path, p, Seconds(start));
    return kExitOk;
  } catch (const UsageError& e) {
    std::cerr << "morvesk close: " << e.what() << "\n(see 'morvesk close --help')\n";
    return kExitUsage;
  } catch (const ComError& e) {
    std::cerr << "morvesk close: " << e.description << "\n";
    return kExitFailed;
  }
}

}  // namespace morvesk::cli
