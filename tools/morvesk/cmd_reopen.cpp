// morvesk reopen: the return of the inventory ledger to an earlier, closed period, the way a client
// runs it: it reads the current period, asks CalCurAmount.CheckReturnData whether the return is
// allowed, then calls CalCurAmount.ReturnDataProcess, all late-bound, and prints the rows of each
// table the return touches before and after. ReturnDataProcess trusts its periods, so the target is
// checked here: a period out of range, one that is not closed yet, or one before the inventory
// start-up period is refused as a usage mistake before anything runs.
#include <charconv>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/automation/com_error.h"
#include "platform/automation/registry.h"
#include "platform/plexo/dictionary.h"
#include "services/morvesk_module.h"
#include "tools/morvesk/cli_args.h"
#include "tools/morvesk/client_periods.h"
#include "tools/morvesk/commands.h"
#include "tools/morvesk/company_hold.h"
#include "tools/morvesk/result_format.h"

namespace morvesk::cli {
namespace {

using automation::ComError;
using automation::Variant;

constexpr char kHelp[] =
    "usage: morvesk reopen --db FILE [--to YEAR/PERIOD] [--drop-vouchers] [--wait]\n"
    "\n"
    "Returns the inventory ledger to an earlier, closed period, which becomes the\n"
    "current period again: asks CalCurAmount.CheckReturnData, then calls\n"
    "CalCurAmount.ReturnDataProcess. The current period's balances, the target\n"
    "period's closing figures and the price adjustments its costing generated are\n"
    "removed; the quick balances are refilled from the target's openings.\n"
    "\n"
    "  --db FILE          the company database\n"
    "  --to YEAR/PERIOD   the period to return to (default: the one before the\n"
    "                     current period)\n"
    "  --drop-vouchers    also remove the target period's cost vouchers\n"
    "  --wait             when another close, reopen or maintain runs on the\n"
    "                     company, wait for it to end instead of giving up\n"
    "\n"
    "Prints the rows of each table before and after. Exit code 2 when the target is\n"
    "not a closed period of the inventory ledger, 1 when the check refuses the\n"
    "return or the return fails (the database is then left as it was).\n";

// The tables a return writes, in the order it writes them.
constexpr const char* kTouched[] = {"t_CC_Bal",      "T_CC_StockBill", "T_CC_StockBillEntry",
                                    "ICSpeedBal",    "t_CC_Stock",     "t_CC_Stock_BatchNo",
                                    "TempWriteBack", "CalculateLog",   "t_SettleAcctBalance"};

int32_t WholeNumber(const std::string& text, const std::string& what) {
  int32_t n = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) {
    throw UsageError(what + " must be a whole number, not '" + text + "'");
  }
  return n;
}

YearPeriod ParseTarget(const std::string& text) {
  const size_t slash = text.find('/');
  if (slash == std::string::npos) throw UsageError("--to takes YEAR/PERIOD, not '" + text + "'");
  return {WholeNumber(text.substr(0, slash), "the year of --to"),
          WholeNumber(text.substr(slash + 1), "the period of --to")};
}

std::vector<std::optional<int64_t>> CountRows(const std::string& cnn) {
  CompanyReader db(cnn);
  std::vector<std::optional<int64_t>> counts;
  for (const char* table : kTouched) counts.push_back(db.Count(table));
  return counts;
}

Cell CountCell(const std::optional<int64_t>& n) {
  return n ? Cell::Number(std::to_string(*n)) : Cell::Text("(no table)");
}

}  // namespace

