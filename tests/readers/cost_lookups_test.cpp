// GetCost, GetCost80 and GetMultiPrice on the demo company (costing per stock,
// current period 2025/3), with stock on hand set by each test where the answer
// depends on it.
#include <cmath>

#include "platform/plexo/dictionary.h"
#include "tests/readers/readers_fixture.h"

namespace morvesk::readers::test {
namespace {

class CostLookupsTest : public ReadersFixture {
 protected:
  // Stock on hand of 1001 in 101: 10 at 52.50; of 1006 in 101: B2501 10 at
  // 118.00, B2502 5 at 65.00; none of 1011.
  void SetUp() override {
    ReadersFixture::SetUp();
    Run("DELETE FROM T_CC_Inventory WHERE FItemID IN (1001, 1006, 1011)\r\n"
        "INSERT INTO T_CC_Inventory (FItemID, FStockID, FBatchNo, FAuxPropID, "
        "FQty, FBal) "
        "VALUES (1001, 101, '', 0, 10, 52.5)\r\n"
        "INSERT INTO T_CC_Inventory (FItemID, FStockID, FBatchNo, FAuxPropID, "
        "FQty, FBal) "
        "VALUES (1006, 101, 'B2501', 0, 10, 118)\r\n"
        "INSERT INTO T_CC_Inventory (FItemID, FStockID, FBatchNo, FAuxPropID, "
        "FQty, FBal) "
        "VALUES (1006, 101, 'B2502', 0, 5, 65)");
  }

  double Cost(std::vector<Variant> args) { return Call("GetCost", std::move(args)).ToDouble(); }
  double Cost80(std::vector<Variant> args) { return Call("GetCost80", std::move(args)).ToDouble(); }

