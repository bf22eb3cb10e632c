// The shape cache is a pure optimisation: every case of tests/engine/cases/*.test, run
// after a batch of the same shape with other literal values, gives what it gives with the
// cache off, byte for byte.
#include "engine/exec/connection_internal.h"
#include "engine/sql/lexer.h"
#include "tests/engine/case_files.h"

namespace morvesk::engine::test {
namespace {

std::string Quoted(std::string_view prefix, const std::string& value) {
  std::string out(prefix);
  out += '\'';
  for (char ch : value) {
    out += ch;
    if (ch == '\'') out += '\'';
  }
  return out + '\'';
}

// The batch with every literal changed to another value of another type: texts get longer
// (letters doubled, anything else two trailing blanks, so dates stay dates), integers gain
// a digit, decimals a digit of scale. A text the lexer refuses stays as it is.
std::string OtherLiterals(const std::string& text) {
  std::vector<sql::Token> tokens;
  try {
    tokens = sql::Lex(text);
  } catch (const SqlError&) {
    return text;
  }
  std::string out;
  size_t pos = 0;
  for (const sql::Token& t : tokens) {
    if (!t.IsLiteral()) continue;
    out.append(text, pos, t.offset - pos);
    pos = t.offset + t.text.size();
    switch (t.kind) {
      case sql::TokenKind::kString:
      case sql::TokenKind::kNString: {
        bool letters = !t.value.empty() && std::all_of(t.value.begin(), t.value.end(), [](char c) {
          return std::isalpha(static_cast<unsigned char>(c));
        });
        out += Quoted(t.kind == sql::TokenKind::kNString ? "N" : "",
                      letters ? t.value + t.value : t.value + "  ");
        break;
      }
      case sql::TokenKind::kInteger: out += t.text + "3"; break;
      case sql::TokenKind::kDecimal: out += t.text + "5"; break;
      default: out += t.text; break;
    }
  }
  out.append(text, pos);
  return out;
}

// Each case twice on one set of connections: as written, then with other literals. With
// `rolled_back`, each written batch runs inside a transaction that is rolled back just
// before its changed twin, so the twin meets the same state it would meet alone.
std::vector<std::string> RunTwice(const std::vector<Case>& cases, bool rolled_back) {
  auto db = Database::Open(":memory:");
  std::vector<std::string> out;
  for (const auto& c : cases) {
    out.push_back("case " + c.title);
    Connections connections;
    if (!rolled_back) {
      for (auto& line : RunCase(*db, c, connections)) out.push_back(std::move(line));
      for (auto& line : RunCase(*db, c, connections, OtherLiterals)) out.push_back(std::move(line));
      continue;
    }
    for (size_t b = 0; b < c.batches.size(); ++b) {
      Case one = c;
      one.batches = {c.batches[b]};
      one.close_before = {c.close_before[b]};
      auto& conn = connections[c.batches[b].connection];
      if (!conn) conn = db->Connect();
      conn->BeginTransaction();
      try {
        conn->Execute(c.batches[b].text);
      } catch (const SqlError&) {
        // the twin below reports what fails
      }
      conn->Rollback();
      for (auto& line : RunCase(*db, one, connections, OtherLiterals)) out.push_back(line);
    }
  }
  return out;
}

class ShapeCache : public ::testing::TestWithParam<std::string> {
 protected:
  void TearDown() override { exec::SetShapeCache(true); }
};

TEST_P(ShapeCache, BatchesWithOtherLiteralsGiveWhatTheyGiveUncached) {
  const auto cases = ReadCases(CaseDir() / GetParam());
  for (bool rolled_back : {false, true}) {
    exec::SetShapeCache(true);
    const auto cached = RunTwice(cases, rolled_back);
    exec::SetShapeCache(false);
    const auto uncached = RunTwice(cases, rolled_back);
    EXPECT_EQ(Join(cached), Join(uncached)) << GetParam() << (rolled_back ? " (rolled back)" : "");
  }
}

INSTANTIATE_TEST_SUITE_P(Engine, ShapeCache, ::testing::ValuesIn(CaseFiles()), FileTestName);

}  // namespace
}  // namespace morvesk::engine::test
