// datetime: calendar arithmetic, text parsing and CONVERT styles.
#include "base/datetime.h"

#include <cctype>
#include <cstdio>

#include "base/ascii.h"

namespace morvesk::base {
namespace {

constexpr const char* kMonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr const char* kMonthFull[12] = {"january", "february", "march",     "april",
                                        "may",     "june",     "july",      "august",
                                        "september", "october", "november", "december"};

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

// Days since 1900-01-01 of a proleptic Gregorian date (era-based civil calendar).
int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = FloorDiv(y, 400);
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468 + 25567;  // 719468: 0000-03-01 to 1970; 25567: 1900 to 1970
}

void CivilFromDays(int64_t days, int& y, int& m, int& d) {
  const int64_t z = days - 25567 + 719468;
  const int64_t era = FloorDiv(z, 146097);
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

enum class Part { kYear, kQuarter, kMonth, kDayOfYear, kDay, kWeek, kWeekday, kHour, kMinute,
                  kSecond, kMillisecond };

std::optional<Part> ParsePart(std::string_view name) {
  std::string n;
  for (char c : name) {
    if (c != ' ') n.push_back(AsciiLower(c));
  }
  if (n == "year" || n == "yy" || n == "yyyy") return Part::kYear;
  if (n == "quarter" || n == "qq" || n == "q") return Part::kQuarter;
  if (n == "month" || n == "mm" || n == "m") return Part::kMonth;
  if (n == "dayofyear" || n == "dy" || n == "y") return Part::kDayOfYear;
  if (n == "day" || n == "dd" || n == "d") return Part::kDay;
  if (n == "week" || n == "wk" || n == "ww") return Part::kWeek;
  if (n == "weekday" || n == "dw" || n == "w") return Part::kWeekday;
  if (n == "hour" || n == "hh") return Part::kHour;
  if (n == "minute" || n == "mi" || n == "n") return Part::kMinute;
  if (n == "second" || n == "ss" || n == "s") return Part::kSecond;
  if (n == "millisecond" || n == "ms") return Part::kMillisecond;
  return std::nullopt;
}

// A small cursor over the text being parsed as a date.
struct Cursor {
  std::string_view s;
  size_t i = 0;
  bool End() const { return i >= s.size(); }
  char Peek() const { return End() ? '\0' : s[i]; }
  bool Digit() const { return !End() && s[i] >= '0' && s[i] <= '9'; }
  bool Alpha() const { return !End() && std::isalpha(static_cast<unsigned char>(s[i])); }
  void SkipSpaces() {
    while (!End() && s[i] == ' ') ++i;
  }
  // Reads a run of digits; returns its length (0 if none).
  int Number(int64_t& v) {
    v = 0;
    int n = 0;
    while (Digit() && n < 10) {
      v = v * 10 + (s[i++] - '0');
      ++n;
    }
    return Digit() ? 0 : n;
  }
  bool Eat(char c) {
    if (Peek() != c) return false;
    ++i;
    return true;
  }
};

int MonthFromName(Cursor& c) {
  std::string word;
  while (c.Alpha()) {
    word.push_back(AsciiLower(c.s[c.i++]));
  }
  if (word.size() < 3) return 0;
  for (int m = 0; m < 12; ++m) {
    std::string_view full = kMonthFull[m];
    if (word.size() <= full.size() && full.substr(0, word.size()) == word) return m + 1;
  }
  return 0;
}

int TwoDigitYear(int64_t y) { return static_cast<int>(y < 50 ? 2000 + y : 1900 + y); }

struct Parsed {
  int y = 1900, m = 1, d = 1, hh = 0, mi = 0, ss = 0, ms = 0;
};

// time -> h[:mi[:ss[.fff | :mmm]]] [AM|PM]  (or h AM|PM)
// Returns 0, 241 or 242.
int ParseTime(Cursor& c, Parsed& out) {
  int64_t h = 0, mi = 0, ss = 0, ms = 0;
  if (c.Number(h) == 0) return 241;
  bool has_minutes = false;
  if (c.Eat(':')) {
    if (c.Number(mi) == 0) return 241;
    has_minutes = true;
    if (c.Eat(':')) {
      if (c.Number(ss) == 0) return 241;
      if (c.Eat('.')) {
        int64_t frac = 0;
        int n = c.Number(frac);
        if (n == 0 || n > 3) return 241;
        ms = frac * (n == 1 ? 100 : n == 2 ? 10 : 1);
      } else if (c.Eat(':')) {
        int n = c.Number(ms);
        if (n == 0 || n > 3) return 241;
      }
    }
  }
  c.SkipSpaces();
  if (c.Alpha()) {
    char a = static_cast<char>(std::toupper(static_cast<unsigned char>(c.s[c.i])));
    if ((a != 'A' && a != 'P') || c.i + 1 >= c.s.size() ||
        std::toupper(static_cast<unsigned char>(c.s[c.i + 1])) != 'M') {
      return 241;
    }
    c.i += 2;
    if (h > 12) return 242;
    if (a == 'A' && h == 12) h = 0;
    if (a == 'P' && h < 12) h += 12;
  } else if (!has_minutes) {
    return 241;
  }
  if (h > 23 || mi > 59 || ss > 59) return 242;
  out.hh = static_cast<int>(h);
  out.mi = static_cast<int>(mi);
  out.ss = static_cast<int>(ss);
  out.ms = static_cast<int>(ms);
  return 0;
}

// Optional time after a date: " time", "Ttime" or nothing.
int ParseTimeTail(Cursor& c, Parsed& out) {
  if (c.End()) return 0;
  if (c.Eat('T')) return c.Digit() ? ParseTime(c, out) : 241;
  if (c.Peek() != ' ') return 241;
  c.SkipSpaces();
  if (c.End()) return 0;
  return ParseTime(c, out);
}

int ParseDateText(std::string_view text, bool dmy, Parsed& out) {
  Cursor c{text};
  if (c.Alpha()) {
    // Mon d[,] yyyy
    out.m = MonthFromName(c);
    if (out.m == 0) return 241;
    c.SkipSpaces();
    int64_t d, y;
    if (c.Number(d) == 0) return 241;
    c.Eat(',');
    c.SkipSpaces();
    int yn = c.Number(y);
    if (yn != 4 && yn != 2) return 241;
    out.d = static_cast<int>(d);
    out.y = yn == 2 ? TwoDigitYear(y) : static_cast<int>(y);
    return ParseTimeTail(c, out);
  }
  if (!c.Digit()) return 241;
  int64_t a;
  size_t start = c.i;
  int an = c.Number(a);
  if (an == 0) return 241;
  if (c.Peek() == ':' || (c.Peek() == ' ' && an <= 2 && text.find(':') != std::string_view::npos &&
                          text.find_first_of("-/.") == std::string_view::npos)) {
    c.i = start;  // a time alone: the date is 1900-01-01
    return ParseTime(c, out);
  }
  if (c.End() || c.Peek() == ' ' || c.Peek() == 'T') {
    if (an == 8) {
      out.y = static_cast<int>(a / 10000);
      out.m = static_cast<int>(a / 100 % 100);
      out.d = static_cast<int>(a % 100);
      return ParseTimeTail(c, out);
    }
    if (an == 6) {
      out.y = TwoDigitYear(a / 10000);
      out.m = static_cast<int>(a / 100 % 100);
      out.d = static_cast<int>(a % 100);
      return ParseTimeTail(c, out);
    }
    if (c.Peek() == ' ' && an <= 2) {
      // d Mon yyyy
      c.SkipSpaces();
      out.m = MonthFromName(c);
      if (out.m == 0) return 241;
      c.SkipSpaces();
      int64_t y;
      int yn = c.Number(y);
      if (yn != 4 && yn != 2) return 241;
      out.d = static_cast<int>(a);
      out.y = yn == 2 ? TwoDigitYear(y) : static_cast<int>(y);
      return ParseTimeTail(c, out);
    }
    return 241;
  }
  char sep = c.Peek();
  if (sep != '-' && sep != '/' && sep != '.') return 241;
  ++c.i;
  int64_t b, z;
  int bn = c.Number(b);
  if (bn == 0 || bn > 2 || !c.Eat(sep)) return 241;
  int zn = c.Number(z);
  if (zn == 0) return 241;
  if (an == 4) {
    // A leading four-digit year reads year-month-day.
    if (zn > 2) return 241;
    out.y = static_cast<int>(a);
    out.m = static_cast<int>(b);
    out.d = static_cast<int>(z);
  } else {
    if (an > 2 || (zn != 4 && zn != 2)) return 241;
    out.y = zn == 2 ? TwoDigitYear(z) : static_cast<int>(z);
    out.m = static_cast<int>(dmy ? b : a);
    out.d = static_cast<int>(dmy ? a : b);
  }
  return ParseTimeTail(c, out);
}

void Append2(std::string& s, int v) {
  s.push_back(static_cast<char>('0' + v / 10 % 10));
  s.push_back(static_cast<char>('0' + v % 10));
}

}  // namespace

std::optional<DateTime> DateTime::FromParts(int y, int m, int d, int hh, int mi, int ss, int ms) {
  if (y < 1753 || y > 9999 || m < 1 || m > 12 || d < 1 || d > DaysInMonth(y, m)) return std::nullopt;
  if (hh < 0 || hh > 23 || mi < 0 || mi > 59 || ss < 0 || ss > 59 || ms < 0 || ms > 999) {
    return std::nullopt;
  }
  int64_t raw = DaysFromCivil(y, m, d) * kMsPerDay + ((hh * 60LL + mi) * 60 + ss) * 1000 + ms;
  DateTime r = RoundToTick(raw);
  if (!r.InRange()) return std::nullopt;
  return r;
}

DateTime DateTime::RoundToTick(int64_t raw_ms) {
  int64_t sec = FloorDiv(raw_ms, 1000);
  int64_t rem = raw_ms - sec * 1000;
  int64_t ticks = (rem * 3 + 5) / 10;  // 1/300 s, half up
  return DateTime{sec * 1000 + (ticks * 10 + 1) / 3};
}

bool DateTime::InRange() const { return ms >= kMinMs && ms <= kMaxMs; }

std::optional<DateTime> DateTime::Parse(std::string_view text) {
  int error = 0;
  return Parse(text, 0, &error);
}

std::optional<DateTime> DateTime::Parse(std::string_view text, int style, int* error_number) {
  int dummy;
  int& error = error_number ? *error_number : dummy;
  error = 241;
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (text.empty()) {
    error = 0;
    return DateTime{0};
  }
  // ODBC escapes: {ts '...'}, {d '...'}, {t '...'}
  if (text.front() == '{' && text.back() == '}') {
    size_t q1 = text.find('\''), q2 = text.rfind('\'');
    if (q1 == std::string_view::npos || q2 <= q1) return std::nullopt;
    text = text.substr(q1 + 1, q2 - q1 - 1);
  }
  const int base = style % 100;
  const bool dmy = base == 3 || base == 4 || base == 5;
  Parsed p;
  int rc = ParseDateText(text, dmy, p);
  if (rc != 0) {
    error = rc;
    return std::nullopt;
  }
  if (p.m < 1 || p.m > 12 || p.y < 1753 || p.y > 9999 || p.d < 1 || p.d > DaysInMonth(p.y, p.m)) {
    error = 242;
    return std::nullopt;
  }
  int64_t raw = DaysFromCivil(p.y, p.m, p.d) * kMsPerDay +
                ((p.hh * 60LL + p.mi) * 60 + p.ss) * 1000 + p.ms;
  DateTime r = RoundToTick(raw);
  if (!r.InRange()) {
    error = 242;
    return std::nullopt;
  }
  error = 0;
  return r;
}

int64_t DateTime::Days() const { return FloorDiv(ms, kMsPerDay); }

void DateTime::ToParts(int& y, int& m, int& d, int& hh, int& mi, int& ss, int& msec) const {
  int64_t days = Days();
  int64_t in_day = ms - days * kMsPerDay;
  CivilFromDays(days, y, m, d);
  hh = static_cast<int>(in_day / 3600000);
  mi = static_cast<int>(in_day / 60000 % 60);
  ss = static_cast<int>(in_day / 1000 % 60);
  msec = static_cast<int>(in_day % 1000);
}

bool DateTime::IsFormatStyle(int style) {
  switch (style) {
    case 0: case 100: case 1: case 101: case 2: case 102: case 3: case 103: case 4: case 104:
    case 5: case 105: case 6: case 106: case 7: case 107: case 8: case 108: case 24: case 9:
    case 109: case 10: case 110: case 11: case 111: case 12: case 112: case 13: case 113:
    case 14: case 114: case 20: case 120: case 21: case 25: case 121: case 23: case 126: case 127:
      return true;
    default:
      return false;
  }
}

std::string DateTime::Format(int style) const {
  int y, m, d, hh, mi, ss, msec;
  ToParts(y, m, d, hh, mi, ss, msec);
  const bool century = style >= 100 || style == 20 || style == 21 || style == 23 || style == 25;
  auto year = [&](std::string& s) {
    if (century) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "%04d", y);
      s += buf;
    } else {
      Append2(s, y % 100);
    }
  };
  auto hms = [&](std::string& s) {
    Append2(s, hh);
    s += ':';
    Append2(s, mi);
    s += ':';
    Append2(s, ss);
  };
  auto millis = [&](std::string& s) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%03d", msec);
    s += buf;
  };
  auto ymd = [&](std::string& s, const char* sep) {
    year(s);
    s += sep;
    Append2(s, m);
    s += sep;
    Append2(s, d);
  };
  std::string s;
  switch (style) {
    case 1: case 101:
      Append2(s, m); s += '/'; Append2(s, d); s += '/'; year(s);
      return s;
    case 2: case 102: ymd(s, "."); return s;
    case 3: case 103:
      Append2(s, d); s += '/'; Append2(s, m); s += '/'; year(s);
      return s;
    case 4: case 104:
      Append2(s, d); s += '.'; Append2(s, m); s += '.'; year(s);
      return s;
    case 5: case 105:
      Append2(s, d); s += '-'; Append2(s, m); s += '-'; year(s);
      return s;
    case 6: case 106:
      Append2(s, d); s += ' '; s += kMonthNames[m - 1]; s += ' '; year(s);
      return s;
    case 7: case 107:
      s += kMonthNames[m - 1]; s += ' '; Append2(s, d); s += ", "; year(s);
      return s;
    case 8: case 108: case 24: hms(s); return s;
    case 10: case 110:
      Append2(s, m); s += '-'; Append2(s, d); s += '-'; year(s);
      return s;
    case 11: case 111: ymd(s, "/"); return s;
    case 12: case 112: ymd(s, ""); return s;
    case 13: case 113:
      Append2(s, d); s += ' '; s += kMonthNames[m - 1]; s += ' '; year(s); s += ' ';
      hms(s); s += ':'; millis(s);
      return s;
    case 14: case 114: hms(s); s += ':'; millis(s); return s;
    case 20: case 120: ymd(s, "-"); s += ' '; hms(s); return s;
    case 21: case 25: case 121: ymd(s, "-"); s += ' '; hms(s); s += '.'; millis(s); return s;
    case 23: ymd(s, "-"); return s;
    case 126: case 127:
      ymd(s, "-"); s += 'T'; hms(s);
      if (msec != 0) { s += '.'; millis(s); }
      return s;
    default: break;
  }
  // 0, 100, 9, 109: "Mon dd yyyy hh:miAM", day and hour padded with a space.
  char buf[48];
  int h12 = hh % 12 == 0 ? 12 : hh % 12;
  const char* ampm = hh < 12 ? "AM" : "PM";
  if (style == 9 || style == 109) {
    std::snprintf(buf, sizeof buf, "%s %2d %04d %2d:%02d:%02d:%03d%s", kMonthNames[m - 1], d, y,
                  h12, mi, ss, msec, ampm);
  } else {
    std::snprintf(buf, sizeof buf, "%s %2d %04d %2d:%02d%s", kMonthNames[m - 1], d, y, h12, mi,
                  ampm);
  }
  return buf;
}

