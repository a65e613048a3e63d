// The preferences store's merge against files no writer of ours makes: a
// key standing twice, a text that is not UTF-8. Both came out of fuzzing
// (fuzz/regressions/plist/duplicate-key-merge.bplist,
// fuzz/regressions/state/invalid-utf8-key.xml).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../PlistTestSupport.h"
#include "../TempDir.h"
#include "foundation/DevicePaths.h"
#include "foundation/NSUserDefaults.h"
#include "foundation/PropertyList.h"

namespace {

std::vector<uint8_t> bytesOf(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

std::string xmlList(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n" + body + "</dict>\n</plist>\n";
}

const char* kDuplicated = "<key>a</key><integer>1</integer><key>b</key><integer>2</integer>"
                          "<key>a</key><integer>3</integer>";

// A binary list holding "a" twice (1, then 3) beside "b", made by
// rewriting the third key's text in place ("c" to "a"): libplist keeps both
// occurrences of a binary list's key, where its XML reader keeps one.
std::vector<uint8_t> binaryWithDuplicate() {
    auto dict = std::make_shared<NSMutableDictionary>();
    dict->setObjectForKey(NSNumber::numberWithInteger(1), "a");
    dict->setObjectForKey(NSNumber::numberWithInteger(2), "b");
    dict->setObjectForKey(NSNumber::numberWithInteger(3), "c");
    std::vector<uint8_t> bytes;
    PropertyList::serialize(*dict, PropertyListFormat::Binary, bytes);
    for (size_t i = 0; i + 1 < bytes.size(); ++i)
        if (bytes[i] == 0x51 && bytes[i + 1] == 'c') bytes[i + 1] = 'a';
    return bytes;
}

// Tests that a reader sees a key standing twice at its first place with its
// last value, and that a merge setting it changes what the reader sees (it
// used to change the first occurrence only, so the old value still won).
TEST(PropertyListMergeHardening, SettingAKeyThatStandsTwiceTakesEffect) {
    std::vector<uint8_t> file = bytesOf(xmlList(kDuplicated));
    auto read = std::dynamic_pointer_cast<NSDictionary>(PropertyList::parse(file));
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->allKeys(), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(readInteger(read->objectForKey("a").get()), 3);

    for (PropertyListFormat format : {PropertyListFormat::XML, PropertyListFormat::Binary}) {
        std::vector<uint8_t> source = file;
        if (format == PropertyListFormat::Binary) source = binaryWithDuplicate();
        std::vector<uint8_t> out;
        ASSERT_TRUE(PropertyList::setValueForKey(source, "a", NSNumber::numberWithInteger(9).get(), out));
        auto merged = std::dynamic_pointer_cast<NSDictionary>(PropertyList::parse(out));
        ASSERT_NE(merged, nullptr);
        EXPECT_EQ(readInteger(merged->objectForKey("a").get()), 9);
        EXPECT_EQ(merged->allKeys(), (std::vector<std::string>{"a", "b"})) << "the key keeps its first place";
        EXPECT_EQ(readInteger(merged->objectForKey("b").get()), 2);

        ASSERT_TRUE(PropertyList::setValueForKey(source, "a", nullptr, out));
        merged = std::dynamic_pointer_cast<NSDictionary>(PropertyList::parse(out));
        ASSERT_NE(merged, nullptr);
        EXPECT_EQ(merged->objectForKey("a"), nullptr) << "a removal removes every occurrence";
        EXPECT_EQ(merged->allKeys(), (std::vector<std::string>{"b"}));
    }
}

// Tests that a key standing twice that the merge does not touch reads as
// before, in both formats.
TEST(PropertyListMergeHardening, OtherDuplicatesReadAsBefore) {
    for (const std::vector<uint8_t>& file : {bytesOf(xmlList(kDuplicated)), binaryWithDuplicate()}) {
        auto before = std::dynamic_pointer_cast<NSDictionary>(PropertyList::parse(file));
        ASSERT_NE(before, nullptr);
        std::vector<uint8_t> out;
        ASSERT_TRUE(PropertyList::setValueForKey(file, "z", NSNumber::numberWithBool(true).get(), out));
        auto merged = std::dynamic_pointer_cast<NSDictionary>(PropertyList::parse(out));
        ASSERT_NE(merged, nullptr);
        EXPECT_EQ(readInteger(merged->objectForKey("a").get()), 3);
        EXPECT_EQ(merged->allKeys(), (std::vector<std::string>{"a", "b", "z"}));
    }
}

// Tests that a list libplist accepts but the reader refuses (a key or a
// text that is not UTF-8) is not rewritten: the merge fails, and the
// preferences store leaves the file byte for byte as it was.
TEST(PropertyListMergeHardening, ListTheReaderRefusesIsNotRewritten) {
    for (std::string body : {std::string("<key>FLTTILE-a</key><true/><key>\xc2\xb3\xab\xab</key><true/>"),
                             std::string("<key>a</key><string>\xff\xfe</string>")}) {
        std::vector<uint8_t> file = bytesOf(xmlList(body));
        ASSERT_EQ(PropertyList::parse(file), nullptr);
        std::vector<uint8_t> out;
        EXPECT_FALSE(PropertyList::setValueForKey(file, "HIDAPPS-a", NSNumber::numberWithBool(true).get(), out));
        EXPECT_TRUE(out.empty());

        TempDir root;
        DevicePaths::setRoot(root.path());
        const std::string path = "/var/mobile/Library/Preferences/odd.plist";
        writeBytes(DevicePaths::map(path), file);
        // The preferences daemon counts a file it cannot read as empty, as
        // the phone's does: its write replaces the list with its own key.
        EXPECT_TRUE(
            NSUserDefaults::initWithSuiteName(path)->setObjectForKey(NSNumber::numberWithBool(true), "HIDAPPS-a"));
        auto written = std::dynamic_pointer_cast<NSDictionary>(PropertyList::readFile(DevicePaths::map(path)));
        ASSERT_TRUE(written);
        EXPECT_EQ(written->allKeys(), std::vector<std::string>{"HIDAPPS-a"});
    }
}

} // namespace
