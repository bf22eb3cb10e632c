// Texts that nest deeply or chain thousands of terms, as a client's filter or computed
// column may: each either runs or gives the server's error 191, never a crash and never
// the storage layer's own text, also on a thread with a 1 MB stack as a host may use.
#include <gtest/gtest.h>
#include <pthread.h>

#include <chrono>
#include <functional>
#include <string>

#include "engine/engine.h"
#include "tests/engine/scalar.h"

namespace morvesk::engine {
namespace {

using test::Outcome;
using test::Scalar;

std::string Repeat(const std::string& s, int n) {
  std::string out;
  out.reserve(s.size() * static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

// Runs `body` on a thread with a 1 MB stack; an exception escaping it fails the test.
void OnSmallStack(const std::function<void()>& body) {
  struct Job {
    const std::function<void()>* body;
    std::string failure;
  } job{&body, {}};
  pthread_attr_t attr;
  ASSERT_EQ(pthread_attr_init(&attr), 0);
  ASSERT_EQ(pthread_attr_setstacksize(&attr, 1 << 20), 0);
  pthread_t thread;
  auto run = [](void* p) -> void* {
    auto* j = static_cast<Job*>(p);
    try {
      (*j->body)();
    } catch (const std::exception& e) {
      j->failure = e.what();
    }
    return nullptr;
  };
  ASSERT_EQ(pthread_create(&thread, &attr, run, &job), 0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attr);
  EXPECT_EQ(job.failure, "");
}

void ExpectRunsOrTooDeep(Connection& c, const std::string& batch, const std::string& what) {
  SqlError e = Outcome(c, batch);
  EXPECT_TRUE(e.number == 0 || e.number == 191) << what << ": " << e.number << " " << e.message;
  EXPECT_EQ(e.message.find("Storage"), std::string::npos) << what << ": " << e.message;
  if (e.number == 191) {
    EXPECT_EQ(e.message,
              "Some part of your SQL statement is nested too deeply. Rewrite the query or break "
              "it up into smaller queries.");
  }
}

TEST(NestingLimits, DeepNestingGivesError191OnASmallStack) {
  OnSmallStack([] {
    auto db = Database::Open(":memory:");
    auto c = db->Connect();
    c->Execute("create table t (FItemID int, FQty decimal(28,10)) insert into t values (1, 2)");
    EXPECT_EQ(Outcome(*c, "select " + Repeat("- ", 100000) + "1").number, 191);
    EXPECT_EQ(Outcome(*c, "select 1 where " + Repeat("not ", 100000) + "1 = 1").number, 191);
    EXPECT_EQ(Outcome(*c, "select " + Repeat("abs(", 10000) + "1" + Repeat(")", 10000)).number,
              191);
    EXPECT_EQ(Outcome(*c, "select " + Repeat("(", 11000) + "1" + Repeat(")", 11000)).number, 191);
    EXPECT_EQ(Outcome(*c, Repeat("if 1 = 1 ", 20000) + "print 'x'").number, 191);
    EXPECT_EQ(
        Outcome(*c, "select * from " + Repeat("(select * from ", 3000) + "t" + Repeat(") d", 3000))
            .number,
        191);
    // Moderate nesting within what the text and SQLite allow runs.
    EXPECT_EQ(Scalar(*c, "select " + Repeat("(", 200) + "7" + Repeat(")", 200)).as_int(), 7);
    EXPECT_EQ(Scalar(*c, "select " + Repeat("abs(", 10) + "-3" + Repeat(")", 10)).as_int(), 3);
    EXPECT_EQ(Scalar(*c, "select " + Repeat("- ", 20) + "5").as_int(), 5);
    // Nested subqueries of every depth up to a hundred either run or give 191.
    for (int depth : {5, 10, 20, 40, 100}) {
      ExpectRunsOrTooDeep(
          *c, "select " + Repeat("(select ", depth) + "FItemID from t" + Repeat(")", depth),
          std::to_string(depth) + " nested subqueries");
      ExpectRunsOrTooDeep(*c,
                          "select FItemID from t where FItemID in " +
                              Repeat("(select FItemID from t where FItemID in ", depth) + "(1)" +
                              Repeat(")", depth),
                          std::to_string(depth) + " nested IN subqueries");
    }
    // The connection is still usable after each refusal.
    EXPECT_EQ(Scalar(*c, "select count(*) from t").as_int(), 1);
  });
}

TEST(NestingLimits, LongFlatChainsRunOnASmallStack) {
  OnSmallStack([] {
    auto db = Database::Open(":memory:");
    auto c = db->Connect();
    c->Execute(
        "create table t (FItemID int, FQty decimal(28,10), FName varchar(10))"
        " insert into t values (7, 1.5, 'ab')");
    EXPECT_EQ(Scalar(*c, "select 1" + Repeat("+1", 9999)).as_int(), 10000);
    EXPECT_EQ(Scalar(*c, "select 100000" + Repeat("-1", 9999)).as_int(), 90001);
    EXPECT_EQ(Scalar(*c, "select FItemID" + Repeat("+FItemID", 59) + " from t").as_int(), 420);
    EXPECT_EQ(Scalar(*c, "select FQty" + Repeat("+FQty", 59) + " from t").ToString(),
              "90.0000000000");
    EXPECT_EQ(Scalar(*c, "select FName" + Repeat("+FName", 99) + " from t").as_text(),
              Repeat("ab", 100));
    EXPECT_EQ(Scalar(*c, "select 1.5e0" + Repeat("*2e0", 30)).as_double(), 1.5 * (1 << 30));
    std::string filter = "FItemID = 0";
    for (int i = 1; i < 8000; ++i) filter += " or FItemID = " + std::to_string(i);
    EXPECT_EQ(Scalar(*c, "select count(*) from t where " + filter).as_int(), 1);
  });
}

TEST(NestingLimits, HundredThousandTermChainsRun) {
  auto db = Database::Open(":memory:");
  auto c = db->Connect();
  c->Execute("create table t (FItemID int, FQty decimal(28,10)) insert into t values (3, 0.25)");
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Scalar(*c, "select 0" + Repeat("+1", 99999)).as_int(), 99999);
  EXPECT_EQ(Scalar(*c, "select FQty" + Repeat("+FQty", 99999) + " from t").ToString(),
            "25000.0000000000");
  EXPECT_EQ(Scalar(*c, "select FItemID" + Repeat(" * 1 + 0", 50000) + " from t").as_int(), 3);
  RecordProperty(
      "seconds",
      std::to_string(
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count()));
}

// A client's filter of many item numbers, over a join as the readers run it: it runs at any
// length, and its long runs of "x = constant" select exactly what the terms say.
TEST(NestingLimits, OrChainsOfConstantsSelectWhatTheySay) {
  auto db = Database::Open(":memory:");
  auto c = db->Connect();
  c->Execute(
      "create table t (FItemID int, FName varchar(10), FPrice decimal(10,2))"
      " create table u (FItemID int)");
  std::string rows;
  for (int i = 0; i < 40; ++i)
    rows += "insert into t values (" + std::to_string(i) + ", 'n" + std::to_string(i % 7) +
            "', " + std::to_string(i) + ".50) insert into u values (" + std::to_string(i) + ") ";
  c->Execute(rows + "insert into t values (null, null, null)");
  std::string filter = "t.FItemID = 0";
  for (int i = 3; i < 300000; i += 3) filter += " or t.FItemID = " + std::to_string(i);
  EXPECT_EQ(Scalar(*c, "select count(*) from t join u on u.FItemID = t.FItemID where " + filter)
                .as_int(),
            14);
  // Each term also written so that it stays a term of its own: both forms must agree.
  auto both = [&](const std::vector<std::string>& terms) {
    std::string as_run, as_terms;
    for (const std::string& t : terms) {
      as_run += (as_run.empty() ? "" : " or ") + t;
      as_terms += (as_terms.empty() ? "(" : " or (") + t + " and 1 = 1)";
    }
    int64_t run = Scalar(*c, "select count(*) from t where " + as_run).as_int();
    EXPECT_EQ(run, Scalar(*c, "select count(*) from t where " + as_terms).as_int()) << as_run;
    return run;
  };
  // Trailing blanks and case do not count in text comparison; a NULL term matches nothing.
  EXPECT_EQ(both({"FName = 'n1 '", "FName = 'N2'", "FName = 'n3'", "FName = 'x'",
                  "'n4' = FName", "FName = 'y'", "FName = 'z'", "FName = 'w'", "FName = null"}),
            24);
  // Constants of other types compare as the column's type meets them: 3 is not 3.50, 5.5
  // is the price 5.50, and floats compare as floats.
  EXPECT_EQ(both({"FPrice = 3", "FPrice = 5.5", "FPrice = 7.500", "FPrice = '9.5'",
                  "FPrice = 13.51", "FPrice = 15.50", "17.5 = FPrice", "FPrice = 19.49",
                  "FPrice = 1e0", "FPrice = 11.5e0"}),
            6);
  // Runs broken by other terms, and two columns interleaved.
  EXPECT_EQ(both({"FItemID = 1", "FItemID = 2", "FItemID = 3", "FItemID = 4", "FItemID = 5",
                  "FItemID = 6", "FItemID = 7", "FItemID = 8", "FItemID > 37", "FItemID = 9",
                  "FName = 'n0'", "FItemID = 10", "FItemID = 11", "FItemID = 12", "FItemID = 13",
                  "FItemID = 14", "FItemID = 15", "FItemID = 16", "FItemID = 17"}),
            23);
}

TEST(NestingLimits, ChainsKeepEachStepsTypeAndOverflow) {
  auto db = Database::Open(":memory:");
  auto c = db->Connect();
  // A left-to-right int chain overflows at its first step even though the total fits.
  SqlError e = Outcome(*c, "select 2147483647 + 1" + Repeat(" - 1", 20));
  EXPECT_EQ(e.number, 8115);
  EXPECT_EQ(e.message, "Arithmetic overflow error converting expression to data type int.");
  // Meeting a bigint widens the rest of the chain.
  EXPECT_EQ(Scalar(*c, "select cast(2147483647 as bigint) + 1" + Repeat(" - 1", 20)).as_int(),
            2147483628);
  // Decimal steps round to each step's scale, as nested operators do.
  std::string nested = "((((((((((1.05 * 1.1) * 1.1) * 1.1) * 1.1) * 1.1) * 1.1) * 1.1) * 1.1)";
  nested += " * 1.1) * 1.1)";
  EXPECT_EQ(Scalar(*c, "select 1.05" + Repeat(" * 1.1", 10)).ToString(),
            Scalar(*c, "select " + nested).ToString());
  // Integer division truncates at its step; NULL anywhere makes the chain NULL.
  EXPECT_EQ(Scalar(*c, "select 7 / 2 * 2" + Repeat(" + 0", 10)).as_int(), 6);
  EXPECT_TRUE(Scalar(*c, "declare @n int select 1" + Repeat(" + 1", 10) + " + @n").is_null());
  EXPECT_EQ(Outcome(*c, "select 1" + Repeat(" + 1", 10) + " / 0").number, 8134);
  // A text operand in a number chain is converted as in a short chain.
  EXPECT_EQ(Outcome(*c, "select 1" + Repeat(" + 1", 10) + " + 'x'").number, 245);
  // Every term of a parameterised chain counts: the same shape with other values.
  EXPECT_EQ(Scalar(*c, "select 2" + Repeat(" * 2", 11)).as_int(), 4096);
  EXPECT_EQ(Scalar(*c, "select 3" + Repeat(" * 2", 11)).as_int(), 6144);
}

TEST(NestingLimits, HugeInListIsATsqlError) {
  auto db = Database::Open(":memory:");
  auto c = db->Connect();
  c->Execute("create table t (FItemID int) insert into t values (999999)");
  std::string list = "0";
  for (int i = 1; i < 1000000; ++i) list += "," + std::to_string(i);
  SqlError e = Outcome(*c, "select count(*) from t where FItemID in (" + list + ")");
  EXPECT_EQ(e.number, 8623);
  EXPECT_EQ(e.message.rfind("The query processor ran out of internal resources", 0), 0u);
  std::string small = "0";
  for (int i = 1; i < 20000; ++i) small += "," + std::to_string(i);
  EXPECT_EQ(Scalar(*c, "select count(*) from t where FItemID not in (" + small + ")").as_int(), 1);
}

}  // namespace
}  // namespace morvesk::engine