std::optional<DateTime> DateTime::AddPart(std::string_view datepart, int64_t n) const {
  auto part = ParsePart(datepart);
  if (!part) return std::nullopt;
  // Beyond these counts every result leaves the datetime range anyway.
  if (n > 4000000000000LL || n < -4000000000000LL) return std::nullopt;
  int64_t unit = 0;
  switch (*part) {
    case Part::kYear:
    case Part::kQuarter:
    case Part::kMonth: {
      int64_t months = *part == Part::kYear ? n * 12 : *part == Part::kQuarter ? n * 3 : n;
      int y, m, d, hh, mi, ss, msec;
      ToParts(y, m, d, hh, mi, ss, msec);
      int64_t total = static_cast<int64_t>(y) * 12 + (m - 1) + months;
      int64_t ny = FloorDiv(total, 12);
      if (ny < 1753 || ny > 9999) return std::nullopt;
      int nm = static_cast<int>(total - ny * 12) + 1;
      int nd = std::min(d, DaysInMonth(static_cast<int>(ny), nm));
      int64_t in_day = ms - Days() * kMsPerDay;
      DateTime r{DaysFromCivil(ny, nm, nd) * kMsPerDay + in_day};
      if (!r.InRange()) return std::nullopt;
      return r;
    }
    case Part::kDayOfYear:
    case Part::kDay:
    case Part::kWeekday: unit = kMsPerDay; break;
    case Part::kWeek: unit = 7 * kMsPerDay; break;
    case Part::kHour: unit = 3600000; break;
    case Part::kMinute: unit = 60000; break;
    case Part::kSecond: unit = 1000; break;
    case Part::kMillisecond: {
      DateTime r = RoundToTick(ms + n);
      if (!r.InRange()) return std::nullopt;
      return r;
    }
  }
  __int128 v = static_cast<__int128>(n) * unit + ms;
  if (v < kMinMs || v > kMaxMs) return std::nullopt;
  return DateTime{static_cast<int64_t>(v)};
}

