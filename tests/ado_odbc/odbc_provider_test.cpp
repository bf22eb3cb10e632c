// The ODBC provider against `morvesk serve` through the FreeTDS driver: the description
// picks the provider, batches bring back every result set and row count with the values the
// embedded provider gives for the same batch, procedures give back output parameters and
// their return status, the Errors collection keeps warnings, PRINT output, the server's
// numbers and SQLStates, record sets work
// attached and detached, and the unit of work is one transaction on the server.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ado/command.h"
#include "platform/ado/connection.h"
#include "platform/ado/recordset.h"
#include "platform/automation/com_error.h"
#include "platform/host/connection_description.h"
#include "platform/host/provider_choice.h"
#include "platform/host/unit_of_work.h"
#include "tests/ado_odbc/serve_process.h"

namespace morvesk::test {
namespace {

namespace fs = std::filesystem;
using ado::Connection;
using ado::DataType;
using ado::ParameterDirection;
using automation::ComError;
using automation::Variant;

class OdbcProvider : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    served_ = TempCompany("provider-served");
    local_ = TempCompany("provider-local");
    MakeDemoCompany(served_);
    MakeDemoCompany(local_);
    server_ = new ServeProcess(served_);
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
    for (const std::string& f : {served_, local_}) {
      fs::remove(f);
      fs::remove(f + "-journal");
      fs::remove(f + "-wal");
      fs::remove(f + "-shm");
    }
  }

  static std::shared_ptr<Connection> OpenServed() {
    return Connection::Create(
        host::OpenProviderSession(host::ParseConnectionDescription(server_->Description())));
  }
  static std::shared_ptr<Connection> OpenLocal() {
    return Connection::Create(
        host::OpenProviderSession(host::ParseConnectionDescription("Data Source=" + local_)));
  }

  // The number of t_ICMaxNum rows named `name`, read on a connection of its own.
  static int32_t CounterRows(const std::string& name) {
    auto c = OpenServed();
    auto rs = c->Execute("select count(*) from t_ICMaxNum where FTableName = '" + name + "'");
    return rs->FieldAt(0).Value().ToLong();
  }

  static std::string served_, local_;
  static ServeProcess* server_;
};

std::string OdbcProvider::served_;
std::string OdbcProvider::local_;
ServeProcess* OdbcProvider::server_ = nullptr;

// The server sends every text column as Unicode text; the values are the same, so the
// narrow and wide kinds of one text type count as the same type here.
DataType TextAsWide(DataType t) {
  switch (t) {
    case DataType::kChar:
      return DataType::kWChar;
    case DataType::kVarChar:
      return DataType::kVarWChar;
    case DataType::kLongVarChar:
      return DataType::kLongVarWChar;
    default:
      return t;
  }
}

std::string Show(const Variant& v) {
  if (v.is_null()) return "NULL";
  // A decimal shows every digit of its scale: 1.50 and 1.5 are told apart.
  if (v.type() == automation::VarType::kDecimal) return "14:" + v.ToDecimal().ToString();
  return std::to_string(static_cast<int>(v.type())) + ":" + v.ToString();
}

