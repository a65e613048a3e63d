// Property lists: round trips in both formats, files made by other writers,
// and hostile inputs that must give nil without crashing.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>

#include "device/foundation/PlistTestSupport.h"
#include "device/foundation/TempDir.h"
#include "foundation/DevicePaths.h"
#include "foundation/PropertyList.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes toBytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

std::shared_ptr<NSMutableDictionary> everyType() {
    auto inner = std::make_shared<NSMutableDictionary>();
    inner->setObjectForKey(str("deep"), "leaf");
    inner->setObjectForKey(std::make_shared<NSMutableArray>(), "emptyArray");
    auto array = std::make_shared<NSMutableArray>();
    array->addObject(NSNumber::numberWithInteger(1));
    array->addObject(str("two"));
    array->addObject(inner);
    array->addObject(std::make_shared<NSMutableDictionary>());

    auto d = std::make_shared<NSMutableDictionary>();
    d->setObjectForKey(str("plain"), "zString");
    d->setObjectForKey(str("héllo wörld ✓ 😀 日本語"), "unicode");
    d->setObjectForKey(str(""), "empty");
    d->setObjectForKey(NSNumber::numberWithBool(true), "yes");
    d->setObjectForKey(NSNumber::numberWithBool(false), "no");
    d->setObjectForKey(NSNumber::numberWithInteger(0), "zero");
    d->setObjectForKey(NSNumber::numberWithInteger(-5), "negative");
    d->setObjectForKey(NSNumber::numberWithInteger(INT64_MIN), "min");
    d->setObjectForKey(NSNumber::numberWithInteger(INT64_MAX), "max");
    d->setObjectForKey(NSNumber::numberWithUnsignedLongLong(UINT64_MAX), "huge");
    d->setObjectForKey(NSNumber::numberWithUnsignedLongLong(uint64_t{1} << 63), "twoTo63");
    d->setObjectForKey(NSNumber::numberWithDouble(0.1), "double");
    d->setObjectForKey(NSNumber::numberWithDouble(-1.5e300), "bigDouble");
    d->setObjectForKey(NSNumber::numberWithDouble(3.0), "wholeDouble");
    d->setObjectForKey(std::make_shared<NSData>(Bytes{0, 1, 2, 255, 0}), "data");
    d->setObjectForKey(std::make_shared<NSData>(), "emptyData");
    d->setObjectForKey(std::make_shared<NSDate>(-86400.0 * 365), "date");
    d->setObjectForKey(array, "array");
    d->setObjectForKey(std::make_shared<NSMutableDictionary>(), "emptyDict");
    d->setObjectForKey(str("ключ"), "ключ ✓");
    return d;
}

id roundTrip(const NSObject& value, PropertyListFormat format) {
    Bytes bytes;
    if (!PropertyList::serialize(value, format, bytes)) return nullptr;
    PropertyListFormat found = format == PropertyListFormat::XML ? PropertyListFormat::Binary : PropertyListFormat::XML;
    id back = PropertyList::parse(bytes, &found);
    EXPECT_EQ(found, format);
    return back;
}

std::string nested(const std::string& open, const std::string& close, int depth, const std::string& leaf = "") {
    std::string s;
    for (int i = 0; i < depth; ++i) s += open;
    s += leaf;
    for (int i = 0; i < depth; ++i) s += close;
    return s;
}

std::string xmlDocument(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n<plist version=\"1.0\">" +
           body + "</plist>";
}

// A chain of `depth` arrays, each holding the next; the innermost is empty.
Bytes binaryNesting(int depth) {
    BinaryPlistBuilder b;
    b.setRefSize(depth < 256 ? 1 : 2);
    for (int i = 0; i < depth; ++i) b.reserve();
    for (int i = 0; i < depth - 1; ++i) b.set(i, b.array({static_cast<uint64_t>(i + 1)}));
    b.set(depth - 1, b.array({}));
    return b.build(0);
}

class PropertyListFormats : public ::testing::TestWithParam<PropertyListFormat> {};

} // namespace

// Tests that every property-list type survives writing and reading, with
// the dictionary keys in their original order.
TEST_P(PropertyListFormats, RoundTripsEveryType) {
    auto original = everyType();
    id back = roundTrip(*original, GetParam());
    ASSERT_TRUE(back);
    EXPECT_TRUE(plistEqual(original.get(), back.get())) << back->description();
    auto dict = std::dynamic_pointer_cast<NSMutableDictionary>(back);
    ASSERT_TRUE(dict) << "dictionaries read back mutable";
    EXPECT_EQ(dict->allKeys(), original->allKeys());
    EXPECT_TRUE(std::dynamic_pointer_cast<NSMutableArray>(dict->objectForKey("array")));
}

