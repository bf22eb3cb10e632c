#include "tools/morvesk/close_checks.h"

#include <memory>

#include "platform/ado/recordset.h"
#include "platform/automation/variant.h"

namespace morvesk::cli {
namespace {

using automation::Variant;

std::shared_ptr<ado::Recordset> AsRecordset(const Variant& v) {
  if (!v.is_object()) return nullptr;
  auto rs = std::dynamic_pointer_cast<ado::Recordset>(v.ToObject());
  return rs && rs->IsOpen() ? rs : nullptr;
}

// The named columns of every row of a record set.
Table RowsOf(ado::Recordset& rs, const std::vector<const char*>& columns) {
  Table table;
  for (const char* c : columns) table.columns.push_back(c);
  if (rs.Eof() && rs.Bof()) return table;
  rs.MoveFirst();
  while (!rs.Eof()) {
    std::vector<Cell> row;
    for (const char* column : columns) {
      const Variant v = rs.Fields(Variant(column)).Value();
      row.push_back(v.is_null()      ? Cell::Null()
                    : v.is_numeric() ? Cell::Number(v.ToString())
                                     : Cell::Text(v.ToString()));
    }
    table.rows.push_back(std::move(row));
    rs.MoveNext();
  }
  return table;
}

std::string Counted(size_t n, const std::string& what) { return std::to_string(n) + " " + what; }

}  // namespace

int64_t CheckReport::findings() const {
  int64_t n = 0;
  for (const CheckOutcome& c : checks) n += c.findings;
  return n;
}

CheckReport RunCloseChecks(automation::Dispatch& cal, const std::string& cnn, const YearPeriod& p,
                           const std::string& start, const std::string& end) {
  CheckReport report;
  Variant audit = cal.Call("CheckBillAudit", {Variant(cnn), Variant(p.period), Variant(p.year),
                                              Variant(start), Variant(end)});
  if (std::shared_ptr<ado::Recordset> rs = AsRecordset(audit)) {
    Table bills = RowsOf(*rs, {"FName_CHS", "FBillNo", "FDate", "FExplanation"});
    const size_t n = bills.rows.size();
    report.checks.push_back({"CheckBillAudit", static_cast<int64_t>(n),
                             n ? Counted(n, "unaudited bill(s) in the period") : "passed"});
    if (n) report.details.push_back({"unaudited bills", std::move(bills)});
  } else {
    report.checks.push_back({"CheckBillAudit", 1, "the check could not run"});
  }

  Variant lines, err("");
  std::vector<Variant> args{Variant(cnn), Variant(p.period),    Variant(p.year),   Variant(start),
                            Variant(end), Variant::Ref(&lines), Variant::Ref(&err)};
  if (cal.CallRef("CheckBillStatus", args).ToBool()) {
    report.checks.push_back({"CheckBillStatus", 0, "passed"});
  } else if (std::shared_ptr<ado::Recordset> negative = AsRecordset(lines);
             negative && err.ToString().empty() && negative->RecordCount() > 0) {
    Table rows = RowsOf(*negative,
                        {"FItemNumber", "FItemName", "FStockName", "FBatchNo", "FAuxName", "FQty"});
    const size_t n = rows.rows.size();
    report.checks.push_back({"CheckBillStatus", static_cast<int64_t>(n),
                             Counted(n, "stock line(s) would close negative")});
    report.details.push_back({"stock lines the period would close negative", std::move(rows)});
  } else {
    const std::string message = err.ToString();
    report.checks.push_back(
        {"CheckBillStatus", 1, message.empty() ? "the check failed without a message" : message});
  }

  const std::string end_data = EndDataFinding(cal, cnn, p, start, end);
  report.checks.push_back(
      {"CheckEndData", end_data.empty() ? 0 : 1, end_data.empty() ? "passed" : end_data});
  return report;
}

void PrintCheckReport(std::ostream& out, const CheckReport& report) {
  Table overview;
  overview.columns = {"check", "findings", "result"};
  for (const CheckOutcome& c : report.checks) {
    overview.rows.push_back(
        {Cell::Text(c.check), Cell::Number(std::to_string(c.findings)), Cell::Text(c.result)});
  }
  PrintTable(out, overview);
  for (const CheckReport::Detail& d : report.details) {
    out << "\n" << d.title << ":\n";
    PrintTable(out, d.rows);
  }
}

}  // namespace morvesk::cli
