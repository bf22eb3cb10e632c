// Lexer: batch text -> tokens with positions and typed, numbered literals.
#include "engine/sql/lexer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "engine/error.h"

namespace morvesk::engine::sql {
namespace {

bool IsAsciiAlpha(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }
// Non-ASCII bytes belong to names: the dialect allows letters of any script there.
bool IsNameStart(unsigned char c) { return IsAsciiAlpha(c) || c == '_' || c == '#' || c >= 0x80; }
bool IsNamePart(unsigned char c) { return IsNameStart(c) || IsDigit(c) || c == '@' || c == '$'; }

[[noreturn]] void Fail(int number, std::string message, int line, int column) {
  SqlError e(number, 15, std::move(message), line);
  e.column = column;
  throw e;
}

// Number of UTF-16 code units of UTF-8 text: nvarchar lengths count those.
int32_t Utf16Length(std::string_view s) {
  int32_t n = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if ((c & 0xC0) == 0x80) continue;
    n += (c >= 0xF0) ? 2 : 1;
  }
  return n;
}

class Lexer {
 public:
  explicit Lexer(std::string_view text) : text_(text) {}

  std::vector<Token> Run() {
    std::vector<Token> out;
    // About one token per five characters of T-SQL; spares most regrowth.
    out.reserve(text_.size() / 5 + 8);
    for (;;) {
      SkipBlanksAndComments();
      if (pos_ >= text_.size()) break;
      out.push_back(Next());
    }
    Token end;
    end.kind = TokenKind::kEnd;
    end.line = line_;
    end.column = column_;
    end.offset = text_.size();
    out.push_back(std::move(end));
    return out;
  }

  bool One(Token& out) {
    try {
      SkipBlanksAndComments();
      if (pos_ >= text_.size()) return false;
      Token t = Next();
      SkipBlanksAndComments();
      if (pos_ != text_.size() || !t.IsLiteral()) return false;
      out = std::move(t);
      return true;
    } catch (const SqlError&) {
      return false;
    }
  }

 private:
  unsigned char At(size_t i) const {
    return i < text_.size() ? static_cast<unsigned char>(text_[i]) : 0;
  }

  // Moves over n bytes, keeping line and column (columns count characters; CR LF,
  // lone CR and lone LF each end a line).
  void Advance(size_t n) {
    for (size_t k = 0; k < n && pos_ < text_.size(); ++k) {
      unsigned char c = At(pos_);
      ++pos_;
      if (c == '\n') {
        ++line_;
        column_ = 1;
      } else if (c == '\r') {
        if (At(pos_) != '\n') {
          ++line_;
          column_ = 1;
        }
      } else if ((c & 0xC0) != 0x80) {
        ++column_;
      }
    }
  }

  void SkipBlanksAndComments() {
    for (;;) {
      unsigned char c = At(pos_);
      if (pos_ >= text_.size()) return;
      if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f') {
        Advance(1);
      } else if (c == 0xC2 && At(pos_ + 1) == 0xA0) {  // no-break space
        Advance(2);
      } else if (c == 0xE3 && At(pos_ + 1) == 0x80 && At(pos_ + 2) == 0x80) {  // ideographic space
        Advance(3);
      } else if (c == '-' && At(pos_ + 1) == '-') {
        while (pos_ < text_.size() && At(pos_) != '\n' && At(pos_) != '\r') Advance(1);
      } else if (c == '/' && At(pos_ + 1) == '*') {
        SkipBlockComment();
      } else {
        return;
      }
    }
  }

  // Block comments nest, as in the dialect.
  void SkipBlockComment() {
    int line = line_, column = column_;
    int depth = 0;
    while (pos_ < text_.size()) {
      if (At(pos_) == '/' && At(pos_ + 1) == '*') {
        ++depth;
        Advance(2);
      } else if (At(pos_) == '*' && At(pos_ + 1) == '/') {
        Advance(2);
        if (--depth == 0) return;
      } else {
        Advance(1);
      }
    }
    Fail(113, "Missing end comment mark '*/'.", line, column);
  }

  Token Start(TokenKind kind) {
    Token t;
    t.kind = kind;
    t.line = line_;
    t.column = column_;
    t.offset = pos_;
    return t;
  }

  void Finish(Token& t) { t.text = std::string(text_.substr(t.offset, pos_ - t.offset)); }

  Token Next() {
    unsigned char c = At(pos_);
    if ((c == 'N' || c == 'n') && At(pos_ + 1) == '\'') return String(true);
    if (c == '\'') return String(false);
    if (IsDigit(c) || (c == '.' && IsDigit(At(pos_ + 1)))) return Number();
    if (IsNameStart(c)) {
      Token t = Start(TokenKind::kIdentifier);
      while (pos_ < text_.size() && IsNamePart(At(pos_))) Advance(1);
      Finish(t);
      t.value = t.text;
      return t;
    }
    if (c == '@') {
      bool system = At(pos_ + 1) == '@';
      Token t = Start(system ? TokenKind::kSystemVariable : TokenKind::kVariable);
      Advance(system ? 2 : 1);
      size_t name_start = pos_;
      while (pos_ < text_.size() && IsNamePart(At(pos_))) Advance(1);
      if (pos_ == name_start && !system) {
        Fail(102, "Incorrect syntax near '@'.", t.line, t.column);
      }
      Finish(t);
      t.value = t.text;
      return t;
    }
    if (c == '[') return Quoted(']');
    if (c == '"') return Quoted('"');
    return Operator();
  }

