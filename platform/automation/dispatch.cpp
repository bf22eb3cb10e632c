#include "platform/automation/dispatch.h"

#include <atomic>
#include <cctype>

#include "base/ascii.h"

namespace morvesk::automation {
namespace {

std::atomic<int64_t> g_live_objects{0};

std::string Fold(std::string_view s) { return base::AsciiLower(s); }

}  // namespace

ParamInfo In(std::string name, VarType type) { return ParamInfo{std::move(name), type, false, false, {}}; }
ParamInfo Ref(std::string name, VarType type) { return ParamInfo{std::move(name), type, true, false, {}}; }
ParamInfo Opt(std::string name, VarType type, Variant default_value) {
  return ParamInfo{std::move(name), type, false, true, std::move(default_value)};
}

InterfaceInfo::InterfaceInfo(std::string name, std::vector<MemberInfo> members)
    : name_(std::move(name)), members_(std::move(members)) {
  for (size_t i = 0; i < members_.size(); ++i) {
    MemberInfo& m = members_[i];
    m.dispid = static_cast<DispId>(i + 1);
    by_folded_name_.emplace(Fold(m.name), m.dispid);
    if (m.is_default) default_member_ = m.dispid;
  }
}

std::optional<DispId> InterfaceInfo::Find(std::string_view member_name) const {
  auto it = by_folded_name_.find(Fold(member_name));
  if (it == by_folded_name_.end()) return std::nullopt;
  return it->second;
}

const MemberInfo* InterfaceInfo::Member(DispId id) const {
  if (id < 1 || static_cast<size_t>(id) > members_.size()) return nullptr;
  return &members_[static_cast<size_t>(id - 1)];
}

Dispatch::Dispatch() { g_live_objects.fetch_add(1); }
Dispatch::~Dispatch() {
  if (counted_) g_live_objects.fetch_sub(1);
}

void Dispatch::ExcludeFromLiveCount() {
  if (counted_) g_live_objects.fetch_sub(1);
  counted_ = false;
}

int64_t LiveObjectCount() { return g_live_objects.load(); }

std::string Dispatch::ErrorSource() const { return Interface().name(); }

std::optional<DispId> Dispatch::FindMember(std::string_view name) const {
  return Interface().Find(name);
}

DispId Dispatch::GetIdsOfNames(std::string_view name) const {
  if (auto id = FindMember(name)) return *id;
  throw ComError(kErrUnknownName, ErrorSource(),
                 "Unknown name: '" + std::string(name) + "' is not a member of " +
                     Interface().name());
}

Variant Dispatch::Invoke(DispId id, std::vector<Variant>& args, InvokeKind kind) {
  const MemberInfo* m = Interface().Member(id);
  if (m == nullptr) {
    throw ComError(kErrMemberNotFound, ErrorSource(),
                   "Member not found: dispatch id " + std::to_string(id) + " of " +
                       Interface().name());
  }
  try {
    const bool put = kind == InvokeKind::kPropertyPut;
    if (put && !m->writable) {
      throw ComError(kErrMemberNotFound, ErrorSource(), "Property " + m->name + " is read-only");
    }
    if (put && args.empty()) {
      throw ComError(kErrBadParamCount, ErrorSource(),
                     "Wrong number of arguments: assignment to " + m->name + " needs a value");
    }
    const size_t given = put ? args.size() - 1 : args.size();
    size_t required = 0;
    for (const auto& p : m->params) required += p.optional ? 0 : 1;
    if (given < required || given > m->params.size()) {
      std::string expected = required == m->params.size()
                                 ? std::to_string(required)
                                 : std::to_string(required) + " to " +
                                       std::to_string(m->params.size());
      throw ComError(kErrBadParamCount, ErrorSource(),
                     "Wrong number of arguments: " + m->name + " takes " + expected + ", got " +
                         std::to_string(given));
    }

    std::vector<Variant> call_args;
    call_args.reserve(m->params.size() + (put ? 1 : 0));
    for (size_t i = 0; i < m->params.size(); ++i) {
      const ParamInfo& p = m->params[i];
      if (i >= given) {
        call_args.push_back(p.default_value);
        continue;
      }
      try {
        call_args.push_back(args[i].ChangeType(p.type));
      } catch (const ComError& e) {
        throw ComError(e.number, ErrorSource(),
                       "Argument " + std::to_string(i + 1) + " (" + p.name + ") of " + m->name +
                           ": " + e.description);
      }
    }
    if (put) call_args.push_back(args.back().Deref());

    Variant result = InvokeMember(*m, call_args, kind);

    for (size_t i = 0; i < given; ++i) {
      if (m->params[i].by_ref) args[i].Assign(std::move(call_args[i]));
    }
    if (put || m->result == VarType::kEmpty) return Variant();
    if (m->result == VarType::kObject && result.is_empty()) return Variant::Nothing();
    // A member may hand back Null whatever its declared type (a database value).
    if (result.is_null()) return result;
    return result.ChangeType(m->result);
  } catch (ComError& e) {
    if (e.source.empty()) e.source = ErrorSource();
    throw;
  } catch (const std::exception& e) {
    throw ComError(kErrFail, ErrorSource(), e.what());
  }
}

Variant Dispatch::Call(std::string_view name, std::vector<Variant> args) {
  return Invoke(GetIdsOfNames(name), args, InvokeKind::kMethod);
}

Variant Dispatch::CallRef(std::string_view name, std::vector<Variant>& args) {
  return Invoke(GetIdsOfNames(name), args, InvokeKind::kMethod);
}

Variant Dispatch::Get(std::string_view name, std::vector<Variant> args) {
  return Invoke(GetIdsOfNames(name), args, InvokeKind::kPropertyGet);
}

void Dispatch::Put(std::string_view name, Variant value, std::vector<Variant> args) {
  args.push_back(std::move(value));
  Invoke(GetIdsOfNames(name), args, InvokeKind::kPropertyPut);
}

}  // namespace morvesk::automation
