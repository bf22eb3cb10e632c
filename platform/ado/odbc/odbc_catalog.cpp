#include "platform/ado/odbc/odbc_catalog.h"

#include <string>

namespace morvesk::ado::odbc {
namespace {

std::string Quoted(std::string_view text) {
  std::string out = "N'";
  for (char c : text) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out + "'";
}

}  // namespace

std::optional<TableShape> DescribeFromCatalog(ProviderSession& session, std::string_view name) {
  // A temporary table lives in tempdb's catalog, under a name the server decorates.
  if (name.empty() || name.front() == '#') return std::nullopt;
  const std::string id = "object_id(" + Quoted(name) + ")";
  ProviderResult r = session.Execute(
      "select o.name, o.type from sys.objects o where o.object_id = " + id +
      "\nselect c.name from sys.columns c where c.object_id = " + id + " order by c.column_id");
  if (r.failed || r.rowsets.size() < 2 || r.rowsets[0].rows.empty()) return std::nullopt;
  TableShape shape;
  shape.name = r.rowsets[0].rows[0][0].ToString();
  std::string type = r.rowsets[0].rows[0][1].ToString();
  while (!type.empty() && type.back() == ' ') type.pop_back();
  shape.is_view = type == "V";
  for (const auto& row : r.rowsets[1].rows) shape.columns.push_back(row[0].ToString());
  if (shape.is_view) return shape;
  ProviderResult k = session.Execute(
      "select c.name from sys.indexes i join sys.index_columns ic on ic.object_id = i.object_id "
      "and ic.index_id = i.index_id join sys.columns c on c.object_id = ic.object_id and "
      "c.column_id = ic.column_id where i.object_id = " +
      id + " and i.is_primary_key = 1 order by ic.key_ordinal");
  if (k.failed || k.rowsets.empty()) return std::nullopt;
  for (const auto& row : k.rowsets[0].rows) shape.key.push_back(row[0].ToString());
  return shape;
}

}  // namespace morvesk::ado::odbc
