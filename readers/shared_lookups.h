// The look-ups that both StockBillReader and CalCurAmount offer clients: the settings of a costing
// run (GetCaculateParameter), the items that moved in a date range (GetItemsWithHappen), the stock
// groups (GetStockGroup) and the stocks (GetStocks). The two classes' versions share names and most
// of their SQL but not all of it, so each class has its own function where they differ. All are
// read-only: each marks its unit of work complete first, then binds the session; any error is
// raised again unchanged, with no abort call.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "frame/service_frame.h"
#include "platform/ado/recordset.h"
#include "platform/automation/dispatch.h"
#include "platform/automation/variant.h"

namespace morvesk::readers {

// A new Plexo.Dictionary with CurrentYear, CurrentPeriod, CalculateType (0 when the profile has
// none), BDate and EDate (the current period's first day and the first day after it, as
// "yyyy/mm/dd"), PriceDecimal (always 10), QtyDecimal, FloatRate and WriteCalculateTable (False),
// in that order. A current period missing from t_PeriodDate is an error.
std::shared_ptr<automation::Dispatch> GetCaculateParameter(frame::ServiceFrame& self,
                                                           const std::string& sDsn);

// The items on audited stock bills and assembly bills dated in [sBDate, sEDate), one row each:
// FItemID, FNumber, FName, FCostPrice, FPriceDecimal, FUnitID (the unit's name), FTrack, FTrackName
// (the costing method's name); items without a unit or costing-method row are left out. sFilter
// follows "Where D.FTypeID=200 " verbatim. Detached. lPeriod and lYear are not used.
std::shared_ptr<ado::Recordset> GetItemsWithHappen(frame::ServiceFrame& self,
                                                   const std::string& sDsn, int32_t lPeriod,
                                                   int32_t lYear, const std::string& sBDate,
                                                   const std::string& sEDate,
                                                   const std::string& sFilter);

// The stock groups (t_SubMessage rows under parent 166): FInterID, FNumber, FName, unsorted,
// detached. A non-empty sFilter is added after " AND ".
automation::Variant GetStockGroup(frame::ServiceFrame& self, const std::string& sDsn,
                                  const std::string& sFilter);

// The stocks a bill may name (types other than 501, 502, 503), by number: FItemID, FName, FNumber,
// FGroupID. Keyset cursor, optimistic locking, detached, so that a client can edit FGroupID and
// hand the record set to UpdateStockGroup. sFilter is accepted and not used.
automation::Variant GetStocks(frame::ServiceFrame& self, const std::string& sDsn,
                              const std::string& sFilter);

namespace cal_cur {

// As the reader's, with a variable named for the quantity decimals, and two keys more:
// ItemCountPerGet (5000) and ItemFilter (empty).
std::shared_ptr<automation::Dispatch> GetCaculateParameter(frame::ServiceFrame& self,
                                                           const std::string& sDsn);

// Bills of every status count. With bCurrPeriod False the range runs on to 2999-12-31; with
// bOnlyBill False the items holding balance rows of lYear/lPeriod are added. No duplicates are
// removed across sources: an item is listed once per source that has it and once per balance row.
// Columns FItemID, FNumber, FName, FUnitID (the unit's id), FCostPrice, FTrack, FPriceDecimal;
// sFilter follows "Where 1=1 " verbatim. Attached to the connection.
std::shared_ptr<ado::Recordset> GetItemsWithHappen(frame::ServiceFrame& self,
                                                   const std::string& sDsn, int32_t lPeriod,
                                                   int32_t lYear, const std::string& sBDate,
                                                   const std::string& sEDate,
                                                   const std::string& sFilter, bool bOnlyBill,
                                                   bool bCurrPeriod);

// The ordinary stocks (type 500), unsorted; otherwise as the reader's GetStocks.
automation::Variant GetStocks(frame::ServiceFrame& self, const std::string& sDsn,
                              const std::string& sFilter);

}  // namespace cal_cur

}  // namespace morvesk::readers
