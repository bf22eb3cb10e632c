#include "readers/calc_validation.h"

#include <memory>

#include "frame/err_state.h"
#include "platform/ado/connection.h"
#include "platform/automation/com_error.h"

namespace morvesk::readers {

bool CheckCalDataValidate(frame::ServiceFrame& self, const std::string& sDsn, int32_t /*lPeriod*/,
                          int32_t /*lYear*/, const std::string& /*sStartDate*/,
                          const std::string& /*sEndDate*/, int32_t /*lCalMethod*/,
                          std::string& sInfo, const std::string& /*sItemFilter*/,
                          const std::string& /*sBillFilter*/) {
  self.SetComplete();
  // The trap reports through sInfo and stops there: no abort call follows the completion call made
  // above, and nothing is raised to the caller.
  try {
    self.BindSession(sDsn);
    std::shared_ptr<ado::Connection> cnn = self.Connection();
    cnn.reset();
    return true;
  } catch (const automation::ComError& e) {
    frame::SetErr(e);
    sInfo = e.description;
    frame::ClearErr();
    return false;
  }
}

}  // namespace morvesk::readers
