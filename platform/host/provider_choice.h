// Which provider a connection description opens: the driver manager for a description
// that names a driver or DSN, the embedded engine for a company file or ":memory:".
#pragma once

#include <memory>

#include "platform/ado/provider.h"
#include "platform/host/connection_description.h"

namespace morvesk::host {

// A new session on the description's database; ComError kErrFail when it cannot be
// opened (the message never shows a password).
std::unique_ptr<ado::ProviderSession> OpenProviderSession(const ConnectionDescription& d);

}  // namespace morvesk::host
