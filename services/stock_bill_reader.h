// Morvesk.StockBillReader: unit cost runs, cost look-ups, bill and batch queries, direct SQL
// and shared look-ups. Member table in services/stock_bill_reader.cpp (exact names and order).
#pragma once

#include "frame/service_frame.h"
#include "platform/automation/dispatch_object.h"

namespace morvesk::services {

inline constexpr char kStockBillReaderProgId[] = "Morvesk.StockBillReader";
inline constexpr char kStockBillReaderClsid[] = "90388a06-11e4-4f84-9ade-8ff65a911a9d";
inline constexpr char kStockBillReaderIid[] = "47b307b8-b259-4bb7-967a-2a550c945d94";

class StockBillReader : public automation::DispatchObject<StockBillReader> {
 public:
  StockBillReader() : frame_(*this, kStockBillReaderProgId) {}
  static const automation::DispatchTable<StockBillReader>& Table();
  std::string ErrorSource() const override { return kStockBillReaderProgId; }
  frame::ServiceFrame& frame() { return frame_; }

 private:
  frame::ServiceFrame frame_;
};

}  // namespace morvesk::services
