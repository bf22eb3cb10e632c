#include "platform/resources/resource_texts.h"

#include <mutex>

namespace morvesk::resources {

namespace {

struct CompiledFile {
  std::string_view base_name;
  std::string_view language;
  std::string_view text;
};

// The files are wrapped in a raw string literal by their first and last line.
constexpr char kTarnChs[] =
#include "platform/resources/text/TARNINDUSTRY.CHS.txt"
    ;
constexpr char kTarnEnu[] =
#include "platform/resources/text/TARNINDUSTRY.ENU.txt"
    ;

constexpr CompiledFile kFiles[] = {
    {"TARNINDUSTRY", "CHS", kTarnChs},
    {"TARNINDUSTRY", "ENU", kTarnEnu},
};

std::string Unescape(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 1 < s.size()) {
      char n = s[i + 1];
      if (n == 't' || n == 'n' || n == '\\') {
        out += n == 't' ? '\t' : n == 'n' ? '\n' : '\\';
        ++i;
        continue;
      }
    }
    out += s[i];
  }
  return out;
}

}  // namespace

std::string UpperAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

ResourceTexts ResourceTexts::Parse(std::string_view file_text) {
  ResourceTexts table;
  size_t pos = 0;
  while (pos < file_text.size()) {
    size_t end = file_text.find('\n', pos);
    if (end == std::string_view::npos) end = file_text.size();
    std::string_view line = file_text.substr(pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;
    size_t tab = line.find('\t');
    if (tab == std::string_view::npos) continue;  // not a text line
    table.texts_[Unescape(line.substr(0, tab))] = Unescape(line.substr(tab + 1));
  }
  return table;
}

std::shared_ptr<const ResourceTexts> ResourceTexts::Find(std::string_view base_name,
                                                         std::string_view language) {
  static std::mutex mu;
  static std::map<std::string, std::shared_ptr<const ResourceTexts>> parsed;
  std::string base = UpperAscii(base_name);
  std::string lang = UpperAscii(language);
  for (const CompiledFile& f : kFiles) {
    if (f.base_name != base || f.language != lang) continue;
    std::lock_guard lock(mu);
    auto& slot = parsed[base + "." + lang];
    if (!slot) slot = std::make_shared<const ResourceTexts>(Parse(f.text));
    return slot;
  }
  return nullptr;
}

std::vector<std::string> ResourceTexts::Languages(std::string_view base_name) {
  std::vector<std::string> out;
  std::string base = UpperAscii(base_name);
  for (const CompiledFile& f : kFiles) {
    if (f.base_name == base) out.emplace_back(f.language);
  }
  return out;
}

std::optional<std::string> ResourceTexts::Lookup(std::string_view key) const {
  auto it = texts_.find(key);
  if (it == texts_.end()) return std::nullopt;
  return it->second;
}

}  // namespace morvesk::resources
