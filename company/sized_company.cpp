// A generated company of any size: N stock bill lines in each bill period, from a
// seed. The same seed and size give the same company. Master data grows with N
// (about one item per 100 lines); items cycle through every behaviour the costing
// distinguishes, so any size covers costing methods 76, 77, 78, 80 and 79,
// auxiliary properties, batches with shelf life, assembled items and the stock
// held for others (type 502). Bills cover every class and type with returns,
// red-ink reversals, rebates and price adjustments; after the bill periods comes
// one period with unaudited bills. Every line's item, stock and bill exist.
#include <algorithm>
#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "company/bill_writer.h"
#include "company/company.h"
#include "company/company_base.h"
#include "company/generators.h"
#include "company/sized_damage.h"
#include "company/sized_period_end.h"
#include "company/table_writer.h"

namespace morvesk::company {
namespace {

// splitmix64: small, fast and the same on every platform (unlike the standard
// distributions), so a seed means one company everywhere.
class Rng {
 public:
  explicit Rng(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  int64_t Below(int64_t n) { return static_cast<int64_t>(Next() % static_cast<uint64_t>(n)); }
  int64_t Between(int64_t lo, int64_t hi) { return lo + Below(hi - lo + 1); }

 private:
  uint64_t state_;
};

// Item behaviours, one per slot of a ten-item cycle.
enum Slot : int {
  kPlain = 0,        // 76
  kAuxiliary,        // 76 with auxiliary properties
  kMoving,           // 77 with a secondary unit (10 to one)
  kShelfLife,        // 77 with a shelf life but no batches
  kLots,             // 78, balanced lot by lot
  kBatch,            // 80 with shelf life
  kBatchAuxiliary,   // 80 with auxiliary properties and shelf life
  kBatchManaged,     // 76, batch-managed but not costed by batch
  kOther,            // 79, an "other" costing code
  kAssembled,        // 76, assembled from other items
};
constexpr int kSlots = 10;

struct Lot {
  std::string id;
  int64_t remaining = 0;
};

struct Item {
  int id = 0;
  Slot slot = kPlain;
  int unit = 301;
  int64_t cost_cents = 0;  // unit cost in cents
  std::array<int, 2> stocks{};
  bool held_for_others = false;  // also kept in the 502 stock
  std::vector<std::string> batches;
  std::vector<Dating> batch_datings;
  std::vector<Dating> item_dating;  // one entry for kShelfLife items
  std::vector<std::vector<Lot>> lots;  // kLots: per entry of `stocks`

  int Track() const {
    switch (slot) {
      case kMoving: case kShelfLife: return 77;
      case kLots: return 78;
      case kBatch: case kBatchAuxiliary: return 80;
      case kOther: return 79;
      default: return 76;
    }
  }
  bool Auxiliary() const { return slot == kAuxiliary || slot == kBatchAuxiliary; }
  int KFPeriod() const {
    return slot == kBatch ? 365 : slot == kBatchAuxiliary ? 180 : slot == kShelfLife ? 30 : 0;
  }
};

struct BillKind {
  int class_type;
  int bill_type;
  int weight;
};

// Percent weights of the bill kinds among the ordinary bills of a period.
constexpr BillKind kKinds[] = {
    {1020002, 2010, 28}, {1020002, 2012, 2}, {1020003, 2030, 5}, {1020003, 2031, 1},
    {1020003, 2032, 1},  {1020004, 2042, 1}, {1020004, 2040, 1}, {1020004, 2041, 1},
    {1040001, 0, 2},     {1040003, 0, 1},    {1040008, 0, 2},    {1030002, 3001, 30},
    {1030002, 3002, 2},  {1030002, 3003, 1}, {1030002, 3004, 1}, {1030003, 3010, 3},
    {1030003, 3011, 1},  {1030004, 3022, 1}, {1030004, 3020, 1}, {1030004, 3021, 1},
    {1040002, 0, 2},     {1040004, 0, 1},    {1040007, 0, 11},
};

bool AmountOnly(const BillKind& k) {
  return k.class_type == 1040008 || (k.class_type == 1020004 && k.bill_type != 2042);
}
bool SalesRebateAmount(const BillKind& k) {
  return k.class_type == 1030004 && (k.bill_type == 3020 || k.bill_type == 3021);
}

int DaysInMonth(int year, int month) {
  return static_cast<int>(DaysFromCivil(month == 12 ? year + 1 : year, month == 12 ? 1 : month + 1, 1) -
                          DaysFromCivil(year, month, 1));
}

std::string LotNumber(int64_t serial) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "1%023lld", static_cast<long long>(serial));
  return buf;
}

std::string ReceiptLotNumber(int64_t fid, int64_t entry) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "3%011lld%012lld", static_cast<long long>(fid),
                static_cast<long long>(entry));
  return buf;
}