std::optional<int> DateTime::Part(std::string_view datepart) const {
  auto part = ParsePart(datepart);
  if (!part) return std::nullopt;
  int y, m, d, hh, mi, ss, msec;
  ToParts(y, m, d, hh, mi, ss, msec);
  // 1900-01-01 was a Monday; with weeks starting on Sunday, weekday 1 is Sunday.
  auto weekday = [](int64_t days) { return static_cast<int>(((days + 1) % 7 + 7) % 7) + 1; };
  const int64_t days = Days();
  const int64_t jan1 = DaysFromCivil(y, 1, 1);
  switch (*part) {
    case Part::kYear: return y;
    case Part::kQuarter: return (m - 1) / 3 + 1;
    case Part::kMonth: return m;
    case Part::kDayOfYear: return static_cast<int>(days - jan1) + 1;
    case Part::kDay: return d;
    case Part::kWeek: return static_cast<int>((days - jan1 + weekday(jan1) - 1) / 7) + 1;
    case Part::kWeekday: return weekday(days);
    case Part::kHour: return hh;
    case Part::kMinute: return mi;
    case Part::kSecond: return ss;
    case Part::kMillisecond: return msec;
  }
  return std::nullopt;
}

std::optional<int64_t> DateDiff(std::string_view datepart, const DateTime& a, const DateTime& b) {
  auto part = ParsePart(datepart);
  if (!part) return std::nullopt;
  int ya, ma, da, hha, mia, ssa, msa, yb, mb, db, hhb, mib, ssb, msb;
  a.ToParts(ya, ma, da, hha, mia, ssa, msa);
  b.ToParts(yb, mb, db, hhb, mib, ssb, msb);
  switch (*part) {
    case Part::kYear: return yb - ya;
    case Part::kQuarter: return (yb * 4 + (mb - 1) / 3) - (ya * 4 + (ma - 1) / 3);
    case Part::kMonth: return (yb * 12 + mb) - (ya * 12 + ma);
    case Part::kDayOfYear:
    case Part::kDay:
    case Part::kWeekday: return b.Days() - a.Days();
    // Sundays crossed: day -1 (1899-12-31) was a Sunday.
    case Part::kWeek: return FloorDiv(b.Days() + 1, 7) - FloorDiv(a.Days() + 1, 7);
    case Part::kHour: return FloorDiv(b.ms, 3600000) - FloorDiv(a.ms, 3600000);
    case Part::kMinute: return FloorDiv(b.ms, 60000) - FloorDiv(a.ms, 60000);
    case Part::kSecond: return FloorDiv(b.ms, 1000) - FloorDiv(a.ms, 1000);
    case Part::kMillisecond: return b.ms - a.ms;
  }
  return std::nullopt;
}

}  // namespace morvesk::base
