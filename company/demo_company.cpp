// The demo company: small enough to read by eye, with one item per behaviour the
// costing distinguishes, openings of the start period 2025/3 in all three balance
// tables, bills of every class and type in 2025/3 and 2025/4, and the failure cases
// of the pre-close checks in 2025/5. Ids are disjoint per table (stocks 101-105,
// items 1001-1011, auxiliary properties 201-203, units 301-303) so that a join on
// the wrong column finds nothing. Line ids are bill id * 100 + line number.
#include "company/generators.h"

#include <map>

#include "company/bill_writer.h"
#include "company/company.h"
#include "company/company_base.h"
#include "company/table_writer.h"

namespace morvesk::company {
namespace {

struct DemoItem {
  int id;
  const char* number;
  const char* name;
  int track;
  int is_auxi;
  int is_batch_manager;
  int batch_manager;
  int is_kf_period;
  int kf_period;
  int is_assembly;
  int unit;
  const char* cost_price;  // nullptr: none
};

constexpr DemoItem kItems[] = {
    {1001, "01.001", "钢板", 76, 0, 0, 0, 0, 0, 0, 301, "5"},
    {1002, "01.002", "T恤", 76, 1, 0, 0, 0, 0, 0, 302, nullptr},
    {1003, "01.003", "螺丝", 77, 0, 0, 0, 0, 0, 0, 302, "0.2"},
    {1004, "01.004", "鲜奶", 77, 0, 0, 0, 1, 30, 0, 303, "5"},
    {1005, "01.005", "电机", 78, 0, 0, 0, 0, 0, 0, 303, "6"},
    {1006, "01.006", "药品", 80, 0, 1, 1, 1, 365, 0, 303, "12"},
    {1007, "01.007", "涂料", 80, 1, 1, 1, 1, 180, 0, 303, "10"},
    {1008, "01.008", "电缆", 76, 0, 1, 0, 0, 0, 0, 301, "3"},
    {1009, "01.009", "配件", 79, 0, 0, 0, 0, 0, 0, 302, "8"},
    {1010, "01.010", "组装机", 76, 0, 0, 0, 0, 0, 1, 303, "0"},
    {1011, "01.011", "新品", 76, 0, 0, 0, 0, 0, 0, 302, nullptr},
};

int UnitOf(int item) {
  for (const DemoItem& i : kItems) {
    if (i.id == item) return i.unit;
  }
  return 0;
}

void WriteItems(engine::Connection& connection) {
  TableWriter items(connection, "t_ICItem",
                    {"FItemID", "FNumber", "FName", "FTrack", "FISAuxi", "FISBatchManager",
                     "FBatchManager", "FISKFPeriod", "FKFPeriod", "FCostPrice", "FPriceDecimal",
                     "FUnitID", "FIsAssembly"});
  for (const DemoItem& i : kItems) {
    items.Add({Int(i.id), Text(i.number), Text(i.name), Int(i.track), Int(i.is_auxi),
               Int(i.is_batch_manager), Int(i.batch_manager), Int(i.is_kf_period),
               Int(i.kf_period), i.cost_price ? Num(i.cost_price) : NullValue(), Int(2),
               Int(i.unit), Int(i.is_assembly)});
  }
  items.Flush();
}

// Datings of the demo's batches and shelf-life lots.
struct Datings {
  Dating b2501{Day(2025, 1, 10), 365, Day(2026, 1, 10)};
  Dating b2502{Day(2025, 2, 15), 365, Day(2026, 2, 15)};
  Dating b2503{Day(2025, 3, 5), 365, Day(2026, 3, 5)};
  Dating p01{Day(2025, 2, 1), 180, Day(2025, 7, 31)};
  Dating p02{Day(2025, 3, 1), 180, Day(2025, 8, 28)};
  Dating milk_march{Day(2025, 2, 25), 30, Day(2025, 3, 27)};
  Dating milk_april{Day(2025, 3, 10), 30, Day(2025, 4, 9)};
  // A line of B2501 whose production date was mistyped (one day late).
  Dating b2501_mistyped{Day(2025, 1, 11), 365, Day(2026, 1, 10)};
};

void WriteOpenings(engine::Connection& connection, const Datings& d) {
  struct Opening {
    int stock;
    int item;
    const char* batch;
    int aux;
    const Dating* dating;
    const char* qty;
    const char* sec_qty;
    const char* amount;
  };
  const Opening openings[] = {
      {101, 1001, "", 0, nullptr, "1000", "0", "5000"},
      {103, 1001, "", 0, nullptr, "200", "0", "1000"},
      {105, 1001, "", 0, nullptr, "100", "0", "500"},
      {101, 1002, "", 201, nullptr, "30", "0", "300"},
      {101, 1002, "", 202, nullptr, "70", "0", "700"},
      {101, 1003, "", 0, nullptr, "2000", "20", "400"},
      {103, 1004, "", 0, &d.milk_march, "50", "0", "250"},
      {101, 1005, "", 0, nullptr, "15", "0", "50"},
      {102, 1005, "", 0, nullptr, "8", "0", "48"},
      {101, 1006, "B2501", 0, &d.b2501, "100", "0", "1200"},
      {101, 1006, "B2502", 0, &d.b2502, "50", "0", "650"},
      {102, 1007, "P01", 201, &d.p01, "30", "0", "300"},
      {102, 1007, "P01", 202, &d.p01, "70", "0", "700"},
      {102, 1008, "C01", 0, nullptr, "300", "0", "900"},
      {102, 1008, "C02", 0, nullptr, "200", "0", "640"},
      {101, 1009, "", 0, nullptr, "20", "0", "160"},
  };
  TableWriter batch_rows(connection, "t_CC_Stock_BatchNo",
                         {"FYear", "FPeriod", "FStockID", "FItemID", "FBatchNo", "FAuxPropID",
                          "FKFPeriod", "FPeriodDate", "FKFDate", "FBegQty", "FSecBegQty",
                          "FBegBal"});
  for (const Opening& o : openings) {
    batch_rows.Add({Int(kStartYear), Int(kStartPeriod), Int(o.stock), Int(o.item), Text(o.batch),
                    Int(o.aux), Int(o.dating ? o.dating->days : 0),
                    o.dating ? o.dating->expires : Day(1900, 1, 1),
                    o.dating ? o.dating->made : Day(1900, 1, 1), Num(o.qty), Num(o.sec_qty),
                    Num(o.amount)});
  }
  batch_rows.Flush();
  DeriveOpeningBalances(connection);

  // Lots of the lot-by-lot motor 1005: three opening lots (L102 has quantity
  // without amount) and the receipt lot of bill 3 line 1 as the cost run writes it.
  TableWriter lots(connection, "t_CC_Bal",
                   {"FInterID", "FYear", "FPeriod", "FStockID", "FItemID", "FBatchNo", "FBegQty",
                    "FBegBal", "FReceive", "FDebit", "FStockInDate", "FID", "FEntryID",
                    "FClassTypeID"});
  auto lot = [&](const char* id, int stock, const char* qty, const char* amount,
                 const char* received, const char* debit, const engine::Value& stock_in, int fid,
                 int entry, int class_type) {
    lots.Add({Text(id), Int(kStartYear), Int(kStartPeriod), Int(stock), Int(1005), Text(""),
              Num(qty), Num(amount), Num(received), Num(debit), stock_in, Int(fid), Int(entry),
              Int(class_type)});
  };
  lot("100000000000000000000001", 101, "10", "50", "0", "0", Day(2025, 1, 20), 0, 0, 0);
  lot("100000000000000000000002", 101, "5", "0", "0", "0", Day(2025, 2, 10), 0, 0, 0);
  lot("100000000000000000000003", 102, "8", "48", "0", "0", Day(2025, 2, 15), 0, 0, 0);
  lot("300000000003000000000301", 102, "0", "0", "10", "65", Day(2025, 3, 12), 3, 301, 1020002);
  lots.Flush();
}

// What a demo line has besides item, stock, quantity and cost. Written with
// designated initializers naming only what a line needs, hence the warning about
// the fields left out is off for this file.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
struct Opt {
  std::string batch;
  int aux = 0;
  const char* sec = "0";
  const char* amount = nullptr;  // bill value; the cost when not given
  const Dating* dating = nullptr;
  int to_stock = 0;              // transfers: the receiving stock
};

// Writes bills line by line with the demo's conventions (line id = bill * 100 + n).
class DemoBills {
 public:
  explicit DemoBills(BillWriter& writer) : w_(writer) {}

