// What `morvesk close` tells its user: the close's steps by name as they run, with the time and
// the share done (the raw batches only when asked for); the pre-close findings as tables whose
// counts agree with the summary; and a close that fails when the disk is full says the database
// is unchanged, which it is.
#include <sstream>
#include <string>
#include <vector>

#include "tests/common/company_dump.h"
#include "tests/tools/tool_fixture.h"

namespace morvesk::test {
namespace {

std::vector<std::string> LinesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class CloseReport : public ToolFixture {};

TEST_F(CloseReport, TheStepsShowByNameInOrderAndTheBatchesOnlyWhenVerbose) {
  const std::string db = Demo();
  const Outcome o = Run("close --db '" + db + "'");
  ASSERT_EQ(o.exit_code, 0) << o.err;
  const std::vector<std::string> steps = {"shelf-life dates",
                                          "period balances",
                                          "spreading price adjustments",
                                          "stock balances",
                                          "carry-forward",
                                          "clean-up",
                                          "batch-level balances",
                                          "batch-level spreading",
                                          "batch-level write-back",
                                          "closed"};
  std::vector<std::string> shown;
  int last_share = -1;
  for (const std::string& line : LinesOf(o.err)) {
    // "[    0.12s]  33%  carry-forward"
    if (line.size() < 19 || line[0] != '[' || line[15] != '%') continue;
    const int share = std::stoi(line.substr(12, 3));
    EXPECT_GT(share, last_share) << line;
    last_share = share;
    shown.push_back(line.substr(18));
  }
  EXPECT_EQ(shown, steps) << o.err;
  EXPECT_EQ(last_share, 100);
  // No batch text without --verbose.
  EXPECT_EQ(o.err.find("t_CC_Bal"), std::string::npos) << o.err;
  EXPECT_EQ(o.err.find("#Tmp"), std::string::npos) << o.err;
  // The summary's table of steps counts the batches each sent.
  int batches = 0;
  for (const std::string& line : LinesOf(o.out)) {
    for (const std::string& step : std::vector<std::string>(steps.begin(), steps.end() - 1)) {
      if (line.rfind(step + " ", 0) == 0) {
        std::istringstream fields(line.substr(step.size()));
        int n = -1;
        fields >> n;
        EXPECT_GE(n, 1) << line;
        batches += n;
      }
    }
  }
  EXPECT_GT(batches, 9) << o.out;

  const Outcome verbose = Run("close --verbose --db '" + db + "'");
  ASSERT_EQ(verbose.exit_code, 0) << verbose.err;
  EXPECT_NE(verbose.err.find("carry-forward"), std::string::npos);
  EXPECT_NE(verbose.err.find("Delete From TempWriteBack"), std::string::npos) << verbose.err;
  EXPECT_GT(LinesOf(verbose.err).size(), LinesOf(o.err).size() + 10);
}

// The demo company's fifth period holds unaudited bills.
TEST_F(CloseReport, TheFindingsAreTablesAndTheSummaryCountsWhatTheyList) {
  const std::string db = Demo();
  ASSERT_EQ(Run("close --db '" + db + "'").exit_code, 0);
  ASSERT_EQ(Run("close --db '" + db + "'").exit_code, 0);
  const std::string before = DumpCompanyFile(db);
  const Outcome o = Run("close --db '" + db + "'");
  EXPECT_EQ(o.exit_code, 1);
  const std::vector<std::string> lines = LinesOf(o.err);
  size_t at = 0;
  while (at < lines.size() && lines[at].rfind("check ", 0) != 0) ++at;
  ASSERT_LT(at + 4, lines.size()) << o.err;
  EXPECT_NE(lines[at].find("findings"), std::string::npos);
  EXPECT_EQ(lines[at + 1].rfind("-----", 0), 0u) << lines[at + 1];
  int findings = 0, audit_findings = -1;
  for (size_t i = at + 2; i < lines.size() && !lines[i].empty(); ++i) {
    std::istringstream fields(lines[i]);
    std::string check;
    int n = 0;
    fields >> check >> n;
    findings += n;
    if (check == "CheckBillAudit") audit_findings = n;
  }
  EXPECT_GT(audit_findings, 0) << o.err;
  // The bills behind the count, under a header.
  size_t bills = 0;
  while (at < lines.size() && lines[at] != "unaudited bills:") ++at;
  ASSERT_LT(at + 2, lines.size()) << o.err;
  EXPECT_NE(lines[at + 1].find("FBillNo"), std::string::npos);
  for (size_t i = at + 3;
       i < lines.size() && !lines[i].empty() && lines[i].rfind("morvesk close:", 0) != 0; ++i) {
    ++bills;
  }
  EXPECT_EQ(static_cast<int>(bills), audit_findings) << o.err;
  EXPECT_NE(o.err.find("the checks found " + std::to_string(findings) + " finding(s)"),
            std::string::npos)
      << o.err;
  EXPECT_TRUE(DumpCompanyFile(db) == before);
}

// A file size limit stands in for a full disk: the close's log cannot grow past it, and the
// close fails at its commit. 34 KiB leaves room for the log's 32 KiB shared index.
TEST_F(CloseReport, AFullDiskFailsTheCloseAndLeavesTheDatabaseUnchanged) {
  const std::string db = Demo();
  const std::string before = DumpCompanyFile(db);
  const std::string out = Path("full.out"), err = Path("full.err");
  const std::string cmd = "/bin/bash -c \"trap '' XFSZ; ulimit -f 34; exec '" MORVESK_BINARY_DIR
                          "/bin/morvesk' close --db '" +
                          db + "'\" > '" + out + "' 2> '" + err + "'";
  const int status = std::system(cmd.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1) << ReadFile(err);
  const std::string text = ReadFile(err);
  EXPECT_NE(text.find("the period was not closed; the database is unchanged"), std::string::npos)
      << text;
  EXPECT_TRUE(DumpCompanyFile(db) == before);
  // Room again: the same close goes through.
  const Outcome again = Run("close --db '" + db + "'");
  EXPECT_EQ(again.exit_code, 0) << again.err;
  EXPECT_FALSE(DumpCompanyFile(db) == before);
}

}  // namespace
}  // namespace morvesk::test
