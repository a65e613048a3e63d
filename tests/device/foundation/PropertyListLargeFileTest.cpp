#include <gtest/gtest.h>

#include "foundation/PropertyList.h"

namespace {

// Tests that a binary file past 64 KiB, where libplist writes 3-byte
// offsets, reads back whole, its keys in sorted order.
TEST(PropertyListLargeFile, ThreeByteOffsetsRoundTrip) {
    NSMutableDictionary dict;
    for (int i = 0; i < 5000; ++i) dict.setObjectForKey(NSNumber::numberWithBool(i % 2 == 0), "POSAPPS-app" + std::to_string(i));
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(PropertyList::serialize(dict, PropertyListFormat::Binary, bytes));
    ASSERT_GT(bytes.size(), 65536u);
    auto back = std::dynamic_pointer_cast<NSDictionary>(PropertyList::parse(bytes));
    ASSERT_TRUE(back);
    ASSERT_EQ(back->count(), 5000u);
    EXPECT_EQ(back->allKeys().front(), "POSAPPS-app0");
    EXPECT_EQ(back->allKeys().back(), "POSAPPS-app999");
    EXPECT_EQ(readBool(back->objectForKey("POSAPPS-app4998").get()), true);
    EXPECT_EQ(readBool(back->objectForKey("POSAPPS-app4999").get()), false);
}

} // namespace
