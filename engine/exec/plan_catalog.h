// The catalog as one translation saw it: every table and procedure lookup the binder
// made, with its answer. A plan made under an older catalog version still serves when
// the same lookups give the same answers now (a loop of batches that makes and drops
// its own #temp tables changes the version every time, not the tables its other
// statements read).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/bind/catalog.h"

namespace morvesk::engine::exec {

struct CatalogLookups {
  struct Table {
    std::string name;
    std::optional<TableInfo> info;
  };
  struct Procedure {
    std::string name;
    std::optional<std::vector<ProcParamInfo>> params;
  };
  std::vector<Table> tables;
  std::vector<Procedure> procedures;

  // Whether `catalog` answers every recorded lookup as it was answered then.
  bool StillHold(const Catalog& catalog) const;
};

// Passes lookups to `inner` and records them with their answers.
class RecordingCatalog : public Catalog {
 public:
  RecordingCatalog(const Catalog& inner, CatalogLookups& out) : inner_(inner), out_(out) {}
  std::optional<TableInfo> FindTable(std::string_view name) const override;
  std::optional<std::vector<ProcParamInfo>> FindProcedure(std::string_view name) const override;
  uint64_t version() const override { return inner_.version(); }

 private:
  const Catalog& inner_;
  CatalogLookups& out_;
};

}  // namespace morvesk::engine::exec
