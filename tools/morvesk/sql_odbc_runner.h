// `morvesk sql` on a company database reached through ODBC (a --db that names a Driver or
// DSN): each batch goes through the ODBC provider and its result sets print as they do for
// a company file. The driver hands a batch's messages over with the whole batch, so they
// follow its result sets; an error shows the server's number and SQLState (the driver gives
// neither severity nor line).
#pragma once

#include <memory>
#include <string>

#include "tools/morvesk/result_format.h"
#include "tools/morvesk/sql_shell.h"

namespace morvesk::cli {

// Connects at once; ComError when the server refuses (the message without the password).
std::unique_ptr<BatchRunner> MakeOdbcSqlRunner(const std::string& description, Format format,
                                               bool vertical);

}  // namespace morvesk::cli
