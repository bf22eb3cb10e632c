// The provider interface: what the data-access objects need from a database. The
// embedded engine is one provider (engine_provider.h); tests use fakes. Values cross
// this boundary already as automation Variants (int -> Long, decimal -> Decimal,
// float -> Double, datetime -> Date, text -> String, bit -> Boolean, NULL -> Null).
// A provider reports database errors as values in its results and throws only
// ComError for failures of its own (a closed session).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ado/types.h"
#include "platform/automation/variant.h"

namespace morvesk::ado {

struct ColumnInfo {
  std::string name;
  DataType type = DataType::kVariant;
  int32_t defined_size = 0;  // characters for text, bytes otherwise
  uint8_t precision = 0;
  uint8_t scale = 0;
};

struct Rowset {
  std::vector<ColumnInfo> columns;
  std::vector<std::vector<automation::Variant>> rows;
};

// One entry of a connection's Errors collection.
struct ErrorRecord {
  int32_t number = 0;          // HRESULT: kErrIntegrity for constraints, kErrCommand otherwise
  std::string description;     // the server's message
  std::string source;          // the provider's name
  int32_t native_error = 0;    // the server's own error number (T-SQL number)
  std::string sql_state;       // five characters
  bool is_warning = false;     // an informational message (PRINT, low-severity RAISERROR)
};

struct ProviderResult {
  std::vector<Rowset> rowsets;         // result sets, in order
  std::vector<ErrorRecord> errors;     // errors and warnings, in order
  int64_t records_affected = -1;       // last row count reported, -1 when none
  std::optional<int32_t> return_status;
  // True when an error ended the batch or call (the errors above hold it).
  bool failed = false;
};

struct ProviderParam {
  std::string name;
  DataType type = DataType::kVariant;
  ParameterDirection direction = ParameterDirection::kInput;
  int32_t size = 0;
  uint8_t precision = 0;
  uint8_t scale = 0;
  automation::Variant value;  // in: the argument; out: written back after the call
};

// A table as a record set that writes rows back needs it: its name as declared, its
// columns and the columns of its key (empty when it has none; a view has none).
struct TableShape {
  std::string name;
  bool is_view = false;
  std::vector<std::string> columns;
  std::vector<std::string> key;
};

// A call refused before it reached the database: parameter `index` (from 0) of
// `procedure` could not take its value (SQLState 22018, as a failed conversion).
inline ProviderResult RefusedParameter(size_t index, std::string_view procedure, int32_t number,
                                       const std::string& why, std::string_view provider) {
  ProviderResult bad;
  bad.errors.push_back(ErrorRecord{number,
                                   "Parameter " + std::to_string(index + 1) + " of " +
                                       std::string(procedure) + ": " + why,
                                   std::string(provider), 0, "22018", false});
  bad.failed = true;
  return bad;
}

// One open session on a database: temporary tables and the transaction belong to it.
class ProviderSession {
 public:
  virtual ~ProviderSession() = default;
  virtual ProviderResult Execute(std::string_view text) = 0;
  // Output and return-value parameters are written back into `params`.
  virtual ProviderResult CallProcedure(std::string_view name, std::vector<ProviderParam>& params) = 0;
  // The host's unit of work.
  virtual void BeginTransaction() = 0;
  virtual void Commit() = 0;
  virtual void Rollback() = 0;
  virtual bool InTransaction() const = 0;
  // What the session is connected to, for messages ("company.db").
  virtual std::string DataSource() const = 0;
  // The shape of a table named as the database names it; empty when the provider does
  // not know it (then record sets on it cannot be saved).
  virtual std::optional<TableShape> DescribeTable(std::string_view /*name*/) {
    return std::nullopt;
  }
  // The seconds a statement may run before it is cancelled (0: no limit), applied to
  // every statement that follows. A provider that runs every statement to its end keeps
  // no limit.
  virtual void SetCommandTimeout(int32_t /*seconds*/) {}
};

}  // namespace morvesk::ado
