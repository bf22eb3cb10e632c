// Grouped derived tables joined to other tables: the results must be those of the query
// as written whatever way the engine evaluates the derived table, for UPDATE ... FROM,
// SELECT ... INTO, a derived table that reads the outer row, text compared without case
// and trailing blanks, and a statement that fails half-way.
#include <gtest/gtest.h>

#include <string>

#include "engine/engine.h"

namespace morvesk::engine {
namespace {

std::vector<std::vector<std::string>> Rows(Connection& c, const std::string& sql) {
  BatchResult r = c.Execute(sql);
  auto sets = r.ResultSets();
  std::vector<std::vector<std::string>> out;
  if (sets.empty()) {
    ADD_FAILURE() << "no result set from: " << sql;
    return out;
  }
  for (const auto& row : sets.back()->rows) {
    std::vector<std::string> cells;
    for (const auto& v : row) cells.push_back(v.is_null() ? "NULL" : v.ToString());
    out.push_back(std::move(cells));
  }
  return out;
}

using Table = std::vector<std::vector<std::string>>;

TEST(GroupedDerived, JoinedGroupsGiveTheResultsOfTheQueryAsWritten) {
  auto db = Database::Open(":memory:");
  auto c = db->Connect();
  c->Execute(
      "set nocount on "
      "create table Lines (FItemID int, FBatchNo varchar(20), FQty decimal(18,2), FDate datetime) "
      "insert into Lines values (1, 'a', 2, '2025-03-01') "
      "insert into Lines values (1, 'A ', 3, '2025-03-05') "
      "insert into Lines values (1, 'b', 4, '2025-02-01') "
      "insert into Lines values (2, 'a', 5, '2025-01-09') "
      "create table #Work (FItemID int, FBatchNo varchar(20), FDate datetime null, FTotal "
      "decimal(18,2) null) "
      "insert into #Work values (1, 'A', null, null) "
      "insert into #Work values (1, 'b', null, null) "
      "insert into #Work values (3, 'a', null, null)");

  // 'a' and 'A ' are one batch: latest date and summed quantity per item and batch.
  c->Execute(
      "update w set w.FDate = g.FDate, w.FTotal = g.FQty from #Work w inner join "
      "(select FItemID, FBatchNo, max(FDate) as FDate, sum(FQty) as FQty from Lines "
      "group by FItemID, FBatchNo) g on w.FItemID = g.FItemID and w.FBatchNo = g.FBatchNo");
  EXPECT_EQ(Rows(*c,
                 "select FItemID, FBatchNo, convert(varchar(10), FDate, 120), FTotal from #Work "
                 "order by FItemID, FBatchNo"),
            (Table{{"1", "A", "2025-03-05", "5.00"},
                   {"1", "b", "2025-02-01", "4.00"},
                   {"3", "a", "NULL", "NULL"}}));

  // The same again leaves the same figures (the derived rows are made afresh each run).
  c->Execute("update Lines set FQty = FQty * 2 where FItemID = 1 and FBatchNo = 'b'");
  c->Execute(
      "update w set w.FTotal = g.FQty from #Work w inner join "
      "(select FItemID, FBatchNo, max(FDate) as FDate, sum(FQty) as FQty from Lines "
      "group by FItemID, FBatchNo) g on w.FItemID = g.FItemID and w.FBatchNo = g.FBatchNo");
  EXPECT_EQ(Rows(*c, "select FTotal from #Work where FBatchNo = 'b'"), (Table{{"8.00"}}));

  // Into a new table, with the text's greatest value taken without regard to case.
  c->Execute(
      "select g.FItemID, g.Biggest, i.n into #Summary from (select FItemID, max(FBatchNo) as "
      "Biggest from Lines group by FItemID) g inner join (select 1 as FItemID, 10 as n union all "
      "select 2, 20) i on i.FItemID = g.FItemID");
  EXPECT_EQ(Rows(*c, "select FItemID, upper(Biggest), n from #Summary order by FItemID"),
            (Table{{"1", "B", "10"}, {"2", "A", "20"}}));

  // A derived table inside a subquery that reads the outer row: one answer per outer row.
  EXPECT_EQ(Rows(*c,
                 "select w.FItemID, (select count(*) from (select FBatchNo from Lines l where "
                 "l.FItemID = w.FItemID group by FBatchNo) d) from #Work w where w.FBatchNo = 'a' "
                 "or w.FBatchNo = 'b' order by w.FItemID, w.FBatchNo"),
            (Table{{"1", "2"}, {"1", "2"}, {"3", "0"}}));

  // A failing statement changes nothing, and the next one runs.
  BatchResult failed = c->Execute(
      "update w set w.FTotal = g.FQty / 0 from #Work w inner join "
      "(select FItemID, sum(FQty) as FQty from Lines group by FItemID) g "
      "on w.FItemID = g.FItemID");
  EXPECT_FALSE(failed.ok());
  EXPECT_EQ(Rows(*c, "select FTotal from #Work order by FItemID, FBatchNo"),
            (Table{{"5.00"}, {"8.00"}, {"NULL"}}));
}

}  // namespace
}  // namespace morvesk::engine
