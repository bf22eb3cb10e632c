// ICbalReader's opening balances: GetBegBal hands a client the opening quantities and amounts of
// t_CC_Bal, stock by stock or merged over stocks, the merged form keeping the lot rows of
// lot-by-lot items (costing method 78) apart. Read-only; the unit of work is marked complete first,
// and any error is raised again unchanged with no abort call.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "frame/service_frame.h"
#include "platform/ado/recordset.h"

namespace morvesk::readers {

// Columns FInterID, FStockID, FItemID, FBatchNo, FBegQty, FBegBal, FStockInDate, FID, FEntryID,
// FIdentity. CalType 1: every balance row of a stock not of type 502, as stored; any other CalType:
// FStockID 0, rows summed over stocks, FIdentity 0 except for method-78 items, whose rows (of any
// stock) stay one per FIdentity. Rows with neither opening quantity nor amount are left out.
// sFilter is placed verbatim after every WHERE (a blank, a connective and a condition on alias b).
// lngTrack is accepted and not used. The record set is client-side and stays attached to the call's
// connection.
std::shared_ptr<ado::Recordset> GetBegBal(frame::ServiceFrame& self, const std::string& sDsn,
                                          const std::string& sFilter, int32_t CalType,
                                          int32_t lngTrack);

}  // namespace morvesk::readers
