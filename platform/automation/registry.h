// The class registry: which classes this process can create, by programmatic name or
// class id, and CreateObject. Classes are registered in-process by the module that
// holds them (RegisterModule); CreateObject falls back to the registry store, loading
// the server library that registered the class (server.h) and asking its class factory.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/automation/dispatch.h"

namespace morvesk::automation {

// Class, interface and library ids are GUID texts; NormalizeGuid accepts them with or
// without braces, in any case, and yields lower case without braces (empty when the
// text is not a GUID).
std::optional<std::string> NormalizeGuid(std::string_view text);

using ObjectFactory = std::function<std::shared_ptr<Dispatch>()>;

struct ClassInfo {
  std::string prog_id;         // "Morvesk.CalCurAmount"
  std::string clsid;           // GUID text
  std::string iid;             // the default interface's GUID
  std::string interface_name;  // "_CalCurAmount"
  ObjectFactory factory;
};

struct TypeLibInfo {
  std::string libid;  // GUID text
  uint16_t major_version = 1;
  uint16_t minor_version = 0;
  uint32_t lcid = 0;  // 1033 ...
  std::string name;   // "Morvesk"
};

// What one server library holds: its type library and its creatable classes.
struct ModuleInfo {
  TypeLibInfo type_library;
  std::vector<ClassInfo> classes;
};

class ClassRegistry {
 public:
  // The registry of this module (one per loaded copy of the platform).
  static ClassRegistry& Global();

  // Adds or replaces (same class id) a class; the ids are normalized.
  void Register(ClassInfo info);
  void RegisterModule(const ModuleInfo& module);
  void Unregister(std::string_view progid_or_clsid);
  // By programmatic name (without regard to case) or class id.
  std::optional<ClassInfo> Find(std::string_view progid_or_clsid) const;
  std::vector<ClassInfo> Classes() const;

 private:
  mutable std::mutex mu_;
  std::vector<ClassInfo> classes_;
};

// Creates an object by programmatic name or class id: the in-process registry first,
// then the registry store. Throws ComError kErrClassNotReg when neither knows it.
std::shared_ptr<Dispatch> CreateObject(std::string_view progid_or_clsid);

}  // namespace morvesk::automation
