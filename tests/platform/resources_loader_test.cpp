// TARNRESLOADER.Loader and the compiled-in resource files, through late binding.
#include <gtest/gtest.h>

#include <set>

#include "platform/automation/registry.h"
#include "platform/resources/loader.h"
#include "platform/resources/resource_texts.h"

namespace morvesk::resources {
namespace {

using automation::CreateObject;
using automation::Variant;

TEST(ResourcesLoader, ServesTheBaseLanguageThenTheRequestedOne) {
  RegisterResourceClasses();
  auto loader = CreateObject("TARNRESLOADER.Loader");
  ASSERT_NE(loader, nullptr);
  EXPECT_EQ(loader->Get("LanguageID").ToString(), "CHS");
  EXPECT_EQ(loader->Get("ResFileBaseName").ToString(), "TARNINDUSTRY");
  EXPECT_EQ(loader->Call("LoadString", {Variant("yyyy年mm月dd日")}).ToString(), "yyyy年mm月dd日");

  loader->Put("languageid", Variant("enu"));
  EXPECT_EQ(loader->Call("LoadString", {Variant("yyyy年mm月dd日")}).ToString(), "yyyy-mm-dd");
  EXPECT_EQ(loader->Call("loadstring", {Variant("是")}).ToString(), "Yes");
  EXPECT_EQ(loader->Call("LoadString", {Variant("否")}).ToString(), "No");
  // A key the file does not hold comes back as it was asked.
  EXPECT_EQ(loader->Call("LoadString", {Variant("没有的文字")}).ToString(), "没有的文字");

  // A language without a file, or another base name, falls back to the key itself.
  loader->Put("LanguageID", Variant("DEU"));
  EXPECT_EQ(loader->Call("LoadString", {Variant("是")}).ToString(), "是");
  loader->Put("LanguageID", Variant("ENU"));
  loader->Put("ResFileBaseName", Variant("OTHER"));
  EXPECT_EQ(loader->Call("LoadString", {Variant("是")}).ToString(), "是");
  loader->Put("ResFileBaseName", Variant("TARNINDUSTRY"));
  EXPECT_EQ(loader->Call("LoadString", {Variant("是")}).ToString(), "Yes");
}

TEST(ResourcesLoader, LoadsItsFileOncePerLanguageAndAgainAfterUnload) {
  RegisterResourceClasses();
  auto loader = CreateObject(kLoaderClsid);
  loader->Put("LanguageID", Variant("ENU"));
  const int64_t before = Loader::FilesLoaded();
  for (int i = 0; i < 5; ++i) loader->Call("LoadString", {Variant("是")});
  EXPECT_EQ(Loader::FilesLoaded(), before + 1);
  loader->Call("Unload");
  EXPECT_EQ(loader->Call("LoadString", {Variant("否")}).ToString(), "No");
  EXPECT_EQ(Loader::FilesLoaded(), before + 2);
  loader->Put("LanguageID", Variant("enu"));  // same language in another case: kept
  loader->Call("LoadString", {Variant("否")});
  EXPECT_EQ(Loader::FilesLoaded(), before + 2);
}

TEST(ResourcesLoader, EveryLanguageTranslatesEveryBaseKey) {
  // A text added to the base file without its translations shows up here.
  auto base = ResourceTexts::Find("TARNINDUSTRY", "CHS");
  ASSERT_NE(base, nullptr);
  EXPECT_GE(base->size(), 4u);
  EXPECT_EQ(base->Lookup("yyyy年mm月dd日"), "yyyy年mm月dd日");
  auto languages = ResourceTexts::Languages("tarnindustry");
  EXPECT_EQ(std::set<std::string>(languages.begin(), languages.end()),
            (std::set<std::string>{"CHS", "ENU"}));
  for (const std::string& lang : languages) {
    auto table = ResourceTexts::Find("TARNINDUSTRY", lang);
    ASSERT_NE(table, nullptr) << lang;
    EXPECT_EQ(table->size(), base->size()) << lang;
    for (const char* key : {"yyyy年mm月dd日", "是", "否", "/", "取最大期间出错！"}) {
      EXPECT_TRUE(table->Lookup(key).has_value()) << lang << " lacks " << key;
    }
  }
}

TEST(ResourcesLoader, FileFormatSkipsCommentsAndUnescapes) {
  ResourceTexts t = ResourceTexts::Parse(
      "# comment\tnot a text\r\n"
      "\n"
      "a\tfirst\\tsecond\r\n"
      "b\tline\\nbreak \\\\ end\n"
      "no tab on this line\n"
      "c\t\n"
      "a\treplaced");
  EXPECT_EQ(t.size(), 3u);
  EXPECT_EQ(t.Lookup("a"), "replaced");
  EXPECT_EQ(t.Lookup("b"), "line\nbreak \\ end");
  EXPECT_EQ(t.Lookup("c"), "");
  EXPECT_FALSE(t.Lookup("# comment").has_value());
  EXPECT_FALSE(t.Lookup("no tab on this line").has_value());
}

}  // namespace
}  // namespace morvesk::resources
