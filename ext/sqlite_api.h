// Forced into every engine source compiled into the loadable extension: routes each
// sqlite3_* call through the routine table of the SQLite that loaded the extension, so
// the functions and collation run on the host's handle even when the host carries its
// own copy of SQLite.
#pragma once

#include <sqlite3ext.h>

SQLITE_EXTENSION_INIT3
