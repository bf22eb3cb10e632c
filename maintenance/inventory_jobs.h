// CalCurAmount's stock on hand jobs (T_CC_Inventory): the rebuild by the
// company database's procedure and the repricing of amounts left without a
// quantity. Both run in the shared job frame (job_frame.h): any error makes the
// abort call and is raised again with its number and description under the
// source "UpdateStock"; the result is always 0.
#pragma once

#include <cstdint>
#include <string>

#include "frame/service_frame.h"

namespace morvesk::maintenance {

// Runs the stored procedure sp_UpdateInventory (no time limit). Any entry in
// the connection's Errors collection afterwards, a warning or a PRINT included,
// fails the job with that entry's number and description.
int32_t UpdateInventory(frame::ServiceFrame& self, const std::string& sDsn);

// For each item with a row of quantity 0 and a non-zero amount whose total
// quantity is not 0, every row of the item that has a quantity gets amount =
// quantity x the item's average price over all its rows (so the stray amount is
// spread over them); then the rows of quantity 0 with an amount are deleted,
// also for items whose total quantity is 0 (their amount is lost). Updates run
// one item at a time: a failure part-way leaves the earlier items repriced and
// the delete not run, for the host's transaction to roll back with the abort
// call.
int32_t HandleAbnormalAmt(frame::ServiceFrame& self, const std::string& sDsn);

}  // namespace morvesk::maintenance
