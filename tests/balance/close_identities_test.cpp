// The close of a generated company (about 20,000 bill lines in the closed period) checked by
// the accounting identities rather than by figures worked out by hand: every balance row is
// its opening plus the period's receipts less its issues, the batch-level rows add up to the
// stock rows, and the next period opens with this period's closings. The expected side is
// computed here from the bill lines and the balance rows as they stood before the close.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "company/company.h"
#include "engine/engine.h"
#include "platform/automation/registry.h"
#include "platform/automation/variant.h"
#include "services/morvesk_module.h"
#include "tests/common/table_text.h"

namespace morvesk::balance::test {
namespace {

using Lines = std::vector<std::string>;

// The period's movements by the keys the balances keep, from the company's receipt and issue
// views: receipts positive, issues negative, with the bill's status and the item's costing.
constexpr const char* kMovements =
    "select u.FStockID, u.FItemID, u.FBatchNo, u.FAuxPropID, u.FStatus, u.FClassTypeID, "
    "u.FBillTypeID, u.FQty, u.FSecQty, u.FAmount, 1 as FSide from vw_cc_Receive u "
    "where u.FDate >= '2025-03-01' and u.FDate < '2025-04-01' "
    "union all "
    "select s.FStockID, s.FItemID, s.FBatchNo, s.FAuxPropID, s.FStatus, s.FClassTypeID, "
    "s.FBillTypeID, s.FQty, s.FSecQty, s.FAmount, -1 from vw_cc_Send s "
    "where s.FDate >= '2025-03-01' and s.FDate < '2025-04-01'";

class CloseIdentitiesTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // One file per process: ctest runs each test of the suite in a process of its own, at once.
    path_ = (std::filesystem::temp_directory_path() /
             ("morvesk-balance-close-identities-" + std::to_string(::getpid()) + ".db"))
                .string();
    company::GenerateOptions options;
    options.lines_per_period = 20000;
    options.seed = 5;
    company::CreateCompany(path_, options, /*force=*/true);
    db_ = engine::Database::Open(path_, /*must_exist=*/true);
    sql_ = db_->Connect();
    ExpectedBeforeClose();

    services::RegisterMorveskClasses();
    auto obj = automation::CreateObject("Morvesk.CalCurAmount");
    automation::Variant err("");
    std::vector<automation::Variant> args{automation::Variant("Data Source=" + path_),
                                          automation::Variant(int32_t{3}),
                                          automation::Variant(int32_t{2025}),
                                          automation::Variant("2025-03-01"),
                                          automation::Variant("2025-04-01"),
                                          automation::Variant(int32_t{0}),
                                          automation::Variant(""),
                                          automation::Variant::Ref(&err)};
    close_ok_ = obj->CallRef("CalculateInvBal_Ext", args).ToBool();
    close_message_ = err.ToString();
  }

  static void TearDownTestSuite() {
    sql_.reset();
    db_.reset();
    std::filesystem::remove(path_);
  }

  void SetUp() override { ASSERT_TRUE(close_ok_) << close_message_; }

  // The rows of a query, one canonical line each, sorted.
  static Lines Rows(const std::string& query) {
    engine::BatchResult r = sql_->Execute(query);
    EXPECT_TRUE(r.ok()) << (r.ok() ? "" : r.errors.front().message) << "\n" << query;
    Lines out;
    for (const engine::Result* rs : r.ResultSets()) {
      for (const auto& row : rs->rows) {
        std::vector<std::string> cells;
        for (const engine::Value& v : row)
          cells.push_back(morvesk::test::CellText(v, morvesk::test::CellStyle::kCanonical));
        out.push_back(morvesk::test::RowLine(cells));
      }
    }
    std::sort(out.begin(), out.end());
    return out;
  }

