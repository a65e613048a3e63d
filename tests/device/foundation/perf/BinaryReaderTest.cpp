// The direct reader of binary property lists against the reading through
// libplist's own tree that it replaced: for every file, good or broken, the
// two must agree on whether it reads and on every value it holds.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "../LibplistReference.h"
#include "../PlistTestSupport.h"
#include "foundation/PropertyList.h"
#include "foundation/plist/BinaryReader.h"
#include "foundation/plist/LibplistBridge.h"

namespace {

using Bytes = BinaryPlistBuilder::Bytes;

// The same value to the bit: a date that a broken byte turned into NaN
// equals itself.
bool sameValue(const NSObject* a, const NSObject* b) {
    return plistEqual(a, b, {PlistComparison::Numbers::SameKind, PlistComparison::Dates::SameBits});
}

// libplist's tree with every dictionary's keys once, each at its first
// place with its last value: what a reader sees of it.
plist_t withKeysOnce(plist_t node) {
    if (plist_get_node_type(node) == PLIST_ARRAY) {
        plist_t out = plist_new_array();
        propertylist::forEachItem(node, [&](plist_t item) {
            plist_array_append_item(out, withKeysOnce(item));
            return true;
        });
        return out;
    }
    if (plist_get_node_type(node) == PLIST_DICT) {
        plist_t out = plist_new_dict();
        propertylist::forEachEntry(node, [&](const char* key, plist_t value) {
            plist_dict_set_item(out, key, withKeysOnce(value));
            return true;
        });
        return out;
    }
    return plist_copy(node);
}

// The merge of keys reads a binary list into libplist's nodes with the
// device's reader: written back, that tree must give the bytes that
// libplist's own tree of the list gives, and it must exist exactly when
// the list reads.
::testing::AssertionResult treeWritesAlike(const Bytes& bytes) {
    propertylist::BinaryValidator file(bytes.data(), bytes.size());
    bool valid = file.validate();
    propertylist::PlistOwner tree = valid ? propertylist::readBinaryTree(file) : nullptr;
    if (static_cast<bool>(tree) != static_cast<bool>(PropertyList::parse(bytes)))
        return ::testing::AssertionFailure() << "the tree " << (tree ? "exists" : "is missing") << " where the list "
                                             << (tree ? "does not read" : "reads");
    if (!tree) return ::testing::AssertionSuccess();
    plist_t root = nullptr;
    plist_from_bin(reinterpret_cast<const char*>(bytes.data()), static_cast<uint32_t>(bytes.size()), &root);
    propertylist::PlistOwner libplist(root);
    if (!libplist) return ::testing::AssertionFailure() << "libplist does not read it";
    propertylist::PlistOwner reference(withKeysOnce(libplist.get()));
    std::vector<uint8_t> ours, theirs;
    bool wroteOurs = propertylist::writeTree(tree.get(), PropertyListFormat::Binary, ours);
    bool wroteTheirs = propertylist::writeTree(reference.get(), PropertyListFormat::Binary, theirs);
    if (wroteOurs != wroteTheirs || ours != theirs) return ::testing::AssertionFailure() << "written differently";
    return ::testing::AssertionSuccess();
}

// Both readings of bytes: nil for both, or equal values.
::testing::AssertionResult readsAlike(const Bytes& bytes) {
    PropertyListFormat direct = PropertyListFormat::XML, tree = PropertyListFormat::XML;
    id a = PropertyList::parse(bytes, &direct);
    id b = parseThroughLibplist(bytes, &tree);
    if (!a && !b) return ::testing::AssertionSuccess() << "both nil";
    if (!a || !b)
        return ::testing::AssertionFailure() << "direct " << (a ? a->description() : "nil") << ", libplist "
                                             << (b ? b->description() : "nil");
    if (!sameValue(a.get(), b.get()))
        return ::testing::AssertionFailure() << "direct " << a->description() << ", libplist " << b->description();
    if (direct != tree) return ::testing::AssertionFailure() << "formats differ";
    return ::testing::AssertionSuccess() << "equal";
}

Bytes marker(uint8_t byte, std::initializer_list<uint8_t> rest = {}) {
    // Element by element: GCC 12 at -O2 takes a range insert from an
    // initializer_list for an out-of-bounds copy (-Warray-bounds).
    Bytes out;
    out.reserve(1 + rest.size());
    out.push_back(byte);
    for (uint8_t b : rest) out.push_back(b);
    return out;
}

Bytes bigEndian(uint8_t marker, uint64_t v, int bytes) {
    Bytes out{marker};
    for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    return out;
}

Bytes real32(float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bigEndian(0x22, bits, 4);
}

Bytes real64(double d) {
    uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    return bigEndian(0x23, bits, 8);
}

Bytes date(double d) {
    Bytes out = real64(d);
    out[0] = 0x33;
    return out;
}

Bytes data(size_t n) {
    Bytes out = BinaryPlistBuilder::withLength(0x4, n);
    for (size_t i = 0; i < n; ++i) out.push_back(static_cast<uint8_t>(i * 37));
    return out;
}

// Every kind of object a binary list can hold, each alone as the top of a
// file and all together in one array.
std::vector<Bytes> everyKindOfObject() {
    return {
        marker(0x08), marker(0x09),
        bigEndian(0x10, 0xFF, 1), bigEndian(0x11, 0xFFFF, 2), bigEndian(0x12, 0xFFFFFFFF, 4),
        bigEndian(0x13, 5, 8), bigEndian(0x13, static_cast<uint64_t>(-5), 8), bigEndian(0x13, UINT64_MAX, 8),
        BinaryPlistBuilder::integer16(0, 7), BinaryPlistBuilder::integer16(0, UINT64_MAX),
        BinaryPlistBuilder::integer16(1, 3), BinaryPlistBuilder::integer16(UINT64_MAX, UINT64_MAX),
        real32(1.5f), real32(-0.0f), real32(NAN), real32(INFINITY), real64(0.1), real64(-1e300),
        date(0.0), date(-1.25), date(123456789.987654), date(1e12),
        data(0), data(3), data(40),
        BinaryPlistBuilder::ascii(""), BinaryPlistBuilder::ascii("HIDAPPS-com.apple.siri"),
        BinaryPlistBuilder::ascii(std::string(300, 'x')),
        BinaryPlistBuilder::utf16({0x0041}), BinaryPlistBuilder::utf16({0x00E9, 0x4E2D, 0x007F, 0x0080, 0x07FF, 0x0800}),
        BinaryPlistBuilder::utf16({0xD83D, 0xDE00, 0x0020, 0xDBFF, 0xDFFF}), BinaryPlistBuilder::utf16({}),
        marker(0x80, {0x07}), marker(0x81, {0x01, 0x02}), marker(0x83, {0xFF, 0xFF, 0xFF, 0xFF}),
        marker(0x87, {0x01, 0, 0, 0, 0, 0, 0, 0x02}),
    };
}

// The objects that read alone: all but an empty UTF-16 string and a UID
// beyond 32 bits, which libplist refuses.
std::vector<Bytes> readableObjects() {
    std::vector<Bytes> out;
    for (const Bytes& object : everyKindOfObject()) {
        BinaryPlistBuilder b;
        if (PropertyList::parse(b.build(b.add(object)))) out.push_back(object);
    }
    return out;
}

// Tests that each kind of object, alone and gathered in an array and in a
// dictionary, reads the same both ways, the ones libplist refuses included.
TEST(BinaryReader, EveryKindOfObjectAgrees) {
    for (const Bytes& object : everyKindOfObject()) {
        BinaryPlistBuilder b;
        size_t top = b.add(object);
        EXPECT_TRUE(readsAlike(b.build(top))) << "object marker " << int(object[0]);
    }
    EXPECT_EQ(readableObjects().size(), everyKindOfObject().size() - 2);
    BinaryPlistBuilder b;
    std::vector<uint64_t> refs, keys;
    for (const Bytes& object : readableObjects()) {
        refs.push_back(b.add(object));
        keys.push_back(b.add(BinaryPlistBuilder::ascii("k" + std::to_string(keys.size()))));
    }
    size_t array = b.add(b.array(refs));
    size_t dict = b.add(b.dict(keys, refs));
    EXPECT_TRUE(readsAlike(b.build(array)));
    EXPECT_TRUE(readsAlike(b.build(dict)));
    auto read = std::dynamic_pointer_cast<NSDictionary>(PropertyList::parse(b.build(dict)));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->count(), keys.size());
}