TEST_F(OdbcProvider, TheDescriptionPicksTheProviderAndNoMessageShowsThePassword) {
  const auto odbc = host::ParseConnectionDescription(
      "Driver={FreeTDS};Server=127.0.0.1;Port=1;UID=u;PWD={Se;cret-42}");
  EXPECT_TRUE(odbc.is_odbc());
  EXPECT_EQ(odbc.data_source.find("Se;cret-42"), std::string::npos) << odbc.data_source;
  EXPECT_TRUE(host::ParseConnectionDescription("DSN=company;Uid=u;Pwd=x").is_odbc());
  for (const std::string& embedded : {"Data Source=" + local_, local_, std::string(":memory:"),
                                      "Provider=x;Data Source=" + local_}) {
    const auto d = host::ParseConnectionDescription(embedded);
    EXPECT_FALSE(d.is_odbc()) << embedded;
    EXPECT_EQ(host::OpenProviderSession(d)->DataSource(),
              d.data_source == ":memory:" ? ":memory:" : fs::canonical(local_).string());
  }

  // Nobody listens on the port: the driver's reason comes back, the password does not.
  const int closed_port = FreeLoopbackPort();
  const std::string secret = "Unseen-Pw-8814";
  for (const std::string& text :
       {"Driver={FreeTDS};Server=127.0.0.1;Port=" + std::to_string(closed_port) +
            ";TDS_Version=7.4;UID=closer;PWD=" + secret,
        server_->Description(secret)}) {
    try {
      host::OpenProviderSession(host::ParseConnectionDescription(text));
      ADD_FAILURE() << "connected with a wrong port or password";
    } catch (const ComError& e) {
      EXPECT_EQ(e.number, automation::kErrFail);
      EXPECT_EQ(e.description.find(secret), std::string::npos) << e.description;
      EXPECT_NE(e.description.find("SQLState"), std::string::npos) << e.description;
    }
  }
  // A wrong password is refused by the server with its login error number.
  try {
    host::OpenProviderSession(host::ParseConnectionDescription(server_->Description(secret)));
  } catch (const ComError& e) {
    EXPECT_NE(e.description.find("18456"), std::string::npos) << e.description;
  }
  // A unit of work bound to the server works there.
  {
    host::CallScope scope;
    scope.unit().Bind(server_->Description());
    auto rs = scope.unit().Connection()->Execute("select db_name()");
    EXPECT_FALSE(rs->Eof());
  }
}

TEST_F(OdbcProvider, BatchesGiveTheEmbeddedProvidersResultSetsCountsAndValues) {
  const std::vector<std::string> batches = {
      // several result sets and row counts in one batch
      "create table #t (id int, amount decimal(28,10), price money, d datetime, name "
      "nvarchar(20), code varchar(10), ok bit, f float, big bigint, small smallint)\n"
      "insert into #t values (1, 12345678901234.0123456789, 922337203685477.5807, "
      "'2025-03-31 13:45:10.123', N'仓库甲', 'A-1', 1, 0.1, 4000000000, -7)\n"
      "insert into #t values (2, -0.5, -1.25, '1900-01-01', N'乙', '', 0, -2.5e10, -3, 12)\n"
      "insert into #t values (3, null, null, null, null, null, null, null, null, null)\n"
      "select * from #t order by id\n"
      "update #t set amount = amount * 2 where id < 3\n"
      "select count(*) as n, sum(amount) as total from #t\n"
      "delete from #t where id = 99",
      // the company's own tables: decimals of the balances, dates of the calendar, text
      "select top 5 * from t_CC_Bal order by FInterID\n"
      "select * from t_PeriodDate where FYear = 2025 order by FPeriod\n"
      "select FCategory, FKey, FValue from t_SystemProfile order by FCategory, FKey",
      "select FItemID, FNumber, FName from t_ICItem order by FItemID",
  };
  auto served = OpenServed();
  auto local = OpenLocal();
  for (const std::string& batch : batches) {
    const ado::ProviderResult want = local->Session().Execute(batch);
    const ado::ProviderResult got = served->Session().Execute(batch);
    ASSERT_FALSE(want.failed) << batch;
    ASSERT_FALSE(got.failed) << (got.errors.empty() ? "" : got.errors[0].description) << "\n"
                             << batch;
    EXPECT_EQ(got.records_affected, want.records_affected) << batch;
    ASSERT_EQ(got.rowsets.size(), want.rowsets.size()) << batch;
    for (size_t s = 0; s < want.rowsets.size(); ++s) {
      const ado::Rowset& w = want.rowsets[s];
      const ado::Rowset& g = got.rowsets[s];
      ASSERT_EQ(g.columns.size(), w.columns.size()) << batch;
      for (size_t c = 0; c < w.columns.size(); ++c) {
        EXPECT_EQ(g.columns[c].name, w.columns[c].name);
        EXPECT_EQ(TextAsWide(g.columns[c].type), TextAsWide(w.columns[c].type))
            << w.columns[c].name;
        if (w.columns[c].type == DataType::kNumeric) {
          EXPECT_EQ(g.columns[c].precision, w.columns[c].precision) << w.columns[c].name;
          EXPECT_EQ(g.columns[c].scale, w.columns[c].scale) << w.columns[c].name;
        }
      }
      ASSERT_EQ(g.rows.size(), w.rows.size()) << batch;
      for (size_t r = 0; r < w.rows.size(); ++r) {
        for (size_t c = 0; c < w.columns.size(); ++c) {
          EXPECT_EQ(Show(g.rows[r][c]), Show(w.rows[r][c]))
              << "set " << s << " row " << r << " column " << w.columns[c].name;
        }
      }
    }
  }
  // The decimal arrives exact (not through a double) and the text as written.
  auto rs = served->Execute(
      "select cast(12345678901234.0123456789 as decimal(28,10)) * 2, N'仓库甲', "
      "cast('2025-03-31 13:45:10.123' as datetime)");
  EXPECT_EQ(rs->FieldAt(0).Value().ToDecimal().ToString(), "24691357802468.0246913578");
  EXPECT_EQ(rs->FieldAt(1).Value().ToString(), "仓库甲");
  EXPECT_EQ(automation::FormatDate(rs->FieldAt(2).Value().ToDate()), "2025-03-31 13:45:10");

  // Text travels as UTF-16 through the driver manager, so a description that leaves the
  // driver's client character set at its default reads and writes Chinese text as well.
  std::string plain = server_->Description();
  plain.erase(plain.find(";ClientCharset=UTF-8"));
  auto narrow_client =
      Connection::Create(host::OpenProviderSession(host::ParseConnectionDescription(plain)));
  narrow_client->Execute(
      "create table #n (name nvarchar(20), code varchar(20))\n"
      "insert into #n values (N'期末结账', 'A-7')");
  auto back = narrow_client->Execute("select name + N'甲', code from #n");
  EXPECT_EQ(back->FieldAt(0).Value().ToString(), "期末结账甲");
  EXPECT_EQ(back->FieldAt(1).Value().ToString(), "A-7");
}

