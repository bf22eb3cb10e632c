// Object ids: OBJECT_ID() and the catalog views (sys.objects and its kin) must give the
// same number for the same object, so both take it from here. An id is derived from the
// object's name, stable across connections and sessions; callers only compare ids or
// test them for NULL.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/ascii.h"

namespace morvesk::engine {

// Id of a table or view from its SQLite name as the catalog gives it: main."t_CC_Bal",
// temp."#TmpBal_1".
inline int64_t ObjectIdOf(std::string_view sqlite_name) {
  uint32_t h = 2166136261u;
  for (char c : base::AsciiLower(sqlite_name)) {
    h ^= static_cast<unsigned char>(c);
    h *= 16777619u;
  }
  return static_cast<int64_t>(h & 0x7fffffff) | 1;
}

// The last part of a possibly qualified object name, brackets and quotes taken off:
// "[dbo].[sp_x]" -> "sp_x".
inline std::string BareObjectName(std::string_view name) {
  std::string out;
  bool bracket = false, quote = false;
  for (size_t i = 0; i < name.size(); ++i) {
    const char c = name[i];
    if (bracket) {
      if (c == ']' && i + 1 < name.size() && name[i + 1] == ']') {
        out += ']';
        ++i;
      } else if (c == ']') {
        bracket = false;
      } else {
        out += c;
      }
    } else if (quote) {
      if (c == '"')
        quote = false;
      else
        out += c;
    } else if (c == '[') {
      bracket = true;
    } else if (c == '"') {
      quote = true;
    } else if (c == '.') {
      out.clear();
    } else if (c != ' ' && c != '\t') {
      out += c;
    }
  }
  return out;
}

// Id of a stored procedure, from its name in any qualified form.
inline int64_t ProcedureObjectId(std::string_view name) {
  return ObjectIdOf("proc " + BareObjectName(name));
}

}  // namespace morvesk::engine
