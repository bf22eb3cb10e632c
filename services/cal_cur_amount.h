// Morvesk.CalCurAmount: period close, checks around it, period data, maintenance jobs and
// shared look-ups. The member table (services/cal_cur_amount.cpp) keeps the interface's
// dispatch order and names exactly, misspellings included.
#pragma once

#include "frame/service_frame.h"
#include "platform/automation/dispatch_object.h"

namespace morvesk::services {

inline constexpr char kCalCurAmountProgId[] = "Morvesk.CalCurAmount";
inline constexpr char kCalCurAmountClsid[] = "e28ff440-de66-4333-ba1d-95cdfe9bac82";
inline constexpr char kCalCurAmountIid[] = "f06b8ce6-5ccb-464f-9c80-fe40b92c73f0";

class CalCurAmount : public automation::DispatchObject<CalCurAmount> {
 public:
  CalCurAmount() : frame_(*this, kCalCurAmountProgId) {}
  static const automation::DispatchTable<CalCurAmount>& Table();
  std::string ErrorSource() const override { return kCalCurAmountProgId; }
  frame::ServiceFrame& frame() { return frame_; }

 private:
  frame::ServiceFrame frame_;
};

}  // namespace morvesk::services
