// Helper base for classes that expose members by late binding: the class gives one
// static member table (interface order) with a handler per member, and inherits
// Dispatch's checking, conversion, by-ref write-back and error boundary.
//
//   class Greeter : public automation::DispatchObject<Greeter> {
//    public:
//     static const automation::DispatchTable<Greeter>& Table() {
//       static const automation::DispatchTable<Greeter> table("_Greeter", {
//           {{.name = "Hello", .params = {In("sName", VarType::kString)},
//             .result = VarType::kString},
//            [](Greeter& self, auto& a) { return Variant("hi " + a[0].ToString()); }},
//       });
//       return table;
//     }
//   };
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/automation/dispatch.h"

namespace morvesk::automation {

template <class T>
class DispatchTable {
 public:
  using Handler = std::function<Variant(T&, std::vector<Variant>&)>;
  // Property put: args hold the property's parameters followed by the new value.
  using PutHandler = std::function<void(T&, std::vector<Variant>&)>;
  struct Entry {
    Entry(MemberInfo i, Handler g, PutHandler p = PutHandler())
        : info(std::move(i)), get(std::move(g)), put(std::move(p)) {}
    MemberInfo info;
    Handler get;
    PutHandler put;  // empty: read-only
  };

  DispatchTable(std::string interface_name, std::vector<Entry> entries)
      : interface_(std::move(interface_name), Infos(entries)) {
    for (auto& e : entries) {
      get_.push_back(std::move(e.get));
      put_.push_back(std::move(e.put));
    }
  }
  const InterfaceInfo& interface() const { return interface_; }
  const Handler& get(DispId id) const { return get_.at(static_cast<size_t>(id - 1)); }
  const PutHandler& put(DispId id) const { return put_.at(static_cast<size_t>(id - 1)); }

 private:
  static std::vector<MemberInfo> Infos(const std::vector<Entry>& entries) {
    std::vector<MemberInfo> infos;
    for (const auto& e : entries) {
      infos.push_back(e.info);
      if (e.put) infos.back().writable = true;
    }
    return infos;
  }
  InterfaceInfo interface_;
  std::vector<Handler> get_;
  std::vector<PutHandler> put_;
};

template <class T>
class DispatchObject : public Dispatch {
 public:
  const InterfaceInfo& Interface() const override { return T::Table().interface(); }

 protected:
  Variant InvokeMember(const MemberInfo& member, std::vector<Variant>& args,
                       InvokeKind kind) override {
    const auto& table = T::Table();
    T& self = static_cast<T&>(*this);
    if (kind == InvokeKind::kPropertyPut) {
      table.put(member.dispid)(self, args);
      return Variant();
    }
    const auto& handler = table.get(member.dispid);
    if (!handler) {
      throw ComError(kErrMemberNotFound, ErrorSource(), member.name + " cannot be read");
    }
    return handler(self, args);
  }
};

}  // namespace morvesk::automation
