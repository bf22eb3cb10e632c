// Values into T-SQL text, shared by every operation that splices a value into a batch:
// QuoteSQL for text values (batch numbers, keys), SQLValue where an empty value means Null.
// Neither raises: a value that does not turn into text yields what was built so far.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/automation/variant.h"

namespace morvesk::frame {

// Null counts as the empty text; bTrim strips blanks at both ends; every ' is doubled;
// bQuote wraps the result in single quotes. QuoteSQL("O'Brien", true, true) == "'O''Brien'".
std::string QuoteSQL(const automation::Variant& value, bool bQuote = true, bool bTrim = true);

// As QuoteSQL, but an empty value (after trimming) with bEmptyAsNull gives the keyword Null,
// unquoted. bQuote is by reference in the interface and only read, so it is taken by value.
std::string SQLValue(const automation::Variant& value, bool bQuote, bool bEmptyAsNull, bool bTrim);

// Blanks (spaces) removed at both ends, as the automation Trim does.
std::string TrimBlanks(const std::string& text);

// A caller's date text ("2024-01-31", "2024/1/31", "20240131", "1/31/2024", with or without
// a time) as "yyyy-mm-dd", moved by `add_days`; empty when the text does not read as a date
// (the empty text included).
std::optional<std::string> FormatSqlDate(std::string_view text, int add_days = 0);

}  // namespace morvesk::frame
