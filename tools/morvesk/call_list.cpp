#include "tools/morvesk/call_list.h"

#include <algorithm>

#include "platform/automation/dispatch.h"
#include "platform/automation/registry.h"

namespace morvesk::cli {
namespace {

// A default as a caller would write it: texts quoted, the empty text as "".
std::string DefaultText(const automation::Variant& v) {
  if (v.type() == automation::VarType::kString) return "\"" + v.ToString() + "\"";
  return v.ToString();
}

std::string Signature(const automation::MemberInfo& m) {
  std::string s = m.name;
  if (m.is_property) return s + " As " + automation::VarTypeName(m.result) + " (property)";
  s += "(";
  for (size_t i = 0; i < m.params.size(); ++i) {
    const automation::ParamInfo& p = m.params[i];
    if (i) s += ", ";
    if (p.optional) s += "[";
    s += (p.by_ref ? "ByRef " : "ByVal ") + p.name + " As " + automation::VarTypeName(p.type);
    if (p.optional) s += " = " + DefaultText(p.default_value) + "]";
  }
  s += ")";
  if (m.result != automation::VarType::kEmpty) s += " As " + automation::VarTypeName(m.result);
  return s;
}

}  // namespace

void ListMembers(const std::vector<std::string>& classes, std::ostream& out) {
  std::vector<std::string> names = classes;
  if (names.empty()) {
    for (const auto& c : automation::ClassRegistry::Global().Classes()) names.push_back(c.prog_id);
    std::sort(names.begin(), names.end());
  }
  for (std::string name : names) {
    if (name.find('.') == std::string::npos && !automation::ClassRegistry::Global().Find(name)) {
      name = "Morvesk." + name;
    }
    std::shared_ptr<automation::Dispatch> object = automation::CreateObject(name);
    const auto& members = object->Interface().members();
    out << name << " (" << object->Interface().name() << ", " << members.size() << " members)\n";
    for (const auto& m : members) out << "  " << m.dispid << "  " << Signature(m) << "\n";
  }
}

}  // namespace morvesk::cli
