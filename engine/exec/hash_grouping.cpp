#include "engine/exec/hash_grouping.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/value/sqlfunc_internal.h"

namespace morvesk::engine::exec {
namespace {

struct ValueFree {
  void operator()(sqlite3_value* v) const { sqlite3_value_free(v); }
};
using OwnedValue = std::unique_ptr<sqlite3_value, ValueFree>;

void Append(std::string& key, const void* p, size_t n) {
  key.append(static_cast<const char*>(p), n);
}

// Appends a key column's value to `key` so that two values compare equal as the
// grouping compares them exactly when their bytes are equal: text folded as the TSQL
// collation folds it, trailing blanks dropped; a whole float as the integer it equals.
void AppendKey(std::string& key, sqlite3_value* v) {
  switch (sqlite3_value_type(v)) {
    case SQLITE_NULL:
      key.push_back('n');
      return;
    case SQLITE_INTEGER: {
      const int64_t i = sqlite3_value_int64(v);
      key.push_back('i');
      Append(key, &i, sizeof i);
      return;
    }
    case SQLITE_FLOAT: {
      double d = sqlite3_value_double(v);
      if (d >= -9.2e18 && d <= 9.2e18 && d == std::floor(d)) {
        const auto i = static_cast<int64_t>(d);
        key.push_back('i');
        Append(key, &i, sizeof i);
        return;
      }
      if (d == 0) d = 0;  // -0.0 groups with 0.0
      key.push_back('f');
      Append(key, &d, sizeof d);
      return;
    }
    case SQLITE_TEXT: {
      const auto* s = sqlite3_value_text(v);
      const auto n = static_cast<size_t>(sqlite3_value_bytes(v));
      key.push_back('t');
      const size_t start = key.size();
      for (size_t i = 0; i < n;) {
        uint32_t c = s[i];
        if (c < 0x80) {
          ++i;
          if (c - 'A' < 26u) c += 32;
        } else {
          c = sqlfn::FoldLower(sqlfn::NextChar(s, n, i));
        }
        Append(key, &c, sizeof c);
      }
      // 'a' and 'a ' are one group. A fault here shows in no result: the query keeps its
      // GROUP BY and SQLite groups the groups' rows again under the TSQL collation
      // (bind_grouping.cpp), so split groups would only cost rows, not change sums.
      while (key.size() > start && key.compare(key.size() - 4, 4, "\x20\0\0\0", 4) == 0)
        key.resize(key.size() - 4);
      const uint32_t end = 0xFFFFFFFFu;  // no folded character has this value
      Append(key, &end, sizeof end);
      return;
    }
    default: {
      const auto n = static_cast<uint32_t>(sqlite3_value_bytes(v));
      key.push_back('b');
      Append(key, &n, sizeof n);
      Append(key, sqlite3_value_blob(v), n);
      return;
    }
  }
}

// SQLite's order of values as min() and max() see it: numbers, then text (under the
// TSQL collation), then blobs.
int CompareValues(sqlite3_value* a, sqlite3_value* b) {
  auto rank = [](int type) { return type == SQLITE_TEXT ? 2 : type == SQLITE_BLOB ? 3 : 1; };
  const int ta = sqlite3_value_type(a), tb = sqlite3_value_type(b);
  if (rank(ta) != rank(tb)) return rank(ta) < rank(tb) ? -1 : 1;
  if (ta == SQLITE_INTEGER && tb == SQLITE_INTEGER) {
    const int64_t x = sqlite3_value_int64(a), y = sqlite3_value_int64(b);
    return x < y ? -1 : x > y ? 1 : 0;
  }
  if (rank(ta) == 1) {
    const double x = sqlite3_value_double(a), y = sqlite3_value_double(b);
    return x < y ? -1 : x > y ? 1 : 0;
  }
  const int na = sqlite3_value_bytes(a), nb = sqlite3_value_bytes(b);
  if (ta == SQLITE_TEXT)
    return sqlfn::CompareTsql(nullptr, na, sqlite3_value_text(a), nb, sqlite3_value_text(b));
  const int c = std::memcmp(sqlite3_value_blob(a), sqlite3_value_blob(b),
                            static_cast<size_t>(std::min(na, nb)));
  return c != 0 ? c : na - nb;
}

Decimal DecimalOf(sqlite3_value* v) {
  std::optional<Decimal> d;
  switch (sqlite3_value_type(v)) {
    case SQLITE_BLOB:
      d = DecodeKey(std::string_view(static_cast<const char*>(sqlite3_value_blob(v)),
                                     static_cast<size_t>(sqlite3_value_bytes(v))));
      if (!d) throw SqlError(8114, 16, "Error converting data type varbinary to numeric.");
      return *d;
    case SQLITE_INTEGER:
      return Decimal::FromInt(sqlite3_value_int64(v));
    case SQLITE_FLOAT:
      d = Decimal::FromDoubleNatural(sqlite3_value_double(v));
      if (!d) {
        throw SqlError(8115, 16, "Arithmetic overflow error converting float to data type numeric.");
      }
      return *d;
    default:
      d = Decimal::Parse(reinterpret_cast<const char*>(sqlite3_value_text(v)));
      if (!d) throw SqlError(8114, 16, "Error converting data type varchar to numeric.");
      return *d;
  }
}

// The partial aggregates of all groups, a group's side by side (the rows come in no
// order of their groups, and each row touches all of its group's partials).
class Partials {
 public:
  explicit Partials(const std::string& kinds)
      : width_(kinds.size()), keeps_values_(kinds.find_first_of("mM") != std::string::npos) {}