// Tests the shapes a dictionary can take in a file: a key given twice (the
// second value wins, the first place stays), UTF-16 keys, one object shared
// by several places, and nesting.
TEST(BinaryReader, DictionaryShapesAgree) {
    BinaryPlistBuilder b;
    size_t yes = b.add(marker(0x09));
    size_t no = b.add(marker(0x08));
    size_t k1 = b.add(BinaryPlistBuilder::ascii("FLTTILE-a"));
    size_t k2 = b.add(BinaryPlistBuilder::utf16({0x0048, 0x00C9, 0xD83D, 0xDE00}));
    size_t k1again = b.add(BinaryPlistBuilder::ascii("FLTTILE-a"));
    size_t inner = b.add(b.dict({k1, k2}, {yes, no}));
    size_t list = b.add(b.array({inner, inner, yes}));
    size_t k3 = b.add(BinaryPlistBuilder::ascii("list"));
    size_t top = b.add(b.dict({k1, k2, k1again, k3, k2}, {yes, no, no, list, list}));
    Bytes file = b.build(top);
    EXPECT_TRUE(readsAlike(file));
    auto read = std::dynamic_pointer_cast<NSDictionary>(PropertyList::parse(file));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->allKeys(), (std::vector<std::string>{"FLTTILE-a", "H\xC3\x89\xF0\x9F\x98\x80", "list"}));
    EXPECT_EQ(readBool(read->objectForKey("FLTTILE-a").get()), false) << "the later value of a repeated key wins";
    auto shared = std::dynamic_pointer_cast<NSArray>(read->objectForKey("list"));
    ASSERT_TRUE(shared);
    EXPECT_NE(shared->objectAtIndex(0), shared->objectAtIndex(1)) << "each reference is a value of its own";
}

