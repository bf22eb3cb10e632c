// Queries as translated: name resolution and its errors, joins of every kind,
// derived tables and UNION, grouping, ordering, TOP, DISTINCT and subqueries.
#include "tests/engine/bind_harness.h"

namespace morvesk::engine::testing {
namespace {

class BindSelect : public BindTest {
 protected:
  void SetUp() override {
    BindTest::SetUp();
    Table("t_Stock", {Col("FItemID", Int()), Col("FName", VarChar(80)), Col("FTypeID", Int())});
    Table("t_CC_Bal", {Col("FItemID", Int()), Col("FStockID", Int()), Col("FBatchNo", VarChar(200)),
                       Col("FBegQty", Dec(28, 10)), Col("FYear", Int())});
    Run("insert into t_stock select 10, 'Main', 501 insert into t_stock select 20, 'Side', 502 "
        "insert into t_stock select 30, 'Empty', 503 "
        "insert into t_cc_bal select 1, 10, 'B1', 5, 2024 "
        "insert into t_cc_bal select 1, 10, 'b1 ', 2.5, 2024 "
        "insert into t_cc_bal select 2, 20, '', 1, 2024 "
        "insert into t_cc_bal select 3, 40, 'X', 7, 2023");
  }
};

TEST_F(BindSelect, NamesResolveWithoutRegardToCaseAndErrorsNameTheCulprit) {
  EXPECT_EQ(Run("declare @Year int select @year = 2024 "
                "SELECT B.fitemid, s.FNAME FROM T_CC_BAL b INNER JOIN dbo.T_Stock s "
                "ON b.FStockID = s.fitemid WHERE B.FYEAR = @YEAR AND FBatchNo = 'B1' order by 2"),
            "1|Main\n1|Main");
  EXPECT_EQ(columns()[0].name, "fitemid");
  EXPECT_EQ(Run("select FItemID from t_cc_bal b join t_stock s on b.FStockID = s.FItemID"),
            "error 209: Ambiguous column name 'FItemID'.");
  EXPECT_EQ(Run("select FNope from t_cc_bal"), "error 207: Invalid column name 'FNope'.");
  EXPECT_EQ(Run("select x.FItemID from t_cc_bal b"),
            "error 4104: The multi-part identifier \"x.FItemID\" could not be bound.");
  EXPECT_EQ(Run("select 1 from t_nope"), "error 208: Invalid object name 't_nope'.");
  EXPECT_EQ(Run("select @Nope"), "error 137: Must declare the scalar variable \"@Nope\".");
  EXPECT_EQ(Run("select FItemID, sum(FBegQty) from t_cc_bal").substr(0, 10), "error 8120");
  EXPECT_EQ(Run("select top 1 FItemID from t_cc_bal where FYear = 2023"), "3");
}

TEST_F(BindSelect, JoinsOfEveryKind) {
  EXPECT_EQ(Run("select s.FName, count(b.FItemID) from t_stock s left join t_cc_bal b "
                "on b.FStockID = s.FItemID group by s.FName order by s.FName"),
            "Empty|0\nMain|2\nSide|1");
  EXPECT_EQ(Run("select b.FItemID, s.FName from t_stock s right join t_cc_bal b "
                "on b.FStockID = s.FItemID where b.FYear = 2023"),
            "3|NULL");
  EXPECT_EQ(Run("select count(*), count(b.FItemID), count(s.FItemID) from t_stock s "
                "full join t_cc_bal b on b.FStockID = s.FItemID"),
            "5|4|4");
  EXPECT_EQ(Run("select count(*) from t_stock s, t_cc_bal b where b.FStockID = s.FItemID "
                "and not s.FTypeID = 502"),
            "2");
}

TEST_F(BindSelect, DerivedTablesUnionsAndGrouping) {
  // Trailing blanks and case do not split a group; the union column is decimal.
  EXPECT_EQ(Run("select FBatchNo, sum(FQty) as FQty from (select FBatchNo, FBegQty as FQty "
                "from t_cc_bal where FItemID = 1 union all select 'B1', 0) as a "
                "group by FBatchNo having sum(FQty) <> 0"),
            "B1|7.5000000000");
  EXPECT_EQ(columns()[1].type, Dec(38, 10));
  EXPECT_EQ(Run("select FItemID from t_cc_bal union select FItemID from t_stock where FTypeID = 501 "
                "order by FItemID desc"),
            "10\n3\n2\n1");
  EXPECT_EQ(Run("select distinct FBatchNo from t_cc_bal where FItemID = 1"), "B1");
  EXPECT_EQ(Run("select (case when @t = 0 then 0 else FStockID end) from t_cc_bal"),
            "error 137: Must declare the scalar variable \"@t\".");
  EXPECT_EQ(Run("declare @t int select @t = 0 "
                "select (case when @t = 0 then 0 else b.FStockID end) as FStockID, sum(FBegQty) "
                "from t_cc_bal b group by (case when @t = 0 then 0 else b.FStockID end)"),
            "0|15.5000000000");
  EXPECT_EQ(Run("select s1 from (select FItemID, count(*) s1 from t_cc_bal group by FItemID) t "
                "where s1 > 1"),
            "2");
  EXPECT_EQ(Run("select 1 a union all select 2, 3"),
            "error 205: All queries combined using a UNION, INTERSECT or EXCEPT operator must have "
            "an equal number of expressions in their target lists.");
}

TEST_F(BindSelect, OrderByNamesOrdinalsAndUnselectedColumns) {
  EXPECT_EQ(Run("select FName as FItemNumber, FItemID as x from t_stock order by FItemNumber"),
            "Empty|30\nMain|10\nSide|20");
  EXPECT_EQ(Run("select FName from t_stock order by FTypeID desc"), "Empty\nSide\nMain");
  EXPECT_EQ(Run("select FName, FItemID from t_stock order by 2 desc"), "Empty|30\nSide|20\nMain|10");
  EXPECT_EQ(Run("select top 1 FItemID, FBegQty from t_cc_bal order by FBegQty desc, FItemID"), "3|7.0000000000");
  EXPECT_EQ(Run("select distinct FName from t_stock order by FTypeID"),
            "error 145: ORDER BY items must appear in the select list if SELECT DISTINCT is "
            "specified.");
}

TEST_F(BindSelect, SubqueriesInAndExistsAndScalar) {
  EXPECT_EQ(Run("select FName from t_stock where FItemID in (select distinct FStockID from t_cc_bal) "
                "order by 1"),
            "Main\nSide");
  EXPECT_EQ(Run("select FName from t_stock where FTypeID not in (501, 502)"), "Empty");
  EXPECT_EQ(Run("select count(*) from t_stock s where exists (select top 1 FItemID from t_cc_bal b "
                "where b.FStockID = s.FItemID)"),
            "2");
  EXPECT_EQ(Run("select (select max(FBegQty) from t_cc_bal) + 1"), "8.0000000000");
  EXPECT_EQ(Run("select (select FItemID from t_cc_bal)").substr(0, 9), "error 512");
}

}  // namespace
}  // namespace morvesk::engine::testing
