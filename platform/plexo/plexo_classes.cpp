#include "platform/plexo/plexo_classes.h"

#include <memory>

#include "platform/automation/registry.h"
#include "platform/plexo/dictionary.h"
#include "platform/plexo/string_builder.h"

namespace morvesk::plexo {

void RegisterPlexoClasses() {
  auto& registry = automation::ClassRegistry::Global();
  registry.Register({.prog_id = kDictionaryProgId,
                     .clsid = kDictionaryClsid,
                     .iid = "0d83b5c6-2f4a-4e19-8c7b-93a1e5d26f40",
                     .interface_name = "_Dictionary",
                     .factory = [] { return std::make_shared<Dictionary>(); }});
  registry.Register({.prog_id = kStringBuilderProgId,
                     .clsid = kStringBuilderClsid,
                     .iid = "8e51c3a7-b06d-4f92-a4e8-1c7d9b2f5a03",
                     .interface_name = "_stringbuilder",
                     .factory = [] { return std::make_shared<StringBuilder>(); }});
}

}  // namespace morvesk::plexo
