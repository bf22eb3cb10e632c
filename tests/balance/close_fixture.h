// A small company database built per test, and the period close called on it by name, as a
// client does. Tables are compared whole, printed canonically one row per line.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "company/company.h"
#include "engine/engine.h"
#include "platform/automation/registry.h"
#include "platform/automation/variant.h"
#include "services/morvesk_module.h"
#include "tests/common/company_file_fixture.h"
#include "tests/common/table_text.h"

namespace morvesk::balance::test {

struct CloseResult {
  bool ok = false;
  std::string message;
};

class CloseFixture : public morvesk::test::CompanyFileFixture {
 protected:
  void SetUp() override {
    OpenCompany("balance");
    Run(kMasterData);
  }

  static std::string Cell(const engine::Value& v) {
    return morvesk::test::CellText(v, morvesk::test::CellStyle::kCanonical);
  }

  // t_CC_Bal of a period. A lot identifier that is "1", zeros and the row's own FIdentity
  // prints as "#id", and so does an FID equal to FIdentity, since identities are assigned
  // by the table.
  std::string Bal(int year, int period) {
    engine::BatchResult r = sql_->Execute(
        "select FIdentity,FInterID,FStockID,FItemID,FBatchNo,FBegQty,FBegBal,FReceive,FDebit,"
        "FSend,FCredit,FEndQty,FEndBal,FStockInDate,FID,FEntryID,FClassTypeID from t_CC_Bal "
        "where FYear=" +
        std::to_string(year) + " and FPeriod=" + std::to_string(period) +
        " order by FStockID,FItemID,FBatchNo,FStockInDate,FBegQty,FInterID");
    if (!r.ok()) return "error: " + r.errors.front().message;
    std::string out;
    for (const auto& row : r.ResultSets().front()->rows) {
      const std::string identity = Cell(row[0]);
      for (size_t i = 1; i < row.size(); ++i) {
        std::string cell = Cell(row[i]);
        if (i == 1 && cell == "1" + std::string(23 - identity.size(), '0') + identity) cell = "#id";
        if (i == 14 && cell == identity) cell = "#id";
        if (i > 1) out += '|';
        out += cell;
      }
      out += '\n';
    }
    return out;
  }

  std::string Stock(int year, int period) {
    return Dump(
        "select FStockID,FItemID,FBatchNo,FAuxPropID,FBegQty,FSecBegQty,FBegBal,FReceive,"
        "FSecReceive,FDebit,FSend,FSecSend,FCredit,FEndQty,FSecEndQty,FEndBal,FKFDate,FKFPeriod,"
        "FPeriodDate from t_CC_Stock where FYear=" +
        std::to_string(year) + " and FPeriod=" + std::to_string(period) +
        " order by FStockID,FItemID,FBatchNo,FAuxPropID");
  }

  std::string Profile() {
    return Dump("select FCategory,FKey,FValue from t_SystemProfile order by FCategory,FKey");
  }

  // Every table the close may write, whole.
  std::string Everything() {
    return Dump("select * from t_CC_Bal order by FIdentity") +
           Dump(
               "select * from t_CC_Stock order by FYear,FPeriod,FStockID,FItemID,FBatchNo,"
               "FAuxPropID") +
           Dump(
               "select * from t_CC_Stock_BatchNo order by FYear,FPeriod,FStockID,FItemID,"
               "FBatchNo,FAuxPropID,FPeriodDate") +
           Profile() + Dump("select * from T_CC_StockBillEntry order by FEntryID") +
           Dump("select * from TempWriteBack") + Dump("select * from CalculateLog");
  }

  // CalCurAmount.CalculateInvBal_Ext, late-bound, on this company.
  CloseResult Close(int year, int period, const std::string& start, const std::string& end) {
    services::RegisterMorveskClasses();
    std::shared_ptr<automation::Dispatch> obj = automation::CreateObject("Morvesk.CalCurAmount");
    automation::Variant err("");
    std::vector<automation::Variant> args{automation::Variant("Data Source=" + path_),
                                          automation::Variant(int32_t{period}),
                                          automation::Variant(int32_t{year}),
                                          automation::Variant(start),
                                          automation::Variant(end),
                                          automation::Variant(int32_t{0}),
                                          automation::Variant(""),
                                          automation::Variant::Ref(&err)};
    automation::Variant r = obj->CallRef("CalculateInvBal_Ext", args);
    return {r.ToBool(), err.ToString()};
  }