TEST_F(OdbcProvider, ProceduresGiveBackOutputParametersByPositionAndTheirStatus) {
  auto cnn = OpenServed();
  auto call = [&](const std::string& table) {
    auto cmd = ado::Command::Create();
    cmd->SetActiveConnection(cnn);
    cmd->SetCommandType(ado::CommandType::kStoredProc);
    cmd->SetCommandText("GetICMaxNum");
    cmd->Parameters().Append(
        cmd->CreateParameter("RETURN_VALUE", DataType::kInteger, ParameterDirection::kReturnValue));
    // Named unlike the procedure's parameters: they bind by position.
    cmd->Parameters().Append(cmd->CreateParameter("first", DataType::kVarChar,
                                                  ParameterDirection::kInput, 50, Variant(table)));
    cmd->Parameters().Append(
        cmd->CreateParameter("second", DataType::kInteger, ParameterDirection::kOutput));
    cmd->Execute();
    EXPECT_EQ(cmd->Parameters().Item(Variant(int32_t{0}))->value.ToLong(), 0);
    return cmd->Parameters().Item(Variant(int32_t{2}))->value;
  };
  const Variant first = call("odbc_counter");
  const Variant second = call("odbc_counter");
  const Variant other = call("odbc_other_counter");
  ASSERT_FALSE(first.is_null());
  EXPECT_EQ(first.type(), automation::VarType::kLong);
  EXPECT_EQ(second.ToLong(), first.ToLong() + 1);
  EXPECT_EQ(other.ToLong(), 1);
  auto rs = cnn->Execute("select FMaxNum from t_ICMaxNum where FTableName = 'odbc_counter'");
  EXPECT_EQ(rs->FieldAt(0).Value().ToLong(), second.ToLong());

  // Input-output text, a decimal and a date in a procedure of the session's own; the
  // embedded engine gives the same values for the same call.
  const std::string scale =
      "create procedure #Scale @Amount decimal(28,10) output, @Name nvarchar(30) output, @n int, "
      "@Day datetime output as begin set @Amount = @Amount / @n set @Name = @Name + N'甲' "
      "set @Day = dateadd(ms, 10, @Day + @n) return @n + 1 end";
  auto local = OpenLocal();
  std::vector<std::vector<ado::ProviderParam>> calls;
  for (const auto& c : {cnn, local}) {
    c->Execute(scale);
    std::vector<ado::ProviderParam> params = {
        {"", DataType::kInteger, ParameterDirection::kReturnValue, 0, 0, 0, Variant()},
        {"", DataType::kNumeric, ParameterDirection::kInputOutput, 0, 28, 10,
         Variant(*base::Decimal::Parse("1234567890.0123456789"))},
        {"", DataType::kVarWChar, ParameterDirection::kInputOutput, 30, 0, 0, Variant("仓库")},
        {"", DataType::kInteger, ParameterDirection::kInput, 0, 0, 0, Variant(int32_t{3})},
        {"", DataType::kDBTimeStamp, ParameterDirection::kInputOutput, 0, 0, 0,
         Variant(automation::MakeDate(2025, 2, 27, 23, 59, 59))},
    };
    const ado::ProviderResult r = c->CallProcedure("#Scale", params);
    EXPECT_EQ(r.return_status, 4);
    calls.push_back(params);
  }
  const std::vector<ado::ProviderParam>& got = calls[0];
  EXPECT_EQ(got[0].value.ToLong(), 4);
  EXPECT_EQ(got[1].value.ToDecimal().ToString(), "411522630.0041152263");
  EXPECT_EQ(got[2].value.ToString(), "仓库甲");
  EXPECT_EQ(automation::FormatDate(got[4].value.ToDate()), "2025-03-02 23:59:59");
  for (size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(Show(got[i].value), Show(calls[1][i].value)) << "parameter " << i;
  }
}

