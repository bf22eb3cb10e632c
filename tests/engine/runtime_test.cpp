// The runtime at the public boundary: databases and connections, host transactions,
// persistence of T-SQL types, procedure calls from the host, bulk loads, and the
// statement cache's and automatic indexes' effect on the work a loop does.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "engine/engine.h"
#include "engine/exec/company_vfs.h"
#include "engine/exec/connection_internal.h"
#include "tests/engine/scalar.h"

namespace morvesk::engine {
namespace {

std::filesystem::path TempFile(const std::string& name) {
  auto p = std::filesystem::temp_directory_path() /
           ("morvesk_runtime_" + name + "_" + std::to_string(::getpid()));
  std::filesystem::remove(p);
  std::filesystem::remove(p.string() + "-wal");
  std::filesystem::remove(p.string() + "-shm");
  return p;
}

using test::Scalar;
using test::Rows;

TEST(RuntimeTransactions, HostRollbackUndoesRowsTablesAndTempTables) {
  auto db = Database::Open(":memory:");
  auto c = db->Connect();
  c->Execute("set nocount on create table kept (a int) insert into kept select 1");

  c->BeginTransaction();
  EXPECT_TRUE(c->InTransaction());
  c->Execute(
      "set nocount on insert into kept select 2 create table made (a int) create table #tmp (a "
      "int) "
      "insert into #tmp select 3");
  EXPECT_EQ(Scalar(*c, "select count(*) from kept").as_int(), 2);
  c->Rollback();
  EXPECT_FALSE(c->InTransaction());

  EXPECT_EQ(Scalar(*c, "select count(*) from kept").as_int(), 1);
  EXPECT_TRUE(Scalar(*c, "select object_id('made')").is_null());
  EXPECT_TRUE(Scalar(*c, "select object_id('tempdb..#tmp')").is_null());
  // The names are free again: creating them works after the rollback.
  c->Execute("create table made (a int) create table #tmp (a int)");

  c->BeginTransaction();
  c->Execute("set nocount on insert into kept select 5");
  c->Commit();
  auto other = db->Connect();
  EXPECT_EQ(Scalar(*other, "select count(*) from kept").as_int(), 2);
  EXPECT_THROW(c->Commit(), SqlError);
}

TEST(RuntimeTransactions, ReaderOfAMemoryDatabaseIsNotStoppedByAnOpenWriter) {
  auto db = Database::Open(":memory:");
  auto writer = db->Connect();
  auto reader = db->Connect();
  writer->Execute("create table shared_t (a int) insert into shared_t select 1");
  writer->BeginTransaction();
  writer->Execute("insert into shared_t select 2");
  EXPECT_NO_THROW(reader->Execute("select count(*) from shared_t"));
  writer->Rollback();
  EXPECT_EQ(Scalar(*reader, "select count(*) from shared_t").as_int(), 1);
  writer->BeginTransaction();
  writer->Execute("insert into shared_t select 3");
  writer->Commit();
  EXPECT_EQ(Scalar(*reader, "select count(*) from shared_t").as_int(), 2);
  auto other = Database::Open(":memory:");
  EXPECT_TRUE(Scalar(*other->Connect(), "select object_id('shared_t')").is_null());
}

TEST(RuntimeTransactions, ConversionErrorRollsBackTheHostTransaction) {
  auto db = Database::Open(":memory:");
  auto c = db->Connect();
  c->Execute("create table t (a int)");
  c->BeginTransaction();
  c->Execute("insert into t select 1");
  try {
    c->Execute("select convert(int, 'x')");
    FAIL() << "conversion error expected";
  } catch (const SqlError& e) {
    EXPECT_EQ(e.number, 245);
  }
  EXPECT_FALSE(c->InTransaction());
  EXPECT_EQ(Scalar(*c, "select count(*) from t").as_int(), 0);
}

TEST(RuntimePersistence, ReopenedFileKnowsTypesViewsAndProcedures) {
  auto path = TempFile("reopen");
  {
    auto db = Database::Open(path.string());
    auto c = db->Connect();
    c->Execute(
        "create table stock (id int identity(1,1) not null, qty decimal(28,10) not null default 0, "
        "name varchar(5), d datetime, constraint PK_stock primary key (name))");
    c->Execute("insert into stock (qty, name, d) select 1.5, 'ab', '20240131'");
    c->Execute("create view vstock as select name, qty * 2 as dbl from stock");
    c->Execute(
        "create procedure NextQty @add decimal(10,2), @out decimal(28,10) output as "
        "select @out = max(qty) + @add from stock");
  }
  auto db = Database::Open(path.string(), true);
  auto c = db->Connect();
  BatchResult r = c->Execute("select id, qty, name, d from stock");
  ASSERT_EQ(r.ResultSets().size(), 1u);
  const Result& rows = *r.ResultSets()[0];
  EXPECT_EQ(rows.columns[1].type, TypeInfo::Decimal(28, 10));
  EXPECT_EQ(rows.columns[2].type.kind, TypeKind::kVarChar);
  EXPECT_EQ(rows.rows[0][1].ToString(), "1.5000000000");
  EXPECT_EQ(rows.rows[0][3].ToString(), "2024-01-31 00:00:00.000");

  EXPECT_EQ(Scalar(*c, "select dbl from vstock").ToString(), "3.0000000000");
  // The identity goes on and the key still holds after reopening.
  c->Execute("insert into stock (name) select 'cd'");
  EXPECT_EQ(Scalar(*c, "select max(id) from stock").as_int(), 2);
  EXPECT_EQ(Scalar(*c, "select qty from stock where name = 'CD'").ToString(), "0.0000000000");
  BatchResult dup = c->Execute("insert into stock (name) select 'AB'");
  ASSERT_EQ(dup.errors.size(), 1u);
  EXPECT_EQ(dup.errors[0].number, 2627);
  std::vector<ProcParam> params(2);
  params[0].type = TypeInfo::Decimal(10, 2);
  params[0].value = Value::Dec(*Decimal::Parse("0.25"), 10);
  params[1].type = TypeInfo::Decimal(28, 10);
  params[1].output = true;
  c->CallProcedure("NextQty", params);
  EXPECT_EQ(params[1].value.ToString(), "1.7500000000");

  EXPECT_THROW(Database::Open((path.string() + ".missing"), true), SqlError);
}

// A view keeps the SQLite text an engine translated it to. Opening the file translates
// its views again, so that one written otherwise (by another build, or left over from a
// table made again) is read as its T-SQL says; a view that no longer binds stays as it
// was and says why when read; a file another connection is writing is not waited for.
TEST(RuntimePersistence, ReopenedFileTranslatesItsViewsAgain) {
  auto path = TempFile("views");
  exec::RegisterCompanyVfs();
  // Runs `sql` on the file as stock SQLite sees it; the first column of its last row.
  auto raw = [&](const char* sql) {
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open_v2(path.string().c_str(), &db, SQLITE_OPEN_READWRITE, exec::kCompanyVfs),
              SQLITE_OK);
    sqlite3_stmt* st = nullptr;
    std::string last;
    for (const char* rest = sql; *rest;) {
      EXPECT_EQ(sqlite3_prepare_v2(db, rest, -1, &st, &rest), SQLITE_OK);
      while (sqlite3_step(st) == SQLITE_ROW)
        last = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
      sqlite3_finalize(st);
    }
    sqlite3_close_v2(db);
    return last;
  };
  {
    auto db = Database::Open(path.string());
    auto c = db->Connect();
    c->Execute("create table t (a decimal(10,2)) insert into t select 1.5");
    c->Execute("create view v as select a + 1 as b from t");
    c->Execute("create view w as select b * 2 as c from v");
    c->Execute("create table gone (x int)");
    c->Execute("create view vg as select x from gone");
    c->Execute("drop table gone");
  }
  const std::string translated = raw("SELECT sql FROM sqlite_schema WHERE name = 'v'");
  raw("DROP VIEW v; CREATE VIEW v(b) AS SELECT 0 FROM t");

