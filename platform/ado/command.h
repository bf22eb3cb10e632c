// The command: a stored-procedure call (CommandType 4) or a text batch with
// parameters created by CreateParameter and appended in the procedure's order;
// output and return values are read back from Parameters after Execute. Late-bound
// as well (Command, Parameters collection, Parameter).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/ado/provider.h"
#include "platform/ado/types.h"
#include "platform/automation/dispatch_object.h"

namespace morvesk::ado {

class Connection;
class Recordset;

class Parameter : public automation::DispatchObject<Parameter> {
 public:
  static const automation::DispatchTable<Parameter>& Table();
  std::string ErrorSource() const override { return "Morvesk.Parameter"; }

  std::string name;
  DataType type = DataType::kEmpty;
  ParameterDirection direction = ParameterDirection::kInput;
  int32_t size = 0;
  uint8_t precision = 0;
  uint8_t numeric_scale = 0;
  automation::Variant value;
};

class ParameterCollection : public automation::DispatchObject<ParameterCollection> {
 public:
  static const automation::DispatchTable<ParameterCollection>& Table();
  std::string ErrorSource() const override { return "Morvesk.Parameters"; }

  void Append(std::shared_ptr<Parameter> p);
  size_t Count() const { return items_.size(); }
  // By zero-based position or by name without regard to case; kErrItemNotFound otherwise.
  std::shared_ptr<Parameter> Item(const automation::Variant& index) const;
  void Delete(const automation::Variant& index);
  const std::vector<std::shared_ptr<Parameter>>& items() const { return items_; }

 private:
  size_t IndexOf(const automation::Variant& index) const;
  std::vector<std::shared_ptr<Parameter>> items_;
};

class Command : public automation::DispatchObject<Command> {
 public:
  Command();
  static std::shared_ptr<Command> Create() { return std::make_shared<Command>(); }
  static const automation::DispatchTable<Command>& Table();
  std::string ErrorSource() const override { return "Morvesk.Command"; }

  const std::shared_ptr<Connection>& ActiveConnection() const { return connection_; }
  void SetActiveConnection(std::shared_ptr<Connection> c) { connection_ = std::move(c); }
  const std::string& CommandText() const { return text_; }
  void SetCommandText(std::string text) { text_ = std::move(text); }
  ado::CommandType GetCommandType() const { return type_; }
  void SetCommandType(ado::CommandType t) { type_ = t; }
  int32_t CommandTimeout() const { return timeout_; }
  void SetCommandTimeout(int32_t seconds) { timeout_ = seconds; }

  std::shared_ptr<Parameter> CreateParameter(std::string name = {},
                                             DataType type = DataType::kEmpty,
                                             ParameterDirection direction = ParameterDirection::kInput,
                                             int32_t size = 0,
                                             automation::Variant value = automation::Variant());
  ParameterCollection& Parameters() { return *parameters_; }
  const std::shared_ptr<ParameterCollection>& parameters_object() const { return parameters_; }

  // Runs the command on its connection. A stored procedure gets the appended
  // parameters by position (their names are not used to bind); output, input-output
  // and return-value parameters receive their values. Returns an open Recordset on
  // the first result set or a closed one; errors as Connection::Execute.
  std::shared_ptr<Recordset> Execute(int64_t* records_affected = nullptr);

 private:
  std::shared_ptr<Connection> connection_;
  std::string text_;
  ado::CommandType type_ = ado::CommandType::kUnknown;
  int32_t timeout_ = 30;
  std::shared_ptr<ParameterCollection> parameters_;
};

}  // namespace morvesk::ado