TEST_F(OdbcProvider, ErrorsKeepWarningsPrintOutputNumbersAndSqlStates) {
  auto served = OpenServed();
  auto local = OpenLocal();
  // PRINT and a low-severity RAISERROR are warnings: the batch goes on and returns its rows.
  const std::string talk =
      "print N'期末结账开始'\nraiserror('step %d done', 10, 1, 3)\nselect 1 as x";
  auto rs = served->Execute(talk);
  ASSERT_TRUE(rs->IsOpen());
  EXPECT_EQ(rs->FieldAt(0).Value().ToLong(), 1);
  ASSERT_EQ(served->Errors().size(), 2u);
  for (const ado::ErrorRecord& e : served->Errors()) {
    EXPECT_TRUE(e.is_warning);
    EXPECT_EQ(e.sql_state.substr(0, 2), "01") << e.sql_state;
  }
  // PRINT is message 0; RAISERROR with its own text is 50000, as on the embedded engine.
  // The driver ranks the records by their severity, so they are found by their text.
  local->Execute(talk);
  ASSERT_EQ(local->Errors().size(), 2u);
  auto number_of = [](const std::shared_ptr<Connection>& c, const std::string& text) {
    for (const ado::ErrorRecord& e : c->Errors())
      if (e.description == text) return e.native_error;
    ADD_FAILURE() << "no message " << text;
    return -1;
  };
  EXPECT_EQ(number_of(served, "期末结账开始"), 0);
  EXPECT_EQ(number_of(served, "step 3 done"), 50000);
  EXPECT_EQ(number_of(local, "期末结账开始"), 0);
  EXPECT_EQ(number_of(local, "step 3 done"), 50000);

  // Errors are raised with the server's text and keep its number and a SQLState of their
  // class; the same batch on the embedded engine gives the same number.
  const std::vector<std::string> failing = {
      "select * from no_such_table",
      "select 1 / 0",
      "insert into t_ICMaxNum (FTableName, FMaxNum) values ('dup', 1)\n"
      "insert into t_ICMaxNum (FTableName, FMaxNum) values ('dup', 2)",
      "raiserror('stopped by the check', 16, 1)",
  };
  for (const std::string& batch : failing) {
    int32_t want_native = 0, got_native = 0, got_number = 0, want_number = 0;
    std::string want_text, got_text, got_state;
    try {
      local->Execute(batch);
    } catch (const ComError& e) {
      want_native = local->Errors().back().native_error;
      want_number = e.number;
      want_text = e.description;
    }
    try {
      served->Execute(batch);
    } catch (const ComError& e) {
      ASSERT_FALSE(served->Errors().empty());
      const ado::ErrorRecord& first = served->Errors().back();
      got_native = first.native_error;
      got_state = first.sql_state;
      got_number = e.number;
      got_text = e.description;
      EXPECT_EQ(e.source, "Morvesk.ODBC");
    }
    EXPECT_NE(want_native, 0) << batch;
    EXPECT_EQ(got_native, want_native) << batch;
    EXPECT_EQ(got_number, want_number) << batch;
    EXPECT_EQ(got_text, want_text) << batch;
    EXPECT_EQ(got_state.size(), 5u) << batch;
    EXPECT_NE(got_state.substr(0, 2), "01") << batch;
    if (want_native == 2627) {
      EXPECT_EQ(got_state, "23000");
    }
  }
}

