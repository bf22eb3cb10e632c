// A loop that filters a working table by a text key beside integer keys: once the runtime
// indexes the table for it, the text still compares as the server compares it (case and
// trailing blanks ignored), so every batch of the loop finds the same rows as a scan did.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/exec/connection_internal.h"

namespace morvesk::engine {
namespace {

// The batch text of one step: the amount of (stock, item, batch) doubled, and its sum read.
std::string Step(int stock, int item, const std::string& batch) {
  const std::string key = " where FStockID = " + std::to_string(stock) + " and FBatchNo = '" +
                          batch + "' and FItemID = " + std::to_string(item);
  return "declare @Sum decimal(28,2) update #Lots set FAmount = FAmount * 2" + key +
         " select @Sum = sum(FAmount) from #Lots" + key + " select @Sum, @@ROWCOUNT";
}

TEST(RuntimeLoops, AnIndexedTextKeyStillIgnoresCaseAndTrailingBlanks) {
  auto db = Database::Open(":memory:");
  auto c = db->Connect();
  // 30 items in 2 stocks, batches 'Lot-A' and 'lot-b  ' (stored with trailing blanks), one
  // row each with amount 1.
  std::string fill =
      "set nocount on create table #Lots (FBatchNo varchar(20), FStockID int, FItemID int, "
      "FAmount decimal(28,2)) ";
  for (int item = 1; item <= 30; ++item) {
    for (int stock = 1; stock <= 2; ++stock) {
      for (const char* batch : {"Lot-A", "lot-b  "}) {
        fill += "insert into #Lots values ('" + std::string(batch) + "', " + std::to_string(stock) +
                ", " + std::to_string(item) + ", 1) ";
      }
    }
  }
  ASSERT_TRUE(c->Execute(fill).ok());
  const auto& stats = exec::StatsOf(*c);
  const auto indexes_before = stats.auto_indexes;

  // Written in other cases and with or without trailing blanks than stored.
  const std::vector<std::string> spellings = {"LOT-A", "lot-a ", "LOT-B", "Lot-B"};
  std::vector<std::string> sums;
  for (int item = 1; item <= 30; ++item) {
    const std::string& batch = spellings[static_cast<size_t>(item) % spellings.size()];
    BatchResult r = c->Execute(Step(1 + item % 2, item, batch));
    ASSERT_TRUE(r.ok()) << r.errors.front().message;
    const auto sets = r.ResultSets();
    ASSERT_EQ(sets.size(), 1u);
    ASSERT_EQ(sets[0]->rows.size(), 1u);
    sums.push_back(sets[0]->rows[0][0].ToString() + "/" + sets[0]->rows[0][1].ToString());
  }
  EXPECT_GT(stats.auto_indexes, indexes_before) << "the loop was not indexed";
  // Each step found its one row, before and after the index: doubled once.
  EXPECT_EQ(sums, std::vector<std::string>(30, "2.00/1"));

  // Nothing else changed: 30 rows doubled, 90 untouched; each stock and spelling apart.
  BatchResult r = c->Execute(
      "select FStockID, upper(rtrim(FBatchNo)), count(*), sum(FAmount) from #Lots "
      "group by FStockID, upper(rtrim(FBatchNo)) order by 1, 2");
  ASSERT_TRUE(r.ok());
  std::string table;
  for (const auto& row : r.ResultSets()[0]->rows) {
    for (const Value& v : row) table += v.ToString() + "|";
    table += "\n";
  }
  // Even items (stock 1) took spellings 0 and 2: 7 rows of batch a (4, 8, ... 28) and 8 of
  // batch b (2, 6, ... 30) doubled; odd items (stock 2) took 1 and 3: 8 of a, 7 of b.
  EXPECT_EQ(table,
            "1|LOT-A|30|37.00|\n"
            "1|LOT-B|30|38.00|\n"
            "2|LOT-A|30|38.00|\n"
            "2|LOT-B|30|37.00|\n");
}

}  // namespace
}  // namespace morvesk::engine
