// Who may talk to a served company, and how: logins checked against the users file, a
// failed login that tells nothing more, TLS negotiated in the pre-login when configured,
// and no listening beyond loopback without it.
#include <fstream>
#include <string>

#include "server/users/users_file.h"
#include "tests/server/served_company.h"

namespace morvesk::test {
namespace {

TEST_F(ServedCompany, FailedLoginSaysOnlyThatTheLoginFailed) {
  for (const auto& [user, password] :
       {std::pair<std::string, std::string>{kUser, "wrong"}, {"nobody", kPassword}, {kUser, ""}}) {
    Outcome tsql = Tsql("SELECT 1\ngo\nexit\n", user, password);
    const std::string all = tsql.out + tsql.err;
    EXPECT_NE(all.find("Msg 18456"), std::string::npos) << all;
    EXPECT_NE(all.find("Login failed for user '" + user + "'."), std::string::npos) << all;
    EXPECT_EQ(all.find("password"), std::string::npos) << all;
    EXPECT_EQ(all.find("does not exist"), std::string::npos) << all;
  }
  Outcome odbc = Python("query", {"SELECT 1"}, ConnectionString(kUser, "wrong"));
  EXPECT_NE(odbc.exit_code, 0);
  EXPECT_NE(odbc.err.find("Login failed for user 'tester'. (18456)"), std::string::npos)
      << odbc.err;
  // The server goes on serving the right login.
  Outcome good = Python("query", {"SELECT 5"});
  EXPECT_EQ(good.out, "5\n") << good.err;
}

TEST_F(ServedCompany, UsersFileKeepsSaltedHashesOnly) {
  const std::string path = (dir_ / "shop.users").string();
  const std::string text = ReadAll(path);
  EXPECT_EQ(text.find(kPassword), std::string::npos);
  // A second user and a changed password: each entry gets a salt of its own.
  ASSERT_EQ(Tool("user add clerk --users " + Sh(path), std::string(kPassword) + "\n").exit_code, 0);
  ASSERT_EQ(Tool("user add tester --users " + Sh(path), "new secret\n").exit_code, 0);
  std::string error;
  auto users = server::users::UsersFile::Load(path, &error);
  ASSERT_TRUE(users) << error;
  EXPECT_EQ(users->size(), 2u);
  EXPECT_TRUE(users->Check("clerk", kPassword));
  EXPECT_TRUE(users->Check("tester", "new secret"));
  EXPECT_FALSE(users->Check("tester", kPassword));
  EXPECT_FALSE(users->Check("nobody", kPassword));
  const std::string after = ReadAll(path);
  EXPECT_EQ(after.find("new secret"), std::string::npos);
  std::stringstream lines(after);
  std::string a, b;
  std::getline(lines, a);
  std::getline(lines, b);
  EXPECT_NE(a.substr(a.find(':')), b.substr(b.find(':')));  // same password, other salt
  // Bad names and an empty password are refused, the file unchanged.
  EXPECT_EQ(Tool("user add 'a:b' --users " + Sh(path), "x\n").exit_code, 1);
  EXPECT_EQ(Tool("user add clerk --users " + Sh(path), "\n").exit_code, 1);
  EXPECT_EQ(ReadAll(path), after);
}

TEST_F(ServedCompany, ListeningBeyondLoopbackNeedsTls) {
  Outcome open = Tool("serve --db " + Sh(db_) + " --listen 0.0.0.0:0");
  EXPECT_EQ(open.exit_code, 1);
  EXPECT_NE(open.err.find("without TLS"), std::string::npos) << open.err;
  EXPECT_EQ(open.out.find("listening"), std::string::npos);
  Outcome half = Tool("serve --db " + Sh(db_) + " --listen 0.0.0.0:0 --cert x.pem");
  EXPECT_EQ(half.exit_code, 1);
  Outcome no_users =
      Tool("serve --db " + Sh(db_) + " --users " + Sh((dir_ / "none.users").string()));
  EXPECT_EQ(no_users.exit_code, 1);
  EXPECT_NE(no_users.err.find("users file"), std::string::npos) << no_users.err;
}

TEST_F(ServedCompany, TsqlConnectsWithEncryptionRequiredWhenTlsIsConfigured) {
  const std::string cert = (dir_ / "cert.pem").string(), key = (dir_ / "key.pem").string();
  Outcome made = Shell(
      "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=localhost "
      "-keyout " +
      Sh(key) + " -out " + Sh(cert));
  ASSERT_EQ(made.exit_code, 0) << made.err;
  StopServer();
  StartServer("--cert " + Sh(cert) + " --key " + Sh(key));
  auto conf = [&](const std::string& encryption) {
    const std::string path = (dir_ / ("freetds-" + encryption + ".conf")).string();
    std::ofstream(path) << "[served]\n  host = 127.0.0.1\n  port = " << port_
                        << "\n  tds version = 7.4\n  encryption = " << encryption << "\n";
    return path;
  };
  const std::string sql = "SELECT FName FROM t_ICItem WHERE FItemID = 1\ngo\nexit\n";
  const std::string name = EngineRows("SELECT FName FROM t_ICItem WHERE FItemID = 1");
  // The whole stream encrypted: the client refuses to go on unless TLS was agreed.
  Outcome required = Shell("FREETDSCONF=" + Sh(conf("require")) + " tsql -S served -U " +
                               std::string(kUser) + " -P " + Sh(kPassword),
                           sql);
  EXPECT_EQ(required.exit_code, 0) << required.err;
  EXPECT_NE(required.out.find("\n" + name), std::string::npos) << required.out << required.err;
  // Only the login encrypted, the rest in the clear.
  Outcome login_only = Shell("FREETDSCONF=" + Sh(conf("off")) + " tsql -S served -U " +
                                 std::string(kUser) + " -P " + Sh(kPassword),
                             sql);
  EXPECT_NE(login_only.out.find("\n" + name), std::string::npos)
      << login_only.out << login_only.err;
  // ODBC with encryption required reads the same text.
  Outcome odbc = Python("query", {"SELECT FName FROM t_ICItem WHERE FItemID = 1"},
                        ConnectionString() + ";Encryption=require");
  EXPECT_EQ(odbc.out, name) << odbc.err;
  // A TLS server may listen beyond loopback.
  Outcome wide = Shell("timeout -s TERM 1 " + Binary() + " serve --db " + Sh(db_) +
                       " --listen 0.0.0.0:0 --cert " + Sh(cert) + " --key " + Sh(key));
  EXPECT_NE(wide.out.find("listening on 0.0.0.0:"), std::string::npos) << wide.err;
}

}  // namespace
}  // namespace morvesk::test
