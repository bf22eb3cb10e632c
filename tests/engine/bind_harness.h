// Test harness for the translator: an in-memory catalog and variable scope, and a
// tiny statement runner that parses T-SQL, translates each set-based statement and
// executes the produced SQLite steps on a raw :memory: connection with the T-SQL
// function library registered. Values are shown as T-SQL prints them.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "engine/bind/translate.h"
#include "engine/exec/hash_grouping.h"
#include "engine/sql/parser.h"
#include "engine/value/decimal.h"
#include "engine/value/datetime.h"
#include "engine/value/sqlfunc.h"

namespace morvesk::engine::testing {

// A value in SQLite storage form.
struct Cell {
  int storage = SQLITE_NULL;
  int64_t i = 0;
  double d = 0;
  std::string bytes;  // text or blob
};

inline std::string Lc(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

class FakeCatalog : public Catalog {
 public:
  std::optional<TableInfo> FindTable(std::string_view name) const override {
    std::string n(name);
    size_t dot = n.rfind('.');
    if (dot != std::string::npos) n = n.substr(dot + 1);
    auto it = tables.find(Lc(n));
    if (it == tables.end()) return std::nullopt;
    return it->second;
  }
  std::optional<std::vector<ProcParamInfo>> FindProcedure(std::string_view) const override {
    return std::nullopt;
  }
  uint64_t version() const override { return 1; }
  std::map<std::string, TableInfo> tables;
};

class FakeVariables : public VariableScope {
 public:
  const TypeInfo* Find(std::string_view name) const override {
    auto it = vars.find(Lc(std::string(name)));
    return it == vars.end() ? nullptr : &it->second.first;
  }
  std::map<std::string, std::pair<TypeInfo, Cell>> vars;
};

// Column descriptions for tables the tests create: "name type [not null] [identity]".
struct ColumnSpec {
  std::string name;
  TypeInfo type;
  bool nullable = true;
  bool identity = false;
};

inline ColumnSpec Col(std::string name, TypeInfo t, bool nullable = true) {
  return ColumnSpec{std::move(name), t, nullable, false};
}
inline TypeInfo Int() { return TypeInfo::Of(TypeKind::kInt); }
inline TypeInfo Dec(int p, int s) { return TypeInfo::Decimal(p, s); }
inline TypeInfo VarChar(int n) { return TypeInfo::VarChar(n); }
inline TypeInfo DateTimeT() { return TypeInfo::Of(TypeKind::kDateTime); }
inline TypeInfo FloatT() { return TypeInfo::Of(TypeKind::kFloat); }

class BindTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(sqlite3_open(":memory:", &db_), SQLITE_OK);
    RegisterSqlFunctions(db_);
  }
  void TearDown() override { sqlite3_close(db_); }

  void Table(const std::string& name, const std::vector<ColumnSpec>& cols) {
    TableInfo t;
    t.name = name;
    t.is_temp = name[0] == '#';
    t.sqlite_name = std::string(t.is_temp ? "\"temp\"." : "\"main\".") + "\"" + name + "\"";
    std::string sql = "CREATE TABLE " + t.sqlite_name + " (";
    for (size_t i = 0; i < cols.size(); ++i) {
      const ColumnSpec& c = cols[i];
      ColumnInfo ci;
      ci.name = c.name;
      ci.type = c.type;
      ci.nullable = c.nullable && !c.identity;
      ci.identity = c.identity;
      t.columns.push_back(ci);
      std::string decl = c.type.IsText() ? "TEXT COLLATE TSQL"
                         : (c.type.kind == TypeKind::kDecimal) ? "BLOB"
                         : c.type.IsApprox() ? "REAL"
                                             : "INTEGER";
      if (c.identity) decl = "INTEGER PRIMARY KEY AUTOINCREMENT";
      sql += (i ? ", " : "") + std::string("\"") + c.name + "\" " + decl +
             (ci.nullable ? "" : " NOT NULL");
    }
    Exec(sql + ")");
    catalog_.tables[Lc(name)] = t;
  }

  void Declare(const std::string& name, TypeInfo t) { vars_.vars[Lc(name)] = {t, Cell{}}; }

