// CalCurAmount.UpdateBatch: runs a caller's list of SQL statements (an array of
// texts in a Variant) on the unit of work's connection, in chunks: element 0
// alone, then 100 elements per batch (1-100, 101-200, ...), each element on its
// own line after a CR LF. An empty array runs nothing and returns True.
//
// Frame: no abort call at the start. Any error makes the abort call and is
// raised unchanged (number, source, description). Chunks run before the failing
// one stay run as far as the host's transaction allows, which on the abort vote
// rolls them back.
#pragma once

#include <string>

#include "frame/service_frame.h"
#include "platform/automation/variant.h"

namespace morvesk::maintenance {

// Elements per chunk after the first, which holds element 0 alone.
inline constexpr size_t kUpdateBatchChunk = 100;

bool UpdateBatch(frame::ServiceFrame& self, const std::string& sCnn,
                 const automation::Variant& oCol);

}  // namespace morvesk::maintenance
