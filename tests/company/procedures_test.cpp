// The stored procedures as their callers use them: through a command with
// positional parameters and output values, on small companies whose figures are
// worked out by hand.
#include <gtest/gtest.h>

#include "company_fixture.h"

namespace morvesk::company::testing {
namespace {

using engine::ProcParam;
using engine::TypeInfo;
using engine::TypeKind;
using engine::Value;

ProcParam In(const char* name, TypeKind kind, Value v) {
  return ProcParam{name, TypeInfo::Of(kind), false, std::move(v)};
}
ProcParam Out(const char* name, TypeInfo type, Value v = Value()) {
  return ProcParam{name, type, true, std::move(v)};
}

void Exec(engine::Connection& conn, const std::string& sql) {
  engine::BatchResult r = conn.Execute(sql);
  ASSERT_TRUE(r.ok()) << sql;
}

// A company in 2025/3 with stocks 1, 2 (ordinary) and 3 (held for others), and
// the items the cases below add.
TestCompany SmallCompany() {
  TestCompany c = NewSchema();
  Exec(*c.conn,
      "insert into t_SystemProfile (FCategory, FKey, FValue) values ('IC', 'CurrentYear', '2025')\n"
      "insert into t_SystemProfile (FCategory, FKey, FValue) values ('IC', 'CurrentPeriod', '3')\n"
      "insert into t_SystemProfile (FCategory, FKey, FValue) values ('IC', 'CalculateType', '1')\n"
      "insert into t_PeriodDate values (2025, 3, '2025-03-01', '2025-03-31')\n"
      "insert into t_PeriodDate values (2025, 4, '2025-04-01', '2025-04-30')\n"
      "insert into t_Stock (FItemID, FNumber, FName, FTypeID) values (1, 'S1', 'one', 500)\n"
      "insert into t_Stock (FItemID, FNumber, FName, FTypeID) values (2, 'S2', 'two', 500)\n"
      "insert into t_Stock (FItemID, FNumber, FName, FTypeID) values (3, 'S3', 'held', 502)\n");
  return c;
}

// Runs a costing procedure as the unit-cost operation binds it; returns @StockID.
Value RunCosting(engine::Connection& conn, const char* proc, int stock, int item,
                 const char* batch, bool per_stock, int decimals) {
  std::vector<ProcParam> params;
  params.push_back(Out("@StockID", TypeInfo::Of(TypeKind::kInt), Value::Int(stock)));
  params.push_back(In("@ItemID", TypeKind::kInt, Value::Int(item)));
  if (batch) params.push_back(In("@BatchNo", TypeKind::kVarChar, Value::Text(batch)));
  params.push_back(In("@CalculateType", TypeKind::kBit, Value::Bit(per_stock)));
  params.push_back(In("@Decimal", TypeKind::kSmallInt, Value::Int(decimals, TypeKind::kSmallInt)));
  params.push_back(In("@CalcPeriod", TypeKind::kBit, Value::Bit(true)));
  conn.CallProcedure(proc, params);
  return params[0].value;
}

TEST(PeriodProcedures, PeriodDatesRunToTheFirstDayAfterThePeriod) {
  TestCompany c = NewCompany();
  auto call = [&](int year, int period, std::vector<ProcParam>& params) {
    params = {In("@aYear", TypeKind::kInt, Value::Int(year)),
              In("@aPeriod", TypeKind::kInt, Value::Int(period)),
              Out("@aPeriodStart", TypeInfo::Of(TypeKind::kDateTime)),
              Out("@aPeriodEnd", TypeInfo::Of(TypeKind::kDateTime))};
    return c.conn->CallProcedure("GetPeriodStartEnd", params);
  };
  auto dates = [&](int year, int period) {
    std::vector<ProcParam> params;
    EXPECT_TRUE(call(year, period, params).ok());
    return std::vector<std::string>{Canon(params[2].value), Canon(params[3].value)};
  };
  EXPECT_EQ(dates(2025, 12), (std::vector<std::string>{"2025-12-01", "2026-01-01"}));
  EXPECT_EQ(dates(2025, 2), (std::vector<std::string>{"2025-02-01", "2025-03-01"}));
  EXPECT_EQ(dates(2026, 12), (std::vector<std::string>{"2026-12-01", "2027-01-01"}));
  // A period outside the calendar raises (severity 16) and answers no dates.
  std::vector<ProcParam> params;
  engine::BatchResult missing = call(2030, 1, params);
  ASSERT_FALSE(missing.ok());
  EXPECT_EQ(missing.errors.front().severity, 16);
  EXPECT_NE(missing.errors.front().message.find("2030"), std::string::npos);
  EXPECT_TRUE(params[2].value.is_null());
}

TEST(PeriodProcedures, InternalIdsIncreaseAndAreNeverHandedOutTwice) {
  TestCompany c = NewCompany();
  auto next = [&](const char* table) {
    std::vector<ProcParam> params{In("@TableName", TypeKind::kVarChar, Value::Text(table)),
                                  Out("@FInterID", TypeInfo::Of(TypeKind::kInt), Value::Int(0))};
    c.conn->CallProcedure("GetICMaxNum", params);
    return params[1].value.as_int();
  };
  const int64_t max_bill = std::stoll(Scalar(*c.conn, "select max(FID) from T_CC_StockBill"));
  int64_t a = next("t_CC_StockBill");
  int64_t b = next("t_CC_StockBill");
  EXPECT_GT(a, max_bill);
  EXPECT_EQ(b, a + 1);
  // Deleting the newest bill does not free its id again.
  Exec(*c.conn, "delete from T_CC_StockBillEntry where FID = " + std::to_string(max_bill) +
                    " delete from T_CC_StockBill where FID = " + std::to_string(max_bill));
  EXPECT_EQ(next("t_CC_StockBill"), b + 1);
  // Each table counts by itself; a name never seen starts at 1.
  EXPECT_EQ(next("t_SomethingNew"), 1);
  EXPECT_EQ(next("t_SomethingNew"), 2);
  EXPECT_EQ(next("t_CC_StockBill"), b + 2);
}

TEST(CostingProcedures, WeightedAverageCostsTheIssuesOfThePeriod) {
  TestCompany c = SmallCompany();
  Exec(*c.conn,
       "insert into t_ICItem (FItemID, FNumber, FName, FTrack, FUnitID) values (10, 'I10', 'avg', 76, 1)\n"
       "insert into t_CC_Bal (FInterID, FYear, FPeriod, FStockID, FItemID, FBegQty, FBegBal)\n"
       "  values ('100000000000000000000000', 2025, 3, 1, 10, 10, 100)\n"
       // audited receipt, an unaudited one and one of April: only the first counts
       "insert into T_CC_StockBill (FID, FBillNo, FClassTypeID, FBillTypeID, FDate, FStatus) values\n"
       "  (1, 'R1', 1020002, 2010, '2025-03-02', 1), (2, 'R2', 1020002, 2010, '2025-03-03', 0),\n"
       "  (3, 'R3', 1020002, 2010, '2025-04-01', 1), (4, 'D1', 1030002, 3001, '2025-03-31', 1),\n"
       "  (5, 'D2', 1030002, 3002, '2025-03-20', 1), (6, 'D3', 1030002, 3001, '2025-04-02', 1)\n"
       "insert into T_CC_StockBillEntry (FEntryID, FID, FIndex, FItemID, FDCStockID, FSCStockID, FQty, FCostAmount) values\n"
       "  (101, 1, 1, 10, 1, 0, 30, 330), (201, 2, 1, 10, 1, 0, 100, 9999), (301, 3, 1, 10, 1, 0, 5, 5000),\n"
       "  (401, 4, 1, 10, 0, 1, 8, 0), (402, 4, 2, 10, 0, 1, 3, 0), (501, 5, 1, 10, 0, 1, 1, 0),\n"
       "  (601, 6, 1, 10, 0, 1, 2, 0)");
  // (100 + 330) / (10 + 30) = 10.75 a unit; the return is costed too, April is not.
  EXPECT_EQ(Canon(RunCosting(*c.conn, "sp_calculate76", 1, 10, nullptr, true, 4)), "1");
  EXPECT_EQ(Query(*c.conn, "select FEntryID, FCostAmount from T_CC_StockBillEntry "
                           "where FID >= 4 order by FEntryID"),
            (Rows{{"401", "86"}, {"402", "32.25"}, {"501", "10.75"}, {"601", "0"}}));
  EXPECT_EQ(Query(*c.conn, "select FItemID, FStockID, FResult from CalculateLog"),
            (Rows{{"10", "1", "0"}}));

  // The unit cost is rounded to the price decimals before it is multiplied:
  // 10 / 3 = 3.3333 (4 places) or 3.33 (2 places), times 7.
  Exec(*c.conn,
       "update t_CC_Bal set FBegQty = 3, FBegBal = 10\n"
       "delete from T_CC_StockBillEntry where FID <> 4\n"
       "update T_CC_StockBillEntry set FQty = 7 where FEntryID = 401\n"
       "update T_CC_StockBillEntry set FQty = 0 where FEntryID = 402");
  RunCosting(*c.conn, "sp_calculate76", 1, 10, nullptr, true, 4);
  EXPECT_EQ(Scalar(*c.conn, "select FCostAmount from T_CC_StockBillEntry where FEntryID = 401"),
            "23.33");
  RunCosting(*c.conn, "sp_calculate76", 1, 10, nullptr, true, 2);
  EXPECT_EQ(Scalar(*c.conn, "select FCostAmount from T_CC_StockBillEntry where FEntryID = 401"),
            "23.31");

  // Nothing on hand in stock 2: the run fails through @StockID and is logged.
  EXPECT_EQ(Canon(RunCosting(*c.conn, "sp_calculate76", 2, 10, nullptr, true, 4)), "-1");
  EXPECT_EQ(Scalar(*c.conn, "select count(*) from CalculateLog where FResult = -1 and FItemID = 10"),
            "1");
  EXPECT_EQ(Canon(RunCosting(*c.conn, "sp_calculate76", 1, 999, nullptr, true, 4)), "-1");
}

TEST(CostingProcedures, CostingTogetherPoolsTheStocksButNotTheOneHeldForOthers) {
  TestCompany c = SmallCompany();
  Exec(*c.conn,
       "insert into t_ICItem (FItemID, FNumber, FName, FTrack, FUnitID) values (11, 'I11', 'mov', 77, 1)\n"
       "insert into t_CC_Bal (FInterID, FYear, FPeriod, FStockID, FItemID, FBegQty, FBegBal) values\n"
       "  ('100000000000000000000000', 2025, 3, 1, 11, 10, 100),\n"
       "  ('100000000000000000000000', 2025, 3, 2, 11, 10, 200),\n"
       "  ('100000000000000000000000', 2025, 3, 3, 11, 10, 0)\n"
       "insert into T_CC_StockBill (FID, FBillNo, FClassTypeID, FBillTypeID, FDate, FStatus) values\n"
       "  (1, 'D1', 1030002, 3001, '2025-03-10', 1), (2, 'T1', 1040007, 0, '2025-03-11', 1)\n"
       "insert into T_CC_StockBillEntry (FEntryID, FID, FIndex, FItemID, FDCStockID, FSCStockID, FQty) values\n"
       "  (101, 1, 1, 11, 0, 2, 2), (201, 2, 1, 11, 1, 2, 4)");
  // (100 + 200) / 20 = 15: the sale and the transfer between the two stocks.
  EXPECT_EQ(Canon(RunCosting(*c.conn, "sp_calculate76", 2, 11, nullptr, false, 4)), "2");
  EXPECT_EQ(Query(*c.conn, "select FEntryID, FCostAmount from T_CC_StockBillEntry order by FEntryID"),
            (Rows{{"101", "30"}, {"201", "60"}}));
  // A moving-average item keeps its running balance, stock 0 when costed together.
  EXPECT_EQ(Query(*c.conn, "select FInterID, FStockID, FItemID, FQty, FAmount from ICSpeedBal"),
            (Rows{{"", "0", "11", "18", "270"}}));
}

TEST(CostingProcedures, BatchRunCostsOneBatchFromItsOwnOpenings) {
  TestCompany c = SmallCompany();
  Exec(*c.conn,
       "insert into t_ICItem (FItemID, FNumber, FName, FTrack, FUnitID, FISBatchManager, FBatchManager)\n"
       "  values (12, 'I12', 'batch', 80, 1, 1, 1)\n"
       "insert into t_CC_Stock_BatchNo (FYear, FPeriod, FStockID, FItemID, FBatchNo, FBegQty, FBegBal) values\n"
       "  (2025, 3, 1, 12, 'B1', 10, 100), (2025, 3, 1, 12, 'B2', 10, 300)\n"
       "insert into T_CC_StockBill (FID, FBillNo, FClassTypeID, FBillTypeID, FDate, FStatus) values\n"
       "  (1, 'D1', 1040002, 0, '2025-03-10', 1)\n"
       "insert into T_CC_StockBillEntry (FEntryID, FID, FIndex, FItemID, FBatchNo, FSCStockID, FQty) values\n"
       "  (101, 1, 1, 12, 'B1', 1, 1), (102, 1, 2, 12, 'B2', 1, 1)");
  EXPECT_EQ(Canon(RunCosting(*c.conn, "sp_calculate80", 1, 12, "B2", true, 4)), "1");
  EXPECT_EQ(Query(*c.conn, "select FEntryID, FCostAmount from T_CC_StockBillEntry order by FEntryID"),
            (Rows{{"101", "0"}, {"102", "30"}}));
  EXPECT_EQ(Canon(RunCosting(*c.conn, "sp_calculate80", 1, 12, "B3", true, 4)), "-1");
}

TEST(CostingProcedures, LotItemsAreConsumedFirstInFirstOut) {
  TestCompany c = SmallCompany();
  Exec(*c.conn,
       "insert into t_ICItem (FItemID, FNumber, FName, FTrack, FUnitID) values (13, 'I13', 'lots', 78, 1)\n"
       "insert into t_CC_Bal (FInterID, FYear, FPeriod, FStockID, FItemID, FBegQty, FBegBal, FStockInDate) values\n"
       "  ('100000000000000000000002', 2025, 3, 1, 13, 10, 100, '2025-02-01'),\n"
       "  ('100000000000000000000001', 2025, 3, 1, 13, 5, 50, '2025-01-01')\n"
       "insert into T_CC_StockBill (FID, FBillNo, FClassTypeID, FBillTypeID, FDate, FStatus) values\n"
       "  (7, 'R1', 1020002, 2010, '2025-03-05', 1), (8, 'D1', 1030002, 3001, '2025-03-06', 1),\n"
       "  (9, 'D2', 1030002, 3001, '2025-03-07', 1)\n"
       "insert into T_CC_StockBillEntry (FEntryID, FID, FIndex, FItemID, FDCStockID, FSCStockID, FQty, FCostAmount) values\n"
       "  (701, 7, 1, 13, 1, 0, 3, 36), (801, 8, 1, 13, 0, 1, 7, 0), (901, 9, 1, 13, 0, 1, 13, 0)");
  EXPECT_EQ(Canon(RunCosting(*c.conn, "sp_calculate76", 1, 13, nullptr, true, 4)), "1");
  // 7 = 5 of the January lot at 10 + 2 of the February lot at 10; 13 = the other
  // 8 of February + the 3 received at 12 + 2 nobody has, at the last lot's cost.
  EXPECT_EQ(Query(*c.conn, "select FEntryID, FCostAmount from T_CC_StockBillEntry "
                           "where FID >= 8 order by FEntryID"),
            (Rows{{"801", "70"}, {"901", "140"}}));
  EXPECT_EQ(Query(*c.conn, "select FEntryID, FInterID, FQty, FAmount from ICSpeedBal "
                           "order by FEntryID, FInterID"),
            (Rows{{"801", "100000000000000000000001", "5", "50"},
                  {"801", "100000000000000000000002", "2", "20"},
                  {"901", "100000000000000000000002", "8", "80"},
                  {"901", "200000000000000000000000", "2", "24"},
                  {"901", "300000000007000000000701", "3", "36"}}));
  EXPECT_EQ(Query(*c.conn, "select FInterID, FReceive, FSend, FCredit, FEndQty, FEndBal from t_CC_Bal "
                           "order by FInterID"),
            (Rows{{"100000000000000000000001", "0", "5", "50", "0", "0"},
                  {"100000000000000000000002", "0", "10", "100", "0", "0"},
                  {"300000000007000000000701", "3", "3", "36", "0", "0"}}));
  // A second run gives the same lots and issues, not twice as many.
  RunCosting(*c.conn, "sp_calculate76", 1, 13, nullptr, true, 4);
  EXPECT_EQ(Scalar(*c.conn, "select count(*) from ICSpeedBal"), "5");
  EXPECT_EQ(Scalar(*c.conn, "select count(*) from t_CC_Bal"), "3");
}

TEST(CostPriceProcedures, OnHandCostThenLatestReceiptThenReferencePrice) {
  TestCompany c = SmallCompany();
  Exec(*c.conn,
       "insert into t_ICItem (FItemID, FNumber, FName, FTrack, FUnitID, FCostPrice) values\n"
       "  (20, 'I20', 'on hand', 76, 1, 9), (21, 'I21', 'received', 76, 1, 9),\n"
       "  (22, 'I22', 'priced', 76, 1, 7), (23, 'I23', 'nothing', 76, 1, NULL)\n"
       "insert into T_CC_Inventory (FItemID, FStockID, FQty, FBal) values (20, 1, 4, 10)\n"
       "insert into T_CC_StockBill (FID, FBillNo, FClassTypeID, FBillTypeID, FDate, FStatus) values\n"
       "  (1, 'R1', 1020002, 2010, '2025-03-05', 1), (2, 'R2', 1020002, 2010, '2025-03-10', 1)\n"
       "insert into T_CC_StockBillEntry (FEntryID, FID, FIndex, FItemID, FDCStockID, FQty, FCostAmount) values\n"
       "  (101, 1, 1, 21, 1, 10, 20), (201, 2, 1, 21, 1, 10, 30)");
  auto cost = [&](int item, bool is_bill, const char* date) {
    std::vector<ProcParam> params{
        In("@StockID", TypeKind::kInt, Value::Int(1)), In("@ItemID", TypeKind::kInt, Value::Int(item)),
        In("@BatchNo", TypeKind::kVarChar, Value::Text("")),
        Out("@LastCost", TypeInfo::Of(TypeKind::kFloat), Value::Float(0)),
        In("@IsBill", TypeKind::kBit, Value::Bit(is_bill)),
        In("@Date", TypeKind::kDateTime, Value::Date(*engine::DateTime::Parse(date)))};
    c.conn->CallProcedure("sp_GetCostPrice", params);
    return params[3].value.is_double() ? params[3].value.as_double() : -1.0;
  };
  EXPECT_DOUBLE_EQ(cost(20, true, "2999-12-31"), 2.5);
  // A bill entered on the 10th is priced by the receipt before it.
  EXPECT_DOUBLE_EQ(cost(21, true, "2025-03-10"), 2.0);
  EXPECT_DOUBLE_EQ(cost(21, false, "2025-03-10"), 3.0);
  EXPECT_DOUBLE_EQ(cost(21, true, "2025-03-01"), 9.0);
  EXPECT_DOUBLE_EQ(cost(22, true, "2999-12-31"), 7.0);
  EXPECT_DOUBLE_EQ(cost(23, true, "2999-12-31"), 0.0);

  std::vector<ProcParam> params{In("@StockID", TypeKind::kInt, Value::Int(1)),
                                In("@ItemID", TypeKind::kInt, Value::Int(21)),
                                In("@BatchNo", TypeKind::kVarChar, Value::Text("")),
                                Out("@LastCost", TypeInfo::Of(TypeKind::kFloat), Value::Float(0))};
  c.conn->CallProcedure("sp_GetCostPrice80", params);
  EXPECT_DOUBLE_EQ(params[3].value.as_double(), 3.0);
}

TEST(MaintenanceProcedures, FinishSilentlyAndRepairStockOnHand) {
  TestCompany c = NewCompany();
  for (const char* call : {"exec sp_UpdateInventory", "exec CheckInventory",
                           "exec sp_DropCostVCH 2025, 3", "Exec sp_VerifyBalance",
                           "exec dbo.pr_GetSettleAcctBal 2025,3"}) {
    engine::BatchResult r = c.conn->Execute(call);
    EXPECT_TRUE(r.ok()) << call;
    for (const engine::Result& item : r.results) {
      EXPECT_NE(item.kind, engine::Result::Kind::kMessage) << call << ": " << item.message;
      EXPECT_NE(item.kind, engine::Result::Kind::kError) << call;
    }
  }
  // Stock on hand of 1001: openings plus audited receipts minus audited issues
  // since 2025-03-01 (the unaudited bills of May left out).
  EXPECT_EQ(Query(*c.conn, "select FStockID, FQty, FBal from T_CC_Inventory where FItemID = 1001 "
                           "order by FStockID"),
            (Rows{{"101", "1330", "6852.5"}, {"103", "165", "825"}, {"105", "150", "750"}}));
  const Rows rebuilt = Query(*c.conn, "select FItemID, FStockID, FBatchNo, FAuxPropID, FQty "
                                      "from T_CC_Inventory order by 1, 2, 3, 4");
  Exec(*c.conn,
       "update T_CC_Inventory set FQty = 999, FBal = 1 where FItemID = 1001 and FStockID = 101\n"
       "delete from T_CC_Inventory where FItemID = 1003\n"
       "insert into T_CC_Inventory (FItemID, FStockID, FQty, FBal) values (1011, 104, 5, 0)");
  Exec(*c.conn, "exec CheckInventory");
  EXPECT_EQ(Query(*c.conn, "select FItemID, FStockID, FBatchNo, FAuxPropID, FQty "
                           "from T_CC_Inventory order by 1, 2, 3, 4"),
            rebuilt);
  // Quantities are repaired; the amount of an existing row is left for repricing.
  EXPECT_EQ(Scalar(*c.conn, "select FBal from T_CC_Inventory where FItemID = 1001 and FStockID = 101"),
            "1");

  EXPECT_EQ(Query(*c.conn, "select FAcctID, FBegBal, FDebit, FCredit, FEndBal from t_SettleAcctBalance "
                           "where FYear = 2025 and FPeriod = 3 order by FAcctID"),
            (Rows{{"1", "0", "5000", "3000", "2000"}, {"2", "0", "2000", "0", "2000"}}));
  Exec(*c.conn, "exec dbo.pr_GetSettleAcctBal 2025, 4");
  EXPECT_EQ(Query(*c.conn, "select FAcctID, FBegBal, FEndBal from t_SettleAcctBalance "
                           "where FYear = 2025 and FPeriod = 4 order by FAcctID"),
            (Rows{{"1", "2000", "4000"}, {"2", "2000", "4000"}}));
}

}  // namespace
}  // namespace morvesk::company::testing
