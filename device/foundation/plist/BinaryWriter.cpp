#include "foundation/plist/BinaryWriter.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>
#include <utility>

#include "foundation/PropertyList.h"
#include "foundation/plist/BinaryFormat.h"
#include "foundation/plist/LibplistNodes.h"

namespace propertylist {

namespace {

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

} // namespace

bool writeBinary(plist_t root, std::vector<uint8_t>& out) { return BinaryWriter().write(root, out); }

} // namespace propertylist