  void AddGroup() {
    cells_.resize(cells_.size() + width_);
    if (keeps_values_) best_.resize(cells_.size());
  }

  void Add(size_t cell, char kind, sqlite3_value* v) {
    Cell& c = cells_[cell];
    if (kind == 'n') {
      ++c.n;
      return;
    }
    if (sqlite3_value_type(v) == SQLITE_NULL) return;
    ++c.n;
    switch (kind) {
      case 's': {
        int64_t sum = static_cast<int64_t>(c.acc);
        if (__builtin_add_overflow(sum, sqlite3_value_int64(v), &sum))
          throw SqlError(8115, 16, "Arithmetic overflow error converting expression to data type bigint.");
        c.acc = sum;
        return;
      }
      case 'd':
        AddDecimal(c, DecimalOf(v));
        return;
      case 'm':
      case 'M': {
        OwnedValue& b = best_[cell];
        const int order = b ? CompareValues(v, b.get()) : 0;
        if (!b || (kind == 'm' ? order < 0 : order > 0)) b.reset(sqlite3_value_dup(v));
        return;
      }
      default:
        return;
    }
  }

  void Bind(sqlite3_stmt* st, int index, size_t cell, char kind) const {
    const Cell& c = cells_[cell];
    if (kind == 'n' || kind == 'c') {
      sqlite3_bind_int64(st, index, c.n);
    } else if (c.n == 0) {
      sqlite3_bind_null(st, index);
    } else if (kind == 's') {
      sqlite3_bind_int64(st, index, static_cast<int64_t>(c.acc));
    } else if (kind == 'd') {
      DecimalSum sum;
      if (c.wide >= 0) {
        sum = wide_[static_cast<size_t>(c.wide)];
      } else {
        sum.Add(Decimal{c.acc, static_cast<uint8_t>(c.scale)});
      }
      const std::optional<Decimal> r = sum.Result();
      if (!r) throw SqlError(8115, 16, "Arithmetic overflow error converting expression to data type numeric.");
      const std::string bytes = EncodeKey(*r);
      sqlite3_bind_blob(st, index, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
    } else {
      sqlite3_bind_value(st, index, best_[cell].get());
    }
  }

 private:
  // n: rows or non-null values; acc: the integer or decimal sum so far (at `scale`), until
  // a decimal sum outgrows 128 bits and goes on in wide_[wide].
  struct alignas(16) Cell {
    __int128 acc = 0;
    int64_t n = 0;
    int32_t scale = 0;
    int32_t wide = -1;
  };

  void AddDecimal(Cell& c, const Decimal& x) {
    if (c.wide < 0) {
      __int128 acc = c.acc, v = x.unscaled;
      bool ok = true;
      int s = c.scale;
      if (x.scale > s) {
        for (; ok && s < x.scale; ++s) ok = !__builtin_mul_overflow(acc, 10, &acc);
      } else {
        for (int k = x.scale; ok && k < s; ++k) ok = !__builtin_mul_overflow(v, 10, &v);
      }
      if (ok && !__builtin_add_overflow(acc, v, &acc)) {
        c.acc = acc;
        c.scale = s;
        return;
      }
      DecimalSum sum;
      sum.Add(Decimal{c.acc, static_cast<uint8_t>(c.scale)});
      c.wide = static_cast<int32_t>(wide_.size());
      wide_.push_back(sum);
    }
    wide_[static_cast<size_t>(c.wide)].Add(x);
  }

  size_t width_;       // aggregates per group
  bool keeps_values_;  // min or max among them
  std::vector<Cell> cells_;        // by group, then aggregate
  std::vector<OwnedValue> best_;   // m, M: by cell
  std::vector<DecimalSum> wide_;
};

// The groups met so far: their keys end to end in one buffer, found through an open
// addressing table of (hash tag, group) pairs, so that a look-up touches one slot and
// one key rather than a chain of separately allocated nodes.
class GroupIndex {
 public:
  GroupIndex() : slots_(1024) {}

