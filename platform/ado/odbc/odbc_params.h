// Procedure parameters bound to the driver: each parameter's buffer, its C and SQL types
// from the declared data type (or, for an untyped one, its value), and the values of
// output and return-value parameters read back after the call.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/ado/provider.h"

namespace morvesk::ado::odbc {

struct BoundParam {
  SQLSMALLINT io = SQL_PARAM_INPUT;
  SQLSMALLINT c_type = SQL_C_CHAR;
  SQLSMALLINT sql_type = SQL_VARCHAR;
  SQLULEN column_size = 0;
  SQLSMALLINT digits = 0;
  std::vector<unsigned char> buffer;
  SQLLEN indicator = 0;
  DataType type = DataType::kVariant;
};

// The buffer for `p`. Throws ComError when the value cannot be converted to the type.
std::unique_ptr<BoundParam> PrepareParam(const ProviderParam& p);
// The call's return status: an int output at the first position.
std::unique_ptr<BoundParam> ReturnStatusParam();

// Binds `b` as parameter `number` (1-based); false when the driver refuses.
bool Bind(SQLHSTMT st, SQLUSMALLINT number, BoundParam& b);

// The value the server wrote back.
automation::Variant ReadBack(const BoundParam& b);

}  // namespace morvesk::ado::odbc
