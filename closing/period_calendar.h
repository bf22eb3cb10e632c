// The period calendar as clients see it: CalCurAmount.GetCurPeriodStartEnd (a period's start
// and first day after it, as text) and CalCurAmount.GetPeriodsData (the grid text of all
// periods of the inventory side's current year). Both are read-only and have no trap: they
// make the completion call first, and any error reaches the caller as raised.
#pragma once

#include <cstdint>
#include <string>

#include "frame/service_frame.h"
#include "platform/automation/variant.h"

namespace morvesk::closing {

// Formats a date with a client date pattern: "yyyy", "yy", "mm", "m", "dd", "d" are the
// date's parts, every other character (the "/" separator included) is copied as it stands.
std::string FormatDatePattern(automation::DateValue date, const std::string& pattern);

// sStartDate and sEndDate receive the period's first day and the first day after it, as
// "yyyy/mm/dd"; a text that both the checks and the close accept as a date.
bool GetCurPeriodStartEnd(frame::ServiceFrame& self, const std::string& sCnn, int32_t CurPeriod,
                          int32_t CurYear, std::string& sStartDate, std::string& sEndDate);

// strClip: one row per period of the current year, rows joined by CR, fields by tab:
// number, start date, last day, and the closed mark. nRows receives the period count,
// nColorRow the current period when it lies within the year (else it stays as it was).
bool GetPeriodsData(frame::ServiceFrame& self, const std::string& sCnn, std::string& strClip,
                    int32_t& nRows, int32_t& nColorRow);

}  // namespace morvesk::closing
