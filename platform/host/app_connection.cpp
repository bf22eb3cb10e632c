#include "platform/host/app_connection.h"

#include <cstdlib>

#include "platform/host/unit_of_work.h"

namespace morvesk::host {
namespace {

using automation::ComError;
using automation::DispatchTable;
using automation::In;
using automation::Variant;
using automation::VarType;

thread_local std::string t_language;

UnitOfWork& RequireUnit(const char* what) {
  UnitOfWork* u = UnitOfWork::Current();
  if (u == nullptr) {
    throw ComError(automation::kErrFail, kAppConnectionProgId,
                   std::string(what) + " needs a running call: no unit of work is active on this thread");
  }
  return *u;
}

}  // namespace

void SetUserLanguage(std::string language) { t_language = std::move(language); }

std::string Session::LanguageID() const {
  if (!t_language.empty()) return t_language;
  if (const char* env = std::getenv("MORVESK_LANG"); env && *env) return env;
  return kBaseLanguage;
}

const automation::DispatchTable<Session>& Session::Table() {
  static const DispatchTable<Session> table(
      "Session", {
                     {{.name = "LanguageID", .result = VarType::kString, .is_property = true},
                      [](Session& s, auto&) { return Variant(s.LanguageID()); }},
                 });
  return table;
}

void AppConnection::Bind(std::string_view description) { RequireUnit("Bind").Bind(description); }

std::shared_ptr<Session> AppConnection::GetSession() { return std::make_shared<Session>(); }

std::shared_ptr<ado::Connection> AppConnection::GetConnection() {
  return RequireUnit("GetConnection").Connection();
}

void AppConnection::SetComplete() { RequireUnit("SetComplete").SetComplete(); }
void AppConnection::SetAbort() { RequireUnit("SetAbort").SetAbort(); }

const automation::DispatchTable<AppConnection>& AppConnection::Table() {
  static const DispatchTable<AppConnection> table(
      "AppConnection",
      {
          {{.name = "Bind", .params = {In("sDescription", VarType::kString)}, .result = VarType::kBoolean},
           [](AppConnection& c, std::vector<Variant>& a) {
             c.Bind(a[0].ToString());
             return Variant(true);
           }},
          {{.name = "GetSession", .result = VarType::kObject},
           [](AppConnection& c, auto&) { return Variant(c.GetSession()); }},
          {{.name = "GetConnection", .result = VarType::kObject},
           [](AppConnection& c, auto&) { return Variant(c.GetConnection()); }},
          {{.name = "SetComplete"},
           [](AppConnection& c, auto&) {
             c.SetComplete();
             return Variant();
           }},
          {{.name = "SetAbort"},
           [](AppConnection& c, auto&) {
             c.SetAbort();
             return Variant();
           }},
      });
  return table;
}

}  // namespace morvesk::host
