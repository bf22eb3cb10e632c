// A NUL character in the text of a view, a column default or a procedure is kept, as any
// other character of a string constant; a name holding one is refused with the server's
// error, before anything is stored.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "engine/engine.h"
#include "tests/engine/scalar.h"

namespace morvesk::engine {
namespace {

using namespace std::string_literals;
using test::Outcome;
using test::Scalar;

TEST(NulText, StoredDefinitionsKeepIt) {
  const auto path = std::filesystem::temp_directory_path() / "morvesk_nul_text.db";
  std::filesystem::remove(path);
  {
    auto db = Database::Open(path.string());
    auto c = db->Connect();
    c->Execute("create view vn as select 'a\0b' as x, len('a\0b') as n"s);
    c->Execute("create table tn (a int, b varchar(5) default 'p\0q')"s);
    c->Execute("create procedure pn as select 'r\0s' as y, 'it''s' as z"s);
    c->Execute("insert into tn (a) values (1)");
    EXPECT_EQ(Scalar(*c, "select x from vn").as_text(), "a\0b"s);
    EXPECT_EQ(Scalar(*c, "select n from vn").as_int(), 3);
    EXPECT_EQ(Scalar(*c, "select b from tn").as_text(), "p\0q"s);
    EXPECT_EQ(Scalar(*c, "exec pn").as_text(), "r\0s"s);
  }
  // Read back whole by a later session, from the file.
  auto db = Database::Open(path.string());
  auto c = db->Connect();
  EXPECT_EQ(Scalar(*c, "exec pn").as_text(), "r\0s"s);
  EXPECT_EQ(Scalar(*c, "select x from vn").as_text(), "a\0b"s);
  EXPECT_EQ(Scalar(*c, "exec sp_helptext 'pn'").as_text().find("'r\0s'"s) != std::string::npos,
            true);

  // Names: the server's 1055, and nothing created.
  for (const std::string& batch :
       {"create table [a\0b] (c int)"s, "create table t2 ([c\0d] int)"s,
        "create view [v\0w] as select 1 as one"s, "select 1 as k into [i\0j]"s}) {
    SqlError e = Outcome(*c, batch);
    EXPECT_EQ(e.number, 1055) << e.message;
    EXPECT_NE(e.message.find("\\0"), std::string::npos) << e.message;
  }
  EXPECT_EQ(Scalar(*c, "select count(*) from sys.objects where name like 't2%'").as_int(), 0);
  std::filesystem::remove(path);
}

TEST(NulText, TheStoragesOwnTablesAreNoObjects) {
  auto db = Database::Open(":memory:");
  auto c = db->Connect();
  c->Execute("create table ti (k int identity(5, 1), v int) insert into ti (v) values (1)");
  for (const std::string& batch :
       {"select * from sqlite_sequence"s, "select * from SQLITE_MASTER"s,
        "insert into sqlite_sequence values ('ti', 100)"s, "update sqlite_sequence set seq = 100"s,
        "delete from sqlite_sequence"s}) {
    SqlError e = Outcome(*c, batch);
    EXPECT_EQ(e.number, 208) << batch << ": " << e.message;
  }
  // The identity counter they hold was not touched.
  c->Execute("insert into ti (v) values (2)");
  EXPECT_EQ(Scalar(*c, "select max(k) from ti").as_int(), 6);
}

}  // namespace
}  // namespace morvesk::engine
