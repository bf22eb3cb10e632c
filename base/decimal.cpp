// Exact decimal arithmetic on 128-bit scaled integers, with 256-bit intermediates
// where operands of different scales or a product need more than 38 digits.
#include "base/decimal.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>

namespace morvesk::base {
namespace {

using u128 = unsigned __int128;
using i128 = __int128;

constexpr int kMaxDigits = 38;

constexpr u128 Pow10U(int n) {
  u128 r = 1;
  for (int i = 0; i < n; ++i) r *= 10;
  return r;
}

struct Pow10Table {
  u128 v[39];
  constexpr Pow10Table() : v() {
    for (int i = 0; i <= 38; ++i) v[i] = Pow10U(i);
  }
};
constexpr Pow10Table kPow10;
constexpr u128 kLimit = Pow10U(38);  // magnitudes must stay below this
constexpr uint64_t kPow10_19 = 10000000000000000000ull;

u128 Abs(i128 v) { return v < 0 ? -static_cast<u128>(v) : static_cast<u128>(v); }

int DigitCount(u128 v) {
  int n = 1;
  while (n < 39 && v >= kPow10.v[n]) ++n;
  return n;
}

// Unsigned 256-bit integer, little-endian 64-bit limbs: just enough for exact
// products of two 38-digit numbers and for aligning scales.
struct U256 {
  uint64_t l[4] = {0, 0, 0, 0};

