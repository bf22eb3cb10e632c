// Morvesk.ICbalReader: opening balances and the pre-calculation validation. Member table in
// services/ic_bal_reader.cpp (exact names and order).
#pragma once

#include "frame/service_frame.h"
#include "platform/automation/dispatch_object.h"

namespace morvesk::services {

inline constexpr char kICbalReaderProgId[] = "Morvesk.ICbalReader";
inline constexpr char kICbalReaderClsid[] = "b40d2f49-b0ae-4516-b99b-0f2609b8f1df";
inline constexpr char kICbalReaderIid[] = "a7263d2c-c20d-4652-9237-9ef0e1e2bad3";

class ICbalReader : public automation::DispatchObject<ICbalReader> {
 public:
  ICbalReader() : frame_(*this, kICbalReaderProgId) {}
  static const automation::DispatchTable<ICbalReader>& Table();
  std::string ErrorSource() const override { return kICbalReaderProgId; }
  frame::ServiceFrame& frame() { return frame_; }

 private:
  frame::ServiceFrame frame_;
};

}  // namespace morvesk::services
