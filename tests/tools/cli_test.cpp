// The `morvesk` tool end to end: the built binary run as a person runs it, its
// standard output, standard error and exit code checked.
#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "engine/exec/company_vfs.h"
#include "tests/tools/tool_fixture.h"

namespace morvesk::test {
namespace {

class MorveskTool : public ToolFixture {};

TEST_F(MorveskTool, InitCreatesACompanyAndReplacesAFileOnlyWhenForced) {
  const std::string db = Demo();
  Outcome count = Run("sql --db '" + db +
                      "' --format csv \"select count(*) as n from t_ICItem\"");
  EXPECT_EQ(count.exit_code, 0) << count.err;
  EXPECT_EQ(count.out, "n\n11\n");

  Outcome again = Run("init --db '" + db + "'");
  EXPECT_EQ(again.exit_code, 1);
  EXPECT_NE(again.err.find("already exists"), std::string::npos) << again.err;
  EXPECT_EQ(Run("sql --db '" + db +
                "' --format csv \"select count(*) as n from t_ICItem\"")
                .out,
            "n\n11\n");

  Outcome sized = Run("init --db '" + db + "' --size 300 --seed 3 --force");
  EXPECT_EQ(sized.exit_code, 0) << sized.err;
  EXPECT_NE(sized.err.find("bills 2025/3"), std::string::npos) << sized.err;
  Outcome lines =
      Run("sql --db '" + db +
          "' --format csv \"select count(*) as n from "
          "T_CC_StockBillEntry e inner join T_CC_StockBill h on h.FID = e.FID "
          "where h.FDate >= '2025-03-01' and h.FDate < '2025-04-01'\"");
  EXPECT_EQ(lines.out, "n\n301\n");

  EXPECT_EQ(Run("init").exit_code, 2);
  EXPECT_EQ(Run("init --db '" + Path("x.db") + "' --size many").exit_code, 2);
  EXPECT_FALSE(std::filesystem::exists(Path("x.db")));
}

TEST_F(MorveskTool, SqlPrintsResultSetsAsTableCsvAndJson) {
  const std::string db = Demo();
  Outcome table =
      Run("sql --db '" + db + "' \"select 1 as a, 'x' as bb, null as c\"");
  EXPECT_EQ(table.exit_code, 0) << table.err;
  EXPECT_EQ(table.out, "a bb c   \n- -- ----\n1 x  NULL\n");
  EXPECT_EQ(table.err, "(1 row affected)\n");

  // CSV: a header per result set, one blank line between them, NULL as nothing;
  // counts and messages stay out of machine-readable output.
  Outcome csv =
      Run("sql --db '" + db + "' --format csv",
          "select 1 as a, 'x,\"y' as b\nselect null as c\nprint 'hello'\n");
  EXPECT_EQ(csv.exit_code, 0) << csv.err;
  EXPECT_EQ(csv.out, "a,b\n1,\"x,\"\"y\"\n\nc\n\n");
  EXPECT_EQ(csv.err, "");

  Outcome json =
      Run("sql --db '" + db + "' --format json",
          "select 1.50 as a, 'q\"' as b\n"
          "select FValue from t_SystemProfile where FKey = 'PeriodCount'\n");
  EXPECT_EQ(json.exit_code, 0) << json.err;
  EXPECT_EQ(json.out, "[\n[\n {\"a\": \"1.50\", \"b\": \"q\\\"\"}\n],\n[\n "
                      "{\"FValue\": \"12\"}\n]\n]\n");
  EXPECT_EQ(json.err, "");

  EXPECT_EQ(Run("sql --db '" + db + "' --format xml \"select 1\"").exit_code,
            2);
}

// Text that is not UTF-8 (bytes a client wrote) still makes valid JSON: each stray byte
// becomes U+FFFD, well-formed characters stay as they are.
TEST_F(MorveskTool, JsonOfTextThatIsNotUtf8IsStillValid) {
  const std::string db = Demo();
  // Bytes no T-SQL text can carry, written straight through SQLite.
  morvesk::engine::exec::RegisterCompanyVfs();
  sqlite3* raw = nullptr;
  ASSERT_EQ(sqlite3_open_v2(db.c_str(), &raw, SQLITE_OPEN_READWRITE,
                            morvesk::engine::exec::kCompanyVfs),
            SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(raw,
                         "update t_MeasureUnit set FName = cast(x'ff41c3a9e282' as text) "
                         "where FItemID = 301",
                         nullptr, nullptr, nullptr),
            SQLITE_OK)
      << sqlite3_errmsg(raw);
  sqlite3_close(raw);
  Outcome json = Run("sql --db '" + db +
                     "' --format json \"select FName from t_MeasureUnit where FItemID = 301\"");
  ASSERT_EQ(json.exit_code, 0) << json.err;
  EXPECT_NE(json.out.find("\"FName\": \"\xEF\xBF\xBD" "A\xC3\xA9\xEF\xBF\xBD\xEF\xBF\xBD\""),
            std::string::npos)
      << json.out;
}

TEST_F(MorveskTool, SqlRunsScriptsBatchByBatchAndReportsErrorsWithTheirLine) {
  const std::string db = Demo();
  const std::string script = Path("script.sql");
  std::ofstream(script) << "create table #t (a int)\n"
                           "insert into #t values (1)\n"
                           "GO\n"
                           "insert into #t values (2)\n"
                           "go 2\n"
                           "select sum(a) as total from #t\n"
                           "GO\n"
                           "select 1 as one\n"
                           "select * from no_such_table\n"
                           "GO\n"
                           "select 'after' as still\n";
  Outcome o = Run("sql --db '" + db + "' --format csv -f '" + script + "'");
  EXPECT_EQ(o.exit_code, 1);
  // The temp table lives across batches of the one connection; GO 2 ran twice;
  // the failing batch printed what it produced before the error, and does not stop
  // the next one.
  EXPECT_EQ(o.out, "total\n5\n\none\n1\n\nstill\nafter\n");
  EXPECT_NE(o.err.find("Msg 208, Level 16, State 1, Line 9"), std::string::npos)
      << o.err;
  EXPECT_NE(o.err.find("no_such_table"), std::string::npos) << o.err;

  Outcome syntax = Run("sql --db '" + db + "' \"select from where\"");
  EXPECT_EQ(syntax.exit_code, 1);
  EXPECT_NE(syntax.err.find("Level 15"), std::string::npos) << syntax.err;

  Outcome from_stdin =
      Run("sql --db '" + db + "' --format csv", "select 2 as n\nGO\n");
  EXPECT_EQ(from_stdin.exit_code, 0) << from_stdin.err;
  EXPECT_EQ(from_stdin.out, "n\n2\n");

  Outcome missing = Run("sql --db '" + Path("nowhere.db") + "' \"select 1\"");
  EXPECT_EQ(missing.exit_code, 1);
  EXPECT_FALSE(std::filesystem::exists(Path("nowhere.db")));

  // A directory where a file belongs is named as such, with exit 1, never an
  // abort.
  Outcome dir_script = Run("sql --db '" + db + "' -f '" + dir_.string() + "'");
  EXPECT_EQ(dir_script.exit_code, 1);
  EXPECT_NE(dir_script.err.find("is a directory"), std::string::npos)
      << dir_script.err;
  Outcome dir_db = Run("sql --db '" + dir_.string() + "' \"select 1\"");
  EXPECT_EQ(dir_db.exit_code, 1);
  EXPECT_NE(dir_db.err.find("it is a directory"), std::string::npos)
      << dir_db.err;
}

// The operations get the file --db names, whatever it holds: a path with ';'
// and '=' is one company, not a description naming another.
TEST_F(MorveskTool, APathHoldingSeparatorsNamesOneCompanyForEveryCommand) {
  const std::string db = Path("x;Data Source=other.db");
  ASSERT_EQ(Run("init --db '" + db + "'").exit_code, 0);
  Outcome periods = Run("periods --db '" + db + "'");
  EXPECT_EQ(periods.exit_code, 0) << periods.err;
  EXPECT_NE(periods.out.find("current period 2025/3"), std::string::npos)
      << periods.out;
  Outcome sql = Run("sql --db '" + db +
                    "' --format csv \"select count(*) as n from t_Stock\"");
  EXPECT_EQ(sql.exit_code, 0) << sql.err;
  EXPECT_FALSE(std::filesystem::exists("other.db"));
  EXPECT_FALSE(std::filesystem::exists(Path("other.db")));
}

TEST_F(MorveskTool, CallListsMembersWithTheirParametersAndResults) {
  Outcome all = Run("call --list");
  ASSERT_EQ(all.exit_code, 0) << all.err;
  for (const char* cls : {"Morvesk.CalCurAmount (_CalCurAmount, 24 members)",
                          "Morvesk.ICbalReader (_ICbalReader, 3 members)",
                          "Morvesk.StockBillReader (_StockBillReader, 17 members)"}) {
    EXPECT_NE(all.out.find(cls), std::string::npos) << cls;
  }
  Outcome one = Run("call --list CalCurAmount");
  ASSERT_EQ(one.exit_code, 0) << one.err;
  EXPECT_NE(one.out.find("  12  ReturnDataProcess(ByVal sCnn As String, ByVal lPeriod As Long, "
                         "ByVal lYear As Long, ByVal targetYear As Long, ByVal targetPeriod As "
                         "Long, ByVal bDropVch As Boolean, ByRef sErrInfo As String) As Boolean"),
            std::string::npos)
      << one.out;
  EXPECT_NE(one.out.find("AutoUpdateCostPrice(ByVal sDsn As String, [ByVal ItemID As Long = 0]) "
                         "As Variant"),
            std::string::npos);
  EXPECT_NE(one.out.find("18  TransMode As Long (property)"), std::string::npos);
  EXPECT_EQ(one.out.find("StockBillReader"), std::string::npos);
  Outcome unknown = Run("call --list Nope");
  EXPECT_EQ(unknown.exit_code, 2);
  EXPECT_NE(unknown.err.find("Class not registered"), std::string::npos) << unknown.err;
}

TEST_F(MorveskTool, CallInvokesAMemberByNameAndFailsWhenTheOperationDoes) {
  const std::string db = Demo();
  Outcome count = Run("call --db '" + db + "' Plexo.Dictionary.Count");
  EXPECT_EQ(count.exit_code, 0) << count.err;
  EXPECT_EQ(count.out, "result: 0\n");

  Outcome no = Run("call --db '" + db + "' Plexo.Dictionary.Exists nokey");
  EXPECT_EQ(no.exit_code, 1);
  EXPECT_EQ(no.out, "result: False\n");
  Outcome json =
      Run("call --db '" + db + "' --format json Plexo.Dictionary.Exists nokey");
  EXPECT_EQ(json.out, "{\"result\": false, \"outputs\": {}}\n");

  // Names the class does not have are usage mistakes.
  Outcome unknown = Run("call --db '" + db + "' CalCurAmount.NoSuchMember");
  EXPECT_EQ(unknown.exit_code, 2);
  EXPECT_NE(unknown.err.find("NoSuchMember"), std::string::npos) << unknown.err;
  EXPECT_EQ(Run("call --db '" + db + "' Nobody.Knows.This").exit_code, 2);
  EXPECT_EQ(Run("call --db '" + db + "' NoMember").exit_code, 2);

  // Dictionary values that only look like numbers stay text and reach the operation,
  // whose own error is reported.
  Outcome text = Run("call --db '" + db + "' CalCurAmount.CheckReturnData \"K=-\"");
  EXPECT_EQ(text.exit_code, 1);
  EXPECT_NE(text.err.find("CurrentYear"), std::string::npos) << text.err;
  Outcome big = Run("call --db '" + db +
                    "' CalCurAmount.CheckReturnData \"CurrentYear=99999999999;CurrentPeriod=1\"");
  EXPECT_EQ(big.exit_code, 1);
  EXPECT_NE(big.err.find("Overflow"), std::string::npos) << big.err;
}

TEST_F(MorveskTool, CallClosesThePeriodAndReportsTheByRefMessageOfAFailure) {
  const std::string db = Demo();
  const std::string close =
      "call --db '" + db +
      "' CalCurAmount.CalculateInvBal_Ext 3 2025 2025-03-01 2025-04-01 0 \"\"";
  Outcome ok = Run(close);
  EXPECT_EQ(ok.exit_code, 0) << ok.out << ok.err;
  EXPECT_EQ(ok.out, "result: True\nsErrInfo: \n");
  EXPECT_EQ(Run("sql --db '" + db +
                "' --format csv \"select FValue from t_SystemProfile "
                "where FCategory = 'IC' and FKey = 'CurrentPeriod'\"")
                .out,
            "FValue\n4\n");
  // Closing 2025/3 again meets the rows already carried into 2025/4: the
  // operation returns False with its message in the by-ref argument.
  const std::string balances =
      "sql --db '" + db +
      "' --format csv \"select FPeriod, count(*) as n, "
      "sum(FBegBal) as b, sum(FEndBal) as e from t_CC_Bal group by FPeriod\"";
  const std::string before = Run(balances).out;
  Outcome again = Run(close + " --format json");
  EXPECT_EQ(again.exit_code, 1) << again.err;
  EXPECT_EQ(
      again.out.rfind("{\"result\": false, \"outputs\": {\"sErrInfo\": \"", 0),
      0u)
      << again.out;
  EXPECT_NE(again.out.find("相同批号"), std::string::npos) << again.out;
  // The failed close leaves the balances as they were.
  EXPECT_EQ(Run(balances).out, before);
}

// The client's road: two clean periods close in turn; the third holds unaudited
// bills, so the checks stop it (nothing written) until the user insists with
// --force.
TEST_F(MorveskTool, CloseWalksThePeriodsAndStopsOnFindingsUnlessForced) {
  const std::string db = Demo();
  const std::string period =
      "sql --db '" + db +
      "' --format csv \"select FValue from t_SystemProfile "
      "where FCategory = 'IC' and FKey = 'CurrentPeriod'\"";
  Outcome first = Run("close --db '" + db + "'");
  EXPECT_EQ(first.exit_code, 0) << first.err;
  EXPECT_NE(first.out.find("closed period 2025/3; current period now 2025/4"),
            std::string::npos)
      << first.out;
  EXPECT_EQ(Run("close --db '" + db + "'").exit_code, 0);
  EXPECT_EQ(Run(period).out, "FValue\n5\n");

  const std::string balances =
      "sql --db '" + db +
      "' --format csv \"select FPeriod, count(*) as n, "
      "sum(FEndBal) as e from t_CC_Stock group by FPeriod\"";
  const std::string before = Run(balances).out;
  Outcome stopped = Run("close --db '" + db + "'");
  EXPECT_EQ(stopped.exit_code, 1);
  EXPECT_NE(stopped.err.find("本期存在未审核的单据!"), std::string::npos)
      << stopped.err;
  EXPECT_EQ(Run(period).out, "FValue\n5\n");
  EXPECT_EQ(Run(balances).out, before);

  Outcome forced = Run("close --db '" + db + "' --force");
  EXPECT_EQ(forced.exit_code, 0) << forced.err;
  EXPECT_EQ(Run(period).out, "FValue\n6\n");
  EXPECT_EQ(Run("close --db '" + dir_.string() + "/missing.db'").exit_code, 1);
}

TEST_F(MorveskTool, EveryCommandExplainsItself) {
  Outcome top = Run("--help");
  EXPECT_EQ(top.exit_code, 0);
  for (const char *command : {"init", "sql", "call", "close"}) {
    EXPECT_NE(top.out.find(std::string("  ") + command), std::string::npos)
        << command;
    Outcome help = Run(std::string(command) + " --help");
    EXPECT_EQ(help.exit_code, 0) << command;
    EXPECT_EQ(help.out.rfind(std::string("usage: morvesk ") + command, 0), 0u)
        << help.out;
  }
  EXPECT_EQ(Run("").exit_code, 2);
  EXPECT_EQ(Run("frobnicate").exit_code, 2);
  EXPECT_EQ(Run("sql --bogus").exit_code, 2);
}

} // namespace
} // namespace morvesk::test
