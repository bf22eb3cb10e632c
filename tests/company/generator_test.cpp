// Generated companies: consistent at any size, covering every case the costing
// distinguishes, and the same company for the same seed.
#include <gtest/gtest.h>

#include "company_fixture.h"

namespace morvesk::company::testing {
namespace {

TEST(GeneratedCompany, IsConsistentAndCoversEveryBillKindAndItemBehaviour) {
  TestCompany c = NewCompany(3000, 7);
  ExpectConsistent(*c.conn);
  // N lines in each bill period plus the period's generated adjustment; a few
  // unaudited bills in the period after.
  EXPECT_EQ(Query(*c.conn,
                  "select year(h.FDate), month(h.FDate), count(*), sum(case when isnull(h.FStatus, 0) = 0 "
                  "then 1 else 0 end) from T_CC_StockBill h inner join T_CC_StockBillEntry e "
                  "on e.FID = h.FID group by year(h.FDate), month(h.FDate) order by 1, 2"),
            (Rows{{"2025", "3", "3001", "0"}, {"2025", "4", "3001", "0"}, {"2025", "5", "3", "3"}}));
  EXPECT_EQ(Query(*c.conn,
                  "select FClassTypeID, FBillTypeID from T_CC_StockBill "
                  "group by FClassTypeID, FBillTypeID order by 1, 2"),
            (Rows{{"1020002", "2010"}, {"1020002", "2012"}, {"1020003", "2030"},
                  {"1020003", "2031"}, {"1020003", "2032"}, {"1020004", "2040"},
                  {"1020004", "2041"}, {"1020004", "2042"}, {"1030002", "3001"},
                  {"1030002", "3002"}, {"1030002", "3003"}, {"1030002", "3004"},
                  {"1030003", "3010"}, {"1030003", "3011"}, {"1030004", "3020"},
                  {"1030004", "3021"}, {"1030004", "3022"}, {"1040001", "0"},
                  {"1040002", "0"},    {"1040003", "0"},    {"1040004", "0"},
                  {"1040007", "0"},    {"1040008", "0"},    {"1040008", "1"}}));
  EXPECT_EQ(Query(*c.conn, "select FClassTypeID, count(*) from t_CC_ZZCX group by FClassTypeID "
                           "order by 1"),
            (Rows{{"1040005", "4"}, {"1040006", "2"}}));
  EXPECT_EQ(Query(*c.conn, "select FTrack, min(FISAuxi), max(FISAuxi) from t_ICItem "
                           "group by FTrack order by FTrack"),
            (Rows{{"76", "0", "1"}, {"77", "0", "0"}, {"78", "0", "0"}, {"79", "0", "0"},
                  {"80", "0", "1"}}));
  // The stock held for others has movements; lot items have lots and lot issues.
  EXPECT_NE(Scalar(*c.conn, "select count(*) from T_CC_StockBillEntry e inner join t_Stock s "
                            "on s.FItemID = e.FDCStockID or s.FItemID = e.FSCStockID "
                            "where s.FTypeID = 502"),
            "0");
  EXPECT_NE(Scalar(*c.conn, "select count(*) from ICSpeedBal where FInterID <> ''"), "0");
  EXPECT_NE(Scalar(*c.conn, "select count(*) from t_CC_Bal where FInterID like '3%'"), "0");
  // Lot issues never take more than a lot holds.
  EXPECT_EQ(Scalar(*c.conn,
                   "select count(*) from (select b.FInterID, max(b.FBegQty) q, sum(p.FQty) taken "
                   "from t_CC_Bal b inner join ICSpeedBal p on p.FInterID = b.FInterID "
                   "group by b.FInterID) x where taken > q"),
            "0");
  // Shelf-life lines carry consistent dating: production date = expiry - shelf life.
  EXPECT_EQ(Scalar(*c.conn, "select count(*) from T_CC_StockBillEntry "
                            "where FKFPeriod > 0 and FKFDate <> FPeriodDate - FKFPeriod"),
            "0");
  EXPECT_NE(Scalar(*c.conn, "select count(*) from T_CC_StockBillEntry where FKFPeriod > 0"), "0");
  // Every line reaches the views: receipts, issues, transfers on both sides, each
  // assembly line on the side it moves.
  EXPECT_EQ(Scalar(*c.conn, "select (select count(*) from vw_cc_Receive) + (select count(*) from vw_cc_Send)"),
            Scalar(*c.conn, "select (select count(*) from T_CC_StockBillEntry) "
                            "+ (select count(*) from vw_cc_StockBillEntry where FClassTypeID = 1040007) "
                            "+ (select count(*) from t_CC_ZZCX_Entry) "
                            "+ (select count(*) from t_CC_ZZCX_Entry2)"));
  // Openings agree between the batch rows and t_CC_Stock.
  EXPECT_EQ(Query(*c.conn, "select sum(FBegQty), sum(FBegBal) from t_CC_Stock_BatchNo"),
            Query(*c.conn, "select sum(FBegQty), sum(FBegBal) from t_CC_Stock"));
  EXPECT_EQ(Query(*c.conn, "select sum(FBegQty), sum(FBegBal) from t_CC_Stock"),
            Query(*c.conn, "select sum(FBegQty), sum(FBegBal) from t_CC_Bal"));
  // Bill totals are the sums of their lines.
  EXPECT_EQ(Scalar(*c.conn, "select count(*) from T_CC_StockBill h inner join (select FID, sum(FAmount) a "
                            "from T_CC_StockBillEntry group by FID) s on s.FID = h.FID "
                            "where s.a <> h.FAllAmount"),
            "0");
}

TEST(GeneratedCompany, SameSeedSameCompanyOtherSeedOtherCompany) {
  const std::string fingerprint =
      "select count(*), sum(e.FQty), sum(e.FCostAmount), sum(e.FItemID * e.FEntryID), "
      "sum(e.FDCStockID + 2 * e.FSCStockID), max(h.FDate) "
      "from T_CC_StockBillEntry e inner join T_CC_StockBill h on h.FID = e.FID";
  TestCompany a = NewCompany(500, 42);
  TestCompany b = NewCompany(500, 42);
  TestCompany other = NewCompany(500, 43);
  Rows fa = Query(*a.conn, fingerprint);
  EXPECT_EQ(fa, Query(*b.conn, fingerprint));
  EXPECT_NE(fa, Query(*other.conn, fingerprint));
  EXPECT_EQ(Query(*a.conn, "select sum(FBegBal) from t_CC_Stock_BatchNo"),
            Query(*b.conn, "select sum(FBegBal) from t_CC_Stock_BatchNo"));
}

TEST(CreateCompany, RefusesToReplaceAFileUnlessForcedAndLeavesNoFileOnFailure) {
  const std::string path = ::testing::TempDir() + "company_create_test.db";
  std::remove(path.c_str());
  GenerateOptions options;
  CreateCompany(path, options, false);
  {
    auto db = engine::Database::Open(path, true);
    auto conn = db->Connect();
    EXPECT_EQ(Scalar(*conn, "select count(*) from t_ICItem"), "11");
  }
  try {
    CreateCompany(path, options, false);
    ADD_FAILURE() << "an existing file must be refused";
  } catch (const engine::SqlError& e) {
    EXPECT_EQ(e.number, 1801);
  }
  options.lines_per_period = 200;
  CreateCompany(path, options, true);
  {
    auto db = engine::Database::Open(path, true);
    auto conn = db->Connect();
    EXPECT_EQ(Scalar(*conn, "select count(*) from T_CC_StockBillEntry e inner join T_CC_StockBill h "
                            "on h.FID = e.FID where h.FDate < '2025-04-01'"),
              "201");
  }
  std::remove(path.c_str());
}

}  // namespace
}  // namespace morvesk::company::testing
