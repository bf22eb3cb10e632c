// `morvesk`: the command line of the company database and the service classes.
#include <cstdlib>
#include <cstring>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "platform/resources/resource_texts.h"
#include "tools/morvesk/commands.h"

namespace {

struct Subcommand {
  const char* name;
  const char* summary;
  int (*run)(int argc, char** argv, int first);
};

// Subcommands in the order `morvesk --help` lists them.
constexpr Subcommand kSubcommands[] = {
    {"init", "create a company database (demo data, or a generated company of a given size)",
     morvesk::cli::RunInit},
    {"sql", "run T-SQL text, a script file or standard input against a company database",
     morvesk::cli::RunSql},
    {"call", "invoke an operation of a service class by name and print its result",
     morvesk::cli::RunCall},
    {"close", "close an inventory period the way a client does, with progress and a summary",
     morvesk::cli::RunClose},
    {"maintain", "run a maintenance job by name and report the rows it touched per table",
     morvesk::cli::RunMaintain},
    {"reopen", "return the inventory ledger to an earlier, closed period", morvesk::cli::RunReopen},
    {"periods", "list the periods of the current year and which of them are closed",
     morvesk::cli::RunPeriods},
    {"serve", "serve the company database to TDS clients (drivers and tools)", morvesk::cli::RunServe},
    {"user", "add a login of `morvesk serve` or change its password", morvesk::cli::RunUser},
};

void PrintUsage(std::ostream& out) {
  out << "usage: morvesk <command> [options]\n\ncommands:\n";
  for (const Subcommand& s : kSubcommands) {
    const size_t n = std::strlen(s.name);
    out << "  " << s.name << std::string(n < 10 ? 10 - n : 1, ' ') << s.summary << "\n";
  }
  out << "\n'morvesk help <command>' or 'morvesk <command> --help' describes a command;\n"
         "'morvesk --version' shows the version.\n";
}

const Subcommand* Find(const char* name) {
  for (const Subcommand& s : kSubcommands) {
    if (std::strcmp(name, s.name) == 0) return &s;
  }
  return nullptr;
}

// MORVESK_LANG chooses the language of the operations' messages. A code without texts
// falls back to the base language silently inside the library, so the tool says so here.
void WarnAboutLanguage() {
  const char* code = std::getenv("MORVESK_LANG");
  if (code == nullptr || *code == '\0') return;
  const std::vector<std::string> known =
      morvesk::resources::ResourceTexts::Languages("TARNINDUSTRY");
  const std::string wanted = morvesk::resources::UpperAscii(code);
  for (const std::string& k : known) {
    if (k == wanted) return;
  }
  std::cerr << "morvesk: warning: MORVESK_LANG=" << code
            << " has no texts; messages come in the base language "
            << morvesk::resources::kBaseLanguage << ". The codes there are:";
  for (size_t i = 0; i < known.size(); ++i) std::cerr << (i ? ", " : " ") << known[i];
  std::cerr << "\n";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    PrintUsage(std::cerr);
    return morvesk::cli::kExitUsage;
  }
  if (std::strcmp(argv[1], "--version") == 0) {
    std::cout << "morvesk " << MORVESK_VERSION << "\n";
    return morvesk::cli::kExitOk;
  }
  if (std::strcmp(argv[1], "help") == 0 && argc > 2) {
    const Subcommand* s = Find(argv[2]);
    if (s == nullptr) {
      std::cerr << "morvesk help: unknown command '" << argv[2] << "'\n\n";
      PrintUsage(std::cerr);
      return morvesk::cli::kExitUsage;
    }
    char help[] = "--help";
    char* help_argv[] = {argv[0], argv[2], help, nullptr};
    return s->run(3, help_argv, 2);
  }
  if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0 ||
      std::strcmp(argv[1], "help") == 0) {
    PrintUsage(std::cout);
    return morvesk::cli::kExitOk;
  }
  WarnAboutLanguage();
  for (const Subcommand& s : kSubcommands) {
    if (std::strcmp(argv[1], s.name) != 0) continue;
    // The one boundary of the tool: whatever a command did not turn into its own message
    // is reported here, never left to end the process.
    try {
      return s.run(argc, argv, 2);
    } catch (const std::exception& e) {
      std::cerr << "morvesk " << s.name << ": " << e.what() << "\n";
    } catch (...) {
      std::cerr << "morvesk " << s.name << ": failed with an unknown error\n";
    }
    return morvesk::cli::kExitFailed;
  }
  std::cerr << "morvesk: unknown command '" << argv[1] << "'\n\n";
  PrintUsage(std::cerr);
  return morvesk::cli::kExitUsage;
}
