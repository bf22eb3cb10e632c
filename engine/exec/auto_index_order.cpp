#include "engine/exec/auto_index_order.h"

#include <algorithm>

namespace morvesk::engine::exec {

void OrderIndexColumns(const TableInfo& table, std::vector<std::string>& columns) {
  auto collated = [&](const std::string& name) {
    const ColumnInfo* c = table.Find(name);
    return c == nullptr || c->type.IsText();
  };
  std::stable_partition(columns.begin(), columns.end(),
                        [&](const std::string& name) { return !collated(name); });
}

}  // namespace morvesk::engine::exec
