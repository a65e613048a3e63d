// Property lists through libplist 2.2.0.
//
// libplist 2.2.0 trusts its input more than a device may: it recurses
// without bound on deep nesting, follows binary object references into
// cycles, copies a shared subobject once per reference, and checks binary
// offsets only loosely. So nothing reaches it unchecked: the size is
// capped, XML is scanned for its nesting depth and element count, and a
// binary list is validated object by object. Only an input that passes is
// handed to libplist.
//
// Integers. libplist 2.2.0 keeps every integer as a uint64 (PLIST_UINT) and
// loses the sign: a binary list stores a negative integer as 8-byte two's
// complement, and XML "-5" is read into the same bits. Only a value above
// INT64_MAX that came from a 16-byte binary integer, or from an XML number
// too large for int64, is really unsigned; libplist marks those by the
// length of the node, which its public API exposes only through
// plist_compare_node_value (a 16-byte node differs from a plain node of the
// same value). So: a plain node is read as int64 (negative when its top bit
// is set), a 16-byte one as uint64. Writing mirrors this: an NSNumber above
// INT64_MAX is written as a 16-byte integer, so other readers see it
// unsigned as well.
//
// Strings. libplist keeps C strings, so a string holding U+0000 would be
// cut short (and as a dictionary key, abort the process): such input is
// refused, and such a string is never written.
//
// Dictionaries come back as NSMutableDictionary with the keys in the order
// of the file, so callers can change them and write them back unchanged
// otherwise.
//
// UID nodes (keyed-archiver references) have no Foundation value in this
// model: they read as NSNull, so the rest of such a file stays readable.
// NSNull cannot be serialised, so a file holding one is never rewritten
// (the preferences store refuses the write rather than drop the value).
//
// Dates. libplist 2.2.0 hands dates out as 32-bit whole seconds plus the
// magnitude of the fraction, and takes them in the same way: binary dates
// are therefore read from the file's bytes and written through a node
// that holds the exact double (see dateSeconds, newDateNode); XML dates
// are whole seconds within the 32-bit range around 2001.
#include "foundation/PropertyList.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <plist/plist.h>

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <unordered_map>

#include "foundation/DevicePaths.h"
#include "foundation/NSUserDefaults.h"

namespace {

struct PlistFree {
    void operator()(void* p) const { plist_free(static_cast<plist_t>(p)); }
};
using PlistOwner = std::unique_ptr<void, PlistFree>;

constexpr char kBinaryMagic[] = "bplist00";
constexpr size_t kBinaryMagicLength = 8;
constexpr size_t kTrailerLength = 32;

// ---- UTF-8 ----

bool isValidUTF8(const char* s, size_t n) {
    size_t i = 0;
    while (i < n) {
        auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t extra;
        uint32_t cp;
        if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (n - i <= extra) return false;
        for (size_t k = 1; k <= extra; ++k) {
            auto cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        if ((extra == 2 && cp < 0x800) || (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF))) return false;
        if (cp >= 0xD800 && cp <= 0xDFFF) return false;
        i += extra + 1;
    }
    return true;
}

// ---- XML guard ----

bool startsWith(const uint8_t* p, const uint8_t* end, const char* text) {
    size_t n = std::strlen(text);
    return static_cast<size_t>(end - p) >= n && std::memcmp(p, text, n) == 0;
}

const uint8_t* findText(const uint8_t* p, const uint8_t* end, const char* text) {
    size_t n = std::strlen(text);
    while (static_cast<size_t>(end - p) >= n) {
        if (std::memcmp(p, text, n) == 0) return p;
        ++p;
    }
    return nullptr;
}

// True when the text at p (just after "&#") is a character reference to
// U+0000, "&#0;" or "&#x00;" and the like.
bool isNulReference(const uint8_t* p, const uint8_t* end) {
    bool hex = p < end && (*p == 'x' || *p == 'X');
    if (hex) ++p;
    bool digits = false;
    for (; p < end && *p != ';'; ++p) {
        bool digit = hex ? std::isxdigit(*p) != 0 : std::isdigit(*p) != 0;
        if (!digit) return false;
        if (*p != '0') return false;
        digits = true;
    }
    return digits && p < end;
}

bool isXMLSpace(uint8_t c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Walks the markup once, before libplist does:
//  - comments, CDATA sections, processing instructions and declarations
//    are skipped whole;
//  - <array> and <dict> open a level (not when self-closing), their end
//    tags close one; nesting deeper than maxDepth is refused, as are more
//    than maxNodes elements;
//  - a NUL, raw or as a character reference, is refused: libplist asserts
//    on a dictionary key that holds one;
//  - the document must end with </plist>: libplist 2.2.0 accepts a file cut
//    short after its last value, which is still a truncated file.
bool xmlWithinLimits(const uint8_t* data, size_t size) {
    if (std::memchr(data, 0, size)) return false;
    const uint8_t* p = data;
    const uint8_t* end = data + size;
    for (const uint8_t* amp = p; (amp = findText(amp, end, "&#")) != nullptr; amp += 2)
        if (isNulReference(amp + 2, end)) return false;
    int depth = 0;
    uint64_t elements = 0;
    bool closedPlist = false;
    while (p < end) {
        const uint8_t* lt = static_cast<const uint8_t*>(std::memchr(p, '<', static_cast<size_t>(end - p)));
        if (!lt) break;
        p = lt;
        if (startsWith(p, end, "<!--")) {
            const uint8_t* close = findText(p + 4, end, "-->");
            if (!close) return false;
            p = close + 3;
            continue;
        }
        if (startsWith(p, end, "<![CDATA[")) {
            const uint8_t* close = findText(p + 9, end, "]]>");
            if (!close) return false;
            p = close + 3;
            closedPlist = false;
            continue;
        }
        if (startsWith(p, end, "<?")) {
            const uint8_t* close = findText(p + 2, end, "?>");
            if (!close) return false;
            p = close + 2;
            continue;
        }
        if (startsWith(p, end, "<!")) {
            // A declaration ends, for this scan, at its first '>': a parser
            // that skips further (past an internal DTD subset) can only see
            // fewer levels than were counted here, never more.
            const uint8_t* gt = static_cast<const uint8_t*>(std::memchr(p, '>', static_cast<size_t>(end - p)));
            if (!gt) return false;
            p = gt + 1;
            continue;
        }
        bool closing = p + 1 < end && p[1] == '/';
        const uint8_t* nameStart = p + (closing ? 2 : 1);
        const uint8_t* q = nameStart;
        while (q < end && *q != '>' && *q != '/' && !isXMLSpace(*q)) ++q;
        std::string name(reinterpret_cast<const char*>(nameStart), static_cast<size_t>(q - nameStart));
        const uint8_t* gt = static_cast<const uint8_t*>(std::memchr(q, '>', static_cast<size_t>(end - q)));
        if (!gt) return false;
        bool selfClosing = gt > nameStart && gt[-1] == '/';
        bool container = name == "array" || name == "dict";
        if (closing) {
            // A stray end tag must not buy depth for later levels.
            if (container && depth > 0) --depth;
        } else {
            if (++elements > PropertyListLimits::maxNodes) return false;
            if (container && !selfClosing && ++depth > PropertyListLimits::maxDepth) return false;
        }
        closedPlist = closing && name == "plist";
        p = gt + 1;
    }
    for (; p < end; ++p)
        if (!isXMLSpace(*p)) return false;
    return closedPlist;
}

// ---- binary guard ----

// The widths a binary list uses get a path each: offsets and references
// are read a few hundred thousand times at every start of the home screen.
inline uint64_t readBigEndian(const uint8_t* p, size_t n) {
    switch (n) {
    case 1: return p[0];
    case 2: return (uint64_t{p[0]} << 8) | p[1];
    case 3: return (uint64_t{p[0]} << 16) | (uint64_t{p[1]} << 8) | p[2];
    case 4: {
        uint32_t v;
        std::memcpy(&v, p, sizeof v);
        return __builtin_bswap32(v);
    }
    case 8: {
        uint64_t v;
        std::memcpy(&v, p, sizeof v);
        return __builtin_bswap64(v);
    }
    default: {
        uint64_t v = 0;
        for (size_t i = 0; i < n; ++i) v = (v << 8) | p[i];
        return v;
    }
    }
}

// Whether every byte is ASCII and none is NUL: eight bytes at a time, as
// most of a state file's bytes are its keys' text.
bool isAsciiWithoutNul(const uint8_t* p, uint64_t n) {
    constexpr uint64_t kLow = 0x0101010101010101ull, kHigh = 0x8080808080808080ull;
    uint64_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t w;
        std::memcpy(&w, p + i, sizeof w);
        // A high bit set, or a zero byte (the classic test: a byte that
        // borrows on subtracting one and had no high bit of its own).
        if ((w & kHigh) != 0 || ((w - kLow) & ~w & kHigh) != 0) return false;
    }
    for (; i < n; ++i)
        if (p[i] >= 0x80 || p[i] == 0) return false;
    return true;
}

// libplist reads integers of 1, 2, 3, 4 and 8 bytes (and writes 3-byte
// offsets into files beyond 64 KiB); other widths it would misread.
bool isReadableIntegerSize(uint64_t n) { return n == 1 || n == 2 || n == 3 || n == 4 || n == 8; }

// Checks a "bplist00" file before libplist sees it:
//  - the trailer: offset and reference sizes of 1, 2, 3, 4 or 8 bytes, at
//    least one object, the top object among them, the offset table
//    between the header and the trailer;
//  - every offset in the table inside the object area;
//  - every object reachable from the top: a type libplist reads the same
//    way (no null, fill, set or UTF-8 string markers), its length inside
//    the object area, every reference below the object count, dictionary
//    keys that are strings, ASCII strings that are ASCII, UTF-16 strings
//    with paired surrogates, no string holding U+0000 (libplist keeps C
//    strings: it would cut a value short, and it aborts on such a key);
//  - the graph below the top: no cycle, containers nested at most maxDepth
//    deep, and at most maxNodes objects once shared references are
//    expanded (libplist makes a copy for each reference).
class BinaryValidator {
public:
    BinaryValidator(const uint8_t* data, size_t size) : d_(data), n_(size) {}

