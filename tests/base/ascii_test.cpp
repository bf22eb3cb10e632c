#include "base/ascii.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

namespace morvesk::base {
namespace {

TEST(AsciiLower, FoldsOnlyTheLettersAToZ) {
  EXPECT_EQ(AsciiLower("FBegQty_@#TmpBal_1[Z]"), "fbegqty_@#tmpbal_1[z]");
  // The bytes just outside A-Z ('@' before A, '[' after Z) and digits stay.
  EXPECT_EQ(AsciiLower("@AZ[09"), "@az[09");
  EXPECT_EQ(AsciiLower(""), "");
}

TEST(AsciiLower, LeavesUtf8BytesAlone) {
  const std::string name = "\xC3\x84rtikel";  // "Artikel" with an A-umlaut
  EXPECT_EQ(AsciiLower(name), "\xC3\x84rtikel");
  EXPECT_FALSE(EqualsNoCase("\xC3\x84", "\xC3\xA4"));
}

TEST(EqualsNoCase, IgnoresCaseOfAsciiLettersOnly) {
  EXPECT_TRUE(EqualsNoCase("t_CC_Stock_BatchNo", "T_CC_STOCK_BATCHNO"));
  EXPECT_TRUE(EqualsNoCase("", ""));
  EXPECT_FALSE(EqualsNoCase("t_CC_Bal", "t_CC_Ba"));
  EXPECT_FALSE(EqualsNoCase("t_CC_Bal", "t_CC_Bal "));
  // '[' and '{' differ from 'Z' and 'z' by 32 yet are no letters.
  EXPECT_FALSE(EqualsNoCase("[", "{"));
  EXPECT_FALSE(EqualsNoCase("@", "`"));
}

TEST(EqualsNoCase, UsableAtCompileTime) {
  static_assert(EqualsNoCase("dbo", "DBO"));
  static_assert(AsciiLower('Q') == 'q' && AsciiLower('q') == 'q' && AsciiLower('1') == '1');
}

TEST(AsciiLower, SameUnderAnotherCLocale) {
  // A host may set a locale whose tolower maps Latin-1 bytes; names must not change.
  const char* previous = std::setlocale(LC_CTYPE, nullptr);
  const std::string saved = previous ? previous : "C";
  if (!std::setlocale(LC_CTYPE, "C.UTF-8") && !std::setlocale(LC_CTYPE, "en_US.ISO-8859-1"))
    GTEST_SKIP() << "no other locale installed";
  EXPECT_EQ(AsciiLower("\xC4"
                       "BC"),
            "\xC4"
            "bc");
  EXPECT_FALSE(EqualsNoCase("\xC4", "\xE4"));
  std::setlocale(LC_CTYPE, saved.c_str());
}

}  // namespace
}  // namespace morvesk::base
