// The pre-close checks, called by name on a company with bills in every bill table.
#include <string>
#include <vector>

#include "closing_fixture.h"

namespace morvesk::closing::test {
namespace {

class BillChecks : public ClosingFixture {
 protected:
  // March 2025 as GetCurPeriodStartEnd gives it.
  static constexpr const char* kStart = "2025/03/01";
  static constexpr const char* kEnd = "2025/04/01";

  Variant Audit(const std::string& start = kStart, const std::string& end = kEnd) {
    return cal_->Call("CheckBillAudit", {Variant(Cnn()), Variant(int32_t{3}),
                                         Variant(int32_t{2025}), Variant(start), Variant(end)});
  }

  struct Status {
    bool ok = false;
    std::string err;
    Variant rs;
  };
  Status CheckStatus(Variant rs_before = Variant::Nothing(), const std::string& err_before = "") {
    Variant rs = rs_before, err(err_before);
    std::vector<Variant> args{Variant(Cnn()), Variant(int32_t{3}), Variant(int32_t{2025}),
                              Variant(kStart), Variant(kEnd),     Variant::Ref(&rs),
                              Variant::Ref(&err)};
    bool ok = cal_->CallRef("CheckBillStatus", args).ToBool();
    return {ok, err.ToString(), rs};
  }

