// The catalog of one connection over its SQLite database: tables come from SQLite's
// own schema (their declared column types are the T-SQL type texts), views and
// procedures from the metadata table __tsql_objects that the runtime keeps in the
// same file. #temp tables live in the connection's "temp" schema, so they are private
// to it and are rolled back with its transactions like any other table.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/bind/catalog.h"
#include "engine/exec/sqlite_util.h"

namespace morvesk::engine::exec {

// An object name split from its qualifiers: "tempdb..#x" -> {"#x", temp}, "[dbo].[t]" -> {"t"}.
struct ObjectName {
  std::string name;
  bool temp = false;
};
ObjectName ParseObjectName(std::string_view text);

// T-SQL type of a SQLite declared column type ("decimal(28,10)", "varchar(max)").
TypeInfo TypeFromDeclared(std::string_view declared);

class SqliteCatalog : public Catalog {
 public:
  explicit SqliteCatalog(sqlite3* db) : db_(db) {}

  // Creates the metadata table in a database file that lacks it.
  static void EnsureMetadata(sqlite3* db);
  // Creates the connection's own table of dropped #temp tables kept for reuse.
  static void EnsureTempMetadata(sqlite3* db);

  std::optional<TableInfo> FindTable(std::string_view name) const override;
  // FindTable's answer without a copy, with a stamp that stays the same while the
  // connection's knowledge of that name is the same object (0 for the catalog views,
  // which are made anew each time). The pointer holds until the next lookup or change.
  struct Answer {
    const std::optional<TableInfo>* info = nullptr;
    uint64_t stamp = 0;
  };
  Answer LookupTable(std::string_view name) const;
  std::optional<std::vector<ProcParamInfo>> FindProcedure(std::string_view name) const override;
  uint64_t version() const override { return version_; }

  // Marks every remembered lookup stale; called after any DDL of this connection.
  void Bump();
  // After DDL that made, changed or dropped one table only: marks that table's lookup
  // stale and keeps the others.
  void Bump(std::string_view table);
  // Notices DDL made by other connections on the shared file.
  void SyncWithFile();

  // 'U' table, 'V' view, 'P' procedure; empty when no object has the name.
  std::optional<char> ObjectKind(std::string_view name) const;
  // Records a view or procedure with its defining text; a view also keeps its column
  // types, a procedure its parameters.
  void RecordView(const std::string& name, const std::string& definition,
                  const std::vector<ColumnInfo>& columns, const std::vector<ViewArm>& arms);
  void RecordProcedure(const std::string& name, const std::string& definition,
                       const std::vector<ProcParamInfo>& params);
  void EraseObject(std::string_view name);
  // Every view with its defining text and the record of its columns, oldest first.
  struct ViewSource {
    std::string name, definition, columns;
  };
  std::vector<ViewSource> ViewSources() const;
  // The record RecordView keeps of a view's columns.
  static std::string ViewColumnsRecord(const std::vector<ColumnInfo>& columns);
  // Stored text of CREATE PROCEDURE, with the name as it was declared.
  std::optional<std::pair<std::string, std::string>> ProcedureSource(std::string_view name) const;

  // A dropped #temp table of a plain definition (no identity, no keys, no indexes of
  // its own) is kept, emptied and hidden, instead of being dropped; making a #temp table
  // of the same name and definition again brings it back. Batches that make and drop
  // the same working tables over and over then leave the schema alone, and SQLite need
  // not prepare the connection's statements on temp tables again after each of them.
  // Hidden names are rows of temp.__tsql_dropped, so a rollback restores them along
  // with the tables' rows. RetireTemp returns false when the table must really be
  // dropped; ReviveTemp returns true when it brought the table back, and drops a hidden
  // table of another definition so that the caller can make the new one.
  // A table brought back keeps the definition it was retired with, so a loop that makes
  // and drops the same working tables does not read their columns from SQLite each time;
  // the caller need not Bump() after a revival.
  bool RetireTemp(const TableInfo& table);
  bool ReviveTemp(const std::string& name, const std::string& create_sql);

  // Changes only when tables really change shape or vanish (DDL other than retiring and
  // reviving a #temp table, a rollback, another connection's DDL): what a connection
  // remembers of the physical schema (its automatic indexes) holds while it is the same.
  uint64_t structure_version() const { return structure_version_; }

  // Stable id for Object_ID(): non-zero for every existing table or view.
  std::optional<int64_t> ObjectId(std::string_view name) const;

 private:
  std::optional<TableInfo> LoadTable(const ObjectName& n) const;
  struct ObjectRow {
    std::string name, kind, definition, columns;
  };
  std::optional<ObjectRow> LoadObject(std::string_view key) const;
  void EraseArms(const std::string& key);

  // Marks a table's lookup stale without touching structure_version_.
  void BumpVisibility(std::string_view table);

  // The temp schema's cookie: SQLite changes it with every definition made, changed or
  // dropped there, and a rollback puts it back along with the definitions.
  int64_t TempSchemaCookie();
  // What the temp schema says of one #temp table, read once per state of that schema:
  // its stored CREATE text, and whether it holds an index or identity of its own.
  struct TempFacts {
    std::string name;  // as the schema spells it
    int64_t cookie = -1;
    uint64_t structure = 0;
    bool found = false;
    bool own_index_or_identity = false;
    std::string stored_sql;
  };
  const TempFacts& FactsOf(const TableInfo& table);
  // The prepared statement that empties a table, kept by its SQLite name.
  Stmt& ClearStatement(const std::string& sqlite_name);

  sqlite3* db_;
  uint64_t version_ = 1;
  uint64_t structure_version_ = 1;
  // Definitions of retired #temp tables by lower-cased name, with their stored CREATE text.
  struct Retired {
    std::string create_sql;
    TableInfo info;
    uint64_t stamp = 0;  // of the lookup the table had when it was retired
  };
  std::map<std::string, Retired> retired_;
  int64_t file_schema_version_ = -1;
  Stmt schema_version_;
  struct Known {
    std::optional<TableInfo> info;
    uint64_t stamp = 0;
  };
  mutable std::map<std::string, Known> tables_;
  mutable uint64_t next_stamp_ = 1;
  mutable std::optional<TableInfo> system_view_;  // LookupTable's answer for a catalog view
  std::map<std::string, TempFacts> temp_facts_;   // by lower-cased name
  std::map<std::string, Stmt> clear_;             // by SQLite name
  Stmt temp_cookie_, facts_sql_;
  mutable Stmt find_table_[2];  // main, temp: a table or view by name
  mutable Stmt table_columns_;
  Stmt retire_check_, retire_mark_, revive_find_, revive_unmark_;
};

}  // namespace morvesk::engine::exec
