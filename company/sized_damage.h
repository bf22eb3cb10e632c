// What a generated company carries after some years in use, for the maintenance
// jobs to repair: amounts left on stock on hand rows without quantity,
// quantities on hand that drifted from the bills, bills with a repeated line
// number, and shelf-life batches whose issue lines carry another dating than
// their receipts. Items without a reference cost price and the lot figures of
// the current period (which a cost run rebuilds) come from the generator
// itself. The demo company is never damaged.
#pragma once

#include <cstdint>

#include "engine/engine.h"

namespace morvesk::company {

// Applies the damage to a finished generated company. Rates are per item or per
// bill and every kind occurs at least once at any size; the same seed gives the
// same damage.
void DamageSizedCompany(engine::Connection& connection, uint64_t seed);

}  // namespace morvesk::company
