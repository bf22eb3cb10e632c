#include "maintenance/inventory_jobs.h"

#include <memory>

#include "frame/batch_text.h"
#include "maintenance/job_frame.h"
#include "platform/ado/command.h"
#include "platform/ado/recordset.h"

namespace morvesk::maintenance {

using automation::Variant;

int32_t UpdateInventory(frame::ServiceFrame& self, const std::string& sDsn) {
  JobOptions options;
  options.prefer_errors_collection = true;
  RunJob(
      self, sDsn,
      [&](ado::Connection& cnn) {
        auto cmd = ado::Command::Create();
        cmd->SetActiveConnection(cnn.Self());
        cmd->SetCommandType(ado::CommandType::kStoredProc);
        cmd->SetCommandText("sp_UpdateInventory");
        cmd->SetCommandTimeout(0);
        cmd->Execute();
        // The procedure finishes silently when it worked: any message is a
        // failure.
        if (!cnn.Errors().empty()) FailWithFirstError(cnn, kUpdateStockSource, false);
        self.SetComplete();
      },
      options);
  return 0;
}

namespace {

// Per item with an amount left on a row without quantity: its average price
// over all its rows, the stray amount included. Items whose quantities cancel
// out have no price.
std::string AbnormalItemPricesQuery() {
  return frame::Lines({
      "select t.FItemID,Sum(t.FBal)/Sum(t.FQty) FPrice from ",
      "(select distinct FItemID from t_cc_inventory where FQty = 0 and FBal <> 0) s ",
      "join t_cc_inventory t on s.FItemID = t.FItemID  ",
      "group by t.FItemID having Sum(FQty)<>0",
  });
}

}  // namespace

int32_t HandleAbnormalAmt(frame::ServiceFrame& self, const std::string& sDsn) {
  RunJob(self, sDsn, [&](ado::Connection& cnn) {
    std::shared_ptr<ado::Recordset> rs = cnn.Execute(AbnormalItemPricesQuery());
    while (!rs->Eof()) {
      const std::string price = rs->FieldAt(1).Value().ToString();
      const int32_t item = rs->FieldAt(0).Value().ToLong();
      cnn.Execute("update t_cc_inventory set FBal = FQty * " + price +
                  " where FQty <> 0 and FItemID = " + frame::Num(item));
      rs->MoveNext();
    }
    rs->Close();
    cnn.Execute("Delete from t_cc_inventory where FQty = 0 and FBal <> 0 ");
    self.SetComplete();
  });
  return 0;
}

}  // namespace morvesk::maintenance
