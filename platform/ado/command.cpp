#include "platform/ado/command.h"

#include <cctype>
#include <deque>

#include "base/ascii.h"
#include "platform/ado/connection.h"
#include "platform/ado/recordset.h"

namespace morvesk::ado {
namespace {

using automation::ComError;
using automation::DispatchTable;
using automation::In;
using automation::Opt;
using automation::Variant;
using automation::VarType;

// A late-bound property of a parameter: getter and setter over one field.
template <class Get, class Set>
DispatchTable<Parameter>::Entry ParamProperty(const char* name, VarType type, Get get, Set set,
                                              bool is_default = false) {
  return {{.name = name, .result = type, .is_property = true, .is_default = is_default},
          [get](Parameter& p, auto&) { return get(p); },
          [set](Parameter& p, std::vector<Variant>& a) { set(p, a.back()); }};
}

}  // namespace

// --- Parameter ---

const automation::DispatchTable<Parameter>& Parameter::Table() {
  static const DispatchTable<Parameter> table(
      "Parameter",
      {
          ParamProperty(
              "Value", VarType::kVariant, [](Parameter& p) { return p.value; },
              [](Parameter& p, const Variant& v) { p.value = v.Deref(); }, true),
          ParamProperty(
              "Name", VarType::kString, [](Parameter& p) { return Variant(p.name); },
              [](Parameter& p, const Variant& v) { p.name = v.ToString(); }),
          ParamProperty(
              "Type", VarType::kLong,
              [](Parameter& p) { return Variant(static_cast<int32_t>(p.type)); },
              [](Parameter& p, const Variant& v) { p.type = static_cast<DataType>(v.ToLong()); }),
          ParamProperty(
              "Direction", VarType::kLong,
              [](Parameter& p) { return Variant(static_cast<int32_t>(p.direction)); },
              [](Parameter& p, const Variant& v) {
                p.direction = static_cast<ParameterDirection>(v.ToLong());
              }),
          ParamProperty(
              "Size", VarType::kLong, [](Parameter& p) { return Variant(p.size); },
              [](Parameter& p, const Variant& v) { p.size = v.ToLong(); }),
          ParamProperty(
              "Precision", VarType::kLong,
              [](Parameter& p) { return Variant(static_cast<int32_t>(p.precision)); },
              [](Parameter& p, const Variant& v) { p.precision = static_cast<uint8_t>(v.ToLong()); }),
          ParamProperty(
              "NumericScale", VarType::kLong,
              [](Parameter& p) { return Variant(static_cast<int32_t>(p.numeric_scale)); },
              [](Parameter& p, const Variant& v) {
                p.numeric_scale = static_cast<uint8_t>(v.ToLong());
              }),
      });
  return table;
}

// --- ParameterCollection ---

void ParameterCollection::Append(std::shared_ptr<Parameter> p) {
  if (!p) {
    throw ComError(automation::kErrBadArgument, ErrorSource(),
                   "Append takes a parameter object, not Nothing");
  }
  items_.push_back(std::move(p));
}

size_t ParameterCollection::IndexOf(const Variant& index) const {
  if (index.is_string()) {
    std::string name = index.ToString();
    for (size_t i = 0; i < items_.size(); ++i) {
      if (base::EqualsNoCase(items_[i]->name, name)) return i;
    }
    throw ComError(automation::kErrItemNotFound, ErrorSource(),
                   "Item cannot be found in the collection: no parameter named " + name);
  }
  int32_t i = index.ToLong();
  if (i < 0 || static_cast<size_t>(i) >= items_.size()) {
    throw ComError(automation::kErrItemNotFound, ErrorSource(),
                   "Item cannot be found in the collection: parameter " + std::to_string(i) +
                       " of " + std::to_string(items_.size()));
  }
  return static_cast<size_t>(i);
}

std::shared_ptr<Parameter> ParameterCollection::Item(const Variant& index) const {
  return items_[IndexOf(index)];
}

void ParameterCollection::Delete(const Variant& index) {
  items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(IndexOf(index)));
}

const automation::DispatchTable<ParameterCollection>& ParameterCollection::Table() {
  static const DispatchTable<ParameterCollection> table(
      "Parameters",
      {
          {{.name = "Count", .result = VarType::kLong, .is_property = true},
           [](ParameterCollection& c, auto&) { return Variant(static_cast<int32_t>(c.Count())); }},
          {{.name = "Item",
            .params = {In("Index", VarType::kVariant)},
            .result = VarType::kObject,
            .is_property = true,
            .is_default = true},
           [](ParameterCollection& c, std::vector<Variant>& a) { return Variant(c.Item(a[0])); }},
          {{.name = "Append", .params = {In("Object", VarType::kObject)}},
           [](ParameterCollection& c, std::vector<Variant>& a) {
             auto p = std::dynamic_pointer_cast<Parameter>(a[0].ToObject());
             if (!p) {
               throw ComError(automation::kErrTypeMismatch, c.ErrorSource(),
                              "Append takes a parameter object");
             }
             c.Append(std::move(p));
             return Variant();
           }},
          {{.name = "Delete", .params = {In("Index", VarType::kVariant)}},
           [](ParameterCollection& c, std::vector<Variant>& a) {
             c.Delete(a[0]);
             return Variant();
           }},
      });
  return table;
}