class Generator {
 public:
  Generator(engine::Connection& connection, const GenerateOptions& options)
      : connection_(connection), options_(options), rng_(options.seed) {
    const int64_t n = options.lines_per_period;
    normal_stocks_ = static_cast<int>(std::clamp<int64_t>(n / 50000 + 3, 3, 40));
    item_count_ = static_cast<int>(std::clamp<int64_t>(n / 100, 20, 20000));
    start_days_ = DaysFromCivil(kStartYear, kStartPeriod, 1);
  }

  void Run() {
    Report("master data", 0);
    WriteCalendar(connection_, kStartYear, 2 + (kStartPeriod + options_.bill_periods) / 12);
    WriteProfile(connection_);
    WriteCodeLists(connection_);
    WriteStocks();
    MakeItems();
    WriteItems();
    Report("openings", 0);
    WriteOpenings();

    BillWriter writer(connection_);
    for (int p = 0; p < options_.bill_periods; ++p) WriteBillPeriod(writer, p);
    WriteUnauditedPeriod(writer, options_.bill_periods);
    writer.Flush();
    lots_.Flush();
    speed_.Flush();
    Report("finishing", lines_done_);
    FinishCompany(connection_);
    AddPeriodEndData(connection_, options_);
  }

 private:
  int AgencyStock() const { return 101 + normal_stocks_ + 1; }

  void Report(std::string_view stage, int64_t done) {
    if (options_.progress) {
      options_.progress(Progress{stage, done, options_.lines_per_period * options_.bill_periods});
    }
  }

  void WriteStocks() {
    TableWriter stocks(connection_, "t_Stock",
                       {"FItemID", "FNumber", "FName", "FStockGroupID", "FTypeID"});
    for (int i = 0; i < normal_stocks_; ++i) {
      char number[16];
      std::snprintf(number, sizeof number, "%02d", i + 1);
      stocks.Add({Int(101 + i), Text(number), Text("仓库" + std::string(number)),
                  Int(i % 2 == 0 ? 1001 : 1002), Int(500)});
    }
    stocks.Add({Int(101 + normal_stocks_), Text("T01"), Text("在途仓"), Int(0), Int(501)});
    stocks.Add({Int(AgencyStock()), Text("D01"), Text("代管仓"), Int(0), Int(502)});
    stocks.Flush();
  }

  Dating MakeDating(int64_t made_days, int kf_days) {
    return Dating{DayNumber(made_days), kf_days, DayNumber(made_days + kf_days)};
  }

  void MakeItems() {
    items_.reserve(item_count_);
    for (int i = 0; i < item_count_; ++i) {
      Item item;
      item.id = 1001 + i;
      item.slot = static_cast<Slot>(i % kSlots);
      item.unit = 301 + i % 3;
      item.cost_cents = rng_.Between(50, 20000);
      int first = static_cast<int>(rng_.Below(normal_stocks_));
      int second = (first + 1 + static_cast<int>(rng_.Below(normal_stocks_ - 1))) % normal_stocks_;
      item.stocks = {101 + first, 101 + second};
      item.held_for_others = item.slot == kPlain && i % 7 == 0;
      int kf = item.KFPeriod();
      if (item.slot == kBatch || item.slot == kBatchAuxiliary || item.slot == kBatchManaged) {
        for (int k = 0; k < 3; ++k) {
          item.batches.push_back("B" + std::to_string(item.id) + "-" + std::to_string(k + 1));
          int64_t made = start_days_ - 20 * (3 - k) - rng_.Below(10);
          item.batch_datings.push_back(kf > 0 ? MakeDating(made, kf) : Dating{});
        }
      }
      if (item.slot == kShelfLife) item.item_dating.push_back(MakeDating(start_days_ - 10, kf));
      items_.push_back(std::move(item));
    }
  }

