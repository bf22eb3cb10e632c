#include "company/sized_period_end.h"

#include <string>

#include "company/table_writer.h"

namespace morvesk::company {

namespace {

struct Period {
  int year;
  int period;
};

// The period `offset` months after the start period.
Period AfterStart(int offset) {
  const int month0 = kStartPeriod - 1 + offset;
  return {kStartYear + month0 / 12, month0 % 12 + 1};
}

}  // namespace

void AddPeriodEndData(engine::Connection& connection, const GenerateOptions& options) {
  // The ledger closes after the inventory side: it stands in the period after the one whose bills
  // are not audited yet.
  const Period ledger = AfterStart(options.bill_periods + 1);
  Run(connection, "UPDATE t_SystemProfile SET FValue = '" + std::to_string(ledger.year) +
                      "' WHERE FCategory = 'GL' AND FKey = 'CurrentYear'\n"
                      "UPDATE t_SystemProfile SET FValue = '" +
                      std::to_string(ledger.period) +
                      "' WHERE FCategory = 'GL' AND FKey = 'CurrentPeriod'");

  // A weighted-average item taken over with its quantity but without its value: its closing balance
  // of the start period holds a quantity worth nothing.
  const std::string start = std::to_string(kStartYear) + ", " + std::to_string(kStartPeriod);
  Run(connection,
      "DECLARE @item int, @stock int\n"
      "SELECT @item = MAX(FItemID) + 1 FROM t_ICItem\n"
      "SELECT @stock = MIN(FItemID) FROM t_Stock WHERE FTypeID = 500\n"
      "INSERT INTO t_ICItem (FItemID, FNumber, FName, FTrack, FISAuxi, FISBatchManager,\n"
      "  FBatchManager, FISKFPeriod, FKFPeriod, FCostPrice, FPriceDecimal, FUnitID, FIsAssembly)\n"
      "VALUES (@item, '99.' + CONVERT(varchar(10), @item), '期初未计价物料', 76, 0, 0, 0, 0, 0,\n"
      "  NULL, 2, 302, 0)\n"
      "INSERT INTO t_CC_Stock_BatchNo (FYear, FPeriod, FStockID, FItemID, FBegQty, FBegBal)\n"
      "VALUES (" +
          start +
          ", @stock, @item, 12, 0)\n"
          "INSERT INTO t_CC_Stock (FYear, FPeriod, FStockID, FItemID, FBegQty, FBegBal, FKFDate,\n"
          "  FKFPeriod, FPeriodDate)\n"
          "VALUES (" +
          start +
          ", @stock, @item, 12, 0, '1900-01-01', 0, '1900-01-01')\n"
          "INSERT INTO t_CC_Bal (FInterID, FYear, FPeriod, FStockID, FItemID, FBatchNo, FBegQty,\n"
          "  FBegBal)\n"
          "VALUES ('100000000000000000000000', " +
          start + ", @stock, @item, '', 12, 0)");
  Run(connection, "EXEC sp_UpdateInventory");

  // The settlement balances of the later bill periods, each from the one before.
  for (int p = 1; p < options.bill_periods; ++p) {
    const Period period = AfterStart(p);
    Run(connection, "EXEC pr_GetSettleAcctBal " + std::to_string(period.year) + ", " +
                        std::to_string(period.period));
  }
}

}  // namespace morvesk::company