    bool validate() {
        if (n_ < kBinaryMagicLength + 1 + 1 + kTrailerLength) return false;
        if (std::memcmp(d_, kBinaryMagic, kBinaryMagicLength) != 0) return false;
        const uint8_t* t = d_ + n_ - kTrailerLength;
        offsetSize_ = t[6];
        refSize_ = t[7];
        numObjects_ = readBigEndian(t + 8, 8);
        uint64_t top = readBigEndian(t + 16, 8);
        tableOffset_ = readBigEndian(t + 24, 8);
        if (!isReadableIntegerSize(offsetSize_) || !isReadableIntegerSize(refSize_)) return false;
        if (numObjects_ == 0 || top >= numObjects_) return false;
        uint64_t trailerStart = n_ - kTrailerLength;
        if (tableOffset_ <= kBinaryMagicLength || tableOffset_ >= trailerStart) return false;
        if (numObjects_ > (trailerStart - tableOffset_) / offsetSize_) return false;
        offsets_.resize(numObjects_);
        for (uint64_t i = 0; i < numObjects_; ++i) {
            uint64_t off = readBigEndian(d_ + tableOffset_ + i * offsetSize_, offsetSize_);
            if (off < kBinaryMagicLength || off >= tableOffset_) return false;
            offsets_[i] = static_cast<uint32_t>(off);
        }
        top_ = top;
        return walk(top);
    }

    // ---- reading a validated file alongside libplist's tree ----

    uint64_t top() const { return top_; }

    // The references an array (its elements) or a dictionary (its values,
    // in key order) holds, when the object is that kind of container with
    // `count` elements; otherwise nothing.
    bool valueRefs(uint64_t index, bool dict, uint64_t count, std::vector<uint64_t>& refs) const {
        Object obj;
        if (index >= numObjects_ || !parseObject(index, obj)) return false;
        if (obj.type != (dict ? 0xD : 0xA) || obj.count != count) return false;
        refs.clear();
        uint64_t first = dict ? obj.count : 0;
        for (uint64_t i = 0; i < count; ++i) refs.push_back(ref(obj, first + i));
        return true;
    }

