// The interactive side of `morvesk sql`: what a person types at a terminal, line by line,
// with line editing and a history kept across sessions.
#pragma once

#include <map>
#include <string>

#include "company/script.h"

namespace morvesk::cli {

// Runs batches for the shell and holds the printing mode it can switch.
class BatchRunner {
 public:
  virtual ~BatchRunner() = default;
  // Runs the batch (batch.repeat times); false when it failed (its errors are printed).
  virtual bool Run(const company::ScriptBatch& batch) = 0;
  virtual bool vertical() const = 0;
  virtual void set_vertical(bool on) = 0;
};

// The file the shell keeps its history in: $XDG_DATA_HOME/morvesk/history, or
// ~/.local/share/morvesk/history when XDG_DATA_HOME is not set; empty when neither
// XDG_DATA_HOME nor HOME is.
std::string HistoryPath();

// Reads lines from the terminal with the prompt "n> " (n the line within the batch), runs
// the batch at GO or GO n, and leaves at exit, quit or end of input (Ctrl-D); a batch not
// ended by GO is then dropped. $(NAME) is replaced in each batch from `variables`.
// Returns the exit code (0).
int RunShell(BatchRunner& runner, const std::map<std::string, std::string>& variables);

}  // namespace morvesk::cli
