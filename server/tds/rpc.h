// RPC requests: the procedure named or numbered, its parameters with their types, and
// the parameterised statement of sp_executesql (and its prepare/execute relatives)
// turned into one T-SQL batch the engine runs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/engine.h"
#include "server/tds/types.h"

namespace morvesk::server::tds {

// Procedures a client may name by number instead of by name.
enum SpecialProc : uint16_t {
  kSpExecuteSql = 10,
  kSpPrepare = 11,
  kSpExecute = 12,
  kSpPrepExec = 13,
  kSpUnprepare = 15,
};

struct RpcParam {
  std::string name;  // "@P1"; empty when passed by position
  bool output = false;
  engine::TypeInfo type;
  engine::Value value;
};

struct RpcCall {
  std::string proc_name;  // empty when proc_id is set
  uint16_t proc_id = 0;
  std::vector<RpcParam> params;
};

// Parses an RPC request's payload after its headers: one or more calls.
std::vector<RpcCall> ParseRpc(std::string_view payload);

// The procedure number for a name the client spelled out ("sp_executesql" -> 10); 0 for
// any other procedure.
uint16_t SpecialProcId(std::string_view name);

// A parameter of a parameterised statement as its declaration text lists it.
struct DeclaredParam {
  std::string name;
  std::string type;  // as written: "decimal(18,4)"
  bool output = false;
};
// Splits "@P1 int, @P2 nvarchar(10) OUTPUT". A declaration that cannot be read gives
// an engine error (Msg 102 style), raised by the caller.
std::optional<std::vector<DeclaredParam>> ParseDeclarations(std::string_view text);

// The T-SQL spelling of a value as a literal of its type.
std::string LiteralOf(const engine::Value& v);

// The batch that runs `statement` with its parameters: declarations and values on the
// statement's first line (so line numbers of errors stay the statement's own), then,
// when any parameter is an output, one last SELECT of the output variables that the
// session takes back instead of sending. `values` are matched to declarations by name,
// else by position.
struct ParameterisedBatch {
  std::string text;
  std::vector<size_t> outputs;  // indexes into the declarations
  bool reads_outputs = false;
};
ParameterisedBatch BuildParameterisedBatch(std::string_view statement,
                                           const std::vector<DeclaredParam>& declared,
                                           const std::vector<RpcParam>& values);

}  // namespace morvesk::server::tds
