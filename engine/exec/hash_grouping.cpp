#include "engine/exec/hash_grouping.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdint>
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

// A grouping key under construction: one buffer kept from row to row, written through
// a pointer so that a row's key costs no allocation once the buffer has grown.
class KeyBuilder {
 public:
  void Clear() { size_ = 0; }
  std::string_view View() const {
    return std::string_view(reinterpret_cast<const char*>(buf_.data()), size_);
  }
  // Room for `more` bytes at the end; Advance() then counts the bytes written.
  unsigned char* Room(size_t more) {
    if (size_ + more > buf_.size()) [[unlikely]]
      Grow(more);
    return buf_.data() + size_;
  }
  void Advance(size_t n) { size_ += n; }

 private:
  [[gnu::noinline]] void Grow(size_t more) { buf_.resize(std::max(2 * buf_.size(), size_ + more)); }

  std::vector<unsigned char> buf_ = std::vector<unsigned char>(256);
  size_t size_ = 0;
};

void PutInt(KeyBuilder& key, int64_t i) {
  unsigned char* p = key.Room(1 + sizeof i);
  p[0] = 'i';
  std::memcpy(p + 1, &i, sizeof i);
  key.Advance(1 + sizeof i);
}

// Appends a key column's value to `key` so that two values compare equal as the
// grouping compares them exactly when their bytes are equal: text folded as the TSQL
// collation folds it, trailing blanks dropped; a whole float as the integer it equals.
void AppendKey(KeyBuilder& key, sqlite3_value* v) {
  switch (sqlite3_value_type(v)) {
    case SQLITE_NULL:
      *key.Room(1) = 'n';
      key.Advance(1);
      return;
    case SQLITE_INTEGER:
      PutInt(key, sqlite3_value_int64(v));
      return;
    case SQLITE_FLOAT: {
      double d = sqlite3_value_double(v);
      if (d >= -9.2e18 && d <= 9.2e18 && d == std::floor(d)) {
        PutInt(key, static_cast<int64_t>(d));
        return;
      }
      if (d == 0) d = 0;  // -0.0 groups with 0.0
      unsigned char* p = key.Room(1 + sizeof d);
      p[0] = 'f';
      std::memcpy(p + 1, &d, sizeof d);
      key.Advance(1 + sizeof d);
      return;
    }
    case SQLITE_TEXT: {
      const auto* s = sqlite3_value_text(v);
      size_t n = static_cast<size_t>(sqlite3_value_bytes(v));
      // 'a' and 'a ' are one group. A fault here shows in no result: the query keeps its
      // GROUP BY and SQLite groups the groups' rows again under the TSQL collation
      // (bind_grouping.cpp), so split groups would only cost rows, not change sums.
      // A blank byte is always a blank character (no UTF-8 sequence holds one, and no
      // other character folds to it), so the blanks go before the folding.
      while (n > 0 && s[n - 1] == ' ') --n;
      // Each folded character: one byte below 0x80, or 0x80 and three bytes of its code
      // (NextChar reads at most 21 bits); 0xFF ends the text, as no character starts
      // with it. At most four key bytes a text byte.
      unsigned char* const begin = key.Room(2 + 4 * n);
      unsigned char* p = begin;
      *p++ = 't';
      for (size_t i = 0; i < n;) {
        uint32_t c = s[i];
        if (c < 0x80) {
          ++i;
          *p++ = static_cast<unsigned char>(c - 'A' < 26u ? c + 32 : c);
        } else {
          c = sqlfn::FoldLower(sqlfn::NextChar(s, n, i));
          p[0] = 0x80;
          p[1] = static_cast<unsigned char>(c >> 16);
          p[2] = static_cast<unsigned char>(c >> 8);
          p[3] = static_cast<unsigned char>(c);
          p += 4;
        }
      }
      *p++ = 0xFF;
      key.Advance(static_cast<size_t>(p - begin));
      return;
    }
    default: {
      const auto* b = sqlite3_value_blob(v);
      const auto n = static_cast<uint32_t>(sqlite3_value_bytes(v));
      unsigned char* p = key.Room(1 + sizeof n + n);
      p[0] = 'b';
      std::memcpy(p + 1, &n, sizeof n);
      if (n > 0) std::memcpy(p + 1 + sizeof n, b, n);
      key.Advance(1 + sizeof n + n);
      return;
    }
  }
}

// The first row's key values of every group, to write the group's row: numbers by
// value, text and blobs end to end in one buffer, rather than a copied SQLite value
// (two allocations) per key of a group.
class KeyValues {
 public:
  void Add(sqlite3_value* v) {
    Entry e;
    e.type = sqlite3_value_type(v);
    switch (e.type) {
      case SQLITE_INTEGER:
        e.i = sqlite3_value_int64(v);
        break;
      case SQLITE_FLOAT:
        e.d = sqlite3_value_double(v);
        break;
      case SQLITE_TEXT:
      case SQLITE_BLOB: {
        const void* p = e.type == SQLITE_TEXT ? static_cast<const void*>(sqlite3_value_text(v))
                                              : sqlite3_value_blob(v);
        e.size = sqlite3_value_bytes(v);
        e.i = static_cast<int64_t>(bytes_.size());
        if (e.size > 0) bytes_.append(static_cast<const char*>(p), static_cast<size_t>(e.size));
        break;
      }
      default:
        break;
    }
    entries_.push_back(e);
  }

