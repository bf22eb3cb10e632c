// The order of an automatic index's columns. Every order serves a lookup that gives all
// of them by equality; the order decides what building the index and each seek cost.
#pragma once

#include <string>
#include <vector>

#include "engine/bind/catalog.h"

namespace morvesk::engine::exec {

// Orders `columns` (lower-cased names of `table`) for the index: columns compared without
// the text collation first (integers, decimals, datetimes), text last, each group in its
// given order. Text compares through the server's collation (case and trailing blanks
// ignored), a call per comparison; led by the other columns, most comparisons settle before
// they reach the text. Columns the table does not know keep their place among the text.
void OrderIndexColumns(const TableInfo& table, std::vector<std::string>& columns);

}  // namespace morvesk::engine::exec
