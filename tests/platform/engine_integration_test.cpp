// The data-access objects and the unit of work on a real embedded database file:
// value mapping, engine errors in the Errors collection, procedure output values,
// and commit or rollback of whole calls made late-bound on a service-shaped object.
#include <gtest/gtest.h>

#include "tests/platform/print_variant.h"

#include <filesystem>

#include "engine/engine.h"
#include "platform/ado/command.h"
#include "platform/ado/connection.h"
#include "platform/ado/engine_provider.h"
#include "platform/ado/recordset.h"
#include "platform/automation/dispatch_object.h"
#include "platform/host/global_object.h"
#include "platform/host/unit_of_work.h"

namespace morvesk {
namespace {

using automation::ComError;
using automation::Variant;
using automation::VarType;

// A company-like database file with one table, made fresh for each test.
class EngineDb : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("morvesk-platform-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    path_ = (dir_ / "company.db").string();
    CreateCompany(path_);
  }
  static void CreateCompany(const std::string& path) {
    auto db = engine::Database::Open(path);
    auto c = db->Connect();
    c->Execute(
        "CREATE TABLE t_Item (FItemID int NOT NULL PRIMARY KEY, FName varchar(80) NOT NULL, "
        "FQty decimal(28,10) NULL, FPrice float NULL, FDate datetime NULL, FFlag bit NULL)");
    c->Execute(
        "INSERT INTO t_Item VALUES (1, 'Bolt', 12.5, 0.25, '2024-01-31', 1)\n"
        "INSERT INTO t_Item VALUES (2, 'Nut', NULL, NULL, NULL, 0)\n"
        "INSERT INTO t_Item VALUES (3, 'Washer', -2, 1.5, '2024-02-29 13:45:10', NULL)");
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::shared_ptr<ado::Connection> Open() {
    return ado::Connection::Create(ado::OpenEngineSession(path_));
  }
  // The table printed canonically, one row per line, for whole-table comparisons.
  std::string Contents(const std::string& sql = "SELECT * FROM t_Item ORDER BY FItemID") {
    auto rs = Open()->Execute(sql);
    std::string out;
    for (; !rs->Eof(); rs->MoveNext()) {
      for (size_t i = 0; i < rs->FieldCount(); ++i) {
        const Variant& v = rs->FieldAt(i).Value();
        out += (i ? "|" : "") + (v.is_null() ? std::string("NULL") : v.ToString());
      }
      out += "\n";
    }
    return out;
  }

  std::filesystem::path dir_;
  std::string path_;
};

TEST_F(EngineDb, RecordsetMapsEngineValuesToAutomationTypes) {
  auto rs = ado::Recordset::Create();
  rs->Open("SELECT FItemID, FName, FQty, FPrice, FDate, FFlag FROM t_Item ORDER BY FItemID", Open(),
           ado::CursorType::kStatic, ado::LockType::kOptimistic);
  ASSERT_EQ(rs->RecordCount(), 3);
  EXPECT_EQ(rs->Fields("fitemid").Type(), ado::DataType::kInteger);
  EXPECT_EQ(rs->Fields("FName").Type(), ado::DataType::kVarChar);
  EXPECT_EQ(rs->Fields("FQty").Type(), ado::DataType::kNumeric);
  EXPECT_EQ(rs->Fields("FPrice").Type(), ado::DataType::kDouble);
  EXPECT_EQ(rs->Fields("FDate").Type(), ado::DataType::kDBTimeStamp);
  EXPECT_EQ(rs->Fields("FFlag").Type(), ado::DataType::kBoolean);

  EXPECT_EQ(rs->Fields(0).Value(), Variant(int32_t{1}));
  EXPECT_EQ(rs->Fields(1).Value(), Variant("Bolt"));
  EXPECT_EQ(rs->Fields(2).Value(), Variant(*engine::Decimal::Parse("12.5")));
  EXPECT_EQ(rs->Fields(3).Value(), Variant(0.25));
  EXPECT_EQ(rs->Fields(4).Value(), Variant(automation::MakeDate(2024, 1, 31)));
  EXPECT_EQ(rs->Fields(5).Value(), Variant(true));
  rs->MoveNext();
  EXPECT_TRUE(rs->Fields("FQty").Value().is_null());
  EXPECT_TRUE(rs->Fields("FDate").Value().is_null());
  EXPECT_EQ(rs->Fields("FFlag").Value(), Variant(false));
  rs->MoveNext();
  EXPECT_EQ(rs->Fields("FDate").Value(), Variant(automation::MakeDate(2024, 2, 29, 13, 45, 10)));

  // Detached, the record set outlives its connection with every row.
  rs->SetActiveConnection(nullptr);
  rs->MoveFirst();
  int rows = 0;
  for (; !rs->Eof(); rs->MoveNext()) ++rows;
  EXPECT_EQ(rows, 3);
}

TEST_F(EngineDb, EngineErrorsFillErrorsAndRaiseTheFirst) {
  auto c = Open();
  try {
    c->Execute("INSERT INTO t_Item (FItemID, FName) VALUES (1, 'again')");
    FAIL() << "duplicate key accepted";
  } catch (const ComError& e) {
    EXPECT_EQ(e.number, automation::kErrIntegrity);
    EXPECT_NE(e.description.find("PRIMARY KEY"), std::string::npos) << e.description;
  }
  ASSERT_FALSE(c->Errors().empty());
  EXPECT_EQ(c->Errors()[0].native_error, 2627);
  EXPECT_EQ(c->Errors()[0].sql_state, "23000");
  try {
    c->Execute("SELECT * FROM t_Missing");
    FAIL() << "missing table accepted";
  } catch (const ComError& e) {
    EXPECT_EQ(e.number, automation::kErrCommand);
  }
  EXPECT_EQ(c->Errors()[0].native_error, 208);
  // The connection stays usable and the failed insert left nothing behind.
  EXPECT_EQ(c->Execute("SELECT COUNT(*) FROM t_Item")->FieldAt(0).Value(), Variant(int32_t{3}));
  // A batch without rows gives a closed record set.
  EXPECT_FALSE(c->Execute("UPDATE t_Item SET FName = 'Bolt' WHERE FItemID = 1")->IsOpen());

  // PRINT output is listed as a warning without failing the batch; RAISERROR fails it
  // with the server's number kept as the native error.
  auto rs = c->Execute("PRINT 'checking stock'\nSELECT 1 AS n");
  EXPECT_EQ(rs->FieldAt(0).Value(), Variant(int32_t{1}));
  ASSERT_EQ(c->Errors().size(), 1u);
  EXPECT_TRUE(c->Errors()[0].is_warning);
  EXPECT_EQ(c->Errors()[0].description, "checking stock");
  try {
    c->Execute("RAISERROR('period %d is closed', 16, 1, 7)");
    FAIL() << "RAISERROR did not fail the batch";
  } catch (const ComError& e) {
    EXPECT_EQ(e.number, automation::kErrCommand);
    EXPECT_EQ(e.description, "period 7 is closed");
  }
  EXPECT_EQ(c->Errors().at(0).native_error, 50000);
}

TEST_F(EngineDb, CommandReadsBackOutputParametersOfAProcedure) {
  auto c = Open();
  c->Execute(
      "CREATE PROCEDURE GetICMaxNum @TableName varchar(50), @FInterID int OUTPUT, "
      "@Rate float = 0 OUTPUT, @Found bit = 0 OUTPUT, @Kind smallint = 0 OUTPUT AS\n"
      "SELECT @FInterID = ISNULL(MAX(FItemID), 0) + 1 FROM t_Item WHERE @TableName = 't_Item'\n"
      "SET @Rate = 0.5\n"
      "SET @Found = 1\n"
      "SET @Kind = 7\n"
      "RETURN 3");
  auto cmd = ado::Command::Create();
  cmd->SetActiveConnection(c);
  cmd->SetCommandText("GetICMaxNum");
  cmd->SetCommandType(ado::CommandType::kStoredProc);
  using ado::DataType;
  using ado::ParameterDirection;
  auto& p = cmd->Parameters();
  p.Append(cmd->CreateParameter("@TableName", DataType::kVarChar, ParameterDirection::kInput, 50,
                                "t_Item"));
  p.Append(cmd->CreateParameter("@FInterID", DataType::kInteger, ParameterDirection::kOutput, 0, 0));
  p.Append(cmd->CreateParameter("@Rate", DataType::kDouble, ParameterDirection::kOutput));
  p.Append(cmd->CreateParameter("@Found", DataType::kBoolean, ParameterDirection::kOutput));
  p.Append(cmd->CreateParameter("@Kind", DataType::kSmallInt, ParameterDirection::kInputOutput, 0,
                                int16_t{1}));
  cmd->Execute();
  EXPECT_EQ(p.Item(1)->value, Variant(int32_t{4}));
  EXPECT_EQ(p.Item(2)->value, Variant(0.5));
  EXPECT_EQ(p.Item(3)->value, Variant(true));
  EXPECT_EQ(p.Item(4)->value.ToLong(), 7);

  // A value its parameter cannot take is refused before the call, naming the parameter.
  p.Item(4)->value = Variant("seven");
  try {
    cmd->Execute();
    ADD_FAILURE() << "called with a parameter that does not convert";
  } catch (const automation::ComError& e) {
    EXPECT_EQ(c->Errors().at(0).sql_state, "22018");
    EXPECT_EQ(c->Errors().at(0).description.rfind("Parameter 5 of GetICMaxNum: ", 0), 0u)
        << c->Errors().at(0).description;
  }
}

// A service-shaped object: every public call is one unit of work through CallScope,
// binds the connection service with its description and takes the connection.
class StockService : public automation::DispatchObject<StockService> {
 public:
  std::string ErrorSource() const override { return "Test.StockService"; }
  std::shared_ptr<ado::Connection> seen_outer, seen_inner;

