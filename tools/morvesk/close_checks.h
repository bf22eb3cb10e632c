// The checks a client runs before it offers the period close (CheckBillAudit, CheckBillStatus,
// CheckEndData, late-bound), gathered as findings: one line per check with the number of things
// it found, and the rows behind them (the unaudited bills, the stock lines the period would leave
// negative) as tables with a header. The number of findings is what the tables list, plus one
// for each check that failed with only a message.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "platform/automation/dispatch.h"
#include "tools/morvesk/client_periods.h"
#include "tools/morvesk/result_format.h"

namespace morvesk::cli {

struct CheckOutcome {
  std::string check;  // "CheckBillAudit"
  int64_t findings = 0;
  std::string result;  // "passed", "3 unaudited bill(s)", or the check's message
};

struct CheckReport {
  std::vector<CheckOutcome> checks;
  struct Detail {
    std::string title;  // "unaudited bills"
    Table rows;
  };
  std::vector<Detail> details;

  int64_t findings() const;
};

CheckReport RunCloseChecks(automation::Dispatch& cal, const std::string& cnn, const YearPeriod& p,
                           const std::string& start, const std::string& end);

// The overview table, then each detail under its title.
void PrintCheckReport(std::ostream& out, const CheckReport& report);

}  // namespace morvesk::cli
