#include "tools/morvesk/script_input.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>

#include "base/utf8.h"

namespace morvesk::cli {

using base::AppendUtf8;

namespace {

std::string FromUtf16(const std::string& bytes, bool big_endian) {
  if (bytes.size() % 2 != 0) throw ScriptError("the UTF-16 text ends in the middle of a character");
  std::string out;
  out.reserve(bytes.size() / 2);
  auto unit = [&](size_t i) {
    const auto hi = static_cast<unsigned char>(bytes[big_endian ? i : i + 1]);
    const auto lo = static_cast<unsigned char>(bytes[big_endian ? i + 1 : i]);
    return static_cast<uint32_t>(hi << 8 | lo);
  };
  for (size_t i = 2; i < bytes.size(); i += 2) {
    uint32_t cp = unit(i);
    if (cp >= 0xD800 && cp <= 0xDBFF) {
      const uint32_t low = i + 2 < bytes.size() ? unit(i + 2) : 0;
      if (low < 0xDC00 || low > 0xDFFF) {
        throw ScriptError("the UTF-16 text holds a lone surrogate at byte " + std::to_string(i));
      }
      cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
      i += 2;
    } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
      throw ScriptError("the UTF-16 text holds a lone surrogate at byte " + std::to_string(i));
    }
    AppendUtf8(out, cp);
  }
  return out;
}

bool IsNameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

std::string DecodeScript(std::string bytes) {
  if (bytes.rfind("\xEF\xBB\xBF", 0) == 0) return bytes.substr(3);
  if (bytes.rfind("\xFF\xFE", 0) == 0) return FromUtf16(bytes, /*big_endian=*/false);
  if (bytes.rfind("\xFE\xFF", 0) == 0) return FromUtf16(bytes, /*big_endian=*/true);
  return bytes;
}

ScriptLines ScriptLines::File(const std::string& path) {
  ScriptLines lines;
  lines.path_ = path;
  std::istream* in = &std::cin;
  if (path != "-") {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
      throw ScriptError("cannot read the script " + path + ": it is a directory");
    }
    auto file = std::make_unique<std::ifstream>(path, std::ios::binary);
    if (!*file) {
      const int why = errno;
      throw ScriptError("cannot read the script " + path + ": " +
                        (why == ENOENT ? std::string("no such file") : std::strerror(why)));
    }
    in = file.get();
    lines.owned_ = std::move(file);
  }
  // The byte-order mark decides the encoding.
  const int first = in->peek();
  if (first == 0xEF) {
    char mark[3] = {};
    in->read(mark, 3);
    if (std::string(mark, static_cast<size_t>(in->gcount())) != "\xEF\xBB\xBF") {
      // Not a mark: the bytes belong to the text.
      auto rest = std::make_unique<std::stringstream>();
      rest->write(mark, in->gcount());
      *rest << in->rdbuf();
      lines.owned_ = std::move(rest);
      in = lines.owned_.get();
    }
  } else if (first == 0xFF || first == 0xFE) {
    std::string bytes(std::istreambuf_iterator<char>(*in), {});
    std::string text;
    try {
      text = DecodeScript(std::move(bytes));
    } catch (const ScriptError& e) {
      throw ScriptError("cannot read the script " + path + ": " + e.what());
    }
    lines.owned_ = std::make_unique<std::istringstream>(std::move(text));
    in = lines.owned_.get();
  }
  lines.in_ = in;
  return lines;
}

ScriptLines ScriptLines::Text(std::string text) {
  ScriptLines lines;
  lines.owned_ = std::make_unique<std::istringstream>(std::move(text));
  lines.in_ = lines.owned_.get();
  return lines;
}

bool ScriptLines::Next(std::string& line) {
  if (!std::getline(*in_, line)) {
    if (in_->bad()) {
      throw ScriptError("cannot read the script " + path_ + ": " + std::strerror(errno));
    }
    return false;
  }
  ++line_number_;
  return true;
}

std::map<std::string, std::string> ParseVariables(const std::vector<std::string>& assignments) {
  std::map<std::string, std::string> variables;
  for (const std::string& a : assignments) {
    const size_t eq = a.find('=');
    if (eq == std::string::npos) throw ScriptError("-v takes NAME=VALUE, not '" + a + "'");
    const std::string name = a.substr(0, eq);
    if (name.empty() || std::isdigit(static_cast<unsigned char>(name[0])) ||
        !std::all_of(name.begin(), name.end(), IsNameChar)) {
      throw ScriptError("-v: '" + name +
                        "' is not a variable name (letters, digits and _, not a digit first)");
    }
    variables[Upper(name)] = a.substr(eq + 1);
  }
  return variables;
}

std::string SubstituteVariables(const std::string& text,
                                const std::map<std::string, std::string>& variables, int line) {
  if (text.find("$(") == std::string::npos) return text;
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n') ++line;
    if (text[i] != '$' || i + 1 >= text.size() || text[i + 1] != '(') {
      out += text[i];
      continue;
    }
    const size_t close = text.find(')', i + 2);
    const std::string name =
        close == std::string::npos ? std::string() : text.substr(i + 2, close - i - 2);
    if (name.empty() || !std::all_of(name.begin(), name.end(), IsNameChar)) {
      out += text[i];  // not a reference: "$(" followed by something else stays as written
      continue;
    }
    auto it = variables.find(Upper(name));
    if (it == variables.end()) {
      throw ScriptError("line " + std::to_string(line) + ": the variable $(" + name +
                        ") is not defined (give it with -v " + name + "=VALUE)");
    }
    out += it->second;
    i = close;
  }
  return out;
}

}  // namespace morvesk::cli
