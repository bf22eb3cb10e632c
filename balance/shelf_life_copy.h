// The shelf-life copy onto adjustment bill entries, one statement sent by both the period
// close (its first batch) and the batch-level stage (inside its preparation batch).
#pragma once

#include <string>

namespace morvesk::balance {

// Entries of amount adjustments (class 1040008) and amount rebates (class 1020004, bill
// type 2041) take the largest production date, shelf life and expiry date of all receipts
// ever made of their stock (receiving or sending), item, batch and auxiliary property. Every
// period's bills are written, not only the calculated one's. Lines joined by CR LF, no line
// end after the last.
std::string ShelfLifeCopy();

}  // namespace morvesk::balance
