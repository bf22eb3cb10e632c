// The stock on hand and period balance jobs on the damage they repair, called
// by name; each is run twice to show that a second run finds nothing left to
// do.
#include <string>

#include "maintenance_fixture.h"

namespace morvesk::maintenance::test {
namespace {

class BalanceJobs : public MaintenanceFixture {
 protected:
  void Inventory(int item, int stock, const std::string& qty, const std::string& bal,
                 const std::string& batch = "") {
    Run("Insert Into T_CC_Inventory(FItemID,FStockID,FBatchNo,FQty,FBal) Values(" +
        std::to_string(item) + "," + std::to_string(stock) + ",'" + batch + "'," + qty + "," + bal +
        ")");
  }
  std::string OnHand() {
    return Dump(
        "select FItemID,FStockID,FBatchNo,FQty,FBal from T_CC_Inventory order by "
        "FItemID,FStockID,FBatchNo");
  }
};

TEST_F(BalanceJobs, AbnormalAmountsAreSpreadOverTheItemsRowsWithQuantityAndTheirRowsDeleted) {
  Inventory(1001, 101, "10", "100");  // 120 over 10: price 12
  Inventory(1001, 102, "0", "20");
  Inventory(1002, 101, "5",
            "50");  // quantities cancel out: no price, the 3 is lost
  Inventory(1002, 102, "-5", "-40");
  Inventory(1002, 103, "0", "3");
  Inventory(1003, 101, "4", "10", "B1");  // nothing abnormal: untouched
  Inventory(1003, 102, "2", "5", "B1");
  Inventory(1004, 101, "3",
            "10");  // 11 over 3: the quotient is cut at 6 places, 3.666666
  Inventory(1004, 102, "0", "1");
  Inventory(1004, 103, "0", "0");  // no amount: not abnormal, stays

  EXPECT_EQ(Call("HandleAbnormalAmt").ToLong(), 0);
  const std::string repaired =
      "1001|101||10|120\n"
      "1002|101||5|50\n"
      "1002|102||-5|-40\n"
      "1003|101|B1|4|10\n"
      "1003|102|B1|2|5\n"
      "1004|101||3|10.999998\n"
      "1004|103||0|0\n";
  EXPECT_EQ(OnHand(), repaired);

  EXPECT_EQ(Call("HandleAbnormalAmt").ToLong(), 0);
  EXPECT_EQ(OnHand(), repaired);
}

TEST_F(BalanceJobs, StockOnHandIsRebuiltFromTheOpeningsAndTheAuditedMovementsSinceThePeriod) {
  Run("Insert Into t_CC_Stock_BatchNo(FYear,FPeriod,FStockID,FItemID,FBatchNo,FBegQty,FBegBal) "
      "Values(2025,4,101,1001,'',10,100)\r\n"
      "Insert Into t_CC_Stock_BatchNo(FYear,FPeriod,FStockID,FItemID,FBatchNo,FBegQty,FBegBal) "
      "Values(2025,3,101,1001,'',99,990)\r\n"  // an earlier period's opening:
                                               // not counted
      "Insert Into t_CC_Stock_BatchNo(FYear,FPeriod,FStockID,FItemID,FBatchNo,FBegQty,FBegBal) "
      "Values(2025,4,102,1003,'B1',2,20)");
  Bill(1, 1020002, 2010, "2025-04-03", 1001, 101, "5", "60");
  Bill(2, 1030002, 3001, "2025-04-10", 1001, 101, "3", "33");
  Bill(3, 1020002, 2010, "2025-05-02", 1003, 102, "4", "40",
       "B1");  // later dates count
  Bill(4, 1020002, 2010, "2025-03-31", 1004, 101, "7",
       "70");  // before the period
  Bill(5, 1020002, 2010, "2025-04-11", 1004, 102, "8", "80", "", "Null", "Null", "0");
  Bill(6, 1040007, 0, "2025-04-12", 1004, 101, "1",
       "0");  // transfer: out of 101, into 0
  // Stale rows: a wrong quantity, an item sold out long ago.
  Inventory(1001, 101, "1", "1");
  Inventory(1002, 101, "4", "44");

  EXPECT_EQ(Call("UpdateInventory").ToLong(), 0);
  const std::string rebuilt =
      "1001|101||12|127\n"
      "1003|102|B1|6|60\n";
  EXPECT_EQ(OnHand(), rebuilt);
  EXPECT_EQ(Call("UpdateInventory").ToLong(), 0);
  EXPECT_EQ(OnHand(), rebuilt);
}

TEST_F(BalanceJobs, LotItemsLoseTheCurrentPeriodsMovementsAndClosingsOnly) {
  const std::string columns =
      "Insert Into "
      "t_CC_Bal(FInterID,FYear,FPeriod,FStockID,FItemID,FBegQty,FBegBal,FReceive,FDebit,FSend,"
      "FCredit,FEndQty,FEndBal) Values(";
  Run(columns + "'300000000000000000000001',2025,4,101,1002,5,50,3,33,2,21,6,62)\r\n" + columns +
      "'300000000000000000000002',2025,4,102,1002,0,0,4,40,1,10,3,30)\r\n" + columns +
      "'300000000000000000000003',2025,3,101,1002,1,10,4,40,0,0,5,50)\r\n" + columns +
      "'100000000000000000000000',2025,4,101,1001,1,10,4,40,2,20,3,30)");
  EXPECT_EQ(Call("DeleteBal78").ToLong(), 0);
  const std::string cleared =
      "2025|3|1002|1|10|4|40|0|0|5|50\n"
      "2025|4|1001|1|10|4|40|2|20|3|30\n"
      "2025|4|1002|5|50|0|0|0|0|0|0\n"
      "2025|4|1002|0|0|0|0|0|0|0|0\n";
  const std::string query =
      "select FYear,FPeriod,FItemID,FBegQty,FBegBal,FReceive,FDebit,FSend,FCredit,FEndQty,FEndBal "
      "from t_CC_Bal order by FYear,FPeriod,FItemID,FIdentity";
  EXPECT_EQ(Dump(query), cleared);
  EXPECT_EQ(Call("DeleteBal78").ToLong(), 0);
  EXPECT_EQ(Dump(query), cleared);
}

TEST_F(BalanceJobs, SettlementBalancesOfAPeriodComeFromItsAuditedMoneyBillsAndThePreviousOne) {
  Run("Insert Into t_SettleAcctBalance(FYear,FPeriod,FAcctID,FBegBal,FDebit,FCredit,FEndBal) "
      "Values(2025,3,1,0,500,0,500)\r\n"
      "Insert Into t_SettleAcctBalance(FYear,FPeriod,FAcctID,FBegBal,FDebit,FCredit,FEndBal) "
      "Values(2025,3,3,0,70,0,70)\r\n"
      // A stale row of the period: replaced.
      "Insert Into t_SettleAcctBalance(FYear,FPeriod,FAcctID,FBegBal,FDebit,FCredit,FEndBal) "
      "Values(2025,4,9,1,1,1,1)\r\n"
      "Insert Into t_RP_RBill(FID,FBillNo,FClassTypeID,FDate,FStatus,FAcctID,FAmount) "
      "Values(1,'R1',1010001,'2025-04-02',1,1,300)\r\n"
      "Insert Into t_RP_RBill(FID,FBillNo,FClassTypeID,FDate,FStatus,FAcctID,FAmount) "
      "Values(2,'R2',1010001,'2025-04-30',0,1,999)\r\n"  // not audited
      "Insert Into t_RP_PBill(FID,FBillNo,FClassTypeID,FDate,FStatus,FAcctID,FAmount) "
      "Values(3,'P3',1010002,'2025-04-30',1,1,120)\r\n"
      "Insert Into t_RP_BankBill(FID,FBillNo,FClassTypeID,FDate,FStatus,FAcctID,FAmount) "
      "Values(4,'K4',1010007,'2025-04-15',1,2,-40)\r\n"
      "Insert Into t_RP_BankBill(FID,FBillNo,FClassTypeID,FDate,FStatus,FAcctID,FAmount) "
      "Values(5,'K5',1010007,'2025-05-01',1,2,1000)");  // next period

  const std::string query =
      "select FPeriod,FAcctID,FBegBal,FDebit,FCredit,FEndBal from t_SettleAcctBalance order by "
      "FYear,FPeriod,FAcctID";
  const std::string expected =
      "3|1|0|500|0|500\n"
      "3|3|0|70|0|70\n"
      "4|1|500|300|120|680\n"
      "4|2|0|0|40|-40\n"
      "4|3|70|0|0|70\n";
  for (int run = 0; run < 2; ++run) {
    Variant result = Call("UpdateSettleAcctBal", {Variant(int32_t{2025}), Variant(int32_t{4})});
    EXPECT_TRUE(result.is_empty());
    EXPECT_EQ(Dump(query), expected) << "run " << run;
  }
}

TEST_F(BalanceJobs, PartnerBalancesRefreshCompletesWithAnEmptyResult) {
  Inventory(1001, 101, "1", "1");
  const std::string before = Snapshot();
  EXPECT_TRUE(Call("UpdateComeGoBalance").is_empty());
  EXPECT_EQ(Snapshot(), before);
}

}  // namespace
}  // namespace morvesk::maintenance::test
