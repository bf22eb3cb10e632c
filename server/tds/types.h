// Engine values on the wire and back. Result columns go out in the nullable forms every
// client reads (INTN, BITN, DECIMALN, MONEYN, FLTN, DATETIMN; all text as NVARCHAR in
// UTF-16LE, long text as a partially length-prefixed NVARCHAR(MAX) for 7.2 clients);
// parameters of RPC requests come in whatever type the client chose and become engine
// values of the matching T-SQL type.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "server/tds/wire.h"

namespace morvesk::server::tds {

// How a result column is sent: its wire type and sizes. Made from the engine's column
// type and widened when a value of the column would not fit the declared length.
struct WireColumn {
  uint8_t type = 0;
  uint8_t size = 0;        // INTN/FLTN/MONEYN/DATETIMN/BITN/DECIMALN byte length
  uint8_t precision = 0;   // DECIMALN
  uint8_t scale = 0;       // DECIMALN
  uint16_t max_bytes = 0;  // NVARCHAR/BIGVARBINARY; 0xFFFF means MAX (PLP values)
};

WireColumn WireColumnFor(const engine::TypeInfo& type,
                         const std::vector<std::vector<engine::Value>>* rows, size_t column,
                         bool tds72);
// TYPE_INFO of a column or return value.
void WriteTypeInfo(ByteWriter& w, const WireColumn& c);
// One value in the column's form; converts the value to the column's type when the
// engine produced a different one (an int in a decimal column).
void WriteValue(ByteWriter& w, const WireColumn& c, const engine::Value& v);

// The parsed TYPE_INFO of an incoming parameter.
struct WireTypeIn {
  uint8_t type = 0;
  uint32_t max_length = 0;
  uint8_t precision = 0;
  uint8_t scale = 0;
  uint16_t collation_lcid = 0;
  bool plp = false;
};
WireTypeIn ReadTypeInfo(ByteReader& r);
engine::TypeInfo EngineTypeOf(const WireTypeIn& t);
engine::Value ReadValue(ByteReader& r, const WireTypeIn& t);

}  // namespace morvesk::server::tds
