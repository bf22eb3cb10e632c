// The driver's diagnostic records as entries of the Errors collection: SQL Server's own
// number (native error) and SQLState kept, the driver's bracketed prefixes dropped from
// the text, informational messages (PRINT, low-severity RAISERROR, class 01) as warnings,
// and the connection's password never in a message.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <string>
#include <string_view>
#include <vector>

#include "platform/ado/provider.h"

namespace morvesk::ado::odbc {

inline constexpr char kProviderName[] = "Morvesk.ODBC";

// Masks what a message must not show: every Password=/Pwd= entry, and the password
// itself should a driver quote it bare.
class SecretMask {
 public:
  SecretMask() = default;
  explicit SecretMask(std::string password) : password_(std::move(password)) {}
  std::string operator()(std::string_view text) const;

 private:
  std::string password_;
};

// Appends the diagnostic records of `handle` to `out`, in order.
void ReadDiagnostics(SQLSMALLINT handle_type, SQLHANDLE handle, const SecretMask& mask,
                     std::vector<ErrorRecord>& out);

// "message (SQLState S, native N)" of the first error record, for failures raised as
// automation errors (a refused connection, a refused commit).
std::string Summary(const std::vector<ErrorRecord>& records);

// "[vendor][driver][server]text" -> "text".
std::string StripDriverPrefix(std::string_view text);

}  // namespace morvesk::ado::odbc
