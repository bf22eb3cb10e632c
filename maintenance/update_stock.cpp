#include "maintenance/update_stock.h"

#include "maintenance/job_frame.h"

namespace morvesk::maintenance {

bool UpdateStock(frame::ServiceFrame& self, const std::string& sCnn) {
  RunJob(self, sCnn, [&](ado::Connection& cnn) {
    cnn.Execute("exec CheckInventory");
    self.SetComplete();
    if (!cnn.Errors().empty()) FailWithFirstError(cnn, kUpdateStockSource, true);
  });
  return true;
}

}  // namespace morvesk::maintenance
