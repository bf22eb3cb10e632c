// Secrets in connection descriptions: a message that quotes a description, or a path that came
// from one, shows "Password=****" instead of what the caller typed.
#pragma once

#include <string>
#include <string_view>

namespace morvesk::base {

// `text` with the value of every Password= or Pwd= entry (key without regard to case, blanks
// allowed around it, the value quoted or running to the next ';' or
// double quote) replaced by "****".
std::string MaskPasswords(std::string_view text);

}  // namespace morvesk::base
