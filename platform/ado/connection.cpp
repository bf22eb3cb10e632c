#include "platform/ado/connection.h"

#include <deque>

#include "platform/ado/recordset.h"

namespace morvesk::ado {
namespace {

using automation::ComError;
using automation::DispatchTable;
using automation::In;
using automation::Opt;
using automation::Variant;
using automation::VarType;

// One entry of the Errors collection, late-bound.
class ErrorObject : public automation::DispatchObject<ErrorObject> {
 public:
  explicit ErrorObject(ErrorRecord r) : r_(std::move(r)) {}
  std::string ErrorSource() const override { return "Morvesk.Error"; }
  static const DispatchTable<ErrorObject>& Table() {
    static const DispatchTable<ErrorObject> table(
        "Error", {
                     {{.name = "Number", .result = VarType::kLong, .is_property = true},
                      [](ErrorObject& e, auto&) { return Variant(e.r_.number); }},
                     {{.name = "Description", .result = VarType::kString, .is_property = true,
                       .is_default = true},
                      [](ErrorObject& e, auto&) { return Variant(e.r_.description); }},
                     {{.name = "Source", .result = VarType::kString, .is_property = true},
                      [](ErrorObject& e, auto&) { return Variant(e.r_.source); }},
                     {{.name = "NativeError", .result = VarType::kLong, .is_property = true},
                      [](ErrorObject& e, auto&) { return Variant(e.r_.native_error); }},
                     {{.name = "SQLState", .result = VarType::kString, .is_property = true},
                      [](ErrorObject& e, auto&) { return Variant(e.r_.sql_state); }},
                 });
    return table;
  }

 private:
  ErrorRecord r_;
};

// The Errors collection as it stands when read (a snapshot).
class ErrorsObject : public automation::DispatchObject<ErrorsObject> {
 public:
  explicit ErrorsObject(std::shared_ptr<Connection> c) : c_(std::move(c)) {}
  std::string ErrorSource() const override { return "Morvesk.Errors"; }
  static const DispatchTable<ErrorsObject>& Table() {
    static const DispatchTable<ErrorsObject> table(
        "Errors",
        {
            {{.name = "Count", .result = VarType::kLong, .is_property = true},
             [](ErrorsObject& e, auto&) {
               return Variant(static_cast<int32_t>(e.c_->Errors().size()));
             }},
            {{.name = "Item",
              .params = {In("Index", VarType::kLong)},
              .result = VarType::kObject,
              .is_property = true,
              .is_default = true},
             [](ErrorsObject& e, std::vector<Variant>& a) -> Variant {
               int32_t i = a[0].ToLong();
               const auto& errors = e.c_->Errors();
               if (i < 0 || static_cast<size_t>(i) >= errors.size()) {
                 throw ComError(automation::kErrItemNotFound, e.ErrorSource(),
                                "Item cannot be found in the collection: index " +
                                    std::to_string(i));
               }
               return Variant(std::make_shared<ErrorObject>(errors[static_cast<size_t>(i)]));
             }},
        });
    return table;
  }

 private:
  std::shared_ptr<Connection> c_;
};

}  // namespace

std::shared_ptr<Connection> Connection::Create(std::shared_ptr<ProviderSession> session) {
  return std::make_shared<Connection>(std::move(session));
}

Connection::Connection(std::shared_ptr<ProviderSession> session) : session_(std::move(session)) {}

std::string Connection::ErrorSource() const { return "Morvesk.Connection"; }

std::shared_ptr<Connection> Connection::Self() {
  return std::static_pointer_cast<Connection>(shared_from_this());
}

ProviderSession& Connection::Session() const {
  if (!session_) {
    throw ComError(automation::kErrObjectClosed, ErrorSource(),
                   "Operation is not allowed when the object is closed.");
  }
  return *session_;
}

void Connection::Close() { session_.reset(); }

ProviderResult Connection::Check(ProviderResult result) {
  errors_ = result.errors;
  for (const auto& e : errors_) {
    if (!e.is_warning) throw ComError(e.number, e.source, e.description);
  }
  if (result.failed) {
    throw ComError(automation::kErrCommand, ErrorSource(), "The command failed without a message");
  }
  return result;
}

std::shared_ptr<Recordset> Connection::Execute(std::string_view text, int64_t* records_affected,
                                               int32_t /*options*/) {
  ProviderSession& s = Session();
  errors_.clear();
  s.SetCommandTimeout(command_timeout_);
  ProviderResult r = Check(s.Execute(text));
  if (records_affected) *records_affected = r.records_affected;
  std::deque<Rowset> rowsets(std::make_move_iterator(r.rowsets.begin()),
                             std::make_move_iterator(r.rowsets.end()));
  return Recordset::FromRowsets(std::move(rowsets), Self());
}

ProviderResult Connection::CallProcedure(std::string_view name, std::vector<ProviderParam>& params) {
  ProviderSession& s = Session();
  errors_.clear();
  s.SetCommandTimeout(command_timeout_);
  return Check(s.CallProcedure(name, params));
}

const automation::DispatchTable<Connection>& Connection::Table() {
  static const DispatchTable<Connection> table(
      "Connection",
      {
          {{.name = "Execute",
            .params = {In("CommandText", VarType::kString),
                       {"RecordsAffected", VarType::kVariant, true, true, Variant()},
                       Opt("Options", VarType::kLong, Variant(-1))},
            .result = VarType::kObject},
           [](Connection& c, std::vector<Variant>& a) -> Variant {
             int64_t affected = -1;
             auto rs = c.Execute(a[0].ToString(), &affected, a[2].ToLong());
             a[1] = Variant(static_cast<int32_t>(affected));
             return Variant(rs);
           }},
          {{.name = "Errors", .result = VarType::kObject, .is_property = true},
           [](Connection& c, auto&) { return Variant(std::make_shared<ErrorsObject>(c.Self())); }},
          {{.name = "CommandTimeout", .result = VarType::kLong, .is_property = true},
           [](Connection& c, auto&) { return Variant(c.CommandTimeout()); },
           [](Connection& c, std::vector<Variant>& a) { c.SetCommandTimeout(a.back().ToLong()); }},
          {{.name = "Close"},
           [](Connection& c, auto&) {
             c.Close();
             return Variant();
           }},
          {{.name = "State", .result = VarType::kLong, .is_property = true},
           [](Connection& c, auto&) {
             return Variant(static_cast<int32_t>(c.IsOpen() ? ObjectState::kOpen
                                                            : ObjectState::kClosed));
           }},
      });
  return table;
}

}  // namespace morvesk::ado