    // The exact seconds of a date object.
    bool date(uint64_t index, double& seconds) const {
        if (index >= numObjects_) return false;
        const uint8_t* p = d_ + offsets_[index];
        if (*p != 0x33) return false;
        uint64_t bits = readBigEndian(p + 1, 8);
        std::memcpy(&seconds, &bits, sizeof seconds);
        return true;
    }

private:
    friend class BinaryReader;

    struct Object {
        uint8_t type = 0;           // high nibble of the marker
        uint64_t count = 0;         // elements of an array, pairs of a dict
        const uint8_t* refs = nullptr;
    };

    // The length that follows a marker: the low nibble, or for 0xF an
    // integer object of 1, 2, 4 or 8 bytes. `p` moves past it.
    bool readLength(uint8_t info, const uint8_t*& p, uint64_t& length) const {
        const uint8_t* end = d_ + tableOffset_;
        if (info != 0xF) {
            length = info;
            return true;
        }
        if (p >= end) return false;
        uint8_t marker = *p++;
        if ((marker & 0xF0) != 0x10 || (marker & 0x0F) > 3) return false;
        size_t bytes = size_t{1} << (marker & 0x0F);
        if (static_cast<size_t>(end - p) < bytes) return false;
        length = readBigEndian(p, bytes);
        p += bytes;
        return true;
    }

    bool parseObject(uint64_t index, Object& obj) const {
        const uint8_t* p = d_ + offsets_[index];
        const uint8_t* end = d_ + tableOffset_;
        uint8_t marker = *p++;
        uint8_t info = marker & 0x0F;
        obj.type = marker >> 4;
        auto fits = [&](uint64_t bytes) { return bytes <= static_cast<uint64_t>(end - p); };
        switch (obj.type) {
        case 0x0: return info == 0x8 || info == 0x9;
        case 0x1: return info <= 4 && fits(uint64_t{1} << info);
        case 0x2: return (info == 2 || info == 3) && fits(uint64_t{1} << info);
        case 0x3: return info == 3 && fits(8);
        case 0x8: return (info == 0 || info == 1 || info == 3 || info == 7) && fits(info + 1u);
        case 0x4: {
            uint64_t length;
            return readLength(info, p, length) && fits(length);
        }
        case 0x5: {
            uint64_t length;
            return readLength(info, p, length) && fits(length) && isAsciiWithoutNul(p, length);
        }
        case 0x6: {
            uint64_t units;
            if (!readLength(info, p, units) || units > static_cast<uint64_t>(end - p) / 2) return false;
            bool pendingHigh = false;
            for (uint64_t i = 0; i < units; ++i) {
                uint16_t u = static_cast<uint16_t>((p[2 * i] << 8) | p[2 * i + 1]);
                bool high = u >= 0xD800 && u <= 0xDBFF;
                bool low = u >= 0xDC00 && u <= 0xDFFF;
                if (pendingHigh != low || u == 0) return false;
                pendingHigh = high;
            }
            return !pendingHigh;
        }
        case 0xA:
        case 0xD: {
            uint64_t count;
            if (!readLength(info, p, count)) return false;
            uint64_t refs = obj.type == 0xD ? 2 : 1;
            if (count > static_cast<uint64_t>(end - p) / refSize_ / refs) return false;
            obj.count = count;
            obj.refs = p;
            for (uint64_t i = 0; i < count * refs; ++i)
                if (ref(obj, i) >= numObjects_) return false;
            return true;
        }
        default:
            return false;
        }
    }

    uint64_t ref(const Object& obj, uint64_t i) const { return readBigEndian(obj.refs + i * refSize_, refSize_); }

    static bool isContainer(const Object& obj) { return obj.type == 0xA || obj.type == 0xD; }
    static bool isString(const Object& obj) { return obj.type == 0x5 || obj.type == 0x6; }

    // Depth-first over the object graph with an explicit stack, so a
    // hostile file cannot exhaust this thread's stack either.
    bool walk(uint64_t top) {
        enum : uint8_t { Unseen, Open, Done };
        // What the walk knows of each object, kept small: a list of 100,000
        // keys has some 400,000 objects, and this is read at every start
        // of the home screen. Heights are at most maxDepth and expansions
        // at most maxNodes when stored (both are checked first).
        struct Seen {
            uint32_t expanded = 0; // objects once shared references are copied
            uint8_t state = Unseen;
            uint8_t height = 0;    // container nesting below and at the object
        };
        static_assert(PropertyListLimits::maxDepth < 256 && PropertyListLimits::maxNodes < UINT32_MAX);
        std::vector<Seen> seen(numObjects_);
        struct Frame {
            uint64_t index;
            Object obj;
            uint64_t next = 0;
            int height = 0;
            uint64_t expanded = 1;
        };
        std::vector<Frame> stack;
        auto enter = [&](uint64_t index) -> bool {
            Frame f{index, {}, 0, 0, 1};
            if (!parseObject(index, f.obj)) return false;
            seen[index].state = Open;
            if (isContainer(f.obj) && static_cast<int>(stack.size()) >= PropertyListLimits::maxDepth) return false;
            stack.push_back(f);
            return true;
        };
        if (!enter(top)) return false;
        while (!stack.empty()) {
            Frame& f = stack.back();
            uint64_t children = f.obj.type == 0xD ? f.obj.count * 2 : (f.obj.type == 0xA ? f.obj.count : 0);
            if (f.next < children) {
                uint64_t child = ref(f.obj, f.next);
                bool isKey = f.obj.type == 0xD && f.next < f.obj.count;
                ++f.next;
                if (seen[child].state == Open) return false; // a cycle
                if (seen[child].state == Unseen) {
                    // A leaf (most objects: keys, numbers) is settled here,
                    // without a frame of its own.
                    Object leaf;
                    if (!parseObject(child, leaf)) return false;
                    if (isKey && !isString(leaf)) return false;
                    if (isContainer(leaf)) {
                        if (static_cast<int>(stack.size()) >= PropertyListLimits::maxDepth) return false;
                        seen[child].state = Open;
                        stack.push_back(Frame{child, leaf, 0, 0, 1});
                        continue;
                    }
                    seen[child].state = Done;
                    seen[child].expanded = 1;
                    if (++f.expanded > PropertyListLimits::maxNodes) return false;
                    continue;
                }
                if (isKey) {
                    Object keyObj;
                    if (!parseObject(child, keyObj) || !isString(keyObj)) return false;
                }
                f.height = std::max(f.height, static_cast<int>(seen[child].height));
                f.expanded += seen[child].expanded;
                if (f.expanded > PropertyListLimits::maxNodes) return false;
                continue;
            }
            Frame done = f;
            stack.pop_back();
            int h = done.height + (isContainer(done.obj) ? 1 : 0);
            if (h > PropertyListLimits::maxDepth) return false;
            seen[done.index].state = Done;
            seen[done.index].height = static_cast<uint8_t>(h);
            seen[done.index].expanded = static_cast<uint32_t>(done.expanded);
            if (!stack.empty()) {
                Frame& parent = stack.back();
                parent.height = std::max(parent.height, h);
                parent.expanded += done.expanded;
                if (parent.expanded > PropertyListLimits::maxNodes) return false;
            }
        }
        return true;
    }