// Tests that negative and huge integers keep their sign and magnitude.
TEST_P(PropertyListFormats, IntegersKeepTheirSign) {
    auto back = std::dynamic_pointer_cast<NSDictionary>(roundTrip(*everyType(), GetParam()));
    ASSERT_TRUE(back);
    auto number = [&](const char* key) { return std::dynamic_pointer_cast<NSNumber>(back->objectForKey(key)); };
    EXPECT_EQ(number("negative")->integerValue(), -5);
    EXPECT_EQ(number("negative")->kind(), NSNumber::Kind::Integer);
    EXPECT_EQ(number("min")->integerValue(), INT64_MIN);
    EXPECT_EQ(number("max")->integerValue(), INT64_MAX);
    EXPECT_EQ(number("huge")->kind(), NSNumber::Kind::Unsigned);
    EXPECT_EQ(number("huge")->unsignedLongLongValue(), UINT64_MAX);
    EXPECT_GT(number("huge")->doubleValue(), 1e19);
    EXPECT_EQ(number("twoTo63")->unsignedLongLongValue(), uint64_t{1} << 63);
    EXPECT_EQ(number("yes")->kind(), NSNumber::Kind::Bool);
}

// Tests that a single-precision number reads back as the float's value and a
// double as the double's: 0.1f and 0.1 differ.
TEST_P(PropertyListFormats, FloatAndDoubleStayApart) {
    auto d = std::make_shared<NSMutableDictionary>();
    d->setObjectForKey(NSNumber::numberWithFloat(0.1f), "f");
    d->setObjectForKey(NSNumber::numberWithDouble(0.1), "d");
    d->setObjectForKey(NSNumber::numberWithFloat(123.456f), "g");
    auto back = std::dynamic_pointer_cast<NSDictionary>(roundTrip(*d, GetParam()));
    ASSERT_TRUE(back);
    auto f = std::dynamic_pointer_cast<NSNumber>(back->objectForKey("f"));
    auto g = std::dynamic_pointer_cast<NSNumber>(back->objectForKey("g"));
    auto dbl = std::dynamic_pointer_cast<NSNumber>(back->objectForKey("d"));
    EXPECT_EQ(f->doubleValue(), static_cast<double>(0.1f));
    EXPECT_EQ(f->floatValue(), 0.1f);
    EXPECT_EQ(g->doubleValue(), static_cast<double>(123.456f));
    EXPECT_EQ(dbl->doubleValue(), 0.1);
    EXPECT_NE(f->doubleValue(), dbl->doubleValue());
}

// Tests that key order survives in a dictionary large enough for libplist
// to index it, with keys in reverse alphabetical order.
TEST_P(PropertyListFormats, KeyOrderOfLargeDictionaries) {
    auto d = std::make_shared<NSMutableDictionary>();
    for (int i = 999; i >= 0; --i) {
        char key[16];
        std::snprintf(key, sizeof key, "k%04d", i);
        d->setObjectForKey(NSNumber::numberWithInteger(i), key);
    }
    auto back = std::dynamic_pointer_cast<NSDictionary>(roundTrip(*d, GetParam()));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->allKeys(), d->allKeys());
}

// Tests that empty containers, also at the root, round-trip.
TEST_P(PropertyListFormats, EmptyRoots) {
    NSMutableDictionary emptyDict;
    NSMutableArray emptyArray;
    auto d = std::dynamic_pointer_cast<NSDictionary>(roundTrip(emptyDict, GetParam()));
    ASSERT_TRUE(d);
    EXPECT_EQ(d->count(), 0u);
    auto a = std::dynamic_pointer_cast<NSArray>(roundTrip(emptyArray, GetParam()));
    ASSERT_TRUE(a);
    EXPECT_EQ(a->count(), 0u);
    auto s = std::dynamic_pointer_cast<NSString>(roundTrip(NSString("just a string"), GetParam()));
    ASSERT_TRUE(s);
    EXPECT_EQ(s->UTF8String(), "just a string");
}

// Tests that values with no property-list form are refused instead of being
// written partly.
TEST_P(PropertyListFormats, UnserialisableValuesAreRefused) {
    Bytes out;
    auto withNull = std::make_shared<NSMutableDictionary>();
    withNull->setObjectForKey(NSNull::null(), "null");
    EXPECT_FALSE(PropertyList::serialize(*withNull, GetParam(), out));
    EXPECT_TRUE(out.empty());

    EXPECT_FALSE(PropertyList::serialize(NSObject(), GetParam(), out));
    EXPECT_FALSE(PropertyList::serialize(NSArray(std::vector<id>{str("a"), nullptr}), GetParam(), out));
    EXPECT_FALSE(PropertyList::serialize(NSString(std::string("a\0b", 3)), GetParam(), out));
    EXPECT_FALSE(PropertyList::serialize(NSString("\xff\xfe"), GetParam(), out));
    EXPECT_FALSE(PropertyList::serialize(NSDate(NAN), GetParam(), out));
    EXPECT_FALSE(PropertyList::serialize(NSDate(INFINITY), GetParam(), out));

    // A container that holds itself ends at the depth limit, not in a crash.
    auto loop = std::make_shared<NSMutableArray>();
    loop->addObject(loop);
    EXPECT_FALSE(PropertyList::serialize(*loop, GetParam(), out));
    loop->removeAllObjects();
}

