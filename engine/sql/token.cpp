// Keyword recognition and token names.
#include "engine/sql/token.h"

#include <algorithm>
#include <iterator>

#include "base/ascii.h"

namespace morvesk::engine::sql {
namespace {

using base::EqualsNoCase;

// The dialect's reserved words, lower case, sorted for binary search.
constexpr std::string_view kReserved[] = {
    "add", "all", "alter", "and", "any", "as", "asc", "authorization", "backup", "begin",
    "between", "break", "browse", "bulk", "by", "cascade", "case", "check", "checkpoint",
    "close", "clustered", "coalesce", "collate", "column", "commit", "compute", "constraint",
    "contains", "containstable", "continue", "convert", "create", "cross", "current",
    "current_date", "current_time", "current_timestamp", "current_user", "cursor", "database",
    "dbcc", "deallocate", "declare", "default", "delete", "deny", "desc", "disk", "distinct",
    "distributed", "double", "drop", "dump", "else", "end", "errlvl", "escape", "except", "exec",
    "execute", "exists", "exit", "external", "fetch", "file", "fillfactor", "for", "foreign",
    "freetext", "freetexttable", "from", "full", "function", "goto", "grant", "group", "having",
    "holdlock", "identity", "identity_insert", "identitycol", "if", "in", "index", "inner",
    "insert", "intersect", "into", "is", "join", "key", "kill", "left", "like", "lineno", "load",
    "merge", "national", "nocheck", "nonclustered", "not", "null", "nullif", "of", "off",
    "offsets", "on", "open", "opendatasource", "openquery", "openrowset", "openxml", "option",
    "or", "order", "outer", "over", "percent", "pivot", "plan", "precision", "primary", "print",
    "proc", "procedure", "public", "raiserror", "read", "readtext", "reconfigure", "references",
    "replication", "restore", "restrict", "return", "revert", "revoke", "right", "rollback",
    "rowcount", "rowguidcol", "rule", "save", "schema", "securityaudit", "select",
    "semantickeyphrasetable", "semanticsimilaritydetailstable", "semanticsimilaritytable",
    "session_user", "set", "setuser", "shutdown", "some", "statistics", "system_user", "table",
    "tablesample", "textsize", "then", "to", "top", "tran", "transaction", "trigger", "truncate",
    "try_convert", "tsequal", "union", "unique", "unpivot", "update", "updatetext", "use", "user",
    "values", "varying", "view", "waitfor", "when", "where", "while", "with", "within",
    "writetext"};
static_assert(std::is_sorted(std::begin(kReserved), std::end(kReserved)));

}  // namespace

bool Token::Is(std::string_view word) const {
  return kind == TokenKind::kIdentifier && EqualsNoCase(text, word);
}

bool IsReservedWord(std::string_view word) {
  if (word.size() > 32) return false;
  std::string lower(word);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return std::binary_search(std::begin(kReserved), std::end(kReserved), std::string_view(lower));
}

std::string_view TokenKindName(TokenKind kind) {
  switch (kind) {
    case TokenKind::kEnd: return "end of batch";
    case TokenKind::kIdentifier: return "identifier";
    case TokenKind::kQuotedIdentifier: return "quoted identifier";
    case TokenKind::kVariable: return "variable";
    case TokenKind::kSystemVariable: return "system variable";
    case TokenKind::kInteger: return "integer";
    case TokenKind::kDecimal: return "decimal number";
    case TokenKind::kFloat: return "float number";
    case TokenKind::kString: return "string";
    case TokenKind::kNString: return "unicode string";
    case TokenKind::kEq: return "'='";
    case TokenKind::kNe: return "'<>'";
    case TokenKind::kBangEq: return "'!='";
    case TokenKind::kLt: return "'<'";
    case TokenKind::kGt: return "'>'";
    case TokenKind::kLe: return "'<='";
    case TokenKind::kGe: return "'>='";
    case TokenKind::kNotLt: return "'!<'";
    case TokenKind::kNotGt: return "'!>'";
    case TokenKind::kPlus: return "'+'";
    case TokenKind::kMinus: return "'-'";
    case TokenKind::kStar: return "'*'";
    case TokenKind::kSlash: return "'/'";
    case TokenKind::kPercent: return "'%'";
    case TokenKind::kAmp: return "'&'";
    case TokenKind::kPipe: return "'|'";
    case TokenKind::kCaret: return "'^'";
    case TokenKind::kTilde: return "'~'";
    case TokenKind::kDot: return "'.'";
    case TokenKind::kComma: return "','";
    case TokenKind::kLParen: return "'('";
    case TokenKind::kRParen: return "')'";
    case TokenKind::kSemicolon: return "';'";
  }
  return "token";
}

}  // namespace morvesk::engine::sql
