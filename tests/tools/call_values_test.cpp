// `morvesk call` with StockBillReader: record sets printed as tables, doubles
// with every digit, and a record set argument read from a CSV file so that
// UpdateStockGroup can be driven from a shell.
#include <fstream>
#include <string>

#include "tests/tools/tool_fixture.h"

namespace morvesk::test {
namespace {

class CallValues : public ToolFixture {
protected:
  void SetUp() override {
    ToolFixture::SetUp();
    db_ = Demo();
  }

  std::string Groups() const {
    return Run("sql --db '" + db_ +
               "' --format csv \"select FItemID, FStockGroupID from t_Stock "
               "where FItemID in (101, 102) order by FItemID\"")
        .out;
  }

  std::string db_;
};

TEST_F(CallValues, StockGroupsComeFromACsvFile) {
  std::ofstream(Path("groups.csv"))
      << "FItemID,FGroupID\r\n101,7\r\n\r\n\"102\",8\r\n";
  Outcome ok =
      Run("call --db '" + db_ + "' StockBillReader.UpdateStockGroup @'" +
          Path("groups.csv") + "'");
  EXPECT_EQ(ok.exit_code, 0) << ok.err;
  EXPECT_EQ(Groups(), "FItemID,FStockGroupID\n101,7\n102,8\n");

  // An empty group is Null: the call fails and writes nothing, not even the
  // first row.
  std::ofstream(Path("null.csv")) << "FItemID,FGroupID\n101,1\n102,\n";
  Outcome refused =
      Run("call --db '" + db_ + "' StockBillReader.UpdateStockGroup @'" +
          Path("null.csv") + "'");
  EXPECT_EQ(refused.exit_code, 1);
  EXPECT_EQ(Groups(), "FItemID,FStockGroupID\n101,7\n102,8\n");

  std::ofstream(Path("ragged.csv")) << "FItemID,FGroupID\n101\n";
  Outcome ragged =
      Run("call --db '" + db_ + "' StockBillReader.UpdateStockGroup @'" +
          Path("ragged.csv") + "'");
  EXPECT_EQ(ragged.exit_code, 2);
  EXPECT_NE(ragged.err.find("line 2"), std::string::npos) << ragged.err;
  EXPECT_EQ(Run("call --db '" + db_ + "' StockBillReader.UpdateStockGroup @'" +
                Path("missing.csv") + "'")
                .exit_code,
            2);
}

TEST_F(CallValues, RecordSetsPrintAsTablesAndDoublesInFull) {
  Outcome rows = Run("call --db '" + db_ +
                     "' StockBillReader.GetFValueOfIC \"FCategory='IC' AND "
                     "FKey='CurrentPeriod'\"");
  EXPECT_EQ(rows.exit_code, 0) << rows.err;
  EXPECT_NE(rows.out.find("FKey"), std::string::npos) << rows.out;
  EXPECT_NE(rows.out.find("CurrentPeriod"), std::string::npos) << rows.out;
  EXPECT_NE(rows.out.find("(1 row)"), std::string::npos) << rows.out;

  // 400.00 / 2000 divided in single precision: the double shows the single's
  // error.
  Outcome price =
      Run("call --db '" + db_ +
          "' StockBillReader.GetMultiPrice "
          "'ReproducePrice=1;CurrentYear=2025;CurrentPeriod=3' 1003 ''");
  EXPECT_EQ(price.exit_code, 0) << price.err;
  EXPECT_EQ(price.out, "result: 0.20000000298023224\n");
}

} // namespace
} // namespace morvesk::test
