#include "readers/opening_balances.h"

#include "frame/batch_text.h"
#include "frame/conventions.h"
#include "platform/ado/connection.h"

namespace morvesk::readers {

namespace {

using frame::Lines;

constexpr char kOpeningOnly[] = "Where Not (b.FBegQty = 0 And b.FBegBal = 0) ";

std::string PerStockQuery(const std::string& sFilter) {
  return Lines({
      "Select "
      "b.FInterID,b.FStockID,b.FItemID,b.FBatchNo,b.FBegQty,b.FBegBal,b.FStockInDate,b.FID,b."
      "FEntryID,b.FIdentity",
      "From t_CC_Bal      b",
      "Inner Join t_Stock s On b.FStockID=s.FItemID And s.FTypeID<>502 ",
      kOpeningOnly + sFilter,
      "Order By b.FStockID,b.FItemID,b.FBatchNo,FStockInDate,FID,FEntryID",
  });
}

// Ordinary items are summed over the valued stocks; lot-by-lot items keep one row per lot
// (FIdentity) and are read without the stock join, so a lot held in a stock of type 502 still
// counts. The filter goes into both branches, so it may name b columns only.
std::string MergedQuery(const std::string& sFilter) {
  return Lines({
      "Select * From (",
      "Select b.FInterID,0 As FStockID,b.FItemID,b.FBatchNo,Sum(b.FBegQty) As "
      "FBegQty,Sum(b.FBegBal) As FBegBal,b.FStockInDate,b.FID,b.FEntryID,0 As FIdentity",
      "From t_CC_Bal b",
      "Inner Join t_Stock s On b.FStockID=s.FItemID And s.FTypeID<>502",
      "Inner Join t_ICItem c On b.FItemID=c.FItemID And c.FTrack<>78",
      kOpeningOnly + sFilter,
      "Group By b.FInterID,b.FItemID,b.FBatchNo,b.FStockInDate,b.FID,b.FEntryID",
      "   Union All ",
      "Select b.FInterID,0 As FStockID,b.FItemID,b.FBatchNo,Sum(b.FBegQty) As "
      "FBegQty,Sum(b.FBegBal) As FBegBal,b.FStockInDate,b.FID,b.FEntryID,b.FIdentity",
      "From t_CC_Bal b",
      "Inner Join t_ICItem s On b.FItemID=s.FItemID And s.FTrack=78",
      kOpeningOnly + sFilter,
      "Group By b.FInterID,b.FItemID,b.FBatchNo,b.FStockInDate,b.FID,b.FEntryID,b.FIdentity",
      ")Ax Order By FItemID,FBatchNo,FStockInDate,FID,FEntryID",
  });
}

}  // namespace

std::shared_ptr<ado::Recordset> GetBegBal(frame::ServiceFrame& self, const std::string& sDsn,
                                          const std::string& sFilter, int32_t CalType,
                                          int32_t /*lngTrack*/) {
  self.SetComplete();
  return frame::TrapAndRaise(self, frame::CompletionAtStart::kYes, [&] {
    self.BindSession(sDsn);
    std::shared_ptr<ado::Connection> cnn = self.Connection();
    const std::string sql = CalType == 1 ? PerStockQuery(sFilter) : MergedQuery(sFilter);
    auto rs = ado::Recordset::Create();
    rs->SetCursorLocation(ado::CursorLocation::kClient);
    rs->Open(sql, cnn, ado::CursorType::kDynamic, ado::LockType::kReadOnly);
    return rs;
  });
}

}  // namespace morvesk::readers
