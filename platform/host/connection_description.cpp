#include "platform/host/connection_description.h"

#include <cctype>

#include "base/ascii.h"
#include "base/connection_secrets.h"
#include "platform/automation/com_error.h"
#include "platform/host/app_connection.h"

namespace morvesk::host {
namespace {

std::string Trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return std::string(s.substr(b, e - b));
}

std::string FoldKey(std::string_view key) {
  std::string out;
  for (char c : key) {
    if (!std::isspace(static_cast<unsigned char>(c))) {
      out.push_back(base::AsciiLower(c));
    }
  }
  return out;
}

std::string Unquote(std::string v) {
  if (v.size() >= 2 && (v.front() == '\'' || v.front() == '"') && v.back() == v.front()) {
    return v.substr(1, v.size() - 2);
  }
  return v;
}

// A rejected description is quoted back without its password.
[[noreturn]] void Reject(const std::string& why) {
  throw automation::ComError(automation::kErrFail, kAppConnectionProgId, base::MaskPasswords(why));
}

}  // namespace

ConnectionDescription ParseConnectionDescription(std::string_view text) {
  std::string whole = Trim(text);
  if (whole.empty()) {
    Reject("The connection description is empty: it must name the company database "
           "(\"Data Source=<file>\")");
  }
  if (whole.find('=') == std::string::npos) return ConnectionDescription{Unquote(whole), {}};

  std::string source;
  bool odbc = false;
  size_t start = 0;
  while (start <= whole.size()) {
    // Pairs are separated by ';' outside quotes.
    size_t end = start;
    char quote = 0;
    while (end < whole.size() && (quote || whole[end] != ';')) {
      if (quote && whole[end] == quote) {
        quote = 0;
      } else if (!quote && (whole[end] == '\'' || whole[end] == '"')) {
        quote = whole[end];
      } else if (!quote && whole[end] == '{') {
        quote = '}';  // an ODBC value in braces may hold ';'
      }
      ++end;
    }
    std::string pair = Trim(std::string_view(whole).substr(start, end - start));
    if (!pair.empty()) {
      size_t eq = pair.find('=');
      if (eq == std::string::npos) {
        Reject("The connection description \"" + whole + "\" has an entry without '=': " + pair);
      }
      std::string key = FoldKey(pair.substr(0, eq));
      if (key == "datasource") source = Unquote(Trim(pair.substr(eq + 1)));
      if (key == "driver" || key == "dsn") odbc = true;
    }
    start = end + 1;
  }
  // A description that names a driver or a data source name is for the driver manager,
  // passed on whole; its data source, for messages, is the text without its password.
  if (odbc) return ConnectionDescription{base::MaskPasswords(whole), whole};
  if (source.empty()) {
    Reject("The connection description \"" + whole +
           "\" names no database: \"Data Source=<file>\" is missing or empty");
  }
  return ConnectionDescription{source, {}};
}

bool IsOdbcDescription(std::string_view text) {
  try {
    return ParseConnectionDescription(text).is_odbc();
  } catch (const automation::ComError&) {
    return false;
  }
}

}  // namespace morvesk::host
