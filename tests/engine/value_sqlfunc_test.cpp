// The function library and the TSQL collation as translated statements use them:
// SQL run on a raw SQLite connection after RegisterSqlFunctions.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>
#include <vector>

#include "engine/value/decimal.h"
#include "engine/value/sqlfunc.h"

namespace morvesk::engine {
namespace {

class SqlFunctions : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(sqlite3_open(":memory:", &db_), SQLITE_OK);
    RegisterSqlFunctions(db_);
  }
  void TearDown() override { sqlite3_close(db_); }

  void Exec(const std::string& sql) {
    char* err = nullptr;
    ASSERT_EQ(sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &err), SQLITE_OK) << (err ? err : "");
  }

  // All rows, cells joined by '|'; decimal keys shown as their number, NULL as "NULL".
  // A failing statement yields "error <number>: <text>" through ParseFunctionError.
  std::string Query(const std::string& sql) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
      return std::string("prepare: ") + sqlite3_errmsg(db_);
    }
    std::string out;
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
      if (!out.empty()) out += "\n";
      for (int i = 0; i < sqlite3_column_count(st); ++i) {
        if (i) out += "|";
        switch (sqlite3_column_type(st, i)) {
          case SQLITE_NULL: out += "NULL"; break;
          case SQLITE_BLOB: {
            auto d = DecodeKey(std::string_view(static_cast<const char*>(sqlite3_column_blob(st, i)),
                                                static_cast<size_t>(sqlite3_column_bytes(st, i))));
            out += d ? d->ToString() : "<bad key>";
            break;
          }
          default: out += reinterpret_cast<const char*>(sqlite3_column_text(st, i));
        }
      }
    }
    if (rc != SQLITE_DONE) {
      auto e = ParseFunctionError(sqlite3_errmsg(db_));
      out = e ? "error " + std::to_string(e->number) + ": " + e->message
              : std::string("sqlite: ") + sqlite3_errmsg(db_);
    }
    sqlite3_finalize(st);
    return out;
  }

  sqlite3* db_ = nullptr;
};

TEST_F(SqlFunctions, DecimalArithmeticThroughKeys) {
  struct Case {
    const char* sql;
    const char* want;
  } cases[] = {
      {"select t_ddiv(t_dec('2.0'), t_dec(3), 7, 6)", "0.666666"},
      {"select t_ddiv(t_dec('155.00'), 156, 14, 6)", "0.993589"},
      {"select t_dmul(t_dec('0.0000009'), t_dec(1), 38, 6)", "0.000001"},
      {"select t_dadd(t_dec('1.005'), t_dec('2'), 5, 2)", "3.01"},
      {"select t_dsub(t_dec('-1.005'), t_dec('2'), 5, 2)", "-3.01"},
      {"select t_dmod(t_dec('10.5'), 3, 2, 1)", "1.5"},
      {"select t_dscale('10.6496', 18, 0), t_dscale(-10.6496, 18, 0), t_dscale(t_dec('0.125'), 3, 2)", "11|-11|0.13"},
      {"select t_dround(t_dec('-2.345'), 2, 0), t_dround(t_dec('150.75'), 0, 1)", "-2.35|150"},
      {"select t_dneg(t_dec('1.5')), t_dabs(t_dec('-1.5')), t_dsign(t_dec('-0.01'))", "-1.5|1.5|-1"},
      {"select t_dfloor(t_dec('-1.5')), t_dceiling(t_dec('-1.5')), t_dceiling(t_dec('1.01'))", "-2|-1|2"},
      {"select t_fround(748, -1, 0), t_fround(-745, -1, 0), t_fround(2.5e0, 0, 0)", "750|-750|3.0"},
      {"select t_idiv(-7, 2), t_imod(-7, 3), t_imod(7, -3), t_imod(10, -3)", "-3|-1|1|1"},
      {"select t_dtoi(t_dec('-10.6496')), t_dtof(t_dec('0.5'))", "-10|0.5"},
      {"select t_dadd(NULL, t_dec(1), 10, 0) is null, t_ddiv(t_dec(1), NULL, 10, 0) is null", "1|1"},
  };
  for (const auto& c : cases) EXPECT_EQ(Query(c.sql), c.want) << c.sql;
}

