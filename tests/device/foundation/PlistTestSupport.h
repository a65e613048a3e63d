// Helpers for property-list tests: the shared deep comparison of
// Foundation values (tests/support/PlistEquality.h) and a builder of binary
// property lists byte by byte, so that tests can hand-make both good files
// and every kind of broken one.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/Foundation.h"
#include "tests/support/PlistEquality.h"

// A "bplist00" file assembled from raw objects. Reference and offset sizes
// are the smallest that fit unless a test forces them; the trailer fields
// can be overridden to make broken files.
class BinaryPlistBuilder {
public:
    using Bytes = std::vector<uint8_t>;

    size_t add(Bytes object) {
        objects_.push_back(std::move(object));
        return objects_.size() - 1;
    }
    // Reserves an index now and fills the object in later (for cycles).
    size_t reserve() { return add({}); }
    void set(size_t index, Bytes object) { objects_[index] = std::move(object); }

    static Bytes withLength(uint8_t type, uint64_t length) {
        if (length < 15) return {static_cast<uint8_t>(type << 4 | length)};
        Bytes out{static_cast<uint8_t>(type << 4 | 0xF), 0x13};
        for (int i = 7; i >= 0; --i) out.push_back(static_cast<uint8_t>(length >> (8 * i)));
        return out;
    }
    static Bytes ascii(const std::string& s) {
        Bytes out = withLength(0x5, s.size());
        out.insert(out.end(), s.begin(), s.end());
        return out;
    }
    static Bytes utf16(const std::vector<uint16_t>& units) {
        Bytes out = withLength(0x6, units.size());
        for (uint16_t u : units) {
            out.push_back(static_cast<uint8_t>(u >> 8));
            out.push_back(static_cast<uint8_t>(u));
        }
        return out;
    }
    static Bytes integer8(uint64_t v) {
        Bytes out{0x13};
        for (int i = 7; i >= 0; --i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
        return out;
    }
    static Bytes integer16(uint64_t high, uint64_t low) {
        Bytes out{0x14};
        for (int i = 7; i >= 0; --i) out.push_back(static_cast<uint8_t>(high >> (8 * i)));
        for (int i = 7; i >= 0; --i) out.push_back(static_cast<uint8_t>(low >> (8 * i)));
        return out;
    }
    Bytes array(const std::vector<uint64_t>& refs) const {
        Bytes out = withLength(0xA, refs.size());
        for (uint64_t r : refs) appendRef(out, r);
        return out;
    }
    Bytes dict(const std::vector<uint64_t>& keys, const std::vector<uint64_t>& values) const {
        Bytes out = withLength(0xD, keys.size());
        for (uint64_t r : keys) appendRef(out, r);
        for (uint64_t r : values) appendRef(out, r);
        return out;
    }

    // Must be chosen before objects that hold references are made.
    void setRefSize(uint8_t size) { refSize_ = size; }

    struct Trailer {
        uint8_t offsetSize;
        uint8_t refSize;
        uint64_t numObjects;
        uint64_t top;
        uint64_t tableOffset;
    };

    template <class Tweak>
    Bytes build(uint64_t top, Tweak tweak, std::vector<uint64_t>* offsetsOut = nullptr) const {
        Bytes out = {'b', 'p', 'l', 'i', 's', 't', '0', '0'};
        std::vector<uint64_t> offsets;
        for (const Bytes& o : objects_) {
            offsets.push_back(out.size());
            out.insert(out.end(), o.begin(), o.end());
        }
        if (offsetsOut) *offsetsOut = offsets;
        Trailer t{sizeFor(out.size()), refSize_, objects_.size(), top, out.size()};
        for (uint64_t off : offsets)
            for (int i = t.offsetSize - 1; i >= 0; --i) out.push_back(static_cast<uint8_t>(off >> (8 * i)));
        tweak(t);
        for (int i = 0; i < 6; ++i) out.push_back(0);
        out.push_back(t.offsetSize);
        out.push_back(t.refSize);
        for (uint64_t v : {t.numObjects, t.top, t.tableOffset})
            for (int i = 7; i >= 0; --i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
        return out;
    }
    Bytes build(uint64_t top) const {
        return build(top, [](Trailer&) {});
    }

private:
    static uint8_t sizeFor(uint64_t maxValue) { return maxValue < 0x100 ? 1 : maxValue < 0x10000 ? 2 : 4; }
    void appendRef(Bytes& out, uint64_t r) const {
        for (int i = refSize_ - 1; i >= 0; --i) out.push_back(static_cast<uint8_t>(r >> (8 * i)));
    }
    std::vector<Bytes> objects_;
    uint8_t refSize_ = 1;
};
