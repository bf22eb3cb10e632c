#include "platform/automation/variant.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "base/ascii.h"
#include "platform/automation/com_error.h"
#include "platform/automation/dispatch.h"

namespace morvesk::automation {
namespace {

constexpr char kSource[] = "Variant";

[[noreturn]] void Mismatch(const Variant& from, VarType to) {
  throw ComError(kErrTypeMismatch, kSource,
                 "Type mismatch: cannot convert " + VarTypeName(from.type()) + " to " +
                     VarTypeName(to));
}
[[noreturn]] void Overflow(VarType to) {
  throw ComError(kErrOverflow, kSource, "Overflow converting to " + VarTypeName(to));
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// Text -> number as automation reads it: blanks around, a sign, digits, a point,
// an exponent. "True"/"False" are not numbers.
std::optional<double> ParseNumber(std::string_view text) {
  std::string t(Trim(text));
  if (t.empty()) return std::nullopt;
  char* end = nullptr;
  double v = std::strtod(t.c_str(), &end);
  if (end != t.c_str() + t.size()) return std::nullopt;
  if (std::isnan(v) || std::isinf(v)) return std::nullopt;
  return v;
}

__int128 Pow10(int n) {
  __int128 p = 1;
  for (int i = 0; i < n; ++i) p *= 10;
  return p;
}

// Decimal -> integer, half to even, as automation rounds.
__int128 RoundDecimalEven(const base::Decimal& d) {
  __int128 p = Pow10(d.scale);
  __int128 q = d.unscaled / p;
  __int128 r = d.unscaled % p;
  __int128 twice = (r < 0 ? -r : r) * 2;
  if (twice > p || (twice == p && (q % 2 != 0))) q += (d.unscaled < 0 ? -1 : 1);
  return q;
}

base::Decimal DecimalFromDouble(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15g", v);
  std::string text = buf;
  if (text.find_first_of("eE") != std::string::npos) {
    if (std::fabs(v) >= 1) {
      std::snprintf(buf, sizeof buf, "%.0f", v);
    } else {
      std::snprintf(buf, sizeof buf, "%.28f", v);
    }
    text = buf;
  }
  if (text.find('.') != std::string::npos) {
    while (text.back() == '0') text.pop_back();
    if (text.back() == '.') text.pop_back();
  }
  auto d = base::Decimal::Parse(text);
  if (!d) Overflow(VarType::kDecimal);
  return *d;
}

std::string DoubleText(double v) {
  if (v == 0) return "0";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15G", v);
  return buf;
}

std::string DecimalText(const base::Decimal& d) {
  std::string s = d.ToString();
  if (s.find('.') != std::string::npos) {
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
  }
  if (s == "-0") s = "0";
  return s;
}

// Days from 1970-01-01 of a civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t yy = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yy + (m <= 2));
}

const int64_t kEpochOffset = DaysFromCivil(1899, 12, 30);

int DaysInMonth(int y, int m) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (m == 2 && ((y % 4 == 0 && y % 100 != 0) || y % 400 == 0)) return 29;
  return kDays[m - 1];
}

}  // namespace

Variant::Variant(const Variant& o) : v_(o.v_) {
  if (auto* a = std::get_if<std::shared_ptr<VariantArray>>(&v_); a && *a) {
    *a = std::make_shared<VariantArray>(**a);
  }
}

Variant& Variant::operator=(const Variant& o) {
  if (this != &o) {
    Variant copy(o);
    v_ = std::move(copy.v_);
  }
  return *this;
}

VarType Variant::type() const {
  const auto& v = Deref().v_;
  switch (v.index()) {
    case 0: return VarType::kEmpty;
    case 1: return VarType::kNull;
    case 2: return VarType::kBoolean;
    case 3: return VarType::kLong;
    case 4: return VarType::kShort;
    case 5: return VarType::kDouble;
    case 6: return VarType::kDecimal;
    case 7: return VarType::kDate;
    case 8: return VarType::kString;
    case 9: return VarType::kObject;
    case 10:
      return static_cast<VarType>(static_cast<uint16_t>(VarType::kArray) |
                                  static_cast<uint16_t>(VarType::kVariant));
    default: return VarType::kEmpty;  // a by-ref to a by-ref is never built
  }
}

bool Variant::is_numeric() const {
  switch (type()) {
    case VarType::kBoolean:
    case VarType::kShort:
    case VarType::kLong:
    case VarType::kDouble:
    case VarType::kDecimal: return true;
    default: return false;
  }
}

