// morvesk close: a period close the way a client program runs it. It holds the company for the
// whole road, so that no second close, return or maintenance job moves the period under it;
// then it reads the inventory side's current period and options, asks for the period's dates,
// runs the pre-close checks (their findings stop the close unless --force, as a client asks its
// user) and calls CalCurAmount.CalculateInvBal_Ext, all late-bound. The close's steps are
// reported on stderr while it runs; a summary of the rows written per balance table, and the
// time of each step, follows. A failed close is rolled back whole by the service's unit of
// work, so the database is left as it was.
#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/automation/com_error.h"
#include "platform/automation/registry.h"
#include "services/morvesk_module.h"
#include "tools/morvesk/cli_args.h"
#include "tools/morvesk/client_periods.h"
#include "tools/morvesk/close_checks.h"
#include "tools/morvesk/close_progress.h"
#include "tools/morvesk/commands.h"
#include "tools/morvesk/company_hold.h"

namespace morvesk::cli {
namespace {

using automation::ComError;
using automation::Variant;

constexpr char kHelp[] =
    "usage: morvesk close --db FILE [--year Y --period P] [--force] [--wait] [--verbose]\n"
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
    "  --wait         when another close, reopen or maintain runs on the company,\n"
    "                 wait for it to end instead of giving up\n"
    "  --verbose      also show every batch the close sends\n"
    "\n"
    "The checks' findings (unaudited bills, stock lines the period would leave\n"
    "negative when the options forbid that, closing balances whose amount does not\n"
    "fit their quantity, a check that could not run) are listed\n"
    "and stop the close, as a client asks its user before going on; --force goes on.\n"
    "\n"
    "One close, reopen or maintain works on a company at a time: the others give up\n"
    "at once (exit 1) or, with --wait, wait their turn. A close that waited closes\n"
    "the period current when it started; if another close moved it meanwhile, it\n"
    "closes nothing unless --year and --period name the new current period.\n"
    "\n"
    "Progress goes to stderr (the close's steps with the time and the share of steps\n"
    "done), the summary to stdout. Exit code 1 when a check stops the close or the\n"
    "close fails; a failed close leaves the database as it was.\n";

constexpr char kUnchanged[] = "the period was not closed; the database is unchanged\n";

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

// The inventory side's open period and options, as a client reads them before it offers
// the close.
YearPeriod CurrentPeriod(automation::Dispatch& cal, const std::string& cnn) {
  Variant period(int32_t{0}), year(int32_t{0}), audit(int32_t{0}), neg(int32_t{0}), shortnum(false);
  std::vector<Variant> args{Variant(cnn),         Variant::Ref(&period), Variant::Ref(&year),
                            Variant::Ref(&audit), Variant::Ref(&neg),    Variant::Ref(&shortnum)};
  cal.CallRef("GetSystemProfile", args);
  std::fprintf(stderr, "current period %d/%d (audit option %d, negative balance option %d)\n",
               year.ToLong(), period.ToLong(), audit.ToLong(), neg.ToLong());
  return {year.ToLong(), period.ToLong()};
}

// The current period as the file says it now, read outside any unit of work: what a close
// that is about to wait for another was started on.
YearPeriod PeriodOnFile(const std::string& cnn) {
  CompanyReader db(cnn);
  return {db.ProfileNumber("IC", "CurrentYear").value_or(0),
          db.ProfileNumber("IC", "CurrentPeriod").value_or(0)};
}

struct Dates {
  std::string start;
  std::string end;  // first day after the period
};

Dates PeriodDates(automation::Dispatch& cal, const std::string& cnn, const YearPeriod& p) {
  Variant start(""), end("");
  std::vector<Variant> args{Variant(cnn), Variant(p.period), Variant(p.year), Variant::Ref(&start),
                            Variant::Ref(&end)};
  cal.CallRef("GetCurPeriodStartEnd", args);
  return {start.ToString(), end.ToString()};
}

void PrintSummary(const std::string& cnn, const YearPeriod& closed, const CloseProgress& progress,
                  double seconds) {
  CompanyReader db(cnn);
  const std::string next_year =
      db.First("select FValue from t_SystemProFile where FCategory='IC' and FKey='CurrentYear'")
          .ToString();
  const std::string next_period =
      db.First("select FValue from t_SystemProFile where FCategory='IC' and FKey='CurrentPeriod'")
          .ToString();
  std::cout << "closed period " << ToText(closed) << "; current period now " << next_year << "/"
            << next_period << "\n";
  Table rows;
  rows.columns = {"table", "rows of " + ToText(closed),
                  "openings of " + next_year + "/" + next_period};
  for (const char* table : {"t_CC_Bal", "t_CC_Stock", "t_CC_Stock_BatchNo"}) {
    auto count = [&](const std::string& y, const std::string& p) {
      return Cell::Number(db.First(std::string("select count(*) from ") + table +
                                   " where FYear=" + y + " and FPeriod=" + p)
                              .ToString());
    };
    rows.rows.push_back({Cell::Text(table),
                         count(std::to_string(closed.year), std::to_string(closed.period)),
                         count(next_year, next_period)});
  }
  PrintTable(std::cout, rows);
  std::cout << "\n";
  PrintTable(std::cout, progress.StepTimes());
  char took[64];
  std::snprintf(took, sizeof took, "time taken: %.2f s\n", seconds);
  std::cout << took;
}

}  // namespace

int RunClose(int argc, char** argv, int first) {
  try {
    Args args(argc, argv, first,
              ArgSpec{{"--db", "--year", "--period"}, {"--force", "--wait", "--verbose"}, false});
    if (args.help()) {
      std::cout << kHelp;
      return kExitOk;
    }
    const std::string path = args.Require("--db");
    const bool named = args.Has("--year");
    if (named != args.Has("--period")) throw UsageError("--year and --period go together");
    const std::string cnn = CompanyDescription(path);
    const Clock::time_point start = Clock::now();

    // The period a close told to wait was started on, for it cannot know which one the close
    // it waits for will leave current.
    std::optional<YearPeriod> started_on;
    if (args.Has("--wait") && !named) started_on = PeriodOnFile(cnn);
    bool waited = false;
    std::unique_ptr<CompanyHold> hold;
    try {
      hold = CompanyHold::Take(path, "close", args.Has("--wait"), &waited);
    } catch (const CompanyBusy& e) {
      std::cerr << "morvesk close: " << e.what() << "; " << kUnchanged
                << "(--wait waits for it to end)\n";
      return kExitFailed;
    }

    services::RegisterMorveskClasses();
    std::shared_ptr<automation::Dispatch> cal = automation::CreateObject("Morvesk.CalCurAmount");

    // Read again now that the company is held: a close that ran meanwhile moved it.
    const YearPeriod p = CurrentPeriod(*cal, cnn);
    // Periods close in order: closing a later one would skip the current period's balances
    // and carry nothing into the period closed.
    if (named && (args.GetInt("--year", 0) != p.year || args.GetInt("--period", 0) != p.period)) {
      throw UsageError("only the current period " + ToText(p) + " can be closed, not " +
                       std::to_string(args.GetInt("--year", 0)) + "/" +
                       std::to_string(args.GetInt("--period", 0)));
    }
    if (waited && started_on && *started_on != p) {
      std::cerr << "morvesk close: while this close waited, another closed " << ToText(*started_on)
                << "; the current period is now " << ToText(p) << "\n"
                << kUnchanged << "(--year " << p.year << " --period " << p.period
                << " closes it)\n";
      return kExitFailed;
    }
    const Dates d = PeriodDates(*cal, cnn, p);
    std::fprintf(stderr, "period %s runs from %s to %s (exclusive)\n", ToText(p).c_str(),
                 d.start.c_str(), d.end.c_str());

    const CheckReport checks = RunCloseChecks(*cal, cnn, p, d.start, d.end);
    PrintCheckReport(std::cerr, checks);
    if (const int64_t findings = checks.findings(); findings > 0) {
      if (!args.Has("--force")) {
        std::cerr << "morvesk close: the checks found " << findings << " finding(s); " << kUnchanged
                  << "(--force closes anyway)\n";
        return kExitFailed;
      }
      std::cerr << "morvesk close: closing despite the checks' " << findings
                << " finding(s) (--force)\n";
    }

    auto progress = std::make_shared<CloseProgress>(start, args.Has("--verbose"));
    Variant err("");
    std::vector<Variant> call{Variant(cnn),     Variant(p.period), Variant(p.year),
                              Variant(d.start), Variant(d.end),    Variant(int32_t{0}),
                              Variant(""),      Variant::Ref(&err)};
    bool ok = false;
    {
      CloseProgressScope reporting(progress);
      try {
        ok = cal->CallRef("CalculateInvBal_Ext", call).ToBool();
      } catch (const ComError& e) {
        // Raised past the operation's own trap: the commit itself failed (a full disk, a lost
        // file), and the unit of work discarded the transaction.
        err = Variant(e.description);
      }
    }
    progress->Finish(ok);
    if (!ok) {
      std::cerr << "morvesk close: " << err.ToString() << "\n" << kUnchanged;
      return kExitFailed;
    }
    try {
      PrintSummary(cnn, p, *progress, Seconds(start));
    } catch (const ComError& e) {
      std::cerr << "morvesk close: the period " << ToText(p)
                << " was closed, but its summary could not be read: " << e.description << "\n";
      return kExitFailed;
    }
    return kExitOk;
  } catch (const UsageError& e) {
    std::cerr << "morvesk close: " << e.what() << "\n(see 'morvesk close --help')\n";
    return kExitUsage;
  } catch (const ComError& e) {
    // Everything before the close's own unit of work only reads.
    std::cerr << "morvesk close: " << e.description << "\n" << kUnchanged;
    return kExitFailed;
  }
}

}  // namespace morvesk::cli