  void Bill(int fid, int class_type, int bill_type, engine::Value date,
            Audit audit = Audit::kAudited) {
    fid_ = fid;
    class_ = class_type;
    index_ = 0;
    w_.StockBill(fid, class_type, bill_type, date, audit);
  }

  // A line moving `qty` of `item` in or out of `stock` (by the bill's class) at
  // inventory value `cost`.
  void Line(int item, int stock, const char* qty, const char* cost, const Opt& opt = {}) {
    BillLine l = Make(item, qty, cost, opt);
    if (class_ == 1040007) {
      l.out_stock = stock;
      l.in_stock = opt.to_stock;
    } else if (IsReceiptClass(class_)) {
      l.in_stock = stock;
    } else {
      l.out_stock = stock;
    }
    w_.StockLine(fid_, l);
  }

  void Assembly(int fid, int class_type, engine::Value date) {
    fid_ = fid;
    class_ = class_type;
    index_ = 0;
    w_.AssemblyBill(fid, class_type, date);
  }
  void Product(int item, int stock, const char* qty, const char* cost, const Opt& opt = {}) {
    BillLine l = Make(item, qty, cost, opt);
    l.in_stock = stock;
    w_.ProductLine(fid_, l);
  }
  void Component(int item, int stock, const char* qty, const char* cost, const Opt& opt = {}) {
    BillLine l = Make(item, qty, cost, opt);
    l.in_stock = stock;
    w_.ComponentLine(fid_, l);
  }

