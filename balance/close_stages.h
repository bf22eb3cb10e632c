// The stages of the period close (CalCurAmount.CalculateInvBal_Ext) that run between the
// driver's shelf-life pre-step and its clean-up batch. The driver (calculate_inv_bal_ext.cpp)
// calls them in order on the unit of work's connection; each throws ComError (or lets the
// data-access layer's ComError through) on failure, which the driver's trap turns into
// sErrInfo, the abort call and False.
#pragma once

#include <cstdint>
#include <string>

namespace morvesk::ado {
class Connection;
}

namespace morvesk::balance {

// The driver's eight arguments as received, plus the dates the batches splice in.
struct CloseArgs {
  std::string sCnn;
  int32_t lPeriod = 0;
  int32_t lYear = 0;
  std::string sStartDate;  // caller's text, unchanged (handed on to the batch-tracked stage)
  std::string sEndDate;
  int32_t lCalMethod = 0;
  std::string sFilter;

  // Formatted "yyyy-mm-dd", without quotes: the window is FDate >= start_date And FDate < end_date.
  std::string start_date;
  std::string end_date;  // first day after the period
  std::string last_day;  // end_date less one day: the period's last day (stock-in date of
                         // consolidated lots)
};

// Rebuilds the closed period's t_CC_Bal and t_CC_Stock rows (batches 2 to 8, with the two
// price-adjustment spreading loops). Leaves #TmpBal_1 existing and empty for RunCarryForward.
void RunPeriodBalances(ado::Connection& cnn, const CloseArgs& args);

// Reads the period count, writes the next period into the system profile, carries t_CC_Bal
// forward with lot consolidation and renumbering, carries t_CC_Stock forward. Raises
// ComError(-1, ..., "取最大期间出错！") when the period count is missing or 0, before writing.
void RunCarryForward(ado::Connection& cnn, const CloseArgs& args);

}  // namespace morvesk::balance
