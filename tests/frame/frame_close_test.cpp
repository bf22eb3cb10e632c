// CalCurAmount.CalculateInvBal_Ext on a real company database file: the driver's own batches
// (shelf-life copy, clean-up), the hand-over to the balance stages, True with everything kept,
// and False with the message and the database exactly as before when any batch fails.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cctype>
#include <filesystem>
#include <map>

#include "company/company.h"
#include "engine/engine.h"
#include "platform/automation/registry.h"
#include "services/morvesk_module.h"
#include "tests/common/table_text.h"

namespace morvesk::services {
namespace {

using automation::CreateObject;
using automation::Variant;
namespace fs = std::filesystem;

constexpr char kMessageBatchData[] = "发现批号相关错误数据：相同批号存在不同生产日期或保质期";

class FrameClose : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterMorveskClasses();
    dir_ = fs::temp_directory_path() /
           ("morvesk_frame_close_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    path_ = (dir_ / "company.db").string();
    auto db = engine::Database::Open(path_);
    auto cnn = db->Connect();
    company::LoadSchema(*cnn);
    Run(*cnn,
        "Insert Into t_SystemProfile (FCategory, FKey, FValue) Values "
        "('GL','PeriodCount','12'), ('IC','CurrentYear','2025'), ('IC','CurrentPeriod','3'), "
        "('Base','AcctountingClosed','1')");
    Run(*cnn,
        "Insert Into t_ICItem (FItemID, FNumber, FName, FTrack, FUnitID) Values "
        "(1, 'I1', 'batch item', 80, 1), (2, 'I2', 'plain item', 77, 1)");
    Run(*cnn, "Insert Into t_Stock (FItemID, FNumber, FName) Values (10, 'S1', 'main stock')");
    Run(*cnn,
        "Insert Into T_CC_StockBill (FID, FBillNo, FClassTypeID, FBillTypeID, FDate, FStatus) "
        "Values (100, 'R1', 1040001, 0, '2025-03-05', 1), (101, 'A1', 1040008, 0, '2025-03-20', "
        "1), "
        "(102, 'A2', 1020004, 2041, '2025-03-21', 1), (103, 'R2', 1040001, 0, '2025-04-01', 1)");
    Run(*cnn,
        "Insert Into T_CC_StockBillEntry (FEntryID, FID, FIndex, FItemID, FBatchNo, FDCStockID, "
        "FSCStockID, FQty, FCostAmount, FKFDate, FKFPeriod, FPeriodDate) Values "
        "(1000, 100, 1, 1, 'B1', 10, 0, 10, 100, '2025-01-01', 180, '2025-06-30'), "
        "(1001, 100, 2, 2, '', 10, 0, 5, 50, Null, Null, Null), "
        "(1010, 101, 1, 1, 'B1', 10, 0, 0, 20, Null, Null, Null), "
        "(1011, 101, 2, 1, 'B9', 10, 0, 0, 5, Null, Null, Null), "
        "(1020, 102, 1, 1, 'B1', 0, 10, 0, 3, Null, Null, Null), "
        "(1030, 103, 1, 2, '', 10, 0, 7, 70, Null, Null, Null)");
    Run(*cnn, "Insert Into TempWriteBack (FID, FEntryID, FItemID) Values (100, 1000, 1)");
    Run(*cnn, "Insert Into CalculateLog (FTime, FItemID, FMessage) Values ('2025-03-31', 1, 'ok')");
  }

  void TearDown() override { fs::remove_all(dir_); }

  static void Run(engine::Connection& cnn, const std::string& sql) {
    auto result = cnn.Execute(sql);
    ASSERT_TRUE(result.ok()) << sql;
  }

  // The rows of a query printed one per line, cells separated by '|'.
  std::string Dump(const std::string& sql) const {
    auto db = engine::Database::Open(path_, true);
    auto cnn = db->Connect();
    engine::BatchResult result;
    try {
      result = cnn->Execute(sql);
    } catch (const engine::SqlError& e) {
      return "<error " + std::to_string(e.number) + ">";
    }
    auto sets = result.ResultSets();
    if (sets.empty()) return "<no rows>";
    return morvesk::test::TableText(*sets[0]);
  }

