// Values spliced into T-SQL text: quoting, Null, blanks, empty-as-Null, and date arguments.
#include <gtest/gtest.h>

#include "frame/sql_text.h"
#include "platform/automation/variant.h"

namespace morvesk::frame {
namespace {

using automation::Variant;

TEST(FrameSqlText, QuoteSqlDoublesQuotesTrimsAndWraps) {
  EXPECT_EQ(QuoteSQL(Variant("O'Brien"), true, true), "'O''Brien'");
  EXPECT_EQ(QuoteSQL(Variant::Null(), true, true), "''");
  EXPECT_EQ(QuoteSQL(Variant(), true, true), "''");
  EXPECT_EQ(QuoteSQL(Variant("  12  "), true, true), "'12'");
  EXPECT_EQ(QuoteSQL(Variant(int32_t{12}), true, true), "'12'");
  EXPECT_EQ(QuoteSQL(Variant("''"), true, true), "''''''");
  EXPECT_EQ(QuoteSQL(Variant("x' Or '1'='1"), true, true), "'x'' Or ''1''=''1'");
  // Only blanks are trimmed; tabs and inner blanks stay.
  EXPECT_EQ(QuoteSQL(Variant(" \tB 01 "), true, true), "'\tB 01'");
  EXPECT_EQ(QuoteSQL(Variant(" 批号'A "), false, true), "批号''A");
  EXPECT_EQ(QuoteSQL(Variant(" a "), true, false), "' a '");
  EXPECT_EQ(QuoteSQL(Variant(true), true, true), "'True'");
}

TEST(FrameSqlText, QuoteSqlOfAValueWithoutTextGivesEmptyTextWithoutRaising) {
  EXPECT_EQ(QuoteSQL(Variant(automation::VariantArray{Variant("a")}), true, true), "");
  EXPECT_EQ(SQLValue(Variant(automation::VariantArray{}), true, true, true), "");
}

TEST(FrameSqlText, SqlValueEmitsNullForEmptyOnlyWhenAsked) {
  EXPECT_EQ(SQLValue(Variant(""), true, true, true), "Null");
  EXPECT_EQ(SQLValue(Variant("   "), true, true, true), "Null");     // empty once trimmed
  EXPECT_EQ(SQLValue(Variant("   "), true, true, false), "'   '");   // not trimmed: not empty
  EXPECT_EQ(SQLValue(Variant::Null(), true, true, true), "Null");
  EXPECT_EQ(SQLValue(Variant(""), true, false, true), "''");
  EXPECT_EQ(SQLValue(Variant(""), false, false, true), "");
  EXPECT_EQ(SQLValue(Variant(" O'Brien "), true, true, true), "'O''Brien'");
  EXPECT_EQ(SQLValue(Variant("3.50"), false, true, true), "3.50");
  EXPECT_EQ(SQLValue(Variant(int32_t{0}), true, true, true), "'0'");  // zero is not empty
}

TEST(FrameSqlText, DateArgumentsReadInTheFormsCallersSend) {
  EXPECT_EQ(FormatSqlDate("2025-03-01"), "2025-03-01");
  EXPECT_EQ(FormatSqlDate("2025/3/1"), "2025-03-01");
  EXPECT_EQ(FormatSqlDate("20250301"), "2025-03-01");
  EXPECT_EQ(FormatSqlDate(" 2025-03-01 13:45:10 "), "2025-03-01");
  EXPECT_EQ(FormatSqlDate("2025-04-01", -1), "2025-03-31");
  EXPECT_EQ(FormatSqlDate("2024-03-01", -1), "2024-02-29");
  EXPECT_EQ(FormatSqlDate("2025-01-01", -1), "2024-12-31");
  EXPECT_EQ(FormatSqlDate(""), std::nullopt);
  EXPECT_EQ(FormatSqlDate("   "), std::nullopt);
  EXPECT_EQ(FormatSqlDate("2025-02-30"), std::nullopt);
  EXPECT_EQ(FormatSqlDate("next monday"), std::nullopt);
}

}  // namespace
}  // namespace morvesk::frame
