#include "engine/exec/sqlite_catalog.h"

#include <algorithm>
#include <cctype>
#include <functional>

#include "base/ascii.h"
#include "engine/bind/object_id.h"
#include "engine/exec/plan_catalog.h"
#include "engine/exec/sqlite_util.h"
#include "engine/exec/system_catalog.h"
#include "engine/exec/table_ddl.h"

namespace morvesk::engine::exec {
namespace {

constexpr char kFieldSep = '\x1f';
constexpr char kRowSep = '\x1e';

using base::AsciiLower;

std::vector<std::vector<std::string>> SplitRecords(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find(kRowSep, pos);
    if (end == std::string::npos) end = text.size();
    std::vector<std::string> fields;
    size_t f = pos;
    while (true) {
      size_t e = text.find(kFieldSep, f);
      if (e == std::string::npos || e > end) {
        fields.emplace_back(text.substr(f, end - f));
        break;
      }
      fields.emplace_back(text.substr(f, e - f));
      f = e + 1;
    }
    rows.push_back(std::move(fields));
    pos = end + 1;
  }
  return rows;
}

// A name with no qualifier, brackets, quotes or blanks ("#TmpBal_2", "t_ICItem") is its own
// object name.
bool IsPlainName(std::string_view name) {
  return !name.empty() && name.find_first_of("[\".") == std::string_view::npos &&
         std::none_of(name.begin(), name.end(),
                      [](char c) { return std::isspace(static_cast<unsigned char>(c)); });
}

}  // namespace

ObjectName ParseObjectName(std::string_view text) {
  std::vector<std::string> parts;
  std::string cur;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '[') {
      size_t j = i + 1;
      while (j < text.size()) {
        if (text[j] == ']') {
          if (j + 1 < text.size() && text[j + 1] == ']') {
            cur += ']';
            j += 2;
            continue;
          }
          break;
        }
        cur += text[j++];
      }
      i = j;
    } else if (c == '"') {
      size_t j = i + 1;
      while (j < text.size() && text[j] != '"') cur += text[j++];
      i = j;
    } else if (c == '.') {
      parts.push_back(std::move(cur));
      cur.clear();
    } else if (!std::isspace(static_cast<unsigned char>(c))) {
      cur += c;
    }
  }
  parts.push_back(std::move(cur));
  ObjectName n;
  n.name = parts.back();
  n.temp = !n.name.empty() && n.name[0] == '#';
  return n;
}

TypeInfo TypeFromDeclared(std::string_view declared) {
  std::string d = AsciiLower(declared);
  size_t paren = d.find('(');
  std::string name = d.substr(0, paren);
  while (!name.empty() && name.back() == ' ') name.pop_back();
  std::optional<int> a1, a2;
  if (paren != std::string::npos) {
    std::string args = d.substr(paren + 1);
    size_t comma = args.find(',');
    std::string first = args.substr(0, comma);
    if (first.find("max") != std::string::npos) {
      a1 = -1;
    } else {
      a1 = std::atoi(first.c_str());
    }
    if (comma != std::string::npos) a2 = std::atoi(args.c_str() + comma + 1);
  }
  if (auto t = ParseTypeName(name, a1, a2)) return *t;
  if (d.find("int") != std::string::npos) return TypeInfo::Of(TypeKind::kInt);
  if (d.find("real") != std::string::npos || d.find("floa") != std::string::npos ||
      d.find("doub") != std::string::npos)
    return TypeInfo::Of(TypeKind::kFloat);
  if (d.find("char") != std::string::npos || d.find("text") != std::string::npos)
    return TypeInfo::VarChar(-1);
  return TypeInfo::Of(TypeKind::kNull);
}

void SqliteCatalog::EnsureMetadata(sqlite3* db) {
  ExecSql(db,
          "CREATE TABLE IF NOT EXISTS main.__tsql_objects("
          "name_key TEXT PRIMARY KEY, name TEXT NOT NULL, kind TEXT NOT NULL, "
          "definition TEXT, columns TEXT)");
}

void SqliteCatalog::EnsureTempMetadata(sqlite3* db) {
  // Keyed by the name alone, one b-tree: a loop marks and unmarks its tables in every batch.
  ExecSql(
      db,
      "CREATE TABLE IF NOT EXISTS temp.__tsql_dropped(name_key TEXT PRIMARY KEY) WITHOUT ROWID");
  // Temporary procedures (#name) belong to the session, as #temp tables do: they are
  // recorded in the connection's temporary schema, never in the company file.
  ExecSql(db,
          "CREATE TABLE IF NOT EXISTS temp.__tsql_objects("
          "name_key TEXT PRIMARY KEY, name TEXT NOT NULL, kind TEXT NOT NULL, "
          "definition TEXT, columns TEXT)");
}

