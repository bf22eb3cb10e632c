// morvesk serve: serves a company database to TDS clients (drivers and tools of the
// SQL Server family); morvesk user: manages the logins it accepts.
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <iostream>
#include <string>
#include <thread>

#include "server/tds/server.h"
#include "server/users/users_file.h"
#include "tools/morvesk/cli_args.h"
#include "tools/morvesk/commands.h"

namespace morvesk::cli {
namespace {

namespace tds = morvesk::server::tds;

constexpr char kServeHelp[] =
    "usage: morvesk serve --db FILE [--listen ADDR:PORT] [--users FILE]\n"
    "                     [--cert FILE --key FILE]\n"
    "\n"
    "Serves the company database FILE over TDS (protocol 7.0 to 7.4) until stopped\n"
    "with Ctrl-C or SIGTERM. Each client is a session of its own: its own #temp tables\n"
    "and transaction; a transaction a client leaves open is rolled back when it goes.\n"
    "The database name clients see is the file's name without its extension.\n"
    "\n"
    "  --db FILE           the company database (must exist)\n"
    "  --listen ADDR:PORT  where to listen (default 127.0.0.1:1433); an address other\n"
    "                      than loopback is refused unless TLS is configured\n"
    "  --users FILE        the logins (default: FILE with the extension .users);\n"
    "                      add one with 'morvesk user add NAME'\n"
    "  --cert FILE         TLS certificate chain (PEM), negotiated in the pre-login\n"
    "  --key FILE          its private key (PEM)\n";

constexpr char kUserHelp[] =
    "usage: morvesk user add NAME (--users FILE | --db FILE)\n"
    "\n"
    "Adds the login NAME to the users file of `morvesk serve`, or gives it a new\n"
    "password. The password is read from the terminal without echo, or as the first\n"
    "line of standard input when that is not a terminal. The file keeps a salted\n"
    "PBKDF2-HMAC-SHA256 hash of it, never the password.\n"
    "\n"
    "  --users FILE   the users file\n"
    "  --db FILE      the company database; the users file is next to it\n";

tds::Server* g_server = nullptr;

std::string ReadPassword() {
  std::string password;
  if (::isatty(STDIN_FILENO)) {
    termios old{};
    tcgetattr(STDIN_FILENO, &old);
    termios quiet = old;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
    std::cerr << "Password: " << std::flush;
    std::getline(std::cin, password);
    tcsetattr(STDIN_FILENO, TCSANOW, &old);
    std::cerr << "\n";
  } else {
    std::getline(std::cin, password);
  }
  if (!password.empty() && password.back() == '\r') password.pop_back();
  return password;
}

}  // namespace

int RunServe(int argc, char** argv, int first) {
  tds::ServeOptions options;
  try {
    Args args(argc, argv, first,
              ArgSpec{{"--db", "--listen", "--users", "--cert", "--key"}, {}, false});
    if (args.help()) {
      std::cout << kServeHelp;
      return kExitOk;
    }
    options.database_path = args.Require("--db");
    options.listen = args.Get("--listen").value_or(options.listen);
    options.users_path = args.Get("--users").value_or("");
    options.cert_path = args.Get("--cert").value_or("");
    options.key_path = args.Get("--key").value_or("");
  } catch (const UsageError& e) {
    return ReportUsage("serve", e);
  }
  std::string error;
  std::unique_ptr<tds::Server> server = tds::Server::Start(options, &error);
  if (!server) {
    std::cerr << "morvesk serve: " << error << "\n";
    return kExitFailed;
  }
  // Signals are taken by one thread that stops the accept loop.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
  g_server = server.get();
  std::thread([stop_signals] {
    int sig = 0;
    sigwait(&stop_signals, &sig);
    g_server->Stop();
  }).detach();
  std::cout << "morvesk serve: listening on " << options.listen.substr(0, options.listen.rfind(':'))
            << ":" << server->port() << (options.cert_path.empty() ? "" : " (TLS)") << std::endl;
  server->Run();
  std::cout << "morvesk serve: stopped" << std::endl;
  return kExitOk;
}

int RunUser(int argc, char** argv, int first) {
  std::string path, name;
  try {
    Args args(argc, argv, first, ArgSpec{{"--users", "--db"}, {}, true});
    if (args.help()) {
      std::cout << kUserHelp;
      return kExitOk;
    }
    if (args.positionals().size() != 2 || args.positionals()[0] != "add") {
      throw UsageError("expected: add NAME");
    }
    name = args.positionals()[1];
    if (auto users = args.Get("--users")) {
      path = *users;
    } else if (auto db = args.Get("--db")) {
      path = server::users::DefaultUsersPath(*db);
    } else {
      throw UsageError("give --users FILE or --db FILE");
    }
  } catch (const UsageError& e) {
    return ReportUsage("user", e);
  }
  const std::string password = ReadPassword();
  std::string error;
  if (!server::users::UsersFile::SetPassword(path, name, password, &error)) {
    std::cerr << "morvesk user: " << error << "\n";
    return kExitFailed;
  }
  std::cout << "morvesk user: login '" << name << "' set in " << path << "\n";
  return kExitOk;
}

}  // namespace morvesk::cli
