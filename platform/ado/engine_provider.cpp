#include "platform/ado/engine_provider.h"

#include <cmath>
#include <filesystem>
#include <map>
#include <mutex>

#include "base/connection_secrets.h"
#include "engine/engine.h"
#include "platform/automation/com_error.h"

namespace morvesk::ado {
namespace {

using automation::ComError;
using automation::DateValue;
using automation::Variant;
using engine::TypeKind;

constexpr char kProviderName[] = "Morvesk.Engine";
constexpr double kMsPerDay = 86400000.0;
// 1900-01-01, the engine's day 0, is day 2 of the automation calendar.
constexpr double kEngineEpochDays = 2;

DataType MapType(const engine::TypeInfo& t) {
  switch (t.kind) {
    case TypeKind::kBit: return DataType::kBoolean;
    case TypeKind::kTinyInt: return DataType::kTinyInt;
    case TypeKind::kSmallInt: return DataType::kSmallInt;
    case TypeKind::kInt: return DataType::kInteger;
    case TypeKind::kBigInt: return DataType::kBigInt;
    case TypeKind::kMoney: return DataType::kCurrency;
    case TypeKind::kDecimal: return DataType::kNumeric;
    case TypeKind::kReal: return DataType::kSingle;
    case TypeKind::kFloat: return DataType::kDouble;
    case TypeKind::kSmallDateTime:
    case TypeKind::kDateTime: return DataType::kDBTimeStamp;
    case TypeKind::kChar: return DataType::kChar;
    case TypeKind::kVarChar: return DataType::kVarChar;
    case TypeKind::kNChar: return DataType::kWChar;
    case TypeKind::kNVarChar: return DataType::kVarWChar;
    case TypeKind::kText: return DataType::kLongVarChar;
    case TypeKind::kNText: return DataType::kLongVarWChar;
    case TypeKind::kNull: return DataType::kInteger;  // a bare NULL column is int, as the server types it
    default: return DataType::kVarChar;
  }
}

ColumnInfo MapColumn(const engine::Column& c) {
  ColumnInfo info;
  info.name = c.name;
  info.type = MapType(c.type);
  info.precision = c.type.precision;
  info.scale = c.type.scale;
  switch (c.type.kind) {
    case TypeKind::kBit:
    case TypeKind::kTinyInt: info.defined_size = 1; break;
    case TypeKind::kSmallInt: info.defined_size = 2; break;
    case TypeKind::kInt:
    case TypeKind::kReal: info.defined_size = 4; break;
    case TypeKind::kFloat:
    case TypeKind::kBigInt:
    case TypeKind::kMoney:
    case TypeKind::kDateTime: info.defined_size = 8; break;
    case TypeKind::kDecimal: info.defined_size = 19; break;
    default: info.defined_size = c.type.length;
  }
  return info;
}

DateValue ToAutomationDate(engine::DateTime d) {
  double days = static_cast<double>(d.ms) / kMsPerDay + kEngineEpochDays;
  if (days >= 0) return DateValue{days};
  // Before 1899-12-30 the automation form keeps the time of day as a positive
  // fraction subtracted from the (negative) day number.
  double whole = std::floor(days);
  double frac = days - whole;
  return DateValue{frac == 0 ? whole : (whole + 1) - frac};
}

engine::DateTime FromAutomationDate(DateValue v) {
  double whole = std::trunc(v.days);
  double frac = std::fabs(v.days - whole);
  double days = whole + frac - kEngineEpochDays;
  return engine::DateTime{static_cast<int64_t>(std::llround(days * kMsPerDay))};
}

Variant ToVariant(const engine::Value& v) {
  if (v.is_null()) return Variant::Null();
  if (v.is_int()) {
    int64_t i = v.as_int();
    switch (v.type().kind) {
      case TypeKind::kBit: return Variant(i != 0);
      case TypeKind::kTinyInt:
      case TypeKind::kSmallInt: return Variant(static_cast<int16_t>(i));
      default:
        if (i >= INT32_MIN && i <= INT32_MAX) return Variant(static_cast<int32_t>(i));
        return Variant(engine::Decimal::FromInt(i));
    }
  }
  if (v.is_double()) return Variant(v.as_double());
  if (v.is_decimal()) return Variant(v.as_decimal());
  if (v.is_datetime()) return Variant(ToAutomationDate(v.as_datetime()));
  return Variant(v.as_text());
}

engine::TypeInfo DeclaredType(const ProviderParam& p) {
  using engine::TypeInfo;
  switch (p.type) {
    case DataType::kBoolean: return TypeInfo::Of(TypeKind::kBit);
    case DataType::kTinyInt: return TypeInfo::Of(TypeKind::kTinyInt);
    case DataType::kSmallInt: return TypeInfo::Of(TypeKind::kSmallInt);
    case DataType::kInteger: return TypeInfo::Of(TypeKind::kInt);
    case DataType::kBigInt: return TypeInfo::Of(TypeKind::kBigInt);
    case DataType::kSingle: return TypeInfo::Of(TypeKind::kReal);
    case DataType::kDouble: return TypeInfo::Of(TypeKind::kFloat);
    case DataType::kCurrency: return TypeInfo::Of(TypeKind::kMoney);
    case DataType::kDecimal:
    case DataType::kNumeric:
      return TypeInfo::Decimal(p.precision ? p.precision : 18, p.scale);
    case DataType::kDate:
    case DataType::kDBTimeStamp: return TypeInfo::Of(TypeKind::kDateTime);
    case DataType::kChar: return TypeInfo{TypeKind::kChar, 0, 0, p.size > 0 ? p.size : 1};
    case DataType::kWChar: return TypeInfo{TypeKind::kNChar, 0, 0, p.size > 0 ? p.size : 1};
    case DataType::kVarWChar:
    case DataType::kLongVarWChar:
      return TypeInfo{TypeKind::kNVarChar, 0, 0, p.size > 0 ? p.size : -1};
    default: return TypeInfo{TypeKind::kVarChar, 0, 0, p.size > 0 ? p.size : -1};
  }
}

engine::Value ToEngineValue(const Variant& v, const engine::TypeInfo& t) {
  if (v.is_null() || v.is_empty()) return engine::Value::Null(t);
  // A bit holds 0 or 1: an automation True (-1) arrives as 1, as the server converts it.
  if (t.kind == TypeKind::kBit) return engine::Value(t, int64_t{v.ToBool() ? 1 : 0});
  if (t.IsInteger()) return engine::Value(t, static_cast<int64_t>(v.ToLong()));
  if (t.IsApprox()) return engine::Value(t, v.ToDouble());
  if (t.kind == TypeKind::kDecimal || t.kind == TypeKind::kMoney) {
    return engine::Value(t, v.ToDecimal());
  }
  if (t.IsDateTime()) return engine::Value(t, FromAutomationDate(v.ToDate()));
  return engine::Value(t, v.ToString());
}

std::string SqlState(const engine::SqlError& e) {
  if (e.IsConstraintViolation()) return "23000";
  switch (e.number) {
    case 208: return "42S02";
    case 207: return "42S22";
    case 8134: return "22012";
    case 245:
    case 241: return "22018";
    case 8115: return "22003";
    default: return "42000";
  }
}

ErrorRecord MapError(const engine::SqlError& e) {
  ErrorRecord r;
  r.number = e.IsConstraintViolation() ? automation::kErrIntegrity : automation::kErrCommand;
  r.description = e.message;
  r.source = kProviderName;
  r.native_error = e.number;
  r.sql_state = SqlState(e);
  return r;
}

void MapItem(const engine::Result& r, ProviderResult& out) {
  switch (r.kind) {
    case engine::Result::Kind::kRows: {
      Rowset rs;
      for (const auto& c : r.columns) rs.columns.push_back(MapColumn(c));
      rs.rows.reserve(r.rows.size());
      for (const auto& row : r.rows) {
        std::vector<Variant> values;
        values.reserve(row.size());
        for (const auto& v : row) values.push_back(ToVariant(v));
        rs.rows.push_back(std::move(values));
      }
      out.rowsets.push_back(std::move(rs));
      break;
    }
    case engine::Result::Kind::kRowCount: out.records_affected = r.row_count; break;
    case engine::Result::Kind::kMessage: {
      // Informational messages reach the Errors collection as warnings, as a
      // server's PRINT output does.
      ErrorRecord w;
      w.number = automation::kErrCommand;
      w.description = r.message;
      w.native_error = r.message_number;
      w.source = kProviderName;
      w.sql_state = "01000";
      w.is_warning = true;
      out.errors.push_back(std::move(w));
      break;
    }
    case engine::Result::Kind::kError:
      if (r.error) out.errors.push_back(MapError(*r.error));
      break;
  }
}

// What the batch leaves besides its items: errors not met as items, its end, its status.
ProviderResult Finish(ProviderResult out, const engine::BatchResult& b) {
  // Errors the batch went on after are also in b.errors; the ones not already met as
  // results are added so that none is lost.
  size_t listed = 0;
  for (const auto& e : out.errors) listed += e.is_warning ? 0 : 1;
  for (size_t i = listed; i < b.errors.size(); ++i) out.errors.push_back(MapError(b.errors[i]));
  out.failed = !b.errors.empty();
  out.return_status = b.return_status;
  return out;
}

ProviderResult MapBatch(const engine::BatchResult& b) {
  ProviderResult out;
  for (const auto& r : b.results) MapItem(r, out);
  return Finish(std::move(out), b);
}

// Maps each item as the engine hands it over: a batch's rows are then held once, as the
// record set's values, never also as the engine's.
class MappingSink : public engine::ResultSink {
 public:
  void Take(engine::Result&& r) override { MapItem(r, out); }
  ProviderResult out;
};

// A database error met outside a batch's results (a parameter value the engine refuses)
// leaves as an automation error without a source, so that the object whose member was
// called names itself as the source.
[[noreturn]] void ThrowUnlisted(const engine::SqlError& e) {
  throw ComError(e.IsConstraintViolation() ? automation::kErrIntegrity : automation::kErrCommand,
                 std::string(), e.message);
}

ProviderResult Failure(const engine::SqlError& e) {
  ProviderResult out;
  out.errors.push_back(MapError(e));
  out.failed = true;
  return out;
}

class EngineSession : public ProviderSession {
 public:
  EngineSession(std::shared_ptr<engine::Database> db, std::unique_ptr<engine::Connection> conn)
      : db_(std::move(db)), conn_(std::move(conn)) {}

