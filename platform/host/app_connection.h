// The application's connection service "Halvane.AppConnection" and its session
// object. The service turns a connection description into the open connection of the
// current unit of work (unit_of_work.h) and carries the completion and abort votes.
// Late-bound members, in order:
//   Bind(sDescription)  -> Boolean True (callers discard it)
//   GetSession()        -> the Session object
//   GetConnection()     -> the unit of work's data-access Connection
//   SetComplete(), SetAbort()
// Bind, GetConnection, SetComplete and SetAbort need a running unit of work (a
// CallScope); outside one they raise ComError kErrFail.
//
// The session's LanguageID is the user's language: the thread's setting
// (SetUserLanguage) if made, else $MORVESK_LANG, else "CHS", the base language.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/ado/connection.h"
#include "platform/automation/dispatch_object.h"

namespace morvesk::host {

inline constexpr char kAppConnectionProgId[] = "Halvane.AppConnection";
inline constexpr char kAppConnectionClsid[] = "3f1d8c52-6a0e-4b7d-9c21-5e8a7b40d913";
inline constexpr char kBaseLanguage[] = "CHS";

class Session : public automation::DispatchObject<Session> {
 public:
  static const automation::DispatchTable<Session>& Table();
  std::string ErrorSource() const override { return "Halvane.Session"; }
  std::string LanguageID() const;
};

class AppConnection : public automation::DispatchObject<AppConnection> {
 public:
  static const automation::DispatchTable<AppConnection>& Table();
  std::string ErrorSource() const override { return kAppConnectionProgId; }

  void Bind(std::string_view description);
  std::shared_ptr<Session> GetSession();
  std::shared_ptr<ado::Connection> GetConnection();
  void SetComplete();
  void SetAbort();
};

// The user's language of this thread; empty restores the default.
void SetUserLanguage(std::string language);

}  // namespace morvesk::host
