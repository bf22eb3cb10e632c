#include "maintenance/job_frame.h"

#include <memory>

#include "frame/err_state.h"
#include "platform/automation/com_error.h"

namespace morvesk::maintenance {

using automation::ComError;

void RunJob(frame::ServiceFrame& self, const std::string& sDsn,
            const std::function<void(ado::Connection&)>& work, const JobOptions& options) {
  std::shared_ptr<ado::Connection> cnn;
  try {
    self.SetAbort();
    self.BindSession(sDsn);
    cnn = self.Connection();
    work(*cnn);
  } catch (const ComError& e) {
    frame::SetErr(e);
    ComError raised(e.number, std::string(options.source), e.description);
    if (options.prefer_errors_collection && cnn && !cnn->Errors().empty()) {
      const ado::ErrorRecord& first = cnn->Errors().front();
      raised = ComError(first.number, std::string(options.source), first.description);
    }
    cnn.reset();
    self.SetAbort();
    frame::ClearErr();
    if (options.on_error == OnJobError::kRaise) throw raised;
  }
}

void FailJob(int32_t number, std::string_view source, std::string description) {
  throw ComError(number, std::string(source), std::move(description));
}

void FailWithFirstError(const ado::Connection& cnn, std::string_view source,
                        bool number_minus_one) {
  const ado::ErrorRecord& first = cnn.Errors().front();
  FailJob(number_minus_one ? -1 : first.number, source, first.description);
}

}  // namespace morvesk::maintenance
