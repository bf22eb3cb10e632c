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

std::string NotImplementedText(const ServiceFrame& frame, std::string_view operation) {
  return frame.source() + "." + std::string(operation) + " is not implemented yet";
}

bool NotImplementedToMessage(ServiceFrame& frame, std::string& message,
                             std::string_view operation) {
  return TrapToMessage(frame, message, [&]() -> bool {
    throw ComError(automation::kErrNotImpl, frame.source(), NotImplementedText(frame, operation));
  });
}

void RaiseNotImplemented(ServiceFrame& frame, std::string_view operation) {
  TrapAndRaise(frame, CompletionAtStart::kNo, [&]() -> void {
    throw ComError(automation::kErrNotImpl, frame.source(), NotImplementedText(frame, operation));
  });
  throw ComError(automation::kErrNotImpl, frame.source(), NotImplementedText(frame, operation));
}

}  // namespace morvesk::frame