// Tests dates: binary keeps the exact seconds, before 2001 and far from it
// too; XML keeps whole seconds within the range it can read back and
// refuses dates beyond it rather than write something else.
TEST_P(PropertyListFormats, DatesRoundTrip) {
    bool binary = GetParam() == PropertyListFormat::Binary;
    for (double t : {0.0, 10.0, -13.0, 700000000.0, -978307200.0, 2147483000.0}) {
        auto back = std::dynamic_pointer_cast<NSDate>(roundTrip(NSDate(t), GetParam()));
        ASSERT_TRUE(back) << t;
        EXPECT_EQ(back->timeIntervalSinceReferenceDate(), t);
    }
    for (double t : {-13.25, 0.1234567891, -0.5, 1e-300, 1e12, -1e15}) {
        auto back = std::dynamic_pointer_cast<NSDate>(roundTrip(NSDate(t), GetParam()));
        if (binary) {
            ASSERT_TRUE(back) << t;
            EXPECT_EQ(back->timeIntervalSinceReferenceDate(), t);
        } else if (std::fabs(t) < 2e9) {
            ASSERT_TRUE(back) << t;
            EXPECT_NEAR(back->timeIntervalSinceReferenceDate(), t, 1.0);
        } else {
            EXPECT_FALSE(back) << t;
        }
    }
}

// Tests the nesting limit at its edge: maxDepth levels parse, one more does
// not.
TEST_P(PropertyListFormats, NestingLimitEdge) {
    const int limit = PropertyListLimits::maxDepth;
    auto build = [](int depth) {
        auto root = std::make_shared<NSMutableArray>();
        auto cur = root;
        for (int i = 1; i < depth; ++i) {
            auto next = std::make_shared<NSMutableArray>();
            cur->addObject(next);
            cur = next;
        }
        return root;
    };
    Bytes bytes;
    ASSERT_TRUE(PropertyList::serialize(*build(limit), GetParam(), bytes));
    EXPECT_TRUE(PropertyList::parse(bytes));
    EXPECT_FALSE(PropertyList::serialize(*build(limit + 1), GetParam(), bytes));
}

INSTANTIATE_TEST_SUITE_P(BothFormats, PropertyListFormats,
                         ::testing::Values(PropertyListFormat::Binary, PropertyListFormat::XML),
                         [](const auto& info) { return info.param == PropertyListFormat::Binary ? "Binary" : "XML"; });

// Tests reading a hand-written XML list, as another writer would make it.
TEST(PropertyListXML, ReadsHandWrittenXML) {
    std::string xml = xmlDocument(R"(
  <!-- a comment with <dict> inside -->
  <dict>
    <key>b</key><true/>
    <key>a</key><integer>-5</integer>
    <key>r</key><real>0.5</real>
    <key>big</key><integer>18446744073709551615</integer>
    <key>s</key><string>x &lt; y &amp; &#x263A;</string>
    <key>cdata</key><string><![CDATA[<dict><dict>]]></string>
    <key>d</key><data>AAEC/w==</data>
    <key>t</key><date>2001-01-01T00:00:10Z</date>
    <key>e</key><dict/>
    <key>arr</key><array><false/><array/></array>
  </dict>)");
    PropertyListFormat format = PropertyListFormat::Binary;
    auto d = std::dynamic_pointer_cast<NSDictionary>(PropertyList::parse(toBytes(xml), &format));
    ASSERT_TRUE(d);
    EXPECT_EQ(format, PropertyListFormat::XML);
    // The file's order is not the dictionary's: its keys come sorted.
    EXPECT_EQ(d->allKeys(), (std::vector<std::string>{"a", "arr", "b", "big", "cdata", "d", "e", "r", "s", "t"}));
    EXPECT_EQ(std::dynamic_pointer_cast<NSNumber>(d->objectForKey("b"))->kind(), NSNumber::Kind::Bool);
    EXPECT_EQ(std::dynamic_pointer_cast<NSNumber>(d->objectForKey("a"))->integerValue(), -5);
    EXPECT_EQ(std::dynamic_pointer_cast<NSNumber>(d->objectForKey("r"))->doubleValue(), 0.5);
    EXPECT_EQ(std::dynamic_pointer_cast<NSNumber>(d->objectForKey("big"))->unsignedLongLongValue(), UINT64_MAX);
    EXPECT_EQ(std::dynamic_pointer_cast<NSString>(d->objectForKey("s"))->UTF8String(), "x < y & \xE2\x98\xBA");
    EXPECT_EQ(std::dynamic_pointer_cast<NSString>(d->objectForKey("cdata"))->UTF8String(), "<dict><dict>");
    EXPECT_EQ(std::dynamic_pointer_cast<NSData>(d->objectForKey("d"))->bytes(), (Bytes{0, 1, 2, 255}));
    EXPECT_EQ(std::dynamic_pointer_cast<NSDate>(d->objectForKey("t"))->timeIntervalSinceReferenceDate(), 10.0);
    EXPECT_EQ(std::dynamic_pointer_cast<NSDictionary>(d->objectForKey("e"))->count(), 0u);
    EXPECT_EQ(std::dynamic_pointer_cast<NSArray>(d->objectForKey("arr"))->count(), 2u);
}

