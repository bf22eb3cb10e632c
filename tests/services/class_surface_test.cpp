// The three service classes as callers see them: created by name through the registry,
// members resolved by name in any letter case in the interface's order, TransMode, and the
// failure convention of each kind of operation.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/engine.h"
#include "platform/automation/com_error.h"
#include "platform/automation/registry.h"
#include "services/morvesk_module.h"

namespace morvesk::services {
namespace {

using automation::ComError;
using automation::CreateObject;
using automation::Variant;

class ClassSurface : public ::testing::Test {
 protected:
  void SetUp() override { RegisterMorveskClasses(); }
};

std::vector<std::string> MemberNames(const automation::Dispatch& d) {
  std::vector<std::string> names;
  for (const auto& m : d.Interface().members()) names.push_back(m.name);
  return names;
}

TEST_F(ClassSurface, MemberTablesKeepTheInterfacesOrderAndSpelling) {
  auto cal = CreateObject("Morvesk.CalCurAmount");
  auto sbr = CreateObject("Morvesk.StockBillReader");
  auto icb = CreateObject("Morvesk.ICbalReader");
  EXPECT_EQ(MemberNames(*cal),
            (std::vector<std::string>{
                "CalculateInvBal_Ext", "CheckBillStatus", "CheckEndData", "CheckReturnData",
                "GetCaculateParameter", "GetCurPeriodStartEnd", "GetItemsWithHappen",
                "GetPeriodsData", "GetStockGroup", "GetStocks", "GetSystemProfile",
                "ReturnDataProcess", "UpdateBatch", "UpdateStock", "AutoUpdateCostPrice",
                "UpdateInventory", "UpdateComeGoBalance", "TransMode", "DeleteBal78",
                "HandleAbnormalAmt", "AutoCheckBatchNo", "CalculateInvBal_Ext_BatchNo",
                "CheckBillAudit", "UpdateSettleAcctBal"}));
  EXPECT_EQ(MemberNames(*sbr),
            (std::vector<std::string>{"Calcualte", "ExecuteSQL", "GetBills",
                                      "GetCaculateParameter", "GetCost", "GetCost80",
                                      "GetFValueOfIC", "GetItemsWithHappen", "GetMultiPrice",
                                      "GetStockGroup", "GetStocks", "UpdateDB", "UpdateStockGroup",
                                      "WriteValueOfIC", "TransMode", "GetBillID",
                                      "GetBatchRecordset"}));
  EXPECT_EQ(MemberNames(*icb),
            (std::vector<std::string>{"CheckCalDataValidate", "GetBegBal", "TransMode"}));

  // Dispatch ids follow the order; names resolve in any case.
  EXPECT_EQ(cal->GetIdsOfNames("calculateinvbal_ext"), 1);
  EXPECT_EQ(cal->GetIdsOfNames("TRANSMODE"), 18);
  EXPECT_EQ(cal->GetIdsOfNames("CalculateInvBal_Ext_BatchNo"), 22);
  EXPECT_EQ(sbr->GetIdsOfNames("calcualte"), 1);
  EXPECT_EQ(sbr->GetIdsOfNames("getbatchrecordset"), 17);
  EXPECT_THROW(sbr->GetIdsOfNames("Calculate"), ComError);  // only the interface's spelling

  const auto* calcualte = sbr->Interface().Member(1);
  ASSERT_EQ(calcualte->params.size(), 7u);
  EXPECT_EQ(calcualte->params[4].name, "PriceDeciaml");
  EXPECT_TRUE(calcualte->params[5].optional);
  EXPECT_EQ(calcualte->params[6].default_value.ToLong(), 1);

  const auto* close = cal->Interface().Member(1);
  const auto* close_batch = cal->Interface().Member(22);
  ASSERT_EQ(close->params.size(), 8u);
  ASSERT_EQ(close_batch->params.size(), 8u);
  for (size_t i = 0; i < 8; ++i) {
    EXPECT_EQ(close->params[i].name, close_batch->params[i].name);
    EXPECT_EQ(close->params[i].type, close_batch->params[i].type);
  }
  EXPECT_TRUE(close->params[7].by_ref);

  const auto* get_cost = sbr->Interface().Member(5);
  EXPECT_EQ(get_cost->result, automation::VarType::kDouble);
  EXPECT_EQ(get_cost->params[5].default_value.ToString(), "2999-12-31");
  const auto* items = cal->Interface().Member(7);
  EXPECT_EQ(items->params.size(), 8u);
  EXPECT_TRUE(items->params[6].default_value.ToBool());
  EXPECT_EQ(cal->Interface().Member(24)->result, automation::VarType::kEmpty);
}

TEST_F(ClassSurface, TransModeIsTwoOnEveryClassWithoutAnyDatabase) {
  for (const char* progid :
       {"Morvesk.CalCurAmount", "Morvesk.StockBillReader", "Morvesk.ICbalReader"}) {
    auto obj = CreateObject(progid);
    ASSERT_NE(obj, nullptr) << progid;
    Variant mode = obj->Get("TransMode");
    EXPECT_EQ(mode.type(), automation::VarType::kLong) << progid;
    EXPECT_EQ(mode.ToLong(), 2) << progid;
    EXPECT_EQ(obj->Call("transmode").ToLong(), 2) << progid;
    EXPECT_THROW(obj->Put("TransMode", Variant(int32_t{1})), ComError) << progid;
  }
}

TEST_F(ClassSurface, FailuresFollowEachOperationsConvention) {
  auto cal = CreateObject("Morvesk.CalCurAmount");
  // Boolean with a message: False, the message, no error raised.
  Variant msg("untouched");
  std::vector<Variant> args{Variant("Data Source=nowhere.db"), Variant(int32_t{3}),
                            Variant(int32_t{2025}), Variant("2025-03-01"),
                            Variant("2025-04-01"), Variant::Ref(&msg), Variant(int32_t{0})};
  Variant r = cal->CallRef("CheckEndData", args);
  EXPECT_EQ(r.type(), automation::VarType::kBoolean);
  EXPECT_FALSE(r.ToBool());
  // A connection description naming no database fails the check itself.
  EXPECT_NE(msg.ToString().find("nowhere.db"), std::string::npos) << msg.ToString();

  // A data operation raises the error; GetCost absorbs every failure into 0.
  auto sbr = CreateObject("Morvesk.StockBillReader");
  try {
    sbr->Call("GetBills", {Variant("Data Source=nowhere.db")});
    FAIL() << "GetBills on no database must raise";
  } catch (const ComError& e) {
    EXPECT_NE(e.description.find("nowhere.db"), std::string::npos) << e.description;
  }
  EXPECT_EQ(sbr->Call("GetCost", {Variant("Data Source=nowhere.db"), Variant(int32_t{1}),
                                  Variant(int32_t{2})})
                .ToDouble(),
            0.0);
  // The objects stay usable.
  EXPECT_EQ(cal->Get("TransMode").ToLong(), 2);
  EXPECT_EQ(sbr->Get("TransMode").ToLong(), 2);
}

TEST_F(ClassSurface, ArgumentsAreCheckedBeforeAnyWork) {
  auto cal = CreateObject("Morvesk.CalCurAmount");
  try {
    cal->Call("CalculateInvBal_Ext", {Variant("x.db"), Variant(int32_t{3})});
    FAIL() << "too few arguments must raise";
  } catch (const ComError& e) {
    EXPECT_EQ(e.number, automation::kErrBadParamCount);
  }
  Variant err;
  std::vector<Variant> args{Variant("x.db"),       Variant("three"),      Variant(int32_t{2025}),
                            Variant("2025-03-01"), Variant("2025-04-01"), Variant(int32_t{0}),
                            Variant(""),           Variant::Ref(&err)};
  try {
    cal->CallRef("CalculateInvBal_Ext", args);
    FAIL() << "a period that is not a number must raise";
  } catch (const ComError& e) {
    EXPECT_EQ(e.number, automation::kErrTypeMismatch);
  }
  EXPECT_THROW(cal->Call("NoSuchMember"), ComError);
}

}  // namespace
}  // namespace morvesk::services