  static const automation::DispatchTable<StockService>& Table() {
    using automation::In;
    using automation::Ref;
    static const automation::DispatchTable<StockService> table(
        "_StockService",
        {
            // Boolean convention: message into sErrInfo, abort call, False.
            {{.name = "AddItem",
              .params = {In("sCnn", VarType::kString), In("lId", VarType::kLong),
                         In("bFail", VarType::kBoolean), Ref("sErrInfo", VarType::kString)},
              .result = VarType::kBoolean},
             [](StockService& self, std::vector<Variant>& a) {
               auto svc = host::GlobalObject::ForThread()->GetAppConnection();
               try {
                 svc->Bind(a[0].ToString());
                 auto c = svc->GetConnection();
                 c->Execute("INSERT INTO t_Item (FItemID, FName) VALUES (" + a[1].ToString() +
                            ", 'new')\nUPDATE t_Item SET FName = 'changed' WHERE FItemID = 1\n"
                            "CREATE TABLE t_Extra (x int)");
                 if (a[2].ToBool()) c->Execute("INSERT INTO t_Item (FItemID, FName) VALUES (2, 'dup')");
                 svc->SetComplete();
                 return Variant(true);
               } catch (const ComError& e) {
                 a[3] = Variant(e.description);
                 svc->SetAbort();
                 return Variant(false);
               }
               (void)self;
             }},
            // Error-raising convention without a vote: the error leaves the call.
            {{.name = "Rename", .params = {In("sCnn", VarType::kString), In("sName", VarType::kString)}},
             [](StockService&, std::vector<Variant>& a) {
               auto svc = host::GlobalObject::ForThread()->GetAppConnection();
               svc->Bind(a[0].ToString());
               svc->GetConnection()->Execute("UPDATE t_Item SET FName = '" + a[1].ToString() + "'");
               svc->GetConnection()->Execute("SELECT * FROM t_Missing");
               return Variant();
             }},
            // Calls CountWork on the same object; the nested call sees the temp table.
            {{.name = "Outer", .params = {In("sCnn", VarType::kString)}, .result = VarType::kLong},
             [](StockService& self, std::vector<Variant>& a) {
               auto svc = host::GlobalObject::ForThread()->GetAppConnection();
               svc->Bind(a[0].ToString());
               self.seen_outer = svc->GetConnection();
               self.seen_outer->Execute(
                   "SELECT FItemID INTO #Work FROM t_Item\nDELETE FROM t_Item WHERE FItemID = 3");
               return self.Call("CountWork", {a[0]});
             }},
            {{.name = "CountWork", .params = {In("sCnn", VarType::kString)}, .result = VarType::kLong},
             [](StockService& self, std::vector<Variant>& a) {
               auto svc = host::GlobalObject::ForThread()->GetAppConnection();
               svc->Bind(a[0].ToString());
               self.seen_inner = svc->GetConnection();
               return self.seen_inner->Execute("SELECT COUNT(*) FROM #Work")->FieldAt(0).Value();
             }},
        });
    return table;
  }

