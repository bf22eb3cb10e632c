#include "engine/exec/plan_catalog.h"

namespace morvesk::engine::exec {
namespace {

bool SameColumn(const ColumnInfo& a, const ColumnInfo& b) {
  return a.name == b.name && a.type == b.type && a.nullable == b.nullable &&
         a.identity == b.identity && a.identity_seed == b.identity_seed &&
         a.identity_step == b.identity_step && a.has_default == b.has_default &&
         a.default_sql == b.default_sql;
}

bool SameAnswer(const std::optional<TableInfo>& a, const std::optional<TableInfo>& b) {
  if (!a || !b) return !a && !b;
  return SameTable(*a, *b);
}

bool SameParams(const std::optional<std::vector<ProcParamInfo>>& a,
                const std::optional<std::vector<ProcParamInfo>>& b) {
  if (!a || !b) return !a && !b;
  if (a->size() != b->size()) return false;
  for (size_t i = 0; i < a->size(); ++i) {
    const ProcParamInfo &x = (*a)[i], &y = (*b)[i];
    if (x.name != y.name || x.type != y.type || x.output != y.output ||
        x.has_default != y.has_default || x.default_literal != y.default_literal) {
      return false;
    }
  }
  return true;
}

}  // namespace

bool SameTable(const TableInfo& a, const TableInfo& b) {
  if (a.name != b.name || a.sqlite_name != b.sqlite_name || a.is_temp != b.is_temp ||
      a.is_view != b.is_view || a.is_compound_view != b.is_compound_view ||
      a.view_arms != b.view_arms || a.columns.size() != b.columns.size()) {
    return false;
  }
  for (size_t i = 0; i < a.columns.size(); ++i) {
    if (!SameColumn(a.columns[i], b.columns[i])) return false;
  }
  return true;
}

bool CatalogLookups::StillHold(const SqliteCatalog& catalog) {
  for (Table& t : tables) {
    const SqliteCatalog::Answer now = catalog.LookupTable(t.name);
    if (t.stamp != 0 && now.stamp == t.stamp) continue;
    if (!SameAnswer(t.info, *now.info)) return false;
    t.stamp = now.stamp;
  }
  for (const Procedure& p : procedures) {
    if (!SameParams(p.params, catalog.FindProcedure(p.name))) return false;
  }
  return true;
}

std::optional<TableInfo> RecordingCatalog::FindTable(std::string_view name) const {
  const SqliteCatalog::Answer a = inner_.LookupTable(name);
  out_.tables.push_back({std::string(name), *a.info, a.stamp});
  return *a.info;
}

std::optional<std::vector<ProcParamInfo>> RecordingCatalog::FindProcedure(
    std::string_view name) const {
  auto params = inner_.FindProcedure(name);
  out_.procedures.push_back({std::string(name), params});
  return params;
}

}  // namespace morvesk::engine::exec
