// ICbalReader.GetBegBal and CheckCalDataValidate on the demo company, whose
// start period 2025/3 holds eleven ordinary balance rows (one of them in the
// 502 stock 105) and the four lots of the lot-by-lot item 1005 (three with
// openings, the period's receipt lot without).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/readers/lookups_fixture.h"

namespace morvesk::readers::test {
namespace {

constexpr char kIcb[] = "Morvesk.ICbalReader";
const std::vector<std::string> kNoIdentity = {
    "FInterID", "FStockID",     "FItemID", "FBatchNo", "FBegQty",
    "FBegBal",  "FStockInDate", "FID",     "FEntryID"};
constexpr char kOrdinary[] = "100000000000000000000000";

class OpeningBalances : public LookupsFixture {
protected:
  std::shared_ptr<ado::Recordset> BegBal(std::vector<Variant> rest) {
    return AsRecordset(Call(kIcb, "GetBegBal", std::move(rest)));
  }
  // The identity the balance table gave a lot.
  std::string IdentityOf(const std::string &lot) {
    engine::BatchResult r = sql_->Execute(
        "select FIdentity from t_CC_Bal where FInterID='" + lot + "'");
    return r.ok() ? r.ResultSets().front()->rows.at(0).at(0).ToString() : "?";
  }
};

TEST_F(OpeningBalances, PerStockFormListsStoredRowsOfValuedStocksInStockOrder) {
  auto rs = BegBal({Variant("")}); // CalType omitted: per stock
  ASSERT_TRUE(rs);
  EXPECT_EQ(ColumnNames(rs), "FInterID,FStockID,FItemID,FBatchNo,FBegQty,"
                             "FBegBal,FStockInDate,FID,FEntryID,"
                             "FIdentity");
  const std::string o = kOrdinary;
  // Stock 105 (type 502) is left out, and so is the receipt lot without an
  // opening.
  const std::string expected =
      o + "|101|1001||1000|5000|1900-01-01|0|0\n" + o +
      "|101|1002||100|1000|1900-01-01|0|0\n" + o +
      "|101|1003||2000|400|1900-01-01|0|0\n" +
      "100000000000000000000001|101|1005||10|50|2025-01-20|0|0\n"
      "100000000000000000000002|101|1005||5|0|2025-02-10|0|0\n" +
      o + "|101|1006|B2501|100|1200|1900-01-01|0|0\n" + o +
      "|101|1006|B2502|50|650|1900-01-01|0|0\n" + o +
      "|101|1009||20|160|1900-01-01|0|0\n" +
      "100000000000000000000003|102|1005||8|48|2025-02-15|0|0\n" + o +
      "|102|1007|P01|100|1000|1900-01-01|0|0\n" + o +
      "|102|1008||500|1540|1900-01-01|0|0\n" + o +
      "|103|1001||200|1000|1900-01-01|0|0\n" + o +
      "|103|1004||50|250|1900-01-01|0|0\n";
  EXPECT_EQ(Rows(rs, kNoIdentity), expected);
  // Every row carries its own identity as stored.
  rs->SetFilter(Variant("FInterID = '100000000000000000000002'"));
  ASSERT_FALSE(rs->Eof());
  EXPECT_EQ(rs->Fields(Variant("FIdentity")).Value().ToString(),
            IdentityOf("100000000000000000000002"));

  // Handed back on the call's connection, and the same with CalType 1 given.
  EXPECT_NE(rs->ActiveConnection(), nullptr);
  EXPECT_EQ(
      Rows(BegBal({Variant(""), Variant(int32_t{1}), Variant(int32_t{9})}),
           kNoIdentity),
      expected);
}

TEST_F(OpeningBalances, MergedFormSumsOverStocksAndKeepsLotsApart) {
  const std::string o = kOrdinary;
  const std::string expected =
      o + "|0|1001||1200|6000|1900-01-01|0|0|0\n" + o +
      "|0|1002||100|1000|1900-01-01|0|0|0\n" + o +
      "|0|1003||2000|400|1900-01-01|0|0|0\n" + o +
      "|0|1004||50|250|1900-01-01|0|0|0\n" +
      "100000000000000000000001|0|1005||10|50|2025-01-20|0|0|" +
      IdentityOf("100000000000000000000001") + "\n" +
      "100000000000000000000002|0|1005||5|0|2025-02-10|0|0|" +
      IdentityOf("100000000000000000000002") + "\n" +
      "100000000000000000000003|0|1005||8|48|2025-02-15|0|0|" +
      IdentityOf("100000000000000000000003") + "\n" + o +
      "|0|1006|B2501|100|1200|1900-01-01|0|0|0\n" + o +
      "|0|1006|B2502|50|650|1900-01-01|0|0|0\n" + o +
      "|0|1007|P01|100|1000|1900-01-01|0|0|0\n" + o +
      "|0|1008||500|1540|1900-01-01|0|0|0\n" + o +
      "|0|1009||20|160|1900-01-01|0|0|0\n";
  EXPECT_EQ(Rows(BegBal({Variant(""), Variant(int32_t{0})})), expected);
  EXPECT_EQ(Rows(BegBal({Variant(""), Variant(int32_t{2})})), expected);
}

TEST_F(OpeningBalances, StockTypeAndZeroOpeningsDecideWhichRowsCount) {
  // A lot of 1005 held in the 502 stock, a stock 102 row of 1001 with an amount
  // and no quantity, and a 502 row of an ordinary item.
  Run("Insert Into "
      "t_CC_Bal(FInterID,FYear,FPeriod,FStockID,FItemID,FBegQty,FBegBal,"
      "FStockInDate) "
      "Values('100000000000000000000009',2025,3,105,1005,7,70,'2025-02-20')\r\n"
      "Insert Into "
      "t_CC_Bal(FInterID,FYear,FPeriod,FStockID,FItemID,FBegQty,FBegBal) "
      "Values('100000000000000000000000',2025,3,102,1001,0,12.5)\r\n"
      "Insert Into "
      "t_CC_Bal(FInterID,FYear,FPeriod,FStockID,FItemID,FBegQty,FBegBal) "
      "Values('100000000000000000000000',2025,3,105,1003,4,1)");
  const std::vector<Variant> only_1001_1003_1005 = {
      Variant(" And b.FItemID In (1001,1003,1005)")};
  const std::vector<std::string> cols = {"FStockID", "FItemID", "FBegQty",
                                         "FBegBal"};

  auto per_stock = BegBal(only_1001_1003_1005);
  EXPECT_EQ(
      Rows(per_stock, cols),
      "101|1001|1000|5000\n101|1003|2000|400\n101|1005|10|50\n101|1005|5|0\n"
      "102|1001|0|12.5\n102|1005|8|48\n103|1001|200|1000\n");

  std::vector<Variant> merged_args = only_1001_1003_1005;
  merged_args.push_back(Variant(int32_t{0}));
  auto merged = BegBal(merged_args);
  // 1001 sums 101, 102 and 103 but not 105; the lot in 105 counts.
  EXPECT_EQ(Rows(merged, {"FInterID", "FItemID", "FBegQty", "FBegBal"}),
            std::string(kOrdinary) + "|1001|1200|6012.5\n" + kOrdinary +
                "|1003|2000|400\n"
                "100000000000000000000001|1005|10|50\n"
                "100000000000000000000002|1005|5|0\n"
                "100000000000000000000003|1005|8|48\n"
                "100000000000000000000009|1005|7|70\n");
}

TEST_F(OpeningBalances, FiltersGoIntoEveryBranchAndBadOnesRaiseTheEngineError) {
  const std::vector<std::string> cols = {"FStockID", "FItemID", "FBatchNo",
                                         "FBegQty"};
  EXPECT_EQ(Rows(BegBal({Variant(" And b.FBatchNo='B2501'")}), cols),
            "101|1006|B2501|100\n");
  EXPECT_EQ(
      Rows(BegBal({Variant(" And b.FItemID=1005"), Variant(int32_t{0})}), cols),
      "0|1005||10\n0|1005||5\n0|1005||8\n");
  EXPECT_EQ(
      Rows(BegBal({Variant(" And b.FItemID=1001"), Variant(int32_t{0})}), cols),
      "0|1001||1200\n");

  // In the merged form s is the stock in one branch and the item in the other:
  // a filter on s.FTrack names a column the first branch does not have.
  ComError e = Raised(kIcb, "GetBegBal",
                      {Variant(" And s.FTrack=78"), Variant(int32_t{0})});
  EXPECT_EQ(e.number, automation::kErrCommand);
  EXPECT_NE(e.description.find("FTrack"), std::string::npos) << e.description;

  e = Raised(kIcb, "GetBegBal", {Variant(" And (b.FItemID=1")});
  EXPECT_EQ(e.number, automation::kErrCommand);
  EXPECT_NE(e.description.find("syntax"), std::string::npos) << e.description;

  // The object and the database are as they were: the next call answers in
  // full.
  EXPECT_EQ(BegBal({Variant("")})->RecordCount(), 13);
}

TEST_F(OpeningBalances,
       ValidationAnswersTrueWhenTheSessionBindsAndReportsWhyNot) {
  auto icb = automation::CreateObject(kIcb);
  Variant info("left alone");
  // The period, method and filters take no part: nonsense passes.
  std::vector<Variant> args{
      Variant(Cnn()),      Variant(int32_t{99}), Variant(int32_t{0}),
      Variant("never"),    Variant("nor this"),  Variant(int32_t{-7}),
      Variant::Ref(&info), Variant(" And ("),    Variant("(")};
  Variant ok = icb->CallRef("CheckCalDataValidate", args);
  EXPECT_EQ(ok.type(), VarType::kBoolean);
  EXPECT_TRUE(ok.ToBool());
  EXPECT_EQ(info.ToString(), "left alone");

  // A database that cannot be opened: False and the binding error's text,
  // nothing raised.
  const std::string missing = "Data Source=" + path_ + ".missing";
  std::vector<Variant> bad{Variant(missing),       Variant(int32_t{3}),
                           Variant(int32_t{2025}), Variant("2025-03-01"),
                           Variant("2025-04-01"),  Variant(int32_t{0}),
                           Variant::Ref(&info)};
  EXPECT_FALSE(icb->CallRef("CheckCalDataValidate", bad).ToBool());
  std::string raised;
  try {
    icb->Call("GetBegBal", {Variant(missing), Variant("")});
  } catch (const ComError &e) {
    raised = e.description;
  }
  EXPECT_FALSE(raised.empty());
  EXPECT_EQ(info.ToString(), raised);

  // The object stays usable.
  info = Variant("");
  args[6] = Variant::Ref(&info);
  EXPECT_TRUE(icb->CallRef("CheckCalDataValidate", args).ToBool());
}

} // namespace
} // namespace morvesk::readers::test