// Tests that deep XML nesting is refused before parsing, whether arrays,
// dictionaries or a mix, while nesting hidden in comments or made of
// self-closing elements is not nesting at all.
TEST(PropertyListXML, DeepNestingIsRefused) {
    EXPECT_FALSE(PropertyList::parse(toBytes(xmlDocument(nested("<array>", "</array>", 10000)))));
    EXPECT_FALSE(PropertyList::parse(
        toBytes(xmlDocument(nested("<dict><key>k</key>", "</dict>", 10000, "<string>x</string>")))));
    EXPECT_FALSE(PropertyList::parse(toBytes(xmlDocument(nested("<array><dict><key>k</key>", "</dict></array>", 70, "<true/>")))));
    // Unbalanced: opened 10000 times, never closed.
    EXPECT_FALSE(PropertyList::parse(toBytes(xmlDocument(nested("<array>", "", 10000)))));
    // Stray end tags first must not buy extra depth.
    EXPECT_FALSE(PropertyList::parse(
        toBytes(xmlDocument(nested("</array>", "", 50) + nested("<array>", "</array>", 150)))));

    const int limit = PropertyListLimits::maxDepth;
    EXPECT_TRUE(PropertyList::parse(toBytes(xmlDocument(nested("<array>", "</array>", limit)))));
    EXPECT_FALSE(PropertyList::parse(toBytes(xmlDocument(nested("<array>", "</array>", limit + 1)))));
    EXPECT_TRUE(PropertyList::parse(toBytes(
        xmlDocument("<!--" + nested("<array>", "</array>", 10000) + "-->" + nested("<array>", "</array>", 3)))));
    // An element's name ends at any XML space: "<array\t>" opens a level
    // like "<array>", and a file deep enough to overflow a parser's stack
    // is refused whatever the spacing of its tags.
    for (const char* space : {" ", "\t", "\r", "\n"}) {
        const std::string open = std::string("<array") + space + ">";
        EXPECT_FALSE(PropertyList::parse(toBytes(xmlDocument(nested(open, "</array>", 300000))))) << int(*space);
        EXPECT_FALSE(PropertyList::parse(toBytes(xmlDocument(nested(open, "</array>", limit + 1))))) << int(*space);
        EXPECT_TRUE(PropertyList::parse(toBytes(xmlDocument(nested(open, "</array>", limit))))) << int(*space);
    }
    // Markup inside text is text, also in the second of two CDATA sections
    // (the way a writer puts "]]>" into one).
    const std::string tags = nested("<array>", "", limit + 1);
    auto split = std::dynamic_pointer_cast<NSString>(
        PropertyList::parse(toBytes(xmlDocument("<string><![CDATA[]]]]><![CDATA[>" + tags + "]]></string>"))));
    ASSERT_TRUE(split);
    EXPECT_EQ(split->UTF8String(), "]]>" + tags);
    std::string flat = "<array>";
    for (int i = 0; i < 10000; ++i) flat += i % 2 ? "<dict/>" : "<array />";
    auto a = std::dynamic_pointer_cast<NSArray>(PropertyList::parse(toBytes(xmlDocument(flat + "</array>"))));
    ASSERT_TRUE(a);
    EXPECT_EQ(a->count(), 10000u);
}

// Tests that malformed XML of every sort gives nil.
TEST(PropertyListXML, MalformedXMLGivesNil) {
    std::string good = xmlDocument("<dict><key>a</key><string>b</string><key>n</key><integer>1</integer></dict>");
    ASSERT_TRUE(PropertyList::parse(toBytes(good)));
    for (size_t n = 0; n < good.size(); ++n) {
        Bytes prefix(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n));
        EXPECT_FALSE(PropertyList::parse(prefix)) << "prefix of " << n << " bytes";
    }
    for (const char* bad :
         {"", "not a plist", "<plist>", "<plist><dict><key>a</key></plist>", "<plist><integer>12x</integer></plist>",
          "<!-- unterminated", "<![CDATA[ open", "<plist><string>\xff\xfe</string></plist>",
          "<plist><dict><key>k</key><array></dict></plist>", "<plist><true/></plist>trailing", "<plist><true/>",
          "<plist><dict><key>a</key><true/></dict><? never closed </plist>"}) {
        EXPECT_FALSE(std::dynamic_pointer_cast<NSDictionary>(PropertyList::parse(toBytes(bad)))) << bad;
    }
}

