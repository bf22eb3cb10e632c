// ASCII letter-case folding. T-SQL names (tables, columns, variables, procedures,
// keywords) and automation names (members, classes, fields) compare without regard to
// the case of A-Z only; other bytes, including UTF-8 sequences, compare as they are.
// Independent of the C locale, so a host that sets one changes nothing here.
#pragma once

#include <string>
#include <string_view>

namespace morvesk::base {

constexpr char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string AsciiLower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = AsciiLower(c);
  return out;
}

// The value of a hexadecimal digit (either case), or -1 for any other byte.
constexpr int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

constexpr bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

}  // namespace morvesk::base