double Variant::ToDouble() const {
  const Variant& x = Deref();
  return std::visit(
      [&](const auto& a) -> double {
        using A = std::decay_t<decltype(a)>;
        if constexpr (std::is_same_v<A, EmptyValue>) return 0;
        else if constexpr (std::is_same_v<A, BoolValue>) return a.v;
        else if constexpr (std::is_same_v<A, int32_t> || std::is_same_v<A, int16_t>) return a;
        else if constexpr (std::is_same_v<A, double>) return a;
        else if constexpr (std::is_same_v<A, base::Decimal>) return a.ToDouble();
        else if constexpr (std::is_same_v<A, DateValue>) return a.days;
        else if constexpr (std::is_same_v<A, std::string>) {
          if (auto n = ParseNumber(a)) return *n;
          Mismatch(x, VarType::kDouble);
        } else {
          Mismatch(x, VarType::kDouble);
        }
      },
      x.v_);
}

int32_t Variant::ToLong() const {
  const Variant& x = Deref();
  if (auto* d = std::get_if<base::Decimal>(&x.v_)) {
    __int128 q = RoundDecimalEven(*d);
    if (q > std::numeric_limits<int32_t>::max() || q < std::numeric_limits<int32_t>::min())
      Overflow(VarType::kLong);
    return static_cast<int32_t>(q);
  }
  if (auto* i = std::get_if<int32_t>(&x.v_)) return *i;
  double v = std::nearbyint(ToDouble());  // half to even under the default rounding mode
  if (v > std::numeric_limits<int32_t>::max() || v < std::numeric_limits<int32_t>::min())
    Overflow(VarType::kLong);
  return static_cast<int32_t>(v);
}

int16_t Variant::ToShort() const {
  int32_t v;
  try {
    v = ToLong();
  } catch (const ComError& e) {
    if (e.number == kErrOverflow) Overflow(VarType::kShort);
    throw;
  }
  if (v > std::numeric_limits<int16_t>::max() || v < std::numeric_limits<int16_t>::min())
    Overflow(VarType::kShort);
  return static_cast<int16_t>(v);
}

bool Variant::ToBool() const {
  const Variant& x = Deref();
  if (auto* s = std::get_if<std::string>(&x.v_)) {
    std::string_view t = Trim(*s);
    if (base::EqualsNoCase(t, "true")) return true;
    if (base::EqualsNoCase(t, "false")) return false;
    if (auto n = ParseNumber(t)) return *n != 0;
    Mismatch(x, VarType::kBoolean);
  }
  if (auto* d = std::get_if<base::Decimal>(&x.v_)) return !d->IsZero();
  return ToDouble() != 0;
}

base::Decimal Variant::ToDecimal() const {
  const Variant& x = Deref();
  return std::visit(
      [&](const auto& a) -> base::Decimal {
        using A = std::decay_t<decltype(a)>;
        if constexpr (std::is_same_v<A, EmptyValue>) return base::Decimal{};
        else if constexpr (std::is_same_v<A, BoolValue>) return base::Decimal::FromInt(a.v);
        else if constexpr (std::is_same_v<A, int32_t> || std::is_same_v<A, int16_t>)
          return base::Decimal::FromInt(a);
        else if constexpr (std::is_same_v<A, double>) return DecimalFromDouble(a);
        else if constexpr (std::is_same_v<A, base::Decimal>) return a;
        else if constexpr (std::is_same_v<A, DateValue>) return DecimalFromDouble(a.days);
        else if constexpr (std::is_same_v<A, std::string>) {
          std::string_view t = Trim(a);
          if (!t.empty() && t.front() == '+') t.remove_prefix(1);
          if (auto d = base::Decimal::Parse(t)) return *d;
          if (auto n = ParseNumber(t)) return DecimalFromDouble(*n);
          Mismatch(x, VarType::kDecimal);
        } else {
          Mismatch(x, VarType::kDecimal);
        }
      },
      x.v_);
}

DateValue Variant::ToDate() const {
  const Variant& x = Deref();
  if (auto* d = std::get_if<DateValue>(&x.v_)) return *d;
  if (auto* s = std::get_if<std::string>(&x.v_)) {
    if (auto d = ParseDate(*s)) return *d;
    if (auto n = ParseNumber(*s)) return DateValue{*n};
    Mismatch(x, VarType::kDate);
  }
  if (is_null() || is_object() || is_array()) Mismatch(x, VarType::kDate);
  return DateValue{ToDouble()};
}

std::shared_ptr<Dispatch> Variant::ToObject() const {
  const Variant& x = Deref();
  if (auto* o = std::get_if<std::shared_ptr<Dispatch>>(&x.v_)) return *o;
  if (x.is_empty()) return nullptr;
  Mismatch(x, VarType::kObject);
}

const VariantArray& Variant::ToArray() const {
  const Variant& x = Deref();
  if (auto* a = std::get_if<std::shared_ptr<VariantArray>>(&x.v_)) return **a;
  Mismatch(x, VarType::kArray);
}

