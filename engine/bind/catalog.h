// What the binder needs to know about the database's objects: tables (persistent
// and this connection's #temp tables), views and procedures, with T-SQL column
// types. The runtime implements it over the SQLite file and its own metadata.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/value/types.h"

namespace morvesk::engine {

struct ColumnInfo {
  std::string name;        // as declared (original case)
  TypeInfo type;
  bool nullable = true;
  bool identity = false;   // IDENTITY(seed, step): filled by the table on insert
  int64_t identity_seed = 1;
  int64_t identity_step = 1;
  bool has_default = false;
  std::string default_sql; // default expression as SQLite text, when has_default
};

// One SELECT of a view that is a UNION ALL of plain SELECTs, in SQLite text with its
// constants written in: the expression of each output column, and FROM ... onwards.
struct ViewArm {
  std::vector<std::string> items;
  std::string body;
  bool operator==(const ViewArm&) const = default;
};

struct TableInfo {
  std::string name;         // name as declared ("#TmpBal_1", "t_CC_Bal")
  std::string sqlite_name;  // quoted name to use in SQLite text: temp."#TmpBal_1", main."t_CC_Bal"
  bool is_temp = false;
  bool is_view = false;
  // A view whose body is a UNION: SQLite computes it into a scratch table first unless
  // it leads the join and nothing may be moved before it.
  bool is_compound_view = false;
  // A UNION ALL view's SELECTs, when it is known as such: a statement that reads it gets
  // them written in with only the columns it uses, so that SQLite need not compute the
  // others (nor make the joins that only they need).
  std::vector<ViewArm> view_arms;
  std::vector<ColumnInfo> columns;

  const ColumnInfo* Find(std::string_view column) const;  // case-insensitive
};

struct ProcParamInfo {
  std::string name;  // "@StockID"
  TypeInfo type;
  bool output = false;
  bool has_default = false;
  std::string default_literal;  // T-SQL literal text of the default
};

class Catalog {
 public:
  virtual ~Catalog() = default;
  // Resolves a one-, two- or three-part name without regard to case: "t_CC_Bal",
  // "dbo.t_CC_Bal", "tempdb..#x", "#x". Empty when there is no such table or view.
  virtual std::optional<TableInfo> FindTable(std::string_view name) const = 0;
  virtual std::optional<std::vector<ProcParamInfo>> FindProcedure(std::string_view name) const = 0;
  // Bumped by every DDL on this connection; cached translations that depend on
  // the catalog remember the version they were made under.
  virtual uint64_t version() const = 0;
};

}  // namespace morvesk::engine
