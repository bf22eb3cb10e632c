// The whole period close with its batch-tracked stage: two consecutive periods closed by name,
// each building on what the first wrote, and a failure inside the batch-tracked stage that
// takes the whole close back, the rebuilt balances and the period advance included.
#include <string>

#include "tests/balance/batchno_fixture.h"

namespace morvesk::balance::test {
namespace {

class BatchNoCloseTest : public BatchNoFixture {
 protected:
  // Item 2001 costed by batch, item 2002 managed by batch but costed per stock.
  void PeriodThreeCompany() {
    Item(2001, 80, 1, 1, 0, 0);
    Item(2002, 77, 1, 0, 0, 0);
    Bill(1, 1040001, 0, "2025-03-02", 1, 2001, 101, 0, "'L1'", 0, "3", "30");
    Bill(2, 1040008, 0, "2025-03-03", 1, 2001, 101, 0, "'L1'", 0, "0", "10");
    Bill(3, 1040001, 0, "2025-03-04", 1, 2002, 101, 0, "'P1'", 0, "10", "150");
    Bill(4, 1040001, 0, "2025-03-04", 1, 2002, 101, 0, "'P2'", 0, "10", "100");
    Bill(5, 1040001, 0, "2025-03-04", 1, 2002, 101, 0, "'P3'", 0, "10", "100");
    Bill(6, 1040002, 0, "2025-03-05", 1, 2002, 0, 101, "'P1'", 0, "5", "50");
    Bill(7, 1040008, 0, "2025-03-06", 1, 2002, 101, 0, "''", 0, "0", "10");
  }

  // Closing amount per stock and item of both balance tables; they agree once reconciled.
  std::string BatchTotals(int year, int period) {
    return Dump("select FStockID,FItemID,sum(FEndBal) from t_CC_Stock_BatchNo where FYear=" +
                std::to_string(year) + " and FPeriod=" + std::to_string(period) +
                " group by FStockID,FItemID order by FStockID,FItemID");
  }
  std::string StockTotals(int year, int period) {
    return Dump("select FStockID,FItemID,sum(FEndBal) from t_CC_Stock where FYear=" +
                std::to_string(year) + " and FPeriod=" + std::to_string(period) +
                " group by FStockID,FItemID order by FStockID,FItemID");
  }
};

TEST_F(BatchNoCloseTest, TwoConsecutivePeriodsCloseOnWhatTheFirstWrote) {
  PeriodThreeCompany();
  CloseResult r = Close(2025, 3, "2025-03-01", "2025-04-01");
  ASSERT_TRUE(r.ok) << r.message;

  // 10 over three closing amounts of 100 gives 3.33 each; the cent left over goes to P1,
  // which received most, so the batches add up to t_CC_Stock's 310.
  EXPECT_EQ(BatchRows(2025, 3),
            "101|2001|L1|0|0|0|0|3|0|40|0|0|0|3|0|40|1900-01-01|0|1900-01-01\n"
            "101|2002|P1|0|0|0|0|10|0|153.34|5|0|50|5|0|103.34|1900-01-01|0|1900-01-01\n"
            "101|2002|P2|0|0|0|0|10|0|103.33|0|0|0|10|0|103.33|1900-01-01|0|1900-01-01\n"
            "101|2002|P3|0|0|0|0|10|0|103.33|0|0|0|10|0|103.33|1900-01-01|0|1900-01-01\n");
  EXPECT_EQ(BatchTotals(2025, 3), StockTotals(2025, 3));
  EXPECT_EQ(Dump("select FValue from t_SystemProfile where FCategory='IC' and "
                 "FKey='CurrentPeriod'"),
            "4\n");

  Bill(11, 1040002, 0, "2025-04-02", 1, 2001, 0, 101, "'L1'", 0, "1", "13.33");
  Bill(12, 1040002, 0, "2025-04-03", 1, 2002, 0, 101, "'P1'", 0, "1", "10.33");
  Bill(13, 1040001, 0, "2025-04-04", 1, 2002, 101, 0, "'P2'", 0, "1", "10");
  Bill(14, 1040008, 0, "2025-04-05", 1, 2002, 101, 0, "''", 0, "0", "6");
  r = Close(2025, 4, "2025-04-01", "2025-05-01");
  ASSERT_TRUE(r.ok) << r.message;

  // Openings are the first close's carried rows; 6 spreads as 1.80, 2.20 and 2.00 over
  // closing amounts 93.01, 113.33 and 103.33.
  EXPECT_EQ(BatchRows(2025, 4),
            "101|2001|L1|0|3|0|40|0|0|0|1|0|13.33|2|0|26.67|1900-01-01|0|1900-01-01\n"
            "101|2002|P1|0|5|0|103.34|0|0|1.8|1|0|10.33|4|0|94.81|1900-01-01|0|1900-01-01\n"
            "101|2002|P2|0|10|0|103.33|1|0|12.2|0|0|0|11|0|115.53|1900-01-01|0|1900-01-01\n"
            "101|2002|P3|0|10|0|103.33|0|0|2|0|0|0|10|0|105.33|1900-01-01|0|1900-01-01\n");
  EXPECT_EQ(BatchTotals(2025, 4), StockTotals(2025, 4));
  EXPECT_EQ(BatchRows(2025, 5),
            "101|2001|L1|0|2|0|26.67|0|0|0|0|0|0|0|0|0|1900-01-01|0|1900-01-01\n"
            "101|2002|P1|0|4|0|94.81|0|0|0|0|0|0|0|0|0|1900-01-01|0|1900-01-01\n"
            "101|2002|P2|0|11|0|115.53|0|0|0|0|0|0|0|0|0|1900-01-01|0|1900-01-01\n"
            "101|2002|P3|0|10|0|105.33|0|0|0|0|0|0|0|0|0|1900-01-01|0|1900-01-01\n");
  EXPECT_EQ(Dump("select FValue from t_SystemProfile where FCategory='IC' and "
                 "FKey='CurrentPeriod'"),
            "5\n");
}

// Whichever command of the batch-tracked stage fails, the close reports the database's
// message and every table is as before the call: the first stage's balances, the period
// advance and the bill entries included.
TEST_F(BatchNoCloseTest, FailureInTheBatchTrackedStageTakesTheWholeCloseBack) {
  PeriodThreeCompany();
  for (const char* marker : {"into #t_CC_Stock_BatchNo", "into #DUAT_CC_Bal",
                             "#t_CC_Stock_BatchNo01",
                             "t_CC_Stock_BatchNo(FYear,FPeriod,FStockID,FItemID,FBatchNo,"
                             "FAuxPropID,FBegQty,FSecBegQty,FBegBal,FKFDate"}) {
    const std::string before = Everything();
    FailOnBatchWith(marker);
    CloseResult r = Close(2025, 3, "2025-03-01", "2025-04-01");
    EXPECT_FALSE(r.ok) << marker;
    EXPECT_EQ(r.message, "injected failure") << marker;
    EXPECT_EQ(Everything(), before) << marker;
  }
  host::SetSessionOpener(nullptr);
  CloseResult r = Close(2025, 3, "2025-03-01", "2025-04-01");
  ASSERT_TRUE(r.ok) << r.message;
  EXPECT_NE(BatchRows(2025, 4), "");
}

}  // namespace
}  // namespace morvesk::balance::test
