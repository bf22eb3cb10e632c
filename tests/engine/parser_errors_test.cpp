// Syntax errors and rejected constructs: the server's numbers and texts, with the
// position of the offending token, and nothing half-parsed handed back.
#include <gtest/gtest.h>

#include "engine/error.h"
#include "engine/sql/parser.h"

namespace morvesk::engine::sql {
namespace {

SqlError ParseError(std::string_view text) {
  try {
    Batch b = ParseBatch(text);
    ADD_FAILURE() << "parsed " << b.statements.size() << " statements without error: " << text;
  } catch (const SqlError& e) {
    return e;
  }
  return SqlError(0, 0, "");
}

TEST(ParserErrors, MissingSplicedValuesFailTheWholeBatch) {
  // A NULL value spliced as nothing: the batch must fail before anything runs.
  SqlError e = ParseError(
      "Update t_Stock Set FStockGroupID=3 WHERE FItemID=4\r\n"
      "Update t_Stock Set FStockGroupID= WHERE FItemID=5");
  EXPECT_EQ(e.number, 156);
  EXPECT_EQ(e.severity, 15);
  EXPECT_EQ(e.message, "Incorrect syntax near the keyword 'WHERE'.");
  EXPECT_EQ(e.line, 2);
  EXPECT_EQ(e.column, 35);

  SqlError p = ParseError(
      "   update oi set oi.FDebit = oi.FDebit + round(((\r\n) * (duai.FAmount) / (@Amount)),2)");
  EXPECT_EQ(p.number, 102);
  EXPECT_EQ(p.message, "Incorrect syntax near ')'.");
  EXPECT_EQ(p.line, 2);
  EXPECT_EQ(p.column, 1);

  // At the end of the batch the error names the last token.
  SqlError end = ParseError("select * from");
  EXPECT_EQ(end.number, 156);
  EXPECT_EQ(end.message, "Incorrect syntax near the keyword 'from'.");
  SqlError str = ParseError("select 'a' 'b' 'c'");
  EXPECT_EQ(str.message, "Incorrect syntax near 'c'.");
}

TEST(ParserErrors, MalformedStatements) {
  struct Case {
    const char* sql;
    int number;
    const char* near;
  };
  const Case cases[] = {
      {"select 1 +", 102, "Incorrect syntax near '+'."},
      {"select (1 + 2", 102, "Incorrect syntax near '2'."},
      {"begin end", 156, "Incorrect syntax near the keyword 'end'."},
      {"begin select 1", 102, "Incorrect syntax near '1'."},
      {"if 1=1", 102, "Incorrect syntax near '1'."},
      {"select * from (select 1) where 1=1", 156, "Incorrect syntax near the keyword 'where'."},
      {"select a from t where", 156, "Incorrect syntax near the keyword 'where'."},
      {"create table #t (a int,, b int)", 102, "Incorrect syntax near ','."},
      {"insert into t", 102, "Incorrect syntax near 't'."},
      {"update t x = 1", 102, "Incorrect syntax near 'x'."},
      {"select case when 1=1 then 1", 102, "Incorrect syntax near '1'."},
      {"select x from t order by", 156, "Incorrect syntax near the keyword 'by'."},
      {"select 1 end", 156, "Incorrect syntax near the keyword 'end'."},
      {"select 1 else select 2", 156, "Incorrect syntax near the keyword 'else'."},
      {"select 1 x y", 102, "Incorrect syntax near 'y'."},
      {"select @", 102, "Incorrect syntax near '@'."},
  };
  for (const Case& c : cases) {
    SqlError e = ParseError(c.sql);
    EXPECT_EQ(e.number, c.number) << c.sql;
    EXPECT_EQ(e.message, c.near) << c.sql;
    EXPECT_EQ(e.severity, 15) << c.sql;
  }
  SqlError type = ParseError("declare @a number(5)");
  EXPECT_EQ(type.number, 2715);
  EXPECT_EQ(type.message, "Cannot find data type number(5).");
}

TEST(ParserErrors, UnsupportedConstructsAreNamed) {
  struct Case {
    const char* sql;
    const char* construct;
  };
  const Case cases[] = {
      {"declare c cursor for select 1", "Cursors"},
      {"open c", "Cursors"},
      {"select 1 fetch next from c", "Cursors"},
      {"merge t using s on 1=1 when matched then delete;", "MERGE"},
      {"with c as (select 1 a union all select a + 1 from c) select * from c",
       "Recursive common table expressions"},
      {"insert into #t exec sp_who", "INSERT ... EXEC"},
      {"exec('select 1')", "Dynamic SQL"},
      {"exec sp_executesql N'select 1'", "Dynamic SQL"},
      {"declare @t table (a int)", "Table variables"},
      {"select 1 goto done", "GOTO"},
      {"select a from t cross apply f(t.a)", "APPLY"},
      {"select sum(a) over (order by a rows unbounded preceding) from t", "Window frames"},
      {"select a from t union select a from u intersect select a from v", "INTERSECT after"},
      {"create function f() returns int as begin return 1 end", "CREATE function"},
      {"create table t (a int check (a > 0))", "CHECK constraints"},
      {"update t set a = 1 output inserted.a", "OUTPUT clause"},
  };
  for (const Case& c : cases) {
    SqlError e = ParseError(c.sql);
    EXPECT_EQ(e.number, ast::kNotSupportedError) << c.sql;
    EXPECT_NE(e.message.find(c.construct), std::string::npos) << c.sql << " -> " << e.message;
    EXPECT_NE(e.message.find("not supported"), std::string::npos) << c.sql;
    EXPECT_GT(e.line, 0) << c.sql;
  }
  SqlError later = ParseError("select 1\r\n\r\n  select a from t tablesample (10 percent)");
  EXPECT_EQ(later.line, 3);
  EXPECT_EQ(later.column, 19);
}

}  // namespace
}  // namespace morvesk::engine::sql