  static U256 From(u128 v) {
    U256 r;
    r.l[0] = static_cast<uint64_t>(v);
    r.l[1] = static_cast<uint64_t>(v >> 64);
    return r;
  }
  bool FitsU128() const { return l[2] == 0 && l[3] == 0; }
  u128 ToU128() const { return (static_cast<u128>(l[1]) << 64) | l[0]; }
  bool IsZero() const { return (l[0] | l[1] | l[2] | l[3]) == 0; }
  int BitLength() const {
    for (int i = 3; i >= 0; --i) {
      if (l[i] != 0) return i * 64 + 64 - __builtin_clzll(l[i]);
    }
    return 0;
  }
  bool Bit(int i) const { return (l[i / 64] >> (i % 64)) & 1; }
};

int Cmp(const U256& a, const U256& b) {
  for (int i = 3; i >= 0; --i) {
    if (a.l[i] != b.l[i]) return a.l[i] < b.l[i] ? -1 : 1;
  }
  return 0;
}

// a += b; returns false on carry out of 256 bits.
bool AddTo(U256& a, const U256& b) {
  unsigned carry = 0;
  for (int i = 0; i < 4; ++i) {
    u128 s = static_cast<u128>(a.l[i]) + b.l[i] + carry;
    a.l[i] = static_cast<uint64_t>(s);
    carry = static_cast<unsigned>(s >> 64);
  }
  return carry == 0;
}

// a -= b, requires a >= b.
void SubFrom(U256& a, const U256& b) {
  unsigned borrow = 0;
  for (int i = 0; i < 4; ++i) {
    u128 d = static_cast<u128>(a.l[i]) - b.l[i] - borrow;
    a.l[i] = static_cast<uint64_t>(d);
    borrow = static_cast<unsigned>((d >> 64) != 0);
  }
}

// a *= m; returns false on overflow.
bool MulSmall(U256& a, uint64_t m) {
  u128 carry = 0;
  for (int i = 0; i < 4; ++i) {
    u128 p = static_cast<u128>(a.l[i]) * m + carry;
    a.l[i] = static_cast<uint64_t>(p);
    carry = p >> 64;
  }
  return carry == 0;
}

// a /= d; returns the remainder.
uint64_t DivSmall(U256& a, uint64_t d) {
  u128 rem = 0;
  for (int i = 3; i >= 0; --i) {
    u128 cur = (rem << 64) | a.l[i];
    a.l[i] = static_cast<uint64_t>(cur / d);
    rem = cur % d;
  }
  return static_cast<uint64_t>(rem);
}

U256 Mul128(u128 a, u128 b) {
  const uint64_t a0 = static_cast<uint64_t>(a), a1 = static_cast<uint64_t>(a >> 64);
  const uint64_t b0 = static_cast<uint64_t>(b), b1 = static_cast<uint64_t>(b >> 64);
  U256 r;
  u128 p00 = static_cast<u128>(a0) * b0;
  u128 p01 = static_cast<u128>(a0) * b1;
  u128 p10 = static_cast<u128>(a1) * b0;
  u128 p11 = static_cast<u128>(a1) * b1;
  r.l[0] = static_cast<uint64_t>(p00);
  u128 mid = (p00 >> 64) + static_cast<uint64_t>(p01) + static_cast<uint64_t>(p10);
  r.l[1] = static_cast<uint64_t>(mid);
  u128 hi = (mid >> 64) + (p01 >> 64) + (p10 >> 64) + static_cast<uint64_t>(p11);
  r.l[2] = static_cast<uint64_t>(hi);
  r.l[3] = static_cast<uint64_t>((hi >> 64) + (p11 >> 64));
  return r;
}

// a *= 10^k; returns false on overflow.
bool MulPow10(U256& a, int k) {
  while (k > 0) {
    int step = std::min(k, 19);
    if (!MulSmall(a, static_cast<uint64_t>(kPow10.v[step]))) return false;
    k -= step;
  }
  return true;
}

// a /= 10^k (truncating); returns whether anything nonzero was dropped is not
// needed by callers, so nothing is returned.
void DivPow10(U256& a, int k) {
  while (k > 0 && !a.IsZero()) {
    int step = std::min(k, 19);
    DivSmall(a, static_cast<uint64_t>(kPow10.v[step]));
    k -= step;
  }
}

void ShiftLeft1(U256& a) {
  for (int i = 3; i > 0; --i) a.l[i] = (a.l[i] << 1) | (a.l[i - 1] >> 63);
  a.l[0] <<= 1;
}

// Quotient and remainder; d must not be zero.
void DivMod(const U256& n, const U256& d, U256& q, U256& r) {
  if (n.FitsU128() && d.FitsU128()) {
    q = U256::From(n.ToU128() / d.ToU128());
    r = U256::From(n.ToU128() % d.ToU128());
    return;
  }
  if (d.l[1] == 0 && d.l[2] == 0 && d.l[3] == 0) {
    q = n;
    r = U256::From(DivSmall(q, d.l[0]));
    return;
  }
  q = U256{};
  r = U256{};
  for (int i = n.BitLength() - 1; i >= 0; --i) {
    ShiftLeft1(r);
    r.l[0] |= static_cast<uint64_t>(n.Bit(i));
    if (Cmp(r, d) >= 0) {
      SubFrom(r, d);
      q.l[i / 64] |= uint64_t{1} << (i % 64);
    }
  }
}

// A signed exact value of up to 256 bits at some scale (which may exceed 38).
struct Wide {
  bool neg = false;
  U256 mag;
  int scale = 0;
};

Wide FromDecimal(const Decimal& d) {
  return Wide{d.unscaled < 0, U256::From(Abs(d.unscaled)), d.scale};
}

// Brings w to scale s: exact upward, rounding half away from zero (or cutting)
// downward. Empty when the result needs more than 38 digits.
std::optional<Decimal> Narrow(Wide w, int s, bool truncate) {
  if (s < 0 || s > kMaxDigits) return std::nullopt;
  if (s > w.scale) {
    if (!MulPow10(w.mag, s - w.scale)) return std::nullopt;
  } else if (s < w.scale) {
    int k = w.scale - s;
    if (k > 78) {
      w.mag = U256{};
    } else {
      DivPow10(w.mag, k - 1);
      uint64_t digit = DivSmall(w.mag, 10);
      if (!truncate && digit >= 5) {
        if (!AddTo(w.mag, U256::From(1))) return std::nullopt;
      }
    }
  }
  if (!w.mag.FitsU128() || w.mag.ToU128() >= kLimit) return std::nullopt;
  i128 v = static_cast<i128>(w.mag.ToU128());
  return Decimal{w.neg ? -v : v, static_cast<uint8_t>(s)};
}

// The value at the largest scale <= preferred that holds it in 38 digits.
std::optional<Decimal> Fit(const Wide& w, int preferred) {
  int s = std::min(preferred, kMaxDigits);
  if (w.scale < s) s = w.scale;
  for (; s >= 0; --s) {
    if (auto d = Narrow(w, s, false)) return d;
  }
  return std::nullopt;
}

// Exact sum or difference of a and b at the larger of their scales.
Wide AddWide(const Decimal& a, const Decimal& b, bool subtract) {
  Wide x = FromDecimal(a), y = FromDecimal(b);
  if (subtract) y.neg = !y.neg;
  int s = std::max(x.scale, y.scale);
  // Both magnitudes are below 10^38, so 38 more digits cannot overflow 256 bits.
  MulPow10(x.mag, s - x.scale);
  MulPow10(y.mag, s - y.scale);
  Wide r;
  r.scale = s;
  if (x.neg == y.neg) {
    r.mag = x.mag;
    AddTo(r.mag, y.mag);
    r.neg = x.neg;
  } else if (Cmp(x.mag, y.mag) >= 0) {
    r.mag = x.mag;
    SubFrom(r.mag, y.mag);
    r.neg = x.neg;
  } else {
    r.mag = y.mag;
    SubFrom(r.mag, x.mag);
    r.neg = y.neg;
  }
  if (r.mag.IsZero()) r.neg = false;
  return r;
}

Wide MulWide(const Decimal& a, const Decimal& b) {
  Wide r;
  r.mag = Mul128(Abs(a.unscaled), Abs(b.unscaled));
  r.neg = (a.unscaled < 0) != (b.unscaled < 0) && !r.mag.IsZero();
  r.scale = a.scale + b.scale;
  return r;
}

// Parses [sign]digits[.digits][e[sign]digits] into an exact wide value. Returns
// false on malformed text or more digits than 256 bits hold.
bool ParseWide(std::string_view t, bool allow_exponent, Wide& out) {
  size_t i = 0;
  bool neg = false;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) neg = t[i++] == '-';
  U256 mag;
  int digits = 0, frac = 0;
  bool seen_digit = false, seen_point = false;
  for (; i < t.size(); ++i) {
    char c = t[i];
    if (c >= '0' && c <= '9') {
      seen_digit = true;
      if (digits == 0 && c == '0') {
        if (seen_point) ++frac;
        continue;
      }
      if (digits >= 76) return false;
      MulSmall(mag, 10);
      AddTo(mag, U256::From(static_cast<u128>(c - '0')));
      ++digits;
      if (seen_point) ++frac;
    } else if (c == '.' && !seen_point) {
      seen_point = true;
    } else {
      break;
    }
  }
  if (!seen_digit) return false;
  int exponent = 0;
  if (i < t.size()) {
    if (!allow_exponent || (t[i] != 'e' && t[i] != 'E')) return false;
    ++i;
    bool eneg = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) eneg = t[i++] == '-';
    if (i == t.size()) return false;
    for (; i < t.size(); ++i) {
      if (t[i] < '0' || t[i] > '9') return false;
      exponent = exponent * 10 + (t[i] - '0');
      if (exponent > 1000) return false;
    }
    if (eneg) exponent = -exponent;
  }
  int scale = frac - exponent;
  if (scale < 0) {
    if (!MulPow10(mag, -scale)) return false;
    scale = 0;
  }
  out = Wide{neg && !mag.IsZero(), mag, scale};
  return true;
}

