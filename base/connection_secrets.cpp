#include "base/connection_secrets.h"

#include <cctype>

#include "base/ascii.h"

namespace morvesk::base {
namespace {

bool IsKeyChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// The length of a secret key ("password" or "pwd") at `pos`, then blanks and '=', or 0.
size_t SecretKeyAt(std::string_view text, size_t pos) {
  if (pos > 0 && IsKeyChar(text[pos - 1])) return 0;
  for (std::string_view key : {std::string_view("password"), std::string_view("pwd")}) {
    if (text.size() - pos < key.size()) continue;
    bool same = true;
    for (size_t i = 0; i < key.size() && same; ++i) {
      same = base::AsciiLower(text[pos + i]) == key[i];
    }
    if (!same) continue;
    size_t end = pos + key.size();
    while (end < text.size() && text[end] == ' ') ++end;
    if (end < text.size() && text[end] == '=') return end + 1 - pos;
  }
  return 0;
}

}  // namespace

std::string MaskPasswords(std::string_view text) {
  std::string out;
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t key = SecretKeyAt(text, pos);
    if (key == 0) {
      out += text[pos++];
      continue;
    }
    out.append(text.substr(pos, key));
    pos += key;
    while (pos < text.size() && text[pos] == ' ') out += text[pos++];
    if (pos < text.size() && (text[pos] == '\'' || text[pos] == '"')) {
      const size_t close = text.find(text[pos], pos + 1);
      pos = close == std::string_view::npos ? text.size() : close + 1;
    } else {
      // A message quotes the description in double quotes: the value ends there too.
      while (pos < text.size() && text[pos] != ';' && text[pos] != '"') ++pos;
    }
    out += "****";
  }
  return out;
}

}  // namespace morvesk::base
