#include "foundation/plist/BinaryReader.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "foundation/PropertyList.h"
#include "foundation/plist/LibplistBridge.h"
#include "foundation/plist/Utf8.h"

namespace propertylist {

namespace {

// Reads a binary list that BinaryValidator has passed, once, into one of
// two kinds of value (the Values policy below):
//  - Foundation values, for every reader of a preferences file: the values
//    libplist's tree of the same bytes would give, without that tree. A
//    file of 100,000 keys is read at every start of the home screen, and
//    building libplist's nodes only to copy them and free them again cost
//    more than twice the reading itself;
//  - libplist's nodes, for the merge of keys (KeyMerge.cpp), which writes
//    the keys it does not touch back node for node, so that nothing of
//    theirs (UIDs, exact dates, text as it was) changes on the way.
// What the validator guarantees (lengths inside the object area,
// references below the object count, no cycle, string keys, ASCII that is
// ASCII, UTF-16 with paired surrogates and no U+0000) is relied on here;
// where libplist 2.2.0 refuses a valid-looking object, this refuses it too:
//  - integers of 1, 2, 4 and 8 bytes are read unsigned, and a 16-byte one
//    by its low 8 bytes; a value above INT64_MAX is unsigned only when it
//    came in 16 bytes (see the note on integers in LibplistBridge.h);
//  - a 4-byte real is the float widened;
//  - an empty UTF-16 string is refused, as libplist's converter refuses it,
//    and so is a UID beyond 32 bits;
//  - the nesting counts as for XML: the top value is at depth 1, and a
//    value deeper than maxDepth is refused;
//  - a key that stands twice in a dictionary keeps its first place and its
//    last value, as setting each in turn would leave it.
// The tests hold this reader to libplist's own reading of the same files.

// A number object, decoded.
struct Number {
    enum class Kind { Integer, Unsigned, Real } kind = Kind::Integer;
    uint64_t bits = 0; // Integer: two's complement; Unsigned: the value
    double real = 0;
};

// Foundation values. Booleans are the list's one YES and one NO, and an
// integer or real object referred to from several places is one number
// (numbers are immutable, so sharing them changes nothing a reader could
// see).
class FoundationValues {
public:
    using Value = id;
    using Array = std::shared_ptr<NSMutableArray>;

    explicit FoundationValues(const BinaryValidator& file)
        : numbers_(static_cast<size_t>(std::min<uint64_t>(file.objectCount(), kNumberSlots))) {}

    Value boolean(bool b) {
        std::shared_ptr<NSNumber>& slot = b ? yes_ : no_;
        if (!slot) slot = NSNumber::numberWithBool(b);
        return slot;
    }

    // One object in the file, one number: a writer stores each distinct
    // number once and refers to it from every place it stands (the x of
    // every bubble snapped to the same edge).
    template <class Decode>
    Value number(uint64_t index, Decode&& decode) {
        NumberSlot& slot = numbers_[index % numbers_.size()];
        if (slot.number && slot.index == index) return slot.number;
        slot.index = index;
        Number n = decode();
        switch (n.kind) {
        case Number::Kind::Integer:
            slot.number = NSNumber::numberWithInteger(static_cast<int64_t>(n.bits));
            break;
        case Number::Kind::Unsigned:
            slot.number = NSNumber::numberWithUnsignedLongLong(n.bits);
            break;
        case Number::Kind::Real:
            slot.number = NSNumber::numberWithDouble(n.real);
            break;
        }
        return slot.number;
    }

    Value date(uint64_t bits) {
        double seconds;
        std::memcpy(&seconds, &bits, sizeof seconds);
        return std::make_shared<NSDate>(seconds);
    }
    Value data(const uint8_t* p, uint64_t length) {
        if (length == 0) return std::make_shared<NSData>();
        return std::make_shared<NSData>(std::vector<uint8_t>(p, p + length));
    }
    Value text(std::string&& text) { return std::make_shared<NSString>(std::move(text)); }
    Value uid(uint64_t) { return NSNull::null(); }