    const uint8_t* d_;
    size_t n_;
    uint8_t offsetSize_ = 0;
    uint8_t refSize_ = 0;
    uint64_t numObjects_ = 0;
    uint64_t tableOffset_ = 0;
    uint64_t top_ = 0;
    // Offsets lie inside the file, which is at most maxBytes long.
    std::vector<uint32_t> offsets_;
};

// ---- a validated binary list to Foundation ----

// Reads a binary list that BinaryValidator has passed straight into
// Foundation values: the values fromNode makes of libplist's tree of the
// same bytes, without that tree. A file of 100,000 keys is read at every
// start of the home screen, and building libplist's nodes only to copy
// them and free them again cost more than twice the reading itself. What
// the validator guarantees (lengths inside the object area, references
// below the object count, no cycle, string keys, ASCII that is ASCII,
// UTF-16 with paired surrogates and no U+0000) is relied on here; where
// libplist 2.2.0 refuses a valid-looking object, this refuses it too:
//  - integers of 1, 2, 4 and 8 bytes are read unsigned, and a 16-byte one
//    by its low 8 bytes; a value above INT64_MAX is unsigned only when it
//    came in 16 bytes (see the note on integers at the top);
//  - a 4-byte real is the float widened;
//  - an empty UTF-16 string is refused, as libplist's converter refuses it,
//    and so is a UID beyond 32 bits;
//  - the nesting counts as in fromNode: the top value is at depth 1, and a
//    value deeper than maxDepth is refused;
//  - booleans are the list's one YES and one NO, and an integer or real
//    object referred to from several places is one number (numbers are
//    immutable, so sharing them changes nothing a reader could see).
// PropertyList::parseThroughLibplist keeps the old path as the reference
// this reader is tested against.
class BinaryReader {
public:
    explicit BinaryReader(const BinaryValidator& file)
        : f_(file), numbers_(static_cast<size_t>(std::min<uint64_t>(file.numObjects_, kNumberSlots))) {}

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
            double seconds = 0;
            f_.date(index, seconds);
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
        h.p = f_.d_ + f_.offsets_[index];
        uint8_t marker = *h.p++;
        h.type = marker >> 4;
        h.info = marker & 0x0F;
        if (h.type == 0x4 || h.type == 0x5 || h.type == 0x6 || h.type == 0xA || h.type == 0xD)
            f_.readLength(h.info, h.p, h.length);
        return h;
    }

    uint64_t ref(const Head& h, uint64_t i) const { return readBigEndian(h.p + i * f_.refSize_, f_.refSize_); }

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

// ---- libplist nodes to Foundation ----

// True when an integer node came from a 16-byte binary integer or an XML
// number above INT64_MAX: see the note on integers at the top.
bool isUnsignedNode(plist_t node, uint64_t value) {
    if (value <= static_cast<uint64_t>(INT64_MAX)) return false;
    PlistOwner plain(plist_new_uint(value));
    return !plist_compare_node_value(node, plain.get());
}

// An array's items in order, while f answers true; answers whether f
// never answered false. (Asking for item i walks the list from the start
// in libplist 2.2.0; the iterator does not.)
template <class F>
bool forEachItem(plist_t array, F&& f) {
    plist_array_iter it = nullptr;
    plist_array_new_iter(array, &it);
    if (!it) return true;
    bool ok = true;
    for (;;) {
        plist_t item = nullptr;
        plist_array_next_item(array, it, &item);
        if (!item) break;
        if (!(ok = f(item))) break;
    }
    std::free(it);
    return ok;
}

// A dictionary's keys (nil for a key libplist cannot give) and values in
// order, while f answers true; answers whether f never answered false.
template <class F>
bool forEachEntry(plist_t dict, F&& f) {
    plist_dict_iter it = nullptr;
    plist_dict_new_iter(dict, &it);
    if (!it) return true;
    bool ok = true;
    for (;;) {
        char* key = nullptr;
        plist_t value = nullptr;
        plist_dict_next_item(dict, it, &key, &value);
        if (!value) {
            std::free(key);
            break;
        }
        ok = f(static_cast<const char*>(key), value);
        std::free(key);
        if (!ok) break;
    }
    std::free(it);
    return ok;
}

// Where a node came from in a binary file, so that values libplist reads
// lossily can be taken from the bytes instead.
struct BinarySource {
    const BinaryValidator* file;
    uint64_t index;
};

// Dates: libplist 2.2.0 hands a date out as whole seconds truncated towards
// zero plus the magnitude of the fraction, losing the fraction's sign. A
// binary date is therefore read from the file itself; elsewhere (XML dates
// are whole seconds) the fraction takes the sign of the seconds.
double dateSeconds(plist_t node, const BinarySource* source) {
    double exact;
    if (source && source->file->date(source->index, exact)) return exact;
    int32_t sec = 0, usec = 0;
    plist_get_date_val(node, &sec, &usec);
    double fraction = std::fabs(static_cast<double>(usec)) / 1e6;
    return sec < 0 ? static_cast<double>(sec) - fraction : static_cast<double>(sec) + fraction;
}

id fromNode(plist_t node, int depth, const BinarySource* source) {
    if (!node || depth > PropertyListLimits::maxDepth) return nullptr;
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
        uint8_t b = 0;
        plist_get_bool_val(node, &b);
        return NSNumber::numberWithBool(b != 0);
    }
    case PLIST_UINT: {
        uint64_t u = 0;
        plist_get_uint_val(node, &u);
        if (isUnsignedNode(node, u)) return NSNumber::numberWithUnsignedLongLong(u);
        return NSNumber::numberWithInteger(static_cast<int64_t>(u));
    }
    case PLIST_REAL: {
        double d = 0;
        plist_get_real_val(node, &d);
        return NSNumber::numberWithDouble(d);
    }
    case PLIST_STRING: {
        uint64_t length = 0;
        const char* s = plist_get_string_ptr(node, &length);
        if (!s) return std::make_shared<NSString>();
        if (!isValidUTF8(s, length)) return nullptr;
        return std::make_shared<NSString>(std::string(s, length));
    }
    case PLIST_DATA: {
        uint64_t length = 0;
        const char* p = plist_get_data_ptr(node, &length);
        if (!p || length == 0) return std::make_shared<NSData>();
        return std::make_shared<NSData>(std::vector<uint8_t>(p, p + length));
    }
    case PLIST_DATE:
        return std::make_shared<NSDate>(dateSeconds(node, source));
    case PLIST_UID:
        return NSNull::null();
    case PLIST_ARRAY: {
        auto array = std::make_shared<NSMutableArray>();
        uint32_t n = plist_array_get_size(node);
        std::vector<uint64_t> refs;
        bool aligned = source && source->file->valueRefs(source->index, false, n, refs);
        size_t i = 0;
        bool ok = forEachItem(node, [&](plist_t itemNode) {
            bool childAligned = aligned && i < refs.size();
            BinarySource child{childAligned ? source->file : nullptr, childAligned ? refs[i] : 0};
            ++i;
            id item = fromNode(itemNode, depth + 1, childAligned ? &child : nullptr);
            if (!item) return false;
            array->addObject(std::move(item));
            return true;
        });
        return ok ? id(array) : nullptr;
    }
    case PLIST_DICT: {
        auto dict = std::make_shared<NSMutableDictionary>();
        std::vector<uint64_t> refs;
        bool aligned = source && source->file->valueRefs(source->index, true, plist_dict_get_size(node), refs);
        size_t i = 0;
        bool ok = forEachEntry(node, [&](const char* key, plist_t value) {
            std::string k = key ? key : "";
            bool childAligned = aligned && i < refs.size();
            BinarySource child{childAligned ? source->file : nullptr, childAligned ? refs[i] : 0};
            ++i;
            id item = isValidUTF8(k.data(), k.size()) ? fromNode(value, depth + 1, childAligned ? &child : nullptr)
                                                      : nullptr;
            if (!item) return false;
            dict->setObjectForKey(std::move(item), k);
            return true;
        });
        return ok ? id(dict) : nullptr;
    }
    default:
        return nullptr;
    }
}

