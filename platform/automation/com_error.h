// The one error type of the automation layer: number (HRESULT-style), source,
// description, help file and help context, as a late-bound caller sees them.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace morvesk::automation {

// HRESULT values the layers raise; the data-access ones are the provider's.
inline constexpr int32_t kErrFail = static_cast<int32_t>(0x80004005);
inline constexpr int32_t kErrNotImpl = static_cast<int32_t>(0x80004001);
inline constexpr int32_t kErrUnknownName = static_cast<int32_t>(0x80020006);   // DISP_E_UNKNOWNNAME
inline constexpr int32_t kErrBadParamCount = static_cast<int32_t>(0x8002000E); // DISP_E_BADPARAMCOUNT
inline constexpr int32_t kErrTypeMismatch = static_cast<int32_t>(0x80020005);  // DISP_E_TYPEMISMATCH
inline constexpr int32_t kErrOverflow = static_cast<int32_t>(0x8002000A);      // DISP_E_OVERFLOW
inline constexpr int32_t kErrMemberNotFound = static_cast<int32_t>(0x80020003); // DISP_E_MEMBERNOTFOUND
inline constexpr int32_t kErrNoInterface = static_cast<int32_t>(0x80004002);
inline constexpr int32_t kErrClassNotReg = static_cast<int32_t>(0x80040154);   // REGDB_E_CLASSNOTREG
inline constexpr int32_t kErrIntegrity = static_cast<int32_t>(0x80040E2F);     // DB_E_INTEGRITYVIOLATION
inline constexpr int32_t kErrCommand = static_cast<int32_t>(0x80040E14);       // DB_E_ERRORSINCOMMAND
// Data-access object errors, as the record set and command raise them.
inline constexpr int32_t kErrNoCurrentRecord = static_cast<int32_t>(0x800A0BCD);  // BOF or EOF
inline constexpr int32_t kErrItemNotFound = static_cast<int32_t>(0x800A0CC1);     // no such field
inline constexpr int32_t kErrObjectClosed = static_cast<int32_t>(0x800A0E78);     // object closed
inline constexpr int32_t kErrNoConnection = static_cast<int32_t>(0x800A0E7D);     // no connection
inline constexpr int32_t kErrBadArgument = static_cast<int32_t>(0x800A0BB9);      // wrong argument

struct ComError : std::runtime_error {
  ComError(int32_t number, std::string source, std::string description, std::string help_file = {},
           int32_t help_context = 0)
      : std::runtime_error(description),
        number(number),
        source(std::move(source)),
        description(std::move(description)),
        help_file(std::move(help_file)),
        help_context(help_context) {}

  int32_t number;
  std::string source;
  std::string description;
  std::string help_file;
  int32_t help_context;
};

}  // namespace morvesk::automation
