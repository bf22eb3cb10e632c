#include "company/company_base.h"

#include <string>

#include "company/company.h"
#include "company/table_writer.h"

namespace morvesk::company {
namespace {

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

}  // namespace

void WriteCalendar(engine::Connection& connection, int first_year, int years) {
  TableWriter periods(connection, "t_PeriodDate", {"FYear", "FPeriod", "FStartDate", "FEndDate"});
  for (int year = first_year; year < first_year + years; ++year) {
    for (int month = 1; month <= 12; ++month) {
      periods.Add({Int(year), Int(month), Day(year, month, 1),
                   Day(year, month, DaysInMonth(year, month))});
    }
  }
  periods.Flush();
}

void WriteProfile(engine::Connection& connection) {
  struct Key {
    const char* category;
    const char* key;
    std::string value;
    const char* explanation;
  };
  const std::string start_year = std::to_string(kStartYear);
  const std::string start_period = std::to_string(kStartPeriod);
  const Key keys[] = {
      {"GL", "PeriodCount", "12", "会计期间数"},
      {"GL", "StartYear", start_year, "账套启用年度"},
      {"GL", "StartPeriod", start_period, "账套启用期间"},
      {"GL", "CurrentYear", start_year, "总账当前年度"},
      {"GL", "CurrentPeriod", "6", "总账当前期间"},
      {"IC", "CurrentYear", start_year, "存货当前年度"},
      {"IC", "CurrentPeriod", start_period, "存货当前期间"},
      {"IC", "StartYear", start_year, "存货启用年度"},
      {"IC", "StartPeriod", start_period, "存货启用期间"},
      {"IC", "CalculateType", "1", "核算方式：0 按存货，1 按仓库"},
      {"IC", "UnderStockClose", "0", "负库存时允许结账"},
      {"IC", "NegBalance", "0", "允许负库存"},
      {"IC", "AuditChoice", "1", "审核方式"},
      {"IC", "UseShortNumber", "0", "使用短代码"},
      {"IC", "PriceDigitCount", "4", "单价小数位数"},
      {"IC", "QuantityDigitCount", "4", "数量小数位数"},
      {"IC", "FloatRate", "0", "浮动比率"},
      {"Base", "AcctountingClosed", "0", "账套已结账"},
  };
  TableWriter profile(connection, "t_SystemProfile",
                      {"FCategory", "FKey", "FValue", "FExplanation"});
  for (const Key& k : keys) {
    profile.Add({Text(k.category), Text(k.key), Text(k.value), Text(k.explanation)});
  }
  profile.Flush();
}

void WriteCodeLists(engine::Connection& connection) {
  TableWriter sub(connection, "t_SubMessage", {"FInterID", "FID", "FName", "FTypeID", "FParentID"});
  sub.Add({Int(76), Text("76"), Text("加权平均法"), Int(200), Int(0)});
  sub.Add({Int(77), Text("77"), Text("移动平均法"), Int(200), Int(0)});
  sub.Add({Int(78), Text("78"), Text("先进先出法"), Int(200), Int(0)});
  sub.Add({Int(79), Text("79"), Text("计划成本法"), Int(200), Int(0)});
  sub.Add({Int(80), Text("80"), Text("分批认定法"), Int(200), Int(0)});
  sub.Add({Int(1001), Text("01"), Text("生产仓库组"), Int(166), Int(166)});
  sub.Add({Int(1002), Text("02"), Text("销售仓库组"), Int(166), Int(166)});
  sub.Flush();

  TableWriter units(connection, "t_MeasureUnit", {"FItemID", "FNumber", "FName"});
  units.Add({Int(301), Text("kg"), Text("千克")});
  units.Add({Int(302), Text("pcs"), Text("个")});
  units.Add({Int(303), Text("set"), Text("件")});
  units.Flush();

  TableWriter aux(connection, "t_auxItem", {"FItemID", "FNumber", "FName"});
  aux.Add({Int(201), Text("A01"), Text("红色")});
  aux.Add({Int(202), Text("A02"), Text("蓝色")});
  aux.Add({Int(203), Text("A03"), Text("大号")});
  aux.Flush();

  struct Class {
    int id;
    const char* name;
    const char* table;
  };
  const Class classes[] = {
      {1020002, "采购收货(收货,退货,冲回蓝单)", "t_CC_StockBill"},
      {1020003, "估价入库(入库,退货,冲回红单)", "t_CC_StockBill"},
      {1020004, "采购返利单", "t_CC_StockBill"},
      {1030002, "销售发货(发货,退货)", "t_CC_StockBill"},
      {1030003, "委托代销(代销,退货)", "t_CC_StockBill"},
      {1030004, "销售返利单", "t_CC_StockBill"},
      {1040001, "其他入库单", "t_CC_StockBill"},
      {1040002, "其他出库单", "t_CC_StockBill"},
      {1040003, "盘盈入库", "t_CC_StockBill"},
      {1040004, "盘亏毁损", "t_CC_StockBill"},
      {1040005, "组装单", "t_CC_ZZCX"},
      {1040006, "拆卸单", "t_CC_ZZCX"},
      {1040007, "调拨单", "t_CC_StockBill"},
      {1040008, "调价单(金额)", "t_CC_StockBill"},
      {1010001, "收款单", "t_RP_RBill"},
      {1010002, "付款单", "t_RP_PBill"},
      {1010003, "其他应收单", "t_RP_ROtherBill"},
      {1010004, "采购费用单", "t_RP_PChargeBill"},
      {1010005, "其他应付单", "t_RP_POtherBill"},
      {1010006, "核销单", "t_RP_CheckBill"},
      {1010007, "银行存取款单", "t_RP_BankBill"},
  };
  TableWriter class_types(connection, "ICClassType",
                          {"FID", "FName_CHS", "FObjectType", "FObjectID", "FTableName"});
  for (const Class& c : classes) {
    class_types.Add({Int(c.id), Text(c.name), Int(1), Int(c.id), Text(c.table)});
  }
  class_types.Flush();

  struct BillType {
    int id;
    const char* name;
  };
  const BillType types[] = {
      {2010, "收货"},       {2012, "退货"},         {2030, "入库"},
      {2031, "退货"},       {2032, "冲回红单"},     {2040, "采购返利(金额)"},
      {2041, "采购返利(批次金额)"}, {2042, "采购返利单(返商品)"}, {3001, "发货"},
      {3002, "退货"},       {3003, "发货(不计数量)"}, {3004, "冲回"},
      {3010, "代销"},       {3011, "退货"},         {3020, "销售返利(金额)"},
      {3021, "销售返利(批次金额)"}, {3022, "销售返利单(返商品)"},
  };
  TableWriter bill_types(connection, "t_BaseBillTypeData", {"FID", "FName"});
  for (const BillType& t : types) bill_types.Add({Int(t.id), Text(t.name)});
  bill_types.Flush();
}

void WriteDemoStocks(engine::Connection& connection) {
  TableWriter stocks(connection, "t_Stock", {"FItemID", "FNumber", "FName", "FStockGroupID", "FTypeID"});
  stocks.Add({Int(101), Text("01"), Text("原料仓"), Int(1001), Int(500)});
  stocks.Add({Int(102), Text("02"), Text("成品仓"), Int(1001), Int(500)});
  stocks.Add({Int(103), Text("03"), Text("门店仓"), Int(1002), Int(500)});
  stocks.Add({Int(104), Text("04"), Text("在途仓"), Int(0), Int(501)});
  stocks.Add({Int(105), Text("05"), Text("代管仓"), Int(0), Int(502)});
  stocks.Flush();
}

void DeriveOpeningBalances(engine::Connection& connection) {
  const std::string period = "b.FYear = " + std::to_string(kStartYear) +
                             " AND b.FPeriod = " + std::to_string(kStartPeriod);
  Run(connection,
      "INSERT INTO t_CC_Stock (FYear, FPeriod, FStockID, FItemID, FBatchNo, FAuxPropID,\n"
      "  FBegQty, FSecBegQty, FBegBal, FKFDate, FKFPeriod, FPeriodDate)\n"
      "SELECT k.FYear, k.FPeriod, k.FStockID, k.FItemID, k.FKeyBatch, k.FAuxPropID,\n"
      "  SUM(k.FBegQty), SUM(k.FSecBegQty), SUM(k.FBegBal),\n"
      "  MAX(k.FKFDate), MAX(k.FKFPeriod), MAX(k.FPeriodDate)\n"
      "FROM (SELECT b.FYear, b.FPeriod, b.FStockID, b.FItemID, b.FAuxPropID,\n"
      "        CASE WHEN i.FTrack = 80 THEN b.FBatchNo ELSE '' END AS FKeyBatch,\n"
      "        b.FBegQty, b.FSecBegQty, b.FBegBal,\n"
      "        CASE WHEN i.FTrack = 80 THEN b.FKFDate ELSE '1900-01-01' END AS FKFDate,\n"
      "        CASE WHEN i.FTrack = 80 THEN b.FKFPeriod ELSE 0 END AS FKFPeriod,\n"
      "        CASE WHEN i.FTrack = 80 THEN b.FPeriodDate ELSE '1900-01-01' END AS FPeriodDate\n"
      "      FROM t_CC_Stock_BatchNo b INNER JOIN t_ICItem i ON i.FItemID = b.FItemID\n"
      "      WHERE " + period + ") k\n"
      "GROUP BY k.FYear, k.FPeriod, k.FStockID, k.FItemID, k.FKeyBatch, k.FAuxPropID");
  Run(connection,
      "INSERT INTO t_CC_Bal (FInterID, FYear, FPeriod, FStockID, FItemID, FBatchNo, FBegQty, FBegBal)\n"
      "SELECT '100000000000000000000000', k.FYear, k.FPeriod, k.FStockID, k.FItemID, k.FKeyBatch,\n"
      "  SUM(k.FBegQty), SUM(k.FBegBal)\n"
      "FROM (SELECT b.FYear, b.FPeriod, b.FStockID, b.FItemID,\n"
      "        CASE WHEN i.FTrack = 80 THEN b.FBatchNo ELSE '' END AS FKeyBatch,\n"
      "        b.FBegQty, b.FBegBal\n"
      "      FROM t_CC_Stock_BatchNo b INNER JOIN t_ICItem i ON i.FItemID = b.FItemID\n"
      "      WHERE " + period + " AND i.FTrack <> 78) k\n"
      "GROUP BY k.FYear, k.FPeriod, k.FStockID, k.FItemID, k.FKeyBatch\n"
      "ORDER BY k.FStockID, k.FItemID, k.FKeyBatch");
}

void FinishCompany(engine::Connection& connection) {
  Run(connection,
      "INSERT INTO t_ICMaxNum (FTableName, FMaxNum)\n"
      "SELECT 't_CC_StockBill', ISNULL(MAX(FID), 0) FROM\n"
      "  (SELECT FID FROM T_CC_StockBill UNION ALL SELECT FID FROM t_CC_ZZCX) x\n"
      "INSERT INTO t_ICMaxNum (FTableName, FMaxNum)\n"
      "SELECT 't_CC_StockBillEntry', ISNULL(MAX(FEntryID), 0) FROM\n"
      "  (SELECT FEntryID FROM T_CC_StockBillEntry UNION ALL SELECT FEntryID FROM t_CC_ZZCX_Entry\n"
      "   UNION ALL SELECT FEntryID FROM t_CC_ZZCX_Entry2) x\n"
      "INSERT INTO t_ICMaxNum (FTableName, FMaxNum) SELECT 't_RP_RBill', ISNULL(MAX(FID), 0) FROM t_RP_RBill\n"
      "INSERT INTO t_ICMaxNum (FTableName, FMaxNum) SELECT 't_RP_PBill', ISNULL(MAX(FID), 0) FROM t_RP_PBill\n"
      "INSERT INTO t_ICMaxNum (FTableName, FMaxNum) SELECT 't_RP_ROtherBill', ISNULL(MAX(FID), 0) FROM t_RP_ROtherBill\n"
      "INSERT INTO t_ICMaxNum (FTableName, FMaxNum) SELECT 't_RP_PChargeBill', ISNULL(MAX(FID), 0) FROM t_RP_PChargeBill\n"
      "INSERT INTO t_ICMaxNum (FTableName, FMaxNum) SELECT 't_RP_POtherBill', ISNULL(MAX(FID), 0) FROM t_RP_POtherBill\n"
      "INSERT INTO t_ICMaxNum (FTableName, FMaxNum) SELECT 't_RP_CheckBill', ISNULL(MAX(FID), 0) FROM t_RP_CheckBill\n"
      "INSERT INTO t_ICMaxNum (FTableName, FMaxNum) SELECT 't_RP_BankBill', ISNULL(MAX(FID), 0) FROM t_RP_BankBill\n");
  Run(connection, "EXEC sp_UpdateInventory");
  Run(connection, "EXEC pr_GetSettleAcctBal " + std::to_string(kStartYear) + ", " +
                      std::to_string(kStartPeriod));
}

}  // namespace morvesk::company
