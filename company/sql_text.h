// The company database's T-SQL scripts (tables, views, procedures), compiled into
// the library from company/sql/*.sql. Scripts run in name order; GO lines split
// each into batches.
#pragma once

#include <string_view>
#include <vector>

namespace morvesk::company {

struct SqlScript {
  std::string_view name;  // file name, e.g. "10_tables.sql"
  std::string_view text;
};

const std::vector<SqlScript>& SchemaScripts();

}  // namespace morvesk::company
