// What the schema itself guarantees: the script splitter that feeds it to the
// engine, the keys the close relies on, and the identity of t_CC_Bal.
#include <gtest/gtest.h>

#include "company/script.h"
#include "company_fixture.h"

namespace morvesk::company::testing {
namespace {

TEST(ScriptSplitting, EndsBatchesOnlyAtLinesHoldingJustGo) {
  auto texts = [](std::string_view script) {
    std::vector<std::string> out;
    for (const ScriptBatch& b : SplitBatches(script)) {
      out.push_back(std::to_string(b.first_line) + "x" + std::to_string(b.repeat) + ":" + b.text);
    }
    return out;
  };
  EXPECT_EQ(texts("select 1\r\n  go  \r\nselect 2\nGO 3\n\nGO\n"),
            (std::vector<std::string>{"1x1:select 1\r\n", "3x3:select 2\n"}));
  // GO inside a quoted text or a block comment, or followed by other words, is text.
  EXPECT_EQ(texts("select 'a\nGO\nb'\n/* x\ngo\n*/ select 3\nselect 4 go\ngo;\nGOTO x\n"),
            (std::vector<std::string>{
                "1x1:select 'a\nGO\nb'\n/* x\ngo\n*/ select 3\nselect 4 go\ngo;\nGOTO x\n"}));
  // A quote inside a line comment does not open a text.
  EXPECT_EQ(texts("select 5 -- it's\nGO\nselect 6"),
            (std::vector<std::string>{"1x1:select 5 -- it's\n", "3x1:select 6\n"}));
}

TEST(Schema, LoadsOnceAndKeepsTheKeysTheCloseReliesOn) {
  TestCompany c = NewSchema();
  // Loading twice fails on the first existing object and says which script.
  try {
    LoadSchema(*c.conn);
    ADD_FAILURE() << "a second load must fail";
  } catch (const engine::SqlError& e) {
    EXPECT_EQ(e.number, 2714);
    EXPECT_NE(e.message.find("10_tables.sql"), std::string::npos) << e.message;
  }
  // One dating per batch: a second t_CC_Stock row with the same key is an
  // integrity violation (the close turns it into its batch-number message).
  const std::string row =
      "insert into t_CC_Stock (FYear, FPeriod, FStockID, FItemID, FBatchNo, FAuxPropID, FKFPeriod) "
      "values (2025, 3, 1, 1, 'B', 0, ";
  ASSERT_TRUE(c.conn->Execute(row + "30)").ok());
  try {
    engine::BatchResult r = c.conn->Execute(row + "60)");
    ASSERT_FALSE(r.ok());
    EXPECT_TRUE(r.errors.front().IsConstraintViolation());
  } catch (const engine::SqlError& e) {
    EXPECT_TRUE(e.IsConstraintViolation()) << e.number;
  }
  // t_CC_Bal numbers its rows itself and never reuses a number; two rows may share
  // a lot identifier while the carry-forward renumbers them.
  ASSERT_TRUE(c.conn->Execute(
      "insert into t_CC_Bal (FInterID, FYear, FPeriod, FStockID, FItemID) values "
      "('100000000000000000000000', 2025, 3, 1, 1), ('100000000000000000000000', 2025, 3, 1, 1)\n"
      "delete from t_CC_Bal where FIdentity = 2\n"
      "insert into t_CC_Bal (FInterID, FYear, FPeriod, FStockID, FItemID) "
      "values ('100000000000000000000000', 2025, 3, 1, 2)").ok());
  EXPECT_EQ(Query(*c.conn, "select FIdentity, FItemID, FBatchNo, FBegQty, FStockInDate from t_CC_Bal "
                           "order by FIdentity"),
            (Rows{{"1", "1", "", "0", "1900-01-01"}, {"3", "2", "", "0", "1900-01-01"}}));
  // The quick balance takes ten values without a column list, as a return to an
  // earlier period writes them (int 0 into the date).
  ASSERT_TRUE(c.conn->Execute("insert into ICSpeedBal select 0,'',0,0,0,0,101,1003,2000,400").ok());
  EXPECT_EQ(Query(*c.conn, "select FInterID, FDate, FStockID, FItemID, FQty, FAmount from ICSpeedBal"),
            (Rows{{"", "1900-01-01", "101", "1003", "2000", "400"}}));
}

}  // namespace
}  // namespace morvesk::company::testing
