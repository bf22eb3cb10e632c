// The demo company as the costing reads it: consistent references, views that give
// each bill type its sign, and opening balances that agree across the three
// balance tables as a close would leave them.
#include <gtest/gtest.h>

#include "company_fixture.h"

namespace morvesk::company::testing {
namespace {

TEST(DemoCompany, KeepsEveryReferenceAndTheCalendarAndProfileTheCostingReads) {
  TestCompany c = NewCompany();
  ExpectConsistent(*c.conn);
  EXPECT_EQ(Query(*c.conn, "select count(*), min(FStartDate), max(FEndDate) from t_PeriodDate"),
            (Rows{{"24", "2025-01-01", "2026-12-31"}}));
  // A period's end is its last day; the calendar has no gap.
  EXPECT_EQ(Scalar(*c.conn,
                   "select count(*) from t_PeriodDate a inner join t_PeriodDate b "
                   "on b.FStartDate = a.FEndDate + 1"),
            "23");
  EXPECT_EQ(Query(*c.conn,
                  "select FCategory, count(*) from t_SystemProfile group by FCategory "
                  "order by FCategory"),
            (Rows{{"Base", "1"}, {"GL", "5"}, {"IC", "12"}}));
  EXPECT_EQ(Query(*c.conn,
                  "select FValue from t_SystemProfile where FCategory = 'IC' "
                  "and FKey in ('CurrentYear', 'CurrentPeriod') order by FKey"),
            (Rows{{"3"}, {"2025"}}));
  // Every costing code, the 502 stock and both auxiliary flags are present.
  EXPECT_EQ(Query(*c.conn, "select distinct FTrack from t_ICItem order by FTrack"),
            (Rows{{"76"}, {"77"}, {"78"}, {"79"}, {"80"}}));
  EXPECT_EQ(Query(*c.conn, "select distinct FISAuxi from t_ICItem order by FISAuxi"),
            (Rows{{"0"}, {"1"}}));
  EXPECT_EQ(Scalar(*c.conn, "select FName from t_Stock where FTypeID = 502"), "代管仓");
}

TEST(DemoCompany, ReceiptAndIssueViewsGiveEachBillTypeItsSign) {
  TestCompany c = NewCompany();
  // Returns and red-ink reversals negative, rebates amount only, the transfer on
  // both sides, assembly product in and components out, dismantling the reverse.
  EXPECT_EQ(Query(*c.conn,
                  "select FClassTypeID, FBillTypeID, sum(FQty), sum(FAmount), count(*) "
                  "from vw_cc_Receive "
                  "where FBillTypeID in (2012, 2031, 2032, 2041) or FClassTypeID >= 1040005 "
                  "group by FClassTypeID, FBillTypeID order by FClassTypeID, FBillTypeID"),
            (Rows{{"1020002", "2012", "-50", "-260", "1"},
                  {"1020003", "2031", "-10", "-30", "1"},
                  {"1020003", "2032", "-50", "-150", "1"},
                  {"1020004", "2041", "0", "-31", "2"},
                  {"1040005", "0", "10", "300", "1"},
                  {"1040006", "0", "102", "30", "2"},
                  {"1040007", "0", "130", "870", "3"},
                  {"1040008", "0", "0", "362", "6"},
                  {"1040008", "1", "0", "-5.5", "2"}}));
  EXPECT_EQ(Query(*c.conn,
                  "select FClassTypeID, FBillTypeID, sum(FQty), sum(FAmount), count(*) "
                  "from vw_cc_Send "
                  "where FBillTypeID in (3002, 3003, 3004, 3011, 3020, 3021) "
                  "or FClassTypeID >= 1040005 "
                  "group by FClassTypeID, FBillTypeID order by FClassTypeID, FBillTypeID"),
            (Rows{{"1030002", "3002", "-10", "-50", "1"},
                  {"1030002", "3003", "0", "0", "1"},
                  {"1030002", "3004", "-5", "-25", "1"},
                  {"1030003", "3011", "-1", "-32", "1"},
                  {"1030004", "3020", "0", "0", "1"},
                  {"1030004", "3021", "0", "0", "1"},
                  {"1040005", "0", "1020", "300", "2"},
                  {"1040006", "0", "1", "30", "1"},
                  {"1040007", "0", "130", "870", "3"}}));
  // The transfer leaves 101 in the issue view and enters 103 in the receipt view.
  EXPECT_EQ(Query(*c.conn,
                  "select r.FStockID, s.FStockID from vw_cc_Receive r inner join vw_cc_Send s "
                  "on s.FEntryID = r.FEntryID and s.FClassTypeID = r.FClassTypeID "
                  "where r.FEntryID = 2201"),
            (Rows{{"103", "101"}}));
  for (const char* view : {"vw_cc_Receive", "vw_CC_Send"}) {
    EXPECT_EQ(Scalar(*c.conn, std::string("select count(*) from ") + view +
                                  " where FBatchNo is null or FAuxPropID is null "
                                  "or FQty is null or FSecQty is null or FAmount is null"),
              "0")
        << view;
  }
  EXPECT_EQ(Scalar(*c.conn, "select count(*) from vw_cc_Send where FClassTypeID = 1040008"), "0");
  // Names for the pre-close lists; an unknown auxiliary property leaves the line in.
  EXPECT_EQ(Query(*c.conn,
                  "select ItemNumber, ItemName, FStockName, AuxName from vw_cc_Receive "
                  "where FEntryID in (401, 402) order by FEntryID"),
            (Rows{{"01.004", "鲜奶", "门店仓", "NULL"}, {"01.002", "T恤", "原料仓", "蓝色"}}));
  // Bill lines with their header, unsigned, and the reference-price objects.
  EXPECT_EQ(Scalar(*c.conn, "select count(*) from vw_cc_StockBillEntry"),
            Scalar(*c.conn, "select count(*) from T_CC_StockBillEntry"));
  EXPECT_EQ(Query(*c.conn,
                  "select t2.FPrice from icstockbill t1 inner join icstockbillentry t2 "
                  "on t1.FInterID = t2.FInterID where t1.FTranType = 2 and t2.FItemID = 1001 "
                  "and t1.FStatus > 0 order by t1.FDate"),
            (Rows{{"5.2"}, {"5"}, {"5.2"}}));
}

TEST(DemoCompany, OpeningBalancesAgreeAcrossTheBalanceTables) {
  TestCompany c = NewCompany();
  EXPECT_EQ(Query(*c.conn,
                  "select FStockID, FItemID, FBatchNo, FAuxPropID, FBegQty, FSecBegQty, FBegBal, "
                  "FKFDate, FKFPeriod, FPeriodDate from t_CC_Stock "
                  "where FYear = 2025 and FPeriod = 3 order by FStockID, FItemID, FBatchNo, FAuxPropID"),
            (Rows{{"101", "1001", "", "0", "1000", "0", "5000", "1900-01-01", "0", "1900-01-01"},
                  {"101", "1002", "", "201", "30", "0", "300", "1900-01-01", "0", "1900-01-01"},
                  {"101", "1002", "", "202", "70", "0", "700", "1900-01-01", "0", "1900-01-01"},
                  {"101", "1003", "", "0", "2000", "20", "400", "1900-01-01", "0", "1900-01-01"},
                  {"101", "1005", "", "0", "15", "0", "50", "1900-01-01", "0", "1900-01-01"},
                  {"101", "1006", "B2501", "0", "100", "0", "1200", "2025-01-10", "365", "2026-01-10"},
                  {"101", "1006", "B2502", "0", "50", "0", "650", "2025-02-15", "365", "2026-02-15"},
                  {"101", "1009", "", "0", "20", "0", "160", "1900-01-01", "0", "1900-01-01"},
                  {"102", "1005", "", "0", "8", "0", "48", "1900-01-01", "0", "1900-01-01"},
                  {"102", "1007", "P01", "201", "30", "0", "300", "2025-02-01", "180", "2025-07-31"},
                  {"102", "1007", "P01", "202", "70", "0", "700", "2025-02-01", "180", "2025-07-31"},
                  {"102", "1008", "", "0", "500", "0", "1540", "1900-01-01", "0", "1900-01-01"},
                  {"103", "1001", "", "0", "200", "0", "1000", "1900-01-01", "0", "1900-01-01"},
                  {"103", "1004", "", "0", "50", "0", "250", "1900-01-01", "0", "1900-01-01"},
                  {"105", "1001", "", "0", "100", "0", "500", "1900-01-01", "0", "1900-01-01"}}));
  // Batch rows summed per stock, item and auxiliary property give t_CC_Stock.
  EXPECT_EQ(Query(*c.conn,
                  "select FStockID, FItemID, FAuxPropID, sum(FBegQty), sum(FBegBal) "
                  "from t_CC_Stock_BatchNo where FYear = 2025 and FPeriod = 3 "
                  "group by FStockID, FItemID, FAuxPropID order by FStockID, FItemID, FAuxPropID"),
            Query(*c.conn,
                  "select FStockID, FItemID, FAuxPropID, sum(FBegQty), sum(FBegBal) "
                  "from t_CC_Stock where FYear = 2025 and FPeriod = 3 "
                  "group by FStockID, FItemID, FAuxPropID order by FStockID, FItemID, FAuxPropID"));
  // t_CC_Stock per stock and item gives t_CC_Bal, whose lot rows sum up per stock.
  EXPECT_EQ(Query(*c.conn,
                  "select FStockID, FItemID, sum(FBegQty), sum(FBegBal) from t_CC_Stock "
                  "where FYear = 2025 and FPeriod = 3 group by FStockID, FItemID "
                  "order by FStockID, FItemID"),
            Query(*c.conn,
                  "select FStockID, FItemID, sum(FBegQty), sum(FBegBal) from t_CC_Bal "
                  "where FYear = 2025 and FPeriod = 3 group by FStockID, FItemID "
                  "order by FStockID, FItemID"));
  EXPECT_EQ(Query(*c.conn,
                  "select FInterID, FStockID, FBegQty, FReceive, FDebit, FStockInDate from t_CC_Bal "
                  "where FItemID = 1005 order by FIdentity"),
            (Rows{{"100000000000000000000001", "101", "10", "0", "0", "2025-01-20"},
                  {"100000000000000000000002", "101", "5", "0", "0", "2025-02-10"},
                  {"100000000000000000000003", "102", "8", "0", "0", "2025-02-15"},
                  {"300000000003000000000301", "102", "0", "10", "65", "2025-03-12"}}));
  // Id counters start above the ids in use.
  EXPECT_EQ(Query(*c.conn, "select FTableName, FMaxNum from t_ICMaxNum where FTableName like 't_CC%' "
                           "order by FTableName"),
            (Rows{{"t_CC_StockBill", "48"}, {"t_CC_StockBillEntry", "4801"}}));
}

}  // namespace
}  // namespace morvesk::company::testing
