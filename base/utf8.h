// UTF-8 and UTF-16 code points: shared by the engine's text functions, the tool's readers
// of UTF-16 scripts and argument files, the ODBC provider and the TDS wire.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace morvesk::base {

inline void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

constexpr uint32_t kReplacementCharacter = 0xFFFD;

// Reads the code point of UTF-8 at s[i] and moves i past it; a malformed or truncated
// sequence, or one past U+10FFFF, reads as U+FFFD.
inline uint32_t NextUtf8CodePoint(std::string_view s, size_t& i) {
  const uint8_t c = static_cast<uint8_t>(s[i]);
  size_t extra = 0;
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
    return kReplacementCharacter;
  }
  if (i + extra >= s.size()) {
    i = s.size();
    return kReplacementCharacter;
  }
  for (size_t k = 1; k <= extra; ++k) {
    const uint8_t cc = static_cast<uint8_t>(s[i + k]);
    if ((cc & 0xC0) != 0x80) {
      i += k;
      return kReplacementCharacter;
    }
    cp = (cp << 6) | (cc & 0x3F);
  }
  i += extra + 1;
  return cp > 0x10FFFF ? kReplacementCharacter : cp;
}

// Hands put() the one or two UTF-16 code units of a code point.
template <class Put>
void PutUtf16(uint32_t cp, Put&& put) {
  if (cp >= 0x10000) {
    cp -= 0x10000;
    put(0xD800 + (cp >> 10));
    put(0xDC00 + (cp & 0x3FF));
  } else {
    put(cp);
  }
}

// UTF-8 of n UTF-16 code units read by unit(k); a lone surrogate becomes U+FFFD.
template <class Unit>
std::string Utf8FromUtf16Units(size_t n, Unit&& unit) {
  std::string out;
  out.reserve(n);
  for (size_t k = 0; k < n; ++k) {
    uint32_t u = unit(k);
    if (u >= 0xD800 && u < 0xDC00 && k + 1 < n && unit(k + 1) >= 0xDC00 && unit(k + 1) < 0xE000) {
      u = 0x10000 + ((u - 0xD800) << 10) + (unit(k + 1) - 0xDC00);
      ++k;
    } else if (u >= 0xD800 && u < 0xE000) {
      u = kReplacementCharacter;
    }
    AppendUtf8(out, u);
  }
  return out;
}

}  // namespace morvesk::base
