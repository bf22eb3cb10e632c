// The whole period close run through the ODBC provider against `morvesk serve` leaves the
// company exactly as the embedded close leaves a copy of it: every table, row for row and
// value for value, on the demo company and on a generated one. Both closes go through the
// tool as a user runs them (`morvesk close --db ... --force`), so the connection text picks
// the provider the same way there.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "company/company.h"
#include "tests/ado_odbc/serve_process.h"
#include "tests/common/company_dump.h"

namespace morvesk::test {
namespace {

namespace fs = std::filesystem;

std::string Quote(const std::string& s) { return "'" + s + "'"; }

// Runs `morvesk close` on `db`; its exit code, its output in `*out`.
int RunClose(const std::string& db, const std::string& log, std::string* out) {
  const std::string cmd =
      Quote(MorveskBinary()) + " close --db " + Quote(db) + " --force >" + Quote(log) + " 2>&1";
  const int status = std::system(cmd.c_str());
  std::ifstream in(log);
  std::stringstream text;
  text << in.rdbuf();
  *out = text.str();
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void RemoveCompany(const std::string& path) {
  for (const char* suffix : {"", "-journal", "-wal", "-shm", "-hold", ".close.log"}) {
    fs::remove(path + suffix);
  }
}

// The summary the tool prints: the period closed and the rows written per balance table.
std::string Summary(const std::string& out) {
  const size_t from = out.find("closed period");
  const size_t to = out.find("\nstep ");
  return from == std::string::npos ? "" : out.substr(from, to - from);
}

void CloseBothWays(const std::string& kind, const company::GenerateOptions& options) {
  const std::string embedded = TempCompany("close-" + kind + "-embedded");
  const std::string served = TempCompany("close-" + kind + "-served");
  RemoveCompany(embedded);
  RemoveCompany(served);
  company::CreateCompany(embedded, options, true);
  fs::copy_file(embedded, served, fs::copy_options::overwrite_existing);
  const std::string before = DumpCompanyFile(served);

  std::string embedded_out, served_out;
  ASSERT_EQ(RunClose(embedded, embedded + ".close.log", &embedded_out), 0) << embedded_out;
  {
    ServeProcess server(served);
    ASSERT_EQ(RunClose(server.Description(), served + ".close.log", &served_out), 0) << served_out;
    server.Stop();
  }
  // Nothing the tool prints shows the password of the description it was given.
  EXPECT_EQ(served_out.find(kPassword), std::string::npos) << served_out;
  EXPECT_EQ(Summary(served_out), Summary(embedded_out));
  EXPECT_NE(Summary(served_out).find("current period now"), std::string::npos) << served_out;

  const std::string after_embedded = DumpCompanyFile(embedded);
  const std::string after_served = DumpCompanyFile(served);
  EXPECT_NE(after_served, before) << "the close through ODBC changed nothing";
  // Compared table by table, so that a difference names its table.
  std::istringstream a(after_embedded), b(after_served);
  std::string la, lb, table;
  int differences = 0;
  while (std::getline(a, la)) {
    if (!std::getline(b, lb)) {
      ADD_FAILURE() << "the served company ends before the embedded one, at " << la;
      break;
    }
    if (la.rfind("== ", 0) == 0) table = la;
    if (la != lb && ++differences <= 5) {
      ADD_FAILURE() << table << "\n  embedded: " << la << "\n  served:   " << lb;
    }
  }
  EXPECT_EQ(differences, 0);
  EXPECT_EQ(after_served.size(), after_embedded.size());
  RemoveCompany(embedded);
  RemoveCompany(served);
}

TEST(CloseThroughOdbc, GivesTheEmbeddedClosesTablesOnTheDemoAndAGeneratedCompany) {
  CloseBothWays("demo", company::GenerateOptions{});
  company::GenerateOptions generated;
  generated.lines_per_period = 400;
  generated.seed = 23;
  CloseBothWays("generated", generated);
}

}  // namespace
}  // namespace morvesk::test
