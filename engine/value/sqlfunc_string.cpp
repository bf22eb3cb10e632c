// SQL string functions with T-SQL's edge cases: 1-based character positions,
// trailing blanks ignored by LEN, case-insensitive search under the collation.
#include <sqlite3.h>

#include <algorithm>
#include <vector>

#include "engine/value/sqlfunc_internal.h"

namespace morvesk::engine::sqlfn {
namespace {

bool AnyNull(int argc, sqlite3_value** argv) {
  for (int i = 0; i < argc; ++i) {
    if (sqlite3_value_type(argv[i]) == SQLITE_NULL) return true;
  }
  return false;
}

// An empty view may carry a null pointer, which SQLite would read as NULL, not ''.
void ResultText(sqlite3_context* ctx, std::string_view s) {
  sqlite3_result_text(ctx, s.empty() ? "" : s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

// Byte offsets of each character start, plus the end: offsets[k] is character k.
std::vector<size_t> CharOffsets(std::string_view s) {
  std::vector<size_t> out;
  out.reserve(s.size() + 1);
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  size_t i = 0;
  while (i < s.size()) {
    out.push_back(i);
    NextChar(p, s.size(), i);
  }
  out.push_back(s.size());
  return out;
}

std::vector<uint32_t> FoldedChars(std::string_view s) {
  std::vector<uint32_t> out;
  out.reserve(s.size());
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  size_t i = 0;
  while (i < s.size()) out.push_back(FoldLower(NextChar(p, s.size(), i)));
  return out;
}

// Characters [first, first + count) of s, clipped to s (0-based first).
std::string_view CharSlice(std::string_view s, int64_t first, int64_t count) {
  if (count <= 0 || first < 0) return {};
  std::vector<size_t> off = CharOffsets(s);
  const int64_t n = static_cast<int64_t>(off.size()) - 1;
  if (first >= n) return {};
  int64_t last = std::min(n, first + count);
  return s.substr(off[first], off[last] - off[first]);
}

int64_t CharLength(std::string_view s) {
  int64_t n = 0;
  for (unsigned char c : s) n += (c & 0xC0) != 0x80;
  return n;
}

void TLen(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  std::string s = ArgText(argv[0]);
  size_t end = s.find_last_not_of(' ');
  sqlite3_result_int64(ctx, end == std::string::npos ? 0 : CharLength(std::string_view(s).substr(0, end + 1)));
}

void FailLength(sqlite3_context* ctx, const char* function) {
  if (std::string_view(function) == "RIGHT") {
    return Fail(ctx, 536, "Invalid length parameter passed to the RIGHT function.");
  }
  Fail(ctx, 537, "Invalid length parameter passed to the LEFT or SUBSTRING function.");
}

void TSubstring(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  std::string s = ArgText(argv[0]);
  int64_t start = sqlite3_value_int64(argv[1]);
  int64_t len = sqlite3_value_int64(argv[2]);
  if (len < 0) return FailLength(ctx, "SUBSTRING");
  // Positions before 1 still count: SUBSTRING('abcdef', 0, 3) is 'ab'.
  int64_t end = start + len;  // exclusive, 1-based
  int64_t first = std::max<int64_t>(start, 1);
  ResultText(ctx, CharSlice(s, first - 1, end - first));
}

void TLeft(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  int64_t n = sqlite3_value_int64(argv[1]);
  if (n < 0) return FailLength(ctx, "LEFT");
  std::string s = ArgText(argv[0]);
  ResultText(ctx, CharSlice(s, 0, n));
}

void TRight(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  int64_t n = sqlite3_value_int64(argv[1]);
  if (n < 0) return FailLength(ctx, "RIGHT");
  std::string s = ArgText(argv[0]);
  int64_t len = CharLength(s);
  ResultText(ctx, CharSlice(s, std::max<int64_t>(0, len - n), n));
}

// 0-based index of the first match of `find` in `s` at or after `from`, or -1.
int64_t FindFolded(const std::vector<uint32_t>& s, const std::vector<uint32_t>& find, int64_t from) {
  if (find.empty()) return -1;
  const int64_t n = static_cast<int64_t>(s.size()), m = static_cast<int64_t>(find.size());
  for (int64_t i = std::max<int64_t>(from, 0); i + m <= n; ++i) {
    if (std::equal(find.begin(), find.end(), s.begin() + i)) return i;
  }
  return -1;
}

void TCharIndex(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  auto find = FoldedChars(ArgText(argv[0]));
  auto s = FoldedChars(ArgText(argv[1]));
  int64_t start = argc > 2 ? sqlite3_value_int64(argv[2]) : 1;
  int64_t at = FindFolded(s, find, std::max<int64_t>(start, 1) - 1);
  sqlite3_result_int64(ctx, at + 1);
}

void TReplace(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  std::string s = ArgText(argv[0]);
  std::string find = ArgText(argv[1]);
  std::string repl = ArgText(argv[2]);
  if (find.empty()) return ResultText(ctx, s);
  auto fs = FoldedChars(s);
  auto ff = FoldedChars(find);
  auto off = CharOffsets(s);
  std::string out;
  out.reserve(s.size());
  int64_t pos = 0;
  while (true) {
    int64_t at = FindFolded(fs, ff, pos);
    if (at < 0) break;
    out.append(s, off[pos], off[at] - off[pos]);
    out += repl;
    pos = at + static_cast<int64_t>(ff.size());
  }
  out.append(s, off[pos], std::string::npos);
  ResultText(ctx, out);
}

// ltrim (kLeft), rtrim (kRight) or trim (both): blanks off the ends.
template <bool kLeft, bool kRight = !kLeft>
void TTrim(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  std::string s = ArgText(argv[0]);
  std::string_view v = s;
  if (kLeft) {
    while (!v.empty() && v.front() == ' ') v.remove_prefix(1);
  }
  if (kRight) {
    while (!v.empty() && v.back() == ' ') v.remove_suffix(1);
  }
  ResultText(ctx, v);
}

// The characters of s in the other order.
void TReverse(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  const std::string s = ArgText(argv[0]);
  const std::vector<size_t> off = CharOffsets(s);
  std::string out;
  out.reserve(s.size());
  for (size_t k = off.size() - 1; k > 0; --k) out.append(s, off[k - 1], off[k] - off[k - 1]);
  ResultText(ctx, out);
}

// stuff(s, start, length, insert): `length` characters from `start` replaced by `insert`;
// NULL for a start outside s or a negative length.
void TStuff(sqlite3_context* ctx, int, sqlite3_value** argv) {
  for (int i = 0; i < 3; ++i)
    if (sqlite3_value_type(argv[i]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  const std::string s = ArgText(argv[0]);
  const std::vector<size_t> off = CharOffsets(s);
  const int64_t n = static_cast<int64_t>(off.size()) - 1;
  const int64_t start = sqlite3_value_int64(argv[1]), length = sqlite3_value_int64(argv[2]);
  if (start < 1 || start > n || length < 0) return sqlite3_result_null(ctx);
  const int64_t end = std::min(n, start - 1 + length);
  std::string out = s.substr(0, off[start - 1]);
  if (sqlite3_value_type(argv[3]) != SQLITE_NULL) out += ArgText(argv[3]);
  out += s.substr(off[end]);
  ResultText(ctx, out);
}

void TSpace(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  int64_t n = sqlite3_value_int64(argv[0]);
  if (n < 0) return sqlite3_result_null(ctx);
  if (n > 8000) n = 8000;  // SPACE returns at most 8000 characters
  ResultText(ctx, std::string(static_cast<size_t>(n), ' '));
}

void TReplicate(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  int64_t n = sqlite3_value_int64(argv[1]);
  if (n < 0) return sqlite3_result_null(ctx);
  std::string s = ArgText(argv[0]);
  // The result is a varchar(8000), and the server cuts a replicated text at 8000 characters
  // (replicate('x', 2000000000) is 8000 x's, not an error).
  constexpr size_t kMaxChars = 8000;
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  size_t chars = 0;
  for (size_t i = 0; i < s.size();) {
    NextChar(p, s.size(), i);
    ++chars;
  }
  if (chars == 0) return ResultText(ctx, "");
  const uint64_t times = std::min<uint64_t>(static_cast<uint64_t>(n), kMaxChars / chars + 1);
  std::string out;
  out.reserve(s.size() * times);
  for (uint64_t i = 0; i < times; ++i) out += s;
  if (times * chars > kMaxChars) {
    const auto* q = reinterpret_cast<const unsigned char*>(out.data());
    size_t at = 0;
    for (size_t k = 0; k < kMaxChars; ++k) NextChar(q, out.size(), at);
    out.resize(at);
  }
  ResultText(ctx, out);
}

template <bool kUpper>
void TCase(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  std::string s = ArgText(argv[0]);
  std::string out;
  out.reserve(s.size());
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  size_t i = 0;
  while (i < s.size()) {
    uint32_t c = NextChar(p, s.size(), i);
    AppendUtf8(out, kUpper ? FoldUpper(c) : FoldLower(c));
  }
  ResultText(ctx, out);
}

// STR(x [, length = 10 [, decimals = 0]]): right-justified; fewer decimals when the
// integral part needs the room; all stars when even that does not fit.
void TStr(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  int64_t length = argc > 1 ? sqlite3_value_int64(argv[1]) : 10;
  int64_t decimals = argc > 2 ? sqlite3_value_int64(argv[2]) : 0;
  if (length <= 0 || length > 8000 || decimals < 0) return sqlite3_result_null(ctx);
  decimals = std::min<int64_t>(decimals, 16);
  // STR works on the float value of its argument.
  double v;
  if (sqlite3_value_type(argv[0]) == SQLITE_BLOB) {
    Decimal d;
    bool is_null;
    if (!ArgDecimal(ctx, argv[0], d, is_null)) return;
    v = d.ToDouble();
  } else {
    v = sqlite3_value_double(argv[0]);
  }
  auto exact = Decimal::FromDoubleNatural(v);
  std::string text;
  for (int64_t dec = decimals; dec >= 0; --dec) {
    std::optional<Decimal> r;
    if (exact) r = Rescale(*exact, static_cast<int>(dec));
    if (!r) break;
    text = r->ToString();
    if (static_cast<int64_t>(text.size()) <= length) break;
    // Only decimals may give way; the integral part never does.
    if (dec == 0) text.clear();
  }
  if (text.empty() || static_cast<int64_t>(text.size()) > length) {
    return ResultText(ctx, std::string(static_cast<size_t>(length), '*'));
  }
  ResultText(ctx, std::string(static_cast<size_t>(length) - text.size(), ' ') + text);
}

// Code page 1252 at 0x80..0x9F (0 where the code page has no character).
constexpr uint16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// CHAR(n): the code page's character n; NULL outside 0..255.
void TChar(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  const int64_t n = sqlite3_value_int64(argv[0]);
  if (n < 0 || n > 255) return sqlite3_result_null(ctx);
  uint32_t cp = static_cast<uint32_t>(n);
  if (n >= 0x80 && n < 0xA0) cp = kCp1252High[n - 0x80] ? kCp1252High[n - 0x80] : cp;
  std::string out;
  AppendUtf8(out, cp);
  ResultText(ctx, out);
}

// ASCII(s): the code page number of the first character; NULL for ''.
void TAscii(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  const auto* p = sqlite3_value_text(argv[0]);
  const size_t n = static_cast<size_t>(sqlite3_value_bytes(argv[0]));
  if (n == 0) return sqlite3_result_null(ctx);
  size_t i = 0;
  const uint32_t cp = NextChar(p, n, i);
  if (cp < 256) return sqlite3_result_int(ctx, static_cast<int>(cp));
  for (int k = 0; k < 32; ++k)
    if (kCp1252High[k] == cp) return sqlite3_result_int(ctx, 0x80 + k);
  sqlite3_result_int(ctx, '?');  // not in the code page: stored as '?'
}

}  // namespace

void RegisterStringFunctions(sqlite3* db) {
  Define(db, "t_char", 1, TChar);
  Define(db, "t_ascii", 1, TAscii);
  Define(db, "t_len", 1, TLen);
  Define(db, "t_substring", 3, TSubstring);
  Define(db, "t_left", 2, TLeft);
  Define(db, "t_right", 2, TRight);
  Define(db, "t_charindex", 2, TCharIndex);
  Define(db, "t_charindex", 3, TCharIndex);
  Define(db, "t_replace", 3, TReplace);
  Define(db, "t_ltrim", 1, TTrim<true>);
  Define(db, "t_trim", 1, TTrim<true, true>);
  Define(db, "t_reverse", 1, TReverse);
  Define(db, "t_stuff", 4, TStuff);
  Define(db, "t_rtrim", 1, TTrim<false>);
  Define(db, "t_space", 1, TSpace);
  Define(db, "t_replicate", 2, TReplicate);
  Define(db, "t_upper", 1, TCase<true>);
  Define(db, "t_lower", 1, TCase<false>);
  Define(db, "t_str", 1, TStr);
  Define(db, "t_str", 2, TStr);
  Define(db, "t_str", 3, TStr);
}

}  // namespace morvesk::engine::sqlfn