  // One bill with one line. Receipts name the receiving stock, issues the sending stock.
  void Bill(int id, int cls, int type, const std::string& date, int status, int item, int dc,
            int sc, const std::string& batch, int aux, const std::string& qty,
            const std::string& cost, const std::string& sec_qty = "0",
            const std::string& dating = "Null,Null,Null") {
    Run("Insert Into T_CC_StockBill(FID,FBillNo,FClassTypeID,FBillTypeID,FDate,FStatus) Values(" +
        std::to_string(id) + ",'B" + std::to_string(id) + "'," + std::to_string(cls) + "," +
        std::to_string(type) + ",'" + date + "'," + std::to_string(status) + ")\r\n" +
        "Insert Into T_CC_StockBillEntry(FEntryID,FID,FIndex,FItemID,FBatchNo,FAuxPropID,"
        "FDCStockID,FSCStockID,FQty,FSecQty,FCostAmount,FKFDate,FKFPeriod,FPeriodDate) Values(" +
        std::to_string(id * 10) + "," + std::to_string(id) + ",1," + std::to_string(item) + "," +
        batch + "," + std::to_string(aux) + "," + std::to_string(dc) + "," + std::to_string(sc) +
        "," + qty + "," + sec_qty + "," + cost + "," + dating + ")");
  }

  static constexpr const char* kMasterData =
      "Insert Into t_SystemProfile(FCategory,FKey,FValue) Values('GL','PeriodCount','12')\r\n"
      "Insert Into t_SystemProfile(FCategory,FKey,FValue) Values('IC','CurrentYear','2025')\r\n"
      "Insert Into t_SystemProfile(FCategory,FKey,FValue) Values('IC','CurrentPeriod','3')\r\n"
      "Insert Into t_SystemProfile(FCategory,FKey,FValue) Values('IC','CalculateType','1')\r\n"
      "Insert Into t_SystemProfile(FCategory,FKey,FValue) "
      "Values('Base','AcctountingClosed','1')\r\n"
      "Insert Into t_MeasureUnit(FItemID,FNumber,FName) Values(1,'PCS','pcs')\r\n"
      "Insert Into t_Stock(FItemID,FNumber,FName,FTypeID) Values(101,'S101','Main',500)\r\n"
      "Insert Into t_Stock(FItemID,FNumber,FName,FTypeID) Values(102,'S102','North',500)\r\n"
      "Insert Into t_Stock(FItemID,FNumber,FName,FTypeID) Values(103,'S103','South',500)\r\n"
      "Insert Into t_Stock(FItemID,FNumber,FName,FTypeID) Values(105,'S105','Held',502)\r\n"
      "Insert Into t_ICItem(FItemID,FNumber,FName,FTrack,FISAuxi,FUnitID) "
      "Values(1001,'I1001','Plain',77,0,1)\r\n"
      "Insert Into t_ICItem(FItemID,FNumber,FName,FTrack,FISAuxi,FUnitID) "
      "Values(1002,'I1002','Batched',80,0,1)\r\n"
      "Insert Into t_ICItem(FItemID,FNumber,FName,FTrack,FISAuxi,FUnitID) "
      "Values(1003,'I1003','Lots',78,0,1)\r\n"
      "Insert Into t_ICItem(FItemID,FNumber,FName,FTrack,FISAuxi,FUnitID) "
      "Values(1004,'I1004','Batched variants',80,1,1)\r\n"
      "Insert Into t_ICItem(FItemID,FNumber,FName,FTrack,FISAuxi,FUnitID) "
      "Values(1006,'I1006','Variants',76,1,1)\r\n"
      "Insert Into t_ICItem(FItemID,FNumber,FName,FTrack,FISAuxi,FUnitID) "
      "Values(1009,'I1009','Other costing',79,0,1)\r\n"
      "Insert Into t_auxItem(FItemID,FNumber,FName) Values(201,'A201','Red')\r\n"
      "Insert Into t_auxItem(FItemID,FNumber,FName) Values(202,'A202','Blue')\r\n";
};

}  // namespace morvesk::balance::test
