// The stages of CalculateInvBal_Ext_BatchNo, in the order the driver runs them on the
// operation's connection. Each raises ComError (or lets the data-access layer's through).
// The working tables #TmpBal_2_2, #t_CC_Stock_BatchNo and #T_CC_InventoryAll pass between
// the stages on the connection's session.
#pragma once

#include <cstdint>
#include <string>

namespace morvesk::ado {
class Connection;
}

namespace morvesk::balance {

struct BatchNoArgs {
  int32_t lPeriod = 0;
  int32_t lYear = 0;
  // "yyyy-mm-dd", unquoted: FDate >= start_date And FDate < end_date.
  std::string start_date;
  std::string end_date;
};

// Shelf-life copy onto adjustment bill entries and the build of #TmpBal_2_2 (one command),
// then #t_CC_Stock_BatchNo by balance key and its untouched copy #T_CC_InventoryAll.
void RunBatchNoPreparation(ado::Connection& cnn, const BatchNoArgs& args);

// The period's price adjustments spread over #t_CC_Stock_BatchNo, item group by item group,
// one command per adjustment total.
void RunBatchNoSpreading(ado::Connection& cnn, const BatchNoArgs& args);

// t_CC_Stock_BatchNo of the period replaced from the working table, rounded, closed and
// reconciled with t_CC_Stock; T_CC_Inventory amounts rounded; closing figures carried into
// the current period of the system profile.
void RunBatchNoWriteBack(ado::Connection& cnn, const BatchNoArgs& args);

}  // namespace morvesk::balance