// Tests reading binary lists made byte by byte: negative integers stored as
// 8-byte two's complement, a 16-byte unsigned integer, small unsigned
// widths, UTF-16 text, a shared object referenced twice, and a UID.
TEST(PropertyListBinary, ReadsHandMadeBinary) {
    BinaryPlistBuilder b;
    size_t kNeg = b.add(b.ascii("neg"));
    size_t neg = b.add(b.integer8(static_cast<uint64_t>(-5)));
    size_t kHuge = b.add(b.ascii("huge"));
    size_t huge = b.add(b.integer16(0, UINT64_MAX));
    size_t kByte = b.add(b.ascii("byte"));
    size_t byte = b.add({0x10, 200});
    size_t kText = b.add(b.utf16({0x0068, 0x00E9}));  // "hé" as a key
    size_t text = b.add(b.utf16({0xD83D, 0xDE00}));   // U+1F600 as a surrogate pair
    size_t kShared = b.add(b.ascii("shared"));
    size_t shared = b.add(b.ascii("same"));
    size_t pair = b.add(b.array({shared, shared}));
    size_t kUid = b.add(b.ascii("uid"));
    size_t uid = b.add({0x80, 7});
    size_t root = b.add(b.dict({kNeg, kHuge, kByte, kText, kShared, kUid}, {neg, huge, byte, text, pair, uid}));
    auto d = std::dynamic_pointer_cast<NSDictionary>(PropertyList::parse(b.build(root)));
    ASSERT_TRUE(d);
    EXPECT_EQ(std::dynamic_pointer_cast<NSNumber>(d->objectForKey("neg"))->integerValue(), -5);
    auto h = std::dynamic_pointer_cast<NSNumber>(d->objectForKey("huge"));
    EXPECT_EQ(h->kind(), NSNumber::Kind::Unsigned);
    EXPECT_EQ(h->unsignedLongLongValue(), UINT64_MAX);
    EXPECT_EQ(std::dynamic_pointer_cast<NSNumber>(d->objectForKey("byte"))->integerValue(), 200);
    EXPECT_EQ(std::dynamic_pointer_cast<NSString>(d->objectForKey("h\xC3\xA9"))->UTF8String(), "\xF0\x9F\x98\x80");
    EXPECT_EQ(std::dynamic_pointer_cast<NSArray>(d->objectForKey("shared"))->count(), 2u);
    EXPECT_TRUE(std::dynamic_pointer_cast<NSNull>(d->objectForKey("uid")));
    EXPECT_EQ(d->allKeys(), (std::vector<std::string>{"byte", "huge", "h\xC3\xA9", "neg", "shared", "uid"}));
}

// Tests that deep binary nesting is refused, at 10000 levels and just past
// the limit, and accepted at the limit.
TEST(PropertyListBinary, DeepNestingIsRefused) {
    EXPECT_FALSE(PropertyList::parse(binaryNesting(10000)));
    EXPECT_FALSE(PropertyList::parse(binaryNesting(PropertyListLimits::maxDepth + 1)));
    EXPECT_TRUE(PropertyList::parse(binaryNesting(PropertyListLimits::maxDepth)));
}

// Tests that reference cycles, which would never end, are refused.
TEST(PropertyListBinary, CyclesAreRefused) {
    {
        BinaryPlistBuilder b;
        b.add(b.array({0}));
        EXPECT_FALSE(PropertyList::parse(b.build(0))) << "an array holding itself";
    }
    {
        BinaryPlistBuilder b;
        b.add(b.array({1}));
        b.add(b.array({2}));
        b.add(b.array({0}));
        EXPECT_FALSE(PropertyList::parse(b.build(0))) << "a cycle of three";
    }
    {
        BinaryPlistBuilder b;
        size_t key = b.add(b.ascii("k"));
        size_t root = b.reserve();
        size_t inner = b.add(b.array({root}));
        b.set(root, b.dict({key}, {inner}));
        EXPECT_FALSE(PropertyList::parse(b.build(root))) << "a dictionary value reaching its ancestor";
    }
}

// Tests that shared references multiplying into a huge tree are refused
// quickly instead of being expanded.
TEST(PropertyListBinary, ExponentialSharingIsRefused) {
    BinaryPlistBuilder b;
    const int levels = 64;
    for (int i = 0; i < levels; ++i) b.reserve();
    for (int i = 0; i < levels - 1; ++i) b.set(i, b.array({static_cast<uint64_t>(i + 1), static_cast<uint64_t>(i + 1)}));
    b.set(levels - 1, b.ascii("x"));
    EXPECT_FALSE(PropertyList::parse(b.build(0)));
}

