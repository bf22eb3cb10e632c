// Values of `morvesk call` beyond plain texts: a record set argument read from
// a CSV file
// ("@FILE", a header line naming the fields, then one row a line), doubles
// shown with every digit that tells them apart, and a dictionary shown as its
// key/value list.
#pragma once

#include <ostream>
#include <string>
#include <string_view>

#include "platform/automation/variant.h"
#include "platform/plexo/dictionary.h"

namespace morvesk::cli {

// An object argument that names a CSV file: "@FILE" ("@-" reads standard
// input).
bool IsRecordsetArgument(std::string_view text);

// The CSV file as a detached record set: fields named by the header line, RFC
// 4180 quoting, an empty unquoted field is Null, a whole number a Long, another
// number a Double, anything else text. Throws UsageError for a file that cannot
// be read, a missing header, or a row whose field count differs from the
// header's (with its line number).
automation::Variant RecordsetArgument(const std::string& text);

// The shortest decimal text that reads back as the same double ("0.1",
// "0.20000000298023224").
std::string FullPrecision(double value);

// "name:" then one "  key = value" line per entry, in the dictionary's order;
// values as `morvesk call` shows scalars.
void PrintDictionary(std::ostream& out, const std::string& name, const plexo::Dictionary& dict);

}  // namespace morvesk::cli
