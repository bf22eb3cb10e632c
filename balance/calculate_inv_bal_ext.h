// CalCurAmount.CalculateInvBal_Ext: closes one inventory period. The driver arms the trap,
// binds the session, runs the shelf-life pre-step, the period balance and carry-forward stages
// (close_stages.h), empties the write-back and log tables, and hands over to
// CalculateInvBal_Ext_BatchNo of the same object. True with the completion call on success;
// on any failure sErrInfo gets the message, the abort call is made and the result is False,
// so the host rolls the whole close back.
#pragma once

#include <cstdint>
#include <string>

#include "frame/service_frame.h"

namespace morvesk::balance {

// Message for a constraint failure (duplicate key and the like) anywhere in the close.
inline constexpr char kBatchDataMessage[] =
    "发现批号相关错误数据：相同批号存在不同生产日期或保质期";

bool CalculateInvBal_Ext(frame::ServiceFrame& self, const std::string& sCnn, int32_t lPeriod,
                         int32_t lYear, const std::string& sStartDate, const std::string& sEndDate,
                         int32_t lCalMethod, const std::string& sFilter, std::string& sErrInfo);

}  // namespace morvesk::balance
