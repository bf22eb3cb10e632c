// morvesk periods: the period list of the inventory side's current year, as a client shows it.
// CalCurAmount.GetPeriodsData hands out a grid text (rows joined by bare CR, fields by tab) meant
// for pasting into a grid control; printed raw, its rows overwrite each other on a terminal, so it
// is split and shown as an aligned table.
#include <iostream>
#include <memory>
#include <string>

#include "platform/automation/com_error.h"
#include "platform/automation/registry.h"
#include "services/morvesk_module.h"
#include "tools/morvesk/cli_args.h"
#include "tools/morvesk/client_periods.h"
#include "tools/morvesk/commands.h"
#include "tools/morvesk/result_format.h"

namespace morvesk::cli {
namespace {

constexpr char kHelp[] =
    "usage: morvesk periods --db FILE\n"
    "\n"
    "Lists the periods of the inventory side's current year as\n"
    "CalCurAmount.GetPeriodsData gives them: number, first day, last day and state\n"
    "(是 closed, 否 open, / before the books were started). The current period is\n"
    "marked with '*'.\n";

}  // namespace

int RunPeriods(int argc, char** argv, int first) {
  try {
    Args args(argc, argv, first, ArgSpec{{"--db"}, {}, false});
    if (args.help()) {
      std::cout << kHelp;
      return kExitOk;
    }
    const std::string cnn = CompanyDescription(args.Require("--db"));
    services::RegisterMorveskClasses();
    std::shared_ptr<automation::Dispatch> cal = automation::CreateObject("Morvesk.CalCurAmount");
    const YearPeriod current = InventoryPeriod(*cal, cnn);
    const PeriodList list = ReadPeriods(*cal, cnn);

    std::cout << "inventory year " << current.year << ", " << list.count
              << " periods, current period " << ToText(current) << "\n";
    Table table;
    table.columns = {" ", "period", "first day", "last day", "closed"};
    for (size_t i = 0; i < list.rows.size(); ++i) {
      const PeriodRow& row = list.rows[i];
      const bool marked = list.current_row == static_cast<int32_t>(i + 1);
      table.rows.push_back({Cell::Text(marked ? "*" : ""), Cell::Number(row.number),
                            Cell::Text(row.first_day), Cell::Text(row.last_day),
                            Cell::Text(row.mark)});
    }
    PrintTable(std::cout, table);
    return kExitOk;
  } catch (const UsageError& e) {
    std::cerr << "morvesk periods: " << e.what() << "\n(see 'morvesk periods --help')\n";
    return kExitUsage;
  } catch (const automation::ComError& e) {
    std::cerr << "morvesk periods: " << e.description << "\n";
    return kExitFailed;
  }
}

}  // namespace morvesk::cli