// Decimal digits of v (v < 10^38), most significant first; returns the count.
int WriteDigits(u128 v, char* buf) {
  char tmp[40];
  int n = 0;
  if (v == 0) tmp[n++] = '0';
  while (v > 0xFFFFFFFFFFFFFFFFull) {
    // Peel 19 digits at a time so the rest runs on 64-bit division.
    uint64_t low = static_cast<uint64_t>(v % kPow10_19);
    v /= kPow10_19;
    for (int i = 0; i < 19; ++i) {
      tmp[n++] = static_cast<char>('0' + low % 10);
      low /= 10;
    }
  }
  uint64_t w = static_cast<uint64_t>(v);
  while (w > 0) {
    tmp[n++] = static_cast<char>('0' + w % 10);
    w /= 10;
  }
  // Leading zeros of the peeled groups can remain at the top only if v became 0.
  while (n > 1 && tmp[n - 1] == '0') --n;
  for (int i = 0; i < n; ++i) buf[i] = tmp[n - 1 - i];
  return n;
}

}  // namespace

std::optional<Decimal> Decimal::Parse(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  Wide w;
  if (!ParseWide(text, false, w)) return std::nullopt;
  // More fraction digits than 38 digits allow are rounded away, as a conversion would.
  if (w.scale > kMaxDigits) return Fit(w, kMaxDigits);
  auto d = Narrow(w, w.scale, false);
  if (!d) return Fit(w, w.scale);
  return d;
}

