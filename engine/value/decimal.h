// Exact decimal numbers: a 128-bit scaled integer with a scale of 0..38. Values are
// held by value (no heap); arithmetic follows T-SQL (exact, 38 digits at most).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace morvesk::engine {

struct Decimal {
  __int128 unscaled = 0;  // value = unscaled / 10^scale
  uint8_t scale = 0;

  static Decimal FromInt(int64_t v) { return Decimal{v, 0}; }
  // Parses "-12.3400", "1e3" is not accepted (that is float); empty on bad text.
  static std::optional<Decimal> Parse(std::string_view text);
  // Nearest decimal of the given scale to a double (T-SQL float -> decimal conversion).
  static Decimal FromDouble(double v, int scale);

  // Text as T-SQL prints it: all scale digits kept ("1.5000"), "-0.10", "0.00".
  std::string ToString() const;
  double ToDouble() const;
  // Integer part, truncated toward zero (T-SQL decimal -> int conversion).
  __int128 Truncate() const;

  // Number of significant integer digits plus scale, for overflow checks.
  int Precision() const;
  bool IsZero() const { return unscaled == 0; }
  int Sign() const { return unscaled < 0 ? -1 : (unscaled > 0 ? 1 : 0); }
};

// Brings x to scale s: rounding half away from zero when s is smaller (storing
// into a column), exact when larger. Empty on overflow beyond 38 digits.
std::optional<Decimal> Rescale(const Decimal& x, int s);
// Cuts x to scale s toward zero (the division result rule).
std::optional<Decimal> TruncateTo(const Decimal& x, int s);
// Whether x fits decimal(p, s) after rescaling to s.
bool FitsPrecision(const Decimal& x, int p);

// Exact arithmetic; the results carry the operands' natural scale (add: max scale,
// mul: sum of scales). Division is computed to `scale` digits, truncated. Empty on
// overflow; division by zero is the caller's check.
std::optional<Decimal> Add(const Decimal& a, const Decimal& b);
std::optional<Decimal> Sub(const Decimal& a, const Decimal& b);
std::optional<Decimal> Mul(const Decimal& a, const Decimal& b);
std::optional<Decimal> Div(const Decimal& a, const Decimal& b, int scale);
std::optional<Decimal> Mod(const Decimal& a, const Decimal& b);
Decimal Negate(const Decimal& a);
// ROUND(x, n): half away from zero at n digits (n may be negative), scale kept.
// With truncate set (ROUND's third argument non-zero) the digits are cut instead.
std::optional<Decimal> Round(const Decimal& x, int n, bool truncate = false);
int Compare(const Decimal& a, const Decimal& b);

// Order-preserving byte encoding, independent of scale: two encodings compare with
// memcmp exactly as the numbers compare, and 1.5 and 1.50 encode alike. This is the
// storage form of decimal and money columns in the SQLite file.
std::string EncodeKey(const Decimal& x);
// Decodes at the natural scale of the encoding (trailing zeros dropped);
// empty when the bytes are not an encoding.
std::optional<Decimal> DecodeKey(std::string_view bytes);

}  // namespace morvesk::engine
