// Plexox.stringbuilder: the text accumulator long batches are assembled in.
// Late-bound members, in order:
//   Append(Text) -> the builder itself (so calls can be chained), ToString() -> the whole
//   text, Length -> Long (bytes of UTF-8 text), Clear()
#pragma once

#include <string>
#include <string_view>

#include "platform/automation/dispatch_object.h"

namespace morvesk::plexo {

inline constexpr char kStringBuilderProgId[] = "Plexox.stringbuilder";
inline constexpr char kStringBuilderClsid[] = "c2b7d0e4-58a1-4f36-9e0d-7a41f6c3b295";

class StringBuilder : public automation::DispatchObject<StringBuilder> {
 public:
  static const automation::DispatchTable<StringBuilder>& Table();
  std::string ErrorSource() const override { return kStringBuilderProgId; }

  void Append(std::string_view text) { text_ += text; }
  const std::string& ToString() const { return text_; }
  void Clear() { text_.clear(); }

 private:
  std::string text_;
};

}  // namespace morvesk::plexo