// ---- Foundation to libplist nodes ----

plist_t newUnsignedNode(uint64_t value) {
    if (value <= static_cast<uint64_t>(INT64_MAX)) return plist_new_uint(value);
    // libplist 2.2.0 has no public call that makes a 16-byte integer; its
    // XML reader makes one for a number above INT64_MAX.
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><integer>" +
                      std::to_string(value) + "</integer></plist>";
    plist_t node = nullptr;
    plist_from_xml(xml.data(), static_cast<uint32_t>(xml.size()), &node);
    return node;
}

// A date node holding exactly `seconds`. plist_new_date takes whole
// seconds and microseconds and would round; libplist's binary reader keeps
// the stored double, so the node is read from a one-object binary list.
// XML dates are whole seconds, and libplist reads them back only within
// the 32-bit range of seconds around 2001; a date outside it is refused
// for XML rather than written into something else.
plist_t newDateNode(double seconds, PropertyListFormat format) {
    if (!std::isfinite(seconds)) return nullptr;
    if (format == PropertyListFormat::XML &&
        (seconds < std::numeric_limits<int32_t>::min() || seconds >= std::numeric_limits<int32_t>::max()))
        return nullptr;
    uint8_t file[kBinaryMagicLength + 9 + 1 + kTrailerLength] = {};
    std::memcpy(file, kBinaryMagic, kBinaryMagicLength);
    uint64_t bits;
    std::memcpy(&bits, &seconds, sizeof bits);
    file[8] = 0x33;
    for (int i = 0; i < 8; ++i) file[9 + i] = static_cast<uint8_t>(bits >> (56 - 8 * i));
    file[17] = 8;                                           // the offset table: object 0 at 8
    uint8_t* trailer = file + 18;
    trailer[6] = 1;                                         // offset size
    trailer[7] = 1;                                         // reference size
    trailer[15] = 1;                                        // one object
    trailer[31] = 17;                                       // offset table at 17
    plist_t node = nullptr;
    plist_from_bin(reinterpret_cast<const char*>(file), sizeof file, &node);
    return node;
}

bool isPlainText(const std::string& s) {
    return s.find('\0') == std::string::npos && isValidUTF8(s.data(), s.size());
}

plist_t toNode(const NSObject* obj, int depth, PropertyListFormat format) {
    // The depth bound also ends a container that holds itself.
    if (!obj || depth > PropertyListLimits::maxDepth) return nullptr;
    if (auto* s = dynamic_cast<const NSString*>(obj)) {
        // libplist keeps C strings: a NUL would cut the text short.
        if (!isPlainText(s->UTF8String())) return nullptr;
        return plist_new_string(s->UTF8String().c_str());
    }
    if (auto* n = dynamic_cast<const NSNumber*>(obj)) {
        switch (n->kind()) {
        case NSNumber::Kind::Bool: return plist_new_bool(n->boolValue() ? 1 : 0);
        case NSNumber::Kind::Integer: return plist_new_uint(static_cast<uint64_t>(n->integerValue()));
        case NSNumber::Kind::Unsigned: return newUnsignedNode(n->unsignedLongLongValue());
        case NSNumber::Kind::Real: {
            // A single-precision number is written as the float it is, so
            // every reader sees the float32 value (the binary writer then
            // stores it in four bytes).
            double d = n->isSinglePrecision() ? static_cast<double>(n->floatValue()) : n->doubleValue();
            return plist_new_real(d);
        }
        }
        return nullptr;
    }
    if (auto* data = dynamic_cast<const NSData*>(obj)) {
        const auto& bytes = data->bytes();
        return plist_new_data(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }
    if (auto* date = dynamic_cast<const NSDate*>(obj)) return newDateNode(date->timeIntervalSinceReferenceDate(), format);
    if (auto* array = dynamic_cast<const NSArray*>(obj)) {
        PlistOwner node(plist_new_array());
        for (const id& item : array->items()) {
            plist_t child = toNode(item.get(), depth + 1, format);
            if (!child) return nullptr;
            plist_array_append_item(node.get(), child);
        }
        return node.release();
    }
    if (auto* dict = dynamic_cast<const NSDictionary*>(obj)) {
        PlistOwner node(plist_new_dict());
        for (const auto& [key, value] : dict->entries()) {
            if (!isPlainText(key)) return nullptr;
            plist_t child = toNode(value.get(), depth + 1, format);
            if (!child) return nullptr;
            plist_dict_set_item(node.get(), key.c_str(), child);
        }
        return node.release();
    }
    return nullptr;
}

bool hasBinaryMagic(const std::vector<uint8_t>& bytes) {
    return bytes.size() >= 6 && std::memcmp(bytes.data(), "bplist", 6) == 0;
}

} // namespace