  // What the period's rows must hold once closed, from the rows and bill lines before it.
  static void ExpectedBeforeClose() {
    // Stock and item balances (lots apart): every status counts, the stock held for others
    // keeps its openings, only batch-costed items keep their batch.
    expected_bal_ = Rows(
        "select FStockID, FItemID, FBatchNo, sum(FBegQty), sum(FBegBal), sum(FReceive), "
        "sum(FDebit), sum(FSend), sum(FCredit), sum(FBegQty) + sum(FReceive) - sum(FSend), "
        "sum(FBegBal) + sum(FDebit) - sum(FCredit) from ("
        " select b.FStockID, b.FItemID, b.FBatchNo, b.FBegQty, b.FBegBal, 0 as FReceive, "
        " 0 as FDebit, 0 as FSend, 0 as FCredit from t_CC_Bal b "
        " inner join t_ICItem i on i.FItemID = b.FItemID "
        " where b.FYear = 2025 and b.FPeriod = 3 and i.FTrack <> 78 "
        " and (b.FBegQty <> 0 or b.FBegBal <> 0) "
        " union all "
        " select m.FStockID, m.FItemID, case when i.FTrack = 80 then m.FBatchNo else '' end, "
        " 0, 0, case when m.FSide = 1 then m.FQty else 0 end, "
        " case when m.FSide = 1 then m.FAmount else 0 end, "
        " case when m.FSide = -1 then m.FQty else 0 end, "
        " case when m.FSide = -1 then m.FAmount else 0 end "
        " from (" +
        std::string(kMovements) +
        ") m inner join t_ICItem i on i.FItemID = m.FItemID "
        " inner join t_Stock st on st.FItemID = m.FStockID "
        " where i.FTrack <> 78 and st.FTypeID <> 502) x "
        "group by FStockID, FItemID, FBatchNo "
        "having sum(FBegQty) <> 0 or sum(FBegBal) <> 0 or sum(FReceive) <> 0 or "
        "sum(FDebit) <> 0 or sum(FSend) <> 0 or sum(FCredit) <> 0");
    expected_lots_ = Rows(
        "select b.FStockID, b.FItemID, b.FInterID, b.FBegQty, b.FBegBal, b.FReceive, b.FDebit, "
        "isnull(q.FQty, b.FSend), isnull(q.FAmount, b.FCredit), "
        "b.FBegQty + b.FReceive - isnull(q.FQty, b.FSend), "
        "b.FBegBal + b.FDebit - isnull(q.FAmount, b.FCredit) from t_CC_Bal b "
        "inner join t_ICItem i on i.FItemID = b.FItemID "
        "left join (select u.FStockID, u.FItemID, u.FInterID, sum(u.FQty) as FQty, "
        " sum(u.FAmount) as FAmount from icspeedbal u "
        " inner join t_Stock st on st.FItemID = u.FStockID and st.FTypeID <> 502 "
        " where u.FDate >= '2025-03-01' and u.FDate < '2025-04-01' "
        " group by u.FStockID, u.FItemID, u.FInterID) q on q.FStockID = b.FStockID "
        " and q.FItemID = b.FItemID and q.FInterID = b.FInterID "
        "where b.FYear = 2025 and b.FPeriod = 3 and i.FTrack = 78 "
        "and (b.FBegQty <> 0 or b.FBegBal <> 0 or b.FReceive <> 0 or b.FDebit <> 0)");
    // Stock, item, batch and auxiliary property quantities: audited bills only, items of the
    // costing codes that keep movements here (76, 77, 78 without batch; 80 with it); price
    // adjustments of items kept by auxiliary property are spread as amounts only.
    expected_stock_qty_ = Rows(
        "select FStockID, FItemID, FBatchNo, FAuxPropID, sum(FBegQty) + sum(FIn) - sum(FOut), "
        "sum(FSecBegQty) + sum(FSecIn) - sum(FSecOut) from ("
        " select FStockID, FItemID, FBatchNo, FAuxPropID, FBegQty, FSecBegQty, 0 as FIn, "
        " 0 as FOut, 0 as FSecIn, 0 as FSecOut from t_CC_Stock "
        " where FYear = 2025 and FPeriod = 3 "
        " and (FBegQty <> 0 or FSecBegQty <> 0 or FBegBal <> 0) "
        " union all "
        " select m.FStockID, m.FItemID, case when i.FTrack = 80 then m.FBatchNo else '' end, "
        " m.FAuxPropID, 0, 0, case when m.FSide = 1 then m.FQty else 0 end, "
        " case when m.FSide = -1 then m.FQty else 0 end, "
        " case when m.FSide = 1 then m.FSecQty else 0 end, "
        " case when m.FSide = -1 then m.FSecQty else 0 end "
        " from (" +
        std::string(kMovements) +
        ") m inner join t_ICItem i on i.FItemID = m.FItemID "
        " where i.FTrack in (76, 77, 78, 80) and isnull(m.FStatus, 0) <> 0 "
        " and not (m.FSide = 1 and i.FISAuxi = 1 and (m.FClassTypeID = 1040008 or "
        " (m.FClassTypeID = 1020004 and m.FBillTypeID <> 2042)))) x "
        "group by FStockID, FItemID, FBatchNo, FAuxPropID");
    // Amounts of items without auxiliary properties, whose adjustments enter directly.
    expected_stock_amount_ = Rows(
        "select FStockID, FItemID, FBatchNo, sum(FBegBal) + sum(FIn) - sum(FOut) from ("
        " select c.FStockID, c.FItemID, c.FBatchNo, c.FBegBal, 0 as FIn, 0 as FOut "
        " from t_CC_Stock c inner join t_ICItem i on i.FItemID = c.FItemID "
        " where c.FYear = 2025 and c.FPeriod = 3 and i.FISAuxi = 0 "
        " and (c.FBegQty <> 0 or c.FSecBegQty <> 0 or c.FBegBal <> 0) "
        " union all "
        " select m.FStockID, m.FItemID, case when i.FTrack = 80 then m.FBatchNo else '' end, "
        " 0, case when m.FSide = 1 then m.FAmount else 0 end, "
        " case when m.FSide = -1 then m.FAmount else 0 end "
        " from (" +
        std::string(kMovements) +
        ") m inner join t_ICItem i on i.FItemID = m.FItemID "
        " where i.FTrack in (76, 77, 78, 80) and i.FISAuxi = 0 and isnull(m.FStatus, 0) <> 0) x "
        "group by FStockID, FItemID, FBatchNo");
  }

