// morvesk maintain: runs one of CalCurAmount's maintenance jobs by name,
// late-bound as a maintenance tool would, and reports the rows it touched in
// the tables the job writes (inserted, deleted and changed rows, compared by
// each table's key before and after).
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/engine.h"
#include "platform/automation/com_error.h"
#include "platform/automation/registry.h"
#include "services/morvesk_module.h"
#include "tools/morvesk/cli_args.h"
#include "tools/morvesk/commands.h"
#include "tools/morvesk/company_hold.h"
#include "tools/morvesk/result_format.h"
#include "tools/morvesk/text_list_arg.h"

namespace morvesk::cli {
namespace {

using automation::Variant;

// A table a job writes: the columns that identify a row and those whose change
// counts. `range` names a whole-number key column read in slices, for tables of
// millions of rows.
struct Watched {
  const char* table;
  std::vector<const char*> key;
  std::vector<const char*> values;
  const char* range = nullptr;
};

const Watched kInventory{"T_CC_Inventory",
                         {"FItemID", "FStockID", "FBatchNo", "FAuxPropID"},
                         {"FQty", "FSecQty", "FBal", "FKFDate", "FKFPeriod", "FPeriodDate"}};
const Watched kBalances{
    "t_CC_Bal",
    {"FIdentity"},
    {"FYear", "FPeriod", "FStockID", "FItemID", "FBatchNo", "FInterID", "FBegQty", "FBegBal",
     "FReceive", "FDebit", "FSend", "FCredit", "FEndQty", "FEndBal"},
    "FIdentity"};
const Watched kBillLines{"T_CC_StockBillEntry",
                         {"FEntryID"},
                         {"FID", "FIndex", "FItemID", "FBatchNo", "FQty", "FAmount", "FCostAmount",
                          "FKFDate", "FKFPeriod", "FPeriodDate"},
                         "FEntryID"};
const Watched kItems{"t_ICItem", {"FItemID"}, {"FCostPrice"}};
const Watched kSettlement{"t_SettleAcctBalance",
                          {"FYear", "FPeriod", "FAcctID"},
                          {"FBegBal", "FDebit", "FCredit", "FEndBal"}};

struct Job {
  const char* name;
  const char* args;  // as shown in the list
  const char* summary;
  std::vector<const Watched*> watched;  // UpdateBatch: those its statements name
};

const std::vector<Job>& Jobs() {
  static const std::vector<Job> jobs = {
      {"UpdateInventory",
       "",
       "rebuild stock on hand from openings and audited bills",
       {&kInventory}},
      {"HandleAbnormalAmt", "", "spread amounts left on rows without quantity", {&kInventory}},
      {"DeleteBal78", "", "clear this period's figures of lot-by-lot (78) items", {&kBalances}},
      {"UpdateComeGoBalance", "", "refresh the partners' current-account balances", {}},
      {"UpdateSettleAcctBal",
       "[YEAR PERIOD]",
       "rebuild settlement balances (default: this period)",
       {&kSettlement}},
      {"AutoCheckBatchNo",
       "",
       "find repeated line numbers, else unify batch datings",
       {&kBillLines}},
      {"UpdateBatch",
       "@FILE|JSON",
       "run statements in chunks (@FILE one a line, or JSON)",
       {&kInventory, &kBalances, &kBillLines, &kItems, &kSettlement}},
      {"UpdateStock", "", "check and repair the quantities on hand", {&kInventory}},
      {"AutoUpdateCostPrice",
       "[ITEM]",
       "price items without a reference cost (or ITEM)",
       {&kItems}},
  };
  return jobs;
}

std::string JobList() {
  std::string out = "jobs:\n";
  for (const Job& j : Jobs()) {
    std::string head = std::string("  ") + j.name + (*j.args ? " " : "") + j.args;
    head.resize(std::max<size_t>(head.size() + 1, 36), ' ');
    out += head + j.summary + "\n";
  }
  return out;
}

std::string Help() {
  return "usage: morvesk maintain --db FILE [--no-report] [--wait] JOB [ARG...]\n"
         "\n"
         "Runs a maintenance job of Morvesk.CalCurAmount on the company database FILE, as\n"
         "one unit of work: a job that fails leaves the database as it was. Then reports,\n"
         "per table the job writes, the rows inserted, deleted and changed.\n"
         "\n"
         "  --db FILE      the company database\n"
         "  --no-report    skip reading the tables before and after (faster on large files)\n"
         "  --wait         when another close, reopen or maintain runs on the company,\n"
         "                 wait for it to end instead of giving up\n"
         "\n" +
         JobList() +
         "\n"
         "UpdateBatch takes @- for standard input; its report covers the tables above\n"
         "that its statements name.\n"
         "Progress of the reading and of the job is shown on standard error.\n"
         "Exit code 1 when the job raises an error, 2 for a usage mistake.\n";
}

// Progress on standard error, as `morvesk init` shows it: rewritten in place on
// a terminal, one line per stage otherwise.
class Progress {
 public:
  Progress() : tty_(isatty(STDERR_FILENO) != 0) {}
  void Stage(const std::string& stage, const std::string& detail = "") {
    std::string line = "morvesk maintain: " + stage + (detail.empty() ? "" : " " + detail);
    if (tty_) {
      std::cerr << "\r" << line << "\033[K" << std::flush;
    } else if (stage != last_) {
      std::cerr << line << "\n";
    }
    last_ = stage;
  }
  void Done() {
    if (tty_ && !last_.empty()) std::cerr << "\r\033[K" << std::flush;
    last_.clear();
  }

