// What every service object of CalCurAmount, StockBillReader and ICbalReader holds and does
// around its operations: the two references (connection service, session), BindSession, and
// the calls an operation makes on the connection service (connection, completion, abort).
// Operations receive the ServiceFrame of the object they run on; a public operation that
// calls another public operation of the same object does so through Owner(), late-bound, so
// that the nested call joins the same unit of work.
#pragma once

#include <memory>
#include <string>

#include "platform/ado/connection.h"
#include "platform/automation/dispatch.h"
#include "platform/host/app_connection.h"

namespace morvesk::frame {

class ServiceFrame {
 public:
  // Initialisation: the thread's global object hands out the connection service, whose
  // session call fills the session field. `owner` is the service object; `source` the text
  // that errors raised by the frame carry ("Morvesk.CalCurAmount").
  ServiceFrame(automation::Dispatch& owner, std::string source);
  // Termination: the connection service field is released first, then the session.
  ~ServiceFrame();
  ServiceFrame(const ServiceFrame&) = delete;
  ServiceFrame& operator=(const ServiceFrame&) = delete;

  // Re-fetches the connection service from the global object, makes the bind call with the
  // connection description and stores the session. No trap: errors reach the operation's.
  void BindSession(const std::string& sDsn);

  // The connection call: the unit of work's open connection.
  std::shared_ptr<ado::Connection> Connection();
  // The session call made afresh (GetPeriodsData reads the user's language from it).
  std::shared_ptr<host::Session> Session();
  void SetComplete();
  void SetAbort();

  automation::Dispatch& Owner() const { return owner_; }
  const std::string& source() const { return source_; }

  bool has_service() const { return service_ != nullptr; }
  bool has_session() const { return session_ != nullptr; }

 private:
  automation::Dispatch& owner_;
  std::string source_;
  std::shared_ptr<host::AppConnection> service_;
  std::shared_ptr<host::Session> session_;
};

}  // namespace morvesk::frame