// Tests every reference width libplist reads, and the nesting limit from
// both sides.
TEST(BinaryReader, WidthsAndNestingAgree) {
    for (uint8_t refSize : {1, 2, 3, 4, 8}) {
        BinaryPlistBuilder b;
        b.setRefSize(refSize);
        size_t s = b.add(BinaryPlistBuilder::ascii("x"));
        size_t top = b.add(b.array({s, s, s}));
        EXPECT_TRUE(readsAlike(b.build(top))) << "reference size " << int(refSize);
    }
    for (int depth : {PropertyListLimits::maxDepth - 1, PropertyListLimits::maxDepth, PropertyListLimits::maxDepth + 1}) {
        BinaryPlistBuilder b;
        size_t node = b.add(marker(0x09));
        for (int i = 0; i < depth; ++i) node = b.add(b.array({node}));
        EXPECT_TRUE(readsAlike(b.build(node))) << depth << " arrays deep";
        // An empty container as the deepest value.
        BinaryPlistBuilder e;
        size_t empty = e.add(e.array({}));
        for (int i = 1; i < depth; ++i) empty = e.add(e.array({empty}));
        EXPECT_TRUE(readsAlike(e.build(empty))) << depth << " arrays deep, empty at the bottom";
    }
}

// Tests numbers referred to from several places: one number object each,
// with its value, also when there are more of them than the reader keeps
// at once (each then still reads right).
TEST(BinaryReader, SharedNumbersReadOnce) {
    for (size_t distinct : {size_t{3}, size_t{5000}}) {
        BinaryPlistBuilder b;
        b.setRefSize(4);
        std::vector<uint64_t> numbers;
        for (size_t i = 0; i < distinct; ++i)
            numbers.push_back(b.add(i % 2 ? real32(static_cast<float>(i) + 0.5f) : bigEndian(0x12, i, 4)));
        std::vector<uint64_t> refs;
        for (int round = 0; round < 2; ++round)
            for (size_t i = 0; i < distinct; ++i) refs.push_back(numbers[(i * 7 + static_cast<size_t>(round)) % distinct]);
        Bytes file = b.build(b.add(b.array(refs)));
        ASSERT_TRUE(readsAlike(file)) << distinct;
        auto read = std::dynamic_pointer_cast<NSArray>(PropertyList::parse(file));
        ASSERT_TRUE(read);
        ASSERT_EQ(read->count(), 2 * distinct);
        for (size_t r = 0; r < refs.size(); ++r) {
            size_t i = (r % distinct * 7 + r / distinct) % distinct;
            double expected = i % 2 ? static_cast<double>(static_cast<float>(i) + 0.5f) : static_cast<double>(i);
            ASSERT_EQ(readDouble(read->objectAtIndex(r).get()), expected) << distinct << " numbers, item " << r;
        }
        if (distinct == 3) {
            EXPECT_EQ(read->objectAtIndex(0), read->objectAtIndex(5)) << "one object in the file, one number";
        }
    }
}

