#include "foundation/plist/BinaryReader.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "foundation/PropertyList.h"

namespace propertylist {

namespace {

// Reads a binary list that BinaryValidator has passed straight into
// Foundation values: the values libplist's tree of the same bytes would
// give, without that tree. A file of 100,000 keys is read at every
// start of the home screen, and building libplist's nodes only to copy
// them and free them again cost more than twice the reading itself. What
// the validator guarantees (lengths inside the object area, references
// below the object count, no cycle, string keys, ASCII that is ASCII,
// UTF-16 with paired surrogates and no U+0000) is relied on here; where
// libplist 2.2.0 refuses a valid-looking object, this refuses it too:
//  - integers of 1, 2, 4 and 8 bytes are read unsigned, and a 16-byte one
//    by its low 8 bytes; a value above INT64_MAX is unsigned only when it
//    came in 16 bytes (see the note on integers in LibplistBridge.h);
//  - a 4-byte real is the float widened;
//  - an empty UTF-16 string is refused, as libplist's converter refuses it,
//    and so is a UID beyond 32 bits;
//  - the nesting counts as for XML: the top value is at depth 1, and a
//    value deeper than maxDepth is refused;
//  - booleans are the list's one YES and one NO, and an integer or real
//    object referred to from several places is one number (numbers are
//    immutable, so sharing them changes nothing a reader could see).
// The tests hold this reader to libplist's own reading of the same files.
class BinaryReader {
public:
    explicit BinaryReader(const BinaryValidator& file)
        : f_(file), numbers_(static_cast<size_t>(std::min<uint64_t>(file.objectCount(), kNumberSlots))) {}

    id read(uint64_t index, int depth) {
        if (depth > PropertyListLimits::maxDepth) return nullptr;
        Head h = head(index);
        switch (h.type) {
        case 0x0:
            // Numbers are immutable: one YES and one NO serve the whole list.
            return h.info == 0x9 ? yes() : no();
        case 0x1:
        case 0x2: {
            // One object in the file, one number: a writer stores each
            // distinct number once and refers to it from every place it
            // stands (the x of every bubble snapped to the same edge).
            NumberSlot& slot = numbers_[index % numbers_.size()];
            if (slot.number && slot.index == index) return slot.number;
            slot.index = index;
            slot.number = number(h);
            return slot.number;
        }
        case 0x3: {
            // The validator has checked the marker (0x33) and the 8 bytes.
            uint64_t bits = readBigEndian(h.p, 8);
            double seconds;
            std::memcpy(&seconds, &bits, sizeof seconds);
            return std::make_shared<NSDate>(seconds);
        }
        case 0x4:
            if (h.length == 0) return std::make_shared<NSData>();
            return std::make_shared<NSData>(std::vector<uint8_t>(h.p, h.p + h.length));
        case 0x5:
        case 0x6: {
            std::string text;
            if (!readText(h, text)) return nullptr;
            return std::make_shared<NSString>(std::move(text));
        }
        case 0x8:
            // libplist refuses a UID beyond 32 bits.
            if (readBigEndian(h.p, h.info + 1u) > UINT32_MAX) return nullptr;
            return NSNull::null();
        case 0xA: {
            auto array = NSMutableArray::arrayWithCapacity(h.length);
            for (uint64_t i = 0; i < h.length; ++i) {
                id item = read(ref(h, i), depth + 1);
                if (!item) return nullptr;
                array->addObject(std::move(item));
            }
            return array;
        }
        case 0xD: {
            // Room for a quarter more: a preferences file gains a key now
            // and then, and the first must not copy every entry.
            std::vector<std::pair<std::string, id>> entries;
            entries.reserve(static_cast<size_t>(h.length + h.length / 4));
            for (uint64_t i = 0; i < h.length; ++i) {
                id item = read(ref(h, h.length + i), depth + 1);
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
            // A key that stands twice keeps its first place and its last
            // value, as setting each in turn would leave it.
            return NSMutableDictionary::dictionaryWithEntries(std::move(entries));
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

    static std::shared_ptr<NSNumber> number(const Head& h) {
        if (h.type == 0x1) {
            size_t size = size_t{1} << h.info;
            uint64_t u = size > 8 ? readBigEndian(h.p + (size - 8), 8) : readBigEndian(h.p, size);
            if (size == 16 && u > static_cast<uint64_t>(INT64_MAX)) return NSNumber::numberWithUnsignedLongLong(u);
            return NSNumber::numberWithInteger(static_cast<int64_t>(u));
        }
        if (h.info == 2) {
            auto bits = static_cast<uint32_t>(readBigEndian(h.p, 4));
            float f;
            std::memcpy(&f, &bits, sizeof f);
            return NSNumber::numberWithDouble(static_cast<double>(f));
        }
        uint64_t bits = readBigEndian(h.p, 8);
        double d;
        std::memcpy(&d, &bits, sizeof d);
        return NSNumber::numberWithDouble(d);
    }

    std::shared_ptr<NSNumber> yes() {
        if (!yes_) yes_ = NSNumber::numberWithBool(true);
        return yes_;
    }
    std::shared_ptr<NSNumber> no() {
        if (!no_) no_ = NSNumber::numberWithBool(false);
        return no_;
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
            if (c < 0x80) {
                out += static_cast<char>(c);
            } else if (c < 0x800) {
                out += static_cast<char>(0xC0 | (c >> 6));
                out += static_cast<char>(0x80 | (c & 0x3F));
            } else if (c < 0x10000) {
                out += static_cast<char>(0xE0 | (c >> 12));
                out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
                out += static_cast<char>(0x80 | (c & 0x3F));
            } else {
                out += static_cast<char>(0xF0 | (c >> 18));
                out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
                out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
                out += static_cast<char>(0x80 | (c & 0x3F));
            }
        }
        return true;
    }

    const BinaryValidator& f_;
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

} // namespace

id readBinary(const BinaryValidator& file) { return BinaryReader(file).read(file.top(), 1); }

} // namespace propertylist