 private:
  bool tty_;
  std::string last_;
};

// A table's rows: key hash -> hash of the watched values.
using Fingerprint = std::unordered_map<uint64_t, uint64_t>;

uint64_t Hash(const std::string& s) {
  uint64_t h = 1469598103934665603ull;  // FNV-1a
  for (unsigned char c : s) {
    h ^= c;
    h *= 1099511628211ull;
  }
  return h;
}

class TableReader {
 public:
  TableReader(engine::Connection& conn, Progress& progress) : conn_(conn), progress_(progress) {}

  Fingerprint Read(const Watched& w, const std::string& when) {
    Fingerprint rows;
    std::string columns;
    for (const char* c : w.key) columns += std::string(columns.empty() ? "" : ",") + c;
    for (const char* c : w.values) columns += std::string(",") + c;
    const std::string select = "select " + columns + " from " + w.table;
    if (!w.range) {
      Add(rows, w, select);
      return rows;
    }
    engine::BatchResult bounds = Check(conn_.Execute(std::string("select min(") + w.range +
                                                     "), max(" + w.range + ") from " + w.table));
    const auto& b = bounds.ResultSets().front()->rows.front();
    if (b[0].is_null()) return rows;
    const int64_t lo = std::stoll(b[0].ToString()), hi = std::stoll(b[1].ToString());
    constexpr int64_t kSlice = 200000;
    for (int64_t from = lo; from <= hi; from += kSlice) {
      progress_.Stage("reading " + std::string(w.table) + " " + when,
                      "(" + std::to_string(rows.size()) + " rows)");
      Add(rows, w,
          select + " where " + w.range + ">=" + std::to_string(from) + " and " + w.range + "<" +
              std::to_string(from + kSlice));
    }
    return rows;
  }

 private:
  static engine::BatchResult Check(engine::BatchResult r) {
    if (!r.ok()) throw engine::SqlError(r.errors.front());
    return r;
  }
  void Add(Fingerprint& rows, const Watched& w, const std::string& query) {
    engine::BatchResult r = Check(conn_.Execute(query));
    for (const engine::Result* rs : r.ResultSets()) {
      for (const auto& row : rs->rows) {
        std::string key, values;
        for (size_t i = 0; i < row.size(); ++i) {
          std::string& to = i < w.key.size() ? key : values;
          to += row[i].is_null() ? std::string("\x01") : row[i].ToString();
          to += '\x1f';
        }
        rows[Hash(key)] = Hash(values);
      }
    }
  }

