// CalCurAmount.AutoUpdateCostPrice: the reference cost price
// (t_ICItem.FCostPrice) of items that have none (NULL, 0 or negative), or of
// one named item whatever its price. The first source with a positive quantity
// and a positive amount wins: the opening balances of the inventory start
// period (IC StartYear, StartPeriod) over all stocks; the current period's
// audited estimated-price receipts (class 1020003, bill type 2030); its audited
// receipt lines (class 1020002, any bill type but 2012) into stocks not of type
// 502, at their cost amount. The price is amount / quantity rounded to 10
// places; with no source the price stays.
//
// Frame: the abort call first; any error makes the abort call and is raised
// under the source "UpdateStock". Items priced before the failure keep their
// price as far as the host's transaction allows, which on the abort vote rolls
// them back. Result Empty.
#pragma once

#include <cstdint>
#include <string>

#include "frame/service_frame.h"
#include "platform/automation/variant.h"

namespace morvesk::maintenance {

// ItemID below 1: every item without a price; otherwise that item alone.
automation::Variant AutoUpdateCostPrice(frame::ServiceFrame& self, const std::string& sDsn,
                                        int32_t ItemID);

}  // namespace morvesk::maintenance
