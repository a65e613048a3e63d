#include "device/foundation/LibplistReference.h"

#include <plist/plist.h>

#include <cstring>
#include <optional>
#include <string>

#include "foundation/plist/BinaryFormat.h"
#include "foundation/plist/BinaryValidator.h"
#include "foundation/plist/LibplistBridge.h"
#include "foundation/plist/LibplistNodes.h"

using namespace propertylist;

namespace {

// libplist keeps the double a binary date holds but hands out only whole
// seconds and a fraction; its binary writer writes the double itself, so a
// one-object list of the node gives it back to the bit.
std::optional<double> exactSeconds(plist_t node) {
    PlistOwner copy(plist_copy(node));
    char* buffer = nullptr;
    uint32_t length = 0;
    plist_to_bin(copy.get(), &buffer, &length);
    std::optional<double> seconds;
    if (buffer && length >= kBinaryMagicLength + 9 && static_cast<uint8_t>(buffer[kBinaryMagicLength]) == 0x33) {
        uint64_t bits = readBigEndian(reinterpret_cast<const uint8_t*>(buffer) + kBinaryMagicLength + 1, 8);
        double d;
        std::memcpy(&d, &bits, sizeof d);
        seconds = d;
    }
    if (buffer) plist_to_bin_free(buffer);
    return seconds;
}

} // namespace

id parseThroughLibplist(const std::vector<uint8_t>& bytes, PropertyListFormat* format) {
    if (bytes.empty() || bytes.size() > PropertyListLimits::maxBytes || !hasBinaryMagic(bytes))
        return PropertyList::parse(bytes, format);
    BinaryValidator binary(bytes.data(), bytes.size());
    if (!binary.validate()) return nullptr;
    plist_t root = nullptr;
    plist_from_bin(reinterpret_cast<const char*>(bytes.data()), static_cast<uint32_t>(bytes.size()), &root);
    PlistOwner tree(root);
    id value = valueOfTree(root, exactSeconds);
    if (value && format) *format = PropertyListFormat::Binary;
    return value;
}

std::vector<std::string> keysInFileOrder(const std::vector<uint8_t>& bytes) {
    std::vector<std::string> keys;
    if (bytes.empty()) return keys;
    plist_t root = nullptr;
    plist_from_memory(reinterpret_cast<const char*>(bytes.data()), static_cast<uint32_t>(bytes.size()), &root);
    PlistOwner owner(root);
    if (!root || plist_get_node_type(root) != PLIST_DICT) return keys;
    forEachEntry(root, [&](const char* key, plist_t) {
        if (key) keys.emplace_back(key);
        return true;
    });
    return keys;
}