  void WriteItems() {
    TableWriter items(connection_, "t_ICItem",
                      {"FItemID", "FNumber", "FName", "FTrack", "FISAuxi", "FISBatchManager",
                       "FBatchManager", "FISKFPeriod", "FKFPeriod", "FCostPrice", "FPriceDecimal",
                       "FUnitID", "FIsAssembly"});
    for (const Item& item : items_) {
      char number[24];
      std::snprintf(number, sizeof number, "%02d.%05d", static_cast<int>(item.slot) + 1, item.id);
      bool batch_managed = !item.batches.empty();
      items.Add({Int(item.id), Text(number), Text("物料" + std::to_string(item.id)),
                 Int(item.Track()), Int(item.Auxiliary() ? 1 : 0), Int(batch_managed ? 1 : 0),
                 Int(item.Track() == 80 ? 1 : 0), Int(item.KFPeriod() > 0 ? 1 : 0),
                 Int(item.KFPeriod()),
                 item.id % 5 == 0 ? NullValue() : Money(item.cost_cents), Int(2), Int(item.unit),
                 Int(item.slot == kAssembled ? 1 : 0)});
    }
    items.Flush();
  }

  // Quantity in the secondary unit: ten to one for the moving-average slot.
  engine::Value SecondaryQty(const Item& item, int64_t qty) const {
    return item.slot == kMoving ? Money(qty, 1) : Int(0);
  }

  const Dating* DatingOf(const Item& item, int batch) const {
    if (!item.item_dating.empty()) return &item.item_dating[0];
    if (batch >= 0 && item.batch_datings[batch].days > 0) return &item.batch_datings[batch];
    return nullptr;
  }

  void WriteOpenings() {
    TableWriter rows(connection_, "t_CC_Stock_BatchNo",
                     {"FYear", "FPeriod", "FStockID", "FItemID", "FBatchNo", "FAuxPropID",
                      "FKFPeriod", "FPeriodDate", "FKFDate", "FBegQty", "FSecBegQty", "FBegBal"});
    const engine::Value no_date = Day(1900, 1, 1);
    int64_t lot_serial = 0;
    for (Item& item : items_) {
      std::vector<int> stocks(item.stocks.begin(), item.stocks.end());
      if (item.held_for_others) stocks.push_back(AgencyStock());
      int batch_count = std::max<int>(1, static_cast<int>(item.batches.size()));
      std::vector<int> auxes = item.Auxiliary() ? std::vector<int>{201, 202} : std::vector<int>{0};
      for (size_t s = 0; s < stocks.size(); ++s) {
        if (item.slot == kLots) {
          // Two opening lots per stock; their sum is the batch-level opening.
          std::vector<Lot> lots;
          int64_t total = 0;
          for (int k = 0; k < 2; ++k) {
            int64_t qty = rng_.Between(100, 500);
            Lot lot{LotNumber(++lot_serial), qty};
            lots_.Add({Text(lot.id), Int(kStartYear), Int(kStartPeriod), Int(stocks[s]),
                       Int(item.id), Text(""), Int(qty), Money(qty * item.cost_cents), Int(0),
                       Int(0), DayNumber(start_days_ - 40 + 20 * k), Int(0), Int(0), Int(0)});
            total += qty;
            lots.push_back(std::move(lot));
          }
          item.lots.push_back(std::move(lots));
          rows.Add({Int(kStartYear), Int(kStartPeriod), Int(stocks[s]), Int(item.id), Text(""),
                    Int(0), Int(0), no_date, no_date, Int(total), Int(0),
                    Money(total * item.cost_cents)});
          continue;
        }
        for (int b = 0; b < batch_count; ++b) {
          int batch = item.batches.empty() ? -1 : b;
          const Dating* dating = DatingOf(item, batch);
          for (int aux : auxes) {
            int64_t qty = rng_.Between(200, 2000);
            rows.Add({Int(kStartYear), Int(kStartPeriod), Int(stocks[s]), Int(item.id),
                      Text(batch < 0 ? "" : item.batches[batch]), Int(aux),
                      Int(dating ? dating->days : 0), dating ? dating->expires : no_date,
                      dating ? dating->made : no_date, Int(qty), SecondaryQty(item, qty),
                      Money(qty * item.cost_cents)});
          }
        }
      }
    }
    rows.Flush();
    lots_.Flush();
    DeriveOpeningBalances(connection_);
  }

