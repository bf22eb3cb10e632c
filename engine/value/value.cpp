// Value: the text a result grid shows for a single T-SQL value.
#include "engine/value/value.h"

#include <charconv>

namespace morvesk::engine {

std::string Value::ToString() const {
  if (is_null()) return "NULL";
  if (is_int()) return std::to_string(as_int());
  if (is_double()) {
    char buf[40];
    std::to_chars_result res;
    // real columns hold single precision: print the float's own shortest digits.
    if (type_.kind == TypeKind::kReal) {
      res = std::to_chars(buf, buf + sizeof buf, static_cast<float>(as_double()));
    } else {
      res = std::to_chars(buf, buf + sizeof buf, as_double());
    }
    return std::string(buf, res.ptr);
  }
  if (is_decimal()) {
    const Decimal& d = as_decimal();
    // The declared scale decides the digits shown: decimal(10,2) 1.5 prints 1.50.
    if ((type_.kind == TypeKind::kDecimal || type_.kind == TypeKind::kMoney) &&
        type_.scale != d.scale) {
      if (auto r = Rescale(d, type_.scale)) return r->ToString();
    }
    return d.ToString();
  }
  if (is_datetime()) return as_datetime().Format(121);
  return as_text();
}

}  // namespace morvesk::engine
