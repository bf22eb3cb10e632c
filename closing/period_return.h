// CalCurAmount.ReturnDataProcess: the return of the inventory ledger from its current period to an
// earlier, closed one, which becomes current again. What the close of the target period produced is
// thrown away: the current period's balance rows, the target period's issue and closing figures,
// the price adjustments the costing generated in it (bill type 1) and, on request, its cost
// vouchers; the quick balances are refilled from the target's openings and the system profile is
// moved back. The caller's periods are trusted as given (CheckReturnData is the client's gate).
//
// On any failure up to the profile update the abort call makes the host's unit of work roll the
// whole return back. The settlement balances of the target period are deleted after the completion
// call with errors ignored, so a company without that table still returns True. Only a failure
// there that makes the database roll the transaction back (a failed conversion) takes the whole
// return back with it, though the result is True: the host cannot complete a transaction the
// database has ended.
#pragma once

#include <cstdint>
#include <string>

#include "frame/service_frame.h"

namespace morvesk::closing {

// lYear/lPeriod: the current period, whose rows are removed; targetYear/targetPeriod: the period to
// return to. bDropVch runs the database's sp_DropCostVCH for the target period first. True when
// every step ran; False with sErrInfo = the first error's description.
bool ReturnDataProcess(frame::ServiceFrame& self, const std::string& sCnn, int32_t lPeriod,
                       int32_t lYear, int32_t targetYear, int32_t targetPeriod, bool bDropVch,
                       std::string& sErrInfo);

}  // namespace morvesk::closing
