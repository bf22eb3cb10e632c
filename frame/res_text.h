// Localized texts for what operations return to users: LoadResText looks a key up through
// the thread's cached TARNRESLOADER.Loader (created by name on first use, replaced when the
// language changes); ExpandResText expands a composite text whose pieces are joined by "^|^"
// and where a piece starting with "~$~" is a key to look up. Neither raises, and a pending
// error of the caller (err_state.h) survives a lookup.
#pragma once

#include <memory>
#include <string>

#include "platform/automation/dispatch.h"

namespace morvesk::frame {

inline constexpr char kResSeparator[] = "^|^";
inline constexpr char kResKeyMarker[] = "~$~";

// The key's text in `language` (e.g. "CHS", "ENU"; letter case ignored). A failure of the
// loader yields the key (trimmed if the failure came after trimming) and drops the cached
// loader.
std::string LoadResText(const std::string& key, const std::string& language);
std::string ExpandResText(const std::string& text, const std::string& language);

// The loader this thread's lookups use (null before the first lookup); for diagnostics.
std::shared_ptr<automation::Dispatch> CurrentResourceLoader();

}  // namespace morvesk::frame