  // Binds without a copy: the bytes stay put until the statement's bindings are
  // cleared (no key is added while the groups are written).
  void Bind(sqlite3_stmt* st, int index, size_t at) const {
    const Entry& e = entries_[at];
    switch (e.type) {
      case SQLITE_INTEGER:
        sqlite3_bind_int64(st, index, e.i);
        return;
      case SQLITE_FLOAT:
        sqlite3_bind_double(st, index, e.d);
        return;
      case SQLITE_TEXT:
        sqlite3_bind_text(st, index, bytes_.data() + e.i, e.size, SQLITE_STATIC);
        return;
      case SQLITE_BLOB:
        sqlite3_bind_blob(st, index, bytes_.data() + e.i, e.size, SQLITE_STATIC);
        return;
      default:
        sqlite3_bind_null(st, index);
        return;
    }
  }

 private:
  struct Entry {
    int type = SQLITE_NULL;
    int size = 0;   // text, blob: bytes
    int64_t i = 0;  // integer; text, blob: where the bytes start in bytes_
    double d = 0;
  };
  std::vector<Entry> entries_;
  std::string bytes_;
};

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

// The decimal a non-null argument of a decimal sum stands for (`type` is its type).
Decimal DecimalOf(sqlite3_value* v, int type) {
  std::optional<Decimal> d;
  switch (type) {
    case SQLITE_BLOB: {
      const void* bytes = sqlite3_value_blob(v);
      d = DecodeKey(std::string_view(static_cast<const char*>(bytes),
                                     static_cast<size_t>(sqlite3_value_bytes(v))));
      if (!d) throw SqlError(8114, 16, "Error converting data type varbinary to numeric.");
      return *d;
    }
    case SQLITE_INTEGER:
      return Decimal::FromInt(sqlite3_value_int64(v));
    case SQLITE_FLOAT:
      d = Decimal::FromDoubleNatural(sqlite3_value_double(v));
      if (!d) {
        throw SqlError(8115, 16,
                       "Arithmetic overflow error converting float to data type numeric.");
      }
      return *d;
    default:
      d = Decimal::Parse(reinterpret_cast<const char*>(sqlite3_value_text(v)));
      if (!d) throw SqlError(8114, 16, "Error converting data type varchar to numeric.");
      return *d;
  }
}

constexpr std::array<__int128, 39> Powers10() {
  std::array<__int128, 39> p{};
  p[0] = 1;
  for (size_t k = 1; k < p.size(); ++k) p[k] = p[k - 1] * 10;
  return p;
}
constexpr std::array<__int128, 39> kPow10 = Powers10();

// v * 10^k (k at most 38, the widest scale); false when that leaves 128 bits.
bool ScaleUp(__int128& v, int k) {
  if (k == 0) return true;
  // Two 64-bit factors never overflow 128 bits: the common case, no overflow check.
  if (k <= 18 && v >= INT64_MIN && v <= INT64_MAX) {
    v = static_cast<__int128>(static_cast<int64_t>(v)) * static_cast<int64_t>(kPow10[k]);
    return true;
  }
  return !__builtin_mul_overflow(v, kPow10[static_cast<size_t>(k)], &v);
}

// The partial aggregates of all groups, a group's side by side (the rows come in no
// order of their groups, and each row touches all of its group's partials). Groups are
// kept in blocks of a fixed size, so that a new group never moves the others.
class Partials {
 public:
  // n: rows or non-null values; acc: the integer or decimal sum so far (at `scale`),
  // until a decimal sum outgrows 128 bits and goes on in wide_[wide].
  struct alignas(16) Cell {
    __int128 acc = 0;
    int64_t n = 0;
    int32_t scale = 0;
    int32_t wide = -1;
  };

  using KeyBuffer = std::array<unsigned char, base::kMaxKeyBytes>;

  explicit Partials(const std::string& kinds)
      : width_(kinds.size()), keeps_values_(kinds.find_first_of("mM") != std::string::npos) {}

  void AddGroup(size_t group) {
    if (group % kGroupsPerBlock == 0)
      blocks_.push_back(std::make_unique<Cell[]>(kGroupsPerBlock * width_));
    if (keeps_values_) best_.resize(best_.size() + width_);
  }

  // The first of a group's cells; its aggregates' cells follow.
  Cell* Of(size_t group) {
    return &blocks_[group / kGroupsPerBlock][(group % kGroupsPerBlock) * width_];
  }
  const Cell* Of(size_t group) const {
    return &blocks_[group / kGroupsPerBlock][(group % kGroupsPerBlock) * width_];
  }

