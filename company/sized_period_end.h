// What a generated company holds for the work around a period close beyond its bills: the general
// ledger a period ahead of the inventory side's last bills, an opening balance booked without its
// cost (so that the period-end data check has something to find), and the settlement balances of
// every bill period. The demo company does not use it.
#pragma once

#include "company/company.h"
#include "engine/engine.h"

namespace morvesk::company {

// Runs after the company is finished (its stock on hand and first settlement balances written);
// rebuilds the stock on hand to take the added opening in.
void AddPeriodEndData(engine::Connection& connection, const GenerateOptions& options);

}  // namespace morvesk::company
