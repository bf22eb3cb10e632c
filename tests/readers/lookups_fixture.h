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

  // A value as text: decimals without trailing zeros (dates at midnight print as the date).
  static std::string Cell(const Variant& v) {
    std::string s = v.ToString();
    if (v.type() == VarType::kDecimal && s.find('.') != std::string::npos) {
      while (s.back() == '0') s.pop_back();
      if (s.back() == '.') s.pop_back();
    }
    return s;
  }

  // The rows from the first, one line each, the named columns (all when none are named) separated
  // by '|'. Leaves the record set at EOF.
  static std::string Rows(const std::shared_ptr<ado::Recordset>& rs,
                          const std::vector<std::string>& columns = {}) {
    if (!rs) return "(no record set)";
    if (!rs->IsOpen()) return "(closed)";
    std::string out;
    if (rs->RecordCount() == 0) return out;
    rs->MoveFirst();
    while (!rs->Eof()) {
      const size_t n = columns.empty() ? rs->FieldCount() : columns.size();
      for (size_t i = 0; i < n; ++i) {
        if (i) out += '|';
        out += Cell(columns.empty() ? rs->FieldAt(i).Value()
                                    : rs->Fields(Variant(columns[i])).Value());
      }
      out += '\n';
      rs->MoveNext();
    }
    return out;
  }

  static std::string ColumnNames(const std::shared_ptr<ado::Recordset>& rs) {
    std::string out;
    for (size_t i = 0; i < rs->FieldCount(); ++i) out += (i ? "," : "") + rs->FieldAt(i).Name();
    return out;
  }
};

}  // namespace morvesk::readers::test
