// T-SQL datetime: milliseconds since 1900-01-01 00:00:00, rounded to the
// server's 1/300 s ticks (.000, .003, .007). Stored in SQLite as that integer, so
// comparisons and ORDER BY work natively.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace morvesk::base {

struct DateTime {
  int64_t ms = 0;  // since 1900-01-01; negative before it

  static constexpr int64_t kMsPerDay = 86400000;
  static DateTime FromDays(int64_t days) { return DateTime{days * kMsPerDay}; }
  static std::optional<DateTime> FromParts(int y, int m, int d, int hh = 0, int mi = 0, int ss = 0,
                                           int ms = 0);
  // Text -> datetime as CAST does under the default language (mdy): '' is
  // 1900-01-01; '2024-01-31', '20240131', '2024/1/31', '2024-01-31 13:45:10.123',
  // '2024-01-31T13:45:10', '1/31/2024'. Empty when the text is not a date (error 241).
  static std::optional<DateTime> Parse(std::string_view text);
  // The same with a CONVERT style deciding the order of day and month (103, 104, 105
  // and their two-digit-year forms read d/m/y; others m/d/y). On failure
  // *error_number is 241 (not a date) or 242 (a date shape with an impossible value).
  static std::optional<DateTime> Parse(std::string_view text, int style, int* error_number);
  // A raw millisecond count brought to the nearest 1/300 s tick (half up), as every
  // datetime value is stored: .999 becomes the next second, .002 becomes .003.
  static DateTime RoundToTick(int64_t raw_ms);
  // 1753-01-01 .. 9999-12-31 23:59:59.997, the range of the type.
  bool InRange() const;
  static constexpr int64_t kMinMs = -53690LL * kMsPerDay;                // 1753-01-01
  static constexpr int64_t kMaxMs = 2958463LL * kMsPerDay + kMsPerDay - 3;       // 9999-12-31 23:59:59.997

  void ToParts(int& y, int& m, int& d, int& hh, int& mi, int& ss, int& msec) const;
  int64_t Days() const;  // whole days since 1900-01-01 (floor)

  // CONVERT(varchar, d, style) for the common styles (0, 1, 101, 102, 103, 111, 112,
  // 120, 121, 23); default (no style) as style 0: "Jan 31 2024  1:45PM".
  std::string Format(int style = 0) const;
  static bool IsFormatStyle(int style);  // whether Format knows the style (else error 281)
  // DATEPART(datepart, d) with DATEFIRST 7 (weeks start on Sunday); empty for an
  // unknown datepart.
  std::optional<int> Part(std::string_view datepart) const;
  std::optional<DateTime> AddPart(std::string_view datepart, int64_t n) const;  // DATEADD
  bool operator==(const DateTime&) const = default;
  auto operator<=>(const DateTime&) const = default;
};

// DATEDIFF(datepart, a, b): boundaries crossed, as T-SQL counts them.
std::optional<int64_t> DateDiff(std::string_view datepart, const DateTime& a, const DateTime& b);

}  // namespace morvesk::base
