// Typing of translated expressions: decimal result types and values, integer and
// float arithmetic, dates, text comparison, ISNULL/CASE/CONVERT, aggregates, and
// conversions on assignment. Each case runs the translated SQL on SQLite.
#include "tests/engine/bind_harness.h"

namespace morvesk::engine::testing {
namespace {

class BindTypes : public BindTest {
 protected:
  void SetUp() override {
    BindTest::SetUp();
    Table("t_Bal", {Col("FID", Int(), false), Col("FBegBal", Dec(28, 2)), Col("FDebit", Dec(28, 2)),
                    Col("FCredit", Dec(28, 2)), Col("FQty", Dec(28, 10)), Col("FN", Int())});
    Exec("INSERT INTO t_Bal (FID, FN) VALUES (1, 3), (2, 3)");
    Run("update t_bal set FBegBal = 1, FDebit = 0, FCredit = 0, FQty = 1 where FID = 1 "
        "update t_bal set FBegBal = 2, FDebit = 0, FCredit = 0, FQty = 2 where FID = 2");
  }
};

TEST_F(BindTypes, DecimalShareIsCutAtTheRatioScaleBeforeRounding) {
  // (decimal(30,2) / decimal(28,10)) is decimal(38,6): the ratio keeps six decimals,
  // so shares of 1,000,000 in the proportion 1:2 are 333333.00 and 666666.00.
  Run("declare @Amount decimal(28,10) select @Amount = sum(FBegBal+FDebit-FCredit) from t_bal");
  EXPECT_EQ(Var("@Amount"), "3.0000000000");
  EXPECT_EQ(Run("declare @Amount decimal(28,10) select @Amount = 3 "
                "select round(((FBegBal+FDebit-FCredit)/@Amount)*1000000,2), "
                "(FBegBal+FDebit-FCredit)/@Amount from t_bal order by FID"),
            "333333.000000|0.333333\n666666.000000|0.666666");
  EXPECT_EQ(columns()[1].type, Dec(38, 6));
}

TEST_F(BindTypes, IntegerConstantCountsItsDigitsButAnIntColumnCountsTen) {
  EXPECT_EQ(Run("select FQty / 3, FQty / FN, 2.0 / 3, -2.0 / 3 from t_bal where FID = 1"),
            "0.333333333333|0.33333333333333333333|0.666666|-0.666666");
  EXPECT_EQ(columns()[0].type, Dec(30, 12));
  EXPECT_EQ(columns()[1].type, Dec(38, 20));
  EXPECT_EQ(columns()[2].type, Dec(7, 6));
  // The translation records which constant's digit count it depends on.
  EXPECT_EQ(last().digit_literals.size(), 3u);
}

TEST_F(BindTypes, IntegerFloatAndMixedArithmetic) {
  EXPECT_EQ(Run("select -7/2, 7 % -3, FN * 2 + 1, FN + 1.5, FN * 1.5E0 from t_bal where FID = 1"),
            "-3|1|7|4.5|4.5");
  EXPECT_EQ(columns()[0].type, Int());
  EXPECT_EQ(columns()[3].type, Dec(12, 1));
  EXPECT_EQ(columns()[4].type, FloatT());
  // Single precision survives the division.
  EXPECT_EQ(Run("select CONVERT(Float(10),1)/CONVERT(Float(10),3)"), "0.333333343267441");
  EXPECT_EQ(Run("select FN / 0 from t_bal"), "error 8134: Divide by zero error encountered.");
  EXPECT_EQ(Run("select FQty / 0 from t_bal"), "error 8134: Divide by zero error encountered.");
  // A string beside a number converts to the number.
  EXPECT_EQ(Run("select count(*) from t_bal where '10' > 9 and '10' < '9'"), "2");
  EXPECT_EQ(Run("select '125127' + 15, -FQty from t_bal where FID = 2"), "125142|-2.0000000000");
  EXPECT_EQ(Run("select 'abc' + FN from t_bal").substr(0, 9), "error 245");
}

TEST_F(BindTypes, DatetimeArithmeticAndComparisonWithText) {
  Table("t_Period", {Col("FStartDate", DateTimeT()), Col("FEndDate", DateTimeT()),
                     Col("FKFPeriod", Int()), Col("FDate", DateTimeT())});
  Run("insert into t_Period select '2024-01-01', '2024-01-31', 10, '2024-03-01 15:00'");
  EXPECT_EQ(Run("select FEndDate + 1, '1900-01-01' - FKFPeriod from t_period"),
            "error 245: Conversion failed when converting the varchar value '1900-01-01' to data "
            "type int.");
  EXPECT_EQ(Run("select FEndDate + 1, FStartDate - FKFPeriod, FEndDate - FStartDate, "
                "CONVERT(DATETIME, FEndDate + 1, 120) from t_period"),
            "2024-02-01 00:00:00.000|2023-12-22 00:00:00.000|1900-01-31 00:00:00.000|"
            "2024-02-01 00:00:00.000");
  EXPECT_EQ(columns()[0].type, DateTimeT());
  // Text meets datetime: the text is read as a date in any of the usual spellings.
  EXPECT_EQ(Run("select count(*) from t_period where FDate >= '2024/03/01' and FDate < '2024-3-2'"),
            "1");
  EXPECT_EQ(Run("select count(*) from t_period where FDate <= '2024-03-01'"), "0");
  EXPECT_EQ(Run("select count(*) from t_period where FDate = 'junk'").substr(0, 9), "error 241");
}

TEST_F(BindTypes, TextComparisonIgnoresCaseAndTrailingBlanksAndNullPropagates) {
  Table("t_Lot", {Col("FBatchNo", VarChar(255)), Col("FName", VarChar(80))});
  Run("insert into t_lot select 'B1', 'x' insert into t_lot select 'b1 ', NULL "
      "insert into t_lot select '   ', 'y'");
  EXPECT_EQ(Run("select count(*) from t_lot where FBatchNo <> ''"), "2");
  EXPECT_EQ(Run("select count(*) from t_lot where FBatchNo = 'B1'"), "2");
  EXPECT_EQ(Run("select count(distinct FBatchNo) from t_lot"), "2");
  EXPECT_EQ(Run("select 'n-' + FName from t_lot where FBatchNo = 'b1'"), "n-x\nNULL");
  EXPECT_EQ(Run("select len(FBatchNo), len(FID) from t_lot, t_bal where FID = 1 and FName = 'y'"),
            "0|1");
}

TEST_F(BindTypes, IsNullCaseAndConvertTakeTheRightTypes) {
  Table("t_Profile", {Col("FKey", VarChar(50)), Col("FValue", VarChar(255)),
                      Col("FKFDate", DateTimeT())});
  Run("insert into t_profile select 'A', NULL, NULL insert into t_profile select 'B', ' 2024', "
      "'2023-05-06'");
  // ISNULL has the type of its first argument: a text '1', a datetime maximum.
  EXPECT_EQ(Run("select isnull(FValue, 1) from t_profile where FKey = 'a'"), "1");
  EXPECT_EQ(columns()[0].type, VarChar(255));
  EXPECT_EQ(Run("select Max(isnull(FKFDate,'1900-01-01')) from t_profile"),
            "2023-05-06 00:00:00.000");
  EXPECT_EQ(columns()[0].type, DateTimeT());
  EXPECT_EQ(Run("declare @t int select @t = 0 "
                "select case when @t = 0 then 0 else FQty end, "
                "case when FID = 1 then 'one' end from t_bal order by FID"),
            "0.0000000000|one\n0.0000000000|NULL");
  EXPECT_EQ(columns()[0].type, Dec(28, 10));
  EXPECT_EQ(Run("select CONVERT(int, FValue), CONVERT(varchar(20), FN) + 'x', "
                "substring('00000000000000000',1,17-len(FN))+CONVERT(varchar(20),FN) "
                "from t_profile, t_bal where FKey = 'B' and FID = 1"),
            "2024|3x|00000000000000003");
  EXPECT_EQ(Run("select round(-0.125, 2), round(FQty / 3, 10), round(748.58, -3) from t_bal"),
            "error 8115: Arithmetic overflow error converting expression to data type numeric.");
  EXPECT_EQ(Run("select round(-0.125, 2), round(150.75, 0, 1) from t_bal where FID = 1"),
            "-0.130|150.00");
}

TEST_F(BindTypes, AggregatesTypeAndEmptyInput) {
  EXPECT_EQ(Run("select sum(FBegBal), sum(FN), count(*), max(FQty), avg(FN), avg(FBegBal) from t_bal"),
            "3.00|6|2|2.0000000000|3|1.500000");
  EXPECT_EQ(columns()[0].type, Dec(38, 2));
  EXPECT_EQ(columns()[1].type, Int());
  EXPECT_EQ(columns()[5].type, Dec(38, 6));
  EXPECT_EQ(Run("select sum(FBegBal), count(*) from t_bal where FID = 9"), "NULL|0");
  EXPECT_EQ(Run("select sum(FBegBal) from t_bal group by FN having sum(FQty) > 5"), "");
}

TEST_F(BindTypes, AssignmentConvertsToTheVariableType) {
  Table("t_SystemProfile", {Col("FKey", VarChar(50)), Col("FValue", VarChar(255))});
  Run("insert into t_systemprofile select 'Y', ' 2024' insert into t_systemprofile select 'H', '2024.5'");
  Run("declare @Year int Select @Year=FValue From t_SystemProfile where FKey = 'y'");
  EXPECT_EQ(Var("@year"), "2024");
  EXPECT_EQ(Run("Select @Year=FValue From t_SystemProfile where FKey = 'h'").substr(0, 9), "error 245");
  // Sums are rounded into the variable's scale; an empty aggregate assigns NULL.
  Run("declare @Qty decimal(28,2), @Bal decimal(28,10) select @Qty = sum(FQty / 3), @Bal = 0 from t_bal");
  EXPECT_EQ(Var("@Qty"), "1.00");
  EXPECT_EQ(Var("@Bal"), "0.0000000000");
  Run("select @Bal = sum(FQty) from t_bal where FID = 7");
  EXPECT_EQ(Var("@Bal"), "NULL");
  EXPECT_EQ(Run("select @Nope = 1"), "error 137: Must declare the scalar variable \"@Nope\".");
}

}  // namespace
}  // namespace morvesk::engine::testing
