// ICbalReader.CheckCalDataValidate: the gate a client passes before a costing run. The one thing it
// checks is that a session can be bound for the connection description and a connection obtained;
// the period, method and filter arguments have no effect.
#pragma once

#include <cstdint>
#include <string>

#include "frame/service_frame.h"

namespace morvesk::readers {

// True, sInfo untouched, when the session binds and the connection opens. Otherwise False with the
// error's description in sInfo; no error reaches the caller and no abort call is made (the unit of
// work was marked complete first).
bool CheckCalDataValidate(frame::ServiceFrame& self, const std::string& sDsn, int32_t lPeriod,
                          int32_t lYear, const std::string& sStartDate, const std::string& sEndDate,
                          int32_t lCalMethod, std::string& sInfo, const std::string& sItemFilter,
                          const std::string& sBillFilter);

}  // namespace morvesk::readers
