// In-process servers: class factories, the standard implementations that a library's
// exported DllRegisterServer / DllUnregisterServer / DllGetClassObject /
// DllCanUnloadNow hand over to, and the host side that loads such a library with
// dlopen and calls its entry points.
//
// A server library exports, with C linkage:
//   int32_t DllRegisterServer();      -> StandardRegisterServer(module, address in it)
//   int32_t DllUnregisterServer();    -> StandardUnregisterServer(module)
//   int32_t DllGetClassObject(const char* clsid, const char* iid, void** out)
//                                     -> StandardGetClassObject(module, clsid, iid, out)
//   int32_t DllCanUnloadNow();        -> StandardCanUnloadNow()
// Results are HRESULTs: kOk, kFalse or a failure code. DllGetClassObject stores in
// *out a heap-allocated std::shared_ptr<ClassFactory>; the caller takes it over with
// AdoptClassObject.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/automation/registry.h"

namespace morvesk::automation {

inline constexpr int32_t kOk = 0;
inline constexpr int32_t kFalse = 1;

// Creates instances of one class. Virtual so that a factory made by a loaded library
// runs that library's code (and counts that library's locks).
class ClassFactory {
 public:
  virtual ~ClassFactory() = default;
  virtual std::shared_ptr<Dispatch> CreateInstance() = 0;
  // Keeps the library loaded while locked (counted by DllCanUnloadNow).
  virtual void LockServer(bool lock) = 0;
  virtual const ClassInfo& Class() const = 0;
};

std::shared_ptr<ClassFactory> MakeClassFactory(ClassInfo info);
// Server locks taken through LockServer in this module.
int64_t ServerLockCount();

// Standard entry point implementations. `module_address` is any address inside the
// server library (a function of it); its file path is what the store records.
int32_t StandardRegisterServer(const ModuleInfo& module, const void* module_address);
int32_t StandardUnregisterServer(const ModuleInfo& module);
int32_t StandardGetClassObject(const ModuleInfo& module, const char* clsid, const char* iid,
                               void** out);
int32_t StandardCanUnloadNow();

std::shared_ptr<ClassFactory> AdoptClassObject(void* out);

// The file path of the shared object (or executable) that contains `address`.
std::string ModulePathOf(const void* address);

// A server library loaded into this process. Libraries stay loaded for the life of the
// process (objects they made may still be alive elsewhere).
class LoadedServer {
 public:
  const std::string& path() const { return path_; }
  int32_t RegisterServer() const;
  int32_t UnregisterServer() const;
  bool CanUnloadNow() const;
  // Throws ComError with the library's HRESULT when it refuses.
  std::shared_ptr<ClassFactory> GetClassObject(std::string_view clsid) const;

 private:
  friend std::shared_ptr<LoadedServer> LoadServer(const std::string& path);
  std::string path_;
  void* handle_ = nullptr;
  int32_t (*register_)() = nullptr;
  int32_t (*unregister_)() = nullptr;
  int32_t (*get_class_object_)(const char*, const char*, void**) = nullptr;
  int32_t (*can_unload_)() = nullptr;
};

// Loads (once per path) a server library and resolves its four entry points; throws
// ComError (kErrFail with the loader's message) when it cannot.
std::shared_ptr<LoadedServer> LoadServer(const std::string& path);

}  // namespace morvesk::automation