namespace {

// The guarded way into libplist: checks the bytes, then parses them. The
// validator is kept (in `binary`) for reading alongside the tree.
PlistOwner parseToNode(const std::vector<uint8_t>& bytes, PropertyListFormat& format,
                       std::optional<BinaryValidator>& binary) {
    if (bytes.empty() || bytes.size() > PropertyListLimits::maxBytes) return nullptr;
    plist_t root = nullptr;
    if (hasBinaryMagic(bytes)) {
        binary.emplace(bytes.data(), bytes.size());
        if (!binary->validate()) return nullptr;
        plist_from_bin(reinterpret_cast<const char*>(bytes.data()), static_cast<uint32_t>(bytes.size()), &root);
        format = PropertyListFormat::Binary;
    } else {
        if (!xmlWithinLimits(bytes.data(), bytes.size())) return nullptr;
        plist_from_xml(reinterpret_cast<const char*>(bytes.data()), static_cast<uint32_t>(bytes.size()), &root);
        format = PropertyListFormat::XML;
    }
    return PlistOwner(root);
}

// Writes a libplist tree as a binary list. libplist 2.2.0's own writer
// takes time in proportion to the square of the objects (a 100,000-key
// state file took most of a second to write, 40,000 integers four times as
// long as 20,000); this one is linear. It writes what libplist writes:
// the top object first, every scalar once however often it occurs (keys
// included), integers in the fewest of 1, 2, 4 or 8 bytes (a negative one
// in 8, one above INT64_MAX in 16), a real in 4 bytes when a float holds
// it exactly, ASCII text as ASCII and other text as UTF-16.
class BinaryWriter {
public:
    bool write(plist_t root, std::vector<uint8_t>& out) {
        uint64_t bound = countObjects(root);
        if (bound == 0) return false;
        refSize_ = bytesFor(bound);
        objects_.clear();
        uint64_t top;
        if (!add(root, 1, top)) return false;
        out.assign(kBinaryMagic, kBinaryMagic + kBinaryMagicLength);
        std::vector<uint64_t> offsets;
        offsets.reserve(objects_.size());
        for (const auto& o : objects_) {
            offsets.push_back(out.size());
            out.insert(out.end(), o.begin(), o.end());
        }
        uint64_t tableOffset = out.size();
        uint8_t offsetSize = bytesFor(tableOffset);
        for (uint64_t o : offsets) putBigEndian(out, o, offsetSize);
        uint8_t trailer[kTrailerLength] = {};
        trailer[6] = offsetSize;
        trailer[7] = refSize_;
        putInto(trailer + 8, objects_.size());
        putInto(trailer + 16, top);
        putInto(trailer + 24, tableOffset);
        out.insert(out.end(), trailer, trailer + kTrailerLength);
        return true;
    }

private:
    static uint8_t bytesFor(uint64_t v) { return v < 0x100 ? 1 : v < 0x10000 ? 2 : v <= UINT32_MAX ? 4 : 8; }
    static void putBigEndian(std::vector<uint8_t>& out, uint64_t v, size_t n) {
        for (size_t i = n; i-- > 0;) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
    static void putInto(uint8_t* p, uint64_t v) {
        for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (56 - 8 * i));
    }
    // A marker with a length: in its low nibble below 15, else after it
    // as an integer object.
    static void putHead(std::vector<uint8_t>& out, uint8_t type, uint64_t length) {
        if (length < 15) {
            out.push_back(static_cast<uint8_t>(type << 4 | length));
            return;
        }
        out.push_back(static_cast<uint8_t>(type << 4 | 0xF));
        uint8_t n = bytesFor(length);
        out.push_back(static_cast<uint8_t>(0x10 | (n == 1 ? 0 : n == 2 ? 1 : n == 4 ? 2 : 3)));
        putBigEndian(out, length, n);
    }

    // Objects before sharing: an upper bound that fixes the reference size.
    static uint64_t countObjects(plist_t root) {
        uint64_t count = 0;
        std::vector<plist_t> stack{root};
        while (!stack.empty()) {
            plist_t node = stack.back();
            stack.pop_back();
            ++count;
            if (plist_get_node_type(node) == PLIST_ARRAY) {
                forEachItem(node, [&](plist_t item) {
                    stack.push_back(item);
                    return true;
                });
            } else if (plist_get_node_type(node) == PLIST_DICT) {
                forEachEntry(node, [&](const char*, plist_t value) {
                    ++count;
                    stack.push_back(value);
                    return true;
                });
            }
        }
        return count;
    }

    bool addScalar(std::vector<uint8_t>&& bytes, uint64_t& index) {
        auto [it, fresh] = shared_.try_emplace(std::string(bytes.begin(), bytes.end()), objects_.size());
        if (fresh) objects_.push_back(std::move(bytes));
        index = it->second;
        return true;
    }

