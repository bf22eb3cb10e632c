// Working tables of the period close, defined in one place: every batch that creates
// #TmpBal_1 or #TmpBal_2 takes its text from here.
#pragma once

#include <string>
#include <string_view>

namespace morvesk::balance {

// "If Object_ID('tempdb..#name') Is Not Null Drop Table #name " (name with its '#').
std::string DropTempTableIfExists(std::string_view name);

// Drop-if-exists followed by the Create Table statement, lines joined by CR LF, each ending in
// a blank so that the text can be appended to a batch as it stands.
// #TmpBal_1: balance rows by lot, stock, item and batch (batch 200 wide, amounts 2 decimals).
std::string CreateTmpBal1();
// #TmpBal_2: balance rows by stock, item, batch and auxiliary property, with secondary
// quantities and shelf-life columns (batch 255 wide).
std::string CreateTmpBal2();

}  // namespace morvesk::balance
