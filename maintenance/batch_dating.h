// CalCurAmount.AutoCheckBatchNo: the bill line check before batch dating is
// trusted. A bill with two lines of one line number stops the job, naming the
// first such bill found (no repair is done then); otherwise every item and
// batch whose receipt and issue lines carry more than one (production date,
// shelf life) pair with a shelf life gets one dating, taken from the stock
// balance table when the batch is there, else from any of its bill lines,
// written into every bill line of that item and batch (FKFDate and FPeriodDate;
// the shelf life itself is not rewritten).
//
// Frame: the abort call first; any error, the duplicate line number included
// (number -1), makes the abort call and is raised under the source
// "AutoCheckBatchNo". Batches repaired before a failure stay repaired as far as
// the host's transaction allows, which on the abort vote rolls them back.
// Result Empty.
#pragma once

#include <string>

#include "frame/service_frame.h"
#include "platform/automation/variant.h"

namespace morvesk::maintenance {

inline constexpr char kAutoCheckBatchNoSource[] = "AutoCheckBatchNo";

automation::Variant AutoCheckBatchNo(frame::ServiceFrame& self, const std::string& sDsn);

}  // namespace morvesk::maintenance
