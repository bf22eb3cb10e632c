// Data-access enumerations with their standard numeric values, so that late-bound
// callers and the library's own code pass the same numbers.
#pragma once

#include <cstdint>

namespace morvesk::ado {

enum class DataType : int32_t {
  kEmpty = 0,
  kSmallInt = 2,
  kInteger = 3,
  kSingle = 4,
  kDouble = 5,
  kCurrency = 6,
  kDate = 7,
  kBSTR = 8,
  kBoolean = 11,
  kVariant = 12,
  kDecimal = 14,
  kTinyInt = 16,
  kBigInt = 20,
  kChar = 129,
  kWChar = 130,
  kNumeric = 131,
  kDBTimeStamp = 135,
  kVarChar = 200,
  kLongVarChar = 201,
  kVarWChar = 202,
  kLongVarWChar = 203,
};

enum class ParameterDirection : int32_t {
  kUnknown = 0,
  kInput = 1,
  kOutput = 2,
  kInputOutput = 3,
  kReturnValue = 4,
};

enum class CommandType : int32_t {
  kUnknown = -1,
  kText = 1,
  kTable = 2,
  kStoredProc = 4,
};

enum class CursorLocation : int32_t { kServer = 2, kClient = 3 };
enum class CursorType : int32_t { kForwardOnly = 0, kKeyset = 1, kDynamic = 2, kStatic = 3 };
enum class LockType : int32_t { kReadOnly = 1, kPessimistic = 2, kOptimistic = 3, kBatchOptimistic = 4 };
enum class ObjectState : int32_t { kClosed = 0, kOpen = 1 };

// Connection::Execute's options value that the library passes (-1: unspecified).
inline constexpr int32_t kOptionUnspecified = -1;

}  // namespace morvesk::ado
