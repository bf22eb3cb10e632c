// The checks a client runs before it closes a period: CalCurAmount.CheckBillAudit lists
// the unaudited bills of the period (stock bills, assembly bills and the receivable and
// payable bills), CalCurAmount.CheckBillStatus is the pass/fail gate (no unaudited bill,
// and, when the profile forbids closing with negative stock, no stock line that the period
// leaves negative). Both only read; dates are spliced into the SQL as received, as
// GetCurPeriodStartEnd gives them: the period's first day and the first day after it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "frame/service_frame.h"
#include "platform/ado/recordset.h"
#include "platform/automation/variant.h"

namespace morvesk::closing {

// Raised inside CheckBillStatus when the period holds an unaudited bill.
inline constexpr char kUnauditedBillsMessage[] = "本期存在未审核的单据!";
inline constexpr char kPreCloseCheckSource[] = "结账前的检查";

// The unaudited bills dated in [sStartDate, sEndDate), unsorted, attached to the
// connection; null on any failure (after the abort call). lPeriod and lYear are not used.
std::shared_ptr<ado::Recordset> CheckBillAudit(frame::ServiceFrame& self, const std::string& sCnn,
                                               int32_t lPeriod, int32_t lYear,
                                               const std::string& sStartDate,
                                               const std::string& sEndDate);

// True when the period may be closed. False with strErr = the reason on an unaudited bill
// or an error; False with an empty strErr and oRs open on the negative lines (FItemNumber,
// FItemName, FStockName, FBatchNo, FQty, FAuxName) when the period leaves stock negative
// and IC UnderStockClose is 0. oRs is never cleared.
bool CheckBillStatus(frame::ServiceFrame& self, const std::string& sCnn, int32_t lPeriod,
                     int32_t lYear, const std::string& sStartDate, const std::string& sEndDate,
                     automation::Variant& oRs, std::string& strErr);

}  // namespace morvesk::closing