// Tests the check of ASCII text at every place of strings of every length
// up to a few words: a byte above 0x7F or a NUL anywhere refuses the list,
// as a key and as a value, both ways.
TEST(BinaryReader, AsciiTextIsCheckedEverywhere) {
    for (size_t length = 1; length <= 26; ++length) {
        for (size_t at = 0; at < length; ++at) {
            for (uint8_t bad : {uint8_t{0x00}, uint8_t{0x80}, uint8_t{0xFF}}) {
                std::string text(length, 'k');
                text[at] = static_cast<char>(bad);
                BinaryPlistBuilder asKey;
                size_t value = asKey.add(marker(0x09));
                Bytes keyFile = asKey.build(asKey.add(asKey.dict({asKey.add(BinaryPlistBuilder::ascii(text))}, {value})));
                ASSERT_EQ(PropertyList::parse(keyFile), nullptr) << length << " at " << at << " byte " << int(bad);
                ASSERT_TRUE(readsAlike(keyFile));
                BinaryPlistBuilder asValue;
                Bytes valueFile = asValue.build(asValue.add(asValue.array({asValue.add(BinaryPlistBuilder::ascii(text))})));
                ASSERT_EQ(PropertyList::parse(valueFile), nullptr) << length << " at " << at << " byte " << int(bad);
            }
        }
        BinaryPlistBuilder good;
        std::string text(length, '~');
        text.front() = '\x01';
        auto read = std::dynamic_pointer_cast<NSArray>(
            PropertyList::parse(good.build(good.add(good.array({good.add(BinaryPlistBuilder::ascii(text))})))));
        ASSERT_TRUE(read) << length;
        EXPECT_EQ(std::dynamic_pointer_cast<NSString>(read->objectAtIndex(0))->UTF8String(), text);
    }
}

// A random list: nested arrays and dictionaries of every kind of object,
// with shared references and repeated keys.
class RandomList {
public:
    explicit RandomList(uint32_t seed) : rng_(seed) {}

