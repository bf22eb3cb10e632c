#include "platform/resources/loader.h"

#include <atomic>

#include "platform/automation/registry.h"

namespace morvesk::resources {

using automation::In;
using automation::Variant;
using automation::VarType;

namespace {
std::atomic<int64_t> g_files_loaded{0};
}

const automation::DispatchTable<Loader>& Loader::Table() {
  using Args = std::vector<Variant>;
  static const automation::DispatchTable<Loader> table(
      "_Loader",
      {
          {{.name = "LanguageID", .result = VarType::kString, .is_property = true},
           [](Loader& l, Args&) { return Variant(l.LanguageID()); },
           [](Loader& l, Args& a) { l.SetLanguageID(a.back().ToString()); }},
          {{.name = "ResFileBaseName", .result = VarType::kString, .is_property = true},
           [](Loader& l, Args&) { return Variant(l.ResFileBaseName()); },
           [](Loader& l, Args& a) { l.SetResFileBaseName(a.back().ToString()); }},
          {{.name = "LoadString", .params = {In("Key", VarType::kString)}, .result = VarType::kString},
           [](Loader& l, Args& a) { return Variant(l.LoadString(a[0].ToString())); }},
          {{.name = "Unload"},
           [](Loader& l, Args&) {
             l.Unload();
             return Variant();
           }},
      });
  return table;
}

void Loader::SetLanguageID(std::string language) {
  if (UpperAscii(language) != UpperAscii(language_)) Unload();
  language_ = std::move(language);
}

void Loader::SetResFileBaseName(std::string base_name) {
  if (UpperAscii(base_name) != UpperAscii(base_name_)) Unload();
  base_name_ = std::move(base_name);
}

std::string Loader::LoadString(const std::string& key) {
  if (!loaded_) {
    texts_ = ResourceTexts::Find(base_name_, language_);
    loaded_ = true;
    if (texts_) g_files_loaded.fetch_add(1);
  }
  if (texts_) {
    if (auto text = texts_->Lookup(key)) return *text;
  }
  return key;
}

int64_t Loader::FilesLoaded() { return g_files_loaded.load(); }

void RegisterResourceClasses() {
  automation::ClassRegistry::Global().Register(
      {.prog_id = kLoaderProgId,
       .clsid = kLoaderClsid,
       .iid = "5c0e7a93-d1f8-4b26-8e47-a6b3c92d0f18",
       .interface_name = "_Loader",
       .factory = [] { return std::make_shared<Loader>(); }});
}

}  // namespace morvesk::resources
