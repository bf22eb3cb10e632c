#include "balance/shelf_life_copy.h"

#include "frame/batch_text.h"

namespace morvesk::balance {

std::string ShelfLifeCopy() {
  return frame::Lines({
      "Update t Set t.FKFDate=b.FKFDate,t.FKFPeriod=b.FKFPeriod,t.FPeriodDate=b.FPeriodDate",
      "From T_CC_StockBillEntry t Inner Join T_CC_StockBill a On t.FID=a.FID",
      "Inner Join (Select c.FStockID,c.FItemID,c.FBatchNo,c.FAuxPropID,"
      "Max(IsNull(FKFDate,'1900-01-01')) As FKFDate,Max(FKFPeriod) As FKFPeriod,"
      "Max(IsNull(FPeriodDate,'1900-01-01')) As FPeriodDate",
      "From vw_cc_Receive c Where c.FClassTypeID<>1040008 and c.FClassTypeID<>1020004 and "
      "c.FBillTypeID<>2041 and IsNull(FBatchNo,'') <> ''",
      "Group By c.FStockID,c.FItemID,c.FBatchNo,c.FAuxPropID) b",
      "On t.FItemID=b.FItemID And t.FBatchNo=b.FBatchNo And t.FAuxPropID=b.FAuxPropID",
      "Where ((a.FClassTypeID=1020004 and a.FBillTypeID=2041) Or (a.FClassTypeID=1040008)) And "
      "(t.FDCStockID=b.FStockID Or t.FSCStockID=b.FStockID)",
  });
}

}  // namespace morvesk::balance
