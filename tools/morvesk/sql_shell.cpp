#include "tools/morvesk/sql_shell.h"

// The line editor: the BSD-licensed editline library through its readline-style API.
#include <editline/readline.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "tools/morvesk/script_input.h"

namespace morvesk::cli {
namespace {

constexpr char kShellHelp[] =
    "Type T-SQL over as many lines as it takes, then GO on a line of its own to run it.\n"
    "  GO [n]     run the batch typed so far (n times)\n"
    "  :reset     drop the batch typed so far\n"
    "  :list      show the batch typed so far\n"
    "  :x         switch tables between columns side by side and one line per field\n"
    "  :help      this list\n"
    "  exit, quit or Ctrl-D   leave (a batch not ended by GO is not run)\n"
    "The arrow keys edit the line and recall earlier lines; the history is kept in\n";

std::string Command(const char* line) {
  std::string s = line;
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.pop_back();
  size_t start = 0;
  while (start < s.size() && std::isspace(static_cast<unsigned char>(s[start]))) ++start;
  s.erase(0, start);
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Writes the history after each line, so that a session ended by a closed terminal keeps it.
void SaveHistory(const std::string& path) {
  if (path.empty()) return;
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
  if (write_history(path.c_str()) != 0 && !ec) {
    static bool told = false;
    if (!told) std::cerr << "morvesk sql: cannot write the history file " << path << "\n";
    told = true;
  }
}

}  // namespace

std::string HistoryPath() {
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg) {
    return std::string(xdg) + "/morvesk/history";
  }
  if (const char* home = std::getenv("HOME"); home && *home) {
    return std::string(home) + "/.local/share/morvesk/history";
  }
  return {};
}

int RunShell(BatchRunner& runner, const std::map<std::string, std::string>& variables) {
  const std::string history = HistoryPath();
  using_history();
  stifle_history(1000);
  if (!history.empty()) read_history(history.c_str());
  std::cout << "morvesk sql: T-SQL, then GO to run it; :help for the shell's commands.\n";

  company::BatchLines lines;
  for (;;) {
    const std::string prompt = std::to_string(lines.lines() + 1) + "> ";
    std::cout.flush();
    char* raw = readline(prompt.c_str());
    if (raw == nullptr) {  // Ctrl-D
      std::cout << "\n";
      break;
    }
    const std::string line = raw;
    std::free(raw);
    if (!Command(line.c_str()).empty()) {
      add_history(line.c_str());
      SaveHistory(history);
    }
    const std::string command = Command(line.c_str());
    if (command == "exit" || command == "quit") break;
    if (command == ":help") {
      std::cout << kShellHelp << "  " << (history.empty() ? "(no history file)" : history) << "\n";
      continue;
    }
    if (command == ":x") {
      runner.set_vertical(!runner.vertical());
      std::cout << (runner.vertical() ? "One line per field.\n" : "Columns side by side.\n");
      continue;
    }
    if (command == ":reset") {
      lines.Clear();
      continue;
    }
    if (command == ":list") {
      std::cout << lines.batch().text;
      continue;
    }
    if (lines.Add(line) == 0) continue;
    if (!lines.empty()) {
      company::ScriptBatch batch = lines.batch();
      batch.first_line = 1;  // errors name the line within the batch typed
      try {
        batch.text = SubstituteVariables(batch.text, variables, batch.first_line);
        runner.Run(batch);
      } catch (const ScriptError& e) {
        std::cerr << e.what() << "\n";
      }
    }
    lines.Clear();
  }
  return 0;
}

}  // namespace morvesk::cli