  Token Quoted(char close) {
    Token t = Start(TokenKind::kQuotedIdentifier);
    Advance(1);
    for (;;) {
      if (pos_ >= text_.size()) {
        Fail(105, "Unclosed quotation mark after the character string '" + t.value + "'.", t.line,
             t.column);
      }
      char ch = text_[pos_];
      if (ch == close) {
        if (At(pos_ + 1) == static_cast<unsigned char>(close)) {
          t.value += close;
          Advance(2);
          continue;
        }
        Advance(1);
        break;
      }
      t.value += ch;
      Advance(1);
    }
    Finish(t);
    return t;
  }

  Token String(bool national) {
    Token t = Start(national ? TokenKind::kNString : TokenKind::kString);
    Advance(national ? 2 : 1);
    for (;;) {
      if (pos_ >= text_.size()) {
        Fail(105, "Unclosed quotation mark after the character string '" + t.value + "'.", t.line,
             t.column);
      }
      char ch = text_[pos_];
      if (ch == '\'') {
        if (At(pos_ + 1) == '\'') {
          t.value += '\'';
          Advance(2);
          continue;
        }
        Advance(1);
        break;
      }
      t.value += ch;
      Advance(1);
    }
    Finish(t);
    if (national) {
      int32_t n = Utf16Length(t.value);
      t.literal_type = TypeInfo{TypeKind::kNVarChar, 0, 0, n > 4000 ? -1 : std::max(n, 1)};
    } else {
      auto n = static_cast<int32_t>(t.value.size());
      t.literal_type = TypeInfo::VarChar(n > 8000 ? -1 : std::max(n, 1));
    }
    t.literal_index = next_literal_++;
    return t;
  }

  // A number ends at the first character that cannot continue it, so "42AND" is
  // 42 followed by AND; an exponent needs at least one digit ("1else" is 1, else).
  Token Number() {
    Token t = Start(TokenKind::kInteger);
    size_t int_start = pos_;
    while (IsDigit(At(pos_))) Advance(1);
    std::string_view int_digits = text_.substr(int_start, pos_ - int_start);
    std::string_view frac_digits;
    if (At(pos_) == '.') {
      t.kind = TokenKind::kDecimal;
      Advance(1);
      size_t frac_start = pos_;
      while (IsDigit(At(pos_))) Advance(1);
      frac_digits = text_.substr(frac_start, pos_ - frac_start);
    }
    if (At(pos_) == 'e' || At(pos_) == 'E') {
      size_t k = pos_ + 1;
      if (At(k) == '+' || At(k) == '-') ++k;
      if (IsDigit(At(k))) {
        t.kind = TokenKind::kFloat;
        Advance(k - pos_);
        while (IsDigit(At(pos_))) Advance(1);
      }
    }
    Finish(t);
    t.value = t.text;
    size_t first_significant = int_digits.find_first_not_of('0');
    int int_len = first_significant == std::string_view::npos
                      ? 0
                      : static_cast<int>(int_digits.size() - first_significant);
    if (t.kind == TokenKind::kFloat) {
      const double v = std::strtod(t.text.c_str(), nullptr);
      if (std::isinf(v)) {
        Fail(168,
             "The floating point value '" + t.text +
                 "' is out of the range of computer representation (8 bytes).",
             t.line, t.column);
      }
      t.literal_type = TypeInfo::Of(TypeKind::kFloat);
    } else if (t.kind == TokenKind::kDecimal) {
      int scale = static_cast<int>(frac_digits.size());
      int precision = std::max(int_len + scale, 1);
      if (precision > 38) OutOfRange(t);
      t.literal_type = TypeInfo::Decimal(precision, scale);
    } else {
      std::string_view digits =
          int_len == 0 ? std::string_view("0") : int_digits.substr(first_significant);
      if (int_len > 38) OutOfRange(t);
      if (FitsBelow(digits, "2147483647")) {
        t.literal_type = TypeInfo::Of(TypeKind::kInt);
      } else if (FitsBelow(digits, "9223372036854775807")) {
        t.literal_type = TypeInfo::Of(TypeKind::kBigInt);
      } else {
        t.literal_type = TypeInfo::Decimal(int_len, 0);
      }
    }
    t.literal_index = next_literal_++;
    return t;
  }

  // digits (no leading zeros) <= limit, compared as numbers.
  static bool FitsBelow(std::string_view digits, std::string_view limit) {
    if (digits.size() != limit.size()) return digits.size() < limit.size();
    return digits <= limit;
  }

  [[noreturn]] static void OutOfRange(const Token& t) {
    Fail(1007,
         "The number '" + t.text +
             "' is out of the range for numeric representation (maximum precision 38).",
         t.line, t.column);
  }

