#include "readers/profile_rows.h"

#include <memory>

#include "frame/conventions.h"
#include "frame/sql_text.h"
#include "platform/ado/connection.h"
#include "platform/ado/recordset.h"

namespace morvesk::readers {

using automation::Variant;

Variant GetFValueOfIC(frame::ServiceFrame& self, const std::string& sDsn,
                      const std::string& sFilter) {
  return frame::TrapAndRaise(self, frame::CompletionAtStart::kYes, [&] {
    self.SetComplete();
    self.BindSession(sDsn);
    std::shared_ptr<ado::Connection> cnn = self.Connection();
    std::string sql = "SELECT FKey,FValue FROM t_Systemprofile ";
    if (!sFilter.empty()) sql += " WHERE " + sFilter;
    auto rs = ado::Recordset::Create();
    rs->SetCursorLocation(ado::CursorLocation::kClient);
    rs->Open(sql, cnn, ado::CursorType::kStatic, ado::LockType::kReadOnly);
    rs->SetActiveConnection(nullptr);
    return Variant(rs);
  });
}

Variant WriteValueOfIC(frame::ServiceFrame& self, const std::string& sDsn,
                       const std::string& curFValue, const std::string& curFKey) {
  return frame::TrapAndRaise(self, frame::CompletionAtStart::kNo, [&] {
    self.BindSession(sDsn);
    std::shared_ptr<ado::Connection> cnn = self.Connection();
    cnn->Execute("UPDATE t_Systemprofile SET FValue=" +
                 frame::SQLValue(Variant(curFValue), true, false, true) +
                 " WHERE FCategory='IC' AND FKey=" + frame::QuoteSQL(Variant(curFKey), true, true));
    self.SetComplete();
    return Variant();
  });
}

}  // namespace morvesk::readers
