// The period commands of the `morvesk` tool end to end (periods, close,
// reopen): the built binary run as a person runs it, its output and exit code
// checked.
#include <sstream>
#include <string>

#include "tests/tools/tool_fixture.h"

namespace morvesk::test {
namespace {

class PeriodCommands : public ToolFixture {
protected:
  void SetUp() override {
    ToolFixture::SetUp();
    db_ = Path("company.db");
  }

  // Runs `morvesk ARGS --db <the company>`.
  Outcome Run(const std::string &args) const {
    return ToolFixture::Run(args + " --db '" + db_ + "'");
  }

  std::string CurrentPeriod() const {
    return Run("sql --format csv \"select FValue from t_SystemProfile where "
               "FCategory='IC' and "
               "FKey='CurrentPeriod'\"")
        .out;
  }

  std::string db_;
};

TEST_F(PeriodCommands, PeriodsRendersTheGridOnePeriodALine) {
  ASSERT_EQ(Run("init").exit_code, 0);
  const Outcome o = Run("periods");
  ASSERT_EQ(o.exit_code, 0) << o.err;
  EXPECT_EQ(o.out.find('\r'), std::string::npos);
  std::istringstream lines(o.out);
  std::string line;
  std::getline(lines, line);
  EXPECT_EQ(line, "inventory year 2025, 12 periods, current period 2025/3");
  std::getline(lines, line); // column names
  EXPECT_NE(line.find("first day"), std::string::npos) << line;
  std::getline(lines, line); // rule
  int rows = 0;
  while (std::getline(lines, line)) {
    ++rows;
    // Before the books start, the open current period marked, the later ones
    // open.
    const char *mark = rows < 3 ? "/" : "否";
    EXPECT_NE(line.find(mark), std::string::npos) << line;
    EXPECT_EQ(line.rfind("*", 0) == 0, rows == 3) << line;
  }
  EXPECT_EQ(rows, 12);
  EXPECT_NE(o.out.find("2025年03月01日 2025年03月31日"), std::string::npos)
      << o.out;
}

TEST_F(PeriodCommands, CloseReopenAndCloseAgainWalkTheCurrentPeriod) {
  ASSERT_EQ(Run("init").exit_code, 0);
  // Only the current period closes.
  const Outcome later = Run("close --year 2025 --period 4 --force");
  EXPECT_EQ(later.exit_code, 2);
  EXPECT_NE(later.err.find(
                "only the current period 2025/3 can be closed, not 2025/4"),
            std::string::npos)
      << later.err;
  EXPECT_EQ(CurrentPeriod(), "FValue\n3\n");

  const Outcome close = Run("close --year 2025 --period 3");
  ASSERT_EQ(close.exit_code, 0) << close.err;
  EXPECT_NE(close.err.find("CheckEndData           0 passed"), std::string::npos)
      << close.err;
  EXPECT_EQ(CurrentPeriod(), "FValue\n4\n");

  // Targets that are not closed periods of the inventory ledger.
  for (const char *bad :
       {"--to 2025/4", "--to 2025/5", "--to 2025/13", "--to 2025/0",
        "--to 2025/2", "--to 99999/1", "--to march"}) {
    const Outcome o = Run(std::string("reopen ") + bad);
    EXPECT_EQ(o.exit_code, 2) << bad << "\n" << o.err;
  }
  EXPECT_NE(Run("reopen --to 2025/2")
                .err.find("before the inventory start-up period 2025/3"),
            std::string::npos);
  EXPECT_EQ(CurrentPeriod(), "FValue\n4\n");

  const Outcome reopen = Run("reopen --drop-vouchers");
  ASSERT_EQ(reopen.exit_code, 0) << reopen.err;
  EXPECT_EQ(
      reopen.out.rfind(
          "returned from 2025/4 to 2025/3; current period now 2025/3\n", 0),
      0u)
      << reopen.out;
  // The table lists each table the return writes with its rows before and
  // after.
  for (const char *table : {"t_CC_Bal", "T_CC_StockBill", "ICSpeedBal",
                            "t_CC_Stock_BatchNo", "t_SettleAcctBalance"}) {
    EXPECT_NE(reopen.out.find(table), std::string::npos) << table << "\n"
                                                         << reopen.out;
  }
  EXPECT_EQ(CurrentPeriod(), "FValue\n3\n");
  const Outcome periods = Run("periods");
  EXPECT_NE(periods.out.find("current period 2025/3"), std::string::npos)
      << periods.out;

  // Back in the start-up period there is nothing left to return to.
  EXPECT_EQ(Run("reopen").exit_code, 2);
  ASSERT_EQ(Run("close").exit_code, 0);
  EXPECT_EQ(CurrentPeriod(), "FValue\n4\n");
}

TEST_F(PeriodCommands, AnInconsistentClosingBalanceStopsTheCloseUnlessForced) {
  ASSERT_EQ(Run("init --size 300 --seed 5").exit_code, 0);
  const Outcome stopped = Run("close");
  EXPECT_EQ(stopped.exit_code, 1);
  EXPECT_NE(stopped.err.find("CheckEndData           1 本期期末存在成本异常情况"),
            std::string::npos)
      << stopped.err;
  EXPECT_EQ(CurrentPeriod(), "FValue\n3\n");
  EXPECT_EQ(Run("close --force").exit_code, 0);
  EXPECT_EQ(CurrentPeriod(), "FValue\n4\n");
  // The general ledger stands beyond the inventory side, so the return is
  // allowed.
  const Outcome reopen = Run("reopen");
  EXPECT_EQ(reopen.exit_code, 0) << reopen.err;
  EXPECT_EQ(CurrentPeriod(), "FValue\n3\n");
}

TEST_F(PeriodCommands, TheCommandsExplainThemselvesAndFailOnAMissingDatabase) {
  for (const char *command : {"periods", "reopen"}) {
    const Outcome help = Run(std::string(command) + " --help");
    EXPECT_EQ(help.exit_code, 0);
    EXPECT_EQ(help.out.rfind(std::string("usage: morvesk ") + command, 0), 0u)
        << help.out;
    EXPECT_EQ(Run(command).exit_code, 1) << command; // no company file yet
  }
}

} // namespace
} // namespace morvesk::test
