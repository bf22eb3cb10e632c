// UPDATE and SELECT ... INTO as translated statements, where the translation itself is
// looked at (its steps, the types of the table it creates) or a result may take either of
// two forms. INSERT, identity and DELETE run as engine cases (insert.test, update_from.test).
#include "tests/engine/bind_harness.h"

namespace morvesk::engine::testing {
namespace {

class BindDml : public BindTest {
 protected:
  void SetUp() override {
    BindTest::SetUp();
    Table("#TmpBal_1", {Col("FInterID", VarChar(24)), Col("FItemID", Int(), false),
                        Col("FStockID", Int(), false), Col("FSend", Dec(28, 10)),
                        Col("FCredit", Dec(28, 2))});
    Table("t_CC_StockBillEntry", {Col("FID", Int()), Col("FItemID", Int()), Col("FStockID", Int()),
                                  Col("FQty", Dec(28, 10)), Col("FAmount", Dec(28, 2))});
    Table("t_ICItem", {Col("FItemID", Int()), Col("FTrack", Int())});
    Run("insert into #TmpBal_1 (FInterID, FItemID, FStockID) select 'A', 1, 10 "
        "insert into #TmpBal_1 (FInterID, FItemID, FStockID) select 'B', 2, 10 "
        "insert into #TmpBal_1 (FInterID, FItemID, FStockID) select 'C', 3, 20 "
        "insert into t_CC_StockBillEntry select 1, 1, 10, 2, 5.5 "
        "insert into t_CC_StockBillEntry select 2, 1, 10, 3, 1.25 "
        "insert into t_CC_StockBillEntry select 3, 2, 10, 1, 1 "
        "insert into t_ICItem select 1, 78 insert into t_ICItem select 2, 77 "
        "insert into t_ICItem select 3, 78");
  }
  std::string Bal() {
    return Run("select FInterID, FSend, FCredit from #TmpBal_1 order by FInterID");
  }
};

TEST_F(BindDml, UpdateTableNameTargetBindsToItsAliasedInstance) {
  // The target named by table is the aliased instance B, not a second copy.
  Run("Update #TmpBal_1 set FSend = A.FQty from (select FItemID, max(FQty) as FQty "
      "from t_CC_StockBillEntry group by FItemID) A inner join #TmpBal_1 B on A.FItemID = B.FItemID");
  EXPECT_EQ(Bal(), "A|3.0000000000|NULL\nB|1.0000000000|NULL\nC|NULL|NULL");
  EXPECT_EQ(last().steps.size(), 1u);
  // A target that FROM does not name is combined with every FROM row.
  Run("update #TmpBal_1 set FCredit = 1 from t_ICItem i where i.FItemID = #TmpBal_1.FItemID "
      "and i.FTrack = 78");
  EXPECT_EQ(Bal(), "A|3.0000000000|1.00\nB|1.0000000000|NULL\nC|NULL|1.00");
}

TEST_F(BindDml, UpdateWithLeftJoinAndSeveralMatchesUpdatesEachRowOnce) {
  Run("update t set t.FCredit = isnull(e.FAmount, 0) + 0.004, t.FSend = 1 "
      "from #TmpBal_1 t left join t_CC_StockBillEntry e on e.FItemID = t.FItemID");
  std::string bal = Bal();
  // Item 1 has two entries: one of them supplies the value; item 3 has none.
  EXPECT_TRUE(bal == "A|1.0000000000|5.50\nB|1.0000000000|1.00\nC|1.0000000000|0.00" ||
              bal == "A|1.0000000000|1.25\nB|1.0000000000|1.00\nC|1.0000000000|0.00")
      << bal;
  // SET sees the row as it was: the two columns swap.
  Table("t_Pair", {Col("x", Int()), Col("y", Int())});
  EXPECT_EQ(Run("insert into t_pair select 1, 2 update t_pair set x = y, y = x select * from t_pair"),
            "2|1");
  EXPECT_EQ(Run("update t set FNope = 1 from #TmpBal_1 t"), "error 207: Invalid column name 'FNope'.");
}

TEST_F(BindDml, SelectIntoCreatesTypedTableAndNumbersIdentity) {
  EXPECT_EQ(Run("select identity(int,41,1) as FIndex, t.*, FQty * 2 as FDouble, 0 as FZero "
                "into #t from t_CC_StockBillEntry t "
                "select FIndex, FID, FDouble, FZero from #t order by FIndex"),
            "41|1|4.0000000000|0\n42|2|6.0000000000|0\n43|3|2.0000000000|0");
  const TableInfo& t = catalog().tables.at("#t");
  EXPECT_TRUE(t.is_temp);
  ASSERT_EQ(t.columns.size(), 8u);
  EXPECT_TRUE(t.columns[0].identity);
  EXPECT_EQ(t.columns[6].type, Dec(30, 10));
  EXPECT_FALSE(t.columns[7].nullable);
  EXPECT_EQ(Run("select 1 as x into #t"),
            "error 2714: There is already an object named '#t' in the database.");
  // UNION ALL branches give the column the wider type; later inserts continue the identity.
  EXPECT_EQ(Run("select FItemID, 0 as FReceive into #u from t_ICItem union all "
                "select FItemID, FQty from t_CC_StockBillEntry "
                "select sum(FReceive) from #u"),
            "6.0000000000");
  EXPECT_EQ(catalog().tables.at("#u").columns[1].type, Dec(28, 10));
  EXPECT_EQ(Run("insert into #t (FID, FZero) select 99, 0 select max(FIndex) from #t"), "44");
  EXPECT_EQ(Run("select FItemID into #v from t_ICItem where FItemID < 0 select count(*) from #v"), "0");
  EXPECT_EQ(Run("select 1 into #w"), "error 1038: An object or column name is missing or empty. "
                                     "For SELECT INTO statements, verify each column has a name. "
                                     "For other statements, look for empty alias names. Aliases "
                                     "defined as \"\" or [] are not allowed. Change the alias to a "
                                     "valid name.");
}

}  // namespace
}  // namespace morvesk::engine::testing
