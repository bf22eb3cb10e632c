// `morvesk maintain` and statement lists on the command line, run as a person
// runs them.
#include <fstream>
#include <sstream>
#include <string>

#include "tests/tools/tool_fixture.h"

namespace morvesk::test {
namespace {

class MaintainTool : public ToolFixture {
protected:
  void SetUp() override {
    ToolFixture::SetUp();
    db_ = Demo();
  }

  // The report's row of a table: its name and counts, split at blanks.
  static std::string ReportRow(const std::string &out,
                               const std::string &table) {
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
      if (line.rfind(table + " ", 0) != 0)
        continue;
      std::istringstream words(line);
      std::string word, row;
      while (words >> word)
        row += (row.empty() ? "" : " ") + word;
      return row;
    }
    return "(no row for " + table + ")";
  }

  std::string Sql(const std::string &query) const {
    return Run("sql --db '" + db_ + "' --format csv \"" + query + "\"").out;
  }

  std::string db_;
};

TEST_F(MaintainTool, JobsAreListedAndAnUnknownJobIsAUsageMistake) {
  Outcome help = Run("maintain --help");
  EXPECT_EQ(help.exit_code, 0);
  for (const char *job :
       {"UpdateInventory", "HandleAbnormalAmt", "DeleteBal78",
        "UpdateComeGoBalance", "UpdateSettleAcctBal", "AutoCheckBatchNo",
        "UpdateBatch", "UpdateStock", "AutoUpdateCostPrice"}) {
    EXPECT_NE(help.out.find(std::string("  ") + job), std::string::npos) << job;
  }
  EXPECT_NE(Run("--help").out.find("  maintain "), std::string::npos);

  Outcome unknown = Run("maintain --db '" + db_ + "' FixEverything");
  EXPECT_EQ(unknown.exit_code, 2);
  EXPECT_NE(unknown.err.find("unknown job 'FixEverything'"), std::string::npos)
      << unknown.err;
  EXPECT_NE(unknown.err.find("AutoUpdateCostPrice"), std::string::npos)
      << unknown.err;
  EXPECT_EQ(Run("maintain --db '" + db_ + "' UpdateStock extra").exit_code, 2);
  EXPECT_EQ(
      Run("maintain --db '" + db_ + "' AutoUpdateCostPrice seven").exit_code,
      2);
}

TEST_F(MaintainTool, AJobReportsTheRowsItTouchedPerTable) {
  // A quantity on hand drifts from the bills.
  const std::string before = Sql("select count(*) as n from T_CC_Inventory");
  ASSERT_EQ(Run("sql --db '" + db_ +
                "' \"update T_CC_Inventory set FQty = FQty + 5 where FItemID = "
                "1001 and FStockID = 101\"")
                .exit_code,
            0);
  Outcome run = Run("maintain --db '" + db_ + "' UpdateStock");
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_NE(run.out.find("UpdateStock: done in"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("result True"), std::string::npos) << run.out;
  // rows before, rows after, inserted, deleted, changed
  const std::string n = before.substr(2, before.size() - 3);
  EXPECT_EQ(ReportRow(run.out, "T_CC_Inventory"),
            "T_CC_Inventory " + n + " " + n + " 0 0 1")
      << run.out;

  Outcome again = Run("maintain --db '" + db_ + "' UpdateStock");
  EXPECT_EQ(ReportRow(again.out, "T_CC_Inventory"),
            "T_CC_Inventory " + n + " " + n + " 0 0 0")
      << again.out;
}

TEST_F(MaintainTool,
       StatementListsComeFromAFileOrAJsonArrayAndAFailureChangesNothing) {
  std::ofstream(Path("fix.sql"), std::ios::binary)
      << "update t_ICItem set FCostPrice = 7 where FItemID = 1001\r\n"
         "\n"
         "update t_ICItem set FCostPrice = 8 where FItemID = 1002\n";
  Outcome file =
      Run("maintain --db '" + db_ + "' UpdateBatch '@" + Path("fix.sql") + "'");
  EXPECT_EQ(file.exit_code, 0) << file.err;
  EXPECT_NE(file.out.find("t_ICItem"), std::string::npos) << file.out;
  EXPECT_EQ(Sql("select FItemID, FCostPrice from t_ICItem where FItemID in "
                "(1001, 1002) order by "
                "FItemID"),
            "FItemID,FCostPrice\n1001,7.0000000000\n1002,8.0000000000\n");

  Outcome json = Run("call --db '" + db_ +
                     "' CalCurAmount.UpdateBatch '[\"update t_ICItem set "
                     "FCostPrice = 9 where FItemID = "
                     "1001\", \"update t_ICItem set FName = "
                     "\\u0027\\u7269\\u0027 where FItemID = 1001\"]'");
  EXPECT_EQ(json.exit_code, 0) << json.err;
  EXPECT_EQ(Sql("select FCostPrice, FName from t_ICItem where FItemID = 1001"),
            "FCostPrice,FName\n9.0000000000,物\n");

  // The second statement fails: the first one's change is gone too.
  Outcome failed =
      Run("maintain --db '" + db_ +
          "' UpdateBatch '[\"update t_ICItem set FCostPrice = 1\", \"update "
          "t_NoSuchTable set FCostPrice = 2\"]'");
  EXPECT_EQ(failed.exit_code, 1);
  EXPECT_NE(failed.err.find("t_NoSuchTable"), std::string::npos) << failed.err;
  EXPECT_EQ(Sql("select FCostPrice from t_ICItem where FItemID = 1001"),
            "FCostPrice\n9.0000000000\n");

  Outcome malformed =
      Run("maintain --db '" + db_ + "' UpdateBatch '[\"select 1\", 2]'");
  EXPECT_EQ(malformed.exit_code, 2);
  EXPECT_NE(malformed.err.find("strings"), std::string::npos) << malformed.err;
  EXPECT_EQ(Run("maintain --db '" + db_ + "' UpdateBatch '@" +
                Path("missing.sql") + "'")
                .exit_code,
            2);
}

} // namespace
} // namespace morvesk::test
