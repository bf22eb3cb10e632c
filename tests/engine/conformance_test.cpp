// Conformance harness: runs the T-SQL cases of tests/engine/cases/*.test through the
// engine and compares what each batch produced with the expected output (format in
// case_files.h).
#include "tests/engine/case_files.h"

namespace morvesk::engine::test {
namespace {

class Conformance : public ::testing::TestWithParam<std::string> {};

TEST_P(Conformance, CasesProduceTheirExpectedOutput) {
  std::filesystem::path file = CaseDir() / GetParam();
  auto cases = ReadCases(file);
  ASSERT_FALSE(cases.empty()) << "no cases in " << file;
  auto db = Database::Open(":memory:");
  for (const auto& c : cases) {
    std::vector<std::string> actual = RunCase(*db, c);
    bool same = actual.size() == c.expected.size();
    for (size_t i = 0; same && i < actual.size(); ++i) same = Matches(c.expected[i], actual[i]);
    EXPECT_TRUE(same) << GetParam() << ":" << c.line << " case " << c.title << "\nexpected:\n"
                      << Join(c.expected) << "actual:\n"
                      << Join(actual);
  }
}

INSTANTIATE_TEST_SUITE_P(Engine, Conformance, ::testing::ValuesIn(CaseFiles()), FileTestName);

}  // namespace
}  // namespace morvesk::engine::test