// --- Command ---

Command::Command() : parameters_(std::make_shared<ParameterCollection>()) {}

std::shared_ptr<Parameter> Command::CreateParameter(std::string name, DataType type,
                                                    ParameterDirection direction, int32_t size,
                                                    Variant value) {
  auto p = std::make_shared<Parameter>();
  p->name = std::move(name);
  p->type = type;
  p->direction = direction;
  p->size = size;
  p->value = value.Deref();
  return p;
}

std::shared_ptr<Recordset> Command::Execute(int64_t* records_affected) {
  if (!connection_) {
    throw ComError(automation::kErrNoConnection, ErrorSource(),
                   "The connection cannot be used to perform this operation: no active connection.");
  }
  if (text_.empty()) {
    throw ComError(automation::kErrBadArgument, ErrorSource(), "The command has no CommandText");
  }
  // The command's own time-out holds while it runs; the connection's comes back after.
  struct TimeoutScope {
    Connection& c;
    int32_t saved;
    ~TimeoutScope() { c.SetCommandTimeout(saved); }
  } timeout_scope{*connection_, connection_->CommandTimeout()};
  connection_->SetCommandTimeout(timeout_);
  if (type_ != ado::CommandType::kStoredProc) {
    // Text commands run as a batch; parameters are not spliced into text.
    return connection_->Execute(text_, records_affected);
  }
  // Parameters go by position, in the order they were appended.
  std::vector<ProviderParam> call;
  call.reserve(parameters_->Count());
  for (const auto& p : parameters_->items()) {
    call.push_back(ProviderParam{p->name, p->type, p->direction, p->size, p->precision,
                                 p->numeric_scale, p->value});
  }
  ProviderResult r = connection_->CallProcedure(text_, call);
  for (size_t i = 0; i < call.size(); ++i) {
    if (call[i].direction != ParameterDirection::kInput) parameters_->items()[i]->value = call[i].value;
  }
  if (records_affected) *records_affected = r.records_affected;
  std::deque<Rowset> rowsets(std::make_move_iterator(r.rowsets.begin()),
                             std::make_move_iterator(r.rowsets.end()));
  return Recordset::FromRowsets(std::move(rowsets), connection_);
}

const automation::DispatchTable<Command>& Command::Table() {
  static const DispatchTable<Command> table(
      "Command",
      {
          {{.name = "ActiveConnection", .result = VarType::kVariant, .is_property = true},
           [](Command& c, auto&) { return Variant(c.connection_); },
           [](Command& c, std::vector<Variant>& a) {
             auto o = a.back().ToObject();
             auto conn = std::dynamic_pointer_cast<Connection>(o);
             if (o && !conn) {
               throw ComError(automation::kErrTypeMismatch, c.ErrorSource(),
                              "ActiveConnection takes a connection or Nothing");
             }
             c.connection_ = std::move(conn);
           }},
          {{.name = "CommandText", .result = VarType::kString, .is_property = true},
           [](Command& c, auto&) { return Variant(c.text_); },
           [](Command& c, std::vector<Variant>& a) { c.text_ = a.back().ToString(); }},
          {{.name = "CommandType", .result = VarType::kLong, .is_property = true},
           [](Command& c, auto&) { return Variant(static_cast<int32_t>(c.type_)); },
           [](Command& c, std::vector<Variant>& a) {
             c.type_ = static_cast<ado::CommandType>(a.back().ToLong());
           }},
          {{.name = "CommandTimeout", .result = VarType::kLong, .is_property = true},
           [](Command& c, auto&) { return Variant(c.timeout_); },
           [](Command& c, std::vector<Variant>& a) { c.timeout_ = a.back().ToLong(); }},
          {{.name = "CreateParameter",
            .params = {Opt("Name", VarType::kString, Variant("")),
                       Opt("Type", VarType::kLong, Variant(0)),
                       Opt("Direction", VarType::kLong, Variant(1)),
                       Opt("Size", VarType::kLong, Variant(0)),
                       Opt("Value", VarType::kVariant, Variant())},
            .result = VarType::kObject},
           [](Command& c, std::vector<Variant>& a) {
             return Variant(c.CreateParameter(a[0].ToString(), static_cast<DataType>(a[1].ToLong()),
                                              static_cast<ParameterDirection>(a[2].ToLong()),
                                              a[3].ToLong(), a[4]));
           }},
          {{.name = "Parameters", .result = VarType::kObject, .is_property = true},
           [](Command& c, auto&) { return Variant(c.parameters_); }},
          {{.name = "Execute",
            .params = {{"RecordsAffected", VarType::kVariant, true, true, Variant()},
                       Opt("Parameters", VarType::kVariant, Variant()),
                       Opt("Options", VarType::kLong, Variant(-1))},
            .result = VarType::kObject},
           [](Command& c, std::vector<Variant>& a) {
             int64_t affected = -1;
             auto rs = c.Execute(&affected);
             a[0] = Variant(static_cast<int32_t>(affected));
             return Variant(rs);
           }},
      });
  return table;
}

}  // namespace morvesk::ado
