#include "platform/ado/odbc/odbc_text.h"

#include "base/utf8.h"

namespace morvesk::ado::odbc {

WideText ToWide(std::string_view utf8) {
  WideText out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    base::PutUtf16(base::NextUtf8CodePoint(utf8, i),
                   [&](uint32_t u) { out.push_back(static_cast<SQLWCHAR>(u)); });
  }
  return out;
}

std::string FromWide(const SQLWCHAR* text, size_t units) {
  return base::Utf8FromUtf16Units(units, [&](size_t k) { return static_cast<uint32_t>(text[k]); });
}

}  // namespace morvesk::ado::odbc
