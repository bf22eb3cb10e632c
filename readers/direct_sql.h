// Database access on a client's behalf, so that clients never open a connection
// of their own: GetBillID (the next internal id of a table from the numbering
// procedure), ExecuteSQL (any query, its record set still attached for editing)
// and UpdateDB (any statements, no rows).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "frame/service_frame.h"
#include "platform/ado/recordset.h"

namespace morvesk::readers {

// No trap: the unit of work is marked complete first and an error reaches the
// caller as it arose. Ids only grow: one that was handed out is never handed
// out again.
int32_t GetBillID(frame::ServiceFrame& self, const std::string& sCnn, const std::string& sTable);

// No trap; the completion call comes before the query, so statements of SQLStr
// that ran before a failing one keep their effect. The record set stays
// attached to the call's connection with a client-side cursor and optimistic
// locking: a client edits a row and saves it with Update, refused when someone
// changed the row since it was read.
std::shared_ptr<ado::Recordset> ExecuteSQL(frame::ServiceFrame& self, const std::string& sDsn,
                                           const std::string& SQLStr);

// Runs SQLStr with no time limit, discarding rows. Anything left in the
// connection's error collection, a warning (PRINT) included, fails the call
// with the first entry's number and description; a failure makes the abort
// call, so the unit of work undoes SQLStr.
void UpdateDB(frame::ServiceFrame& self, const std::string& oDsN, const std::string& SQLStr);

}  // namespace morvesk::readers
