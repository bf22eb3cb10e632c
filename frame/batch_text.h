// Small text pieces shared by the operations' batch builders: lines joined by CR LF,
// whole numbers as decimal text, and the period's date window over a view or table alias.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace morvesk::frame {

// The batch's literal lines in order, joined by CR LF (no line end after the last).
inline std::string Lines(std::initializer_list<std::string_view> lines) {
  std::string text;
  bool first = true;
  for (std::string_view line : lines) {
    if (!first) text += "\r\n";
    text += line;
    first = false;
  }
  return text;
}

inline std::string Num(int64_t n) { return std::to_string(n); }

// "u.FDate>='2025-03-01' And u.FDate<'2025-04-01'" for alias u: on or after the start,
// strictly before the first day after the period.
inline std::string DateWindow(std::string_view alias, const std::string& start_date,
                              const std::string& end_date) {
  std::string a(alias);
  return a + ".FDate>='" + start_date + "' And " + a + ".FDate<'" + end_date + "'";
}

// Lot identifier of the summary row of a stock, item and batch (and of consolidated lots).
inline constexpr std::string_view kSummaryLot = "100000000000000000000000";

}  // namespace morvesk::frame