    bool addText(const char* text, size_t length, uint64_t& index) {
        std::vector<uint8_t> o;
        bool ascii = true;
        for (size_t i = 0; i < length; ++i) ascii = ascii && static_cast<unsigned char>(text[i]) < 0x80;
        if (ascii) {
            putHead(o, 0x5, length);
            o.insert(o.end(), text, text + length);
            return addScalar(std::move(o), index);
        }
        std::vector<uint16_t> units;
        for (size_t i = 0; i < length;) {
            unsigned char c = static_cast<unsigned char>(text[i]);
            uint32_t cp;
            size_t n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
            if (i + n > length) return false;
            cp = n == 1 ? c : n == 2 ? (c & 0x1F) : n == 3 ? (c & 0x0F) : (c & 0x07);
            for (size_t k = 1; k < n; ++k) cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
            i += n;
            if (cp >= 0x10000) {
                cp -= 0x10000;
                units.push_back(static_cast<uint16_t>(0xD800 | (cp >> 10)));
                units.push_back(static_cast<uint16_t>(0xDC00 | (cp & 0x3FF)));
            } else {
                units.push_back(static_cast<uint16_t>(cp));
            }
        }
        putHead(o, 0x6, units.size());
        for (uint16_t u : units) putBigEndian(o, u, 2);
        return addScalar(std::move(o), index);
    }

    bool add(plist_t node, int depth, uint64_t& index) {
        if (!node || depth > PropertyListLimits::maxDepth + 1) return false;
        std::vector<uint8_t> o;
        switch (plist_get_node_type(node)) {
        case PLIST_BOOLEAN: {
            uint8_t b = 0;
            plist_get_bool_val(node, &b);
            o.push_back(b ? 0x09 : 0x08);
            return addScalar(std::move(o), index);
        }
        case PLIST_UINT: {
            uint64_t u = 0;
            plist_get_uint_val(node, &u);
            if (u > static_cast<uint64_t>(INT64_MAX) && isUnsignedNode(node, u)) {
                o.push_back(0x14);
                putBigEndian(o, 0, 8);
                putBigEndian(o, u, 8);
            } else {
                uint8_t n = u > static_cast<uint64_t>(INT64_MAX) ? 8 : bytesFor(u);
                o.push_back(static_cast<uint8_t>(0x10 | (n == 1 ? 0 : n == 2 ? 1 : n == 4 ? 2 : 3)));
                putBigEndian(o, u, n);
            }
            return addScalar(std::move(o), index);
        }
        case PLIST_REAL: {
            double d = 0;
            plist_get_real_val(node, &d);
            float f = static_cast<float>(d);
            if (static_cast<double>(f) == d) {
                uint32_t bits;
                std::memcpy(&bits, &f, sizeof bits);
                o.push_back(0x22);
                putBigEndian(o, bits, 4);
            } else {
                uint64_t bits;
                std::memcpy(&bits, &d, sizeof bits);
                o.push_back(0x23);
                putBigEndian(o, bits, 8);
            }
            return addScalar(std::move(o), index);
        }
        case PLIST_DATE: {
            // The node's exact double is not in libplist's interface:
            // libplist writes this one object, and its bytes are taken.
            PlistOwner copy(plist_copy(node));
            char* buffer = nullptr;
            uint32_t length = 0;
            plist_to_bin(copy.get(), &buffer, &length);
            if (!buffer) return false;
            std::vector<uint8_t> one(buffer, buffer + length);
            plist_to_bin_free(buffer);
            if (one.size() < kBinaryMagicLength + 9 || one[kBinaryMagicLength] != 0x33) return false;
            o.assign(one.begin() + kBinaryMagicLength, one.begin() + kBinaryMagicLength + 9);
            return addScalar(std::move(o), index);
        }
        case PLIST_DATA: {
            char* bytes = nullptr;
            uint64_t length = 0;
            plist_get_data_val(node, &bytes, &length);
            putHead(o, 0x4, length);
            if (bytes) o.insert(o.end(), bytes, bytes + length);
            std::free(bytes);
            return addScalar(std::move(o), index);
        }
        case PLIST_STRING: {
            char* text = nullptr;
            plist_get_string_val(node, &text);
            bool ok = text && addText(text, std::strlen(text), index);
            std::free(text);
            return ok;
        }
        case PLIST_UID: {
            uint64_t uid = 0;
            plist_get_uid_val(node, &uid);
            uint8_t n = bytesFor(uid);
            o.push_back(static_cast<uint8_t>(0x80 | (n - 1)));
            putBigEndian(o, uid, n);
            return addScalar(std::move(o), index);
        }
        case PLIST_ARRAY: {
            index = objects_.size();
            objects_.emplace_back();
            std::vector<uint64_t> refs;
            bool ok = forEachItem(node, [&](plist_t item) {
                uint64_t r = 0;
                if (!add(item, depth + 1, r)) return false;
                refs.push_back(r);
                return true;
            });
            if (!ok) return false;
            putHead(o, 0xA, refs.size());
            for (uint64_t r : refs) putBigEndian(o, r, refSize_);
            objects_[index] = std::move(o);
            return true;
        }
        case PLIST_DICT: {
            index = objects_.size();
            objects_.emplace_back();
            std::vector<uint64_t> keys, values;
            bool ok = forEachEntry(node, [&](const char* key, plist_t value) {
                uint64_t k = 0, v = 0;
                if (!key || !addText(key, std::strlen(key), k) || !add(value, depth + 1, v)) return false;
                keys.push_back(k);
                values.push_back(v);
                return true;
            });
            if (!ok) return false;
            putHead(o, 0xD, keys.size());
            for (uint64_t r : keys) putBigEndian(o, r, refSize_);
            for (uint64_t r : values) putBigEndian(o, r, refSize_);
            objects_[index] = std::move(o);
            return true;
        }
        default:
            return false;
        }
    }

    uint8_t refSize_ = 1;
    std::vector<std::vector<uint8_t>> objects_;
    std::unordered_map<std::string, uint64_t> shared_;
};

bool writeNode(plist_t root, PropertyListFormat format, std::vector<uint8_t>& out) {
    out.clear();
    char* buffer = nullptr;
    uint32_t length = 0;
    if (format == PropertyListFormat::Binary) {
        return BinaryWriter().write(root, out) && !out.empty();
    } else {
        plist_to_xml(root, &buffer, &length);
        if (!buffer) return false;
        out.assign(buffer, buffer + length);
        plist_to_xml_free(buffer);
    }
    return !out.empty();
}

} // namespace

