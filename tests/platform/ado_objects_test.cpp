// Data-access objects over a scripted provider: cursor behaviour, fields, filters,
// detaching, the Errors collection and command parameters, independent of the engine.
#include <gtest/gtest.h>

#include "tests/platform/print_variant.h"

#include "platform/ado/command.h"
#include "platform/ado/connection.h"
#include "platform/ado/recordset.h"
#include "tests/platform/fake_provider.h"

namespace morvesk::ado {
namespace {

using automation::ComError;
using automation::Variant;
using testing::FakeLog;
using testing::FakeSession;

constexpr char kStocks[] = "SELECT FItemID, FName, FQty FROM t_Stock";

struct Fixture {
  std::shared_ptr<FakeLog> log = std::make_shared<FakeLog>();
  std::shared_ptr<FakeSession> session = std::make_shared<FakeSession>(log);
  std::shared_ptr<Connection> conn;

  Fixture() {
    ProviderResult stocks;
    stocks.rowsets.push_back(testing::MakeRowset(
        {{"FItemID", DataType::kInteger, 4, 0, 0},
         {"FName", DataType::kVarChar, 80, 0, 0},
         {"FQty", DataType::kNumeric, 19, 28, 10}},
        {{int32_t{1}, "Bolt", *engine::Decimal::Parse("10.5")},
         {int32_t{2}, "Nut", Variant::Null()},
         {int32_t{3}, "Washer", *engine::Decimal::Parse("-2")},
         {int32_t{4}, "Bolt, long", *engine::Decimal::Parse("7")}}));
    session->answers[kStocks] = stocks;
    conn = Connection::Create(session);
  }
};

int32_t ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const ComError& e) {
    return e.number;
  }
  return 0;
}

std::string Names(Recordset& rs) {
  std::string out;
  for (rs.MoveFirst(); !rs.Eof(); rs.MoveNext()) out += rs.Fields("FName").Value().ToString() + ";";
  return out;
}

TEST(Recordset, NavigatesAClientSideCursor) {
  Fixture f;
  auto rs = Recordset::Create();
  rs->Open(kStocks, f.conn, CursorType::kStatic, LockType::kOptimistic);
  ASSERT_TRUE(rs->IsOpen());
  EXPECT_EQ(rs->RecordCount(), 4);
  EXPECT_FALSE(rs->Bof());
  EXPECT_EQ(rs->AbsolutePosition(), 1);
  EXPECT_EQ(rs->Fields(0).Value(), Variant(int32_t{1}));
  rs->MoveLast();
  EXPECT_EQ(rs->Fields("fname").Value().ToString(), "Bolt, long");
  rs->MoveNext();
  EXPECT_TRUE(rs->Eof());
  EXPECT_EQ(ErrorOf([&] { rs->MoveNext(); }), automation::kErrNoCurrentRecord);
  EXPECT_EQ(ErrorOf([&] { rs->Fields(0).Value(); }), automation::kErrNoCurrentRecord);
  rs->MovePrevious();
  EXPECT_EQ(rs->Fields(0).Value(), Variant(int32_t{4}));
  rs->MoveFirst();
  rs->MovePrevious();
  EXPECT_TRUE(rs->Bof());
  EXPECT_EQ(Names(*rs), "Bolt;Nut;Washer;Bolt, long;");
  rs->Close();
  EXPECT_EQ(ErrorOf([&] { rs->Eof(); }), automation::kErrObjectClosed);
}

TEST(Recordset, FieldsByPositionOrNameWithTypesAndClientEdits) {
  Fixture f;
  auto rs = f.conn->Execute(kStocks);
  EXPECT_EQ(rs->FieldCount(), 3u);
  EXPECT_EQ(rs->Fields("FQTY").Name(), "FQty");
  EXPECT_EQ(rs->Fields(2).Type(), DataType::kNumeric);
  EXPECT_EQ(rs->Fields(2).Value().type(), automation::VarType::kDecimal);
  EXPECT_EQ(ErrorOf([&] { rs->Fields("FPrice"); }), automation::kErrItemNotFound);
  EXPECT_EQ(ErrorOf([&] { rs->Fields(3); }), automation::kErrItemNotFound);
  EXPECT_EQ(ErrorOf([&] { rs->Fields(-1); }), automation::kErrItemNotFound);
  rs->MoveNext();
  EXPECT_TRUE(rs->Fields("FQty").Value().is_null());
  rs->Fields("FQty").SetValue(Variant(int32_t{5}));
  rs->MoveFirst();
  rs->MoveNext();
  EXPECT_EQ(rs->Fields(2).Value(), Variant(int32_t{5}));
  // Edits stay on the client: nothing was sent but the one query.
  EXPECT_EQ(f.log->batches.size(), 1u);
}