    Array array(uint64_t count) { return NSMutableArray::arrayWithCapacity(count); }
    void append(Array& array, Value&& item) { array->addObject(std::move(item)); }
    Value finish(Array&& array) { return std::move(array); }
    Value dictionary(std::vector<std::pair<std::string, Value>>&& entries) {
        return NSMutableDictionary::dictionaryWithEntries(std::move(entries));
    }

private:
    std::shared_ptr<NSNumber> yes_, no_;
    // The numbers read so far, by object: a small direct-mapped cache, no
    // bigger than the file's object count and never bigger than
    // kNumberSlots (a number it has let go of is read again, as a number
    // of its own).
    static constexpr uint64_t kNumberSlots = 1024;
    struct NumberSlot {
        uint64_t index = 0;
        std::shared_ptr<NSNumber> number;
    };
    std::vector<NumberSlot> numbers_;
};

// libplist's nodes, as libplist's own binary reader would make them from
// the same bytes (a 16-byte integer at most INT64_MAX becomes a plain
// node: nothing reads or writes the two differently).
class TreeValues {
public:
    using Value = PlistOwner;
    using Array = PlistOwner;

    explicit TreeValues(const BinaryValidator&) {}

    Value boolean(bool b) { return Value(plist_new_bool(b ? 1 : 0)); }
    template <class Decode>
    Value number(uint64_t, Decode&& decode) {
        Number n = decode();
        switch (n.kind) {
        case Number::Kind::Integer:
            return Value(plist_new_uint(n.bits));
        case Number::Kind::Unsigned:
            return Value(newUnsignedNode(n.bits));
        case Number::Kind::Real:
            return Value(plist_new_real(n.real));
        }
        return nullptr;
    }
    Value date(uint64_t bits) { return Value(dateNodeOfBits(bits)); }
    Value data(const uint8_t* p, uint64_t length) {
        return Value(plist_new_data(reinterpret_cast<const char*>(p), length));
    }
    Value text(std::string&& text) { return Value(plist_new_string(text.c_str())); }
    Value uid(uint64_t value) { return Value(plist_new_uid(value)); }

    Array array(uint64_t) { return Array(plist_new_array()); }
    void append(Array& array, Value&& item) { plist_array_append_item(array.get(), item.release()); }
    Value finish(Array&& array) { return std::move(array); }
    Value dictionary(std::vector<std::pair<std::string, Value>>&& entries) {
        Value dict(plist_new_dict());
        for (auto& [key, value] : entries) plist_dict_set_item(dict.get(), key.c_str(), value.release());
        return dict;
    }
};

template <class Values>
class BinaryReader {
public:
    using Value = typename Values::Value;

    explicit BinaryReader(const BinaryValidator& file) : f_(file), v_(file) {}

    Value read(uint64_t index, int depth) {
        if (depth > PropertyListLimits::maxDepth) return nullptr;
        Head h = head(index);
        switch (h.type) {
        case 0x0:
            return v_.boolean(h.info == 0x9);
        case 0x1:
        case 0x2:
            return v_.number(index, [&] { return number(h); });
        case 0x3:
            // The validator has checked the marker (0x33) and the 8 bytes.
            return v_.date(readBigEndian(h.p, 8));
        case 0x4:
            return v_.data(h.p, h.length);
        case 0x5:
        case 0x6: {
            std::string text;
            if (!readText(h, text)) return nullptr;
            return v_.text(std::move(text));
        }
        case 0x8: {
            // libplist refuses a UID beyond 32 bits.
            uint64_t uid = readBigEndian(h.p, h.info + 1u);
            if (uid > UINT32_MAX) return nullptr;
            return v_.uid(uid);
        }
        case 0xA: {
            auto array = v_.array(h.length);
            for (uint64_t i = 0; i < h.length; ++i) {
                Value item = read(ref(h, i), depth + 1);
                if (!item) return nullptr;
                v_.append(array, std::move(item));
            }
            return v_.finish(std::move(array));
        }
        case 0xD: {
            // Room for a quarter more: a preferences file gains a key now
            // and then, and the first must not copy every entry.
            std::vector<std::pair<std::string, Value>> entries;
            entries.reserve(static_cast<size_t>(h.length + h.length / 4));
            for (uint64_t i = 0; i < h.length; ++i) {
                Value item = read(ref(h, h.length + i), depth + 1);
                if (!item) return nullptr;
                Head keyHead = head(ref(h, i));
                if (keyHead.type == 0x5) {
                    // ASCII, most keys: the text is the bytes, made in place.
                    entries.emplace_back(std::piecewise_construct,
                                         std::forward_as_tuple(reinterpret_cast<const char*>(keyHead.p),
                                                               static_cast<size_t>(keyHead.length)),
                                         std::forward_as_tuple(std::move(item)));
                    continue;
                }
                std::string key;
                if (!readText(keyHead, key)) return nullptr;
                entries.emplace_back(std::move(key), std::move(item));
            }
            return v_.dictionary(std::move(entries));
        }
        default:
            return nullptr;
        }
    }

private:
    // An object's marker and, for data, strings and containers, its length
    // (elements, pairs, UTF-16 units) and where its contents start. The
    // validator has checked all of it already.
    struct Head {
        uint8_t type = 0;
        uint8_t info = 0;
        uint64_t length = 0;
        const uint8_t* p = nullptr;
    };