VariantArray& Variant::MutableArray() {
  Variant& x = Deref();
  if (auto* a = std::get_if<std::shared_ptr<VariantArray>>(&x.v_)) return **a;
  Mismatch(x, VarType::kArray);
}

std::string Variant::ToString() const {
  const Variant& x = Deref();
  return std::visit(
      [&](const auto& a) -> std::string {
        using A = std::decay_t<decltype(a)>;
        if constexpr (std::is_same_v<A, EmptyValue> || std::is_same_v<A, NullValue>) return "";
        else if constexpr (std::is_same_v<A, BoolValue>) return a.v ? "True" : "False";
        else if constexpr (std::is_same_v<A, int32_t> || std::is_same_v<A, int16_t>)
          return std::to_string(a);
        else if constexpr (std::is_same_v<A, double>) return DoubleText(a);
        else if constexpr (std::is_same_v<A, base::Decimal>) return DecimalText(a);
        else if constexpr (std::is_same_v<A, DateValue>) return FormatDate(a);
        else if constexpr (std::is_same_v<A, std::string>) return a;
        else {
          Mismatch(x, VarType::kString);
        }
      },
      x.v_);
}

namespace {
Variant ConvertTo(const Variant& x, VarType t);
}  // namespace

Variant Variant::ChangeType(VarType t) const {
  const Variant& x = Deref();
  if (t == VarType::kVariant) return x;
  if (static_cast<uint16_t>(t) & static_cast<uint16_t>(VarType::kArray)) {
    if (!x.is_array()) Mismatch(x, t);
    return x;
  }
  // Null reaches only a Variant parameter: a typed one refuses it.
  if (x.is_null() && t != VarType::kNull) Mismatch(x, t);
  // A refusal names the type asked for, not one the conversion went through (text reads
  // as a Double on its way to a Long).
  try {
    return ConvertTo(x, t);
  } catch (const ComError& e) {
    if (e.number == kErrTypeMismatch) Mismatch(x, t);
    throw;
  }
}

namespace {

Variant ConvertTo(const Variant& x, VarType t) {
  switch (t) {
    case VarType::kEmpty: return Variant();
    case VarType::kNull: return Variant::Null();
    case VarType::kShort: return Variant(x.ToShort());
    case VarType::kByte: {
      int32_t v = x.ToLong();
      if (v < 0 || v > 255) Overflow(t);
      return Variant(static_cast<int16_t>(v));
    }
    case VarType::kLong: return Variant(x.ToLong());
    case VarType::kSingle: {
      double d = x.ToDouble();
      if (std::fabs(d) > std::numeric_limits<float>::max()) Overflow(t);
      return Variant(static_cast<double>(static_cast<float>(d)));
    }
    case VarType::kDouble: return Variant(x.ToDouble());
    case VarType::kCurrency: {
      auto d = base::Rescale(x.ToDecimal(), 4);
      if (!d) Overflow(t);
      return Variant(*d);
    }
    case VarType::kDecimal: return Variant(x.ToDecimal());
    case VarType::kDate: return Variant(x.ToDate());
    case VarType::kString:
      if (x.is_object() || x.is_array()) Mismatch(x, t);
      return Variant(x.ToString());
    case VarType::kObject: return Variant(x.ToObject());
    case VarType::kBoolean: return Variant(x.ToBool());
    default: Mismatch(x, t);
  }
}

}  // namespace

bool Variant::operator==(const Variant& o) const {
  const Variant& a = Deref();
  const Variant& b = o.Deref();
  if (a.v_.index() != b.v_.index()) return false;
  if (auto* d = std::get_if<base::Decimal>(&a.v_)) {
    return base::Compare(*d, std::get<base::Decimal>(b.v_)) == 0;
  }
  if (auto* arr = std::get_if<std::shared_ptr<VariantArray>>(&a.v_)) {
    const auto& brr = std::get<std::shared_ptr<VariantArray>>(b.v_);
    return **arr == *brr;
  }
  return std::visit(
      [&](const auto& x) -> bool {
        using X = std::decay_t<decltype(x)>;
        if constexpr (std::is_same_v<X, base::Decimal> ||
                      std::is_same_v<X, std::shared_ptr<VariantArray>>) {
          return false;  // compared above
        } else {
          return x == std::get<X>(b.v_);
        }
      },
      a.v_);
}

