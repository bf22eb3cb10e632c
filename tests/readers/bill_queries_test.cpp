// GetBills and GetBatchRecordset on the demo company: bills of 2025/3 (the
// current period), 2025/4 and 2025/5.
#include <set>

#include "tests/readers/readers_fixture.h"

namespace morvesk::readers::test {
namespace {

class BillQueriesTest : public ReadersFixture {
 protected:
  // Lines of a listing sorted, for sets the query returns in no set order.
  static std::string Sorted(const std::string& lines) {
    std::multiset<std::string> set;
    size_t start = 0;
    for (size_t end; (end = lines.find('\n', start)) != std::string::npos; start = end + 1) {
      set.insert(lines.substr(start, end + 1 - start));
    }
    std::string out;
    for (const std::string& l : set) out += l;
    return out;
  }
  std::shared_ptr<ado::Recordset> Bills(std::vector<Variant> args = {}) {
    return AsRecordset(Call("GetBills", std::move(args)));
  }
  std::shared_ptr<ado::Recordset> Batches(std::vector<Variant> args) {
    return AsRecordset(Call("GetBatchRecordset", std::move(args)));
  }
};

// The current period's form: the 40 stock bill lines of March (26 bills),
// whatever start is given, in date, bill and running-number order; the record
// set is detached and keeps working after the call.
TEST_F(BillQueriesTest, CurrentPeriodFormListsExactlyThePeriodsLines) {
  auto rs = Bills({Variant(""), Variant(""), Variant(MakeDate(1990, 1, 1)), Variant(true)});
  ASSERT_TRUE(rs);
  EXPECT_EQ(rs->ActiveConnection(), nullptr);
  EXPECT_EQ(rs->RecordCount(), 40);
  std::set<int32_t> bills;
  double last_date = 0;
  int32_t last_fid = 0;
  for (rs->MoveFirst(); !rs->Eof(); rs->MoveNext()) {
    const double date = rs->Fields(Variant("FDate")).Value().ToDate().days;
    const int32_t fid = rs->Fields(Variant("FID")).Value().ToLong();
    EXPECT_GE(date, MakeDate(2025, 3, 1).days);
    EXPECT_LT(date, MakeDate(2025, 4, 1).days);
    EXPECT_TRUE(date > last_date || (date == last_date && fid >= last_fid)) << "bill " << fid;
    last_date = date;
    last_fid = fid;
    bills.insert(fid);
  }
  EXPECT_EQ(bills.size(), 26u);

  // Filter and fields by name and position after the call.
  rs->SetFilter(Variant("FItemID = 1006 AND FBatchNo = 'B2501'"));
  EXPECT_EQ(Rows(rs, {"FID", "FClassTypeName", "FBillTypeName"}),
            "9|采购返利单-采购返利(金额)|\n11|销售发货(发货,退货)-发货|\n26|"
            "销售发货(发货,退货)-发货|\n");
  EXPECT_EQ(rs->FieldAt(0).Name(), "FInterID");
}

// The filter applies to the working table and the final select; the order
// replaces the default; bill types 0 and 1 show the bare class name, a type
// missing from the catalogue gives Null.
TEST_F(BillQueriesTest, FilterOrderAndClassNames) {
  Run("DELETE FROM t_BaseBillTypeData WHERE FID = 3003");
  auto rs = Bills({Variant(" And t.FItemID=1001"), Variant("t.FID Desc"),
                   Variant(MakeDate(2025, 3, 1)), Variant(true)});
  ASSERT_TRUE(rs);
  EXPECT_EQ(Rows(rs, {"FID", "FClassTypeName"}),
            "25|采购收货(收货,退货,冲回蓝单)-收货\n24|调价单(金额)\n23|调价单("
            "金额)\n22|调拨单\n21|盘亏毁损\n"
            "17|销售返利单-销售返利(金额)\n14|\n13|销售发货(发货,退货)-"
            "退货\n10|销售发货(发货,退货)-发货\n"
            "6|估价入库(入库,退货,冲回红单)-入库\n5|采购收货(收货,退货,"
            "冲回蓝单)-退货\n"
            "1|采购收货(收货,退货,冲回蓝单)-收货\n");
  rs->MoveFirst();
  while (rs->Fields(Variant("FID")).Value().ToLong() != 14) rs->MoveNext();
  EXPECT_TRUE(rs->Fields(Variant("FClassTypeName")).Value().is_null());
}

// Every argument omitted: every line from 1900-01-01 on, all periods.
TEST_F(BillQueriesTest, DefaultsListEveryLine) {
  auto rs = Bills();
  ASSERT_TRUE(rs);
  EXPECT_EQ(std::to_string(rs->RecordCount()), Scalar("SELECT COUNT(*) FROM T_CC_StockBillEntry"));
  rs->MoveLast();
  EXPECT_GE(rs->Fields(Variant("FDate")).Value().ToDate().days, MakeDate(2025, 5, 1).days);
}

TEST_F(BillQueriesTest, MalformedFilterRaisesTheEnginesError) {
  try {
    Bills({Variant(" And t.FNoSuchColumn=1")});
    ADD_FAILURE() << "no error raised";
  } catch (const ComError& e) {
    EXPECT_NE(e.description.find("FNoSuchColumn"), std::string::npos) << e.description;
  }
  // The reader stays usable.
  EXPECT_EQ(Bills({Variant(" And t.FID=1")})->RecordCount(), 2);
}

// Item and batch pairs through stock 103 since March: in March 1001 (receipts
// of the transfer, sales, return) and 1004; April adds the transfer of 1007 P02
// into 103.
TEST_F(BillQueriesTest, BatchPairsOfAStock) {
  auto march = Batches({Variant(MakeDate(2025, 3, 1)), Variant(int32_t{103}), Variant(true)});
  ASSERT_TRUE(march);
  EXPECT_EQ(march->ActiveConnection(), nullptr);
  EXPECT_EQ(Sorted(Rows(march, {"FItemID", "FBatchNo"})), "1001|\n1004|\n");
  auto since = Batches({Variant(MakeDate(2025, 3, 1)), Variant(int32_t{103})});
  EXPECT_EQ(Sorted(Rows(since, {"FItemID", "FBatchNo"})), "1001|\n1004|\n1007|P02\n");
  // The start date counts: from 2025-04-12 on, the sale of 1004 of 04-11 drops
  // out.
  auto later = Batches({Variant(MakeDate(2025, 4, 12)), Variant(int32_t{103})});
  EXPECT_EQ(Sorted(Rows(later, {"FItemID", "FBatchNo"})), "1001|\n1007|P02\n");
}

}  // namespace
}  // namespace morvesk::readers::test
