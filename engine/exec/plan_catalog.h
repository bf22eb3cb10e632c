// The catalog as one translation saw it: every table and procedure lookup the binder
// made, with its answer. A plan made under an older catalog version still serves when
// the same lookups give the same answers now (a loop of batches that makes and drops
// its own #temp tables changes the version every time, not the tables its other
// statements read).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/bind/catalog.h"
#include "engine/exec/sqlite_catalog.h"

namespace morvesk::engine::exec {

struct CatalogLookups {
  struct Table {
    std::string name;
    std::optional<TableInfo> info;
    // The catalog's stamp of that answer: while it is the same, so is the answer.
    uint64_t stamp = 0;
  };
  struct Procedure {
    std::string name;
    std::optional<std::vector<ProcParamInfo>> params;
  };
  std::vector<Table> tables;
  std::vector<Procedure> procedures;

  // Whether `catalog` answers every recorded lookup as it was answered then. A lookup
  // found equal under another stamp takes the new one, so that it is compared once.
  bool StillHold(const SqliteCatalog& catalog);
};

// Passes lookups to `inner` and records them with their answers.
class RecordingCatalog : public Catalog {
 public:
  RecordingCatalog(const SqliteCatalog& inner, CatalogLookups& out) : inner_(inner), out_(out) {}
  std::optional<TableInfo> FindTable(std::string_view name) const override;
  std::optional<std::vector<ProcParamInfo>> FindProcedure(std::string_view name) const override;
  uint64_t version() const override { return inner_.version(); }

 private:
  const SqliteCatalog& inner_;
  CatalogLookups& out_;
};

// Whether two answers for a table describe it alike, to the last column.
bool SameTable(const TableInfo& a, const TableInfo& b);

}  // namespace morvesk::engine::exec
