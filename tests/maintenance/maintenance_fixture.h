// A small company per test for the maintenance jobs: a 2025 calendar in monthly
// periods, the inventory in 2025/4 with its start period 2025/3, three stocks
// (one held for others), four items of different costing methods, and
// CalCurAmount called late-bound by name as a maintenance tool does. Tables are
// compared whole, one row per line.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "platform/automation/com_error.h"
#include "platform/automation/registry.h"
#include "platform/automation/variant.h"
#include "services/morvesk_module.h"
#include "tests/common/company_file_fixture.h"
#include "tests/common/table_text.h"

namespace morvesk::maintenance::test {

using automation::ComError;
using automation::Variant;

class MaintenanceFixture : public morvesk::test::CompanyFileFixture {
 protected:
  void SetUp() override {
    OpenCompany("maintenance");
    std::string calendar;
    for (int m = 1; m <= 12; ++m) {
      const std::string mm = (m < 10 ? "0" : "") + std::to_string(m);
      calendar += "Insert Into t_PeriodDate(FYear,FPeriod,FStartDate,FEndDate) Values(2025," +
                  std::to_string(m) + ",'2025-" + mm +
                  "-01',DateAdd(day,-1,DateAdd(month,1,'2025-" + mm + "-01')))\r\n";
    }
    Run(calendar);
    Run(kMasterData);
    services::RegisterMorveskClasses();
    cal_ = automation::CreateObject("Morvesk.CalCurAmount");
  }

  void TearDown() override {
    cal_.reset();
    CompanyFileFixture::TearDown();
  }

  std::string Cnn() const { return "Data Source=" + path_; }

  Variant Call(const std::string& member, std::vector<Variant> more = {}) {
    std::vector<Variant> args{Variant(Cnn())};
    for (Variant& v : more) args.push_back(std::move(v));
    return cal_->Call(member, std::move(args));
  }

  // The error a call raises; a call that returns fails the test.
  ComError CallFailing(const std::string& member, std::vector<Variant> more = {}) {
    try {
      Call(member, std::move(more));
    } catch (const ComError& e) {
      return e;
    }
    ADD_FAILURE() << member << " returned instead of raising";
    return ComError(0, "", "");
  }

  // Every table a maintenance job writes, for "the database is as it was".
  std::string Snapshot() {
    return Dump("select * from T_CC_Inventory order by FItemID,FStockID,FBatchNo,FAuxPropID") +
           Dump("select * from t_CC_Bal order by FIdentity") +
           Dump("select * from T_CC_StockBillEntry order by FEntryID") +
           Dump("select FItemID,FCostPrice from t_ICItem order by FItemID") +
           Dump("select * from t_SettleAcctBalance order by FYear,FPeriod,FAcctID");
  }

  // An audited stock bill of one line. Receipts name the receiving stock,
  // issues the sending one; dating columns are SQL text ("Null",
  // "'2025-01-05'").
  void Bill(int id, int cls, int type, const std::string& date, int item, int stock,
            const std::string& qty, const std::string& cost, const std::string& batch = "",
            const std::string& kfdate = "Null", const std::string& kfperiod = "Null",
            const std::string& status = "1", int index = 1) {
    const bool issue = cls / 10000 == 103 || cls == 1040002 || cls == 1040004;
    Run("If Not Exists(Select 1 From T_CC_StockBill Where FID=" + std::to_string(id) +
        ") Insert Into T_CC_StockBill(FID,FBillNo,FClassTypeID,FBillTypeID,FDate,FStatus) Values(" +
        std::to_string(id) + ",'B" + std::to_string(id) + "'," + std::to_string(cls) + "," +
        std::to_string(type) + ",'" + date + "'," + status + ")");
    std::string quoted_batch;
    for (char ch : batch) quoted_batch += ch == '\'' ? "''" : std::string(1, ch);
    const std::string period_date =
        kfdate == "Null" ? "Null" : "DateAdd(day," + kfperiod + "," + kfdate + ")";
    Run("Insert Into "
        "T_CC_StockBillEntry(FEntryID,FID,FIndex,FItemID,FBatchNo,FDCStockID,FSCStockID,FQty,"
        "FAmount,FCostAmount,FKFDate,FKFPeriod,FPeriodDate) Values(" +
        std::to_string(id * 10 + index) + "," + std::to_string(id) + "," + std::to_string(index) +
        "," + std::to_string(item) + ",'" + quoted_batch + "'," +
        (issue ? "0," + std::to_string(stock) : std::to_string(stock) + ",0") + "," + qty + "," +
        cost + "," + cost + "," + kfdate + "," + kfperiod + "," + period_date + ")");
  }

  static constexpr const char* kMasterData =
      "Insert Into t_SystemProfile(FCategory,FKey,FValue) Values('GL','PeriodCount','12')\r\n"
      "Insert Into t_SystemProfile(FCategory,FKey,FValue) Values('IC','StartYear','2025')\r\n"
      "Insert Into t_SystemProfile(FCategory,FKey,FValue) Values('IC','StartPeriod','3')\r\n"
      "Insert Into t_SystemProfile(FCategory,FKey,FValue) Values('IC','CurrentYear','2025')\r\n"
      "Insert Into t_SystemProfile(FCategory,FKey,FValue) Values('IC','CurrentPeriod','4')\r\n"
      "Insert Into t_Stock(FItemID,FNumber,FName,FTypeID) Values(101,'S101','Main',500)\r\n"
      "Insert Into t_Stock(FItemID,FNumber,FName,FTypeID) Values(102,'S102','North',500)\r\n"
      "Insert Into t_Stock(FItemID,FNumber,FName,FTypeID) Values(103,'S103','Held',502)\r\n"
      "Insert Into t_ICItem(FItemID,FNumber,FName,FTrack,FUnitID) "
      "Values(1001,'I1001','Average',77,1)\r\n"
      "Insert Into t_ICItem(FItemID,FNumber,FName,FTrack,FUnitID) "
      "Values(1002,'I1002','Lots',78,1)\r\n"
      "Insert Into "
      "t_ICItem(FItemID,FNumber,FName,FTrack,FUnitID,FISBatchManager,FBatchManager,FISKFPeriod,"
      "FKFPeriod) Values(1003,'I1003','Dated',80,1,1,1,1,12)\r\n"
      "Insert Into t_ICItem(FItemID,FNumber,FName,FTrack,FUnitID) "
      "Values(1004,'I1004','Monthly',76,1)\r\n"
      "Insert Into ICClassType(FID,FName_CHS) Values(1020002,'外购入库')\r\n"
      "Insert Into ICClassType(FID,FName_CHS) Values(1020003,'估价入库')\r\n"
      "Insert Into ICClassType(FID,FName_CHS) Values(1030002,'销售出库')\r\n"
      "Insert Into ICClassType(FID,FName_CHS) Values(1040007,'调拨单')\r\n";

  std::shared_ptr<automation::Dispatch> cal_;
};

}  // namespace morvesk::maintenance::test
