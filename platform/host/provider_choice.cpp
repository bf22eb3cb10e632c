#include "platform/host/provider_choice.h"

#include "platform/ado/engine_provider.h"
#include "platform/ado/odbc/odbc_provider.h"

namespace morvesk::host {

std::unique_ptr<ado::ProviderSession> OpenProviderSession(const ConnectionDescription& d) {
  if (d.is_odbc()) return ado::OpenOdbcSession(d.odbc);
  return ado::OpenEngineSession(d.data_source);
}

}  // namespace morvesk::host
