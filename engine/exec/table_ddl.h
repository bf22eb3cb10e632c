// SQLite text for tables as the runtime lays them out: T-SQL type texts as declared
// types, text columns COLLATE TSQL, an IDENTITY column as the AUTOINCREMENT rowid with
// its seed kept in a named CHECK marker, and keys as unique indexes named
// "<table>$<PK|UQ|IX|UX>$<T-SQL name>". SELECT ... INTO uses CreateTableSql so that
// tables it makes look exactly like those of CREATE TABLE.
#pragma once

#include <sqlite3.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/bind/catalog.h"
#include "engine/bind/translate.h"

namespace morvesk::engine::exec {

std::string SchemaOf(bool temp);  // "temp" or "main"

// 2714: the name is taken by another object.
[[noreturn]] void AlreadyExists(const std::string& name);

// The first key of `columns` that rows of `t` repeat, as the server shows it in a duplicate
// key message ("1, abc"); empty when no key repeats.
std::string RepeatedKey(sqlite3* db, const TableInfo& t, const std::vector<std::string>& columns);

std::string IndexSqliteName(const std::string& table, const std::string& kind,
                            const std::string& name);
struct IndexName {
  std::string kind;  // PK, UQ, IX, UX
  std::string name;  // as the T-SQL text named it
};
std::optional<IndexName> ParseIndexSqliteName(std::string_view sqlite_name);

// Table-level marker that records an identity seed in the table's SQLite text.
std::string IdentitySeedClause(int64_t seed);
std::optional<int64_t> IdentitySeedFromSql(std::string_view create_sql);

// The CHECK that keeps an identity column of a type narrower than bigint within its type:
// the server stops numbering there with 8115 (errors.cpp reads the marker back). Empty for
// bigint.
constexpr std::string_view kIdentityRangeMarker = "tsql_identity_range$";
std::string IdentityRangeClause(const std::string& column, const TypeInfo& type);
// A column's T-SQL type as written in SQLite's CREATE TABLE (varchar(max) as varchar(-1)).
std::string DeclaredType(const TypeInfo& t);
// Statements that create `t` (in temp when t.is_temp) with its columns' T-SQL types,
// identity and defaults; run them in order.
std::vector<std::string> CreateTableSql(const TableInfo& t);

// A step's SQL with each ?N replaced by the literal of its value (for view bodies,
// which SQLite stores without parameters).
std::string InlineParams(const SqliteStep& step,
                         const std::function<Value(const ParamSource&)>& value_of);

}  // namespace morvesk::engine::exec