std::optional<Decimal> Decimal::FromDoubleNatural(double v) {
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, v);
  if (res.ec != std::errc()) return std::nullopt;
  Wide w;
  if (!ParseWide(std::string_view(buf, res.ptr - buf), true, w)) return std::nullopt;
  return Fit(w, kMaxDigits);
}

std::optional<Decimal> Decimal::TryFromDouble(double v, int scale) {
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, v);
  if (res.ec != std::errc()) return std::nullopt;
  Wide w;
  if (!ParseWide(std::string_view(buf, res.ptr - buf), true, w)) return std::nullopt;
  return Narrow(w, scale, false);
}

Decimal Decimal::FromDouble(double v, int scale) {
  return TryFromDouble(v, scale).value_or(Decimal{0, static_cast<uint8_t>(std::clamp(scale, 0, 38))});
}

std::string Decimal::ToString() const {
  char digits[40];
  int n = WriteDigits(Abs(unscaled), digits);
  std::string out;
  out.reserve(n + scale + 3);
  if (unscaled < 0) out.push_back('-');
  if (n <= scale) {
    out.push_back('0');
    out.push_back('.');
    out.append(scale - n, '0');
    out.append(digits, n);
  } else {
    out.append(digits, n - scale);
    if (scale > 0) {
      out.push_back('.');
      out.append(digits + n - scale, scale);
    }
  }
  return out;
}

double Decimal::ToDouble() const {
  std::string s = ToString();
  double v = 0;
  std::from_chars(s.data(), s.data() + s.size(), v);
  return v;
}

__int128 Decimal::Truncate() const { return unscaled / static_cast<i128>(kPow10.v[scale]); }

int Decimal::Precision() const { return std::max(DigitCount(Abs(unscaled)), static_cast<int>(scale)); }

std::optional<Decimal> Rescale(const Decimal& x, int s) { return Narrow(FromDecimal(x), s, false); }

std::optional<Decimal> TruncateTo(const Decimal& x, int s) {
  return Narrow(FromDecimal(x), s, true);
}

bool FitsPrecision(const Decimal& x, int p) {
  return p >= 1 && p <= kMaxDigits && Abs(x.unscaled) < kPow10.v[p];
}

std::optional<Decimal> Add(const Decimal& a, const Decimal& b) {
  return Fit(AddWide(a, b, false), std::max(a.scale, b.scale));
}

std::optional<Decimal> Sub(const Decimal& a, const Decimal& b) {
  return Fit(AddWide(a, b, true), std::max(a.scale, b.scale));
}

std::optional<Decimal> Mul(const Decimal& a, const Decimal& b) {
  return Fit(MulWide(a, b), a.scale + b.scale);
}

namespace {

// v at scale `scale` brought to scale s in 128 bits; false when that cannot be
// done without overflow (the caller then takes the 256-bit path).
bool NarrowFast(i128 v, int scale, int s, Decimal& out) {
  if (s < 0 || s > kMaxDigits || scale > kMaxDigits) return false;
  if (s > scale) {
    if (__builtin_mul_overflow(v, static_cast<i128>(kPow10.v[s - scale]), &v)) return false;
  } else if (s < scale) {
    const i128 p = static_cast<i128>(kPow10.v[scale - s]);
    i128 q = v / p, r = v % p;
    if ((r < 0 ? -r : r) >= p - p / 2) q += v < 0 ? -1 : 1;  // half away from zero
    v = q;
  }
  if (Abs(v) >= kLimit) return false;
  out = Decimal{v, static_cast<uint8_t>(s)};
  return true;
}

std::optional<Decimal> AddSubTo(const Decimal& a, const Decimal& b, int s, bool subtract) {
  const int m = std::max(a.scale, b.scale);
  i128 x = a.unscaled, y = subtract ? -b.unscaled : b.unscaled, sum;
  Decimal out;
  if (!__builtin_mul_overflow(x, static_cast<i128>(kPow10.v[m - a.scale]), &x) &&
      !__builtin_mul_overflow(y, static_cast<i128>(kPow10.v[m - b.scale]), &y) &&
      !__builtin_add_overflow(x, y, &sum) && NarrowFast(sum, m, s, out)) {
    return out;
  }
  return Narrow(AddWide(a, b, subtract), s, false);
}

}  // namespace