  const BillKind& PickKind() {
    int64_t r = rng_.Below(100);
    for (const BillKind& k : kKinds) {
      if (r < k.weight) return k;
      r -= k.weight;
    }
    return kKinds[0];
  }

  // Lot-by-lot items move only on plain receipts and deliveries of the start
  // period: their later lots are the cost run's to write.
  Item& PickItem(const BillKind& kind, bool first_period) {
    Item* item = &items_[rng_.Below(item_count_)];
    bool plain_kind = (kind.class_type == 1020002 && kind.bill_type == 2010) ||
                      (kind.class_type == 1030002 && kind.bill_type == 3001);
    if (item->slot == kLots && (!plain_kind || !first_period)) {
      item = &items_[(item - items_.data() + 1) % item_count_];
    }
    return *item;
  }

  void WriteBillPeriod(BillWriter& writer, int p) {
    const int month0 = kStartPeriod - 1 + p;
    const int year = kStartYear + month0 / 12;
    const int month = month0 % 12 + 1;
    const int64_t first_day = DaysFromCivil(year, month, 1);
    const int days = DaysInMonth(year, month);
    const std::string stage = "bills " + std::to_string(year) + "/" + std::to_string(month);
    const bool first_period = p == 0;
    Report(stage, lines_done_);

    int64_t written = 0;
    int64_t next_report = 10000;
    while (written < options_.lines_per_period) {
      const BillKind& kind = PickKind();
      const int64_t fid = ++last_fid_;
      const engine::Value date = DayNumber(first_day + rng_.Below(days));
      writer.StockBill(fid, kind.class_type, kind.bill_type, date);
      int count = static_cast<int>(
          std::min<int64_t>(rng_.Between(1, 8), options_.lines_per_period - written));
      for (int i = 1; i <= count; ++i) {
        WriteLine(writer, kind, fid, i, date, first_period);
      }
      written += count;
      lines_done_ += count;
      if (written >= next_report) {
        Report(stage, lines_done_);
        next_report += 10000;
      }
    }
    // The adjustment the costing of the period generated, on its last day.
    const int64_t fid = ++last_fid_;
    writer.StockBill(fid, 1040008, 1, DayNumber(first_day + days - 1));
    const BillKind generated{1040008, 1, 0};
    WriteLine(writer, generated, fid, 1, DayNumber(first_day + days - 1), first_period);

    WriteAssemblies(writer, first_day, days);
    WriteMoneyBills(writer, first_day, days, Audit::kAudited);
  }