int RunReopen(int argc, char** argv, int first) {
  try {
    Args args(argc, argv, first, ArgSpec{{"--db", "--to"}, {"--drop-vouchers", "--wait"}, false});
    if (args.help()) {
      std::cout << kHelp;
      return kExitOk;
    }
    const std::string cnn = CompanyDescription(args.Require("--db"));
    // Held from the first read to the report: the current period read below is the one the
    // return starts from, whatever other commands wanted to do meanwhile.
    std::unique_ptr<CompanyHold> hold;
    try {
      hold = CompanyHold::Take(args.Require("--db"), "reopen", args.Has("--wait"));
    } catch (const CompanyBusy& e) {
      std::cerr << "morvesk reopen: " << e.what()
                << "; nothing was changed (--wait waits for it to end)\n";
      return kExitFailed;
    }
    services::RegisterMorveskClasses();
    std::shared_ptr<automation::Dispatch> cal = automation::CreateObject("Morvesk.CalCurAmount");
    const YearPeriod current = InventoryPeriod(*cal, cnn);

    std::optional<int32_t> period_count, start_year, start_period;
    {
      CompanyReader db(cnn);
      period_count = db.ProfileNumber("GL", "PeriodCount");
      start_year = db.ProfileNumber("IC", "StartYear");
      start_period = db.ProfileNumber("IC", "StartPeriod");
    }
    if (!period_count || *period_count < 1) {
      throw ComError(automation::kErrFail, "morvesk", "the system profile holds no GL PeriodCount");
    }
    YearPeriod target = current.period > 1 ? YearPeriod{current.year, current.period - 1}
                                           : YearPeriod{current.year - 1, *period_count};
    if (auto to = args.Get("--to")) target = ParseTarget(*to);
    if (target.year < 1900 || target.year > 9999) {
      throw UsageError("year " + std::to_string(target.year) + " is out of range");
    }
    if (target.period < 1 || target.period > *period_count) {
      throw UsageError("period " + std::to_string(target.period) + " is out of range 1.." +
                       std::to_string(*period_count));
    }
    if (!(target < current)) {
      throw UsageError(ToText(target) +
                       " is not closed: the inventory ledger's current period is " +
                       ToText(current));
    }
    if (start_year && start_period && target < YearPeriod{*start_year, *start_period}) {
      throw UsageError(ToText(target) + " lies before the inventory start-up period " +
                       ToText({*start_year, *start_period}) + " and was never closed");
    }

    auto opt = std::make_shared<plexo::Dictionary>();
    opt->Set("CurrentYear", Variant(current.year));
    opt->Set("CurrentPeriod", Variant(current.period));
    try {
      if (!cal->Call("CheckReturnData", {Variant(cnn), Variant(opt)}).ToBool()) {
        std::cerr
            << "morvesk reopen: CheckReturnData refused: the inventory period " << ToText(current)
            << " does not lie before the general ledger's current period; nothing was changed\n";
        return kExitFailed;
      }
    } catch (const ComError& e) {
      std::cerr << "morvesk reopen: CheckReturnData: " << e.description
                << "\nnothing was changed\n";
      return kExitFailed;
    }

    const std::vector<std::optional<int64_t>> before = CountRows(cnn);
    Variant err("");
    std::vector<Variant> call{Variant(cnn),           Variant(current.period),
                              Variant(current.year),  Variant(target.year),
                              Variant(target.period), Variant(args.Has("--drop-vouchers")),
                              Variant::Ref(&err)};
    if (!cal->CallRef("ReturnDataProcess", call).ToBool()) {
      std::cerr << "morvesk reopen: " << err.ToString()
                << "\nthe period was not reopened; the database is unchanged\n";
      return kExitFailed;
    }
    const std::vector<std::optional<int64_t>> after = CountRows(cnn);

    std::cout << "returned from " << ToText(current) << " to " << ToText(target)
              << "; current period now " << ToText(InventoryPeriod(*cal, cnn)) << "\n";
    Table table;
    table.columns = {"table", "rows before", "rows after", "removed", "added"};
    for (size_t i = 0; i < std::size(kTouched); ++i) {
      const int64_t change = after[i] && before[i] ? *after[i] - *before[i] : 0;
      table.rows.push_back({Cell::Text(kTouched[i]), CountCell(before[i]), CountCell(after[i]),
                            Cell::Number(std::to_string(change < 0 ? -change : 0)),
                            Cell::Number(std::to_string(change > 0 ? change : 0))});
    }
    PrintTable(std::cout, table);
    return kExitOk;
  } catch (const UsageError& e) {
    std::cerr << "morvesk reopen: " << e.what() << "\n(see 'morvesk reopen --help')\n";
    return kExitUsage;
  } catch (const ComError& e) {
    std::cerr << "morvesk reopen: " << e.description << "\n";
    return kExitFailed;
  }
}

}  // namespace morvesk::cli
