// Values in their SQLite storage forms (see engine/value/sqlfunc.h): binding a Value
// as a statement parameter, reading a result column back as a typed Value, and the
// value of a batch literal.
#pragma once

#include <sqlite3.h>

#include "engine/sql/token.h"
#include "engine/value/value.h"

namespace morvesk::engine::exec {

// Binds `v` in the storage form of its own type (decimal -> order-preserving blob,
// datetime -> milliseconds, text -> UTF-8).
void BindValue(sqlite3_stmt* stmt, int index, const Value& v);

// Reads column `col` of the current row as a value of type `type`. A column whose
// type is unknown (kNull) is read by its SQLite storage class.
Value ReadColumn(sqlite3_stmt* stmt, int col, const TypeInfo& type);

// The value of a numeric or string literal token, typed as the lexer typed it.
Value LiteralValue(const sql::Token& token);

// SQLite literal text of a value in storage form (for DEFAULT clauses).
std::string StorageLiteral(const Value& v);

// True when a value of type `from` can be stored as type `to` without any change of
// its storage form or value (same kind, no narrowing).
bool SameStorage(const TypeInfo& from, const TypeInfo& to);

}  // namespace morvesk::engine::exec
