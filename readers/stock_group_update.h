// StockBillReader.UpdateStockGroup: writes the stock-group assignment of stocks
// back from a record set the client edited (GetStocks hands out one with both
// fields, FItemID and FGroupID).
#pragma once

#include <memory>
#include <string>

#include "frame/service_frame.h"
#include "platform/ado/recordset.h"
#include "platform/automation/variant.h"

namespace morvesk::readers {

// One UPDATE of t_Stock per row of Rs, from its first row to its end, after
// clearing the record set's filter; Rs is left unfiltered and after its last
// row. A row whose FGroupID is Null gives an invalid statement: the call fails,
// makes the abort call (so the unit of work undoes the rows already written)
// and raises the error unchanged. Always returns Empty.
automation::Variant UpdateStockGroup(frame::ServiceFrame& self, const std::string& sDsn,
                                     const std::shared_ptr<ado::Recordset>& Rs);

}  // namespace morvesk::readers
