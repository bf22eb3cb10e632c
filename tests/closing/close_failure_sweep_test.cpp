// The period close fails at every one of its batches in turn, as a database error would fail it
// (the failing-session seam): each time it reports the failure, and the company file holds
// exactly what it held before. After the whole sweep, a close that is let through leaves the
// file as an uninterrupted close of a fresh company does.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "company/company.h"
#include "platform/ado/engine_provider.h"
#include "platform/ado/forwarding_session.h"
#include "platform/automation/registry.h"
#include "platform/automation/variant.h"
#include "platform/host/unit_of_work.h"
#include "services/morvesk_module.h"
#include "tests/common/company_dump.h"
#include "tests/common/failing_session.h"

namespace morvesk::closing::test {
namespace {

using automation::Variant;
using morvesk::test::DumpCompanyFile;

// The engine's session, counting the batches sent through it.
class CountingSession : public ado::ForwardingSession {
 public:
  CountingSession(std::unique_ptr<ado::ProviderSession> inner, int* count)
      : ForwardingSession(std::move(inner)), count_(count) {}
  ado::ProviderResult Execute(std::string_view text) override {
    ++*count_;
    return ForwardingSession::Execute(text);
  }

 private:
  int* count_;
};

class CloseFailureSweep : public ::testing::Test {
 protected:
  void SetUp() override {
    services::RegisterMorveskClasses();
    cal_ = automation::CreateObject("Morvesk.CalCurAmount");
  }
  void TearDown() override {
    host::SetSessionOpener(nullptr);
    for (const std::string& path : paths_) {
      for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(path + suffix);
    }
  }

  // A demo company file of its own.
  std::string Company(const std::string& name) {
    const std::string path =
        (std::filesystem::temp_directory_path() / ("morvesk-sweep-" + name + ".db")).string();
    company::CreateCompany(path, company::GenerateOptions{}, /*force=*/true);
    paths_.push_back(path);
    return path;
  }

  // The demo company's current period, 2025/3, closed as a client closes it.
  bool Close(const std::string& path, std::string& message) {
    Variant err("");
    std::vector<Variant> args{Variant("Data Source=" + path),
                              Variant(int32_t{company::kStartPeriod}),
                              Variant(int32_t{company::kStartYear}),
                              Variant("2025-03-01"),
                              Variant("2025-04-01"),
                              Variant(int32_t{0}),
                              Variant(""),
                              Variant::Ref(&err)};
    const bool ok = cal_->CallRef("CalculateInvBal_Ext", args).ToBool();
    message = err.ToString();
    return ok;
  }

  std::shared_ptr<automation::Dispatch> cal_;
  std::vector<std::string> paths_;
};

TEST_F(CloseFailureSweep, AFailureAtAnyBatchLeavesTheCompanyAsItWas) {
  // An uninterrupted close, counting its batches.
  const std::string clean = Company("clean");
  int batches = 0;
  host::SetSessionOpener([&batches](const host::ConnectionDescription& d) {
    return std::make_unique<CountingSession>(ado::OpenEngineSession(d.data_source), &batches);
  });
  std::string message;
  ASSERT_TRUE(Close(clean, message)) << message;
  host::SetSessionOpener(nullptr);
  const std::string closed = DumpCompanyFile(clean);
  ASSERT_GT(batches, 20);

  const std::string swept = Company("swept");
  const std::string before = DumpCompanyFile(swept);
  ASSERT_NE(before, closed);
  const auto start = std::chrono::steady_clock::now();
  for (int n = 1; n <= batches; ++n) {
    morvesk::test::FailSessionsOn("", n);
    const bool ok = Close(swept, message);
    host::SetSessionOpener(nullptr);
    EXPECT_FALSE(ok) << "a failure of batch " << n << " went unnoticed";
    EXPECT_NE(message.find("injected failure"), std::string::npos)
        << "batch " << n << ": " << message;
    const std::string after = DumpCompanyFile(swept);
    if (ok || after != before) {
      ADD_FAILURE() << "after a failure of batch " << n << " of " << batches
                    << " the company differs from before";
      return;
    }
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  RecordProperty("batches", batches);
  RecordProperty("sweep_seconds", std::to_string(seconds));

  ASSERT_TRUE(Close(swept, message)) << message;
  EXPECT_TRUE(DumpCompanyFile(swept) == closed)
      << "a close after the failed ones differs from an uninterrupted one";
}

}  // namespace
}  // namespace morvesk::closing::test
