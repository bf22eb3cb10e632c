// The application server's global object: one per thread, created on first use and
// shared by every service object of that thread. Its one operation,
// GetAppConnection (late-bound by that name too), returns the connection service.
#pragma once

#include <memory>

#include "platform/automation/dispatch_object.h"
#include "platform/host/app_connection.h"

namespace morvesk::host {

class GlobalObject : public automation::DispatchObject<GlobalObject> {
 public:
  // This thread's global object.
  static std::shared_ptr<GlobalObject> ForThread();
  static const automation::DispatchTable<GlobalObject>& Table();
  std::string ErrorSource() const override { return "Halvane.Global"; }

  std::shared_ptr<AppConnection> GetAppConnection();

 private:
  std::shared_ptr<AppConnection> service_;
};

// Registers the host's creatable classes ("Halvane.AppConnection") in this module's
// class registry; idempotent. ForThread calls it.
void RegisterHostClasses();

}  // namespace morvesk::host
