// Small companies for the batch-level balances: items of each spreading group, stored batch
// openings, the batch-tracked calculation called late-bound on its own or within the whole
// close, t_CC_Stock_BatchNo printed whole per period, and a session that fails on a chosen
// batch to show that a failure leaves every table as it was.
#pragma once

#include <string>
#include <vector>

#include "platform/host/unit_of_work.h"
#include "tests/balance/close_fixture.h"
#include "tests/common/failing_session.h"

namespace morvesk::balance::test {

struct BatchNoResult {
  bool ok = false;
  bool raised = false;
  std::string description;  // of the raised error
  std::string err_arg;      // sErrInfo after the call
};

class BatchNoFixture : public CloseFixture {
 protected:
  void TearDown() override {
    host::SetSessionOpener(nullptr);
    CloseFixture::TearDown();
  }

  // Sessions opened from now on fail on every batch that contains `marker`.
  void FailOnBatchWith(const std::string& marker) { morvesk::test::FailSessionsOn(marker, 0); }

  void Item(int id, int track, int is_batch_manager, int batch_manager, int is_auxi,
            int is_kf_period, int kf_period = 0) {
    Run("Insert Into t_ICItem(FItemID,FNumber,FName,FTrack,FISAuxi,FISBatchManager,"
        "FBatchManager,FISKFPeriod,FKFPeriod,FUnitID) Values(" +
        std::to_string(id) + ",'I" + std::to_string(id) + "','Item " + std::to_string(id) + "'," +
        std::to_string(track) + "," + std::to_string(is_auxi) + "," +
        std::to_string(is_batch_manager) + "," + std::to_string(batch_manager) + "," +
        std::to_string(is_kf_period) + "," + std::to_string(kf_period) + ",1)");
  }

  // A stored opening row of t_CC_Stock_BatchNo: "qty,secqty,bal".
  void Opening(int year, int period, int stock, int item, const std::string& batch, int aux,
               const std::string& openings, int kf_period = 0,
               const std::string& period_date = "1900-01-01") {
    Run("Insert Into t_CC_Stock_BatchNo(FYear,FPeriod,FStockID,FItemID,FBatchNo,FAuxPropID,"
        "FBegQty,FSecBegQty,FBegBal,FKFPeriod,FPeriodDate) Values(" +
        std::to_string(year) + "," + std::to_string(period) + "," + std::to_string(stock) + "," +
        std::to_string(item) + ",'" + batch + "'," + std::to_string(aux) + "," + openings + "," +
        std::to_string(kf_period) + ",'" + period_date + "')");
  }

  void SetCurrentPeriod(int year, int period) {
    Run("Update t_SystemProfile Set FValue='" + std::to_string(period) +
        "' Where FCategory='IC' And FKey='CurrentPeriod'\r\n"
        "Update t_SystemProfile Set FValue='" +
        std::to_string(year) + "' Where FCategory='IC' And FKey='CurrentYear'");
  }

  // t_CC_Stock_BatchNo of a period, every column but the period, one row per line.
  std::string BatchRows(int year, int period) {
    return Dump(
        "select FStockID,FItemID,FBatchNo,FAuxPropID,FBegQty,FSecBegQty,FBegBal,FReceive,"
        "FSecReceive,FDebit,FSend,FSecSend,FCredit,FEndQty,FSecEndQty,FEndBal,FKFDate,FKFPeriod,"
        "FPeriodDate from t_CC_Stock_BatchNo where FYear=" +
        std::to_string(year) + " and FPeriod=" + std::to_string(period) +
        " order by FStockID,FItemID,FBatchNo,FAuxPropID,FPeriodDate,FBegQty");
  }

  // CalCurAmount.CalculateInvBal_Ext_BatchNo called late-bound on its own.
  BatchNoResult BatchNo(int year, int period, const std::string& start, const std::string& end,
                        int cal_method = 0, const std::string& filter = "",
                        const std::string& err_in = "") {
    services::RegisterMorveskClasses();
    std::shared_ptr<automation::Dispatch> obj = automation::CreateObject("Morvesk.CalCurAmount");
    automation::Variant err(err_in);
    std::vector<automation::Variant> args{automation::Variant("Data Source=" + path_),
                                          automation::Variant(int32_t{period}),
                                          automation::Variant(int32_t{year}),
                                          automation::Variant(start),
                                          automation::Variant(end),
                                          automation::Variant(int32_t{cal_method}),
                                          automation::Variant(filter),
                                          automation::Variant::Ref(&err)};
    BatchNoResult result;
    try {
      result.ok = obj->CallRef("CalculateInvBal_Ext_BatchNo", args).ToBool();
    } catch (const automation::ComError& e) {
      result.raised = true;
      result.description = e.description;
    }
    result.err_arg = err.ToString();
    return result;
  }
};

}  // namespace morvesk::balance::test
