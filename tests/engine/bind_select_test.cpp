// Queries as translated: the result type of a grouped UNION column, beside the values of
// derived tables, unions and grouping. Names, joins, ordering and subqueries run as engine
// cases (tests/engine/cases/select.test).
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

}  // namespace
}  // namespace morvesk::engine::testing
