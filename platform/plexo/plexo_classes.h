// Registers Plexo.Dictionary and Plexox.stringbuilder in this module's class registry so
// that they are creatable by programmatic name or class id. Idempotent; callers that create
// them by name (the service frame, tests) call it first.
#pragma once

namespace morvesk::plexo {

void RegisterPlexoClasses();

}  // namespace morvesk::plexo
