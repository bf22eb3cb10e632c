#include "tools/morvesk/call_values.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <vector>

#include "platform/ado/recordset.h"
#include "tools/morvesk/cli_args.h"

namespace morvesk::cli {
namespace {

using automation::Variant;

struct CsvField {
  std::string text;
  bool quoted = false;
};

// One record per element; a quoted field may hold separators and line breaks.
// `lines` receives the line number each record starts on.
std::vector<std::vector<CsvField>> ParseCsv(const std::string& text, std::vector<int>& lines) {
  std::vector<std::vector<CsvField>> records;
  std::vector<CsvField> record;
  CsvField field;
  bool in_quotes = false;
  bool at_start = true;  // nothing of the current record read yet
  int line = 1;
  int record_line = 1;
  auto end_record = [&] {
    record.push_back(std::move(field));
    field = CsvField{};
    records.push_back(std::move(record));
    record.clear();
    lines.push_back(record_line);
    at_start = true;
  };
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (in_quotes) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        field.text += '"';
        ++i;
      } else if (c == '"') {
        in_quotes = false;
      } else {
        if (c == '\n') ++line;
        field.text += c;
      }
      continue;
    }
    if (at_start) record_line = line;
    if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    if (c == '\n') {
      ++line;
      // Blank lines separate nothing.
      if (at_start) continue;
      end_record();
      continue;
    }
    at_start = false;
    if (c == ',') {
      record.push_back(std::move(field));
      field = CsvField{};
    } else if (c == '"' && field.text.empty() && !field.quoted) {
      in_quotes = true;
      field.quoted = true;
    } else {
      field.text += c;
    }
  }
  if (in_quotes) throw UsageError("CSV: a quoted field is not closed");
  if (!at_start) end_record();
  return records;
}

Variant FieldValue(const CsvField& f) {
  if (f.text.empty() && !f.quoted) return Variant::Null();
  if (f.quoted || f.text.empty()) return Variant(f.text);
  const char* begin = f.text.c_str();
  char* end = nullptr;
  errno = 0;
  long long whole = std::strtoll(begin, &end, 10);
  if (*end == '\0' && errno == 0 && whole >= INT32_MIN && whole <= INT32_MAX) {
    return Variant(static_cast<int32_t>(whole));
  }
  errno = 0;
  double number = std::strtod(begin, &end);
  if (*end == '\0' && errno == 0 && f.text.find_first_of("0123456789") != std::string::npos &&
      f.text.find_first_of("xXnN") == std::string::npos) {
    return Variant(number);
  }
  return Variant(f.text);
}

// A column's type from its values: Long when every value is, else Double when
// every value is a number, else text.
ado::DataType ColumnType(const std::vector<std::vector<Variant>>& rows, size_t column) {
  bool all_long = true, all_number = true;
  for (const auto& row : rows) {
    const Variant& v = row[column];
    if (v.is_null()) continue;
    all_long = all_long && v.type() == automation::VarType::kLong;
    all_number = all_number && (v.type() == automation::VarType::kLong ||
                                v.type() == automation::VarType::kDouble);
  }
  if (all_long) return ado::DataType::kInteger;
  return all_number ? ado::DataType::kDouble : ado::DataType::kVarChar;
}

std::string ReadAll(const std::string& path) {
  if (path == "-") {
    return std::string(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) throw UsageError("cannot read the record set file '" + path + "'");
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

bool IsRecordsetArgument(std::string_view text) { return !text.empty() && text[0] == '@'; }

Variant RecordsetArgument(const std::string& text) {
  const std::string path = text.substr(1);
  std::string content = ReadAll(path);
  if (content.rfind("\xEF\xBB\xBF", 0) == 0) content.erase(0, 3);
  std::vector<int> lines;
  std::vector<std::vector<CsvField>> records = ParseCsv(content, lines);
  if (records.empty()) throw UsageError("record set file '" + path + "' has no header line");

  ado::Rowset rowset;
  for (const CsvField& f : records[0]) {
    if (f.text.empty()) throw UsageError("record set file '" + path + "': a field has no name");
    ado::ColumnInfo c;
    c.name = f.text;
    rowset.columns.push_back(std::move(c));
  }
  for (size_t r = 1; r < records.size(); ++r) {
    if (records[r].size() != rowset.columns.size()) {
      throw UsageError("record set file '" + path + "', line " + std::to_string(lines[r]) + ": " +
                       std::to_string(records[r].size()) + " fields where the header has " +
                       std::to_string(rowset.columns.size()));
    }
    std::vector<Variant> row;
    for (const CsvField& f : records[r]) row.push_back(FieldValue(f));
    rowset.rows.push_back(std::move(row));
  }
  for (size_t c = 0; c < rowset.columns.size(); ++c) {
    rowset.columns[c].type = ColumnType(rowset.rows, c);
  }
  std::deque<ado::Rowset> sets;
  sets.push_back(std::move(rowset));
  return Variant(ado::Recordset::FromRowsets(std::move(sets), nullptr));
}

std::string FullPrecision(double value) {
  char buf[40];
  for (int digits = 15; digits <= 17; ++digits) {
    std::snprintf(buf, sizeof buf, "%.*g", digits, value);
    if (std::strtod(buf, nullptr) == value) break;
  }
  return buf;
}

void PrintDictionary(std::ostream& out, const std::string& name, const plexo::Dictionary& dict) {
  out << name << ":\n";
  for (const auto& [key, value] : dict.entries()) {
    std::string shown;
    if (value.is_null()) {
      shown = "Null";
    } else if (value.is_empty()) {
      shown = "(empty)";
    } else if (value.type() == automation::VarType::kDouble) {
      shown = FullPrecision(value.ToDouble());
    } else if (value.is_object() || value.is_array()) {
      shown = "(object)";
    } else {
      shown = value.ToString();
    }
    out << "  " << key << " = " << shown << "\n";
  }
  out << "(" << dict.Count() << (dict.Count() == 1 ? " entry" : " entries") << ")\n";
}

}  // namespace morvesk::cli
