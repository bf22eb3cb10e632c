#include "platform/host/global_object.h"

#include <mutex>

#include "platform/automation/registry.h"

namespace morvesk::host {

using automation::DispatchTable;
using automation::Variant;
using automation::VarType;

void RegisterHostClasses() {
  static std::once_flag once;
  std::call_once(once, [] {
    automation::ClassRegistry::Global().Register(automation::ClassInfo{
        kAppConnectionProgId, kAppConnectionClsid, "9b07e3a4-2d51-4c8e-a6f0-71c3d84e5b26",
        "AppConnection", [] { return std::make_shared<AppConnection>(); }});
  });
}

std::shared_ptr<GlobalObject> GlobalObject::ForThread() {
  thread_local std::shared_ptr<GlobalObject> global;
  if (!global) {
    RegisterHostClasses();
    global = std::make_shared<GlobalObject>();
    global->ExcludeFromLiveCount();
  }
  return global;
}

std::shared_ptr<AppConnection> GlobalObject::GetAppConnection() {
  if (!service_) {
    service_ = std::dynamic_pointer_cast<AppConnection>(
        automation::CreateObject(kAppConnectionProgId));
    service_->ExcludeFromLiveCount();
  }
  return service_;
}

const automation::DispatchTable<GlobalObject>& GlobalObject::Table() {
  static const DispatchTable<GlobalObject> table(
      "Global", {
                    {{.name = "GetAppConnection", .result = VarType::kObject},
                     [](GlobalObject& g, auto&) { return Variant(g.GetAppConnection()); }},
                });
  return table;
}

}  // namespace morvesk::host
