#include "platform/ado/odbc/odbc_diagnostics.h"

#include <algorithm>

#include "base/connection_secrets.h"
#include "platform/ado/odbc/odbc_text.h"
#include "platform/automation/com_error.h"

namespace morvesk::ado::odbc {

std::string SecretMask::operator()(std::string_view text) const {
  std::string out = base::MaskPasswords(text);
  if (password_.size() < 3) return out;  // too short to tell from ordinary text
  for (size_t at = out.find(password_); at != std::string::npos; at = out.find(password_, at + 4)) {
    out.replace(at, password_.size(), "****");
  }
  return out;
}

std::string StripDriverPrefix(std::string_view text) {
  size_t at = 0;
  while (at < text.size() && text[at] == '[') {
    const size_t close = text.find(']', at);
    if (close == std::string_view::npos) break;
    at = close + 1;
  }
  return std::string(text.substr(at));
}

void ReadDiagnostics(SQLSMALLINT handle_type, SQLHANDLE handle, const SecretMask& mask,
                     std::vector<ErrorRecord>& out) {
  if (handle == SQL_NULL_HANDLE) return;
  for (SQLSMALLINT i = 1;; ++i) {
    SQLWCHAR state[6] = {0};
    SQLINTEGER native = 0;
    WideText message(1024, 0);
    SQLSMALLINT length = 0;
    SQLRETURN rc = SQLGetDiagRecW(handle_type, handle, i, state, &native, message.data(),
                                  static_cast<SQLSMALLINT>(message.size()), &length);
    if (rc == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(message.size())) {
      message.assign(static_cast<size_t>(length) + 1, 0);
      rc = SQLGetDiagRecW(handle_type, handle, i, state, &native, message.data(),
                          static_cast<SQLSMALLINT>(message.size()), &length);
    }
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) return;
    message.resize(std::min<size_t>(static_cast<size_t>(length), message.size()));
    ErrorRecord r;
    r.sql_state = FromWide(state, 5);
    r.native_error = native;
    r.description = mask(StripDriverPrefix(FromWide(message)));
    r.source = kProviderName;
    r.is_warning = r.sql_state.rfind("01", 0) == 0;
    r.number = r.sql_state == "23000" ? automation::kErrIntegrity : automation::kErrCommand;
    out.push_back(std::move(r));
  }
}

std::string Summary(const std::vector<ErrorRecord>& records) {
  for (const ErrorRecord& r : records) {
    if (r.is_warning) continue;
    return r.description + " (SQLState " + r.sql_state + ", native error " +
           std::to_string(r.native_error) + ")";
  }
  return records.empty() ? "the driver gave no reason" : records.front().description;
}

}  // namespace morvesk::ado::odbc
