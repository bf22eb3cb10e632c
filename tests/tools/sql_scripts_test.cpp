// `morvesk sql` scripts and machine-readable output: how scripts are read (encodings,
// standard input, variables), how failures steer the run, and that JSON and CSV give back
// exactly what the database holds.
#include <fstream>
#include <string>

#include "tests/tools/tool_fixture.h"

namespace morvesk::test {
namespace {

class SqlScripts : public ToolFixture {
 protected:
  void Write(const std::string& name, const std::string& bytes) {
    std::ofstream(Path(name), std::ios::binary) << bytes;
  }
  Outcome Sql(const std::string& db, const std::string& args, const std::string& input = "") {
    return Run("sql --db '" + db + "' " + args, input);
  }
};

// Big-endian or little-endian UTF-16 of an ASCII-and-BMP text given as code points.
std::string Utf16(const std::u16string& text, bool big_endian) {
  std::string out = big_endian ? "\xFE\xFF" : "\xFF\xFE";
  for (char16_t c : text) {
    const char hi = static_cast<char>(c >> 8), lo = static_cast<char>(c & 0xFF);
    out += big_endian ? std::string{hi, lo} : std::string{lo, hi};
  }
  return out;
}

TEST_F(SqlScripts, ScriptsInUtf8WithAMarkOrUtf16RunAsTheirText) {
  const std::string db = Demo();
  const std::string expected = "t,n\n相同,2\n";
  Write("bom.sql", "\xEF\xBB\xBFselect N'相同' as t, 2 as n\nGO\n");
  Outcome bom = Sql(db, "--format csv -f '" + Path("bom.sql") + "'");
  EXPECT_EQ(bom.exit_code, 0) << bom.err;
  EXPECT_EQ(bom.out, expected);

  const std::u16string text = u"select N'相同' as t,\r\n 2 as n\r\nGO\r\n";
  for (bool big_endian : {false, true}) {
    Write("wide.sql", Utf16(text, big_endian));
    Outcome wide = Sql(db, "--format csv -f '" + Path("wide.sql") + "'");
    EXPECT_EQ(wide.exit_code, 0) << wide.err << " big endian " << big_endian;
    EXPECT_EQ(wide.out, expected) << " big endian " << big_endian;
  }

  // Cut in the middle of a character: refused with its reason, nothing run.
  Write("cut.sql", Utf16(u"select 1", false) + "s");
  Outcome cut = Sql(db, "-f '" + Path("cut.sql") + "'");
  EXPECT_EQ(cut.exit_code, 1);
  EXPECT_NE(cut.err.find("ends in the middle of a character"), std::string::npos) << cut.err;
  EXPECT_EQ(cut.out, "");

  // "-f -" reads standard input, encoded the same way.
  Outcome piped = Sql(db, "--format csv -f -", "\xEF\xBB\xBFselect 3 as n\n");
  EXPECT_EQ(piped.exit_code, 0) << piped.err;
  EXPECT_EQ(piped.out, "n\n3\n");

  Outcome missing = Sql(db, "-f '" + Path("absent.sql") + "'");
  EXPECT_EQ(missing.exit_code, 1);
  EXPECT_NE(missing.err.find("absent.sql: no such file"), std::string::npos) << missing.err;
}

TEST_F(SqlScripts, FailedBatchStopsTheScriptOnlyWithB) {
  const std::string db = Demo();
  Write("steps.sql",
        "select 'one' as step\nGO\n"
        "select 'two' as step\nselect 1/0 as boom\nGO\n"
        "select 'three' as step\nGO\n");
  Outcome on = Sql(db, "--format csv -f '" + Path("steps.sql") + "'");
  EXPECT_EQ(on.exit_code, 1);
  EXPECT_EQ(on.out, "step\none\n\nstep\ntwo\n\nstep\nthree\n");
  EXPECT_NE(on.err.find("Msg 8134"), std::string::npos) << on.err;

  Outcome stop = Sql(db, "--format csv -b -f '" + Path("steps.sql") + "'");
  EXPECT_EQ(stop.exit_code, 1);
  EXPECT_EQ(stop.out, "step\none\n\nstep\ntwo\n");

  // A batch ending in an error it went on after has failed too.
  Outcome raised = Sql(db, "--format csv -b",
                       "raiserror('stop here', 16, 1)\nselect 'same batch' as s\nGO\n"
                       "select 'next batch' as s\n");
  EXPECT_EQ(raised.exit_code, 1);
  EXPECT_EQ(raised.out, "s\nsame batch\n");
  EXPECT_NE(raised.err.find("stop here"), std::string::npos) << raised.err;

  Write("fine.sql", "select 1 as a\nGO\nselect 2 as a\n");
  Outcome fine = Sql(db, "--format csv -b -f '" + Path("fine.sql") + "'");
  EXPECT_EQ(fine.exit_code, 0) << fine.err;
  EXPECT_EQ(fine.out, "a\n1\n\na\n2\n");
}

TEST_F(SqlScripts, VariablesAreReplacedAndAnUndefinedOneRunsNothing) {
  const std::string db = Demo();
  Write("vars.sql",
        "select FNumber from t_Stock where FItemID = $(Stock)\nGO\n"
        "select '$(who)' as who, $(STOCK) + 1 as next\n");
  Outcome o = Sql(db, "--format csv -v Stock=1 -v who=\"a b\" -f '" + Path("vars.sql") + "'");
  EXPECT_EQ(o.exit_code, 0) << o.err;
  const Outcome direct = Sql(db, "--format csv \"select FNumber from t_Stock where FItemID = 1\"");
  EXPECT_EQ(o.out, direct.out + "\nwho,next\na b,2\n");

  Write("create.sql",
        "create table t_FromScript (a int)\nGO\n"
        "select 1 as a\n\nselect $(Missing) as b\n");
  Outcome undefined = Sql(db, "-f '" + Path("create.sql") + "'");
  EXPECT_EQ(undefined.exit_code, 1);
  EXPECT_NE(undefined.err.find("line 5: the variable $(Missing) is not defined"), std::string::npos)
      << undefined.err;
  Outcome probe = Sql(db, "\"select * from t_FromScript\"");
  EXPECT_EQ(probe.exit_code, 1) << "the first batch must not have run";

  EXPECT_EQ(Sql(db, "-v 1x=2 \"select 1\"").exit_code, 2);
  EXPECT_EQ(Sql(db, "-v novalue \"select 1\"").exit_code, 2);
  // Text that only looks like a reference stays as written.
  Outcome literal = Sql(db, "--format csv \"select '\\$(' as a, '\\$(x y)' as b\"");
  EXPECT_EQ(literal.out, "a,b\n$(,$(x y)\n") << literal.err;
}

TEST_F(SqlScripts, JsonKeepsEveryDigitAndEveryColumn) {
  const std::string db = Demo();
  Outcome o = Sql(db, "--format json",
                  "select cast(12345678901234.5678 as decimal(18,4)) as d, "
                  "cast(2.5 as money) as m, 7 as i, cast(0.5 as float) as f, null as z\n");
  EXPECT_EQ(o.exit_code, 0) << o.err;
  EXPECT_EQ(o.out,
            "[\n[\n {\"d\": \"12345678901234.5678\", \"m\": \"2.5000\", \"i\": 7, \"f\": 0.5, "
            "\"z\": null}\n]\n]\n");

  // Repeated names get the first free suffix; names as written keep theirs.
  Outcome dup = Sql(db, "--format json", "select 1 as a, 2 as A, 3 as a_2, 4\n");
  EXPECT_EQ(dup.out, "[\n[\n {\"a\": 1, \"A_3\": 2, \"a_2\": 3, \"column4\": 4}\n]\n]\n");
  Outcome dup_csv = Sql(db, "--format csv", "select 1 as a, 2 as a\n");
  EXPECT_EQ(dup_csv.out, "a,a_2\n1,2\n");

  // A join of two tables with a column of the same name keeps both values.
  Outcome joined = Sql(db, "--format json",
                       "select top 1 s.FItemID, i.FItemID from t_Stock s "
                       "cross join t_ICItem i order by s.FItemID desc, i.FItemID\n");
  EXPECT_NE(joined.out.find("\"FItemID\": "), std::string::npos) << joined.out;
  EXPECT_NE(joined.out.find("\"FItemID_2\": "), std::string::npos) << joined.out;
}

TEST_F(SqlScripts, CsvTellsNullFromTheEmptyText) {
  const std::string db = Demo();
  Outcome o =
      Sql(db, "--format csv", "select '' as e, null as n, 'x' as t, ' ' as blank, 'a,b' as q\n");
  EXPECT_EQ(o.exit_code, 0) << o.err;
  EXPECT_EQ(o.out, "e,n,t,blank,q\n\"\",,x, ,\"a,b\"\n");

  // In one column too: the empty text is "", NULL an empty line.
  Outcome both = Sql(db, "--format csv", "select '' as a union all select null\n");
  EXPECT_EQ(both.out, "a\n\"\"\n\n");
}

// Wide rows read one field a line; names align, NULL and numbers show as in tables.
TEST_F(SqlScripts, VerticalTablesPrintOneLinePerField) {
  const std::string db = Demo();
  Outcome o = Sql(db, "--vertical",
                  "select top 2 FItemID, null as nothing, 'x' as a from t_Stock order by FItemID\n"
                  "select 1 as n where 1 = 0\n");
  EXPECT_EQ(o.exit_code, 0) << o.err;
  const Outcome ids =
      Sql(db, "--format csv \"select top 2 FItemID from t_Stock order by FItemID\"");
  const std::string first = ids.out.substr(8, ids.out.find('\n', 8) - 8);
  const std::string second = ids.out.substr(9 + first.size(), ids.out.size() - 10 - first.size());
  EXPECT_EQ(o.out, "-[ RECORD 1 ]-\nFItemID | " + first + "\nnothing | NULL\na       | x\n" +
                       "-[ RECORD 2 ]-\nFItemID | " + second +
                       "\nnothing | NULL\na       | x\n\n(no rows)\n");
}

// Output leaves as each statement completes: what a batch produced before a statement that
// ends it is printed, ahead of the error.
TEST_F(SqlScripts, ResultsPrintedBeforeTheStatementThatEndsTheBatch) {
  const std::string db = Demo();
  Outcome o = Sql(db, "--format csv",
                  "select 1 as first_set\n"
                  "select 2 as second_set\n"
                  "select convert(int, 'not a number') as never\n"
                  "select 3 as not_reached\n");
  EXPECT_EQ(o.exit_code, 1);
  EXPECT_EQ(o.out, "first_set\n1\n\nsecond_set\n2\n");
  EXPECT_NE(o.err.find("Msg 245"), std::string::npos) << o.err;

  // Many statements in one batch: every result set arrives, in order.
  std::string batch;
  for (int i = 1; i <= 2000; ++i) batch += "select " + std::to_string(i) + " as n\n";
  Outcome many = Sql(db, "--format csv", batch);
  EXPECT_EQ(many.exit_code, 0) << many.err;
  std::string expected;
  for (int i = 1; i <= 2000; ++i) expected += (i > 1 ? "\nn\n" : "n\n") + std::to_string(i) + "\n";
  EXPECT_EQ(many.out, expected);
}

}  // namespace
}  // namespace morvesk::test
