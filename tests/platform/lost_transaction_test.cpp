// A unit of work whose transaction the database rolled back during the call: what the call
// does afterwards must not reach the database one statement at a time.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "engine/engine.h"
#include "platform/ado/connection.h"
#include "platform/ado/engine_provider.h"
#include "platform/ado/recordset.h"
#include "platform/automation/com_error.h"
#include "platform/host/unit_of_work.h"

namespace morvesk {
namespace {

class LostTransaction : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = (std::filesystem::temp_directory_path() /
             ("morvesk-lost-transaction-" +
              std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + ".db"))
                .string();
    std::filesystem::remove(path_);
    auto db = engine::Database::Open(path_);
    db->Connect()->Execute(
        "CREATE TABLE t_Log (FID int NOT NULL PRIMARY KEY, FText varchar(20) NOT NULL)");
  }
  void TearDown() override { std::filesystem::remove(path_); }

  std::string Ids() {
    auto rs = ado::Connection::Create(ado::OpenEngineSession(path_))
                  ->Execute("SELECT FID FROM t_Log ORDER BY FID");
    std::string out;
    for (; !rs->Eof(); rs->MoveNext()) out += rs->FieldAt(0).Value().ToString() + " ";
    return out;
  }

  // One call: inserts `first`, runs `failing` with its error ignored, inserts `then`, votes.
  void Call(int first, const std::string& failing, int then, bool complete) {
    host::CallScope scope;
    scope.unit().Bind("Data Source=" + path_);
    auto cnn = scope.unit().Connection();
    cnn->Execute("INSERT INTO t_Log SELECT " + std::to_string(first) + ", 'first'");
    EXPECT_THROW(cnn->Execute(failing), automation::ComError);
    cnn->Execute("INSERT INTO t_Log SELECT " + std::to_string(then) + ", 'then'");
    if (complete)
      scope.unit().SetComplete();
    else
      scope.unit().SetAbort();
  }

  std::string path_;
};

TEST_F(LostTransaction, WorkAfterARolledBackTransactionIsUndoneWithIt) {
  // A failed statement that ends only itself: the call's work stays together.
  Call(1, "DELETE FROM t_Missing WHERE FID = 1", 2, true);
  Call(3, "INSERT INTO t_Log SELECT 1, 'again'", 4, true);
  Call(5, "DELETE FROM t_Missing WHERE FID = 1", 6, false);
  EXPECT_EQ(Ids(), "1 2 3 4 ");
  // A conversion error rolls the open transaction back: the statement after it must not
  // commit on its own, whatever the vote.
  Call(7, "SELECT CONVERT(int, 'abc')", 8, true);
  Call(9, "SELECT CONVERT(int, 'abc')", 10, false);
  EXPECT_EQ(Ids(), "1 2 3 4 ");
  // The next call starts afresh.
  Call(11, "DELETE FROM t_Missing WHERE FID = 1", 12, true);
  EXPECT_EQ(Ids(), "1 2 3 4 11 12 ");
}

}  // namespace
}  // namespace morvesk
