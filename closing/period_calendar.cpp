#include "closing/period_calendar.h"

#include <memory>
#include <utility>

#include "closing/profile_values.h"
#include "frame/res_text.h"
#include "platform/ado/command.h"
#include "platform/ado/connection.h"

namespace morvesk::closing {

namespace {

using automation::DateValue;
using automation::Variant;

// The company database's calendar procedure, with a new command per call: the first day
// of the period and the first day after it.
std::pair<DateValue, DateValue> PeriodStartEnd(const std::shared_ptr<ado::Connection>& cnn,
                                               int32_t year, int32_t period) {
  auto cmd = ado::Command::Create();
  cmd->SetActiveConnection(cnn);
  cmd->SetCommandType(ado::CommandType::kStoredProc);
  cmd->SetCommandText("GetPeriodStartEnd");
  ado::ParameterCollection& p = cmd->Parameters();
  p.Append(cmd->CreateParameter("@aYear", ado::DataType::kInteger, ado::ParameterDirection::kInput,
                                0, Variant(year)));
  p.Append(cmd->CreateParameter("@aPeriod", ado::DataType::kInteger,
                                ado::ParameterDirection::kInput, 0, Variant(period)));
  p.Append(cmd->CreateParameter("@aPeriodStart", ado::DataType::kDate,
                                ado::ParameterDirection::kOutput));
  p.Append(cmd->CreateParameter("@aPeriodEnd", ado::DataType::kDate,
                                ado::ParameterDirection::kOutput));
  cmd->Execute();
  return {p.Item(Variant(int32_t{2}))->value.ToDate(), p.Item(Variant(int32_t{3}))->value.ToDate()};
}

std::string Digits(int value, size_t width) {
  std::string s = std::to_string(value);
  while (s.size() < width) s.insert(s.begin(), '0');
  return s;
}

bool StartsWith(const std::string& text, size_t pos, const char* token) {
  return text.compare(pos, std::char_traits<char>::length(token), token) == 0;
}

}  // namespace

std::string FormatDatePattern(DateValue date, const std::string& pattern) {
  int y = 0, m = 0, d = 0, hh = 0, mi = 0, ss = 0;
  automation::DateParts(date, y, m, d, hh, mi, ss);
  std::string out;
  size_t i = 0;
  while (i < pattern.size()) {
    if (StartsWith(pattern, i, "yyyy")) {
      out += Digits(y, 4);
      i += 4;
    } else if (StartsWith(pattern, i, "yy")) {
      out += Digits(y % 100, 2);
      i += 2;
    } else if (StartsWith(pattern, i, "mm")) {
      out += Digits(m, 2);
      i += 2;
    } else if (pattern[i] == 'm') {
      out += std::to_string(m);
      ++i;
    } else if (StartsWith(pattern, i, "dd")) {
      out += Digits(d, 2);
      i += 2;
    } else if (pattern[i] == 'd') {
      out += std::to_string(d);
      ++i;
    } else {
      out += pattern[i++];
    }
  }
  return out;
}

bool GetCurPeriodStartEnd(frame::ServiceFrame& self, const std::string& sCnn, int32_t CurPeriod,
                          int32_t CurYear, std::string& sStartDate, std::string& sEndDate) {
  self.SetComplete();
  self.BindSession(sCnn);
  std::shared_ptr<ado::Connection> cnn = self.Connection();
  const auto [start, end] = PeriodStartEnd(cnn, CurYear, CurPeriod);
  // The separator is fixed to "/": the engine reads "yyyy/mm/dd" as a date whatever the
  // regional settings, and the end is the first day after the period, unshifted.
  sStartDate = FormatDatePattern(start, "yyyy/mm/dd");
  sEndDate = FormatDatePattern(end, "yyyy/mm/dd");
  return true;
}

bool GetPeriodsData(frame::ServiceFrame& self, const std::string& sCnn, std::string& strClip,
                    int32_t& nRows, int32_t& nColorRow) {
  self.SetComplete();
  self.BindSession(sCnn);
  std::shared_ptr<ado::Connection> cnn = self.Connection();

  const int32_t period_count = ProfileValue(*cnn, "GL", "PeriodCount").ToLong();
  const int16_t start_period = ProfileValue(*cnn, "GL", "StartPeriod").ToShort();
  const int16_t start_year = ProfileValue(*cnn, "GL", "StartYear").ToShort();
  const int16_t current_year = ProfileValue(*cnn, "IC", "CurrentYear").ToShort();
  const int16_t current_period = ProfileValue(*cnn, "IC", "CurrentPeriod").ToShort();

  strClip.clear();
  nRows = period_count;
  const std::string language = self.Session()->LanguageID();
  for (int32_t i = 1; i <= period_count; ++i) {
    if (!strClip.empty()) strClip += '\r';
    const auto [start, end] = PeriodStartEnd(cnn, current_year, i);
    const DateValue last_day{end.days - 1};
    strClip += std::to_string(i);
    strClip += '\t';
    strClip += FormatDatePattern(start, frame::LoadResText("yyyy年mm月dd日", language));
    strClip += '\t';
    strClip += FormatDatePattern(last_day, frame::LoadResText("yyyy年mm月dd日", language));
    // Periods before the books were started are neither open nor closed; earlier periods
    // of the year than the current one are closed.
    const char* mark = "是";
    if (current_year == start_year && i < start_period) {
      mark = "/";
    } else if (i >= current_period) {
      mark = "否";
    }
    strClip += '\t';
    strClip += frame::LoadResText(mark, language);
    if (i == current_period) nColorRow = i;
  }
  return true;
}

}  // namespace morvesk::closing
