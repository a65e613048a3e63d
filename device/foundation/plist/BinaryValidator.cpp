#include "foundation/plist/BinaryValidator.h"

#include <algorithm>
#include <cstring>

#include "foundation/PropertyList.h"

namespace propertylist {

namespace {

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

} // namespace

bool BinaryValidator::validate() {
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

inline bool BinaryValidator::parseObject(uint64_t index, Object& obj) const {
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

// Depth-first over the object graph with an explicit stack, so a
// hostile file cannot exhaust this thread's stack either.
bool BinaryValidator::walk(uint64_t top) {
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

} // namespace propertylist
