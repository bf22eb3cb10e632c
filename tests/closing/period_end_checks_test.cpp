// The period-end data check and the return guard, called by name on a small company.
#include <functional>
#include <string>
#include <vector>

#include "closing_fixture.h"
#include "platform/automation/com_error.h"
#include "platform/plexo/dictionary.h"

namespace morvesk::closing::test {
namespace {

using automation::ComError;

constexpr char kAbnormal[] = "本期期末存在成本异常情况：有数量,单价<=0或无数量有金额!";
constexpr char kStartUp[] = "当前期间已是启用期间。";

class EndDataCheck : public ClosingFixture {
 protected:
  void SetUp() override {
    ClosingFixture::SetUp();
    Run("Insert Into t_Stock(FItemID,FNumber,FName,FTypeID) Values(105,'S105','Held',502)\r\n"
        "Insert Into t_ICItem(FItemID,FNumber,FName,FTrack,FISAuxi,FUnitID) "
        "Values(1003,'I1003','Lots',78,0,1)");
  }

  struct Outcome {
    bool ok = false;
    std::string err;
  };
  Outcome Check(int32_t cal_type, const std::string& err_before = "") {
    Variant err(err_before);
    std::vector<Variant> args{Variant(Cnn()),        Variant(int32_t{3}),   Variant(int32_t{2025}),
                              Variant("2025/03/01"), Variant("2025/04/01"), Variant::Ref(&err),
                              Variant(cal_type)};
    const bool ok = cal_->CallRef("CheckEndData", args).ToBool();
    return {ok, err.ToString()};
  }

