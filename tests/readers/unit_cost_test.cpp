// Calcualte: the unit cost run through the database's costing procedures, on
// the demo company (current period 2025/3) and on copies whose procedures
// record or refuse what they get.
#include "tests/readers/readers_fixture.h"

namespace morvesk::readers::test {
namespace {

class UnitCostTest : public ReadersFixture {
 protected:
  // Replaces both costing procedures by ones that log the arguments they
  // receive, leave
  // @StockID as sent and write nothing else.
  void RecordArguments() {
    Run("CREATE TABLE ArgLog (FProc varchar(20), FStockID int, FItemID int, "
        "FBatchNo varchar(80), "
        "FCalculateType int, FDecimal int, FCalcPeriod int)");
    Run("DROP PROCEDURE sp_calculate76");
    Run("DROP PROCEDURE sp_calculate80");
    Run("CREATE PROCEDURE sp_calculate76 @StockID int OUTPUT, @ItemID int, "
        "@CalculateType bit, "
        "@Decimal smallint, @CalcPeriod bit AS BEGIN SET NOCOUNT ON "
        "INSERT INTO ArgLog VALUES ('76', @StockID, @ItemID, NULL, "
        "@CalculateType, @Decimal, "
        "@CalcPeriod) END");
    Run("CREATE PROCEDURE sp_calculate80 @StockID int OUTPUT, @ItemID int, "
        "@BatchNo varchar(80), "
        "@CalculateType bit, @Decimal smallint, @CalcPeriod bit AS BEGIN SET "
        "NOCOUNT ON "
        "INSERT INTO ArgLog VALUES ('80', @StockID, @ItemID, '[' + @BatchNo + "
        "']', "
        "@CalculateType, @Decimal, @CalcPeriod) END");
  }

