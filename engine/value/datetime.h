// The engine's datetime is the base layer's; the names stay in the engine's namespace
// so that its code reads as before.
#pragma once

#include "base/datetime.h"

namespace morvesk::engine {

using base::DateDiff;
using base::DateTime;

}  // namespace morvesk::engine
