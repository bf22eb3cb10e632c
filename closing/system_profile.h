// CalCurAmount.GetSystemProfile: the inventory options a client reads before it offers the
// period-end functions. Read-only, no trap: the completion call comes first and any error
// reaches the caller as raised.
#pragma once

#include <cstdint>
#include <string>

#include "frame/service_frame.h"

namespace morvesk::closing {

// lPeriod and lYear are the inventory side's current period and year (their rows must
// exist); lNegBalance, lAuditChoice and bIsShortNumber keep their values when their row is
// missing. A Null value reads as 0.
void GetSystemProfile(frame::ServiceFrame& self, const std::string& sCnn, int32_t& lPeriod,
                      int32_t& lYear, int32_t& lAuditChoice, int32_t& lNegBalance,
                      bool& bIsShortNumber);

}  // namespace morvesk::closing
