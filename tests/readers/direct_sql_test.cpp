// GetBillID, UpdateDB and ExecuteSQL: statements run on a client's behalf, and
// rows edited through the record set ExecuteSQL hands back and saved with
// optimistic locking.
#include "tests/readers/readers_fixture.h"

namespace morvesk::readers::test {
namespace {

class DirectSqlTest : public ReadersFixture {
 protected:
  std::shared_ptr<ado::Recordset> Query(const std::string& sql) {
    return AsRecordset(Call("ExecuteSQL", {Variant(sql)}));
  }
  void Update(const std::string& sql) { Call("UpdateDB", {Variant(sql)}); }
};

TEST_F(DirectSqlTest, BillIdsOnlyGrow) {
  const int32_t counter =
      std::stoi(Scalar("SELECT FMaxNum FROM t_ICMaxNum WHERE FTableName = 't_CC_StockBill'"));
  EXPECT_EQ(Call("GetBillID", {Variant("t_CC_StockBill")}).ToLong(), counter + 1);
  EXPECT_EQ(Call("GetBillID", {Variant("t_CC_StockBill")}).ToLong(), counter + 2);
  // A table numbered for the first time starts at 1; other tables' counters are
  // their own.
  EXPECT_EQ(Call("GetBillID", {Variant("t_NewBills")}).ToLong(), 1);
  EXPECT_EQ(Call("GetBillID", {Variant("t_NewBills")}).ToLong(), 2);
  EXPECT_EQ(Call("GetBillID", {Variant("t_CC_StockBill")}).ToLong(), counter + 3);
}

// A write made through UpdateDB is what a later look-up finds; a failing
// statement or a warning in the error collection fails the call and undoes the
// whole text.
TEST_F(DirectSqlTest, WritesAreSeenAndFailuresUndone) {
  Update(
      "UPDATE T_CC_Inventory SET FQty = 4, FBal = 30 WHERE FItemID = 1001 "
      "AND FStockID = 101 "
      "AND FBatchNo = ''");
  EXPECT_EQ(Call("GetCost", {Variant(int32_t{101}), Variant(int32_t{1001})}).ToDouble(), 7.5);

  try {
    Update(
        "UPDATE t_Stock SET FName = 'gone' WHERE FItemID = 101\r\nPRINT "
        "'stock renamed'");
    ADD_FAILURE() << "a warning did not fail the call";
  } catch (const ComError& e) {
    EXPECT_EQ(e.description, "stock renamed");
  }
  EXPECT_THROW(Update("UPDATE t_Stock SET FName = 'gone' WHERE FItemID = 101\r\n"
                      "UPDATE t_Stock SET FNoSuchColumn = 1"),
               ComError);
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM t_Stock WHERE FName = 'gone'"), "0");
}

TEST_F(DirectSqlTest, EditedRowIsSavedByItsKey) {
  auto rs = Query(
      "SELECT FItemID, FName, FStockGroupID FROM t_Stock WHERE "
      "FItemID IN (101, 102) "
      "ORDER BY FItemID");
  ASSERT_TRUE(rs);
  ASSERT_NE(rs->ActiveConnection(), nullptr);
  rs->MoveLast();
  rs->Fields(Variant("FName")).SetValue(Variant("North yard"));
  EXPECT_EQ(rs->EditMode(), 1);
  rs->Update();
  EXPECT_EQ(rs->EditMode(), 0);
  EXPECT_EQ(Scalar("SELECT FName FROM t_Stock WHERE FItemID = 102"), "North yard");
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM t_Stock WHERE FName = 'North yard'"), "1");

  // The same row edited again through the late-bound record set, as a client
  // script does.
  automation::Dispatch& d = *rs;
  auto field = d.Get("Fields", {Variant("FStockGroupID")}).ToObject();
  field->Put("Value", Variant(int32_t{9}));
  d.Call("Update");
  EXPECT_EQ(Scalar("SELECT FStockGroupID FROM t_Stock WHERE FItemID = 102"), "9");

  // A later look-up through the reader sees both edits.
  EXPECT_EQ(Rows(Query("SELECT FName, FStockGroupID FROM t_Stock WHERE FItemID = 102")),
            "North yard|9\n");
}

// Someone else changed the row after it was read: the save is refused with a
// clear error, the other change stays, and the edit can be cancelled.
TEST_F(DirectSqlTest, RowChangedSinceReadIsRefused) {
  auto rs = Query("SELECT FItemID, FName FROM t_Stock WHERE FItemID = 101");
  ASSERT_TRUE(rs);
  Update("UPDATE t_Stock SET FName = 'Changed elsewhere' WHERE FItemID = 101");
  rs->MoveFirst();
  rs->Fields(Variant("FName")).SetValue(Variant("Mine"));
  try {
    rs->Update();
    ADD_FAILURE() << "the save was not refused";
  } catch (const ComError& e) {
    EXPECT_EQ(e.number, ado::kErrRowChanged);
    EXPECT_NE(e.description.find("changed or deleted by another user"), std::string::npos);
  }
  EXPECT_EQ(Scalar("SELECT FName FROM t_Stock WHERE FItemID = 101"), "Changed elsewhere");
  EXPECT_EQ(rs->EditMode(), 1);
  rs->CancelUpdate();
  EXPECT_EQ(rs->EditMode(), 0);
  EXPECT_NE(rs->Fields(Variant("FName")).Value().ToString(), "Mine");

  // A deleted row cannot be saved either.
  auto bal = Query("SELECT FIdentity, FEndQty FROM t_CC_Bal WHERE FItemID = 1009");
  ASSERT_EQ(bal->RecordCount(), 1);
  Update("DELETE FROM t_CC_Bal WHERE FItemID = 1009");
  bal->MoveFirst();
  bal->Fields(Variant("FEndQty")).SetValue(Variant(int32_t{1}));
  EXPECT_THROW(bal->Update(), ComError);
}

// Record sets that do not map to one table's keyed rows keep their edits on the
// client.
TEST_F(DirectSqlTest, QueriesThatCannotSaveSaySo) {
  auto joined = Query(
      "SELECT s.FItemID, s.FName, i.FQty FROM t_Stock s INNER JOIN "
      "T_CC_Inventory i ON i.FStockID = s.FItemID");
  joined->MoveFirst();
  joined->Fields(Variant("FName")).SetValue(Variant("x"));
  try {
    joined->Update();
    ADD_FAILURE() << "a join was saved";
  } catch (const ComError& e) {
    EXPECT_EQ(e.number, ado::kErrNotUpdatable);
  }
  auto keyless = Query("SELECT FName FROM t_Stock WHERE FItemID = 101");
  keyless->MoveFirst();
  keyless->Fields(Variant("FName")).SetValue(Variant("x"));
  EXPECT_THROW(keyless->Update(), ComError);
  auto computed = Query("SELECT FItemID, FName + '!' AS FShout FROM t_Stock WHERE FItemID = 101");
  computed->MoveFirst();
  computed->Fields(Variant("FShout")).SetValue(Variant("x"));
  EXPECT_THROW(computed->Update(), ComError);
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM t_Stock WHERE FName = 'x'"), "0");

  // A malformed query is the engine's error, raised as it arose.
  EXPECT_THROW(Query("SELECT FNoSuchColumn FROM t_Stock"), ComError);
}

}  // namespace
}  // namespace morvesk::readers::test