// Tests that offsets, references and lengths pointing outside the file, and
// markers libplist would misread, give nil.
TEST(PropertyListBinary, BrokenStructureGivesNil) {
    BinaryPlistBuilder b;
    size_t key = b.add(b.ascii("key"));
    size_t value = b.add(b.ascii("value"));
    size_t root = b.add(b.dict({key}, {value}));
    Bytes good = b.build(root);
    ASSERT_TRUE(PropertyList::parse(good));

    using T = BinaryPlistBuilder::Trailer;
    auto broken = [&](auto tweak) { return PropertyList::parse(b.build(root, tweak)); };
    EXPECT_FALSE(broken([](T& t) { t.top = t.numObjects; })) << "top object past the end";
    EXPECT_FALSE(broken([](T& t) { t.numObjects = 0; }));
    EXPECT_FALSE(broken([](T& t) { t.numObjects = UINT64_MAX; })) << "object count overflowing the table";
    EXPECT_FALSE(broken([](T& t) { t.numObjects += 1; })) << "offset table running into the trailer";
    EXPECT_FALSE(broken([](T& t) { t.tableOffset = 1u << 30; })) << "offset table past the end";
    EXPECT_FALSE(broken([](T& t) { t.tableOffset = 4; })) << "offset table inside the header";
    EXPECT_FALSE(broken([](T& t) { t.offsetSize = 9; }));
    EXPECT_FALSE(broken([](T& t) { t.offsetSize = 0; }));
    EXPECT_FALSE(broken([](T& t) { t.refSize = 0; }));
    EXPECT_FALSE(broken([](T& t) { t.refSize = 16; }));

    // An object offset pointing into the offset table.
    Bytes bad = good;
    std::vector<uint64_t> offsets;
    b.build(root, [](T&) {}, &offsets);
    size_t tableStart = bad.size() - 32 - offsets.size();
    bad[tableStart + 1] = static_cast<uint8_t>(tableStart);
    EXPECT_FALSE(PropertyList::parse(bad));
    bad = good;
    bad[tableStart] = 3; // inside the header
    EXPECT_FALSE(PropertyList::parse(bad));

    // References past the object count, lengths past the object area.
    auto single = [](Bytes object) {
        BinaryPlistBuilder one;
        size_t i = one.add(std::move(object));
        return PropertyList::parse(one.build(i));
    };
    EXPECT_FALSE(single({0xA1, 0x05}));
    EXPECT_FALSE(single({0x5F, 0x13, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 'a'}));
    EXPECT_FALSE(single({0x4F, 0x10, 0x40, 'a'}));
    EXPECT_FALSE(single({0x55, 'a', 'b'}));
    EXPECT_FALSE(single({0x4F, 0x14, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 'a'})) << "16-byte length";
    EXPECT_FALSE(single({0x00})) << "null marker";
    EXPECT_FALSE(single({0x0F})) << "fill marker";
    EXPECT_FALSE(single({0x13, 1, 2})) << "integer cut short";
    EXPECT_FALSE(single({0x15, 1})) << "32-byte integer";
    EXPECT_FALSE(single({0x21, 1, 2})) << "two-byte real";
    EXPECT_FALSE(single({0x52, 'a', 0xFF})) << "non-ASCII byte in an ASCII string";
    EXPECT_FALSE(single(BinaryPlistBuilder::utf16({0x0061, 0xD800}))) << "lone high surrogate";
    EXPECT_FALSE(single(BinaryPlistBuilder::utf16({0xDC00, 0x0061}))) << "lone low surrogate";
    EXPECT_FALSE(single({0xC1, 0x00})) << "set marker";
    EXPECT_FALSE(single({0x71, 'a'})) << "UTF-8 string marker";
    EXPECT_TRUE(single({0x51, 'a'}));

    // A dictionary key that is not a string.
    BinaryPlistBuilder k;
    size_t intKey = k.add(k.integer8(1));
    size_t v = k.add(k.ascii("v"));
    size_t d = k.add(k.dict({intKey}, {v}));
    EXPECT_FALSE(PropertyList::parse(k.build(d)));
    EXPECT_FALSE(PropertyList::parse(toBytes("bplist00"))) << "header alone";
    EXPECT_FALSE(PropertyList::parse(toBytes("bplist01" + std::string(40, '\0')))) << "unknown version";
}

// Tests every truncation of a valid binary file, and a few thousand random
// corruptions of it: never a crash, and whatever parses re-serialises.
TEST(PropertyListBinary, TruncatedAndCorruptedFilesNeverCrash) {
    Bytes good;
    ASSERT_TRUE(PropertyList::serialize(*everyType(), PropertyListFormat::Binary, good));
    for (size_t n = 0; n < good.size(); ++n) {
        Bytes prefix(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n));
        EXPECT_FALSE(PropertyList::parse(prefix)) << "prefix of " << n << " bytes";
    }
    std::mt19937 rng(12345);
    int parsed = 0;
    for (int round = 0; round < 3000; ++round) {
        Bytes mutated = good;
        int flips = 1 + static_cast<int>(rng() % 4);
        for (int i = 0; i < flips; ++i) mutated[8 + rng() % (mutated.size() - 8)] = static_cast<uint8_t>(rng());
        id value = PropertyList::parse(mutated);
        if (!value) continue;
        ++parsed;
        Bytes again;
        if (PropertyList::serialize(*value, PropertyListFormat::Binary, again)) {
            id reread = PropertyList::parse(again);
            EXPECT_TRUE(plistEqual(value.get(), reread.get())) << value->description() << "\n"
                                                               << (reread ? reread->description() : "nil");
        }
    }
    // Most single-byte changes in string data still give a valid list.
    EXPECT_GT(parsed, 0);
}

// Tests a few thousand random corruptions of a valid XML file, bytes
// changed, dropped or copied from markup: never a crash, and whatever parses
// re-serialises.
TEST(PropertyListXML, CorruptedFilesNeverCrash) {
    Bytes good;
    ASSERT_TRUE(PropertyList::serialize(*everyType(), PropertyListFormat::XML, good));
    const std::string alphabet = "<>/&#;x0123456789abcdefABCDEF-+.:TZ \n!?[]dictarraykeystringintegerrealdatedatatruefalse";
    std::mt19937 rng(54321);
    int parsed = 0;
    for (int round = 0; round < 3000; ++round) {
        Bytes mutated = good;
        int edits = 1 + static_cast<int>(rng() % 4);
        for (int i = 0; i < edits; ++i) {
            size_t at = rng() % mutated.size();
            switch (rng() % 3) {
            case 0: mutated[at] = static_cast<uint8_t>(alphabet[rng() % alphabet.size()]); break;
            case 1: mutated.erase(mutated.begin() + static_cast<std::ptrdiff_t>(at)); break;
            default: mutated.insert(mutated.begin() + static_cast<std::ptrdiff_t>(at), mutated[rng() % mutated.size()]);
            }
        }
        id value = PropertyList::parse(mutated);
        if (!value) continue;
        ++parsed;
        Bytes again;
        if (PropertyList::serialize(*value, PropertyListFormat::XML, again)) {
            id reread = PropertyList::parse(again);
            EXPECT_TRUE(plistEqual(value.get(), reread.get()));
        }
    }
    EXPECT_GT(parsed, 0);
}

