#include "engine/exec/storage.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/error.h"
#include "engine/exec/sqlite_util.h"

namespace morvesk::engine::exec {
namespace {

bool IsDecimalKind(TypeKind k) { return k == TypeKind::kDecimal || k == TypeKind::kMoney; }

Decimal AtScale(const Decimal& d, const TypeInfo& type) {
  int scale = type.kind == TypeKind::kMoney ? 4 : type.scale;
  if (auto r = Rescale(d, scale)) return *r;
  return d;
}

}  // namespace

void BindValue(sqlite3_stmt* stmt, int index, const Value& v) {
  if (v.is_null()) {
    sqlite3_bind_null(stmt, index);
  } else if (v.is_int()) {
    sqlite3_bind_int64(stmt, index, v.as_int());
  } else if (v.is_double()) {
    sqlite3_bind_double(stmt, index, v.as_double());
  } else if (v.is_decimal()) {
    std::string key = EncodeKey(v.as_decimal());
    sqlite3_bind_blob(stmt, index, key.data(), static_cast<int>(key.size()), SQLITE_TRANSIENT);
  } else if (v.is_datetime()) {
    sqlite3_bind_int64(stmt, index, v.as_datetime().ms);
  } else {
    const std::string& s = v.as_text();
    sqlite3_bind_text(stmt, index, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
  }
}

Value ReadColumn(sqlite3_stmt* stmt, int col, const TypeInfo& type) {
  int storage = sqlite3_column_type(stmt, col);
  if (storage == SQLITE_NULL) return Value::Null(type);
  auto text_of = [&] {
    const unsigned char* p = sqlite3_column_text(stmt, col);
    return std::string(reinterpret_cast<const char*>(p), sqlite3_column_bytes(stmt, col));
  };
  auto decimal_of = [&]() -> Decimal {
    switch (storage) {
      case SQLITE_INTEGER:
        return Decimal::FromInt(sqlite3_column_int64(stmt, col));
      case SQLITE_FLOAT:
        return Decimal::FromDouble(sqlite3_column_double(stmt, col), type.scale);
      case SQLITE_BLOB: {
        std::string_view bytes(static_cast<const char*>(sqlite3_column_blob(stmt, col)),
                               sqlite3_column_bytes(stmt, col));
        if (auto d = DecodeKey(bytes)) return *d;
        break;
      }
      default:
        if (auto d = Decimal::Parse(text_of())) return *d;
    }
    throw SqlError(8114, 16, "Error converting data type varchar to numeric.");
  };

  switch (type.kind) {
    case TypeKind::kBit:
    case TypeKind::kTinyInt:
    case TypeKind::kSmallInt:
    case TypeKind::kInt:
    case TypeKind::kBigInt:
      if (storage == SQLITE_BLOB) {
        return Value(type, static_cast<int64_t>(decimal_of().Truncate()));
      }
      return Value(type, static_cast<int64_t>(sqlite3_column_int64(stmt, col)));
    case TypeKind::kMoney:
    case TypeKind::kDecimal:
      return Value(type, AtScale(decimal_of(), type));
    case TypeKind::kReal:
    case TypeKind::kFloat:
      if (storage == SQLITE_BLOB) return Value(type, decimal_of().ToDouble());
      return Value(type, sqlite3_column_double(stmt, col));
    case TypeKind::kSmallDateTime:
    case TypeKind::kDateTime:
      return Value(type, DateTime{sqlite3_column_int64(stmt, col)});
    case TypeKind::kNull:
      switch (storage) {
        case SQLITE_INTEGER:
          return Value(TypeInfo::Of(TypeKind::kInt),
                       static_cast<int64_t>(sqlite3_column_int64(stmt, col)));
        case SQLITE_FLOAT:
          return Value::Float(sqlite3_column_double(stmt, col));
        case SQLITE_BLOB: {
          Decimal d = decimal_of();
          return Value::Dec(d);
        }
        default:
          return Value::Text(text_of());
      }
    default:
      return Value(type, text_of());
  }
}

Value LiteralValue(const sql::Token& token) {
  const TypeInfo& t = token.literal_type;
  switch (token.kind) {
    case sql::TokenKind::kString:
    case sql::TokenKind::kNString:
      return Value(t, token.value);
    case sql::TokenKind::kFloat:
      // The lexer refused values beyond a double's range; one below it reads as 0.
      return Value(t, std::strtod(token.value.c_str(), nullptr));
    default:
      break;
  }
  if (t.IsInteger()) return Value(t, static_cast<int64_t>(std::stoll(token.value)));
  if (auto d = Decimal::Parse(token.value)) {
    if (IsDecimalKind(t.kind)) return Value(t, AtScale(*d, t));
    return Value(t, *d);
  }
  throw SqlError(102, 15, "Incorrect syntax near '" + token.text + "'.", token.line);
}

std::string StorageLiteral(const Value& v) {
  if (v.is_null()) return "NULL";
  if (v.is_int()) return std::to_string(v.as_int());
  if (v.is_datetime()) return std::to_string(v.as_datetime().ms);
  if (v.is_double()) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17g", v.as_double());
    std::string s = buf;
    if (s.find_first_of(".eEn") == std::string::npos) s += ".0";
    return s;
  }
  if (v.is_decimal()) {
    static const char* kHex = "0123456789ABCDEF";
    std::string key = EncodeKey(v.as_decimal());
    std::string out = "X'";
    for (unsigned char c : key) {
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
    return out + "'";
  }
  return QuoteText(v.as_text());
}

bool SameStorage(const TypeInfo& from, const TypeInfo& to) {
  if (from == to) return true;
  if (from.IsInteger() && to.IsInteger()) {
    return to.kind >= from.kind && from.kind != TypeKind::kBit;
  }
  if (from.IsDateTime() && to.kind == TypeKind::kDateTime) return true;
  if (from.IsApprox() && to.kind == TypeKind::kFloat) return true;
  bool from_var = from.kind == TypeKind::kVarChar || from.kind == TypeKind::kNVarChar;
  bool to_var = to.kind == TypeKind::kVarChar || to.kind == TypeKind::kNVarChar;
  if (from_var && to_var) {
    return to.length == -1 || (from.length != -1 && from.length <= to.length);
  }
  return false;
}

}  // namespace morvesk::engine::exec
