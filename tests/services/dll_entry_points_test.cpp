// libmorvesk.so as a host loads it: dlopen, DllRegisterServer into a registry file of the
// test's own, DllGetClassObject, objects created by name from the registered library, a
// late-bound TransMode, the unload test and DllUnregisterServer.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>

#include "platform/automation/registry.h"
#include "platform/automation/registry_store.h"
#include "platform/automation/server.h"
#include "services/cal_cur_amount.h"
#include "services/ic_bal_reader.h"
#include "services/stock_bill_reader.h"
#include "services/morvesk_module.h"

namespace morvesk::services {
namespace {

namespace fs = std::filesystem;
using automation::ClassRegistry;

TEST(ServicesDll, RegistersCreatesByNameAndHandsOutWorkingObjects) {
  const fs::path library = fs::path(MORVESK_BINARY_DIR) / "services" / "libmorvesk.so";
  ASSERT_TRUE(fs::exists(library)) << library << " is not built (target morvesk)";
  const fs::path store_path =
      fs::temp_directory_path() / ("morvesk_services_registry_" + std::to_string(::getpid()));
  fs::remove(store_path);
  ::setenv("MORVESK_REGISTRY", store_path.c_str(), 1);

  auto server = automation::LoadServer(library.string());
  ASSERT_EQ(server->RegisterServer(), automation::kOk);

  automation::RegistryStore store(store_path.string());
  auto stored = store.FindClass("Morvesk.CalCurAmount");
  ASSERT_TRUE(stored.has_value());
  EXPECT_EQ(stored->clsid, kCalCurAmountClsid);
  EXPECT_EQ(stored->libid, kTypeLibId);
  EXPECT_EQ(fs::canonical(stored->library_path), fs::canonical(library));
  ASSERT_EQ(store.TypeLibs().size(), 1u);
  EXPECT_EQ(store.TypeLibs()[0].info.major_version, 5);
  EXPECT_EQ(store.TypeLibs()[0].info.minor_version, 8);
  EXPECT_EQ(store.TypeLibs()[0].info.lcid, 1033u);
  EXPECT_EQ(store.TypeLibs()[0].info.name, "Morvesk");
  auto reader = store.FindClass("{B40D2F49-B0AE-4516-B99B-0F2609B8F1DF}");
  ASSERT_TRUE(reader.has_value());
  EXPECT_EQ(reader->prog_id, "Morvesk.ICbalReader");
  EXPECT_EQ(reader->iid, kICbalReaderIid);
  EXPECT_EQ(store.FindClass("morvesk.stockbillreader")->iid, kStockBillReaderIid);

  {
    auto factory = server->GetClassObject(kCalCurAmountClsid);
    ASSERT_NE(factory, nullptr);
    auto obj = factory->CreateInstance();
    EXPECT_EQ(obj->Get("TransMode").ToLong(), 2);
    EXPECT_FALSE(server->CanUnloadNow());  // an object of the library is alive
  }

  // By name, with this process knowing the class only from the registry file.
  ClassRegistry::Global().Unregister("Morvesk.CalCurAmount");
  {
    auto obj = automation::CreateObject("Morvesk.CalCurAmount");
    ASSERT_NE(obj, nullptr);
    EXPECT_EQ(obj->Call("transmode").ToLong(), 2);
  }
  EXPECT_TRUE(server->CanUnloadNow());

  EXPECT_EQ(server->UnregisterServer(), automation::kOk);
  EXPECT_FALSE(automation::RegistryStore(store_path.string()).FindClass("Morvesk.CalCurAmount"));
  EXPECT_THROW(automation::CreateObject("Morvesk.CalCurAmount"), automation::ComError);

  RegisterMorveskClasses();
  ::unsetenv("MORVESK_REGISTRY");
  fs::remove(store_path);
}

}  // namespace
}  // namespace morvesk::services
