// The period calendar and the inventory options, called by name as a client does.
#include <string>
#include <vector>

#include "closing_fixture.h"
#include "platform/automation/com_error.h"
#include "platform/host/app_connection.h"

namespace morvesk::closing::test {
namespace {

using automation::ComError;

class PeriodCalendar : public ClosingFixture {
 protected:
  struct Dates {
    bool ok = false;
    std::string start, end;
  };
  Dates StartEnd(int year, int period) {
    Variant start(""), end("");
    std::vector<Variant> args{Variant(Cnn()), Variant(int32_t{period}), Variant(int32_t{year}),
                              Variant::Ref(&start), Variant::Ref(&end)};
    bool ok = cal_->CallRef("GetCurPeriodStartEnd", args).ToBool();
    return {ok, start.ToString(), end.ToString()};
  }

  struct Grid {
    bool ok = false;
    std::string clip;
    int32_t rows = 0;
    int32_t color_row = 0;
  };
  Grid Periods(int32_t color_row_before = -7) {
    Variant clip(""), rows(int32_t{0}), color(color_row_before);
    std::vector<Variant> args{Variant(Cnn()), Variant::Ref(&clip), Variant::Ref(&rows),
                              Variant::Ref(&color)};
    bool ok = cal_->CallRef("GetPeriodsData", args).ToBool();
    return {ok, clip.ToString(), rows.ToLong(), color.ToLong()};
  }

  static std::vector<std::string> Split(const std::string& text, char sep) {
    std::vector<std::string> parts;
    size_t pos = 0;
    while (true) {
      size_t next = text.find(sep, pos);
      parts.push_back(text.substr(pos, next - pos));
      if (next == std::string::npos) break;
      pos = next + 1;
    }
    return parts;
  }
  // The closed marks of the grid, one per row.
  static std::string Marks(const std::string& clip) {
    std::string marks;
    for (const std::string& row : Split(clip, '\r')) {
      if (!marks.empty()) marks += ',';
      marks += Split(row, '\t').back();
    }
    return marks;
  }