  void WriteLine(BillWriter& writer, const BillKind& kind, int64_t fid, int index,
                 const engine::Value& date, bool first_period) {
    Item& item = PickItem(kind, first_period);
    BillLine line;
    line.entry_id = ++last_entry_;
    line.index = index;
    line.item = item.id;
    line.unit = item.unit;
    int batch = item.batches.empty() ? -1 : static_cast<int>(rng_.Below(3));
    if (batch >= 0) line.batch = item.batches[batch];
    line.dating = DatingOf(item, batch);
    line.aux = item.Auxiliary() ? static_cast<int>(201 + rng_.Below(2)) : 0;

    const int side = static_cast<int>(rng_.Below(2));
    int stock = item.stocks[side];
    const bool receipt = IsReceiptClass(kind.class_type);
    // Now and then the stock held for others takes a plain receipt or delivery.
    if (item.held_for_others && (kind.bill_type == 2010 || kind.bill_type == 3001) &&
        rng_.Below(10) == 0) {
      stock = AgencyStock();
    }
    if (kind.class_type == 1040007) {
      line.out_stock = stock;
      line.in_stock = item.stocks[1 - side];
    } else if (receipt) {
      line.in_stock = stock;
    } else {
      line.out_stock = stock;
    }

    int64_t qty = rng_.Between(1, 40);
    int64_t cost = 0;
    int64_t amount = 0;
    if (AmountOnly(kind)) {
      // Price adjustments go either way; rebates lower the value.
      qty = 0;
      cost = rng_.Between(100, 5000);
      if (kind.class_type != 1040008 || rng_.Below(3) == 0) cost = -cost;
      if (item.Auxiliary() && rng_.Below(2) == 0) line.aux = 0;  // spread over the properties
      amount = cost;
    } else if (SalesRebateAmount(kind)) {
      qty = 0;
      amount = -rng_.Between(100, 5000);
    } else {
      if (item.slot == kLots && !receipt) qty = TakeFromLots(item, side, qty);
      cost = qty * item.cost_cents;
      amount = receipt ? cost : cost * 13 / 10;
    }
    line.qty = Int(qty);
    line.sec_qty = SecondaryQty(item, qty);
    line.cost = Money(cost);
    line.amount = Money(amount);
    line.price = qty != 0 ? Money(amount * 100 / qty, 4) : Int(0);
    writer.StockLine(fid, line);

    if (item.slot == kLots) {
      if (receipt) {
        // The receipt lot as the cost run writes it.
        lots_.Add({Text(ReceiptLotNumber(fid, line.entry_id)), Int(kStartYear), Int(kStartPeriod),
                   Int(stock), Int(item.id), Text(""), Int(0), Int(0), Int(qty), Money(cost), date,
                   Int(fid), Int(line.entry_id), Int(kind.class_type)});
      } else if (qty > 0) {
        speed_.Add({Int(fid), Text(taken_lot_), Int(line.entry_id), Int(kind.class_type),
                    Int(kind.bill_type), date, Int(stock), Int(item.id), Int(qty), Money(cost)});
      }
    }
  }

  // Takes `qty` (or what is left) from the first opening lot of the stock that
  // still holds some; remembers the lot for the quick-balance row.
  int64_t TakeFromLots(Item& item, int side, int64_t qty) {
    if (item.lots.empty() || static_cast<size_t>(side) >= item.lots.size()) return 0;
    for (Lot& lot : item.lots[side]) {
      if (lot.remaining > 0) {
        qty = std::min(qty, lot.remaining);
        lot.remaining -= qty;
        taken_lot_ = lot.id;
        return qty;
      }
    }
    return 0;
  }

  void WriteAssemblies(BillWriter& writer, int64_t first_day, int days) {
    int64_t count = std::max<int64_t>(2, options_.lines_per_period / 1000);
    for (int64_t a = 0; a < count; ++a) {
      int class_type = a % 2 == 0 ? 1040005 : 1040006;
      const int64_t fid = ++last_fid_;
      writer.AssemblyBill(fid, class_type, DayNumber(first_day + rng_.Below(days)));
      const Item& product = items_[kAssembled + kSlots * rng_.Below(item_count_ / kSlots)];
      int64_t qty = rng_.Between(1, 5);
      int64_t total = 0;
      for (int c = 1; c <= 2; ++c) {
        const Item& part = items_[kSlots * rng_.Below(item_count_ / kSlots) + (c == 1 ? kPlain : kMoving)];
        int64_t part_qty = qty * rng_.Between(1, 3) * (part.slot == kMoving ? 10 : 1);
        BillLine l;
        l.entry_id = ++last_entry_;
        l.index = c;
        l.item = part.id;
        l.in_stock = part.stocks[0];
        l.qty = Int(part_qty);
        l.sec_qty = SecondaryQty(part, part_qty);
        l.cost = Money(part_qty * part.cost_cents);
        total += part_qty * part.cost_cents;
        writer.ComponentLine(fid, l);
      }
      BillLine l;
      l.entry_id = ++last_entry_;
      l.index = 1;
      l.item = product.id;
      l.in_stock = product.stocks[0];
      l.qty = Int(qty);
      l.sec_qty = Int(0);
      l.cost = Money(total);
      writer.ProductLine(fid, l);
    }
  }

