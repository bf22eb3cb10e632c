// A small company per test for the period calendar, the inventory options and the pre-close
// checks: a 2025 calendar of twelve monthly periods plus January 2026, the options a client
// reads, a few items and stocks, and CalCurAmount called late-bound by name as a client does.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "company/company.h"
#include "engine/engine.h"
#include "tests/common/company_file_fixture.h"
#include "tests/common/table_text.h"
#include "platform/ado/recordset.h"
#include "platform/automation/registry.h"
#include "platform/automation/variant.h"
#include "services/morvesk_module.h"

namespace morvesk::closing::test {

using automation::Variant;

class ClosingFixture : public morvesk::test::CompanyFileFixture {
 protected:
  void SetUp() override {
    OpenCompany("closing");
    std::string calendar;
    for (int m = 1; m <= 12; ++m) {
      const std::string mm = (m < 10 ? "0" : "") + std::to_string(m);
      calendar += "Insert Into t_PeriodDate(FYear,FPeriod,FStartDate,FEndDate) Values(2025," +
                  std::to_string(m) + ",'2025-" + mm + "-01',DateAdd(day,-1,DateAdd(month,1,'2025-" +
                  mm + "-01')))\r\n";
    }
    calendar +=
        "Insert Into t_PeriodDate(FYear,FPeriod,FStartDate,FEndDate) "
        "Values(2026,1,'2026-01-01','2026-01-31')\r\n";
    Run(calendar);
    Run(kMasterData);
    services::RegisterMorveskClasses();
    cal_ = automation::CreateObject("Morvesk.CalCurAmount");
  }

  void TearDown() override {
    cal_.reset();
    CompanyFileFixture::TearDown();
  }

  void SetProfile(const std::string& category, const std::string& key, const std::string& value) {
    Run("Delete From t_SystemProfile Where FCategory='" + category + "' And FKey='" + key +
        "'\r\nInsert Into t_SystemProfile(FCategory,FKey,FValue) Values('" + category + "','" +
        key + "'," + value + ")");
  }
  void DropProfile(const std::string& category, const std::string& key) {
    Run("Delete From t_SystemProfile Where FCategory='" + category + "' And FKey='" + key + "'");
  }

  std::string Cnn() const { return "Data Source=" + path_; }

  // A record set's rows, one line each, fields separated by '|'.
  static std::string Rows(const Variant& object) {
    auto rs = std::dynamic_pointer_cast<ado::Recordset>(object.ToObject());
    if (!rs) return "(no record set)";
    if (!rs->IsOpen()) return "(closed)";
    std::string out;
    if (rs->Eof() && rs->Bof()) return out;
    rs->MoveFirst();
    while (!rs->Eof()) {
      std::vector<std::string> cells;
      for (size_t i = 0; i < rs->FieldCount(); ++i)
        cells.push_back(rs->FieldAt(i).Value().ToString());
      out += morvesk::test::RowLine(cells);
      rs->MoveNext();
    }
    return out;
  }

  static constexpr const char* kMasterData =
      "Insert Into t_SystemProfile(FCategory,FKey,FValue) Values('GL','PeriodCount','12')\r\n"
      "Insert Into t_SystemProfile(FCategory,FKey,FValue) Values('GL','StartYear','2024')\r\n"
      "Insert Into t_SystemProfile(FCategory,FKey,FValue) Values('GL','StartPeriod','1')\r\n"
      "Insert Into t_SystemProfile(FCategory,FKey,FValue) Values('IC','CurrentYear','2025')\r\n"
      "Insert Into t_SystemProfile(FCategory,FKey,FValue) Values('IC','CurrentPeriod','4')\r\n"
      "Insert Into t_SystemProfile(FCategory,FKey,FValue) Values('IC','NegBalance','1')\r\n"
      "Insert Into t_SystemProfile(FCategory,FKey,FValue) Values('IC','AuditChoice','2')\r\n"
      "Insert Into t_SystemProfile(FCategory,FKey,FValue) Values('IC','UseShortNumber','0')\r\n"
      "Insert Into t_SystemProfile(FCategory,FKey,FValue) Values('IC','UnderStockClose','0')\r\n"
      "Insert Into t_Stock(FItemID,FNumber,FName) Values(101,'S101','Main')\r\n"
      "Insert Into t_Stock(FItemID,FNumber,FName) Values(102,'S102','North')\r\n"
      "Insert Into t_Stock(FItemID,FNumber,FName) Values(103,'S103','North')\r\n"
      "Insert Into t_ICItem(FItemID,FNumber,FName,FTrack,FISAuxi,FUnitID) "
      "Values(1001,'I1001','Plain',77,0,1)\r\n"
      "Insert Into t_ICItem(FItemID,FNumber,FName,FTrack,FISAuxi,FUnitID) "
      "Values(1002,'I1002','Batched',80,1,1)\r\n"
      "Insert Into t_auxItem(FItemID,FNumber,FName) Values(201,'A201','Red')\r\n"
      "Insert Into ICClassType(FID,FName_CHS,FObjectType,FObjectID,FTableName) "
      "Values(1020002,'外购入库',1,2,'t_CC_StockBill')\r\n"
      "Insert Into ICClassType(FID,FName_CHS,FObjectType,FObjectID,FTableName) "
      "Values(1030002,'销售出库',1,3,'t_CC_StockBill')\r\n"
      "Insert Into ICClassType(FID,FName_CHS,FObjectType,FObjectID,FTableName) "
      "Values(1040005,'组装单',1,5,'t_CC_ZZCX')\r\n"
      "Insert Into ICClassType(FID,FName_CHS,FObjectType,FObjectID,FTableName) "
      "Values(2001,'收款单',2,1,'t_RP_RBill')\r\n"
      "Insert Into ICClassType(FID,FName_CHS,FObjectType,FObjectID,FTableName) "
      "Values(2009,'银行单据',2,9,'t_RP_BankBill')\r\n";

  std::shared_ptr<automation::Dispatch> cal_;
};

}  // namespace morvesk::closing::test
