// The Morvesk server module: its type library and its three creatable classes, as the
// library's entry points register them and as in-process callers create them by name.
#pragma once

#include "platform/automation/registry.h"

namespace morvesk::services {

inline constexpr char kTypeLibId[] = "5b5fb6c4-f254-45e1-9637-a5fc4b4ca5a0";

const automation::ModuleInfo& MorveskModule();

// Registers the three classes (and the platform components they create by name) in this
// process's class registry. Idempotent.
void RegisterMorveskClasses();

}  // namespace morvesk::services
