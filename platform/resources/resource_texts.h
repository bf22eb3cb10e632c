// Localized texts of the resource files compiled into the library: one table per base name
// and language (TARNINDUSTRY.CHS, TARNINDUSTRY.ENU), read by TARNRESLOADER.Loader.
// The files live in platform/resources/text/<BASE>.<LANG>.txt; see the file headers for their
// line format.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvesk::resources {

class ResourceTexts {
 public:
  // Parses the line format: key TAB text, # comments and blank lines skipped, escapes \t \n \\.
  static ResourceTexts Parse(std::string_view file_text);

  // The table of a compiled-in file, by base name and language (both without regard to case);
  // nullptr when there is no such file. Tables are parsed once and shared.
  static std::shared_ptr<const ResourceTexts> Find(std::string_view base_name,
                                                   std::string_view language);
  // Languages compiled in for a base name, upper case ("CHS", "ENU").
  static std::vector<std::string> Languages(std::string_view base_name);

  std::optional<std::string> Lookup(std::string_view key) const;
  size_t size() const { return texts_.size(); }

 private:
  std::map<std::string, std::string, std::less<>> texts_;
};

// The language a loader serves when none was set.
inline constexpr std::string_view kBaseLanguage = "CHS";

std::string UpperAscii(std::string_view text);

}  // namespace morvesk::resources