// Tests that a NUL inside a string, which libplist would cut short (and
// aborts on in a key), is refused in both formats.
TEST(PropertyListLimitsTest, NulInStringsIsRefused) {
    EXPECT_FALSE(PropertyList::parse(toBytes(xmlDocument("<dict><key>a&#0;b</key><true/></dict>"))));
    EXPECT_FALSE(PropertyList::parse(toBytes(xmlDocument("<dict><key>a&#x000;b</key><true/></dict>"))));
    EXPECT_FALSE(PropertyList::parse(toBytes(xmlDocument("<array><string>a&#0;</string></array>"))));
    EXPECT_FALSE(PropertyList::parse(toBytes(xmlDocument(std::string("<dict><key>a\0b</key><true/></dict>", 34)))));
    EXPECT_TRUE(PropertyList::parse(toBytes(xmlDocument("<dict><key>a&#10;b&#x30;</key><true/></dict>"))));
    for (bool utf16 : {false, true}) {
        BinaryPlistBuilder b;
        size_t withNul = b.add(utf16 ? BinaryPlistBuilder::utf16({'a', 0, 'b'}) : Bytes{0x53, 'a', 0, 'b'});
        size_t value = b.add(b.ascii("v"));
        size_t asKey = b.add(b.dict({withNul}, {value}));
        size_t okKey = b.add(b.ascii("k"));
        size_t asValue = b.add(b.dict({okKey}, {withNul}));
        EXPECT_FALSE(PropertyList::parse(b.build(asKey))) << (utf16 ? "UTF-16 key" : "ASCII key");
        EXPECT_FALSE(PropertyList::parse(b.build(asValue))) << (utf16 ? "UTF-16 value" : "ASCII value");
        EXPECT_TRUE(PropertyList::parse(b.build(value)));
    }
}

// Tests the size cap: nothing larger than maxBytes is even looked at.
TEST(PropertyListLimitsTest, OversizedInputIsRefused) {
    std::string body = "<plist><string>";
    Bytes big(body.begin(), body.end());
    big.resize(PropertyListLimits::maxBytes + 1, 'a');
    std::string close = "</string></plist>";
    big.insert(big.end(), close.begin(), close.end());
    EXPECT_FALSE(PropertyList::parse(big));
    // A binary list just past the cap is refused too, well formed as it is.
    BinaryPlistBuilder b;
    Bytes data = BinaryPlistBuilder::withLength(0x4, PropertyListLimits::maxBytes - 40);
    data.resize(data.size() + PropertyListLimits::maxBytes - 40, 0x5A);
    const size_t top = b.add(std::move(data));
    const Bytes justOver = b.build(top);
    ASSERT_GT(justOver.size(), PropertyListLimits::maxBytes);
    EXPECT_FALSE(PropertyList::parse(justOver));
    // A dictionary of exactly the cap is read, and a merge may rewrite it
    // (here to take its one big value out).
    auto exactly = [](uint64_t dataLength) {
        BinaryPlistBuilder d;
        const size_t key = d.add(BinaryPlistBuilder::ascii("d"));
        Bytes blob = BinaryPlistBuilder::withLength(0x4, dataLength);
        blob.resize(blob.size() + dataLength, 0x5A);
        const size_t value = d.add(std::move(blob));
        return d.build(d.add(d.dict({key}, {value})));
    };
    const uint64_t guess = PropertyListLimits::maxBytes - 100;
    const Bytes atCap = exactly(guess + (PropertyListLimits::maxBytes - exactly(guess).size()));
    ASSERT_EQ(atCap.size(), PropertyListLimits::maxBytes);
    EXPECT_TRUE(PropertyList::parse(atCap));
    Bytes merged;
    ASSERT_TRUE(PropertyList::setValueForKey(atCap, "d", nullptr, merged));
    auto emptied = std::dynamic_pointer_cast<NSDictionary>(PropertyList::parse(merged));
    ASSERT_TRUE(emptied);
    EXPECT_EQ(emptied->count(), 0u);

    TempDir dir;
    std::string path = dir / "big.plist";
    {
        FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_TRUE(f);
        std::fseek(f, static_cast<long>(PropertyListLimits::maxBytes) + 10, SEEK_SET);
        std::fputc('x', f);
        std::fclose(f);
    }
    std::vector<uint8_t> bytes;
    EXPECT_EQ(PropertyList::readFileBytes(path, bytes), PropertyList::ReadResult::Unreadable);
    EXPECT_FALSE(PropertyList::readFile(path));
}

