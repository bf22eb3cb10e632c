// Several clients writing at once: each connection is its own session and transaction,
// writers wait on each other for the write lock, and no committed write is lost.
#include <string>

#include "tests/server/served_company.h"

namespace morvesk::test {
namespace {

TEST_F(ServedCompany, EightClientsWritingAtOnceLoseNoWrite) {
  Outcome o = Python("writers", {"8", "2", "t_ServeProbe"});
  ASSERT_EQ(o.exit_code, 0) << o.err;
  std::stringstream lines(o.out);
  std::string line;
  int committed = -1, clients = -1;
  while (std::getline(lines, line)) {
    if (line.rfind("committed ", 0) == 0) {
      committed = std::stoi(line.substr(10));
    } else if (line.rfind("clients with commits ", 0) == 0) {
      clients = std::stoi(line.substr(21));
    } else {
      ADD_FAILURE() << line;  // a client's error
    }
  }
  EXPECT_EQ(clients, 8);
  ASSERT_GT(committed, 8);
  // Every committed round's row and counter step is there, and nothing else.
  EXPECT_EQ(EngineRows("SELECT COUNT(*) FROM t_ServeProbe"), std::to_string(committed) + "\n");
  EXPECT_EQ(EngineRows("SELECT FMaxNum FROM t_ICMaxNum WHERE FTableName = 't_ServeProbe'"),
            std::to_string(committed) + "\n");
  // Each client's #temp table is its own.
  Outcome temp = Python("query", {"CREATE TABLE #mine (x int); INSERT INTO #mine VALUES (1); "
                                  "SELECT COUNT(*) FROM #mine"});
  EXPECT_EQ(temp.out, "1\n") << temp.err;
}

}  // namespace
}  // namespace morvesk::test
