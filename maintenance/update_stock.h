// CalCurAmount.UpdateStock: the company database's stock check, procedure
// CheckInventory, which repairs the quantities on hand in place.
//
// Frame: the abort call first. The completion call is made right after the
// procedure, before its messages are looked at; an entry in the connection's
// Errors collection (a warning or a PRINT included) then fails the job with
// number -1 and that entry's description. Any failure makes the abort call
// (after the completion call when it came later, so the abort vote stands and
// the host rolls the call back) and is raised under the source "UpdateStock".
// True when the procedure ran silently.
#pragma once

#include <string>

#include "frame/service_frame.h"

namespace morvesk::maintenance {

bool UpdateStock(frame::ServiceFrame& self, const std::string& sCnn);

}  // namespace morvesk::maintenance
