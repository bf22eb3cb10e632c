// The whole content of a company file as text: every table the company schema creates, each row
// printed exactly and the rows sorted, so that two files hold the same data exactly when their
// dumps are equal (a rolled-back operation must leave a dump as it found it).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "tests/common/table_text.h"

namespace morvesk::test {

// The tables of the company schema, read from its script (so that a table added there is
// dumped too). MORVESK_TEST_DIR is a folder two levels below the source root.
inline std::vector<std::string> CompanyTables() {
  std::ifstream in(std::string(MORVESK_TEST_DIR) + "/../../company/sql/10_tables.sql");
  std::stringstream text;
  text << in.rdbuf();
  const std::string script = text.str();
  std::vector<std::string> tables;
  const std::regex create(R"((?:^|\n)\s*create\s+table\s+([A-Za-z_][A-Za-z0-9_]*))",
                          std::regex::icase);
  for (auto it = std::sregex_iterator(script.begin(), script.end(), create);
       it != std::sregex_iterator(); ++it) {
    tables.push_back((*it)[1].str());
  }
  return tables;
}

inline std::string DumpCompanyFile(const std::string& path) {
  static const std::vector<std::string> tables = CompanyTables();
  EXPECT_GT(tables.size(), 20u) << "the company schema script was not found";
  auto db = engine::Database::Open(path, /*must_exist=*/true);
  auto sql = db->Connect();
  std::string out;
  for (const std::string& table : tables) {
    engine::BatchResult r = sql->Execute("select * from " + table);
    if (!r.ok()) {
      out += table + ": error " + r.errors.front().message + "\n";
      continue;
    }
    std::vector<std::string> lines;
    for (const engine::Result* rs : r.ResultSets()) {
      std::istringstream rows(TableText(*rs));
      for (std::string line; std::getline(rows, line);) lines.push_back(line);
    }
    std::sort(lines.begin(), lines.end());
    out += "== " + table + " (" + std::to_string(lines.size()) + " rows)\n";
    for (const std::string& line : lines) out += line + "\n";
  }
  return out;
}

}  // namespace morvesk::test
