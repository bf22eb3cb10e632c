#include <gtest/gtest.h>

#include "tests/platform/print_variant.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/automation/dispatch_object.h"
#include "platform/automation/registry.h"
#include "platform/automation/registry_store.h"
#include "platform/automation/server.h"
#include "platform/host/global_object.h"

namespace morvesk::automation {
namespace {

class Probe : public DispatchObject<Probe> {
 public:
  static const DispatchTable<Probe>& Table() {
    static const DispatchTable<Probe> table(
        "_Probe", {{{.name = "TransMode", .result = VarType::kLong, .is_property = true},
                    [](Probe&, auto&) { return Variant(int32_t{2}); }}});
    return table;
  }
};

ModuleInfo ProbeModule() {
  return ModuleInfo{
      TypeLibInfo{"{5B5FB6C4-0000-45E1-9637-A5FC4B4CA5A0}", 5, 8, 1033, "ProbeLib"},
      {ClassInfo{"ProbeLib.Probe", "{11111111-2222-3333-4444-555555555555}",
                 "aaaaaaaa-2222-3333-4444-555555555555", "_Probe",
                 [] { return std::make_shared<Probe>(); }}}};
}

class RegistryFile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("morvesk-registry-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    path_ = (dir_ / "nested" / "registry").string();
    setenv("MORVESK_REGISTRY", path_.c_str(), 1);
  }
  void TearDown() override {
    unsetenv("MORVESK_REGISTRY");
    std::filesystem::remove_all(dir_);
  }
  std::filesystem::path dir_;
  std::string path_;
};

TEST(Registry, GuidsNormalizeAndBadOnesAreRefused) {
  EXPECT_EQ(NormalizeGuid("{E28FF440-DE66-4333-BA1D-95CDFE9BAC82}"),
            "e28ff440-de66-4333-ba1d-95cdfe9bac82");
  EXPECT_EQ(NormalizeGuid("e28ff440-de66-4333-ba1d-95cdfe9bac82"),
            "e28ff440-de66-4333-ba1d-95cdfe9bac82");
  EXPECT_FALSE(NormalizeGuid("e28ff440de6643334ba1d95cdfe9bac82"));
  EXPECT_FALSE(NormalizeGuid("{e28ff440-de66-4333-ba1d-95cdfe9bac8z}"));
  EXPECT_FALSE(NormalizeGuid("Morvesk.CalCurAmount"));
}

TEST(Registry, CreatesRegisteredClassesByProgIdOrClsid) {
  ClassRegistry::Global().RegisterModule(ProbeModule());
  auto by_name = CreateObject("probelib.PROBE");
  ASSERT_TRUE(by_name);
  EXPECT_EQ(by_name->Get("TransMode"), Variant(int32_t{2}));
  auto by_id = CreateObject("11111111-2222-3333-4444-555555555555");
  EXPECT_NE(by_id, by_name);  // a new object per creation
  try {
    CreateObject("ProbeLib.Missing");
    FAIL() << "created an unregistered class";
  } catch (const ComError& e) {
    EXPECT_EQ(e.number, kErrClassNotReg);
    EXPECT_NE(e.description.find("ProbeLib.Missing"), std::string::npos);
  }
  ClassRegistry::Global().Unregister("ProbeLib.Probe");
  EXPECT_FALSE(ClassRegistry::Global().Find("{11111111-2222-3333-4444-555555555555}"));
}

TEST(Registry, ConnectionServiceIsCreatableByName) {
  host::RegisterHostClasses();
  auto service = CreateObject("Halvane.AppConnection");
  ASSERT_TRUE(service);
  EXPECT_TRUE(service->FindMember("SetComplete"));
  auto global = host::GlobalObject::ForThread();
  EXPECT_EQ(global, host::GlobalObject::ForThread());  // one per thread
  EXPECT_EQ(global->Call("GetAppConnection").ToObject(), global->GetAppConnection());
}

TEST_F(RegistryFile, RegisterWritesAndUnregisterRemovesTheModulesRecords) {
  ModuleInfo module = ProbeModule();
  // The library path recorded is the file that holds the given address.
  ASSERT_EQ(StandardRegisterServer(module, reinterpret_cast<const void*>(&ProbeModule)), kOk);
  RegistryStore store;
  EXPECT_EQ(store.path(), path_);
  auto stored = store.FindClass("ProbeLib.Probe");
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->clsid, "11111111-2222-3333-4444-555555555555");
  EXPECT_EQ(stored->interface_name, "_Probe");
  EXPECT_EQ(stored->libid, "5b5fb6c4-0000-45e1-9637-a5fc4b4ca5a0");
  EXPECT_TRUE(std::filesystem::equivalent(stored->library_path, "/proc/self/exe"));
  auto libs = store.TypeLibs();
  ASSERT_EQ(libs.size(), 1u);
  EXPECT_EQ(libs[0].info.major_version, 5);
  EXPECT_EQ(libs[0].info.minor_version, 8);
  EXPECT_EQ(libs[0].info.lcid, 1033u);
  EXPECT_EQ(libs[0].info.name, "ProbeLib");

