#include "server/tds/wire.h"

#include "base/utf8.h"

namespace morvesk::server::tds {
namespace {

constexpr uint32_t kReplacement = 0xFFFD;

// Decodes one code point at s[i], advancing i; malformed input yields U+FFFD.
uint32_t NextCodePoint(std::string_view s, size_t& i) {
  const auto b = [&](size_t k) { return static_cast<uint8_t>(s[k]); };
  const uint8_t c = b(i);
  int extra = 0;
  uint32_t cp = 0;
  if (c < 0x80) {
    ++i;
    return c;
  } else if ((c & 0xE0) == 0xC0) {
    extra = 1;
    cp = c & 0x1F;
  } else if ((c & 0xF0) == 0xE0) {
    extra = 2;
    cp = c & 0x0F;
  } else if ((c & 0xF8) == 0xF0) {
    extra = 3;
    cp = c & 0x07;
  } else {
    ++i;
    return kReplacement;
  }
  if (i + static_cast<size_t>(extra) >= s.size()) {
    i = s.size();
    return kReplacement;
  }
  for (int k = 1; k <= extra; ++k) {
    const uint8_t cc = b(i + static_cast<size_t>(k));
    if ((cc & 0xC0) != 0x80) {
      i += static_cast<size_t>(k);
      return kReplacement;
    }
    cp = (cp << 6) | (cc & 0x3F);
  }
  i += static_cast<size_t>(extra) + 1;
  return cp > 0x10FFFF ? kReplacement : cp;
}

void PutUnit(std::string& out, uint32_t u) {
  out.push_back(static_cast<char>(u & 0xff));
  out.push_back(static_cast<char>((u >> 8) & 0xff));
}

}  // namespace

std::string Utf8ToUtf16(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size() * 2);
  for (size_t i = 0; i < utf8.size();) {
    uint32_t cp = NextCodePoint(utf8, i);
    if (cp >= 0x10000) {
      cp -= 0x10000;
      PutUnit(out, 0xD800 + (cp >> 10));
      PutUnit(out, 0xDC00 + (cp & 0x3FF));
    } else {
      PutUnit(out, cp);
    }
  }
  return out;
}

std::string Utf16ToUtf8(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  const size_t n = s.size() / 2;
  const auto unit = [&](size_t k) {
    return static_cast<uint32_t>(static_cast<uint8_t>(s[2 * k])) |
           (static_cast<uint32_t>(static_cast<uint8_t>(s[2 * k + 1])) << 8);
  };
  for (size_t k = 0; k < n; ++k) {
    uint32_t u = unit(k);
    if (u >= 0xD800 && u < 0xDC00 && k + 1 < n && unit(k + 1) >= 0xDC00 && unit(k + 1) < 0xE000) {
      u = 0x10000 + ((u - 0xD800) << 10) + (unit(k + 1) - 0xDC00);
      ++k;
    } else if (u >= 0xD800 && u < 0xE000) {
      u = kReplacement;
    }
    base::AppendUtf8(out, u);
  }
  return out;
}

size_t Utf16Length(std::string_view utf8) {
  size_t n = 0;
  for (size_t i = 0; i < utf8.size();) n += NextCodePoint(utf8, i) >= 0x10000 ? 2 : 1;
  return n;
}

void ByteWriter::BVarChar(std::string_view utf8) {
  std::string u = Utf8ToUtf16(utf8);
  if (u.size() > 510) u.resize(510);
  U8(static_cast<uint8_t>(u.size() / 2));
  Bytes(u);
}

void ByteWriter::UsVarChar(std::string_view utf8) {
  std::string u = Utf8ToUtf16(utf8);
  if (u.size() > 131070) u.resize(131070);
  U16(static_cast<uint16_t>(u.size() / 2));
  Bytes(u);
}

}  // namespace morvesk::server::tds
