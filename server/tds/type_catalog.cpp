#include "server/tds/type_catalog.h"

#include <cctype>
#include <cstdlib>
#include <string>

namespace morvesk::server::tds {
namespace {

using engine::TypeInfo;
using engine::TypeKind;
using engine::Value;

struct TypeRow {
  const char* name;
  int data_type;    // ODBC SQL type code
  int column_size;  // characters, digits or the datetime's text length
  const char* prefix;
  const char* create_params;
  int min_scale;  // -1: NULL
  int max_scale;
  int sql_data_type;
  int datetime_sub;  // -1: NULL
  int radix;         // -1: NULL
};

// Ordered by ODBC type code, as drivers expect the catalogue.
constexpr TypeRow kTypes[] = {
    {"nvarchar", -9, 4000, "N'", "max length", -1, -1, -9, -1, -1},
    {"nchar", -8, 4000, "N'", "length", -1, -1, -8, -1, -1},
    {"bit", -7, 1, nullptr, nullptr, 0, 0, -7, -1, -1},
    {"tinyint", -6, 3, nullptr, nullptr, 0, 0, -6, -1, 10},
    {"bigint", -5, 19, nullptr, nullptr, 0, 0, -5, -1, 10},
    {"varbinary", -3, 8000, "0x", "max length", -1, -1, -3, -1, -1},
    {"char", 1, 8000, "'", "length", -1, -1, 1, -1, -1},
    {"numeric", 2, 38, nullptr, "precision,scale", 0, 38, 2, -1, 10},
    {"decimal", 3, 38, nullptr, "precision,scale", 0, 38, 3, -1, 10},
    {"money", 3, 19, "$", nullptr, 4, 4, 3, -1, 10},
    {"int", 4, 10, nullptr, nullptr, 0, 0, 4, -1, 10},
    {"smallint", 5, 5, nullptr, nullptr, 0, 0, 5, -1, 10},
    {"float", 6, 53, nullptr, nullptr, -1, -1, 6, -1, 2},
    {"real", 7, 24, nullptr, nullptr, -1, -1, 7, -1, 2},
    {"varchar", 12, 8000, "'", "max length", -1, -1, 12, -1, -1},
    {"datetime", 93, 23, "'", nullptr, 3, 3, 9, 3, -1},
};

Value Int(int v) { return Value::Int(v, TypeKind::kSmallInt); }
Value IntOrNull(int v) { return v < 0 ? Value::Null(TypeInfo::Of(TypeKind::kSmallInt)) : Int(v); }
Value Text(const char* s) {
  return s ? Value::Text(s, TypeKind::kNVarChar)
           : Value::Null(TypeInfo{TypeKind::kNVarChar, 0, 0, 128});
}

engine::Column Col(const char* name, TypeInfo t) { return engine::Column{name, t}; }

}  // namespace

std::optional<engine::Result> TypeCatalogReply(std::string_view batch) {
  std::string text;
  for (char c : batch) text += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  size_t at = text.find_first_not_of(" \t\r\n");
  if (at == std::string::npos) return std::nullopt;
  for (std::string_view exec : {"execute ", "exec "}) {
    if (text.compare(at, exec.size(), exec) == 0)
      at = text.find_first_not_of(" \t", at + exec.size());
  }
  if (at == std::string::npos) return std::nullopt;
  const std::string_view name = "sp_datatype_info";
  if (text.compare(at, name.size(), name) != 0) return std::nullopt;
  size_t rest = at + name.size();
  if (text.compare(rest, 4, "_100") == 0) rest += 4;
  if (rest < text.size() && !std::isspace(static_cast<unsigned char>(text[rest])) &&
      text[rest] != ';') {
    return std::nullopt;
  }
  // The first argument is the ODBC type code wanted; none (or 0) asks for every type.
  const char* args = text.c_str() + rest;
  while (*args == ' ' || *args == '@' || std::isalpha(static_cast<unsigned char>(*args)) ||
         *args == '=')
    ++args;
  const int wanted = std::atoi(args);

  const TypeInfo name_type{TypeKind::kNVarChar, 0, 0, 128};
  const TypeInfo small = TypeInfo::Of(TypeKind::kSmallInt);
  engine::Result r;
  r.kind = engine::Result::Kind::kRows;
  r.columns = {Col("TYPE_NAME", name_type),
               Col("DATA_TYPE", small),
               Col("PRECISION", TypeInfo::Of(TypeKind::kInt)),
               Col("LITERAL_PREFIX", name_type),
               Col("LITERAL_SUFFIX", name_type),
               Col("CREATE_PARAMS", name_type),
               Col("NULLABLE", small),
               Col("CASE_SENSITIVE", small),
               Col("SEARCHABLE", small),
               Col("UNSIGNED_ATTRIBUTE", small),
               Col("MONEY", small),
               Col("AUTO_INCREMENT", small),
               Col("LOCAL_TYPE_NAME", name_type),
               Col("MINIMUM_SCALE", small),
               Col("MAXIMUM_SCALE", small),
               Col("SQL_DATA_TYPE", small),
               Col("SQL_DATETIME_SUB", small),
               Col("NUM_PREC_RADIX", TypeInfo::Of(TypeKind::kInt)),
               Col("INTERVAL_PRECISION", small),
               Col("USERTYPE", small)};
  for (const TypeRow& t : kTypes) {
    if (wanted != 0 && t.data_type != wanted) continue;
    const bool text_type = t.prefix && (t.prefix[0] == '\'' || t.prefix[0] == 'N');
    const bool numeric = t.radix > 0;
    r.rows.push_back({Text(t.name),
                      Int(t.data_type),
                      Value::Int(t.column_size),
                      Text(t.prefix),
                      Text(t.prefix && t.prefix[0] != '$' && t.prefix[0] != '0' ? "'" : nullptr),
                      Text(t.create_params),
                      Int(1),
                      Int(0),
                      Int(text_type ? 3 : 2),
                      numeric ? Int(std::string_view(t.name) == "tinyint" ? 1 : 0) : IntOrNull(-1),
                      Int(std::string_view(t.name) == "money" ? 1 : 0),
                      numeric ? Int(0) : IntOrNull(-1),
                      Text(t.name),
                      IntOrNull(t.min_scale),
                      IntOrNull(t.max_scale),
                      Int(t.sql_data_type),
                      IntOrNull(t.datetime_sub),
                      t.radix < 0 ? Value::Null(TypeInfo::Of(TypeKind::kInt)) : Value::Int(t.radix),
                      IntOrNull(-1),
                      Int(0)});
  }
  return r;
}

}  // namespace morvesk::server::tds