 private:
  BillLine Make(int item, const char* qty, const char* cost, const Opt& opt) {
    BillLine l;
    l.index = ++index_;
    l.entry_id = fid_ * 100 + l.index;
    l.item = item;
    l.unit = UnitOf(item);
    l.batch = opt.batch;
    l.aux = opt.aux;
    l.qty = Num(qty);
    l.sec_qty = Num(opt.sec);
    l.cost = Num(cost);
    l.amount = Num(opt.amount ? opt.amount : cost);
    l.price = Money(0);
    const engine::Decimal& q = l.qty.as_decimal();
    if (!q.IsZero()) {
      if (auto p = engine::Div(l.amount.as_decimal(), q, 4)) l.price = engine::Value::Dec(*p);
    }
    l.dating = opt.dating;
    return l;
  }

  BillWriter& w_;
  int64_t fid_ = 0;
  int class_ = 0;
  int index_ = 0;
};

void WritePeriod3(DemoBills& b, const Datings& d) {
  b.Bill(1, 1020002, 2010, Day(2025, 3, 1));
  b.Line(1001, 101, "500", "2600");
  b.Line(1003, 101, "1000", "210", {.sec = "10"});
  b.Bill(2, 1020002, 2010, Day(2025, 3, 5));
  b.Line(1006, 101, "80", "1000", {.batch = "B2503", .dating = &d.b2503});
  b.Line(1007, 102, "50", "550", {.batch = "P02", .aux = 201, .dating = &d.p02});
  b.Bill(3, 1020002, 2010, Day(2025, 3, 12));
  b.Line(1005, 102, "10", "65");
  b.Line(1009, 101, "10", "82");
  b.Line(1010, 102, "5", "200");
  b.Bill(4, 1020002, 2010, Day(2025, 3, 10));
  b.Line(1004, 103, "40", "204", {.dating = &d.milk_april});
  b.Line(1002, 101, "20", "210", {.aux = 202});
  b.Bill(5, 1020002, 2012, Day(2025, 3, 15));
  b.Line(1001, 101, "50", "260");
  b.Bill(6, 1020003, 2030, Day(2025, 3, 8));
  b.Line(1011, 101, "100", "300");
  b.Line(1001, 101, "100", "500");
  b.Bill(7, 1020004, 2042, Day(2025, 3, 18));
  b.Line(1003, 101, "500", "0", {.sec = "5"});
  b.Bill(8, 1020004, 2041, Day(2025, 3, 20));
  b.Line(1004, 103, "0", "-20");
  b.Bill(9, 1020004, 2040, Day(2025, 3, 20));
  b.Line(1006, 101, "0", "-20", {.batch = "B2501", .dating = &d.b2501});
  b.Bill(10, 1030002, 3001, Day(2025, 3, 10));
  b.Line(1001, 103, "150", "750", {.amount = "1050"});
  b.Line(1002, 101, "10", "100", {.aux = 201, .amount = "150"});
  b.Bill(11, 1030002, 3001, Day(2025, 3, 20));
  b.Line(1005, 102, "4", "24", {.amount = "40"});
  b.Line(1006, 101, "30", "360", {.batch = "B2501", .amount = "480", .dating = &d.b2501});
  b.Bill(12, 1030002, 3001, Day(2025, 3, 25));
  b.Line(1007, 102, "20", "200", {.batch = "P01", .aux = 202, .amount = "280", .dating = &d.p01});
  b.Line(1008, 102, "100", "300", {.batch = "C01", .amount = "420"});
  b.Bill(13, 1030002, 3002, Day(2025, 3, 28));
  b.Line(1001, 103, "10", "50", {.amount = "70"});
  b.Bill(14, 1030002, 3003, Day(2025, 3, 28));
  b.Line(1001, 103, "5", "25", {.amount = "35"});
  b.Bill(15, 1030003, 3010, Day(2025, 3, 22));
  b.Line(1010, 102, "2", "80", {.amount = "120"});
  b.Bill(16, 1030004, 3022, Day(2025, 3, 26));
  b.Line(1003, 101, "200", "40", {.sec = "2", .amount = "0"});
  b.Bill(17, 1030004, 3020, Day(2025, 3, 26));
  b.Line(1001, 103, "0", "0", {.amount = "-30"});
  b.Bill(18, 1040001, 0, Day(2025, 3, 14));
  b.Line(1008, 102, "100", "320", {.batch = "C02"});
  b.Bill(19, 1040002, 0, Day(2025, 3, 16));
  b.Line(1003, 101, "300", "60", {.sec = "3"});
  b.Bill(20, 1040003, 0, Day(2025, 3, 30));
  b.Line(1009, 101, "1", "8");
  b.Bill(21, 1040004, 0, Day(2025, 3, 30));
  b.Line(1001, 101, "2", "10");
  b.Bill(22, 1040007, 0, Day(2025, 3, 11));
  b.Line(1001, 101, "100", "500", {.to_stock = 103});
  b.Line(1006, 101, "20", "260", {.batch = "B2502", .dating = &d.b2502, .to_stock = 102});
  // Manual price adjustments: 1001 and 1006 B2503 directly on their balance row,
  // the others (auxiliary property 0, or no batch) spread over the rows they cover.
  // The B2503 line carries no dating: the close copies it from bill 2.
  b.Bill(23, 1040008, 0, Day(2025, 3, 29));
  b.Line(1001, 101, "0", "120");
  b.Line(1002, 101, "0", "50");
  b.Line(1006, 101, "0", "50", {.batch = "B2503"});
  b.Line(1007, 102, "0", "100", {.batch = "P01"});
  b.Line(1008, 102, "0", "30");
  // Generated by the costing of the period; a return to 2025/3 deletes it.
  b.Bill(24, 1040008, 1, Day(2025, 3, 31));
  b.Line(1001, 101, "0", "-3.5");
  b.Bill(25, 1020002, 2010, Day(2025, 3, 20));
  b.Line(1001, 105, "50", "250");
  b.Bill(26, 1030002, 3001, Day(2025, 3, 27));
  b.Line(1006, 101, "10", "120",
         {.batch = "B2501", .amount = "160", .dating = &d.b2501_mistyped});
  b.Assembly(27, 1040005, Day(2025, 3, 21));
  b.Product(1010, 102, "10", "300");
  b.Component(1001, 101, "20", "100");
  b.Component(1003, 101, "1000", "200", {.sec = "10"});
}

void WritePeriod4(DemoBills& b, const Datings& d) {
  b.Bill(28, 1020002, 2010, Day(2025, 4, 1));
  b.Line(1001, 101, "200", "1040");
  b.Bill(29, 1020003, 2030, Day(2025, 4, 3));
  b.Line(1011, 101, "50", "150");
  b.Bill(30, 1020003, 2031, Day(2025, 4, 6));
  b.Line(1011, 101, "10", "30");
  // The estimate of bill 29 reversed in red and replaced by the real receipt.
  b.Bill(31, 1020003, 2032, Day(2025, 4, 6));
  b.Line(1011, 101, "50", "150");
  b.Bill(32, 1020002, 2010, Day(2025, 4, 6));
  b.Line(1011, 101, "50", "155");
  b.Bill(33, 1030002, 3001, Day(2025, 4, 10));
  b.Line(1001, 101, "300", "1542", {.amount = "2100"});
  b.Line(1003, 101, "500", "77.5", {.sec = "5", .amount = "120"});
  b.Bill(34, 1030002, 3001, Day(2025, 4, 11));
  b.Line(1004, 103, "30", "146.26", {.amount = "210", .dating = &d.milk_april});
  b.Line(1006, 101, "20", "262.5", {.batch = "B2503", .amount = "360", .dating = &d.b2503});
  b.Bill(35, 1030002, 3001, Day(2025, 4, 12));
  b.Line(1007, 102, "10", "110", {.batch = "P02", .aux = 201, .amount = "150", .dating = &d.p02});
  b.Line(1008, 102, "50", "160", {.batch = "C02", .amount = "220"});
  b.Bill(36, 1030002, 3004, Day(2025, 4, 15));
  b.Line(1001, 103, "5", "25", {.amount = "35"});
  b.Bill(37, 1030003, 3010, Day(2025, 4, 12));
  b.Line(1010, 102, "3", "96", {.amount = "150"});
  b.Bill(38, 1030003, 3011, Day(2025, 4, 18));
  b.Line(1010, 102, "1", "32", {.amount = "50"});
  // Rebate on a batch line without dating: the close copies it from bill 2.
  b.Bill(39, 1020004, 2041, Day(2025, 4, 20));
  b.Line(1007, 102, "0", "-11", {.batch = "P02", .aux = 201});
  b.Bill(40, 1040001, 0, Day(2025, 4, 8));
  b.Line(1009, 101, "5", "40");
  b.Bill(41, 1040007, 0, Day(2025, 4, 22));
  b.Line(1007, 102, "10", "110", {.batch = "P02", .aux = 201, .dating = &d.p02, .to_stock = 103});
  b.Bill(42, 1040008, 0, Day(2025, 4, 25));
  b.Line(1010, 102, "0", "12");
  b.Bill(43, 1040008, 1, Day(2025, 4, 30));
  b.Line(1001, 101, "0", "-2");
  b.Bill(48, 1030004, 3021, Day(2025, 4, 26));
  b.Line(1001, 103, "0", "0", {.amount = "-20"});
  b.Assembly(44, 1040006, Day(2025, 4, 16));
  b.Product(1010, 102, "1", "30");
  b.Component(1001, 101, "2", "10");
  b.Component(1003, 101, "100", "20", {.sec = "1"});
}

// The failure cases of the pre-close checks, kept out of the periods the demo
// closes: two unaudited bills, and a delivery of more C02 cable than is on hand.
void WritePeriod5(DemoBills& b) {
  b.Bill(45, 1020002, 2010, Day(2025, 5, 6), Audit::kNotAudited);
  b.Line(1001, 101, "10", "52");
  b.Bill(46, 1030002, 3001, Day(2025, 5, 8), Audit::kNull);
  b.Line(1001, 103, "5", "25", {.amount = "35"});
  b.Bill(47, 1030002, 3001, Day(2025, 5, 12));
  b.Line(1008, 102, "400", "1280", {.batch = "C02", .amount = "1760"});
}

void WriteMoneyBills(BillWriter& w) {
  struct Money {
    const char* table;
    int acct;
    const char* amount;
  };
  const Money bills[] = {{"RBill", 1, "5000"},     {"PBill", 1, "3000"},
                         {"ROtherBill", 0, "800"}, {"PChargeBill", 0, "200"},
                         {"POtherBill", 0, "300"}, {"CheckBill", 0, "1000"},
                         {"BankBill", 2, "2000"}};
  int day = 5;
  for (const Money& m : bills) {
    w.MoneyBill(m.table, 1, Day(2025, 3, day), m.acct, Num(m.amount));
    w.MoneyBill(m.table, 2, Day(2025, 4, day), m.acct, Num(m.amount));
    day += 3;
  }
  w.MoneyBill("BankBill", 3, Day(2025, 5, 20), 2, Num("-500"), Audit::kNotAudited);
}

void WriteWorkTables(engine::Connection& connection) {
  TableWriter speed(connection, "ICSpeedBal",
                    {"FID", "FInterID", "FEntryID", "FClassTypeID", "FBillTypeID", "FDate",
                     "FStockID", "FItemID", "FQty", "FAmount"});
  speed.Add({Int(0), Text(""), Int(0), Int(0), Int(0), Day(1900, 1, 1), Int(101), Int(1003),
             Num("2000"), Num("400")});
  speed.Add({Int(0), Text(""), Int(0), Int(0), Int(0), Day(1900, 1, 1), Int(103), Int(1004),
             Num("50"), Num("250")});
  speed.Add({Int(11), Text("100000000000000000000003"), Int(1101), Int(1030002), Int(3001),
             Day(2025, 3, 20), Int(102), Int(1005), Num("4"), Num("24")});
  speed.Flush();
  Run(connection,
      "INSERT INTO TempWriteBack (FID, FEntryID, FClassTypeID, FItemID, FStockID, FQty, "
      "FCostAmount, FPrice) VALUES (10, 1001, 1030002, 1001, 103, 150, 750, 5)\n"
      "INSERT INTO CalculateLog (FTime, FItemID, FStockID, FResult) "
      "VALUES ('2025-03-31', 1001, 103, 0)");
}

}  // namespace

void GenerateDemoCompany(engine::Connection& connection) {
  WriteCalendar(connection, 2025, 2);
  WriteProfile(connection);
  WriteCodeLists(connection);
  WriteDemoStocks(connection);
  WriteItems(connection);
  Datings datings;
  WriteOpenings(connection, datings);

  BillWriter writer(connection);
  DemoBills bills(writer);
  WritePeriod3(bills, datings);
  WritePeriod4(bills, datings);
  WritePeriod5(bills);
  writer.Flush();
  WriteMoneyBills(writer);
  WriteWorkTables(connection);
  FinishCompany(connection);
  // A stray amount without quantity in the in-transit stock, for the repair of
  // abnormal amounts (1001's other rows carry quantity, so they absorb it).
  Run(connection,
      "INSERT INTO T_CC_Inventory (FItemID, FStockID, FBatchNo, FAuxPropID, FQty, FBal) "
      "VALUES (1001, 104, '', 0, 0, 3.50)");
}

}  // namespace morvesk::company
