#include "balance/batchno_calculation.h"

#include <memory>
#include <optional>

#include "balance/batchno_stages.h"
#include "frame/sql_text.h"
#include "platform/ado/connection.h"
#include "platform/automation/com_error.h"
#include "platform/host/step_progress.h"

namespace morvesk::balance {

namespace {

std::string SqlDate(const frame::ServiceFrame& self, const char* name, const std::string& text) {
  std::optional<std::string> date = frame::FormatSqlDate(text);
  if (!date) {
    throw automation::ComError(automation::kErrTypeMismatch, self.source(),
                               std::string(name) + " '" + text + "' is not a date");
  }
  return *date;
}

}  // namespace

bool CalculateInvBal_Ext_BatchNo(frame::ServiceFrame& self, const std::string& sCnn,
                                 int32_t lPeriod, int32_t lYear, const std::string& sStartDate,
                                 const std::string& sEndDate, int32_t /*lCalMethod*/,
                                 const std::string& /*sFilter*/, std::string& /*sErrInfo*/) {
  self.BindSession(sCnn);
  std::shared_ptr<ado::Connection> cnn = self.Connection();
  const BatchNoArgs args{.lPeriod = lPeriod,
                         .lYear = lYear,
                         .start_date = SqlDate(self, "sStartDate", sStartDate),
                         .end_date = SqlDate(self, "sEndDate", sEndDate)};
  host::EnterStep("batch-level balances");
  RunBatchNoPreparation(*cnn, args);
  host::EnterStep("batch-level spreading");
  RunBatchNoSpreading(*cnn, args);
  host::EnterStep("batch-level write-back");
  RunBatchNoWriteBack(*cnn, args);
  return true;
}

}  // namespace morvesk::balance
