#include "engine/exec/table_ddl.h"

#include <cctype>

#include "engine/exec/sqlite_util.h"
#include "engine/exec/storage.h"

namespace morvesk::engine::exec {
namespace {
constexpr std::string_view kSeedMarker = "tsql_identity_seed_";
}

std::string SchemaOf(bool temp) { return temp ? "temp" : "main"; }

std::string IndexSqliteName(const std::string& table, const std::string& kind,
                            const std::string& name) {
  return table + "$" + kind + "$" + name;
}

std::optional<IndexName> ParseIndexSqliteName(std::string_view n) {
  size_t last = n.rfind('$');
  if (last == std::string_view::npos || last < 3) return std::nullopt;
  size_t mid = n.rfind('$', last - 1);
  if (mid == std::string_view::npos) return std::nullopt;
  return IndexName{std::string(n.substr(mid + 1, last - mid - 1)), std::string(n.substr(last + 1))};
}

std::string IdentitySeedClause(int64_t seed) {
  return "CONSTRAINT " + QuoteName(std::string(kSeedMarker) + std::to_string(seed)) + " CHECK (1)";
}

std::string IdentityRangeClause(const std::string& column, const TypeInfo& type) {
  const char* name = nullptr;
  const char* range = nullptr;
  switch (type.kind) {
    case TypeKind::kTinyInt: name = "tinyint", range = "0 AND 255"; break;
    case TypeKind::kSmallInt: name = "smallint", range = "-32768 AND 32767"; break;
    case TypeKind::kInt: name = "int", range = "-2147483648 AND 2147483647"; break;
    default: return {};
  }
  return " CONSTRAINT " + QuoteName(std::string(kIdentityRangeMarker) + name) + " CHECK (" +
         QuoteName(column) + " BETWEEN " + range + ")";
}

std::optional<int64_t> IdentitySeedFromSql(std::string_view sql) {
  size_t p = sql.find(kSeedMarker);
  if (p == std::string_view::npos) return std::nullopt;
  return std::strtoll(std::string(sql.substr(p + kSeedMarker.size(), 24)).c_str(), nullptr, 10);
}

std::string DeclaredType(const TypeInfo& t) {
  // SQLite reads a declared type's arguments as numbers: max is written as -1, which the
  // catalog reads back as max.
  std::string declared = t.ToString();
  if (size_t at = declared.find("(max)"); at != std::string::npos) declared.replace(at, 5, "(-1)");
  return declared;
}

std::vector<std::string> CreateTableSql(const TableInfo& t) {
  std::string schema = SchemaOf(t.is_temp);
  std::string sql = "CREATE TABLE " + schema + "." + QuoteName(t.name) + "(";
  const ColumnInfo* identity = nullptr;
  for (size_t i = 0; i < t.columns.size(); ++i) {
    const ColumnInfo& c = t.columns[i];
    sql += (i ? ", " : "") + QuoteName(c.name) + " ";
    if (c.identity && !identity) {
      identity = &c;
      sql += "INTEGER PRIMARY KEY AUTOINCREMENT" + IdentityRangeClause(c.name, c.type);
      continue;
    }
    sql += DeclaredType(c.type);
    if (c.type.IsText()) sql += " COLLATE TSQL";
    if (!c.nullable) sql += " NOT NULL";
    if (c.has_default) sql += " DEFAULT (" + c.default_sql + ")";
  }
  if (identity) sql += ", " + IdentitySeedClause(identity->identity_seed);
  sql += ")";
  std::vector<std::string> out{sql};
  if (identity && identity->identity_seed != 1) {
    out.push_back("INSERT INTO " + schema + ".sqlite_sequence(name, seq) VALUES(" +
                  QuoteText(t.name) + ", " + std::to_string(identity->identity_seed - 1) + ")");
  }
  return out;
}

std::string InlineParams(const SqliteStep& step,
                         const std::function<Value(const ParamSource&)>& value_of) {
  const std::string& in = step.sql;
  std::string out;
  for (size_t i = 0; i < in.size(); ++i) {
    char c = in[i];
    if (c == '\'' || c == '"') {
      size_t j = i + 1;
      while (j < in.size()) {
        if (in[j] == c) {
          if (j + 1 < in.size() && in[j + 1] == c) {
            j += 2;
            continue;
          }
          break;
        }
        ++j;
      }
      out.append(in, i, j - i + 1);
      i = j;
      continue;
    }
    if (c == '?') {
      size_t j = i + 1;
      while (j < in.size() && std::isdigit(static_cast<unsigned char>(in[j]))) ++j;
      size_t n = j > i + 1 ? std::stoul(in.substr(i + 1, j - i - 1)) : 0;
      if (n >= 1 && n <= step.params.size()) {
        out += StorageLiteral(value_of(step.params[n - 1]));
        i = j - 1;
        continue;
      }
    }
    out += c;
  }
  return out;
}

}  // namespace morvesk::engine::exec