id PropertyList::parse(const std::vector<uint8_t>& bytes, PropertyListFormat* format) {
    // A binary list is read directly (see BinaryReader), XML through
    // libplist.
    if (!bytes.empty() && bytes.size() <= PropertyListLimits::maxBytes && hasBinaryMagic(bytes)) {
        BinaryValidator binary(bytes.data(), bytes.size());
        if (!binary.validate()) return nullptr;
        id value = BinaryReader(binary).read(binary.top(), 1);
        if (value && format) *format = PropertyListFormat::Binary;
        return value;
    }
    return parseThroughLibplist(bytes, format);
}

id PropertyList::parseThroughLibplist(const std::vector<uint8_t>& bytes, PropertyListFormat* format) {
    PropertyListFormat found = PropertyListFormat::Binary;
    std::optional<BinaryValidator> binary;
    PlistOwner root = parseToNode(bytes, found, binary);
    if (!root) return nullptr;
    BinarySource top{binary ? &*binary : nullptr, binary ? binary->top() : 0};
    id value = fromNode(root.get(), 1, binary ? &top : nullptr);
    if (value && format) *format = found;
    return value;
}

namespace {

// Whether any of keys stands in the dictionary more than once: one walk,
// however many keys a write changes.
bool anyKeyTwice(plist_t dict, const std::vector<std::pair<std::string, const NSObject*>>& changes) {
    std::unordered_map<std::string_view, int> seen;
    for (const auto& change : changes) seen.emplace(change.first, 0);
    bool twice = false;
    forEachEntry(dict, [&](const char* key, plist_t) {
        if (!key) return true;
        auto it = seen.find(key);
        twice = it != seen.end() && ++it->second > 1;
        return !twice;
    });
    return twice;
}

// The dictionary as readers see it: each key once, in the place where it
// first stands, with the value it last has.
plist_t withoutDuplicateKeys(plist_t dict) {
    plist_t merged = plist_new_dict();
    forEachEntry(dict, [&](const char* key, plist_t value) {
        if (key) plist_dict_set_item(merged, key, plist_copy(value));
        return true;
    });
    return merged;
}

} // namespace

// The merge works on libplist's tree, not on Foundation values: the keys it
// does not touch are written back from what libplist read, node for node,
// so nothing of theirs (UIDs, 16-byte integers, exact dates, key order,
// text as it was) can change on the way.
bool PropertyList::setValueForKey(const std::vector<uint8_t>& list, const std::string& key, const NSObject* value,
                                  std::vector<uint8_t>& out, PropertyListFormat* format) {
    return setValuesForKeys(list, {{key, value}}, out, format);
}

bool PropertyList::setValuesForKeys(const std::vector<uint8_t>& list,
                                    const std::vector<std::pair<std::string, const NSObject*>>& changes,
                                    std::vector<uint8_t>& out, PropertyListFormat* format) {
    out.clear();
    PropertyListFormat found = PropertyListFormat::Binary;
    PlistOwner root;
    if (list.empty()) {
        root.reset(plist_new_dict());
    } else {
        std::optional<BinaryValidator> binary;
        root = parseToNode(list, found, binary);
        // A list that parse() refuses (a text that is not UTF-8, say) is no
        // list to any reader here: rewriting it would replace a file whose
        // contents nobody could see, so it is left as it is.
        BinarySource top{binary ? &*binary : nullptr, binary ? binary->top() : 0};
        if (root && !fromNode(root.get(), 1, binary ? &top : nullptr)) return false;
    }
    if (!root || plist_get_node_type(root.get()) != PLIST_DICT) return false;
    for (const auto& change : changes)
        if (!isPlainText(change.first)) return false;
    // A key may stand in a list more than once (no writer makes such a list,
    // a damaged or hand-made one may); readers take its first place and its
    // last value. Changing one occurrence would leave readers with the old
    // value, so such a list is first made what readers see.
    if (anyKeyTwice(root.get(), changes)) root.reset(withoutDuplicateKeys(root.get()));
    for (const auto& [key, value] : changes) {
        if (value) {
            // The value sits one level below the root.
            plist_t node = toNode(value, 2, found);
            if (!node) return false;
            plist_dict_set_item(root.get(), key.c_str(), node);
        } else {
            plist_dict_remove_item(root.get(), key.c_str());
        }
    }
    if (!writeNode(root.get(), found, out)) return false;
    if (format) *format = found;
    return true;
}

PropertyList::ReadResult PropertyList::readFileBytes(const std::string& hostPath, std::vector<uint8_t>& out) {
    out.clear();
    if (hostPath.empty()) return ReadResult::Unreadable;
    int fd = ::open(hostPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return errno == ENOENT ? ReadResult::Missing : ReadResult::Unreadable;
    struct FdCloser {
        int fd;
        ~FdCloser() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    // Only a regular file: a directory, a FIFO or a device is no list.
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return ReadResult::Unreadable;
    if (static_cast<uint64_t>(st.st_size) > PropertyListLimits::maxBytes) return ReadResult::Unreadable;
    out.reserve(static_cast<size_t>(st.st_size));
    uint8_t buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            out.clear();
            return ReadResult::Unreadable;
        }
        if (n == 0) break;
        if (out.size() + static_cast<size_t>(n) > PropertyListLimits::maxBytes) {
            out.clear();
            return ReadResult::Unreadable;
        }
        out.insert(out.end(), buf, buf + n);
    }
    return ReadResult::Ok;
}

id PropertyList::readFile(const std::string& hostPath, PropertyListFormat* format) {
    std::vector<uint8_t> bytes;
    if (readFileBytes(hostPath, bytes) != ReadResult::Ok) return nullptr;
    return parse(bytes, format);
}

bool PropertyList::serialize(const NSObject& value, PropertyListFormat format, std::vector<uint8_t>& out) {
    out.clear();
    PlistOwner root(toNode(&value, 1, format));
    return root && writeNode(root.get(), format, out);
}

std::shared_ptr<NSMutableDictionary> dictionaryWithContentsOfFile(const std::string& devicePath) {
    std::string hostPath = DevicePaths::map(devicePath);
    if (hostPath.empty()) return nullptr;
    // Changes handed to the preferences daemon before this read are in it.
    NSUserDefaults::waitForPendingWrites();
    return std::dynamic_pointer_cast<NSMutableDictionary>(PropertyList::readFile(hostPath));
}
