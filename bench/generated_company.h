// The benchmarks' generated companies: a company of N bill lines a period, made afresh or
// copied from the folder a previous run kept it in, so that a run can measure its own work
// alone; and the removal of a company file with its journals.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>

#include "company/company.h"
#include "engine/engine.h"

namespace morvesk::bench {

inline void RemoveDatabase(const std::string& path) {
  for (const char* suffix : {"", "-wal", "-shm", "-journal"})
    std::filesystem::remove(path + suffix);
}

// Puts a company of `lines` bill lines a period at `path`: a copy of `keep_dir`/`kept_name`
// when that exists, else a generated one, then kept there when `keep_dir` is given.
inline void PrepareCompany(const std::string& path, int64_t lines, const std::string& keep_dir,
                           const std::string& kept_name, company::ProgressFn progress = {}) {
  RemoveDatabase(path);
  const std::string kept =
      keep_dir.empty() ? std::string() : (std::filesystem::path(keep_dir) / kept_name).string();
  if (!kept.empty() && std::filesystem::exists(kept)) {
    std::filesystem::copy_file(kept, path);
    return;
  }
  company::GenerateOptions options;
  options.lines_per_period = lines;
  options.seed = 7;
  options.progress = std::move(progress);
  company::CreateCompany(path, options, /*force=*/true);
  if (kept.empty()) return;
  // Folded into one file first: the copy must not need the journal files beside it.
  engine::Database::Open(path, true).reset();
  std::filesystem::create_directories(keep_dir);
  std::filesystem::copy_file(path, kept);
}

}  // namespace morvesk::bench
