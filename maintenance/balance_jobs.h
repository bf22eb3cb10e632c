// CalCurAmount's period balance jobs: clearing the current period's figures of
// lot-by-lot items, and the two refreshes the company database does by
// procedure (partner current accounts, settlement account balances). All run in
// the shared job frame (job_frame.h).
#pragma once

#include <cstdint>
#include <string>

#include "frame/service_frame.h"
#include "platform/automation/variant.h"

namespace morvesk::maintenance {

// The T_CC_Bal rows of the inventory side's current period (IC CurrentYear and
// CurrentPeriod) for items with FTrack 78 keep their openings and lose their
// receipts, issues and closings; no row is deleted. Errors are raised under
// "UpdateStock". Result 0.
int32_t DeleteBal78(frame::ServiceFrame& self, const std::string& sDsn);

// "Exec sp_VerifyBalance". Errors are raised under "UpdateStock". Result Empty.
automation::Variant UpdateComeGoBalance(frame::ServiceFrame& self, const std::string& sDsn);

// "exec dbo.pr_GetSettleAcctBal year,period". Its trap does not report: a
// failure makes the abort call and returns normally, so the caller cannot tell
// failure from success (the host's transaction still rolls the call back on the
// abort vote).
void UpdateSettleAcctBal(frame::ServiceFrame& self, const std::string& sDsn, int32_t CurrentYear,
                         int32_t CurrentPeriod);

}  // namespace morvesk::maintenance
