// The data-driven engine cases of tests/engine/cases/*.test: reading a case file, running
// a case's batches, printing what they produced.
//
// File format (one file per feature group):
//   # ...                 comment (outside a case)
//   case <title>          starts a case; its batches run on fresh connections of the
//                         file's database (persistent tables made by earlier cases stay)
//   <T-SQL lines>         the batch text
//   GO                    ends a batch; the next one runs on the same connection
//   GO @2                 ends a batch; the next one runs on connection 2 (opened on first use)
//   CLOSE @2              closes connection 2 (its #temp tables go with it)
//   ----                  ends the last batch; expected output follows, up to the next case
//
// Output, one line per item in the order the batches produced them:
//   > name | name         a result set's header (an unnamed column shows as "?")
//   1 | 'text' | NULL     one of its rows: text values quoted, others as T-SQL prints them
//   (n rows affected)     a row count
//   message: text         PRINT or informational message
//   error <n>: text       an error the batch went on after
//   fatal <n>: text       the error that ended the batch, after what the batch produced before it
// An expected line ending in "..." matches any output line that starts with the rest.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/engine.h"

namespace morvesk::engine::test {

struct Batch {
  std::string text;
  int connection = 1;
};

struct Case {
  std::string title;
  int line = 0;
  std::vector<Batch> batches;
  std::vector<int> close_before;  // per batch: connection to close before it runs, or 0
  std::vector<std::string> expected;
};

inline std::string TrimRight(std::string s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\r' || s.back() == '\t')) s.pop_back();
  return s;
}

inline std::vector<Case> ReadCases(const std::filesystem::path& file) {
  std::ifstream in(file);
  std::vector<Case> cases;
  std::string line;
  int number = 0;
  enum { kOutside, kBatch, kExpected } state = kOutside;
  int pending_close = 0;
  int next_connection = 1;
  while (std::getline(in, line)) {
    ++number;
    std::string t = TrimRight(line);
    if (t.rfind("case ", 0) == 0) {
      cases.push_back(Case{t.substr(5), number, {}, {}, {}});
      cases.back().batches.push_back(Batch{"", 1});
      cases.back().close_before.push_back(0);
      state = kBatch;
      next_connection = 1;
      continue;
    }
    if (state == kOutside) continue;
    Case& c = cases.back();
    if (state == kBatch) {
      if (t == "----") {
        state = kExpected;
      } else if (t == "GO" || t.rfind("GO @", 0) == 0) {
        next_connection = t == "GO" ? c.batches.back().connection : std::stoi(t.substr(4));
        c.batches.push_back(Batch{"", next_connection});
        c.close_before.push_back(pending_close);
        pending_close = 0;
      } else if (t.rfind("CLOSE @", 0) == 0) {
        pending_close = std::stoi(t.substr(7));
      } else {
        c.batches.back().text += line + "\n";
      }
      continue;
    }
    c.expected.push_back(t);
  }
  for (auto& c : cases) {
    while (!c.expected.empty() && c.expected.back().empty()) c.expected.pop_back();
  }
  return cases;
}

inline std::string Cell(const Value& v) {
  if (v.is_null()) return "NULL";
  if (v.is_text()) return "'" + v.as_text() + "'";
  return v.ToString();
}

inline void Print(const BatchResult& r, std::vector<std::string>& out) {
  for (const auto& item : r.results) {
    switch (item.kind) {
      case Result::Kind::kRows: {
        std::string header = ">";
        for (size_t i = 0; i < item.columns.size(); ++i) {
          header += (i ? " | " : " ") +
                    (item.columns[i].name.empty() ? std::string("?") : item.columns[i].name);
        }
        out.push_back(header);
        for (const auto& row : item.rows) {
          std::string line;
          for (size_t i = 0; i < row.size(); ++i) line += (i ? " | " : "") + Cell(row[i]);
          out.push_back(line);
        }
        break;
      }
      case Result::Kind::kRowCount:
        out.push_back("(" + std::to_string(item.row_count) + " rows affected)");
        break;
      case Result::Kind::kMessage:
        out.push_back("message: " + item.message);
        break;
      case Result::Kind::kError:
        out.push_back("error " + std::to_string(item.error->number) + ": " + item.error->message);
        break;
    }
  }
}

inline bool Matches(const std::string& expected, const std::string& actual) {
  if (expected.size() >= 3 && expected.compare(expected.size() - 3, 3, "...") == 0) {
    return actual.rfind(expected.substr(0, expected.size() - 3), 0) == 0;
  }
  return expected == actual;
}

inline std::string Join(const std::vector<std::string>& lines) {
  std::string s;
  for (const auto& l : lines) s += "  " + l + "\n";
  return s;
}

using Connections = std::map<int, std::unique_ptr<Connection>>;
using BatchEdit = std::function<std::string(const std::string&)>;

// Runs a case's batches on `connections` of `db` (opened on first use; batch text passed
// through `edit`) and returns what they produced, one output line per item.
inline std::vector<std::string> RunCase(Database& db, const Case& c, Connections& connections,
                                        const BatchEdit& edit = nullptr) {
  std::vector<std::string> actual;
  for (size_t b = 0; b < c.batches.size(); ++b) {
    if (c.close_before[b]) connections.erase(c.close_before[b]);
    auto& conn = connections[c.batches[b].connection];
    if (!conn) conn = db.Connect();
    const std::string text = edit ? edit(c.batches[b].text) : c.batches[b].text;
    try {
      Print(conn->Execute(text), actual);
    } catch (const SqlError& e) {
      Print(conn->PartialResult(), actual);
      actual.push_back("fatal " + std::to_string(e.number) + ": " + e.message);
    }
  }
  return actual;
}

inline std::vector<std::string> RunCase(Database& db, const Case& c) {
  Connections connections;
  return RunCase(db, c, connections);
}

inline std::filesystem::path CaseDir() { return std::filesystem::path(MORVESK_TEST_DIR) / "cases"; }

inline std::vector<std::string> CaseFiles() {
  std::vector<std::string> files;
  for (const auto& e : std::filesystem::directory_iterator(CaseDir())) {
    if (e.path().extension() == ".test") files.push_back(e.path().filename().string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

inline std::string FileTestName(const ::testing::TestParamInfo<std::string>& info) {
  std::string n = info.param.substr(0, info.param.size() - 5);
  for (char& ch : n) {
    if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
  }
  return n;
}

}  // namespace morvesk::engine::test
