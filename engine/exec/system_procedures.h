// The server's system procedures for browsing a database (sp_help, sp_helptext,
// sp_tables, sp_columns), written in T-SQL over the catalog views and run like any
// stored procedure; and the texts of the server's messages they raise by number.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace morvesk::engine::exec {

// {name as declared, CREATE PROCEDURE text} of the system procedure `name` names
// ("sp_help", "dbo.sp_help", "[sys].[sp_columns]"); empty for any other name.
std::optional<std::pair<std::string, std::string>> SystemProcedureSource(std::string_view name);

// The text, with printf-style markers, of a server message that RAISERROR may raise by
// number; empty for numbers the engine does not know.
std::optional<std::string> SystemMessageText(int number);

}  // namespace morvesk::engine::exec
