#include <gtest/gtest.h>

#include "tests/platform/print_variant.h"

#include "platform/automation/com_error.h"
#include "platform/automation/variant.h"

namespace morvesk::automation {
namespace {

int32_t ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const ComError& e) {
    return e.number;
  }
  return 0;
}

TEST(Variant, BooleansAreMinusOneAndZeroAndConvertLikeAutomation) {
  EXPECT_EQ(Variant(true).ToLong(), -1);
  EXPECT_EQ(Variant(false).ToLong(), 0);
  EXPECT_EQ(Variant(true).ToString(), "True");
  EXPECT_TRUE(Variant("true").ToBool());
  EXPECT_FALSE(Variant(" FALSE ").ToBool());
  EXPECT_TRUE(Variant("-1").ToBool());
  EXPECT_TRUE(Variant(0.5).ToBool());
  EXPECT_FALSE(Variant().ToBool());
  EXPECT_EQ(Variant(int32_t{7}).ChangeType(VarType::kBoolean), Variant(true));
  EXPECT_EQ(ErrorOf([] { Variant("yes").ToBool(); }), kErrTypeMismatch);
}

TEST(Variant, NumbersRoundHalfToEvenAndReportOverflow) {
  EXPECT_EQ(Variant(2.5).ToLong(), 2);
  EXPECT_EQ(Variant(3.5).ToLong(), 4);
  EXPECT_EQ(Variant(-2.5).ToLong(), -2);
  EXPECT_EQ(Variant(" 12 ").ToLong(), 12);
  EXPECT_EQ(Variant("1e3").ToLong(), 1000);
  EXPECT_EQ(Variant(*engine::Decimal::Parse("2.50")).ToLong(), 2);
  EXPECT_EQ(Variant(*engine::Decimal::Parse("-3.5")).ToLong(), -4);
  EXPECT_EQ(ErrorOf([] { Variant(3e9).ToLong(); }), kErrOverflow);
  EXPECT_EQ(ErrorOf([] { Variant(int32_t{40000}).ToShort(); }), kErrOverflow);
  EXPECT_EQ(ErrorOf([] { Variant("12abc").ToLong(); }), kErrTypeMismatch);
  EXPECT_EQ(ErrorOf([] { Variant("").ToDouble(); }), kErrTypeMismatch);
  EXPECT_EQ(Variant().ToLong(), 0);
  EXPECT_EQ(Variant(0.1).ToString(), "0.1");
  EXPECT_EQ(Variant(1.0 / 3).ToString(), "0.333333333333333");
  EXPECT_EQ(Variant(int16_t{-5}).ToDouble(), -5.0);
}

TEST(Variant, DecimalsStayExactAndPrintWithoutTrailingZeros) {
  Variant d(*engine::Decimal::Parse("1234.5600"));
  EXPECT_EQ(d.type(), VarType::kDecimal);
  EXPECT_EQ(d.ToString(), "1234.56");
  EXPECT_EQ(Variant("0.1").ToDecimal().ToString(), "0.1");
  EXPECT_EQ(Variant(0.1).ToDecimal().ToString(), "0.1");
  EXPECT_EQ(Variant(int32_t{3}).ChangeType(VarType::kCurrency).ToDecimal().ToString(), "3.0000");
  EXPECT_EQ(Variant(*engine::Decimal::Parse("1.50")), Variant(*engine::Decimal::Parse("1.5")));
}

TEST(Variant, NullAndEmptyAreDistinct) {
  Variant n = Variant::Null();
  Variant e;
  EXPECT_TRUE(n.is_null());
  EXPECT_FALSE(n.is_empty());
  EXPECT_TRUE(e.is_empty());
  EXPECT_NE(n, e);
  EXPECT_EQ(e.ToString(), "");
  EXPECT_EQ(n.ToString(), "");  // text concatenation treats Null as nothing
  EXPECT_EQ(ErrorOf([&] { n.ToLong(); }), kErrTypeMismatch);
  EXPECT_EQ(ErrorOf([&] { n.ChangeType(VarType::kString); }), kErrTypeMismatch);
  EXPECT_TRUE(n.ChangeType(VarType::kVariant).is_null());
  EXPECT_TRUE(e.ChangeType(VarType::kObject).is_nothing());
}

TEST(Variant, DatesCountDaysFrom18991230) {
  EXPECT_EQ(MakeDate(1899, 12, 30).days, 0);
  EXPECT_EQ(MakeDate(1900, 1, 1).days, 2);
  EXPECT_EQ(MakeDate(2024, 1, 31, 12).days, 45322.5);
  EXPECT_EQ(MakeDate(1899, 12, 29, 6).days, -1.25);
  EXPECT_EQ(FormatDate(DateValue{-1.25}), "1899-12-29 06:00:00");
  EXPECT_EQ(Variant("2024-01-31").ToDate(), MakeDate(2024, 1, 31));
  EXPECT_EQ(Variant("2024/1/31 13:45:10").ToDate(), MakeDate(2024, 1, 31, 13, 45, 10));
  EXPECT_EQ(Variant("20240229").ToDate(), MakeDate(2024, 2, 29));
  EXPECT_EQ(Variant(MakeDate(2999, 12, 31)).ToString(), "2999-12-31");
  EXPECT_EQ(Variant(MakeDate(2024, 3, 1, 8, 5, 9)).ToString(), "2024-03-01 08:05:09");
  EXPECT_FALSE(ParseDate("2023-02-29"));
  EXPECT_FALSE(ParseDate("2024-13-01"));
  EXPECT_FALSE(ParseDate("31/01/2024"));
  EXPECT_EQ(ErrorOf([] { Variant("next week").ToDate(); }), kErrTypeMismatch);
}

TEST(Variant, ArraysCopyDeeplyAndByRefWritesTheTarget) {
  Variant a(VariantArray{Variant(int32_t{1}), Variant("x")});
  Variant b = a;
  b.MutableArray()[0] = Variant(int32_t{9});
  EXPECT_EQ(a.ToArray()[0], Variant(int32_t{1}));
  EXPECT_EQ(static_cast<uint16_t>(a.type()), 0x200C);

  Variant target("before");
  Variant ref = Variant::Ref(&target);
  EXPECT_TRUE(ref.is_byref());
  EXPECT_EQ(ref.ToString(), "before");
  ref.Assign(Variant(int32_t{5}));
  EXPECT_EQ(target, Variant(int32_t{5}));
  EXPECT_EQ(ref.type(), VarType::kLong);
  // Assigning a by-ref copies the value it points to, not the reference.
  Variant other(int32_t{1});
  other.Assign(Variant::Ref(&target));
  EXPECT_FALSE(other.is_byref());
  EXPECT_EQ(other, Variant(int32_t{5}));
}

}  // namespace
}  // namespace morvesk::automation