  void Balance(int stock, int item, const std::string& batch, const std::string& qty,
               const std::string& amount, int period = 3) {
    Run("Insert Into t_CC_Bal(FInterID,FYear,FPeriod,FStockID,FItemID,FBatchNo,FBegQty,FBegBal) "
        "Values('100000000000000000000000',2025," +
        std::to_string(period) + "," + std::to_string(stock) + "," + std::to_string(item) + ",'" +
        batch + "'," + qty + "," + amount + ")");
  }
  // One bill with one line: class 1020002 (receipt into `stock`) or 1030002 (issue from it).
  void Movement(int id, bool receipt, const std::string& date, const std::string& status, int stock,
                int item, const std::string& qty, const std::string& cost) {
    Run("Insert Into T_CC_StockBill(FID,FBillNo,FClassTypeID,FBillTypeID,FDate,FStatus) Values(" +
        std::to_string(id) + ",'B" + std::to_string(id) + "'," +
        (receipt ? "1020002,2010" : "1030002,3001") + ",'" + date + "'," + status + ")\r\n" +
        "Insert Into "
        "T_CC_StockBillEntry(FEntryID,FID,FIndex,FItemID,FDCStockID,FSCStockID,FQty,FCostAmount) "
        "Values(" +
        std::to_string(id) + "," + std::to_string(id) + ",1," + std::to_string(item) + "," +
        (receipt ? std::to_string(stock) + ",0" : "0," + std::to_string(stock)) + "," + qty + "," +
        cost + ")");
  }
};

TEST_F(EndDataCheck, AClosingAmountMustFitItsQuantity) {
  struct Case {
    const char* qty;
    const char* amount;
    bool normal;
  };
  const Case cases[] = {
      {"10", "0", false}, {"0", "0.01", false}, {"-2", "-5", true}, {"0", "0", true},
      {"5", "-1", false}, {"-3", "4", false},   {"-3", "0", false}, {"7", "0.5", true},
  };
  for (const Case& c : cases) {
    Run("Delete From t_CC_Bal");
    Balance(101, 1001, "", c.qty, c.amount);
    const Outcome o = Check(1, "left over");
    EXPECT_EQ(o.ok, c.normal) << c.qty << " / " << c.amount;
    // A passing check leaves the message argument as the caller gave it.
    EXPECT_EQ(o.err, c.normal ? "left over" : kAbnormal) << c.qty << " / " << c.amount;
  }
}

TEST_F(EndDataCheck, StocksAreSummedUnlessCheckedPerStockAndOnlyBatchCostedItemsKeepBatches) {
  // One item and batch: +5 with -1 in one stock, -5 with +1 in another.
  Balance(101, 1001, "", "5", "-1");
  Balance(102, 1001, "", "-5", "1");
  EXPECT_TRUE(Check(0).ok);
  EXPECT_FALSE(Check(1).ok);

  // The same split over two batches of one stock: a moving-average item's batches are one line, a
  // batch-costed item's stay apart.
  Run("Delete From t_CC_Bal");
  Balance(101, 1001, "A", "5", "-1");
  Balance(101, 1001, "B", "-5", "1");
  EXPECT_TRUE(Check(1).ok);
  Balance(101, 1002, "A", "5", "-1");
  Balance(101, 1002, "B", "-5", "1");
  EXPECT_FALSE(Check(1).ok);
  EXPECT_FALSE(Check(0).ok);
}

TEST_F(EndDataCheck, OnlyAuditedMovementsOfTheWindowInValuedStocksCount) {
  Balance(101, 1001, "", "10", "100");
  // Each of these would leave a quantity without amount if it were counted.
  Movement(1, false, "2025-03-10", "0", 101, 1001, "10", "0");     // not audited
  Movement(2, false, "2025-03-11", "Null", 101, 1001, "10", "0");  // not audited
  Movement(3, false, "2025-04-01", "1", 101, 1001, "10",
           "0");  // the next period
  Movement(4, false, "2025-02-28", "1", 101, 1001, "10",
           "0");                      // the last period
  Balance(105, 1001, "", "10", "0");  // stock held for others
  Movement(5, true, "2025-03-12", "1", 105, 1001, "4", "0");
  Balance(101, 1003, "", "10", "0");  // lot by lot
  Movement(6, true, "2025-03-12", "1", 101, 1003, "4", "0");
  Balance(101, 1001, "", "3", "0", 2);  // another period's opening
  EXPECT_TRUE(Check(1).ok);

  // Audited receipts add, audited issues take away, up to the period's last moment.
  Movement(7, true, "2025-03-01", "1", 101, 1001, "4", "40");
  Movement(8, false, "2025-03-31 23:00", "1", 101, 1001, "14", "100");
  const Outcome o = Check(1);  // 0 left, worth 40
  EXPECT_FALSE(o.ok);
  EXPECT_EQ(o.err, kAbnormal);
  Movement(9, false, "2025-03-20", "1", 102, 1001, "0", "40");
  EXPECT_FALSE(Check(1).ok);  // another stock's issue
  EXPECT_TRUE(Check(0).ok);   // evens the item's lines over all stocks
}

class ReturnGuard : public ClosingFixture {
 protected:
  void SetUp() override {
    ClosingFixture::SetUp();
    SetProfile("IC", "StartYear", "'2023'");
    SetProfile("IC", "StartPeriod", "'1'");
  }
  void Ledger(const std::string& year, const std::string& period) {
    SetProfile("GL", "CurrentYear", year);
    SetProfile("GL", "CurrentPeriod", period);
  }
  static std::shared_ptr<plexo::Dictionary> Options(int32_t year, int32_t period) {
    auto opt = std::make_shared<plexo::Dictionary>();
    opt->Set("CurrentYear", Variant(year));
    opt->Set("CurrentPeriod", Variant(period));
    return opt;
  }
  Variant Guard(const Variant& opt) { return cal_->Call("CheckReturnData", {Variant(Cnn()), opt}); }
  bool Guard(int32_t year, int32_t period) {
    return Guard(Variant(Options(year, period))).ToBool();
  }
  // The error the guard raised; fails the test when it raised none.
  ComError Raised(const std::function<void()>& call) {
    try {
      call();
    } catch (const ComError& e) {
      return e;
    }
    ADD_FAILURE() << "no error raised";
    return ComError(0, "", "");
  }
};

TEST_F(ReturnGuard, TheInventoryPeriodMustLieBeforeTheLedgers) {
  Ledger("'2024'", "'5'");
  EXPECT_TRUE(Guard(2024, 3));
  EXPECT_FALSE(Guard(2024, 5));
  Ledger("'2024'", "'3'");
  EXPECT_FALSE(Guard(2024, 3));
  Ledger("'2025'", "'1'");
  EXPECT_TRUE(Guard(2024, 3));
  // Within the ledger's year or later only the period numbers count.
  EXPECT_TRUE(Guard(2026, 0));
  EXPECT_FALSE(Guard(2025, 1));
  // The ledger's period is text in the profile; it is read as a number, not compared as text.
  Ledger("'2024'", "'10'");
  EXPECT_TRUE(Guard(2024, 9));
}

TEST_F(ReturnGuard, TheStartUpPeriodIsRefusedWithAnError) {
  Ledger("'2024'", "'5'");
  // The ledger lies ahead, yet the start-up period cannot be left backwards.
  const ComError e = Raised([&] { Guard(2023, 1); });
  EXPECT_EQ(e.description, kStartUp);
  EXPECT_EQ(e.source, "Morvesk.CalCurAmount");
  // The start-up values are profile text read as numbers.
  SetProfile("IC", "StartPeriod", "'07'");
  EXPECT_EQ(Raised([&] { Guard(2023, 7); }).description, kStartUp);
  EXPECT_TRUE(Guard(2023, 1));
  // The object stays usable after a refusal.
  EXPECT_TRUE(Guard(2024, 4));
}

TEST_F(ReturnGuard, MissingOptionsAndProfileValuesAreRaised) {
  Ledger("'2024'", "'5'");
  auto partial = std::make_shared<plexo::Dictionary>();
  partial->Set("CurrentYear", Variant(int32_t{2024}));
  EXPECT_NE(Raised([&] { Guard(Variant(partial)); }).description.find("CurrentPeriod"),
            std::string::npos);
  EXPECT_NE(Raised([&] { Guard(Variant::Nothing()); }).description.find("Plexo.Dictionary"),
            std::string::npos);

  DropProfile("IC", "StartYear");
  EXPECT_NE(Raised([&] { Guard(2024, 3); }).description.find("IC StartYear"), std::string::npos);
  SetProfile("IC", "StartYear", "'2023'");
  DropProfile("GL", "CurrentYear");
  EXPECT_NE(Raised([&] { Guard(2024, 3); }).description.find("GL CurrentYear"), std::string::npos);
  Ledger("'2024'", "'5'");
  // Without the ledger's period row the batch returns no row to read.
  DropProfile("GL", "CurrentPeriod");
  const ComError e = Raised([&] { Guard(2024, 3); });
  EXPECT_EQ(e.number, automation::kErrNoCurrentRecord) << e.description;
  Ledger("'2024'", "'x'");
  EXPECT_EQ(Raised([&] { Guard(2024, 5); }).number, automation::kErrTypeMismatch);
}

}  // namespace
}  // namespace morvesk::closing::test
