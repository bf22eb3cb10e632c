#include "platform/automation/registry_store.h"

#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "base/ascii.h"
#include "platform/automation/com_error.h"

namespace morvesk::automation {
namespace {

constexpr char kSource[] = "Registry";

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> out;
  std::string field;
  std::istringstream in(line);
  while (std::getline(in, field, '\t')) out.push_back(field);
  return out;
}

std::string Guid(const std::string& text) { return NormalizeGuid(text).value_or(text); }

}  // namespace

std::string RegistryStore::DefaultPath() {
  if (const char* p = std::getenv("MORVESK_REGISTRY"); p && *p) return p;
  if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && *x) {
    return std::string(x) + "/morvesk/registry";
  }
  if (const char* h = std::getenv("HOME"); h && *h) return std::string(h) + "/.config/morvesk/registry";
  return "morvesk-registry";
}

RegistryStore::RegistryStore(std::string path) : path_(std::move(path)) {}

RegistryStore::Contents RegistryStore::Read() const {
  Contents c;
  std::ifstream in(path_);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    auto f = SplitTabs(line);
    if (f[0] == "class" && f.size() == 7) {
      c.classes.push_back(StoredClass{f[1], f[2], f[3], f[4], f[5], f[6]});
    } else if (f[0] == "typelib" && f.size() == 6) {
      StoredTypeLib t;
      t.info.libid = f[1];
      unsigned major = 0, minor = 0;
      std::sscanf(f[2].c_str(), "%u.%u", &major, &minor);
      t.info.major_version = static_cast<uint16_t>(major);
      t.info.minor_version = static_cast<uint16_t>(minor);
      t.info.lcid = static_cast<uint32_t>(std::strtoul(f[3].c_str(), nullptr, 10));
      t.info.name = f[4];
      t.library_path = f[5];
      c.typelibs.push_back(std::move(t));
    }
    // Other lines are records of a later format; they are kept out, not guessed at.
  }
  return c;
}

void RegistryStore::Write(const Contents& c) const {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::path target(path_);
  if (target.has_parent_path()) fs::create_directories(target.parent_path(), ec);
  std::string temp = path_ + ".tmp" + std::to_string(::getpid());
  {
    std::ofstream out(temp, std::ios::trunc);
    out << "# Morvesk class registry: written by DllRegisterServer, read by CreateObject\n";
    for (const auto& t : c.typelibs) {
      out << "typelib\t" << t.info.libid << '\t' << t.info.major_version << '.'
          << t.info.minor_version << '\t' << t.info.lcid << '\t' << t.info.name << '\t'
          << t.library_path << '\n';
    }
    for (const auto& k : c.classes) {
      out << "class\t" << k.clsid << '\t' << k.prog_id << '\t' << k.iid << '\t'
          << k.interface_name << '\t' << k.libid << '\t' << k.library_path << '\n';
    }
    if (!out.flush()) {
      throw ComError(kErrFail, kSource, "Cannot write the class registry file " + temp);
    }
  }
  fs::rename(temp, target, ec);
  if (ec) {
    fs::remove(temp, ec);
    throw ComError(kErrFail, kSource, "Cannot replace the class registry file " + path_);
  }
}

std::vector<StoredClass> RegistryStore::Classes() const { return Read().classes; }
std::vector<StoredTypeLib> RegistryStore::TypeLibs() const { return Read().typelibs; }

std::optional<StoredClass> RegistryStore::FindClass(std::string_view progid_or_clsid) const {
  auto guid = NormalizeGuid(progid_or_clsid);
  for (auto& c : Read().classes) {
    if (guid ? Guid(c.clsid) == *guid : base::EqualsNoCase(c.prog_id, progid_or_clsid)) return c;
  }
  return std::nullopt;
}

void RegistryStore::AddModule(const ModuleInfo& module, const std::string& library_path) {
  Contents c = Read();
  const std::string libid = Guid(module.type_library.libid);
  std::erase_if(c.typelibs, [&](const StoredTypeLib& t) { return Guid(t.info.libid) == libid; });
  StoredTypeLib t{module.type_library, library_path};
  t.info.libid = libid;
  c.typelibs.push_back(std::move(t));
  for (const auto& k : module.classes) {
    const std::string clsid = Guid(k.clsid);
    std::erase_if(c.classes, [&](const StoredClass& s) {
      return Guid(s.clsid) == clsid || base::EqualsNoCase(s.prog_id, k.prog_id);
    });
    c.classes.push_back(
        StoredClass{clsid, k.prog_id, Guid(k.iid), k.interface_name, libid, library_path});
  }
  Write(c);
}

void RegistryStore::RemoveModule(const ModuleInfo& module) {
  Contents c = Read();
  const std::string libid = Guid(module.type_library.libid);
  std::erase_if(c.typelibs, [&](const StoredTypeLib& t) { return Guid(t.info.libid) == libid; });
  for (const auto& k : module.classes) {
    const std::string clsid = Guid(k.clsid);
    std::erase_if(c.classes, [&](const StoredClass& s) { return Guid(s.clsid) == clsid; });
  }
  Write(c);
}

}  // namespace morvesk::automation
