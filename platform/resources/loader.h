// TARNRESLOADER.Loader: the resource loader that localized texts are looked up through.
// It serves one language from the compiled-in resource files <ResFileBaseName>.<LanguageID>
// (resource_texts.h). Late-bound members, in order:
//   LanguageID       text property, read and written (initially "CHS", the base language)
//   ResFileBaseName  text property, read and written (initially "TARNINDUSTRY")
//   LoadString(Key)  the key's text in the loader's language; a key the file does not hold,
//                    or a language without a file, gives the key itself (the keys are the
//                    base-language texts)
//   Unload()         drops the loaded file; the next LoadString loads it again
// The file is loaded on the first LoadString after a change of language or base name.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/automation/dispatch_object.h"
#include "platform/resources/resource_texts.h"

namespace morvesk::resources {

inline constexpr char kLoaderProgId[] = "TARNRESLOADER.Loader";
inline constexpr char kLoaderClsid[] = "f3a9c1d2-7b64-4e85-9a0c-2d5e8f1b7c46";
inline constexpr char kDefaultResFileBaseName[] = "TARNINDUSTRY";

class Loader : public automation::DispatchObject<Loader> {
 public:
  static const automation::DispatchTable<Loader>& Table();
  std::string ErrorSource() const override { return kLoaderProgId; }

  const std::string& LanguageID() const { return language_; }
  void SetLanguageID(std::string language);
  const std::string& ResFileBaseName() const { return base_name_; }
  void SetResFileBaseName(std::string base_name);
  std::string LoadString(const std::string& key);
  void Unload() { texts_.reset(); loaded_ = false; }

  // Resource files loaded by loaders of this process so far (each load of a file by a
  // loader counts once); lets callers check that a cached loader is reused.
  static int64_t FilesLoaded();

 private:
  std::string language_ = std::string(kBaseLanguage);
  std::string base_name_ = kDefaultResFileBaseName;
  std::shared_ptr<const ResourceTexts> texts_;
  bool loaded_ = false;
};

// Registers TARNRESLOADER.Loader in this module's class registry; idempotent.
void RegisterResourceClasses();

}  // namespace morvesk::resources
