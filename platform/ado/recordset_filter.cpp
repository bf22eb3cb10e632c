#include "platform/ado/recordset_filter.h"

#include <cctype>

#include "platform/automation/com_error.h"

namespace morvesk::ado {
namespace {

using automation::ComError;
using automation::Variant;

[[noreturn]] void Bad(std::string_view criteria, const std::string& why) {
  throw ComError(automation::kErrBadArgument, "Morvesk.Recordset",
                 "Filter \"" + std::string(criteria) + "\": " + why);
}

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

class Reader {
 public:
  explicit Reader(std::string_view text) : t_(text) {}
  void SkipBlanks() {
    while (i_ < t_.size() && std::isspace(static_cast<unsigned char>(t_[i_]))) ++i_;
  }
  bool AtEnd() {
    SkipBlanks();
    return i_ >= t_.size();
  }
  // A field name: [bracketed] or a run of word characters.
  std::string Name() {
    SkipBlanks();
    if (i_ < t_.size() && t_[i_] == '[') {
      size_t end = t_.find(']', i_);
      if (end == std::string_view::npos) return {};
      std::string n(t_.substr(i_ + 1, end - i_ - 1));
      i_ = end + 1;
      return n;
    }
    size_t start = i_;
    while (i_ < t_.size() &&
           (std::isalnum(static_cast<unsigned char>(t_[i_])) || t_[i_] == '_' || t_[i_] == '#'))
      ++i_;
    return std::string(t_.substr(start, i_ - start));
  }
  std::string Op() {
    SkipBlanks();
    for (const char* op : {"<=", ">=", "<>", "=", "<", ">"}) {
      if (t_.substr(i_).starts_with(op)) {
        i_ += std::string_view(op).size();
        return op;
      }
    }
    std::string word = Upper(Name());
    return word == "LIKE" ? word : std::string();
  }
  std::optional<Variant> Value() {
    SkipBlanks();
    if (i_ >= t_.size()) return std::nullopt;
    char c = t_[i_];
    if (c == '\'' || c == '#') {
      std::string s;
      ++i_;
      while (i_ < t_.size()) {
        if (t_[i_] == c) {
          if (c == '\'' && i_ + 1 < t_.size() && t_[i_ + 1] == '\'') {
            s.push_back('\'');
            i_ += 2;
            continue;
          }
          ++i_;
          if (c == '#') {
            auto d = automation::ParseDate(s);
            if (!d) return std::nullopt;
            return Variant(*d);
          }
          return Variant(std::move(s));
        }
        s.push_back(t_[i_++]);
      }
      return std::nullopt;
    }
    size_t start = i_;
    while (i_ < t_.size() && !std::isspace(static_cast<unsigned char>(t_[i_]))) ++i_;
    std::string word(t_.substr(start, i_ - start));
    if (Upper(word) == "NULL") return Variant::Null();
    Variant v(word);
    try {
      return Variant(v.ToDouble());
    } catch (const ComError&) {
      return std::nullopt;
    }
  }
  size_t pos() const { return i_; }

 private:
  std::string_view t_;
  size_t i_ = 0;
};

bool LikeMatch(std::string_view text, std::string_view pattern) {
  // Wildcards * and % at the start and/or end, as record set filters allow.
  std::string p = Upper(pattern), s = Upper(text);
  bool lead = !p.empty() && (p.front() == '*' || p.front() == '%');
  if (lead) p.erase(0, 1);
  bool trail = !p.empty() && (p.back() == '*' || p.back() == '%');
  if (trail) p.pop_back();
  if (lead && trail) return s.find(p) != std::string::npos;
  if (lead) return s.ends_with(p);
  if (trail) return s.starts_with(p);
  return s == p;
}

std::string TrimRight(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

// -1, 0, 1; nullopt when the two cannot be compared.
std::optional<int> CompareValues(const Variant& a, const Variant& b) {
  try {
    if (b.is_string() && !a.is_string()) {
      Variant converted = Variant(b).ChangeType(a.type());
      return CompareValues(a, converted);
    }
    if (a.is_string() || b.is_string()) {
      std::string x = Upper(TrimRight(a.ToString())), y = Upper(TrimRight(b.ToString()));
      return x < y ? -1 : (x > y ? 1 : 0);
    }
    double x = a.ToDouble(), y = b.ToDouble();
    return x < y ? -1 : (x > y ? 1 : 0);
  } catch (const ComError&) {
    return std::nullopt;
  }
}

bool TermMatches(const FilterTerm& t, const Variant& v) {
  if (t.value.is_null()) {
    if (t.op == "=") return v.is_null();
    if (t.op == "<>") return !v.is_null();
    return false;
  }
  if (v.is_null()) return false;
  if (t.op == "LIKE") return LikeMatch(v.ToString(), t.value.ToString());
  auto c = CompareValues(v, t.value);
  if (!c) return false;
  if (t.op == "=") return *c == 0;
  if (t.op == "<>") return *c != 0;
  if (t.op == "<") return *c < 0;
  if (t.op == ">") return *c > 0;
  if (t.op == "<=") return *c <= 0;
  return *c >= 0;
}

}  // namespace

bool FilterExpr::Matches(const std::vector<Variant>& row) const {
  for (const auto& group : groups) {
    bool all = true;
    for (const auto& term : group) {
      if (!TermMatches(term, row[term.field])) {
        all = false;
        break;
      }
    }
    if (all) return true;
  }
  return false;
}

FilterExpr ParseFilter(std::string_view criteria,
                       const std::function<std::optional<size_t>(std::string_view)>& field_index) {
  FilterExpr expr;
  Reader r(criteria);
  expr.groups.emplace_back();
  while (true) {
    std::string name = r.Name();
    if (name.empty()) Bad(criteria, "a field name was expected at position " + std::to_string(r.pos() + 1));
    auto field = field_index(name);
    if (!field) Bad(criteria, "no field named " + name);
    std::string op = r.Op();
    if (op.empty()) Bad(criteria, "a comparison operator was expected after " + name);
    auto value = r.Value();
    if (!value) Bad(criteria, "a value was expected after " + name + " " + op);
    expr.groups.back().push_back(FilterTerm{*field, op, std::move(*value)});
    if (r.AtEnd()) break;
    std::string joiner = Upper(r.Name());
    if (joiner == "OR") {
      expr.groups.emplace_back();
    } else if (joiner != "AND") {
      Bad(criteria, "AND or OR was expected at position " + std::to_string(r.pos() + 1));
    }
  }
  return expr;
}

}  // namespace morvesk::ado
