#include "tools/morvesk/text_list_arg.h"

#include <cstdint>
#include <fstream>
#include <iostream>

#include "base/ascii.h"
#include "base/utf8.h"
#include "tools/morvesk/cli_args.h"

namespace morvesk::cli {

using automation::Variant;
using base::AppendUtf8;
using automation::VariantArray;

namespace {

VariantArray LinesOf(std::istream& in) {
  VariantArray list;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find_first_not_of(" \t") == std::string::npos) continue;
    list.push_back(Variant(line));
  }
  return list;
}

// json_list -> '[' [ string { ',' string } ] ']'
class JsonList {
 public:
  explicit JsonList(const std::string& text) : s_(text) {}

  VariantArray Parse() {
    VariantArray list;
    Blanks();
    Expect('[');
    Blanks();
    if (Peek() == ']') {
      ++pos_;
    } else {
      for (;;) {
        Blanks();
        list.push_back(Variant(String()));
        Blanks();
        if (Peek() == ',') {
          ++pos_;
          continue;
        }
        Expect(']');
        break;
      }
    }
    Blanks();
    if (pos_ != s_.size()) Fail("text after the closing ']'");
    return list;
  }

 private:
  char Peek() const { return pos_ < s_.size() ? s_[pos_] : '\0'; }
  void Blanks() {
    while (pos_ < s_.size() &&
           (s_[pos_] == ' ' || s_[pos_] == '\t' || s_[pos_] == '\n' || s_[pos_] == '\r')) {
      ++pos_;
    }
  }
  void Expect(char c) {
    if (Peek() != c) Fail(std::string("expected '") + c + "'");
    ++pos_;
  }
  [[noreturn]] void Fail(const std::string& what) const {
    throw UsageError("statement list: " + what + " at offset " + std::to_string(pos_) +
                     " (a JSON array of strings is expected)");
  }
  uint32_t Hex4() {
    if (pos_ + 4 > s_.size()) Fail("incomplete \\u escape");
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) {
      const int d = base::HexDigitValue(s_[pos_++]);
      if (d < 0) Fail("bad \\u escape");
      v = (v << 4) | static_cast<uint32_t>(d);
    }
    return v;
  }
  // string -> '"' { char | escape } '"'
  std::string String() {
    if (Peek() != '"') Fail("elements must be strings");
    ++pos_;
    std::string out;
    for (;;) {
      if (pos_ >= s_.size()) Fail("unterminated string");
      char c = s_[pos_++];
      if (c == '"') return out;
      if (static_cast<unsigned char>(c) < 0x20) Fail("control character in a string");
      if (c != '\\') {
        out += c;
        continue;
      }
      if (pos_ >= s_.size()) Fail("unterminated escape");
      char e = s_[pos_++];
      switch (e) {
        case '"':
          out += '"';
          break;
        case '\\':
          out += '\\';
          break;
        case '/':
          out += '/';
          break;
        case 'b':
          out += '\b';
          break;
        case 'f':
          out += '\f';
          break;
        case 'n':
          out += '\n';
          break;
        case 'r':
          out += '\r';
          break;
        case 't':
          out += '\t';
          break;
        case 'u': {
          uint32_t cp = Hex4();
          if (cp >= 0xD800 && cp < 0xDC00) {
            if (pos_ + 2 > s_.size() || s_[pos_] != '\\' || s_[pos_ + 1] != 'u') {
              Fail("lone surrogate in \\u escape");
            }
            pos_ += 2;
            uint32_t low = Hex4();
            if (low < 0xDC00 || low >= 0xE000) Fail("bad surrogate pair");
            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
          }
          AppendUtf8(out, cp);
          break;
        }
        default:
          Fail(std::string("unknown escape \\") + e);
      }
    }
  }

  const std::string& s_;
  size_t pos_ = 0;
};

}  // namespace

bool IsTextListArgument(std::string_view text) {
  size_t first = text.find_first_not_of(" \t\r\n");
  return first != std::string_view::npos && (text[first] == '@' || text[first] == '[');
}

Variant TextListArgument(const std::string& text) {
  size_t first = text.find_first_not_of(" \t\r\n");
  if (text[first] == '[') return Variant(JsonList(text).Parse());
  const std::string path = text.substr(first + 1);
  if (path == "-") return Variant(LinesOf(std::cin));
  std::ifstream in(path, std::ios::binary);
  if (!in) throw UsageError("cannot read the statement list '" + path + "'");
  return Variant(LinesOf(in));
}

}  // namespace morvesk::cli
