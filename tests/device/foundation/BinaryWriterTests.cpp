// The binary writer: what it writes reads back the same through the
// device's reader, through libplist, and through an independent reader
// (python3's plistlib); equal scalars are written once; references widen
// with the number of objects.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>

#include "device/foundation/LibplistReference.h"
#include "device/foundation/PlistTestSupport.h"
#include "device/foundation/TempDir.h"
#include "foundation/PropertyList.h"

namespace {

using Bytes = std::vector<uint8_t>;

uint64_t trailerField(const Bytes& bytes, size_t at) {
    uint64_t v = 0;
    for (size_t i = 0; i < 8; ++i) v = (v << 8) | bytes[bytes.size() - 32 + at + i];
    return v;
}

id number(int64_t i) { return NSNumber::numberWithInteger(i); }

// One of everything, at the edges where the encoding changes.
std::shared_ptr<NSMutableDictionary> everything() {
    auto d = std::make_shared<NSMutableDictionary>();
    const int64_t ints[] = {0, 1, 255, 256, 65535, 65536, 4294967295LL, 4294967296LL, INT64_MAX, -1, -5, INT64_MIN};
    auto list = std::make_shared<NSMutableArray>();
    for (int64_t i : ints) list->addObject(number(i));
    d->setObjectForKey(list, "integers");
    d->setObjectForKey(NSNumber::numberWithUnsignedLongLong(UINT64_MAX), "huge");
    auto reals = std::make_shared<NSMutableArray>();
    for (double r : {0.25, 0.1, -0.0, 1e300, -3.5, 16777217.0}) reals->addObject(NSNumber::numberWithDouble(r));
    reals->addObject(NSNumber::numberWithFloat(203.5f));
    d->setObjectForKey(reals, "reals");
    d->setObjectForKey(NSNumber::numberWithBool(true), "yes");
    d->setObjectForKey(NSNumber::numberWithBool(false), "no");
    d->setObjectForKey(str(""), "empty");
    d->setObjectForKey(str("h\xc3\xa9llo \xe2\x9c\x93 \xf0\x9f\x98\x80"), "unicode");
    d->setObjectForKey(str(std::string(300, 'x')), "long");
    d->setObjectForKey(std::make_shared<NSData>(), "no bytes");
    d->setObjectForKey(std::make_shared<NSData>(Bytes{0, 1, 2, 255}), "bytes");
    d->setObjectForKey(std::make_shared<NSDate>(-0.5), "before 2001");
    d->setObjectForKey(std::make_shared<NSDate>(1e9 + 0.25), "later");
    auto nested = std::make_shared<NSMutableDictionary>();
    for (int i = 0; i < 20; ++i) nested->setObjectForKey(number(i), "k" + std::to_string(i));
    auto deep = std::make_shared<NSMutableArray>();
    deep->addObject(nested);
    deep->addObject(std::make_shared<NSMutableArray>());
    d->setObjectForKey(deep, "nested");
    d->setObjectForKey(str("\xc3\xa9t\xc3\xa9"), "\xc3\xa9t\xc3\xa9 key");
    return d;
}

// Tests that every kind of value comes back as it was through the
// device's reader and through libplist.
TEST(BinaryWriter, EveryValueReadsBack) {
    auto value = everything();
    Bytes bytes;
    ASSERT_TRUE(PropertyList::serialize(*value, PropertyListFormat::Binary, bytes));
    PropertyListFormat format = PropertyListFormat::XML;
    id direct = PropertyList::parse(bytes, &format);
    EXPECT_EQ(format, PropertyListFormat::Binary);
    EXPECT_TRUE(plistEqual(direct.get(), value.get())) << (direct ? direct->description() : "nil");
    id viaLibplist = parseThroughLibplist(bytes);
    EXPECT_TRUE(plistEqual(viaLibplist.get(), value.get())) << (viaLibplist ? viaLibplist->description() : "nil");
}

// Tests the file with an independent reader: python3's plistlib.
TEST(BinaryWriter, PythonReadsIt) {
    if (std::system("python3 -c 'import plistlib' >/dev/null 2>&1") != 0) GTEST_SKIP() << "python3 is missing";
    TempDir dir;
    Bytes bytes;
    ASSERT_TRUE(PropertyList::serialize(*everything(), PropertyListFormat::Binary, bytes));
    writeBytes(dir / "w.plist", bytes);
    std::string script = dir / "check.py";
    writeText(script, R"(import plistlib, sys, datetime
d = plistlib.load(open(sys.argv[1], "rb"))
assert d["integers"] == [0, 1, 255, 256, 65535, 65536, 4294967295, 4294967296, 2**63 - 1, -1, -5, -2**63], d["integers"]
assert d["huge"] == 2**64 - 1
assert d["reals"][:2] == [0.25, 0.1] and d["reals"][6] == 203.5
assert d["yes"] is True and d["no"] is False
assert d["unicode"] == "h\u00e9llo \u2713 \U0001F600" and d["long"] == "x" * 300
assert d["bytes"] == b"\x00\x01\x02\xff" and d["no bytes"] == b""
assert d["nested"][0]["k19"] == 19 and d["nested"][1] == []
assert d["\u00e9t\u00e9 key"] == "\u00e9t\u00e9"
assert list(d) == sorted(d, key=lambda k: k.encode()), list(d)
)");
    EXPECT_EQ(std::system(("python3 " + script + " " + (dir / "w.plist")).c_str()), 0);
}

// Tests that equal scalars are written once: 1,000 keys with the same
// value and the same text make one value object and one text object.
TEST(BinaryWriter, EqualScalarsAreWrittenOnce) {
    auto d = std::make_shared<NSMutableDictionary>();
    auto a = std::make_shared<NSMutableArray>();
    for (int i = 0; i < 1000; ++i) {
        d->setObjectForKey(NSNumber::numberWithBool(true), "key" + std::to_string(i));
        a->addObject(str("same"));
    }
    d->setObjectForKey(a, "list");
    Bytes bytes;
    ASSERT_TRUE(PropertyList::serialize(*d, PropertyListFormat::Binary, bytes));
    // The root, 1,001 keys, true, the list and "same".
    EXPECT_EQ(trailerField(bytes, 8), 1u + 1001u + 1u + 1u + 1u);
    EXPECT_TRUE(plistEqual(PropertyList::parse(bytes).get(), d.get()));
}

// Tests that references widen past 65,535 objects, and that such a list
// reads back whole.
TEST(BinaryWriter, ReferencesWidenWithTheObjects) {
    auto a = std::make_shared<NSMutableArray>();
    for (int i = 0; i < 70000; ++i) a->addObject(number(i * 3));
    Bytes bytes;
    ASSERT_TRUE(PropertyList::serialize(*a, PropertyListFormat::Binary, bytes));
    EXPECT_EQ(bytes[bytes.size() - 32 + 7], 4u) << "reference size";
    auto back = std::dynamic_pointer_cast<NSArray>(PropertyList::parse(bytes));
    ASSERT_NE(back, nullptr);
    ASSERT_EQ(back->count(), 70000u);
    EXPECT_EQ(readInteger(back->items()[69999].get()), 69999 * 3);
    EXPECT_TRUE(plistEqual(parseThroughLibplist(bytes).get(), a.get()));
}

} // namespace
