// Batch dating, caller statement lists, the stock check and reference cost
// prices, on the damage each repairs, called by name.
#include <string>

#include "maintenance_fixture.h"

namespace morvesk::maintenance::test {
namespace {

using automation::VariantArray;

class BatchJobs : public MaintenanceFixture {
 protected:
  std::string Dating() {
    return Dump(
        "select FEntryID,FBatchNo,FKFDate,FKFPeriod,FPeriodDate from T_CC_StockBillEntry order by "
        "FEntryID");
  }
};

TEST_F(BatchJobs, RepeatedLineNumbersStopTheDatingCheckNamingTheBillAndRepairNothing) {
  Bill(7, 1020002, 2010, "2025-04-02", 1003, 101, "1", "1", "B1", "'2024-01-05'", "12");
  Bill(7, 1020002, 2010, "2025-04-02", 1003, 101, "1", "1", "B1", "'2024-01-05'", "12", "1", 2);
  Bill(7, 1020002, 2010, "2025-04-02", 1003, 101, "1", "1", "B1", "'2024-01-06'", "12", "1", 3);
  Run("Update T_CC_StockBillEntry Set FIndex=2 Where FEntryID=73");
  const std::string before = Snapshot();

  ComError e = CallFailing("AutoCheckBatchNo");
  EXPECT_EQ(e.number, -1);
  EXPECT_EQ(e.source, "AutoCheckBatchNo");
  EXPECT_EQ(e.description, "系统发现外购入库编号:B7的单据第2分录有问题,请仔细检查修复单据。");
  // The conflicting dating of B1 is left for a run on sound bills.
  EXPECT_EQ(Snapshot(), before);
}

TEST_F(BatchJobs, BatchesWhoseLinesDisagreeOnTheirDatingTakeOneDatingForAllTheirLines) {
  // B1: receipt and issue disagree; the stock balance table knows the batch.
  Bill(1, 1020002, 2010, "2025-04-02", 1003, 101, "5", "50", "B1", "'2024-01-05'", "12");
  Bill(2, 1030002, 3001, "2025-04-03", 1003, 101, "1", "10", "B1", "'2024-01-06'", "12");
  Bill(3, 1040007, 0, "2025-04-04", 1003, 102, "1", "10", "B1", "Null", "Null");
  Run("Insert Into "
      "t_CC_Stock(FYear,FPeriod,FStockID,FItemID,FBatchNo,FKFDate,FKFPeriod,FPeriodDate) "
      "Values(2025,3,101,1003,'B1','2024-01-04',12,'2024-01-16')");
  // B2: every line agrees. B3: the issue has no shelf life, so only one pair
  // counts.
  Bill(4, 1020002, 2010, "2025-04-02", 1003, 101, "5", "50", "B2", "'2024-02-01'", "12");
  Bill(5, 1030002, 3001, "2025-04-03", 1003, 101, "1", "10", "B2", "'2024-02-01'", "12");
  Bill(6, 1020002, 2010, "2025-04-02", 1003, 101, "5", "50", "B3", "'2024-03-01'", "12");
  Bill(8, 1030002, 3001, "2025-04-03", 1003, 101, "1", "10", "B3", "'2024-03-09'", "0");
  // B4 with a quote in its number, unknown to the stock balance table: one of
  // its own lines gives the dating.
  Bill(9, 1020002, 2010, "2025-04-02", 1003, 101, "5", "50", "B'4", "'2024-04-01'", "12");
  Bill(10, 1030002, 3001, "2025-04-03", 1003, 101, "1", "10", "B'4", "'2024-04-02'", "10");

  EXPECT_TRUE(Call("AutoCheckBatchNo").is_empty());
  const std::string repaired =
      "11|B1|2024-01-04|12|2024-01-16\n"
      "21|B1|2024-01-04|12|2024-01-16\n"
      "31|B1|2024-01-04|NULL|2024-01-16\n"
      "41|B2|2024-02-01|12|2024-02-13\n"
      "51|B2|2024-02-01|12|2024-02-13\n"
      "61|B3|2024-03-01|12|2024-03-13\n"
      "81|B3|2024-03-09|0|2024-03-09\n";
  EXPECT_EQ(Dump("select FEntryID,FBatchNo,FKFDate,FKFPeriod,FPeriodDate from T_CC_StockBillEntry "
                 "where FBatchNo<>'B''4' order by FEntryID"),
            repaired);
  // B'4: both lines carry the dating of one of them; the shelf lives stay as
  // they were.
  const std::string b4 = Dump(
      "select FKFDate,FPeriodDate from T_CC_StockBillEntry where FBatchNo='B''4' group by "
      "FKFDate,FPeriodDate");
  EXPECT_TRUE(b4 == "2024-04-01|2024-04-13\n" || b4 == "2024-04-02|2024-04-12\n") << b4;
  EXPECT_EQ(
      Dump("select FKFPeriod from T_CC_StockBillEntry where FBatchNo='B''4' order by FEntryID"),
      "12\n10\n");

  // The lines of B'4 still carry two shelf lives, so a second run writes the
  // same dating again; nothing else changes.
  const std::string after_first = Dating();
  EXPECT_TRUE(Call("AutoCheckBatchNo").is_empty());
  EXPECT_EQ(Dating(), after_first);
}

class StatementBatches : public MaintenanceFixture {
 protected:
  void SetUp() override {
    MaintenanceFixture::SetUp();
    Run("Create Table t_BatchLog(FN int Not Null, FChunk int Not Null)");
  }
  // n statements, each logging its index with the chunk number that the first
  // statement of its chunk declared. A variable lives for one batch only: a
  // statement sent in another batch than its declaration fails, and a second
  // declaration in one batch fails too.
  static VariantArray Statements(int n) {
    VariantArray list;
    int chunk = 0;
    for (int i = 0; i < n; ++i) {
      std::string s;
      if (i == 0 || i % 100 == 1) {
        s = "Declare @c int Set @c=" + std::to_string(chunk++) + " ";
      }
      list.push_back(
          Variant(s + "Insert Into t_BatchLog(FN,FChunk) Values(" + std::to_string(i) + ",@c)"));
    }
    return list;
  }
  std::string Chunks() {
    return Dump(
        "select FChunk,count(*),min(FN),max(FN) from t_BatchLog group by FChunk order by FChunk");
  }
};

TEST_F(StatementBatches, TheFirstStatementRunsAloneThenAHundredPerBatch) {
  EXPECT_TRUE(Call("UpdateBatch", {Variant(Statements(250))}).ToBool());
  EXPECT_EQ(Chunks(), "0|1|0|0\n1|100|1|100\n2|100|101|200\n3|49|201|249\n");

  Run("Delete From t_BatchLog");
  EXPECT_TRUE(Call("UpdateBatch", {Variant(Statements(101))}).ToBool());
  EXPECT_EQ(Chunks(), "0|1|0|0\n1|100|1|100\n");

  // An empty list runs nothing and succeeds.
  Run("Delete From t_BatchLog");
  EXPECT_TRUE(Call("UpdateBatch", {Variant(VariantArray{})}).ToBool());
  EXPECT_EQ(Chunks(), "");
}

TEST_F(StatementBatches, AFailingStatementRaisesItsOwnErrorAndUndoesEveryChunk) {
  VariantArray list = Statements(250);
  list[150] = Variant("Insert Into t_NoSuchTable(FN) Values(150)");
  ComError e = CallFailing("UpdateBatch", {Variant(list)});
  EXPECT_NE(e.source, "UpdateStock");
  EXPECT_NE(e.description.find("t_NoSuchTable"), std::string::npos) << e.description;
  EXPECT_EQ(e.number, automation::kErrCommand);
  EXPECT_EQ(Chunks(), "");

  // A list that is no array, or holds something that is no text, is refused
  // clearly.
  ComError not_array = CallFailing("UpdateBatch", {Variant("Delete From t_BatchLog")});
  EXPECT_EQ(not_array.number, automation::kErrTypeMismatch);
  EXPECT_NE(not_array.description.find("oCol"), std::string::npos) << not_array.description;
  VariantArray nested{Variant("Delete From t_BatchLog"), Variant(VariantArray{})};
  ComError bad_element = CallFailing("UpdateBatch", {Variant(nested)});
  EXPECT_NE(bad_element.description.find("element 1"), std::string::npos)
      << bad_element.description;
}

TEST_F(BatchJobs, StockCheckRepairsQuantitiesOnHandAndKeepsTheirAmounts) {
  Run("Insert Into t_CC_Stock_BatchNo(FYear,FPeriod,FStockID,FItemID,FBatchNo,FBegQty,FBegBal) "
      "Values(2025,4,101,1001,'',10,100)");
  Bill(1, 1020002, 2010, "2025-04-03", 1001, 102, "5", "60");
  // All of 1004 in 102 went out again at a lower cost: an amount without quantity is no
  // stock on hand, and the check does not bring back what HandleAbnormalAmt removes.
  Bill(2, 1020002, 2010, "2025-04-04", 1004, 102, "5", "60");
  Bill(3, 1030002, 3001, "2025-04-05", 1004, 102, "5", "50");
  Run("Insert Into T_CC_Inventory(FItemID,FStockID,FQty,FBal) Values(1001,101,7,99)\r\n"
      "Insert Into T_CC_Inventory(FItemID,FStockID,FQty,FBal) Values(1004,101,3,0)");

  const std::string query =
      "select FItemID,FStockID,FQty,FBal from T_CC_Inventory order by FItemID,FStockID";
  for (int run = 0; run < 2; ++run) {
    EXPECT_TRUE(Call("UpdateStock").ToBool());
    EXPECT_EQ(Dump(query), "1001|101|10|99\n1001|102|5|60\n") << "run " << run;
  }
}

class CostPrices : public BatchJobs {
 protected:
  void SetUp() override {
    BatchJobs::SetUp();
    Run("Insert Into t_ICItem(FItemID,FNumber,FName,FTrack,FUnitID,FCostPrice) "
        "Values(1005,'I1005','Priced',77,1,5)\r\n"
        "Update t_ICItem Set FCostPrice=0 Where FItemID=1002\r\n"
        "Update t_ICItem Set FCostPrice=-1 Where FItemID=1003");
    const std::string bal =
        "Insert Into t_CC_Bal(FInterID,FYear,FPeriod,FStockID,FItemID,FBegQty,FBegBal) "
        "Values('100000000000000000000000',";
    // 1001: openings of the start period over two stocks, 25 over 10; the
    // current period's openings do not count.
    Run(bal + "2025,3,101,1001,6,15)\r\n" + bal + "2025,3,102,1001,4,10)\r\n" + bal +
        "2025,4,101,1001,1,99)\r\n" +
        // 1002: an opening quantity without amount falls through to estimated
        // receipts.
        bal + "2025,3,101,1002,10,0)\r\n" +
        // 1005: priced already; its own opening gives 8 over 2 when asked for
        // by name.
        bal + "2025,3,101,1005,2,8)");
    // 1002: audited estimated receipts of the current period, at their bill
    // amount.
    Bill(1, 1020003, 2030, "2025-04-01", 1002, 101, "3", "7");
    Bill(2, 1020003, 2030, "2025-04-05", 1002, 101, "9", "90", "", "Null", "Null", "0");
    Bill(3, 1020003, 2030, "2025-03-31", 1002, 101, "9", "90");
    // 1003: receipts into ordinary stocks at their cost amount; returns and the
    // stock held for others left out. 1004: nothing that prices it.
    Bill(4, 1020002, 2010, "2025-04-30", 1003, 101, "4", "9", "B1");
    Bill(5, 1020002, 2010, "2025-04-10", 1003, 103, "100", "1", "B1");
    Bill(6, 1020002, 2012, "2025-04-11", 1003, 101, "1", "50", "B1");
    Bill(7, 1030002, 3001, "2025-04-11", 1004, 101, "1", "50");
  }
  std::string Prices() { return Dump("select FItemID,FCostPrice from t_ICItem order by FItemID"); }
};

TEST_F(CostPrices, ItemsWithoutAPriceTakeTheFirstSourceWithPositiveFigures) {
  const std::string priced =
      "1001|2.5\n"
      "1002|2.3333333333\n"
      "1003|2.25\n"
      "1004|NULL\n"
      "1005|5\n";
  for (int run = 0; run < 2; ++run) {
    EXPECT_TRUE(Call("AutoUpdateCostPrice").is_empty());
    EXPECT_EQ(Prices(), priced) << "run " << run;
  }
  // Named, an item is priced again whatever it had.
  EXPECT_TRUE(Call("AutoUpdateCostPrice", {Variant(int32_t{1005})}).is_empty());
  EXPECT_EQ(Prices(), "1001|2.5\n1002|2.3333333333\n1003|2.25\n1004|NULL\n1005|4\n");
}

}  // namespace
}  // namespace morvesk::maintenance::test