  Token Operator() {
    Token t = Start(TokenKind::kEnd);
    unsigned char c = At(pos_), d = At(pos_ + 1);
    size_t len = 1;
    switch (c) {
      case '=':
        t.kind = TokenKind::kEq;
        break;
      case '<':
        if (d == '>')
          t.kind = TokenKind::kNe, len = 2;
        else if (d == '=')
          t.kind = TokenKind::kLe, len = 2;
        else
          t.kind = TokenKind::kLt;
        break;
      case '>':
        if (d == '=')
          t.kind = TokenKind::kGe, len = 2;
        else
          t.kind = TokenKind::kGt;
        break;
      case '!':
        if (d == '=')
          t.kind = TokenKind::kBangEq, len = 2;
        else if (d == '<')
          t.kind = TokenKind::kNotLt, len = 2;
        else if (d == '>')
          t.kind = TokenKind::kNotGt, len = 2;
        break;
      case '+':
        t.kind = TokenKind::kPlus;
        break;
      case '-':
        t.kind = TokenKind::kMinus;
        break;
      case '*':
        t.kind = TokenKind::kStar;
        break;
      case '/':
        t.kind = TokenKind::kSlash;
        break;
      case '%':
        t.kind = TokenKind::kPercent;
        break;
      case '&':
        t.kind = TokenKind::kAmp;
        break;
      case '|':
        t.kind = TokenKind::kPipe;
        break;
      case '^':
        t.kind = TokenKind::kCaret;
        break;
      case '~':
        t.kind = TokenKind::kTilde;
        break;
      case '.':
        t.kind = TokenKind::kDot;
        break;
      case ',':
        t.kind = TokenKind::kComma;
        break;
      case '(':
        t.kind = TokenKind::kLParen;
        break;
      case ')':
        t.kind = TokenKind::kRParen;
        break;
      case ';':
        t.kind = TokenKind::kSemicolon;
        break;
      default:
        break;
    }
    if (t.kind == TokenKind::kEnd) {
      // One whole UTF-8 character in the message, not a lone lead byte.
      size_t n = 1;
      while (pos_ + n < text_.size() && (At(pos_ + n) & 0xC0) == 0x80) ++n;
      Fail(102, "Incorrect syntax near '" + std::string(text_.substr(pos_, n)) + "'.", t.line,
           t.column);
    }
    Advance(len);
    Finish(t);
    t.value = t.text;
    return t;
  }

  std::string_view text_;
  size_t pos_ = 0;
  int line_ = 1;
  int column_ = 1;
  int next_literal_ = 0;
};

// Significant digits of an integer literal: in decimal arithmetic an integer constant
// takes the precision of its digits (2 is decimal(1,0), 100 is decimal(3,0)).
int IntegerDigits(std::string_view text) {
  int digits = 0;
  bool leading = true;
  for (char ch : text) {
    if (ch < '0' || ch > '9') continue;
    if (leading && ch == '0') continue;
    leading = false;
    ++digits;
  }
  return digits == 0 ? 1 : digits;  // 0 is a one-digit constant
}

}  // namespace

std::vector<Token> Lex(std::string_view text) { return Lexer(text).Run(); }

bool LexLiteral(std::string_view text, Token& out) { return Lexer(text).One(out); }

std::string LiteralShape(const Token& t) {
  const TypeInfo& ty = t.literal_type;
  auto len = [&] { return "(" + std::to_string(ty.length) + ")"; };
  switch (ty.kind) {
    case TypeKind::kInt:
      return "?i" + std::to_string(IntegerDigits(t.value));
    case TypeKind::kBigInt:
      return "?b" + std::to_string(IntegerDigits(t.value));
    case TypeKind::kFloat:
      return "?f";
    case TypeKind::kDecimal:
      return "?d(" + std::to_string(ty.precision) + "," + std::to_string(ty.scale) + ")";
    case TypeKind::kNVarChar:
      return "?n" + len();
    default:
      return "?s" + len();
  }
}

std::string ShapeKey(const std::vector<Token>& tokens) {
  std::string key;
  int line = tokens.empty() ? 1 : tokens.front().line;
  for (const Token& t : tokens) {
    if (t.kind == TokenKind::kEnd) break;
    // Line breaks are part of the shape: statements of a cached parse keep their lines.
    if (t.line > line) {
      key.append(static_cast<size_t>(t.line - line), '\n');
      line = t.line;
    } else if (!key.empty()) {
      key += ' ';
    }
    // Names keep their spelling: a column's name in a result comes from the text.
    key += t.IsLiteral() ? LiteralShape(t) : t.text;
  }
  return key;
}

std::vector<Token> LiteralsOf(const std::vector<Token>& tokens) {
  std::vector<Token> out;
  for (const Token& t : tokens) {
    if (t.IsLiteral()) out.push_back(t);
  }
  std::sort(out.begin(), out.end(),
            [](const Token& a, const Token& b) { return a.literal_index < b.literal_index; });
  return out;
}

}  // namespace morvesk::engine::sql
