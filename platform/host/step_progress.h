// The steps of a long operation, for a tool that shows how far it has come: the operation
// names each step as it enters it, and the one listener installed for the process (if any)
// hears the name on the operation's thread. Nothing listens by default, and then a step
// costs a lock and a test.
#pragma once

#include <functional>
#include <string_view>

namespace morvesk::host {

using StepListener = std::function<void(std::string_view step)>;

// Installs the listener of every step from now on; null removes it.
void SetStepListener(StepListener listener);

// Tells the listener that the running operation enters `step` (a few words: "carry-forward").
void EnterStep(std::string_view step);

}  // namespace morvesk::host
