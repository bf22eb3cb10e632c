// The bill tables the pre-close checks scan, in the order of their Union All branches.
#pragma once

namespace morvesk::closing {

inline constexpr const char* kCheckedBillTables[] = {
    "t_CC_StockBill",   "t_CC_ZZCX",       "t_RP_RBill",
    "t_RP_PBill",       "t_RP_ROtherBill", "t_RP_PChargeBill",
    "t_RP_POtherBill",  "t_RP_CheckBill",  "t_RP_BankBill"};

}  // namespace morvesk::closing
