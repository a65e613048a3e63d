#include "settings/StateStore.h"

#include <random>

#include "DictionaryWalks.h"
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

// Tests loading: a missing file leaves the store absent, a file fills it,
// its keys in their sorted order.
TEST_F(StateStoreTest, LoadFillsTheStore) {
    stateStore().load();
    EXPECT_EQ(stateStore().floatTilesDict(), nullptr);
    writeState({{"FLTTILE-b", NSNumber::numberWithBool(true)}, {"FLTTILE-a", NSNumber::numberWithBool(false)},
                {"HIDAPPS-c", NSNumber::numberWithBool(true)}});
    stateStore().load();
    ASSERT_NE(stateStore().floatTilesDict(), nullptr);
    EXPECT_EQ(stateStore().floatTilesDict()->allKeys(), (std::vector<std::string>{"FLTTILE-a", "FLTTILE-b", "HIDAPPS-c"}));
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
    uint64_t walkedBefore = dictionaryEntriesWalked();
    EXPECT_TRUE(stateStore().isHiddenApp("target"));
    EXPECT_FALSE(stateStore().isHiddenApp("app1"));
    EXPECT_EQ(dictionaryEntriesWalked() - walkedBefore, 0u) << "no key of the file is looked at";
}

// Tests the byte search for a family's prefix against the platform's
// backwards rangeOfString, on keys of every shape, multi-byte text included.
TEST(StateStoreKeys, PrefixSearchMatchesBackwardsRangeOfString) {
    const std::vector<std::string> keys = {
        "", "F", "FLTTILE", "FLTTILE-", "FLTTILE-a", "xFLTTILE-a", "FLTTILE-FLTTILE-", "FLTTILE-aFLTTILE-b",
        "FFLTTILE-c", "FLTTILE-FLTTILE", "fltTILE-a", "HIDAPPS-\xc3\xa9t\xc3\xa9", "\xe2\x98\x83" "FLTTILE-\xe2\x98\x83",
        "FLTTILE-\xf0\x9f\x98\x80HIDAPPS-x", "HIDAPPS-a HIDAPPS-", "POSAPPS-com.a", "FLTTILF-a", "FLTTIL"};
    for (const auto& key : keys) {
        for (const char* prefix : {kChosenPrefix, kHiddenPrefix, kPositionPrefix}) {
            NSString text(key);
            NSRange r = text.rangeOfString(prefix, NSBackwardsSearch);
            auto view = FTStateStore::familyBundleView(key, prefix);
            ASSERT_EQ(view.has_value(), r.location != NSNotFound) << key << " / " << prefix;
            if (view) {
                EXPECT_EQ(std::string(*view), key.substr(r.location + r.length)) << key << " / " << prefix;
            }
        }
    }
}

// Tests the one-pass search for both families at load against the search
// for each on its own: the listed shapes (prefixes overlapping, repeated,
// cut short, next to other dashes) and many random keys made of the
// prefixes' own letters.
TEST(StateStoreKeys, BothFamiliesAtOnceMatchEachAlone) {
    std::vector<std::string> keys = {
        "", "-", "--------", "FLTTILE-", "HIDAPPS-", "FLTTILE", "LTTILE-x", "FLTTILE-HIDAPPS-x", "HIDAPPS-FLTTILE-x",
        "HIDAPPS-FLTTILE-", "FLTTILE-aHIDAPPS-bFLTTILE-c", "x-y-HIDAPPS-z-w", "FLTTILE--", "-FLTTILE-", "HIDAPPS-a-b-c",
        "POSAPPS-com.a", "com.a-HIDAPPS", "HIDAPPS-\xc3\xa9-\xe2\x98\x83", "FLTTILE-FLTTILE-FLTTILE-"};
    std::mt19937 rng(11);
    const std::string letters = "FLTIEHDAPS-x";
    for (int i = 0; i < 20000; ++i) {
        std::string key;
        for (int n = std::uniform_int_distribution<int>(0, 30)(rng); n > 0; --n) {
            if (std::uniform_int_distribution<int>(0, 5)(rng) == 0)
                key += std::uniform_int_distribution<int>(0, 1)(rng) ? kChosenPrefix : kHiddenPrefix;
            else
                key += letters[std::uniform_int_distribution<size_t>(0, letters.size() - 1)(rng)];
        }
        keys.push_back(key);
    }
    for (const auto& key : keys) {
        auto both = FTStateStore::chosenAndHidden(key);
        auto chosen = FTStateStore::familyBundleView(key, kChosenPrefix);
        auto hidden = FTStateStore::familyBundleView(key, kHiddenPrefix);
        ASSERT_EQ(both.chosen.has_value(), chosen.has_value()) << key;
        ASSERT_EQ(both.hidden.has_value(), hidden.has_value()) << key;
        if (chosen) {
            ASSERT_EQ(both.chosen->data(), chosen->data()) << key;
        }
        if (hidden) {
            ASSERT_EQ(both.hidden->data(), hidden->data()) << key;
        }
    }
}

// Tests that the chosen apps found at load are the ones a walk gives, in
// the keys' order, and still are after a chosen key changes in memory.
TEST_F(StateStoreTest, ChosenAppsAnswerLikeAWalk) {
    writeState({{"FLTTILE-com.b", NSNumber::numberWithBool(true)},
                {"POSAPPS-com.b", std::make_shared<NSArray>()},
                {"xxFLTTILE-com.a", str("yes")},
                {"FLTTILE-com.c", NSNumber::numberWithBool(false)},
                {"FLTTILE-com.dFLTTILE-com.e", NSNumber::numberWithInteger(2)},
                {"HIDAPPS-FLTTILE-com.f", NSNumber::numberWithBool(true)},
                {"FLTTILE-com.g", std::make_shared<NSDictionary>()}});
    stateStore().load();
    auto walk = [] {
        std::vector<std::string> out;
        for (const auto& key : stateStore().floatTilesDict()->allKeys()) {
            auto b = FTStateStore::familyBundle(key, kChosenPrefix);
            if (b && FTStateStore::truthOf(stateStore().objectForKey(key))) out.push_back(*b);
        }
        return out;
    };
    EXPECT_EQ(stateStore().chosenBundles(), (std::vector<std::string>{"com.b", "com.e", "com.f", "com.a"}));
    EXPECT_EQ(stateStore().chosenBundles(), walk());
    EXPECT_TRUE(stateStore().isHiddenApp("FLTTILE-com.f"));

    stateStore().setObjectForKey(NSNumber::numberWithBool(true), "FLTTILE-com.c");
    stateStore().setObjectForKey(NSNumber::numberWithBool(false), "FLTTILE-com.b");
    EXPECT_EQ(stateStore().chosenBundles(), walk());
    EXPECT_EQ(stateStore().chosenBundles(), (std::vector<std::string>{"com.c", "com.e", "com.f", "com.a"}));
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
