// The shape of a table for a data-access layer that writes rows back by their
// key.
#include <sqlite3.h>

#include "engine/exec/sqlite_util.h"
#include "engine/exec/connection_impl.h"
#include "engine/exec/table_ddl.h"

namespace morvesk::engine::exec {
namespace {

// Columns of the table's primary key index, in key order, as the index names
// them.
std::vector<std::string> PrimaryKeyIndexColumns(sqlite3* db, const TableInfo& t) {
  const std::string schema = SchemaOf(t.is_temp);
  Stmt list = Prepare(db, "PRAGMA " + schema + ".index_list(" + QuoteName(t.name) + ")");
  while (sqlite3_step(list.get()) == SQLITE_ROW) {
    const std::string index = ColumnText(list.get(), 1);
    auto parsed = ParseIndexSqliteName(index);
    if (!parsed || parsed->kind != "PK") continue;
    Stmt info = Prepare(db, "PRAGMA " + schema + ".index_info(" + QuoteName(index) + ")");
    std::vector<std::string> columns;
    while (sqlite3_step(info.get()) == SQLITE_ROW) columns.push_back(ColumnText(info.get(), 2));
    return columns;
  }
  return {};
}

}  // namespace

std::optional<TableShape> ConnectionImpl::DescribeTable(std::string_view name) {
  catalog_.SyncWithFile();
  std::optional<TableInfo> info = catalog_.FindTable(name);
  if (!info) return std::nullopt;
  TableShape shape;
  shape.name = info->name;
  shape.is_view = info->is_view;
  for (const ColumnInfo& c : info->columns) shape.columns.push_back(c.name);
  if (info->is_view) return shape;
  for (std::string& k : PrimaryKeyIndexColumns(sql_, *info)) {
    // The index names columns as SQLite stores them; report the declared
    // spelling.
    const ColumnInfo* c = info->Find(k);
    shape.primary_key.push_back(c ? c->name : k);
  }
  if (shape.primary_key.empty()) {
    // A key declared on the identity column alone is the table's rowid and has
    // no index of its own; the identity column identifies a row either way.
    for (const ColumnInfo& c : info->columns) {
      if (c.identity) shape.primary_key.push_back(c.name);
    }
  }
  return shape;
}

}  // namespace morvesk::engine::exec