// Tests dictionaryWithContentsOfFile: a dictionary root only, through the
// device root, nil for anything else.
TEST(PropertyListFiles, DictionaryWithContentsOfFile) {
    TempDir root;
    DevicePaths::setRoot(root.path());
    Bytes bytes;
    ASSERT_TRUE(PropertyList::serialize(*everyType(), PropertyListFormat::Binary, bytes));
    writeBytes(root / "var/mobile/good.plist", bytes);
    ASSERT_TRUE(PropertyList::serialize(NSArray({str("a")}), PropertyListFormat::XML, bytes));
    writeBytes(root / "var/mobile/array.plist", bytes);
    writeText(root / "var/mobile/garbage.plist", "garbage");
    std::filesystem::create_directories(root / "var/mobile/dir.plist");

    auto d = dictionaryWithContentsOfFile("/var/mobile/good.plist");
    ASSERT_TRUE(d);
    EXPECT_TRUE(plistEqual(d.get(), everyType().get()));
    d->setObjectForKey(str("mutable"), "added");
    EXPECT_EQ(d->count(), everyType()->count() + 1);

    EXPECT_FALSE(dictionaryWithContentsOfFile("/var/mobile/array.plist")) << "root not a dictionary";
    EXPECT_TRUE(PropertyList::readFile(root / "var/mobile/array.plist"));
    EXPECT_FALSE(dictionaryWithContentsOfFile("/var/mobile/garbage.plist"));
    EXPECT_FALSE(dictionaryWithContentsOfFile("/var/mobile/dir.plist"));
    EXPECT_FALSE(dictionaryWithContentsOfFile("/var/mobile/missing.plist"));
    EXPECT_FALSE(dictionaryWithContentsOfFile("/var/mobile/../mobile/good.plist"));
    EXPECT_FALSE(dictionaryWithContentsOfFile("var/mobile/good.plist"));

    std::vector<uint8_t> raw;
    EXPECT_EQ(PropertyList::readFileBytes(root / "var/mobile/missing.plist", raw), PropertyList::ReadResult::Missing);
    EXPECT_EQ(PropertyList::readFileBytes(root / "var/mobile/dir.plist", raw), PropertyList::ReadResult::Unreadable);
    EXPECT_EQ(PropertyList::readFileBytes(root / "var/mobile/good.plist", raw), PropertyList::ReadResult::Ok);
    // A process started with no standard input (as a daemon may be) opens
    // its first file as descriptor 0, and reads it like any other.
    const std::string good = root / "var/mobile/good.plist";
    EXPECT_EXIT(
        {
            ::close(0);
            std::vector<uint8_t> again;
            const bool read = PropertyList::readFileBytes(good, again) == PropertyList::ReadResult::Ok;
            std::_Exit(read && again == raw ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

// Tests reading files written by an independent writer (python3's plistlib)
// in both formats.
TEST(PropertyListFiles, ReadsFilesWrittenByPython) {
    if (std::system("python3 -c 'import plistlib' >/dev/null 2>&1") != 0) GTEST_SKIP() << "python3 is missing";
    TempDir dir;
    std::string script = dir / "write.py";
    writeText(script, R"(import plistlib, sys, datetime
value = {"neg": -5, "huge": 2**64 - 1, "f": 0.25, "s": "héllo ✓", "b": True,
         "a": [1, "two", {}], "d": b"\x00\x01", "t": datetime.datetime(2001, 1, 1, 0, 0, 30)}
for fmt, name in ((plistlib.FMT_BINARY, "bin"), (plistlib.FMT_XML, "xml")):
    with open(sys.argv[1] + "/" + name + ".plist", "wb") as f:
        plistlib.dump(value, f, fmt=fmt, sort_keys=False)
)");
    ASSERT_EQ(std::system(("python3 " + script + " " + dir.path()).c_str()), 0);
    for (const char* name : {"bin", "xml"}) {
        PropertyListFormat format;
        auto d = std::dynamic_pointer_cast<NSDictionary>(PropertyList::readFile(dir / (std::string(name) + ".plist"), &format));
        ASSERT_TRUE(d) << name;
        EXPECT_EQ(format, std::string(name) == "bin" ? PropertyListFormat::Binary : PropertyListFormat::XML);
        EXPECT_EQ(d->allKeys(), (std::vector<std::string>{"a", "b", "d", "f", "huge", "neg", "s", "t"})) << name;
        EXPECT_EQ(std::dynamic_pointer_cast<NSNumber>(d->objectForKey("neg"))->integerValue(), -5) << name;
        EXPECT_EQ(std::dynamic_pointer_cast<NSNumber>(d->objectForKey("huge"))->unsignedLongLongValue(), UINT64_MAX)
            << name;
        EXPECT_EQ(std::dynamic_pointer_cast<NSNumber>(d->objectForKey("f"))->doubleValue(), 0.25) << name;
        EXPECT_EQ(std::dynamic_pointer_cast<NSString>(d->objectForKey("s"))->UTF8String(), "héllo ✓") << name;
        EXPECT_EQ(std::dynamic_pointer_cast<NSNumber>(d->objectForKey("b"))->kind(), NSNumber::Kind::Bool) << name;
        EXPECT_EQ(std::dynamic_pointer_cast<NSArray>(d->objectForKey("a"))->count(), 3u) << name;
        EXPECT_EQ(std::dynamic_pointer_cast<NSData>(d->objectForKey("d"))->bytes(), (Bytes{0, 1})) << name;
        EXPECT_EQ(std::dynamic_pointer_cast<NSDate>(d->objectForKey("t"))->timeIntervalSinceReferenceDate(), 30.0)
            << name;
    }
}
