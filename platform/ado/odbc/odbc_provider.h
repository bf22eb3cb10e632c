// The provider over an ODBC driver manager, for a company database kept on a SQL Server
// (or anything that answers as one): a session is one driver connection, opened with the
// description's text as it stands (SQLDriverConnect, no prompt).
#pragma once

#include <memory>
#include <string>

#include "platform/ado/provider.h"

namespace morvesk::ado {

// Opens a session on `description` ("Driver={...};Server=...;UID=...;PWD=..." or
// "DSN=..."). A refused connection raises ComError kErrFail with the driver's reason,
// its SQLState and native number; the password never appears in it.
std::unique_ptr<ProviderSession> OpenOdbcSession(const std::string& description);

}  // namespace morvesk::ado
