// CalCurAmount.CalculateInvBal_Ext_BatchNo: the batch-level balances of one period in
// t_CC_Stock_BatchNo. Builds the period's batch rows from the stored openings and the
// audited receipts and issues of the date window, spreads the period's price adjustments
// over them, writes them back, reconciles the batch rows of items not costed by batch with
// the closing amounts of t_CC_Stock, and carries the closing figures into the period the
// system profile names as current.
//
// No trap and no vote: any failure is raised as ComError and reaches the caller (within the
// period close, the trap of CalculateInvBal_Ext, whose abort rolls the whole close back).
// Called on its own, commands already run stay as far as the host's unit of work keeps them.
// lCalMethod and sFilter are accepted and not used; sErrInfo is never written.
#pragma once

#include <cstdint>
#include <string>

#include "frame/service_frame.h"

namespace morvesk::balance {

bool CalculateInvBal_Ext_BatchNo(frame::ServiceFrame& self, const std::string& sCnn,
                                 int32_t lPeriod, int32_t lYear, const std::string& sStartDate,
                                 const std::string& sEndDate, int32_t lCalMethod,
                                 const std::string& sFilter, std::string& sErrInfo);

}  // namespace morvesk::balance
