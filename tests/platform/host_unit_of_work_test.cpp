// The unit of work as service classes use it: each public call wrapped in a
// CallScope, the connection service bound with the call's description. A scripted
// provider shows the transaction decisions; engine_integration_test.cpp shows them on
// a real database.
#include <gtest/gtest.h>

#include "tests/platform/print_variant.h"

#include <stdexcept>

#include "platform/automation/dispatch_object.h"
#include "platform/host/app_connection.h"
#include "platform/host/global_object.h"
#include "platform/host/unit_of_work.h"
#include "tests/platform/fake_provider.h"

namespace morvesk::host {
namespace {

using automation::ComError;
using automation::Variant;
using automation::VarType;

// Install a scripted provider for the test's lifetime.
struct ScriptedHost {
  std::shared_ptr<testing::FakeLog> log = std::make_shared<testing::FakeLog>();
  std::vector<std::string> sources;
  ScriptedHost() {
    SetSessionOpener([this](const ConnectionDescription& d) {
      sources.push_back(d.data_source);
      return std::make_unique<testing::FakeSession>(log, d.data_source);
    });
  }
  ~ScriptedHost() { SetSessionOpener(nullptr); }
};

int32_t ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const ComError& e) {
    return e.number;
  }
  return 0;
}

TEST(ConnectionDescription, AcceptedFormsAndClearRejections) {
  EXPECT_EQ(ParseConnectionDescription("Data Source=company.db").data_source, "company.db");
  EXPECT_EQ(ParseConnectionDescription(" provider=x; DATA SOURCE = '/srv/a;b.db' ;User ID=u")
                .data_source,
            "/srv/a;b.db");
  EXPECT_EQ(ParseConnectionDescription("  /tmp/c.db ").data_source, "/tmp/c.db");
  EXPECT_EQ(ParseConnectionDescription(":memory:").data_source, ":memory:");
  for (const char* bad : {"", "   ", "Provider=x;User ID=u", "Data Source=", "Data Source=a;junk"}) {
    try {
      ParseConnectionDescription(bad);
      ADD_FAILURE() << "accepted \"" << bad << "\"";
    } catch (const ComError& e) {
      EXPECT_EQ(e.source, "Halvane.AppConnection");
      EXPECT_FALSE(e.description.empty());
    }
  }
}

TEST(UnitOfWork, TheLastVoteDecidesAndWithoutOneTheWayTheCallEnds) {
  ScriptedHost host;
  auto service = GlobalObject::ForThread()->GetAppConnection();
  auto run = [&](const std::function<void()>& body) {
    CallScope scope;
    service->Bind("Data Source=a.db");
    service->GetConnection()->Execute("UPDATE t SET x = 1");
    body();
  };
  run([&] { service->SetComplete(); });
  EXPECT_EQ(host.log->commits, 1);
  run([&] { service->SetAbort(); });
  EXPECT_EQ(host.log->rollbacks, 1);
  run([] {});
  EXPECT_EQ(host.log->commits, 2);
  EXPECT_THROW(run([] { throw ComError(automation::kErrFail, "op", "failed"); }), ComError);
  EXPECT_EQ(host.log->rollbacks, 2);
  run([&] {
    service->SetAbort();
    service->SetComplete();
  });
  EXPECT_EQ(host.log->commits, 3);
  // Completion made first, then a failure: what was done is kept.
  EXPECT_THROW(run([&] {
                 service->SetComplete();
                 throw std::runtime_error("late failure");
               }),
               std::runtime_error);
  EXPECT_EQ(host.log->commits, 4);
  EXPECT_EQ(host.log->begins, 6);
  EXPECT_EQ(host.log->opened, 6);  // one connection per unit of work
  EXPECT_EQ(UnitOfWork::Current(), nullptr);
}

TEST(UnitOfWork, NestedCallsShareTheConnectionAndACallWithoutDatabaseWorkOpensNone) {
  ScriptedHost host;
  auto service = GlobalObject::ForThread()->GetAppConnection();
  {
    CallScope outer;
    EXPECT_TRUE(outer.is_top_level());
    service->Bind("Data Source=a.db");
    auto c1 = service->GetConnection();
    {
      CallScope inner;
      EXPECT_FALSE(inner.is_top_level());
      service->Bind("Data Source=a.db");
      EXPECT_EQ(service->GetConnection(), c1);
      // A nested call on another database cannot join this one's transaction.
      EXPECT_EQ(ErrorOf([&] { service->Bind("Data Source=b.db"); }), automation::kErrFail);
      service->SetAbort();
    }
    EXPECT_EQ(host.log->rollbacks, 0);  // only the top-level call ends the unit of work
    EXPECT_EQ(outer.unit().vote(), Vote::kAbort);
  }
  EXPECT_EQ(host.log->rollbacks, 1);
  EXPECT_EQ(host.log->opened, 1);
  {
    CallScope only_reads_mode;
    service->Bind("Data Source=a.db");
  }
  EXPECT_EQ(host.log->opened, 1);
}

TEST(UnitOfWork, BadDescriptionsFailAndTheServiceStaysUsable) {
  ScriptedHost host;
  auto service = GlobalObject::ForThread()->GetAppConnection();
  EXPECT_EQ(ErrorOf([&] { service->Bind("Data Source=a.db"); }), automation::kErrFail);
  {
    CallScope scope;
    EXPECT_EQ(ErrorOf([&] { service->GetConnection(); }), automation::kErrFail);
    EXPECT_EQ(ErrorOf([&] { service->Bind(""); }), automation::kErrFail);
  }
  {
    CallScope scope;
    service->Bind("b.db");
    service->GetConnection();
  }
  {
    CallScope scope;
    service->Bind("Data Source=c.db");
    service->GetConnection();
  }
  EXPECT_EQ(host.sources, (std::vector<std::string>{"b.db", "c.db"}));
}

TEST(UnitOfWork, ProviderFailureOnOpenReachesTheCallerAndEndsCleanly) {
  SetSessionOpener([](const ConnectionDescription& d) -> std::unique_ptr<ado::ProviderSession> {
    throw ComError(automation::kErrFail, "provider", "cannot reach " + d.data_source);
  });
  auto service = GlobalObject::ForThread()->GetAppConnection();
  try {
    CallScope scope;
    service->Bind("Data Source=down.db");
    service->GetConnection();
    FAIL() << "no error";
  } catch (const ComError& e) {
    EXPECT_EQ(e.description, "cannot reach down.db");
  }
  SetSessionOpener(nullptr);
  EXPECT_EQ(UnitOfWork::Current(), nullptr);
}

TEST(Session, LanguageComesFromTheThreadSettingTheEnvironmentOrTheBase) {
  auto service = GlobalObject::ForThread()->GetAppConnection();
  unsetenv("MORVESK_LANG");
  SetUserLanguage("");
  EXPECT_EQ(service->GetSession()->LanguageID(), "CHS");
  setenv("MORVESK_LANG", "ENG", 1);
  EXPECT_EQ(service->Call("GetSession").ToObject()->Get("LanguageID"), Variant("ENG"));
  SetUserLanguage("CHT");
  EXPECT_EQ(service->GetSession()->LanguageID(), "CHT");
  SetUserLanguage("");
  unsetenv("MORVESK_LANG");
}

}  // namespace
}  // namespace morvesk::host
