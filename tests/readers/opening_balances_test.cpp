// ICbalReader on the demo company, whose start period 2025/3 holds eleven ordinary balance rows
// (one in the 502 stock 105) and four lots of the lot-by-lot item 1005, the period's receipt lot
// among them with no opening.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/readers/lookups_fixture.h"

namespace morvesk::readers::test {
namespace {

constexpr char kIcb[] = "Morvesk.ICbalReader";
const std::vector<std::string> kCols = {"FStockID", "FItemID",      "FBatchNo", "FBegQty",
                                        "FBegBal",  "FStockInDate", "FIdentity"};

class OpeningBalances : public LookupsFixture {
 protected:
  std::shared_ptr<ado::Recordset> BegBal(std::vector<Variant> rest) {
    return AsRecordset(Call(kIcb, "GetBegBal", std::move(rest)));
  }
  // The identity the balance table gave a row: an ordinary one, or a lot of 1005.
  std::string Identity(const std::string& where) {
    engine::BatchResult r = sql_->Execute("select FIdentity from t_CC_Bal where " + where);
    return r.ok() ? r.ResultSets().front()->rows.at(0).at(0).ToString() : "?";
  }
  std::string Id(int stock, int item, const std::string& batch = "") {
    return Identity("FInterID='100000000000000000000000' and FStockID=" + std::to_string(stock) +
                    " and FItemID=" + std::to_string(item) + " and FBatchNo='" + batch + "'");
  }
  std::string Lot(int n) {
    return Identity("FInterID='10000000000000000000000" + std::to_string(n) + "'");
  }
};

TEST_F(OpeningBalances, PerStockAndMergedFormsOfTheDemoOpenings) {
  auto per_stock = BegBal({Variant("")});  // CalType omitted: per stock
  ASSERT_TRUE(per_stock);
  EXPECT_EQ(
      ColumnNames(per_stock),
      "FInterID,FStockID,FItemID,FBatchNo,FBegQty,FBegBal,FStockInDate,FID,FEntryID,FIdentity");
  EXPECT_NE(per_stock->ActiveConnection(), nullptr);
  // Stock 105 (type 502) and the receipt lot without an opening are left out. Rows as stored: each
  // keeps its own identity.
  const std::string expected_per_stock =
      "101|1001||1000|5000|1900-01-01|" + Id(101, 1001) + "\n101|1002||100|1000|1900-01-01|" +
      Id(101, 1002) + "\n101|1003||2000|400|1900-01-01|" + Id(101, 1003) +
      "\n101|1005||10|50|2025-01-20|" + Lot(1) + "\n101|1005||5|0|2025-02-10|" + Lot(2) +
      "\n101|1006|B2501|100|1200|1900-01-01|" + Id(101, 1006, "B2501") +
      "\n101|1006|B2502|50|650|1900-01-01|" + Id(101, 1006, "B2502") +
      "\n101|1009||20|160|1900-01-01|" + Id(101, 1009) + "\n102|1005||8|48|2025-02-15|" + Lot(3) +
      "\n102|1007|P01|100|1000|1900-01-01|" + Id(102, 1007, "P01") +
      "\n102|1008||500|1540|1900-01-01|" + Id(102, 1008) + "\n103|1001||200|1000|1900-01-01|" +
      Id(103, 1001) + "\n103|1004||50|250|1900-01-01|" + Id(103, 1004) + "\n";
  EXPECT_EQ(Rows(per_stock, kCols), expected_per_stock);
  EXPECT_EQ(Rows(BegBal({Variant(""), Variant(int32_t{1}), Variant(int32_t{9})}), kCols),
            expected_per_stock);

  // Merged: stock 0, ordinary items summed over stocks with identity 0, lots kept apart.
  const std::string expected_merged =
      "0|1001||1200|6000|1900-01-01|0\n0|1002||100|1000|1900-01-01|0\n0|1003||2000|400|1900-01-01|"
      "0\n0|1004||50|250|1900-01-01|0\n0|1005||10|50|2025-01-20|" +
      Lot(1) + "\n0|1005||5|0|2025-02-10|" + Lot(2) + "\n0|1005||8|48|2025-02-15|" + Lot(3) + "\n" +
      "0|1006|B2501|100|1200|1900-01-01|0\n0|1006|B2502|50|650|1900-01-01|0\n0|1007|P01|100|1000|"
      "1900-01-01|0\n0|1008||500|1540|1900-01-01|0\n0|1009||20|160|1900-01-01|0\n";
  auto merged = BegBal({Variant(""), Variant(int32_t{0})});
  EXPECT_EQ(Rows(merged, kCols), expected_merged);
  EXPECT_EQ(Rows(BegBal({Variant(""), Variant(int32_t{2})}), kCols), expected_merged);
  merged->SetFilter(Variant("FItemID = 1005"));
  EXPECT_EQ(Rows(merged, {"FInterID"}),
            "100000000000000000000001\n100000000000000000000002\n100000000000000000000003\n");
}

TEST_F(OpeningBalances, StockTypeAndZeroOpeningsDecideWhichRowsCount) {
  // A lot of 1005 held in the 502 stock, an amount without quantity in stock 102, and an ordinary
  // item's row in the 502 stock.
  Run("Insert Into t_CC_Bal(FInterID,FYear,FPeriod,FStockID,FItemID,FBegQty,FBegBal,FStockInDate) "
      "Values('100000000000000000000009',2025,3,105,1005,7,70,'2025-02-20')\r\nInsert Into "
      "t_CC_Bal(FInterID,FYear,FPeriod,FStockID,FItemID,FBegQty,FBegBal) "
      "Values('100000000000000000000000',2025,3,102,1001,0,12.5)\r\nInsert Into "
      "t_CC_Bal(FInterID,FYear,FPeriod,FStockID,FItemID,FBegQty,FBegBal) "
      "Values('100000000000000000000000',2025,3,105,1003,4,1)");
  const Variant filter(" And b.FItemID In (1001,1003,1005)");
  const std::vector<std::string> cols = {"FInterID", "FStockID", "FItemID", "FBegQty", "FBegBal"};
  const std::string o = "100000000000000000000000";
  EXPECT_EQ(Rows(BegBal({filter}), cols),
            o + "|101|1001|1000|5000\n" + o + "|101|1003|2000|400\n" +
                "100000000000000000000001|101|1005|10|50\n100000000000000000000002|101|1005|5|0\n" +
                o + "|102|1001|0|12.5\n" + "100000000000000000000003|102|1005|8|48\n" + o +
                "|103|1001|200|1000\n");
  // 1001 sums stocks 101, 102 and 103 but not 105; the lot in 105 counts.
  EXPECT_EQ(Rows(BegBal({filter, Variant(int32_t{0})}), cols),
            o + "|0|1001|1200|6012.5\n" + o + "|0|1003|2000|400\n" +
                "100000000000000000000001|0|1005|10|50\n100000000000000000000002|0|1005|5|"
                "0\n100000000000000000000003|0|1005|8|48\n100000000000000000000009|0|1005|7|70\n");
}

TEST_F(OpeningBalances, FiltersGoIntoEveryBranchAndBadOnesRaiseTheEngineError) {
  const std::vector<std::string> cols = {"FStockID", "FItemID", "FBatchNo", "FBegQty"};
  EXPECT_EQ(Rows(BegBal({Variant(" And b.FBatchNo='B2501'")}), cols), "101|1006|B2501|100\n");
  EXPECT_EQ(Rows(BegBal({Variant(" And b.FItemID=1005"), Variant(int32_t{0})}), cols),
            "0|1005||10\n0|1005||5\n0|1005||8\n");

  // In the merged form s is the stock in one branch and the item in the other: a filter on s.FTrack
  // names a column the first branch does not have.
  ComError e = Raised(kIcb, "GetBegBal", {Variant(" And s.FTrack=78"), Variant(int32_t{0})});
  EXPECT_EQ(e.number, automation::kErrCommand);
  EXPECT_NE(e.description.find("FTrack"), std::string::npos) << e.description;
  e = Raised(kIcb, "GetBegBal", {Variant(" And (b.FItemID=1")});
  EXPECT_EQ(e.number, automation::kErrCommand);
  EXPECT_NE(e.description.find("syntax"), std::string::npos) << e.description;
  EXPECT_EQ(BegBal({Variant("")})->RecordCount(), 13);  // the object stays usable
}

TEST_F(OpeningBalances, ValidationAnswersTrueWhenTheSessionBindsAndReportsWhyNot) {
  auto icb = automation::CreateObject(kIcb);
  Variant info("left alone");
  // The period, method and filters take no part: nonsense passes.
  std::vector<Variant> args{Variant(Cnn()),      Variant(int32_t{99}), Variant(int32_t{0}),
                            Variant("never"),    Variant("nor this"),  Variant(int32_t{-7}),
                            Variant::Ref(&info), Variant(" And ("),    Variant("(")};
  Variant ok = icb->CallRef("CheckCalDataValidate", args);
  EXPECT_EQ(ok.type(), VarType::kBoolean);
  EXPECT_TRUE(ok.ToBool());
  EXPECT_EQ(info.ToString(), "left alone");

  // A database that cannot be opened: False and the binding error's own text, not raised.
  args[0] = Variant("Data Source=" + path_ + ".missing");
  EXPECT_FALSE(icb->CallRef("CheckCalDataValidate", args).ToBool());
  std::string expected;
  try {
    icb->Call("GetBegBal", {args[0], Variant("")});
  } catch (const ComError& e) {
    expected = e.description;
  }
  EXPECT_FALSE(expected.empty());
  EXPECT_EQ(info.ToString(), expected);
}

}  // namespace
}  // namespace morvesk::readers::test
