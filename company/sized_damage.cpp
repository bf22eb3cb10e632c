#include "company/sized_damage.h"

#include <string>

#include "company/table_writer.h"

namespace morvesk::company {

namespace {

std::string N(int64_t n) { return std::to_string(n); }

}  // namespace

void DamageSizedCompany(engine::Connection& connection, uint64_t seed) {
  const int64_t shift = static_cast<int64_t>(seed % 997);

  // One item in 40 keeps a rounding leftover in the transit stock after its
  // quantity there went to 0 (the smallest item id always does).
  Run(connection,
      "INSERT INTO T_CC_Inventory (FItemID, FStockID, FBatchNo, FAuxPropID, FQty, FSecQty, FBal)\n"
      "SELECT i.FItemID, s.FItemID, '', 0, 0, 0, (i.FItemID % 97 + 1) * 0.01\n"
      "FROM t_ICItem i, t_Stock s\n"
      "WHERE s.FTypeID = 501 AND ((i.FItemID + " +
          N(shift) +
          ") % 40 = 0 OR i.FItemID = (SELECT MIN(FItemID) FROM t_ICItem))\n"
          "  AND NOT EXISTS (SELECT 1 FROM T_CC_Inventory v WHERE v.FItemID = i.FItemID\n"
          "                  AND v.FStockID = s.FItemID AND v.FBatchNo = '' AND v.FAuxPropID = 0)");

  // One item in 60 has its quantities on hand off by one, as after an
  // interrupted posting.
  Run(connection,
      "UPDATE T_CC_Inventory SET FQty = FQty + 1\n"
      "WHERE FQty <> 0 AND ((FItemID + " +
          N(shift) +
          ") % 60 = 13 OR FItemID = (SELECT MAX(FItemID) FROM T_CC_Inventory WHERE FQty <> 0))");

  // One bill in 20000 with two lines or more got its second line numbered 1 as
  // well (the first such bill always does).
  Run(connection,
      "UPDATE T_CC_StockBillEntry SET FIndex = 1\n"
      "WHERE FIndex = 2 AND ((FID + " +
          N(shift) +
          ") % 20000 = 0\n"
          "  OR FID = (SELECT MIN(FID) FROM T_CC_StockBillEntry WHERE FIndex = 2))");

  // One shelf-life batch item in ten (and the first) had its issue lines dated
  // a day later than its receipts: production and expiry dates both moved, the
  // shelf life kept.
  Run(connection,
      "UPDATE e SET FKFDate = e.FKFDate + 1, FPeriodDate = e.FPeriodDate + 1\n"
      "FROM T_CC_StockBillEntry e INNER JOIN T_CC_StockBill h ON h.FID = e.FID\n"
      "INNER JOIN t_ICItem i ON i.FItemID = e.FItemID\n"
      "WHERE e.FKFPeriod > 0 AND e.FBatchNo <> '' AND e.FSCStockID <> 0 AND e.FDCStockID = 0\n"
      "  AND i.FTrack = 80 AND ((i.FItemID + " +
          N(shift) +
          ") % 100 < 10 OR i.FItemID = (SELECT MIN(FItemID) FROM t_ICItem WHERE FTrack = 80\n"
          "                                  AND FISKFPeriod = 1))");
}

}  // namespace morvesk::company