namespace {

// SQLite keeps a CREATE TABLE text as it was given, less the schema name.
std::string StoredCreateText(std::string_view create_sql) {
  constexpr std::string_view kHead = "CREATE TABLE ";
  if (create_sql.rfind(kHead, 0) != 0) return std::string(create_sql);
  std::string_view rest = create_sql.substr(kHead.size());
  for (std::string_view schema : {"temp.", "\"temp\"."}) {
    if (rest.rfind(schema, 0) == 0) rest.remove_prefix(schema.size());
  }
  return std::string(kHead) + std::string(rest);
}

// Runs a statement of one parameter, a table name; true when it gave a row.
bool StepWithName(sqlite3* db, const Stmt& s, const std::string& name) {
  sqlite3_bind_text(s.get(), 1, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
  int rc = sqlite3_step(s.get());
  sqlite3_reset(s.get());
  if (rc != SQLITE_DONE && rc != SQLITE_ROW) throw ErrorFromSqlite(db, rc);
  return rc == SQLITE_ROW;
}

}  // namespace

int64_t SqliteCatalog::TempSchemaCookie() {
  if (!temp_cookie_) temp_cookie_ = Prepare(db_, "PRAGMA temp.schema_version");
  sqlite3_stmt* s = temp_cookie_.get();
  const int rc = sqlite3_step(s);
  const int64_t v = rc == SQLITE_ROW ? sqlite3_column_int64(s, 0) : 0;
  sqlite3_reset(s);
  if (rc != SQLITE_ROW) throw ErrorFromSqlite(db_, rc);
  return v;
}

const SqliteCatalog::TempFacts& SqliteCatalog::FactsOf(const TableInfo& table) {
  const int64_t cookie = TempSchemaCookie();
  TempFacts& f = temp_facts_[AsciiLower(table.name)];
  // A loop that drops and makes the same working tables leaves the temp schema alone
  // (they are retired and revived, not dropped): its facts are read once.
  if (f.cookie == cookie && f.structure == structure_version_ && f.name == table.name) return f;
  f = TempFacts{};
  if (!retire_check_) {
    // Any index but the runtime's own automatic ones, or an identity (its counter lives
    // in sqlite_sequence), makes the table one to drop for real.
    retire_check_ = Prepare(db_,
                            "SELECT 1 FROM temp.sqlite_schema WHERE tbl_name = ?1 AND "
                            "((type = 'index' AND name NOT LIKE '\\_\\_auto\\_%' ESCAPE '\\') OR "
                            "(type = 'table' AND sql LIKE '%AUTOINCREMENT%'))");
  }
  f.own_index_or_identity = StepWithName(db_, retire_check_, table.name);
  if (!facts_sql_) facts_sql_ = Prepare(db_, "SELECT sql FROM temp.sqlite_schema WHERE name = ?1");
  sqlite3_stmt* q = facts_sql_.get();
  sqlite3_bind_text(q, 1, table.name.data(), static_cast<int>(table.name.size()), SQLITE_TRANSIENT);
  const int rc = sqlite3_step(q);
  f.found = rc == SQLITE_ROW;
  if (f.found) f.stored_sql = ColumnText(q, 0);
  sqlite3_reset(q);
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) throw ErrorFromSqlite(db_, rc);
  f.name = table.name;
  f.cookie = cookie;
  f.structure = structure_version_;
  return f;
}

Stmt& SqliteCatalog::ClearStatement(const std::string& sqlite_name) {
  Stmt& st = clear_[sqlite_name];
  if (!st) st = Prepare(db_, "DELETE FROM " + sqlite_name);
  return st;
}

