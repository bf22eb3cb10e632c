// Text across the driver manager's wide-character calls: the library's UTF-8 to the
// driver's UTF-16 code units and back, so that Chinese text reaches the server and
// returns exactly whatever the driver's client character set is.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <string>
#include <string_view>

namespace morvesk::ado::odbc {

using WideText = std::basic_string<SQLWCHAR>;

WideText ToWide(std::string_view utf8);
std::string FromWide(const SQLWCHAR* text, size_t units);
inline std::string FromWide(const WideText& text) { return FromWide(text.data(), text.size()); }

}  // namespace morvesk::ado::odbc
