#include "tools/morvesk/result_format.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <set>

#include "tools/morvesk/cli_args.h"

namespace morvesk::cli {
namespace {

// Terminal columns a UTF-8 text takes: East Asian wide characters take two.
size_t DisplayWidth(const std::string& s) {
  size_t width = 0;
  for (size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    uint32_t cp = c;
    int len = 1;
    if (c >= 0xF0) {
      len = 4;
      cp = c & 0x07;
    } else if (c >= 0xE0) {
      len = 3;
      cp = c & 0x0F;
    } else if (c >= 0xC0) {
      len = 2;
      cp = c & 0x1F;
    }
    for (int k = 1; k < len && i + k < s.size(); ++k) {
      cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    }
    bool wide = (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0xA4CF) ||
                (cp >= 0xAC00 && cp <= 0xD7A3) || (cp >= 0xF900 && cp <= 0xFAFF) ||
                (cp >= 0xFE30 && cp <= 0xFE4F) || (cp >= 0xFF00 && cp <= 0xFF60) ||
                (cp >= 0xFFE0 && cp <= 0xFFE6);
    width += wide ? 2 : 1;
    i += len;
  }
  return width;
}

std::string Shown(const Cell& c) { return c.kind == Cell::Kind::kNull ? "NULL" : c.text; }

std::string ColumnName(const Table& t, size_t i, bool for_table) {
  if (!t.columns[i].empty()) return t.columns[i];
  return for_table ? "(No column name)" : "column" + std::to_string(i + 1);
}

// An empty text is quoted so that it reads back apart from NULL, which is an empty field.
std::string CsvField(const std::string& s) {
  if (!s.empty() && s.find_first_of(",\"\r\n") == std::string::npos) return s;
  std::string out = "\"";
  for (char c : s) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

}  // namespace

Format ParseFormat(const std::string& text) {
  if (text == "table") return Format::kTable;
  if (text == "json") return Format::kJson;
  if (text == "csv") return Format::kCsv;
  throw UsageError("unknown format '" + text + "' (use table, csv or json)");
}

std::vector<std::string> DistinctNames(const std::vector<std::string>& columns) {
  auto fold = [](std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
  };
  std::vector<std::string> names;
  std::set<std::string> taken;
  for (size_t i = 0; i < columns.size(); ++i) {
    names.push_back(columns[i].empty() ? "column" + std::to_string(i + 1) : columns[i]);
  }
  // Names as given win over generated suffixes: "a, a, a_2" becomes "a, a_3, a_2".
  std::vector<bool> repeated(names.size());
  for (size_t i = 0; i < names.size(); ++i) repeated[i] = !taken.insert(fold(names[i])).second;
  for (size_t i = 0; i < names.size(); ++i) {
    if (!repeated[i]) continue;
    for (int n = 2;; ++n) {
      const std::string candidate = names[i] + "_" + std::to_string(n);
      if (taken.insert(fold(candidate)).second) {
        names[i] = candidate;
        break;
      }
    }
  }
  return names;
}

void PrintTable(std::ostream& out, const Table& t) {
  std::vector<size_t> widths(t.columns.size());
  for (size_t i = 0; i < t.columns.size(); ++i) widths[i] = DisplayWidth(ColumnName(t, i, true));
  for (const auto& row : t.rows) {
    for (size_t i = 0; i < row.size() && i < widths.size(); ++i) {
      widths[i] = std::max(widths[i], DisplayWidth(Shown(row[i])));
    }
  }
  auto pad = [&](const std::string& s, size_t w, bool right) {
    std::string fill(w - std::min(w, DisplayWidth(s)), ' ');
    return right ? fill + s : s + fill;
  };
  for (size_t i = 0; i < t.columns.size(); ++i) {
    out << (i ? " " : "") << pad(ColumnName(t, i, true), widths[i], false);
  }
  out << "\n";
  for (size_t i = 0; i < t.columns.size(); ++i) {
    out << (i ? " " : "") << std::string(widths[i], '-');
  }
  out << "\n";
  for (const auto& row : t.rows) {
    for (size_t i = 0; i < row.size() && i < widths.size(); ++i) {
      const bool right = row[i].kind == Cell::Kind::kNumber || row[i].kind == Cell::Kind::kDecimal;
      out << (i ? " " : "") << pad(Shown(row[i]), widths[i], right);
    }
    out << "\n";
  }
}

void PrintVertical(std::ostream& out, const Table& t) {
  size_t width = 0;
  for (size_t i = 0; i < t.columns.size(); ++i) {
    width = std::max(width, DisplayWidth(ColumnName(t, i, true)));
  }
  for (size_t r = 0; r < t.rows.size(); ++r) {
    out << "-[ RECORD " << r + 1 << " ]-\n";
    for (size_t i = 0; i < t.rows[r].size() && i < t.columns.size(); ++i) {
      const std::string name = ColumnName(t, i, true);
      out << name << std::string(width - DisplayWidth(name), ' ') << " | " << Shown(t.rows[r][i])
          << "\n";
    }
  }
  if (t.rows.empty()) out << "(no rows)\n";
}

void PrintCsv(std::ostream& out, const Table& t) {
  const std::vector<std::string> names = DistinctNames(t.columns);
  for (size_t i = 0; i < names.size(); ++i) out << (i ? "," : "") << CsvField(names[i]);
  out << "\n";
  for (const auto& row : t.rows) {
    for (size_t i = 0; i < row.size(); ++i) {
      out << (i ? "," : "") << (row[i].kind == Cell::Kind::kNull ? "" : CsvField(row[i].text));
    }
    out << "\n";
  }
}

namespace {

// Length of the well-formed UTF-8 sequence at s[i], or 0 when the byte there starts none
// (a stray continuation byte, an overlong form, a surrogate, a cut-off sequence).
size_t Utf8Length(const std::string& s, size_t i) {
  const auto at = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char c = at(i);
  size_t n;
  uint32_t min, cp;
  if (c < 0x80) return 1;
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2, min = 0x80, cp = c & 0x1F;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3, min = 0x800, cp = c & 0x0F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4, min = 0x10000, cp = c & 0x07;
  } else {
    return 0;
  }
  if (i + n > s.size()) return 0;
  for (size_t k = 1; k < n; ++k) {
    if ((at(i + k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (at(i + k) & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return n;
}

}  // namespace

// Stored text is not always valid UTF-8 (a client may have written any bytes); JSON must
// be. Each byte that starts no well-formed sequence is replaced by U+FFFD, as a reader of
// the text would show it.
std::string JsonString(const std::string& s) {
  std::string out = "\"";
  for (size_t i = 0; i < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c >= 0x80) {
      const size_t n = Utf8Length(s, i);
      if (n == 0) {
        out += "\xEF\xBF\xBD";
        ++i;
      } else {
        out.append(s, i, n);
        i += n;
      }
      continue;
    }
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
    ++i;
  }
  return out + "\"";
}

std::string JsonCell(const Cell& c) {
  switch (c.kind) {
    case Cell::Kind::kNull:
      return "null";
    case Cell::Kind::kNumber:
    case Cell::Kind::kBool:
      return c.text;
    case Cell::Kind::kDecimal:
    case Cell::Kind::kText:
      break;
  }
  return JsonString(c.text);
}

void PrintJson(std::ostream& out, const Table& t) {
  const std::vector<std::string> names = DistinctNames(t.columns);
  out << "[";
  for (size_t r = 0; r < t.rows.size(); ++r) {
    out << (r ? ",\n " : "\n ") << "{";
    for (size_t i = 0; i < t.rows[r].size() && i < t.columns.size(); ++i) {
      out << (i ? ", " : "") << JsonString(names[i]) << ": " << JsonCell(t.rows[r][i]);
    }
    out << "}";
  }
  out << (t.rows.empty() ? "]" : "\n]");
}

void PrintResultSet(std::ostream& out, Format format, bool vertical, int64_t index,
                    const Table& table) {
  switch (format) {
    case Format::kTable:
      if (index) out << "\n";
      if (vertical) {
        PrintVertical(out, table);
      } else {
        PrintTable(out, table);
      }
      break;
    case Format::kCsv:
      if (index) out << "\n";
      PrintCsv(out, table);
      break;
    case Format::kJson:
      out << (index ? ",\n" : "\n");
      PrintJson(out, table);
      break;
  }
  out.flush();
}

}  // namespace morvesk::cli