    Bytes make() {
        BinaryPlistBuilder b;
        b.setRefSize(pick({1, 1, 2, 3, 4}));
        made_.clear();
        size_t top = value(b, 0);
        return b.build(top);
    }

private:
    uint8_t pick(std::initializer_list<uint8_t> choices) {
        std::uniform_int_distribution<size_t> d(0, choices.size() - 1);
        return *(choices.begin() + d(rng_));
    }
    size_t below(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng_); }

    size_t value(BinaryPlistBuilder& b, int depth) {
        // Now and then a reference to something made before.
        if (!made_.empty() && below(6) == 0) return made_[below(made_.size())];
        size_t kind = depth > 4 ? below(4) : below(7);
        size_t index;
        if (kind == 5) {
            std::vector<uint64_t> items;
            for (size_t n = below(6); n > 0; --n) items.push_back(value(b, depth + 1));
            index = b.add(b.array(items));
        } else if (kind == 6) {
            std::vector<uint64_t> keys, values;
            for (size_t n = below(6); n > 0; --n) {
                keys.push_back(key(b));
                values.push_back(value(b, depth + 1));
            }
            index = b.add(b.dict(keys, values));
        } else {
            // Mostly objects that read; now and then one that spoils the list.
            const auto& objects = below(20) == 0 ? all_ : readable_;
            index = b.add(objects[below(objects.size())]);
        }
        made_.push_back(index);
        return index;
    }

    size_t key(BinaryPlistBuilder& b) {
        static const char* names[] = {"FLTTILE-a", "HIDAPPS-b", "POSAPPS-c", "xHIDAPPS-dHIDAPPS-e", "", "k"};
        if (below(8) == 0) return b.add(BinaryPlistBuilder::utf16({0x006B, 0x00E9}));
        return b.add(BinaryPlistBuilder::ascii(names[below(6)]));
    }

    std::mt19937 rng_;
    std::vector<size_t> made_;
    std::vector<Bytes> all_ = everyKindOfObject();
    std::vector<Bytes> readable_ = readableObjects();
};

// Tests random lists, and every one of them broken in random places (bytes
// changed, the end cut off), read the same both ways: the same values, or
// nil for both.
TEST(BinaryReader, RandomAndBrokenListsAgree) {
    RandomList lists(20240611);
    std::mt19937 rng(7);
    int read = 0, refused = 0;
    for (int i = 0; i < 300; ++i) {
        Bytes file = lists.make();
        ASSERT_TRUE(readsAlike(file)) << "list " << i;
        for (int m = 0; m < 25; ++m) {
            Bytes broken = file;
            if (m % 5 == 4) {
                broken.resize(std::uniform_int_distribution<size_t>(0, broken.size() - 1)(rng));
            } else {
                for (int k = 0; k <= m % 3; ++k) {
                    size_t at = std::uniform_int_distribution<size_t>(8, broken.size() - 1)(rng);
                    broken[at] = static_cast<uint8_t>(std::uniform_int_distribution<int>(0, 255)(rng));
                }
            }
            auto result = readsAlike(broken);
            ASSERT_TRUE(result) << "list " << i << ", change " << m;
            (std::string(result.message()) == "both nil" ? refused : read)++;
        }
    }
    // The changes reach both the readable and the refused side.
    EXPECT_GT(read, 500);
    EXPECT_GT(refused, 500);
}

// Tests that the merge's reading of every kind of object, of random lists
// (shared objects, keys given twice) and of those lists broken, writes back
// what libplist's own reading of them writes.
TEST(BinaryReader, MergeTreeWritesAsLibplistsTree) {
    for (const Bytes& object : everyKindOfObject()) {
        BinaryPlistBuilder b;
        EXPECT_TRUE(treeWritesAlike(b.build(b.add(object)))) << "object marker " << int(object[0]);
    }
    RandomList lists(7041);
    std::mt19937 rng(11);
    for (int i = 0; i < 150; ++i) {
        Bytes file = lists.make();
        ASSERT_TRUE(treeWritesAlike(file)) << "list " << i;
        for (int m = 0; m < 10; ++m) {
            Bytes broken = file;
            size_t at = std::uniform_int_distribution<size_t>(8, broken.size() - 1)(rng);
            broken[at] = static_cast<uint8_t>(std::uniform_int_distribution<int>(0, 255)(rng));
            ASSERT_TRUE(treeWritesAlike(broken)) << "list " << i << ", change " << m;
        }
    }
}

} // namespace
