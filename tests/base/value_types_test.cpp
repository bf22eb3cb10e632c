// The decimal and datetime are reachable from the base layer alone, without the engine:
// the automation layer and the operations' SQL text helpers depend on exactly this.
#include <gtest/gtest.h>

#include "base/datetime.h"
#include "base/decimal.h"

namespace morvesk::base {
namespace {

TEST(BaseDecimal, ExactArithmeticKeepsTheScale) {
  auto a = Decimal::Parse("1.10");
  auto b = Decimal::Parse("2.205");
  ASSERT_TRUE(a && b);
  auto sum = Add(*a, *b);
  ASSERT_TRUE(sum);
  EXPECT_EQ(sum->ToString(), "3.305");
  auto rounded = Rescale(*sum, 2);
  ASSERT_TRUE(rounded);
  EXPECT_EQ(rounded->ToString(), "3.31");  // half away from zero
  EXPECT_EQ(Compare(*DecodeKey(EncodeKey(*a)), *Decimal::Parse("1.1")), 0);
}

TEST(BaseDateTime, ParsesAndFormatsADay) {
  auto d = DateTime::Parse("2025-03-31");
  ASSERT_TRUE(d);
  EXPECT_EQ(DateTime::FromDays(d->Days() + 1).Format(120), "2025-04-01 00:00:00");
  EXPECT_FALSE(DateTime::Parse("2025-02-30"));
}

}  // namespace
}  // namespace morvesk::base
