// What the period commands (close, reopen, periods) read the way a client program does: the
// inventory side's current period (CalCurAmount.GetSystemProfile), the period list
// (CalCurAmount.GetPeriodsData, its grid text split into rows), the period-end data check
// (CalCurAmount.CheckEndData), all late-bound; and a few direct reads of the company database for
// what no operation hands out (profile values, row counts).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ado/connection.h"
#include "platform/automation/dispatch.h"
#include "platform/automation/variant.h"

namespace morvesk::cli {

struct YearPeriod {
  int32_t year = 0;
  int32_t period = 0;
  bool operator==(const YearPeriod&) const = default;
  auto operator<=>(const YearPeriod&) const = default;
};

std::string ToText(const YearPeriod& p);  // "2025/3"

// The inventory side's open period, as GetSystemProfile returns it.
YearPeriod InventoryPeriod(automation::Dispatch& cal, const std::string& cnn);

struct PeriodRow {
  std::string number;
  std::string first_day;
  std::string last_day;
  std::string mark;  // 是 closed, 否 open, / before the books start
};
struct PeriodList {
  std::vector<PeriodRow> rows;
  int32_t count = 0;        // nRows: the periods of a year
  int32_t current_row = 0;  // nColorRow: 0 when the current period lies outside the year
};

// GetPeriodsData's grid: rows split at CR, fields at tab.
PeriodList ReadPeriods(automation::Dispatch& cal, const std::string& cnn);

// Runs CheckEndData on the period as the close's checks do, per stock unless the company costs an
// item's stocks together (IC CalculateType 0). Returns the check's message, empty when it passed.
std::string EndDataFinding(automation::Dispatch& cal, const std::string& cnn, const YearPeriod& p,
                           const std::string& start, const std::string& end);

// Read-only access to the company database outside any unit of work.
class CompanyReader {
 public:
  // `cnn` is a connection description ("Data Source=FILE").
  explicit CompanyReader(const std::string& cnn);

  // First column of the first row; Null when there is no row.
  automation::Variant First(const std::string& sql);
  // A system profile value as a whole number; nullopt when missing or not a number.
  std::optional<int32_t> ProfileNumber(const std::string& category, const std::string& key);
  // Rows of a table; nullopt when the company has no such table.
  std::optional<int64_t> Count(const std::string& table);

 private:
  std::shared_ptr<ado::Connection> cnn_;
};

}  // namespace morvesk::cli