TEST_F(SqlFunctions, ErrorsCarryTsqlNumbersAndTexts) {
  struct Case {
    const char* sql;
    const char* want;
  } cases[] = {
      {"select t_ddiv(t_dec(1), t_dec('0.00'), 38, 6)", "error 8134: Divide by zero error encountered."},
      {"select t_dmod(t_dec(1), 0, 38, 6)", "error 8134: Divide by zero error encountered."},
      {"select t_idiv(1, 0)", "error 8134: Divide by zero error encountered."},
      {"select t_fdiv(1.0, 0.0)", "error 8134: Divide by zero error encountered."},
      {"select t_ddiv(t_dec('9999999999999999999999999999999999999'), 3, 38, 6)",
       "error 8115: Arithmetic overflow error converting expression to data type numeric."},
      {"select t_cvt(t_dec('123.45'), 'decimal(5,2)', 'decimal(4,2)', NULL)",
       "error 8115: Arithmetic overflow error converting numeric to data type numeric."},
      {"select t_cvt(100000, 'int', 'decimal(5,0)', NULL)",
       "error 8115: Arithmetic overflow error converting int to data type numeric."},
      {"select t_cvt(t_dec('123.45'), 'decimal(5,2)', 'varchar(3)', NULL)",
       "error 8115: Arithmetic overflow error converting numeric to data type varchar."},
      {"select t_dround(t_dec('748.58'), -3, 0, 5, 2)",
       "error 8115: Arithmetic overflow error converting expression to data type numeric."},
      {"select t_cvt('abc', 'varchar(3)', 'int', NULL)",
       "error 245: Conversion failed when converting the varchar value 'abc' to data type int."},
      {"select t_cvt('1.5', 'varchar(3)', 'int', NULL)",
       "error 245: Conversion failed when converting the varchar value '1.5' to data type int."},
      {"select t_cvt('x', 'varchar(1)', 'bigint', NULL)", "error 8114: Error converting data type varchar to bigint."},
      {"select t_dec('abc')", "error 8114: Error converting data type varchar to numeric."},
      {"select t_cvt('', 'varchar(1)', 'decimal(10,2)', NULL)", "error 8114: Error converting data type varchar to numeric."},
      {"select t_dt('X')", "error 241: Conversion failed when converting date and/or time from character string."},
      {"select t_cvt('2/30/2024', 'varchar(10)', 'datetime', NULL)",
       "error 242: The conversion of a varchar data type to a datetime data type resulted in an out-of-range value."},
      {"select t_cvt(300, 'int', 'tinyint', NULL)", "error 220: Arithmetic overflow error for data type tinyint, value = 300."},
      {"select t_cvt(2147483648, 'bigint', 'int', NULL)",
       "error 8115: Arithmetic overflow error converting expression to data type int."},
      {"select t_dtfmt(0, 99)", "error 281: 99 is not a valid style number when converting from datetime to a character string."},
      {"select t_substring('abc', 1, -1)", "error 537: Invalid length parameter passed to the LEFT or SUBSTRING function."},
      {"select t_dateadd('year', 1, t_dt('9999-06-01'))", "error 517: Adding a value to a 'datetime' column caused an overflow."},
      {"select t_raise(50000, 16, 'Stock 7 is closed.')", "error 50000: Stock 7 is closed."},
  };
  for (const auto& c : cases) EXPECT_EQ(Query(c.sql), c.want) << c.sql;

  auto e = ParseFunctionError("TSQL:8115:16:Arithmetic overflow error converting expression to data type int.");
  ASSERT_TRUE(e);
  EXPECT_EQ(e->severity, 16);
  EXPECT_EQ(e->state, 2);
  EXPECT_FALSE(ParseFunctionError("no such table: t"));
  EXPECT_FALSE(ParseFunctionError("TSQL:x:16:y"));
  EXPECT_EQ(FunctionErrorText(8134, 16, "Divide by zero error encountered."),
            "TSQL:8134:16:Divide by zero error encountered.");
}