  std::map<std::string, std::string> Snapshot() const {
    return {
        {"entries",
         Dump("Select FEntryID, FKFDate, FKFPeriod, FPeriodDate From T_CC_StockBillEntry "
              "Order By FEntryID")},
        {"profile",
         Dump("Select FCategory, FKey, FValue From t_SystemProfile Order By FCategory, FKey")},
        {"bal",
         Dump("Select FYear, FPeriod, FStockID, FItemID, FBatchNo, FBegQty, FBegBal, FReceive, "
              "FDebit, FEndQty, FEndBal From t_CC_Bal Order By FYear, FPeriod, FItemID, FBatchNo")},
        {"stock", Dump("Select FYear, FPeriod, FStockID, FItemID, FBatchNo, FBegQty, FEndQty From "
                       "t_CC_Stock Order By FYear, FPeriod, FItemID, FBatchNo")},
        {"writeback", Dump("Select FID, FEntryID From TempWriteBack")},
        {"log", Dump("Select FItemID, FMessage From CalculateLog")},
    };
  }

  // Calls CalculateInvBal_Ext late-bound; returns the result and leaves the message in err.
  bool Close(automation::Dispatch& obj, const std::string& cnn, const std::string& start,
             const std::string& end, std::string& err) {
    Variant message(err);
    std::vector<Variant> args{Variant(cnn),   Variant(int32_t{3}),   Variant(int32_t{2025}),
                              Variant(start), Variant(end),          Variant(int32_t{1}),
                              Variant(""),    Variant::Ref(&message)};
    Variant r = obj.CallRef("CalculateInvBal_Ext", args);
    EXPECT_EQ(r.type(), automation::VarType::kBoolean);
    err = message.ToString();
    return r.ToBool();
  }

  std::string Cnn() const { return "Data Source=" + path_; }

