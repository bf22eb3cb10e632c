// Definitions the runtime carries out itself: tables (T-SQL types as SQLite declared
// types, identity as an AUTOINCREMENT rowid, keys as unique indexes), indexes and
// procedures (stored text). Views are in views.cpp.
#include <algorithm>
#include <cctype>

#include "base/ascii.h"
#include "engine/bind/binder.h"
#include "engine/exec/database_impl.h"
#include "engine/exec/interpreter.h"
#include "engine/exec/storage.h"
#include "engine/exec/table_ddl.h"

namespace morvesk::engine::exec {
namespace {

using base::AsciiLower;
using bind::JoinName;

// The keys a CREATE TABLE or an ALTER TABLE ADD brings, checked before anything is made:
// each names columns of the table, no two of them share a name, and of a new table one at
// most is the primary key.
void CheckKeys(const std::string& table, const std::vector<std::string>& columns,
               const std::vector<ast::TableConstraint>& keys) {
  std::vector<std::string> names;
  int primary = 0;
  for (const auto& k : keys) {
    for (const auto& c : k.columns) {
      if (std::none_of(columns.begin(), columns.end(),
                       [&](const std::string& x) { return AsciiLower(x) == AsciiLower(c.name); }))
        throw SqlError(1911, 16,
                       "Column name '" + c.name + "' does not exist in the target table or view.");
    }
    if (!k.name.empty()) {
      if (std::find(names.begin(), names.end(), AsciiLower(k.name)) != names.end())
        AlreadyExists(k.name);
      names.push_back(AsciiLower(k.name));
    }
    if (k.kind == ast::TableConstraint::Kind::kPrimaryKey && ++primary > 1)
      throw SqlError(8110, 16,
                     "Cannot add multiple PRIMARY KEY constraints to table '" + table + "'.");
  }
}

// Makes an index over `columns` of `table`; one that must be unique over rows that already
// repeat a key fails with 1505 and the first such key, as the server reports it, rather than
// as a storage failure.
void MakeIndex(sqlite3* db, const std::string& sql, const std::optional<TableInfo>& table,
               const std::vector<std::string>& columns, const std::string& index) {
  const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
  if (rc == SQLITE_OK) return;
  if (rc == SQLITE_CONSTRAINT_UNIQUE && table) {
    const std::string key = RepeatedKey(db, *table, columns);
    throw SqlError(1505, 16,
                   "The CREATE UNIQUE INDEX statement terminated because a duplicate key was "
                   "found for the object name 'dbo." +
                       table->name + "' and the index name '" + index + "'." +
                       (key.empty() ? "" : " The duplicate key value is (" + key + ")."));
  }
  throw ErrorFromSqlite(db, rc);
}

[[noreturn]] void MissingForDrop(const char* what, const std::string& name) {
  throw SqlError(3701, 11,
                 std::string("Cannot drop the ") + what + " '" + name +
                     "', because it does not exist or you do not have permission.");
}

}  // namespace

void AlreadyExists(const std::string& name) {
  throw SqlError(2714, 16, "There is already an object named '" + name + "' in the database.");
}

std::string Interpreter::ColumnSql(const ast::ColumnDef& col, bool identity_key,
                                   bool force_not_null, Frame& f) {
  std::string sql = QuoteName(col.name) + " ";
  if (identity_key)
    return sql + "INTEGER PRIMARY KEY AUTOINCREMENT" + IdentityRangeClause(col.name, col.type.type);
  const TypeInfo& t = col.type.type;
  sql += DeclaredType(t);
  if (t.IsText()) sql += " COLLATE TSQL";
  if (force_not_null || col.nullable == false || col.identity) sql += " NOT NULL";
  if (col.default_value) {
    const ast::Expr& d = *col.default_value;
    if (d.kind == ast::ExprKind::kFunction &&
        (d.As<ast::FunctionCall>().LowerName() == "getdate" ||
         d.As<ast::FunctionCall>().LowerName() == "current_timestamp")) {
      sql += " DEFAULT (t_getdate())";
    } else {
      // Defaults are constants in this engine: converted once to the column's storage form.
      Value v = Convert(Eval(d, f), t);
      sql += " DEFAULT (" + StorageLiteral(v) + ")";
    }
  }
  return sql;
}

void Interpreter::AddConstraint(const std::string& table, bool temp, const ast::TableConstraint& k,
                                int ordinal) {
  bool pk = k.kind == ast::TableConstraint::Kind::kPrimaryKey;
  std::string name =
      !k.name.empty() ? k.name
                      : std::string(pk ? "PK__" : "UQ__") + table + "__" + std::to_string(ordinal);
  std::string cols;
  std::vector<std::string> names;
  for (const auto& c : k.columns) {
    cols += (cols.empty() ? "" : ", ") + QuoteName(c.name) + (c.descending ? " DESC" : "");
    names.push_back(c.name);
  }
  MakeIndex(c_.sql_,
            "CREATE UNIQUE INDEX " + SchemaOf(temp) + "." +
                QuoteName(IndexSqliteName(table, pk ? "PK" : "UQ", name)) + " ON " +
                QuoteName(table) + "(" + cols + ")",
            c_.catalog_.FindTable(temp ? table : "dbo." + table), names, name);
}

void Interpreter::CreateTable(const ast::CreateTableStmt& s, Frame& f) {
  std::string name = s.table.back();
  bool temp = !name.empty() && name[0] == '#';
  if (c_.catalog_.ObjectKind(JoinName(s.table))) AlreadyExists(name);

  for (size_t i = 0; i < s.columns.size(); ++i) {
    for (size_t k = 0; k < i; ++k) {
      if (AsciiLower(s.columns[k].name) == AsciiLower(s.columns[i].name)) {
        throw SqlError(2705, 16,
                       "Column names in each table must be unique. Column name '" +
                           s.columns[i].name + "' in table '" + name +
                           "' is specified more than once.");
      }
    }
  }
  const ast::ColumnDef* identity = nullptr;
  for (const auto& col : s.columns) {
    if (!col.identity) continue;
    if (identity) {
      throw SqlError(2744, 16,
                     "Multiple identity columns specified for table '" + name +
                         "'. Only one identity column per table is allowed.");
    }
    if (col.identity_increment != 1) {
      throw SqlError(ast::kNotSupportedError, 16,
                     "IDENTITY with an increment other than 1 is not supported by this engine.");
    }
    identity = &col;
  }
  std::vector<std::string> column_names;
  for (const auto& col : s.columns) column_names.push_back(col.name);
  CheckKeys(name, column_names, s.constraints);
  std::vector<std::string> key_columns;
  for (const auto& k : s.constraints) {
    if (k.kind != ast::TableConstraint::Kind::kPrimaryKey) continue;
    for (const auto& c : k.columns) key_columns.push_back(AsciiLower(c.name));
  }
  // A table and its keys (and for a permanent table, the views translated again over it)
  // are one change.
  if (!temp || !s.constraints.empty()) {
    AllOrNothing([&] { MakeTable(s, f, key_columns, identity); });
  } else {
    MakeTable(s, f, key_columns, identity);
  }
}

void Interpreter::MakeTable(const ast::CreateTableStmt& s, Frame& f,
                            const std::vector<std::string>& key_columns,
                            const ast::ColumnDef* identity) {
  const std::string name = s.table.back();
  const bool temp = !name.empty() && name[0] == '#';
  std::string sql = "CREATE TABLE " + SchemaOf(temp) + "." + QuoteName(name) + "(";
  for (size_t i = 0; i < s.columns.size(); ++i) {
    const auto& col = s.columns[i];
    bool in_key = std::find(key_columns.begin(), key_columns.end(), AsciiLower(col.name)) !=
                  key_columns.end();
    sql += (i ? ", " : "") + ColumnSql(col, &col == identity, in_key, f);
  }
  if (identity) sql += ", " + IdentitySeedClause(identity->identity_seed);
  sql += ")";
  const bool revived = temp && c_.catalog_.ReviveTemp(name, sql);
  if (revived) {
    ++c_.stats_.temp_reuses;
  } else {
    ExecSql(c_.sql_, sql);
  }
  if (identity && identity->identity_seed != 1) {
    ExecSql(c_.sql_, "INSERT INTO " + SchemaOf(temp) + ".sqlite_sequence(name, seq) VALUES(" +
                         QuoteText(name) + ", " + std::to_string(identity->identity_seed - 1) +
                         ")");
  }
  int ordinal = 0;
  for (const auto& k : s.constraints) {
    ++ordinal;
    // A key on the identity column alone is the rowid itself.
    if (identity && k.columns.size() == 1 &&
        AsciiLower(k.columns[0].name) == AsciiLower(identity->name))
      continue;
    AddConstraint(name, temp, k, ordinal);
  }
  if (!revived || !s.constraints.empty()) c_.catalog_.Bump(name);
  if (temp && !f.procedure.empty()) f.temp_tables_created.push_back(name);
  if (!temp) RefreshViews();
}

void Interpreter::AllOrNothing(const std::function<void()>& change) {
  ExecSql(c_.sql_, "SAVEPOINT tsql_ddl");
  try {
    change();
  } catch (...) {
    sqlite3_exec(c_.sql_, "ROLLBACK TO tsql_ddl; RELEASE tsql_ddl", nullptr, nullptr, nullptr);
    c_.catalog_.Bump();
    throw;
  }
  ExecSql(c_.sql_, "RELEASE tsql_ddl");
}

void Interpreter::AlterTableAdd(const ast::AlterTableAddStmt& s, Frame& f) {
  // Columns are added one by one and keys after them: a key its rows break undoes them all.
  AllOrNothing([&] { AddToTable(s, f); });
}

void Interpreter::AddToTable(const ast::AlterTableAddStmt& s, Frame& f) {
  auto info = c_.catalog_.FindTable(JoinName(s.table));
  if (!info || info->is_view) {
    throw SqlError(4902, 16,
                   "Cannot find the object \"" + JoinName(s.table) +
                       "\" because it does not exist or you do not have permissions.");
  }
  std::vector<std::string> column_names;
  for (const auto& c : info->columns) column_names.push_back(c.name);
  for (const auto& c : s.columns) column_names.push_back(c.name);
  CheckKeys(info->name, column_names, s.constraints);
  for (const auto& col : s.columns) {
    if (info->Find(col.name)) {
      throw SqlError(2705, 16,
                     "Column names in each table must be unique. Column name '" + col.name +
                         "' in table '" + info->name + "' is specified more than once.");
    }
    if (col.identity) {
      throw SqlError(ast::kNotSupportedError, 16,
                     "ALTER TABLE ADD of an IDENTITY column is not supported by this engine.");
    }
    if (col.nullable == false && !col.default_value) {
      throw SqlError(
          4901, 16,
          "ALTER TABLE only allows columns to be added that can contain nulls, or have a DEFAULT "
          "definition specified, or the column being added is an identity or timestamp column, "
          "or alternatively if none of the previous conditions are satisfied the table must be "
          "empty to allow addition of this column. Column '" +
              col.name + "' cannot be added to non-empty table '" + info->name +
              "' because it does not satisfy these conditions.");
    }
    // DEFAULT NULL fills the rows already there with NULL, which the column refuses.
    if (col.nullable == false && col.default_value &&
        col.default_value->kind == ast::ExprKind::kNull) {
      Stmt any = Prepare(c_.sql_, "SELECT 1 FROM " + info->sqlite_name + " LIMIT 1");
      if (sqlite3_step(any.get()) == SQLITE_ROW) {
        const std::string where =
            (info->is_temp ? std::string("tempdb") : c_.db_->name()) + ".dbo." + info->name;
        throw SqlError(515, 16,
                       "Cannot insert the value NULL into column '" + col.name + "', table '" +
                           where + "'; column does not allow nulls. ALTER TABLE fails.");
      }
    }
    ExecSql(c_.sql_,
            "ALTER TABLE " + info->sqlite_name + " ADD COLUMN " + ColumnSql(col, false, false, f));
  }
  int ordinal = 100;
  for (const auto& k : s.constraints) AddConstraint(info->name, info->is_temp, k, ++ordinal);
  c_.catalog_.Bump();
}

void Interpreter::CreateIndex(const ast::CreateIndexStmt& s) {
  auto info = c_.catalog_.FindTable(JoinName(s.table));
  if (!info || info->is_view) {
    throw SqlError(1088, 16,
                   "Cannot find the object \"" + JoinName(s.table) +
                       "\" because it does not exist or you do not have permissions.");
  }
  std::string sqlite_name = IndexSqliteName(info->name, s.unique ? "UX" : "IX", s.name);
  Stmt q = Prepare(c_.sql_,
                   "SELECT 1 FROM " + SchemaOf(info->is_temp) +
                       ".sqlite_schema WHERE type = 'index' AND tbl_name = ?1 COLLATE NOCASE AND "
                       "(name = ?2 COLLATE NOCASE OR name = ?3 COLLATE NOCASE)");
  std::string ix = IndexSqliteName(info->name, "IX", s.name),
              ux = IndexSqliteName(info->name, "UX", s.name);
  sqlite3_bind_text(q.get(), 1, info->name.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_text(q.get(), 2, ix.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_text(q.get(), 3, ux.c_str(), -1, SQLITE_TRANSIENT);
  if (sqlite3_step(q.get()) == SQLITE_ROW) {
    throw SqlError(1913, 16,
                   "The operation failed because an index or statistics with name '" + s.name +
                       "' already exists on table '" + info->name + "'.");
  }
  std::string cols;
  std::vector<std::string> names;
  for (const auto& c : s.columns) {
    if (!info->Find(c.name))
      throw SqlError(1911, 16,
                     "Column name '" + c.name + "' does not exist in the target table or view.");
    cols += (cols.empty() ? "" : ", ") + QuoteName(c.name) + (c.descending ? " DESC" : "");
    names.push_back(c.name);
  }
  MakeIndex(c_.sql_,
            std::string("CREATE ") + (s.unique ? "UNIQUE " : "") + "INDEX " +
                SchemaOf(info->is_temp) + "." + QuoteName(sqlite_name) + " ON " +
                QuoteName(info->name) + "(" + cols + ")",
            info, names, s.name);
}

void Interpreter::DropIndex(const ast::DropIndexStmt& s) {
  for (const auto& target : s.indexes) {
    auto info = c_.catalog_.FindTable(JoinName(target.table));
    std::string found;
    if (info) {
      Stmt q = Prepare(c_.sql_,
                       "SELECT name FROM " + SchemaOf(info->is_temp) +
                           ".sqlite_schema WHERE type = 'index' AND tbl_name = ?1 COLLATE NOCASE");
      sqlite3_bind_text(q.get(), 1, info->name.c_str(), -1, SQLITE_TRANSIENT);
      while (sqlite3_step(q.get()) == SQLITE_ROW) {
        std::string n = ColumnText(q.get(), 0);
        size_t p = n.rfind('$');
        if (p != std::string::npos && AsciiLower(n.substr(p + 1)) == AsciiLower(target.index))
          found = n;
      }
    }
    if (found.empty()) {
      if (s.if_exists) continue;
      throw SqlError(3701, 11,
                     "Cannot drop the index '" + JoinName(target.table) + "." + target.index +
                         "', because it does not exist or you do not have permission.");
    }
    ExecSql(c_.sql_, "DROP INDEX " + SchemaOf(info->is_temp) + "." + QuoteName(found));
  }
}

void Interpreter::Drop(const ast::DropStmt& s, Frame& f) {
  for (const auto& n : s.names) {
    std::string full = JoinName(n);
    auto kind = c_.catalog_.ObjectKind(full);
    switch (s.object) {
      case ast::DropStmt::Object::kTable: {
        if (kind != 'U') {
          if (s.if_exists) continue;
          MissingForDrop("table", n.back());
        }
        auto info = c_.catalog_.FindTable(full);
        const bool retired = c_.catalog_.RetireTemp(*info);
        if (!retired) ExecSql(c_.sql_, "DROP TABLE " + info->sqlite_name);
        auto& created = f.temp_tables_created;
        created.erase(std::remove_if(created.begin(), created.end(),
                                     [&](const std::string& x) {
                                       return AsciiLower(x) == AsciiLower(info->name);
                                     }),
                      created.end());
        if (!retired) c_.catalog_.Bump(info->name);  // a retired table is hidden already
        continue;
      }
      case ast::DropStmt::Object::kView: {
        if (kind != 'V') {
          if (s.if_exists) continue;
          MissingForDrop("view", n.back());
        }
        auto info = c_.catalog_.FindTable(full);
        ExecSql(c_.sql_, "DROP VIEW " + info->sqlite_name);
        c_.catalog_.EraseObject(n.back());
        break;
      }
      case ast::DropStmt::Object::kProcedure:
        if (kind != 'P') {
          if (s.if_exists) continue;
          MissingForDrop("procedure", n.back());
        }
        c_.catalog_.EraseObject(n.back());
        break;
    }
    c_.catalog_.Bump();
  }
}

void Interpreter::Truncate(const ast::TruncateStmt& s) {
  auto info = c_.catalog_.FindTable(JoinName(s.table));
  if (!info || info->is_view) {
    throw SqlError(4701, 16,
                   "Cannot find the object \"" + JoinName(s.table) +
                       "\" because it does not exist or you do not have permissions.");
  }
  ExecSql(c_.sql_, "DELETE FROM " + info->sqlite_name);
  for (const auto& col : info->columns) {
    if (!col.identity) continue;
    // TRUNCATE starts the identity over at its seed.
    std::string schema = SchemaOf(info->is_temp);
    ExecSql(c_.sql_, "UPDATE " + schema +
                         ".sqlite_sequence SET seq = " + std::to_string(col.identity_seed - 1) +
                         " WHERE name = " + QuoteText(info->name));
  }
}

void Interpreter::CreateProcedure(const ast::CreateProcedureStmt& s, Frame& /*f*/) {
  std::string name = s.name.back();
  auto kind = c_.catalog_.ObjectKind(JoinName(s.name));
  const bool alter = s.alter || (s.or_alter && kind == 'P');
  if (kind && !(alter && kind == 'P')) AlreadyExists(name);
  if (alter && kind != 'P') throw SqlError(208, 16, "Invalid object name '" + name + "'.");
  std::vector<ProcParamInfo> params;
  for (const auto& p : s.params) {
    ProcParamInfo info;
    info.name = p.name;
    info.type = p.type.type;
    info.output = p.output;
    if (p.default_value) {
      info.has_default = true;
      info.default_literal = ast::ToSql(*p.default_value);
    }
    params.push_back(std::move(info));
  }
  if (kind) c_.catalog_.EraseObject(name);
  c_.catalog_.RecordProcedure(name, s.text, params);
}

}  // namespace morvesk::engine::exec