 protected:
  automation::Variant InvokeMember(const automation::MemberInfo& m, std::vector<Variant>& args,
                                   automation::InvokeKind kind) override {
    host::CallScope scope;
    return DispatchObject::InvokeMember(m, args, kind);
  }
};

TEST_F(EngineDb, AbortedCallLeavesTheDatabaseExactlyAsBefore) {
  const std::string before = Contents();
  auto obj = std::make_shared<StockService>();
  Variant message;
  std::vector<Variant> args{"Data Source=" + path_, int32_t{10}, true, Variant::Ref(&message)};
  EXPECT_EQ(obj->CallRef("AddItem", args), Variant(false));
  EXPECT_NE(message.ToString().find("PRIMARY KEY"), std::string::npos) << message.ToString();
  EXPECT_EQ(Contents(), before);
  EXPECT_THROW(Contents("SELECT * FROM t_Extra"), ComError);  // the DDL went back too

  // An error leaving a call without a vote rolls it back as well.
  EXPECT_THROW(obj->Call("Rename", {"Data Source=" + path_, "lost"}), ComError);
  EXPECT_EQ(Contents(), before);
}

TEST_F(EngineDb, CompletedCallKeepsItsWrites) {
  auto obj = std::make_shared<StockService>();
  Variant message("stale");
  std::vector<Variant> args{path_, int32_t{10}, false, Variant::Ref(&message)};
  EXPECT_EQ(obj->CallRef("AddItem", args), Variant(true));
  EXPECT_EQ(message, Variant("stale"));  // the message is written only on failure
  EXPECT_EQ(Contents("SELECT FItemID, FName FROM t_Item ORDER BY FItemID"),
            "1|changed\n2|Nut\n3|Washer\n10|new\n");
  EXPECT_EQ(Contents("SELECT COUNT(*) FROM t_Extra"), "0\n");
}

TEST_F(EngineDb, NestedCallSharesConnectionTempTablesAndTransaction) {
  auto obj = std::make_shared<StockService>();
  EXPECT_EQ(obj->Call("Outer", {"Data Source=" + path_}), Variant(int32_t{3}));
  EXPECT_EQ(obj->seen_outer, obj->seen_inner);
  EXPECT_EQ(Contents("SELECT FItemID FROM t_Item ORDER BY FItemID"), "1\n2\n");
  // The temporary table ended with the unit of work's connection.
  EXPECT_THROW(obj->Call("CountWork", {"Data Source=" + path_}), ComError);
}

TEST_F(EngineDb, DescriptionsNamingNoDatabaseFailAndTheObjectStaysUsable) {
  auto obj = std::make_shared<StockService>();
  for (std::string bad : {std::string(""), "Data Source=" + (dir_ / "absent.db").string()}) {
    Variant message;
    std::vector<Variant> args{bad, int32_t{10}, false, Variant::Ref(&message)};
    EXPECT_EQ(obj->CallRef("AddItem", args), Variant(false));
    EXPECT_FALSE(message.ToString().empty());
  }
  EXPECT_FALSE(std::filesystem::exists(dir_ / "absent.db"));  // never created empty

  // A second database: consecutive calls each work on their own description's file.
  std::string other = (dir_ / "other.db").string();
  CreateCompany(other);
  Variant message;
  std::vector<Variant> first{"Data Source=" + other, int32_t{20}, false, Variant::Ref(&message)};
  std::vector<Variant> second{"Data Source=" + path_, int32_t{30}, false, Variant::Ref(&message)};
  EXPECT_EQ(obj->CallRef("AddItem", first), Variant(true));
  EXPECT_EQ(obj->CallRef("AddItem", second), Variant(true));
  auto ids = [&](const std::string& file) {
    auto rs = ado::Connection::Create(ado::OpenEngineSession(file))
                  ->Execute("SELECT MAX(FItemID) FROM t_Item");
    return rs->FieldAt(0).Value();
  };
  EXPECT_EQ(ids(other), Variant(int32_t{20}));
  EXPECT_EQ(ids(path_), Variant(int32_t{30}));
}

}  // namespace
}  // namespace morvesk
