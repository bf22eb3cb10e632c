// A table's shape read from the server's own catalog (sys.objects, sys.columns, and the
// primary key from sys.indexes), for record sets that write edited rows back.
#pragma once

#include <optional>
#include <string_view>

#include "platform/ado/provider.h"

namespace morvesk::ado::odbc {

// Empty when the server does not know the table, or cannot tell its key (a catalog
// without sys.indexes): a record set on it then refuses to save rather than guess.
std::optional<TableShape> DescribeFromCatalog(ProviderSession& session, std::string_view name);

}  // namespace morvesk::ado::odbc
