// Entry points of libmorvesk.so. Each hands over to the component runtime's standard
// implementation with this library's module description; none holds logic of its own.
#include <cstdint>

#include "platform/automation/server.h"
#include "services/morvesk_module.h"

using morvesk::automation::StandardCanUnloadNow;
using morvesk::automation::StandardGetClassObject;
using morvesk::automation::StandardRegisterServer;
using morvesk::automation::StandardUnregisterServer;
using morvesk::services::MorveskModule;

extern "C" {

__attribute__((visibility("default"))) int32_t DllRegisterServer() {
  return StandardRegisterServer(MorveskModule(), reinterpret_cast<const void*>(&DllRegisterServer));
}

__attribute__((visibility("default"))) int32_t DllUnregisterServer() {
  return StandardUnregisterServer(MorveskModule());
}

__attribute__((visibility("default"))) int32_t DllGetClassObject(const char* clsid,
                                                                 const char* iid, void** out) {
  return StandardGetClassObject(MorveskModule(), clsid, iid, out);
}

__attribute__((visibility("default"))) int32_t DllCanUnloadNow() { return StandardCanUnloadNow(); }

}  // extern "C"
