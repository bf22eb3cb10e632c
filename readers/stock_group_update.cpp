#include "readers/stock_group_update.h"

#include "frame/conventions.h"
#include "platform/ado/connection.h"
#include "platform/automation/com_error.h"

namespace morvesk::readers {

using automation::Variant;

Variant UpdateStockGroup(frame::ServiceFrame& self, const std::string& sDsn,
                         const std::shared_ptr<ado::Recordset>& Rs) {
  return frame::TrapAndRaise(self, frame::CompletionAtStart::kNo, [&] {
    self.BindSession(sDsn);
    std::shared_ptr<ado::Connection> cnn = self.Connection();
    if (!Rs) {
      throw automation::ComError(automation::kErrTypeMismatch, self.source(),
                                 "UpdateStockGroup needs a record set (Rs is Nothing)");
    }
    Rs->SetFilter(Variant(std::string()));
    if (Rs->RecordCount() > 0) Rs->MoveFirst();
    while (!Rs->Eof()) {
      cnn->Execute(
          "Update t_Stock Set FStockGroupID=" + Rs->Fields(Variant("FGroupID")).Value().ToString() +
          " WHERE FItemID=" + Rs->Fields(Variant("FItemID")).Value().ToString());
      Rs->MoveNext();
    }
    self.SetComplete();
    return Variant();
  });
}

}  // namespace morvesk::readers
