#include "maintenance/balance_jobs.h"

#include "frame/batch_text.h"
#include "maintenance/job_frame.h"

namespace morvesk::maintenance {

namespace {

// Items costed lot by lot (78) get their lots' movements rebuilt by the costing
// procedure; this clears what the period had so far. @BegDate is read and not
// used.
std::string ClearLotItemMovementsBatch() {
  return frame::Lines({
      " Declare @BegDate DateTime",
      "Declare @Year int,@Period int",
      "Select @Year=FValue From t_SystemProfile Where FCategory='IC' And FKey='CurrentYear'",
      "Select @Period=FValue From t_SystemProfile Where FCategory='IC' And FKey='CurrentPeriod'",
      "Select @BegDate=FStartDate From t_PeriodDate Where FYear=@Year And FPeriod=@Period",
      " Update c set c.FReceive=0,c.FDebit=0,c.FSend=0,c.FCredit=0,c.FEndQty=0,c.FEndBal=0",
      " from T_CC_Bal c inner join t_ICItem i on c.FItemID=i.FItemID and i.FTrack=78 ",
      " where FYear=@Year and FPeriod=@Period ",
  });
}

}  // namespace

int32_t DeleteBal78(frame::ServiceFrame& self, const std::string& sDsn) {
  RunJob(self, sDsn, [&](ado::Connection& cnn) {
    cnn.Execute(ClearLotItemMovementsBatch());
    self.SetComplete();
  });
  return 0;
}

automation::Variant UpdateComeGoBalance(frame::ServiceFrame& self, const std::string& sDsn) {
  RunJob(self, sDsn, [&](ado::Connection& cnn) {
    cnn.Execute("Exec sp_VerifyBalance");
    self.SetComplete();
  });
  return automation::Variant();
}

void UpdateSettleAcctBal(frame::ServiceFrame& self, const std::string& sDsn, int32_t CurrentYear,
                         int32_t CurrentPeriod) {
  JobOptions options;
  options.on_error = OnJobError::kSwallow;
  RunJob(
      self, sDsn,
      [&](ado::Connection& cnn) {
        cnn.Execute("exec dbo.pr_GetSettleAcctBal " + frame::Num(CurrentYear) + "," +
                    frame::Num(CurrentPeriod));
        self.SetComplete();
      },
      options);
}

}  // namespace morvesk::maintenance