  static std::string path_;
  static std::shared_ptr<engine::Database> db_;
  static std::unique_ptr<engine::Connection> sql_;
  static bool close_ok_;
  static std::string close_message_;
  static Lines expected_bal_, expected_lots_, expected_stock_qty_, expected_stock_amount_;
};

std::string CloseIdentitiesTest::path_;
std::shared_ptr<engine::Database> CloseIdentitiesTest::db_;
std::unique_ptr<engine::Connection> CloseIdentitiesTest::sql_;
bool CloseIdentitiesTest::close_ok_ = false;
std::string CloseIdentitiesTest::close_message_;
Lines CloseIdentitiesTest::expected_bal_, CloseIdentitiesTest::expected_lots_,
    CloseIdentitiesTest::expected_stock_qty_, CloseIdentitiesTest::expected_stock_amount_;

// A diff of two sorted line sets, at most a few lines of each side, for the failure message.
std::string Difference(const Lines& expected, const Lines& actual) {
  Lines missing, extra;
  std::set_difference(expected.begin(), expected.end(), actual.begin(), actual.end(),
                      std::back_inserter(missing));
  std::set_difference(actual.begin(), actual.end(), expected.begin(), expected.end(),
                      std::back_inserter(extra));
  std::string out = std::to_string(missing.size()) + " expected rows missing, " +
                    std::to_string(extra.size()) + " unexpected rows\n";
  for (size_t i = 0; i < missing.size() && i < 5; ++i) out += "- " + missing[i];
  for (size_t i = 0; i < extra.size() && i < 5; ++i) out += "+ " + extra[i];
  return out;
}