bool SqliteCatalog::RetireTemp(const TableInfo& table) {
  if (!table.is_temp || table.is_view) return false;
  const TempFacts& facts = FactsOf(table);
  if (facts.own_index_or_identity) return false;
  const bool found = facts.found;
  std::string stored = facts.stored_sql;
  {
    sqlite3_stmt* clear = ClearStatement(table.sqlite_name).get();
    const int rc = sqlite3_step(clear);
    sqlite3_reset(clear);
    if (rc != SQLITE_DONE) {
      clear_.erase(table.sqlite_name);
      throw ErrorFromSqlite(db_, rc);
    }
  }
  if (!retire_mark_)
    retire_mark_ = Prepare(db_, "INSERT INTO temp.__tsql_dropped VALUES(lower(?1))");
  StepWithName(db_, retire_mark_, table.name);
  const std::string key = AsciiLower(table.name);
  // The lookup the table has now travels with it, stamp and all, when it is what the
  // caller passed: plans that saw the table see the same one when it is brought back.
  Retired kept{std::move(stored), table, next_stamp_++};
  auto known = tables_.find(key);
  if (known != tables_.end() && known->second.info && SameTable(*known->second.info, table)) {
    kept.info = std::move(*known->second.info);
    kept.stamp = known->second.stamp;
  }
  BumpVisibility(table.name);
  tables_[key] = Known{std::nullopt, next_stamp_++};  // hidden: no table of that name now
  if (found) {
    retired_[key] = std::move(kept);
  } else {
    retired_.erase(key);
  }
  return true;
}

