// Plexo.Dictionary and Plexox.stringbuilder as late-bound callers use them: created by name
// or class id through the registry, members called by name in any letter case.
#include <gtest/gtest.h>

#include "platform/automation/com_error.h"
#include "platform/automation/registry.h"
#include "platform/plexo/dictionary.h"
#include "platform/plexo/plexo_classes.h"
#include "platform/plexo/string_builder.h"

namespace morvesk::plexo {
namespace {

using automation::ComError;
using automation::CreateObject;
using automation::Variant;

class PlexoTest : public ::testing::Test {
 protected:
  void SetUp() override { RegisterPlexoClasses(); }
};

TEST_F(PlexoTest, DictionaryStoresReplacesAndReadsSettingsByExactKey) {
  auto dict = CreateObject("Plexo.Dictionary");
  ASSERT_NE(dict, nullptr);

  dict->Put("Item", Variant(int32_t{2025}), {Variant("CurrentYear")});
  dict->Put("item", Variant("2025-03-01"), {Variant("BDate")});
  dict->Put("Item", Variant(int32_t{3}), {Variant("CurrentPeriod")});
  dict->Put("Item", Variant(int32_t{4}), {Variant("CurrentPeriod")});  // replaces

  EXPECT_EQ(dict->Get("Count").ToLong(), 3);
  EXPECT_EQ(dict->Get("ITEM", {Variant("CurrentYear")}).ToLong(), 2025);
  EXPECT_EQ(dict->Get("Item", {Variant("CurrentPeriod")}).ToLong(), 4);
  EXPECT_EQ(dict->Get("Item", {Variant("BDate")}).ToString(), "2025-03-01");

  // Keys are compared exactly as written: another letter case is another key.
  EXPECT_TRUE(dict->Call("Exists", {Variant("CurrentYear")}).ToBool());
  EXPECT_FALSE(dict->Call("exists", {Variant("currentyear")}).ToBool());
  EXPECT_TRUE(dict->Get("Item", {Variant("currentyear")}).is_empty());

  // Keys and Items come back in the order the keys were first set.
  auto keys = dict->Call("Keys").ToArray();
  ASSERT_EQ(keys.size(), 3u);
  EXPECT_EQ(keys[0].ToString(), "CurrentYear");
  EXPECT_EQ(keys[1].ToString(), "BDate");
  EXPECT_EQ(keys[2].ToString(), "CurrentPeriod");
  auto items = dict->Call("Items").ToArray();
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[2].ToLong(), 4);
}

TEST_F(PlexoTest, DictionaryAddRemoveAndTheirFailures) {
  auto dict = CreateObject("plexo.dictionary");  // programmatic names ignore case
  dict->Call("Add", {Variant("PriceDecimal"), Variant(int32_t{10})});
  try {
    dict->Call("Add", {Variant("PriceDecimal"), Variant(int32_t{2})});
    FAIL() << "a second Add of one key must fail";
  } catch (const ComError& e) {
    EXPECT_EQ(e.number, automation::kErrBadArgument);
    EXPECT_NE(e.description.find("PriceDecimal"), std::string::npos);
  }
  EXPECT_EQ(dict->Get("Item", {Variant("PriceDecimal")}).ToLong(), 10);

  EXPECT_THROW(dict->Call("Remove", {Variant("QtyDecimal")}), ComError);
  dict->Call("Remove", {Variant("PriceDecimal")});
  EXPECT_EQ(dict->Get("Count").ToLong(), 0);

  dict->Call("Add", {Variant("a"), Variant(int32_t{1})});
  dict->Call("Add", {Variant("b"), Variant::Null()});
  EXPECT_TRUE(dict->Get("Item", {Variant("b")}).is_null());
  dict->Call("RemoveAll");
  EXPECT_EQ(dict->Get("Count").ToLong(), 0);
}

TEST_F(PlexoTest, DictionaryKeepsObjectsAndResolvedByRefValues) {
  auto dict = CreateObject(kDictionaryClsid);  // by class id
  auto inner = CreateObject("Plexo.Dictionary");
  dict->Put("Item", Variant(inner), {Variant("Nested")});
  inner->Put("Item", Variant(int32_t{7}), {Variant("x")});
  auto back = dict->Get("Item", {Variant("Nested")}).ToObject();
  EXPECT_EQ(back, inner);  // shared, not copied
  EXPECT_EQ(back->Get("Item", {Variant("x")}).ToLong(), 7);

  // A value passed by reference is stored as its value, not as a link to the variable.
  Variant local(int32_t{5});
  std::vector<Variant> args{Variant("k"), Variant::Ref(&local)};
  dict->CallRef("Add", args);
  local = Variant(int32_t{6});
  EXPECT_EQ(dict->Get("Item", {Variant("k")}).ToLong(), 5);
}

TEST_F(PlexoTest, StringBuilderAccumulatesBatchText) {
  auto sb = CreateObject("Plexox.stringbuilder");
  ASSERT_NE(sb, nullptr);
  sb->Call("Append", {Variant("Set NoCount On \r\n")});
  auto chained = sb->Call("append", {Variant("select 1 ")}).ToObject();
  EXPECT_EQ(chained, sb);
  sb->Call("Append", {Variant("")});
  sb->Call("Append", {Variant("-- 数量")});
  EXPECT_EQ(sb->Call("ToString").ToString(), "Set NoCount On \r\nselect 1 -- 数量");
  EXPECT_EQ(sb->Get("Length").ToLong(),
            static_cast<int32_t>(std::string("Set NoCount On \r\nselect 1 -- 数量").size()));

  auto other = CreateObject(kStringBuilderClsid);
  EXPECT_NE(other, sb);
  EXPECT_EQ(other->Call("ToString").ToString(), "");
  sb->Call("Clear");
  EXPECT_EQ(sb->Call("ToString").ToString(), "");

  EXPECT_THROW(sb->Call("Append"), ComError);  // the text is required
}

}  // namespace
}  // namespace morvesk::plexo
