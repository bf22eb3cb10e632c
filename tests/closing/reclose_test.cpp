// Close, return, close again on a generated company, all through CalCurAmount called by name. The
// return throws away what the first close's period produced besides the bills: the costing's
// generated adjustments of the period and the lot issues kept in ICSpeedBal. Every balance those do
// not touch must come out of the second close as it came out of the first; the ones they touch must
// differ by exactly what was thrown away.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "company/company.h"
#include "engine/engine.h"
#include "platform/automation/registry.h"
#include "platform/automation/variant.h"
#include "platform/plexo/dictionary.h"
#include "services/morvesk_module.h"

namespace morvesk::closing::test {
namespace {

using automation::Variant;

// Stock, item and batch.
using Key = std::tuple<int64_t, int64_t, std::string>;
// Quantities and amounts summed per key, as decimal text so that nothing is rounded.
using Figures = std::map<Key, std::vector<std::string>>;

class Reclose : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = (std::filesystem::temp_directory_path() / "morvesk-closing-reclose.db").string();
    company::GenerateOptions options;
    options.lines_per_period = 400;
    options.seed = 11;
    company::CreateCompany(path_, options, true);
    db_ = engine::Database::Open(path_);
    sql_ = db_->Connect();
    services::RegisterMorveskClasses();
    cal_ = automation::CreateObject("Morvesk.CalCurAmount");
  }
  void TearDown() override {
    cal_.reset();
    sql_.reset();
    db_.reset();
    std::filesystem::remove(path_);
  }

  std::vector<std::vector<engine::Value>> Rows(const std::string& query) {
    engine::BatchResult r = sql_->Execute(query);
    EXPECT_TRUE(r.ok()) << r.errors.front().message << "\n" << query;
    if (!r.ok() || r.ResultSets().empty()) return {};
    return r.ResultSets().front()->rows;
  }

  // The sums of `columns` per stock, item and batch of a period's rows of `table`.
  Figures PerKey(const std::string& table, const std::string& columns, int period) {
    Figures out;
    for (const auto& row : Rows("select FStockID,FItemID,FBatchNo," + columns + " from " + table +
                                " where FYear=2025 and FPeriod=" + std::to_string(period) +
                                " group by FStockID,FItemID,FBatchNo")) {
      std::vector<std::string> figures;
      for (size_t i = 3; i < row.size(); ++i) figures.push_back(row[i].ToString());
      out[{row[0].as_int(), row[1].as_int(), row[2].ToString()}] = figures;
    }
    return out;
  }
  Figures Bal(int period) {
    return PerKey("t_CC_Bal",
                  "sum(FBegQty),sum(FBegBal),sum(FReceive),sum(FDebit),sum(FSend),sum(FCredit),sum("
                  "FEndQty),sum(FEndBal)",
                  period);
  }
  Figures Stock(int period) {
    return PerKey("t_CC_Stock",
                  "sum(FBegQty),sum(FBegBal),sum(FReceive),sum(FDebit),sum(FSend),sum(FCredit),sum("
                  "FEndQty),sum(FEndBal)",
                  period);
  }

  std::string Cnn() const { return "Data Source=" + path_; }

  void CloseMarch() {
    Variant start(""), end("");
    std::vector<Variant> dates{Variant(Cnn()), Variant(int32_t{3}), Variant(int32_t{2025}),
                               Variant::Ref(&start), Variant::Ref(&end)};
    cal_->CallRef("GetCurPeriodStartEnd", dates);
    Variant err("");
    std::vector<Variant> args{
        Variant(Cnn()),      Variant(int32_t{3}), Variant(int32_t{2025}), start, end,
        Variant(int32_t{0}), Variant(""),         Variant::Ref(&err)};
    ASSERT_TRUE(cal_->CallRef("CalculateInvBal_Ext", args).ToBool()) << err.ToString();
  }

  void ReturnToMarch() {
    auto opt = std::make_shared<plexo::Dictionary>();
    opt->Set("CurrentYear", Variant(int32_t{2025}));
    opt->Set("CurrentPeriod", Variant(int32_t{4}));
    // The ledger stands beyond April in a generated company.
    ASSERT_TRUE(cal_->Call("CheckReturnData", {Variant(Cnn()), Variant(opt)}).ToBool());
    Variant err("");
    std::vector<Variant> args{Variant(Cnn()),         Variant(int32_t{4}), Variant(int32_t{2025}),
                              Variant(int32_t{2025}), Variant(int32_t{3}), Variant(true),
                              Variant::Ref(&err)};
    ASSERT_TRUE(cal_->CallRef("ReturnDataProcess", args).ToBool()) << err.ToString();
  }

  static double Number(const std::string& text) { return std::stod(text); }

  std::string path_;
  std::shared_ptr<engine::Database> db_;
  std::unique_ptr<engine::Connection> sql_;
  std::shared_ptr<automation::Dispatch> cal_;
};