  auto db = Database::Open(path.string(), true);
  auto c = db->Connect();
  EXPECT_EQ(Scalar(*c, "select b from v").ToString(), "2.50");
  EXPECT_EQ(Scalar(*c, "select c from w").ToString(), "5.00");
  EXPECT_EQ(raw("SELECT sql FROM sqlite_schema WHERE name = 'v'"), translated);
  try {
    c->Execute("select x from vg");
    ADD_FAILURE() << "a view over a dropped table was read";
  } catch (const SqlError& e) {
    EXPECT_EQ(e.number, 208);
  }

  // While another connection writes the file, a new one opens at once and reads the view
  // as it is stored; the first connection that finds the file free writes it anew.
  raw("DROP VIEW v; CREATE VIEW v(b) AS SELECT 0 FROM t");
  c->BeginTransaction();
  c->Execute("insert into t select 2");
  const auto start = std::chrono::steady_clock::now();
  {
    auto busy = Database::Open(path.string(), true);
    auto reader = busy->Connect();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(Scalar(*reader, "select b from v").ToString(), "0.00");
  }
  c->Commit();
  auto later = Database::Open(path.string(), true);
  EXPECT_EQ(Scalar(*later->Connect(), "select sum(b) from v").ToString(), "5.50");
}

// What is not a company file is refused by name and left as it was: SQLite would take an
// empty file for a new database and write into it.
TEST(RuntimeFiles, AnEmptyFileOrADirectoryIsNoCompanyDatabase) {
  const auto dir = std::filesystem::temp_directory_path() / "morvesk-runtime-not-a-company";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const auto empty = dir / "empty.db";
  std::ofstream(empty).close();
  auto message = [](const std::filesystem::path& p) {
    try {
      Database::Open(p.string(), true);
    } catch (const SqlError& e) {
      EXPECT_EQ(e.number, 4060);
      return e.message;
    }
    return std::string("opened");
  };
  EXPECT_NE(message(empty).find("the file is empty, not a company database"), std::string::npos);
  EXPECT_EQ(std::filesystem::file_size(empty), 0u);
  EXPECT_NE(message(dir).find("it is a directory"), std::string::npos);
  EXPECT_NE(message(dir / "missing.db").find("the file does not exist"), std::string::npos);
  std::filesystem::remove_all(dir);
}

// A client's filter of many terms is one flat chain, however long: no depth in the engine
// or in SQLite's parser grows with it.
TEST(RuntimeLimits, LongChainsOfOrAndAndRun) {
  auto db = Database::Open(":memory:");
  auto c = db->Connect();
  c->Execute("set nocount on create table #n (FItemID int) insert into #n select 1 union all "
             "select 2 union all select 3 union all select 50000");
  std::string any = "select count(*) from #n where FItemID = 0";
  std::string all = "select count(*) from #n where FItemID > 0";
  for (int i = 1; i <= 5000; ++i) {
    any += " or FItemID = " + std::to_string(i * 10);
    all += " and FItemID <> " + std::to_string(-i);
  }
  EXPECT_EQ(Scalar(*c, any).as_int(), 1);  // of the rows only 50000 is a multiple of ten
  EXPECT_EQ(Scalar(*c, all).as_int(), 4);
  EXPECT_EQ(Scalar(*c, "select count(*) from #n where (FItemID = 1 or FItemID = 2) and "
                       "not (FItemID = 2 or FItemID = 3 or FItemID = 4)")
                .as_int(),
            1);
}

// Two units of work on one company file: the second, which reads before it writes as the
// operations do, waits for the first to commit instead of failing at its first write.
TEST(RuntimeTransactions, AUnitOfWorkWaitsForAnotherToCommit) {
  const auto path = std::filesystem::temp_directory_path() / "morvesk-runtime-two-units.db";
  std::filesystem::remove(path);
  auto db = Database::Open(path.string());
  auto first = db->Connect();
  auto second = db->Connect();
  first->Execute("create table t (n int)");
  first->BeginTransaction();
  first->Execute("insert into t select 1");
  std::string failure;
  std::thread other([&] {
    try {
      second->BeginTransaction();
      BatchResult seen = second->Execute("select count(*) from t");
      second->Execute("insert into t select 2");
      second->Commit();
      if (seen.ResultSets()[0]->rows[0][0].as_int() != 1) failure = "read before the commit";
    } catch (const SqlError& e) {
      failure = e.message;
    }
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  first->Commit();
  other.join();
  EXPECT_EQ(failure, "");
  EXPECT_EQ(Scalar(*first, "select sum(n) from t").as_int(), 3);
  first.reset();
  second.reset();
  db.reset();
  std::filesystem::remove(path);
}

TEST(RuntimeProcedures, HostCallBindsByPositionConvertsAndReturnsStatus) {
  auto db = Database::Open(":memory:");
  auto c = db->Connect();
  c->Execute(
      "create procedure sp_cost @StockID int output, @ItemID int, @IsBill bit, @Decimal smallint, "
      "@LastCost float output as begin "
      "if @ItemID < 0 begin set @StockID = -1 return 3 end "
      "set @LastCost = @ItemID / 4.0 set @StockID = @StockID + @Decimal + @IsBill end");
  std::vector<ProcParam> p(5);
  p[0] = {"", TypeInfo::Of(TypeKind::kInt), true, Value::Int(10)};
  p[1] = {"", TypeInfo::Of(TypeKind::kInt), false, Value::Int(3)};
  p[2] = {"", TypeInfo::Of(TypeKind::kBit), false, Value::Int(7)};
  p[3] = {"", TypeInfo::Of(TypeKind::kSmallInt), false, Value::Int(2)};
  p[4] = {"", TypeInfo::Of(TypeKind::kFloat), true, Value::Float(0)};
  BatchResult r = c->CallProcedure("sp_cost", p);
  EXPECT_EQ(r.return_status, 0);
  EXPECT_EQ(p[0].value.as_int(), 13);  // 10 + 2 + bit 1
  EXPECT_DOUBLE_EQ(p[4].value.as_double(), 0.75);

  p[0].value = Value::Int(10);
  p[1].value = Value::Int(-1);
  r = c->CallProcedure("sp_cost", p);
  EXPECT_EQ(r.return_status, 3);
  EXPECT_EQ(p[0].value.as_int(), -1);

  std::vector<ProcParam> none;
  try {
    c->CallProcedure("missing_proc", none);
    FAIL() << "missing procedure";
  } catch (const SqlError& e) {
    EXPECT_EQ(e.number, 2812);
  }
}

TEST(RuntimeBulk, BulkInsertConvertsValuesAndIsAllOrNothing) {
  auto db = Database::Open(":memory:");
  auto c = db->Connect();
  c->Execute("create table b (k int not null, amt decimal(18,2), d datetime, s varchar(10))");
  c->BulkInsert("b", {"k", "amt", "d", "s"},
                {{Value::Int(1), Value::Dec(*Decimal::Parse("1.005")), Value::Text("20240105"),
                  Value::Text("x")},
                 {Value::Int(2), Value::Int(7), Value::Null(), Value::Null()}});
  EXPECT_EQ(Scalar(*c, "select sum(amt) from b").ToString(), "8.01");
  EXPECT_EQ(Scalar(*c, "select d from b where k = 1").ToString(), "2024-01-05 00:00:00.000");
  try {
    c->BulkInsert("b", {"k", "amt"},
                  {{Value::Int(3), Value::Int(1)}, {Value::Null(), Value::Int(1)}});
    FAIL() << "null into a not null column";
  } catch (const SqlError& e) {
    EXPECT_EQ(e.number, 515);
    EXPECT_TRUE(e.IsConstraintViolation());
  }
  EXPECT_EQ(Scalar(*c, "select count(*) from b").as_int(), 2);
}

TEST(RuntimeCache, LoopOfBatchesWithDifferentLiteralsParsesAndPreparesOnce) {
  auto db = Database::Open(":memory:");
  auto c = db->Connect();
  c->Execute(
      "set nocount on create table #t (FStockID int, FItemID int, FQty decimal(28,10), FAmount "
      "decimal(28,2))");
  for (int i = 0; i < 50; ++i) {
    c->Execute("insert into #t select " + std::to_string(i % 5) + ", " + std::to_string(i) +
               ", 2, 10");
  }
  const auto& stats = exec::StatsOf(*c);
  auto parses = stats.parses;
  auto prepares = stats.prepares;
  auto translations = stats.translations;
  for (int i = 0; i < 50; ++i) {
    std::string s = std::to_string(i % 5), item = std::to_string(i),
                amt = std::to_string(100 + i) + ".25";
    c->Execute(
        "declare @a decimal(28,10), @b decimal(28,10) select @a = sum(FQty), @b = sum(FAmount) "
        "from #t "
        "where FStockID = " +
        s + " and FItemID = " + item + " if @a <> 0 update #t set FAmount = FAmount + round(" +
        amt +
        "/@a * 100, 2) "
        "where FStockID = " +
        s + " and FItemID = " + item);
  }
  // The batch is parsed and prepared once per digit count of its integers (items 0-9
  // and 10-49: an integer's digits type it where it meets a decimal); the rest reuse it.
  EXPECT_EQ(stats.parses - parses, 2u);
  EXPECT_LE(stats.translations - translations, 8u);
  EXPECT_LE(stats.prepares - prepares, 8u);
  EXPECT_EQ(stats.auto_indexes, 1u);
  // Every batch did its own work: 100.25 / 2 * 100 rounded, added to 10.
  EXPECT_EQ(Scalar(*c, "select FAmount from #t where FItemID = 0").ToString(), "5022.50");
  EXPECT_EQ(Scalar(*c, "select FAmount from #t where FItemID = 49").ToString(), "7472.50");

  // A WHILE body runs from the plans made on its first pass.
  prepares = stats.prepares;
  BatchResult r = c->Execute(
      "declare @i int set @i = 0 while @i < 200 begin update #t set FQty = FQty + 1 where FItemID "
      "= @i "
      "set @i = @i + 1 end select sum(FQty) from #t");
  EXPECT_LE(stats.prepares - prepares, 5u);
  EXPECT_EQ(r.ResultSets().back()->rows[0][0].ToString(), "150.0000000000");
}

TEST(RuntimeCache, LoopThatMakesAndDropsAWorkingTableReusesIt) {
  auto db = Database::Open(":memory:");
  auto c = db->Connect();
  c->Execute("set nocount on create table #t (FItemID int, FQty decimal(28,10))");
  for (int i = 0; i < 40; ++i) {
    c->Execute("insert into #t select " + std::to_string(i % 20) + ", 1");
  }
  const auto& stats = exec::StatsOf(*c);
  const auto reuses = stats.temp_reuses;
  for (int i = 0; i < 20; ++i) {
    c->Execute("set nocount on select FItemID, sum(FQty) as q into #tot from #t where FItemID = " +
               std::to_string(i) +
               " group by FItemID update t set FQty = t.FQty + tot.q from #t t, #tot tot where "
               "t.FItemID = tot.FItemID drop table #tot");
  }
  // Every pass after the first made #tot again from the one the pass before dropped.
  EXPECT_EQ(stats.temp_reuses - reuses, 19u);
  // Each pass saw only its own item: 1 + 2 per row.
  EXPECT_EQ(Scalar(*c, "select sum(FQty) from #t").ToString(), "120.0000000000");
  EXPECT_TRUE(Scalar(*c, "select object_id('tempdb..#tot')").is_null());
}

TEST(RuntimeGrouping, FoldedGroupsMatchSqliteGroupsOnManyRows) {
  auto db = Database::Open(":memory:");
  auto c = db->Connect();
  c->Execute("set nocount on create table #r (s int, b varchar(12), q decimal(28,10), "
             "a decimal(18,2), n int, d datetime)");
  // Keys that differ only in case or trailing blanks (which of their spellings a group
  // shows is not defined), NULLs among keys and values.
  std::string batch = "set nocount on ";
  const char* spellings[] = {"'Lot'", "'LOT '", "'lot  '", "NULL", "'x'"};
  for (int i = 0; i < 3000; ++i) {
    batch += "insert into #r select " + std::to_string(i % 7) + ", " + spellings[i % 5] + ", " +
             std::to_string(i % 11) + ".125, " + (i % 13 ? std::to_string(i % 97) + ".5" : "NULL") +
             ", " + (i % 3 ? std::to_string(i) : "NULL") + ", dateadd(day, " +
             std::to_string(i % 40) + ", '20240101') ";
  }
  c->Execute(batch);
  const std::string items =
      "s, upper(rtrim(b)) as b, count(*) as c, count(n) as cn, sum(n) as sn, sum(q) as sq, sum(a) as sa, "
      "min(a) as lo, max(b) as hi, max(d) as last from #r group by s, b";
  const auto& stats = exec::StatsOf(*c);
  const auto before = stats.groupings;
  // Ordered by an expression, the query is grouped by SQLite; read whole, by the runtime.
  std::string by_sqlite = Rows(*c, "select " + items + " order by s + 0, upper(rtrim(b))");
  EXPECT_EQ(stats.groupings, before);
  std::string by_runtime = Rows(*c, "select * from (select " + items + ") g order by s + 0, b");
  EXPECT_EQ(stats.groupings, before + 1);
  EXPECT_EQ(by_runtime, by_sqlite);
  EXPECT_EQ(std::count(by_sqlite.begin(), by_sqlite.end(), '\n'), 7 * 3);
  // Two thousand and one groups: the runtime's table of groups grows on the way.
  const std::string per_n = "n, count(*) as c, sum(a) as sa, min(b) as lo from #r group by n";
  by_sqlite = Rows(*c, "select " + per_n + " order by n + 0");
  by_runtime = Rows(*c, "select * from (select " + per_n + ") g order by n + 0");
  EXPECT_EQ(by_runtime, by_sqlite);
  EXPECT_EQ(std::count(by_sqlite.begin(), by_sqlite.end(), '\n'), 2001);
}

TEST(RuntimeCache, RepeatedTextWithOtherLiteralKindsAndLengthsStaysCorrect) {
  auto db = Database::Open(":memory:");
  auto c = db->Connect();
  c->Execute("set nocount on create table #b (no varchar(20), q decimal(10,2))");
  // The same text around literals whose kinds, precisions and lengths change.
  const char* values[][2] = {{"'B1'", "5"}, {"'B12345'", "5.5"}, {"'it''s'", "12.25"},
                             {"'B1'", "7"}, {"N'x'", "1E1"},     {"'B1'", "-3"}};
  for (auto& v : values) {
    c->Execute(std::string("insert into #b select ") + v[0] + ", " + v[1]);
  }
  BatchResult r = c->Execute("select no, sum(q) from #b group by no order by no");
  const auto& rows = r.ResultSets()[0]->rows;
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0][0].as_text(), "B1");
  EXPECT_EQ(rows[0][1].ToString(), "9.00");
  EXPECT_EQ(rows[1][0].as_text(), "B12345");
  EXPECT_EQ(rows[1][1].ToString(), "5.50");
  EXPECT_EQ(rows[2][0].as_text(), "it's");
  EXPECT_EQ(rows[2][1].ToString(), "12.25");
  EXPECT_EQ(rows[3][1].ToString(), "10.00");
  // A literal glued to a keyword and a text that only looks like the loop's.
  c->Execute("set nocount on declare @n int select @n = 42 if @n = 42 print 'x'");
  BatchResult p = c->Execute("set nocount on declare @n int select @n = 43 if @n = 42 print 'x'");
  EXPECT_TRUE(p.results.empty());
  EXPECT_THROW(c->Execute("set nocount on declare @n int select @n = 4e if @n = 42 print 'x'"),
               SqlError);
}

TEST(RuntimeCache, ConstantWithMoreDigitsThanTheCachedOneIsTypedForItsOwnDigits) {
  auto db = Database::Open(":memory:");
  auto c = db->Connect();
  c->Execute("set nocount on create table #x (a decimal(28,2)) insert into #x select 10");
  const char* totals[] = {"50", "100", "-30", "-300", "1000", "7"};
  const char* expected[] = {"35.00", "210.00", "-105.00", "1470.00", "74970.00", "101209.50"};
  for (size_t i = 0; i < 6; ++i) {
    BatchResult r =
        c->Execute(std::string("set nocount on declare @Amount decimal(28,10) select @Amount = 20 "
                               "update #x set a = a + round(((") +
                   totals[i] + ") * (a) / (@Amount)), 2) where @Amount <> 0 select a from #x");
    ASSERT_TRUE(r.errors.empty()) << totals[i] << ": " << r.errors[0].message;
    EXPECT_EQ(r.ResultSets()[0]->rows[0][0].ToString(), expected[i]) << totals[i];
  }
}

}  // namespace
}  // namespace morvesk::engine
