#include "platform/plexo/string_builder.h"

namespace morvesk::plexo {

using automation::In;
using automation::Variant;
using automation::VarType;

const automation::DispatchTable<StringBuilder>& StringBuilder::Table() {
  using Args = std::vector<Variant>;
  static const automation::DispatchTable<StringBuilder> table(
      "_stringbuilder",
      {
          {{.name = "Append", .params = {In("Text", VarType::kString)}, .result = VarType::kObject},
           [](StringBuilder& b, Args& a) {
             b.Append(a[0].ToString());
             return Variant(b.shared_from_this());
           }},
          {{.name = "ToString", .result = VarType::kString},
           [](StringBuilder& b, Args&) { return Variant(b.ToString()); }},
          {{.name = "Length", .result = VarType::kLong, .is_property = true},
           [](StringBuilder& b, Args&) {
             return Variant(static_cast<int32_t>(b.ToString().size()));
           }},
          {{.name = "Clear"},
           [](StringBuilder& b, Args&) {
             b.Clear();
             return Variant();
           }},
      });
  return table;
}

}  // namespace morvesk::plexo
