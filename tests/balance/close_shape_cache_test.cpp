// The close splices batch numbers, names and amounts into its batches as literals; the
// shape cache must not let one batch's literal types decide another's results. A generated
// company whose batch numbers and names vary in length closes to the same tables with the
// cache on and off.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "company/company.h"
#include "engine/exec/company_vfs.h"
#include "engine/exec/connection_internal.h"
#include "platform/automation/registry.h"
#include "platform/automation/variant.h"
#include "services/morvesk_module.h"

namespace morvesk::balance::test {
namespace {

// Every row of the tables a close writes, as stored, sorted: identical files print alike.
std::string Contents(const std::string& path) {
  sqlite3* db = nullptr;
  engine::exec::RegisterCompanyVfs();
  EXPECT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, engine::exec::kCompanyVfs),
            SQLITE_OK);
  std::string out;
  for (const char* table : {"t_CC_Bal", "t_CC_Stock", "t_CC_Stock_BatchNo", "T_CC_Inventory",
                            "t_SystemProfile", "T_CC_StockBillEntry"}) {
    sqlite3_stmt* st = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db, (std::string("SELECT * FROM ") + table).c_str(), -1, &st,
                                 nullptr),
              SQLITE_OK);
    std::vector<std::string> rows;
    while (sqlite3_step(st) == SQLITE_ROW) {
      std::string row = table;
      for (int i = 0; i < sqlite3_column_count(st); ++i) {
        const auto* bytes = static_cast<const unsigned char*>(sqlite3_column_blob(st, i));
        row += '|';
        for (int k = 0; k < sqlite3_column_bytes(st, i); ++k) row += static_cast<char>(bytes[k]);
      }
      rows.push_back(std::move(row));
    }
    sqlite3_finalize(st);
    std::sort(rows.begin(), rows.end());
    for (const auto& r : rows) out += r + '\n';
  }
  sqlite3_close(db);
  return out;
}

bool Close(const std::string& path, std::string& message) {
  services::RegisterMorveskClasses();
  auto obj = automation::CreateObject("Morvesk.CalCurAmount");
  automation::Variant err("");
  std::vector<automation::Variant> args{automation::Variant("Data Source=" + path),
                                        automation::Variant(int32_t{company::kStartPeriod}),
                                        automation::Variant(int32_t{company::kStartYear}),
                                        automation::Variant("2025-03-01"),
                                        automation::Variant("2025-04-01"),
                                        automation::Variant(int32_t{0}),
                                        automation::Variant(""),
                                        automation::Variant::Ref(&err)};
  bool ok = obj->CallRef("CalculateInvBal_Ext", args).ToBool();
  message = err.ToString();
  return ok;
}

TEST(CloseShapeCache, BatchNumbersAndNamesOfEveryLengthCloseAlikeCachedAndUncached) {
  const auto dir = std::filesystem::temp_directory_path();
  const std::string cached = (dir / "morvesk-close-cached.db").string();
  const std::string uncached = (dir / "morvesk-close-uncached.db").string();
  // Two companies made alike (the same seed), rather than a file copy, which would miss
  // what is still in the write-ahead log of the open database.
  for (const std::string& path : {cached, uncached}) {
    company::GenerateOptions options;
    options.lines_per_period = 3000;
    options.seed = 11;
    company::CreateCompany(path, options, true);
    auto db = engine::Database::Open(path, true);
    auto sql = db->Connect();
    // One rule for every table, so that a batch keeps its identity across tables.
    std::string text;
    for (const char* table : {"T_CC_StockBillEntry", "t_CC_Bal", "t_CC_Stock",
                              "t_CC_Stock_BatchNo", "T_CC_Inventory"}) {
      text += std::string("update ") + table +
              " set FBatchNo = FBatchNo + left('QRSTUVWXYZ', (FItemID + len(FBatchNo)) % 7)"
              " where FBatchNo <> ''\r\n";
    }
    text += "update t_ICItem set FName = FName + replicate('n', FItemID % 9)\r\n";
    text += "update t_Stock set FName = FName + replicate('s', FItemID % 5)\r\n";
    engine::BatchResult r = sql->Execute(text);
    ASSERT_TRUE(r.ok()) << r.errors.front().message;
  }

  std::string message;
  ASSERT_TRUE(Close(cached, message)) << message;
  engine::exec::SetShapeCache(false);
  const bool uncached_ok = Close(uncached, message);
  engine::exec::SetShapeCache(true);
  ASSERT_TRUE(uncached_ok) << message;

  const std::string a = Contents(cached), b = Contents(uncached);
  EXPECT_GT(a.size(), 100000u);
  EXPECT_TRUE(a == b) << "the close differs with the shape cache off";
  std::filesystem::remove(cached);
  std::filesystem::remove(uncached);
}

}  // namespace
}  // namespace morvesk::balance::test
