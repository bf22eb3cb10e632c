// The one error type of the engine: a T-SQL error with SQL Server's number,
// severity, state, line and message text.
#pragma once

#include <stdexcept>
#include <string>

namespace morvesk::engine {

struct SqlError : std::runtime_error {
  SqlError(int number, int severity, std::string message, int line = 0, int state = 1,
           std::string procedure = {})
      : std::runtime_error(message),
        number(number),
        severity(severity),
        state(state),
        line(line),
        message(std::move(message)),
        procedure(std::move(procedure)) {}

  int number;     // 2627, 515, 8134, 50000 ...
  int severity;   // 16 for most user errors; 15 for syntax errors
  int state;
  int line;       // line in the batch (or procedure body) where the statement starts
  std::string message;
  std::string procedure;  // name of the procedure the error was raised in, if any
  int column = 0;         // syntax errors: 1-based column of the offending token

  // Constraint violations (2627, 2601, 515, 547): the data-access layer reports
  // them as integrity violations.
  bool IsConstraintViolation() const {
    return number == 2627 || number == 2601 || number == 515 || number == 547;
  }
};

// A batch stopped because its client cancelled it (Connection::Interrupt). It ends the
// batch like any batch-ending error; an open transaction stays open, as the server
// leaves it after a cancel.
inline constexpr int kBatchCancelledError = 3617;
inline SqlError BatchCancelled() {
  return SqlError(kBatchCancelledError, 11, "The batch was cancelled by its client.");
}

}  // namespace morvesk::engine
