#include "platform/plexo/dictionary.h"

#include "platform/automation/com_error.h"

namespace morvesk::plexo {

using automation::ComError;
using automation::In;
using automation::Variant;
using automation::VarType;

const automation::DispatchTable<Dictionary>& Dictionary::Table() {
  using Args = std::vector<Variant>;
  static const automation::DispatchTable<Dictionary> table(
      "_Dictionary",
      {
          {{.name = "Item",
            .params = {In("Key", VarType::kString)},
            .result = VarType::kVariant,
            .is_property = true,
            .is_default = true},
           [](Dictionary& d, Args& a) { return d.Get(a[0].ToString()); },
           [](Dictionary& d, Args& a) { d.Set(a[0].ToString(), a[1]); }},
          {{.name = "Add", .params = {In("Key", VarType::kString), In("Item", VarType::kVariant)}},
           [](Dictionary& d, Args& a) {
             d.Add(a[0].ToString(), a[1]);
             return Variant();
           }},
          {{.name = "Exists", .params = {In("Key", VarType::kString)}, .result = VarType::kBoolean},
           [](Dictionary& d, Args& a) { return Variant(d.Exists(a[0].ToString())); }},
          {{.name = "Remove", .params = {In("Key", VarType::kString)}},
           [](Dictionary& d, Args& a) {
             d.Remove(a[0].ToString());
             return Variant();
           }},
          {{.name = "RemoveAll"},
           [](Dictionary& d, Args&) {
             d.RemoveAll();
             return Variant();
           }},
          {{.name = "Count", .result = VarType::kLong, .is_property = true},
           [](Dictionary& d, Args&) { return Variant(static_cast<int32_t>(d.Count())); }},
          {{.name = "Keys", .result = VarType::kVariant},
           [](Dictionary& d, Args&) {
             automation::VariantArray keys;
             for (const auto& [k, v] : d.entries()) keys.emplace_back(k);
             return Variant(std::move(keys));
           }},
          {{.name = "Items", .result = VarType::kVariant},
           [](Dictionary& d, Args&) {
             automation::VariantArray items;
             for (const auto& [k, v] : d.entries()) items.push_back(v);
             return Variant(std::move(items));
           }},
      });
  return table;
}

const Variant* Dictionary::Find(std::string_view key) const {
  for (const auto& [k, v] : entries_) {
    if (k == key) return &v;
  }
  return nullptr;
}

void Dictionary::Set(std::string_view key, const Variant& value) {
  for (auto& [k, v] : entries_) {
    if (k == key) {
      v = value.Deref();
      return;
    }
  }
  entries_.emplace_back(std::string(key), value.Deref());
}

Variant Dictionary::Get(std::string_view key) const {
  const Variant* v = Find(key);
  return v != nullptr ? *v : Variant();
}

void Dictionary::Add(std::string_view key, const Variant& value) {
  if (Exists(key)) {
    throw ComError(automation::kErrBadArgument, ErrorSource(),
                   "The key '" + std::string(key) + "' is already in the dictionary");
  }
  entries_.emplace_back(std::string(key), value.Deref());
}

void Dictionary::Remove(std::string_view key) {
  for (auto it = entries_.begin(); it != entries_.end(); ++it) {
    if (it->first == key) {
      entries_.erase(it);
      return;
    }
  }
  throw ComError(automation::kErrBadArgument, ErrorSource(),
                 "The key '" + std::string(key) + "' is not in the dictionary");
}

}  // namespace morvesk::plexo