std::optional<Decimal> AddTo(const Decimal& a, const Decimal& b, int s) {
  return AddSubTo(a, b, s, false);
}

std::optional<Decimal> SubTo(const Decimal& a, const Decimal& b, int s) {
  return AddSubTo(a, b, s, true);
}

std::optional<Decimal> MulTo(const Decimal& a, const Decimal& b, int s) {
  i128 p;
  Decimal out;
  if (a.scale + b.scale <= kMaxDigits && !__builtin_mul_overflow(a.unscaled, b.unscaled, &p) &&
      NarrowFast(p, a.scale + b.scale, s, out)) {
    return out;
  }
  return Narrow(MulWide(a, b), s, false);
}

std::optional<Decimal> Div(const Decimal& a, const Decimal& b, int scale) {
  if (b.unscaled == 0 || scale < 0 || scale > kMaxDigits) return std::nullopt;
  const u128 n = Abs(a.unscaled), d = Abs(b.unscaled);
  const bool neg = (a.unscaled < 0) != (b.unscaled < 0);
  // quotient = n * 10^e / d, truncated toward zero
  int e = scale + b.scale - a.scale;
  u128 q = 0;
  if (e <= 0) {
    if (-e <= kMaxDigits) {
      U256 den = Mul128(d, kPow10.v[-e]);
      if (den.FitsU128()) q = n / den.ToU128();
    }
    // A divisor of more than 128 bits exceeds any numerator: the quotient is 0.
  } else {
    int first = std::min(e, kMaxDigits);
    U256 num = Mul128(n, kPow10.v[first]);
    U256 qq, rr;
    DivMod(num, U256::From(d), qq, rr);
    for (int left = e - first; left > 0;) {
      if (!qq.FitsU128() || qq.ToU128() >= kLimit) return std::nullopt;
      int step = std::min(left, kMaxDigits);
      U256 next_q = Mul128(qq.ToU128(), kPow10.v[step]);
      U256 part = Mul128(rr.ToU128(), kPow10.v[step]);
      U256 pq;
      DivMod(part, U256::From(d), pq, rr);
      AddTo(next_q, pq);
      qq = next_q;
      left -= step;
    }
    if (!qq.FitsU128()) return std::nullopt;
    q = qq.ToU128();
  }
  if (q >= kLimit) return std::nullopt;
  i128 v = static_cast<i128>(q);
  return Decimal{neg ? -v : v, static_cast<uint8_t>(scale)};
}

std::optional<Decimal> Mod(const Decimal& a, const Decimal& b) {
  if (b.unscaled == 0) return std::nullopt;
  int s = std::max(a.scale, b.scale);
  U256 x = U256::From(Abs(a.unscaled)), y = U256::From(Abs(b.unscaled));
  MulPow10(x, s - a.scale);
  MulPow10(y, s - b.scale);
  U256 q, r;
  DivMod(x, y, q, r);
  // The remainder is below both operands' magnitudes, so it fits.
  i128 v = static_cast<i128>(r.ToU128());
  return Decimal{a.unscaled < 0 ? -v : v, static_cast<uint8_t>(s)};
}

Decimal Negate(const Decimal& a) { return Decimal{-a.unscaled, a.scale}; }

std::optional<Decimal> Round(const Decimal& x, int n, bool truncate) {
  if (n >= x.scale) return x;
  // n comes from the caller as any int: the distance is taken wide so it cannot wrap.
  const int64_t k = static_cast<int64_t>(x.scale) - n;
  if (k > kMaxDigits) return Decimal{0, x.scale};
  const u128 m = Abs(x.unscaled);
  const u128 p = kPow10.v[k];
  u128 q = m / p;
  if (!truncate && m % p >= p / 2) ++q;
  U256 r = Mul128(q, p);
  if (!r.FitsU128() || r.ToU128() >= kLimit) return std::nullopt;
  i128 v = static_cast<i128>(r.ToU128());
  return Decimal{x.unscaled < 0 ? -v : v, x.scale};
}