  // Registering again replaces rather than duplicates.
  ASSERT_EQ(StandardRegisterServer(module, reinterpret_cast<const void*>(&ProbeModule)), kOk);
  EXPECT_EQ(store.Classes().size(), 1u);

  // Another library's records survive this one's removal.
  ModuleInfo other{TypeLibInfo{"99999999-0000-0000-0000-000000000001", 1, 0, 0, "Other"},
                   {ClassInfo{"Other.Thing", "99999999-0000-0000-0000-000000000002", "", "_Thing",
                              nullptr}}};
  store.AddModule(other, "/opt/other.so");
  ASSERT_EQ(StandardUnregisterServer(module), kOk);
  EXPECT_FALSE(store.FindClass("ProbeLib.Probe"));
  EXPECT_TRUE(store.FindClass("other.thing"));
  EXPECT_EQ(store.TypeLibs().size(), 1u);
}

TEST_F(RegistryFile, ClassObjectsCreateInstancesAndHoldTheModule) {
  ModuleInfo module = ProbeModule();
  void* out = nullptr;
  EXPECT_NE(StandardGetClassObject(module, "{00000000-0000-0000-0000-000000000000}", nullptr, &out),
            kOk);
  EXPECT_EQ(out, nullptr);
  ASSERT_EQ(StandardGetClassObject(module, "{11111111-2222-3333-4444-555555555555}", nullptr, &out),
            kOk);
  auto factory = AdoptClassObject(out);
  EXPECT_EQ(factory->Class().prog_id, "ProbeLib.Probe");

  // Nothing of this module is alive between tests (the thread's global object does
  // not count), so the module may unload until an object or a lock holds it.
  ASSERT_EQ(LiveObjectCount(), 0);
  EXPECT_EQ(StandardCanUnloadNow(), kOk);
  {
    auto obj = factory->CreateInstance();
    EXPECT_EQ(LiveObjectCount(), 1);
    EXPECT_EQ(StandardCanUnloadNow(), kFalse);
  }
  EXPECT_EQ(StandardCanUnloadNow(), kOk);
  factory->LockServer(true);
  EXPECT_EQ(StandardCanUnloadNow(), kFalse);
  factory->LockServer(false);
  EXPECT_EQ(StandardCanUnloadNow(), kOk);
}

TEST_F(RegistryFile, LoadingALibraryThatIsNotAServerFailsClearly) {
  try {
    LoadServer((dir_ / "absent.so").string());
    FAIL() << "loaded a missing library";
  } catch (const ComError& e) {
    EXPECT_NE(e.description.find("absent.so"), std::string::npos);
  }
  // A real shared object without the entry points.
  try {
    LoadServer("libm.so.6");
    FAIL() << "accepted a library without entry points";
  } catch (const ComError& e) {
    EXPECT_NE(e.description.find("DllRegisterServer"), std::string::npos);
  }
}

}  // namespace
}  // namespace morvesk::automation
