// Grouping of a step's rows in a hash table, for the grouped queries the translator
// hands to the runtime (see HashGrouping in translate.h).
#pragma once

#include <sqlite3.h>

#include "engine/bind/translate.h"

namespace morvesk::engine::exec {

// Steps `select` to its end, folding its rows into one partial row per group, then runs
// `insert` once per group. Returns SQLite's code of a failing step (SQLITE_DONE when all
// went well); throws SqlError when a partial sum overflows or a value is not a number.
int FillGroups(sqlite3_stmt* select, sqlite3_stmt* insert, const HashGrouping& g);

}  // namespace morvesk::engine::exec
