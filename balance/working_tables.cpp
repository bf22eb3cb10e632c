#include "balance/working_tables.h"

namespace morvesk::balance {

namespace {
constexpr std::string_view kCrLf = "\r\n";
}

std::string DropTempTableIfExists(std::string_view name) {
  std::string n(name);
  return "If Object_ID('tempdb.." + n + "') Is Not Null Drop Table " + n + " ";
}

std::string CreateTmpBal1() {
  std::string s = DropTempTableIfExists("#TmpBal_1");
  s += kCrLf;
  s += "Create Table #TmpBal_1(FInterID varchar(24) null,FItemID int not null,FStockID int not null,";
  s += "FBatchNo varchar(200) not null default '',";
  s += "FBegQty decimal(28,10) not null default 0,FBegBal decimal(28,2) not null default 0,";
  s += "FReceive decimal(28,10) not null default 0,FDebit decimal(28,2) not null default 0,";
  s += "FSend decimal(28,10) not null default 0,FCredit decimal(28,2) not null default 0,";
  s += "FEndQty decimal(28,10) not null default 0,FEndBal decimal(28,2) not null default 0,";
  s += "FStockInDate datetime not null default '',FID int not null default 0,";
  s += "FEntryID int not null default 0,FClassTypeID int not null default 0) ";
  return s;
}

std::string CreateTmpBal2() {
  std::string s = DropTempTableIfExists("#TmpBal_2");
  s += kCrLf;
  s += "Create Table #TmpBal_2(FItemID int not null,FStockID int not null,";
  s += "FBatchNo varchar(255) not null default '',FAuxPropID int not null default 0,";
  s += "FBegQty decimal(28,10) not null default 0,FSecBegQty decimal(28,10) not null default 0,";
  s += "FBegBal decimal(28,2) not null default 0,";
  s += "FReceive decimal(28,10) not null default 0,FSecReceive decimal(28,10) not null default 0,";
  s += "FDebit decimal(28,2) not null default 0,";
  s += "FSend decimal(28,10) not null default 0,FSecSend decimal(28,10) not null default 0,";
  s += "FCredit decimal(28,2) not null default 0,";
  s += "FKFDate datetime null default '',FKFPeriod int null default 0,";
  s += "FPeriodDate datetime null default '') ";
  return s;
}

}  // namespace morvesk::balance
