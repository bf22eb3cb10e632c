// StockBillReader's cost look-ups for a client entering or checking a bill:
//  - GetCost: the company database's cost-price procedure for an item in a
//  stock,
//    of one batch when the item is batch-costed, as of a date;
//  - GetCost80: the batch cost-price procedure for batch-costed items, GetCost
//  otherwise;
//  - GetMultiPrice: a reference unit price worked out here, the latest purchase
//  price
//    before a date or the average opening price of the current period.
// GetCost and GetCost80 never raise: any failure yields 0 (their unit of work
// is marked complete before they query). GetMultiPrice raises errors unchanged,
// with no abort call.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "frame/service_frame.h"
#include "platform/automation/dispatch.h"
#include "platform/automation/variant.h"

namespace morvesk::readers {

double GetCost(frame::ServiceFrame& self, const std::string& sDsn, int32_t StockID, int32_t ItemID,
               const std::string& BatchNo, bool IsBill, automation::DateValue dDate);

double GetCost80(frame::ServiceFrame& self, const std::string& sDsn, int32_t StockID,
                 int32_t ItemID, const std::string& BatchNo);

// dictmpt is read late-bound through its Item accessor: "ReproducePrice", then
// "BDate" or "CurrentYear" and "CurrentPeriod".
double GetMultiPrice(frame::ServiceFrame& self, const std::string& sDsn,
                     const std::shared_ptr<automation::Dispatch>& dictmpt, int32_t FItemID,
                     const std::string& BatchNo);

}  // namespace morvesk::readers
