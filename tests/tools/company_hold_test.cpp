// Commands that change a company's periods take their turn: a close, reopen or maintenance job
// holds the company from its first read to its summary, and every unit of work waits for the
// write lock of another process up to the lock timeout. Run as a person runs them, two at once.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "tests/common/company_dump.h"
#include "tests/tools/background_run.h"
#include "tests/tools/tool_fixture.h"

namespace morvesk::test {
namespace {

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class TakingTurns : public ToolFixture {
 protected:
  // A copy of the demo company made once per test.
  std::string Copy(const std::string& name) {
    if (template_.empty()) template_ = Demo();
    const std::string path = Path(name);
    std::filesystem::copy_file(template_, path, std::filesystem::copy_options::overwrite_existing);
    return path;
  }

  std::string template_;
};

// The company held by another command, as a close, reopen or maintain holds it: an exclusive
// flock on FILE-hold, which names the holder.
class ForeignHold {
 public:
  explicit ForeignHold(const std::string& db) {
    fd_ = open((db + "-hold").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    EXPECT_GE(fd_, 0);
    EXPECT_EQ(flock(fd_, LOCK_EX | LOCK_NB), 0);
    const std::string note = "a test hold (process 1)\n";
    EXPECT_EQ(write(fd_, note.data(), note.size()), static_cast<ssize_t>(note.size()));
  }
  ~ForeignHold() { Release(); }
  void Release() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
};

TEST_F(TakingTurns, AHeldCompanyRefusesTheOtherPeriodCommandsOrMakesThemWait) {
  const std::string db = Copy("held.db");
  const std::string before = DumpCompanyFile(db);
  const std::string on = " --db '" + db + "'";
  {
    ForeignHold hold(db);
    const Outcome close = Run("close" + on);
    EXPECT_EQ(close.exit_code, 1);
    EXPECT_TRUE(Has(close.err, "a test hold (process 1) is running on this company")) << close.err;
    EXPECT_TRUE(Has(close.err, "the database is unchanged")) << close.err;
    const Outcome reopen = Run("reopen" + on);
    EXPECT_EQ(reopen.exit_code, 1);
    EXPECT_TRUE(Has(reopen.err, "is running on this company; nothing was changed")) << reopen.err;
    const Outcome maintain = Run("maintain" + on + " UpdateStock");
    EXPECT_EQ(maintain.exit_code, 1);
    EXPECT_TRUE(Has(maintain.err, "is running on this company; the job did not run"))
        << maintain.err;
    EXPECT_TRUE(DumpCompanyFile(db) == before);

    // Told to wait, a close waits for the hold to end, then closes.
    BackgroundRun waiting("close --wait" + on, Path("waiting"));
    SleepMs(400);
    EXPECT_TRUE(waiting.Running());
    EXPECT_TRUE(DumpCompanyFile(db) == before);
    hold.Release();
    const Outcome closed = waiting.Wait();
    EXPECT_EQ(closed.exit_code, 0) << closed.err;
    EXPECT_TRUE(Has(closed.err, "waiting for a test hold (process 1) to end")) << closed.err;
    EXPECT_TRUE(Has(closed.out, "closed period 2025/3; current period now 2025/4")) << closed.out;
  }
  // The hold ends with the command: the next one runs at once.
  const Outcome reopen = Run("reopen" + on);
  EXPECT_EQ(reopen.exit_code, 0) << reopen.err;
  EXPECT_NE(reopen.out.find("current period now 2025/3"), std::string::npos) << reopen.out;
}

// Two closes started at once, the second at several moments into the first: the file always
// ends as the closes that reported success would leave it run one after the other, and each
// other close says why it closed nothing.
TEST_F(TakingTurns, TwoClosesAtOnceEndAsOneOrTwoClosesInTurn) {
  std::vector<std::string> closed_times;  // dumps after 0, 1 and 2 closes
  {
    const std::string ref = Copy("reference.db");
    closed_times.push_back(DumpCompanyFile(ref));
    for (int n = 0; n < 2; ++n) {
      const Outcome o = Run("close --db '" + ref + "'");
      ASSERT_EQ(o.exit_code, 0) << o.err;
      closed_times.push_back(DumpCompanyFile(ref));
    }
  }
  int refused_while_running = 0, waited = 0;
  for (const bool wait : {false, true}) {
    for (const int offset : {0, 10, 50, 100, 200}) {
      const std::string db = Copy("run" + std::to_string(offset) + (wait ? "w" : "") + ".db");
      const std::string on = " --db '" + db + "'";
      // The same period asked for twice, or (both waiting) the next one after it.
      BackgroundRun first(
          std::string(wait ? "close --wait" : "close") + " --year 2025 --period 3" + on,
          Path("first"));
      SleepMs(offset);
      BackgroundRun second(
          (wait ? "close --wait --year 2025 --period 4" : "close --year 2025 --period 3") + on,
          Path("second"));
      const Outcome a = first.Wait(), b = second.Wait();
      const std::string where = "offset " + std::to_string(offset) + (wait ? " waiting" : "");
      int successes = 0;
      for (const Outcome* o : {&a, &b}) {
        if (o->exit_code == 0) {
          ++successes;
          continue;
        }
        const bool running = Has(o->err, "is running on this company");
        const bool moved = Has(o->err, "only the current period");
        refused_while_running += running;
        EXPECT_TRUE(running || moved) << where << "\n" << o->err;
        EXPECT_EQ(o->exit_code, running ? 1 : 2) << where;
      }
      // A close that waited for the other found the period it names current.
      for (const Outcome* o : {&a, &b}) {
        if (Has(o->err, "waiting for ")) {
          ++waited;
          EXPECT_EQ(o->exit_code, 0) << where << o->err;
        }
      }
      EXPECT_GE(successes, 1) << where << "\n" << a.err << "\n" << b.err;
      if (!wait) {
        EXPECT_EQ(successes, 1) << where;
      }
      EXPECT_TRUE(DumpCompanyFile(db) == closed_times[successes]) << where;
    }
  }
  // At least some of the runs met while both closes ran.
  EXPECT_GT(refused_while_running, 0);
  EXPECT_GT(waited, 0);
}

// Another process holds the write lock: the close's units of work, which read before they
// write, wait for it and go on when it is released; held past the lock timeout, the close
// fails with the server's lock time-out error and leaves the file as it was.
TEST_F(TakingTurns, UnitsOfWorkWaitForTheWriteLockThenTimeOut) {
  const std::string db = Copy("locked.db");
  const std::string before = DumpCompanyFile(db);
  auto holder_db = engine::Database::Open(db, true);
  auto holder = holder_db->Connect();
  holder->BeginTransaction();
  ASSERT_TRUE(holder->Execute("update t_ICItem set FCostPrice = FCostPrice").ok());

  BackgroundRun close("close --db '" + db + "'", Path("close"));
  SleepMs(600);
  EXPECT_TRUE(close.Running());
  holder->Rollback();
  const Outcome waited = close.Wait();
  EXPECT_EQ(waited.exit_code, 0) << waited.err;
  EXPECT_TRUE(Has(waited.out, "current period now 2025/4")) << waited.out;

  const std::string after_one = DumpCompanyFile(db);
  holder->BeginTransaction();
  ASSERT_TRUE(holder->Execute("update t_ICItem set FCostPrice = FCostPrice").ok());
  setenv("MORVESK_LOCK_TIMEOUT", "300", 1);
  const Outcome timed_out = Run("close --db '" + db + "'");
  unsetenv("MORVESK_LOCK_TIMEOUT");
  holder->Rollback();
  EXPECT_EQ(timed_out.exit_code, 1);
  EXPECT_TRUE(Has(timed_out.err, "Lock request time out period exceeded.")) << timed_out.err;
  EXPECT_TRUE(Has(timed_out.err, "the database is unchanged")) << timed_out.err;
  EXPECT_TRUE(DumpCompanyFile(db) == after_one);
  EXPECT_NE(after_one, before);
}

}  // namespace
}  // namespace morvesk::test
