// UpdateStockGroup writes back a record set the client edited.
#include <map>

#include "tests/readers/readers_fixture.h"

namespace morvesk::readers::test {
namespace {

class StockGroupUpdateTest : public ReadersFixture {
 protected:
  // The stocks with their group as the client sees them, edited on the client
  // only.
  std::shared_ptr<ado::Recordset> Stocks() {
    return AsRecordset(Call("ExecuteSQL", {Variant("SELECT FItemID, FStockGroupID AS FGroupID "
                                                   "FROM t_Stock ORDER BY FItemID")}));
  }
  void SetGroup(ado::Recordset& rs, int32_t stock, const Variant& group) {
    for (rs.MoveFirst(); !rs.Eof(); rs.MoveNext()) {
      if (rs.Fields(Variant("FItemID")).Value().ToLong() == stock) {
        rs.Fields(Variant("FGroupID")).SetValue(group);
        return;
      }
    }
    FAIL() << "no stock " << stock;
  }
  std::map<int32_t, int32_t> Groups() {
    engine::BatchResult r =
        sql_->Execute("SELECT FItemID, FStockGroupID FROM t_Stock ORDER BY FItemID");
    std::map<int32_t, int32_t> out;
    for (const auto& row : r.ResultSets().back()->rows) {
      out[static_cast<int32_t>(row[0].as_int())] = static_cast<int32_t>(row[1].as_int());
    }
    return out;
  }
};

TEST_F(StockGroupUpdateTest, EveryRowIsWrittenWhateverTheFilter) {
  auto rs = Stocks();
  SetGroup(*rs, 101, Variant(int32_t{7}));
  SetGroup(*rs, 103, Variant(int32_t{8}));
  rs->SetFilter(Variant("FItemID = 102"));
  std::map<int32_t, int32_t> expected = Groups();
  EXPECT_TRUE(Call("UpdateStockGroup", {Variant(rs)}).is_empty());
  expected[101] = 7;
  expected[103] = 8;
  EXPECT_EQ(Groups(), expected);
  EXPECT_TRUE(rs->Filter().ToString().empty());
  EXPECT_TRUE(rs->Eof());
}

// A Null group makes an invalid statement: the call fails and the unit of work
// undoes the rows already written.
TEST_F(StockGroupUpdateTest, NullGroupFailsAndLeavesTheDatabaseAsItWas) {
  auto rs = Stocks();
  SetGroup(*rs, 101, Variant(int32_t{7}));
  SetGroup(*rs, 102, Variant::Null());
  const std::map<int32_t, int32_t> before = Groups();
  EXPECT_THROW(Call("UpdateStockGroup", {Variant(rs)}), ComError);
  EXPECT_EQ(Groups(), before);
  EXPECT_THROW(Call("UpdateStockGroup", {Variant::Nothing()}), ComError);
}

}  // namespace
}  // namespace morvesk::readers::test
