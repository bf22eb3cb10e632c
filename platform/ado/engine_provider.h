// The embedded engine as a data-access provider: opens sessions on engine databases
// (one Database per file path, shared by every session on it) and maps engine
// values, errors and procedure parameters to the provider's terms.
#pragma once

#include <memory>
#include <string>

#include "platform/ado/provider.h"

namespace morvesk::ado {

// Opens a session on the database file at `path` (":memory:" gives one in-memory
// database shared by the whole process). The file must exist: a missing company
// database is an error (ComError kErrFail, "Cannot open database ..."), never a new
// empty one.
std::unique_ptr<ProviderSession> OpenEngineSession(const std::string& path);

}  // namespace morvesk::ado