TEST(Recordset, DetachedRecordSetKeepsEveryRow) {
  Fixture f;
  auto rs = Recordset::Create();
  rs->SetCursorLocation(CursorLocation::kClient);
  rs->Open(kStocks, f.conn, CursorType::kStatic, LockType::kOptimistic);
  rs->SetActiveConnection(nullptr);
  f.conn->Close();
  f.conn.reset();
  EXPECT_EQ(rs->ActiveConnection(), nullptr);
  EXPECT_EQ(rs->RecordCount(), 4);
  EXPECT_EQ(Names(*rs), "Bolt;Nut;Washer;Bolt, long;");
}

TEST(Recordset, FilterSelectsRowsAndClears) {
  Fixture f;
  auto rs = f.conn->Execute(kStocks);
  rs->SetFilter(Variant("FName LIKE 'bolt*'"));
  EXPECT_EQ(rs->RecordCount(), 2);
  EXPECT_EQ(Names(*rs), "Bolt;Bolt, long;");
  rs->SetFilter(Variant("FQty > 0 AND FItemID <> 1 OR FName = 'Nut'"));
  EXPECT_EQ(Names(*rs), "Nut;Bolt, long;");
  rs->SetFilter(Variant("FQty = Null"));
  EXPECT_EQ(Names(*rs), "Nut;");
  rs->SetFilter(Variant("FName = 'nut  '"));  // text compares ignore case and trailing blanks
  EXPECT_EQ(rs->RecordCount(), 1);
  rs->SetFilter(Variant(int32_t{0}));
  EXPECT_EQ(rs->RecordCount(), 4);
  rs->SetFilter(Variant(""));
  EXPECT_EQ(rs->Filter(), Variant(""));
  EXPECT_EQ(ErrorOf([&] { rs->SetFilter(Variant("FPrice = 1")); }), automation::kErrBadArgument);
  EXPECT_EQ(ErrorOf([&] { rs->SetFilter(Variant("FQty ~ 1")); }), automation::kErrBadArgument);
  EXPECT_EQ(ErrorOf([&] { rs->SetFilter(Variant("FName = 'open")); }), automation::kErrBadArgument);
}

TEST(Recordset, LateBoundMembersReachFieldsAndCursor) {
  Fixture f;
  std::shared_ptr<automation::Dispatch> rs = f.conn->Call("Execute", {kStocks}).ToObject();
  ASSERT_TRUE(rs);
  EXPECT_EQ(rs->Get("RecordCount"), Variant(int32_t{4}));
  std::string seen;
  while (!rs->Get("eof").ToBool()) {
    auto field = rs->Get("Fields", {"FName"}).ToObject();
    seen += field->Get("Value").ToString() + ";";
    rs->Call("MoveNext");
  }
  EXPECT_EQ(seen, "Bolt;Nut;Washer;Bolt, long;");
  rs->Call("MoveFirst");
  auto fields = rs->Get("Fields").ToObject();
  EXPECT_EQ(fields->Get("Count"), Variant(int32_t{3}));
  auto first = fields->Call("Item", {0}).ToObject();
  EXPECT_EQ(first->Get("Name"), Variant("FItemID"));
  EXPECT_EQ(first->Get("Type"), Variant(int32_t{3}));
  first->Put("Value", 77);
  EXPECT_EQ(rs->Get("Fields", {0}).ToObject()->Get("Value"), Variant(int32_t{77}));
  rs->Put("ActiveConnection", Variant::Nothing());
  EXPECT_TRUE(rs->Get("ActiveConnection").is_nothing());
  EXPECT_EQ(rs->Get("RecordCount"), Variant(int32_t{4}));
}

