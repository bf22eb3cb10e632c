// The host API of libmorvesk.so (include/morvesk/morvesk.h), and the
// registration of the library's classes in the process as the library is
// loaded, so that a program linking it creates them by name with no
// registration step.
#include <filesystem>
#include <system_error>

#include "morvesk/morvesk.h"
#include "platform/automation/registry.h"
#include "services/morvesk_module.h"

namespace morvesk {

std::string OpenCompany(const std::string &path) {
  std::error_code ec;
  if (path.empty() || !std::filesystem::is_regular_file(path, ec)) {
    throw ComError(automation::kErrFail, "Morvesk",
                   "The company database '" + path +
                       "' does not exist or is not a file.");
  }
  const bool plain = path.find_first_of(";'\"") == std::string::npos &&
                     path.front() != ' ' && path.back() != ' ';
  if (plain)
    return "Data Source=" + path;
  if (path.find('"') == std::string::npos)
    return "Data Source=\"" + path + "\"";
  if (path.find('\'') == std::string::npos)
    return "Data Source='" + path + "'";
  throw ComError(automation::kErrFail, "Morvesk",
                 "A company database path cannot hold both ' and \": '" + path +
                     "'.");
}

std::shared_ptr<Dispatch> CreateObject(std::string_view prog_id_or_clsid) {
  services::RegisterMorveskClasses(); // idempotent; covers a call made during
                                      // static start-up
  return automation::CreateObject(prog_id_or_clsid);
}

namespace {
// Runs when the library is loaded (before a linking program's main).
[[maybe_unused]] const bool kClassesRegistered = [] {
  services::RegisterMorveskClasses();
  return true;
}();
} // namespace

} // namespace morvesk
