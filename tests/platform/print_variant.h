// Readable test failure output for automation values.
#pragma once

#include <ostream>

#include "platform/automation/variant.h"

namespace morvesk::automation {

inline void PrintTo(const Variant& v, std::ostream* os) {
  *os << VarTypeName(v.type());
  if (v.is_object()) {
    *os << (v.is_nothing() ? " Nothing" : " object");
  } else if (!v.is_array()) {
    *os << " \"" << v.ToString() << "\"";
  }
}

}  // namespace morvesk::automation
