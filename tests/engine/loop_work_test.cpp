// Loops of batches that make and drop their own #temp tables while they read and change
// a larger working table: the work each batch does must not grow with the loop (no
// translation per batch, an index on the filtered working table), and every batch must
// still see the tables as they are when it runs.
#include <gtest/gtest.h>

#include <string>

#include "engine/engine.h"
#include "engine/exec/connection_internal.h"
#include "tests/engine/scalar.h"

namespace morvesk::engine {
namespace {

using test::Scalar;

// One spreading step: the rows of (stock, item) get `amount` in proportion to their
// quantity, through a #temp table of their sums that the batch makes and drops.
std::string SpreadBatch(int stock, int item, const std::string& amount) {
  const std::string key =
      " where w.FStockID = " + std::to_string(stock) + " and w.FItemID = " + std::to_string(item);
  return "declare @Qty decimal(28,10) declare @Item int"
         " select w.FItemID, sum(w.FQty) as FQty into #Sums from #Work w" +
         key +
         " group by w.FItemID"
         " select @Qty = FQty, @Item = FItemID from #Sums"
         " update w set w.FAmount = w.FAmount + round(" +
         amount +
         " * w.FQty / @Qty, 2) from #Work w, #Sums s where w.FItemID = s.FItemID and "
         "w.FItemID = @Item and w.FStockID = " +
         std::to_string(stock) + " and @Qty <> 0 drop table #Sums";
}

TEST(RuntimeLoops, BatchesMakingTheirOwnTempTablesReuseTranslationsAndIndexTheWorkingTable) {
  auto db = Database::Open(":memory:");
  auto c = db->Connect();
  c->Execute(
      "set nocount on create table #Work (FStockID int, FItemID int, FQty decimal(28,10), "
      "FAmount decimal(28,2))");
  // 40 items in 2 stocks, 3 rows each with quantities 1, 2 and 3 (2 for stock 2).
  std::string fill = "set nocount on ";
  for (int item = 1; item <= 40; ++item) {
    for (int stock = 1; stock <= 2; ++stock) {
      for (int q = 1; q <= 3; ++q) {
        fill += "insert into #Work values (" + std::to_string(stock) + ", " +
                std::to_string(item + 100) + ", " + std::to_string(stock == 1 ? q : 2) + ", 0) ";
      }
    }
  }
  c->Execute(fill);
  const auto& stats = exec::StatsOf(*c);
  const auto first_indexes = stats.auto_indexes;

  c->Execute(SpreadBatch(1, 101, "60"));
  const auto translations = stats.translations;
  for (int item = 102; item <= 140; ++item) c->Execute(SpreadBatch(1, item, "60"));
  // The first batch translated its statements; the 39 after it only re-check the tables.
  EXPECT_EQ(stats.translations, translations);
  // The working table got an index on the columns the loop filters it by.
  EXPECT_GT(stats.auto_indexes, first_indexes);

  // Quantities 1, 2, 3 share 60 as 10, 20, 30; stock 2 untouched.
  BatchResult r = c->Execute(
      "select FItemID, FQty, FAmount from #Work where FStockID = 1 and FItemID in (101, 140) "
      "order by FItemID, FQty "
      "select count(*), sum(FAmount) from #Work where FStockID = 2 and FAmount <> 0 "
      "select sum(FAmount) from #Work");
  auto sets = r.ResultSets();
  ASSERT_EQ(sets.size(), 3u);
  ASSERT_EQ(sets[0]->rows.size(), 6u);
  const char* expected[] = {"10.00", "20.00", "30.00", "10.00", "20.00", "30.00"};
  for (size_t i = 0; i < 6; ++i) EXPECT_EQ(sets[0]->rows[i][2].ToString(), expected[i]) << i;
  EXPECT_EQ(sets[1]->rows[0][0].as_int(), 0);
  EXPECT_EQ(sets[2]->rows[0][0].ToString(), "2400.00");
}

TEST(RuntimeLoops, ATableMadeAgainWithOtherColumnsIsTranslatedAgain) {
  auto db = Database::Open(":memory:");
  auto c = db->Connect();
  const std::string batch =
      "select a * 2 as d into #Twice from #Source select d from #Twice drop table #Twice";
  c->Execute("set nocount on create table #Source (a int) insert into #Source values (21)");
  EXPECT_EQ(Scalar(*c, batch).ToString(), "42");
  // An unrelated table comes and goes: the translation stands.
  c->Execute("create table #Other (x int) drop table #Other");
  EXPECT_EQ(Scalar(*c, batch).ToString(), "42");

  // The source is made again with a decimal column: the product follows its type.
  c->Execute(
      "drop table #Source create table #Source (a decimal(10,3)) insert into #Source values "
      "(1.25)");
  EXPECT_EQ(Scalar(*c, batch).ToString(), "2.500");

  // Without the source the batch fails as it would have the first time.
  c->Execute("drop table #Source");
  try {
    c->Execute(batch);
    FAIL() << "a batch on a dropped table ran";
  } catch (const SqlError& e) {
    EXPECT_EQ(e.number, 208);
  }

  // A table of the target's name in the way: SELECT ... INTO reports it, and no row moves.
  c->Execute(
      "create table #Source (a int) insert into #Source values (5) "
      "create table #Twice (d int)");
  try {
    c->Execute("select a * 2 as d into #Twice from #Source");
    FAIL() << "SELECT INTO an existing table ran";
  } catch (const SqlError& e) {
    EXPECT_EQ(e.number, 2714);
  }
  EXPECT_EQ(Scalar(*c, "select count(*) from #Twice").as_int(), 0);
}

}  // namespace
}  // namespace morvesk::engine
