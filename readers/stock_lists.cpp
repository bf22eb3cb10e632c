// GetStockGroup and GetStocks of both classes: short lists handed back detached, with every row
// fetched, in a variant.
#include <memory>
#include <string>

#include "frame/conventions.h"
#include "platform/ado/connection.h"
#include "readers/shared_lookups.h"

namespace morvesk::readers {

namespace {

using automation::Variant;

// The stock list is opened for editing (keyset, optimistic) so that the client can change FGroupID
// and hand it to UpdateStockGroup, which writes it back by FItemID.
Variant EditableStocks(frame::ServiceFrame& self, const std::string& sDsn, const char* query) {
  self.SetComplete();
  return frame::TrapAndRaise(self, frame::CompletionAtStart::kYes, [&] {
    self.BindSession(sDsn);
    std::shared_ptr<ado::Connection> cnn = self.Connection();
    auto rs = ado::Recordset::Create();
    rs->SetCursorLocation(ado::CursorLocation::kClient);
    rs->Open(query, cnn, ado::CursorType::kKeyset, ado::LockType::kOptimistic);
    rs->SetActiveConnection(nullptr);
    return Variant(rs);
  });
}

}  // namespace

Variant GetStockGroup(frame::ServiceFrame& self, const std::string& sDsn,
                      const std::string& sFilter) {
  self.SetComplete();
  return frame::TrapAndRaise(self, frame::CompletionAtStart::kYes, [&] {
    self.BindSession(sDsn);
    std::shared_ptr<ado::Connection> cnn = self.Connection();
    std::string sql = "SELECT FInterID,FID as FNumber,FName FROM t_SubMessage WHERE FParentID=166";
    if (!sFilter.empty()) sql += " AND " + sFilter;
    std::shared_ptr<ado::Recordset> rs = cnn->Execute(sql, nullptr, ado::kOptionUnspecified);
    rs->SetActiveConnection(nullptr);
    return Variant(rs);
  });
}

Variant GetStocks(frame::ServiceFrame& self, const std::string& sDsn,
                  const std::string& /*sFilter*/) {
  return EditableStocks(self, sDsn,
                        "SELECT FItemID,FName,FNumber,FStockGroupID as FGroupID FROM t_Stock WHERE "
                        "FTypeID NOT IN(501,502,503) order by FNumber");
}

namespace cal_cur {

Variant GetStocks(frame::ServiceFrame& self, const std::string& sDsn,
                  const std::string& /*sFilter*/) {
  return EditableStocks(
      self, sDsn,
      "SELECT FItemID,FName,FNumber,FStockGroupID as FGroupID FROM t_Stock WHERE FTypeID=500");
}

}  // namespace cal_cur

}  // namespace morvesk::readers
