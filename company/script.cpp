#include "company/script.h"

#include <cctype>

namespace morvesk::company {
namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

// GO [count]: returns the count (1 when absent), or 0 when the line is not a GO line.
int GoCount(std::string_view line) {
  line = Trim(line);
  if (line.size() < 2 || std::toupper(static_cast<unsigned char>(line[0])) != 'G' ||
      std::toupper(static_cast<unsigned char>(line[1])) != 'O') {
    return 0;
  }
  std::string_view rest = line.substr(2);
  if (rest.empty()) return 1;
  if (!std::isspace(static_cast<unsigned char>(rest.front()))) return 0;
  rest = Trim(rest);
  int n = 0;
  for (char c : rest) {
    if (!std::isdigit(static_cast<unsigned char>(c)) || n > 100000) return 0;
    n = n * 10 + (c - '0');
  }
  return n > 0 ? n : 0;
}

// Follows comments and quoted texts across a line, so that the state at its end
// is known for the next one.
void ScanLine(std::string_view line, bool& in_block_comment, bool& in_string) {
  for (size_t i = 0; i < line.size(); ++i) {
    char c = line[i];
    char next = i + 1 < line.size() ? line[i + 1] : '\0';
    if (in_block_comment) {
      if (c == '*' && next == '/') {
        in_block_comment = false;
        ++i;
      }
    } else if (in_string) {
      if (c == '\'') in_string = false;  // a doubled quote re-enters at once
    } else if (c == '\'') {
      in_string = true;
    } else if (c == '-' && next == '-') {
      return;
    } else if (c == '/' && next == '*') {
      in_block_comment = true;
      ++i;
    }
  }
}

}  // namespace

std::vector<ScriptBatch> SplitBatches(std::string_view script) {
  std::vector<ScriptBatch> batches;
  ScriptBatch current;
  int line_no = 0;
  bool in_block_comment = false;
  bool in_string = false;
  auto finish = [&](int repeat, int next_line) {
    if (!Trim(current.text).empty()) {
      current.repeat = repeat;
      batches.push_back(std::move(current));
    }
    current = ScriptBatch{};
    current.first_line = next_line;
  };
  size_t pos = 0;
  while (pos <= script.size()) {
    size_t end = script.find('\n', pos);
    if (end == std::string_view::npos) end = script.size();
    std::string_view line = script.substr(pos, end - pos);
    if (end == script.size() && line.empty() && pos > 0) break;  // after the final newline
    ++line_no;
    // A GO inside a /* */ comment or a quoted text is part of the batch.
    int go = (in_block_comment || in_string) ? 0 : GoCount(line);
    if (go > 0) {
      finish(go, line_no + 1);
    } else {
      current.text.append(line);
      current.text.push_back('\n');
      ScanLine(line, in_block_comment, in_string);
    }
    if (end == script.size()) break;
    pos = end + 1;
  }
  finish(1, line_no + 1);
  return batches;
}

int BatchLines::Add(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  ++line_no_;
  ++lines_;
  const int go = (in_block_comment_ || in_string_) ? 0 : GoCount(line);
  if (go > 0) {
    current_.repeat = go;
    return go;
  }
  current_.text.append(line);
  current_.text.push_back('\n');
  ScanLine(line, in_block_comment_, in_string_);
  return 0;
}

bool BatchLines::empty() const { return Trim(current_.text).empty(); }

void BatchLines::Clear() {
  current_ = ScriptBatch{};
  current_.first_line = line_no_ + 1;
  lines_ = 0;
}

}  // namespace morvesk::company
