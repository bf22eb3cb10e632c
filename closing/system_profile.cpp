#include "closing/system_profile.h"

#include <memory>
#include <optional>

#include "closing/profile_values.h"
#include "platform/ado/connection.h"

namespace morvesk::closing {

void GetSystemProfile(frame::ServiceFrame& self, const std::string& sCnn, int32_t& lPeriod,
                      int32_t& lYear, int32_t& lAuditChoice, int32_t& lNegBalance,
                      bool& bIsShortNumber) {
  self.SetComplete();
  self.BindSession(sCnn);
  std::shared_ptr<ado::Connection> cnn = self.Connection();

  lPeriod = WholeNumberOf(*InventoryOption(*cnn, "CurrentPeriod", true));
  lYear = WholeNumberOf(*InventoryOption(*cnn, "CurrentYear", true));
  if (auto v = InventoryOption(*cnn, "NegBalance", false)) lNegBalance = WholeNumberOf(*v);
  if (auto v = InventoryOption(*cnn, "AuditChoice", false)) lAuditChoice = WholeNumberOf(*v);
  if (auto v = InventoryOption(*cnn, "UseShortNumber", false)) {
    bIsShortNumber = WholeNumberOf(*v) != 0;
  }
}

}  // namespace morvesk::closing