  void WriteMoneyBills(BillWriter& writer, int64_t first_day, int days, Audit audit) {
    static constexpr const char* kTables[] = {"RBill",      "PBill",     "ROtherBill", "PChargeBill",
                                              "POtherBill", "CheckBill", "BankBill"};
    int64_t per_table = std::max<int64_t>(1, options_.lines_per_period / 20000);
    for (size_t t = 0; t < std::size(kTables); ++t) {
      for (int64_t i = 0; i < per_table; ++i) {
        int64_t amount = rng_.Between(10000, 1000000);
        if (t == 6 && rng_.Below(3) == 0) amount = -amount;
        writer.MoneyBill(kTables[t], ++money_ids_[t], DayNumber(first_day + rng_.Below(days)),
                         static_cast<int>(1 + rng_.Below(2)), Money(amount), audit);
      }
    }
  }

  // The period after the bill periods: bills not audited yet, which the pre-close
  // checks must find.
  void WriteUnauditedPeriod(BillWriter& writer, int p) {
    const int month0 = kStartPeriod - 1 + p;
    const int year = kStartYear + month0 / 12;
    const int month = month0 % 12 + 1;
    const int64_t first_day = DaysFromCivil(year, month, 1);
    int64_t count = std::max<int64_t>(3, options_.lines_per_period / 10000);
    for (int64_t b = 0; b < count; ++b) {
      const BillKind& kind = kKinds[b % 2 == 0 ? 0 : 11];  // a receipt, a delivery
      const int64_t fid = ++last_fid_;
      const engine::Value date = DayNumber(first_day + rng_.Below(28));
      writer.StockBill(fid, kind.class_type, kind.bill_type, date,
                       b % 2 == 0 ? Audit::kNotAudited : Audit::kNull);
      WriteLine(writer, kind, fid, 1, date, false);
    }
    writer.MoneyBill("BankBill", ++money_ids_[6], DayNumber(first_day + 5), 2, Money(-50000),
                     Audit::kNotAudited);
  }

  engine::Connection& connection_;
  const GenerateOptions& options_;
  Rng rng_;
  int normal_stocks_ = 3;
  int item_count_ = 20;
  int64_t start_days_ = 0;
  std::vector<Item> items_;
  int64_t last_fid_ = 0;
  int64_t last_entry_ = 0;
  int64_t lines_done_ = 0;
  std::array<int64_t, 7> money_ids_{};
  std::string taken_lot_;
  TableWriter lots_{connection_, "t_CC_Bal",
                    {"FInterID", "FYear", "FPeriod", "FStockID", "FItemID", "FBatchNo", "FBegQty",
                     "FBegBal", "FReceive", "FDebit", "FStockInDate", "FID", "FEntryID",
                     "FClassTypeID"}};
  TableWriter speed_{connection_, "ICSpeedBal",
                     {"FID", "FInterID", "FEntryID", "FClassTypeID", "FBillTypeID", "FDate",
                      "FStockID", "FItemID", "FQty", "FAmount"}};
};

}  // namespace

void GenerateSizedCompany(engine::Connection& connection, const GenerateOptions& options) {
  Generator(connection, options).Run();
  DamageSizedCompany(connection, options.seed);
}

void GenerateCompany(engine::Connection& connection, const GenerateOptions& options) {
  if (options.lines_per_period <= 0) {
    GenerateDemoCompany(connection);
  } else {
    GenerateSizedCompany(connection, options);
  }
}

}  // namespace morvesk::company
