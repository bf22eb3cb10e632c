// Small batches over TDS: the batches per second a client gets from `morvesk serve`
// through the FreeTDS ODBC driver, against the same batches run on the engine in process
// (the floor: what the protocol, the driver and the socket add is the difference).
//   (a) the spreading loop's small batch, each with a different stock, item and amount
//       spliced in as text, on a #table of 20,000 rows (the session's own);
//   (b) a one-row SELECT of a different literal each time: the round trip alone.
// The server runs in this process on a loopback port; the client is the real driver.
#include <sql.h>
#include <sqlext.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "company/company.h"
#include "engine/engine.h"
#include "server/tds/server.h"
#include "server/users/users_file.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace tds = morvesk::server::tds;

constexpr int kStocks = 50;
constexpr int kItems = 400;
constexpr int kRows = 20000;
constexpr int kBatches = 5000;
constexpr int kRoundTrips = 5000;

struct Splice {
  std::string stock, item, amount;
};

std::vector<Splice> MakeSplices() {
  std::mt19937 rng(11);
  std::vector<Splice> out;
  for (int i = 0; i < kBatches; ++i) {
    const int cents = static_cast<int>(rng() % 1000000) - 200000;
    char amount[32];
    std::snprintf(amount, sizeof amount, "%s%d.%02d", cents < 0 ? "-" : "", std::abs(cents) / 100,
                  std::abs(cents) % 100);
    out.push_back(
        {std::to_string(rng() % kStocks + 1), std::to_string(rng() % kItems + 1), amount});
  }
  return out;
}

std::string SmallBatch(const Splice& s) {
  return "declare @a decimal(28,10), @b decimal(28,10) select @a = sum(FQty), @b = sum(FAmount) "
         "from #t where FStockID = " +
         s.stock + " and FItemID = " + s.item +
         " if @a <> 0 update #t set FAmount = FAmount + round(" + s.amount +
         "/@a * 100, 2) where FStockID = " + s.stock + " and FItemID = " + s.item;
}

// The #table, filled by the batches themselves so both sides build it alike.
std::vector<std::string> SetupBatches() {
  std::vector<std::string> out = {
      "set nocount on create table #t (FStockID int not null, FItemID int not null, "
      "FQty decimal(28,10) not null, FAmount decimal(28,2) not null)"};
  for (int r = 0; r < kRows;) {
    std::string insert = "insert into #t (FStockID, FItemID, FQty, FAmount) values ";
    for (int k = 0; k < 500 && r < kRows; ++k, ++r) {
      insert += (k ? ", (" : "(") + std::to_string(r % kStocks + 1) + ", " +
                std::to_string((r / kStocks) % kItems + 1) + ", " + std::to_string(r % 7 + 1) +
                ", " + std::to_string(r % 1000) + ".01)";
    }
    out.push_back(insert);
  }
  return out;
}

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

struct Odbc {
  SQLHENV env = nullptr;
  SQLHDBC dbc = nullptr;
  SQLHSTMT stmt = nullptr;

  explicit Odbc(const std::string& cs) {
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    const SQLRETURN rc = SQLDriverConnect(dbc, nullptr, (SQLCHAR*)cs.c_str(), SQL_NTS, nullptr, 0,
                                          nullptr, SQL_DRIVER_NOPROMPT);
    if (!SQL_SUCCEEDED(rc)) Fail(SQL_HANDLE_DBC, dbc, "connect");
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
  }
  ~Odbc() {
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
  }
  static void Fail(SQLSMALLINT kind, SQLHANDLE h, const char* what) {
    SQLCHAR state[6] = {0}, msg[512] = {0};
    SQLINTEGER native = 0;
    SQLSMALLINT n = 0;
    SQLGetDiagRec(kind, h, 1, state, &native, msg, sizeof msg, &n);
    std::fprintf(stderr, "%s failed: %s %d %s\n", what, state, static_cast<int>(native), msg);
    std::exit(1);
  }
  // Runs a batch and reads every result to the end, as a client must before the next.
  void Run(const std::string& sql) {
    SQLRETURN rc = SQLExecDirect(stmt, (SQLCHAR*)sql.c_str(), SQL_NTS);
    if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) Fail(SQL_HANDLE_STMT, stmt, sql.c_str());
    do {
      SQLSMALLINT cols = 0;
      SQLNumResultCols(stmt, &cols);
      if (cols > 0) {
        while (SQL_SUCCEEDED(SQLFetch(stmt))) {
        }
      }
    } while (SQL_SUCCEEDED(SQLMoreResults(stmt)));
    SQLFreeStmt(stmt, SQL_CLOSE);
  }
};

}  // namespace

int main() {
  const std::string dir = (std::filesystem::temp_directory_path() / "morvesk-bench-serve").string();
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const std::string db_path = dir + "/bench.db";
  {
    auto db = morvesk::engine::Database::Open(db_path);
    auto c = db->Connect();
    morvesk::company::LoadSchema(*c);
  }
  std::string error;
  if (!morvesk::server::users::UsersFile::SetPassword(dir + "/bench.users", "bench", "bench pw",
                                                      &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  tds::ServeOptions options;
  options.database_path = db_path;
  options.listen = "127.0.0.1:0";
  auto server = tds::Server::Start(options, &error);
  if (!server) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  std::thread serving([&] { server->Run(); });

  const std::vector<Splice> splices = MakeSplices();
  const std::vector<std::string> setup = SetupBatches();

  // The floor: the same batches on the engine in process.
  double engine_seconds = 0;
  {
    auto db = morvesk::engine::Database::Open(db_path, true);
    auto c = db->Connect();
    for (const std::string& s : setup) c->Execute(s);
    const auto start = Clock::now();
    for (const Splice& s : splices) c->Execute(SmallBatch(s));
    engine_seconds = Seconds(start);
  }

  const std::string cs =
      "Driver={FreeTDS};Server=127.0.0.1;Port=" + std::to_string(server->port()) +
      ";TDS_Version=7.4;UID=bench;PWD=bench pw;ClientCharset=UTF-8";
  double tds_seconds = 0, trip_seconds = 0;
  {
    Odbc client(cs);
    for (const std::string& s : setup) client.Run(s);
    auto start = Clock::now();
    for (const Splice& s : splices) client.Run(SmallBatch(s));
    tds_seconds = Seconds(start);
    start = Clock::now();
    for (int i = 0; i < kRoundTrips; ++i) client.Run("select " + std::to_string(i * 7 + 1));
    trip_seconds = Seconds(start);
  }
  std::printf("(a) %d small batches with different literals on a #table of %d rows\n", kBatches,
              kRows);
  std::printf("    over TDS (ODBC driver): %8.0f batches/s (%.1f us/batch)\n",
              kBatches / tds_seconds, tds_seconds * 1e6 / kBatches);
  std::printf("    engine in process:      %8.0f batches/s (%.1f us/batch)  ratio %.2fx\n",
              kBatches / engine_seconds, engine_seconds * 1e6 / kBatches,
              tds_seconds / engine_seconds);
  std::printf("(b) %d one-row SELECTs of different literals over TDS: %.0f round trips/s\n",
              kRoundTrips, kRoundTrips / trip_seconds);
  server->Stop();
  serving.join();
  std::filesystem::remove_all(dir);
  return 0;
}
