#include "balance/calculate_inv_bal_ext.h"

#include <vector>

#include "balance/close_stages.h"
#include "balance/shelf_life_copy.h"
#include "frame/batch_text.h"
#include "frame/conventions.h"
#include "frame/sql_text.h"
#include "platform/ado/connection.h"
#include "platform/automation/com_error.h"
#include "platform/host/step_progress.h"

namespace morvesk::balance {

namespace {

using automation::ComError;
using automation::Variant;

std::string FormatDateArgument(const frame::ServiceFrame& self, const char* name,
                               const std::string& text, int add_days = 0) {
  std::optional<std::string> date = frame::FormatSqlDate(text, add_days);
  if (!date) {
    throw ComError(automation::kErrTypeMismatch, self.source(),
                   std::string(name) + " '" + text + "' is not a date");
  }
  return *date;
}

std::string MessageFor(const ComError& e) {
  if (e.number == automation::kErrIntegrity) return kBatchDataMessage;
  return e.description;
}

}  // namespace

bool CalculateInvBal_Ext(frame::ServiceFrame& self, const std::string& sCnn, int32_t lPeriod,
                         int32_t lYear, const std::string& sStartDate, const std::string& sEndDate,
                         int32_t lCalMethod, const std::string& sFilter, std::string& sErrInfo) {
  return frame::TrapToMessage(
      self, sErrInfo,
      [&]() -> bool {
        self.BindSession(sCnn);
        std::shared_ptr<ado::Connection> cnn = self.Connection();

        const CloseArgs args{.sCnn = sCnn,
                             .lPeriod = lPeriod,
                             .lYear = lYear,
                             .sStartDate = sStartDate,
                             .sEndDate = sEndDate,
                             .lCalMethod = lCalMethod,
                             .sFilter = sFilter,
                             .start_date = FormatDateArgument(self, "sStartDate", sStartDate),
                             .end_date = FormatDateArgument(self, "sEndDate", sEndDate),
                             .last_day = FormatDateArgument(self, "sEndDate", sEndDate, -1)};

        host::EnterStep("shelf-life dates");
        cnn->Execute(ShelfLifeCopy(), nullptr, ado::kOptionUnspecified);
        RunPeriodBalances(*cnn, args);
        host::EnterStep("carry-forward");
        RunCarryForward(*cnn, args);
        host::EnterStep("clean-up");
        cnn->Execute(frame::Lines({"Delete From TempWriteBack ", "Delete From CalculateLog "}),
                     nullptr, ado::kOptionUnspecified);

        // Through the class's own interface, so that the batch-tracked stage joins this unit
        // of work and its errors reach this trap.
        Variant batch_err(sErrInfo);
        std::vector<Variant> call{Variant(sCnn),       Variant(lPeriod),        Variant(lYear),
                                  Variant(sStartDate), Variant(sEndDate),       Variant(lCalMethod),
                                  Variant(sFilter),    Variant::Ref(&batch_err)};
        self.Owner().CallRef("CalculateInvBal_Ext_BatchNo", call);

        self.SetComplete();
        return true;
      },
      MessageFor);
}

}  // namespace morvesk::balance
