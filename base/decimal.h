// Exact decimal numbers: a 128-bit scaled integer with a scale of 0..38. Values are
// held by value (no heap); arithmetic follows T-SQL (exact, 38 digits at most).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace morvesk::base {

struct Decimal {
  __int128 unscaled = 0;  // value = unscaled / 10^scale
  uint8_t scale = 0;

  static Decimal FromInt(int64_t v) { return Decimal{v, 0}; }
  // Parses "-12.3400", "1e3" is not accepted (that is float); empty on bad text.
  static std::optional<Decimal> Parse(std::string_view text);
  // Nearest decimal of the given scale to a double (T-SQL float -> decimal conversion).
  static Decimal FromDouble(double v, int scale);
  // The same, empty when the double is not finite or does not fit 38 digits.
  static std::optional<Decimal> TryFromDouble(double v, int scale);
  // The double's shortest round-trip decimal text as an exact decimal ("0.1", not
  // 0.1000000000000000055...): float -> decimal where no scale is given.
  static std::optional<Decimal> FromDoubleNatural(double v);

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
// Exact result brought to scale s (rounded half away from zero), computed with
// 256-bit intermediates so that operands of any scale meet; empty when the result
// needs more than 38 digits at scale s. These are what typed T-SQL arithmetic uses.
std::optional<Decimal> AddTo(const Decimal& a, const Decimal& b, int s);
std::optional<Decimal> SubTo(const Decimal& a, const Decimal& b, int s);
std::optional<Decimal> MulTo(const Decimal& a, const Decimal& b, int s);
// ROUND(x, n): half away from zero at n digits (n may be negative), scale kept.
// With truncate set (ROUND's third argument non-zero) the digits are cut instead.
std::optional<Decimal> Round(const Decimal& x, int n, bool truncate = false);
int Compare(const Decimal& a, const Decimal& b);

// Order-preserving byte encoding, independent of scale: two encodings compare with
// memcmp exactly as the numbers compare, and 1.5 and 1.50 encode alike. This is the
// storage form of decimal and money columns in the SQLite file.
std::string EncodeKey(const Decimal& x);
// The same into `out` (room for kMaxKeyBytes), returning the key's length: no string
// for the many intermediate results that only pass through SQLite.
constexpr size_t kMaxKeyBytes = 2 + 19 + 1;
size_t EncodeKeyTo(const Decimal& x, unsigned char* out);
// Decodes at the natural scale of the encoding (trailing zeros dropped);
// empty when the bytes are not an encoding.
std::optional<Decimal> DecodeKey(std::string_view bytes);
// Whether bytes that DecodeKey accepts are exactly what EncodeKey writes for their value
// (DecodeKey also reads a first digit pair with a leading zero).
bool IsCanonicalKey(std::string_view bytes);

// Exact running sum for SUM and AVG over decimal values of mixed scales: a 128-bit
// accumulator at the largest scale seen, widening to 256 bits only when needed.
class DecimalSum {
 public:
  void Add(const Decimal& x);
  bool empty() const { return count_ == 0; }
  int64_t count() const { return count_; }
  // The sum at the largest scale seen (fewer decimals, rounded, if 38 digits are not
  // enough); empty when the integral part needs more than 38 digits.
  std::optional<Decimal> Result() const;

 private:
  void Widen();
  __int128 acc_ = 0;
  int scale_ = 0;
  int64_t count_ = 0;
  bool is_wide_ = false;
  bool wide_neg_ = false;
  uint64_t wide_[4] = {0, 0, 0, 0};  // magnitude, little-endian limbs, at scale_
};

}  // namespace morvesk::base
