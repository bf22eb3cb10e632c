// The return to an earlier period, called by name on a small company whose inventory side stands in
// 2025/5 after closing 2025/3 and 2025/4.
#include <string>
#include <vector>

#include "closing_fixture.h"

namespace morvesk::closing::test {
namespace {

class PeriodReturn : public ClosingFixture {
 protected:
  void SetUp() override {
    ClosingFixture::SetUp();
    SetProfile("IC", "CurrentPeriod", "'5'");
    SetProfile("IC", "CalculateType", "'1'");
    SetProfile("Base", "AcctountingClosed", "'1'");
    Run("Insert Into t_Stock(FItemID,FNumber,FName,FTypeID) Values(105,'S105','Held',502)\r\n"
        "Insert Into t_ICItem(FItemID,FNumber,FName,FTrack,FISAuxi,FUnitID) "
        "Values(1003,'I1003','Average',76,0,1)");
    for (int period : {3, 4, 5}) {
      const std::string p = std::to_string(period);
      Balance(p, 101, 1001, "", "10,100,5,50,3,30,12,120");
      Balance(p, 102, 1001, "", "4,44,0,0,1,11,3,33");
      Balance(p, 105, 1001, "", "2,20,0,0,0,0,2,20");
      Balance(p, 101, 1002, "B1", "6,60,1,10,0,0,7,70");
      Balance(p, 101, 1003, "", "7,70,0,0,7,70,0,0");
      for (const char* table : {"t_CC_Stock", "t_CC_Stock_BatchNo"}) {
        Run(std::string("Insert Into ") + table +
            "(FYear,FPeriod,FStockID,FItemID,FBatchNo,FBegQty,FBegBal,FReceive,FDebit,FSend,"
            "FCredit,FEndQty,FSecEndQty,FEndBal) Values(2025," +
            p + ",101,1001,'',10,100,5,50,3,30,12,1.2,120)");
      }
      Run("Insert Into t_SettleAcctBalance(FYear,FPeriod,FAcctID,FBegBal,FEndBal) Values(2025," +
          p + ",1,500,600)");
    }
    Adjustment(11, 1040008, 1, "2025-04-30");  // the period's last day
    Adjustment(12, 1040008, 1, "2025-04-01");
    Adjustment(13, 1040008, 0, "2025-04-15");  // entered by hand
    Adjustment(14, 1040008, 1, "2025-05-02");  // the current period's
    Adjustment(15, 1040008, 1, "2025-03-31");
    Adjustment(16, 1020002, 1, "2025-04-10");  // a receipt of type 1
    Run("Insert Into "
        "ICSpeedBal(FID,FInterID,FEntryID,FClassTypeID,FBillTypeID,FDate,FStockID,FItemID,FQty,"
        "FAmount) "
        "Values(7,'300000000070000000000001',8,1030002,3001,'2025-04-03',101,1001,2,20)\r\n"
        "Insert Into TempWriteBack(FID,FEntryID,FItemID,FQty) Values(1,1,1001,1)\r\n"
        "Insert Into CalculateLog(FTime,FItemID) Values('2025-04-30',1001)");
  }

  void Balance(const std::string& period, int stock, int item, const std::string& batch,
               const std::string& figures) {
    Run("Insert Into "
        "t_CC_Bal(FInterID,FYear,FPeriod,FStockID,FItemID,FBatchNo,FBegQty,FBegBal,FReceive,FDebit,"
        "FSend,FCredit,FEndQty,FEndBal) Values('100000000000000000000000',2025," +
        period + "," + std::to_string(stock) + "," + std::to_string(item) + ",'" + batch + "'," +
        figures + ")");
  }
  void Adjustment(int id, int cls, int type, const std::string& date) {
    Run("Insert Into T_CC_StockBill(FID,FBillNo,FClassTypeID,FBillTypeID,FDate,FStatus) Values(" +
        std::to_string(id) + ",'A" + std::to_string(id) + "'," + std::to_string(cls) + "," +
        std::to_string(type) + ",'" + date + "',1)\r\n" +
        "Insert Into T_CC_StockBillEntry(FEntryID,FID,FIndex,FItemID,FDCStockID,FCostAmount) "
        "Values(" +
        std::to_string(id) + "," + std::to_string(id) + ",1,1001,101,5)");
  }