  std::string LastArguments() {
    engine::BatchResult r = sql_->Execute(
        "SELECT TOP 1 FProc + ' ' + CONVERT(varchar, FStockID) + "
        "' ' + CONVERT(varchar, FItemID) "
        "+ ' ' + ISNULL(FBatchNo, '-') + ' ' + CONVERT(varchar, "
        "FCalculateType) + ' ' + "
        "CONVERT(varchar, FDecimal) + ' ' + CONVERT(varchar, "
        "FCalcPeriod) FROM ArgLog "
        "ORDER BY FStockID DESC");
    Run("DELETE FROM ArgLog");
    if (!r.ok() || r.ResultSets().back()->rows.empty()) return "(none)";
    return r.ResultSets().back()->rows[0][0].ToString();
  }
};

// Item 1001 in stock 101 by itself: opening 1000 / 5000.00, audited receipts of
// March 500 / 2600.00, return -50 / -260.00, estimated receipt 100 / 500.00 and
// adjustments +120.00 and -3.50: 1550 / 7956.50, so 5.13322580... rounded to
// four price decimals is 5.1332. Its issues from 101 get quantity x 5.1332
// rounded to cents: the stocktake loss 2 -> 10.27, the transfer 100 -> 513.32,
// the assembly component 20 -> 102.66.
TEST_F(UnitCostTest, WeightedAverageCostsTheIssuesOfTheStock) {
  EXPECT_TRUE(Call("Calcualte", {Variant(int32_t{1}), Variant(int32_t{101}), Variant(int32_t{1001}),
                                 Variant(int32_t{4})})
                  .ToBool());
  EXPECT_EQ(Scalar("SELECT FCostAmount FROM T_CC_StockBillEntry WHERE FEntryID = 2101"), "10.27");
  EXPECT_EQ(Scalar("SELECT FCostAmount FROM T_CC_StockBillEntry WHERE FEntryID = 2201"), "513.32");
  EXPECT_EQ(Scalar("SELECT FCostAmount FROM t_CC_ZZCX_Entry2 WHERE FItemID = "
                   "1001 AND FID = 27"),
            "102.66");
  // Lines of other stocks keep the cost they had.
  EXPECT_EQ(Scalar("SELECT FCostAmount FROM T_CC_StockBillEntry WHERE FEntryID = 1001"), "750");

  // Batch B2501 of 1006 in stock 101 (sp_calculate80): opening 100 / 1200.00
  // and the amount rebate -20.00 give 11.8; its issues 30 and 10 cost 354.00
  // and 118.00.
  EXPECT_TRUE(Call("Calcualte", {Variant(int32_t{1}), Variant(int32_t{101}), Variant(int32_t{1006}),
                                 Variant(int32_t{4}), Variant("B2501")})
                  .ToBool());
  EXPECT_EQ(Scalar("SELECT FCostAmount FROM T_CC_StockBillEntry WHERE FEntryID = 1102"), "354");
  EXPECT_EQ(Scalar("SELECT FCostAmount FROM T_CC_StockBillEntry WHERE FEntryID = 2601"), "118");
}

// Lot-by-lot item 1005 in stock 102, its March sale raised to 10: first in, first out, it
// takes all of lot L103 (8 at 48.00, in stock since February) and 2 of the March receipt's
// lot (10 at 65.00): 48.00 + 13.00 = 61.00. Each lot touched gives a lot issue row.
TEST_F(UnitCostTest, LotItemIsCostedFirstInFirstOut) {
  Run("UPDATE T_CC_StockBillEntry SET FQty = 10 WHERE FEntryID = 1101");
  EXPECT_TRUE(Call("Calcualte", {Variant(int32_t{1}), Variant(int32_t{102}),
                                 Variant(int32_t{1005}), Variant(int32_t{2})})
                  .ToBool());
  EXPECT_EQ(Scalar("SELECT FCostAmount FROM T_CC_StockBillEntry WHERE FEntryID = 1101"), "61");
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM ICSpeedBal WHERE FEntryID = 1101"), "2");
  const std::string lot =
      "SELECT CONVERT(varchar, CONVERT(decimal(10,2), FSend)) + '/' + CONVERT(varchar, "
      "CONVERT(decimal(10,2), FCredit)) + '/' + CONVERT(varchar, CONVERT(decimal(10,2), FEndQty)) "
      "+ '/' + CONVERT(varchar, CONVERT(decimal(10,2), FEndBal)) FROM t_CC_Bal WHERE FInterID = ";
  EXPECT_EQ(Scalar(lot + "'100000000000000000000003'"), "8.00/48.00/0.00/0.00");
  EXPECT_EQ(Scalar(lot + "'300000000003000000000301'"), "2.00/13.00/8.00/52.00");
}

// A run the procedure reports as failed (-1 in @StockID) is an ordinary False:
// the completion call keeps what the procedure logged.
TEST_F(UnitCostTest, FailedRunIsFalseAndItsLogIsKept) {
  const std::string before = Scalar("SELECT COUNT(*) FROM CalculateLog WHERE FResult = -1");
  // Item 1011 has nothing in stock 102.
  EXPECT_FALSE(Call("Calcualte", {Variant(int32_t{1}), Variant(int32_t{102}),
                                  Variant(int32_t{1011}), Variant(int32_t{4})})
                   .ToBool());
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM CalculateLog WHERE FResult = -1"),
            std::to_string(std::stoi(before) + 1));
}

TEST_F(UnitCostTest, ArgumentsReachTheProcedureByPositionWithTheirTypes) {
  RecordArguments();
  auto calc = [&](std::vector<Variant> args) {
    return Call("Calcualte", std::move(args)).ToBool();
  };
  const Variant s101(int32_t{101}), i1001(int32_t{1001}), d4(int32_t{4});

  // No batch: five parameters; CalcPeriod defaults to 1; CalculateType 2 is
  // true.
  EXPECT_TRUE(calc({Variant(int32_t{2}), s101, i1001, d4}));
  EXPECT_EQ(LastArguments(), "76 101 1001 - 1 4 1");
  EXPECT_TRUE(calc({Variant(int32_t{0}), s101, i1001, d4, Variant(""), Variant(int32_t{0})}));
  EXPECT_EQ(LastArguments(), "76 101 1001 - 0 4 0");
  EXPECT_TRUE(calc({Variant(int32_t{1}), s101, i1001, d4, Variant(""), Variant(int32_t{7})}));
  EXPECT_EQ(LastArguments(), "76 101 1001 - 1 4 1");
  EXPECT_TRUE(calc({Variant(int32_t{1}), s101, i1001, d4, Variant(""), Variant(int32_t{-1})}));
  EXPECT_EQ(LastArguments(), "76 101 1001 - 1 4 1");

  // A blank batch number is a batch: six parameters, the blank sent as it is.
  EXPECT_TRUE(calc(
      {Variant(int32_t{1}), s101, Variant(int32_t{1006}), Variant(int32_t{10}), Variant(" ")}));
  EXPECT_EQ(LastArguments(), "80 101 1006 [ ] 1 10 1");

  // @StockID left as sent means success, unless the caller sent -1 itself.
  EXPECT_FALSE(calc({Variant(int32_t{1}), Variant(int32_t{-1}), i1001, d4}));
  EXPECT_EQ(LastArguments(), "76 -1 1001 - 1 4 1");

  // A digit count beyond smallint never reaches the procedure.
  EXPECT_THROW(calc({Variant(int32_t{1}), s101, i1001, Variant(int32_t{40000})}), ComError);
  EXPECT_EQ(LastArguments(), "(none)");
}

// An error of the procedure reaches the caller unchanged, after the abort call:
// what the procedure wrote before it is undone.
TEST_F(UnitCostTest, ProcedureErrorIsRaisedAndItsWorkUndone) {
  Run("DROP PROCEDURE sp_calculate76");
  Run("CREATE PROCEDURE sp_calculate76 @StockID int OUTPUT, @ItemID int, "
      "@CalculateType bit, "
      "@Decimal smallint, @CalcPeriod bit AS BEGIN SET NOCOUNT ON "
      "INSERT INTO CalculateLog (FTime, FItemID, FStockID, FBatchNo, FResult, "
      "FMessage) "
      "VALUES (GETDATE(), @ItemID, @StockID, '', 0, 'half done') "
      "RAISERROR('costing refused', 16, 1) END");
  try {
    Call("Calcualte",
         {Variant(int32_t{1}), Variant(int32_t{101}), Variant(int32_t{1001}), Variant(int32_t{4})});
    ADD_FAILURE() << "no error raised";
  } catch (const ComError& e) {
    EXPECT_NE(e.description.find("costing refused"), std::string::npos) << e.description;
  }
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM CalculateLog WHERE FMessage = 'half done'"), "0");
}

}  // namespace
}  // namespace morvesk::readers::test