  struct Options {
    int32_t period = -1, year = -1, audit = -1, neg = -1;
    bool short_number = false;
  };
  Options Profile() { return Profile(Options{}); }
  Options Profile(Options before) {
    Variant period(before.period), year(before.year), audit(before.audit), neg(before.neg),
        short_number(before.short_number);
    std::vector<Variant> args{Variant(Cnn()),        Variant::Ref(&period),
                              Variant::Ref(&year),   Variant::Ref(&audit),
                              Variant::Ref(&neg),    Variant::Ref(&short_number)};
    cal_->CallRef("GetSystemProfile", args);
    return {period.ToLong(), year.ToLong(), audit.ToLong(), neg.ToLong(), short_number.ToBool()};
  }
};

TEST_F(PeriodCalendar, StartAndFirstDayAfterComeAsSlashedDates) {
  Dates march = StartEnd(2025, 3);
  EXPECT_TRUE(march.ok);
  EXPECT_EQ(march.start, "2025/03/01");
  EXPECT_EQ(march.end, "2025/04/01");

  // The last period of a year ends on the first day of the next one.
  Dates december = StartEnd(2025, 12);
  EXPECT_EQ(december.start, "2025/12/01");
  EXPECT_EQ(december.end, "2026/01/01");

  // A period the calendar does not know: the procedure's error reaches the caller raised.
  try {
    StartEnd(2031, 5);
    FAIL() << "a period outside the calendar gave dates";
  } catch (const ComError& e) {
    EXPECT_NE(e.description.find("会计期间不存在"), std::string::npos) << e.description;
  }
  // The object stays usable after the raised error.
  EXPECT_EQ(StartEnd(2025, 2).end, "2025/03/01");
}

TEST_F(PeriodCalendar, GridMarksClosedOpenAndPreStartPeriods) {
  Grid g = Periods();
  ASSERT_TRUE(g.ok);
  EXPECT_EQ(g.rows, 12);
  EXPECT_EQ(g.color_row, 4);
  std::vector<std::string> rows = Split(g.clip, '\r');
  ASSERT_EQ(rows.size(), 12u);
  EXPECT_EQ(g.clip.find('\n'), std::string::npos);
  EXPECT_EQ(rows[0], "1\t2025年01月01日\t2025年01月31日\t是");
  EXPECT_EQ(rows[1], "2\t2025年02月01日\t2025年02月28日\t是");
  EXPECT_EQ(rows[3], "4\t2025年04月01日\t2025年04月30日\t否");
  EXPECT_EQ(rows[11], "12\t2025年12月01日\t2025年12月31日\t否");
  EXPECT_EQ(Marks(g.clip), "是,是,是,否,否,否,否,否,否,否,否,否");

  // In the books' start year, periods before the start period are neither open nor closed,
  // whatever the current period.
  SetProfile("GL", "StartYear", "'2025'");
  SetProfile("GL", "StartPeriod", "'3'");
  EXPECT_EQ(Marks(Periods().clip), "/,/,是,否,否,否,否,否,否,否,否,否");
  SetProfile("IC", "CurrentPeriod", "'1'");
  EXPECT_EQ(Marks(Periods().clip), "/,/,否,否,否,否,否,否,否,否,否,否");

  // A current period beyond the year: every period closed, no row highlighted.
  SetProfile("GL", "StartYear", "'2024'");
  SetProfile("IC", "CurrentPeriod", "'13'");
  Grid past = Periods(-7);
  EXPECT_EQ(Marks(past.clip), "是,是,是,是,是,是,是,是,是,是,是,是");
  EXPECT_EQ(past.color_row, -7);

  // A one-period year holds no row separator.
  SetProfile("GL", "PeriodCount", "'1'");
  Grid one = Periods();
  EXPECT_EQ(one.rows, 1);
  EXPECT_EQ(one.clip, "1\t2025年01月01日\t2025年01月31日\t是");
}

TEST_F(PeriodCalendar, GridFollowsTheUsersLanguage) {
  host::SetUserLanguage("ENU");
  Grid g = Periods();
  host::SetUserLanguage("");
  std::vector<std::string> rows = Split(g.clip, '\r');
  ASSERT_EQ(rows.size(), 12u);
  EXPECT_EQ(rows[2], "3\t2025-03-01\t2025-03-31\tYes");
  EXPECT_EQ(rows[3], "4\t2025-04-01\t2025-04-30\tNo");
}

TEST_F(PeriodCalendar, GridFailsRaisedOnBadSettingsOrCalendar) {
  SetProfile("GL", "PeriodCount", "'twelve'");
  EXPECT_THROW(Periods(), ComError);
  SetProfile("GL", "PeriodCount", "'12'");
  DropProfile("GL", "StartYear");
  EXPECT_THROW(Periods(), ComError);
  SetProfile("GL", "StartYear", "'2024'");
  // The calendar has no 2025 period 13.
  SetProfile("GL", "PeriodCount", "'13'");
  EXPECT_THROW(Periods(), ComError);
  SetProfile("GL", "PeriodCount", "'12'");
  EXPECT_TRUE(Periods().ok);
}

TEST_F(PeriodCalendar, ProfileReadsOptionsAsWholeNumbers) {
  Options o = Profile();
  EXPECT_EQ(o.period, 4);
  EXPECT_EQ(o.year, 2025);
  EXPECT_EQ(o.audit, 2);
  EXPECT_EQ(o.neg, 1);
  EXPECT_FALSE(o.short_number);

  // Leading numeric part, rounded half to even; Null is 0; any non-zero short number is on.
  SetProfile("IC", "CurrentPeriod", "'7 (July)'");
  SetProfile("IC", "AuditChoice", "'2.5'");
  SetProfile("IC", "NegBalance", "Null");
  SetProfile("IC", "UseShortNumber", "'-1'");
  o = Profile();
  EXPECT_EQ(o.period, 7);
  EXPECT_EQ(o.audit, 2);
  EXPECT_EQ(o.neg, 0);
  EXPECT_TRUE(o.short_number);

  SetProfile("IC", "AuditChoice", "'3.5'");
  SetProfile("IC", "UseShortNumber", "'none'");
  o = Profile();
  EXPECT_EQ(o.audit, 4);
  EXPECT_FALSE(o.short_number);

  // Missing optional rows leave the caller's values alone.
  DropProfile("IC", "NegBalance");
  DropProfile("IC", "AuditChoice");
  DropProfile("IC", "UseShortNumber");
  o = Profile({.period = 0, .year = 0, .audit = 9, .neg = 8, .short_number = true});
  EXPECT_EQ(o.audit, 9);
  EXPECT_EQ(o.neg, 8);
  EXPECT_TRUE(o.short_number);
  EXPECT_EQ(o.year, 2025);

  // The current year and period must exist.
  DropProfile("IC", "CurrentYear");
  EXPECT_THROW(Profile(), ComError);
}

}  // namespace
}  // namespace morvesk::closing::test