TEST_F(OdbcProvider, RecordSetsWorkAttachedAndDetached) {
  auto cnn = OpenServed();
  auto rs = ado::Recordset::Create();
  rs->Open(
      "select FYear, FPeriod, FStartDate from t_PeriodDate where FYear = 2025 order by "
      "FPeriod\nselect count(*) from t_PeriodDate where FYear = 2025",
      cnn);
  ASSERT_TRUE(rs->IsOpen());
  const int32_t rows = rs->RecordCount();
  EXPECT_GE(rows, 12);
  rs->SetActiveConnection(nullptr);
  cnn->Close();
  // Detached: every row stays, navigation and filters work without the connection.
  rs->MoveLast();
  EXPECT_EQ(rs->Fields(Variant("FPeriod")).Value().ToLong(), rows);
  rs->SetFilter(Variant("FPeriod >= 11"));
  EXPECT_EQ(rs->RecordCount(), rows - 10);
  rs->SetFilter(Variant(""));
  rs->MoveFirst();
  EXPECT_EQ(rs->Fields(Variant("FPeriod")).Value().ToLong(), 1);
  auto count = rs->NextRecordset();
  ASSERT_TRUE(count->IsOpen());
  EXPECT_EQ(count->FieldAt(0).Value().ToLong(), rows);

  // Attached: a record set still on its connection runs the next batch on the same session.
  auto attached = OpenServed();
  attached->Execute("create table #seen (n int)\ninsert into #seen values (5)");
  auto again = ado::Recordset::Create();
  again->Open("select n from #seen", attached);
  EXPECT_EQ(again->ActiveConnection(), attached);
  EXPECT_EQ(again->FieldAt(0).Value().ToLong(), 5);
}

