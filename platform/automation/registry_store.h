// The persistent registry: a text file that DllRegisterServer writes a library's
// classes and type library into and DllUnregisterServer removes them from, so that
// another process can create the classes by name and find the library that holds them.
//
// Location: $MORVESK_REGISTRY when set, else $XDG_CONFIG_HOME/morvesk/registry, else
// $HOME/.config/morvesk/registry. One record per line, fields separated by tabs:
//   class   <clsid> <progid> <iid> <interface name> <libid> <library path>
//   typelib <libid> <major.minor> <lcid> <name> <library path>
// Lines starting with '#' are comments. Writes replace the file atomically.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/automation/registry.h"

namespace morvesk::automation {

struct StoredClass {
  std::string clsid;
  std::string prog_id;
  std::string iid;
  std::string interface_name;
  std::string libid;
  std::string library_path;
};

struct StoredTypeLib {
  TypeLibInfo info;
  std::string library_path;
};

class RegistryStore {
 public:
  static std::string DefaultPath();
  explicit RegistryStore(std::string path = DefaultPath());
  const std::string& path() const { return path_; }

  std::vector<StoredClass> Classes() const;
  std::vector<StoredTypeLib> TypeLibs() const;
  // By programmatic name (without regard to case) or class id.
  std::optional<StoredClass> FindClass(std::string_view progid_or_clsid) const;

  // Writes (replacing earlier records of the same ids) / removes a library's records.
  // Throws ComError when the file cannot be written.
  void AddModule(const ModuleInfo& module, const std::string& library_path);
  void RemoveModule(const ModuleInfo& module);

 private:
  struct Contents {
    std::vector<StoredClass> classes;
    std::vector<StoredTypeLib> typelibs;
  };
  Contents Read() const;
  void Write(const Contents& c) const;
  std::string path_;
};

}  // namespace morvesk::automation
