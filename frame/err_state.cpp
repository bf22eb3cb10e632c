#include "frame/err_state.h"

namespace morvesk::frame {

ErrState& Err() {
  thread_local ErrState state;
  return state;
}

void SetErr(const automation::ComError& e) {
  Err() = ErrState{e.number, e.source, e.description, e.help_file, e.help_context};
}

void ClearErr() { Err() = ErrState{}; }

}  // namespace morvesk::frame
