// StockBillReader.Calcualte: the unit cost run of one item (optionally one
// stock and one batch) by the company database's costing procedures. The
// library does no costing arithmetic: it picks the procedure, binds its
// arguments by position with their exact types, and turns the status the
// procedure leaves in @StockID into a Boolean.
#pragma once

#include <cstdint>
#include <string>

#include "frame/service_frame.h"

namespace morvesk::readers {

// sp_calculate80 when BatchNo is not the empty text (blanks count as a batch),
// else sp_calculate76. False when the procedure reports -1 in @StockID; the
// completion call is made for False too, since a failed run is an ordinary
// outcome. Any error makes the abort call and is raised again unchanged.
bool Calcualte(frame::ServiceFrame& self, const std::string& oDsN, int32_t CalculateType,
               int32_t StockID, int32_t ItemID, int32_t PriceDeciaml, const std::string& BatchNo,
               int32_t CalcPeriod);

}  // namespace morvesk::readers
