// The two gates a client runs around a period close, both read-only:
//  - CalCurAmount.CheckEndData rebuilds every closing balance of the period (opening plus
//    audited receipts minus audited issues) and fails when one has an inconsistent amount:
//    a quantity whose amount is zero or of the other sign, or an amount with no quantity.
//  - CalCurAmount.CheckReturnData guards the return to an earlier period: it compares the
//    inventory side's current period (handed in by the client) with the general ledger's and
//    refuses outright when the inventory side is still in its start-up period.
// Dates are spliced into the SQL as received, as GetCurPeriodStartEnd gives them: the period's
// first day and the first day after it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "frame/service_frame.h"
#include "platform/plexo/dictionary.h"

namespace morvesk::closing {

// Raised inside CheckEndData when a closing balance is inconsistent; the source is the pre-close
// checks' caption.
inline constexpr char kAbnormalEndBalanceMessage[] =
    "本期期末存在成本异常情况：有数量,单价<=0或无数量有金额!";
// Raised by CheckReturnData when the inventory side is in its start-up period.
inline constexpr char kAlreadyStartPeriodMessage[] = "当前期间已是启用期间。";

// True when no closing balance of [sStartDate, sEndDate) is inconsistent. lCalType 0 checks per
// item and batch over all stocks, any other value per item, stock and batch. Stocks of type 502 and
// lot-by-lot items (FTrack 78) are left out; only batch-costed items (FTrack 80) keep their batches
// apart. False with strErr = the reason on a finding or any error.
bool CheckEndData(frame::ServiceFrame& self, const std::string& sCnn, int32_t lPeriod,
                  int32_t lYear, const std::string& sStartDate, const std::string& sEndDate,
                  std::string& strErr, int32_t lCalType);

// opt holds the inventory side's current period under "CurrentYear" and "CurrentPeriod". True when
// that period lies before the general ledger's current period: an earlier year, or else (the year
// is not compared again) an earlier period number. Raises, after the abort call,
// "当前期间已是启用期间。" when it is the inventory start-up period, and any other failure (a
// missing option or profile value, a database error) with its own number, source and description.
bool CheckReturnData(frame::ServiceFrame& self, const std::string& sDsn,
                     std::shared_ptr<plexo::Dictionary> opt);

}  // namespace morvesk::closing
