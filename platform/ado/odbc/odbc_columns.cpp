#include "platform/ado/odbc/odbc_columns.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>

#include "base/datetime.h"
#include "base/decimal.h"
#include "platform/ado/odbc/odbc_text.h"
#include "platform/automation/com_error.h"

namespace morvesk::ado::odbc {
namespace {

using automation::Variant;

constexpr double kMsPerDay = 86400000.0;
constexpr double kEngineEpochDays = 2;  // 1900-01-01 in the automation calendar

bool IsMoney(const std::string& type_name) {
  return type_name == "money" || type_name == "smallmoney";
}

DataType MapType(SQLSMALLINT sql_type, const std::string& type_name) {
  switch (sql_type) {
    case SQL_BIT:
      return DataType::kBoolean;
    case SQL_TINYINT:
      return DataType::kTinyInt;
    case SQL_SMALLINT:
      return DataType::kSmallInt;
    case SQL_INTEGER:
      return DataType::kInteger;
    case SQL_BIGINT:
      return DataType::kBigInt;
    case SQL_DECIMAL:
    case SQL_NUMERIC:
      return IsMoney(type_name) ? DataType::kCurrency : DataType::kNumeric;
    case SQL_REAL:
      return DataType::kSingle;
    case SQL_FLOAT:
    case SQL_DOUBLE:
      return DataType::kDouble;
    case SQL_TYPE_TIMESTAMP:
    case SQL_TYPE_DATE:
    case SQL_DATETIME:
      return DataType::kDBTimeStamp;
    case SQL_CHAR:
      return DataType::kChar;
    case SQL_VARCHAR:
      return DataType::kVarChar;
    case SQL_LONGVARCHAR:
      return DataType::kLongVarChar;
    case SQL_WCHAR:
      return DataType::kWChar;
    case SQL_WVARCHAR:
      return DataType::kVarWChar;
    case SQL_WLONGVARCHAR:
      return DataType::kLongVarWChar;
    default:
      return DataType::kVarChar;
  }
}

int32_t DefinedSize(DataType t, SQLULEN column_size) {
  switch (t) {
    case DataType::kBoolean:
    case DataType::kTinyInt:
      return 1;
    case DataType::kSmallInt:
      return 2;
    case DataType::kInteger:
    case DataType::kSingle:
      return 4;
    case DataType::kDouble:
    case DataType::kBigInt:
    case DataType::kCurrency:
    case DataType::kDBTimeStamp:
      return 8;
    case DataType::kNumeric:
      return 19;
    default:
      return column_size > static_cast<SQLULEN>(INT32_MAX) ? -1 : static_cast<int32_t>(column_size);
  }
}

void AddFetchError(SQLHSTMT st, const SecretMask& mask, std::vector<ErrorRecord>& errors) {
  ReadDiagnostics(SQL_HANDLE_STMT, st, mask, errors);
}

Variant FetchText(SQLHSTMT st, SQLUSMALLINT number, const SecretMask& mask,
                  std::vector<ErrorRecord>& errors) {
  WideText whole;
  SQLWCHAR chunk[2048];
  for (;;) {
    SQLLEN indicator = 0;
    const SQLRETURN rc = SQLGetData(st, number, SQL_C_WCHAR, chunk, sizeof chunk, &indicator);
    if (rc == SQL_NO_DATA) break;
    if (rc == SQL_ERROR || rc == SQL_INVALID_HANDLE) {
      AddFetchError(st, mask, errors);
      return Variant::Null();
    }
    if (indicator == SQL_NULL_DATA) return Variant::Null();
    const size_t room = sizeof chunk / sizeof chunk[0] - 1;  // one unit for the terminator
    size_t units = room;
    if (indicator != SQL_NO_TOTAL && static_cast<size_t>(indicator) / sizeof(SQLWCHAR) < room) {
      units = static_cast<size_t>(indicator) / sizeof(SQLWCHAR);
    }
    whole.append(chunk, units);
    if (rc == SQL_SUCCESS) break;  // the rest fit in this chunk
  }
  return Variant(FromWide(whole));
}

}  // namespace

std::vector<ResultColumn> DescribeColumns(SQLHSTMT st, SQLSMALLINT count) {
  std::vector<ResultColumn> out;
  out.reserve(static_cast<size_t>(count));
  for (SQLUSMALLINT i = 1; i <= static_cast<SQLUSMALLINT>(count); ++i) {
    SQLWCHAR name[512] = {0};
    SQLSMALLINT name_length = 0, sql_type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    SQLDescribeColW(st, i, name, sizeof name / sizeof name[0], &name_length, &sql_type, &size,
                    &digits, &nullable);
    SQLWCHAR type_name[128] = {0};
    SQLSMALLINT type_length = 0;
    SQLColAttributeW(st, i, SQL_DESC_TYPE_NAME, type_name, sizeof type_name, &type_length, nullptr);
    std::string tname = FromWide(type_name, static_cast<size_t>(type_length) / sizeof(SQLWCHAR));
    for (char& c : tname) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    ResultColumn c;
    c.sql_type = sql_type;
    c.info.name = FromWide(
        name, std::min<size_t>(static_cast<size_t>(name_length), sizeof name / sizeof name[0]));
    c.info.type = MapType(sql_type, tname);
    c.info.defined_size = DefinedSize(c.info.type, size);
    if (sql_type == SQL_DECIMAL || sql_type == SQL_NUMERIC) {
      c.info.precision = static_cast<uint8_t>(size);
      c.info.scale = static_cast<uint8_t>(digits);
    }
    out.push_back(std::move(c));
  }
  return out;
}

automation::DateValue ToAutomationDate(const SQL_TIMESTAMP_STRUCT& ts) {
  const auto dt = base::DateTime::FromParts(ts.year, ts.month, ts.day, ts.hour, ts.minute,
                                            ts.second, static_cast<int>(ts.fraction / 1000000));
  const int64_t ms = dt ? dt->ms : 0;
  const double days = static_cast<double>(ms) / kMsPerDay + kEngineEpochDays;
  if (days >= 0) return automation::DateValue{days};
  // Before 1899-12-30 the time of day is a positive fraction taken from the day number.
  const double whole = std::floor(days);
  const double frac = days - whole;
  return automation::DateValue{frac == 0 ? whole : (whole + 1) - frac};
}

SQL_TIMESTAMP_STRUCT FromAutomationDate(automation::DateValue v) {
  const double whole = std::trunc(v.days);
  const double frac = std::fabs(v.days - whole);
  const double days = whole + frac - kEngineEpochDays;
  const base::DateTime dt{static_cast<int64_t>(std::llround(days * kMsPerDay))};
  int y = 0, m = 0, d = 0, hh = 0, mi = 0, ss = 0, ms = 0;
  dt.ToParts(y, m, d, hh, mi, ss, ms);
  SQL_TIMESTAMP_STRUCT ts{};
  ts.year = static_cast<SQLSMALLINT>(y);
  ts.month = static_cast<SQLUSMALLINT>(m);
  ts.day = static_cast<SQLUSMALLINT>(d);
  ts.hour = static_cast<SQLUSMALLINT>(hh);
  ts.minute = static_cast<SQLUSMALLINT>(mi);
  ts.second = static_cast<SQLUSMALLINT>(ss);
  ts.fraction = static_cast<SQLUINTEGER>(ms) * 1000000u;
  return ts;
}

Variant FetchValue(SQLHSTMT st, SQLUSMALLINT number, const ResultColumn& column,
                   const SecretMask& mask, std::vector<ErrorRecord>& errors) {
  SQLLEN indicator = 0;
  auto failed = [&](SQLRETURN rc) {
    if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) return false;
    AddFetchError(st, mask, errors);
    return true;
  };
  switch (column.info.type) {
    case DataType::kBoolean:
    case DataType::kTinyInt:
    case DataType::kSmallInt:
    case DataType::kInteger:
    case DataType::kBigInt: {
      int64_t i = 0;
      if (failed(SQLGetData(st, number, SQL_C_SBIGINT, &i, sizeof i, &indicator))) {
        return Variant::Null();
      }
      if (indicator == SQL_NULL_DATA) return Variant::Null();
      if (column.info.type == DataType::kBoolean) return Variant(i != 0);
      if (column.info.type != DataType::kInteger && column.info.type != DataType::kBigInt) {
        return Variant(static_cast<int16_t>(i));
      }
      if (i >= INT32_MIN && i <= INT32_MAX) return Variant(static_cast<int32_t>(i));
      return Variant(base::Decimal::FromInt(i));
    }
    case DataType::kNumeric:
    case DataType::kCurrency: {
      char text[80] = {0};
      if (failed(SQLGetData(st, number, SQL_C_CHAR, text, sizeof text, &indicator))) {
        return Variant::Null();
      }
      if (indicator == SQL_NULL_DATA) return Variant::Null();
      if (auto d = base::Decimal::Parse(text)) {
        // The driver's text drops trailing zeros; the value keeps its column's scale, as
        // the server holds it ("-12.500" of a decimal(9,3)).
        if (d->scale < column.info.scale) {
          if (auto padded = base::Rescale(*d, column.info.scale)) return Variant(*padded);
        }
        return Variant(*d);
      }
      errors.push_back(
          ErrorRecord{automation::kErrCommand,
                      "The driver gave a decimal value that is not a number: " + std::string(text),
                      kProviderName, 0, "22018", false});
      return Variant::Null();
    }
    case DataType::kSingle:
    case DataType::kDouble: {
      double d = 0;
      if (failed(SQLGetData(st, number, SQL_C_DOUBLE, &d, sizeof d, &indicator))) {
        return Variant::Null();
      }
      if (indicator == SQL_NULL_DATA) return Variant::Null();
      return Variant(d);
    }
    case DataType::kDBTimeStamp: {
      SQL_TIMESTAMP_STRUCT ts{};
      if (failed(SQLGetData(st, number, SQL_C_TYPE_TIMESTAMP, &ts, sizeof ts, &indicator))) {
        return Variant::Null();
      }
      if (indicator == SQL_NULL_DATA) return Variant::Null();
      return Variant(ToAutomationDate(ts));
    }
    default:
      return FetchText(st, number, mask, errors);
  }
}

}  // namespace morvesk::ado::odbc
