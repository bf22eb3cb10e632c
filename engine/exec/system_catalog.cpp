#include "engine/exec/system_catalog.h"

#include <cctype>
#include <filesystem>
#include <map>
#include <memory>
#include <vector>

#include "base/ascii.h"
#include "engine/bind/object_id.h"
#include "engine/exec/sqlite_catalog.h"
#include "engine/exec/sqlite_util.h"
#include "engine/exec/storage.h"
#include "engine/exec/table_ddl.h"

#ifndef MORVESK_VERSION
#define MORVESK_VERSION "unknown"
#endif

namespace morvesk::engine::exec {
namespace {

using base::AsciiLower;

constexpr const char* kCollation = "SQL_Latin1_General_CP1_CI_AS";

// ---- what the server says of each type ----

struct TypeFacts {
  const char* name;
  int system_type_id;
  int max_length;  // bytes; -1 for (max)
  int precision;
  int scale;
  bool is_char = false;
  bool unicode = false;
  bool exact = false;
  bool approx = false;
};

TypeFacts FactsOf(const TypeInfo& t) {
  auto chars = [&](const char* name, int id, bool unicode) {
    TypeFacts f{name, id, t.length < 0 ? -1 : t.length * (unicode ? 2 : 1), 0, 0};
    f.is_char = true;
    f.unicode = unicode;
    return f;
  };
  auto exact = [](const char* name, int id, int len, int p, int s) {
    TypeFacts f{name, id, len, p, s};
    f.exact = true;
    return f;
  };
  switch (t.kind) {
    case TypeKind::kChar:
      return chars("char", 175, false);
    case TypeKind::kVarChar:
      return chars("varchar", 167, false);
    case TypeKind::kNChar:
      return chars("nchar", 239, true);
    case TypeKind::kNVarChar:
      return chars("nvarchar", 231, true);
    case TypeKind::kText: {
      TypeFacts f{"text", 35, 16, 0, 0};
      f.is_char = true;
      return f;
    }
    case TypeKind::kNText: {
      TypeFacts f{"ntext", 99, 16, 0, 0};
      f.is_char = f.unicode = true;
      return f;
    }
    case TypeKind::kVarBinary:
      return TypeFacts{"varbinary", 165, t.length < 0 ? -1 : t.length, 0, 0};
    case TypeKind::kUniqueIdentifier:
      return TypeFacts{"uniqueidentifier", 36, 16, 0, 0};
    case TypeKind::kBit:
      return exact("bit", 104, 1, 1, 0);
    case TypeKind::kTinyInt:
      return exact("tinyint", 48, 1, 3, 0);
    case TypeKind::kSmallInt:
      return exact("smallint", 52, 2, 5, 0);
    case TypeKind::kInt:
      return exact("int", 56, 4, 10, 0);
    case TypeKind::kBigInt:
      return exact("bigint", 127, 8, 19, 0);
    case TypeKind::kMoney:
      return t.precision == 10 ? exact("smallmoney", 122, 4, 10, 4) : exact("money", 60, 8, 19, 4);
    case TypeKind::kDecimal: {
      const int p = t.precision;
      return exact("decimal", 106, p <= 9 ? 5 : p <= 19 ? 9 : p <= 28 ? 13 : 17, p, t.scale);
    }
    case TypeKind::kReal: {
      TypeFacts f{"real", 59, 4, 24, 0};
      f.approx = true;
      return f;
    }
    case TypeKind::kFloat: {
      TypeFacts f{"float", 62, 8, 53, 0};
      f.approx = true;
      return f;
    }
    case TypeKind::kSmallDateTime:
      return TypeFacts{"smalldatetime", 58, 4, 16, 0};
    case TypeKind::kDateTime:
      return TypeFacts{"datetime", 61, 8, 23, 3};
    case TypeKind::kNull:
      break;
  }
  // A column SQLite declared without a T-SQL type: the server's catch-all.
  return TypeFacts{"sql_variant", 98, 8016, 0, 0};
}

// ---- the objects of the database and of the session's tempdb ----

struct Object {
  std::string name;
  char type;  // 'U', 'V', 'P'
  bool temp = false;
  int64_t id = 0;
  std::string definition;  // views and procedures: the stored CREATE text
};

std::vector<Object> ListObjects(sqlite3* db) {
  std::vector<Object> out;
  // The runtime's own tables (__tsql_*), SQLite's, and the #temp tables kept hidden for
  // reuse are no objects of T-SQL.
  Stmt s = Prepare(db,
                   "SELECT s.name, s.type, 0, o.definition FROM main.sqlite_schema AS s "
                   "LEFT JOIN main.__tsql_objects AS o ON o.name_key = lower(s.name) "
                   "WHERE s.type IN ('table','view') AND s.name NOT LIKE 'sqlite\\_%' ESCAPE '\\' "
                   "AND s.name NOT LIKE '\\_\\_tsql\\_%' ESCAPE '\\' "
                   "UNION ALL SELECT name, 'proc', 0, definition FROM main.__tsql_objects "
                   "WHERE kind = 'P' "
                   "UNION ALL SELECT name, 'proc', 1, definition FROM temp.__tsql_objects "
                   "WHERE kind = 'P' "
                   "UNION ALL SELECT s.name, s.type, 1, NULL FROM temp.sqlite_schema AS s "
                   "WHERE s.type = 'table' AND s.name LIKE '#%' AND NOT EXISTS (SELECT 1 FROM "
                   "temp.__tsql_dropped AS d WHERE d.name_key = lower(s.name)) "
                   "ORDER BY 3, 1");
  int rc;
  while ((rc = sqlite3_step(s.get())) == SQLITE_ROW) {
    Object o;
    o.name = ColumnText(s.get(), 0);
    const std::string type = ColumnText(s.get(), 1);
    o.type = type == "table" ? 'U' : type == "view" ? 'V' : 'P';
    o.temp = sqlite3_column_int(s.get(), 2) != 0;
    if (o.type != 'U') o.definition = ColumnText(s.get(), 3);
    o.id = o.type == 'P' ? ProcedureObjectId(o.name)
                         : ObjectIdOf(std::string(o.temp ? "temp." : "main.") + QuoteName(o.name));
    out.push_back(std::move(o));
  }
  if (rc != SQLITE_DONE) throw ErrorFromSqlite(db, rc);
  return out;
}

// The T-SQL name to look an object up by, whatever characters it holds.
std::string Bracketed(const std::string& name) {
  std::string out = "[";
  for (char c : name) out += c == ']' ? std::string("]]") : std::string(1, c);
  return out + "]";
}

// ---- rows handed to SQLite ----

struct Cell {
  enum class Kind : uint8_t { kNull, kInt, kText } kind = Kind::kNull;
  int64_t i = 0;
  std::string s;
};
using Row = std::vector<Cell>;

Cell Int(int64_t v) { return Cell{Cell::Kind::kInt, v, {}}; }
Cell Str(std::string v) { return Cell{Cell::Kind::kText, 0, std::move(v)}; }
Cell Null() { return Cell{}; }

enum class Source : uint8_t { kObjects, kColumns, kIndexKeys };

constexpr const char* kObjectsSchema =
    "CREATE TABLE x(name, object_id, type, type_desc, in_tempdb, definition, max_column_id, "
    "db)";
constexpr const char* kColumnsSchema =
    "CREATE TABLE x(object_id, table_name, object_type, in_tempdb, name, ordinal, is_parameter, "
    "is_output, type_name, system_type_id, max_length, precision, scale, char_length, "
    "octet_length, is_nullable, is_identity, collation_name, column_default, numeric_precision, "
    "numeric_radix, numeric_scale, datetime_precision, charset_name, identity_seed, "
    "identity_increment, db, is_ansi_padded)";

// One row per key column of an index (primary key, unique constraint or index).
constexpr const char* kIndexKeysSchema =
    "CREATE TABLE x(object_id, in_tempdb, name, index_id, type, is_unique, is_primary_key, "
    "is_unique_constraint, column_id, key_ordinal)";

struct SourceData {
  Source what;
  const SqliteCatalog* catalog;
  std::string database;
};

const char* TypeDesc(char type) {
  switch (type) {
    case 'U':
      return "USER_TABLE";
    case 'V':
      return "VIEW";
    default:
      return "SQL_STORED_PROCEDURE";
  }
}

// A column default as the server shows it: ((0)), ('text'), (getdate()).
Cell DefaultText(sqlite3* db, const ColumnInfo& c) {
  if (!c.has_default) return Null();
  if (AsciiLower(c.default_sql) == "t_getdate()") return Str("(getdate())");
  // A default the engine did not write itself (a file made elsewhere) is shown as
  // unknown rather than failing the whole listing.
  Value v;
  try {
    Stmt s = Prepare(db, "SELECT " + c.default_sql);
    if (sqlite3_step(s.get()) != SQLITE_ROW) return Null();
    v = ReadColumn(s.get(), 0, c.type);
  } catch (const SqlError&) {
    return Null();
  }
  if (v.is_null()) return Str("(NULL)");
  if (v.is_text()) {
    std::string q;
    for (char ch : v.as_text()) q += ch == '\'' ? std::string("''") : std::string(1, ch);
    return Str("('" + q + "')");
  }
  return Str("((" + v.ToString() + "))");
}

void AddColumnRow(std::vector<Row>& rows, const Object& o, const std::string& db_name, int ordinal,
                  const std::string& name, const TypeInfo& type, bool nullable, bool identity,
                  int64_t seed, int64_t step, Cell column_default, bool parameter, bool output) {
  const TypeFacts f = FactsOf(type);
  const bool numeric = f.exact || f.approx;
  Row r;
  r.push_back(Int(o.id));
  r.push_back(Str(o.name));
  r.push_back(Str(std::string(1, o.type) + " "));
  r.push_back(Int(o.temp));
  r.push_back(Str(name));
  r.push_back(Int(ordinal));
  r.push_back(Int(parameter));
  r.push_back(Int(output));
  r.push_back(Str(f.name));
  r.push_back(Int(f.system_type_id));
  r.push_back(Int(f.max_length));
  r.push_back(Int(f.precision));
  r.push_back(Int(f.scale));
  const bool counted = f.is_char || type.kind == TypeKind::kVarBinary;
  const int chars = f.max_length < 0 ? -1 : f.unicode ? f.max_length / 2 : f.max_length;
  r.push_back(counted ? Int(type.kind == TypeKind::kText || type.kind == TypeKind::kNText
                                ? 2147483647 / (f.unicode ? 2 : 1)
                                : chars)
                      : Null());
  r.push_back(counted ? Int(type.kind == TypeKind::kText || type.kind == TypeKind::kNText
                                ? 2147483647
                                : f.max_length)
                      : Null());
  r.push_back(Int(nullable));
  r.push_back(Int(identity));
  r.push_back(f.is_char ? Str(kCollation) : Null());
  r.push_back(std::move(column_default));
  r.push_back(numeric ? Int(f.precision) : Null());
  r.push_back(numeric ? Int(f.approx ? 2 : 10) : Null());
  r.push_back(f.exact ? Int(f.scale) : Null());
  r.push_back(f.system_type_id == 61 ? Int(3) : f.system_type_id == 58 ? Int(0) : Null());
  r.push_back(f.is_char ? Str(f.unicode ? "UNICODE" : "iso_1") : Null());
  r.push_back(identity ? Int(seed) : Null());
  r.push_back(identity ? Int(step) : Null());
  r.push_back(Str(o.temp ? "tempdb" : db_name));
  r.push_back(Int(type.kind == TypeKind::kChar || type.kind == TypeKind::kVarChar ||
                  type.kind == TypeKind::kVarBinary));
  rows.push_back(std::move(r));
}

std::vector<Row> ObjectRows(sqlite3* db, const SourceData& src) {
  std::vector<Row> rows;
  for (Object& o : ListObjects(db)) {
    int64_t columns = 0;
    if (o.type != 'P') {
      if (auto t = src.catalog->FindTable(o.temp ? o.name : Bracketed(o.name)))
        columns = static_cast<int64_t>(t->columns.size());
    }
    Row r;
    r.push_back(Str(o.name));
    r.push_back(Int(o.id));
    r.push_back(Str(std::string(1, o.type) + " "));
    r.push_back(Str(TypeDesc(o.type)));
    r.push_back(Int(o.temp));
    r.push_back(o.type == 'U' ? Null() : Str(std::move(o.definition)));
    r.push_back(Int(columns));
    r.push_back(Str(o.temp ? "tempdb" : src.database));
    rows.push_back(std::move(r));
  }
  return rows;
}

// The indexes of every table, as the storage keeps them under "table$KIND$name". The
// primary key is index 1 (clustered, as the server makes it by default); the others
// follow in the storage's order. An identity key with no index of its own is not listed.
std::vector<Row> IndexKeyRows(sqlite3* db, std::optional<int64_t> only_id) {
  std::vector<Row> rows;
  for (const Object& o : ListObjects(db)) {
    if (o.type != 'U' || (only_id && o.id != *only_id)) continue;
    const std::string schema = SchemaOf(o.temp);
    Stmt list = Prepare(db, "PRAGMA " + schema + ".index_list(" + QuoteName(o.name) + ")");
    // The storage lists the newest index first; the server numbers them as made.
    std::vector<std::string> indexes;
    while (sqlite3_step(list.get()) == SQLITE_ROW) indexes.push_back(ColumnText(list.get(), 1));
    int64_t next_id = 2;
    for (auto it = indexes.rbegin(); it != indexes.rend(); ++it) {
      const std::string& index = *it;
      auto parsed = ParseIndexSqliteName(index);
      if (!parsed) continue;  // the engine's own automatic indexes
      const bool pk = parsed->kind == "PK";
      const bool unique = pk || parsed->kind == "UQ" || parsed->kind == "UX";
      const int64_t id = pk ? 1 : next_id++;
      Stmt info = Prepare(db, "PRAGMA " + schema + ".index_info(" + QuoteName(index) + ")");
      int64_t ordinal = 0;
      while (sqlite3_step(info.get()) == SQLITE_ROW) {
        Row r;
        r.push_back(Int(o.id));
        r.push_back(Int(o.temp));
        r.push_back(Str(parsed->name));
        r.push_back(Int(id));
        r.push_back(Int(pk ? 1 : 2));
        r.push_back(Int(unique));
        r.push_back(Int(pk));
        r.push_back(Int(parsed->kind == "UQ"));
        r.push_back(Int(sqlite3_column_int64(info.get(), 1) + 1));
        r.push_back(Int(++ordinal));
        rows.push_back(std::move(r));
      }
    }
  }
  return rows;
}

// A name as the object filter compares it: lower case, trailing blanks off. Names with
// other than ASCII letters fold differently under the TSQL collation, so they filter
// nothing and are left to SQLite.
std::optional<std::string> NameKey(std::string_view name) {
  std::string key = AsciiLower(name);
  while (!key.empty() && key.back() == ' ') key.pop_back();
  for (char ch : key) {
    if (static_cast<unsigned char>(ch) >= 0x80) return std::nullopt;
  }
  return key;
}

struct ObjectFilter {
  std::optional<int64_t> id;
  std::optional<std::string> name;  // NameKey of the name
};

std::vector<Row> ColumnRows(sqlite3* db, const SourceData& src, const ObjectFilter& only) {
  std::vector<Row> rows;
  for (const Object& o : ListObjects(db)) {
    if (only.id && o.id != *only.id) continue;
    if (only.name && NameKey(o.name) != only.name) continue;
    const std::string lookup = o.temp ? o.name : Bracketed(o.name);
    if (o.type == 'P') {
      auto params = src.catalog->FindProcedure(lookup);
      if (!params) continue;
      int ordinal = 0;
      for (const ProcParamInfo& p : *params) {
        AddColumnRow(rows, o, src.database, ++ordinal, p.name, p.type, true, false, 0, 0, Null(),
                     true, p.output);
      }
      continue;
    }
    auto t = src.catalog->FindTable(lookup);
    if (!t) continue;
    int ordinal = 0;
    for (const ColumnInfo& c : t->columns) {
      AddColumnRow(rows, o, src.database, ++ordinal, c.name, c.type, c.nullable, c.identity,
                   c.identity_seed, c.identity_step, DefaultText(db, c), false, false);
    }
  }
  return rows;
}

// ---- the SQLite row-source module ----

struct Table : sqlite3_vtab {
  sqlite3* db;
  const SourceData* src;
};

struct Cursor : sqlite3_vtab_cursor {
  std::vector<Row> rows;
  size_t at = 0;
};

int Connect(sqlite3* db, void* aux, int, const char* const*, sqlite3_vtab** out, char**) {
  auto* src = static_cast<const SourceData*>(aux);
  int rc = sqlite3_declare_vtab(db, src->what == Source::kObjects   ? kObjectsSchema
                                    : src->what == Source::kColumns ? kColumnsSchema
                                                                    : kIndexKeysSchema);
  if (rc != SQLITE_OK) return rc;
  auto* t = new Table();
  t->db = db;
  t->src = src;
  *out = t;
  return SQLITE_OK;
}

int Disconnect(sqlite3_vtab* v) {
  delete static_cast<Table*>(v);
  return SQLITE_OK;
}

// The columns' source takes an equality on object_id (the join to sys.tables and
// sp_help's lookups) or on the table's name (INFORMATION_SCHEMA.COLUMNS), so that it
// reads one object's columns instead of all of them. SQLite checks the name again
// under the view's collation; the source only skips names that cannot match. The index
// keys' source takes the object_id alone (a data-access layer asking one table's key).
int BestIndex(sqlite3_vtab* v, sqlite3_index_info* info) {
  auto* t = static_cast<Table*>(v);
  info->estimatedCost = 100000;
  if (t->src->what == Source::kObjects) return SQLITE_OK;
  int next = 1;
  for (int column : {0, 1}) {
    if (column == 1 && t->src->what == Source::kIndexKeys) break;
    for (int i = 0; i < info->nConstraint; ++i) {
      const auto& c = info->aConstraint[i];
      if (!c.usable || c.iColumn != column || c.op != SQLITE_INDEX_CONSTRAINT_EQ) continue;
      info->aConstraintUsage[i].argvIndex = next++;
      info->aConstraintUsage[i].omit = column == 0;
      info->idxNum |= column == 0 ? 1 : 2;
      info->estimatedCost = 20;
      info->estimatedRows = 20;
      break;
    }
  }
  return SQLITE_OK;
}

int Open(sqlite3_vtab*, sqlite3_vtab_cursor** out) {
  *out = new Cursor();
  return SQLITE_OK;
}

int Close(sqlite3_vtab_cursor* c) {
  delete static_cast<Cursor*>(c);
  return SQLITE_OK;
}

int Filter(sqlite3_vtab_cursor* cur, int idx_num, const char*, int argc, sqlite3_value** argv) {
  auto* c = static_cast<Cursor*>(cur);
  auto* t = static_cast<Table*>(cur->pVtab);
  c->at = 0;
  c->rows.clear();
  try {
    if (t->src->what == Source::kObjects) {
      c->rows = ObjectRows(t->db, *t->src);
    } else {
      ObjectFilter only;
      int arg = 0;
      if ((idx_num & 1) && arg < argc) {
        if (sqlite3_value_type(argv[arg]) == SQLITE_NULL) return SQLITE_OK;
        only.id = sqlite3_value_int64(argv[arg++]);
      }
      if ((idx_num & 2) && arg < argc) {
        if (sqlite3_value_type(argv[arg]) == SQLITE_NULL) return SQLITE_OK;
        const unsigned char* text = sqlite3_value_text(argv[arg++]);
        only.name = NameKey(text ? reinterpret_cast<const char*>(text) : "");
      }
      c->rows = t->src->what == Source::kIndexKeys ? IndexKeyRows(t->db, only.id)
                                                   : ColumnRows(t->db, *t->src, only);
    }
  } catch (const SqlError& e) {
    sqlite3_free(t->zErrMsg);
    t->zErrMsg = sqlite3_mprintf("%s", e.message.c_str());
    return SQLITE_ERROR;
  }
  return SQLITE_OK;
}

int Next(sqlite3_vtab_cursor* c) {
  ++static_cast<Cursor*>(c)->at;
  return SQLITE_OK;
}

int Eof(sqlite3_vtab_cursor* cur) {
  auto* c = static_cast<Cursor*>(cur);
  return c->at >= c->rows.size();
}

int Column(sqlite3_vtab_cursor* cur, sqlite3_context* ctx, int i) {
  auto* c = static_cast<Cursor*>(cur);
  const Cell& cell = c->rows[c->at][static_cast<size_t>(i)];
  switch (cell.kind) {
    case Cell::Kind::kNull:
      sqlite3_result_null(ctx);
      break;
    case Cell::Kind::kInt:
      sqlite3_result_int64(ctx, cell.i);
      break;
    case Cell::Kind::kText:
      sqlite3_result_text(ctx, cell.s.data(), static_cast<int>(cell.s.size()), SQLITE_TRANSIENT);
      break;
  }
  return SQLITE_OK;
}

int RowId(sqlite3_vtab_cursor* cur, sqlite_int64* out) {
  *out = static_cast<sqlite_int64>(static_cast<Cursor*>(cur)->at);
  return SQLITE_OK;
}

sqlite3_module MakeModule() {
  sqlite3_module m{};
  m.xCreate = nullptr;  // eponymous only: no CREATE VIRTUAL TABLE makes one
  m.xConnect = Connect;
  m.xBestIndex = BestIndex;
  m.xDisconnect = Disconnect;
  m.xOpen = Open;
  m.xClose = Close;
  m.xFilter = Filter;
  m.xNext = Next;
  m.xEof = Eof;
  m.xColumn = Column;
  m.xRowid = RowId;
  return m;
}

const sqlite3_module kModule = MakeModule();

void DbNameFunction(sqlite3_context* ctx, int, sqlite3_value**) {
  const auto* name = static_cast<const std::string*>(sqlite3_user_data(ctx));
  sqlite3_result_text(ctx, name->data(), static_cast<int>(name->size()), SQLITE_TRANSIENT);
}

// ---- the views ----

// One column of a view: its name, T-SQL type, nullability and SQLite expression over
// the row source.
struct ViewColumn {
  const char* name;
  const char* type;
  bool nullable;
  const char* expr;
};

const ViewColumn kObjectColumns[] = {
    {"name", "nvarchar(128)", false, "name"},
    {"object_id", "int", false, "object_id"},
    {"principal_id", "int", true, "NULL"},
    {"schema_id", "int", false, "1"},
    {"parent_object_id", "int", false, "0"},
    {"type", "char(2)", false, "type"},
    {"type_desc", "nvarchar(60)", true, "type_desc"},
    // The engine keeps no creation or change times of its objects.
    {"create_date", "datetime", true, "NULL"},
    {"modify_date", "datetime", true, "NULL"},
    {"is_ms_shipped", "bit", false, "0"},
    {"is_published", "bit", false, "0"},
    {"is_schema_published", "bit", false, "0"},
};

const ViewColumn kTableColumns[] = {
    {"lob_data_space_id", "int", false, "0"},
    {"filestream_data_space_id", "int", true, "NULL"},
    {"max_column_id_used", "int", false, "max_column_id"},
    {"lock_on_bulk_load", "bit", false, "0"},
    {"uses_ansi_nulls", "bit", true, "1"},
    {"is_replicated", "bit", true, "0"},
    {"has_replication_filter", "bit", true, "0"},
    {"is_merge_published", "bit", true, "0"},
    {"is_sync_tran_subscribed", "bit", true, "0"},
    {"has_unchecked_assembly_data", "bit", false, "0"},
    {"text_in_row_limit", "int", true, "0"},
    {"large_value_types_out_of_row", "bit", true, "0"},
    {"is_tracked_by_cdc", "bit", true, "0"},
    {"lock_escalation", "tinyint", true, "0"},
    {"lock_escalation_desc", "nvarchar(60)", true, "'TABLE'"},
    {"is_filetable", "bit", true, "0"},
    {"is_memory_optimized", "bit", true, "0"},
    {"durability", "tinyint", true, "0"},
    {"durability_desc", "nvarchar(60)", true, "'SCHEMA_AND_DATA'"},
    {"temporal_type", "tinyint", true, "0"},
    {"temporal_type_desc", "nvarchar(60)", true, "'NON_TEMPORAL_TABLE'"},
    {"history_table_id", "int", true, "NULL"},
    {"is_remote_data_archive_enabled", "bit", true, "0"},
    {"is_external", "bit", false, "0"},
};

const ViewColumn kViewColumns[] = {
    {"is_replicated", "bit", true, "0"},        {"has_replication_filter", "bit", true, "0"},
    {"has_opaque_metadata", "bit", false, "0"}, {"has_unchecked_assembly_data", "bit", false, "0"},
    {"with_check_option", "bit", false, "0"},   {"is_date_correlation_view", "bit", false, "0"},
    {"is_tracked_by_cdc", "bit", true, "0"},
};

const ViewColumn kProcedureColumns[] = {
    {"is_auto_executed", "bit", false, "0"},
    {"is_execution_replicated", "bit", true, "0"},
    {"is_repl_serializable_subscription", "bit", true, "0"},
    {"skips_repl_constraints", "bit", true, "0"},
};

const ViewColumn kSqlModuleColumns[] = {
    {"object_id", "int", false, "object_id"},
    {"definition", "nvarchar(max)", true, "definition"},
    {"uses_ansi_nulls", "bit", true, "1"},
    {"uses_quoted_identifier", "bit", true, "1"},
    {"is_schema_bound", "bit", true, "0"},
    {"uses_database_collation", "bit", true, "0"},
    {"is_recompiled", "bit", true, "0"},
    {"null_on_null_input", "bit", true, "0"},
    {"execute_as_principal_id", "int", true, "NULL"},
    {"uses_native_compilation", "bit", true, "0"},
};

const ViewColumn kColumnColumns[] = {
    {"object_id", "int", false, "object_id"},
    {"name", "nvarchar(128)", true, "name"},
    {"column_id", "int", false, "ordinal"},
    {"system_type_id", "tinyint", false, "system_type_id"},
    {"user_type_id", "int", false, "system_type_id"},
    {"max_length", "smallint", false, "max_length"},
    {"precision", "tinyint", false, "precision"},
    {"scale", "tinyint", false, "scale"},
    {"collation_name", "nvarchar(128)", true, "collation_name"},
    {"is_nullable", "bit", true, "is_nullable"},
    {"is_ansi_padded", "bit", false, "is_ansi_padded"},
    {"is_rowguidcol", "bit", false, "0"},
    {"is_identity", "bit", false, "is_identity"},
    {"is_computed", "bit", false, "0"},
    {"is_filestream", "bit", false, "0"},
    {"is_replicated", "bit", true, "0"},
    {"is_non_sql_subscribed", "bit", true, "0"},
    {"is_merge_published", "bit", true, "0"},
    {"is_dts_replicated", "bit", true, "0"},
    {"is_xml_document", "bit", false, "0"},
    {"xml_collection_id", "int", false, "0"},
    // Defaults are kept with their columns, not as constraint objects of their own.
    {"default_object_id", "int", false, "0"},
    {"rule_object_id", "int", false, "0"},
    {"is_sparse", "bit", true, "0"},
    {"is_column_set", "bit", true, "0"},
    {"generated_always_type", "tinyint", true, "0"},
    {"generated_always_type_desc", "nvarchar(60)", true, "'NOT_APPLICABLE'"},
    {"encryption_type", "int", true, "NULL"},
    {"encryption_type_desc", "nvarchar(64)", true, "NULL"},
    {"encryption_algorithm_name", "nvarchar(128)", true, "NULL"},
    {"column_encryption_key_id", "int", true, "NULL"},
    {"column_encryption_key_database_name", "nvarchar(128)", true, "NULL"},
    {"is_hidden", "bit", true, "0"},
    {"is_masked", "bit", false, "0"},
};

// The server gives seed and increment as sql_variant; here they are always whole numbers.
const ViewColumn kIdentityColumns[] = {
    {"seed_value", "bigint", true, "identity_seed"},
    {"increment_value", "bigint", true, "identity_increment"},
    {"last_value", "bigint", true, "NULL"},
    {"is_not_for_replication", "bit", true, "0"},
};

const ViewColumn kParameterColumns[] = {
    {"object_id", "int", false, "object_id"},
    {"name", "nvarchar(128)", true, "name"},
    {"parameter_id", "int", false, "ordinal"},
    {"system_type_id", "tinyint", false, "system_type_id"},
    {"user_type_id", "int", false, "system_type_id"},
    {"max_length", "smallint", false, "max_length"},
    {"precision", "tinyint", false, "precision"},
    {"scale", "tinyint", false, "scale"},
    {"is_output", "bit", false, "is_output"},
    {"is_cursor_ref", "bit", false, "0"},
    // As the server does for T-SQL procedures: their defaults are in their text only.
    {"has_default_value", "bit", false, "0"},
    {"is_xml_document", "bit", false, "0"},
    {"default_value", "sql_variant", true, "NULL"},
    {"xml_collection_id", "int", false, "0"},
    {"is_readonly", "bit", false, "0"},
    {"is_nullable", "bit", true, "1"},
};

const ViewColumn kInfoTableColumns[] = {
    {"TABLE_CATALOG", "nvarchar(128)", true, "db"},
    {"TABLE_SCHEMA", "nvarchar(128)", true, "'dbo'"},
    {"TABLE_NAME", "nvarchar(128)", false, "name"},
    {"TABLE_TYPE", "varchar(10)", true, "CASE type WHEN 'V ' THEN 'VIEW' ELSE 'BASE TABLE' END"},
};

const ViewColumn kInfoColumnColumns[] = {
    {"TABLE_CATALOG", "nvarchar(128)", true, "db"},
    {"TABLE_SCHEMA", "nvarchar(128)", true, "'dbo'"},
    {"TABLE_NAME", "nvarchar(128)", false, "table_name"},
    {"COLUMN_NAME", "nvarchar(128)", true, "name"},
    {"ORDINAL_POSITION", "int", true, "ordinal"},
    {"COLUMN_DEFAULT", "nvarchar(4000)", true, "column_default"},
    {"IS_NULLABLE", "varchar(3)", true, "CASE is_nullable WHEN 1 THEN 'YES' ELSE 'NO' END"},
    {"DATA_TYPE", "nvarchar(128)", true, "type_name"},
    {"CHARACTER_MAXIMUM_LENGTH", "int", true, "char_length"},
    {"CHARACTER_OCTET_LENGTH", "int", true, "octet_length"},
    {"NUMERIC_PRECISION", "tinyint", true, "numeric_precision"},
    {"NUMERIC_PRECISION_RADIX", "smallint", true, "numeric_radix"},
    {"NUMERIC_SCALE", "int", true, "numeric_scale"},
    {"DATETIME_PRECISION", "smallint", true, "datetime_precision"},
    {"CHARACTER_SET_CATALOG", "nvarchar(128)", true, "NULL"},
    {"CHARACTER_SET_SCHEMA", "nvarchar(128)", true, "NULL"},
    {"CHARACTER_SET_NAME", "nvarchar(128)", true, "charset_name"},
    {"COLLATION_CATALOG", "nvarchar(128)", true, "NULL"},
    {"COLLATION_SCHEMA", "nvarchar(128)", true, "NULL"},
    {"COLLATION_NAME", "nvarchar(128)", true, "collation_name"},
    {"DOMAIN_CATALOG", "nvarchar(128)", true, "NULL"},
    {"DOMAIN_SCHEMA", "nvarchar(128)", true, "NULL"},
    {"DOMAIN_NAME", "nvarchar(128)", true, "NULL"},
};

const ViewColumn kTypeColumns[] = {
    {"name", "nvarchar(128)", false, "column1"},
    {"system_type_id", "tinyint", false, "column2"},
    {"user_type_id", "int", false, "column3"},
    {"schema_id", "int", false, "4"},
    {"principal_id", "int", true, "NULL"},
    {"max_length", "smallint", false, "column4"},
    {"precision", "tinyint", false, "column5"},
    {"scale", "tinyint", false, "column6"},
    {"collation_name", "nvarchar(128)", true, "column7"},
    {"is_nullable", "bit", true, "1"},
    {"is_user_defined", "bit", false, "0"},
    {"is_assembly_type", "bit", false, "0"},
    {"default_object_id", "int", false, "0"},
    {"rule_object_id", "int", false, "0"},
    {"is_table_type", "bit", false, "0"},
};

const ViewColumn kIndexColumns[] = {
    {"object_id", "int", false, "object_id"},
    {"name", "nvarchar(128)", true, "name"},
    {"index_id", "int", false, "index_id"},
    {"type", "tinyint", false, "type"},
    {"type_desc", "nvarchar(60)", true,
     "CASE type WHEN 1 THEN 'CLUSTERED' ELSE 'NONCLUSTERED' END"},
    {"is_unique", "bit", true, "is_unique"},
    {"data_space_id", "int", true, "1"},
    {"ignore_dup_key", "bit", true, "0"},
    {"is_primary_key", "bit", true, "is_primary_key"},
    {"is_unique_constraint", "bit", true, "is_unique_constraint"},
    {"fill_factor", "tinyint", false, "0"},
    {"is_padded", "bit", true, "0"},
    {"is_disabled", "bit", true, "0"},
    {"is_hypothetical", "bit", true, "0"},
    {"allow_row_locks", "bit", true, "1"},
    {"allow_page_locks", "bit", true, "1"},
    {"has_filter", "bit", true, "0"},
    {"filter_definition", "nvarchar(max)", true, "NULL"},
};

const ViewColumn kIndexKeyColumns[] = {
    {"object_id", "int", false, "object_id"},         {"index_id", "int", false, "index_id"},
    {"index_column_id", "int", false, "key_ordinal"}, {"column_id", "int", false, "column_id"},
    {"key_ordinal", "tinyint", false, "key_ordinal"}, {"partition_ordinal", "tinyint", false, "0"},
    {"is_descending_key", "bit", true, "0"},          {"is_included_column", "bit", true, "0"},
};

// The types this engine stores, as the server lists them (sysname is nvarchar(128)).
constexpr const char* kTypeRows =
    "(VALUES ('bigint',127,127,8,19,0,NULL),('bit',104,104,1,1,0,NULL),"
    "('char',175,175,8000,0,0,'SQL_Latin1_General_CP1_CI_AS'),('datetime',61,61,8,23,3,NULL),"
    "('decimal',106,106,17,38,38,NULL),('float',62,62,8,53,0,NULL),('int',56,56,4,10,0,NULL),"
    "('money',60,60,8,19,4,NULL),('nchar',239,239,8000,0,0,'SQL_Latin1_General_CP1_CI_AS'),"
    "('ntext',99,99,16,0,0,'SQL_Latin1_General_CP1_CI_AS'),"
    "('nvarchar',231,231,8000,0,0,'SQL_Latin1_General_CP1_CI_AS'),"
    "('real',59,59,4,24,0,NULL),('smalldatetime',58,58,4,16,0,NULL),"
    "('smallint',52,52,2,5,0,NULL),('smallmoney',122,122,4,10,4,NULL),"
    "('sql_variant',98,98,8016,0,0,NULL),"
    "('sysname',231,256,256,0,0,'SQL_Latin1_General_CP1_CI_AS'),"
    "('text',35,35,16,0,0,'SQL_Latin1_General_CP1_CI_AS'),('tinyint',48,48,1,3,0,NULL),"
    "('uniqueidentifier',36,36,16,0,0,NULL),('varbinary',165,165,8000,0,0,NULL),"
    "('varchar',167,167,8000,0,0,'SQL_Latin1_General_CP1_CI_AS'))";

struct ViewPart {
  const ViewColumn* columns;
  size_t count;
};

template <size_t N>
ViewPart Part(const ViewColumn (&c)[N]) {
  return ViewPart{c, N};
}

TableInfo MakeView(const std::string& name, std::vector<ViewPart> parts, const std::string& from) {
  TableInfo info;
  info.name = name;
  info.is_view = true;
  std::string items;
  for (const ViewPart& part : parts) {
    for (size_t i = 0; i < part.count; ++i) {
      const ViewColumn& c = part.columns[i];
      ColumnInfo col;
      col.name = c.name;
      col.type = TypeFromDeclared(c.type);
      col.nullable = c.nullable;
      items += items.empty() ? "" : ", ";
      items += std::string(c.expr) + (col.type.IsText() ? " COLLATE TSQL" : "") + " AS " +
               QuoteName(c.name);
      info.columns.push_back(std::move(col));
    }
  }
  info.sqlite_name = "(SELECT " + items + " FROM " + from + ")";
  return info;
}

// Every view, keyed by "[tempdb.]schema.view" in lower case.
std::map<std::string, TableInfo> MakeViews() {
  std::map<std::string, TableInfo> views;
  for (int temp = 0; temp < 2; ++temp) {
    const std::string where = std::string(" WHERE in_tempdb = ") + (temp ? "1" : "0");
    const std::string prefix = temp ? "tempdb." : "";
    const std::string objects = "t_sys_objects" + where;
    const std::string columns = "t_sys_columns" + where;
    const std::string index_keys = "t_sys_index_keys" + where;
    auto add = [&](const std::string& key, std::vector<ViewPart> parts, const std::string& from) {
      views.emplace(prefix + key, MakeView(key, std::move(parts), from));
    };
    add("sys.objects", {Part(kObjectColumns)}, objects);
    add("sys.tables", {Part(kObjectColumns), Part(kTableColumns)}, objects + " AND type = 'U '");
    add("sys.views", {Part(kObjectColumns), Part(kViewColumns)}, objects + " AND type = 'V '");
    add("sys.procedures", {Part(kObjectColumns), Part(kProcedureColumns)},
        objects + " AND type = 'P '");
    add("sys.sql_modules", {Part(kSqlModuleColumns)}, objects + " AND type <> 'U '");
    add("sys.columns", {Part(kColumnColumns)}, columns + " AND is_parameter = 0");
    add("sys.identity_columns", {Part(kColumnColumns), Part(kIdentityColumns)},
        columns + " AND is_parameter = 0 AND is_identity = 1");
    add("sys.parameters", {Part(kParameterColumns)}, columns + " AND is_parameter = 1");
    add("sys.types", {Part(kTypeColumns)}, kTypeRows);
    add("sys.indexes", {Part(kIndexColumns)}, index_keys + " AND key_ordinal = 1");
    add("sys.index_columns", {Part(kIndexKeyColumns)}, index_keys);
    add("information_schema.tables", {Part(kInfoTableColumns)}, objects + " AND type <> 'P '");
    add("information_schema.columns", {Part(kInfoColumnColumns)},
        columns + " AND is_parameter = 0");
  }
  // The server's spelling of the view names.
  for (auto& [key, info] : views) {
    if (key.find("information_schema.") != std::string::npos) {
      const std::string view = info.name.substr(info.name.find('.') + 1);
      std::string upper;
      for (char ch : view) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
      info.name = "INFORMATION_SCHEMA." + upper;
    }
  }
  return views;
}

// Splits "a.b.c" into its parts, brackets and quotes taken off; "tempdb..x" keeps an
// empty middle part.
std::vector<std::string> SplitName(std::string_view text) {
  std::vector<std::string> parts(1);
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '[') {
      size_t j = i + 1;
      for (; j < text.size(); ++j) {
        if (text[j] == ']') {
          if (j + 1 < text.size() && text[j + 1] == ']') {
            parts.back() += ']';
            ++j;
            continue;
          }
          break;
        }
        parts.back() += text[j];
      }
      i = j;
    } else if (c == '"') {
      size_t j = i + 1;
      for (; j < text.size() && text[j] != '"'; ++j) parts.back() += text[j];
      i = j;
    } else if (c == '.') {
      parts.emplace_back();
    } else if (c != ' ' && c != '\t') {
      parts.back() += c;
    }
  }
  return parts;
}

}  // namespace