  // A stock bill header. status is SQL text ("1", "0", "Null").
  void StockBill(int id, int cls, int type, const std::string& date, const std::string& status) {
    Run("Insert Into T_CC_StockBill(FID,FBillNo,FClassTypeID,FBillTypeID,FDate,FStatus,FSupplyID,"
        "FCustID,FAllAmount,FNeutralizeAmount,FExplanation) Values(" +
        std::to_string(id) + ",'SB" + std::to_string(id) + "'," + std::to_string(cls) + "," +
        std::to_string(type) + ",'" + date + "'," + status + ",31,32,150.5,20,'stock " +
        std::to_string(id) + "')");
  }
  // An audited stock bill with one line: receipts into dc, issues from sc.
  void Movement(int id, int cls, const std::string& date, int item, int dc, int sc,
                const std::string& batch, int aux, const std::string& qty) {
    StockBill(id, cls, cls == 1020002 ? 1 : 0, date, "1");
    Run("Insert Into T_CC_StockBillEntry(FEntryID,FID,FIndex,FItemID,FBatchNo,FAuxPropID,"
        "FDCStockID,FSCStockID,FQty) Values(" +
        std::to_string(id * 10) + "," + std::to_string(id) + ",1," + std::to_string(item) + ",'" +
        batch + "'," + std::to_string(aux) + "," + std::to_string(dc) + "," + std::to_string(sc) +
        "," + qty + ")");
  }
  void Opening(int stock, int item, const std::string& batch, int aux, const std::string& qty) {
    Run("Insert Into t_CC_Stock_BatchNo(FYear,FPeriod,FStockID,FItemID,FBatchNo,FAuxPropID,"
        "FBegQty) Values(2025,3," +
        std::to_string(stock) + "," + std::to_string(item) + ",'" + batch + "'," +
        std::to_string(aux) + "," + qty + ")");
  }
  void RpBill(const std::string& table, int id, const std::string& date,
              const std::string& status) {
    const bool bank = table == "t_RP_BankBill";
    Run("Insert Into " + table + "(FID,FBillNo,FClassTypeID," + (bank ? "" : "FBillTypeID,") +
        "FDate,FStatus,FExplanation,FCustID,FAmount) Values(" + std::to_string(id) + ",'" +
        table.substr(5) + std::to_string(id) + "'," + (bank ? "2009," : "2001,77,") + "'" + date +
        "'," + status + ",'rp','5',99)");
  }
  void ZzcxBill(int id, const std::string& date, const std::string& status) {
    Run("Insert Into t_CC_ZZCX(FID,FBillNo,FClassTypeID,FDate,FStatus,FExplanation) Values(" +
        std::to_string(id) + ",'ZZ" + std::to_string(id) + "',1040005,'" + date + "'," + status +
        ",'assembly')");
  }
};

TEST_F(BillChecks, AuditListsUnauditedBillsOfThePeriodFromEveryTable) {
  StockBill(1, 1020002, 1, "2025-03-01", "0");   // first day: inside
  StockBill(2, 1030002, 0, "2025-03-31 18:30", "Null");
  StockBill(3, 1020002, 1, "2025-04-01", "0");   // first day after: outside
  StockBill(4, 1020002, 1, "2025-02-28", "0");   // before
  StockBill(5, 1020002, 1, "2025-03-10", "1");   // audited
  ZzcxBill(6, "2025-03-05", "0");
  int id = 10;
  for (const char* table : {"t_RP_RBill", "t_RP_PBill", "t_RP_ROtherBill", "t_RP_PChargeBill",
                            "t_RP_POtherBill", "t_RP_CheckBill", "t_RP_BankBill"}) {
    RpBill(table, id, "2025-03-15", "Null");
    RpBill(table, id + 1, "2025-03-16", "2");
    id += 2;
  }

  Variant rs = Audit();
  auto set = std::dynamic_pointer_cast<ado::Recordset>(rs.ToObject());
  ASSERT_TRUE(set);
  std::vector<std::string> names;
  for (const auto& c : set->Columns()) names.push_back(c.name);
  EXPECT_EQ(names, (std::vector<std::string>{"FClassTypeID", "FBillNo", "FName_CHS", "FDate",
                                             "FID", "FObjectType", "FObjectID", "FTableName",
                                             "FSupplyID", "FCustID", "FAllAmount",
                                             "FNeutralizeAmount", "FBillTypeID", "FExplanation"}));
  // In branch order: stock bills, assembly bills, then the receivable and payable tables.
  // Only stock bills carry partners and amounts; assembly and bank bills have no bill type.
  EXPECT_EQ(Rows(rs),
            "1020002|SB1|外购入库|2025-03-01|1|1|2|t_CC_StockBill|31|32|150.5|20|1|stock 1\n"
            "1030002|SB2|销售出库|2025-03-31 18:30:00|2|1|3|t_CC_StockBill|31|32|150.5|20|0|"
            "stock 2\n"
            "1040005|ZZ6|组装单|2025-03-05|6|1|5|t_CC_ZZCX|0|0|0|0|0|assembly\n"
            "2001|RBill10|收款单|2025-03-15|10|2|1|t_RP_RBill|0|0|0|0|77|rp\n"
            "2001|PBill12|收款单|2025-03-15|12|2|1|t_RP_RBill|0|0|0|0|77|rp\n"
            "2001|ROtherBill14|收款单|2025-03-15|14|2|1|t_RP_RBill|0|0|0|0|77|rp\n"
            "2001|PChargeBill16|收款单|2025-03-15|16|2|1|t_RP_RBill|0|0|0|0|77|rp\n"
            "2001|POtherBill18|收款单|2025-03-15|18|2|1|t_RP_RBill|0|0|0|0|77|rp\n"
            "2001|CheckBill20|收款单|2025-03-15|20|2|1|t_RP_RBill|0|0|0|0|77|rp\n"
            "2009|BankBill22|银行单据|2025-03-15|22|2|9|t_RP_BankBill|0|0|0|0|0|rp\n");

  // Nothing unaudited in April apart from the bill dated on its first day.
  EXPECT_EQ(Rows(Audit("2025/04/01", "2025/05/01")),
            "1020002|SB3|外购入库|2025-04-01|3|1|2|t_CC_StockBill|31|32|150.5|20|1|stock 3\n");

  // A failing statement hands back no object and raises nothing.
  Variant bad = Audit("2025/03/01", "not a date");
  EXPECT_TRUE(bad.is_nothing());
}

TEST_F(BillChecks, StatusFailsOnAnyUnauditedBillOfThePeriod) {
  // Bills outside the period or audited do not count.
  StockBill(1, 1020002, 1, "2025-04-01", "0");
  StockBill(2, 1020002, 1, "2025-02-28 23:59", "Null");
  StockBill(3, 1020002, 1, "2025-03-31", "1");
  Status pass = CheckStatus(Variant::Nothing(), "kept");
  EXPECT_TRUE(pass.ok);
  EXPECT_EQ(pass.err, "kept");

  // An unaudited bank bill alone is enough; oRs is left as it was.
  RpBill("t_RP_BankBill", 40, "2025-03-01", "Null");
  Status fail = CheckStatus(Variant::Nothing(), "kept");
  EXPECT_FALSE(fail.ok);
  EXPECT_EQ(fail.err, "本期存在未审核的单据!");
  EXPECT_TRUE(fail.rs.is_nothing());
  Run("Update t_RP_BankBill Set FStatus=1");

  ZzcxBill(41, "2025-03-20", "0");
  EXPECT_EQ(CheckStatus().err, "本期存在未审核的单据!");
  Run("Update t_CC_ZZCX Set FStatus=1");
  EXPECT_TRUE(CheckStatus().ok);
}

TEST_F(BillChecks, StatusListsStockLinesThePeriodLeavesNegative) {
  // Item 1001 in Main: 10 opening + 5 received - 15 issued = 0, not reported.
  Opening(101, 1001, "", 0, "10");
  Movement(1, 1020002, "2025-03-02", 1001, 101, 0, "", 0, "5");
  Movement(2, 1030002, "2025-03-03", 1001, 0, 101, "", 0, "15");
  // Item 1002 batch B1 Red in Main: 1 opening - 1.0000000001 issued.
  Opening(101, 1002, "B1", 201, "1");
  Movement(3, 1030002, "2025-03-04", 1002, 0, 101, "B1", 201, "1.0000000001");
  // Item 1002 batch B2 in the two stocks named North: -3 and +1 merge into -2.
  Opening(102, 1002, "B2", 0, "-3");
  Opening(103, 1002, "B2", 0, "1");
  // Item 1001 in North: issued 4 after the period and 9 on an unaudited bill: not counted,
  // but the unaudited bill must be outside the period for the status to reach the stock.
  Opening(102, 1001, "", 0, "2");
  Movement(4, 1030002, "2025-04-01", 1001, 0, 102, "", 0, "4");
  Movement(5, 1030002, "2025-02-15", 1001, 0, 102, "", 0, "9");
  Run("Update T_CC_StockBill Set FStatus=0 Where FID=5");

  Status s = CheckStatus();
  EXPECT_FALSE(s.ok);
  EXPECT_EQ(s.err, "");
  auto set = std::dynamic_pointer_cast<ado::Recordset>(s.rs.ToObject());
  ASSERT_TRUE(set);
  std::vector<std::string> names;
  for (const auto& c : set->Columns()) names.push_back(c.name);
  EXPECT_EQ(names, (std::vector<std::string>{"FItemNumber", "FItemName", "FStockName",
                                             "FBatchNo", "FQty", "FAuxName"}));
  std::string rows = Rows(s.rs);
  EXPECT_NE(rows.find("I1002|Batched|Main|B1|-0.0000000001|Red\n"), std::string::npos) << rows;
  EXPECT_NE(rows.find("I1002|Batched|North|B2|-2|\n"), std::string::npos) << rows;
  EXPECT_EQ(rows.find("I1001"), std::string::npos) << rows;
  EXPECT_EQ(set->RecordCount(), 2);

  // With closing on negative stock allowed, the stock is not looked at and oRs stays.
  SetProfile("IC", "UnderStockClose", "'1'");
  Status allowed = CheckStatus();
  EXPECT_TRUE(allowed.ok);
  EXPECT_TRUE(allowed.rs.is_nothing());
  // Null is not 0 either.
  SetProfile("IC", "UnderStockClose", "Null");
  EXPECT_TRUE(CheckStatus().ok);

  // Back to forbidden, with the stock made good: True and an empty record set.
  SetProfile("IC", "UnderStockClose", "'0'");
  Run("Update t_CC_Stock_BatchNo Set FBegQty=FBegQty+5");
  Status good = CheckStatus();
  EXPECT_TRUE(good.ok);
  EXPECT_EQ(Rows(good.rs), "");
}

TEST_F(BillChecks, StatusReportsDataAccessErrorsAsItsMessage) {
  DropProfile("IC", "UnderStockClose");
  Status s = CheckStatus(Variant::Nothing(), "");
  EXPECT_FALSE(s.ok);
  EXPECT_FALSE(s.err.empty());
  EXPECT_NE(s.err, "本期存在未审核的单据!");

  SetProfile("IC", "UnderStockClose", "'never'");
  Status mismatch = CheckStatus();
  EXPECT_FALSE(mismatch.ok);
  EXPECT_FALSE(mismatch.err.empty());

  // The object stays usable.
  SetProfile("IC", "UnderStockClose", "'0'");
  EXPECT_TRUE(CheckStatus().ok);
}

}  // namespace
}  // namespace morvesk::closing::test