  struct Outcome {
    bool ok = false;
    std::string err;
  };
  Outcome Return(int32_t target_period, bool drop_vouchers = false) {
    Variant err("");
    std::vector<Variant> args{Variant(Cnn()),         Variant(int32_t{5}),
                              Variant(int32_t{2025}), Variant(int32_t{2025}),
                              Variant(target_period), Variant(drop_vouchers),
                              Variant::Ref(&err)};
    const bool ok = cal_->CallRef("ReturnDataProcess", args).ToBool();
    return {ok, err.ToString()};
  }

  std::string Bal() {
    return Dump(
        "select "
        "FPeriod,FStockID,FItemID,FBatchNo,FBegQty,FBegBal,FReceive,FDebit,FSend,FCredit,FEndQty,"
        "FEndBal from t_CC_Bal order by FPeriod,FStockID,FItemID");
  }
  std::string StockTable(const char* table) {
    return Dump(std::string("select FPeriod,FBegQty,FBegBal,FReceive,FDebit,FSend,FCredit,") +
                "FEndQty,FSecEndQty,FEndBal from " + table + " order by FPeriod");
  }
  std::string Bills() {
    return Dump(
        "select h.FID,h.FBillTypeID,(select count(*) from T_CC_StockBillEntry e where e.FID=h.FID) "
        "from T_CC_StockBill h order by h.FID");
  }
  std::string SpeedBal() { return Dump("select * from ICSpeedBal order by FStockID,FItemID"); }
  std::string Profile() {
    return Dump(
        "select FCategory,FKey,FValue from t_SystemProfile where FKey in "
        "('CurrentYear','CurrentPeriod','AcctountingClosed') order by FCategory,FKey");
  }
  std::string Everything() {
    return Bal() + StockTable("t_CC_Stock") + StockTable("t_CC_Stock_BatchNo") + Bills() +
           Dump("select count(*) from T_CC_StockBillEntry") + SpeedBal() + Profile() +
           Dump("select count(*) from TempWriteBack") + Dump("select count(*) from CalculateLog") +
           Dump("select FPeriod from t_SettleAcctBalance order by FPeriod");
  }
};

TEST_F(PeriodReturn, TheTargetPeriodIsOpenAgainWithItsOpeningsOnly) {
  const Outcome o = Return(4);
  ASSERT_TRUE(o.ok) << o.err;
  EXPECT_EQ(o.err, "");
  EXPECT_EQ(Bal(),
            "3|101|1001||10|100|5|50|3|30|12|120\n"
            "3|101|1002|B1|6|60|1|10|0|0|7|70\n"
            "3|101|1003||7|70|0|0|7|70|0|0\n"
            "3|102|1001||4|44|0|0|1|11|3|33\n"
            "3|105|1001||2|20|0|0|0|0|2|20\n"
            "4|101|1001||10|100|5|50|0|0|0|0\n"
            "4|101|1002|B1|6|60|1|10|0|0|0|0\n"
            "4|101|1003||7|70|0|0|0|0|0|0\n"
            "4|102|1001||4|44|0|0|0|0|0|0\n"
            "4|105|1001||2|20|0|0|0|0|0|0\n");
  const std::string stock_rows =
      "3|10|100|5|50|3|30|12|1.2|120\n"
      "4|10|100|5|50|3|30|0|0|0\n";
  EXPECT_EQ(StockTable("t_CC_Stock"), stock_rows);
  EXPECT_EQ(StockTable("t_CC_Stock_BatchNo"), stock_rows);
  // The generated adjustments of April go with their lines, first and last day included; the
  // hand-made one, those of other periods and a receipt of type 1 stay.
  EXPECT_EQ(Bills(), "13|0|1\n14|1|1\n15|1|1\n16|1|1\n");
  EXPECT_EQ(Dump("select count(*) from T_CC_StockBillEntry"), "4\n");
  // Moving-average openings per stock; not the stock held for others, not other items.
  EXPECT_EQ(SpeedBal(),
            "0||0|0|0|1900-01-01|101|1001|10|100\n"
            "0||0|0|0|1900-01-01|102|1001|4|44\n");
  EXPECT_EQ(Profile(),
            "Base|AcctountingClosed|0\n"
            "IC|CurrentPeriod|4\n"
            "IC|CurrentYear|2025\n");
  EXPECT_EQ(Dump("select count(*) from TempWriteBack"), "0\n");
  EXPECT_EQ(Dump("select count(*) from CalculateLog"), "0\n");
  EXPECT_EQ(Dump("select FPeriod from t_SettleAcctBalance order by FPeriod"), "3\n5\n");
}

TEST_F(PeriodReturn, CostingStocksTogetherRefillsOneQuickBalancePerItem) {
  SetProfile("IC", "CalculateType", "'0'");
  ASSERT_TRUE(Return(4).ok);
  EXPECT_EQ(SpeedBal(), "0||0|0|0|1900-01-01|0|1001|14|144\n");
}

TEST_F(PeriodReturn, ReturningOverTwoPeriodsRemovesOnlyTheCurrentPeriodsRows) {
  ASSERT_TRUE(Return(3).ok);
  EXPECT_EQ(Dump("select FPeriod,count(*),sum(FEndQty) from t_CC_Bal group by FPeriod"),
            "3|5|0\n4|5|24\n");
  EXPECT_EQ(Dump("select FPeriod,FEndQty from t_CC_Stock order by FPeriod"), "3|0\n4|12\n");
  // Only March's generated adjustment goes.
  EXPECT_EQ(Bills(), "11|1|1\n12|1|1\n13|0|1\n14|1|1\n16|1|1\n");
  EXPECT_EQ(Dump("select FPeriod from t_SettleAcctBalance order by FPeriod"), "4\n5\n");
}

TEST_F(PeriodReturn, VouchersAreDroppedOnlyOnRequestAndAnyMessageOfTheirsFailsTheReturn) {
  Run("Drop Procedure sp_DropCostVCH");
  Run("Create Procedure sp_DropCostVCH @Year int, @Period int As\r\n"
      "Begin\r\n"
      "  Set NoCount On\r\n"
      "  RaisError('voucher %d/%d is posted', 10, 1, @Year, @Period)\r\n"
      "End");
  const std::string before = Everything();
  const Outcome o = Return(4, true);
  EXPECT_FALSE(o.ok);
  EXPECT_EQ(o.err, "voucher 2025/4 is posted");
  EXPECT_EQ(Everything(), before);

  // Not asked for: the procedure is not called at all.
  Run("Drop Procedure sp_DropCostVCH");
  Run("Create Procedure sp_DropCostVCH @Year int, @Period int As\r\n"
      "  RaisError('must not run', 16, 1)");
  EXPECT_TRUE(Return(4, false).ok);
  EXPECT_EQ(
      Dump("select FValue from t_SystemProfile where FCategory='IC' and FKey='CurrentPeriod'"),
      "4\n");
}

TEST_F(PeriodReturn, AFailureHalfWayLeavesTheDatabaseAsItWas) {
  // The quick-balance batch cannot read the costing scope; balances and bills were already changed
  // by then.
  SetProfile("IC", "CalculateType", "'per stock'");
  const std::string before = Everything();
  const Outcome o = Return(4);
  EXPECT_FALSE(o.ok);
  EXPECT_NE(o.err.find("per stock"), std::string::npos) << o.err;
  EXPECT_EQ(Everything(), before);

  // The object and the database stay usable.
  SetProfile("IC", "CalculateType", "'1'");
  EXPECT_TRUE(Return(4).ok);
}

TEST_F(PeriodReturn, ACompanyWithoutSettlementBalancesStillReturns) {
  Run("Drop Table t_SettleAcctBalance");
  const Outcome o = Return(4);
  EXPECT_TRUE(o.ok) << o.err;
  EXPECT_EQ(o.err, "");
  // The failed last statement did not take the return's work with it.
  EXPECT_EQ(Profile(),
            "Base|AcctountingClosed|0\n"
            "IC|CurrentPeriod|4\n"
            "IC|CurrentYear|2025\n");
  EXPECT_EQ(Dump("select count(*) from t_CC_Bal where FPeriod=5"), "0\n");
  EXPECT_EQ(Bills(), "13|0|1\n14|1|1\n15|1|1\n16|1|1\n");
}

}  // namespace
}  // namespace morvesk::closing::test