int Compare(const Decimal& a, const Decimal& b) {
  if (a.Sign() != b.Sign()) return a.Sign() < b.Sign() ? -1 : 1;
  if (a.scale == b.scale) {
    return a.unscaled < b.unscaled ? -1 : (a.unscaled > b.unscaled ? 1 : 0);
  }
  int s = std::max(a.scale, b.scale);
  U256 x = U256::From(Abs(a.unscaled)), y = U256::From(Abs(b.unscaled));
  MulPow10(x, s - a.scale);
  MulPow10(y, s - b.scale);
  int c = Cmp(x, y);
  return a.Sign() < 0 ? -c : c;
}

// Key layout: a class byte (1 negative, 2 zero, 3 positive); then the decimal
// exponent E of 0.d1d2... x 10^E, biased by 64; then the significant digits two
// per byte as pair+1 (a last odd digit padded with 0). Negative numbers invert the
// exponent and digit bytes and end with 0xFF, so that a longer digit string (a
// larger magnitude) sorts lower. Trailing zeros are stripped first, which makes
// the key independent of the scale.
namespace {
constexpr uint8_t kNegative = 1, kZero = 2, kPositive = 3;
constexpr int kExponentBias = 64;

// Number of decimal digits of w > 0: the bit length gives it to within one.
int DigitCount(uint64_t w) {
  static constexpr auto kPow = [] {
    std::array<uint64_t, 20> p{};
    p[0] = 1;
    for (size_t k = 1; k < p.size(); ++k) p[k] = p[k - 1] * 10;
    return p;
  }();
  const int t = ((64 - __builtin_clzll(w)) * 1233) >> 12;  // floor(bits * log10(2))
  return t + (w >= kPow[static_cast<size_t>(t)] ? 1 : 0);
}

}  // namespace

size_t EncodeKeyTo(const Decimal& x, unsigned char* out) {
  if (x.unscaled == 0) {
    out[0] = kZero;
    return 1;
  }
  const bool neg = x.unscaled < 0;
  const uint8_t flip = neg ? 255 : 0;
  u128 m = Abs(x.unscaled);
  int exp10 = -static_cast<int>(x.scale);  // value = m * 10^exp10
  size_t len = 0;
  out[len++] = neg ? kNegative : kPositive;
  if (m <= 0xFFFFFFFFFFFFFFFFull) {
    // Most values: the digit pairs come straight from 64-bit divisions by 100, the last
    // pair first, with no digit text in between.
    uint64_t w = static_cast<uint64_t>(m);
    while (w % 10 == 0) {
      w /= 10;
      ++exp10;
    }
    const int n = DigitCount(w);
    out[len++] = static_cast<uint8_t>(n + exp10 + kExponentBias) ^ flip;
    const size_t pairs = static_cast<size_t>(n + 1) / 2;
    size_t at = len + pairs;
    if (n % 2 != 0) {
      out[--at] = static_cast<uint8_t>(w % 10 * 10 + 1) ^ flip;
      w /= 10;
    }
    while (at > len) {
      out[--at] = static_cast<uint8_t>(w % 100 + 1) ^ flip;
      w /= 100;
    }
    len += pairs;
  } else {
    while (m % 10 == 0) {
      m /= 10;
      ++exp10;
    }
    char digits[40];
    const int n = WriteDigits(m, digits);
    out[len++] = static_cast<uint8_t>(n + exp10 + kExponentBias) ^ flip;
    for (int i = 0; i < n; i += 2) {
      const int pair = (digits[i] - '0') * 10 + (i + 1 < n ? digits[i + 1] - '0' : 0);
      out[len++] = static_cast<uint8_t>(pair + 1) ^ flip;
    }
  }
  if (neg) out[len++] = 0xFF;
  return len;
}

std::string EncodeKey(const Decimal& x) {
  unsigned char key[kMaxKeyBytes];
  return std::string(reinterpret_cast<const char*>(key), EncodeKeyTo(x, key));
}

