// The catalog views and DB_NAME() on a database file: the name comes from the file, and a
// connection's views follow what other connections of the same file define, whether
// or not the statement that reads them was cached.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <unistd.h>

#include "engine/engine.h"
#include "engine/exec/connection_internal.h"
#include "tests/engine/scalar.h"

namespace morvesk::engine {
namespace {

using test::Scalar;

std::filesystem::path FreshFile(const std::string& stem) {
  auto dir = std::filesystem::temp_directory_path() /
             ("morvesk_catalog_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  auto p = dir / (stem + ".db");
  for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(p.string() + suffix);
  return p;
}

std::string Names(Connection& c, const std::string& query) {
  BatchResult r = c.Execute(query);
  EXPECT_TRUE(r.ok()) << (r.errors.empty() ? "" : r.errors[0].message);
  std::string out;
  for (const Result* set : r.ResultSets()) {
    for (const auto& row : set->rows) out += (out.empty() ? "" : ",") + row[0].ToString();
  }
  return out;
}

TEST(SystemCatalog, DatabaseNameIsTheFileStemAndViewsFollowOtherConnections) {
  for (bool cached : {true, false}) {
    SCOPED_TRACE(cached ? "shape cache on" : "shape cache off");
    exec::SetShapeCache(cached);
    const auto path = FreshFile(cached ? "Shop_Cached" : "Shop_Plain");
    auto db = Database::Open(path.string());
    auto reader = db->Connect();
    auto writer = db->Connect();
    const std::string name = cached ? "Shop_Cached" : "Shop_Plain";
    EXPECT_EQ(Scalar(*reader, "select db_name()").as_text(), name);

    const std::string list =
        "select TABLE_CATALOG + '.' + TABLE_NAME from INFORMATION_SCHEMA.TABLES "
        "order by TABLE_NAME";
    EXPECT_EQ(Names(*reader, list), "");
    writer->Execute("create table t_Bill (FBillNo varchar(20) not null, FAmount money null)");
    writer->Execute("create view v_Bill as select FBillNo from t_Bill");
    EXPECT_EQ(Names(*reader, list), name + ".t_Bill," + name + ".v_Bill");

    const std::string columns =
        "select c.name from sys.columns as c join sys.tables as t on t.object_id = c.object_id "
        "order by c.column_id";
    EXPECT_EQ(Names(*reader, columns), "FBillNo,FAmount");
    writer->Execute("alter table t_Bill add FNote nvarchar(40) null");
    EXPECT_EQ(Names(*reader, columns), "FBillNo,FAmount,FNote");
    writer->Execute("drop view v_Bill");
    writer->Execute("drop table t_Bill");
    EXPECT_EQ(Names(*reader, list), "");
    EXPECT_EQ(Names(*reader, columns), "");
  }
  exec::SetShapeCache(true);
}

TEST(SystemCatalog, ProcedureTextSurvivesReopeningAndSpHelpTextReadsIt) {
  const auto path = FreshFile("Texts");
  const std::string body =
      "create procedure p_Sum @a int, @b int = 2\n"
      "as\n"
      "select @a + @b as total\n";
  {
    auto db = Database::Open(path.string());
    db->Connect()->Execute(body);
  }
  auto db = Database::Open(path.string(), true);
  auto c = db->Connect();
  EXPECT_EQ(Names(*c, "exec sp_helptext 'dbo.p_Sum'"),
            "create procedure p_Sum @a int, @b int = 2,as,select @a + @b as total");
  EXPECT_EQ(Names(*c, "select name from sys.parameters order by parameter_id"), "@a,@b");
  EXPECT_EQ(Scalar(*c, "select count(*) from sys.procedures where object_id = "
                       "object_id('p_Sum', 'P')")
                .as_int(),
            1);
  BatchResult missing = c->Execute("exec sp_helptext 'p_Nothing'");
  ASSERT_EQ(missing.errors.size(), 1u);
  EXPECT_EQ(missing.errors[0].number, 15009);
  EXPECT_EQ(missing.errors[0].message,
            "The object 'p_Nothing' does not exist in database 'Texts' or is invalid for this "
            "operation.");
}

}  // namespace
}  // namespace morvesk::engine
