// `morvesk call --list [Class...]`: the classes a caller can create by name, each member
// with its parameters (type, by-ref or by value, default of an optional one) and result.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace morvesk::cli {

// Lists `classes` (programmatic names, the "Morvesk." prefix optional), or every class
// registered in the process when empty. Throws the automation error of a class that
// cannot be created.
void ListMembers(const std::vector<std::string>& classes, std::ostream& out);

}  // namespace morvesk::cli
