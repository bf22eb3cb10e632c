// The period close on small companies whose closing figures were worked out by hand:
// balances of the closed period, spreading of price adjustments, the period advance and the
// opening balances of the next period.
#include <string>

#include "tests/balance/close_fixture.h"

namespace morvesk::balance::test {
namespace {

class PeriodCloseTest : public CloseFixture {
 protected:
  void BalRow(int year, int period, const std::string& lot, int stock, int item,
              const std::string& batch, const std::string& values,
              const std::string& lot_data = "'1900-01-01',0,0,0") {
    Run("Insert Into t_CC_Bal(FInterID,FYear,FPeriod,FStockID,FItemID,FBatchNo,FBegQty,FBegBal,"
        "FReceive,FDebit,FSend,FCredit,FEndQty,FEndBal,FStockInDate,FID,FEntryID,FClassTypeID) "
        "Values('" +
        lot + "'," + std::to_string(year) + "," + std::to_string(period) + "," +
        std::to_string(stock) + "," + std::to_string(item) + "," + batch + "," + values + "," +
        lot_data + ")");
  }
  void StockRow(int year, int period, int stock, int item, const std::string& batch, int aux,
                const std::string& openings, const std::string& dating = "Null,Null,Null") {
    Run("Insert Into t_CC_Stock(FYear,FPeriod,FStockID,FItemID,FBatchNo,FAuxPropID,FBegQty,"
        "FSecBegQty,FBegBal,FKFDate,FKFPeriod,FPeriodDate) Values(" +
        std::to_string(year) + "," + std::to_string(period) + "," + std::to_string(stock) + "," +
        std::to_string(item) + "," + batch + "," + std::to_string(aux) + "," + openings + "," +
        dating + ")");
  }
  static constexpr const char* kSummary = "100000000000000000000000";
};

// Receipts and issues of an ordinary item, a batch item and an item of another costing
// method; a stock of type 502; an unaudited receipt; bills on both edges of the window.
TEST_F(PeriodCloseTest, OrdinaryBatchAndHeldStockBalancesCarryForward) {
  BalRow(2025, 2, kSummary, 101, 1001, "''", "90,450,10,50,0,0,100,500");
  BalRow(2025, 3, kSummary, 101, 1001, "''", "100,500,0,0,0,0,0,0");
  BalRow(2025, 3, kSummary, 102, 1001, "''", "0,0,0,0,0,0,0,0");
  BalRow(2025, 3, kSummary, 101, 1002, "'B1'", "10,100,0,0,0,0,0,0");
  BalRow(2025, 3, kSummary, 105, 1001, "''", "20,100,0,0,0,0,0,0");
  BalRow(2025, 3, kSummary, 101, 1009, "''", "5,50,0,0,0,0,0,0");
  BalRow(2025, 4, kSummary, 101, 1001, "''", "1,1,0,0,0,0,1,1");  // stale, replaced
  StockRow(2025, 3, 101, 1001, "''", 0, "100,0,500");
  StockRow(2025, 3, 101, 1002, "'B1'", 0, "10,0,100", "'2025-05-31',30,'2025-06-30'");
  StockRow(2025, 3, 105, 1001, "''", 0, "20,0,100");
  StockRow(2025, 3, 101, 1009, "''", 0, "5,0,50");
  StockRow(2025, 3, 102, 1001, "''", 0, "0,0,0");
  const std::string b1_dating = "'2025-05-31',30,'2025-06-30'";
  Bill(1, 1040001, 0, "2025-03-05", 1, 1001, 101, 0, "''", 0, "50", "260", "5");
  Bill(2, 1040002, 0, "2025-03-10", 1, 1001, 0, 101, "''", 0, "30", "160", "3");
  Bill(3, 1040001, 0, "2025-04-01", 1, 1001, 101, 0, "''", 0, "7", "7");
  Bill(4, 1040001, 0, "2025-03-01", 1, 1002, 101, 0, "'B1'", 0, "5", "55", "0", b1_dating);
  Bill(5, 1040002, 0, "2025-03-20", 1, 1002, 0, 101, "'B1'", 0, "15", "155", "0", b1_dating);
  Bill(6, 1040001, 0, "2025-03-12", 1, 1001, 105, 0, "''", 0, "10", "50");
  Bill(7, 1040001, 0, "2025-03-13", 0, 1001, 101, 0, "''", 0, "1", "9");
  Bill(8, 1040008, 0, "2025-03-15", 1, 1001, 101, 0, "''", 0, "0", "12");
  Bill(9, 1040001, 0, "2025-03-16", 1, 1009, 101, 0, "''", 0, "2", "20");
  Bill(10, 1040001, 0, "2025-02-27", 1, 1001, 101, 0, "''", 0, "3", "3");
  Run("Insert Into TempWriteBack(FID,FEntryID,FClassTypeID,FItemID,FStockID,FQty,FCostAmount,"
      "FPrice) Values(1,10,1040001,1001,101,1,1,1)");

  CloseResult r = Close(2025, 3, "2025-03-01", "2025-04-01");
  ASSERT_TRUE(r.ok) << r.message;

  // Unaudited receipts count here; the held stock keeps its openings; the all-zero row and
  // bills outside the window are gone.
  EXPECT_EQ(Bal(2025, 3),
            "100000000000000000000000|101|1001||100|500|51|281|30|160|121|621|1900-01-01|0|0|0\n"
            "100000000000000000000000|101|1002|B1|10|100|5|55|15|155|0|0|1900-01-01|0|0|0\n"
            "100000000000000000000000|101|1009||5|50|2|20|0|0|7|70|1900-01-01|0|0|0\n"
            "100000000000000000000000|105|1001||20|100|0|0|0|0|20|100|1900-01-01|0|0|0\n");
  EXPECT_EQ(Bal(2025, 4),
            "100000000000000000000000|101|1001||121|621|0|0|0|0|0|0|1900-01-01|0|0|0\n"
            "100000000000000000000000|101|1009||7|70|0|0|0|0|0|0|1900-01-01|0|0|0\n"
            "100000000000000000000000|105|1001||20|100|0|0|0|0|0|0|1900-01-01|0|0|0\n");
  EXPECT_EQ(Bal(2025, 2),
            "100000000000000000000000|101|1001||90|450|10|50|0|0|100|500|1900-01-01|0|0|0\n");

  // Audited movements only, the held stock included, the adjustment of an item without
  // variants as a plain receipt; another costing method keeps its openings only.
  EXPECT_EQ(Stock(2025, 3),
            "101|1001||0|100|0|500|50|5|272|30|3|160|120|2|612|1900-01-01|0|1900-01-01\n"
            "101|1002|B1|0|10|0|100|5|0|55|15|0|155|0|0|0|2025-05-31|30|2025-06-30\n"
            "101|1009||0|5|0|50|0|0|0|0|0|0|5|0|50|NULL|NULL|1900-01-01\n"
            "105|1001||0|20|0|100|10|0|50|0|0|0|30|0|150|1900-01-01|0|1900-01-01\n");
  // Rows that closed at zero are carried too.
  EXPECT_EQ(Stock(2025, 4),
            "101|1001||0|120|2|612|0|0|0|0|0|0|0|0|0|1900-01-01|0|1900-01-01\n"
            "101|1002|B1|0|0|0|0|0|0|0|0|0|0|0|0|0|2025-05-31|30|2025-06-30\n"
            "101|1009||0|5|0|50|0|0|0|0|0|0|0|0|0|NULL|NULL|1900-01-01\n"
            "105|1001||0|30|0|150|0|0|0|0|0|0|0|0|0|1900-01-01|0|1900-01-01\n");
  EXPECT_EQ(Profile(),
            "Base|AcctountingClosed|0\n"
            "GL|PeriodCount|12\n"
            "IC|CalculateType|1\n"
            "IC|CurrentPeriod|4\n"
            "IC|CurrentYear|2025\n");
  EXPECT_EQ(Dump("select count(*) from TempWriteBack"), "0\n");
}

// Lots of a lot-by-lot item: issues come from the quick balance; a stock holding a lot with
// quantity but no amount, or a marked lot, is consolidated into one row dated the period's
// last day; the lots of a clean stock are renumbered; every identifier ends in its FIdentity.
TEST_F(PeriodCloseTest, LotsOfSuspiciousStocksConsolidateAndCleanOnesAreRenumbered) {
  const std::string l2 = "'2025-03-05',900012,121,1040001";
  BalRow(2025, 3, "100000000000000000900011", 101, 1003, "''", "10,50,0,0,1,5,0,0",
         "'2025-01-10',900011,111,1020002");
  BalRow(2025, 3, "100000000000000000900012", 101, 1003, "''", "0,0,5,0,0,0,0,0", l2);
  BalRow(2025, 3, "100000000000000000900013", 102, 1003, "''", "4,24,0,0,0,0,0,0",
         "'2025-02-15',900013,131,1020002");
  BalRow(2025, 3, "100000000000000000900014", 102, 1003, "''", "0,0,10,65,0,0,0,0",
         "'2025-03-12',900014,141,1020002");
  BalRow(2025, 3, "100000000000000000900015", 102, 1003, "''", "3,18,0,0,0,0,0,0",
         "'2025-01-20',900015,151,1020002");
  BalRow(2025, 3, "100000000000000000900016", 102, 1003, "''", "0,0,0,0,0,0,0,0",
         "'2025-01-21',900016,161,1020002");
  BalRow(2025, 3, "200000000000000000000000", 103, 1003, "''", "2,12,0,0,0,0,0,0",
         "'2025-01-22',900017,171,1020002");
  BalRow(2025, 3, "100000000000000000900018", 103, 1003, "''", "1,7,0,0,0,0,0,0",
         "'2025-01-23',900018,181,1020002");
  Run("Insert Into ICSpeedBal(FInterID,FDate,FStockID,FItemID,FQty,FAmount) "
      "Values('100000000000000000900011','2025-03-15',101,1003,2,10)\r\n"
      "Insert Into ICSpeedBal(FInterID,FDate,FStockID,FItemID,FQty,FAmount) "
      "Values('100000000000000000900015','2025-03-20',102,1003,3,18)\r\n"
      "Insert Into ICSpeedBal(FInterID,FDate,FStockID,FItemID,FQty,FAmount) "
      "Values('100000000000000000900011','2025-04-02',101,1003,1,5)");

  CloseResult r = Close(2025, 3, "2025-03-01", "2025-04-01");
  ASSERT_TRUE(r.ok) << r.message;

  EXPECT_EQ(Bal(2025, 3),
            "100000000000000000900011|101|1003||10|50|0|0|2|10|8|40|2025-01-10|900011|111|1020002\n"
            "100000000000000000900012|101|1003||0|0|5|0|0|0|5|0|2025-03-05|900012|121|1040001\n"
            "100000000000000000900015|102|1003||3|18|0|0|3|18|0|0|2025-01-20|900015|151|1020002\n"
            "100000000000000000900013|102|1003||4|24|0|0|0|0|4|24|2025-02-15|900013|131|1020002\n"
            "100000000000000000900014|102|1003||0|0|10|65|0|0|10|65|2025-03-12|900014|141|1020002\n"
            "200000000000000000000000|103|1003||2|12|0|0|0|0|2|12|2025-01-22|900017|171|1020002\n"
            "100000000000000000900018|103|1003||1|7|0|0|0|0|1|7|2025-01-23|900018|181|1020002\n");
  EXPECT_EQ(Bal(2025, 4),
            "#id|101|1003||13|40|0|0|0|0|0|0|2025-03-31|0|0|0\n"
            "#id|102|1003||4|24|0|0|0|0|0|0|2025-02-15|#id|0|0\n"
            "#id|102|1003||10|65|0|0|0|0|0|0|2025-03-12|#id|0|0\n"
            "#id|103|1003||3|19|0|0|0|0|0|0|2025-03-31|0|0|0\n");
  // The renumbering seed follows the highest FIdentity of the period's other rows.
  EXPECT_EQ(Dump("select count(*) from t_CC_Bal a inner join t_CC_Bal b on b.FYear=2025 and "
                 "b.FPeriod=4 and b.FID=0 where a.FYear=2025 and a.FPeriod=4 and a.FID<>0 and "
                 "a.FID<=b.FIdentity"),
            "0\n");
}

// Adjustments of items kept by auxiliary property are spread over the variants one at a time:
// by closing amounts, or by closing quantities when the amounts sum to zero, each one seeing
// the adjustments booked before it. A key without rows absorbs nothing; an unaudited
// adjustment is not spread but counts in the balance by batch.
TEST_F(PeriodCloseTest, AdjustmentsSpreadOverVariantsByAmountThenByQuantity) {
  const std::string p1 = "'P''1'";
  const std::string dating = "'2025-07-31',61,'2025-09-30'";
  BalRow(2025, 3, kSummary, 102, 1004, p1, "4,100,0,0,0,0,0,0");
  BalRow(2025, 3, kSummary, 101, 1006, "''", "4,0,0,0,0,0,0,0");
  StockRow(2025, 3, 102, 1004, p1, 201, "1,0,30", dating);
  StockRow(2025, 3, 102, 1004, p1, 202, "3,0,70", dating);
  StockRow(2025, 3, 101, 1006, "''", 201, "1,0,10");
  StockRow(2025, 3, 101, 1006, "''", 202, "3,0,-10");
  Bill(21, 1040008, 0, "2025-03-10", 1, 1004, 102, 0, p1, 0, "0", "100");
  Bill(22, 1040008, 0, "2025-03-11", 1, 1006, 101, 0, "''", 0, "0", "100");
  Bill(23, 1020004, 2041, "2025-03-12", 1, 1006, 101, 0, "''", 0, "0", "20");
  Bill(24, 1040008, 0, "2025-03-13", 1, 1006, 102, 0, "''", 0, "0", "50");
  Bill(25, 1040008, 0, "2025-03-14", 0, 1004, 102, 0, p1, 0, "0", "1000");

  CloseResult r = Close(2025, 3, "2025-03-01", "2025-04-01");
  ASSERT_TRUE(r.ok) << r.message;

  EXPECT_EQ(Stock(2025, 3),
            "101|1006||201|1|0|10|0|0|32|0|0|0|1|0|42|NULL|NULL|1900-01-01\n"
            "101|1006||202|3|0|-10|0|0|88|0|0|0|3|0|78|NULL|NULL|1900-01-01\n"
            "102|1004|P'1|201|1|0|30|0|0|30|0|0|0|1|0|60|2025-07-31|61|2025-09-30\n"
            "102|1004|P'1|202|3|0|70|0|0|70|0|0|0|3|0|140|2025-07-31|61|2025-09-30\n");
  EXPECT_EQ(Bal(2025, 3),
            "100000000000000000000000|101|1006||4|0|0|120|0|0|4|120|1900-01-01|0|0|0\n"
            "100000000000000000000000|102|1004|P'1|4|100|0|1100|0|0|4|1200|1900-01-01|0|0|0\n"
            "100000000000000000000000|102|1006||0|0|0|50|0|0|0|50|1900-01-01|0|0|0\n");
  EXPECT_EQ(Stock(2025, 4),
            "101|1006||201|1|0|42|0|0|0|0|0|0|0|0|0|NULL|NULL|1900-01-01\n"
            "101|1006||202|3|0|78|0|0|0|0|0|0|0|0|0|NULL|NULL|1900-01-01\n"
            "102|1004|P'1|201|1|0|60|0|0|0|0|0|0|0|0|0|2025-07-31|61|2025-09-30\n"
            "102|1004|P'1|202|3|0|140|0|0|0|0|0|0|0|0|0|2025-07-31|61|2025-09-30\n");
}

// The last period of the year opens period 1 of the next year.
TEST_F(PeriodCloseTest, LastPeriodOfYearOpensFirstPeriodOfNextYear) {
  Run("Update t_SystemProfile Set FValue='12' Where FCategory='IC' And FKey='CurrentPeriod'");
  BalRow(2025, 12, kSummary, 101, 1001, "''", "5,25,0,0,0,0,0,0");
  StockRow(2025, 12, 101, 1001, "''", 0, "5,0,25");
  Bill(31, 1040001, 0, "2025-12-31", 1, 1001, 101, 0, "''", 0, "1", "5");
  Bill(32, 1040001, 0, "2026-01-01", 1, 1001, 101, 0, "''", 0, "1", "7");

  CloseResult r = Close(2025, 12, "2025-12-01", "2026-01-01");
  ASSERT_TRUE(r.ok) << r.message;

  EXPECT_EQ(Bal(2026, 1), "100000000000000000000000|101|1001||6|30|0|0|0|0|0|0|1900-01-01|0|0|0\n");
  EXPECT_EQ(Stock(2026, 1), "101|1001||0|6|0|30|0|0|0|0|0|0|0|0|0|1900-01-01|0|1900-01-01\n");
  EXPECT_EQ(Profile(),
            "Base|AcctountingClosed|0\n"
            "GL|PeriodCount|12\n"
            "IC|CalculateType|1\n"
            "IC|CurrentPeriod|1\n"
            "IC|CurrentYear|2026\n");
}

// A close that fails leaves every table as it was: a period count that is empty, zero or
// missing stops it with its message; next-period rows already present under t_CC_Stock's key
// stop it with the batch-number message.
TEST_F(PeriodCloseTest, FailedCloseLeavesEveryTableAsItWas) {
  BalRow(2025, 3, kSummary, 101, 1001, "''", "100,500,0,0,0,0,0,0");
  StockRow(2025, 3, 101, 1001, "''", 0, "100,0,500");
  Bill(1, 1040001, 0, "2025-03-05", 1, 1001, 101, 0, "''", 0, "50", "260");
  Run("Insert Into CalculateLog(FTime,FItemID,FStockID,FResult) Values('2025-03-31',1001,101,0)");

  for (const char* count : {"''", "'0'", "Null", "'abc'"}) {
    Run(std::string("Update t_SystemProfile Set FValue=") + count +
        " Where FCategory='GL' And FKey='PeriodCount'");
    const std::string before = Everything();
    CloseResult r = Close(2025, 3, "2025-03-01", "2025-04-01");
    EXPECT_FALSE(r.ok) << count;
    EXPECT_EQ(r.message, "取最大期间出错！") << count;
    EXPECT_EQ(Everything(), before) << count;
  }

  Run("Delete From t_SystemProfile Where FCategory='GL' And FKey='PeriodCount'");
  std::string before = Everything();
  CloseResult r = Close(2025, 3, "2025-03-01", "2025-04-01");
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.message, "取最大期间出错！");
  EXPECT_EQ(Everything(), before);

  Run("Insert Into t_SystemProfile(FCategory,FKey,FValue) Values('GL','PeriodCount','12')");
  StockRow(2025, 4, 101, 1001, "''", 0, "1,0,1");
  before = Everything();
  r = Close(2025, 3, "2025-03-01", "2025-04-01");
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.message, "发现批号相关错误数据：相同批号存在不同生产日期或保质期");
  EXPECT_EQ(Everything(), before);
}

}  // namespace
}  // namespace morvesk::balance::test