TEST_F(CloseIdentitiesTest, EveryBalanceIsItsOpeningPlusReceiptsLessIssues) {
  // Each stored row is consistent in itself.
  for (const char* table : {"t_CC_Bal", "t_CC_Stock", "t_CC_Stock_BatchNo"}) {
    EXPECT_EQ(Rows(std::string("select count(*) from ") + table +
                   " where FYear = 2025 and FPeriod = 3 and (FEndQty <> FBegQty + FReceive - "
                   "FSend or FEndBal <> FBegBal + FDebit - FCredit)"),
              Lines{"0\n"})
        << table;
  }

  ASSERT_GT(expected_bal_.size(), 300u);
  const Lines bal = Rows(
      "select b.FStockID, b.FItemID, b.FBatchNo, b.FBegQty, b.FBegBal, b.FReceive, b.FDebit, "
      "b.FSend, b.FCredit, b.FEndQty, b.FEndBal from t_CC_Bal b "
      "inner join t_ICItem i on i.FItemID = b.FItemID "
      "where b.FYear = 2025 and b.FPeriod = 3 and i.FTrack <> 78");
  EXPECT_TRUE(bal == expected_bal_) << Difference(expected_bal_, bal);

  // t_CC_Stock keeps one row per dating; the identity holds per balance key. Items of other
  // costing codes keep their openings.
  ASSERT_GT(expected_stock_qty_.size(), 400u);
  const Lines stock_qty = Rows(
      "select c.FStockID, c.FItemID, c.FBatchNo, c.FAuxPropID, sum(c.FEndQty), "
      "sum(c.FSecEndQty) from t_CC_Stock c inner join t_ICItem i on i.FItemID = c.FItemID "
      "where c.FYear = 2025 and c.FPeriod = 3 "
      "group by c.FStockID, c.FItemID, c.FBatchNo, c.FAuxPropID");
  EXPECT_TRUE(stock_qty == expected_stock_qty_) << Difference(expected_stock_qty_, stock_qty);

  const Lines stock_amount = Rows(
      "select c.FStockID, c.FItemID, c.FBatchNo, sum(c.FEndBal) from t_CC_Stock c "
      "inner join t_ICItem i on i.FItemID = c.FItemID "
      "where c.FYear = 2025 and c.FPeriod = 3 and i.FISAuxi = 0 group by c.FStockID, c.FItemID, "
      "c.FBatchNo");
  EXPECT_TRUE(stock_amount == expected_stock_amount_)
      << Difference(expected_stock_amount_, stock_amount);

  // Lots of lot-by-lot items keep what they held and received; their issues are the quick
  // balance's issues from the lot in the window, from stocks not held for others.
  ASSERT_GT(expected_lots_.size(), 10u);
  const Lines lots = Rows(
      "select b.FStockID, b.FItemID, b.FInterID, b.FBegQty, b.FBegBal, b.FReceive, b.FDebit, "
      "b.FSend, b.FCredit, b.FEndQty, b.FEndBal from t_CC_Bal b "
      "inner join t_ICItem i on i.FItemID = b.FItemID "
      "where b.FYear = 2025 and b.FPeriod = 3 and i.FTrack = 78");
  EXPECT_TRUE(lots == expected_lots_) << Difference(expected_lots_, lots);
}

TEST_F(CloseIdentitiesTest, BatchLevelRowsAddUpToTheStockRows) {
  // Quantities per stock, item and auxiliary property, for the costing codes whose
  // movements both levels keep.
  const std::string items =
      " inner join t_ICItem i on i.FItemID = a.FItemID "
      "where a.FYear = 2025 and a.FPeriod = 3 and i.FTrack in (76, 77, 80) ";
  const Lines batch_qty =
      Rows("select a.FStockID, a.FItemID, a.FAuxPropID, sum(a.FEndQty) from t_CC_Stock_BatchNo a" +
           items + "group by a.FStockID, a.FItemID, a.FAuxPropID having sum(a.FEndQty) <> 0");
  const Lines stock_qty =
      Rows("select a.FStockID, a.FItemID, a.FAuxPropID, sum(a.FEndQty) from t_CC_Stock a" + items +
           "group by a.FStockID, a.FItemID, a.FAuxPropID having sum(a.FEndQty) <> 0");
  ASSERT_GT(stock_qty.size(), 200u);
  EXPECT_TRUE(batch_qty == stock_qty) << Difference(stock_qty, batch_qty);

  // Amounts of items not costed by batch are brought to the stock rows' closing amount in
  // every group that received an amount.
  const Lines batch_amount = Rows(
      "select a.FStockID, a.FItemID, a.FAuxPropID, sum(a.FEndBal) from t_CC_Stock_BatchNo a "
      "inner join t_ICItem i on i.FItemID = a.FItemID "
      "where a.FYear = 2025 and a.FPeriod = 3 and i.FTrack in (76, 77) "
      "group by a.FStockID, a.FItemID, a.FAuxPropID having max(a.FDebit) <> 0");
  const Lines stock_amount = Rows(
      "select a.FStockID, a.FItemID, a.FAuxPropID, sum(a.FEndBal) from t_CC_Stock a "
      "inner join (select FStockID, FItemID, FAuxPropID from t_CC_Stock_BatchNo "
      " where FYear = 2025 and FPeriod = 3 group by FStockID, FItemID, FAuxPropID "
      " having max(FDebit) <> 0) g on g.FStockID = a.FStockID and g.FItemID = a.FItemID "
      " and g.FAuxPropID = a.FAuxPropID "
      "inner join t_ICItem i on i.FItemID = a.FItemID "
      "where a.FYear = 2025 and a.FPeriod = 3 and i.FTrack in (76, 77) "
      "group by a.FStockID, a.FItemID, a.FAuxPropID");
  ASSERT_GT(stock_amount.size(), 150u);
  EXPECT_TRUE(batch_amount == stock_amount) << Difference(stock_amount, batch_amount);
}