std::string VarTypeName(VarType t) {
  if (static_cast<uint16_t>(t) & static_cast<uint16_t>(VarType::kArray)) return "Variant()";
  switch (t) {
    case VarType::kEmpty: return "Empty";
    case VarType::kNull: return "Null";
    case VarType::kShort: return "Integer";
    case VarType::kLong: return "Long";
    case VarType::kSingle: return "Single";
    case VarType::kDouble: return "Double";
    case VarType::kCurrency: return "Currency";
    case VarType::kDate: return "Date";
    case VarType::kString: return "String";
    case VarType::kObject: return "Object";
    case VarType::kBoolean: return "Boolean";
    case VarType::kVariant: return "Variant";
    case VarType::kDecimal: return "Decimal";
    case VarType::kByte: return "Byte";
    default: return "Unknown";
  }
}

DateValue MakeDate(int y, int m, int d, int hh, int mi, double ss) {
  int64_t days = DaysFromCivil(y, static_cast<unsigned>(m), static_cast<unsigned>(d)) -
                 kEpochOffset;
  double frac = (hh * 3600.0 + mi * 60.0 + ss) / 86400.0;
  // Before the epoch the fraction still counts forward from midnight, so the day
  // count's sign applies to it too (-1.25 is 1899-12-29 06:00).
  return DateValue{days < 0 ? static_cast<double>(days) - frac : static_cast<double>(days) + frac};
}

void DateParts(DateValue v, int& y, int& m, int& day, int& hh, int& mi, int& ss) {
  double whole = std::trunc(v.days);
  double frac = std::fabs(v.days - whole);
  int64_t secs = std::llround(frac * 86400.0);
  int64_t days = static_cast<int64_t>(whole);
  if (secs >= 86400) {
    secs -= 86400;
    days += (v.days < 0 ? -1 : 1);
  }
  CivilFromDays(days + kEpochOffset, y, m, day);
  hh = static_cast<int>(secs / 3600);
  mi = static_cast<int>(secs / 60 % 60);
  ss = static_cast<int>(secs % 60);
}

std::optional<DateValue> ParseDate(std::string_view text) {
  std::string_view t = Trim(text);
  auto digits = [&](size_t& i, size_t min, size_t max) -> std::optional<int> {
    size_t start = i;
    int v = 0;
    while (i < t.size() && i - start < max && t[i] >= '0' && t[i] <= '9') v = v * 10 + (t[i++] - '0');
    if (i - start < min) return std::nullopt;
    return v;
  };
  size_t i = 0;
  int y, m, d;
  if (t.size() >= 8 && t.find_first_not_of("0123456789") >= 8 &&
      (t.size() == 8 || t[8] == ' ' || t[8] == 'T')) {
    auto yy = digits(i, 4, 4), mm = digits(i, 2, 2), dd = digits(i, 2, 2);
    y = *yy, m = *mm, d = *dd;
  } else {
    auto yy = digits(i, 4, 4);
    if (!yy || i >= t.size() || (t[i] != '-' && t[i] != '/')) return std::nullopt;
    char sep = t[i++];
    auto mm = digits(i, 1, 2);
    if (!mm || i >= t.size() || t[i] != sep) return std::nullopt;
    ++i;
    auto dd = digits(i, 1, 2);
    if (!dd) return std::nullopt;
    y = *yy, m = *mm, d = *dd;
  }
  if (m < 1 || m > 12 || d < 1 || d > DaysInMonth(y, m)) return std::nullopt;
  int hh = 0, mi = 0;
  double ss = 0;
  if (i < t.size()) {
    if (t[i] != ' ' && t[i] != 'T') return std::nullopt;
    while (i < t.size() && (t[i] == ' ' || t[i] == 'T')) ++i;
    auto h = digits(i, 1, 2);
    if (!h || i >= t.size() || t[i] != ':') return std::nullopt;
    ++i;
    auto n = digits(i, 2, 2);
    if (!n) return std::nullopt;
    hh = *h, mi = *n;
    if (i < t.size() && t[i] == ':') {
      ++i;
      auto s = digits(i, 2, 2);
      if (!s) return std::nullopt;
      ss = *s;
      if (i < t.size() && t[i] == '.') {
        ++i;
        double scale = 0.1;
        size_t start = i;
        while (i < t.size() && t[i] >= '0' && t[i] <= '9') {
          ss += (t[i++] - '0') * scale;
          scale /= 10;
        }
        if (i == start) return std::nullopt;
      }
    }
    if (i != t.size() || hh > 23 || mi > 59 || ss >= 60) return std::nullopt;
  }
  return MakeDate(y, m, d, hh, mi, ss);
}

std::string FormatDate(DateValue d) {
  int y, m, day, hh, mi, ss;
  DateParts(d, y, m, day, hh, mi, ss);
  char buf[40];
  if (hh == 0 && mi == 0 && ss == 0) {
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, m, day);
  } else {
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", y, m, day, hh, mi, ss);
  }
  return buf;
}

}  // namespace morvesk::automation