  engine::Connection& conn_;
  Progress& progress_;
};

struct Change {
  size_t before = 0, after = 0, inserted = 0, deleted = 0, changed = 0;
};

Change Compare(const Fingerprint& before, const Fingerprint& after) {
  Change c{before.size(), after.size()};
  for (const auto& [key, value] : after) {
    auto it = before.find(key);
    if (it == before.end()) {
      ++c.inserted;
    } else if (it->second != value) {
      ++c.changed;
    }
  }
  for (const auto& [key, value] : before) {
    if (!after.count(key)) ++c.deleted;
  }
  return c;
}

bool Mentions(const Variant& statements, const char* table) {
  std::string name(table);
  std::transform(name.begin(), name.end(), name.begin(), ::tolower);
  for (const Variant& s : statements.ToArray()) {
    std::string text = s.ToString();
    std::transform(text.begin(), text.end(), text.begin(), ::tolower);
    if (text.find(name) != std::string::npos) return true;
  }
  return false;
}

std::optional<int32_t> WholeNumber(const std::string& text) {
  if (text.empty() || text.size() > 10) return std::nullopt;
  size_t i = text[0] == '-' ? 1 : 0;
  if (i == text.size()) return std::nullopt;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
  }
  return static_cast<int32_t>(std::stol(text));
}

int32_t InventoryOption(engine::Connection& conn, const char* key) {
  engine::BatchResult r = conn.Execute(
      std::string("select FValue from t_SystemProfile where FCategory='IC' and FKey='") + key +
      "'");
  auto sets = r.ResultSets();
  if (!r.ok() || sets.empty() || sets.front()->rows.empty()) {
    throw UsageError(std::string("the company has no IC ") + key + "; give YEAR and PERIOD");
  }
  auto v = WholeNumber(sets.front()->rows.front()[0].ToString());
  if (!v) throw UsageError(std::string("IC ") + key + " is not a whole number");
  return *v;
}

// The job's arguments after the connection description.
std::vector<Variant> JobArguments(const Job& job, const std::vector<std::string>& given,
                                  engine::Connection& conn) {
  const std::string name = job.name;
  auto whole = [](const std::string& text, const char* what) {
    auto v = WholeNumber(text);
    if (!v) throw UsageError(std::string(what) + " must be a whole number, not '" + text + "'");
    return Variant(*v);
  };
  if (name == "UpdateSettleAcctBal") {
    if (given.size() == 2) return {whole(given[0], "YEAR"), whole(given[1], "PERIOD")};
    if (given.empty()) {
      return {Variant(InventoryOption(conn, "CurrentYear")),
              Variant(InventoryOption(conn, "CurrentPeriod"))};
    }
    throw UsageError("UpdateSettleAcctBal takes YEAR and PERIOD, or nothing");
  }
  if (name == "AutoUpdateCostPrice") {
    if (given.empty()) return {};
    if (given.size() == 1) return {whole(given[0], "ITEM")};
    throw UsageError("AutoUpdateCostPrice takes at most one ITEM");
  }
  if (name == "UpdateBatch") {
    if (given.size() != 1 || !IsTextListArgument(given[0])) {
      throw UsageError("UpdateBatch takes one statement list: @FILE or a JSON array");
    }
    return {TextListArgument(given[0])};
  }
  if (!given.empty()) throw UsageError(name + " takes no arguments");
  return {};
}

std::string Seconds(double s) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.2f s", s);
  return buf;
}

}  // namespace