  void Exec(const std::string& sql) {
    char* err = nullptr;
    int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &err);
    std::string msg = err ? err : "";
    sqlite3_free(err);
    ASSERT_EQ(rc, SQLITE_OK) << msg << "\n" << sql;
  }

  // Runs every statement of a T-SQL text (DECLARE, SELECT, INSERT, UPDATE, DELETE).
  // Returns the rows of the last result set, one line per row, cells joined by '|'.
  // Errors come back as "error <number>: <message>".
  std::string Run(const std::string& tsql) {
    last_columns_.clear();
    try {
      sql::Batch batch = sql::ParseBatch(tsql);
      std::vector<TypeInfo> literal_types;
      for (const auto& tok : batch.literals) literal_types.push_back(tok.literal_type);
      std::string result;
      for (const auto& stmt : batch.statements) {
        if (stmt->kind == ast::StmtKind::kDeclare) {
          for (const auto& v : stmt->As<ast::DeclareStmt>().variables) Declare(v.name, v.type.type);
          continue;
        }
        BindContext ctx{catalog_, vars_, literal_types};
        Translation t = Translate(*stmt, ctx);
        last_ = t;
        std::string rows = Execute(t, batch);
        if (t.returns_rows) {
          result = rows;
          last_columns_ = t.columns;
        }
        if (t.creates) catalog_.tables[Lc(t.creates->name)] = *t.creates;
      }
      return result;
    } catch (const SqlError& e) {
      return "error " + std::to_string(e.number) + ": " + e.message;
    }
  }

  // Value of a declared variable as T-SQL prints it.
  std::string Var(const std::string& name) {
    auto& v = vars_.vars.at(Lc(name));
    return Show(v.second, v.first);
  }

  const std::vector<Column>& columns() const { return last_columns_; }
  const Translation& last() const { return last_; }
  FakeCatalog& catalog() { return catalog_; }

  static std::string Show(const Cell& c, const TypeInfo& t) {
    switch (c.storage) {
      case SQLITE_NULL: return "NULL";
      case SQLITE_INTEGER:
        if (t.IsDateTime()) {
          int y, m, d, hh, mi, ss, ms;
          DateTime{c.i}.ToParts(y, m, d, hh, mi, ss, ms);
          char buf[40];
          snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", y, m, d, hh, mi, ss, ms);
          return buf;
        }
        return std::to_string(c.i);
      case SQLITE_FLOAT: {
        char buf[40];
        snprintf(buf, sizeof buf, "%.15g", c.d);
        return buf;
      }
      case SQLITE_BLOB: {
        auto d = DecodeKey(c.bytes);
        if (!d) return "<bad decimal>";
        if (t.kind == TypeKind::kDecimal) {
          auto r = Rescale(*d, t.scale);
          if (r) return r->ToString();
        }
        return d->ToString();
      }
      default: return c.bytes;
    }
  }

 private:
  static Cell ReadCell(sqlite3_value* v) {
    Cell c;
    c.storage = sqlite3_value_type(v);
    if (c.storage == SQLITE_INTEGER) c.i = sqlite3_value_int64(v);
    if (c.storage == SQLITE_FLOAT) c.d = sqlite3_value_double(v);
    if (c.storage == SQLITE_TEXT || c.storage == SQLITE_BLOB)
      c.bytes.assign(static_cast<const char*>(sqlite3_value_blob(v)),
                     static_cast<size_t>(sqlite3_value_bytes(v)));
    return c;
  }

  static void BindCell(sqlite3_stmt* st, int i, const Cell& c) {
    switch (c.storage) {
      case SQLITE_INTEGER: sqlite3_bind_int64(st, i, c.i); break;
      case SQLITE_FLOAT: sqlite3_bind_double(st, i, c.d); break;
      case SQLITE_TEXT: sqlite3_bind_text(st, i, c.bytes.data(), static_cast<int>(c.bytes.size()), SQLITE_TRANSIENT); break;
      case SQLITE_BLOB: sqlite3_bind_blob(st, i, c.bytes.data(), static_cast<int>(c.bytes.size()), SQLITE_TRANSIENT); break;
      default: sqlite3_bind_null(st, i);
    }
  }

  static Cell LiteralCell(const sql::Token& tok) {
    Cell c;
    switch (tok.kind) {
      case sql::TokenKind::kInteger:
        if (tok.literal_type.kind == TypeKind::kDecimal) {
          c.storage = SQLITE_BLOB;
          c.bytes = EncodeKey(*Decimal::Parse(tok.value));
        } else {
          c.storage = SQLITE_INTEGER;
          c.i = std::stoll(tok.value);
        }
        break;
      case sql::TokenKind::kDecimal:
        c.storage = SQLITE_BLOB;
        c.bytes = EncodeKey(*Decimal::Parse(tok.value));
        break;
      case sql::TokenKind::kFloat:
        c.storage = SQLITE_FLOAT;
        c.d = std::stod(tok.value);
        break;
      default:
        c.storage = SQLITE_TEXT;
        c.bytes = tok.value;
    }
    return c;
  }

  // Converts a value to another type's storage form with the library's t_cvt, as
  // the runtime does before binding a parameter.
  Cell ConvertCell(const Cell& c, const TypeInfo& from, const TypeInfo& to) {
    if (from == to || c.storage == SQLITE_NULL || to.kind == TypeKind::kNull) return c;
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db_, "SELECT t_cvt(?1, ?2, ?3, NULL)", -1, &st, nullptr);
    BindCell(st, 1, c);
    std::string f = from.ToString(), t = to.ToString();
    sqlite3_bind_text(st, 2, f.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 3, t.c_str(), -1, SQLITE_TRANSIENT);
    Cell r;
    if (sqlite3_step(st) == SQLITE_ROW) {
      r = ReadCell(sqlite3_column_value(st, 0));
    } else {
      std::string msg = sqlite3_errmsg(db_);
      sqlite3_finalize(st);
      auto e = ParseFunctionError(msg);
      if (e) throw *e;
      throw SqlError(0, 16, msg);
    }
    sqlite3_finalize(st);
    return r;
  }

  std::string Execute(const Translation& t, const sql::Batch& batch) {
    std::string rows;
    Exec("SAVEPOINT stmt");
    try {
      for (size_t s = 0; s < t.steps.size(); ++s) {
        const SqliteStep& step = t.steps[s];
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db_, step.sql.c_str(), -1, &st, nullptr) != SQLITE_OK)
          throw SqlError(-1, 16, std::string("prepare: ") + sqlite3_errmsg(db_) + " in " + step.sql);
        for (size_t i = 0; i < step.params.size(); ++i) {
          const ParamSource& p = step.params[i];
          Cell c;
          TypeInfo from;
          if (p.kind == ParamSource::Kind::kLiteral) {
            c = LiteralCell(batch.literals.at(static_cast<size_t>(p.literal)));
            from = batch.literals.at(static_cast<size_t>(p.literal)).literal_type;
          } else {
            auto& v = vars_.vars.at(Lc(p.variable));
            c = v.second;
            from = v.first;
          }
          BindCell(st, static_cast<int>(i + 1), ConvertCell(c, from, p.type));
        }
        int rc = SQLITE_DONE;
        std::vector<std::vector<Cell>> got;
        if (step.grouping) {
          sqlite3_stmt* ins = nullptr;
          if (sqlite3_prepare_v2(db_, step.grouping->insert_sql.c_str(), -1, &ins, nullptr) != SQLITE_OK)
            throw SqlError(-1, 16, std::string("prepare: ") + sqlite3_errmsg(db_));
          try {
            rc = exec::FillGroups(st, ins, *step.grouping);
          } catch (...) {
            sqlite3_finalize(ins);
            sqlite3_finalize(st);
            throw;
          }
          sqlite3_finalize(ins);
        }
        while (!step.grouping && (rc = sqlite3_step(st)) == SQLITE_ROW) {
          std::vector<Cell> row;
          for (int i = 0; i < sqlite3_column_count(st); ++i) row.push_back(ReadCell(sqlite3_column_value(st, i)));
          got.push_back(std::move(row));
        }
        if (rc != SQLITE_DONE) {
          std::string msg = sqlite3_errmsg(db_);
          sqlite3_finalize(st);
          auto e = ParseFunctionError(msg);
          if (e) throw *e;
          throw SqlError(-2, 16, "sqlite: " + msg);
        }
        sqlite3_finalize(st);
        if (s + 1 == t.steps.size()) {
          if (!t.assign_to.empty() && !got.empty()) {
            for (size_t i = 0; i < t.assign_to.size(); ++i) vars_.vars.at(t.assign_to[i]).second = got.back()[i];
          }
          for (const auto& row : got) {
            if (!rows.empty()) rows += "\n";
            for (size_t i = 0; i < row.size(); ++i)
              rows += (i ? "|" : "") + Show(row[i], i < t.columns.size() ? t.columns[i].type : TypeInfo{});
          }
        }
      }
    } catch (...) {
      Exec("ROLLBACK TO stmt");
      Exec("RELEASE stmt");
      throw;
    }
    Exec("RELEASE stmt");
    return rows;
  }

  sqlite3* db_ = nullptr;
  FakeCatalog catalog_;
  FakeVariables vars_;
  Translation last_;
  std::vector<Column> last_columns_;
};

}  // namespace morvesk::engine::testing
