#include "tools/morvesk/sql_odbc_runner.h"

#include <cstdio>
#include <iostream>

#include "platform/ado/odbc/odbc_columns.h"
#include "platform/host/connection_description.h"
#include "platform/host/provider_choice.h"

namespace morvesk::cli {
namespace {

using automation::Variant;
using automation::VarType;

// A value as the company file's runner shows the same stored value.
Cell CellOf(const Variant& v) {
  if (v.is_null() || v.is_empty()) return Cell::Null();
  switch (v.type()) {
    case VarType::kDecimal:
    case VarType::kCurrency:
      return Cell::Decimal(v.ToDecimal().ToString());
    case VarType::kBoolean:
      return Cell::Number(v.ToBool() ? "1" : "0");
    case VarType::kShort:
    case VarType::kLong:
    case VarType::kByte:
    case VarType::kSingle:
    case VarType::kDouble:
      return Cell::Number(v.ToString());
    case VarType::kDate: {
      const SQL_TIMESTAMP_STRUCT ts = ado::odbc::FromAutomationDate(v.ToDate());
      char text[96];
      std::snprintf(text, sizeof text, "%04d-%02u-%02u %02u:%02u:%02u.%03u", ts.year, ts.month,
                    ts.day, ts.hour, ts.minute, ts.second, ts.fraction / 1000000u);
      return Cell::Text(text);
    }
    default:
      return Cell::Text(v.ToString());
  }
}

class OdbcSqlRunner : public BatchRunner {
 public:
  OdbcSqlRunner(std::unique_ptr<ado::ProviderSession> session, Format format, bool vertical)
      : session_(std::move(session)), format_(format), vertical_(vertical) {
    if (format_ == Format::kJson) std::cout << "[";
  }
  ~OdbcSqlRunner() override {
    if (format_ == Format::kJson) std::cout << (sets_ ? "\n]\n" : "]\n");
  }

  bool Run(const company::ScriptBatch& batch) override {
    bool ok = true;
    for (int n = 0; n < batch.repeat; ++n) {
      const ado::ProviderResult r = session_->Execute(batch.text);
      for (const ado::Rowset& rs : r.rowsets) {
        Print(rs);
        if (format_ == Format::kTable) Affected(static_cast<int64_t>(rs.rows.size()));
      }
      for (const ado::ErrorRecord& e : r.errors) {
        if (e.is_warning) {
          if (format_ == Format::kTable) std::cerr << e.description << "\n";
        } else {
          std::cerr << "Msg " << e.native_error << ", SQLState " << e.sql_state << "\n"
                    << e.description << "\n";
        }
      }
      // Only the batch's last count comes through the driver.
      if (format_ == Format::kTable && r.records_affected >= 0 && r.rowsets.empty()) {
        Affected(r.records_affected);
      }
      ok = ok && !r.failed;
    }
    return ok;
  }
  bool vertical() const override { return vertical_; }
  void set_vertical(bool on) override { vertical_ = on; }

 private:
  static void Affected(int64_t n) {
    std::cerr << "(" << n << (n == 1 ? " row" : " rows") << " affected)\n";
  }

  void Print(const ado::Rowset& rs) {
    Table t;
    for (const ado::ColumnInfo& c : rs.columns) t.columns.push_back(c.name);
    for (const auto& row : rs.rows) {
      std::vector<Cell> cells;
      cells.reserve(row.size());
      for (const Variant& v : row) cells.push_back(CellOf(v));
      t.rows.push_back(std::move(cells));
    }
    PrintResultSet(std::cout, format_, vertical_, sets_++, t);
  }

  std::unique_ptr<ado::ProviderSession> session_;
  Format format_;
  bool vertical_;
  int64_t sets_ = 0;
};

}  // namespace

std::unique_ptr<BatchRunner> MakeOdbcSqlRunner(const std::string& description, Format format,
                                               bool vertical) {
  return std::make_unique<OdbcSqlRunner>(
      host::OpenProviderSession(host::ParseConnectionDescription(description)), format, vertical);
}

}  // namespace morvesk::cli
