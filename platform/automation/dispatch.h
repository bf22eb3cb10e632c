// Late binding: an object whose members are found by name (without regard to case),
// resolved once to a dispatch id and then invoked by id with positional Variant
// arguments. Invoke checks the argument count, fills optional arguments with their
// defaults, converts each argument to its parameter's type and writes by-ref
// arguments back; it is the one place where exceptions of a member become ComError.
// Used by the service classes (through dispatch_object.h), the data-access objects,
// the host's components and every late-bound caller (the CLI, tests).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/automation/com_error.h"
#include "platform/automation/variant.h"

namespace morvesk::automation {

using DispId = int32_t;

enum class InvokeKind : uint8_t { kMethod = 1, kPropertyGet = 2, kPropertyPut = 4 };

struct ParamInfo {
  std::string name = {};
  VarType type = VarType::kVariant;
  bool by_ref = false;
  bool optional = false;
  Variant default_value = {};  // what an omitted optional argument becomes
};

// Parameter builders for member tables: In("sCnn", VarType::kString),
// Ref("sErrInfo", VarType::kString), Opt("sFilter", VarType::kString, "").
ParamInfo In(std::string name, VarType type);
ParamInfo Ref(std::string name, VarType type);
ParamInfo Opt(std::string name, VarType type, Variant default_value);

struct MemberInfo {
  std::string name = {};
  DispId dispid = 0;  // 1, 2, ... in the interface's order (set by InterfaceInfo)
  std::vector<ParamInfo> params = {};
  VarType result = VarType::kEmpty;  // kEmpty: the member returns nothing
  bool is_property = false;          // read by kPropertyGet (kMethod also reads it)
  bool writable = false;             // property that takes kPropertyPut
  bool is_default = false;           // the object's value member (a field's Value)
};

// The members of one interface with a case-insensitive name index.
class InterfaceInfo {
 public:
  // Dispatch ids are assigned 1..n in the order given.
  InterfaceInfo(std::string name, std::vector<MemberInfo> members);
  const std::string& name() const { return name_; }
  const std::vector<MemberInfo>& members() const { return members_; }
  std::optional<DispId> Find(std::string_view member_name) const;
  const MemberInfo* Member(DispId id) const;
  std::optional<DispId> DefaultMember() const { return default_member_; }

 private:
  std::string name_;
  std::vector<MemberInfo> members_;
  std::unordered_map<std::string, DispId> by_folded_name_;
  std::optional<DispId> default_member_;
};

class Dispatch : public std::enable_shared_from_this<Dispatch> {
 public:
  Dispatch();  // counted as a live object of this module (DllCanUnloadNow)
  Dispatch(const Dispatch&) = delete;
  Dispatch& operator=(const Dispatch&) = delete;
  virtual ~Dispatch();

  virtual const InterfaceInfo& Interface() const = 0;
  // The source that errors raised by this object's members carry; defaults to the
  // interface name.
  virtual std::string ErrorSource() const;

  std::optional<DispId> FindMember(std::string_view name) const;
  // As FindMember, but an unknown name throws ComError kErrUnknownName.
  DispId GetIdsOfNames(std::string_view name) const;

  // Calls member `id`. `args` are positional, first parameter first; elements may be
  // Variant::Ref to a caller's variable. Fewer arguments than parameters is allowed
  // when the missing ones are optional. After a successful call each by-ref
  // parameter's final value is written back into args[i] (through it when args[i] is
  // itself a Variant::Ref). kPropertyPut passes the new value as the last element.
  // Errors: kErrMemberNotFound (bad id or kind), kErrBadParamCount, kErrTypeMismatch,
  // and whatever the member raises, always as ComError.
  Variant Invoke(DispId id, std::vector<Variant>& args, InvokeKind kind = InvokeKind::kMethod);

  // By-name conveniences (each resolves the name, then invokes by id).
  Variant Call(std::string_view name, std::vector<Variant> args = {});
  Variant CallRef(std::string_view name, std::vector<Variant>& args);
  Variant Get(std::string_view name, std::vector<Variant> args = {});
  void Put(std::string_view name, Variant value, std::vector<Variant> args = {});

  // For objects a module keeps for its own use (the per-thread global object): they
  // do not hold the module loaded.
  void ExcludeFromLiveCount();

 protected:
  // Runs a member with checked arguments: exactly one per parameter, defaults filled
  // in, each converted to its parameter's type (for kPropertyPut the value follows,
  // unconverted). By-ref parameters are written by assigning args[i].
  virtual Variant InvokeMember(const MemberInfo& member, std::vector<Variant>& args,
                               InvokeKind kind) = 0;

 private:
  bool counted_ = true;
};

// Number of Dispatch objects alive in this module (the unload test counts them).
int64_t LiveObjectCount();

}  // namespace morvesk::automation
