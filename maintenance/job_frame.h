// The frame the maintenance jobs of CalCurAmount share. The abort call comes
// first, so that the unit of work counts as failed until the job's own
// successful end makes the completion call; then BindSession and the connection
// call; then the work. The trap makes the abort call and raises the error again
// with its number and description under the job's source text (the balance,
// stock and cost price jobs all report "UpdateStock"), or swallows it.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "frame/service_frame.h"
#include "platform/ado/connection.h"

namespace morvesk::maintenance {

// The source text the balance, stock and cost price jobs raise their errors
// with.
inline constexpr char kUpdateStockSource[] = "UpdateStock";

enum class OnJobError : bool {
  kRaise,    // the error goes back to the caller under the job's source text
  kSwallow,  // the caller cannot tell failure from success
};

struct JobOptions {
  std::string_view source = kUpdateStockSource;
  OnJobError on_error = OnJobError::kRaise;
  // When the trap still holds a connection whose Errors collection is not
  // empty, the first entry's number and description are raised instead of the
  // trapped error (the stored procedure's own message wins over the data-access
  // error that carried it).
  bool prefer_errors_collection = false;
};

// Runs `work` on the unit of work's connection inside the job frame. `work`
// makes the completion call itself where its job says (normally its last step).
void RunJob(frame::ServiceFrame& self, const std::string& sDsn,
            const std::function<void(ado::Connection&)>& work, const JobOptions& options = {});

// A job's own failure (a check that found bad data) as the error its trap
// raises.
[[noreturn]] void FailJob(int32_t number, std::string_view source, std::string description);

// The first entry of the connection's Errors collection as a failure (warnings
// count too).
[[noreturn]] void FailWithFirstError(const ado::Connection& cnn, std::string_view source,
                                     bool number_minus_one);

}  // namespace morvesk::maintenance
