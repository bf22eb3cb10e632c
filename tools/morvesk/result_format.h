// Printing result sets the way `morvesk sql` and `morvesk call` show them: an
// aligned table, CSV (header line, RFC 4180 quoting, empty field for NULL) or JSON
// (an array of row objects per result set). Rows and columns are plain text cells
// that know whether they are NULL, a number or text.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace morvesk::cli {

enum class Format { kTable, kCsv, kJson };

// Parses "table", "csv", "json"; throws UsageError otherwise. `allowed` limits the
// choice (call offers table and json only).
Format ParseFormat(const std::string& text, bool csv_allowed = true);

struct Cell {
  enum class Kind { kNull, kNumber, kBool, kText };
  Kind kind = Kind::kNull;
  std::string text;  // the value as shown; "NULL" is shown for kNull in tables
  static Cell Null() { return Cell{}; }
  static Cell Number(std::string t) { return Cell{Kind::kNumber, std::move(t)}; }
  static Cell Bool(bool b) { return Cell{Kind::kBool, b ? "true" : "false"}; }
  static Cell Text(std::string t) { return Cell{Kind::kText, std::move(t)}; }
};

struct Table {
  std::vector<std::string> columns;
  std::vector<std::vector<Cell>> rows;
};

// Column names that are empty (an unnamed expression) print as "(No column name)"
// in tables and as "column<n>" in CSV and JSON.
void PrintTable(std::ostream& out, const Table& table);
void PrintCsv(std::ostream& out, const Table& table);
void PrintJson(std::ostream& out, const Table& table);

// JSON text of one cell and of a string.
std::string JsonCell(const Cell& cell);
std::string JsonString(const std::string& text);

}  // namespace morvesk::cli
