#include "platform/automation/server.h"

#include <atomic>
#include <dlfcn.h>
#include <map>

#include "platform/automation/registry_store.h"

namespace morvesk::automation {
namespace {

constexpr int32_t kErrClassNotAvailable = static_cast<int32_t>(0x80040111);
constexpr int32_t kErrPointer = static_cast<int32_t>(0x80004003);

std::atomic<int64_t> g_server_locks{0};

class StandardClassFactory : public ClassFactory {
 public:
  explicit StandardClassFactory(ClassInfo info) : info_(std::move(info)) {}
  std::shared_ptr<Dispatch> CreateInstance() override { return info_.factory(); }
  void LockServer(bool lock) override {
    if (lock) {
      g_server_locks.fetch_add(1);
    } else {
      g_server_locks.fetch_sub(1);
    }
  }
  const ClassInfo& Class() const override { return info_; }

 private:
  ClassInfo info_;
};

}  // namespace

std::shared_ptr<ClassFactory> MakeClassFactory(ClassInfo info) {
  return std::make_shared<StandardClassFactory>(std::move(info));
}

int64_t ServerLockCount() { return g_server_locks.load(); }

std::string ModulePathOf(const void* address) {
  Dl_info info{};
  if (dladdr(address, &info) == 0 || info.dli_fname == nullptr) return {};
  return info.dli_fname;
}

int32_t StandardRegisterServer(const ModuleInfo& module, const void* module_address) {
  std::string path = ModulePathOf(module_address);
  if (path.empty()) return kErrFail;
  try {
    RegistryStore().AddModule(module, path);
  } catch (const ComError& e) {
    return e.number;
  }
  return kOk;
}

int32_t StandardUnregisterServer(const ModuleInfo& module) {
  try {
    RegistryStore().RemoveModule(module);
  } catch (const ComError& e) {
    return e.number;
  }
  return kOk;
}

int32_t StandardGetClassObject(const ModuleInfo& module, const char* clsid, const char* /*iid*/,
                               void** out) {
  if (out == nullptr || clsid == nullptr) return kErrPointer;
  *out = nullptr;
  auto wanted = NormalizeGuid(clsid);
  if (!wanted) return kErrClassNotAvailable;
  for (const auto& c : module.classes) {
    if (NormalizeGuid(c.clsid) == wanted) {
      *out = new std::shared_ptr<ClassFactory>(MakeClassFactory(c));
      return kOk;
    }
  }
  return kErrClassNotAvailable;
}

int32_t StandardCanUnloadNow() {
  return LiveObjectCount() == 0 && ServerLockCount() == 0 ? kOk : kFalse;
}

std::shared_ptr<ClassFactory> AdoptClassObject(void* out) {
  auto* holder = static_cast<std::shared_ptr<ClassFactory>*>(out);
  std::shared_ptr<ClassFactory> factory = std::move(*holder);
  delete holder;
  return factory;
}

int32_t LoadedServer::RegisterServer() const { return register_(); }
int32_t LoadedServer::UnregisterServer() const { return unregister_(); }
bool LoadedServer::CanUnloadNow() const { return can_unload_() == kOk; }

std::shared_ptr<ClassFactory> LoadedServer::GetClassObject(std::string_view clsid) const {
  void* out = nullptr;
  std::string id(clsid);
  int32_t hr = get_class_object_(id.c_str(), nullptr, &out);
  if (hr != kOk || out == nullptr) {
    throw ComError(hr == kOk ? kErrFail : hr, path_,
                   "The server library refused a class factory for " + id);
  }
  return AdoptClassObject(out);
}

std::shared_ptr<LoadedServer> LoadServer(const std::string& path) {
  static std::mutex mu;
  static std::map<std::string, std::shared_ptr<LoadedServer>> loaded;
  std::lock_guard lock(mu);
  if (auto it = loaded.find(path); it != loaded.end()) return it->second;

  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* why = dlerror();
    throw ComError(kErrFail, "LoadServer",
                   "Cannot load server library " + path + ": " + (why ? why : "unknown reason"));
  }
  auto server = std::shared_ptr<LoadedServer>(new LoadedServer());
  server->path_ = path;
  server->handle_ = handle;
  auto resolve = [&](const char* name) {
    void* sym = dlsym(handle, name);
    if (sym == nullptr) {
      throw ComError(kErrFail, "LoadServer", path + " does not export " + name);
    }
    return sym;
  };
  server->register_ = reinterpret_cast<int32_t (*)()>(resolve("DllRegisterServer"));
  server->unregister_ = reinterpret_cast<int32_t (*)()>(resolve("DllUnregisterServer"));
  server->get_class_object_ =
      reinterpret_cast<int32_t (*)(const char*, const char*, void**)>(resolve("DllGetClassObject"));
  server->can_unload_ = reinterpret_cast<int32_t (*)()>(resolve("DllCanUnloadNow"));
  loaded.emplace(path, server);
  return server;
}

}  // namespace morvesk::automation
