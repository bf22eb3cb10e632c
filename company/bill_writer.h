// Writes stock bills (headers and lines), assembly bills and receivable/payable
// bills of a generated company through bulk loads. Lines take their stock side
// from the bill class: receipts fill the receiving stock, issues the sending one,
// transfers both.
#pragma once

#include <optional>
#include <string>

#include "company/table_writer.h"

namespace morvesk::company {

// Shelf-life data of a line: production date, shelf life in days, expiry date.
struct Dating {
  engine::Value made;
  int days = 0;
  engine::Value expires;
};

struct BillLine {
  int64_t entry_id = 0;
  int index = 1;
  int item = 0;
  int unit = 0;
  int in_stock = 0;   // FDCStockID
  int out_stock = 0;  // FSCStockID
  std::string batch;
  int aux = 0;
  engine::Value qty;
  engine::Value sec_qty;
  engine::Value price;   // bill unit price (bill value / quantity; 0 without quantity)
  engine::Value amount;  // bill value (purchase or sales)
  engine::Value cost;    // inventory value
  const Dating* dating = nullptr;
};

// Status of a bill: audited (1), not audited (0) or never touched (NULL).
enum class Audit : uint8_t { kAudited, kNotAudited, kNull };

// Bill classes whose lines receive into a stock (everything else issues, and the
// transfer does both).
bool IsReceiptClass(int class_type);
// Bill number of a class: a short prefix and the bill id.
std::string BillNumber(int class_type, int64_t fid);

class BillWriter {
 public:
  explicit BillWriter(engine::Connection& connection);

  void StockBill(int64_t fid, int class_type, int bill_type, const engine::Value& date,
                 Audit audit = Audit::kAudited, std::string_view explanation = "");
  void StockLine(int64_t fid, const BillLine& line);

  // Assembly (1040005) and dismantling (1040006) bills: product lines go to
  // t_CC_ZZCX_Entry, component lines to t_CC_ZZCX_Entry2; `stock` is in_stock.
  void AssemblyBill(int64_t fid, int class_type, const engine::Value& date,
                    Audit audit = Audit::kAudited);
  void ProductLine(int64_t fid, const BillLine& line);
  void ComponentLine(int64_t fid, const BillLine& line);

  // One bill of t_RP_<table>; `table` is "RBill", "PBill", ... "BankBill".
  void MoneyBill(std::string_view table, int64_t fid, const engine::Value& date, int acct,
                 const engine::Value& amount, Audit audit = Audit::kAudited);

  void Flush();
  int64_t lines() const { return lines_.rows() + zz_lines_.rows() + zz_lines2_.rows(); }

 private:
  void AssemblyLine(TableWriter& writer, int64_t fid, const BillLine& line);
  // The header waits for its lines, so that its total (FAllAmount) is known.
  void FlushHeader();

  engine::Connection& connection_;
  TableWriter bills_;
  TableWriter lines_;
  TableWriter zz_bills_;
  TableWriter zz_lines_;
  TableWriter zz_lines2_;
  std::vector<engine::Value> header_;
  std::optional<engine::Decimal> header_total_;
};

}  // namespace morvesk::company
