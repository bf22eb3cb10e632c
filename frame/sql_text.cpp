#include "frame/sql_text.h"

#include <cstdio>

#include "base/datetime.h"
#include "platform/automation/com_error.h"

namespace morvesk::frame {

namespace {

std::string DoubleQuotes(const std::string& text) {
  std::string out;
  out.reserve(text.size() + 2);
  for (char c : text) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out;
}

// The value as text: Null is the empty text; objects and arrays have no text form and
// raise ComError (type mismatch) from the conversion.
std::string AsText(const automation::Variant& value) {
  if (value.is_null() || value.is_empty()) return {};
  return value.ToString();
}

}  // namespace

std::string TrimBlanks(const std::string& text) {
  size_t b = text.find_first_not_of(' ');
  if (b == std::string::npos) return {};
  size_t e = text.find_last_not_of(' ');
  return text.substr(b, e - b + 1);
}

std::string QuoteSQL(const automation::Variant& value, bool bQuote, bool bTrim) {
  std::string result;
  try {
    std::string text = AsText(value);
    if (bTrim) text = TrimBlanks(text);
    result = DoubleQuotes(text);
    if (bQuote) result = "'" + result + "'";
  } catch (const automation::ComError&) {
    // A value without a text form ends the routine with what was built so far.
  }
  return result;
}

std::string SQLValue(const automation::Variant& value, bool bQuote, bool bEmptyAsNull,
                     bool bTrim) {
  std::string result;
  try {
    std::string text = AsText(value);
    if (bTrim) text = TrimBlanks(text);
    if (text.empty() && bEmptyAsNull) return "Null";
    result = DoubleQuotes(text);
    if (bQuote) result = "'" + result + "'";
  } catch (const automation::ComError&) {
    // As in QuoteSQL: no error reaches the caller.
  }
  return result;
}

std::optional<std::string> FormatSqlDate(std::string_view text, int add_days) {
  std::string trimmed = TrimBlanks(std::string(text));
  if (trimmed.empty()) return std::nullopt;
  // The server's own reading of date text covers every form callers send.
  std::optional<base::DateTime> parsed = base::DateTime::Parse(trimmed);
  if (!parsed) return std::nullopt;
  base::DateTime day = base::DateTime::FromDays(parsed->Days() + add_days);
  int y, m, d, hh, mi, ss, ms;
  day.ToParts(y, m, d, hh, mi, ss, ms);
  char buf[48];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, m, d);
  return std::string(buf);
}

}  // namespace morvesk::frame