std::optional<TableInfo> SystemView(std::string_view name) {
  // Cheap refusal for the names of ordinary statements.
  if (name.find('.') == std::string_view::npos) return std::nullopt;
  std::vector<std::string> parts = SplitName(name);
  if (parts.size() < 2 || parts.size() > 3) return std::nullopt;
  std::string key = AsciiLower(parts[parts.size() - 2]) + "." + AsciiLower(parts.back());
  if (parts.size() == 3 && AsciiLower(parts[0]) == "tempdb") key = "tempdb." + key;
  static const std::map<std::string, TableInfo> views = MakeViews();
  auto it = views.find(key);
  if (it == views.end()) return std::nullopt;
  return it->second;
}

void RegisterSystemCatalog(sqlite3* db, const SqliteCatalog* catalog,
                           const std::string& database_name) {
  auto add = [&](const char* module, Source what) {
    auto* data = new SourceData{what, catalog, database_name};
    int rc = sqlite3_create_module_v2(db, module, &kModule, data,
                                      [](void* p) { delete static_cast<SourceData*>(p); });
    if (rc != SQLITE_OK) throw ErrorFromSqlite(db, rc);
  };
  add("t_sys_objects", Source::kObjects);
  add("t_sys_columns", Source::kColumns);
  add("t_sys_index_keys", Source::kIndexKeys);
  auto* name = new std::string(database_name);
  sqlite3_create_function_v2(db, "t_db_name", 0, SQLITE_UTF8 | SQLITE_DETERMINISTIC, name,
                             DbNameFunction, nullptr, nullptr,
                             [](void* p) { delete static_cast<std::string*>(p); });
}

std::string DatabaseNameOf(const std::string& path) {
  if (path.empty() || path == ":memory:" || path.rfind("file::memory:", 0) == 0) return "memory";
  std::string stem = std::filesystem::path(path).stem().string();
  return stem.empty() ? path : stem;
}

std::string ProductVersionText() {
  return std::string("Morvesk ") + MORVESK_VERSION + " - embedded T-SQL engine over SQLite " +
         sqlite3_libversion();
}

}  // namespace morvesk::engine::exec
