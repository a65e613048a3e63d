// The preferences daemon: with writes deferred, setObjectForKey hands the
// change over and returns; the daemon writes it off the caller's thread,
// several changes to one file in one rewrite, and synchronize() reports
// each outcome in order.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

#include "device/foundation/PlistTestSupport.h"
#include "device/foundation/TempDir.h"
#include "foundation/DevicePaths.h"
#include "foundation/NSUserDefaults.h"
#include "foundation/PropertyList.h"

namespace {

constexpr const char* kFile = "/var/mobile/Library/Preferences/com.example.daemon.plist";
constexpr const char* kOther = "/var/mobile/Library/Preferences/com.example.other.plist";

class PreferencesDaemonTest : public ::testing::Test {
protected:
    struct Outcome {
        std::string path, key;
        bool ok;
    };

    void SetUp() override {
        ASSERT_FALSE(root.path().empty());
        DevicePaths::setRoot(root.path());
        NSUserDefaults::setWriteObserver([this](const std::string& p, const std::string& k, const id&, bool ok) {
            outcomes.push_back({p, k, ok});
        });
        NSUserDefaults::setWritesDeferred(true);
    }
    void TearDown() override {
        NSUserDefaults::setWritesDeferred(false);
        NSUserDefaults::setWriteObserver(nullptr);
    }

    std::shared_ptr<NSDictionary> onDisk(const char* file) {
        return std::dynamic_pointer_cast<NSDictionary>(PropertyList::readFile(DevicePaths::map(file)));
    }

    TempDir root;
    std::vector<Outcome> outcomes;
};

// Tests that changes to two files, interleaved, all arrive, in order,
// each key with its last value, and are reported in the order made.
TEST_F(PreferencesDaemonTest, ChangesArriveInOrderAndAreReported) {
    auto a = NSUserDefaults::initWithSuiteName(kFile);
    auto b = NSUserDefaults::initWithSuiteName(kOther);
    EXPECT_TRUE(a->setObjectForKey(NSNumber::numberWithInteger(1), "k"));
    EXPECT_TRUE(b->setObjectForKey(str("x"), "s"));
    EXPECT_TRUE(a->setObjectForKey(NSNumber::numberWithInteger(2), "k"));
    EXPECT_TRUE(a->setObjectForKey(NSNumber::numberWithBool(true), "other"));
    EXPECT_TRUE(a->removeObjectForKey("other"));
    NSUserDefaults::synchronize();
    auto first = onDisk(kFile);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->count(), 1u);
    EXPECT_EQ(readInteger(first->objectForKey("k").get()), 2);
    ASSERT_NE(onDisk(kOther), nullptr);
    EXPECT_EQ(onDisk(kOther)->count(), 1u);
    ASSERT_EQ(outcomes.size(), 5u);
    const char* keys[] = {"k", "s", "k", "other", "other"};
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(outcomes[i].key, keys[i]);
        EXPECT_TRUE(outcomes[i].ok);
    }
    EXPECT_EQ(outcomes[1].path, kOther);
}

// Tests that a suite named by its domain goes through the daemon like one
// named by its path: the change is reported at synchronize(), under the
// file's path.
TEST_F(PreferencesDaemonTest, SuiteByDomainIsDeferredToo) {
    auto byDomain = NSUserDefaults::initWithSuiteName("com.example.daemon");
    EXPECT_TRUE(byDomain->setObjectForKey(NSNumber::numberWithInteger(7), "k"));
    EXPECT_TRUE(outcomes.empty()) << "written on the caller's thread";
    NSUserDefaults::synchronize();
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_EQ(outcomes[0].path, kFile);
    EXPECT_TRUE(outcomes[0].ok);
    ASSERT_NE(onDisk(kFile), nullptr);
    EXPECT_EQ(readInteger(onDisk(kFile)->objectForKey("k").get()), 7);
}

// Tests that a reader sees the changes made before it, and that a mutable
// value changed after it was handed over is written as it was then.
TEST_F(PreferencesDaemonTest, ReadersSeeEarlierChangesAsTheyWere) {
    auto array = std::make_shared<NSMutableArray>();
    array->addObject(NSNumber::numberWithFloat(10));
    auto prefs = NSUserDefaults::initWithSuiteName(kFile);
    ASSERT_TRUE(prefs->setObjectForKey(array, "POSAPPS-a"));
    array->addObject(NSNumber::numberWithFloat(20));
    auto read = std::dynamic_pointer_cast<NSArray>(prefs->objectForKey("POSAPPS-a"));
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->count(), 1u);
    auto dict = dictionaryWithContentsOfFile(kFile);
    ASSERT_NE(dict, nullptr);
    EXPECT_NE(dict->objectForKey("POSAPPS-a"), nullptr);
    EXPECT_TRUE(outcomes.empty()) << "outcomes wait for synchronize";
    NSUserDefaults::synchronize();
    EXPECT_EQ(outcomes.size(), 1u);
}

// Tests the failures: a value with no property-list form is refused at
// once; a file that cannot be written is reported failed at synchronize,
// left as it was, and does not take the other file's changes with it.
TEST_F(PreferencesDaemonTest, FailuresAreReportedAndLoseNothingElse) {
    auto prefs = NSUserDefaults::initWithSuiteName(kFile);
    EXPECT_FALSE(prefs->setObjectForKey(std::make_shared<NSNull>(), "bad"));
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_FALSE(outcomes[0].ok);
    outcomes.clear();

    // A folder where the file should be: no rename can replace it.
    std::string host = DevicePaths::map(kOther);
    std::filesystem::create_directories(host);
    EXPECT_TRUE(NSUserDefaults::initWithSuiteName(kOther)->setObjectForKey(str("v"), "k"));
    EXPECT_TRUE(prefs->setObjectForKey(str("v"), "k"));
    NSUserDefaults::synchronize();
    ASSERT_EQ(outcomes.size(), 2u);
    EXPECT_FALSE(outcomes[0].ok);
    EXPECT_TRUE(outcomes[1].ok);
    EXPECT_TRUE(std::filesystem::is_directory(host));
    ASSERT_NE(onDisk(kFile), nullptr);
}

// Tests that one change in a batch that the file cannot hold (a key that
// is no plain text) fails alone: the rest of the batch is written.
TEST_F(PreferencesDaemonTest, OneBadChangeDoesNotSinkTheBatch) {
    auto prefs = NSUserDefaults::initWithSuiteName(kFile);
    EXPECT_TRUE(prefs->setObjectForKey(str("1"), "a"));
    EXPECT_TRUE(prefs->setObjectForKey(str("2"), std::string("b\0c", 3)));
    EXPECT_TRUE(prefs->setObjectForKey(str("3"), "d"));
    NSUserDefaults::synchronize();
    ASSERT_EQ(outcomes.size(), 3u);
    EXPECT_TRUE(outcomes[0].ok);
    EXPECT_FALSE(outcomes[1].ok);
    EXPECT_TRUE(outcomes[2].ok);
    auto dict = onDisk(kFile);
    ASSERT_NE(dict, nullptr);
    EXPECT_EQ(dict->count(), 2u);
}

} // namespace
