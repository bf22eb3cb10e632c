// Command time-outs through the ODBC provider against `morvesk serve`: a statement that runs
// past the connection's or the command's time-out is cancelled by the driver (the server
// ends the running batch on the client's attention), the error says so with SQLState HYT00,
// and the same connection runs the next statement.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "platform/ado/command.h"
#include "platform/ado/connection.h"
#include "platform/ado/recordset.h"
#include "platform/automation/com_error.h"
#include "platform/host/connection_description.h"
#include "platform/host/provider_choice.h"
#include "tests/ado_odbc/serve_process.h"

namespace morvesk::test {
namespace {

using automation::ComError;

TEST(OdbcTimeout, AStatementPastItsTimeOutIsCancelledAndTheConnectionGoesOn) {
  const std::string company = TempCompany("timeout");
  MakeDemoCompany(company);
  ServeProcess server(company);
  auto cnn = ado::Connection::Create(
      host::OpenProviderSession(host::ParseConnectionDescription(server.Description())));
  const std::string endless =
      "declare @i int set @i = 0 while @i < 2000000000 begin set @i = @i + 1 end select @i";

  cnn->SetCommandTimeout(1);
  const auto start = std::chrono::steady_clock::now();
  try {
    cnn->Execute(endless);
    ADD_FAILURE() << "the loop ran to its end within its time-out";
  } catch (const ComError& e) {
    ASSERT_FALSE(cnn->Errors().empty());
    EXPECT_EQ(cnn->Errors().front().sql_state, "HYT00") << e.description;
    EXPECT_EQ(e.source, "Morvesk.ODBC");
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
  EXPECT_EQ(cnn->Execute("select 41 + 1")->FieldAt(0).Value().ToLong(), 42);

  // A command's own time-out holds for it alone; the connection's comes back after it.
  cnn->SetCommandTimeout(30);
  auto cmd = ado::Command::Create();
  cmd->SetActiveConnection(cnn);
  cmd->SetCommandText(endless);
  cmd->SetCommandTimeout(1);
  EXPECT_THROW(cmd->Execute(), ComError);
  EXPECT_EQ(cnn->CommandTimeout(), 30);
  EXPECT_EQ(cnn->Execute("select 6 * 7")->FieldAt(0).Value().ToLong(), 42);

  // No limit (0) lets a statement run past a second.
  cnn->SetCommandTimeout(0);
  EXPECT_EQ(cnn->Execute("declare @i int set @i = 0 while @i < 300000 set @i = @i + 1 select @i")
                ->FieldAt(0)
                .Value()
                .ToLong(),
            300000);
  cnn.reset();
  server.Stop();
  RemoveCompanyFiles(company);
}

}  // namespace
}  // namespace morvesk::test
