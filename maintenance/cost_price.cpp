#include "maintenance/cost_price.h"

#include <memory>

#include "frame/batch_text.h"
#include "maintenance/job_frame.h"
#include "platform/ado/recordset.h"

namespace morvesk::maintenance {

using automation::Variant;

namespace {

std::string CostPriceBatch(int32_t item) {
  const std::string id = frame::Num(item);
  // Every line ends in CR LF, the comment lines too, so that a comment never
  // swallows the line after it; the batch ends without one.
  return frame::Lines({
      "Declare @Qty Decimal(28,10),@Bal Decimal(28,10)",
      "Declare @StarYear Int,@StartPeriod int",
      "Declare @BegDate DateTime,@EndDate DateTime",
      "Declare @Year int,@Period int",
      "Select @StarYear=FValue From t_SystemProfile Where FCategory='IC' And FKey='StartYear'",
      "Select @StartPeriod=FValue From t_SystemProfile Where FCategory='IC' And FKey='StartPeriod'",
      "Select @Year=FValue From t_SystemProfile Where FCategory='IC' And FKey='CurrentYear'",
      "Select @Period=FValue From t_SystemProfile Where FCategory='IC' And FKey='CurrentPeriod'",
      "Select @BegDate=FStartDate,@EndDate=FEndDate From t_PeriodDate Where FYear=@Year And "
      "FPeriod=@Period",
      "select @Qty=sum(FBegQty),@Bal=sum(FBegBal) from t_cc_bal where FYear=@StarYear",
      "and FPeriod=@StartPeriod and FItemID=" + id,
      "if IsNull(@Qty,0)<=0 Or IsNull(@Bal,0)<=0",
      "begin",
      "--取估价入库单",
      "select @Qty=0",
      "select @Bal=0",
      "select @Qty=sum(en.FQty),@Bal=sum(en.FAmount) from t_cc_stockbill u",
      "inner join t_cc_stockbillentry en on u.FID=en.FID",
      "and u.FClassTypeID=1020003 and FBillTypeID=2030",
      "Where en.FItemID =" + id,
      "and u.FStatus<>0 and u.Fdate>= @BegDate and u.Fdate<=@EndDate",
      "if IsNull(@Qty,0)<=0 Or IsNull(@Bal,0)<=0",
      "      --取当前月份平均成本",
      "  begin ",
      "      Select @Qty=Sum(IsNull(a.FQty,0)),@Bal=Sum(IsNUll(a.FAmount,0))  "
      "----取当期平均成本,不区分计价法",
      "      From (",
      "        --所有收入类单据",
      "        select c.FQty,c.FCostAmount as FAmount from t_cc_stockbillentry c",
      "        Inner Join t_cc_stockbill b on c.FID=b.FID",
      "        Inner Join t_Stock s On c.FDCStockID=s.FItemID and s.FTypeID<>502",
      "        where b.FStatus<>0 and b.Fdate>= @BegDate and b.Fdate<=@EndDate",
      "        and c.FItemID=" + id,
      "        and b.FClassTypeID=1020002 and b.FBillTypeID<>2012 ",
      "         ) As a",
      "   end  End",
      " if IsNull(@Qty,0)>0 and IsNull(@Bal,0)>0",
      "  begin ",
      "  update t_ICItem set FCostPrice=round(@Bal/@Qty,10) where FItemID=" + id,
      "  end ",
  });
}

}  // namespace

Variant AutoUpdateCostPrice(frame::ServiceFrame& self, const std::string& sDsn, int32_t ItemID) {
  RunJob(self, sDsn, [&](ado::Connection& cnn) {
    if (ItemID < 1) {
      std::shared_ptr<ado::Recordset> rs =
          cnn.Execute("select * from t_ICItem where isnull(FCostPrice,0)<=0");
      while (!rs->Eof()) {
        cnn.Execute(CostPriceBatch(rs->Fields(Variant("FItemID")).Value().ToLong()));
        rs->MoveNext();
      }
      rs->Close();
    } else {
      cnn.Execute(CostPriceBatch(ItemID));
    }
    self.SetComplete();
  });
  return Variant();
}

}  // namespace morvesk::maintenance
