// The company database as the SQL Server family's clients see it through `morvesk
// serve`: what they read is what the engine holds, digit for digit and character for
// character; what they send is stored as sent; procedure outputs and errors arrive with
// their values and numbers.
#include <string>
#include <vector>

#include "tests/server/served_company.h"

namespace morvesk::test {
namespace {

TEST_F(ServedCompany, OdbcAndTsqlReadTheCompanyExactly) {
  // Chinese names, decimals of scale 10, datetimes, NULLs; two result sets in one batch.
  const std::vector<std::string> queries = {
      "SELECT FItemID, FNumber, FName FROM t_ICItem ORDER BY FItemID",
      "SELECT FID, FBillNo, FDate, FAllAmount, FCheckDate FROM T_CC_StockBill ORDER BY FID",
      "SELECT FEntryID, FQty, FPrice, FAmount, FKFDate, FNote FROM T_CC_StockBillEntry ORDER BY "
      "FEntryID; SELECT FName FROM t_Stock ORDER BY FItemID",
      "SELECT CAST(-12345678901234567.1234567891 AS decimal(28,10)), CAST(0 AS decimal(18,4)), "
      "CAST(922337203685477.5807 AS money), CAST('1753-01-01' AS datetime), "
      "CAST('9999-12-31 23:59:59.997' AS datetime), CAST(255 AS tinyint), CAST(-32768 AS "
      "smallint), CAST(1 AS bit), N'𠀀汉字', CAST(NULL AS int), CAST(NULL AS nvarchar(4))"};
  for (const std::string& sql : queries) {
    const std::string expected = EngineRows(sql);
    ASSERT_FALSE(expected.empty()) << sql;
    Outcome odbc = Python("query", {sql});
    ASSERT_EQ(odbc.exit_code, 0) << odbc.err;
    EXPECT_EQ(odbc.out, expected) << sql;
  }
  // tsql prints the item names as the engine holds them.
  const std::string names = EngineRows("SELECT FName FROM t_ICItem ORDER BY FItemID");
  Outcome tsql = Tsql("SELECT FName FROM t_ICItem ORDER BY FItemID\ngo\nexit\n");
  ASSERT_EQ(tsql.exit_code, 0) << tsql.err;
  std::stringstream lines(names);
  for (std::string name; std::getline(lines, name);) {
    EXPECT_NE(tsql.out.find("\n" + name + "\n"), std::string::npos) << name << "\n" << tsql.out;
  }
}

TEST_F(ServedCompany, EveryProtocolVersionReadsTheSame) {
  // Older clients: no request headers before 7.2, four-byte row counts and two-byte line
  // numbers before 7.2, a shorter login in 7.0.
  const std::string sql =
      "SELECT FID, FBillNo, FDate, FAllAmount, FCheckDate FROM T_CC_StockBill ORDER BY FID; "
      "SELECT FName FROM t_ICItem ORDER BY FItemID";
  const std::string expected = EngineRows(sql);
  for (const std::string version : {"7.1", "7.2", "7.3", "7.4"}) {
    std::string cs = ConnectionString();
    cs.replace(cs.find("TDS_Version=7.4"), 15, "TDS_Version=" + version);
    Outcome odbc = Python("query", {sql}, cs);
    EXPECT_EQ(odbc.out, expected) << version << odbc.err;
    Outcome errors = Python("errors", {"SELECT * FROM t_NoSuchTable"}, cs);
    EXPECT_NE(errors.out.find("(208)"), std::string::npos) << version << errors.out;
  }
  for (const std::string version : {"7.0", "7.1", "7.2", "7.3", "7.4"}) {
    Outcome tsql = Shell("TDSVER=" + version + " tsql -H 127.0.0.1 -p " + std::to_string(port_) +
                             " -U " + kUser + " -P " + Sh(kPassword),
                         "SELECT COUNT(*) AS bills FROM T_CC_StockBill\ngo\nexit\n");
    EXPECT_NE(tsql.out.find("bills\n" + EngineRows("SELECT COUNT(*) FROM T_CC_StockBill")),
              std::string::npos)
        << version << tsql.out << tsql.err;
  }
}

TEST_F(ServedCompany, ParametersArriveAndAreStoredExactly) {
  Outcome o = Python("params", {"t_ServeProbe"});
  ASSERT_EQ(o.exit_code, 0) << o.err;
  std::stringstream lines(o.out);
  std::string sent, sent_row, echoed, inserted, read_back;
  for (std::string* line : {&sent, &sent_row, &echoed, &inserted, &read_back}) {
    std::getline(lines, *line);
  }
  // Integers at their limits, decimals of 38 digits' reach, a datetime with milliseconds,
  // Chinese text, the empty text and NULL come back unchanged, each in its own type.
  EXPECT_EQ(echoed, sent);
  EXPECT_EQ(inserted, "inserted 1");
  // The row the engine holds is the one the client wrote, and reads back alike.
  const std::string stored = EngineRows("SELECT FID, FAmount, FDate, FNote FROM t_ServeProbe");
  EXPECT_EQ(stored, sent_row + "\n");
  EXPECT_EQ(read_back + "\n", stored);
}

TEST_F(ServedCompany, GetICMaxNumHandsOutIdsThroughOutputParameters) {
  auto counter = [&] {
    return std::stoi(
        EngineRows("SELECT FMaxNum FROM t_ICMaxNum WHERE FTableName = 't_ServeProbe'"));
  };
  const int before = counter();
  // Bound output parameter and return status through the ODBC API, twice on one statement.
  Outcome odbc = Python("outparam", {"t_ServeProbe"});
  ASSERT_EQ(odbc.exit_code, 0) << odbc.err;
  EXPECT_EQ(odbc.out, "status 0 id " + std::to_string(before + 1) + "\nstatus 0 id " +
                          std::to_string(before + 2) + "\n");
  // The same through a batch with an OUTPUT variable, from pyodbc and from tsql.
  Outcome batch = Python("batch-output", {"t_ServeProbe"});
  ASSERT_EQ(batch.exit_code, 0) << batch.err;
  EXPECT_EQ(batch.out, "0|" + std::to_string(before + 3) + "\n");
  Outcome tsql = Tsql(
      "DECLARE @n int\nEXEC GetICMaxNum 't_ServeProbe', @n OUTPUT\nSELECT @n AS "
      "next_id\ngo\nexit\n");
  ASSERT_EQ(tsql.exit_code, 0) << tsql.err;
  EXPECT_NE(tsql.out.find("next_id\n" + std::to_string(before + 4) + "\n"), std::string::npos)
      << tsql.out;
  EXPECT_EQ(counter(), before + 4);
}

TEST_F(ServedCompany, ErrorsArriveWithTheEngineNumbersAndTheSessionGoesOn) {
  const std::vector<std::string> bad = {
      "SELECT 1/0",
      "SELECT * FROM t_NoSuchTable",
      "SELECT FNoSuchColumn FROM t_ICItem",
      "RAISERROR('Stock %s is short by %d', 16, 3, N'钢板', 5)",
      "INSERT INTO t_ServeProbe (FID) VALUES (1); INSERT INTO t_ServeProbe (FID) VALUES (1)",
      "SELEC 1"};
  std::vector<std::string> args = bad;
  args.push_back("SELECT 42");
  Outcome odbc = Python("errors", args);
  ASSERT_EQ(odbc.exit_code, 0) << odbc.err;
  std::stringstream lines(odbc.out);
  std::vector<std::string> got;
  for (std::string l; std::getline(lines, l);) got.push_back(l);
  ASSERT_EQ(got.size(), bad.size() + 2) << odbc.out;
  for (size_t i = 0; i < bad.size(); ++i) {
    // The first row of the duplicate-key batch went in before the error; ask the engine
    // about the second insert alone.
    const engine::SqlError e =
        EngineError(i == 4 ? "INSERT INTO t_ServeProbe (FID) VALUES (1)" : bad[i]);
    ASSERT_NE(e.number, 0) << bad[i];
    EXPECT_NE(got[i].find(e.message + " (" + std::to_string(e.number) + ")"), std::string::npos)
        << got[i];
  }
  EXPECT_EQ(got[bad.size()], "42");
  EXPECT_EQ(got[bad.size() + 1], "no error");

  Outcome tsql = Tsql("SELECT 1/0\ngo\nSELECT 7 AS after_error\ngo\nexit\n");
  EXPECT_NE((tsql.out + tsql.err).find("Msg 8134"), std::string::npos) << tsql.out << tsql.err;
  EXPECT_NE((tsql.out + tsql.err).find("Divide by zero error encountered."), std::string::npos);
  EXPECT_NE(tsql.out.find("after_error\n7\n"), std::string::npos) << tsql.out;
}

TEST_F(ServedCompany, DriverTransactionsCommitAndRollBack) {
  Outcome o = Python("unit-of-work", {"t_ServeProbe", "500"});
  ASSERT_EQ(o.exit_code, 0) << o.err;
  EXPECT_EQ(o.out, "501|kept\n");
  EXPECT_EQ(EngineRows("SELECT FID, FNote FROM t_ServeProbe ORDER BY FID"), "501|kept\n");
}

}  // namespace
}  // namespace morvesk::test
