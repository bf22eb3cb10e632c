#include "platform/ado/odbc/odbc_text.h"

#include "base/utf8.h"

namespace morvesk::ado::odbc {

WideText ToWide(std::string_view utf8) {
  WideText out;
  out.reserve(utf8.size());
  size_t i = 0;
  while (i < utf8.size()) {
    const auto b = static_cast<unsigned char>(utf8[i]);
    uint32_t cp = 0xFFFD;
    size_t len = 1;
    if (b < 0x80) {
      cp = b;
    } else if ((b >> 5) == 0x6) {
      len = 2;
      cp = b & 0x1F;
    } else if ((b >> 4) == 0xE) {
      len = 3;
      cp = b & 0x0F;
    } else if ((b >> 3) == 0x1E) {
      len = 4;
      cp = b & 0x07;
    }
    if (len > 1) {
      if (i + len > utf8.size()) {
        cp = 0xFFFD;
        len = utf8.size() - i;
      } else {
        for (size_t k = 1; k < len; ++k) {
          const auto c = static_cast<unsigned char>(utf8[i + k]);
          if ((c >> 6) != 0x2) {
            cp = 0xFFFD;
            len = k;
            break;
          }
          cp = (cp << 6) | (c & 0x3F);
        }
      }
    }
    i += len;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<SQLWCHAR>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<SQLWCHAR>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<SQLWCHAR>(cp));
    }
  }
  return out;
}

std::string FromWide(const SQLWCHAR* text, size_t units) {
  std::string out;
  out.reserve(units);
  for (size_t i = 0; i < units; ++i) {
    uint32_t cp = text[i];
    if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < units && text[i + 1] >= 0xDC00 &&
        text[i + 1] < 0xE000) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp < 0xE000) {
      cp = 0xFFFD;  // a lone surrogate
    }
    base::AppendUtf8(out, cp);
  }
  return out;
}

}  // namespace morvesk::ado::odbc
