// StockBillReader's access to the system profile for clients: GetFValueOfIC
// reads rows (FKey, FValue) of any category, WriteValueOfIC updates the value
// of an existing IC key.
#pragma once

#include <string>

#include "frame/service_frame.h"
#include "platform/automation/variant.h"

namespace morvesk::readers {

// sFilter, when not empty, is placed after " WHERE " verbatim; the statement
// itself does not restrict the category. A detached record set in a Variant;
// errors raised unchanged, no abort call (the unit of work is marked complete
// first).
automation::Variant GetFValueOfIC(frame::ServiceFrame& self, const std::string& sDsn,
                                  const std::string& sFilter);

// Updates t_Systemprofile's IC row of curFKey; no row is inserted when the key
// does not exist. The value is trimmed and stored as text (the empty text stays
// empty, not Null). Always returns Empty; errors make the abort call and are
// raised unchanged.
automation::Variant WriteValueOfIC(frame::ServiceFrame& self, const std::string& sDsn,
                                   const std::string& curFValue, const std::string& curFKey);

}  // namespace morvesk::readers
