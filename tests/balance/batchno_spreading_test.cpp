// Batch-level balances of one period on small companies worked out by hand: which rows a
// price adjustment reaches in each item group, by closing amount or closing quantity, the
// reconciliation with t_CC_Stock, and the openings carried into the current period.
#include <string>

#include "tests/balance/batchno_fixture.h"

namespace morvesk::balance::test {
namespace {

constexpr const char* kDatingA = "'2025-05-31',30,'2025-06-30'";

class BatchNoSpreadingTest : public BatchNoFixture {
 protected:
  void SetUp() override {
    BatchNoFixture::SetUp();
    SetCurrentPeriod(2025, 4);  // as the period close leaves it before this stage
  }
};

// Items costed by batch: a total of one stock, item and batch goes to the expiry rows of that
// batch by closing amount, rounded per row with the residue left out; a batch without any
// closing amount takes it by closing quantity; a total whose stock holds no row goes nowhere.
TEST_F(BatchNoSpreadingTest, BatchCostedTotalsGoToTheRowsOfTheirBatch) {
  Item(2001, 80, 1, 1, 0, 1, 30);
  Opening(2025, 3, 101, 2001, "L1", 0, "10,0,100", 30, "2025-06-30");
  Opening(2025, 3, 101, 2001, "L1", 0, "5,0,50", 30, "2025-07-31");
  Opening(2025, 3, 101, 2001, "L1", 0, "1,0,50", 30, "2025-08-31");
  Opening(2025, 3, 102, 2001, "L2", 0, "4,0,0", 30, "2025-09-30");
  Bill(1, 1040001, 0, "2025-03-05", 1, 2001, 101, 0, "'L1'", 0, "10", "110", "0", kDatingA);
  Bill(2, 1040002, 0, "2025-03-06", 1, 2001, 0, 101, "'L1'", 0, "5", "50", "0", kDatingA);
  Bill(3, 1040008, 0, "2025-03-20", 1, 2001, 101, 0, "'L1'", 0, "0", "10");
  Bill(4, 1020004, 2041, "2025-03-21", 1, 2001, 102, 0, "'L2'", 0, "0", "8");
  Bill(5, 1040008, 0, "2025-03-22", 1, 2001, 103, 0, "'L1'", 0, "0", "7");

  BatchNoResult r = BatchNo(2025, 3, "2025-03-01", "2025-04-01");
  ASSERT_FALSE(r.raised) << r.description;
  EXPECT_TRUE(r.ok);

  // Closing amounts 160, 50, 50 share 10 as 6.15, 1.92, 1.92.
  EXPECT_EQ(BatchRows(2025, 3),
            "101|2001|L1|0|10|0|100|10|0|116.15|5|0|50|15|0|166.15|2025-05-31|30|2025-06-30\n"
            "101|2001|L1|0|5|0|50|0|0|1.92|0|0|0|5|0|51.92|2025-07-01|30|2025-07-31\n"
            "101|2001|L1|0|1|0|50|0|0|1.92|0|0|0|1|0|51.92|2025-08-01|30|2025-08-31\n"
            "102|2001|L2|0|4|0|0|0|0|8|0|0|0|4|0|8|2025-08-31|30|2025-09-30\n");
  EXPECT_EQ(BatchRows(2025, 4),
            "101|2001|L1|0|15|0|166.15|0|0|0|0|0|0|0|0|0|2025-05-31|30|2025-06-30\n"
            "101|2001|L1|0|5|0|51.92|0|0|0|0|0|0|0|0|0|2025-07-01|30|2025-07-31\n"
            "101|2001|L1|0|1|0|51.92|0|0|0|0|0|0|0|0|0|2025-08-01|30|2025-08-31\n"
            "102|2001|L2|0|4|0|8|0|0|0|0|0|0|0|0|0|2025-08-31|30|2025-09-30\n");
  // The adjustment entry took the dating of the batch's receipts at its stock; the others
  // found no receipt of their batch at their stock.
  EXPECT_EQ(Dump("select FEntryID,FKFDate,FKFPeriod,FPeriodDate from T_CC_StockBillEntry "
                 "where FEntryID in (30,40,50) order by FEntryID"),
            "30|2025-05-31|30|2025-06-30\n40|NULL|NULL|NULL\n50|NULL|NULL|NULL\n");
}

// Items not managed by batch: one total of an item and stock reaches every row of the pair.
// Negative closing amounts take negative shares; a pair whose amounts cancel out takes
// nothing; rows without closing amount beside one with an amount take nothing; batch-managed
// items that fit no group are never spread.
TEST_F(BatchNoSpreadingTest, ItemAndStockTotalsReachEveryRowOfThePair) {
  Item(2003, 80, 0, 0, 1, 0);  // auxiliary properties
  Item(2004, 80, 0, 0, 0, 1);  // shelf life
  Item(2005, 80, 0, 0, 0, 0);  // neither
  Item(2007, 80, 1, 0, 0, 0);  // managed by batch, costed by batch, no batch spreading
  Opening(2025, 3, 101, 2003, "", 201, "3,0,30");
  Opening(2025, 3, 101, 2003, "", 202, "1,0,10");
  Opening(2025, 3, 101, 2004, "", 0, "2,0,10", 0, "2025-12-31");
  Opening(2025, 3, 101, 2004, "", 0, "1,0,-5", 0, "2026-01-31");
  Opening(2025, 3, 101, 2005, "", 0, "3,0,30");
  Opening(2025, 3, 101, 2005, "", 0, "3,0,0", 0, "2025-10-31");
  Opening(2025, 3, 102, 2005, "", 0, "3,0,0", 0, "2025-10-31");
  Opening(2025, 3, 102, 2005, "", 0, "1,0,0", 0, "2025-11-30");
  Opening(2025, 3, 103, 2005, "", 0, "1,0,5", 0, "2025-10-31");
  Opening(2025, 3, 103, 2005, "", 0, "1,0,-5", 0, "2025-11-30");
  Opening(2025, 3, 101, 2007, "N1", 0, "1,0,10");
  Bill(1, 1040008, 0, "2025-03-10", 1, 2003, 101, 0, "''", 201, "0", "20");
  Bill(2, 1040008, 0, "2025-03-10", 1, 2004, 101, 0, "''", 0, "0", "30");
  Bill(3, 1040008, 0, "2025-03-10", 1, 2005, 101, 0, "''", 0, "0", "12");
  Bill(4, 1020004, 2040, "2025-03-10", 1, 2005, 102, 0, "''", 0, "0", "8");
  Bill(5, 1040008, 0, "2025-03-10", 1, 2005, 103, 0, "''", 0, "0", "4");
  Bill(6, 1040008, 0, "2025-03-10", 1, 2007, 101, 0, "'N1'", 0, "0", "9");

  BatchNoResult r = BatchNo(2025, 3, "2025-03-01", "2025-04-01");
  ASSERT_FALSE(r.raised) << r.description;

  EXPECT_EQ(BatchRows(2025, 3),
            "101|2003||201|3|0|30|0|0|15|0|0|0|3|0|45|1900-01-01|0|1900-01-01\n"
            "101|2003||202|1|0|10|0|0|5|0|0|0|1|0|15|1900-01-01|0|1900-01-01\n"
            "101|2004||0|2|0|10|0|0|60|0|0|0|2|0|70|2025-12-31|0|2025-12-31\n"
            "101|2004||0|1|0|-5|0|0|-30|0|0|0|1|0|-35|2026-01-31|0|2026-01-31\n"
            "101|2005||0|3|0|30|0|0|12|0|0|0|3|0|42|1900-01-01|0|1900-01-01\n"
            "101|2005||0|3|0|0|0|0|0|0|0|0|3|0|0|2025-10-31|0|2025-10-31\n"
            "101|2007|N1|0|1|0|10|0|0|0|0|0|0|1|0|10|1900-01-01|0|1900-01-01\n"
            "102|2005||0|3|0|0|0|0|6|0|0|0|3|0|6|2025-10-31|0|2025-10-31\n"
            "102|2005||0|1|0|0|0|0|2|0|0|0|1|0|2|2025-11-30|0|2025-11-30\n"
            "103|2005||0|1|0|5|0|0|0|0|0|0|1|0|5|2025-10-31|0|2025-10-31\n"
            "103|2005||0|1|0|-5|0|0|0|0|0|0|1|0|-5|2025-11-30|0|2025-11-30\n");
}

// Items not costed by batch end on the closing amount of t_CC_Stock per stock, item and
// auxiliary property: the difference goes to the row with the largest received amount; a pair
// without a t_CC_Stock row goes to 0; a pair that received nothing is left alone. Stock
// amounts are rounded to cents in the whole table.
TEST_F(BatchNoSpreadingTest, BatchRowsOfOtherCostingMethodsEndOnTheStockBalance) {
  Item(2002, 77, 1, 0, 0, 0);
  Item(2006, 77, 1, 1, 0, 0);
  Opening(2025, 3, 103, 2002, "P3", 0, "1,0,7");
  Bill(1, 1040001, 0, "2025-03-02", 1, 2002, 101, 0, "'P1'", 0, "10", "100");
  Bill(2, 1040001, 0, "2025-03-02", 1, 2002, 101, 0, "'P2'", 0, "10", "300");
  Bill(3, 1040002, 0, "2025-03-03", 1, 2002, 0, 101, "'P1'", 0, "2", "20");
  Bill(4, 1040008, 0, "2025-03-04", 1, 2002, 101, 0, "'P1'", 0, "0", "50");
  Bill(5, 1040001, 0, "2025-03-05", 1, 2002, 102, 0, "'P1'", 0, "1", "10");
  Bill(6, 1040001, 0, "2025-03-06", 1, 2006, 101, 0, "'N1'", 0, "5", "50");
  Bill(7, 1040008, 0, "2025-03-07", 1, 2006, 101, 0, "'N1'", 0, "0", "20");
  Run("Insert Into t_CC_Stock(FYear,FPeriod,FStockID,FItemID,FBatchNo,FAuxPropID,FEndBal) "
      "Values(2025,3,101,2002,'',0,431)\r\n"
      "Insert Into t_CC_Stock(FYear,FPeriod,FStockID,FItemID,FBatchNo,FAuxPropID,FEndBal) "
      "Values(2025,3,101,2006,'',0,70)\r\n"
      "Insert Into T_CC_Inventory(FItemID,FStockID,FBatchNo,FAuxPropID,FQty,FBal) "
      "Values(2002,101,'P1',0,1,1.005)\r\n"
      "Insert Into T_CC_Inventory(FItemID,FStockID,FBatchNo,FAuxPropID,FQty,FBal) "
      "Values(2006,101,'N1',0,1,-2.345)\r\n"
      "Insert Into T_CC_Inventory(FItemID,FStockID,FBatchNo,FAuxPropID,FQty,FBal) "
      "Values(2005,101,'',0,1,3.333333)");

  BatchNoResult r = BatchNo(2025, 3, "2025-03-01", "2025-04-01");
  ASSERT_FALSE(r.raised) << r.description;

  // Shares 10.53 and 39.47 of 50 leave 430 against 431 in t_CC_Stock: P2 takes the 1.
  EXPECT_EQ(BatchRows(2025, 3),
            "101|2002|P1|0|0|0|0|10|0|110.53|2|0|20|8|0|90.53|1900-01-01|0|1900-01-01\n"
            "101|2002|P2|0|0|0|0|10|0|340.47|0|0|0|10|0|340.47|1900-01-01|0|1900-01-01\n"
            "101|2006|N1|0|0|0|0|5|0|70|0|0|0|5|0|70|1900-01-01|0|1900-01-01\n"
            "102|2002|P1|0|0|0|0|1|0|0|0|0|0|1|0|0|1900-01-01|0|1900-01-01\n"
            "103|2002|P3|0|1|0|7|0|0|0|0|0|0|1|0|7|1900-01-01|0|1900-01-01\n");
  EXPECT_EQ(Dump("select FItemID,FBal from T_CC_Inventory order by FItemID"),
            "2002|1.01\n2005|3.33\n2006|-2.35\n");
}

// Two batch rows tie on the largest received amount: the later numbered one (P2, numbered in
// the table's key order) takes the whole difference to t_CC_Stock.
TEST_F(BatchNoSpreadingTest, ReconciliationTieGoesToTheLaterNumberedRow) {
  Item(2002, 77, 1, 0, 0, 0);
  Bill(1, 1040001, 0, "2025-03-02", 1, 2002, 101, 0, "'P1'", 0, "10", "100");
  Bill(2, 1040001, 0, "2025-03-02", 1, 2002, 101, 0, "'P2'", 0, "10", "100");
  Bill(3, 1040001, 0, "2025-03-02", 1, 2002, 101, 0, "'P0'", 0, "10", "40");
  Run("Insert Into t_CC_Stock(FYear,FPeriod,FStockID,FItemID,FBatchNo,FAuxPropID,FEndBal) "
      "Values(2025,3,101,2002,'',0,241)");

  BatchNoResult r = BatchNo(2025, 3, "2025-03-01", "2025-04-01");
  ASSERT_FALSE(r.raised) << r.description;

  EXPECT_EQ(BatchRows(2025, 3),
            "101|2002|P0|0|0|0|0|10|0|40|0|0|0|10|0|40|1900-01-01|0|1900-01-01\n"
            "101|2002|P1|0|0|0|0|10|0|100|0|0|0|10|0|100|1900-01-01|0|1900-01-01\n"
            "101|2002|P2|0|0|0|0|10|0|101|0|0|0|10|0|101|1900-01-01|0|1900-01-01\n");
}

// The rows of a period: openings that can stand, audited movements of the window, rebates
// and adjustments kept out of the movements, production dates recomputed from the expiry
// date. Costing method and filter change nothing; a second run replaces the period but
// carries its closings forward once more.
TEST_F(BatchNoSpreadingTest, PeriodRowsComeFromStandingOpeningsAndAuditedMovements) {
  Item(2008, 80, 1, 1, 0, 1, 1);  // shelf life column 1: openings need an expiry date
  Item(2009, 80, 1, 1, 1, 0);     // auxiliary properties
  Opening(2025, 3, 101, 2008, "D1", 0, "2,0,20");
  Opening(2025, 3, 101, 2008, "D2", 0, "2,0,20", 30, "2025-06-30");
  Opening(2025, 3, 101, 2009, "X1", 0, "1,0,5");
  Opening(2025, 3, 101, 2009, "X1", 201, "1,0,5");
  Opening(2025, 3, 101, 2009, "X2", 201, "0,3,0");
  Bill(1, 1040001, 0, "2025-03-01", 1, 2009, 101, 0, "'X1'", 0, "2", "12");
  Bill(2, 1040001, 0, "2025-04-01", 1, 2009, 101, 0, "'X1'", 201, "1", "6");
  Bill(3, 1040001, 0, "2025-03-10", 0, 2009, 101, 0, "'X1'", 201, "9", "9");
  Bill(4, 1020004, 2042, "2025-03-11", 1, 2009, 101, 0, "'X1'", 201, "1", "0");
  Bill(5, 1020004, 2040, "2025-03-12", 1, 2009, 101, 0, "'X1'", 201, "3", "4");
  Bill(6, 1030004, 3020, "2025-03-13", 1, 2009, 0, 101, "'X1'", 201, "0", "3");
  Bill(7, 1040002, 0, "2025-03-31", 1, 2009, 0, 101, "'X1'", 201, "1", "5");
  Bill(8, 1040001, 0, "2025-03-14", 1, 2008, 101, 0, "'D2'", 0, "1", "10", "0",
       "'2025-05-31',30,'2025-06-30'");
  Bill(9, 1040001, 0, "2025-03-15", 1, 2008, 101, 0, "'D2'", 0, "1", "10", "0",
       "'2025-05-30',30,'2025-06-30'");

  BatchNoResult r = BatchNo(2025, 3, "2025-03-01", "2025-04-01", 3, "FItemID=1");
  ASSERT_FALSE(r.raised) << r.description;

  // The amount rebate of 4 goes wholly to X1 without auxiliary property, the only row of the
  // batch with a closing amount.
  const std::string period3 =
      "101|2008|D2|0|2|0|20|2|0|20|0|0|0|4|0|40|2025-05-31|30|2025-06-30\n"
      "101|2009|X1|0|0|0|0|2|0|16|0|0|0|2|0|16|1900-01-01|0|1900-01-01\n"
      "101|2009|X1|201|1|0|5|1|0|0|1|0|5|1|0|0|1900-01-01|0|1900-01-01\n";
  const std::string period4 =
      "101|2008|D2|0|4|0|40|0|0|0|0|0|0|0|0|0|2025-05-31|30|2025-06-30\n"
      "101|2009|X1|0|2|0|16|0|0|0|0|0|0|0|0|0|1900-01-01|0|1900-01-01\n"
      "101|2009|X1|201|1|0|0|0|0|0|0|0|0|0|0|0|1900-01-01|0|1900-01-01\n";
  EXPECT_EQ(BatchRows(2025, 3), period3);
  EXPECT_EQ(BatchRows(2025, 4), period4);
  EXPECT_EQ(r.err_arg, "");

  r = BatchNo(2025, 3, "2025-03-01", "2025-04-01", 0, "", "kept");
  ASSERT_FALSE(r.raised) << r.description;
  EXPECT_EQ(r.err_arg, "kept");
  EXPECT_EQ(BatchRows(2025, 3), period3);
  EXPECT_EQ(Dump("select count(*) from t_CC_Stock_BatchNo where FYear=2025 and FPeriod=4"), "6\n");
}

// Each per-total command differs from the one before only in its literals. A total with
// more digits than an earlier one (50, then 100) must still spread: the cached translation
// of the first command once overflowed on the second's literal.
TEST_F(BatchNoSpreadingTest, TotalWithMoreDigitsThanTheTotalBeforeItSpreads) {
  Item(2005, 80, 0, 0, 0, 0);
  Opening(2025, 3, 101, 2005, "", 0, "1,0,10");
  Opening(2025, 3, 102, 2005, "", 0, "1,0,10");
  Bill(1, 1040008, 0, "2025-03-10", 1, 2005, 101, 0, "''", 0, "0", "50");
  Bill(2, 1040008, 0, "2025-03-10", 1, 2005, 102, 0, "''", 0, "0", "100");
  BatchNoResult r = BatchNo(2025, 3, "2025-03-01", "2025-04-01");
  ASSERT_FALSE(r.raised) << r.description;
  EXPECT_EQ(BatchRows(2025, 3),
            "101|2005||0|1|0|10|0|0|50|0|0|0|1|0|60|1900-01-01|0|1900-01-01\n"
            "102|2005||0|1|0|10|0|0|100|0|0|0|1|0|110|1900-01-01|0|1900-01-01\n");
}

// A period without openings or movements removes the period's stored rows and carries
// nothing; a date that does not read as a date, and a profile without a current period, are
// raised to the caller with sErrInfo untouched.
TEST_F(BatchNoSpreadingTest, EmptyPeriodAndBadArgumentsRaiseOrClearAsStated) {
  Item(2005, 80, 0, 0, 0, 0);
  Opening(2025, 3, 101, 2005, "", 0, "0,0,0");
  BatchNoResult r = BatchNo(2025, 3, "2025-03-01", "2025-04-01");
  ASSERT_FALSE(r.raised) << r.description;
  EXPECT_EQ(BatchRows(2025, 3), "");
  EXPECT_EQ(BatchRows(2025, 4), "");

  r = BatchNo(2025, 3, "March", "2025-04-01", 0, "", "as passed");
  EXPECT_TRUE(r.raised);
  EXPECT_NE(r.description.find("March"), std::string::npos) << r.description;
  EXPECT_EQ(r.err_arg, "as passed");

  Opening(2025, 3, 101, 2005, "", 0, "1,0,10");
  Run("Delete From t_SystemProfile Where FCategory='IC' And FKey='CurrentPeriod'");
  const std::string before = Everything();
  r = BatchNo(2025, 3, "2025-03-01", "2025-04-01");
  EXPECT_TRUE(r.raised);
  EXPECT_FALSE(r.description.empty());
  EXPECT_EQ(Everything(), before);  // the call's unit of work rolls back on the error
}

}  // namespace
}  // namespace morvesk::balance::test
