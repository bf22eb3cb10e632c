// The demo company in a database file of its own per test, and the three service classes called on
// it late-bound by name, as a client program does. Record sets are compared whole, printed one row
// per line; a test that needs another state changes its own copy with Run.
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
using automation::Variant;
using automation::VarType;

class LookupsFixture : public morvesk::test::CompanyFileFixture {
 protected:
  void SetUp() override {
    OpenCompany("lookups");
    company::GenerateCompany(*sql_, company::GenerateOptions{});
    services::RegisterMorveskClasses();
  }

  std::string Cnn() const { return "Data Source=" + path_; }

  // `member` of a new object of `progid`, with the connection description first.
  Variant Call(const char* progid, const std::string& member, std::vector<Variant> rest = {}) {
    rest.insert(rest.begin(), Variant(Cnn()));
    return automation::CreateObject(progid)->Call(member, std::move(rest));
  }

  // The error a call raises; a call that returns fails the test.
  ComError Raised(const char* progid, const std::string& member, std::vector<Variant> rest) {
    try {
      Call(progid, member, std::move(rest));
    } catch (const ComError& e) {
      return e;
    }
    ADD_FAILURE() << member << " returned instead of raising";
    return ComError(0, "", "");
  }

  static std::shared_ptr<ado::Recordset> AsRecordset(const Variant& v) {
    return std::dynamic_pointer_cast<ado::Recordset>(v.ToObject());
  }

  // The rows from the first, decimals without trailing zeros; the named columns only when
  // `columns` is given. Leaves the record set at EOF.
  static std::string Rows(const std::shared_ptr<ado::Recordset>& rs,
                          const std::vector<std::string>& columns = {}) {
    return RecordSetText(rs, columns, FieldStyle::kCanonical);
  }

  static std::string ColumnNames(const std::shared_ptr<ado::Recordset>& rs) {
    std::string out;
    for (size_t i = 0; i < rs->FieldCount(); ++i) out += (i ? "," : "") + rs->FieldAt(i).Name();
    return out;
  }
};

}  // namespace morvesk::readers::test
