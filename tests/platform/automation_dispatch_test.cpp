#include <gtest/gtest.h>

#include "tests/platform/print_variant.h"

#include <stdexcept>

#include "platform/automation/dispatch_object.h"

namespace morvesk::automation {
namespace {

// A late-bound class shaped like the service classes: typed parameters, optional
// ones with defaults, by-ref outputs, a read-only and a writable property.
class Ledger : public DispatchObject<Ledger> {
 public:
  std::string ErrorSource() const override { return "Test.Ledger"; }
  std::string last_filter;
  int32_t limit = 10;

  static const DispatchTable<Ledger>& Table() {
    static const DispatchTable<Ledger> table(
        "_Ledger",
        {
            {{.name = "Close",
              .params = {In("sCnn", VarType::kString), In("lPeriod", VarType::kLong),
                         Ref("sErrInfo", VarType::kString)},
              .result = VarType::kBoolean},
             [](Ledger&, std::vector<Variant>& a) {
               if (a[1].ToLong() > 12) {
                 a[2] = Variant("period " + std::to_string(a[1].ToLong()) + " is out of range");
                 return Variant(false);
               }
               a[2] = Variant("");
               return Variant(true);
             }},
            {{.name = "GetItems",
              .params = {In("sDsn", VarType::kString), Opt("sFilter", VarType::kString, ""),
                         Opt("bOnlyBill", VarType::kBoolean, true),
                         Opt("dDate", VarType::kDate, MakeDate(2999, 12, 31))},
              .result = VarType::kString},
             [](Ledger& self, std::vector<Variant>& a) {
               self.last_filter = a[1].ToString();
               return Variant(a[0].ToString() + "|" + a[1].ToString() + "|" +
                              std::to_string(a[2].ToLong()) + "|" + a[3].ToString());
             }},
            {{.name = "TransMode", .result = VarType::kLong, .is_property = true},
             [](Ledger&, auto&) { return Variant(int32_t{2}); }},
            {{.name = "Limit", .result = VarType::kLong, .is_property = true},
             [](Ledger& self, auto&) { return Variant(self.limit); },
             [](Ledger& self, std::vector<Variant>& a) { self.limit = a.back().ToLong(); }},
            {{.name = "Explode", .params = {In("kind", VarType::kLong)}},
             [](Ledger& self, std::vector<Variant>& a) -> Variant {
               if (a[0].ToLong() == 1) throw std::runtime_error("disk on fire");
               throw ComError(static_cast<int32_t>(0x800A0005), "", "raised by " + self.ErrorSource());
             }},
            {{.name = "Counter", .params = {Ref("n", VarType::kLong)}, .result = VarType::kLong},
             [](Ledger&, std::vector<Variant>& a) {
               a[0] = Variant(a[0].ToLong() + 1);
               return a[0];
             }},
        });
    return table;
  }
};

ComError CaughtFrom(const std::function<void()>& f) {
  try {
    f();
  } catch (const ComError& e) {
    return e;
  }
  ADD_FAILURE() << "no ComError";
  return ComError(0, "", "");
}

TEST(Dispatch, NamesResolveWithoutRegardToCaseInInterfaceOrder) {
  auto obj = std::make_shared<Ledger>();
  EXPECT_EQ(obj->GetIdsOfNames("Close"), 1);
  EXPECT_EQ(obj->GetIdsOfNames("getitems"), 2);
  EXPECT_EQ(obj->GetIdsOfNames("TRANSMODE"), 3);
  EXPECT_FALSE(obj->FindMember("Calculate"));
  ComError e = CaughtFrom([&] { obj->GetIdsOfNames("Calculate"); });
  EXPECT_EQ(e.number, kErrUnknownName);
  EXPECT_NE(e.description.find("Calculate"), std::string::npos);
  // Resolve once, call many times by id.
  DispId id = obj->GetIdsOfNames("transmode");
  std::vector<Variant> none;
  EXPECT_EQ(obj->Invoke(id, none, InvokeKind::kPropertyGet), Variant(int32_t{2}));
  EXPECT_EQ(obj->Invoke(id, none), Variant(int32_t{2}));
}

TEST(Dispatch, OptionalArgumentsTakeDefaultsAndCountsAreChecked) {
  auto obj = std::make_shared<Ledger>();
  EXPECT_EQ(obj->Call("GetItems", {"db"}).ToString(), "db||-1|2999-12-31");
  EXPECT_EQ(obj->Call("GetItems", {"db", " and x=1", false}).ToString(),
            "db| and x=1|0|2999-12-31");
  EXPECT_EQ(obj->Call("GetItems", {"db", "", 0, "2024-01-31"}).ToString(), "db||0|2024-01-31");
  EXPECT_EQ(CaughtFrom([&] { obj->Call("GetItems", {}); }).number, kErrBadParamCount);
  EXPECT_EQ(CaughtFrom([&] { obj->Call("GetItems", {"a", "b", true, 1.0, 5}); }).number,
            kErrBadParamCount);
  EXPECT_EQ(CaughtFrom([&] { obj->Call("TransMode", {1}); }).number, kErrBadParamCount);
}

TEST(Dispatch, ArgumentsAreCoercedToParameterTypes) {
  auto obj = std::make_shared<Ledger>();
  Variant err;
  std::vector<Variant> args{int32_t{5}, "3", Variant::Ref(&err)};
  EXPECT_EQ(obj->CallRef("Close", args), Variant(true));
  // A String parameter accepts a number; a Long one text holding a number.
  EXPECT_EQ(obj->Call("GetItems", {int32_t{42}, 7.0}).ToString(), "42|7|-1|2999-12-31");
  ComError e = CaughtFrom([&] {
    Variant out;
    obj->Call("Close", {"db", "March", Variant::Ref(&out)});
  });
  EXPECT_EQ(e.number, kErrTypeMismatch);
  EXPECT_NE(e.description.find("lPeriod"), std::string::npos);
  EXPECT_EQ(CaughtFrom([&] { obj->Call("GetItems", {Variant::Null()}); }).number, kErrTypeMismatch);
  EXPECT_EQ(CaughtFrom([&] { obj->Call("GetItems", {"db", "", true, "soon"}); }).number,
            kErrTypeMismatch);
}

TEST(Dispatch, ByRefArgumentsAreWrittenBack) {
  auto obj = std::make_shared<Ledger>();
  // Through a reference to the caller's variable ...
  Variant message("untouched");
  std::vector<Variant> args{"db", int32_t{13}, Variant::Ref(&message)};
  EXPECT_EQ(obj->CallRef("Close", args), Variant(false));
  EXPECT_EQ(message.ToString(), "period 13 is out of range");
  // ... or into the argument vector itself.
  std::vector<Variant> direct{"db", int32_t{1}, "old text"};
  EXPECT_EQ(obj->CallRef("Close", direct), Variant(true));
  EXPECT_EQ(direct[2], Variant(""));
  // The written value has the parameter's type even when the caller passed another.
  Variant n("41");
  std::vector<Variant> counter{Variant::Ref(&n)};
  EXPECT_EQ(obj->CallRef("Counter", counter), Variant(int32_t{42}));
  EXPECT_EQ(n, Variant(int32_t{42}));
}

TEST(Dispatch, PropertiesAndErrorsCrossTheBoundaryAsComError) {
  auto obj = std::make_shared<Ledger>();
  obj->Put("limit", "25");
  EXPECT_EQ(obj->Get("Limit"), Variant(int32_t{25}));
  EXPECT_EQ(CaughtFrom([&] { obj->Put("TransMode", 3); }).number, kErrMemberNotFound);

  ComError plain = CaughtFrom([&] { obj->Call("Explode", {1}); });
  EXPECT_EQ(plain.number, kErrFail);
  EXPECT_EQ(plain.source, "Test.Ledger");
  EXPECT_EQ(plain.description, "disk on fire");
  ComError raised = CaughtFrom([&] { obj->Call("Explode", {2}); });
  EXPECT_EQ(raised.number, static_cast<int32_t>(0x800A0005));
  EXPECT_EQ(raised.source, "Test.Ledger");  // an empty source is filled in
  std::vector<Variant> none;
  EXPECT_EQ(CaughtFrom([&] { obj->Invoke(99, none); }).number, kErrMemberNotFound);
}

}  // namespace
}  // namespace morvesk::automation