TEST_F(SqlFunctions, ConversionsBetweenStorageForms) {
  struct Case {
    const char* sql;
    const char* want;
  } cases[] = {
      {"select t_cvt(t_dec('1.5'), 'decimal(10,2)', 'varchar(20)', NULL)", "1.50"},
      {"select t_cvt(t_dec('-0.1'), 'decimal(5,2)', 'varchar(30)', NULL)", "-0.10"},
      {"select t_cvt(123, 'int', 'varchar(2)', NULL), t_cvt(-42, 'int', 'varchar(20)', NULL)", "*|-42"},
      {"select t_cvt(1234567e0, 'float', 'varchar(30)', NULL), t_cvt(123456e0, 'float', 'varchar(30)', NULL)",
       "1.23457e+006|123456"},
      {"select t_cvt(t_dec('1.2345'), 'money', 'varchar(30)', NULL)", "1.23"},
      {"select t_cvt('  12 ', 'varchar(10)', 'int', NULL), t_cvt('', 'varchar(1)', 'int', NULL), "
       "t_cvt('-', 'varchar(1)', 'int', NULL), t_cvt('+ 7', 'varchar(3)', 'int', NULL)",
       "12|0|0|7"},
      {"select t_cvt(t_dec('10.6496'), 'decimal(6,4)', 'int', NULL), t_cvt(t_dec('-10.6496'), 'decimal(6,4)', 'int', NULL)",
       "10|-10"},
      {"select t_cvt(t_dec('2.5'), 'money', 'int', NULL), t_cvt(-2.5, 'float', 'int', NULL)", "3|-2"},
      {"select t_cvt(-2.5, 'float', 'decimal(18,0)', NULL), t_cvt(33.33e0, 'float', 'decimal(10,2)', NULL)", "-3|33.33"},
      {"select t_cvt(2, 'int', 'bit', NULL), t_cvt('true', 'varchar(4)', 'bit', NULL)", "1|1"},
      {"select t_cvt(t_dec('1'), 'decimal(10,0)', 'float(10)', NULL) / t_cvt(t_dec('3'), 'decimal(10,0)', 'float(10)', NULL) "
       "= cast(1 as real) / cast(3 as real)",
       "1"},
      {"select abs(t_cvt(t_dec('0.1'), 'decimal(10,1)', 'real', NULL) - 0.10000000149011612) < 1e-17", "1"},
      {"select t_cvt('31/01/2024', 'varchar(10)', 'datetime', 103) = t_dt('20240131')", "1"},
      {"select t_cvt(t_dt('20240101 18:00'), 'datetime', 'int', NULL), t_cvt(t_dt('20240101'), 'datetime', 'int', NULL)",
       "45291|45290"},
      {"select t_dtfmt(t_cvt(1, 'int', 'datetime', NULL), 121), t_dtfmt(t_cvt(1.25e0, 'float', 'datetime', NULL), 121)",
       "1900-01-02 00:00:00.000|1900-01-02 06:00:00.000"},
      {"select t_cvt(t_dt('2024-01-05 14:07:09.123'), 'datetime', 'varchar(10)', 120)", "2024-01-05"},
      {"select t_cvt(t_dt('2024-01-05 14:07:09'), 'datetime', 'datetime', 120) = t_dt('2024-01-05 14:07:09')", "1"},
      {"select t_cvt('abcdef', 'varchar(6)', 'varchar(3)', NULL), t_cvt('ab', 'varchar(2)', 'char(4)', NULL) || '|'",
       "abc|ab  |"},
      {"select t_text(t_dec('1.5'), 'decimal(28,10)'), t_text(42, 'int'), t_text(t_dt('2024-01-05'), 'datetime')",
       "1.5000000000|42|Jan  5 2024 12:00AM"},
      {"select t_dtfmt(t_dt('2024-01-05 14:07:09.123'), 0), t_dtfmt(t_dt('2024-01-05 14:07:09.123'), 103)",
       "Jan  5 2024  2:07PM|05/01/2024"},
      {"select t_dtfmt(t_dateadd('month', 1, t_dt('20240131')), 23), t_datediff('year', t_dt('2005-12-31 23:59:59.997'), "
       "t_dt('2006-01-01')), t_datepart('weekday', t_dt('2024-01-07'))",
       "2024-02-29|1|1"},
      {"select t_dt('') = 0, t_dt('1900-01-01 00:00:00.000') = 0", "1|1"},
  };
  for (const auto& c : cases) EXPECT_EQ(Query(c.sql), c.want) << c.sql;
  EXPECT_GT(std::stoll(Query("select t_getdate()")), std::stoll(Query("select t_dt('2024-01-01')")));
}

