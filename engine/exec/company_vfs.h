// The file layer of a company database: SQLite's own, except that the first sixteen bytes
// of the file name the company format instead of SQLite's. A stock SQLite program that
// does not know the engine's decimal and datetime forms would read them as wrong numbers
// without a word; with the header changed it refuses the file outright ("file is not a
// database"), and loading the engine's extension (which registers this layer) opens it.
#pragma once

namespace morvesk::engine::exec {

// The name under which the layer is registered; pass it as the VFS of sqlite3_open_v2.
inline constexpr const char* kCompanyVfs = "morvesk-company";

// Registers the layer over SQLite's default one, once per process; `as_default` makes it
// the process's default (what a loaded extension wants, so that a plain open works).
// Files written by stock SQLite open as they are and take the company header the next
// time their first page is written.
void RegisterCompanyVfs(bool as_default = false);

}  // namespace morvesk::engine::exec
