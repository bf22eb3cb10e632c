// Parser of T-SQL batches into parse trees (engine/sql/ast.h). The whole batch is
// parsed before anything runs: ParseBatch returns every statement or throws.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/sql/ast.h"
#include "engine/sql/lexer.h"
#include "engine/sql/token.h"

namespace morvesk::engine::sql {

struct Batch {
  std::vector<std::unique_ptr<ast::Statement>> statements;
  // Every numeric and string literal of the batch, indexed by Token::literal_index.
  std::vector<Token> literals;
  // Indexes of literals whose value shapes the statement rather than being a run-time
  // value (type arguments, IDENTITY seeds, TOP n, CONVERT styles, ORDER BY ordinals,
  // RAISERROR severity and state, SET option arguments, every literal of a column
  // DEFAULT and of a CREATE VIEW / PROCEDURE, whose text is stored). A cached translation made
  // for one batch may serve another with the same ShapeKey only if these literals
  // are equal too. Sorted, no duplicates.
  std::vector<int> structural_literals;
};

// Lexes and parses a batch. Throws SqlError (102, 156, 105, or the not-supported
// error of ast.h's kNotSupportedError) with line and column of the offending token.
Batch ParseBatch(std::string_view text);

// Parses tokens made by Lex(). `source` is the text they came from; it provides the
// stored text of CREATE VIEW / CREATE PROCEDURE. Without it that text is rebuilt from
// the tokens (comments lost).
Batch ParseTokens(std::vector<Token> tokens, std::string_view source = {});

}  // namespace morvesk::engine::sql