bool SqliteCatalog::ReviveTemp(const std::string& name, const std::string& create_sql) {
  if (!revive_find_) {
    revive_find_ = Prepare(db_,
                           "SELECT s.name, s.sql FROM temp.sqlite_schema AS s JOIN "
                           "temp.__tsql_dropped AS d ON d.name_key = lower(s.name) "
                           "WHERE s.type = 'table' AND d.name_key = lower(?1)");
    revive_unmark_ = Prepare(db_, "DELETE FROM temp.__tsql_dropped WHERE name_key = lower(?1)");
  }
  const std::string key = AsciiLower(name);
  auto kept = retired_.find(key);
  if (kept != retired_.end() && kept->second.info.name == name &&
      kept->second.create_sql == StoredCreateText(create_sql)) {
    // This connection retired that very table, and since then no rollback and no change
    // of definitions has made it forget so: it is hidden still, under the same text.
    StepWithName(db_, revive_unmark_, name);
    BumpVisibility(name);
    tables_[key] = Known{std::move(kept->second.info), kept->second.stamp};
    retired_.erase(kept);
    return true;
  }
  sqlite3_stmt* find = revive_find_.get();
  sqlite3_bind_text(find, 1, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
  int rc = sqlite3_step(find);
  if (rc != SQLITE_ROW) {
    sqlite3_reset(find);
    if (rc != SQLITE_DONE) throw ErrorFromSqlite(db_, rc);
    return false;
  }
  const std::string hidden = ColumnText(find, 0), stored = ColumnText(find, 1);
  sqlite3_reset(find);
  const bool same = hidden == name && stored == StoredCreateText(create_sql);
  if (!same) ExecSql(db_, "DROP TABLE temp." + QuoteName(hidden));
  StepWithName(db_, revive_unmark_, name);
  if (!same) {
    Bump(name);  // forgets the hidden table's definition too
    return false;
  }
  BumpVisibility(name);
  // The same physical table under the same definition: its columns are what they were.
  if (kept != retired_.end()) {
    if (kept->second.create_sql == stored && kept->second.info.name == name)
      tables_[key] = Known{std::move(kept->second.info), kept->second.stamp};
    retired_.erase(kept);
  }
  return true;
}

void SqliteCatalog::Bump() {
  ++version_;
  ++structure_version_;
  tables_.clear();
  retired_.clear();
  temp_facts_.clear();
}

void SqliteCatalog::Bump(std::string_view table) {
  ++structure_version_;
  retired_.erase(AsciiLower(ParseObjectName(table).name));
  BumpVisibility(table);
}

void SqliteCatalog::BumpVisibility(std::string_view table) {
  ++version_;
  const std::string lower = AsciiLower(table);
  if (!IsPlainName(table)) tables_.erase(AsciiLower(ParseObjectName(table).name));
  // Callers may pass a table's own name as declared ("x y"), which is not a name text.
  tables_.erase(lower);
}

void SqliteCatalog::SyncWithFile() {
  if (!schema_version_) schema_version_ = Prepare(db_, "PRAGMA main.schema_version");
  sqlite3_stmt* s = schema_version_.get();
  int64_t v = sqlite3_step(s) == SQLITE_ROW ? sqlite3_column_int64(s, 0) : 0;
  sqlite3_reset(s);
  if (v != file_schema_version_) {
    file_schema_version_ = v;
    Bump();
  }
}

std::optional<TableInfo> SqliteCatalog::FindTable(std::string_view name) const {
  return *LookupTable(name).info;
}

SqliteCatalog::Answer SqliteCatalog::LookupTable(std::string_view name) const {
  // sys.tables and its kin: their qualifier is part of their name.
  if (auto view = SystemView(name)) {
    system_view_ = std::move(view);
    return {&system_view_, 0};
  }
  const bool plain = IsPlainName(name);
  ObjectName n;
  if (!plain) {
    n = ParseObjectName(name);
    if (n.name.empty()) {
      system_view_.reset();
      return {&system_view_, 0};
    }
  }
  std::string key = AsciiLower(plain ? name : std::string_view(n.name));
  auto it = tables_.find(key);
  if (it == tables_.end()) {
    if (plain) {
      n.name = std::string(name);
      n.temp = n.name[0] == '#';
    }
    Known k{LoadTable(n), next_stamp_++};
    it = tables_.emplace(std::move(key), std::move(k)).first;
  }
  return {&it->second.info, it->second.stamp};
}

std::optional<TableInfo> SqliteCatalog::LoadTable(const ObjectName& n) const {
  const char* schema = n.temp ? "temp" : "main";
  Stmt& find = find_table_[n.temp ? 1 : 0];
  if (!find) {
    // Hidden #temp tables kept for reuse do not exist for T-SQL.
    find = Prepare(db_, std::string("SELECT name, type, sql FROM ") + schema +
                            ".sqlite_schema WHERE type IN ('table','view') AND name = ?1 COLLATE "
                            "NOCASE" +
                            (n.temp ? " AND NOT EXISTS (SELECT 1 FROM temp.__tsql_dropped "
                                      "WHERE name_key = lower(?1))"
                                    : ""));
  }
  sqlite3_stmt* s = find.get();
  sqlite3_bind_text(s, 1, n.name.data(), static_cast<int>(n.name.size()), SQLITE_TRANSIENT);
  int rc = sqlite3_step(s);
  if (rc == SQLITE_DONE) {
    sqlite3_reset(s);
    return std::nullopt;
  }
  if (rc != SQLITE_ROW) {
    sqlite3_reset(s);
    throw ErrorFromSqlite(db_, rc);
  }
  TableInfo info;
  info.name = ColumnText(s, 0);
  info.is_view = ColumnText(s, 1) == "view";
  std::string create_sql = ColumnText(s, 2);
  sqlite3_reset(s);
  // The engine's and the storage's own tables (the object list, identity counters,
  // statistics) are no T-SQL objects: reading or writing them by name finds nothing.
  if (info.name.rfind("__tsql_", 0) == 0 || AsciiLower(info.name).rfind("sqlite_", 0) == 0)
    return std::nullopt;
  info.is_temp = n.temp;
  bool autoincrement = AsciiLower(create_sql).find("autoincrement") != std::string::npos;
  info.sqlite_name = std::string(schema) + "." + QuoteName(info.name);
  info.is_compound_view =
      info.is_view && AsciiLower(create_sql).find(" union ") != std::string::npos;

  if (info.is_view) {
    auto obj = LoadObject(AsciiLower(info.name));
    if (obj) {
      for (auto& f : SplitRecords(obj->columns)) {
        if (f.size() < 3) continue;
        ColumnInfo c;
        c.name = f[0];
        c.type = TypeFromDeclared(f[1]);
        c.nullable = f[2] == "1";
        info.columns.push_back(std::move(c));
      }
      if (info.is_compound_view) {
        if (auto arms = LoadObject(AsciiLower(info.name) + kFieldSep + "arms")) {
          for (auto& f : SplitRecords(arms->definition)) {
            if (f.size() != info.columns.size() + 1) {
              info.view_arms.clear();  // written for other columns: not used
              break;
            }
            ViewArm arm;
            arm.body = f[0];
            arm.items.assign(f.begin() + 1, f.end());
            info.view_arms.push_back(std::move(arm));
          }
        }
      }
      return info;
    }
  }
  if (!table_columns_) table_columns_ = Prepare(db_, "SELECT * FROM pragma_table_xinfo(?1, ?2)");
  sqlite3_stmt* cols = table_columns_.get();
  sqlite3_bind_text(cols, 1, info.name.data(), static_cast<int>(info.name.size()),
                    SQLITE_TRANSIENT);
  sqlite3_bind_text(cols, 2, schema, -1, SQLITE_STATIC);
  struct ResetOnExit {
    sqlite3_stmt* st;
    ~ResetOnExit() { sqlite3_reset(st); }
  } reset_cols{cols};
  while (sqlite3_step(cols) == SQLITE_ROW) {
    if (sqlite3_column_int(cols, 6) != 0) continue;  // hidden
    ColumnInfo c;
    c.name = ColumnText(cols, 1);
    std::string declared = ColumnText(cols, 2);
    c.type = TypeFromDeclared(declared);
    c.nullable = sqlite3_column_int(cols, 3) == 0;
    if (sqlite3_column_type(cols, 4) != SQLITE_NULL) {
      c.has_default = true;
      c.default_sql = ColumnText(cols, 4);
    }
    if (sqlite3_column_int(cols, 5) == 1 && declared == "INTEGER" && autoincrement) {
      c.identity = true;
      c.nullable = false;
      c.type = TypeInfo::Of(TypeKind::kInt);
      c.identity_seed = IdentitySeedFromSql(create_sql).value_or(1);
    }
    info.columns.push_back(std::move(c));
  }
  return info;
}

namespace {

// Where the record of an object lives: a #name is the session's own.
std::string ObjectsTable(std::string_view key) {
  return !key.empty() && key[0] == '#' ? "temp.__tsql_objects" : "main.__tsql_objects";
}

}  // namespace

std::optional<SqliteCatalog::ObjectRow> SqliteCatalog::LoadObject(std::string_view key) const {
  Stmt s = Prepare(db_, "SELECT name, kind, definition, columns FROM " + ObjectsTable(key) +
                            " WHERE name_key = ?1");
  sqlite3_bind_text(s.get(), 1, key.data(), static_cast<int>(key.size()), SQLITE_TRANSIENT);
  int rc = sqlite3_step(s.get());
  if (rc == SQLITE_DONE) return std::nullopt;
  if (rc != SQLITE_ROW) throw ErrorFromSqlite(db_, rc);
  return ObjectRow{ColumnText(s.get(), 0), ColumnText(s.get(), 1), ColumnText(s.get(), 2),
                   ColumnText(s.get(), 3)};
}

std::optional<std::vector<ProcParamInfo>> SqliteCatalog::FindProcedure(
    std::string_view name) const {
  ObjectName n = ParseObjectName(name);
  auto obj = LoadObject(AsciiLower(n.name));
  if (!obj || obj->kind != "P") return std::nullopt;
  std::vector<ProcParamInfo> params;
  for (auto& f : SplitRecords(obj->columns)) {
    if (f.size() < 5) continue;
    ProcParamInfo p;
    p.name = f[0];
    p.type = TypeFromDeclared(f[1]);
    p.output = f[2] == "1";
    p.has_default = f[3] == "1";
    p.default_literal = f[4];
    params.push_back(std::move(p));
  }
  return params;
}

std::optional<char> SqliteCatalog::ObjectKind(std::string_view name) const {
  ObjectName n = ParseObjectName(name);
  // The catalog views are read only: no DDL finds them.
  if (SystemView(name)) return std::nullopt;
  if (auto t = FindTable(name)) return t->is_view ? 'V' : 'U';
  if (auto obj = LoadObject(AsciiLower(n.name))) return obj->kind.empty() ? 'U' : obj->kind[0];
  return std::nullopt;
}

std::string SqliteCatalog::ViewColumnsRecord(const std::vector<ColumnInfo>& columns) {
  std::string cols;
  for (auto& c : columns) {
    cols += c.name + kFieldSep + c.type.ToString() + kFieldSep + (c.nullable ? "1" : "0") + kRowSep;
  }
  return cols;
}

std::vector<SqliteCatalog::ViewSource> SqliteCatalog::ViewSources() const {
  Stmt s = Prepare(db_,
                   "SELECT name, definition, columns FROM main.__tsql_objects WHERE kind = 'V' "
                   "ORDER BY rowid");
  std::vector<ViewSource> views;
  int rc;
  while ((rc = sqlite3_step(s.get())) == SQLITE_ROW)
    views.push_back({ColumnText(s.get(), 0), ColumnText(s.get(), 1), ColumnText(s.get(), 2)});
  if (rc != SQLITE_DONE) throw ErrorFromSqlite(db_, rc);
  return views;
}

void SqliteCatalog::RecordView(const std::string& name, const std::string& definition,
                               const std::vector<ColumnInfo>& columns,
                               const std::vector<ViewArm>& arms) {
  const std::string cols = ViewColumnsRecord(columns);
  const std::string key = AsciiLower(name);
  Stmt s = Prepare(db_, "INSERT OR REPLACE INTO main.__tsql_objects VALUES(?1, ?2, ?3, ?4, ?5)");
  auto put = [&](const std::string& k, const char* kind, const std::string& def,
                 const std::string& extra) {
    sqlite3_bind_text(s.get(), 1, k.data(), static_cast<int>(k.size()), SQLITE_TRANSIENT);
    sqlite3_bind_text(s.get(), 2, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
    sqlite3_bind_text(s.get(), 3, kind, -1, SQLITE_STATIC);
    sqlite3_bind_text(s.get(), 4, def.data(), static_cast<int>(def.size()), SQLITE_TRANSIENT);
    sqlite3_bind_text(s.get(), 5, extra.data(), static_cast<int>(extra.size()), SQLITE_TRANSIENT);
    if (sqlite3_step(s.get()) != SQLITE_DONE) throw ErrorFromSqlite(db_, sqlite3_errcode(db_));
    sqlite3_reset(s.get());
  };
  put(key, "V", definition, cols);
  // The SELECTs of a UNION ALL view, one record each: FROM ... onwards, then the column
  // expressions. Kept under a key no name can have.
  std::string text;
  bool storable = true;
  for (const ViewArm& arm : arms) {
    text += arm.body;
    for (const std::string& item : arm.items) text += kFieldSep + item;
    text += kRowSep;
    storable = storable && arm.body.find_first_of("\x1e\x1f") == std::string::npos;
    for (const std::string& item : arm.items)
      storable = storable && item.find_first_of("\x1e\x1f") == std::string::npos;
  }
  EraseArms(key);
  if (!arms.empty() && storable) put(key + kFieldSep + "arms", "A", text, "");
  Bump();
}

void SqliteCatalog::EraseArms(const std::string& key) {
  Stmt s = Prepare(db_, "DELETE FROM main.__tsql_objects WHERE name_key = ?1");
  const std::string k = key + kFieldSep + "arms";
  sqlite3_bind_text(s.get(), 1, k.data(), static_cast<int>(k.size()), SQLITE_TRANSIENT);
  sqlite3_step(s.get());
}

void SqliteCatalog::RecordProcedure(const std::string& name, const std::string& definition,
                                    const std::vector<ProcParamInfo>& params) {
  std::string cols;
  for (auto& p : params) {
    cols += p.name + kFieldSep + p.type.ToString() + kFieldSep + (p.output ? "1" : "0") +
            kFieldSep + (p.has_default ? "1" : "0") + kFieldSep + p.default_literal + kRowSep;
  }
  std::string key = AsciiLower(name);
  Stmt s = Prepare(db_, "INSERT INTO " + ObjectsTable(key) + " VALUES(?1, ?2, 'P', ?3, ?4)");
  sqlite3_bind_text(s.get(), 1, key.data(), static_cast<int>(key.size()), SQLITE_TRANSIENT);
  sqlite3_bind_text(s.get(), 2, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
  sqlite3_bind_text(s.get(), 3, definition.data(), static_cast<int>(definition.size()),
                    SQLITE_TRANSIENT);
  sqlite3_bind_text(s.get(), 4, cols.data(), static_cast<int>(cols.size()), SQLITE_TRANSIENT);
  if (sqlite3_step(s.get()) != SQLITE_DONE) throw ErrorFromSqlite(db_, sqlite3_errcode(db_));
  Bump();
}

void SqliteCatalog::EraseObject(std::string_view name) {
  std::string key = AsciiLower(ParseObjectName(name).name);
  Stmt s = Prepare(db_, "DELETE FROM " + ObjectsTable(key) + " WHERE name_key = ?1");
  sqlite3_bind_text(s.get(), 1, key.data(), static_cast<int>(key.size()), SQLITE_TRANSIENT);
  sqlite3_step(s.get());
  EraseArms(key);
  Bump();
}

std::optional<std::pair<std::string, std::string>> SqliteCatalog::ProcedureSource(
    std::string_view name) const {
  auto obj = LoadObject(AsciiLower(ParseObjectName(name).name));
  if (!obj || obj->kind != "P") return std::nullopt;
  return std::make_pair(obj->name, obj->definition);
}

std::optional<int64_t> SqliteCatalog::ObjectId(std::string_view name) const {
  ObjectName n = ParseObjectName(name);
  auto t = FindTable(name);
  if (!t) {
    auto obj = LoadObject(AsciiLower(n.name));
    if (!obj) return std::nullopt;
  }
  return t ? ObjectIdOf(t->sqlite_name) : ProcedureObjectId(n.name);
}

}  // namespace morvesk::engine::exec
