// SQLite failures turned into the server's errors: constraint violations get their
// T-SQL numbers and texts (with the duplicate key value, found by replaying the
// failed step without the violated index inside a savepoint that is then undone).
#include <cctype>

#include "base/ascii.h"
#include "engine/exec/sqlite_util.h"
#include "engine/exec/database_impl.h"
#include "engine/exec/interpreter.h"
#include "engine/exec/storage.h"
#include "engine/exec/table_ddl.h"
#include "engine/value/sqlfunc.h"

namespace morvesk::engine::exec {
namespace {

using base::AsciiLower;

// "UNIQUE constraint failed: t.a, t.b" -> table t, columns a, b.
bool SplitConstraintMessage(const std::string& message, std::string& table,
                            std::vector<std::string>& columns) {
  size_t colon = message.find(": ");
  if (colon == std::string::npos) return false;
  std::string rest = message.substr(colon + 2);
  size_t pos = 0;
  while (pos < rest.size()) {
    size_t comma = rest.find(", ", pos);
    std::string item =
        rest.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
    size_t dot = item.rfind('.');
    if (dot == std::string::npos) return false;
    table = item.substr(0, dot);
    columns.push_back(item.substr(dot + 1));
    if (comma == std::string::npos) break;
    pos = comma + 2;
  }
  return !columns.empty();
}

// Unique indexes of a table whose columns are exactly `columns`.
std::vector<std::string> MatchingIndexes(sqlite3* db, const std::string& table, bool temp,
                                         const std::vector<std::string>& columns) {
  std::vector<std::string> out;
  std::string schema = SchemaOf(temp);
  Stmt list = Prepare(db, "PRAGMA " + schema + ".index_list(" + QuoteName(table) + ")");
  while (sqlite3_step(list.get()) == SQLITE_ROW) {
    if (sqlite3_column_int(list.get(), 2) == 0) continue;
    std::string name = ColumnText(list.get(), 1);
    Stmt info = Prepare(db, "PRAGMA " + schema + ".index_info(" + QuoteName(name) + ")");
    std::vector<std::string> cols;
    while (sqlite3_step(info.get()) == SQLITE_ROW) cols.push_back(AsciiLower(ColumnText(info.get(), 2)));
    bool same = cols.size() == columns.size();
    for (size_t i = 0; same && i < cols.size(); ++i) same = cols[i] == AsciiLower(columns[i]);
    if (same) out.push_back(name);
  }
  return out;
}

}  // namespace

std::string RepeatedKey(sqlite3* db, const TableInfo& t, const std::vector<std::string>& columns) {
  std::string cols;
  for (const auto& c : columns) cols += (cols.empty() ? "" : ", ") + QuoteName(c);
  Stmt dup = Prepare(db, "SELECT " + cols + " FROM " + t.sqlite_name + " GROUP BY " + cols +
                             " HAVING count(*) > 1 LIMIT 1");
  std::string result;
  if (sqlite3_step(dup.get()) != SQLITE_ROW) return result;
  for (size_t i = 0; i < columns.size(); ++i) {
    const ColumnInfo* col = t.Find(columns[i]);
    Value v = ReadColumn(dup.get(), static_cast<int>(i), col ? col->type : TypeInfo{});
    result +=
        (i ? ", " : "") + (v.is_null() ? "<NULL>" : (v.is_text() ? v.as_text() : v.ToString()));
  }
  return result;
}

std::string Interpreter::DuplicateKeyValue(Plan& p, Frame& f, const std::string& table, bool temp,
                                           const std::vector<std::string>& columns) {
  auto indexes = MatchingIndexes(c_.sql_, table, temp, columns);
  auto info = c_.catalog_.FindTable(temp ? table : "dbo." + table);
  if (indexes.empty() || !info || failing_step_ >= p.translation.steps.size()) return "";
  std::string result;
  if (sqlite3_exec(c_.sql_, "SAVEPOINT tsql_diagnose", nullptr, nullptr, nullptr) != SQLITE_OK)
    return "";
  try {
    for (const auto& ix : indexes)
      ExecSql(c_.sql_, "DROP INDEX " + SchemaOf(temp) + "." + QuoteName(ix));
    const SqliteStep& step = p.translation.steps[failing_step_];
    Stmt replay = Prepare(c_.sql_, step.sql);
    BindParams(replay.get(), step.params, f);
    while (sqlite3_step(replay.get()) == SQLITE_ROW) {
    }
    result = RepeatedKey(c_.sql_, *info, columns);
  } catch (const SqlError&) {
    result.clear();
  }
  sqlite3_exec(c_.sql_, "ROLLBACK TO tsql_diagnose; RELEASE tsql_diagnose", nullptr, nullptr,
               nullptr);
  return result;
}

SqlError Interpreter::MapStepError(int rc, const std::string& message, const ast::Statement* s,
                                   Plan* p, Frame* f) {
  if (auto e = ParseFunctionError(message)) return *e;
  bool update = s && s->kind == ast::StmtKind::kUpdate;
  std::string table;
  std::vector<std::string> columns;
  switch (rc) {
    case SQLITE_CONSTRAINT_NOTNULL:
      if (SplitConstraintMessage(message, table, columns)) {
        bool temp = !table.empty() && table[0] == '#';
        std::string where = (temp ? std::string("tempdb") : c_.db_->name()) + ".dbo." + table;
        return SqlError(515, 16,
                        "Cannot insert the value NULL into column '" + columns[0] + "', table '" +
                            where + "'; column does not allow nulls. " +
                            (update ? "UPDATE" : "INSERT") + " fails.",
                        0, 2);
      }
      break;
    case SQLITE_CONSTRAINT_UNIQUE:
    case SQLITE_CONSTRAINT_PRIMARYKEY:
      if (SplitConstraintMessage(message, table, columns)) {
        bool temp = !table.empty() && table[0] == '#';
        auto indexes = MatchingIndexes(c_.sql_, table, temp, columns);
        std::optional<IndexName> ix;
        if (!indexes.empty()) ix = ParseIndexSqliteName(indexes.front());
        std::string value = p && f ? DuplicateKeyValue(*p, *f, table, temp, columns) : "";
        std::string tail = value.empty() ? "" : " The duplicate key value is (" + value + ").";
        std::string object = "dbo." + table;
        if (ix && (ix->kind == "PK" || ix->kind == "UQ")) {
          return SqlError(2627, 14,
                          "Violation of " +
                              std::string(ix->kind == "PK" ? "PRIMARY KEY" : "UNIQUE KEY") +
                              " constraint '" + ix->name +
                              "'. Cannot insert duplicate key in object '" + object + "'." + tail);
        }
        return SqlError(2601, 14,
                        "Cannot insert duplicate key row in object '" + object +
                            "' with unique index '" + (ix ? ix->name : std::string("?")) + "'." +
                            tail);
      }
      break;
    case SQLITE_CONSTRAINT_CHECK:
      if (size_t at = message.find(kIdentityRangeMarker); at != std::string::npos) {
        return SqlError(8115, 16,
                        "Arithmetic overflow error converting IDENTITY to data type " +
                            message.substr(at + kIdentityRangeMarker.size()) + ".");
      }
      [[fallthrough]];
    case SQLITE_CONSTRAINT_FOREIGNKEY:
      return SqlError(547, 16,
                      std::string("The ") + (update ? "UPDATE" : "INSERT") +
                          " statement conflicted with a constraint: " + message);
    default:
      break;
  }
  if ((rc & 0xff) == SQLITE_BUSY || (rc & 0xff) == SQLITE_LOCKED) {
    return SqlError(1222, 16, "Lock request time out period exceeded.");
  }
  if ((rc & 0xff) == SQLITE_INTERRUPT) return BatchCancelled();
  if ((rc & 0xff) == SQLITE_READONLY) return ReadOnlyDatabaseError(c_.sql_);
  return StorageFailure(rc, message);
}

}  // namespace morvesk::engine::exec
