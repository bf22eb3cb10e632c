// Small text pieces shared by the operations' batch builders: lines joined by CR LF (some
// present only under a condition), whole numbers as decimal text, and the period's date
// window over a view or table alias. Every batch an operation sends is one Lines({...})
// list, readable as the SQL it sends.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace morvesk::frame {

// One line of a batch as written in a Lines({...}) list. A line made by LineIf(false, ...)
// is left out with its line end, so a statement whose variants differ by a condition line
// still reads as one list.
class Line {
 public:
  Line(const char* text) : text_(text) {}
  Line(std::string_view text) : text_(text) {}
  Line(const std::string& text) : text_(text) {}

  std::string_view text() const { return text_; }
  bool present() const { return present_; }

 private:
  friend Line LineIf(bool when, std::string_view text);
  std::string_view text_;
  bool present_ = true;
};

inline Line LineIf(bool when, std::string_view text) {
  Line line(text);
  line.present_ = when;
  return line;
}

// The batch's literal lines in order, joined by CR LF (no line end after the last; a last
// "" line gives the batch a final line end).
inline std::string Lines(std::initializer_list<Line> lines) {
  std::string text;
  bool first = true;
  for (const Line& line : lines) {
    if (!line.present()) continue;
    if (!first) text += "\r\n";
    text += line.text();
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
