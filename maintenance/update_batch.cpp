#include "maintenance/update_batch.h"

#include <memory>

#include "frame/conventions.h"
#include "platform/ado/connection.h"
#include "platform/automation/com_error.h"

namespace morvesk::maintenance {

using automation::ComError;
using automation::Variant;

namespace {

// An element as statement text: Empty and Null add an empty line, numbers their
// digits; an object or a nested array is no statement.
std::string StatementText(const frame::ServiceFrame& self, const Variant& element, size_t i) {
  if (element.is_object() || element.is_array()) {
    throw ComError(automation::kErrTypeMismatch, self.source(),
                   "UpdateBatch: element " + std::to_string(i) + " of oCol is not text");
  }
  return element.ToString();
}

}  // namespace

bool UpdateBatch(frame::ServiceFrame& self, const std::string& sCnn, const Variant& oCol) {
  return frame::TrapAndRaise(self, frame::CompletionAtStart::kNo, [&]() -> bool {
    self.BindSession(sCnn);
    std::shared_ptr<ado::Connection> cnn = self.Connection();
    if (!oCol.is_array()) {
      throw ComError(automation::kErrTypeMismatch, self.source(),
                     "UpdateBatch: oCol must be an array of SQL statements");
    }
    const automation::VariantArray& statements = oCol.ToArray();
    std::string pending;
    for (size_t i = 0; i < statements.size(); ++i) {
      pending += "\r\n";
      pending += StatementText(self, statements[i], i);
      if (i % kUpdateBatchChunk == 0) {
        cnn->Execute(pending);
        pending.clear();
      }
    }
    if (!pending.empty()) cnn->Execute(pending);
    self.SetComplete();
    return true;
  });
}

}  // namespace morvesk::maintenance
