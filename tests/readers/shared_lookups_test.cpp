// The look-ups both StockBillReader and CalCurAmount offer, on the demo company: costing parameters
// from the profile and calendar (inventory current at 2025/3), the items with movements (stock
// bills of 2025/3-5, an assembly bill in March and a dismantling bill in April, two unaudited bills
// in May), stock groups and stocks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/plexo/dictionary.h"
#include "tests/readers/lookups_fixture.h"

namespace morvesk::readers::test {
namespace {

constexpr char kSbr[] = "Morvesk.StockBillReader";
constexpr char kCal[] = "Morvesk.CalCurAmount";

class SharedLookups : public LookupsFixture {
 protected:
  // The dictionary's entries in order, "key=value:type" one a line.
  std::string Parameters(const char* progid) {
    Variant v = Call(progid, "GetCaculateParameter");
    EXPECT_EQ(v.type(), VarType::kObject);
    auto dict = std::dynamic_pointer_cast<plexo::Dictionary>(v.ToObject());
    if (!dict) return "(no dictionary)";
    std::string out;
    for (const auto& [key, value] : dict->entries()) {
      out += key + "=" + value.ToString() + ":" + std::to_string(static_cast<int>(value.type())) +
             "\n";
    }
    return out;
  }
  void SetProfile(const std::string& key, const std::string& value) {
    Run("Update t_SystemProfile Set FValue='" + value + "' Where FCategory='IC' And FKey='" + key +
        "'");
  }
  std::shared_ptr<ado::Recordset> ReaderItems(const std::string& from, const std::string& to,
                                              const std::string& filter = "") {
    return AsRecordset(Call(kSbr, "GetItemsWithHappen",
                            {Variant(int32_t{3}), Variant(int32_t{2025}), Variant(from),
                             Variant(to), Variant(filter)}));
  }
  std::shared_ptr<ado::Recordset> CalItems(const std::string& from, const std::string& to,
                                           bool only_bill = true, bool curr_period = true,
                                           int32_t period = 3, const std::string& filter = "") {
    return AsRecordset(Call(kCal, "GetItemsWithHappen",
                            {Variant(period), Variant(int32_t{2025}), Variant(from), Variant(to),
                             Variant(filter), Variant(only_bill), Variant(curr_period)}));
  }
  // The item ids in row order, each followed by a blank.
  static std::string Ids(const std::shared_ptr<ado::Recordset>& rs) {
    std::string out = Rows(rs, {"FItemID"});
    for (char& c : out) c = c == '\n' ? ' ' : c;
    return out;
  }
};

// The entries both classes set, in order; type codes as the dictionary holds them. Unit prices
// are always worked to 10 decimals, whatever the profile's PriceDigitCount (4 in the demo).
std::string Common(const std::string& period, const std::string& calc_type,
                   const std::string& bdate, const std::string& edate, const std::string& qty,
                   const std::string& rate) {
  auto entry = [](const std::string& key, const std::string& value, VarType type) {
    return key + "=" + value + ":" + std::to_string(static_cast<int>(type)) + "\n";
  };
  return entry("CurrentYear", "2025", VarType::kLong) +
         entry("CurrentPeriod", period, VarType::kLong) +
         entry("CalculateType", calc_type, VarType::kLong) +
         entry("BDate", bdate, VarType::kString) + entry("EDate", edate, VarType::kString) +
         entry("PriceDecimal", "10", VarType::kShort) + entry("QtyDecimal", qty, VarType::kLong) +
         entry("FloatRate", rate, VarType::kLong) +
         entry("WriteCalculateTable", "False", VarType::kBoolean);
}
// CalCurAmount's two keys more.
const std::string kSlices = "ItemCountPerGet=5000:2\nItemFilter=:8\n";

TEST_F(SharedLookups, CostingParametersCarryProfileAndPeriodWithFixedPricePrecision) {
  const std::string march = Common("3", "1", "2025/03/01", "2025/04/01", "4", "0");
  EXPECT_EQ(Parameters(kSbr), march);
  EXPECT_EQ(Parameters(kCal), march + kSlices);

  // February: the first day after the period is the 1st of March. A missing costing-scope row reads
  // as 0 (stocks together); the quantity decimals and float rate follow the profile.
  SetProfile("CurrentPeriod", "2");
  SetProfile("QuantityDigitCount", "2");
  SetProfile("FloatRate", "5");
  Run("Delete From t_SystemProfile Where FCategory='IC' And FKey='CalculateType'");
  const std::string february = Common("2", "0", "2025/02/01", "2025/03/01", "2", "5");
  EXPECT_EQ(Parameters(kSbr), february);
  EXPECT_EQ(Parameters(kCal), february + kSlices);

  // A current period the calendar does not hold leaves no row: the error is raised.
  SetProfile("CurrentYear", "2031");
  for (const char* progid : {kSbr, kCal}) {
    ComError e = Raised(progid, "GetCaculateParameter", {});
    EXPECT_NE(e.number, 0) << progid;
    EXPECT_FALSE(e.description.empty()) << progid;
  }
}

TEST_F(SharedLookups, ReaderListsEachAuditedItemOnceWithUnitAndMethodNames) {
  auto march = ReaderItems("2025-03-01", "2025-04-01");
  ASSERT_TRUE(march);
  EXPECT_EQ(ColumnNames(march),
            "FItemID,FNumber,FName,FCostPrice,FPriceDecimal,FUnitID,FTrack,FTrackName");
  // Every item moved in March; the assembled product 1010 sorts last.
  EXPECT_EQ(
      Rows(march, {"FItemID", "FUnitID", "FTrack", "FTrackName"}),
      "1001|千克|76|加权平均法\n1002|个|76|加权平均法\n1003|个|77|移动平均法\n1004|件|77|"
      "移动平均法\n1005|件|78|先进先出法\n1006|件|80|分批认定法\n1007|件|80|分批认定法\n1008|千克|"
      "76|加权平均法\n1009|个|79|计划成本法\n1011|个|76|加权平均法\n1010|件|76|加权平均法\n");
  // Detached: every row is there, and Filter works without a connection.
  EXPECT_EQ(march->ActiveConnection(), nullptr);
  march->SetFilter(Variant("FTrack = 80"));
  EXPECT_EQ(Rows(march, {"FName"}), "药品\n涂料\n");

  // May: the receipt of 1001 is unaudited and its delivery has no status; only the audited delivery
  // of 1008 counts. The end of the range is excluded (1008 goes out on 05-12).
  EXPECT_EQ(Ids(ReaderItems("2025-05-01", "2025-06-01")), "1008 ");
  EXPECT_EQ(Ids(ReaderItems("2025-05-01", "2025-05-12")), "");

  // An item whose unit is not catalogued is left out; the filter follows the method test.
  Run("Update t_ICItem Set FUnitID=399 Where FItemID=1011");
  EXPECT_EQ(Ids(ReaderItems("2025-03-01", "2025-04-01", " And I.FTrack=76")),
            "1001 1002 1008 1010 ");
}

TEST_F(SharedLookups, CalCurAmountCountsEverySourceRowAndEveryStatus) {
  // Bills of any status count; the range ends as given, or never with bCurrPeriod False.
  EXPECT_EQ(Ids(CalItems("2025-05-01", "2025-05-10")), "1001 ");
  EXPECT_EQ(Ids(CalItems("2025-05-01", "2025-05-10", true, false)), "1001 1008 ");

  // The assembled product of March is on a stock bill and on the assembly bill's product lines:
  // listed twice, where the reader lists it once.
  auto march = CalItems("2025-03-01", "2025-04-01");
  ASSERT_TRUE(march);
  EXPECT_EQ(ColumnNames(march), "FItemID,FNumber,FName,FUnitID,FCostPrice,FTrack,FPriceDecimal");
  EXPECT_NE(march->ActiveConnection(), nullptr);
  march->SetFilter(Variant("FItemID = 1010"));
  EXPECT_EQ(Rows(march, {"FItemID", "FUnitID"}), "1010|303\n1010|303\n");
  march->SetFilter(Variant("FItemID = 1001"));
  EXPECT_EQ(march->RecordCount(), 2);  // stock bills and the assembly's components

  // With the balance rows of 2025/3: 1005 holds four lot rows and moved on stock bills.
  auto with_balances =
      CalItems("2025-03-01", "2025-04-01", false, true, 3, " And i.FItemID In (1001,1005)");
  EXPECT_EQ(Ids(with_balances), "1001 1001 1001 1001 1001 1005 1005 1005 1005 1005 ");
  // A period with no balance rows adds nothing.
  EXPECT_EQ(
      Ids(CalItems("2025-03-01", "2025-04-01", false, true, 4, " And i.FItemID In (1001,1005)")),
      "1001 1001 1005 ");

  // A bad filter raises the engine's error; nothing was kept of the working table.
  ComError e = Raised(kCal, "GetItemsWithHappen",
                      {Variant(int32_t{3}), Variant(int32_t{2025}), Variant("2025-03-01"),
                       Variant("2025-04-01"), Variant(" And D.FTrack=80")});
  EXPECT_EQ(e.number, automation::kErrCommand);
  EXPECT_NE(e.description.find("FTrack"), std::string::npos) << e.description;
  e = Raised(kSbr, "GetItemsWithHappen",
             {Variant(int32_t{3}), Variant(int32_t{2025}), Variant("2025-03-01"),
              Variant("2025-04-01"), Variant(" And (")});
  EXPECT_EQ(e.number, automation::kErrCommand);
  EXPECT_EQ(Ids(CalItems("2025-05-01", "2025-05-10")), "1001 ");
}

TEST_F(SharedLookups, StockGroupsAndStocksDifferByClassAndComeBackDetached) {
  for (const char* progid : {kSbr, kCal}) {
    Variant groups = Call(progid, "GetStockGroup");
    EXPECT_EQ(groups.type(), VarType::kObject) << progid;
    auto rs = AsRecordset(groups);
    ASSERT_TRUE(rs) << progid;
    EXPECT_EQ(ColumnNames(rs), "FInterID,FNumber,FName");
    EXPECT_EQ(rs->ActiveConnection(), nullptr);
    EXPECT_EQ(Rows(rs), "1001|01|生产仓库组\n1002|02|销售仓库组\n") << progid;
    EXPECT_EQ(Rows(AsRecordset(Call(progid, "GetStockGroup", {Variant("FID='02'")}))),
              "1002|02|销售仓库组\n");
    ComError e = Raised(progid, "GetStockGroup", {Variant("FNoSuch=1")});
    EXPECT_EQ(e.number, automation::kErrCommand);
    EXPECT_NE(e.description.find("FNoSuch"), std::string::npos) << e.description;
  }

  // A stock of type 503 is listed by neither class; one of type 504 only by the reader, which sorts
  // by number.
  Run("Insert Into t_Stock(FItemID,FNumber,FName,FStockGroupID,FTypeID) "
      "Values(106,'06','备用仓',0,503)\r\nInsert Into "
      "t_Stock(FItemID,FNumber,FName,FStockGroupID,FTypeID) Values(107,'00','寄售仓',1002,504)");
  auto reader_stocks = AsRecordset(Call(kSbr, "GetStocks", {Variant("FItemID=(")}));
  ASSERT_TRUE(reader_stocks);
  EXPECT_EQ(ColumnNames(reader_stocks), "FItemID,FName,FNumber,FGroupID");
  EXPECT_EQ(reader_stocks->ActiveConnection(), nullptr);
  // The filter is not used, even a malformed one.
  EXPECT_EQ(Rows(reader_stocks),
            "107|寄售仓|00|1002\n101|原料仓|01|1001\n102|成品仓|02|1001\n103|门店仓|03|1002\n");
  EXPECT_EQ(
      Rows(AsRecordset(Call(kCal, "GetStocks", {Variant("FItemID=101")})), {"FItemID", "FGroupID"}),
      "101|1001\n102|1001\n103|1002\n");

  // A client moves stock 101 to the other group on the list it got and saves it.
  reader_stocks->MoveFirst();
  reader_stocks->MoveNext();
  reader_stocks->Fields(Variant("FGroupID")).SetValue(Variant(int32_t{1002}));
  Call(kSbr, "UpdateStockGroup", {Variant(reader_stocks)});
  EXPECT_EQ(Rows(AsRecordset(Call(kCal, "GetStocks")), {"FItemID", "FGroupID"}),
            "101|1002\n102|1001\n103|1002\n");
}

}  // namespace
}  // namespace morvesk::readers::test
