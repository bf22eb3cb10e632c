// datetime: text parsing, 1/300 s rounding, CONVERT styles, DATEADD and DATEDIFF.
#include <gtest/gtest.h>

#include "engine/value/datetime.h"
#include "engine/value/value.h"

namespace morvesk::engine {
namespace {

std::string Parsed(const char* text) {
  int error = 0;
  auto d = DateTime::Parse(text, 0, &error);
  return d ? d->Format(121) : "error " + std::to_string(error);
}

TEST(DateTimeParse, AcceptedFormatsRoundingAndErrors) {
  struct Case {
    const char* text;
    const char* want;
  } cases[] = {
      {"", "1900-01-01 00:00:00.000"},
      {"    ", "1900-01-01 00:00:00.000"},
      {"2024-01-31", "2024-01-31 00:00:00.000"},
      {"20240131", "2024-01-31 00:00:00.000"},
      {"2024/1/31", "2024-01-31 00:00:00.000"},
      {"1/2/2024", "2024-01-02 00:00:00.000"},
      {"1/31/24", "2024-01-31 00:00:00.000"},
      {"1/31/50", "1950-01-31 00:00:00.000"},
      {"2024-01-31 13:45:10.123", "2024-01-31 13:45:10.123"},
      {"2024-01-31T13:45:10", "2024-01-31 13:45:10.000"},
      {"20240131 10:00", "2024-01-31 10:00:00.000"},
      {"1900-01-01 00:00:00.000", "1900-01-01 00:00:00.000"},
      {"Jan 31 2024  1:45PM", "2024-01-31 13:45:00.000"},
      {"January 10, 1900 12:00 AM", "1900-01-10 00:00:00.000"},
      {"12:30", "1900-01-01 12:30:00.000"},
      {"{ts '2024-01-02 03:04:05'}", "2024-01-02 03:04:05.000"},
      {"2024-01-31 13:45:10.5", "2024-01-31 13:45:10.500"},
      // milliseconds snap to 1/300 s ticks, half up
      {"2024-01-05 23:59:59.999", "2024-01-06 00:00:00.000"},
      {"2024-01-05 23:59:59.998", "2024-01-05 23:59:59.997"},
      {"2024-01-05 23:59:59.995", "2024-01-05 23:59:59.997"},
      {"2024-01-05 23:59:59.994", "2024-01-05 23:59:59.993"},
      {"2024-01-05 23:59:59.992", "2024-01-05 23:59:59.993"},
      {"2024-01-05 23:59:59.991", "2024-01-05 23:59:59.990"},
      {"2024-01-05 00:00:00.001", "2024-01-05 00:00:00.000"},
      {"2024-01-05 00:00:00.002", "2024-01-05 00:00:00.003"},
      {"1753-01-01", "1753-01-01 00:00:00.000"},
      {"9999-12-31 23:59:59.998", "9999-12-31 23:59:59.997"},
      // shapes that are not dates: 241; impossible values: 242
      {"X", "error 241"},
      {"2024-01-31\t", "error 241"},
      {"2024-01-31 13:45:10.1234", "error 241"},
      {"2024-01", "error 241"},
      {"2/30/2024", "error 242"},
      {"13/1/2024", "error 242"},
      {"2024-01-31 25:00", "error 242"},
      {"1752-12-31", "error 242"},
  };
  for (const auto& c : cases) EXPECT_EQ(Parsed(c.text), c.want) << c.text;

  int error = 0;
  auto dmy = DateTime::Parse("31/01/2024", 103, &error);
  ASSERT_TRUE(dmy);
  EXPECT_EQ(dmy->Format(23), "2024-01-31");
  EXPECT_FALSE(DateTime::Parse("31/01/2024"));
  EXPECT_EQ(DateTime::Parse("1899-12-31")->ms, -DateTime::kMsPerDay);
  EXPECT_EQ(DateTime::Parse("1900-01-02")->Days(), 1);
}

TEST(DateTimeFormat, ConvertStylesRoundTrip) {
  const DateTime d = *DateTime::Parse("2024-01-05 14:07:09.123");
  struct Case {
    int style;
    const char* want;
  } cases[] = {
      {0, "Jan  5 2024  2:07PM"},    {100, "Jan  5 2024  2:07PM"},
      {9, "Jan  5 2024  2:07:09:123PM"}, {20, "2024-01-05 14:07:09"},
      {120, "2024-01-05 14:07:09"},  {21, "2024-01-05 14:07:09.123"},
      {121, "2024-01-05 14:07:09.123"}, {23, "2024-01-05"},
      {101, "01/05/2024"},           {1, "01/05/24"},
      {102, "2024.01.05"},           {103, "05/01/2024"},
      {108, "14:07:09"},             {111, "2024/01/05"},
      {112, "20240105"},             {126, "2024-01-05T14:07:09.123"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(d.Format(c.style), c.want) << c.style;
    EXPECT_TRUE(DateTime::IsFormatStyle(c.style));
  }
  EXPECT_FALSE(DateTime::IsFormatStyle(99));
  EXPECT_EQ(DateTime::Parse("1900-01-01")->Format(0), "Jan  1 1900 12:00AM");
  EXPECT_EQ(DateTime::Parse("1900-01-01 12:00")->Format(0), "Jan  1 1900 12:00PM");
  EXPECT_EQ(DateTime::Parse("2024-01-05")->Format(126), "2024-01-05T00:00:00");

  // Every style that keeps the full value parses back to the same datetime.
  for (int style : {0, 9, 20, 21, 101, 112, 120, 121, 126}) {
    const DateTime v = style == 0 || style == 20 || style == 101 || style == 112 || style == 120
                           ? *DateTime::Parse(style == 101 || style == 112 ? "2024-12-25" : "2024-12-25 17:45")
                           : d;
    auto back = DateTime::Parse(v.Format(style));
    ASSERT_TRUE(back) << style << " " << v.Format(style);
    EXPECT_EQ(back->ms, v.ms) << style;
  }
  EXPECT_EQ(Value::Date(d).ToString(), "2024-01-05 14:07:09.123");
  EXPECT_EQ(Value::Dec(*Decimal::Parse("1.5"), 10).ToString(), "1.5");
  EXPECT_EQ(Value(TypeInfo::Decimal(10, 2), *Decimal::Parse("1.5")).ToString(), "1.50");
  EXPECT_EQ(Value::Null().ToString(), "NULL");
}

TEST(DateTimeArithmetic, DateAddClampsAndDateDiffCountsBoundaries) {
  auto at = [](const char* s) { return *DateTime::Parse(s); };
  auto add = [&](const char* part, int64_t n, const char* s) {
    auto r = at(s).AddPart(part, n);
    return r ? r->Format(121) : std::string("overflow");
  };
  EXPECT_EQ(add("month", 1, "2006-08-31"), "2006-09-30 00:00:00.000");
  EXPECT_EQ(add("month", 1, "20240131"), "2024-02-29 00:00:00.000");
  EXPECT_EQ(at("20240131").AddPart("mm", 1)->AddPart("m", 1)->Format(23), "2024-03-29");
  EXPECT_EQ(add("month", -1, "2024-03-31 10:30"), "2024-02-29 10:30:00.000");
  EXPECT_EQ(add("year", 1, "2024-02-29"), "2025-02-28 00:00:00.000");
  EXPECT_EQ(add("quarter", 1, "2024-11-30"), "2025-02-28 00:00:00.000");
  EXPECT_EQ(add("day", -1, "2024-03-01"), "2024-02-29 00:00:00.000");
  EXPECT_EQ(add("week", 2, "2024-01-01"), "2024-01-15 00:00:00.000");
  EXPECT_EQ(add("hour", 25, "2024-01-01"), "2024-01-02 01:00:00.000");
  EXPECT_EQ(add("ms", 1, "2024-01-01"), "2024-01-01 00:00:00.000");
  EXPECT_EQ(add("ms", 2, "2024-01-01"), "2024-01-01 00:00:00.003");
  EXPECT_EQ(add("year", 1, "9999-06-01"), "overflow");
  EXPECT_FALSE(at("2024-01-01").AddPart("fortnight", 1));

  auto diff = [&](const char* part, const char* a, const char* b) { return *DateDiff(part, at(a), at(b)); };
  EXPECT_EQ(diff("year", "2005-12-31 23:59:59.997", "2006-01-01 00:00:00.000"), 1);
  EXPECT_EQ(diff("month", "2005-11-30", "2006-01-31"), 2);
  EXPECT_EQ(diff("day", "2024-01-01 23:59", "2024-01-02 00:01"), 1);
  EXPECT_EQ(diff("day", "2024-01-02", "2024-01-01"), -1);
  EXPECT_EQ(diff("week", "2024-01-06", "2024-01-07"), 1);  // Saturday to Sunday
  EXPECT_EQ(diff("week", "2024-01-07", "2024-01-13"), 0);
  EXPECT_EQ(diff("quarter", "2024-03-31", "2024-04-01"), 1);
  EXPECT_EQ(diff("hour", "1899-12-31 23:59", "1900-01-01 00:01"), 1);
  EXPECT_FALSE(DateDiff("eon", at("2024-01-01"), at("2024-01-02")));

  const DateTime sunday = at("2024-01-07 08:09:10.120");
  EXPECT_EQ(*sunday.Part("dw"), 1);
  EXPECT_EQ(*sunday.Part("wk"), 2);
  EXPECT_EQ(*sunday.Part("quarter"), 1);
  EXPECT_EQ(*sunday.Part("ms"), 120);
  EXPECT_EQ(*at("2024-12-31").Part("dayofyear"), 366);

  // datetime - 1.5 days keeps the time of day: 1900-01-10 03:00 -> 1900-01-08 15:00
  EXPECT_EQ(DateTime::RoundToTick(at("1900-01-10 03:00").ms - DateTime::kMsPerDay * 3 / 2).Format(121),
            "1900-01-08 15:00:00.000");
}

}  // namespace
}  // namespace morvesk::engine
