// A record set a reader handed back, printed as the suites print tables: its rows from the
// first, one line each, fields separated by '|'. Leaves the record set at EOF.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/ado/recordset.h"
#include "platform/automation/variant.h"

namespace morvesk::readers::test {

// kCanonical drops a decimal's trailing zeros, for figures compared by value.
enum class FieldStyle { kAsIs, kCanonical };

inline std::string FieldText(const automation::Variant& v, FieldStyle style) {
  std::string s = v.ToString();
  if (style == FieldStyle::kCanonical && v.type() == automation::VarType::kDecimal &&
      s.find('.') != std::string::npos) {
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
  }
  return s;
}

// The named columns only when `columns` is given.
inline std::string RecordSetText(const std::shared_ptr<ado::Recordset>& rs,
                                 const std::vector<std::string>& columns, FieldStyle style) {
  if (!rs) return "(no record set)";
  if (!rs->IsOpen()) return "(closed)";
  std::string out;
  if (rs->RecordCount() == 0) return out;
  rs->MoveFirst();
  while (!rs->Eof()) {
    const size_t n = columns.empty() ? rs->FieldCount() : columns.size();
    for (size_t i = 0; i < n; ++i) {
      const automation::Variant v = columns.empty()
                                        ? rs->FieldAt(i).Value()
                                        : rs->Fields(automation::Variant(columns[i])).Value();
      out += (i ? "|" : "") + FieldText(v, style);
    }
    out += '\n';
    rs->MoveNext();
  }
  return out;
}

}  // namespace morvesk::readers::test