int RunMaintain(int argc, char** argv, int first) {
  try {
    Args args(argc, argv, first, ArgSpec{{"--db"}, {"--no-report", "--wait"}, true});
    if (args.help()) {
      std::cout << Help();
      return kExitOk;
    }
    const std::string db = args.Require("--db");
    RequireCompanyFile(db, "maintain");
    if (args.positionals().empty()) throw UsageError("JOB is required\n" + JobList());
    const std::string job_name = args.positionals()[0];
    auto job = std::find_if(Jobs().begin(), Jobs().end(),
                            [&](const Job& j) { return job_name == j.name; });
    if (job == Jobs().end()) {
      throw UsageError("unknown job '" + job_name + "'\n" + JobList());
    }
    const std::vector<std::string> given(args.positionals().begin() + 1, args.positionals().end());

    // Held from the first read to the report: no close or return moves the period between the
    // reading before and the reading after, nor under a job that reads the current period.
    std::unique_ptr<CompanyHold> hold;
    try {
      hold = CompanyHold::Take(db, "maintain", args.Has("--wait"));
    } catch (const CompanyBusy& e) {
      std::cerr << "morvesk maintain: " << e.what()
                << "; the job did not run (--wait waits for it to end)\n";
      return kExitFailed;
    }
    Progress progress;
    std::shared_ptr<engine::Database> database;
    std::unique_ptr<engine::Connection> conn;
    try {
      database = engine::Database::Open(db, true);
      conn = database->Connect();
    } catch (const engine::SqlError& e) {
      std::cerr << "morvesk maintain: " << e.message << "\n";
      return kExitFailed;
    }
    std::vector<Variant> call_args{Variant(CompanyDescription(db))};
    for (Variant& v : JobArguments(*job, given, *conn)) call_args.push_back(std::move(v));

    std::vector<const Watched*> watched;
    if (!args.Has("--no-report")) {
      for (const Watched* w : job->watched) {
        if (job_name != "UpdateBatch" || Mentions(call_args[1], w->table)) watched.push_back(w);
      }
    }
    try {
      TableReader reader(*conn, progress);
      std::vector<Fingerprint> before;
      for (const Watched* w : watched) before.push_back(reader.Read(*w, "before"));

      services::RegisterMorveskClasses();
      std::shared_ptr<automation::Dispatch> cal = automation::CreateObject("Morvesk.CalCurAmount");
      progress.Stage("running " + job_name);
      const auto start = std::chrono::steady_clock::now();
      Variant result;
      try {
        result = cal->Call(job_name, call_args);
      } catch (const automation::ComError& e) {
        progress.Done();
        char number[16];
        std::snprintf(number, sizeof number, "0x%08X", static_cast<uint32_t>(e.number));
        std::cerr << "morvesk maintain: " << job_name << " failed: error " << number;
        if (!e.source.empty()) std::cerr << " (" << e.source << ")";
        std::cerr << ": " << e.description << "\nThe database is as it was before the job.\n";
        return kExitFailed;
      }
      const double took =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

      Table report;
      report.columns = {"table", "rows before", "rows after", "inserted", "deleted", "changed"};
      for (size_t i = 0; i < watched.size(); ++i) {
        Change c = Compare(before[i], reader.Read(*watched[i], "after"));
        auto n = [](size_t v) { return Cell::Number(std::to_string(v)); };
        report.rows.push_back({Cell::Text(watched[i]->table), n(c.before), n(c.after),
                               n(c.inserted), n(c.deleted), n(c.changed)});
      }
      progress.Done();
      std::cout << job_name << ": done in " << Seconds(took);
      if (result.type() == automation::VarType::kBoolean) {
        std::cout << ", result " << (result.ToBool() ? "True" : "False");
      } else if (!result.is_empty()) {
        std::cout << ", result " << result.ToString();
      }
      std::cout << "\n";
      if (!report.rows.empty()) PrintTable(std::cout, report);
      return kExitOk;
    } catch (const engine::SqlError& e) {
      progress.Done();
      std::cerr << "morvesk maintain: " << e.message << "\n";
      return kExitFailed;
    }
  } catch (const UsageError& e) {
    std::cerr << "morvesk maintain: " << e.what() << "\n(see 'morvesk maintain --help')\n";
    return kExitUsage;
  }
}

}  // namespace morvesk::cli
