#include "company/bill_writer.h"

#include <cstdio>

namespace morvesk::company {
namespace {

engine::Value StatusValue(Audit audit) {
  switch (audit) {
    case Audit::kAudited: return Int(1);
    case Audit::kNotAudited: return Int(0);
    case Audit::kNull: break;
  }
  return NullValue();
}

engine::Value DatingMade(const Dating* d) { return d ? d->made : NullValue(); }
engine::Value DatingDays(const Dating* d) { return d ? Int(d->days) : NullValue(); }
engine::Value DatingExpires(const Dating* d) { return d ? d->expires : NullValue(); }

}  // namespace

bool IsReceiptClass(int class_type) {
  switch (class_type) {
    case 1020002: case 1020003: case 1020004: case 1040001: case 1040003: case 1040008:
      return true;
    default:
      return false;
  }
}

std::string BillNumber(int class_type, int64_t fid) {
  const char* prefix = "BILL";
  switch (class_type) {
    case 1020002: prefix = "WIN"; break;
    case 1020003: prefix = "EIN"; break;
    case 1020004: prefix = "PRB"; break;
    case 1030002: prefix = "XOUT"; break;
    case 1030003: prefix = "CSG"; break;
    case 1030004: prefix = "SRB"; break;
    case 1040001: prefix = "QIN"; break;
    case 1040002: prefix = "QOUT"; break;
    case 1040003: prefix = "PY"; break;
    case 1040004: prefix = "PK"; break;
    case 1040005: prefix = "ZZ"; break;
    case 1040006: prefix = "CX"; break;
    case 1040007: prefix = "DB"; break;
    case 1040008: prefix = "TJ"; break;
  }
  char buf[48];
  std::snprintf(buf, sizeof buf, "%s%06lld", prefix, static_cast<long long>(fid));
  return buf;
}

BillWriter::BillWriter(engine::Connection& connection)
    : connection_(connection),
      bills_(connection, "T_CC_StockBill",
             {"FID", "FBillNo", "FClassTypeID", "FBillTypeID", "FDate", "FStatus", "FSupplyID",
              "FCustID", "FExplanation", "FBillerID", "FCheckerID", "FCheckDate", "FAllAmount"}),
      lines_(connection, "T_CC_StockBillEntry",
             {"FEntryID", "FID", "FIndex", "FItemID", "FBatchNo", "FAuxPropID", "FDCStockID",
              "FSCStockID", "FUnitID", "FQty", "FSecQty", "FPrice", "FAmount", "FCostAmount", "FKFDate",
              "FKFPeriod", "FPeriodDate"}),
      zz_bills_(connection, "t_CC_ZZCX",
                {"FID", "FBillNo", "FClassTypeID", "FDate", "FStatus", "FExplanation"}),
      zz_lines_(connection, "t_CC_ZZCX_Entry",
                {"FEntryID", "FID", "FIndex", "FItemID", "FStockID", "FBatchNo", "FAuxPropID",
                 "FQty", "FSecQty", "FCostAmount", "FKFDate", "FKFPeriod", "FPeriodDate"}),
      zz_lines2_(connection, "t_CC_ZZCX_Entry2",
                 {"FEntryID", "FID", "FIndex", "FItemID", "FStockID", "FBatchNo", "FAuxPropID",
                  "FQty", "FSecQty", "FCostAmount", "FKFDate", "FKFPeriod", "FPeriodDate"}) {}

void BillWriter::StockBill(int64_t fid, int class_type, int bill_type, const engine::Value& date,
                           Audit audit, std::string_view explanation) {
  bool receipt = IsReceiptClass(class_type);
  bool audited = audit == Audit::kAudited;
  FlushHeader();
  header_ = {Int(fid), Text(BillNumber(class_type, fid)), Int(class_type), Int(bill_type), date,
             StatusValue(audit), Int(receipt ? 1 : 0), Int(receipt ? 0 : 1), Text(explanation),
             Int(1), Int(audited ? 2 : 0), audited ? date : NullValue()};
  header_total_ = engine::Decimal{};
}

void BillWriter::FlushHeader() {
  if (header_.empty()) return;
  header_.push_back(engine::Value::Dec(header_total_.value_or(engine::Decimal{})));
  bills_.Add(std::move(header_));
  header_.clear();
}

void BillWriter::StockLine(int64_t fid, const BillLine& l) {
  if (header_total_ && l.amount.is_decimal()) {
    header_total_ = engine::Add(*header_total_, l.amount.as_decimal());
  }
  lines_.Add({Int(l.entry_id), Int(fid), Int(l.index), Int(l.item), Text(l.batch), Int(l.aux),
              Int(l.in_stock), Int(l.out_stock), Int(l.unit), l.qty, l.sec_qty, l.price, l.amount, l.cost,
              DatingMade(l.dating), DatingDays(l.dating), DatingExpires(l.dating)});
}

void BillWriter::AssemblyBill(int64_t fid, int class_type, const engine::Value& date, Audit audit) {
  zz_bills_.Add({Int(fid), Text(BillNumber(class_type, fid)), Int(class_type), date,
                 StatusValue(audit), Text("")});
}

void BillWriter::AssemblyLine(TableWriter& writer, int64_t fid, const BillLine& l) {
  writer.Add({Int(l.entry_id), Int(fid), Int(l.index), Int(l.item), Int(l.in_stock), Text(l.batch),
              Int(l.aux), l.qty, l.sec_qty, l.cost, DatingMade(l.dating), DatingDays(l.dating),
              DatingExpires(l.dating)});
}

void BillWriter::ProductLine(int64_t fid, const BillLine& line) {
  AssemblyLine(zz_lines_, fid, line);
}

void BillWriter::ComponentLine(int64_t fid, const BillLine& line) {
  AssemblyLine(zz_lines2_, fid, line);
}

void BillWriter::MoneyBill(std::string_view table, int64_t fid, const engine::Value& date, int acct,
                           const engine::Value& amount, Audit audit) {
  std::string name = "t_RP_" + std::string(table);
  static constexpr int kFirstClass = 1010001;
  static constexpr std::string_view kTables[] = {"RBill",         "PBill",         "ROtherBill",
                                                 "PChargeBill",   "POtherBill",    "CheckBill",
                                                 "BankBill"};
  int class_type = kFirstClass;
  for (size_t i = 0; i < std::size(kTables); ++i) {
    if (kTables[i] == table) class_type = kFirstClass + static_cast<int>(i);
  }
  char number[48];
  std::snprintf(number, sizeof number, "%s%06lld", std::string(table).c_str(),
                static_cast<long long>(fid));
  // Few rows: written directly rather than buffered.
  std::vector<std::vector<engine::Value>> row = {
      {Int(fid), Text(number), Int(class_type), date, StatusValue(audit), Int(acct), amount}};
  connection_.BulkInsert(name, {"FID", "FBillNo", "FClassTypeID", "FDate", "FStatus", "FAcctID",
                                "FAmount"},
                         row);
}

void BillWriter::Flush() {
  FlushHeader();
  bills_.Flush();
  lines_.Flush();
  zz_bills_.Flush();
  zz_lines_.Flush();
  zz_lines2_.Flush();
}

}  // namespace morvesk::company
