// StockBillReader's bill and batch lists for clients: GetBills (the stock bill
// lines of a date range or of the current period, with their class and type
// names) and GetBatchRecordset (the item and batch pairs that moved through one
// stock since a date). Both mark their unit of work complete first, hand back
// record sets detached from the connection with every row fetched, and raise
// errors unchanged with no abort call.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "frame/service_frame.h"
#include "platform/ado/recordset.h"
#include "platform/automation/variant.h"

namespace morvesk::readers {

// sFilter is a condition on alias t that begins with a blank and its own
// connective
// (" And t.FItemID=1001"); it is placed verbatim twice, in the working table's
// fill and in the final select. sOrder replaces the default order
// "t.FDate,t.FID,t.FInterID". With bEnd the lines are those of the current
// period (dCurrStart is replaced by its first day).
std::shared_ptr<ado::Recordset> GetBills(frame::ServiceFrame& self, const std::string& sDsn,
                                         const std::string& sFilter, const std::string& sOrder,
                                         automation::DateValue dCurrStart, bool bEnd);

// With bEnd the pairs are limited to lines before the current period's end;
// BegDate is used as given.
std::shared_ptr<ado::Recordset> GetBatchRecordset(frame::ServiceFrame& self,
                                                  const std::string& sDsn,
                                                  automation::DateValue BegDate, int32_t StockID,
                                                  bool bEnd);

}  // namespace morvesk::readers
