#include "maintenance/batch_dating.h"

#include <memory>

#include "frame/batch_text.h"
#include "frame/sql_text.h"
#include "maintenance/job_frame.h"
#include "platform/ado/recordset.h"

namespace morvesk::maintenance {

namespace {

using automation::Variant;

// Bills holding two or more lines with one line number; the fragments run on
// without a line break, as the check has always been sent.
std::string RepeatedLineNumbersQuery() {
  return std::string(" select c.FBillNo,ic.fName_CHS,t.findex from t_cc_stockbill c") +
         " inner join ICClassType ic on c.FClassTypeID=ic.fid" + " inner join (" +
         " select fid,findex,count(*) s1 from T_CC_StockBillEntry group by fid,findex)" +
         " t on c.fid=t.fid where s1>1";
}

// Items and batches whose shelf-life lines, receipts and issues together, carry
// more than one (FKfDate, fkfperiod) pair. Lines without a shelf life never
// count.
std::string ConflictingDatingQuery() {
  return frame::Lines({
      "select * from (select fitemid,FBatchNO ,count(*) as s1",
      " From  (select FItemID,FBatchNO,FKfDate,fkfperiod",
      " from vw_cc_Receive where fkfperiod>0",
      " group by FItemID,FBatchNO,FKfDate,fkfperiod",
      " Union",
      " select FItemID,FBatchNO,FKfDate,fkfperiod",
      " from vw_cc_Send where fkfperiod>0",
      " group by FItemID,FBatchNO,FKfDate,fkfperiod)",
      " t group by FItemID,FBatchNO) t where s1>1",
  });
}

// One dating for the batch: the stock balance table's when it knows the batch,
// else any one bill line's; written into all the batch's bill lines.
std::string RepairDatingBatch(const std::string& item, const std::string& batch) {
  return frame::Lines({
      " Declare @KFDate datetime,@PeriodDate datetime",
      " if exists (select top 1 fitemid from t_cc_Stock where fitemid=" + item,
      " and FBatchNO=" + batch + ")",
      " select top 1 @KFDate=FKFDate,@PeriodDate=FPeriodDate ",
      " from t_cc_Stock where fitemid=" + item,
      " and FBatchNO=" + batch,
      " else ",
      " select top 1 @KFDate=FKFDate,@PeriodDate=FPeriodDate ",
      " from t_cc_Stockbillentry where fitemid=" + item,
      " and FBatchNO=" + batch,
      " Update c set c.fkfdate=@KFDate,c.FPeriodDate=@PeriodDate",
      " from  t_cc_stockbillentry c where c.FItemID=" + item,
      " and c.FBatchNO=" + batch,
  });
}

}  // namespace

Variant AutoCheckBatchNo(frame::ServiceFrame& self, const std::string& sDsn) {
  JobOptions options;
  options.source = kAutoCheckBatchNoSource;
  RunJob(
      self, sDsn,
      [&](ado::Connection& cnn) {
        std::shared_ptr<ado::Recordset> rs = cnn.Execute(RepeatedLineNumbersQuery());
        if (!rs->Eof()) {
          FailJob(-1, kAutoCheckBatchNoSource,
                  "系统发现" + rs->Fields(Variant("fName_CHS")).Value().ToString() +
                      "编号:" + rs->Fields(Variant("FBillNo")).Value().ToString() + "的单据第" +
                      rs->Fields(Variant("findex")).Value().ToString() +
                      "分录有问题,请仔细检查修复单据。");
        }
        rs->Close();
        rs = cnn.Execute(ConflictingDatingQuery());
        while (!rs->Eof()) {
          const std::string item = frame::Num(rs->Fields(Variant("fitemid")).Value().ToLong());
          const std::string batch =
              frame::QuoteSQL(rs->Fields(Variant("FBatchNO")).Value(), true, true);
          cnn.Execute(RepairDatingBatch(item, batch));
          rs->MoveNext();
        }
        rs->Close();
        self.SetComplete();
      },
      options);
  return Variant();
}

}  // namespace morvesk::maintenance
