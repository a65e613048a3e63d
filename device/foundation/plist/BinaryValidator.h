// The validation of a binary property list, which every binary list
// passes before the device's reader (BinaryReader) reads it, for a reader
// of the file or for a preferences write that rewrites it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "foundation/plist/BinaryFormat.h"

namespace propertylist {

// Checks a "bplist00" file, so that what reads it may trust it:
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

    bool validate();

    // ---- a file that validate() has passed ----

    uint64_t top() const { return top_; }
    uint64_t objectCount() const { return numObjects_; }
    uint8_t refSize() const { return refSize_; }
    // Where object `index` starts: its marker.
    const uint8_t* object(uint64_t index) const { return d_ + offsets_[index]; }

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

private:
    struct Object {
        uint8_t type = 0;           // high nibble of the marker
        uint64_t count = 0;         // elements of an array, pairs of a dict
        const uint8_t* refs = nullptr;
    };

    // Inline: the walk parses every object of the file, a few hundred
    // thousand at a start of the home screen.
    inline bool parseObject(uint64_t index, Object& obj) const;
    uint64_t ref(const Object& obj, uint64_t i) const { return readBigEndian(obj.refs + i * refSize_, refSize_); }
    static bool isContainer(const Object& obj) { return obj.type == 0xA || obj.type == 0xD; }
    static bool isString(const Object& obj) { return obj.type == 0x5 || obj.type == 0x6; }
    bool walk(uint64_t top);

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

} // namespace propertylist
