#include "frame/service_frame.h"

#include "platform/host/global_object.h"

namespace morvesk::frame {

ServiceFrame::ServiceFrame(automation::Dispatch& owner, std::string source)
    : owner_(owner), source_(std::move(source)) {
  service_ = host::GlobalObject::ForThread()->GetAppConnection();
  session_ = service_->GetSession();
}

ServiceFrame::~ServiceFrame() {
  service_.reset();
  session_.reset();
}

void ServiceFrame::BindSession(const std::string& sDsn) {
  service_ = host::GlobalObject::ForThread()->GetAppConnection();
  service_->Bind(sDsn);
  session_ = service_->GetSession();
}

std::shared_ptr<ado::Connection> ServiceFrame::Connection() {
  return service_->GetConnection();
}

std::shared_ptr<host::Session> ServiceFrame::Session() { return service_->GetSession(); }

void ServiceFrame::SetComplete() { service_->SetComplete(); }

void ServiceFrame::SetAbort() { service_->SetAbort(); }

}  // namespace morvesk::frame
