// The maintenance jobs of CalCurAmount on generated companies, which carry the damage the jobs
// repair (company/sized_damage.h). Each job is called by name as a maintenance tool calls it,
// in the order a person repairing a company would run them: the batch check first (it stops
// at the bills with a repeated line number), those lines renumbered through UpdateBatch, the
// check again (now it repairs the batch datings), then the stock on hand, balance and cost
// price jobs; the repairing ones twice, to show that a second run finds nothing left to do.
// Per job: what it found to do, and its time.
//
//   bench_maintenance [--keep DIR] [lines ...]      default: 1000000
//     With --keep, each generated company is kept in DIR and copied from there on later runs.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench/generated_company.h"
#include "company/company.h"
#include "engine/engine.h"
#include "platform/automation/com_error.h"
#include "platform/automation/registry.h"
#include "platform/automation/variant.h"
#include "services/morvesk_module.h"

namespace {

using morvesk::bench::RemoveDatabase;

using Clock = std::chrono::steady_clock;
using morvesk::automation::Variant;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

std::string Scalar(morvesk::engine::Connection& c, const std::string& sql) {
  morvesk::engine::BatchResult r = c.Execute(sql);
  auto sets = r.ResultSets();
  if (!r.ok() || sets.empty() || sets.front()->rows.empty()) return "?";
  return sets.front()->rows.front()[0].ToString();
}

// Renumbers every line that repeats its bill's line number after the bill's
// last one.
Variant RenumberingStatements(morvesk::engine::Connection& c) {
  morvesk::engine::BatchResult r = c.Execute(
      "select e.FEntryID, e.FID from T_CC_StockBillEntry e inner join (select FID, FIndex, "
      "min(FEntryID) k from T_CC_StockBillEntry group by FID, FIndex having count(*) > 1) d on "
      "d.FID = e.FID and d.FIndex = e.FIndex and e.FEntryID <> d.k");
  morvesk::automation::VariantArray list;
  for (const auto* rs : r.ResultSets()) {
    for (const auto& row : rs->rows) {
      list.push_back(
          Variant("update T_CC_StockBillEntry set FIndex = (select max(FIndex) + 1 from "
                  "T_CC_StockBillEntry where FID = " +
                  row[1].ToString() + ") where FEntryID = " + row[0].ToString()));
    }
  }
  return Variant(list);
}

struct Step {
  std::string job;
  std::vector<Variant> args;  // after the connection description
  std::string found;          // what the job had to do, counted before it ran
};

}  // namespace

int main(int argc, char** argv) {
  std::vector<int64_t> sizes;
  std::string keep;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--keep" && i + 1 < argc) {
      keep = argv[++i];
    } else {
      sizes.push_back(std::atoll(argv[i]));
    }
  }
  if (sizes.empty()) sizes = {1000000};

  morvesk::services::RegisterMorveskClasses();
  const auto dir = std::filesystem::temp_directory_path();
  for (int64_t lines : sizes) {
    const std::string name = "morvesk-bench-maintenance-" + std::to_string(lines);
    const std::string path = (dir / (name + "-" + std::to_string(::getpid()) + ".db")).string();
    auto start = Clock::now();
    morvesk::bench::PrepareCompany(
        path, lines, keep, name + ".db", [](const morvesk::company::Progress& p) {
          static std::string last;
          if (p.stage != last)
            std::fprintf(stderr, "generating: %s\n", std::string(p.stage).c_str());
          last = std::string(p.stage);
        });
    std::printf("company of %lld lines per period: ready in %.1f s\n",
                static_cast<long long>(lines), Seconds(start));
    std::printf("%-22s %-44s %10s  %s\n", "job", "found before", "seconds", "outcome");

    auto db = morvesk::engine::Database::Open(path, true);
    auto c = db->Connect();
    auto cal = morvesk::automation::CreateObject("Morvesk.CalCurAmount");
    const std::string conflicts =
        "select count(*) from (select fitemid,FBatchNO,count(*) as s1 From (select "
        "FItemID,FBatchNO,FKfDate,fkfperiod from vw_cc_Receive where fkfperiod>0 group by "
        "FItemID,FBatchNO,FKfDate,fkfperiod Union select FItemID,FBatchNO,FKfDate,fkfperiod from "
        "vw_cc_Send where fkfperiod>0 group by FItemID,FBatchNO,FKfDate,fkfperiod) t group by "
        "FItemID,FBatchNO) t where s1>1";
    auto run = [&](Step step) {
      std::vector<Variant> args{Variant("Data Source=" + path)};
      for (Variant& v : step.args) args.push_back(std::move(v));
      std::string outcome = "ok";
      const auto t = Clock::now();
      try {
        Variant r = cal->Call(step.job, args);
        if (r.type() == morvesk::automation::VarType::kBoolean && !r.ToBool()) outcome = "False";
      } catch (const morvesk::automation::ComError& e) {
        outcome = "raised: " + e.description;
      }
      std::printf("%-22s %-44s %10.3f  %s\n", step.job.c_str(), step.found.c_str(), Seconds(t),
                  outcome.c_str());
      std::fflush(stdout);
    };

    const std::string duplicates =
        Scalar(*c,
               "select count(*) from (select FID from T_CC_StockBillEntry group by FID, FIndex "
               "having count(*) > 1) d");
    const std::string abnormal = "select count(*) from T_CC_Inventory where FQty = 0 and FBal <> 0";
    const std::string unpriced = "select count(*) from t_ICItem where isnull(FCostPrice,0)<=0";
    run({"AutoCheckBatchNo", {}, duplicates + " repeated line numbers"});
    Variant renumber = RenumberingStatements(*c);
    run({"UpdateBatch", {renumber}, std::to_string(renumber.ToArray().size()) + " statements"});
    run({"AutoCheckBatchNo", {}, Scalar(*c, conflicts) + " batches with two datings"});
    run({"AutoCheckBatchNo", {}, Scalar(*c, conflicts) + " batches with two datings"});
    run({"HandleAbnormalAmt", {}, Scalar(*c, abnormal) + " rows with an amount, no quantity"});
    run({"HandleAbnormalAmt", {}, Scalar(*c, abnormal) + " rows with an amount, no quantity"});
    run({"UpdateStock", {}, Scalar(*c, "select count(*) from T_CC_Inventory") + " rows on hand"});
    // The rebuild keeps every group with an amount, amounts without quantity included.
    run({"UpdateInventory",
         {},
         Scalar(*c, "select count(*) from T_CC_Inventory") + " rows on hand"});
    run({"AutoUpdateCostPrice", {}, Scalar(*c, unpriced) + " items without a price"});
    run({"AutoUpdateCostPrice", {}, Scalar(*c, unpriced) + " items without a price"});
    run({"DeleteBal78",
         {},
         Scalar(*c,
                "select count(*) from t_CC_Bal b inner join t_ICItem i on i.FItemID = "
                "b.FItemID and i.FTrack = 78 where FYear = 2025 and FPeriod = 3") +
             " lot rows of the period"});
    run({"UpdateComeGoBalance", {}, "-"});
    run({"UpdateSettleAcctBal",
         {Variant(int32_t{2025}), Variant(int32_t{3})},
         Scalar(*c, "select count(*) from t_RP_BankBill") + " bank bills"});
    cal.reset();
    c.reset();
    db.reset();
    RemoveDatabase(path);
  }
  return 0;
}
