// Localized texts through the thread's cached resource loader: two languages, loader
// replacement and reuse, composite texts, failures, and the caller's pending error.
#include <gtest/gtest.h>

#include <thread>

#include "frame/err_state.h"
#include "frame/res_text.h"
#include "platform/automation/dispatch_object.h"
#include "platform/automation/registry.h"
#include "platform/resources/loader.h"

namespace morvesk::frame {
namespace {

using automation::ComError;

// A loader whose texts cannot be read: stands in for a broken resource file.
class UnreadableLoader : public automation::DispatchObject<UnreadableLoader> {
 public:
  static const automation::DispatchTable<UnreadableLoader>& Table() {
    using automation::Variant;
    using automation::VarType;
    static const automation::DispatchTable<UnreadableLoader> table(
        "_Loader",
        {{{.name = "LanguageID", .result = VarType::kString, .is_property = true},
          [](UnreadableLoader&, std::vector<Variant>&) { return Variant("ENU"); }},
         {{.name = "LoadString", .params = {automation::In("Key", VarType::kString)},
           .result = VarType::kString},
          [](UnreadableLoader&, std::vector<Variant>&) -> Variant {
            throw ComError(automation::kErrFail, "TARNRESLOADER.Loader", "resource file damaged");
          }}});
    return table;
  }
};

// Each case runs on a thread of its own, so that it starts with an empty loader cache.
template <class F>
void OnFreshThread(F f) {
  resources::RegisterResourceClasses();
  std::thread t(f);
  t.join();
}

TEST(FrameResText, LooksUpInTheRequestedLanguageAndReplacesTheLoaderOnlyOnChange) {
  OnFreshThread([] {
    EXPECT_EQ(CurrentResourceLoader(), nullptr);
    EXPECT_EQ(LoadResText("yyyy年mm月dd日", "CHS"), "yyyy年mm月dd日");
    auto first = CurrentResourceLoader();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->Get("LanguageID").ToString(), "CHS");  // used as created

    EXPECT_EQ(LoadResText("yyyy年mm月dd日", "ENU"), "yyyy-mm-dd");
    auto second = CurrentResourceLoader();
    EXPECT_NE(second, first);
    EXPECT_EQ(second->Get("LanguageID").ToString(), "ENU");
    EXPECT_EQ(second->Get("ResFileBaseName").ToString(), "TARNINDUSTRY");

    const int64_t loads = resources::Loader::FilesLoaded();
    EXPECT_EQ(LoadResText("是", "enu"), "Yes");  // letter case ignored: same loader
    EXPECT_EQ(LoadResText("  否  ", "ENU"), "No");  // key trimmed
    EXPECT_EQ(CurrentResourceLoader(), second);
    EXPECT_EQ(resources::Loader::FilesLoaded(), loads);

    EXPECT_EQ(LoadResText("是", "CHS"), "是");
    EXPECT_NE(CurrentResourceLoader(), second);
    EXPECT_EQ(CurrentResourceLoader()->Get("LanguageID").ToString(), "CHS");
  });
}

TEST(FrameResText, ExpandsCompositeTexts) {
  OnFreshThread([] {
    EXPECT_EQ(ExpandResText("plain text", "ENU"), "plain text");
    EXPECT_EQ(ExpandResText("~$~是", "ENU"), "Yes");
    EXPECT_EQ(ExpandResText("x^|^~$~是^|^y", "ENU"), "xYesy");
    EXPECT_EQ(ExpandResText("^|^~$~否^|^", "ENU"), "No");
    EXPECT_EQ(ExpandResText("~$~否^|^ / ^|^~$~是", "CHS"), "否 / 是");
    // Markers only count at the start of a piece; the separator is case-sensitive text.
    EXPECT_EQ(ExpandResText("a~$~是", "ENU"), "a~$~是");
    EXPECT_EQ(ExpandResText("~$~unknown key", "ENU"), "unknown key");
    // A composite key given to LoadResText is expanded the same way.
    EXPECT_EQ(LoadResText(" 第^|^~$~是 ", "ENU"), "第Yes");
  });
}

TEST(FrameResText, FailedLookupGivesTheTrimmedKeyAndKeepsThePendingError) {
  OnFreshThread([] {
    automation::ClassRegistry::Global().Unregister(resources::kLoaderProgId);
    // The loader cannot be created: the lookup ends before the key is trimmed. Without a
    // pending error, the failure leaves none behind either.
    ClearErr();
    EXPECT_EQ(LoadResText("  是  ", "ENU"), "  是  ");
    EXPECT_FALSE(Err().pending());

    SetErr(ComError(automation::kErrIntegrity, "Morvesk.CalCurAmount", "duplicate key",
                    "help.chm", 42));
    const ErrState pending = Err();
    EXPECT_EQ(LoadResText("否", "ENU"), "否");
    EXPECT_EQ(Err(), pending);

    // The loader fails after the key was trimmed: the trimmed key, the pending error kept.
    automation::ClassRegistry::Global().Register(
        {.prog_id = resources::kLoaderProgId,
         .clsid = resources::kLoaderClsid,
         .iid = "5c0e7a93-d1f8-4b26-8e47-a6b3c92d0f18",
         .interface_name = "_Loader",
         .factory = [] { return std::make_shared<UnreadableLoader>(); }});
    EXPECT_EQ(LoadResText("  否  ", "ENU"), "否");
    EXPECT_EQ(Err(), pending);
    EXPECT_EQ(LoadResText("x^|^~$~否", "ENU"), "x否");
    EXPECT_EQ(Err(), pending);

    resources::RegisterResourceClasses();
    EXPECT_EQ(LoadResText("否", "ENU"), "No");  // the broken loader was not kept
    EXPECT_EQ(CurrentResourceLoader()->Get("LanguageID").ToString(), "ENU");
    // A lookup that works keeps the pending error as well.
    EXPECT_EQ(LoadResText("是", "ENU"), "Yes");
    EXPECT_EQ(Err(), pending);
    EXPECT_EQ(Err().number, automation::kErrIntegrity);
    EXPECT_EQ(Err().description, "duplicate key");
    ClearErr();
  });
}

}  // namespace
}  // namespace morvesk::frame
