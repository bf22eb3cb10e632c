// Lexer of T-SQL batch text, and the literal-independent key under which the
// runtime caches a batch's parse and translation ("simple parameterization").
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/sql/token.h"

namespace morvesk::engine::sql {

// Splits a batch into tokens; comments and white space are dropped. The last token
// is kEnd. Numeric and string literals are numbered in order of appearance and typed:
//   42 -> int (bigint beyond int, decimal(p,0) beyond bigint), 12.50 -> decimal(4,2),
//   .5 -> decimal(1,1), 1E-05 -> float, 'abc' -> varchar(3), N'abc' -> nvarchar(3).
// String lengths are in bytes of the UTF-8 text for varchar and in UTF-16 code
// units for nvarchar, at least 1 ('' is varchar(1)).
// Throws SqlError 105 for an unclosed string, 102 for a character that starts no
// token or an unclosed [name] / "name" / comment.
std::vector<Token> Lex(std::string_view text);

// The one literal token that `text` holds whole, typed as Lex() types it; false when the
// text is anything else (an error in it is left for Lex() on the whole batch to report).
bool LexLiteral(std::string_view text, Token& out);

// The token stream with every literal replaced by a placeholder carrying its full type
// (LiteralShape). Everything else is kept as written, names in their letter case, since
// result column names come from them. Two batches get the same key only when they
// differ in literal values of the same types; their parse may then serve both.
std::string ShapeKey(const std::vector<Token>& tokens);

// A literal's type as its shape key writes it: kind, text length, decimal precision and
// scale, and the digit count of an integer (its precision in decimal arithmetic).
std::string LiteralShape(const Token& t);

// The literal tokens of a stream, in literal-index order.
std::vector<Token> LiteralsOf(const std::vector<Token>& tokens);

}  // namespace morvesk::engine::sql
