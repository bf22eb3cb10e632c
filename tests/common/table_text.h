// Tables printed as text for the test suites: one line per row, cells separated by '|',
// every line ending in '\n'. A whole table compared this way shows at once every cell that
// differs.
#pragma once

#include <string>
#include <vector>

#include "engine/engine.h"

namespace morvesk::test {

// kExact prints a value as the engine does: a decimal with its scale, a datetime with its
// time. kCanonical drops a decimal's trailing zeros and a midnight datetime's time, for
// tables compared for their figures rather than their column types.
enum class CellStyle { kExact, kCanonical };

inline std::string CellText(const engine::Value& v, CellStyle style = CellStyle::kExact) {
  std::string s = v.ToString();
  if (style == CellStyle::kExact) return s;
  if (v.is_decimal() && s.find('.') != std::string::npos) {
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
    if (s == "-0") s = "0";
  }
  if (v.is_datetime() && s.size() > 10 && s.substr(10) == " 00:00:00.000") s.resize(10);
  return s;
}

// One row: the cells joined by '|', then a line end.
inline std::string RowLine(const std::vector<std::string>& cells) {
  std::string line;
  for (size_t i = 0; i < cells.size(); ++i) {
    if (i) line += '|';
    line += cells[i];
  }
  return line + '\n';
}

// The rows of one result set, one line each.
inline std::string TableText(const engine::Result& rows, CellStyle style = CellStyle::kExact) {
  std::string out;
  for (const auto& row : rows.rows) {
    std::vector<std::string> cells;
    cells.reserve(row.size());
    for (const engine::Value& v : row) cells.push_back(CellText(v, style));
    out += RowLine(cells);
  }
  return out;
}

}  // namespace morvesk::test
