// What the tool says when a company file cannot be opened or written: the reason in words, the
// file named once, no password of a connection description echoed; a company in a folder or
// file that cannot be written is read as usual and refuses every change with the server's
// read-only error.
#include <unistd.h>

#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "platform/automation/com_error.h"
#include "platform/automation/registry.h"
#include "platform/automation/variant.h"
#include "services/morvesk_module.h"
#include "tests/tools/tool_fixture.h"

namespace morvesk::test {
namespace {

namespace fs = std::filesystem;
using automation::Variant;

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

class OpenMessages : public ToolFixture {};

TEST_F(OpenMessages, AMissingFileIsNamedOnceWithItsReasonAndNoPassword) {
  const std::string missing = Path("missing.db");
  for (const std::string& command :
       {"sql --db '" + missing + "' \"select 1\"",
        "call --db '" + missing + "' CalCurAmount.GetSystemProfile", "close --db '" + missing + "'",
        "periods --db '" + missing + "'"}) {
    const Outcome o = Run(command);
    EXPECT_EQ(o.exit_code, 1) << command;
    EXPECT_NE(o.err.find("the file does not exist"), std::string::npos) << command << o.err;
    EXPECT_EQ(o.err.find("login"), std::string::npos) << command << o.err;
    EXPECT_EQ(Count(o.err, "Cannot open database"), 1u) << command << o.err;
  }

  // A password in a path taken for a connection description.
  for (const std::string& command :
       {"call --db '" + missing + ";Password=s3cret' CalCurAmount.GetSystemProfile",
        "sql --db '" + missing + ";Pwd=s3cret' \"select 1\"",
        "close --db '" + missing + ";password = s3cret'"}) {
    const Outcome o = Run(command);
    EXPECT_EQ(o.exit_code, 1) << command;
    EXPECT_EQ(o.out.find("s3"), std::string::npos) << command << o.out;
    EXPECT_EQ(o.err.find("s3"), std::string::npos) << command << o.err;
    EXPECT_NE(o.err.find("****"), std::string::npos) << command << o.err;
  }
}

// A client hands a description with a password but no database: the error quotes it masked.
TEST(OpenMessagesOfTheClasses, ARejectedDescriptionIsQuotedWithoutItsPassword) {
  services::RegisterMorveskClasses();
  auto cal = automation::CreateObject("Morvesk.CalCurAmount");
  for (const std::string& description : {std::string("Provider=x;PWD = 's3;cret';User ID=sa"),
                                         std::string("User ID=sa;Password=s3cret;Data Source=")}) {
    Variant period(int32_t{0}), year(int32_t{0}), audit(int32_t{0}), neg(int32_t{0}),
        shortnum(false);
    std::vector<Variant> args{Variant(description), Variant::Ref(&period), Variant::Ref(&year),
                              Variant::Ref(&audit), Variant::Ref(&neg),    Variant::Ref(&shortnum)};
    std::string message;
    try {
      cal->CallRef("GetSystemProfile", args);
    } catch (const automation::ComError& e) {
      message = e.description;
    }
    EXPECT_NE(message.find("names no database"), std::string::npos) << message;
    EXPECT_EQ(message.find("s3"), std::string::npos) << message;
    EXPECT_NE(message.find("****"), std::string::npos) << message;
    EXPECT_NE(message.find("User ID=sa"), std::string::npos) << message;
  }
}

// The tool run as a user who cannot write the company: under root, which may write anything,
// as the unprivileged user "nobody".
class ReadOnlyCompany : public ToolFixture {
 protected:
  void SetUp() override {
    ToolFixture::SetUp();
    if (geteuid() == 0) {
      if (access("/usr/bin/setpriv", X_OK) != 0) {
        GTEST_SKIP() << "running as root without setpriv: no user to whom a folder is read-only";
      }
      if (access(MORVESK_BINARY_DIR "/bin/morvesk", X_OK) != 0 ||
          !CanRunAsNobody(MORVESK_BINARY_DIR "/bin/morvesk")) {
        GTEST_SKIP() << "the built tool cannot be run by the user nobody from this build folder";
      }
      as_user_ = "/usr/bin/setpriv --reuid=65534 --regid=65534 --clear-groups ";
    }
  }
  void TearDown() override {
    std::error_code ec;
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ec);
    for (const auto& entry : fs::recursive_directory_iterator(dir_, ec)) {
      fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    ToolFixture::TearDown();
  }

  static bool CanRunAsNobody(const std::string& binary) {
    const std::string cmd = "/usr/bin/setpriv --reuid=65534 --regid=65534 --clear-groups '" +
                            binary + "' --help > /dev/null 2>&1";
    return std::system(cmd.c_str()) == 0;
  }

  Outcome RunAsUser(const std::string& args) const {
    if (as_user_.empty()) return Run(args);
    // The fixture runs the binary by its path; the user switch goes before it.
    const std::string out = Path("ro.out"), err = Path("ro.err");
    const std::string cmd = as_user_ + MORVESK_BINARY_DIR "/bin/morvesk " + args +
                            " < /dev/null > '" + out + "' 2> '" + err + "'";
    const int status = std::system(cmd.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(out), ReadFile(err)};
  }

  std::string as_user_;
};

TEST_F(ReadOnlyCompany, AReadOnlyFolderIsReadAndRefusesEveryChange) {
  const std::string db = Demo();
  const fs::path folder = dir_ / "readonly";
  fs::create_directories(folder);
  const std::string path = (folder / "company.db").string();
  fs::copy_file(db, path);
  const std::string copy_of_file = ReadFile(path);
  fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                              fs::perms::group_exec | fs::perms::others_read |
                              fs::perms::others_exec);
  fs::permissions(dir_, fs::perms::others_read | fs::perms::others_exec, fs::perm_options::add);
  const std::string on = " --db '" + path + "'";

  const Outcome items =
      RunAsUser("sql" + on + " --format csv \"select count(*) as n from t_ICItem\"");
  EXPECT_EQ(items.exit_code, 0) << items.err;
  EXPECT_NE(items.out.find("n\n"), std::string::npos) << items.out;
  const Outcome periods = RunAsUser("periods" + on);
  EXPECT_EQ(periods.exit_code, 0) << periods.err;
  EXPECT_NE(periods.out.find("current period 2025/3"), std::string::npos) << periods.out;
  const Outcome reader = RunAsUser("call" + on + " CalCurAmount.GetCurPeriodStartEnd 3 2025");
  EXPECT_EQ(reader.exit_code, 0) << reader.err;
  EXPECT_NE(reader.out.find("2025/03/01"), std::string::npos) << reader.out;

  const Outcome update = RunAsUser("sql" + on + " \"update t_ICItem set FCostPrice = 1\"");
  EXPECT_EQ(update.exit_code, 1);
  EXPECT_NE(update.err.find("because the database is read-only"), std::string::npos) << update.err;
  const Outcome close = RunAsUser("close --force" + on);
  EXPECT_EQ(close.exit_code, 1);
  EXPECT_NE(close.err.find("because the database is read-only"), std::string::npos) << close.err;
  EXPECT_NE(close.err.find("the database is unchanged"), std::string::npos) << close.err;
  EXPECT_EQ(ReadFile(path), copy_of_file);
  // Nothing was left beside it either.
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
}

}  // namespace
}  // namespace morvesk::test
