// What every generated company shares: the period calendar, the system profile,
// the code lists, the derivation of the period's balance tables from its
// batch-level openings, and the finishing steps (id counters, stock on hand,
// settlement balances). Used by the demo and the sized generators.
#pragma once

#include "engine/engine.h"

namespace morvesk::company {

// Monthly periods of `years` years from January of `first_year`.
void WriteCalendar(engine::Connection& connection, int first_year, int years);

// The system profile of a company whose inventory starts (and is current) in
// kStartYear / kStartPeriod and whose ledger is at period 6 of that year.
void WriteProfile(engine::Connection& connection);

// Costing methods, stock groups, units, auxiliary properties, bill classes and
// bill types.
void WriteCodeLists(engine::Connection& connection);

// Stocks 101-105 with their groups and types (the 502 stock is 105).
void WriteDemoStocks(engine::Connection& connection);

// Fills t_CC_Stock and t_CC_Bal of the start period from t_CC_Stock_BatchNo, as a
// close would have left them: t_CC_Stock per stock, item, batch (batch-costed items
// only) and auxiliary property; t_CC_Bal per stock, item and batch for every item
// that is not kept lot by lot (whose lot rows the generator writes itself).
void DeriveOpeningBalances(engine::Connection& connection);

// Id counters above the largest ids used, stock on hand, settlement balances of
// the start period.
void FinishCompany(engine::Connection& connection);

}  // namespace morvesk::company
