#include "settings/StateStore.h"

#include "PluginFixture.h"
#include "foundation/PropertyList.h"
#include "overlay/FTCustomViewController.h"

namespace {

class StateStoreTest : public PluginFixture {
protected:
    void writeState(const std::vector<std::pair<std::string, id>>& entries) {
        auto prefs = NSUserDefaults::initWithSuiteName(kStatePath);
        for (const auto& [k, v] : entries) ASSERT_TRUE(prefs->setObjectForKey(v, k));
    }
};

// Tests which keys name a family and which bundle they name.
TEST(StateStoreKeys, FamilyBundleTakesTextAfterLastPrefix) {
    EXPECT_EQ(FTStateStore::familyBundle("FLTTILE-com.apple.siri", kChosenPrefix), "com.apple.siri");
    EXPECT_EQ(FTStateStore::familyBundle("xyzFLTTILE-com.a", kChosenPrefix), "com.a");
    EXPECT_EQ(FTStateStore::familyBundle("FLTTILE-aFLTTILE-b", kChosenPrefix), "b");
    EXPECT_EQ(FTStateStore::familyBundle("FLTTILE-", kChosenPrefix), "");
    EXPECT_FALSE(FTStateStore::familyBundle("POSAPPS-com.a", kChosenPrefix));
    EXPECT_FALSE(FTStateStore::familyBundle("fltTILE-com.a", kChosenPrefix)) << "the search is case-sensitive";
}

// Tests the truth of values as boolValue reads them, odd types false.
TEST(StateStoreKeys, TruthOfValues) {
    EXPECT_TRUE(FTStateStore::truthOf(NSNumber::numberWithBool(true)));
    EXPECT_TRUE(FTStateStore::truthOf(NSNumber::numberWithInteger(1)));
    EXPECT_TRUE(FTStateStore::truthOf(NSNumber::numberWithDouble(0.5)));
    EXPECT_TRUE(FTStateStore::truthOf(str("YES")));
    EXPECT_FALSE(FTStateStore::truthOf(NSNumber::numberWithBool(false)));
    EXPECT_FALSE(FTStateStore::truthOf(str("no")));
    EXPECT_FALSE(FTStateStore::truthOf(std::make_shared<NSArray>()));
    EXPECT_FALSE(FTStateStore::truthOf(nullptr));
}

// Tests loading: a missing file leaves the store absent, a file fills it in
// file order.
TEST_F(StateStoreTest, LoadKeepsFileOrder) {
    stateStore().load();
    EXPECT_EQ(stateStore().floatTilesDict(), nullptr);
    writeState({{"FLTTILE-b", NSNumber::numberWithBool(true)}, {"FLTTILE-a", NSNumber::numberWithBool(false)},
                {"HIDAPPS-c", NSNumber::numberWithBool(true)}});
    stateStore().load();
    ASSERT_NE(stateStore().floatTilesDict(), nullptr);
    EXPECT_EQ(stateStore().floatTilesDict()->allKeys(), (std::vector<std::string>{"FLTTILE-b", "FLTTILE-a", "HIDAPPS-c"}));
}

// Tests that the hide-flag answer matches a walk over every key, for every
// key shape: prefix anywhere, twice, false values, flags set during the run.
TEST_F(StateStoreTest, HiddenAppAnswersLikeAWalk) {
    writeState({{"HIDAPPS-com.a", NSNumber::numberWithBool(true)},
                {"xxHIDAPPS-com.b", NSNumber::numberWithBool(true)},
                {"HIDAPPS-com.cHIDAPPS-com.d", NSNumber::numberWithBool(true)},
                {"HIDAPPS-com.e", NSNumber::numberWithBool(false)},
                {"HIDAPPS-com.f", str("true")},
                {"HIDAPPS-com.g", std::make_shared<NSArray>()}});
    stateStore().load();
    auto walk = [](const std::string& bundle) {
        for (const auto& [key, value] : stateStore().floatTilesDict()->entries()) {
            auto b = FTStateStore::familyBundle(key, kHiddenPrefix);
            if (b && FTStateStore::truthOf(value) && *b == bundle) return true;
        }
        return false;
    };
    for (std::string bundle : {"com.a", "com.b", "com.c", "com.d", "com.cHIDAPPS-com.d", "com.e", "com.f", "com.g", "x"})
        EXPECT_EQ(stateStore().isHiddenApp(bundle), walk(bundle)) << bundle;

    stateStore().setObjectForKey(NSNumber::numberWithInteger(1), "HIDAPPS-com.e");
    EXPECT_TRUE(stateStore().isHiddenApp("com.e"));
    stateStore().setObjectForKey(NSNumber::numberWithBool(false), "HIDAPPS-com.a");
    EXPECT_FALSE(stateStore().isHiddenApp("com.a"));
    EXPECT_EQ(stateStore().isHiddenApp("com.e"), walk("com.e"));
}

// Tests that the hide-flag search costs the same however many keys the file
// holds (a count of lookups, not a time).
TEST_F(StateStoreTest, HiddenSearchDoesNotGrowWithTheFile) {
    auto dict = std::make_shared<NSMutableDictionary>();
    for (int i = 0; i < 5000; ++i) dict->setObjectForKey(NSNumber::numberWithBool(true), "POSAPPS-app" + std::to_string(i));
    dict->setObjectForKey(NSNumber::numberWithBool(true), "HIDAPPS-target");
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(PropertyList::serialize(*dict, PropertyListFormat::Binary, bytes));
    std::filesystem::create_directories(std::filesystem::path(hostPath(kStatePath)).parent_path());
    FILE* f = fopen(hostPath(kStatePath).c_str(), "wb");
    ASSERT_TRUE(f);
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
    stateStore().load();
    uint64_t before = stateStore().keysVisited();
    EXPECT_TRUE(stateStore().isHiddenApp("target"));
    EXPECT_FALSE(stateStore().isHiddenApp("app1"));
    EXPECT_EQ(stateStore().keysVisited() - before, 2u);
}

// Tests the hide marks: in memory an integer 1, in the file a boolean true,
// and an app already marked writes nothing.
TEST_F(StateStoreTest, HideMarksInMemoryAndFile) {
    installHost({"com.example.a"});
    writeState({{"FLTTILE-com.example.a", NSNumber::numberWithBool(true)}});
    stateStore().load();
    auto controller = std::make_shared<FTCustomViewController>();

    controller->setDictWithWriting(true);
    EXPECT_EQ(stateStore().floatTilesDict()->count(), 1u) << "no app in front yet: nothing is marked";

    visibilityState().currentBundle = std::make_shared<NSString>("com.example.a");
    controller->setDictWithWriting(false);
    auto inMemory = std::dynamic_pointer_cast<NSNumber>(stateStore().objectForKey("HIDAPPS-com.example.a"));
    ASSERT_TRUE(inMemory);
    EXPECT_EQ(inMemory->kind(), NSNumber::Kind::Integer);
    EXPECT_EQ(inMemory->integerValue(), 1);
    EXPECT_EQ(NSUserDefaults::initWithSuiteName(kStatePath)->objectForKey("HIDAPPS-com.example.a"), nullptr);

    controller->setDictWithWriting(true);
    EXPECT_EQ(NSUserDefaults::initWithSuiteName(kStatePath)->objectForKey("HIDAPPS-com.example.a"), nullptr)
        << "already true in memory: the blacklist writes nothing";

    visibilityState().currentBundle = std::make_shared<NSString>("com.example.b");
    controller->setDictWithWriting(true);
    auto out = python("import plistlib;d=plistlib.load(open(\"" + hostPath(kStatePath) +
                      "\",\"rb\"));v=d[\"HIDAPPS-com.example.b\"];print(type(v).__name__, v)");
    if (!out) GTEST_SKIP() << "python3 not available";
    EXPECT_EQ(*out, "bool True\n");
    auto mem = std::dynamic_pointer_cast<NSNumber>(stateStore().objectForKey("HIDAPPS-com.example.b"));
    ASSERT_TRUE(mem);
    EXPECT_EQ(mem->kind(), NSNumber::Kind::Integer);
}

} // namespace
