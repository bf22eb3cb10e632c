// `morvesk sql` at a terminal: the built binary in a pseudo-terminal, fed keystrokes as a
// person types them, the screen read back.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>

#include "tests/tools/tool_fixture.h"

namespace morvesk::test {
namespace {

// One run of the tool with a pseudo-terminal as its standard input, output and error.
class Terminal {
 public:
  Terminal(const std::string& db, const std::string& data_home) {
    pid_ = forkpty(&master_, nullptr, nullptr, nullptr);
    if (pid_ == 0) {
      setenv("TERM", "xterm", 1);
      setenv("XDG_DATA_HOME", data_home.c_str(), 1);
      const std::string binary = std::string(MORVESK_BINARY_DIR) + "/bin/morvesk";
      execl(binary.c_str(), binary.c_str(), "sql", "--db", db.c_str(), nullptr);
      _exit(127);
    }
  }
  ~Terminal() {
    if (pid_ > 0 && !exited_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (master_ >= 0) close(master_);
  }

  bool started() const { return pid_ > 0; }

  void Type(const std::string& keys) {
    for (char c : keys) {
      ASSERT_EQ(write(master_, &c, 1), 1);
    }
  }

  // Reads the screen until `text` appears after what earlier waits consumed; false when it
  // does not come (the process ended, or nothing for a generous while).
  bool WaitFor(const std::string& text) {
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (;;) {
      if (const size_t at = screen_.find(text, seen_); at != std::string::npos) {
        seen_ = at + text.size();
        return true;
      }
      if (std::chrono::steady_clock::now() > give_up) return false;
      pollfd p{master_, POLLIN, 0};
      if (poll(&p, 1, 200) <= 0) continue;
      char buf[4096];
      const ssize_t n = read(master_, buf, sizeof buf);
      if (n <= 0) return false;  // the other side closed
      screen_.append(buf, static_cast<size_t>(n));
    }
  }

  // Types keys that only the line editor understands (arrows, Ctrl-U), once it reads the
  // terminal a key at a time: typed while the terminal still echoes whole lines, an arrow
  // would come back as "^[[A". The prompt can be on the screen a moment before that.
  void TypeToEditor(const std::string& keys) {
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    termios mode{};
    while (tcgetattr(master_, &mode) == 0 && (mode.c_lflag & ICANON) &&
           std::chrono::steady_clock::now() < give_up) {
      poll(nullptr, 0, 5);
    }
    Type(keys);
  }

  // Waits for the process to end; its exit code, or -1.
  int Exit() {
    // Drain the screen so that the child never blocks on a full terminal.
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    int status = 0;
    while (std::chrono::steady_clock::now() < give_up) {
      char buf[4096];
      pollfd p{master_, POLLIN, 0};
      if (poll(&p, 1, 100) > 0) {
        const ssize_t n = read(master_, buf, sizeof buf);
        if (n > 0) screen_.append(buf, static_cast<size_t>(n));
      }
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        exited_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
    }
    return -1;
  }

  const std::string& screen() const { return screen_; }

 private:
  pid_t pid_ = -1;
  int master_ = -1;
  bool exited_ = false;
  std::string screen_;
  size_t seen_ = 0;
};

class SqlShell : public ToolFixture {};

TEST_F(SqlShell, PromptsPerLineRunsAtGoAndKeepsHistoryAcrossSessions) {
  const std::string db = Demo();
  const std::string data_home = Path("data");
  {
    Terminal t(db, data_home);
    ASSERT_TRUE(t.started());
    ASSERT_TRUE(t.WaitFor("1> ")) << t.screen();
    t.Type("select 1 as a,\r");
    ASSERT_TRUE(t.WaitFor("2> ")) << t.screen();
    t.Type("  'x' as b\r");
    ASSERT_TRUE(t.WaitFor("3> ")) << t.screen();
    t.Type("go\r");
    // The batch runs at GO, and the prompt starts again at line 1.
    ASSERT_TRUE(t.WaitFor("a b\r\n- -\r\n1 x\r\n")) << t.screen();
    ASSERT_TRUE(t.WaitFor("(1 row affected)")) << t.screen();
    ASSERT_TRUE(t.WaitFor("1> ")) << t.screen();

    // GO n runs the batch n times.
    t.Type("select 7 as seven\r");
    ASSERT_TRUE(t.WaitFor("2> "));
    t.Type("GO 2\r");
    ASSERT_TRUE(t.WaitFor("seven")) << t.screen();
    ASSERT_TRUE(t.WaitFor("seven")) << t.screen();
    ASSERT_TRUE(t.WaitFor("1> "));

    // The up arrow recalls the line before last ("select 7 as seven") for editing: the
    // line editor redraws it instead of echoing the escape sequence.
    t.TypeToEditor("\x1b[A\x1b[A");
    ASSERT_TRUE(t.WaitFor("select 7 as seven")) << t.screen();
    t.Type("\r");
    ASSERT_TRUE(t.WaitFor("2> ")) << t.screen();
    t.Type("go\r");
    ASSERT_TRUE(t.WaitFor("seven")) << t.screen();
    EXPECT_EQ(t.screen().find("^[[A"), std::string::npos);

    // :x switches to one line per field, for wide rows.
    t.Type(":x\r");
    ASSERT_TRUE(t.WaitFor("One line per field.")) << t.screen();
    t.Type("select 1 as first_one, null as b\rgo\r");
    ASSERT_TRUE(t.WaitFor("-[ RECORD 1 ]-\r\nfirst_one | 1\r\nb         | NULL\r\n")) << t.screen();

    // An error names its line within the batch, and the shell goes on.
    t.Type("select 1\rselect * from no_such_table\rgo\r");
    ASSERT_TRUE(t.WaitFor("Msg 208, Level 16, State 1, Line 2")) << t.screen();
    ASSERT_TRUE(t.WaitFor("1> "));

    t.Type(":help\r");
    ASSERT_TRUE(t.WaitFor("GO [n]")) << t.screen();
    ASSERT_TRUE(t.WaitFor(data_home + "/morvesk/history")) << t.screen();

    // A batch not ended by GO does not run when the person leaves.
    t.Type("insert into t_MeasureUnit (FItemID) values (1)\rexit\r");
    EXPECT_EQ(t.Exit(), 0) << t.screen();
  }
  const std::string history = ReadFile(data_home + "/morvesk/history");
  // (The line editor's file format escapes blanks, so look for one word.)
  EXPECT_NE(history.find("seven"), std::string::npos) << history;

  // The next session starts from that history; Ctrl-D leaves too.
  {
    Terminal t(db, data_home);
    ASSERT_TRUE(t.WaitFor("1> ")) << t.screen();
    t.TypeToEditor("\x1b[A\x1b[A");  // "exit", then the line before it
    ASSERT_TRUE(t.WaitFor("insert into t_MeasureUnit")) << t.screen();
    t.Type("\x15");  // Ctrl-U: the recalled line is dropped again
    t.Type("\x04");
    EXPECT_EQ(t.Exit(), 0) << t.screen();
  }
  Outcome count =
      Run("sql --db '" + db +
          "' --format csv \"select count(*) as n from t_MeasureUnit where FItemID = 1\"");
  EXPECT_EQ(count.out, "n\n0\n") << count.err;

  // quit leaves as exit does.
  Terminal t(db, data_home);
  ASSERT_TRUE(t.WaitFor("1> "));
  t.Type("quit\r");
  EXPECT_EQ(t.Exit(), 0) << t.screen();
}

}  // namespace
}  // namespace morvesk::test