  ProviderResult Execute(std::string_view text) override {
    try {
      MappingSink sink;
      const engine::BatchResult b = conn_->ExecuteStreaming(text, sink);
      return Finish(std::move(sink.out), b);
    } catch (const engine::SqlError& e) {
      return Failure(e);
    }
  }

  ProviderResult CallProcedure(std::string_view name, std::vector<ProviderParam>& params) override {
    try {
      return CallProcedureChecked(name, params);
    } catch (const engine::SqlError& e) {
      ThrowUnlisted(e);
    }
  }

  ProviderResult CallProcedureChecked(std::string_view name, std::vector<ProviderParam>& params) {
    std::vector<engine::ProcParam> call;
    std::vector<size_t> index;  // call position -> params position
    for (size_t i = 0; i < params.size(); ++i) {
      const ProviderParam& p = params[i];
      if (p.direction == ParameterDirection::kReturnValue) continue;
      engine::ProcParam e;
      e.type = DeclaredType(p);
      e.output = p.direction == ParameterDirection::kOutput ||
                 p.direction == ParameterDirection::kInputOutput;
      try {
        e.value = ToEngineValue(p.value, e.type);
      } catch (const ComError& err) {
        return RefusedParameter(i, name, err.number, err.description, kProviderName);
      }
      call.push_back(std::move(e));
      index.push_back(i);
    }
    ProviderResult out;
    try {
      out = MapBatch(conn_->CallProcedure(name, call));
    } catch (const engine::SqlError& e) {
      return Failure(e);
    }
    for (size_t k = 0; k < call.size(); ++k) {
      ProviderParam& p = params[index[k]];
      if (p.direction != ParameterDirection::kInput) p.value = ToVariant(call[k].value);
    }
    for (auto& p : params) {
      if (p.direction == ParameterDirection::kReturnValue) {
        p.value = Variant(static_cast<int32_t>(out.return_status.value_or(0)));
      }
    }
    return out;
  }

