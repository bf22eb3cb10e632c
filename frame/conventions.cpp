#include "frame/conventions.h"

namespace morvesk::frame {

using automation::ComError;

std::string DescriptionOf(const ComError& e) { return e.description; }

bool TrapToMessage(ServiceFrame& frame, std::string& message, const std::function<bool()>& work,
                   const MessageFor& message_for) {
  try {
    return work();
  } catch (const ComError& e) {
    SetErr(e);
    message = message_for(e);
    frame.SetAbort();
    ClearErr();
    return false;
  }
}

}  // namespace morvesk::frame
