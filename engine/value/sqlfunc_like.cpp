// T-SQL LIKE as an SQL function: %, _, [abc], [a-z] and [^a] under the default
// collation (case-insensitive), an optional ESCAPE character, and the matched
// value's trailing blanks ignored for varchar/char.
#include <sqlite3.h>

#include <cstdint>
#include <new>
#include <optional>
#include <vector>

#include "engine/value/sqlfunc_internal.h"

namespace morvesk::engine::sqlfn {
namespace {

struct LikeToken {
  enum class Kind : uint8_t { kChar, kAnyOne, kAnyMany, kSet } kind = Kind::kChar;
  uint32_t ch = 0;                                    // kChar, folded
  bool negated = false;                               // kSet: [^...]
  std::vector<std::pair<uint32_t, uint32_t>> ranges;  // kSet: folded, inclusive
};

struct LikePattern {
  std::vector<LikeToken> tokens;
  bool never_matches = false;  // a '[' without its ']'
};

bool InSet(const LikeToken& t, uint32_t c) {
  bool in = false;
  for (const auto& [lo, hi] : t.ranges) {
    if (c >= lo && c <= hi) {
      in = true;
      break;
    }
  }
  return in != t.negated;
}

LikePattern Compile(const std::vector<uint32_t>& p, std::optional<uint32_t> escape) {
  LikePattern out;
  for (size_t i = 0; i < p.size(); ++i) {
    LikeToken t;
    const uint32_t c = p[i];
    if (escape && c == *escape && i + 1 < p.size()) {
      t.ch = p[++i];
    } else if (c == '%') {
      // Consecutive % are one.
      if (!out.tokens.empty() && out.tokens.back().kind == LikeToken::Kind::kAnyMany) continue;
      t.kind = LikeToken::Kind::kAnyMany;
    } else if (c == '_') {
      t.kind = LikeToken::Kind::kAnyOne;
    } else if (c == '[') {
      size_t j = i + 1;
      t.kind = LikeToken::Kind::kSet;
      if (j < p.size() && p[j] == '^') {
        t.negated = true;
        ++j;
      }
      // A ']' right after the opening bracket is a member, not the end.
      const size_t first = j;
      while (j < p.size() && (p[j] != ']' || j == first)) {
        uint32_t lo = p[j];
        if (escape && lo == *escape && j + 1 < p.size()) lo = p[++j];
        if (j + 2 < p.size() && p[j + 1] == '-' && p[j + 2] != ']') {
          uint32_t hi = p[j + 2];
          if (hi < lo) std::swap(lo, hi);
          t.ranges.emplace_back(lo, hi);
          j += 3;
        } else {
          t.ranges.emplace_back(lo, lo);
          ++j;
        }
      }
      if (j >= p.size()) {
        out.never_matches = true;
        return out;
      }
      i = j;
    } else {
      t.ch = c;
    }
    out.tokens.push_back(std::move(t));
  }
  return out;
}

bool MatchOne(const LikeToken& t, uint32_t c) {
  switch (t.kind) {
    case LikeToken::Kind::kChar: return t.ch == c;
    case LikeToken::Kind::kAnyOne: return true;
    case LikeToken::Kind::kSet: return InSet(t, c);
    case LikeToken::Kind::kAnyMany: return false;
  }
  return false;
}

// Every token but % matches exactly one character, so backtracking to the last
// % seen is enough. When the pattern ends, a rest made only of blanks still
// matches if `ignore_trailing_blanks`.
bool Match(const LikePattern& pat, const std::vector<uint32_t>& v, bool ignore_trailing_blanks) {
  if (pat.never_matches) return false;
  const auto& tk = pat.tokens;
  size_t ti = 0, vi = 0;
  size_t star = SIZE_MAX, star_v = 0;
  auto rest_blank = [&](size_t from) {
    if (!ignore_trailing_blanks) return from == v.size();
    for (size_t k = from; k < v.size(); ++k)
      if (v[k] != ' ') return false;
    return true;
  };
  while (true) {
    if (ti == tk.size() && rest_blank(vi)) return true;
    if (ti < tk.size() && tk[ti].kind == LikeToken::Kind::kAnyMany) {
      star = ti++;
      star_v = vi;
      continue;
    }
    if (ti < tk.size() && vi < v.size() && MatchOne(tk[ti], v[vi])) {
      ++ti;
      ++vi;
      continue;
    }
    if (star == SIZE_MAX || star_v >= v.size()) return false;
    ti = star + 1;
    vi = ++star_v;
  }
}

void DeletePattern(void* p) { delete static_cast<LikePattern*>(p); }

std::vector<uint32_t> Folded(sqlite3_value* v) {
  const auto* s = sqlite3_value_text(v);
  const size_t n = static_cast<size_t>(sqlite3_value_bytes(v));
  std::vector<uint32_t> out;
  out.reserve(n);
  size_t i = 0;
  while (i < n) out.push_back(FoldLower(NextChar(s, n, i)));
  return out;
}

// t_like(value, pattern, escape, ignore_trailing_blanks): 1, 0 or NULL.
void TLike(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL)
    return sqlite3_result_null(ctx);
  const bool ignore_blanks = sqlite3_value_int(argv[3]) != 0;
  // The compiled pattern is kept with the statement while the pattern stays the same.
  if (const auto* cached = static_cast<const LikePattern*>(sqlite3_get_auxdata(ctx, 1)))
    return sqlite3_result_int(ctx, Match(*cached, Folded(argv[0]), ignore_blanks));
  std::optional<uint32_t> escape;
  if (sqlite3_value_type(argv[2]) != SQLITE_NULL) {
    std::vector<uint32_t> e = Folded(argv[2]);
    if (e.size() != 1)
      return Fail(ctx, 506, "The invalid escape character \"" + ArgText(argv[2]) +
                                "\" was specified in a LIKE predicate.");
    escape = e[0];
  }
  auto* pat = new (std::nothrow) LikePattern(Compile(Folded(argv[1]), escape));
  if (pat == nullptr) return sqlite3_result_error_nomem(ctx);
  sqlite3_result_int(ctx, Match(*pat, Folded(argv[0]), ignore_blanks));
  sqlite3_set_auxdata(ctx, 1, pat, DeletePattern);  // SQLite owns it from here
}

// t_patindex(pattern, value): the position of the first match of a LIKE pattern, 0 when
// none; a pattern that does not start with % matches at the start only.
void TPatIndex(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL)
    return sqlite3_result_null(ctx);
  LikePattern pat = Compile(Folded(argv[0]), std::nullopt);
  const bool anywhere = !pat.tokens.empty() && pat.tokens.front().kind == LikeToken::Kind::kAnyMany;
  if (anywhere) pat.tokens.erase(pat.tokens.begin());
  const std::vector<uint32_t> v = Folded(argv[1]);
  // '%' alone matches from the first character.
  if (anywhere && pat.tokens.empty()) return sqlite3_result_int64(ctx, v.empty() ? 0 : 1);
  for (size_t start = 0; start <= (anywhere ? v.size() : 0); ++start) {
    const std::vector<uint32_t> rest(v.begin() + static_cast<std::ptrdiff_t>(start), v.end());
    if (Match(pat, rest, false)) {
      // A pattern that matches nothing but the empty rest has no position.
      if (start == v.size()) break;
      return sqlite3_result_int64(ctx, static_cast<int64_t>(start) + 1);
    }
  }
  sqlite3_result_int64(ctx, 0);
}

}  // namespace

void RegisterLikeFunctions(sqlite3* db) {
  Define(db, "t_like", 4, TLike);
  Define(db, "t_patindex", 2, TPatIndex);
}

}  // namespace morvesk::engine::sqlfn
