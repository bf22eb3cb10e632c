// The bill tables the pre-close checks scan, in the order of their Union All branches,
// and the query text that runs one branch per table.
#pragma once

#include <string>

#include "frame/batch_text.h"

namespace morvesk::closing {

inline constexpr const char* kCheckedBillTables[] = {
    "t_CC_StockBill",   "t_CC_ZZCX",       "t_RP_RBill",     "t_RP_PBill",   "t_RP_ROtherBill",
    "t_RP_PChargeBill", "t_RP_POtherBill", "t_RP_CheckBill", "t_RP_BankBill"};

// One branch per checked table, each as `branch(table)` writes its lines, joined by
// "Union All" lines; the query ends with a line end.
template <typename Branch>
std::string UnionOverCheckedBills(Branch branch) {
  std::string s;
  for (const char* table : kCheckedBillTables) {
    s = s.empty() ? branch(table) : frame::Lines({s, "Union All ", branch(table)});
  }
  return frame::Lines({s, ""});
}

}  // namespace morvesk::closing