TEST_F(SqlFunctions, StringFunctionsFollowTsqlEdgeCases) {
  struct Case {
    const char* sql;
    const char* want;
  } cases[] = {
      {"select t_len('ab  '), t_len('  ab'), t_len(''), t_len(12345), t_len('中文 ')", "2|4|0|5|2"},
      {"select t_substring('abcdef', 0, 3), t_substring('abcdef', -1, 3), t_substring('abcdef', 9, 2), "
       "t_substring('abcdef', 5, 10), t_substring('00000000000000000', 1, 17 - t_len(123))",
       "ab|a||ef|00000000000000"},
      {"select t_left('abc', 5), t_left('abc', 0), t_right('abcdef', 2), t_right('ab', 9)", "abc||ef|ab"},
      {"select t_charindex('TEST', 'This is a Test'), t_charindex('x', 'abc'), t_charindex('b', 'abcb', 3), "
       "t_charindex('b', 'abc', -5)",
       "11|0|4|2"},
      {"select t_replace('ABC', 'b', 'x'), t_replace('aAa', 'A', ''), t_replace('abc', '', 'z')", "AxC||abc"},
      {"select t_ltrim('  a  ') || '|', t_rtrim('  a  ') || '|', t_rtrim('   ') || '|', t_rtrim('a' || char(9)) = 'a'",
       "a  ||  a||||0"},
      {"select t_space(3) || '|', t_space(-1) is null, t_replicate('ab', 3), t_replicate('ab', -1) is null", "   ||1|ababab|1"},
      {"select t_upper('àbc'), t_lower('ÀBC'), t_upper('straße')", "ÀBC|àbc|STRAßE"},
      {"select t_str(123.45, 6, 1), t_str(123.45, 2, 2), t_str(12), t_str(123.45, 4, 2), t_str(-0.125, 6, 2)",
       " 123.5|**|        12| 123| -0.13"},
      {"select t_substring(NULL, 1, 2) is null, t_charindex(NULL, 'a') is null, t_replace('a', NULL, 'b') is null",
       "1|1|1"},
  };
  for (const auto& c : cases) EXPECT_EQ(Query(c.sql), c.want) << c.sql;
}

TEST_F(SqlFunctions, CollationIgnoresCaseAndTrailingBlanks) {
  EXPECT_EQ(Query("select 'abc' = 'ABC  ' collate TSQL, 'abc' = ' abc' collate TSQL, 'À' = 'à' collate TSQL, "
                  "'e' = 'é' collate TSQL, 'B1 ' = 'b1' collate TSQL, '' = '   ' collate TSQL"),
            "1|0|1|0|1|1");
  EXPECT_EQ(Query("select 'abc' < 'ABD' collate TSQL, 'ab' < 'ab!' collate TSQL, 'ab' > 'ab' || char(9) collate TSQL"),
            "1|1|1");

  Exec("create table k (v text collate TSQL primary key)");
  Exec("insert into k values ('Key')");
  EXPECT_NE(sqlite3_exec(db_, "insert into k values ('KEY  ')", nullptr, nullptr, nullptr), SQLITE_OK);

  Exec("create table g (v text collate TSQL, n int)");
  Exec("insert into g values ('b', 1), ('B ', 2), ('a', 3), ('A', 4), ('c', 5), (NULL, 6)");
  EXPECT_EQ(Query("select lower(trim(v)), sum(n) from g group by v order by v"), "NULL|6\na|7\nb|3\nc|5");
  EXPECT_EQ(Query("select count(distinct v) from g"), "3");
  EXPECT_EQ(Query("select count(*) from g a join g b on a.v = b.v"), "9");
}

TEST_F(SqlFunctions, AggregatesSumAndAverageExactly) {
  Exec("create table t (x blob, grp int)");
  // 0.1 + 0.2 style sums that binary floating point gets wrong, in mixed scales.
  for (int i = 0; i < 1000; ++i) {
    Exec("insert into t values (t_dec('0.1'), 1), (t_dec('0.20'), 1), (t_dec('-0.0003'), 2), (NULL, 2)");
  }
  EXPECT_EQ(Query("select t_dsum(x) from t"), "299.7");
  EXPECT_EQ(Query("select grp, t_dsum(x), count(x) from t group by grp order by grp"), "1|300|2000\n2|-0.3|1000");
  EXPECT_EQ(Query("select t_dsum(x) from t where 1 = 0"), "NULL");
  EXPECT_EQ(Query("select t_dsum(x) from t where x is null"), "NULL");
  EXPECT_EQ(Query("select t_davg(x, 6) from t where grp = 1"), "0.15");
  // AVG truncates at its scale: (1 + 2 + 2) / 3 = 1.666666
  EXPECT_EQ(Query("select t_davg(v, 6) from (select t_dec(1) v union all select t_dec(2) union all select t_dec('2.0'))"),
            "1.666666");
  EXPECT_EQ(Query("select t_dsum(v) from (select t_dec('99999999999999999999999999999999999999') v union all "
                  "select t_dec('1'))"),
            "error 8115: Arithmetic overflow error converting expression to data type numeric.");
  // Keys sort numerically in SQLite itself: ORDER BY and comparisons need no function.
  EXPECT_EQ(Query("select group_concat(t_text(v), ' ') from (select v from (select t_dec('-1.5') v union all "
                  "select t_dec('10') union all select t_dec('9.99') union all select t_dec('-10') union all "
                  "select t_dec(0)) order by v)"),
            "-10 -1.5 0 9.99 10");
  EXPECT_EQ(Query("select t_dec('1.50') = t_dec('1.5'), t_dec('2') > t_dec('10')"), "1|0");
}

}  // namespace
}  // namespace morvesk::engine
