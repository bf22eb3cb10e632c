#include "platform/ado/odbc/odbc_params.h"

#include <cstring>

#include "base/decimal.h"
#include "platform/ado/odbc/odbc_columns.h"
#include "platform/ado/odbc/odbc_text.h"
#include "platform/automation/com_error.h"

namespace morvesk::ado::odbc {
namespace {

using automation::Variant;

// The widest text an ordinary (not long) wide parameter takes on the server.
constexpr SQLULEN kWideLimit = 4000;

template <class T>
void Store(BoundParam& b, T v) {
  b.buffer.resize(sizeof v);
  std::memcpy(b.buffer.data(), &v, sizeof v);
  b.indicator = 0;
}

template <class T>
T Load(const BoundParam& b) {
  T v{};
  std::memcpy(&v, b.buffer.data(), std::min(sizeof v, b.buffer.size()));
  return v;
}

// An untyped parameter takes the type of its value.
DataType TypeOfValue(const Variant& v) {
  if (v.is_string()) return DataType::kVarWChar;
  if (v.is_null() || v.is_empty()) return DataType::kVarWChar;
  switch (v.type()) {
    case automation::VarType::kBoolean:
      return DataType::kBoolean;
    case automation::VarType::kShort:
      return DataType::kSmallInt;
    case automation::VarType::kLong:
      return DataType::kInteger;
    case automation::VarType::kDouble:
      return DataType::kDouble;
    case automation::VarType::kDecimal:
      return DataType::kNumeric;
    case automation::VarType::kDate:
      return DataType::kDBTimeStamp;
    default:
      return DataType::kVarWChar;
  }
}

}  // namespace

std::unique_ptr<BoundParam> PrepareParam(const ProviderParam& p) {
  auto b = std::make_unique<BoundParam>();
  b->type =
      p.type == DataType::kVariant || p.type == DataType::kEmpty ? TypeOfValue(p.value) : p.type;
  switch (p.direction) {
    case ParameterDirection::kOutput:
      b->io = SQL_PARAM_OUTPUT;
      break;
    case ParameterDirection::kInputOutput:
      b->io = SQL_PARAM_INPUT_OUTPUT;
      break;
    default:
      b->io = SQL_PARAM_INPUT;
  }
  const bool null = p.value.is_null() || p.value.is_empty();
  switch (b->type) {
    case DataType::kBoolean:
      b->c_type = SQL_C_BIT;
      b->sql_type = SQL_BIT;
      b->column_size = 1;
      Store<unsigned char>(*b, null ? 0 : (p.value.ToBool() ? 1 : 0));
      break;
    case DataType::kTinyInt:
    case DataType::kSmallInt:
    case DataType::kInteger:
      b->c_type = SQL_C_SLONG;
      b->sql_type = b->type == DataType::kInteger    ? SQL_INTEGER
                    : b->type == DataType::kSmallInt ? SQL_SMALLINT
                                                     : SQL_TINYINT;
      b->column_size = 10;
      Store<SQLINTEGER>(*b, null ? 0 : p.value.ToLong());
      break;
    case DataType::kBigInt:
      b->c_type = SQL_C_SBIGINT;
      b->sql_type = SQL_BIGINT;
      b->column_size = 19;
      Store<int64_t>(*b, null ? 0 : static_cast<int64_t>(p.value.ToDouble()));
      break;
    case DataType::kSingle:
    case DataType::kDouble:
      b->c_type = SQL_C_DOUBLE;
      b->sql_type = b->type == DataType::kSingle ? SQL_REAL : SQL_FLOAT;
      b->column_size = b->type == DataType::kSingle ? 24 : 53;
      Store<double>(*b, null ? 0.0 : p.value.ToDouble());
      break;
    case DataType::kCurrency:
    case DataType::kDecimal:
    case DataType::kNumeric: {
      // Decimals travel as their exact text.
      b->c_type = SQL_C_CHAR;
      b->sql_type = SQL_DECIMAL;
      const bool money = b->type == DataType::kCurrency;
      b->column_size = money ? 19 : (p.precision ? p.precision : 18);
      b->digits = money ? 4 : p.scale;
      std::string text = null ? std::string() : p.value.ToDecimal().ToString();
      b->buffer.assign(64, 0);
      std::memcpy(b->buffer.data(), text.data(), std::min<size_t>(text.size(), 63));
      b->indicator = SQL_NTS;
      break;
    }
    case DataType::kDate:
    case DataType::kDBTimeStamp:
      b->c_type = SQL_C_TYPE_TIMESTAMP;
      b->sql_type = SQL_TYPE_TIMESTAMP;
      b->column_size = 23;
      b->digits = 3;
      Store<SQL_TIMESTAMP_STRUCT>(*b, null ? SQL_TIMESTAMP_STRUCT{1900, 1, 1, 0, 0, 0, 0}
                                           : FromAutomationDate(p.value.ToDate()));
      break;
    default: {
      const WideText text = null ? WideText() : ToWide(p.value.ToString());
      SQLULEN size = p.size > 0 ? static_cast<SQLULEN>(p.size) : 0;
      if (size < text.size()) size = text.size();
      if (size == 0) size = b->io == SQL_PARAM_INPUT ? 1 : kWideLimit;
      b->c_type = SQL_C_WCHAR;
      b->sql_type = size > kWideLimit ? SQL_WLONGVARCHAR : SQL_WVARCHAR;
      b->column_size = size;
      b->buffer.assign((size + 1) * sizeof(SQLWCHAR), 0);
      std::memcpy(b->buffer.data(), text.data(), text.size() * sizeof(SQLWCHAR));
      b->indicator = static_cast<SQLLEN>(text.size() * sizeof(SQLWCHAR));
    }
  }
  if (null) b->indicator = SQL_NULL_DATA;
  return b;
}

std::unique_ptr<BoundParam> ReturnStatusParam() {
  auto b = std::make_unique<BoundParam>();
  b->io = SQL_PARAM_OUTPUT;
  b->c_type = SQL_C_SLONG;
  b->sql_type = SQL_INTEGER;
  b->column_size = 10;
  b->type = DataType::kInteger;
  Store<SQLINTEGER>(*b, 0);
  b->indicator = SQL_NULL_DATA;
  return b;
}

bool Bind(SQLHSTMT st, SQLUSMALLINT number, BoundParam& b) {
  const SQLRETURN rc =
      SQLBindParameter(st, number, b.io, b.c_type, b.sql_type, b.column_size, b.digits,
                       b.buffer.data(), static_cast<SQLLEN>(b.buffer.size()), &b.indicator);
  return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO;
}

Variant ReadBack(const BoundParam& b) {
  if (b.indicator == SQL_NULL_DATA) return Variant::Null();
  switch (b.c_type) {
    case SQL_C_BIT:
      return Variant(Load<unsigned char>(b) != 0);
    case SQL_C_SLONG: {
      const SQLINTEGER v = Load<SQLINTEGER>(b);
      if (b.type == DataType::kSmallInt || b.type == DataType::kTinyInt) {
        return Variant(static_cast<int16_t>(v));
      }
      return Variant(static_cast<int32_t>(v));
    }
    case SQL_C_SBIGINT: {
      const int64_t v = Load<int64_t>(b);
      if (v >= INT32_MIN && v <= INT32_MAX) return Variant(static_cast<int32_t>(v));
      return Variant(base::Decimal::FromInt(v));
    }
    case SQL_C_DOUBLE:
      return Variant(Load<double>(b));
    case SQL_C_CHAR: {
      const std::string text(reinterpret_cast<const char*>(b.buffer.data()));
      if (auto d = base::Decimal::Parse(text)) {
        if (d->scale < b.digits) {
          if (auto padded = base::Rescale(*d, b.digits)) return Variant(*padded);
        }
        return Variant(*d);
      }
      return Variant(text);
    }
    case SQL_C_TYPE_TIMESTAMP:
      return Variant(ToAutomationDate(Load<SQL_TIMESTAMP_STRUCT>(b)));
    default: {
      const auto* w = reinterpret_cast<const SQLWCHAR*>(b.buffer.data());
      size_t units = b.buffer.size() / sizeof(SQLWCHAR);
      if (b.indicator >= 0 && static_cast<size_t>(b.indicator) / sizeof(SQLWCHAR) < units) {
        units = static_cast<size_t>(b.indicator) / sizeof(SQLWCHAR);
      }
      return Variant(FromWide(w, units));
    }
  }
}

}  // namespace morvesk::ado::odbc
