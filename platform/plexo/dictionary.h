// Plexo.Dictionary: the settings dictionary that travels between clients and the service
// classes (costing parameters out of GetCaculateParameter, options into CheckReturnData and
// GetMultiPrice). Text keys compared exactly as written, Variant values, insertion order kept.
// Late-bound members, in order:
//   Item(Key) default property, read and written   (a key never set reads as Empty)
//   Add(Key, Item)        raises when the key exists
//   Exists(Key) -> Boolean, Remove(Key), RemoveAll(), Count -> Long,
//   Keys() -> array of the keys, Items() -> array of the values
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/automation/dispatch_object.h"

namespace morvesk::plexo {

inline constexpr char kDictionaryProgId[] = "Plexo.Dictionary";
inline constexpr char kDictionaryClsid[] = "6a4e2f10-93c7-4d58-b1a2-0e7c5d3f8b61";

class Dictionary : public automation::DispatchObject<Dictionary> {
 public:
  static const automation::DispatchTable<Dictionary>& Table();
  std::string ErrorSource() const override { return kDictionaryProgId; }

  // Stores or replaces the value under the key (a by-ref value is stored resolved).
  void Set(std::string_view key, const automation::Variant& value);
  // The value under the key; Empty when the key was never set.
  automation::Variant Get(std::string_view key) const;
  const automation::Variant* Find(std::string_view key) const;
  // Raises ComError kErrBadArgument when the key exists already.
  void Add(std::string_view key, const automation::Variant& value);
  bool Exists(std::string_view key) const { return Find(key) != nullptr; }
  // Raises ComError kErrBadArgument when the key does not exist.
  void Remove(std::string_view key);
  void RemoveAll() { entries_.clear(); }
  size_t Count() const { return entries_.size(); }
  const std::vector<std::pair<std::string, automation::Variant>>& entries() const {
    return entries_;
  }

 private:
  // Dictionaries of settings hold a dozen keys: a vector in insertion order is enough.
  std::vector<std::pair<std::string, automation::Variant>> entries_;
};

}  // namespace morvesk::plexo
