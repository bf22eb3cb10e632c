// Where `morvesk sql` reads its T-SQL from and what it does to the text before it runs:
// script files in UTF-8 (with or without a byte-order mark) or UTF-16 with a byte-order
// mark, standard input, and scripting variables $(NAME) given with -v NAME=VALUE.
#pragma once

#include <istream>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace morvesk::cli {

// A script that cannot be read or used; the message says why.
struct ScriptError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The text of a script as UTF-8: a UTF-8 byte-order mark is dropped, UTF-16 (little or
// big endian, told by its byte-order mark) is converted. ScriptError for UTF-16 that is
// cut off or holds a lone surrogate.
std::string DecodeScript(std::string bytes);

// A script read line by line, so that a script of any length is never held whole: a file
// ("-" is standard input) or a text. A UTF-8 byte-order mark is dropped; UTF-16 (with its
// mark) is converted, and held whole while it is read. File() throws ScriptError naming
// the file and the reason (no such file, a directory, permission denied).
class ScriptLines {
 public:
  static ScriptLines File(const std::string& path);
  static ScriptLines Text(std::string text);
  // The next line without its line break; false at the end.
  bool Next(std::string& line);
  int line_number() const { return line_number_; }  // of the line Next gave last

 private:
  ScriptLines() = default;
  std::unique_ptr<std::istream> owned_;
  std::istream* in_ = nullptr;
  std::string path_;
  int line_number_ = 0;
};

// Scripting variables from -v arguments: each "NAME=VALUE". ScriptError for an argument
// without '=' or with a name that is not letters, digits and '_'.
std::map<std::string, std::string> ParseVariables(const std::vector<std::string>& assignments);

// Replaces every $(NAME) in `text` by its value; names match without regard to case.
// ScriptError naming the variable and `line` (the line of the script on which `text`
// begins, counting the lines before the reference) for one that is not defined.
std::string SubstituteVariables(const std::string& text,
                                const std::map<std::string, std::string>& variables, int line = 1);

}  // namespace morvesk::cli