TEST(Connection, ErrorsListEveryMessageAndTheFirstErrorIsRaised) {
  Fixture f;
  ProviderResult failing;
  failing.errors.push_back({static_cast<int32_t>(0x80040E14), "checking", "fake", 0, "01000", true});
  failing.errors.push_back({automation::kErrIntegrity,
                            "Violation of PRIMARY KEY constraint 'PK_t_Stock'.", "fake", 2627,
                            "23000", false});
  failing.errors.push_back({automation::kErrCommand, "second", "fake", 50000, "42000", false});
  failing.failed = true;
  f.session->answers["INSERT t_Stock VALUES (1)"] = failing;
  try {
    f.conn->Execute("INSERT t_Stock VALUES (1)");
    FAIL() << "no error raised";
  } catch (const ComError& e) {
    EXPECT_EQ(e.number, automation::kErrIntegrity);
    EXPECT_EQ(e.description, "Violation of PRIMARY KEY constraint 'PK_t_Stock'.");
  }
  ASSERT_EQ(f.conn->Errors().size(), 3u);
  EXPECT_EQ(f.conn->Errors()[1].native_error, 2627);
  EXPECT_EQ(f.conn->Errors()[1].sql_state, "23000");

  auto errors = f.conn->Get("Errors").ToObject();
  EXPECT_EQ(errors->Get("Count"), Variant(int32_t{3}));
  auto second = errors->Call("Item", {1}).ToObject();
  EXPECT_EQ(second->Get("Number"), Variant(automation::kErrIntegrity));
  EXPECT_EQ(second->Get("NativeError"), Variant(int32_t{2627}));

  // Warnings alone do not raise, but stay listed; the next command clears the list.
  ProviderResult warned;
  warned.errors.push_back({automation::kErrCommand, "only a warning", "fake", 0, "01000", true});
  f.session->answers["PRINT 'x'"] = warned;
  auto rs = f.conn->Execute("PRINT 'x'");
  EXPECT_FALSE(rs->IsOpen());
  ASSERT_EQ(f.conn->Errors().size(), 1u);
  EXPECT_EQ(f.conn->Errors()[0].description, "only a warning");
  f.conn->Execute(kStocks);
  EXPECT_TRUE(f.conn->Errors().empty());
  f.conn->SetCommandTimeout(0);
  EXPECT_EQ(f.conn->Get("CommandTimeout"), Variant(int32_t{0}));
  f.conn->Close();
  EXPECT_EQ(ErrorOf([&] { f.conn->Execute(kStocks); }), automation::kErrObjectClosed);
}

TEST(Command, StoredProcedureParametersGoByPositionAndOutputsComeBack) {
  Fixture f;
  std::vector<ProviderParam> seen;
  f.session->procedures["GetICMaxNum"] = [&](std::vector<ProviderParam>& p) {
    seen = p;
    p[1].value = Variant(int32_t{1001});
    ProviderResult r;
    r.return_status = 0;
    return r;
  };
  auto cmd = Command::Create();
  cmd->SetActiveConnection(f.conn);
  cmd->SetCommandText("GetICMaxNum");
  cmd->SetCommandType(CommandType::kStoredProc);
  cmd->Parameters().Append(cmd->CreateParameter("@TableName", DataType::kVarChar,
                                                ParameterDirection::kInput, 50, "t_ICItem"));
  cmd->Parameters().Append(
      cmd->CreateParameter("@FInterID", DataType::kInteger, ParameterDirection::kOutput, 0, 0));
  auto rs = cmd->Execute();
  EXPECT_FALSE(rs->IsOpen());
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].value, Variant("t_ICItem"));
  EXPECT_EQ(seen[0].size, 50);
  EXPECT_EQ(seen[1].direction, ParameterDirection::kOutput);
  EXPECT_EQ(cmd->Parameters().Item(1)->value, Variant(int32_t{1001}));
  EXPECT_EQ(cmd->Parameters().Item("@tablename")->value, Variant("t_ICItem"));

  // The same through late binding, as a service operation would write it.
  auto late = Command::Create();
  late->Put("ActiveConnection", f.conn);
  late->Put("CommandText", "GetICMaxNum");
  late->Put("CommandType", 4);
  auto params = late->Get("Parameters").ToObject();
  params->Call("Append", {late->Call("CreateParameter", {"@TableName", 200, 1, 50, "t_X"})});
  params->Call("Append", {late->Call("CreateParameter", {"@FInterID", 3, 2, 0, 0})});
  late->Call("Execute");
  EXPECT_EQ(params->Call("Item", {1}).ToObject()->Get("Value"), Variant(int32_t{1001}));

  auto missing = Command::Create();
  missing->SetActiveConnection(f.conn);
  missing->SetCommandText("NoSuchProc");
  missing->SetCommandType(CommandType::kStoredProc);
  EXPECT_EQ(ErrorOf([&] { missing->Execute(); }), automation::kErrCommand);
  EXPECT_EQ(f.conn->Errors().at(0).native_error, 2812);
  auto unbound = Command::Create();
  unbound->SetCommandText("GetICMaxNum");
  EXPECT_EQ(ErrorOf([&] { unbound->Execute(); }), automation::kErrNoConnection);
}

}  // namespace
}  // namespace morvesk::ado
