// The reader on a generated company (several hundred bill lines a period): the numbering
// procedure hands out ids above every bill already there, and a unit cost run prices every
// issue of the item in its stock at one weighted-average unit cost.
#include "tests/readers/readers_fixture.h"

namespace morvesk::readers::test {
namespace {

class GeneratedCompanyTest : public morvesk::test::CompanyFileFixture {
 protected:
  void SetUp() override {
    OpenCompany("readers-generated");
    company::GenerateOptions options;
    options.lines_per_period = 400;
    options.seed = 7;
    company::GenerateCompany(*sql_, options);
    services::RegisterMorveskClasses();
    reader_ = automation::CreateObject("Morvesk.StockBillReader");
  }
  void TearDown() override {
    reader_.reset();
    CompanyFileFixture::TearDown();
  }
  std::string Cnn() const { return "Data Source=" + path_; }
  engine::Value One(const std::string& query) {
    engine::BatchResult r = sql_->Execute(query);
    EXPECT_TRUE(r.ok()) << (r.ok() ? "" : r.errors.front().message) << "\n" << query;
    if (!r.ok() || r.ResultSets().empty() || r.ResultSets().back()->rows.empty()) {
      return engine::Value::Null(engine::TypeInfo::Of(engine::TypeKind::kInt));
    }
    return r.ResultSets().back()->rows[0][0];
  }

  std::shared_ptr<automation::Dispatch> reader_;
};

TEST_F(GeneratedCompanyTest, BillIdsStartAboveEveryBill) {
  const int64_t highest =
      One("SELECT MAX(FID) FROM (SELECT FID FROM T_CC_StockBill UNION ALL SELECT FID FROM "
          "t_CC_ZZCX) b")
          .as_int();
  const int32_t first =
      reader_->Call("GetBillID", {Variant(Cnn()), Variant("t_CC_StockBill")}).ToLong();
  EXPECT_GT(first, highest);
  EXPECT_EQ(reader_->Call("GetBillID", {Variant(Cnn()), Variant("t_CC_StockBill")}).ToLong(),
            first + 1);
}

// The stock and weighted-average item (costing 76 or 77) with the most issue lines of the
// current period is costed by itself; the unit cost is its opening plus the period's audited
// receipts, amount over quantity, to four decimals, and every issue line of that item in
// that stock costs its quantity at that unit cost, to the cent.
TEST_F(GeneratedCompanyTest, UnitCostRunPricesEveryIssueAlike) {
  const std::string window =
      "(SELECT p.FStartDate FROM t_PeriodDate p WHERE p.FYear = (SELECT CONVERT(int, FValue) "
      "FROM t_SystemProfile WHERE FCategory = 'IC' AND FKey = 'CurrentYear') AND p.FPeriod = "
      "(SELECT CONVERT(int, FValue) FROM t_SystemProfile WHERE FCategory = 'IC' AND FKey = "
      "'CurrentPeriod'))";
  const std::string window_end =
      "(SELECT p.FEndDate" + window.substr(std::string("(SELECT p.FStartDate").size());
  const std::string issues =
      "FROM T_CC_StockBill h INNER JOIN T_CC_StockBillEntry e ON e.FID = h.FID INNER JOIN "
      "t_ICItem i ON i.FItemID = e.FItemID WHERE i.FTrack IN (76, 77) AND h.FClassTypeID IN "
      "(1030002, 1030003, 1030004, 1040002, 1040004, 1040007) AND h.FDate >= " +
      window + " AND h.FDate <= " + window_end;
  engine::BatchResult pick = sql_->Execute(
      "SELECT TOP 1 e.FSCStockID, e.FItemID " + issues +
      " GROUP BY e.FSCStockID, e.FItemID ORDER BY COUNT(*) DESC, e.FSCStockID, e.FItemID");
  ASSERT_TRUE(pick.ok() && !pick.ResultSets().back()->rows.empty());
  const int64_t stock = pick.ResultSets().back()->rows[0][0].as_int();
  const int64_t item = pick.ResultSets().back()->rows[0][1].as_int();
  const std::string s = std::to_string(stock), it = std::to_string(item);

  const engine::Value expected = One(
      "DECLARE @q decimal(28,10), @a decimal(28,10), @rq decimal(28,10), @ra decimal(28,10)\r\n"
      "SELECT @q = ISNULL(SUM(FBegQty), 0), @a = ISNULL(SUM(FBegBal), 0) FROM t_CC_Bal WHERE "
      "FStockID = " +
      s + " AND FItemID = " + it +
      " AND FYear = (SELECT CONVERT(int, FValue) FROM t_SystemProfile WHERE FCategory = 'IC' AND "
      "FKey = 'CurrentYear') AND FPeriod = (SELECT CONVERT(int, FValue) FROM t_SystemProfile "
      "WHERE FCategory = 'IC' AND FKey = 'CurrentPeriod')\r\n"
      "SELECT @rq = ISNULL(SUM(FQty), 0), @ra = ISNULL(SUM(FAmount), 0) FROM vw_cc_Receive WHERE "
      "FStockID = " +
      s + " AND FItemID = " + it + " AND ISNULL(FStatus, 0) <> 0 AND FDate >= " + window +
      " AND FDate <= " + window_end +
      "\r\n"
      "SELECT CASE WHEN @q + @rq > 0 THEN ROUND((@a + @ra) / (@q + @rq), 4) END");
  ASSERT_FALSE(expected.is_null()) << "no quantity to cost for " << s << "/" << it;

  EXPECT_TRUE(reader_
                  ->Call("Calcualte",
                         {Variant(Cnn()), Variant(int32_t{1}), Variant(static_cast<int32_t>(stock)),
                          Variant(static_cast<int32_t>(item)), Variant(int32_t{4})})
                  .ToBool());
  const std::string price = expected.ToString();
  EXPECT_EQ(One("SELECT COUNT(*) " + issues + " AND e.FSCStockID = " + s + " AND e.FItemID = " +
                it + " AND ISNULL(e.FCostAmount, -1) <> ROUND(e.FQty * " + price + ", 2)")
                .as_int(),
            0)
      << "unit cost " << price;
  EXPECT_GT(One("SELECT COUNT(*) " + issues + " AND e.FSCStockID = " + s + " AND e.FItemID = " + it)
                .as_int(),
            0);
}

}  // namespace
}  // namespace morvesk::readers::test
