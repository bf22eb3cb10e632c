// The SQLite side of T-SQL semantics: the collation and the functions that
// translated statements call. The translator emits these names; the runtime
// registers them on every SQLite connection it opens.
//
// Storage forms (what a column or a parameter holds in SQLite):
//   bit, tinyint, smallint, int, bigint  INTEGER
//   decimal, numeric, money             BLOB  EncodeKey(Decimal): memcmp order = numeric order
//   real, float                         REAL
//   datetime, smalldatetime             INTEGER milliseconds since 1900-01-01 (DateTime::ms)
//   char, varchar, nchar, nvarchar, text TEXT (UTF-8), columns declared COLLATE TSQL
//   any type                            NULL for NULL
//
// Functions (arguments and results in storage form; NULL in -> NULL out unless said):
//   t_dec(x)                 int/real/text/blob -> decimal blob at its natural scale (text: error 8114)
//   t_dscale(x, p, s)        decimal blob rounded half away from zero to scale s; error 8115
//                            (arithmetic overflow) when it does not fit decimal(p,s)
//   t_dadd(a,b,p,s) t_dsub(a,b,p,s) t_dmul(a,b,p,s)   exact, result rescaled to (p,s) as above
//   t_ddiv(a,b,p,s)          quotient truncated to scale s; b = 0 -> error 8134
//   t_dmod(a,b,p,s)          remainder; b = 0 -> error 8134
//   t_dneg(a) t_dabs(a) t_dsign(a) t_dfloor(a) t_dceiling(a)
//   t_dround(x, n[, f[, p, s]])  ROUND(decimal, n[, f]); scale kept; with the declared type
//                            (p, s) given, 8115 when the rounded value no longer fits it
//   t_fround(x, n, f)        ROUND on float/int values
//   t_idiv(a, b) t_imod(a,b) integer division/remainder truncating toward zero; b = 0 -> 8134
//   t_fdiv(a, b)             float division; b = 0 -> 8134
//   t_fchk(x)                float arithmetic's result; beyond a float's range -> 8115
//   t_dtof(x)                decimal blob -> REAL
//   t_dtoi(x)                decimal blob -> INTEGER truncated toward zero (8115 on overflow)
//   t_mchk(x, p)             x when inside the range of money (p 19) or smallmoney (p 10), else 8115
//   t_dsum(x)  (aggregate)   exact sum of decimal blobs; NULL when no non-NULL input
//   t_davg(x, s) (aggregate) exact average, truncated to scale s (t_davg(x): scale max(own, 6))
//   t_davg_<s>(x) (aggregate) t_davg(x, s) with s in the name: AVG(DISTINCT x) of decimals
//   t_cvt(x, from, to, style)  CAST/CONVERT: `from` and `to` are T-SQL type texts
//                            ("decimal(28,10)", "varchar(30)", "datetime", "float(10)"),
//                            style an integer or NULL. Text->number failures raise 245/8114,
//                            text->datetime 241, overflow 8115. float(10) rounds through single
//                            precision. Type texts are parsed once per statement (aux data).
//                            `from` may be NULL (taken from the storage form); 242 for an
//                            impossible date; CONVERT(datetime, text, 103) reads d/m/y.
//   t_dt(x)                  text -> datetime INTEGER (''-> 1900-01-01, error 241 if bad);
//                            an INTEGER (already a datetime) passes through
//   t_dtfmt(ms, style)       datetime -> text by CONVERT style
//   t_dateadd(part, n, ms)  t_datediff(part, a, b)  t_datepart(part, ms)
//   t_getdate()              current local time as datetime INTEGER
//   t_len(s)                 LEN: characters without trailing blanks
//   t_substring(s, start, n) SUBSTRING with T-SQL's start <= 0 rule
//   t_left(s,n) t_right(s,n) t_charindex(find, s[, start]) t_replace(s, find, repl) (case-insensitive find)
//   t_ltrim(s) t_rtrim(s) t_space(n) t_replicate(s, n) t_upper(s) t_lower(s) t_str(x[, len[, dec]])
//   t_text(x, kind)          any storage value -> its T-SQL text form (decimals with all scale
//                            digits), used where a number or date meets '+' with text
//   t_raise(number, severity, message)  raises that error (used for RAISERROR-like checks)
//   t_fold(program, x1..xn), t_foldp(program, t_pack(...) | t_packs(...))  a long chain of
//                            integer/decimal + - * evaluated left to right (sqlfunc_chain.cpp)
//
// Collation TSQL: case-insensitive (ASCII and Latin-1 letters), trailing blanks
// ignored; the translator appends "COLLATE TSQL" to text comparisons, GROUP BY,
// ORDER BY and DISTINCT on text, and to text columns of created tables.
//
// Errors: a function that fails calls sqlite3_result_error with the message
// "TSQL:<number>:<severity>:<text>", e.g. "TSQL:8134:16:Divide by zero error encountered.";
// the runtime turns it into SqlError with that number (see ParseFunctionError).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "engine/error.h"

struct sqlite3;

namespace morvesk::engine {

// Registers the collation and every function above on a SQLite connection.
void RegisterSqlFunctions(sqlite3* db);

// Builds the error text that a function passes to sqlite3_result_error.
std::string FunctionErrorText(int number, int severity, std::string_view message);
// Recovers the T-SQL error from a SQLite error message made by FunctionErrorText;
// empty when the message is SQLite's own.
std::optional<SqlError> ParseFunctionError(std::string_view sqlite_message);

}  // namespace morvesk::engine
