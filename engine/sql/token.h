// Tokens of T-SQL batch text, as the lexer produces them and the parser and the
// statement cache consume them. Keywords are plain identifiers; IsKeyword() tells them apart.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/value/types.h"

namespace morvesk::engine::sql {

enum class TokenKind : uint8_t {
  kEnd = 0,           // end of the batch; always the last token of Lex()'s result
  kIdentifier,        // regular name or keyword: FItemID, select, #TmpBal_1, ##g
  kQuotedIdentifier,  // [Order], [a]]b], "name": never a keyword
  kVariable,          // @Qty (value keeps the '@')
  kSystemVariable,    // @@ROWCOUNT (value keeps the '@@')
  kInteger,           // 42
  kDecimal,           // 12.50, .5, 3.
  kFloat,             // 1E-05, 2.5e3
  kString,            // 'it''s'
  kNString,           // N'text'
  // Operators and punctuation.
  kEq,         // =
  kNe,         // <>
  kBangEq,     // !=
  kLt,         // <
  kGt,         // >
  kLe,         // <=
  kGe,         // >=
  kNotLt,      // !<
  kNotGt,      // !>
  kPlus,       // +
  kMinus,      // -
  kStar,       // *
  kSlash,      // /
  kPercent,    // %
  kAmp,        // &
  kPipe,       // |
  kCaret,      // ^
  kTilde,      // ~
  kDot,        // .
  kComma,      // ,
  kLParen,     // (
  kRParen,     // )
  kSemicolon,  // ;
};

struct Token {
  TokenKind kind = TokenKind::kEnd;
  // The text as written in the batch: "[Order]", "'it''s'", "N'x'", "12.50".
  std::string text;
  // The meaning of the text: identifier without brackets or quotes ("Order"),
  // string contents with '' folded to ' ("it's"), numbers and names as written.
  std::string value;
  int line = 1;       // 1-based
  int column = 1;     // 1-based, counted in characters (a UTF-8 sequence is one column)
  size_t offset = 0;  // byte offset of text in the batch
  // Literal tokens (numbers and strings) only: position among the batch's literals,
  // in order of appearance, and the type the literal has as a T-SQL constant.
  int literal_index = -1;
  TypeInfo literal_type;

  bool IsLiteral() const { return kind >= TokenKind::kInteger && kind <= TokenKind::kNString; }
  // True for a regular identifier spelled `word` in any letter case (`word` in lower case).
  bool Is(std::string_view word) const;
};

// Reserved words of the dialect: a regular identifier with one of these spellings
// is a keyword (error 156 names it as such) and is never taken as an implicit alias.
bool IsReservedWord(std::string_view word);

// Display name of a token kind for diagnostics ("identifier", "'('", "end of batch").
std::string_view TokenKindName(TokenKind kind);

}  // namespace morvesk::engine::sql
