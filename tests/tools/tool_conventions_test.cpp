// The conventions of the `morvesk` tool a person relies on: version and help, exit code 2
// for usage mistakes with one form of hint, messages that count the arguments the person
// typed, `call` in CSV and without a database where none is needed, and the language
// setting checked.
#include <string>

#include "tests/tools/tool_fixture.h"

namespace morvesk::test {
namespace {

class ToolConventions : public ToolFixture {};

TEST_F(ToolConventions, VersionAndHelpOfEachCommand) {
  Outcome version = Run("--version");
  EXPECT_EQ(version.exit_code, 0);
  EXPECT_EQ(version.out.rfind("morvesk ", 0), 0u) << version.out;
  EXPECT_NE(version.out.find_first_of("0123456789"), std::string::npos) << version.out;

  for (const char* command : {"sql", "call", "init", "close", "periods"}) {
    Outcome help = Run(std::string("help ") + command);
    EXPECT_EQ(help.exit_code, 0) << command << help.err;
    EXPECT_EQ(help.out, Run(std::string(command) + " --help").out) << command;
    EXPECT_EQ(help.out.rfind(std::string("usage: morvesk ") + command, 0), 0u) << help.out;
  }
  Outcome unknown = Run("help frobnicate");
  EXPECT_EQ(unknown.exit_code, 2);
  EXPECT_NE(unknown.err.find("unknown command 'frobnicate'"), std::string::npos);
  EXPECT_NE(Run("help").out.find("morvesk help <command>"), std::string::npos);
}

TEST_F(ToolConventions, UsageMistakesExitTwoWithOneFormOfHint) {
  const std::string db = Demo();
  struct Case {
    std::string args, command;
  };
  for (const Case& c :
       {Case{"sql --bogus", "sql"}, Case{"sql --db '" + db + "' --format xml x", "sql"},
        Case{"sql --db '" + db + "' --vertical --format csv x", "sql"},
        Case{"call --db '" + db + "' NoDot", "call"},
        Case{"call --db '" + db + "' CalCurAmount.NoSuchMember", "call"},
        Case{"init --size", "init"}}) {
    Outcome o = Run(c.args);
    EXPECT_EQ(o.exit_code, 2) << c.args << "\n" << o.err;
    EXPECT_NE(o.err.find("(see 'morvesk " + c.command + " --help')"), std::string::npos)
        << c.args << "\n"
        << o.err;
  }
}

TEST_F(ToolConventions, CallNamesTheArgumentAsTypedAndItsParameterType) {
  const std::string db = Demo();
  // The connection description is filled from --db: "three" is the first argument typed.
  Outcome o = Run("call --db '" + db + "' CalCurAmount.GetCurPeriodStartEnd three 2025");
  EXPECT_EQ(o.exit_code, 2) << o.err;
  EXPECT_NE(o.err.find("argument 1 ('three') for CurPeriod, a Long"), std::string::npos) << o.err;
  EXPECT_NE(o.err.find("cannot convert String to Long"), std::string::npos) << o.err;
  EXPECT_EQ(o.err.find("Double"), std::string::npos) << o.err;

  Outcome second = Run("call --db '" + db + "' CalCurAmount.GetCurPeriodStartEnd 3 twenty");
  EXPECT_EQ(second.exit_code, 2);
  EXPECT_NE(second.err.find("argument 2 ('twenty') for CurYear, a Long"), std::string::npos)
      << second.err;

  Outcome many = Run("call --db '" + db + "' CalCurAmount.GetCurPeriodStartEnd 3 2025 a b c");
  EXPECT_EQ(many.exit_code, 2);
  EXPECT_NE(many.err.find("5 were given"), std::string::npos) << many.err;

  // The same arguments, right, work; in CSV the by-ref outputs follow the result.
  Outcome csv = Run("call --db '" + db + "' --format csv CalCurAmount.GetCurPeriodStartEnd 3 2025");
  EXPECT_EQ(csv.exit_code, 0) << csv.err;
  EXPECT_EQ(csv.out, "name,value\nresult,true\nsStartDate,2025/03/01\nsEndDate,2025/04/01\n");
}

TEST_F(ToolConventions, CallNeedsADatabaseOnlyForMembersThatWorkOnOne) {
  Outcome mode = Run("call CalCurAmount.TransMode");
  EXPECT_EQ(mode.exit_code, 0) << mode.err;
  EXPECT_EQ(mode.out.rfind("result: ", 0), 0u) << mode.out;

  Outcome needs = Run("call CalCurAmount.GetPeriodsData");
  EXPECT_EQ(needs.exit_code, 2);
  EXPECT_NE(needs.err.find("--db is required"), std::string::npos) << needs.err;

  // A table-valued output in CSV: named in the first table, printed after it.
  const std::string db = Demo();
  Outcome periods = Run("call --db '" + db + "' --format csv CalCurAmount.GetPeriodsData");
  EXPECT_EQ(periods.exit_code, 0) << periods.err;
  EXPECT_EQ(periods.out.rfind("name,value\nresult,true\n", 0), 0u) << periods.out;
}

TEST_F(ToolConventions, ALanguageWithoutTextsIsNamedWithTheCodesThereAre) {
  Outcome unknown = Run("call CalCurAmount.TransMode");
  EXPECT_EQ(unknown.err, "");
  const std::string with_lang = "MORVESK_LANG=XYZ " + std::string(MORVESK_BINARY_DIR) +
                                "/bin/morvesk call CalCurAmount.TransMode 2>&1";
  FILE* pipe = popen(with_lang.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string text;
  char buf[512];
  while (size_t n = fread(buf, 1, sizeof buf, pipe)) text.append(buf, n);
  EXPECT_EQ(pclose(pipe), 0);
  EXPECT_NE(text.find("MORVESK_LANG=XYZ has no texts"), std::string::npos) << text;
  EXPECT_NE(text.find("CHS"), std::string::npos) << text;
  EXPECT_NE(text.find("ENU"), std::string::npos) << text;

  const std::string known = "MORVESK_LANG=enu " + std::string(MORVESK_BINARY_DIR) +
                            "/bin/morvesk call CalCurAmount.TransMode 2>&1 >/dev/null";
  pipe = popen(known.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  text.clear();
  while (size_t n = fread(buf, 1, sizeof buf, pipe)) text.append(buf, n);
  pclose(pipe);
  EXPECT_EQ(text, "");
}

}  // namespace
}  // namespace morvesk::test
