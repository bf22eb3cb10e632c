// Exact decimals: T-SQL result types, rounding and truncation, overflow, and the
// order-preserving key encoding.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "engine/value/decimal.h"
#include "engine/value/types.h"

namespace morvesk::engine {
namespace {

Decimal D(const char* text) {
  auto d = Decimal::Parse(text);
  EXPECT_TRUE(d.has_value()) << text;
  return d.value_or(Decimal{});
}

std::string Str(const std::optional<Decimal>& d) { return d ? d->ToString() : "<overflow>"; }

TEST(DecimalTypes, ArithmeticResultTypesFollowPrecisionAndScaleRules) {
  struct Case {
    ArithOp op;
    TypeInfo a, b;
    int p, s;
  } cases[] = {
      // + -: max(s) + max(p - s) + 1, max(s)
      {ArithOp::kAdd, TypeInfo::Decimal(10, 2), TypeInfo::Decimal(12, 4), 13, 4},
      {ArithOp::kSub, TypeInfo::Decimal(21, 6), TypeInfo::Decimal(21, 6), 22, 6},
      // * : p1 + p2 + 1, s1 + s2
      {ArithOp::kMul, TypeInfo::Decimal(18, 2), TypeInfo::Decimal(18, 4), 37, 6},
      {ArithOp::kMul, TypeInfo::Of(TypeKind::kInt), TypeInfo::Decimal(10, 2), 21, 2},
      // / : scale max(6, s1 + p2 + 1); an int column counts as decimal(10,0)
      {ArithOp::kDiv, TypeInfo::Decimal(18, 4), TypeInfo::Of(TypeKind::kInt), 29, 15},
      {ArithOp::kDiv, TypeInfo::Decimal(21, 6), TypeInfo::Of(TypeKind::kInt), 32, 17},
      // an int literal 3 is decimal(1,0): scale max(6, 4 + 1 + 1)
      {ArithOp::kDiv, TypeInfo::Decimal(18, 4), TypeInfo::Decimal(1, 0), 20, 6},
      {ArithOp::kDiv, TypeInfo::Decimal(10, 2), TypeInfo::Decimal(3, 0), 14, 6},
      // %: min(p1 - s1, p2 - s2) + max(s), max(s)
      {ArithOp::kMod, TypeInfo::Decimal(3, 1), TypeInfo::Decimal(1, 0), 2, 1},
      // 38 cap, + -: scale = 38 - max integral digits
      {ArithOp::kAdd, TypeInfo::Decimal(38, 10), TypeInfo::Decimal(38, 10), 38, 10},
      {ArithOp::kAdd, TypeInfo::Decimal(38, 20), TypeInfo::Decimal(30, 2), 38, 10},
      // 38 cap, * /: integral < 32 keeps min(s, 38 - integral)
      {ArithOp::kMul, TypeInfo::Decimal(30, 20), TypeInfo::Decimal(30, 20), 38, 17},
      // (28,10)/(28,10): p 67, s 39, integral 28 -> scale min(39, 10)
      {ArithOp::kDiv, TypeInfo::Decimal(28, 10), TypeInfo::Decimal(28, 10), 38, 10},
      {ArithOp::kDiv, TypeInfo::Decimal(30, 15), TypeInfo::Decimal(38, 15), 38, 8},
      // integral >= 32 with more than 6 decimals -> decimal(38,6)
      {ArithOp::kMul, TypeInfo::Decimal(30, 10), TypeInfo::Decimal(30, 10), 38, 6},
      {ArithOp::kDiv, TypeInfo::Decimal(28, 2), TypeInfo::Decimal(28, 10), 38, 6},
      {ArithOp::kDiv, TypeInfo::Decimal(30, 2), TypeInfo::Decimal(28, 10), 38, 6},
      {ArithOp::kDiv, TypeInfo::Decimal(38, 10), TypeInfo::Decimal(38, 10), 38, 6},
      {ArithOp::kDiv, TypeInfo::Decimal(38, 0), TypeInfo::Decimal(38, 0), 38, 6},
      // integral >= 32 with at most 6 decimals keeps its scale
      {ArithOp::kMul, TypeInfo::Decimal(38, 6), TypeInfo::Decimal(3, 0), 38, 6},
  };
  for (const auto& c : cases) {
    TypeInfo r = DecimalResultType(c.op, c.a, c.b);
    EXPECT_EQ(r.kind, TypeKind::kDecimal);
    EXPECT_EQ(r.precision, c.p) << c.a.ToString() << " op " << static_cast<int>(c.op) << " " << c.b.ToString();
    EXPECT_EQ(r.scale, c.s) << c.a.ToString() << " op " << static_cast<int>(c.op) << " " << c.b.ToString();
  }
}

TEST(DecimalTypes, PrecedenceAggregatesAndTypeNames) {
  auto r = ArithmeticResultType(ArithOp::kAdd, TypeInfo::Decimal(10, 2), TypeInfo::Of(TypeKind::kFloat));
  ASSERT_TRUE(r);
  EXPECT_EQ(r->kind, TypeKind::kFloat);
  r = ArithmeticResultType(ArithOp::kDiv, TypeInfo::Of(TypeKind::kInt), TypeInfo::Of(TypeKind::kInt));
  ASSERT_TRUE(r);
  EXPECT_EQ(r->kind, TypeKind::kInt);
  r = ArithmeticResultType(ArithOp::kSub, TypeInfo::Of(TypeKind::kDateTime), TypeInfo::Of(TypeKind::kInt));
  ASSERT_TRUE(r);
  EXPECT_EQ(r->kind, TypeKind::kDateTime);
  r = ArithmeticResultType(ArithOp::kAdd, TypeInfo::VarChar(10), TypeInfo::VarChar(20));
  ASSERT_TRUE(r);
  EXPECT_EQ(r->ToString(), "varchar(30)");
  r = ArithmeticResultType(ArithOp::kAdd, TypeInfo::VarChar(10), TypeInfo::Of(TypeKind::kInt));
  ASSERT_TRUE(r);
  EXPECT_EQ(r->kind, TypeKind::kInt);  // text converts to the number, never concatenates
  EXPECT_FALSE(ArithmeticResultType(ArithOp::kMul, TypeInfo::VarChar(10), TypeInfo::VarChar(10)));
  EXPECT_FALSE(ArithmeticResultType(ArithOp::kMul, TypeInfo::Of(TypeKind::kDateTime), TypeInfo::Of(TypeKind::kInt)));

  EXPECT_EQ(SumResultType(TypeInfo::Decimal(18, 4)).ToString(), "decimal(38,4)");
  EXPECT_EQ(SumResultType(TypeInfo::Of(TypeKind::kSmallInt)).ToString(), "int");
  EXPECT_EQ(AvgResultType(TypeInfo::Decimal(18, 4)).ToString(), "decimal(38,6)");
  EXPECT_EQ(AvgResultType(TypeInfo::Decimal(28, 10)).ToString(), "decimal(38,10)");

  struct Name {
    const char* text;
    const char* canonical;
  } names[] = {{"numeric(18, 4)", "decimal(18,4)"}, {"Decimal", "decimal(18,0)"},
               {"decimal(5)", "decimal(5,0)"},      {"nvarchar(max)", "nvarchar(max)"},
               {"varchar", "varchar(1)"},           {"Float(10)", "real"},
               {"float", "float"},                  {"INT", "int"},
               {"date", "datetime"},                {"smallmoney", "smallmoney"}};
  for (const auto& n : names) {
    auto t = ParseTypeName(n.text);
    ASSERT_TRUE(t) << n.text;
    EXPECT_EQ(t->ToString(), n.canonical);
  }
  auto t = ParseTypeName("decimal", 28, 10);
  ASSERT_TRUE(t);
  EXPECT_EQ(t->ToString(), "decimal(28,10)");
  for (const char* bad : {"decimal(39,2)", "decimal(5,6)", "varchar(0)", "geography", "int(4)", "char(max)"}) {
    EXPECT_FALSE(ParseTypeName(bad)) << bad;
  }
}

TEST(DecimalArithmetic, DivisionTruncatesAndOtherOperationsRound) {
  struct Case {
    std::optional<Decimal> got;
    const char* want;
  } cases[] = {
      {Div(D("2.0"), D("3"), 6), "0.666666"},
      {Div(D("-2.0"), D("3"), 6), "-0.666666"},
      {Div(D("155.00"), D("156"), 6), "0.993589"},
      {Div(D("2.00"), D("3.0000000000"), 6), "0.666666"},
      {Div(D("1.6757400000"), D("10000.0000000000"), 6), "0.000167"},
      {Div(D("146804871.212533"), D("12499999.9999"), 8), "11.74438969"},
      // the inner quotient is cut to 0.016666 before the outer division
      {Div(D("1.0"), *Div(D("1.0"), D("60.0"), 6), 10), "60.0024000960"},
      {Div(D("123.45"), D("67.89"), 7), "1.8183826"},
      // a result scale larger than both operands' needs many digits of quotient
      {Div(D("1"), D("3"), 38), "0.33333333333333333333333333333333333333"},
      {Div(D("0.00000000000000000000000000000000000001"), D("1000"), 38), "0.00000000000000000000000000000000000000"},
      {MulTo(D("0.0000009000"), D("1.0000000000"), 6), "0.000001"},
      {MulTo(D("1.289473"), D("100"), 6), "128.947300"},
      {MulTo(D("-0.125"), D("1"), 2), "-0.13"},
      {AddTo(D("0.5"), D("0.25"), 1), "0.8"},
      {SubTo(D("0.5"), D("0.75"), 1), "-0.3"},
      {Mul(D("1.5"), D("2")), "3.0"},
      {Add(D("1.5"), D("-1.50")), "0.00"},
      {Mod(D("10.5"), D("3")), "1.5"},
      {Mod(D("123.45"), D("10.500")), "7.950"},
      {Mod(D("-7"), D("3")), "-1"},
      {Mod(D("7"), D("-3")), "1"},
      {Rescale(D("10.6496"), 0), "11"},
      {Rescale(D("-10.6496"), 0), "-11"},
      {Rescale(D("0.125"), 2), "0.13"},
      {Rescale(D("-2.5"), 0), "-3"},
      {Rescale(D("1.5"), 4), "1.5000"},
      {TruncateTo(D("-2.5"), 0), "-2"},
      {Round(D("2.345"), 2), "2.350"},
      {Round(D("2.335"), 2), "2.340"},
      {Round(D("-2.345"), 2), "-2.350"},
      {Round(D("123.9994"), 3), "123.9990"},
      {Round(D("123.9995"), 3), "124.0000"},
      {Round(D("748.58"), -1), "750.00"},
      {Round(D("748.58"), -2), "700.00"},
      {Round(D("748.58"), -4), "0.00"},
      {Round(D("150.75"), 0), "151.00"},
      {Round(D("150.75"), 0, true), "150.00"},
      {Round(D("-150.75"), 0, true), "-150.00"},
  };
  for (const auto& c : cases) EXPECT_EQ(Str(c.got), c.want);
  // ROUND(748.58, -3) needs a fourth integral digit: 1000.00 does not fit decimal(5,2).
  auto r = Round(D("748.58"), -3);
  ASSERT_TRUE(r);
  EXPECT_FALSE(FitsPrecision(*r, 5));
  EXPECT_TRUE(FitsPrecision(*r, 6));
  EXPECT_EQ(D("-10.6496").Truncate(), -10);
}

TEST(DecimalArithmetic, OverflowBeyondThirtyEightDigitsIsReported) {
  const Decimal max38 = D("99999999999999999999999999999999999999");
  EXPECT_FALSE(Add(max38, D("1")));
  EXPECT_FALSE(AddTo(max38, D("0.5"), 0));  // rounds up to 10^38
  EXPECT_FALSE(Mul(max38, D("10")));
  EXPECT_FALSE(Div(D("9999999999999999999999999999999999999"), D("3"), 6));
  EXPECT_FALSE(Rescale(D("12345678901234567890123456789012345678"), 1));
  EXPECT_FALSE(Decimal::Parse("123456789012345678901234567890123456789"));
  // The exact product needs 76 digits; rounded to scale 6 it fits again.
  EXPECT_EQ(Str(MulTo(D("0.0000000000000000001234567890123456789"), D("1000000"), 6)), "0.000000");
  EXPECT_EQ(Str(Mul(D("12345678901234567890.123456789"), D("1.000000000000000001"))),
            "12345678901234567902.469135690234567890");

  for (const char* bad : {"", "-", ".", "1e3", "12a", "1.2.3", "$5"}) EXPECT_FALSE(Decimal::Parse(bad)) << bad;
  EXPECT_EQ(Str(Decimal::Parse(" +0012.500 ")), "12.500");
  EXPECT_EQ(Str(Decimal::Parse("-.5")), "-0.5");
  EXPECT_EQ(Str(Decimal::FromDoubleNatural(0.1)), "0.1");
  EXPECT_EQ(Str(Decimal::TryFromDouble(33.33, 2)), "33.33");
  EXPECT_EQ(Str(Decimal::TryFromDouble(-2.5, 0)), "-3");
  EXPECT_FALSE(Decimal::TryFromDouble(1e40, 0));
}

TEST(DecimalKey, MemcmpOrderMatchesNumericOrderAcrossScales) {
  std::mt19937_64 rng(20240131);
  std::vector<Decimal> values = {D("0"), D("0.000"), D("1"), D("1.0"), D("-1"), D("0.1"), D("-0.1"),
                                 D("0.10000000000000000000000000000000000001"), D("-0.00000000000000000000000000000000000001"),
                                 D("99999999999999999999999999999999999999"), D("-99999999999999999999999999999999999999"),
                                 D("10"), D("100"), D("1000.5"), D("-1000.5"), D("0.5"), D("0.501"), D("-0.5"), D("-0.501")};
  for (int i = 0; i < 3000; ++i) {
    int digits = 1 + static_cast<int>(rng() % 38);
    __int128 u = 0;
    for (int k = 0; k < digits; ++k) u = u * 10 + static_cast<int>(rng() % 10);
    int scale = static_cast<int>(rng() % (digits + 1));
    if (rng() % 4 == 0) u = u / 1000 * 1000;  // trailing zeros
    values.push_back(Decimal{rng() % 2 ? -u : u, static_cast<uint8_t>(scale)});
  }
  std::vector<std::string> keys;
  for (const auto& v : values) {
    keys.push_back(EncodeKey(v));
    auto back = DecodeKey(keys.back());
    ASSERT_TRUE(back) << v.ToString();
    EXPECT_EQ(Compare(*back, v), 0) << v.ToString();
  }
  auto memcmp_order = [](const std::string& a, const std::string& b) {
    int c = std::memcmp(a.data(), b.data(), std::min(a.size(), b.size()));
    if (c != 0) return c < 0 ? -1 : 1;
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
  };
  for (size_t i = 0; i < values.size(); ++i) {
    for (size_t j = i + 1; j < values.size() && j < i + 60; ++j) {
      EXPECT_EQ(memcmp_order(keys[i], keys[j]), Compare(values[i], values[j]))
          << values[i].ToString() << " vs " << values[j].ToString();
    }
  }
  // Scale independence: one key per number.
  EXPECT_EQ(EncodeKey(D("1.5")), EncodeKey(D("1.50000")));
  EXPECT_EQ(EncodeKey(D("0")), EncodeKey(D("-0.000")));
  EXPECT_EQ(EncodeKey(D("1500")), EncodeKey(D("1500.00")));
  EXPECT_EQ(DecodeKey(EncodeKey(D("1.50")))->ToString(), "1.5");
  // The stored form itself: company files hold these bytes.
  EXPECT_EQ(EncodeKey(D("1.5")), std::string("\x03\x41\x10", 3));
  EXPECT_EQ(EncodeKey(D("-1.5")), std::string("\x01\xbe\xef\xff", 4));
  EXPECT_EQ(EncodeKey(D("123.000")), std::string("\x03\x43\x0d\x1f", 4));
  EXPECT_EQ(EncodeKey(D("0.0012")), std::string("\x03\x3e\x0d", 3));
  EXPECT_EQ(EncodeKey(D("18446744073709551615")),  // the widest 64-bit digit string
            std::string("\x03\x54\x13\x2d\x44\x2d\x08\x26\x0a\x38\x11\x10", 12));
  EXPECT_EQ(EncodeKey(D("18446744073709551616")),
            std::string("\x03\x54\x13\x2d\x44\x2d\x08\x26\x0a\x38\x11\x11", 12));
  for (std::string bad : {std::string(), std::string("\x07", 1), std::string("\x03", 1), std::string("\x03\x40\xff", 3)}) {
    EXPECT_FALSE(DecodeKey(bad));
  }
}

TEST(DecimalSumTest, MixedScalesAndWideningStayExact) {
  DecimalSum sum;
  EXPECT_FALSE(sum.Result());
  sum.Add(D("1.5"));
  sum.Add(D("2.25"));
  sum.Add(D("-0.125"));
  EXPECT_EQ(Str(sum.Result()), "3.625");
  EXPECT_EQ(sum.count(), 3);

  // A 38-digit integer meeting a value of scale 20 no longer fits 128 bits at
  // scale 20; the sum goes wide and is brought back to as many decimals as fit.
  DecimalSum wide;
  wide.Add(D("12345678901234567890123456789"));
  wide.Add(D("0.00000000000000000001"));
  wide.Add(D("-12345678901234567890123456789"));
  EXPECT_EQ(Str(wide.Result()), "0.00000000000000000001");

  DecimalSum big;
  big.Add(D("99999999999999999999999999999999999999"));
  big.Add(D("99999999999999999999999999999999999999"));
  EXPECT_FALSE(big.Result());  // SUM overflow: error 8115 at the SQL level
  big.Add(D("-99999999999999999999999999999999999999"));
  EXPECT_EQ(Str(big.Result()), "99999999999999999999999999999999999999");
}

}  // namespace
}  // namespace morvesk::engine
