// The layout of Apple's binary property list ("bplist00"), shared by its
// validator, its reader and its writer: an 8-byte header, the objects, a
// table of their offsets, and a 32-byte trailer giving the offset and
// reference sizes, the object count, the top object and where the table
// starts. Numbers in the file are big-endian.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace propertylist {

constexpr char kBinaryMagic[] = "bplist00";
constexpr size_t kBinaryMagicLength = 8;
constexpr size_t kTrailerLength = 32;

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

// Any "bplist" header, whatever its version: such bytes are read as a
// binary list or not at all, never as XML.
inline bool hasBinaryMagic(const std::vector<uint8_t>& bytes) {
    return bytes.size() >= 6 && std::memcmp(bytes.data(), "bplist", 6) == 0;
}

} // namespace propertylist
