// The server's catalog views over this engine's own objects: sys.objects, sys.tables,
// sys.views, sys.procedures, sys.columns, sys.parameters, sys.sql_modules, sys.types,
// INFORMATION_SCHEMA.TABLES and INFORMATION_SCHEMA.COLUMNS, each also under tempdb.
//
// The catalog answers a view's name with a read-only view whose SQLite text selects
// from two row sources of the connection (t_sys_objects, t_sys_columns). Those list
// the objects afresh every time a statement reads them, from SQLite's schema and the
// runtime's object table, so a cached plan never shows a stale list and a batch sees
// the objects it made a moment before. As in the server, the company's database holds
// its tables, views and procedures; the session's #temp tables and temporary
// procedures appear only in the tempdb views (tempdb.sys.tables,
// tempdb.INFORMATION_SCHEMA.COLUMNS, ...).
#pragma once

#include <sqlite3.h>

#include <optional>
#include <string>
#include <string_view>

#include "engine/bind/catalog.h"

namespace morvesk::engine::exec {

class SqliteCatalog;

// Registers the row sources and DB_NAME()'s function (t_db_name) on a connection.
// `catalog` must outlive the handle's statements.
void RegisterSystemCatalog(sqlite3* db, const SqliteCatalog* catalog,
                           const std::string& database_name);

// The catalog view a name designates ("sys.tables", "[INFORMATION_SCHEMA].[COLUMNS]",
// "tempdb.sys.columns"); empty for any other name.
std::optional<TableInfo> SystemView(std::string_view name);

// A database's name as DB_NAME() gives it: the stem of its file ("demo" for demo.db).
std::string DatabaseNameOf(const std::string& path);

// The engine's product text for @@VERSION.
std::string ProductVersionText();

}  // namespace morvesk::engine::exec