TEST_F(OdbcProvider, TheUnitOfWorkIsOneTransactionOnTheServer) {
  auto insert = [](const std::string& name) {
    host::UnitOfWork::Current()->Connection()->Execute(
        "insert into t_ICMaxNum (FTableName, FMaxNum) values ('" + name + "', 1)");
  };
  {
    host::CallScope scope;
    scope.unit().Bind(server_->Description());
    insert("odbc_uow_abort_a");
    insert("odbc_uow_abort_b");
    // Not visible outside before the end of the call.
    scope.unit().SetAbort();
  }
  EXPECT_EQ(CounterRows("odbc_uow_abort_a"), 0);
  EXPECT_EQ(CounterRows("odbc_uow_abort_b"), 0);
  {
    host::CallScope scope;
    scope.unit().Bind(server_->Description());
    insert("odbc_uow_commit_a");
    insert("odbc_uow_commit_b");
    scope.unit().SetComplete();
  }
  EXPECT_EQ(CounterRows("odbc_uow_commit_a"), 1);
  EXPECT_EQ(CounterRows("odbc_uow_commit_b"), 1);
  // An error leaving the call without a vote rolls its work back.
  try {
    host::CallScope scope;
    scope.unit().Bind(server_->Description());
    insert("odbc_uow_failed");
    host::UnitOfWork::Current()->Connection()->Execute("select * from no_such_table");
  } catch (const ComError&) {
  }
  EXPECT_EQ(CounterRows("odbc_uow_failed"), 0);
  // A batch-aborting error rolls the server's transaction back in the middle of the call:
  // what follows in the call must not be committed on its own, whatever the vote.
  {
    host::CallScope scope;
    scope.unit().Bind(server_->Description());
    insert("odbc_uow_lost_a");
    EXPECT_THROW(
        host::UnitOfWork::Current()->Connection()->Execute("select cast('not a number' as int)"),
        ComError);
    insert("odbc_uow_lost_b");
    scope.unit().SetComplete();
  }
  EXPECT_EQ(CounterRows("odbc_uow_lost_a"), 0);
  EXPECT_EQ(CounterRows("odbc_uow_lost_b"), 0);
}

TEST_F(OdbcProvider, AnEditedRowIsSavedOnlyWhenTheServerTellsTheTablesKey) {
  auto cnn = OpenServed();
  // The key comes from the server's catalog (sys.indexes): the row is saved by it.
  cnn->Execute("insert into t_ICMaxNum (FTableName, FMaxNum) values ('odbc_edit', 5)");
  const std::optional<ado::TableShape> shape = cnn->Session().DescribeTable("t_ICMaxNum");
  ASSERT_TRUE(shape.has_value());
  EXPECT_EQ(shape->key, std::vector<std::string>{"FTableName"});
  auto rs = ado::Recordset::Create();
  rs->Open("select FTableName, FMaxNum from t_ICMaxNum where FTableName = 'odbc_edit'", cnn,
           ado::CursorType::kKeyset, ado::LockType::kOptimistic);
  rs->Fields(Variant("FMaxNum")).SetValue(Variant(int32_t{9}));
  rs->Update();
  auto max_num = [&](const std::string& sql) {
    return cnn->Execute(sql)->FieldAt(0).Value().ToLong();
  };
  EXPECT_EQ(max_num("select FMaxNum from t_ICMaxNum where FTableName = 'odbc_edit'"), 9);
  EXPECT_EQ(max_num("select count(*) from t_ICMaxNum where FMaxNum = 9"), 1);

  // A table without a key: the save is refused, never guessed.
  cnn->Execute("create table odbc_nokey (a int, b int) insert into odbc_nokey values (1, 5)");
  auto loose = ado::Recordset::Create();
  loose->Open("select a, b from odbc_nokey", cnn, ado::CursorType::kKeyset,
              ado::LockType::kOptimistic);
  loose->Fields(Variant("b")).SetValue(Variant(int32_t{6}));
  try {
    loose->Update();
    ADD_FAILURE() << "saved a row of a table whose key is unknown";
  } catch (const ComError& e) {
    EXPECT_EQ(e.number, ado::kErrNotUpdatable) << e.description;
  }
  EXPECT_EQ(max_num("select b from odbc_nokey"), 5);
  // A view is told as one, with its columns, and a table the server lacks is not described.
  const std::optional<ado::TableShape> view = cnn->Session().DescribeTable("ICStockBill");
  ASSERT_TRUE(view.has_value());
  EXPECT_TRUE(view->is_view);
  EXPECT_FALSE(view->columns.empty());
  EXPECT_FALSE(cnn->Session().DescribeTable("no_such_table").has_value());
}

}  // namespace
}  // namespace morvesk::test