  void BeginTransaction() override { Guard([&] { conn_->BeginTransaction(); }); }
  void Commit() override { Guard([&] { conn_->Commit(); }); }
  void Rollback() override { Guard([&] { conn_->Rollback(); }); }
  bool InTransaction() const override { return conn_->InTransaction(); }
  std::string DataSource() const override { return db_->path(); }
  std::optional<TableShape> DescribeTable(std::string_view name) override {
    std::optional<engine::TableShape> shape;
    try {
      shape = conn_->DescribeTable(name);
    } catch (const engine::SqlError& e) {
      throw ComError(automation::kErrCommand, kProviderName, e.message);
    }
    if (!shape) return std::nullopt;
    return TableShape{shape->name, shape->is_view, shape->columns, shape->primary_key};
  }

 private:
  template <class F>
  void Guard(F f) {
    try {
      f();
    } catch (const engine::SqlError& e) {
      throw ComError(automation::kErrCommand, kProviderName, e.message);
    }
  }
  std::shared_ptr<engine::Database> db_;
  std::unique_ptr<engine::Connection> conn_;
};

std::shared_ptr<engine::Database> OpenDatabase(const std::string& path) {
  namespace fs = std::filesystem;
  static std::mutex mu;
  static std::map<std::string, std::shared_ptr<engine::Database>> open;
  std::string key = path;
  if (path != ":memory:") {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) {
      throw ComError(automation::kErrFail, kProviderName,
                     "Cannot open database \"" + base::MaskPasswords(path) + "\": " +
                         (fs::is_directory(path, ec) ? "it is a directory, not a company file"
                                                     : "the file does not exist"));
    }
    key = fs::canonical(path, ec).string();
    if (ec) key = fs::absolute(path).string();
  }
  std::lock_guard lock(mu);
  if (auto it = open.find(key); it != open.end()) return it->second;
  try {
    auto db = engine::Database::Open(key, /*must_exist=*/key != ":memory:");
    open.emplace(key, db);
    return db;
  } catch (const engine::SqlError& e) {
    // The engine's message already names the database, by its full path: named once, as the
    // caller wrote it.
    std::string message = e.message;
    const std::string engine_name = "Cannot open database \"" + key + "\"";
    if (message.rfind(engine_name, 0) == 0) {
      message = "Cannot open database \"" + path + "\"" + message.substr(engine_name.size());
    } else if (message.rfind("Cannot open database", 0) != 0) {
      message = "Cannot open database \"" + path + "\": " + message;
    }
    throw ComError(automation::kErrFail, kProviderName, base::MaskPasswords(message));
  }
}

}  // namespace

std::unique_ptr<ProviderSession> OpenEngineSession(const std::string& path) {
  auto db = OpenDatabase(path);
  std::unique_ptr<engine::Connection> conn;
  try {
    conn = db->Connect();
  } catch (const engine::SqlError& e) {
    throw ComError(
        automation::kErrFail, kProviderName,
        base::MaskPasswords("Cannot connect to database \"" + path + "\": " + e.message));
  }
  return std::make_unique<EngineSession>(std::move(db), std::move(conn));
}

}  // namespace morvesk::ado