  fs::path dir_;
  std::string path_;
};

TEST_F(FrameClose, ClosesThePeriodAndKeepsEveryStage) {
  auto cal = CreateObject("Morvesk.CalCurAmount");
  std::string err;
  ASSERT_TRUE(Close(*cal, Cnn(), "2025-03-01", "2025/4/1", err)) << err;
  EXPECT_EQ(err, "");

  // Adjustment and amount-rebate entries took the shelf life of batch B1's receipt, through
  // the receiving or the sending stock; a batch never received keeps its empty columns.
  EXPECT_EQ(Dump("Select FEntryID, FKFDate, FKFPeriod, FPeriodDate From T_CC_StockBillEntry "
                 "Where FEntryID In (1010, 1011, 1020) Order By FEntryID"),
            "1010|2025-01-01 00:00:00.000|180|2025-06-30 00:00:00.000\n"
            "1011|NULL|NULL|NULL\n"
            "1020|2025-01-01 00:00:00.000|180|2025-06-30 00:00:00.000\n");
  EXPECT_EQ(Dump("Select Count(*) From TempWriteBack"), "0\n");
  EXPECT_EQ(Dump("Select Count(*) From CalculateLog"), "0\n");
  EXPECT_EQ(Dump("Select FKey, FValue From t_SystemProfile Where FCategory<>'GL' Order By FKey"),
            "AcctountingClosed|0\nCurrentPeriod|4\nCurrentYear|2025\n");

  // The plain item's receipt of the period (not the one dated on the end date) was balanced
  // and carried into period 4.
  EXPECT_EQ(Dump("Select FPeriod, FBegQty, FReceive, FDebit, FEndQty, FEndBal From t_CC_Bal "
                 "Where FYear=2025 And FItemID=2 Order By FPeriod"),
            "3|0.0000000000|5.0000000000|50.0000000000|5.0000000000|50.0000000000\n"
            "4|5.0000000000|0.0000000000|0.0000000000|0.0000000000|0.0000000000\n");
}

TEST_F(FrameClose, OneObjectWorksOnTheDatabaseEachCallNames) {
  const std::string other = (dir_ / "other.db").string();
  fs::copy_file(path_, other);
  auto cal = CreateObject("Morvesk.CalCurAmount");
  std::string err;
  ASSERT_TRUE(Close(*cal, Cnn(), "2025-03-01", "2025-04-01", err)) << err;
  const std::string period_sql =
      "Select FValue From t_SystemProfile Where FCategory='IC' And FKey='CurrentPeriod'";
  auto other_period = [&] {
    auto db = engine::Database::Open(other, true);
    auto cnn = db->Connect();
    engine::BatchResult result = cnn->Execute(period_sql);
    return result.ResultSets().at(0)->rows.at(0).at(0).ToString();
  };
  EXPECT_EQ(other_period(), "3");
  ASSERT_TRUE(Close(*cal, "Data Source=" + other, "2025-03-01", "2025-04-01", err)) << err;
  EXPECT_EQ(other_period(), "4");
  EXPECT_EQ(Dump(period_sql), "4\n");  // the first database was not closed twice
}

TEST_F(FrameClose, FailingBatchGivesFalseTheDescriptionAndChangesNothing) {
  {
    auto db = engine::Database::Open(path_, true);
    auto cnn = db->Connect();
    Run(*cnn, "Drop Table CalculateLog");  // the clean-up batch, run last, fails
  }
  const auto before = Snapshot();
  auto cal = CreateObject("Morvesk.CalCurAmount");
  std::string err = "previous text";
  EXPECT_FALSE(Close(*cal, Cnn(), "2025-03-01", "2025-04-01", err));
  EXPECT_NE(err.find("CalculateLog"), std::string::npos) << err;
  EXPECT_EQ(Snapshot(), before);
}

TEST_F(FrameClose, FailureOfTheBatchLevelStageRollsBackTheWholeClose) {
  {
    // The batch-level stage, called through the object's own interface after every other
    // batch of the close has run, cannot find its table.
    auto db = engine::Database::Open(path_, true);
    auto cnn = db->Connect();
    Run(*cnn, "Drop Table t_CC_Stock_BatchNo");
  }
  const auto before = Snapshot();
  auto cal = CreateObject("Morvesk.CalCurAmount");
  std::string err;
  EXPECT_FALSE(Close(*cal, Cnn(), "2025-03-01", "2025-04-01", err));
  std::string folded = err;
  for (char& c : folded) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  EXPECT_NE(folded.find("t_cc_stock_batchno"), std::string::npos) << err;
  EXPECT_EQ(Snapshot(), before);
}

TEST_F(FrameClose, ConstraintFailureGivesTheBatchNumberMessageAndChangesNothing) {
  {
    // A next-period row under the key that the carry-forward writes.
    auto db = engine::Database::Open(path_, true);
    auto cnn = db->Connect();
    Run(*cnn,
        "Insert Into t_CC_Stock (FYear, FPeriod, FStockID, FItemID, FBatchNo, FAuxPropID) "
        "Values (2025, 4, 10, 2, '', 0)");
  }
  const auto before = Snapshot();
  auto cal = CreateObject("Morvesk.CalCurAmount");
  std::string err;
  EXPECT_FALSE(Close(*cal, Cnn(), "2025-03-01", "2025-04-01", err));
  EXPECT_EQ(err, kMessageBatchData);
  EXPECT_EQ(Snapshot(), before);
}

TEST_F(FrameClose, BadArgumentsFailThroughTheMessageAndTheObjectStaysUsable) {
  const auto before = Snapshot();
  auto cal = CreateObject("Morvesk.CalCurAmount");
  std::string err;
  EXPECT_FALSE(Close(*cal, "Data Source=" + (dir_ / "missing.db").string(), "2025-03-01",
                     "2025-04-01", err));
  EXPECT_NE(err.find("missing.db"), std::string::npos) << err;
  err.clear();
  EXPECT_FALSE(Close(*cal, "Provider=x;User ID=u", "2025-03-01", "2025-04-01", err));
  EXPECT_FALSE(err.empty());
  err.clear();
  EXPECT_FALSE(Close(*cal, Cnn(), "2025-03-01", "not a date", err));
  EXPECT_NE(err.find("sEndDate"), std::string::npos) << err;
  EXPECT_EQ(Snapshot(), before);
  EXPECT_FALSE(fs::exists(dir_ / "missing.db"));

  err.clear();
  EXPECT_TRUE(Close(*cal, Cnn(), "2025-03-01", "2025-04-01", err)) << err;
  EXPECT_EQ(
      Dump("Select FValue From t_SystemProfile Where FCategory='IC' And FKey='CurrentPeriod'"),
      "4\n");
}

}  // namespace
}  // namespace morvesk::services