  size_t size() const { return hashes_.size(); }

  // The group of `key`; `added` tells whether it is new.
  size_t Find(std::string_view key, bool& added) {
    const uint64_t h = Hash(key);
    const auto tag = static_cast<uint32_t>(h >> 32);
    size_t mask = slots_.size() - 1;
    for (size_t i = h & mask;; i = (i + 1) & mask) {
      Slot& s = slots_[i];
      if (s.group == 0) break;
      const size_t g = s.group - 1;
      if (s.tag == tag && KeyOf(g) == key) {
        added = false;
        return g;
      }
    }
    added = true;
    const size_t g = hashes_.size();
    hashes_.push_back(h);
    keys_.append(key);
    ends_.push_back(keys_.size());
    if (2 * (g + 1) > slots_.size()) {
      Grow();
    } else {
      Place(h, g);
    }
    return g;
  }

 private:
  struct Slot {
    uint32_t tag = 0;
    uint32_t group = 0;  // group + 1; 0 marks a free slot
  };

  static uint64_t Hash(std::string_view key) {
    uint64_t h = 0x9E3779B97F4A7C15ull ^ key.size();
    size_t i = 0;
    for (; i + 8 <= key.size(); i += 8) {
      uint64_t w;
      std::memcpy(&w, key.data() + i, 8);
      h = (h ^ w) * 0xBF58476D1CE4E5B9ull;
      h ^= h >> 29;
    }
    uint64_t w = 0;
    std::memcpy(&w, key.data() + i, key.size() - i);
    h = (h ^ w) * 0x94D049BB133111EBull;
    return h ^ (h >> 31);
  }

  std::string_view KeyOf(size_t g) const {
    const size_t begin = g == 0 ? 0 : ends_[g - 1];
    return std::string_view(keys_).substr(begin, ends_[g] - begin);
  }

  void Place(uint64_t h, size_t g) {
    const size_t mask = slots_.size() - 1;
    size_t i = h & mask;
    while (slots_[i].group != 0) i = (i + 1) & mask;
    slots_[i] = Slot{static_cast<uint32_t>(h >> 32), static_cast<uint32_t>(g + 1)};
  }

  void Grow() {
    slots_.assign(slots_.size() * 2, Slot{});
    for (size_t g = 0; g < hashes_.size(); ++g) Place(hashes_[g], g);
  }

  std::vector<Slot> slots_;
  std::vector<uint64_t> hashes_;  // by group
  std::string keys_;
  std::vector<size_t> ends_;      // by group: where its key ends in keys_
};

}  // namespace

int FillGroups(sqlite3_stmt* select, sqlite3_stmt* insert, const HashGrouping& g) {
  const int nkeys = g.keys;
  const size_t naggs = g.aggregates.size();
  Partials partials(g.aggregates);
  GroupIndex index;
  std::vector<OwnedValue> keys;  // nkeys per group, the first row's values
  std::string key;
  int rc;
  while ((rc = sqlite3_step(select)) == SQLITE_ROW) {
    key.clear();
    for (int k = 0; k < nkeys; ++k) AppendKey(key, sqlite3_column_value(select, k));
    bool added;
    const size_t group = index.Find(key, added);
    if (added) {
      for (int k = 0; k < nkeys; ++k)
        keys.emplace_back(sqlite3_value_dup(sqlite3_column_value(select, k)));
      partials.AddGroup();
    }
    for (size_t a = 0; a < naggs; ++a) {
      partials.Add(group * naggs + a, g.aggregates[a],
                   sqlite3_column_value(select, nkeys + static_cast<int>(a)));
    }
  }
  if (rc != SQLITE_DONE) return rc;
  sqlite3_reset(select);
  for (size_t group = 0; group < index.size(); ++group) {
    for (int k = 0; k < nkeys; ++k)
      sqlite3_bind_value(insert, k + 1, keys[group * static_cast<size_t>(nkeys) + static_cast<size_t>(k)].get());
    for (size_t a = 0; a < naggs; ++a)
      partials.Bind(insert, nkeys + static_cast<int>(a) + 1, group * naggs + a, g.aggregates[a]);
    rc = sqlite3_step(insert);
    sqlite3_reset(insert);
    if (rc != SQLITE_DONE) return rc;
  }
  return SQLITE_DONE;
}

}  // namespace morvesk::engine::exec