std::optional<Decimal> DecodeKey(std::string_view bytes) {
  const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
  size_t len = bytes.size();
  if (len == 0) return std::nullopt;
  if (p[0] == kZero) {
    if (len != 1) return std::nullopt;
    return Decimal{};
  }
  bool neg;
  if (p[0] == kPositive) {
    neg = false;
  } else if (p[0] == kNegative) {
    neg = true;
    if (len < 4 || p[len - 1] != 0xFF) return std::nullopt;
    --len;
  } else {
    return std::nullopt;
  }
  if (len < 3 || len > 2 + 19) return std::nullopt;
  const uint8_t flip = neg ? 255 : 0;
  const int e = static_cast<int>(p[1] ^ flip) - kExponentBias;
  const size_t pairs = len - 2;
  // The first 9 pairs (18 digits) accumulate in 64 bits; longer keys go on in 128.
  uint64_t head = 0;
  u128 m = 0;
  int digits = 0;
  for (size_t i = 0; i < pairs; ++i) {
    unsigned b = static_cast<unsigned>(p[2 + i] ^ flip);
    if (b < 1 || b > 100) return std::nullopt;
    unsigned pair = b - 1;
    const bool odd_tail = i + 1 == pairs && pair % 10 == 0;
    if (odd_tail && pair == 0) return std::nullopt;
    const unsigned mul = odd_tail ? 10 : 100;
    const unsigned add = odd_tail ? pair / 10 : pair;
    if (i < 9) {
      head = head * mul + add;
      if (i + 1 == pairs || i == 8) m = head;
    } else {
      m = m * mul + add;
    }
    digits += odd_tail ? 1 : 2;
  }
  int scale = digits - e;
  if (scale < 0) {
    if (digits - scale > kMaxDigits) return std::nullopt;
    m *= kPow10.v[-scale];
    scale = 0;
  }
  if (scale > kMaxDigits || m >= kLimit) return std::nullopt;
  i128 v = static_cast<i128>(m);
  return Decimal{neg ? -v : v, static_cast<uint8_t>(scale)};
}

bool IsCanonicalKey(std::string_view bytes) {
  const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
  if (bytes.size() == 1) return p[0] == kZero;
  const uint8_t flip = p[0] == kNegative ? 255 : 0;
  return bytes.size() >= 3 && (p[2] ^ flip) > 10;  // pair + 1: the first digit is not 0
}

void DecimalSum::Add(const Decimal& x) {
  ++count_;
  if (!is_wide_) {
    i128 acc = acc_, v = x.unscaled;
    int s = scale_;
    bool ok = true;
    if (x.scale > s) {
      ok = !__builtin_mul_overflow(acc, static_cast<i128>(kPow10.v[x.scale - s]), &acc);
      s = x.scale;
    } else if (x.scale < s) {
      ok = !__builtin_mul_overflow(v, static_cast<i128>(kPow10.v[s - x.scale]), &v);
    }
    if (ok) ok = !__builtin_add_overflow(acc, v, &acc);
    if (ok) {
      acc_ = acc;
      scale_ = s;
      return;
    }
    Widen();
  }
  Wide w{wide_neg_, U256{}, scale_};
  std::memcpy(w.mag.l, wide_, sizeof wide_);
  int s = std::max<int>(scale_, x.scale);
  MulPow10(w.mag, s - scale_);
  Wide y = FromDecimal(x);
  MulPow10(y.mag, s - x.scale);
  if (w.neg == y.neg) {
    AddTo(w.mag, y.mag);
  } else if (Cmp(w.mag, y.mag) >= 0) {
    SubFrom(w.mag, y.mag);
  } else {
    U256 t = y.mag;
    SubFrom(t, w.mag);
    w.mag = t;
    w.neg = y.neg;
  }
  if (w.mag.IsZero()) w.neg = false;
  std::memcpy(wide_, w.mag.l, sizeof wide_);
  wide_neg_ = w.neg;
  scale_ = s;
}

// Moves the 128-bit accumulator into the 256-bit one for the rest of the sum.
void DecimalSum::Widen() {
  U256 m = U256::From(Abs(acc_));
  std::memcpy(wide_, m.l, sizeof wide_);
  wide_neg_ = acc_ < 0;
  is_wide_ = true;
}

std::optional<Decimal> DecimalSum::Result() const {
  if (count_ == 0) return std::nullopt;
  if (!is_wide_) {
    if (Abs(acc_) < kLimit) return Decimal{acc_, static_cast<uint8_t>(scale_)};
    return Fit(Wide{acc_ < 0, U256::From(Abs(acc_)), scale_}, scale_);
  }
  Wide w{wide_neg_, U256{}, scale_};
  std::memcpy(w.mag.l, wide_, sizeof wide_);
  return Fit(w, scale_);
}

}  // namespace morvesk::base