    Head head(uint64_t index) const {
        Head h;
        h.p = f_.object(index);
        uint8_t marker = *h.p++;
        h.type = marker >> 4;
        h.info = marker & 0x0F;
        if (h.type == 0x4 || h.type == 0x5 || h.type == 0x6 || h.type == 0xA || h.type == 0xD)
            f_.readLength(h.info, h.p, h.length);
        return h;
    }

    uint64_t ref(const Head& h, uint64_t i) const { return readBigEndian(h.p + i * f_.refSize(), f_.refSize()); }

    static Number number(const Head& h) {
        Number n;
        if (h.type == 0x1) {
            size_t size = size_t{1} << h.info;
            n.bits = size > 8 ? readBigEndian(h.p + (size - 8), 8) : readBigEndian(h.p, size);
            if (size == 16 && n.bits > static_cast<uint64_t>(INT64_MAX)) n.kind = Number::Kind::Unsigned;
            return n;
        }
        n.kind = Number::Kind::Real;
        if (h.info == 2) {
            auto bits = static_cast<uint32_t>(readBigEndian(h.p, 4));
            float f;
            std::memcpy(&f, &bits, sizeof f);
            n.real = static_cast<double>(f);
            return n;
        }
        uint64_t bits = readBigEndian(h.p, 8);
        std::memcpy(&n.real, &bits, sizeof n.real);
        return n;
    }

    // The text of an ASCII or UTF-16 string object, as UTF-8.
    static bool readText(const Head& h, std::string& out) {
        if (h.type == 0x5) {
            out.assign(reinterpret_cast<const char*>(h.p), static_cast<size_t>(h.length));
            return true;
        }
        if (h.type != 0x6 || h.length == 0) return false;
        const uint8_t* p = h.p;
        out.clear();
        out.reserve(static_cast<size_t>(h.length) * 3);
        for (uint64_t i = 0; i < h.length; ++i) {
            uint32_t c = static_cast<uint32_t>((p[2 * i] << 8) | p[2 * i + 1]);
            if (c >= 0xD800 && c <= 0xDBFF) {
                uint32_t low = static_cast<uint32_t>((p[2 * i + 2] << 8) | p[2 * i + 3]);
                c = 0x10000 + ((c & 0x3FF) << 10) + (low & 0x3FF);
                ++i;
            }
            appendUtf8(out, c);
        }
        return true;
    }

    const BinaryValidator& f_;
    Values v_;
};

} // namespace

id readBinary(const BinaryValidator& file) { return BinaryReader<FoundationValues>(file).read(file.top(), 1); }

PlistOwner readBinaryTree(const BinaryValidator& file) { return BinaryReader<TreeValues>(file).read(file.top(), 1); }

} // namespace propertylist
