// The demo company in a database file of its own per test, and StockBillReader
// called on it late-bound by name, as a client program does. Tests that need
// another state change their own copy with Run.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "company/company.h"
#include "platform/ado/recordset.h"
#include "platform/automation/registry.h"
#include "platform/automation/variant.h"
#include "services/morvesk_module.h"
#include "tests/common/company_file_fixture.h"
#include "tests/readers/record_set_text.h"

namespace morvesk::readers::test {

using automation::ComError;
using automation::MakeDate;
using automation::Variant;

class ReadersFixture : public morvesk::test::CompanyFileFixture {
 protected:
  void SetUp() override {
    OpenCompany("readers");
    company::GenerateCompany(*sql_, company::GenerateOptions{});
    services::RegisterMorveskClasses();
    reader_ = automation::CreateObject("Morvesk.StockBillReader");
  }

  void TearDown() override {
    reader_.reset();
    CompanyFileFixture::TearDown();
  }

  std::string Cnn() const { return "Data Source=" + path_; }

  // A member of the reader with the connection description as its first
  // argument.
  Variant Call(const std::string& member, std::vector<Variant> rest = {}) {
    rest.insert(rest.begin(), Variant(Cnn()));
    return reader_->Call(member, std::move(rest));
  }

  static std::shared_ptr<ado::Recordset> AsRecordset(const Variant& v) {
    return std::dynamic_pointer_cast<ado::Recordset>(v.ToObject());
  }

  // A record set's rows from the first, one line each, fields separated by '|';
  // named columns only when `columns` is given.
  static std::string Rows(const std::shared_ptr<ado::Recordset>& rs,
                          const std::vector<std::string>& columns = {}) {
    return RecordSetText(rs, columns, FieldStyle::kAsIs);
  }

  // The first column of the first row of a query on the test's own connection,
  // as text.
  std::string Scalar(const std::string& query) {
    engine::BatchResult r = sql_->Execute(query);
    if (!r.ok()) return "error: " + r.errors.front().message;
    auto sets = r.ResultSets();
    if (sets.empty() || sets.back()->rows.empty()) return "(no row)";
    std::string s = sets.back()->rows[0][0].ToString();
    if (sets.back()->rows[0][0].is_decimal() && s.find('.') != std::string::npos) {
      while (s.back() == '0') s.pop_back();
      if (s.back() == '.') s.pop_back();
    }
    return s;
  }

  std::shared_ptr<automation::Dispatch> reader_;
};

}  // namespace morvesk::readers::test
