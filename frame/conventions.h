// The result and error conventions of the service operations, written once:
//  - TrapToMessage: Boolean operations with a by-ref message argument. Any ComError in the
//    work becomes the message (its description, or a fixed text for a known number), the
//    abort call is made and the result is False.
//  - TrapAndRaise: operations that return or change data without a message argument. A
//    ComError makes the abort call (unless the operation made the completion call at its
//    start) and is raised again with number, source, description, help file and context
//    unchanged.
// While a trap handles an error, that error is the thread's pending error (err_state.h).
// Only ComError is trapped: the automation boundary (Dispatch::Invoke) has already turned
// every failure of the layers below into one.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "frame/err_state.h"
#include "frame/service_frame.h"
#include "platform/automation/com_error.h"

namespace morvesk::frame {

using MessageFor = std::function<std::string(const automation::ComError&)>;

// The error's description.
std::string DescriptionOf(const automation::ComError& e);

bool TrapToMessage(ServiceFrame& frame, std::string& message, const std::function<bool()>& work,
                   const MessageFor& message_for = DescriptionOf);

enum class CompletionAtStart : bool { kNo = false, kYes = true };

template <class F>
auto TrapAndRaise(ServiceFrame& frame, CompletionAtStart completed, F&& work) -> decltype(work()) {
  try {
    return work();
  } catch (const automation::ComError& e) {
    SetErr(e);
    if (completed == CompletionAtStart::kNo) frame.SetAbort();
    ClearErr();
    throw;
  }
}

}  // namespace morvesk::frame