TEST_F(Reclose, ASecondCloseDiffersOnlyWhereTheReturnThrewSomethingAway) {
  // What the return will throw away: March's generated adjustment lines (per balance key; only
  // batch-costed items keep their batch there) and the lot issues in the quick balances.
  std::map<Key, double> adjusted;
  for (const auto& row :
       Rows("select FStockID,FItemID,FBatchNo,sum(FCostAmount) from (select case when "
            "e.FDCStockID<>0 then e.FDCStockID else e.FSCStockID end as FStockID,e.FItemID,case "
            "when i.FTrack=80 then e.FBatchNo else '' end as FBatchNo,e.FCostAmount from "
            "T_CC_StockBill h inner join T_CC_StockBillEntry e on e.FID=h.FID inner join t_ICItem "
            "i on i.FItemID=e.FItemID where h.FClassTypeID=1040008 and h.FBillTypeID=1 and "
            "h.FDate>='2025-03-01' and h.FDate<='2025-03-31') a group by "
            "FStockID,FItemID,FBatchNo")) {
    adjusted[{row[0].as_int(), row[1].as_int(), row[2].ToString()}] = Number(row[3].ToString());
  }
  ASSERT_EQ(adjusted.size(), 1u);
  std::map<Key, double> lot_issues;
  for (const auto& row : Rows("select FStockID,FItemID,sum(FQty) from ICSpeedBal where "
                              "FInterID<>'' group by FStockID,FItemID")) {
    lot_issues[{row[0].as_int(), row[1].as_int(), ""}] = Number(row[2].ToString());
  }
  ASSERT_FALSE(lot_issues.empty());

  CloseMarch();
  const Figures bal1 = Bal(3), stock1 = Stock(3), opening_bal1 = Bal(4), opening_stock1 = Stock(4);
  ReturnToMarch();
  EXPECT_TRUE(Rows("select * from t_CC_Bal where FYear=2025 and FPeriod=4").empty());
  EXPECT_EQ(Rows("select count(*) from T_CC_StockBill where FClassTypeID=1040008 and FBillTypeID=1 "
                 "and FDate<'2025-04-01'")
                .front()
                .front()
                .as_int(),
            0);
  CloseMarch();
  const Figures bal2 = Bal(3), stock2 = Stock(3), opening_bal2 = Bal(4), opening_stock2 = Stock(4);

  // Same keys in both closes.
  ASSERT_EQ(bal1.size(), bal2.size());
  ASSERT_EQ(stock1.size(), stock2.size());
  ASSERT_GT(bal1.size(), 40u);

  std::map<Key, std::string> why;
  for (const auto& [key, first] : bal1) {
    const auto second = bal2.find(key);
    ASSERT_NE(second, bal2.end());
    if (second->second == first) continue;
    // Columns: 0 BegQty, 1 BegBal, 2 Receive, 3 Debit, 4 Send, 5 Credit, 6 EndQty, 7 EndBal.
    const std::vector<std::string>& s = second->second;
    EXPECT_EQ(s[0], first[0]);
    EXPECT_EQ(s[1], first[1]);
    EXPECT_EQ(s[2], first[2]);
    if (auto a = adjusted.find(key); a != adjusted.end()) {
      // The adjustment's amount is gone from the receipts and the closing value.
      EXPECT_NEAR(Number(first[3]) - Number(s[3]), a->second, 0.005);
      EXPECT_NEAR(Number(first[7]) - Number(s[7]), a->second, 0.005);
      why[key] = "adjustment";
    } else if (auto l = lot_issues.find(key); l != lot_issues.end()) {
      // Lot issues are read from the quick balances, which the return refilled with moving-average
      // openings only.
      EXPECT_NEAR(Number(first[4]) - Number(s[4]), l->second, 1e-9);
      EXPECT_NEAR(Number(s[6]) - Number(first[6]), l->second, 1e-9);
      why[key] = "lot issues";
    } else {
      ADD_FAILURE() << "t_CC_Bal of stock " << std::get<0>(key) << ", item " << std::get<1>(key)
                    << ", batch '" << std::get<2>(key)
                    << "' differs though nothing of it was thrown away";
    }
  }
  // Each thing thrown away shows: the adjustment and every stock whose lots had issues.
  for (const auto& [key, amount] : adjusted) EXPECT_EQ(why[key], "adjustment");
  for (const auto& [key, qty] : lot_issues) {
    if (qty != 0) {
      EXPECT_EQ(why[key], "lot issues");
    }
  }

  // t_CC_Stock takes the issues from the bills, so only the adjustment shows there.
  for (const auto& [key, first] : stock1) {
    const auto second = stock2.find(key);
    ASSERT_NE(second, stock2.end());
    if (second->second == first) continue;
    const auto a = adjusted.find(key);
    ASSERT_NE(a, adjusted.end()) << "t_CC_Stock of stock " << std::get<0>(key) << ", item "
                                 << std::get<1>(key) << " differs";
    EXPECT_NEAR(Number(first[3]) - Number(second->second[3]), a->second, 0.005);
  }

  // The openings of April follow the closings of March, with the same differences.
  ASSERT_EQ(opening_stock1.size(), opening_stock2.size());
  for (const auto& [key, first] : opening_stock1) {
    const auto second = opening_stock2.find(key);
    ASSERT_NE(second, opening_stock2.end());
    if (second->second != first) {
      EXPECT_TRUE(adjusted.count(key)) << std::get<1>(key);
    }
  }
  EXPECT_EQ(opening_bal1.size() > 0, opening_bal2.size() > 0);
}

}  // namespace
}  // namespace morvesk::closing::test
