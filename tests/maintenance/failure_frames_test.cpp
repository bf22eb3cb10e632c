// How each job fails: the error its caller sees (number, source, description)
// and that the database is as it was afterwards, also when the job had already
// done part of its work. Failures are injected through the data provider: a
// session that fails the n-th batch containing a chosen text, as a database
// error would.
#include <memory>
#include <string>
#include <utility>

#include "maintenance_fixture.h"
#include "platform/host/unit_of_work.h"
#include "tests/common/failing_session.h"

namespace morvesk::maintenance::test {
namespace {

class FailureFrames : public MaintenanceFixture {
 protected:
  void TearDown() override {
    host::SetSessionOpener(nullptr);
    MaintenanceFixture::TearDown();
  }
  // The next sessions fail on the nth batch that contains `marker`.
  void FailOn(const std::string& marker, int nth = 1) {
    morvesk::test::FailSessionsOn(marker, nth);
  }
  // Two items with amounts left on rows without quantity, and one without a
  // cost price per source of prices.
  void Damage() {
    Run("Insert Into T_CC_Inventory(FItemID,FStockID,FQty,FBal) Values(1001,101,10,100)\r\n"
        "Insert Into T_CC_Inventory(FItemID,FStockID,FQty,FBal) Values(1001,102,0,20)\r\n"
        "Insert Into T_CC_Inventory(FItemID,FStockID,FQty,FBal) Values(1004,101,4,4)\r\n"
        "Insert Into T_CC_Inventory(FItemID,FStockID,FQty,FBal) Values(1004,102,0,4)\r\n"
        "Insert Into "
        "t_CC_Bal(FInterID,FYear,FPeriod,FStockID,FItemID,FBegQty,FBegBal,FReceive,FDebit,FEndQty,"
        "FEndBal) Values('100000000000000000000000',2025,3,101,1001,4,10,1,1,5,11)\r\n"
        "Insert Into "
        "t_CC_Bal(FInterID,FYear,FPeriod,FStockID,FItemID,FBegQty,FBegBal,FReceive,FDebit,FEndQty,"
        "FEndBal) Values('300000000000000000000001',2025,4,101,1002,4,10,2,2,6,12)\r\n"
        "Insert Into t_CC_Bal(FInterID,FYear,FPeriod,FStockID,FItemID,FBegQty,FBegBal) "
        "Values('100000000000000000000000',2025,3,101,1002,2,6)");
    Bill(1, 1020002, 2010, "2025-04-02", 1003, 101, "5", "50", "B1", "'2024-01-05'", "12");
    Bill(2, 1030002, 3001, "2025-04-03", 1003, 101, "1", "10", "B1", "'2024-01-06'", "12");
    Bill(3, 1020002, 2010, "2025-04-02", 1003, 101, "5", "50", "B2", "'2024-02-05'", "12");
    Bill(4, 1030002, 3001, "2025-04-03", 1003, 101, "1", "10", "B2", "'2024-02-06'", "12");
  }
};

TEST_F(FailureFrames, CommonFrameRaisesUnderTheStockSourceAndUndoesWhatTheJobHadDone) {
  Damage();
  const std::string before = Snapshot();

  // The second item's repricing fails after the first was written.
  FailOn("update t_cc_inventory", 2);
  ComError e = CallFailing("HandleAbnormalAmt");
  EXPECT_EQ(e.number, automation::kErrCommand);
  EXPECT_EQ(e.source, "UpdateStock");
  EXPECT_EQ(e.description, "injected failure");
  EXPECT_EQ(Snapshot(), before);

  // The second item's cost price fails after the first was priced.
  FailOn("Declare @Qty", 2);
  e = CallFailing("AutoUpdateCostPrice");
  EXPECT_EQ(e.source, "UpdateStock");
  EXPECT_EQ(e.description, "injected failure");
  EXPECT_EQ(Snapshot(), before);

  FailOn("T_CC_Bal");
  e = CallFailing("DeleteBal78");
  EXPECT_EQ(e.source, "UpdateStock");
  EXPECT_EQ(Snapshot(), before);

  host::SetSessionOpener(nullptr);
  // A table the job needs is missing: the database's own message, under the
  // job's source.
  Run("Drop Table T_CC_Inventory");
  e = CallFailing("HandleAbnormalAmt");
  EXPECT_EQ(e.source, "UpdateStock");
  EXPECT_NE(e.description.find("t_cc_inventory"), std::string::npos) << e.description;

  Run("Drop Procedure sp_VerifyBalance");
  e = CallFailing("UpdateComeGoBalance");
  EXPECT_EQ(e.source, "UpdateStock");
  EXPECT_NE(e.description.find("sp_VerifyBalance"), std::string::npos) << e.description;
}

TEST_F(FailureFrames, AnyMessageOfTheInventoryProcedureFailsTheRebuild) {
  Damage();
  const std::string before = Snapshot();
  // A procedure that does its work and then says something: a warning is a
  // failure too.
  Run("Alter Procedure sp_UpdateInventory As\r\nBegin\r\nSet NoCount On\r\n"
      "Delete From T_CC_Inventory\r\nPrint 'stock on hand rebuilt with differences'\r\nEnd");
  ComError e = CallFailing("UpdateInventory");
  EXPECT_EQ(e.source, "UpdateStock");
  EXPECT_EQ(e.description, "stock on hand rebuilt with differences");
  EXPECT_EQ(Snapshot(), before);

  Run("Drop Procedure sp_UpdateInventory");
  e = CallFailing("UpdateInventory");
  EXPECT_EQ(e.source, "UpdateStock");
  EXPECT_NE(e.description.find("sp_UpdateInventory"), std::string::npos) << e.description;
  EXPECT_EQ(Snapshot(), before);
}

TEST_F(FailureFrames, StockCheckCompletesBeforeItReadsTheMessagesThenAbortsWithNumberMinusOne) {
  Damage();
  const std::string before = Snapshot();
  Run("Alter Procedure CheckInventory As\r\nBegin\r\nSet NoCount On\r\n"
      "Update T_CC_Inventory Set FQty=0\r\nPrint 'quantities differ'\r\nEnd");
  ComError e = CallFailing("UpdateStock");
  EXPECT_EQ(e.number, -1);
  EXPECT_EQ(e.source, "UpdateStock");
  EXPECT_EQ(e.description, "quantities differ");
  // The abort call after the completion call is the last vote: nothing stays.
  EXPECT_EQ(Snapshot(), before);

  Run("Alter Procedure CheckInventory As\r\nBegin\r\nSelect 1/0\r\nEnd");
  e = CallFailing("UpdateStock");
  EXPECT_EQ(e.source, "UpdateStock");
  EXPECT_NE(e.number, -1);
  EXPECT_EQ(Snapshot(), before);
}

TEST_F(FailureFrames, DatingCheckRaisesUnderItsOwnSourceAndUndoesEarlierRepairs) {
  Damage();
  const std::string before = Snapshot();
  // B1 is repaired, then B2's repair fails.
  FailOn("Declare @KFDate", 2);
  ComError e = CallFailing("AutoCheckBatchNo");
  EXPECT_EQ(e.number, automation::kErrCommand);
  EXPECT_EQ(e.source, "AutoCheckBatchNo");
  EXPECT_EQ(e.description, "injected failure");
  EXPECT_EQ(Snapshot(), before);
}

TEST_F(FailureFrames, StatementListsRaiseTheDatabaseErrorUnchanged) {
  Damage();
  const std::string before = Snapshot();
  FailOn("FQty=1", 1);
  automation::VariantArray list;
  for (int i = 0; i < 120; ++i) list.push_back(Variant("Update T_CC_Inventory Set FBal=FBal+1"));
  list[110] = Variant("Update T_CC_Inventory Set FQty=1");
  ComError e = CallFailing("UpdateBatch", {Variant(list)});
  EXPECT_EQ(e.number, automation::kErrCommand);
  EXPECT_EQ(e.source, "test provider");
  EXPECT_EQ(e.description, "injected failure");
  EXPECT_EQ(Snapshot(), before);
}

TEST_F(FailureFrames, SettlementBalancesFailSilentlyAndLeaveNothingBehind) {
  Damage();
  Run("Insert Into t_RP_RBill(FID,FBillNo,FClassTypeID,FDate,FStatus,FAcctID,FAmount) "
      "Values(1,'R1',1010001,'2025-04-02',1,1,300)");
  const std::string before = Snapshot();
  Run("Alter Procedure pr_GetSettleAcctBal @Year int, @Period int As\r\nBegin\r\n"
      "Insert Into t_SettleAcctBalance(FYear,FPeriod,FAcctID) Values(@Year,@Period,1)\r\n"
      "Select 1/0\r\nEnd");
  Variant result = Call("UpdateSettleAcctBal", {Variant(int32_t{2025}), Variant(int32_t{4})});
  EXPECT_TRUE(result.is_empty());
  EXPECT_EQ(Snapshot(), before);

  // A connection description naming no database fails the same quiet way.
  EXPECT_TRUE(cal_->Call("UpdateSettleAcctBal", {Variant("Data Source=/nonexistent/company.db"),
                                                 Variant(int32_t{2025}), Variant(int32_t{4})})
                  .is_empty());
}

}  // namespace
}  // namespace morvesk::maintenance::test
