#include "platform/automation/registry.h"

#include <algorithm>
#include <cctype>

#include "base/ascii.h"
#include "platform/automation/registry_store.h"
#include "platform/automation/server.h"

namespace morvesk::automation {
std::optional<std::string> NormalizeGuid(std::string_view text) {
  if (text.size() == 38 && text.front() == '{' && text.back() == '}') {
    text = text.substr(1, 36);
  }
  if (text.size() != 36) return std::nullopt;
  std::string out;
  out.reserve(36);
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      if (c != '-') return std::nullopt;
    } else if (!std::isxdigit(static_cast<unsigned char>(c))) {
      return std::nullopt;
    }
    out.push_back(base::AsciiLower(c));
  }
  return out;
}

ClassRegistry& ClassRegistry::Global() {
  static ClassRegistry registry;
  return registry;
}

void ClassRegistry::Register(ClassInfo info) {
  if (auto g = NormalizeGuid(info.clsid)) info.clsid = *g;
  if (auto g = NormalizeGuid(info.iid)) info.iid = *g;
  std::lock_guard lock(mu_);
  for (auto& c : classes_) {
    if (c.clsid == info.clsid) {
      c = std::move(info);
      return;
    }
  }
  classes_.push_back(std::move(info));
}

void ClassRegistry::RegisterModule(const ModuleInfo& module) {
  for (const auto& c : module.classes) Register(c);
}

void ClassRegistry::Unregister(std::string_view progid_or_clsid) {
  auto guid = NormalizeGuid(progid_or_clsid);
  std::lock_guard lock(mu_);
  std::erase_if(classes_, [&](const ClassInfo& c) {
    return guid ? c.clsid == *guid : base::EqualsNoCase(c.prog_id, progid_or_clsid);
  });
}

std::optional<ClassInfo> ClassRegistry::Find(std::string_view progid_or_clsid) const {
  auto guid = NormalizeGuid(progid_or_clsid);
  std::lock_guard lock(mu_);
  for (const auto& c : classes_) {
    if (guid ? c.clsid == *guid : base::EqualsNoCase(c.prog_id, progid_or_clsid)) return c;
  }
  return std::nullopt;
}

std::vector<ClassInfo> ClassRegistry::Classes() const {
  std::lock_guard lock(mu_);
  return classes_;
}

std::shared_ptr<Dispatch> CreateObject(std::string_view progid_or_clsid) {
  if (auto c = ClassRegistry::Global().Find(progid_or_clsid)) return c->factory();
  if (auto stored = RegistryStore().FindClass(progid_or_clsid)) {
    auto server = LoadServer(stored->library_path);
    return server->GetClassObject(stored->clsid)->CreateInstance();
  }
  throw ComError(kErrClassNotReg, "CreateObject",
                 "Class not registered: " + std::string(progid_or_clsid));
}

}  // namespace morvesk::automation