TEST_F(CloseIdentitiesTest, TheNextPeriodOpensWithThisPeriodsClosings) {
  EXPECT_EQ(Rows("select FKey, FValue from t_SystemProfile where FCategory = 'IC' and "
                 "FKey in ('CurrentYear', 'CurrentPeriod')"),
            (Lines{"CurrentPeriod|4\n", "CurrentYear|2025\n"}));

  // Stock and item balances carry their non-zero closings; lots are renumbered and may be
  // consolidated, so they compare per stock and item.
  const Lines bal_closing = Rows(
      "select b.FStockID, b.FItemID, b.FBatchNo, b.FEndQty, b.FEndBal from t_CC_Bal b "
      "inner join t_ICItem i on i.FItemID = b.FItemID where b.FYear = 2025 and b.FPeriod = 3 "
      "and i.FTrack <> 78 and (b.FEndQty <> 0 or b.FEndBal <> 0)");
  const Lines bal_opening = Rows(
      "select b.FStockID, b.FItemID, b.FBatchNo, b.FBegQty, b.FBegBal from t_CC_Bal b "
      "inner join t_ICItem i on i.FItemID = b.FItemID where b.FYear = 2025 and b.FPeriod = 4 "
      "and i.FTrack <> 78");
  ASSERT_GT(bal_closing.size(), 300u);
  EXPECT_TRUE(bal_opening == bal_closing) << Difference(bal_closing, bal_opening);

  const Lines lot_closing = Rows(
      "select b.FStockID, b.FItemID, sum(b.FEndQty), sum(b.FEndBal) from t_CC_Bal b "
      "inner join t_ICItem i on i.FItemID = b.FItemID where b.FYear = 2025 and b.FPeriod = 3 "
      "and i.FTrack = 78 and (b.FEndQty <> 0 or b.FEndBal <> 0) group by b.FStockID, b.FItemID");
  const Lines lot_opening = Rows(
      "select b.FStockID, b.FItemID, sum(b.FBegQty), sum(b.FBegBal) from t_CC_Bal b "
      "inner join t_ICItem i on i.FItemID = b.FItemID where b.FYear = 2025 and b.FPeriod = 4 "
      "and i.FTrack = 78 group by b.FStockID, b.FItemID");
  ASSERT_GT(lot_closing.size(), 20u);
  EXPECT_TRUE(lot_opening == lot_closing) << Difference(lot_closing, lot_opening);

  // Both stock-level tables carry every row, zero rows included.
  for (const char* table : {"t_CC_Stock", "t_CC_Stock_BatchNo"}) {
    const std::string columns = "FStockID, FItemID, FBatchNo, FAuxPropID, FKFPeriod, FPeriodDate, ";
    const Lines closing = Rows("select " + columns + "FEndQty, FSecEndQty, FEndBal from " + table +
                               " where FYear = 2025 and FPeriod = 3");
    const Lines opening = Rows("select " + columns + "FBegQty, FSecBegQty, FBegBal from " + table +
                               " where FYear = 2025 and FPeriod = 4");
    ASSERT_GT(closing.size(), 400u) << table;
    EXPECT_TRUE(opening == closing) << table << ": " << Difference(closing, opening);
  }
}

}  // namespace
}  // namespace morvesk::balance::test
