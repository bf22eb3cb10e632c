// Writing an edited row of a record set back to its table (Recordset::Update):
// the record set's query names one table, the provider tells that table's key,
// and one UPDATE sets the changed columns of the row found by its key and by
// every other value of the table that the record set read. When someone changed
// the row meanwhile, no row matches and the save is refused: optimistic
// locking.
#include <cctype>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/ascii.h"
#include "platform/ado/connection.h"
#include "platform/ado/recordset.h"

namespace morvesk::ado {
namespace {

using automation::ComError;
using automation::Variant;
using automation::VarType;
using base::EqualsNoCase;

struct Token {
  enum class Kind { kWord, kText, kPunct } kind;
  std::string text;  // a word without its brackets or quotes
};

// The query's tokens, comments dropped; a bracketed or double-quoted name is a
// word.
std::vector<Token> Tokenize(std::string_view s) {
  std::vector<Token> out;
  size_t i = 0;
  while (i < s.size()) {
    const char c = s[i];
    if (std::isspace(static_cast<unsigned char>(c))) {
      ++i;
    } else if (s.compare(i, 2, "--") == 0) {
      while (i < s.size() && s[i] != '\n') ++i;
    } else if (s.compare(i, 2, "/*") == 0) {
      size_t end = s.find("*/", i + 2);
      i = end == std::string_view::npos ? s.size() : end + 2;
    } else if (c == '\'') {
      size_t j = i + 1;
      while (j < s.size() && !(s[j] == '\'' && (j + 1 >= s.size() || s[j + 1] != '\''))) {
        j += s[j] == '\'' ? 2 : 1;
      }
      out.push_back({Token::Kind::kText, std::string(s.substr(i, j + 1 - i))});
      i = j + 1;
    } else if (c == '[' || c == '"') {
      const char close = c == '[' ? ']' : '"';
      size_t j = s.find(close, i + 1);
      if (j == std::string_view::npos) j = s.size();
      out.push_back({Token::Kind::kWord, std::string(s.substr(i + 1, j - i - 1))});
      i = j + 1;
    } else if (std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '#' || c == '@' ||
               static_cast<unsigned char>(c) >= 0x80) {
      size_t j = i;
      while (j < s.size() &&
             (std::isalnum(static_cast<unsigned char>(s[j])) || s[j] == '_' || s[j] == '#' ||
              s[j] == '@' || s[j] == '$' || static_cast<unsigned char>(s[j]) >= 0x80)) {
        ++j;
      }
      out.push_back({Token::Kind::kWord, std::string(s.substr(i, j - i))});
      i = j;
    } else {
      out.push_back({Token::Kind::kPunct, std::string(1, c)});
      ++i;
    }
  }
  return out;
}

bool IsWord(const Token& t, std::string_view word) {
  return t.kind == Token::Kind::kWord && EqualsNoCase(t.text, word);
}

// The one table a query reads, as written ("t_Stock", "dbo.t_Stock"); empty
// when the query is not a plain SELECT from one table (joins, unions, grouping,
// several statements).
std::optional<std::string> SingleTableOf(std::string_view source) {
  std::vector<Token> tokens = Tokenize(source);
  if (tokens.empty() || !IsWord(tokens[0], "select")) return std::nullopt;
  static constexpr std::string_view kRefused[] = {
      "union",  "except", "intersect", "group",  "having", "distinct", "into", "join",    "apply",
      "select", "insert", "update",    "delete", "exec",   "execute",  "set",  "declare", "pivot"};
  int depth = 0;
  std::optional<size_t> from;
  for (size_t i = 0; i < tokens.size(); ++i) {
    const Token& t = tokens[i];
    if (t.kind == Token::Kind::kPunct) {
      if (t.text == "(") ++depth;
      if (t.text == ")") --depth;
      continue;
    }
    if (depth != 0 || i == 0) continue;
    for (std::string_view w : kRefused) {
      if (IsWord(t, w)) return std::nullopt;
    }
    if (IsWord(t, "from") && !from) from = i;
  }
  if (!from) return std::nullopt;
  size_t i = *from + 1;
  std::string name;
  // name -> part ('.' part?)*, where "tempdb..#x" leaves a part empty
  while (i < tokens.size()) {
    if (tokens[i].kind == Token::Kind::kWord) {
      name += tokens[i++].text;
    }
    if (i < tokens.size() && tokens[i].kind == Token::Kind::kPunct && tokens[i].text == ".") {
      name += '.';
      ++i;
      continue;
    }
    break;
  }
  if (name.empty() || name.back() == '.') return std::nullopt;
  if (i < tokens.size() && IsWord(tokens[i], "as")) ++i;
  static constexpr std::string_view kClauses[] = {"where", "order", "option"};
  auto ends_clause = [&](const Token& t) {
    if (t.kind == Token::Kind::kPunct) return t.text == ";";
    for (std::string_view w : kClauses) {
      if (IsWord(t, w)) return true;
    }
    return false;
  };
  if (i < tokens.size() && tokens[i].kind == Token::Kind::kWord && !ends_clause(tokens[i])) ++i;
  if (i < tokens.size() && !ends_clause(tokens[i])) return std::nullopt;
  // Only the one statement: a second one after ';' is refused.
  for (size_t j = i; j < tokens.size(); ++j) {
    if (tokens[j].kind == Token::Kind::kPunct && tokens[j].text == ";" && j + 1 < tokens.size()) {
      return std::nullopt;
    }
  }
  return name;
}

std::string Bracketed(const std::string& name) {
  std::string out = "[";
  for (char c : name) {
    out += c;
    if (c == ']') out += ']';
  }
  return out + "]";
}

// A value as a T-SQL literal that converts back to the same stored value:
// doubles with all 17 significant digits, dates to the millisecond the engine
// keeps.
std::string Literal(const Variant& value) {
  const Variant& v = value.Deref();
  switch (v.type()) {
    case VarType::kEmpty:
    case VarType::kNull:
      return "Null";
    case VarType::kBoolean:
      return v.ToBool() ? "1" : "0";
    case VarType::kDouble:
    case VarType::kSingle: {
      char buf[40];
      std::snprintf(buf, sizeof buf, "%.17g", v.ToDouble());
      return buf;
    }
    case VarType::kDate: {
      const double days = v.ToDate().days;
      const double whole = std::trunc(days);
      int64_t ms = std::llround(std::fabs(days - whole) * 86400000.0);
      int y = 0, m = 0, d = 0, hh = 0, mi = 0, ss = 0;
      automation::DateParts(automation::DateValue{whole}, y, m, d, hh, mi, ss);
      char buf[40];
      std::snprintf(buf, sizeof buf, "'%04d-%02d-%02d %02d:%02d:%02d.%03d'", y, m, d,
                    static_cast<int>(ms / 3600000), static_cast<int>(ms / 60000 % 60),
                    static_cast<int>(ms / 1000 % 60), static_cast<int>(ms % 1000));
      return buf;
    }
    case VarType::kShort:
    case VarType::kLong:
    case VarType::kDecimal:
    case VarType::kCurrency:
    case VarType::kByte:
      return v.ToString();
    default:
      break;
  }
  if (!v.is_string()) {
    throw ComError(automation::kErrTypeMismatch, "Morvesk.Recordset",
                   "A field holds a value that cannot be written to the database (" +
                       automation::VarTypeName(v.type()) + ")");
  }
  std::string out = "'";
  for (char c : v.ToString()) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out + "'";
}

[[noreturn]] void NotUpdatable(const std::string& why) {
  throw ComError(kErrNotUpdatable, "Morvesk.Recordset",
                 "The record set cannot save its edits: " + why);
}

}  // namespace

int32_t Recordset::EditMode() const {
  if (!open_ || Eof() || Bof()) return 0;
  return originals_.count(CurrentRowIndex()) ? 1 : 0;
}

void Recordset::CancelUpdate() {
  RequireOpen();
  const size_t index = CurrentRowIndex();
  auto it = originals_.find(index);
  if (it == originals_.end()) return;
  data_.rows[index] = std::move(it->second);
  originals_.erase(it);
}

void Recordset::Update() {
  RequireOpen();
  const size_t index = CurrentRowIndex();
  auto it = originals_.find(index);
  if (it == originals_.end()) return;
  const std::vector<Variant>& before = it->second;
  const std::vector<Variant>& now = data_.rows[index];

  if (lock_type_ == LockType::kReadOnly) NotUpdatable("it was opened read-only");
  if (!connection_ || !connection_->IsOpen()) {
    NotUpdatable("it is not attached to an open connection");
  }
  std::optional<std::string> table = SingleTableOf(source_);
  if (!table) NotUpdatable("its query does not read exactly one table");
  std::optional<TableShape> shape = connection_->Session().DescribeTable(*table);
  if (!shape) NotUpdatable("there is no table named " + *table);
  if (shape->is_view) NotUpdatable(shape->name + " is a view");
  if (shape->key.empty()) NotUpdatable("table " + shape->name + " has no key");

  // The record set's columns that are columns of the table (the first of equal
  // names).
  std::vector<std::optional<std::string>> base(data_.columns.size());
  for (size_t c = 0; c < data_.columns.size(); ++c) {
    for (const std::string& column : shape->columns) {
      if (EqualsNoCase(column, data_.columns[c].name) && FindField(data_.columns[c].name) == c) {
        base[c] = column;
      }
    }
  }
  for (const std::string& k : shape->key) {
    bool read = false;
    for (const auto& b : base) read = read || (b && EqualsNoCase(*b, k));
    if (!read) NotUpdatable("it did not read " + k + ", a key column of " + shape->name);
  }

  std::string set;
  std::string where;
  for (size_t c = 0; c < data_.columns.size(); ++c) {
    const bool changed = !(before[c] == now[c]);
    if (changed && !base[c]) {
      NotUpdatable("field " + data_.columns[c].name + " is not a column of " + shape->name);
    }
    if (!base[c]) continue;
    if (changed) set += (set.empty() ? "" : ",") + Bracketed(*base[c]) + "=" + Literal(now[c]);
    where += where.empty() ? " Where " : " And ";
    where += before[c].is_null() || before[c].is_empty()
                 ? Bracketed(*base[c]) + " Is Null"
                 : Bracketed(*base[c]) + "=" + Literal(before[c]);
  }
  if (set.empty()) {
    originals_.erase(it);
    return;
  }
  std::shared_ptr<Recordset> count = connection_->Execute(
      "Update " + Bracketed(shape->name) + " Set " + set + where + "\r\nSelect @@RowCount");
  const int32_t rows = count->IsOpen() && !count->Eof() ? count->FieldAt(0).Value().ToLong() : 0;
  if (rows == 0) {
    throw ComError(kErrRowChanged, ErrorSource(),
                   "The row of " + shape->name +
                       " was changed or deleted by another user since it was "
                       "read; read it "
                       "again and repeat the edit.");
  }
  originals_.erase(it);
}

}  // namespace morvesk::ado
