// A list of texts on the command line, for a Variant parameter that takes an
// array of texts (CalCurAmount.UpdateBatch's oCol): "@FILE" reads FILE with one
// text a line ("@-" reads standard input; blank lines are skipped, a CR before
// the line end is dropped), and a text that starts with '[' is a JSON array of
// strings.
#pragma once

#include <string>
#include <string_view>

#include "platform/automation/variant.h"

namespace morvesk::cli {

bool IsTextListArgument(std::string_view text);

// The list as an array Variant of Strings. Throws UsageError for a file that
// cannot be read or JSON that is not an array of strings (with the offset of
// the fault).
automation::Variant TextListArgument(const std::string& text);

}  // namespace morvesk::cli
