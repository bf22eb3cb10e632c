// GetFValueOfIC and WriteValueOfIC on the demo company's system profile.
#include "tests/readers/readers_fixture.h"

namespace morvesk::readers::test {
namespace {

class ProfileRowsTest : public ReadersFixture {
 protected:
  std::shared_ptr<ado::Recordset> Read(const std::string& filter) {
    return AsRecordset(Call("GetFValueOfIC", {Variant(filter)}));
  }
};

TEST_F(ProfileRowsTest, ReadsRowsOfEveryCategoryOrOfTheFilter) {
  auto all = Read("");
  ASSERT_TRUE(all);
  EXPECT_EQ(all->ActiveConnection(), nullptr);
  EXPECT_EQ(std::to_string(all->RecordCount()), Scalar("SELECT COUNT(*) FROM t_SystemProfile"));
  // GL rows are there too: the statement does not restrict the category.
  all->SetFilter(Variant("FKey = 'PeriodCount'"));
  EXPECT_EQ(Rows(all), "PeriodCount|12\n");

  EXPECT_EQ(Rows(Read("FCategory='IC' AND FKey='CurrentPeriod'")), "CurrentPeriod|3\n");
  EXPECT_THROW(Read("FCategory='IC' AND"), ComError);
}

TEST_F(ProfileRowsTest, WritesTheValueOfAnExistingICKeyOnly) {
  const std::string rows = Scalar("SELECT COUNT(*) FROM t_SystemProfile");
  EXPECT_TRUE(Call("WriteValueOfIC", {Variant("  it's 4  "), Variant(" NegBalance ")}).is_empty());
  EXPECT_EQ(Rows(Read("FCategory='IC' AND FKey='NegBalance'")), "NegBalance|it's 4\n");
  Call("WriteValueOfIC", {Variant(""), Variant("NegBalance")});
  EXPECT_EQ(Scalar("SELECT ISNULL(FValue, 'null') + '.' FROM t_SystemProfile WHERE "
                   "FCategory='IC' AND FKey='NegBalance'"),
            ".");
  // A key that does not exist is not added; the GL row of the same key stays as
  // it was.
  Call("WriteValueOfIC", {Variant("9"), Variant("NoSuchKey")});
  Call("WriteValueOfIC", {Variant("99"), Variant("PeriodCount")});
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM t_SystemProfile"), rows);
  EXPECT_EQ(Scalar("SELECT FValue FROM t_SystemProfile WHERE FCategory='GL' AND "
                   "FKey='PeriodCount'"),
            "12");
}

}  // namespace
}  // namespace morvesk::readers::test