  // Folds a row's value `v` into cell `a` of a group (not for count(*), which only
  // counts the row).
  void Add(Cell& c, size_t group, size_t a, char kind, sqlite3_value* v) {
    const int type = sqlite3_value_type(v);
    if (type == SQLITE_NULL) return;
    ++c.n;
    switch (kind) {
      case 's': {
        int64_t sum = static_cast<int64_t>(c.acc);
        if (__builtin_add_overflow(sum, sqlite3_value_int64(v), &sum))
          throw SqlError(8115, 16,
                         "Arithmetic overflow error converting expression to data type bigint.");
        c.acc = sum;
        return;
      }
      case 'd':
        // Most amounts and quantities of a period are zero, and a zero leaves the sum as
        // it is (its scale is 0): only its count matters.
        if (type == SQLITE_BLOB && sqlite3_value_bytes(v) == 1 &&
            *static_cast<const unsigned char*>(sqlite3_value_blob(v)) == zero_byte_)
          return;
        AddDecimal(c, DecimalOf(v, type));
        return;
      case 'm':
      case 'M': {
        OwnedValue& b = best_[group * width_ + a];
        const int order = b ? CompareValues(v, b.get()) : 0;
        if (!b || (kind == 'm' ? order < 0 : order > 0)) b.reset(sqlite3_value_dup(v));
        return;
      }
      default:
        return;
    }
  }

  // Binds cell `a` of a group. A decimal sum is bound without a copy from `encoded`,
  // which must outlive the statement's step.
  void Bind(sqlite3_stmt* st, int index, size_t group, size_t a, char kind,
            KeyBuffer& encoded) const {
    const Cell& c = Of(group)[a];
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
      if (!r)
        throw SqlError(8115, 16,
                       "Arithmetic overflow error converting expression to data type numeric.");
      const size_t n = EncodeKeyTo(*r, encoded.data());
      sqlite3_bind_blob(st, index, encoded.data(), static_cast<int>(n), SQLITE_STATIC);
    } else {
      sqlite3_bind_value(st, index, best_[group * width_ + a].get());
    }
  }

 private:
  static constexpr size_t kGroupsPerBlock = 512;

  // Adds in place at the wider of the two scales while the sum fits 128 bits.
  void AddDecimal(Cell& c, const Decimal& x) {
    if (c.wide < 0) {
      __int128 acc = c.acc, v = x.unscaled;
      const int s = std::max<int>(c.scale, x.scale);
      if (ScaleUp(acc, s - c.scale) && ScaleUp(v, s - x.scale) &&
          !__builtin_add_overflow(acc, v, &acc)) {
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
  // The stored form of a decimal zero, the only one of a single byte.
  unsigned char zero_byte_ = static_cast<unsigned char>(EncodeKey(Decimal{})[0]);
  std::vector<std::unique_ptr<Cell[]>> blocks_;  // kGroupsPerBlock groups each
  std::vector<OwnedValue> best_;                 // m, M: by group, then aggregate
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
  std::vector<size_t> ends_;  // by group: where its key ends in keys_
};

}  // namespace

int FillGroups(sqlite3_stmt* select, sqlite3_stmt* insert, const HashGrouping& g) {
  const int nkeys = g.keys;
  const std::string& kinds = g.aggregates;
  const size_t naggs = kinds.size();
  Partials partials(kinds);
  GroupIndex index;
  KeyValues keys;  // nkeys per group, the first row's values
  KeyBuilder key;
  std::vector<sqlite3_value*> row_keys(static_cast<size_t>(nkeys));
  int rc;
  while ((rc = sqlite3_step(select)) == SQLITE_ROW) {
    key.Clear();
    for (int k = 0; k < nkeys; ++k) {
      sqlite3_value* v = sqlite3_column_value(select, k);
      row_keys[static_cast<size_t>(k)] = v;
      AppendKey(key, v);
    }
    bool added;
    const size_t group = index.Find(key.View(), added);
    if (added) {
      for (sqlite3_value* v : row_keys) keys.Add(v);
      partials.AddGroup(group);
    }
    Partials::Cell* cells = partials.Of(group);
    for (size_t a = 0; a < naggs; ++a) {
      if (kinds[a] == 'n') {
        ++cells[a].n;  // count(*): its column is a NULL placeholder, not read
        continue;
      }
      partials.Add(cells[a], group, a, kinds[a],
                   sqlite3_column_value(select, nkeys + static_cast<int>(a)));
    }
  }
  if (rc != SQLITE_DONE) return rc;
  sqlite3_reset(select);
  // The groups' values are bound in place; no binding may outlive them.
  struct ClearBindings {
    sqlite3_stmt* st;
    ~ClearBindings() { sqlite3_clear_bindings(st); }
  } clear{insert};
  std::vector<Partials::KeyBuffer> encoded(naggs);
  for (size_t group = 0; group < index.size(); ++group) {
    for (int k = 0; k < nkeys; ++k)
      keys.Bind(insert, k + 1, group * static_cast<size_t>(nkeys) + static_cast<size_t>(k));
    for (size_t a = 0; a < naggs; ++a)
      partials.Bind(insert, nkeys + static_cast<int>(a) + 1, group, a, kinds[a], encoded[a]);
    rc = sqlite3_step(insert);
    sqlite3_reset(insert);
    if (rc != SQLITE_DONE) return rc;
  }
  return SQLITE_DONE;
}

}  // namespace morvesk::engine::exec
