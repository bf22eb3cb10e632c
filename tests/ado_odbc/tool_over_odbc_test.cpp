// The tool's commands given an ODBC description for --db: the ones that work through the
// operations, and `sql`, reach the served company and print what they print for its file;
// the ones that work on a company file itself refuse the description plainly; a refused
// login says why without the password.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/ado_odbc/serve_process.h"

namespace morvesk::test {
namespace {

struct Outcome {
  int code = -1;
  std::string out;  // stdout and stderr together
};

Outcome Morvesk(const std::string& args) {
  Outcome o;
  FILE* p = popen(("'" + MorveskBinary() + "' " + args + " 2>&1").c_str(), "r");
  char buf[4096];
  for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) o.out.append(buf, n);
  const int status = pclose(p);
  o.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return o;
}

TEST(ToolOverOdbc, CommandsTakeTheDescriptionOrRefuseItPlainly) {
  const std::string company = TempCompany("tool");
  MakeDemoCompany(company);
  const Outcome on_file = Morvesk("periods --db '" + company + "'");
  ASSERT_EQ(on_file.code, 0) << on_file.out;

  ServeProcess server(company);
  const Outcome served = Morvesk("periods --db '" + server.Description() + "'");
  EXPECT_EQ(served.code, 0) << served.out;
  EXPECT_EQ(served.out, on_file.out);

  const std::string member = " Morvesk.CalCurAmount.GetPeriodsData";
  const Outcome call = Morvesk("call --db '" + server.Description() + "'" + member);
  EXPECT_EQ(call.code, 0) << call.out;
  EXPECT_NE(call.out.find("result: True"), std::string::npos) << call.out;
  EXPECT_EQ(call.out, Morvesk("call --db '" + company + "'" + member).out);

  const std::string wrong = "Not-the-Pw-5521";
  const Outcome refused = Morvesk("periods --db '" + server.Description(wrong) + "'");
  EXPECT_EQ(refused.code, 1) << refused.out;
  EXPECT_NE(refused.out.find("18456"), std::string::npos) << refused.out;
  EXPECT_EQ(refused.out.find(wrong), std::string::npos) << refused.out;

  // T-SQL through the provider prints what the company file prints: decimals with their
  // scale, dates to the millisecond, bits, Chinese text, NULLs, in every format.
  const std::string query =
      " \"select FYear, FPeriod, FStartDate, FEndDate from t_PeriodDate order by FYear, FPeriod "
      "select FCategory, FKey, FValue from t_SystemProfile order by FCategory, FKey "
      "select cast(-12.50 as decimal(9,3)) d, cast(1 as bit) b, 0.25e0 f, N'期末' t, null n, "
      "cast('2025-03-31 13:45:10.127' as datetime) dt\"";
  for (const char* format : {"csv", "json", "table"}) {
    const std::string options = std::string(" --format ") + format + query;
    const Outcome on_server = Morvesk("sql --db '" + server.Description() + "'" + options);
    EXPECT_EQ(on_server.code, 0) << on_server.out;
    EXPECT_EQ(on_server.out, Morvesk("sql --db '" + company + "'" + options).out) << format;
  }
  const Outcome failing =
      Morvesk("sql --db '" + server.Description() + "' 'select * from nowhere'");
  EXPECT_EQ(failing.code, 1);
  EXPECT_NE(failing.out.find("Msg 208"), std::string::npos) << failing.out;

  for (const char* args : {"maintain --db '%s' UpdateInventory", "init --db '%s'"}) {
    std::string line = args;
    line.replace(line.find("%s"), 2, server.Description());
    const Outcome o = Morvesk(line);
    const std::string command = line.substr(0, line.find(' '));
    EXPECT_EQ(o.code, 2) << command << ": " << o.out;
    EXPECT_NE(o.out.find("works on a company file only"), std::string::npos) << o.out;
    EXPECT_EQ(o.out.find(kPassword), std::string::npos) << o.out;
  }
  server.Stop();
  RemoveCompanyFiles(company);
}

}  // namespace
}  // namespace morvesk::test
