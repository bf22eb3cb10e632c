// The thread's pending error, as an operation's trap sees it while it handles a failure:
// number, source, description, help file, help context. Traps record the error they caught
// here; the message lookup saves and restores it so that looking up a text while handling
// an error does not lose that error.
#pragma once

#include <cstdint>
#include <string>

#include "platform/automation/com_error.h"

namespace morvesk::frame {

struct ErrState {
  int32_t number = 0;  // 0: no error pending
  std::string source;
  std::string description;
  std::string help_file;
  int32_t help_context = 0;

  bool pending() const { return number != 0; }
  automation::ComError ToComError() const {
    return automation::ComError(number, source, description, help_file, help_context);
  }
  bool operator==(const ErrState&) const = default;
};

// This thread's pending error (modifiable).
ErrState& Err();
void SetErr(const automation::ComError& e);
void ClearErr();

}  // namespace morvesk::frame
