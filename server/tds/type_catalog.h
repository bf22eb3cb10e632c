// The answer to the type catalogue a driver asks for right after it logs in
// (sp_datatype_info / sp_datatype_info_100 TYPE, ODBCVER): the T-SQL types the engine
// keeps, with the sizes and date precision drivers size their parameters by. The
// company database holds no such procedure; the server answers it itself.
#pragma once

#include <optional>
#include <string_view>

#include "engine/engine.h"

namespace morvesk::server::tds {

// The result set for a batch that calls the type catalogue; nullopt for any other batch.
std::optional<engine::Result> TypeCatalogReply(std::string_view batch);

}  // namespace morvesk::server::tds
