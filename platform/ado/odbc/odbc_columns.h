// Result columns read from the driver: each column's SQL type mapped to the provider's
// data types, and each value fetched into the Variant the embedded engine would give for
// the same column (int -> Long, decimal and money -> Decimal read as text, never through
// a double, datetime -> Date, every kind of text -> String in UTF-8, bit -> Boolean,
// NULL -> Null).
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <vector>

#include "platform/ado/odbc/odbc_diagnostics.h"
#include "platform/ado/provider.h"

namespace morvesk::ado::odbc {

struct ResultColumn {
  ColumnInfo info;
  SQLSMALLINT sql_type = SQL_UNKNOWN_TYPE;
};

std::vector<ResultColumn> DescribeColumns(SQLHSTMT st, SQLSMALLINT count);

// The value of column `number` (1-based) of the current row. A value the driver refuses
// to hand over is an error record appended to `errors` and a Null value.
automation::Variant FetchValue(SQLHSTMT st, SQLUSMALLINT number, const ResultColumn& column,
                               const SecretMask& mask, std::vector<ErrorRecord>& errors);

// A datetime as the automation calendar counts it, with the engine provider's arithmetic
// (milliseconds since 1900-01-01, day 2 of that calendar), so that both providers give
// the same Date for the same stored value.
automation::DateValue ToAutomationDate(const SQL_TIMESTAMP_STRUCT& ts);
SQL_TIMESTAMP_STRUCT FromAutomationDate(automation::DateValue d);

}  // namespace morvesk::ado::odbc