  static std::shared_ptr<plexo::Dictionary> Settings(
      std::vector<std::pair<std::string, Variant>> values) {
    auto d = std::make_shared<plexo::Dictionary>();
    for (auto& [key, value] : values) d->Set(key, value);
    return d;
  }
  Variant MultiPrice(const std::shared_ptr<plexo::Dictionary>& d, int32_t item,
                     const std::string& batch) {
    return Call("GetMultiPrice", {Variant(d), Variant(item), Variant(batch)});
  }
};

TEST_F(CostLookupsTest, OrdinaryItemIsCostedWithoutItsBatch) {
  const Variant s101(int32_t{101}), i1001(int32_t{1001});
  EXPECT_EQ(Cost({s101, i1001}), 5.25);
  // A batch number given for an item not costed by batch is not sent: the stock
  // on hand of the item as a whole still answers.
  EXPECT_EQ(Cost({s101, i1001, Variant("B2501")}), 5.25);
  // GetCost80 hands an item costed otherwise to GetCost.
  EXPECT_EQ(Cost80({s101, i1001, Variant("B2501")}), 5.25);
}

TEST_F(CostLookupsTest, BatchItemIsCostedByItsBatch) {
  const Variant s101(int32_t{101}), i1006(int32_t{1006});
  EXPECT_EQ(Cost({s101, i1006, Variant("B2502")}), 13.0);
  EXPECT_EQ(Cost80({s101, i1006, Variant("B2502")}), 13.0);
  EXPECT_EQ(Cost80({s101, i1006, Variant("B2501")}), 11.8);
  // An empty batch number still goes to the batch procedure: all batches,
  // 183.00 / 15.
  EXPECT_DOUBLE_EQ(Cost80({s101, i1006, Variant("")}), 183.0 / 15.0);
}

// With nothing on hand the latest audited receipt before the date prices the
// item: 1011's estimated receipt of 2025-03-08 (100 at 300.00). The default
// date is 2999-12-31.
TEST_F(CostLookupsTest, ReceiptDateLimitFollowsIsBillAndDate) {
  const Variant s101(int32_t{101}), i1011(int32_t{1011});
  Run("DELETE FROM T_CC_StockBillEntry WHERE FItemID = 1011 AND FID > 27");
  EXPECT_EQ(Cost({s101, i1011}), 3.0);
  EXPECT_EQ(Cost({s101, i1011, Variant(""), Variant(true), Variant(MakeDate(2025, 3, 8))}), 0.0);
  EXPECT_EQ(Cost({s101, i1011, Variant(""), Variant(false), Variant(MakeDate(2025, 3, 8))}), 3.0);
}

TEST_F(CostLookupsTest, FailuresYieldZeroWithoutRaising) {
  EXPECT_EQ(reader_
                ->Call("GetCost", {Variant("Data Source=/nonexistent/company.db"),
                                   Variant(int32_t{101}), Variant(int32_t{1001})})
                .ToDouble(),
            0.0);
  // A procedure that leaves its output Null.
  Run("DROP PROCEDURE sp_GetCostPrice80");
  Run("CREATE PROCEDURE sp_GetCostPrice80 @StockID int, @ItemID int, @BatchNo "
      "varchar(80), "
      "@LastCost float OUTPUT AS BEGIN SET NOCOUNT ON SET @LastCost = NULL "
      "END");
  EXPECT_EQ(Cost80({Variant(int32_t{101}), Variant(int32_t{1006}), Variant("B2501")}), 0.0);
}

// Latest purchase price of 1001 before a date: bill 1 of 03-01 at 5.20, bill 25
// of 03-20 at 5.00 (the return of 03-15 is not a purchase); dates are compared
// strictly.
TEST_F(CostLookupsTest, LatestPurchasePriceBeforeTheDate) {
  EXPECT_EQ(MultiPrice(Settings({{"ReproducePrice", Variant(int32_t{0})},
                                 {"BDate", Variant("2025-03-20")}}),
                       1001, "")
                .ToDouble(),
            5.2);
  EXPECT_EQ(MultiPrice(Settings({{"ReproducePrice", Variant(int32_t{0})},
                                 {"BDate", Variant(MakeDate(2025, 3, 21))}}),
                       1001, "")
                .ToDouble(),
            5.0);
  EXPECT_EQ(MultiPrice(Settings({{"ReproducePrice", Variant(int32_t{0})},
                                 {"BDate", Variant("2025-03-01")}}),
                       1001, "")
                .ToDouble(),
            0.0);
}

// Average opening price of 2025/3, divided in single precision: 1001 over its
// three stocks 6500.00 / 1300 = 5; 1003 400.00 / 2000 = 0.2 as a single; batch
// B2502 of 1006 650.00 / 50 = 13; a batch with a quote in its number finds
// nothing.
TEST_F(CostLookupsTest, AverageOpeningPriceOfThePeriod) {
  auto current = Settings({{"ReproducePrice", Variant(int32_t{1})},
                           {"CurrentYear", Variant(int32_t{2025})},
                           {"CurrentPeriod", Variant(int32_t{3})}});
  EXPECT_EQ(MultiPrice(current, 1001, "").ToDouble(), 5.0);
  EXPECT_EQ(MultiPrice(current, 1003, "").ToDouble(), static_cast<double>(0.2f));
  EXPECT_EQ(MultiPrice(current, 1006, "B2502").ToDouble(), 13.0);
  EXPECT_EQ(MultiPrice(current, 1006, "B'25").ToDouble(), 0.0);
  // Openings that sum to zero or less give no price.
  Run("UPDATE t_CC_Bal SET FBegBal = -FBegBal WHERE FItemID = 1001 AND FYear = "
      "2025 AND "
      "FPeriod = 3");
  EXPECT_EQ(MultiPrice(current, 1001, "").ToDouble(), 0.0);
}

TEST_F(CostLookupsTest, UnusableSettingIsRaised) {
  auto bad = Settings({{"ReproducePrice", Variant(int32_t{1})},
                       {"CurrentYear", Variant("twenty")},
                       {"CurrentPeriod", Variant(int32_t{3})}});
  EXPECT_THROW(MultiPrice(bad, 1001, ""), ComError);
  EXPECT_THROW(MultiPrice(Settings({{"ReproducePrice", Variant("x")}}), 1001, ""), ComError);
}

}  // namespace
}  // namespace morvesk::readers::test
