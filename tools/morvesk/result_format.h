// Printing result sets the way `morvesk sql` and `morvesk call` show them: an
// aligned table (or one "column | value" line per field, for wide rows), CSV (header
// line, RFC 4180 quoting, an unquoted empty field for NULL and "" for the empty text) or
// JSON (an array of row objects per result set). Rows and columns are plain text cells
// that know whether they are NULL, a number, an exact decimal or text.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace morvesk::cli {

enum class Format { kTable, kCsv, kJson };

// Parses "table", "csv", "json"; throws UsageError otherwise.
Format ParseFormat(const std::string& text);

struct Cell {
  // kDecimal: an exact decimal (decimal, numeric, money); JSON writes it as a string
  // so that no reader rounds it through a binary double.
  enum class Kind { kNull, kNumber, kDecimal, kBool, kText };
  Kind kind = Kind::kNull;
  std::string text;  // the value as shown; "NULL" is shown for kNull in tables
  static Cell Null() { return Cell{}; }
  static Cell Number(std::string t) { return Cell{Kind::kNumber, std::move(t)}; }
  static Cell Decimal(std::string t) { return Cell{Kind::kDecimal, std::move(t)}; }
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
// One block per row: "-[ RECORD n ]-" then one "column | value" line per field.
void PrintVertical(std::ostream& out, const Table& table);
void PrintCsv(std::ostream& out, const Table& table);
void PrintJson(std::ostream& out, const Table& table);

// The `index`-th result set of a script's output (from 0) in `format`: separated from the
// one before it, and flushed so that a long script shows each set as it comes.
void PrintResultSet(std::ostream& out, Format format, bool vertical, int64_t index,
                    const Table& table);

// The names CSV and JSON use: distinct, so that a reader keyed by name loses no field.
// An unnamed column is "column<n>" (n its position from 1); a name met before gets
// "_2", "_3", ... (the first free one), compared without regard to case.
std::vector<std::string> DistinctNames(const std::vector<std::string>& columns);

// JSON text of one cell and of a string.
std::string JsonCell(const Cell& cell);
std::string JsonString(const std::string& text);

}  // namespace morvesk::cli
