#include "balance/working_tables.h"

#include "frame/batch_text.h"

namespace morvesk::balance {

std::string DropTempTableIfExists(std::string_view name) {
  std::string n(name);
  return "If Object_ID('tempdb.." + n + "') Is Not Null Drop Table " + n + " ";
}

std::string CreateTmpBal1() {
  return frame::Lines({
      DropTempTableIfExists("#TmpBal_1"),
      "Create Table #TmpBal_1(FInterID varchar(24) null,FItemID int not null,FStockID int not null,"
      "FBatchNo varchar(200) not null default '',"
      "FBegQty decimal(28,10) not null default 0,FBegBal decimal(28,2) not null default 0,"
      "FReceive decimal(28,10) not null default 0,FDebit decimal(28,2) not null default 0,"
      "FSend decimal(28,10) not null default 0,FCredit decimal(28,2) not null default 0,"
      "FEndQty decimal(28,10) not null default 0,FEndBal decimal(28,2) not null default 0,"
      "FStockInDate datetime not null default '',FID int not null default 0,"
      "FEntryID int not null default 0,FClassTypeID int not null default 0) ",
  });
}

std::string CreateTmpBal2() {
  return frame::Lines({
      DropTempTableIfExists("#TmpBal_2"),
      "Create Table #TmpBal_2(FItemID int not null,FStockID int not null,"
      "FBatchNo varchar(255) not null default '',FAuxPropID int not null default 0,"
      "FBegQty decimal(28,10) not null default 0,FSecBegQty decimal(28,10) not null default 0,"
      "FBegBal decimal(28,2) not null default 0,"
      "FReceive decimal(28,10) not null default 0,FSecReceive decimal(28,10) not null default 0,"
      "FDebit decimal(28,2) not null default 0,"
      "FSend decimal(28,10) not null default 0,FSecSend decimal(28,10) not null default 0,"
      "FCredit decimal(28,2) not null default 0,"
      "FKFDate datetime null default '',FKFPeriod int null default 0,"
      "FPeriodDate datetime null default '') ",
  });
}

}  // namespace morvesk::balance
